// The per-bike step of one tic.
#include "bike/bike_step.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_pose.h"
#include "bike/bike_state.h"
#include "bike/body_contact.h"
#include "bike/crash.h"
#include "bike/dab_support.h"
#include "bike/engine.h"
#include "bike/physics_utils.h"
#include "bike/physics_world.h"
#include "bike/steering.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/terrain.h"

namespace {

const float H = TIC_LENGTH;
const int CRASH_TIME = 512;

int touches(const WheelContact *contact)
{
    return contact->depth > 0.0f;
}

int tic_mod(int tic, int n)
{
    int r = tic % n;
    return r < 0 ? r + n : r;
}

void world_point(dBodyID body, const float *local, double *out)
{
    dVector3 p;
    dBodyGetRelPointPos(body, local[0], local[1], local[2], p);
    vec_set(out, p[0], p[1], p[2]);
}

void body_axis(dBodyID body, int axis, double *out)
{
    const dReal *r = dBodyGetRotation(body);
    vec_set(out, r[axis], r[4 + axis], r[8 + axis]);
}

void linear_velocity(dBodyID body, double *out)
{
    const dReal *v = dBodyGetLinearVel(body);
    vec_set(out, v[0], v[1], v[2]);
}

// The rider's seat on the frame, in the frame body's coordinates.
void seat_offset(const BikeModel *m, float *out)
{
    for (int k = 0; k < 3; k++)
        out[k] = m->rider_position[k] - m->frame_position[k];
}

// A soft one-step joint pushing body 1 along the normal by the depth.
void soft_joint(dBodyID body1, dBodyID body2, const double *position, const double *normal,
                double depth, double kp, double kd)
{
    double denominator = H * kp + kd;
    if (!(denominator > 0.0))
        return;
    dContact contact;
    memset(&contact, 0, sizeof contact);
    contact.surface.mode = dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 0;
    contact.surface.soft_erp = H * kp / denominator;
    contact.surface.soft_cfm = 1.0 / denominator;
    for (int k = 0; k < 3; k++) {
        contact.geom.pos[k] = position[k];
        contact.geom.normal[k] = normal[k];
    }
    contact.geom.depth = depth;
    create_contact_joint(&contact, body1, body2);
}

// An angular motor turning the body about one world axis.
void world_axis_motor(dBodyID body, const double *axis, double velocity, double max_torque)
{
    dJointID motor = create_group_amotor(body, nullptr);
    if (!motor)
        return;
    dJointSetAMotorNumAxes(motor, 1);
    if (std::isfinite(axis[0]) && std::isfinite(axis[1]) && std::isfinite(axis[2]))
        dJointSetAMotorAxis(motor, 0, 0, axis[0], axis[1], axis[2]);
    else
        dJointSetAMotorAxis(motor, 0, 0, 0, 1, 0);
    set_joint_motor(motor, velocity, max_torque);
}

void back_up_step(BikeState *bike, const double *frame_velocity)
{
    (void)frame_velocity;
    int tic = current_tic;
    double p = (1.0 - std::cos(tic_mod(tic, 128) * 2.0 * M_PI / 127.0)) / 2.0;
    int first_pulse = (int)(((long long)race_settings.start_tic + 128) / 128 * 128);
    if (tic < first_pulse && (tic & 384) != 0)
        p = 0.0;
    bike->dab = bike->crash_timer > 0 ? 0.0f : 1.0f;
    double z[3];
    body_axis(bike->frame_body, 2, z);
    float target[3] = {(float)(4.0 * p * z[0]), (float)(4.0 * p * z[1]), (float)(4.0 * p * z[2])};
    drag_body_to_velocity(bike->frame_body, 2000.0f, target);
    double up[3] = {0, 1, 0};
    world_axis_motor(bike->frame_body, up, -bike->steer * p * M_PI / 2.0, 2000.0);
}

void dab_when_stopped(BikeState *bike, double speed2)
{
    float d = bike->max_dab_speed;
    if (bike->knock <= -512.0f)
        d = fmaxf(d, 75.0f);
    if (speed2 > (double)d * d)
        return;
    double speed = std::sqrt(speed2);
    float lean = fabsf(get_bike_lean(bike->frame_body));
    if (speed2 > 225.0) {
        double t = clamp_double((speed - 15.0) / 15.0, 0.0, 1.0);
        if (lean < t * M_PI / 4.0)
            return;
    }
    if (bike->throttle == 0.0f || bike->clutch == 0.0f || speed2 < 25.0 || lean > M_PI / 16.0) {
        if (bike->crash_timer > 0) {
            bike->dab = 0.0f;
        } else {
            double slow = d > 0.0f ? clamp_double((speed - d) / (0.0 - d), 0.0, 1.0) : 1.0;
            bike->dab = (float)clamp_double(fmax(slow, (double)bike->dab), 0.0, 1.0);
        }
        if (speed2 < 25.0 && (bike->throttle == 0.0f || bike->clutch == 0.0f) &&
            touches(&bike->front_contact) && touches(&bike->rear_contact)) {
            bike->front_brake = 1.0f;
            bike->rear_brake = 1.0f;
            const float still[3] = {0, 0, 0};
            drag_body_to_velocity(bike->frame_body, 1000.0f, still);
        }
    }
}

void rider_springs(BikeState *bike, const BikeModel *m)
{
    float seat[3];
    seat_offset(m, seat);
    double anchor[3], rider[3], z[3], y[3], d[3];
    world_point(bike->frame_body, seat, anchor);
    const dReal *r = dBodyGetPosition(bike->rider_body);
    vec_set(rider, r[0], r[1], r[2]);
    body_axis(bike->frame_body, 2, z);
    body_axis(bike->frame_body, 1, y);
    vec_sub(d, anchor, rider);
    double f = vec_dot(d, z);
    double u = vec_dot(d, y);
    double mass = m->rider_mass * 0.21333334;

    double target = clamp_double((bike->dab * 0.5 + 0.5) * u - bike->lean, -0.75, 0.75);
    double e = f - target;
    double kp, kd;
    if (f >= -0.75 && f <= 0.75) {
        kp = std::fabs(e) * 100.0 + bike->rider_forward_spring * 600.0;
        kd = 0.0;
    } else {
        kp = kd = 2500.0;
    }
    kp *= mass;
    kd *= mass;
    double normal[3];
    vec_scale(normal, z, e < 0 ? -1.0 : 1.0);
    if (kp > 0.0)
        soft_joint(bike->rider_body, bike->frame_body, rider, normal, std::fabs(e), kp, kd);

    e = u + 0.125 - bike->dab * 0.5;
    if (u >= -0.75 && u <= 0.5) {
        kp = bike->rider_vertical_spring * 400.0;
        kd = bike->rider_vertical_damping * 100.0;
    } else {
        kp = kd = 2500.0;
    }
    kp *= mass;
    kd *= mass;
    vec_scale(normal, y, e < 0 ? -1.0 : 1.0);
    if (kp + kd > 0.0)
        soft_joint(bike->rider_body, bike->frame_body, rider, normal, std::fabs(e), kp, kd);

    double damping = (bike->rider_forward_damping * 30.0 + 5.0) * mass;
    set_joint_param(bike->rider_joint, dParamSuspensionERP, 0.0);
    if (damping > 0.0)
        set_joint_param(bike->rider_joint, dParamSuspensionCFM, 1.0 / damping);
}

void arcade_balance(BikeState *bike, const BikeModel *m)
{
    if (!touches(&bike->front_contact)) {
        const dReal *p = dBodyGetPosition(bike->frame_body);
        const dReal *v = dBodyGetLinearVel(bike->frame_body);
        double q[3] = {p[0] + v[0], p[1] + v[1] - 16.0, p[2] + v[2]};
        float ground = current_terrain
                           ? get_terrain_height(current_terrain, (float)q[0], (float)q[2])
                           : 0.0f;
        if (q[1] - ground >= m->frame_position[1]) {
            double a = (bike->bike_options & OPTION_AIR_STEERING)
                           ? bike->steering_strength * bike->steer * bike->direct_steering
                           : 0.0;
            double angle = dJointGetHingeAngle(bike->steering_joint);
            steer_torque(bike, (float)(1.5 * (-50.0 * angle + a)));
            return;
        }
    }
    double lean = get_bike_lean(bike->frame_body);
    double target = -M_PI / 4.0 * bike->steer;
    double r = clamp_double((bike->roll_damping - 40.0) * 0.025, 0.0, 1.0);
    double w = (1.5 - 0.5 * r) * fmin(std::fabs(lean - target), 0.0625) * 16.0;
    if (target <= lean)
        w = -w;
    double z[3];
    body_axis(bike->frame_body, 2, z);
    world_axis_motor(bike->frame_body, z, w, 1000.0);

    float slip = get_front_slip_angle(bike);
    steer_torque(bike, steer_control(bike, slip - 0.5f * bike->steer) * bike->steering_strength);

    dVector3 tail;
    dBodyGetRelPointVel(bike->frame_body, 0, 0, 20, tail);
    double force[3] = {tail[0] * -0.25, tail[1] * -0.25, tail[2] * -0.25};
    double point[3] = {0, 0, 20};
    add_body_force_at_rel_pos(bike->frame_body, force, point);
}

void steering_damping(BikeState *bike)
{
    const dReal *w = dBodyGetAngularVel(bike->front_wheel_body);
    double a[3];
    body_axis(bike->front_wheel_body, 0, a);
    double spin = a[0] * w[0] + a[1] * w[1] + a[2] * w[2];
    double t[3];
    for (int k = 0; k < 3; k++)
        t[k] = (a[k] * spin - w[k]) * bike->steering_damping;
    add_body_torque(bike->front_wheel_body, t[0], t[1], t[2]);
    add_body_torque(bike->frame_body, -t[0], -t[1], -t[2]);
}

void crashed_step(BikeState *bike, const BikeModel *m)
{
    const float *figure = m->rider_figure;
    double rider_velocity[3];
    linear_velocity(bike->rider_body, rider_velocity);
    if (vec_dot(rider_velocity, rider_velocity) >= 4.0) {
        float reach = 0.875f * (figure[FIGURE_UPPER_ARM_LENGTH] + figure[FIGURE_FOREARM_LENGTH]);
        hold_within_distance(bike->rider_body, figure + FIGURE_LEFT_SHOULDER, bike->fork_upper_body,
                             figure + FIGURE_LEFT_HAND, reach);
        hold_within_distance(bike->rider_body, figure + FIGURE_RIGHT_SHOULDER,
                             bike->fork_upper_body, figure + FIGURE_RIGHT_HAND, reach);
        if (bike->crash_timer > CRASH_TIME - 1) {
            const float *head = figure + FIGURE_HEAD;
            const float *grip = figure + FIGURE_RIGHT_HAND;
            float rider_point[3] = {0, head[1], head[2]};
            float head_point[3] = {0, grip[1], grip[2] + 10.0f};
            hold_within_distance(bike->rider_body, rider_point, bike->fork_upper_body, head_point,
                                 8.0f);
        }
        if (bike->rider_shape) {
            float rider_position[3], rider_rotation[9];
            get_body_pose(bike->rider_body, rider_position, rider_rotation);
            CollisionShape *others[2] = {bike->frame_shape, bike->fork_upper_shape};
            dBodyID bodies[2] = {bike->frame_body, bike->fork_upper_body};
            for (int i = 0; i < 2; i++) {
                if (!others[i])
                    continue;
                float position[3], rotation[9];
                get_body_pose(bodies[i], position, rotation);
                collide_shape_pair(bike->rider_shape, bike->rider_body, rider_position,
                                   rider_rotation, others[i], bodies[i], position, rotation,
                                   CONTACT_JOINT);
            }
        }
    } else {
        bike->crash_timer--;
    }

    if (bike->crash_timer < CRASH_TIME) {
        rider_get_up_step(bike);
        if (bike->crash_timer <= 0) {
            bike->crash_timer = 0;
            float seat[3];
            seat_offset(m, seat);
            double at[3];
            world_point(bike->frame_body, seat, at);
            dBodySetPosition(bike->rider_body, at[0], at[1], at[2]);
            dBodySetRotation(bike->rider_body, dBodyGetRotation(bike->frame_body));
            dJointAttach(bike->rider_joint, bike->rider_body, bike->frame_body);
        }
    }
}

int has_all_bodies(const BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (!body)
            return 0;
    return bike->rider_joint && bike->steering_joint && bike->front_axle_joint &&
           bike->rear_axle_joint && bike->fork_joint && bike->swingarm_joint;
}

}  // namespace

void hold_within_distance(dBodyID body_a, const float *point_a, dBodyID body_b,
                          const float *point_b, float max_distance)
{
    if (!body_a || !body_b)
        return;
    double pa[3], pb[3], d[3];
    world_point(body_a, point_a, pa);
    world_point(body_b, point_b, pb);
    vec_sub(d, pb, pa);
    double length2 = vec_dot(d, d);
    if (length2 <= (double)max_distance * max_distance)
        return;
    const double kp = 5000.0, kd = 500.0;
    soft_joint(body_a, body_b, pa, d, std::sqrt(length2) - max_distance, kp, kd);
}

void check_rider_thrown(BikeState *bike)
{
    if (bike->crash_timer != 0 || bike->arcade_physics)
        return;
    double f = 1.5;
    if (bike->landing_tic >= bike->takeoff_tic) {
        double a = clamp_double(
            (((double)bike->landing_tic - bike->takeoff_tic) * H - 0.559) * 7.9365087, 0.0, 1.0);
        double b = clamp_double((((double)current_tic - bike->landing_tic) * H - 0.25) * -8.0, 0.0,
                                1.0);
        f = 1.5 - 0.5 * a * b;
    }
    const dReal *rider = dBodyGetPosition(bike->rider_body);
    dVector3 seat_velocity;
    dBodyGetPointVel(bike->frame_body, rider[0], rider[1], rider[2], seat_velocity);
    double v[3];
    linear_velocity(bike->rider_body, v);
    double d[3] = {seat_velocity[0] - v[0], seat_velocity[1] - v[1], seat_velocity[2] - v[2]};
    if (vec_dot(d, d) > (31.0 * f) * (31.0 * f)) {
        crash_rider(bike);
        return;
    }
    const float *previous = bike->rider_velocity_ring[tic_mod(current_tic, 4)];
    double g[3];
    for (int k = 0; k < 3; k++)
        g[k] = (v[k] - previous[k]) * 0.25 / H;
    g[1] += 32.0;
    if (vec_dot(g, g) > (1376.0 * f) * (1376.0 * f))
        crash_rider(bike);
}

void rider_get_up_step(BikeState *bike)
{
    const BikeModel *m = get_bike_state_model(bike);
    float s = 5.0f * clamp_float((bike->crash_timer - 128) / 384.0f, 0.0f, 1.0f);
    float seat[3];
    seat_offset(m, seat);
    const float offsets[3][3] = {{0, 0, 0}, {-5, 10, 0}, {5, 10, 0}};
    for (const float *offset : offsets) {
        float frame_point[3] = {seat[0] + offset[0], seat[1] + offset[1], seat[2] + offset[2]};
        hold_within_distance(bike->frame_body, frame_point, bike->rider_body, offset, s);
    }
    if (bike->crash_timer > 319)
        return;
    int left = get_bike_lean(bike->frame_body) < 0.0f;
    const float *peg = m->rider_figure + (left ? FIGURE_LEFT_FOOT : FIGURE_RIGHT_FOOT);
    LoosePoint *point = &bike->loose_points[left ? 0 : 1];
    float above[3] = {peg[0], peg[1] + 3.0f, peg[2] + 1.0f};
    double target[3];
    world_point(bike->frame_body, above, target);
    double d[3];
    for (int k = 0; k < 3; k++)
        d[k] = (target[k] - point->position[k]) * 32.0;
    double length = vec_length(d);
    if (!(length > 0.0))
        return;
    if (length > 1.0)
        vec_scale(d, d, 1.0 / length);
    for (int k = 0; k < 3; k++)
        point->velocity[k] = (float)(4.0 * d[k]);
}

void cancel_joint_net_force(BikeState *bike)
{
    if (current_tic <= 1 || bike->crash_timer > 0)
        return;
    dJointID joints[BIKE_JOINT_COUNT] = {bike->front_axle_joint, bike->rear_axle_joint,
                                         bike->steering_joint, bike->fork_joint,
                                         bike->swingarm_joint, bike->rider_joint};
    const dReal *frame = dBodyGetPosition(bike->frame_body);
    double force[3] = {0, 0, 0}, torque[3] = {0, 0, 0};
    for (int i = 0; i < BIKE_JOINT_COUNT; i++) {
        if (!joints[i])
            return;
        dBodyID b1 = dJointGetBody(joints[i], 0);
        dBodyID b2 = dJointGetBody(joints[i], 1);
        if (!b1 || !b2)
            return;
        const dJointFeedback *fb = &bike->feedback[i];
        const dReal *p1 = dBodyGetPosition(b1);
        const dReal *p2 = dBodyGetPosition(b2);
        double r1[3] = {p1[0] - frame[0], p1[1] - frame[1], p1[2] - frame[2]};
        double r2[3] = {p2[0] - frame[0], p2[1] - frame[1], p2[2] - frame[2]};
        double f1[3] = {fb->f1[0], fb->f1[1], fb->f1[2]};
        double f2[3] = {fb->f2[0], fb->f2[1], fb->f2[2]};
        double c1[3], c2[3];
        vec_cross(c1, r1, f1);
        vec_cross(c2, r2, f2);
        for (int k = 0; k < 3; k++) {
            force[k] += f1[k] + f2[k];
            torque[k] += fb->t1[k] + fb->t2[k] + c1[k] + c2[k];
        }
    }
    add_body_force(bike->frame_body, -force[0], -force[1], -force[2]);
    add_body_torque(bike->frame_body, -torque[0], -torque[1], -torque[2]);
}

void step_bike(BikeState *bike)
{
    if (!has_all_bodies(bike))
        return;
    const BikeModel *m = get_bike_state_model(bike);
    double frame_velocity[3];
    linear_velocity(bike->frame_body, frame_velocity);
    double speed2 = vec_dot(frame_velocity, frame_velocity);

    if (!bike->down && (double)current_tic * H > (double)race_settings.start_tic * H + 2.0 &&
        speed2 < 25.0)
        bike->down = 1;

    if (!is_bike_physics_active(bike)) {
        loose_rider_points_step(bike);
        return;
    }

    if (bike->knock >= -1.0f && bike->knock <= 1.0f)
        bike->knock = 0.0f;
    else if (bike->knock > 1.0f)
        bike->knock -= 1.0f;
    else if (bike->knock < -1.0f)
        bike->knock += 1.0f;

    if (!touches(&bike->front_contact) && !touches(&bike->rear_contact)) {
        if (frame_velocity[1] < 0.0 && bike->landing_tic >= bike->takeoff_tic)
            bike->takeoff_tic = current_tic;
    } else if (bike->landing_tic < bike->takeoff_tic) {
        bike->landing_tic = current_tic;
    }

    check_rider_thrown(bike);
    if (bike->crash_timer > 0)
        crashed_step(bike, m);

    float saved_dab = bike->dab;
    float saved_front_brake = bike->front_brake;
    float saved_rear_brake = bike->rear_brake;

    if (bike->back_up > 0.0f && speed2 < 25.0)
        back_up_step(bike, frame_velocity);
    else if (bike->bike_options & OPTION_AUTO_DAB)
        dab_when_stopped(bike, speed2);

    rider_springs(bike, m);
    apply_suspension_forces(bike);
    if (!bike->arcade_physics)
        steer_by_lean(bike);
    else if (bike->crash_timer == 0)
        arcade_balance(bike, m);
    engine_step(bike);
    steering_damping(bike);
    cancel_joint_net_force(bike);
    support_stopped_bike(bike);

    bike->dab = bike->crash_timer > 0 ? 0.0f : clamp_float(saved_dab, 0.0f, 1.0f);
    bike->front_brake = clamp_float(saved_front_brake, 0.0f, 1.0f);
    bike->rear_brake = clamp_float(saved_rear_brake, 0.0f, 1.0f);

    loose_rider_points_step(bike);

    const dReal *v = dBodyGetLinearVel(bike->rider_body);
    float *slot = bike->rider_velocity_ring[tic_mod(current_tic, 4)];
    for (int k = 0; k < 3; k++)
        slot[k] = (float)v[k];
}
