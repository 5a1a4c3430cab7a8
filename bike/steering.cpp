// Steering and suspension: torques about the steering axis, the front slip
// angle, the steering controller, the lean-steering law of simulation
// physics, the fork and shock forces carried by joint motors, and their
// read-outs.
#include "bike/steering.h"

#include <cmath>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/physics_utils.h"
#include "bike/physics_world.h"
#include "race/race_state.h"
#include "track/terrain.h"

namespace {

const double QUARTER_PI = M_PI / 4;
const double MOTOR_SPEED = 100.0;           // suspension motors push out at this rate
const double AIR_SPRING_SCALE = 82.46169;   // the fork's air column
const double AIR_SPRING_EXPONENT = 1.4;
const double MIN_AIR_COLUMN = 1.0 / 64.0;   // feet of air left at the bottom of the stroke
const double SOFT_START = 32.0;             // force builds over the first 1/32 of travel
const double MIN_LOCK_FRICTION = 0.125;

int touches(const WheelContact *contact)
{
    return contact->depth > 0.0f;
}

double hinge_angle(dJointID joint)
{
    return joint ? dJointGetHingeAngle(joint) : 0.0;
}

double hinge_rate(dJointID joint)
{
    return joint ? dJointGetHingeAngleRate(joint) : 0.0;
}

// The model's steering axis (fork upper minus fork lower), unit length.
void steering_axis(const BikeModel *m, double *axis)
{
    double d[3] = {(double)m->fork_upper_position[0] - m->fork_lower_position[0],
                   (double)m->fork_upper_position[1] - m->fork_lower_position[1],
                   (double)m->fork_upper_position[2] - m->fork_lower_position[2]};
    const double up[3] = {0.0, 1.0, 0.0};
    vec_normalise_or(axis, d, up);
}

// value moved toward 0 by band, stopping at 0.
double dead_band(double value, double band)
{
    if (value > band)
        return value - band;
    if (value < -band)
        return value + band;
    return 0.0;
}

// The damper force for a speed (positive = rebound) and the four settings.
double damper(double v, double hs_compression, double ls_compression, double hs_rebound,
              double ls_rebound)
{
    if (v >= 0.0) {
        double c = -v * hs_rebound;
        return clamp_double(c - ls_rebound, 8.0 * c, c / 8.0);
    }
    double c = -v * hs_compression;
    return clamp_double(ls_compression + c, c / 8.0, 8.0 * c);
}

// The read-out damping ratio from the four base constants.
double damping_ratio(double speed, const float *base)
{
    if (speed < 0.0)
        return base[1] / (-speed * base[0] + base[1]);
    return base[3] / (speed * base[2] + base[3]);
}

// The swingarm's travel as a fraction 0..1 of its angular travel.
double shock_position(const BikeModel *m, double angle)
{
    double x = -angle / m->shock_linkage[2];
    return std::isnan(x) ? 0.0 : clamp_double(x, 0.0, 1.0);
}

// The friction of the ground tile under the front wheel, at least 1/8.
double front_tile_friction(const double *wheel)
{
    if (!current_terrain)
        return 1.0;
    const TileInfo *tile = terrain_tile_at(current_terrain, (float)wheel[0], (float)wheel[2]);
    return std::fmax((double)tile->friction_value[0], MIN_LOCK_FRICTION);
}

// Gap between the front tyre and the ground straight below the axle; far
// away without a terrain.
double front_clearance(const BikeModel *m, const double *wheel)
{
    if (!current_terrain)
        return HUGE_VAL;
    double ground = get_terrain_height(current_terrain, (float)wheel[0], (float)wheel[2]);
    return wheel[1] - ground - m->front_wheel.rim_radius - m->front_wheel.tyre_radius;
}

// How far past a lock edge the front wheel slides: 0 within lo, 1 from hi.
// With no room between the two (a lock of 0) any slide beyond is full.
double past_lock(double slide, double lo, double hi)
{
    if (hi - lo > 0.0)
        return clamp_double((slide - lo) / (hi - lo), 0.0, 1.0);
    return slide - lo > 0.0 ? 1.0 : 0.0;
}

}  // namespace

void shock_linkage_curve(const BikeModel *model, float x, float *value, float *slope)
{
    const float *k = model->shock_linkage;
    double y1 = k[0], y2 = k[1], b = k[3], m0 = k[4], m1 = k[5], m2 = k[6];
    double s = std::isnan(x) ? 0.0 : clamp_double(x, 0.0, 1.0);
    double l, t, y0, Y1, M0, M1;
    if (s <= b) {
        l = b;
        t = l > 0.0 ? s / l : 0.0;
        y0 = 0.0;
        Y1 = y1;
        M0 = m0 * l;
        M1 = m1;
    } else {
        l = 1.0 - b;
        t = l > 0.0 ? (s - b) / l : 0.0;
        y0 = y1;
        Y1 = y2;
        M0 = m1 * l;
        M1 = m2;
    }
    double c2 = 3.0 * (Y1 - y0) - 2.0 * M0 - M1 * l;
    double c3 = 2.0 * (y0 - Y1) + M0 + M1 * l;
    *value = (float)(y0 + M0 * t + c2 * t * t + c3 * t * t * t);
    *slope = l > 0.0 ? (float)((M0 + 2.0 * c2 * t + 3.0 * c3 * t * t) / l) : (float)M1;
}

void steer_torque(BikeState *bike, float x)
{
    if (!bike->frame_body)
        return;
    double axis[3];
    steering_axis(get_bike_state_model(bike), axis);
    dVector3 world;
    dBodyVectorToWorld(bike->frame_body, axis[0], axis[1], axis[2], world);
    add_body_torque(bike->front_wheel_body, x * world[0], x * world[1], x * world[2]);
    add_body_torque(bike->frame_body, -x * world[0], -x * world[1], -x * world[2]);
}

float get_front_slip_angle(const BikeState *bike)
{
    if (!bike->front_wheel_body || !bike->fork_upper_body)
        return 0.0f;
    double a[3];
    steering_axis(get_bike_state_model(bike), a);
    const dReal *v = dBodyGetLinearVel(bike->front_wheel_body);
    dVector3 local;
    dBodyVectorFromWorld(bike->fork_upper_body, v[0], v[1], v[2], local);
    double vx = local[0];
    double p = -a[2] * local[1] + a[1] * local[2];
    // Slower than 1 ft/s across the steering axis the direction means nothing.
    if (!(vx * vx + p * p > 1.0))
        return 0.0f;
    return (float)-std::atan2(vx, -p);
}

float steer_control(const BikeState *bike, float target)
{
    double angle = hinge_angle(bike->steering_joint);
    double rate = hinge_rate(bike->steering_joint);
    double e = dead_band(clamp_double(target - angle, -0.25, 0.25), 1.0 / 32.0);
    double u = dead_band(8.0 * e - rate, 1.0 / 2400.0);
    if (u != 0.0)
        u *= 0.5;
    return (float)clamp_double(u, -2.0 / 3.0, 2.0 / 3.0);
}

void steer_by_lean(BikeState *bike)
{
    bike->steering_saturation = 0.0f;
    if (bike->crash_timer > 0)
        return;
    if (!bike->frame_body || !bike->front_wheel_body)
        return;
    const BikeModel *m = get_bike_state_model(bike);
    const double h = TIC_LENGTH;

    // Limits and the rider's direct term.
    double max_positive = bike->max_steering_force;
    double max_negative = -bike->max_steering_force;
    double direct = (double)bike->steering_strength * bike->steer * bike->direct_steering;
    double wheel_radius = (double)m->front_wheel.rim_radius + m->front_wheel.tyre_radius;
    double wheel_rate = hinge_rate(bike->front_axle_joint);
    double front_speed = wheel_rate * wheel_radius;
    double lean = get_bike_lean(bike->frame_body);
    double steer_angle = hinge_angle(bike->steering_joint);
    double slip = get_front_slip_angle(bike);
    const dReal *wheel_pos = dBodyGetPosition(bike->front_wheel_body);
    double wheel[3] = {wheel_pos[0], wheel_pos[1], wheel_pos[2]};

    // Steering lock: full at low speed, restricted (by the ground's grip)
    // at speed.
    double full = std::fmax(1.0, (double)bike->full_lock_speed);
    double restricted = std::fmax(full + 1.0, (double)bike->restricted_lock_speed);
    double t = clamp_double((1.0 / std::fmax(1.0, front_speed) - 1.0 / restricted) /
                                (1.0 / full - 1.0 / restricted),
                            0.0, 1.0);
    double lock0 = std::fmin(QUARTER_PI, bike->restricted_lock_angle / front_tile_friction(wheel));
    double lock = lock0 + (QUARTER_PI - lock0) * t;

    // Near the ground a slide past the lock turns the steering back.
    double clearance = front_clearance(m, wheel);
    if (front_speed > 1.0 && clearance < 0.5) {
        double q = clamp_double(2.0 * clearance, 0.0, 1.0);
        double lock2 = lock + (QUARTER_PI - lock) * q;
        double edge = 1.125 * lock2 + 0.015;
        if (slip > lock2)
            max_negative *= 1.25 * clamp_double((slip - edge) / (lock2 - edge), 0.0, 1.0) - 0.25;
        if (slip < -lock2)
            max_positive *= 1.25 * clamp_double((slip + edge) / (edge - lock2), 0.0, 1.0) - 0.25;
    }

    double base;
    if (!touches(&bike->front_contact) || std::fabs(wheel_rate) <= QUARTER_PI) {
        // In the air or standing: centre the bars; steer directly only
        // with air steering on.
        bike->landing_damping_multiplier = bike->land_damping_factor;
        base = -50.0 * steer_angle;
        if (!(bike->bike_options & OPTION_AIR_STEERING))
            direct = 0.0;
    } else {
        const dReal *w = dBodyGetAngularVel(bike->frame_body);
        dVector3 local;
        dBodyVectorFromWorld(bike->frame_body, w[0], w[1], w[2], local);
        double roll_rate = local[2];

        // Roll damping, raised after a landing and falling back to 1.
        double multiplier = bike->landing_damping_multiplier;
        base = roll_rate * bike->roll_damping * multiplier;
        if (multiplier > 1.0) {
            if (bike->land_damping_falloff > 0.0f)
                multiplier = std::fmax(1.0, multiplier - (bike->land_damping_factor - 1.0) * h /
                                                             bike->land_damping_falloff);
            else
                multiplier = 1.0;
            bike->landing_damping_multiplier = (float)multiplier;
        }

        double leveling = lean * bike->leveling;
        double frame_speed = vec_length(dBodyGetLinearVel(bike->frame_body));
        if (frame_speed < bike->slow_damping_speed) {
            // The condition keeps the slow damping speed above 0.
            double sf = bike->slow_damping_factor;
            double f = sf + (1.0 - sf) * clamp_double(frame_speed / bike->slow_damping_speed,
                                                      0.0, 1.0);
            leveling *= f;
            base *= f;
        }

        int rolling_outward = (roll_rate < 0.0 && lean < 0.0) || (roll_rate >= 0.0 && lean >= 0.0);
        if (rolling_outward && std::fabs(lean) > bike->roll_limit_angle)
            base *= (std::fabs(lean) - bike->roll_limit_angle) * bike->roll_limit_factor + 1.0;
        base += leveling;

        if (bike->direct_steering < 1.0f) {
            // Lean-rate follower: steer so the roll rate follows the lean
            // the rider asks for.
            double e = (-bike->steer * bike->roll_limit_angle - lean) * 2.5;
            int toward_upright = (lean >= 0.0 && e < 0.0) || (lean < 0.0 && e >= 0.0);
            double limit = toward_upright ? 9.817477 : 3.926991;
            double c = clamp_double(e, -limit, limit);
            double d = clamp_double(c - roll_rate, -0.125, 0.125);
            double g = clamp_double((roll_rate - (c - d)) * 4.0, -1.0, 1.0);
            double k = bike->steering_strength * g;
            direct = (direct - k) * bike->direct_steering + k;
        }
    }

    // Knocked by another bike: roll torque fades out, gone from 64.
    if (bike->knock > 0.0f) {
        double limit = 200.0 * clamp_double((bike->knock - 64.0) * (-1.0 / 64.0), 0.0, 1.0);
        base = clamp_double(base, -limit, limit);
    }

    double r = clamp_double((front_speed - 5.0) / 10.0, 0.0, 1.0);
    double lo = 0.25 * r * lock;
    double hi = (0.625 * r + 0.125) * lock;
    double r1, r2;
    if (lean >= 0.0) {
        r1 = past_lock(-slip, lo, hi);
        r2 = clamp_double((steer_angle - M_PI / 12) * 12.0 / M_PI, 0.0, 1.0);
    } else {
        r1 = past_lock(slip, lo, hi);
        r2 = clamp_double(-(steer_angle + M_PI / 12) * 12.0 / M_PI, 0.0, 1.0);
    }
    bike->steering_saturation = (float)std::fmax(r1, r2);

    steer_torque(bike, (float)clamp_double(1.5 * (direct + base), max_negative, max_positive));
}

void apply_suspension_forces(BikeState *bike)
{
    const BikeModel *m = get_bike_state_model(bike);

    if (bike->fork_joint) {
        double travel = m->fork_travel;
        double p = dJointGetSliderPosition(bike->fork_joint);
        double v = dJointGetSliderPositionRate(bike->fork_joint);
        double d = damper(v, bike->fork_hs_compression, bike->fork_ls_compression,
                          bike->fork_hs_rebound, bike->fork_ls_rebound);
        double x = clamp_double(-p, 0.0, travel);
        double column = travel + bike->fork_oil_level;
        double air = AIR_SPRING_SCALE *
                         std::pow(column / std::fmax(column - x, MIN_AIR_COLUMN),
                                  AIR_SPRING_EXPONENT) -
                     AIR_SPRING_SCALE;
        double force = air + d + (bike->fork_preload - p) * bike->fork_spring_rate;
        force *= clamp_double(-SOFT_START * p / travel, 0.0, 1.0);
        set_joint_motor(bike->fork_joint, force >= 0.0 ? MOTOR_SPEED : 0.0, std::fabs(force));
    }

    if (bike->swingarm_joint) {
        double travel = m->shock_linkage[2];
        double a = dJointGetHingeAngle(bike->swingarm_joint);
        double w = dJointGetHingeAngleRate(bike->swingarm_joint);
        float y, slope;
        shock_linkage_curve(m, (float)shock_position(m, a), &y, &slope);
        double v = w * slope;
        double d = damper(v, bike->shock_hs_compression, bike->shock_ls_compression,
                          bike->shock_hs_rebound, bike->shock_ls_rebound);
        double torque = (((double)y + bike->shock_preload) * bike->shock_spring_rate + d) * slope;
        torque *= clamp_double(-SOFT_START * a / travel, 0.0, 1.0);
        set_joint_motor(bike->swingarm_joint, torque >= 0.0 ? MOTOR_SPEED : 0.0,
                        std::fabs(torque));
    }
}

void read_fork_suspension(const BikeState *bike, float *position, float *speed, float *damping)
{
    const BikeModel *m = get_bike_state_model(bike);
    double p = bike->fork_joint ? dJointGetSliderPosition(bike->fork_joint) : 0.0;
    double v = bike->fork_joint ? dJointGetSliderPositionRate(bike->fork_joint) : 0.0;
    *position = (float)(-p / m->fork_travel);
    *speed = (float)v;
    *damping = (float)damping_ratio(v, m->fork_damping);
}

void read_shock_suspension(const BikeState *bike, float *position, float *speed, float *damping)
{
    const BikeModel *m = get_bike_state_model(bike);
    double x = shock_position(m, hinge_angle(bike->swingarm_joint));
    float y, slope;
    shock_linkage_curve(m, (float)x, &y, &slope);
    double v = hinge_rate(bike->swingarm_joint) * slope;
    *position = (float)x;
    *speed = (float)v;
    *damping = (float)damping_ratio(v, m->shock_damping);
}
