// Control and setup setters, the default setup and the setup menu's
// display values.
#include "bike/bike_setters.h"

#include <cmath>

#include "bike/bike_math.h"
#include "bike/physics_world.h"

namespace {

// Stores value clamped to low..high; a value that is not a number is ignored.
void store_clamped(float *field, float value, float low, float high)
{
    if (std::isnan(value))
        return;
    *field = clamp_float(value, low, high);
}

// A control that a crashed rider cannot use.
void store_rider_control(BikeState *bike, float *field, float value, float low, float high)
{
    if (bike->crash_timer > 0)
        *field = 0.0f;
    else
        store_clamped(field, value, low, high);
}

// The value of a model range at a slider position (clamped to 0..1).
float range_at(const float *range, float slider)
{
    float t = std::isnan(slider) ? 0.0f : clamp_float(slider, 0.0f, 1.0f);
    return range[0] + t * (range[1] - range[0]);
}

// factor clamped to low..high times base; a factor that is not a number
// leaves the field as it was.
void store_factor(float *field, float factor, float low, float high, float base)
{
    if (std::isnan(factor))
        return;
    *field = clamp_float(factor, low, high) * base;
}

void store_range(float *field, const float *range, float slider)
{
    if (std::isnan(slider))
        return;
    *field = range_at(range, slider);
}

void set_option_bits(BikeState *bike, int mask, int shift, int value)
{
    bike->bike_options = (uint8_t)((bike->bike_options & ~mask) | ((value << shift) & mask));
}

}  // namespace

void set_throttle(BikeState *bike, float value)
{
    store_rider_control(bike, &bike->throttle, value, 0.0f, 1.0f);
}

void set_clutch(BikeState *bike, float value)
{
    store_clamped(&bike->clutch, value, 0.0f, 1.0f);
}

void set_front_brake(BikeState *bike, float value)
{
    store_clamped(&bike->front_brake, value, 0.0f, 1.0f);
}

void set_rear_brake(BikeState *bike, float value)
{
    store_clamped(&bike->rear_brake, value, 0.0f, 1.0f);
}

void set_steer(BikeState *bike, float value)
{
    store_clamped(&bike->steer, value, -1.0f, 1.0f);
}

void set_dab(BikeState *bike, float value)
{
    store_rider_control(bike, &bike->dab, value, 0.0f, 1.0f);
}

void set_back_up(BikeState *bike, float value)
{
    store_rider_control(bike, &bike->back_up, value, 0.0f, 1.0f);
}

void set_lean(BikeState *bike, float value)
{
    store_rider_control(bike, &bike->lean, value, -1.0f, 1.0f);
}

int step_gear(const BikeModel *model, int gear)
{
    gear = gear < 0 ? 0 : gear > BIKE_GEAR_COUNT - 1 ? BIKE_GEAR_COUNT - 1 : gear;
    while (gear > 0 && !(model->gear_ratios[gear] > 0.0f))
        gear--;
    return gear;
}

void shift_gear(BikeState *bike, int request)
{
    if (bike->crash_timer > 0 || request == bike->last_shift_request || request < -1 || request > 1)
        return;
    bike->last_shift_request = request;
    bike->gear = step_gear(get_bike_state_model(bike), bike->gear + request);
}

void set_gear(BikeState *bike, int gear)
{
    bike->gear = step_gear(get_bike_state_model(bike), gear);
}

void set_max_dab_speed(BikeState *bike, float value)
{
    store_clamped(&bike->max_dab_speed, value, 7.0f, 100.0f);
}

void set_full_lock_speed(BikeState *bike, float value)
{
    store_clamped(&bike->full_lock_speed, value, 1.0f, 100.0f);
}

void set_restricted_lock_speed(BikeState *bike, float value)
{
    store_clamped(&bike->restricted_lock_speed, value, 1.0f, 100.0f);
}

void set_restricted_lock_angle(BikeState *bike, float value)
{
    store_clamped(&bike->restricted_lock_angle, value, 0.0f, (float)(M_PI / 4));
}

void set_arcade_physics(BikeState *bike, int value)
{
    bike->arcade_physics = value;
}

void set_direct_steering(BikeState *bike, float value)
{
    store_clamped(&bike->direct_steering, value, 0.0f, 1.0f);
}

void set_slow_damping_speed(BikeState *bike, float value)
{
    store_clamped(&bike->slow_damping_speed, value, 0.0f, 100.0f);
}

void set_slow_damping_factor(BikeState *bike, float value)
{
    store_clamped(&bike->slow_damping_factor, value, 1.0f, 10.0f);
}

void set_land_damping_falloff(BikeState *bike, float value)
{
    store_clamped(&bike->land_damping_falloff, value, 0.0f, 0.5f);
}

void set_land_damping_factor(BikeState *bike, float value)
{
    store_clamped(&bike->land_damping_factor, value, 1.0f, 3.0f);
}

void set_auto_clutch_rpms(BikeState *bike, float value)
{
    store_clamped(&bike->auto_clutch_rpms, value, 0.0f, 5000.0f);
}

void set_front_brake_torque(BikeState *bike, float value)
{
    store_clamped(&bike->front_brake_torque, value, 0.0f, 500.0f);
}

void set_rear_brake_torque(BikeState *bike, float value)
{
    store_clamped(&bike->rear_brake_torque, value, 0.0f, 500.0f);
}

void set_leveling(BikeState *bike, float value)
{
    store_clamped(&bike->leveling, value, 0.0f, 100.0f);
}

void set_max_steering_force(BikeState *bike, float value)
{
    store_clamped(&bike->max_steering_force, value, 0.0f, 1000.0f);
}

void set_roll_damping(BikeState *bike, float value)
{
    store_clamped(&bike->roll_damping, value, 0.0f, 100.0f);
}

void set_roll_limit_angle(BikeState *bike, float value)
{
    store_clamped(&bike->roll_limit_angle, value, 0.0f, (float)M_PI);
}

void set_roll_limit_factor(BikeState *bike, float value)
{
    store_clamped(&bike->roll_limit_factor, value, 0.0f, 64.0f);
}

void set_steering_damping(BikeState *bike, float value)
{
    store_clamped(&bike->steering_damping, value, 0.0f, 100.0f);
}

void set_steering_strength(BikeState *bike, float value)
{
    store_clamped(&bike->steering_strength, value, 0.0f, 100.0f);
}

void set_rider_springs(BikeState *bike, float vertical, float forward)
{
    store_clamped(&bike->rider_vertical_spring, vertical, 0.0f, 1.0f);
    store_clamped(&bike->rider_forward_spring, forward, 0.0f, 1.0f);
}

void set_rider_damping(BikeState *bike, float vertical, float forward)
{
    store_clamped(&bike->rider_vertical_damping, vertical, 0.0f, 1.0f);
    store_clamped(&bike->rider_forward_damping, forward, 0.0f, 1.0f);
}

void set_rider_mass_distribution(BikeState *bike, float ratio)
{
    if (std::isnan(ratio) || !bike->frame_body || !bike->rider_body)
        return;
    const BikeModel *model = get_bike_state_model(bike);
    float r = clamp_float(ratio, 0.33f, 0.5f);
    dMass mass;
    dMassSetBoxTotal(&mass, model->frame_mass + (1.0f - r) * model->rider_mass,
                     model->frame_size[0], model->frame_size[1], model->frame_size[2]);
    set_body_mass_centred(bike->frame_body, &mass);
    dMassSetSphereTotal(&mass, r * model->rider_mass, 1.0);
    set_body_mass_centred(bike->rider_body, &mass);
}

void set_sprockets(BikeState *bike, float front_change, float rear_change)
{
    if (std::isnan(front_change) || std::isnan(rear_change))
        return;
    const BikeModel *model = get_bike_state_model(bike);
    float front = std::floor(model->front_sprocket + clamp_float(front_change, -2.0f, 2.0f));
    float rear = std::floor(model->rear_sprocket + clamp_float(rear_change, -2.0f, 2.0f));
    bike->final_drive = std::fmax(rear, 3.0f) / std::fmax(front, 3.0f);
}

void set_fork_setup(BikeState *bike, float hs_compression, float ls_compression, float hs_rebound,
                    float ls_rebound, float spring, float preload, float oil_level)
{
    const BikeModel *model = get_bike_state_model(bike);
    store_factor(&bike->fork_hs_compression, hs_compression, 0.25f, 4.0f, model->fork_damping[0]);
    store_factor(&bike->fork_ls_compression, ls_compression, -1.0f, 1.0f, model->fork_damping[1]);
    store_factor(&bike->fork_hs_rebound, hs_rebound, 0.25f, 4.0f, model->fork_damping[2]);
    store_factor(&bike->fork_ls_rebound, ls_rebound, -1.0f, 1.0f, model->fork_damping[3]);
    store_range(&bike->fork_spring_rate, model->fork_spring_range, spring);
    store_range(&bike->fork_preload, model->fork_preload_range, preload);
    store_range(&bike->fork_oil_level, model->fork_oil_level_range, oil_level);
}

void set_shock_setup(BikeState *bike, float hs_compression, float ls_compression, float hs_rebound,
                     float ls_rebound, float spring, float preload)
{
    const BikeModel *model = get_bike_state_model(bike);
    store_factor(&bike->shock_hs_compression, hs_compression, 0.25f, 4.0f, model->shock_damping[0]);
    store_factor(&bike->shock_ls_compression, ls_compression, -1.0f, 1.0f, model->shock_damping[1]);
    store_factor(&bike->shock_hs_rebound, hs_rebound, 0.25f, 4.0f, model->shock_damping[2]);
    store_factor(&bike->shock_ls_rebound, ls_rebound, -1.0f, 1.0f, model->shock_damping[3]);
    store_range(&bike->shock_spring_rate, model->shock_spring_range, spring);
    store_range(&bike->shock_preload, model->shock_preload_range, preload);
}

void set_stop_wheelies(BikeState *bike, int mode)
{
    set_option_bits(bike, OPTION_STOP_WHEELIES, 1, mode & 3);
}

void set_front_antilock(BikeState *bike, int on)
{
    set_option_bits(bike, OPTION_FRONT_ANTILOCK, 3, on & 1);
}

void set_rear_antilock(BikeState *bike, int on)
{
    set_option_bits(bike, OPTION_REAR_ANTILOCK, 4, on & 1);
}

void set_auto_shift(BikeState *bike, int on)
{
    set_option_bits(bike, OPTION_AUTO_SHIFT, 5, on & 1);
}

void set_auto_dab(BikeState *bike, int on)
{
    set_option_bits(bike, OPTION_AUTO_DAB, 6, on & 1);
}

void set_auto_align(BikeState *bike, int on)
{
    set_option_bits(bike, OPTION_AUTO_ALIGN, 7, on & 1);
}

void apply_default_setup(BikeState *bike)
{
    const BikeModel *model = get_bike_state_model(bike);
    bike->final_drive = std::fmax(3.0f, std::floor(model->rear_sprocket)) /
                        std::fmax(3.0f, std::floor(model->front_sprocket));
    set_fork_setup(bike, 1.0f, 0.0f, 1.0f, 0.0f, 0.5f, 0.5f, 0.0f);
    set_shock_setup(bike, 2.0f, 0.0f, 2.0f, 1.0f, 0.5f, 0.5f);
    bike->rider_forward_spring = 0.5f;
    bike->rider_vertical_spring = 0.5f;
    bike->rider_forward_damping = 0.75f;
    bike->rider_vertical_damping = 0.75f;
    bike->leveling = 20.0f;
    bike->roll_damping = 60.0f;
    bike->roll_limit_angle = 0.7853982f;
    bike->roll_limit_factor = 10.0f;
    bike->steering_damping = 45.0f;
    bike->steering_strength = 75.0f;
    bike->max_steering_force = 400.0f;
    bike->auto_clutch_rpms = 5000.0f;
    set_stop_wheelies(bike, 2);
    bike->front_brake_torque = 250.0f;
    bike->rear_brake_torque = 250.0f;
    bike->bike_options |= OPTION_AIR_STEERING;
    set_front_antilock(bike, 1);
    set_rear_antilock(bike, 0);
    set_auto_shift(bike, 0);
    set_auto_dab(bike, 0);
    set_auto_align(bike, 1);
    bike->max_dab_speed = 30.0f;
    bike->direct_steering = 1.0f;
    bike->slow_damping_speed = 0.0f;
    bike->slow_damping_factor = 1.0f;
    bike->land_damping_falloff = 0.25f;
    bike->land_damping_factor = 2.0f;
    bike->arcade_physics = 0;
    bike->full_lock_speed = 10.0f;
    bike->restricted_lock_speed = 50.0f;
    bike->restricted_lock_angle = 0.08726646f;
}

float calc_fork_spring_rate(const BikeModel *model, float slider)
{
    return range_at(model->fork_spring_range, slider) * 0.0007440819724087572f;
}

float calc_fork_preload(const BikeModel *model, float slider)
{
    return range_at(model->fork_preload_range, slider) * 304.8f;
}

float calc_fork_oil_level(const BikeModel *model, float slider)
{
    return range_at(model->fork_oil_level_range, slider) * 304.8f;
}

float calc_shock_spring_rate(const BikeModel *model, float slider)
{
    return range_at(model->shock_spring_range, slider) * 0.0014881639448175144f;
}

float calc_shock_preload(const BikeModel *model, float slider)
{
    return range_at(model->shock_preload_range, slider) * 304.8f;
}

float get_default_front_sprocket(const BikeModel *model)
{
    return model->front_sprocket;
}

float get_default_rear_sprocket(const BikeModel *model)
{
    return model->rear_sprocket;
}
