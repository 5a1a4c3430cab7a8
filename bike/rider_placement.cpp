// Packing a bike's pose into a packed rider state, posing a bike from one,
// and the per-tic placement of bikes driven by received or replayed states.
#include "bike/packed_state.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/bike_state.h"
#include "bike/rider_pose.h"
#include "race/race_state.h"
#include "track/terrain.h"

namespace {

const double RPM_PER_RADIAN_PER_SECOND = 60.0 / (2.0 * M_PI);

void rest_offset(const float *a, const float *b, double *out)
{
    vec_set(out, (double)a[0] - b[0], (double)a[1] - b[1], (double)a[2] - b[2]);
}

void copy_rotation(double *out, const dReal *r)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out[3 * i + j] = r[4 * i + j];
}

void quaternion_to_rotation(const double *q, double *r)
{
    dQuaternion quaternion = {q[0], q[1], q[2], q[3]};
    dMatrix3 m;
    dQtoR(quaternion, m);
    copy_rotation(r, m);
}

// A body-local point of a body in the world.
void body_point(dBodyID body, const double *local, double *out)
{
    dVector3 world;
    dBodyGetRelPointPos(body, local[0], local[1], local[2], world);
    vec_set(out, world[0], world[1], world[2]);
}

// parent's rotation times a turn about the axis.
void set_turned_rotation(dBodyID body, const dReal *parent, double x, double y, double z,
                         double angle)
{
    dMatrix3 turn, result;
    dRFromAxisAndAngle(turn, x, y, z, angle);
    dMultiply0_333(result, parent, turn);
    dBodySetRotation(body, result);
}

// The rider's place on the bike in the older form: the rest position moved
// along the travel axis, relative to the frame's rest position.
void travel_offset(const BikeModel *m, double t, double *out)
{
    double axis[3] = {m->rider_travel_axis[0], m->rider_travel_axis[1], m->rider_travel_axis[2]};
    const double none[3] = {0, 0, 0};
    vec_normalise_or(axis, axis, none);
    double along = m->rider_travel_range[0] + (m->rider_travel_range[1] - m->rider_travel_range[0]) * t;
    rest_offset(m->rider_position, m->frame_position, out);
    vec_add_scaled(out, out, axis, along);
}

// The rider on the bike at its rest place with the frame's orientation,
// and the rider joint attached again.
void seat_rider(BikeState *bike)
{
    const BikeModel *m = get_bike_state_model(bike);
    double local[3], seat[3];
    rest_offset(m->rider_position, m->frame_position, local);
    body_point(bike->frame_body, local, seat);
    dBodySetPosition(bike->rider_body, seat[0], seat[1], seat[2]);
    dBodySetRotation(bike->rider_body, dBodyGetRotation(bike->frame_body));
    dJointAttach(bike->rider_joint, bike->rider_body, bike->frame_body);
}

void detach_rider(BikeState *bike, uint8_t gear_byte)
{
    dJointAttach(bike->rider_joint, nullptr, nullptr);
    bike->crash_timer = decode_crash_timer(gear_byte);
    bike->throttle = 0.0f;
}

void set_gear_and_throttle(BikeState *bike, uint8_t gear_byte)
{
    int code = gear_byte & 7;
    bike->gear = step_gear(get_bike_state_model(bike), code < 5 ? code : 5);
    bike->throttle = (float)(gear_byte >> 4) / 15.0f;
}

bool has_bodies(const BikeState *bike)
{
    return bike->frame_body && bike->front_wheel_body && bike->rear_wheel_body &&
           bike->fork_upper_body && bike->fork_lower_body && bike->swingarm_body &&
           bike->rider_body && bike->rider_joint;
}

void limit_length(double *v, double limit)
{
    double length = vec_length(v);
    if (length > limit)
        vec_scale(v, v, limit / length);
}

}  // namespace

void get_packed_state_scale(const BikeState *bike, PackedStateScale *scale)
{
    const BikeModel *m = get_bike_state_model(bike);
    scale->extent = current_terrain ? current_terrain->extent : 0.0;
    // The height as loaded: digging lowers min_height, and every client and
    // demo must decode heights alike whatever the dig progress.
    scale->low_height = current_terrain ? current_terrain->loaded_min_height : 0.0;
    scale->swingarm_travel = get_swingarm_travel(m);
    scale->fork_travel = m->fork_travel;
}

void pack_rider_state(const BikeState *bike, uint8_t *bytes)
{
    RiderStateValues v;
    memset(&v, 0, sizeof v);
    v.frame_orientation[0] = v.rider_orientation[0] = 1.0;
    if (has_bodies(bike)) {
        const dReal *frame = dBodyGetPosition(bike->frame_body);
        const dReal *rider = dBodyGetPosition(bike->rider_body);
        const dReal *q = dBodyGetQuaternion(bike->frame_body);
        const dReal *qr = dBodyGetQuaternion(bike->rider_body);
        for (int i = 0; i < 3; i++) {
            v.frame_position[i] = frame[i];
            v.rider_offset[i] = rider[i] - frame[i];
        }
        for (int i = 0; i < 4; i++) {
            v.frame_orientation[i] = q[i];
            v.rider_orientation[i] = qr[i];
        }
        v.steering_angle = dJointGetHingeAngle(bike->steering_joint);
        v.swingarm_angle = dJointGetHingeAngle(bike->swingarm_joint);
        v.fork_position = dJointGetSliderPosition(bike->fork_joint);
        v.front_wheel_angle = dJointGetHingeAngle(bike->front_axle_joint);
        v.rear_wheel_angle = dJointGetHingeAngle(bike->rear_axle_joint);
    }
    v.gear_byte = encode_gear_byte(bike->crash_timer, bike->gear, bike->foot_down_amount,
                                   bike->throttle);
    v.engine_rpm = bike->engine_speed * RPM_PER_RADIAN_PER_SECOND;
    PackedStateScale scale;
    get_packed_state_scale(bike, &scale);
    encode_rider_state(&v, &scale, bytes);
}

void unpack_rider_state(BikeState *bike, const uint8_t *bytes, int format)
{
    if (!has_bodies(bike))
        return;
    const BikeModel *m = get_bike_state_model(bike);
    PackedStateScale scale;
    get_packed_state_scale(bike, &scale);
    RiderStateValues v;
    decode_rider_state(bytes, format, &scale, &v);

    // Frame.
    dBodySetPosition(bike->frame_body, v.frame_position[0], v.frame_position[1], v.frame_position[2]);
    dQuaternion q = {v.frame_orientation[0], v.frame_orientation[1], v.frame_orientation[2],
                     v.frame_orientation[3]};
    dBodySetQuaternion(bike->frame_body, q);
    const dReal *frame_rotation = dBodyGetRotation(bike->frame_body);

    // Steering head, turned about the steering axis.
    double local[3], world[3], steer_axis[3];
    rest_offset(m->fork_upper_position, m->frame_position, local);
    body_point(bike->frame_body, local, world);
    dBodySetPosition(bike->fork_upper_body, world[0], world[1], world[2]);
    rest_offset(m->fork_upper_position, m->fork_lower_position, steer_axis);
    set_turned_rotation(bike->fork_upper_body, frame_rotation, steer_axis[0], steer_axis[1],
                        steer_axis[2], v.steering_angle);

    // Swingarm, turned about its pivot.
    double r = v.swingarm_angle, arm[3];
    rest_offset(m->swingarm_position, m->swingarm_pivot, arm);
    double turned[3] = {arm[0], arm[1] * std::cos(r) - arm[2] * std::sin(r),
                        arm[1] * std::sin(r) + arm[2] * std::cos(r)};
    for (int i = 0; i < 3; i++)
        local[i] = (double)m->swingarm_pivot[i] + turned[i] - m->frame_position[i];
    body_point(bike->frame_body, local, world);
    dBodySetPosition(bike->swingarm_body, world[0], world[1], world[2]);
    set_turned_rotation(bike->swingarm_body, frame_rotation, 1, 0, 0, r);

    // Fork lower, slid along the fork.
    double down[3];
    rest_offset(m->fork_lower_position, m->fork_upper_position, down);
    double leg[3];
    vec_copy(leg, down);
    const double none[3] = {0, -1, 0};
    vec_normalise_or(down, down, none);
    vec_add_scaled(local, leg, down, v.fork_position);
    body_point(bike->fork_upper_body, local, world);
    dBodySetPosition(bike->fork_lower_body, world[0], world[1], world[2]);
    dBodySetRotation(bike->fork_lower_body, dBodyGetRotation(bike->fork_upper_body));

    // Rider.
    if (format == OLD_PACKED_STATE_FORMAT) {
        travel_offset(m, v.rider_travel, local);
        body_point(bike->frame_body, local, world);
        dBodySetPosition(bike->rider_body, world[0], world[1], world[2]);
        dBodySetRotation(bike->rider_body, frame_rotation);
    } else {
        vec_add(world, v.frame_position, v.rider_offset);
        dBodySetPosition(bike->rider_body, world[0], world[1], world[2]);
        dQuaternion qr = {v.rider_orientation[0], v.rider_orientation[1], v.rider_orientation[2],
                          v.rider_orientation[3]};
        dBodySetQuaternion(bike->rider_body, qr);
    }

    // Wheels, turned on their axles.
    rest_offset(m->front_wheel.position, m->fork_lower_position, local);
    body_point(bike->fork_lower_body, local, world);
    dBodySetPosition(bike->front_wheel_body, world[0], world[1], world[2]);
    set_turned_rotation(bike->front_wheel_body, dBodyGetRotation(bike->fork_lower_body), -1, 0, 0,
                        v.front_wheel_angle);
    rest_offset(m->rear_wheel.position, m->swingarm_position, local);
    body_point(bike->swingarm_body, local, world);
    dBodySetPosition(bike->rear_wheel_body, world[0], world[1], world[2]);
    set_turned_rotation(bike->rear_wheel_body, dBodyGetRotation(bike->swingarm_body), -1, 0, 0,
                        v.rear_wheel_angle);

    // Gear, throttle and crash state.
    if ((v.gear_byte & 7) == GEAR_CODE_OFF_BIKE) {
        detach_rider(bike, v.gear_byte);
    } else {
        if (bike->crash_timer > 0) {
            dVector3 rider_position;
            const dReal *p = dBodyGetPosition(bike->rider_body);
            vec_set(rider_position, p[0], p[1], p[2]);
            dQuaternion rider_orientation;
            memcpy(rider_orientation, dBodyGetQuaternion(bike->rider_body), sizeof rider_orientation);
            seat_rider(bike);
            dBodySetPosition(bike->rider_body, rider_position[0], rider_position[1], rider_position[2]);
            dBodySetQuaternion(bike->rider_body, rider_orientation);
        }
        bike->crash_timer = 0;
        set_gear_and_throttle(bike, v.gear_byte);
    }
    bike->engine_speed = (float)(v.engine_rpm / RPM_PER_RADIAN_PER_SECOND);
}

void rotation_vector_between(const double *a, const double *b, double *out)
{
    vec_set(out, 0, 0, 0);
    double d[3][3], ca[3][3], cb[3][3];
    for (int i = 0; i < 3; i++) {
        rotation_axis(ca[i], a, i);
        rotation_axis(cb[i], b, i);
        vec_sub(d[i], cb[i], ca[i]);
    }
    // Every column moves at right angles to the axis: the largest cross
    // product of two column differences lies along it.
    double best[3] = {0, 0, 0}, best_length = 0.0;
    for (int i = 0; i < 3; i++) {
        double c[3];
        vec_cross(c, d[i], d[(i + 1) % 3]);
        double length = vec_length(c);
        if (length > best_length) {
            best_length = length;
            vec_copy(best, c);
        }
    }
    if (!(best_length > 1e-18))
        return;
    double axis[3];
    vec_scale(axis, best, 1.0 / best_length);
    // The angle between the parts of a column at right angles to the axis,
    // from the column that has the most of them.
    double pa[3] = {0.0, 0.0, 0.0}, pb[3] = {0.0, 0.0, 0.0}, best_perpendicular = -1.0;
    for (int i = 0; i < 3; i++) {
        double p[3];
        vec_add_scaled(p, ca[i], axis, -vec_dot(ca[i], axis));
        double length = vec_length(p);
        if (length > best_perpendicular) {
            best_perpendicular = length;
            vec_copy(pa, p);
            vec_add_scaled(pb, cb[i], axis, -vec_dot(cb[i], axis));
        }
    }
    double la = vec_length(pa), lb = vec_length(pb);
    if (!(la > 1e-12) || !(lb > 1e-12))
        return;
    double angle = std::acos(clamp_double(vec_dot(pa, pb) / (la * lb), -1.0, 1.0));
    double turn[3];
    vec_cross(turn, pa, pb);
    if (vec_dot(turn, axis) < 0.0)
        angle = -angle;
    vec_scale(out, axis, angle);
}

void apply_rider_state(BikeState *bike, const uint8_t *current, const uint8_t *earlier,
                       const uint8_t *later, int tics, int format)
{
    if (!has_bodies(bike))
        return;
    if (bike->physics_weight > 0.25f) {
        pull_bike_toward_state(bike, current, earlier, later, tics, format);
        return;
    }
    int crash_timer = bike->crash_timer;
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);

    unpack_rider_state(bike, earlier, format);
    double positions[BIKE_BODY_COUNT][3], rotations[BIKE_BODY_COUNT][9];
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal *p = dBodyGetPosition(bodies[i]);
        vec_set(positions[i], p[0], p[1], p[2]);
        copy_rotation(rotations[i], dBodyGetRotation(bodies[i]));
    }
    unpack_rider_state(bike, later, format);
    int n = tics < 1 ? 1 : tics;
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal *p = dBodyGetPosition(bodies[i]);
        double now[3] = {p[0], p[1], p[2]}, velocity[3], rotation[9], spin[3];
        vec_sub(velocity, now, positions[i]);
        vec_scale(velocity, velocity, 1.0 / (n * (double)TIC_LENGTH));
        dBodySetLinearVel(bodies[i], velocity[0], velocity[1], velocity[2]);
        copy_rotation(rotation, dBodyGetRotation(bodies[i]));
        rotation_vector_between(rotations[i], rotation, spin);
        dBodySetAngularVel(bodies[i], spin[0] / n, spin[1] / n, spin[2] / n);
    }

    unpack_rider_state(bike, current, format);

    // Keep the bike out of the ground under its rear wheel.
    if (current_terrain) {
        const BikeModel *m = get_bike_state_model(bike);
        dVector3 down;
        dBodyVectorToWorld(bike->frame_body, 0, -m->rear_wheel.rim_radius, 0, down);
        const dReal *wheel = dBodyGetPosition(bike->rear_wheel_body);
        double x = wheel[0] + down[0], y = wheel[1] + down[1], z = wheel[2] + down[2];
        double ground = get_terrain_height(current_terrain, (float)x, (float)z);
        if (ground > y)
            move_bike_bodies(bike, 0.0f, (float)(ground - y), 0.0f);
    }

    if (crash_timer == 0 && bike->crash_timer > 0)
        start_loose_rider_points(bike);

    uint8_t gear_byte = current[format == OLD_PACKED_STATE_FORMAT ? 23 : 36];
    if ((gear_byte & 8) || (gear_byte & 7) == GEAR_CODE_OFF_BIKE)
        bike->foot_down_amount = std::fmin(1.0f, bike->foot_down_amount + 8.0f * TIC_LENGTH);
}

void pull_bike_toward_state(BikeState *bike, const uint8_t *current, const uint8_t *earlier,
                            const uint8_t *later, int tics, int format)
{
    if (!has_bodies(bike))
        return;
    const BikeModel *m = get_bike_state_model(bike);
    PackedStateScale scale;
    get_packed_state_scale(bike, &scale);
    RiderStateValues now, before, after;
    decode_rider_state(current, format, &scale, &now);
    decode_rider_state(earlier, format, &scale, &before);
    decode_rider_state(later, format, &scale, &after);
    double h = TIC_LENGTH;
    int n = tics < 1 ? 1 : tics;

    double w = bike->physics_weight, position_gain = 0.0, velocity_gain = 0.0;
    if (w > 0.75) {
        position_gain = velocity_gain = 0.0;
    } else if (w > 0.5) {
        double s = clamp_double((0.75 - w) * 4.0, 0.0, 1.0);
        position_gain = 5000.0 * s;
        velocity_gain = -500.0 * s;
    } else {
        double s = clamp_double((0.5 - w) * 2.0, 0.0, 1.0);
        velocity_gain = -500.0;
        position_gain = 5000.0 + 45000.0 * s;
    }

    // Pull the frame toward the record's position and velocity.
    double target_velocity[3], frame_position[3], frame_velocity[3], force[3], error[3];
    vec_sub(target_velocity, after.frame_position, before.frame_position);
    vec_scale(target_velocity, target_velocity, 1.0 / (n * h));
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *lv = dBodyGetLinearVel(bike->frame_body);
    vec_set(frame_position, p[0], p[1], p[2]);
    vec_set(frame_velocity, lv[0], lv[1], lv[2]);
    vec_sub(error, frame_velocity, target_velocity);
    vec_scale(force, error, velocity_gain);
    vec_sub(error, now.frame_position, frame_position);
    vec_add_scaled(force, force, error, position_gain);
    limit_length(force, 2500.0);
    dBodyAddForce(bike->frame_body, force[0], force[1], force[2]);

    // And toward its orientation.
    double frame_rotation[9], target_rotation[9], turn[3], torque[3];
    copy_rotation(frame_rotation, dBodyGetRotation(bike->frame_body));
    quaternion_to_rotation(now.frame_orientation, target_rotation);
    rotation_vector_between(frame_rotation, target_rotation, turn);
    const dReal *av = dBodyGetAngularVel(bike->frame_body);
    double spin[3] = {av[0], av[1], av[2]};
    vec_scale(torque, spin, velocity_gain);
    vec_add_scaled(torque, torque, turn, h * position_gain);
    limit_length(torque, 2500.0);
    dBodyAddTorque(bike->frame_body, torque[0], torque[1], torque[2]);

    // Steer toward the record's steering angle.
    double steer = (now.steering_angle - dJointGetHingeAngle(bike->steering_joint) -
                    dJointGetHingeAngleRate(bike->steering_joint)) * 0.25;
    bike->steer = (float)clamp_double(steer, -1.0, 1.0);

    // Crash state, gear and throttle.
    uint8_t gear_byte = now.gear_byte;
    if ((gear_byte & 7) == GEAR_CODE_OFF_BIKE) {
        if (bike->crash_timer <= 0) {
            start_loose_rider_points(bike);
            detach_rider(bike, gear_byte);
        }
    } else {
        if (bike->crash_timer > 0) {
            seat_rider(bike);
            double offset[3], rider[3];
            if (format == OLD_PACKED_STATE_FORMAT) {
                travel_offset(m, now.rider_travel, offset);
                body_point(bike->frame_body, offset, rider);
            } else {
                vec_add(rider, frame_position, now.rider_offset);
                dQuaternion qr = {now.rider_orientation[0], now.rider_orientation[1],
                                  now.rider_orientation[2], now.rider_orientation[3]};
                dBodySetQuaternion(bike->rider_body, qr);
            }
            dBodySetPosition(bike->rider_body, rider[0], rider[1], rider[2]);
        }
        bike->crash_timer = 0;
        set_gear_and_throttle(bike, gear_byte);
    }
    bool off = bike->crash_timer > 0;
    bike->dab = !off && (gear_byte & 8) ? 1.0f : 0.0f;

    // Lean toward the record's rider offset, measured in the record's frame.
    double d[3];
    if (format == OLD_PACKED_STATE_FORMAT) {
        double offset[3];
        travel_offset(m, now.rider_travel, offset);
        rotate_vector(d, target_rotation, offset);
    } else {
        vec_copy(d, now.rider_offset);
    }
    double y_axis[3], z_axis[3];
    rotation_axis(y_axis, target_rotation, 1);
    rotation_axis(z_axis, target_rotation, 2);
    double h0 = (double)m->rider_position[1] - m->frame_position[1];
    double z0 = (double)m->rider_position[2] - m->frame_position[2];
    double lean = (h0 - vec_dot(d, y_axis)) * (0.5 + 0.5 * bike->dab) - (z0 - vec_dot(d, z_axis));
    bike->lean = off ? 0.0f : (float)clamp_double(lean, -1.0, 1.0);
    bike->engine_speed = (float)(now.engine_rpm / RPM_PER_RADIAN_PER_SECOND);
}
