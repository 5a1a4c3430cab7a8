// The clamping setters of a bike's controls and setup, the default setup
// and the setup menu's display values. A setter never fails: a value out
// of range is clamped, and one that is not a number leaves the field as it
// was.
#pragma once

#include "bike/bike_state.h"

// Controls (every tic).
void set_throttle(BikeState *bike, float value);
void set_clutch(BikeState *bike, float value);
void set_front_brake(BikeState *bike, float value);
void set_rear_brake(BikeState *bike, float value);
void set_steer(BikeState *bike, float value);
void set_dab(BikeState *bike, float value);
void set_back_up(BikeState *bike, float value);
void set_lean(BikeState *bike, float value);
// One shift per change of the request (-1, 0 or +1); 0 only re-arms.
void shift_gear(BikeState *bike, int request);
void set_gear(BikeState *bike, int gear);
// The gear clamped to 0..5 and lowered past gears the model does not have.
int step_gear(const BikeModel *model, int gear);

// Setup.
void set_max_dab_speed(BikeState *bike, float value);
void set_full_lock_speed(BikeState *bike, float value);
void set_restricted_lock_speed(BikeState *bike, float value);
void set_restricted_lock_angle(BikeState *bike, float value);
void set_arcade_physics(BikeState *bike, int value);
void set_direct_steering(BikeState *bike, float value);
void set_slow_damping_speed(BikeState *bike, float value);
void set_slow_damping_factor(BikeState *bike, float value);
void set_land_damping_falloff(BikeState *bike, float value);
void set_land_damping_factor(BikeState *bike, float value);
void set_auto_clutch_rpms(BikeState *bike, float value);
void set_front_brake_torque(BikeState *bike, float value);
void set_rear_brake_torque(BikeState *bike, float value);
void set_leveling(BikeState *bike, float value);
void set_max_steering_force(BikeState *bike, float value);
void set_roll_damping(BikeState *bike, float value);
void set_roll_limit_angle(BikeState *bike, float value);
void set_roll_limit_factor(BikeState *bike, float value);
void set_steering_damping(BikeState *bike, float value);
void set_steering_strength(BikeState *bike, float value);
void set_rider_springs(BikeState *bike, float vertical, float forward);
void set_rider_damping(BikeState *bike, float vertical, float forward);
void set_rider_mass_distribution(BikeState *bike, float ratio);
void set_sprockets(BikeState *bike, float front_change, float rear_change);
void set_fork_setup(BikeState *bike, float hs_compression, float ls_compression, float hs_rebound,
                    float ls_rebound, float spring, float preload, float oil_level);
void set_shock_setup(BikeState *bike, float hs_compression, float ls_compression, float hs_rebound,
                     float ls_rebound, float spring, float preload);

// Option bits of bike_options.
void set_stop_wheelies(BikeState *bike, int mode);   // 0 off, 3 on, 2 front only
void set_front_antilock(BikeState *bike, int on);
void set_rear_antilock(BikeState *bike, int on);
void set_auto_shift(BikeState *bike, int on);
void set_auto_dab(BikeState *bike, int on);
void set_auto_align(BikeState *bike, int on);

void apply_default_setup(BikeState *bike);

// Setup menu values of a model at a slider value (clamped to 0..1).
float calc_fork_spring_rate(const BikeModel *model, float slider);   // kg/mm per fork leg
float calc_fork_preload(const BikeModel *model, float slider);       // mm
float calc_fork_oil_level(const BikeModel *model, float slider);     // mm
float calc_shock_spring_rate(const BikeModel *model, float slider);  // kg/mm
float calc_shock_preload(const BikeModel *model, float slider);      // mm
float get_default_front_sprocket(const BikeModel *model);
float get_default_rear_sprocket(const BikeModel *model);
