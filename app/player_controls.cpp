// The player's riding controls: the control table, its key and axis
// inputs, and the controls handed to the bike.
#include "app/player_controls.h"

#include <cmath>

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "bike/bike_getters.h"
#include "bike/bike_setters.h"
#include "platform/input.h"
#include "race/race_state.h"

ControlRow control_table[CONTROL_ROW_COUNT + 1] = {
    {&riding_bindings[BINDING_LEFT], CONTROL_STEER, 1.0f, 0.0f},
    {&riding_bindings[BINDING_RIGHT], CONTROL_STEER, -1.0f, 0.0f},
    {&riding_bindings[BINDING_THROTTLE], CONTROL_THROTTLE, 1.0f, 0.0f},
    {&riding_bindings[BINDING_FRONT_BRAKE], CONTROL_FRONT_BRAKE, 1.0f, 0.0f},
    {&riding_bindings[BINDING_REAR_BRAKE], CONTROL_REAR_BRAKE, 1.0f, 0.0f},
    {&riding_bindings[BINDING_UPSHIFT], CONTROL_SHIFT, 1.0f, 0.0f},
    {&riding_bindings[BINDING_DOWNSHIFT], CONTROL_SHIFT, -1.0f, 0.0f},
    {&riding_bindings[BINDING_CLUTCH], CONTROL_CLUTCH, 1.0f, 0.0f},
    {&riding_bindings[BINDING_DAB], CONTROL_DAB, 1.0f, 0.0f},
    {&riding_bindings[BINDING_BACK_UP], CONTROL_BACK_UP, 1.0f, 0.0f},
    {&riding_bindings[BINDING_LEAN_FORWARD], CONTROL_LEAN, -1.0f, 0.0f},
    {&riding_bindings[BINDING_LEAN_BACKWARD], CONTROL_LEAN, 1.0f, 0.0f},
    {nullptr, 0, 0.0f, 0.0f},
};

int sticky_dab_state;
float last_dab_input;

void control_key_event(int code, int pressed)
{
    for (ControlRow *row = control_table; row->binding; row++)
        if (row->binding->key_code >= 0 && row->binding->key_code == code)
            row->value = pressed ? 1.0f : 0.0f;
}

float axis_control_value(int reading, float range_start, float range_end)
{
    float span = range_end - range_start;
    if (!std::isfinite(range_start) || !std::isfinite(span) || span == 0.0f)
        return 0.0f;
    float value = ((float)reading / 32768.0f - range_start) / span;
    if (!(value > 0.0f))
        return 0.0f;
    return value < 1.0f ? value : 1.0f;
}

void read_control_axes(void)
{
    for (ControlRow *row = control_table; row->binding; row++) {
        const KeyBinding *binding = row->binding;
        if (binding->axis)
            row->value = axis_control_value(read_axis(binding->axis), binding->range_start, binding->range_end);
    }
}

void clear_control_values(void)
{
    for (ControlRow *row = control_table; row->binding; row++)
        row->value = 0.0f;
}

void sum_controls(RiderControls *controls)
{
    float sums[CONTROL_COUNT] = {};
    for (const ControlRow *row = control_table; row->binding; row++)
        if (row->control >= 0 && row->control < CONTROL_COUNT)
            sums[row->control] += row->sign * row->value;
    controls->steer = sums[CONTROL_STEER];
    controls->throttle = sums[CONTROL_THROTTLE];
    controls->front_brake = sums[CONTROL_FRONT_BRAKE];
    controls->rear_brake = sums[CONTROL_REAR_BRAKE];
    controls->shift = sums[CONTROL_SHIFT];
    controls->clutch_lever = sums[CONTROL_CLUTCH];
    controls->dab = sums[CONTROL_DAB];
    controls->back_up = sums[CONTROL_BACK_UP];
    controls->lean = sums[CONTROL_LEAN];
}

// The clutch follows the lever: fully in from 7/8 of its travel, engaging
// by at most 4 units a second and letting go at once.
static float next_clutch(float clutch, float lever)
{
    float target = 1.0f - lever * (8.0f / 7.0f);
    target = target < 0.0f ? 0.0f : target > 1.0f ? 1.0f : target;
    if (!(clutch < target))
        return target;
    float raised = clutch + 4.0f * TIC_LENGTH;
    return raised < target ? raised : target;
}

void apply_player_controls(BikeState *bike, const RiderControls *controls)
{
    int reversed = bike_setup.reverse_steering.selected == 1;
    set_steer(bike, reversed ? -controls->steer : controls->steer);
    set_front_brake(bike, controls->front_brake);
    set_rear_brake(bike, controls->rear_brake);
    set_throttle(bike, controls->throttle);

    if (bike_setup.sticky_dab.selected != 1) {
        set_dab(bike, controls->dab);
    } else {
        if (last_dab_input < 0.5f && controls->dab >= 0.5f)
            sticky_dab_state = !sticky_dab_state;
        last_dab_input = controls->dab;
        set_dab(bike, sticky_dab_state ? 1.0f : 0.0f);
    }
    set_back_up(bike, controls->back_up);
    set_lean(bike, controls->lean);
    set_clutch(bike, next_clutch(get_clutch(bike), controls->clutch_lever));

    if (controls->shift > 0.5f)
        shift_gear(bike, 1);
    else if (controls->shift >= -0.5f)
        shift_gear(bike, 0);
    else
        shift_gear(bike, -1);
}
