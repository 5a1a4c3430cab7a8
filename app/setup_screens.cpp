// Keys of the bike setup screens: Bike Setup, Suspension and Gearing, and
// Advanced Stability Setup. Every edit reaches the player's bike at once.
#include "app/setup_screen_items.h"

#include <cmath>
#include <cstring>

#include "app/menu.h"
#include "app/menu_screens.h"
#include "bike/bike_state.h"
#include "net/client.h"
#include "race/race_control.h"

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};
BikeSetup &s = bike_setup;

const char *const GRAPHICS_TITLES[4] = {"Choose Riding Gear", "Choose Helmet", "Choose Bike Graphics",
                                        "Choose Wheel Graphics"};

int is_move_key(int key)
{
    return key == menu_keys.up || key == menu_keys.down;
}

int opens_chooser(int key)
{
    return key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.cursor_left;
}

// The viewed bike takes the setup when it is ridden on this machine.
void apply_to_viewed_bike(int key)
{
    if (is_move_key(key) || followed_slot < 0 || followed_slot >= BIKE_SLOT_COUNT ||
        rider_kind[followed_slot] != RIDER_LOCAL)
        return;
    BikeState *bike = get_slot_bike(followed_slot);
    if (bike)
        apply_bike_setup(bike);
}

}  // namespace

SetupScreenItems setup_items = {
    {"Back to Main Menu", NO_RECT},
    {"Suspension and Gearing", NO_RECT},
    {"Advanced Stability Setup", NO_RECT},
    {"Back to Bike Setup Menu", NO_RECT},
    {"Back to Bike Setup Menu", NO_RECT},
};

Slider *const setup_screen_sliders[SETUP_SCREEN_SLIDERS] = {
    &s.auto_clutch_rpms, &s.brake_torque, &s.rear_brake_torque, &s.max_dab_speed};
OptionList *const setup_screen_options[SETUP_SCREEN_OPTIONS] = {
    &s.arcade, &s.front_brake, &s.rear_brake, &s.stop_wheelies, &s.auto_shift,
    &s.auto_dab, &s.sticky_dab, &s.auto_align, &s.reverse_steering, &s.lean_indicator};
GraphicsChoices *const setup_screen_graphics[4] = {&s.riding_gear, &s.helmet, &s.bike_graphics,
                                                   &s.wheel_graphics};
Slider *const suspension_sliders[SUSPENSION_SLIDERS] = {
    &s.fork_compression,  &s.fork_slow_compression,  &s.fork_rebound,       &s.fork_slow_rebound,
    &s.fork_spring_rate,  &s.fork_preload,           &s.fork_oil_level,     &s.shock_compression,
    &s.shock_slow_compression, &s.shock_rebound,     &s.shock_slow_rebound, &s.shock_spring_rate,
    &s.shock_preload,     &s.front_sprocket,         &s.rear_sprocket,      &s.rider_yspring,
    &s.rider_ydamping,    &s.rider_zspring,          &s.rider_zdamping,     &s.rider_mass_distribution};
Slider *const stability_sliders[STABILITY_SLIDERS] = {
    &s.leveling,           &s.roll_damping,         &s.roll_limit_angle,     &s.roll_limit_factor,
    &s.steering_damping,   &s.steering_strength,    &s.max_steering_force,   &s.direct_steering,
    &s.slow_damping_speed, &s.slow_damping_factor,  &s.land_damping_falloff, &s.land_damping_factor,
    &s.full_lock_speed,    &s.restricted_lock_speed, &s.restricted_lock};

const WidgetRect *const bike_setup_rects[] = {
    &setup_items.setup_back.rect, &setup_items.suspension_button.rect, &setup_items.stability_button.rect,
    &s.bike.rect, &s.name.rect, &s.number.rect,
    &s.riding_gear.list.rect, &s.helmet.list.rect, &s.bike_graphics.list.rect, &s.wheel_graphics.list.rect,
    &s.stability.rect, &s.auto_clutch_rpms.rect, &s.brake_torque.rect, &s.rear_brake_torque.rect,
    &s.max_dab_speed.rect,
    &s.arcade.rect, &s.front_brake.rect, &s.rear_brake.rect, &s.stop_wheelies.rect, &s.auto_shift.rect,
    &s.auto_dab.rect, &s.sticky_dab.rect, &s.auto_align.rect, &s.reverse_steering.rect,
    &s.lean_indicator.rect,
    nullptr,
};

const WidgetRect *const suspension_rects[] = {
    &setup_items.suspension_back.rect,
    &s.fork_compression.rect, &s.fork_slow_compression.rect, &s.fork_rebound.rect,
    &s.fork_slow_rebound.rect, &s.fork_spring_rate.rect, &s.fork_preload.rect, &s.fork_oil_level.rect,
    &s.shock_compression.rect, &s.shock_slow_compression.rect, &s.shock_rebound.rect,
    &s.shock_slow_rebound.rect, &s.shock_spring_rate.rect, &s.shock_preload.rect,
    &s.front_sprocket.rect, &s.rear_sprocket.rect, &s.rider_yspring.rect, &s.rider_ydamping.rect,
    &s.rider_zspring.rect, &s.rider_zdamping.rect, &s.rider_mass_distribution.rect,
    nullptr,
};

const WidgetRect *const stability_rects[] = {
    &setup_items.stability_back.rect,
    &s.leveling.rect, &s.roll_damping.rect, &s.roll_limit_angle.rect, &s.roll_limit_factor.rect,
    &s.steering_damping.rect, &s.steering_strength.rect, &s.max_steering_force.rect,
    &s.direct_steering.rect, &s.slow_damping_speed.rect, &s.slow_damping_factor.rect,
    &s.land_damping_falloff.rect, &s.land_damping_factor.rect, &s.full_lock_speed.rect,
    &s.restricted_lock_speed.rect, &s.restricted_lock.rect,
    nullptr,
};

void choose_bike_result(int index)
{
    if (index == s.bike.selected || index < 0 || index >= s.bike.count)
        return;
    s.bike.selected = index;
    list_bike_graphics();
    client_info_changed = 1;
}

void bike_setup_key(int key)
{
    step_menu_selection(key, 24);
    int item = menu_selection;
    if (item <= 2) {
        static const int TARGETS[3] = {MENU_MAIN, MENU_SUSPENSION_GEARING, MENU_ADVANCED_STABILITY};
        if (is_item_activated(bike_setup_rects[item], key))
            set_menu_state(TARGETS[item]);
        return;
    }
    if (item == 3) {
        if (opens_chooser(key)) {
            open_chooser(&s.bike, "Choose Bike", choose_bike_result);
            return;
        }
        int before = s.bike.selected;
        handle_option_list_key(&s.bike, key);
        if (s.bike.selected != before) {
            list_bike_graphics();
            client_info_changed = 1;
        }
        return;
    }
    if (item == 4 || item == 5) {
        TextField *field = item == 4 ? &s.name : &s.number;
        char before[64];
        strcpy(before, field->text);
        handle_text_field_key(field, key);
        if (strcmp(before, field->text))
            client_info_changed = 1;
        return;
    }
    if (item <= 9) {
        GraphicsChoices *g = setup_screen_graphics[item - 6];
        if (opens_chooser(key)) {
            open_chooser(&g->list, GRAPHICS_TITLES[item - 6], set_choice_result);
            return;
        }
        int before = g->list.selected;
        handle_option_list_key(&g->list, key);
        if (g->list.selected != before)
            client_info_changed = 1;
        return;
    }
    if (item == 10) {
        if (key == '*') {
            set_menu_state(MENU_ADVANCED_STABILITY);
            return;
        }
        double before = floor(s.stability.value);
        handle_slider_key(&s.stability, key);
        if (floor(s.stability.value) != before)
            default_bike_setup((int)s.stability.value);
    } else if (item <= 14) {
        handle_slider_key(setup_screen_sliders[item - 11], key);
    } else {
        handle_option_list_key(setup_screen_options[item - 15], key);
    }
    apply_to_viewed_bike(key);
}

void suspension_key(int key)
{
    step_menu_selection(key, SUSPENSION_SLIDERS);
    if (menu_selection == 0) {
        if (is_item_activated(&setup_items.suspension_back.rect, key))
            set_menu_state(MENU_BIKE_SETUP);
        return;
    }
    handle_slider_key(suspension_sliders[menu_selection - 1], key);
    apply_to_viewed_bike(key);
}

void stability_key(int key)
{
    step_menu_selection(key, STABILITY_SLIDERS);
    if (menu_selection == 0) {
        if (is_item_activated(&setup_items.stability_back.rect, key))
            set_menu_state(MENU_BIKE_SETUP);
        return;
    }
    handle_slider_key(stability_sliders[menu_selection - 1], key);
    apply_to_viewed_bike(key);
}
