// The player's riding controls: key events and bound axes set the rows of
// the control table, the rows sum into the nine control values of a tic,
// and those reach the player's bike through its setters.
#pragma once

#include "bike/bike_state.h"

struct KeyBinding;

// The nine controls of a tic, in RiderControls order.
enum {
    CONTROL_STEER,
    CONTROL_THROTTLE,
    CONTROL_FRONT_BRAKE,
    CONTROL_REAR_BRAKE,
    CONTROL_SHIFT,
    CONTROL_CLUTCH,
    CONTROL_DAB,
    CONTROL_BACK_UP,
    CONTROL_LEAN,
    CONTROL_COUNT,
};

// The riding bindings, in their table's order (app/bindings.h).
enum {
    BINDING_LEAN_BACKWARD,
    BINDING_LEAN_FORWARD,
    BINDING_BACK_UP,
    BINDING_DAB,
    BINDING_CLUTCH,
    BINDING_DOWNSHIFT,
    BINDING_UPSHIFT,
    BINDING_REAR_BRAKE,
    BINDING_FRONT_BRAKE,
    BINDING_THROTTLE,
    BINDING_RIGHT,
    BINDING_LEFT,
};

// One row: a binding, the control it adds to, with a sign, and its value
// (0..1) now.
struct ControlRow {
    KeyBinding *binding;   // null ends the table
    int control;
    float sign;
    float value;
};

enum { CONTROL_ROW_COUNT = 12 };
extern ControlRow control_table[CONTROL_ROW_COUNT + 1];

extern int sticky_dab_state;
extern float last_dab_input;

// A key event: every row bound to the code takes 1 when pressed, else 0.
void control_key_event(int code, int pressed);
// Every row bound to an axis takes the axis position within its range
// (0..1); a range whose ends are equal or not finite reads 0.
void read_control_axes(void);
// The position of an axis reading (+-32768 at the ends) within a range.
float axis_control_value(int reading, float range_start, float range_end);
// Every row's value back to 0 (keys held while loading do not stay down).
void clear_control_values(void);
// The rows summed into the nine controls.
void sum_controls(RiderControls *controls);
// Hands the controls to the player's bike: steering (reversed as set),
// brakes, throttle, dab (sticky as set), back up, lean, a clutch that
// engages at most 4 units a second, and one shift per change of request.
void apply_player_controls(BikeState *bike, const RiderControls *controls);
