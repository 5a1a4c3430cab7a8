// Rider pose geometry: foot points, the two-bone limb solver and the bones
// of the skinned rider, computed from body poses.
#include "bike/rider_pose.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "track/terrain.h"

namespace {

const double UNIT_X[3] = {1, 0, 0};
const double UNIT_Y[3] = {0, 1, 0};
const double DOWN[3] = {0, -1, 0};

void figure_point(const BikeModel *model, int offset, float *out)
{
    out[0] = model->rider_figure[offset];
    out[1] = model->rider_figure[offset + 1];
    out[2] = model->rider_figure[offset + 2];
}

// World point of a body point given as three numbers.
void body_xyz_to_world(const BodyPose *pose, double x, double y, double z, double *out)
{
    const float local[3] = {(float)x, (float)y, (float)z};
    body_point_to_world(pose, local, out);
}

void figure_point_world(const BikeModel *model, int offset, const BodyPose *pose, double *out)
{
    float local[3];
    figure_point(model, offset, local);
    body_point_to_world(pose, local, out);
}

// Any unit vector at right angles to the unit vector u.
void any_perpendicular(double *out, const double *u)
{
    double trial[3];
    vec_cross(trial, u, std::fabs(u[0]) < 0.9 ? UNIT_X : UNIT_Y);
    vec_normalise_or(out, trial, UNIT_Y);
}

// Unit vector along v, which is meant to be at right angles to the unit
// vector axis; without a direction, the part of the fallback at right
// angles to the axis (or any such vector) instead.
void unit_across(double *out, const double *v, const double *axis, const double *fallback)
{
    if (vec_normalise_or(out, v, UNIT_Y))
        return;
    double t[3];
    vec_add_scaled(t, fallback, axis, -vec_dot(fallback, axis));
    if (!vec_normalise_or(out, t, UNIT_Y))
        any_perpendicular(out, axis);
}

void store_bone(RiderBones *bones, int bone, const double *position, const double *a,
                const double *b, const double *c)
{
    for (int i = 0; i < 3; i++) {
        bones->position[bone][i] = (float)position[i];
        bones->rotation[bone][i] = (float)a[i];
        bones->rotation[bone][3 + i] = (float)b[i];
        bones->rotation[bone][6 + i] = (float)c[i];
    }
}

// The foot's target on the ground: moved toward (P.x, ground + 0.125, P.z).
void put_foot_down(const RiderPoseInput *input, const double *p, double weight, double *foot)
{
    double h = input->ground_height(input->ground_context, (float)p[0], (float)p[2]);
    double target[3] = {p[0], h + 0.125, p[2]};
    vec_lerp(foot, foot, target, weight);
}

}  // namespace

void body_point_to_world(const BodyPose *pose, const float *local, double *out)
{
    const double v[3] = {local[0], local[1], local[2]};
    double turned[3];
    rotate_vector(turned, pose->rotation, v);
    vec_add(out, pose->position, turned);
}

float compute_lean_angle(const double *rotation)
{
    double up[3], forward[3];
    rotation_axis(up, rotation, 1);
    rotation_axis(forward, rotation, 2);
    vec_scale(forward, forward, -1.0);
    double fx = forward[0], fz = forward[2];
    double length = std::sqrt(fx * fx + fz * fz);
    if (length < 1e-6) {
        // Pointing straight up or down: the heading is the horizontal part
        // of the body's up axis (backward when nose up, forward when down).
        double sign = forward[1] > 0 ? -1.0 : 1.0;
        fx = sign * up[0];
        fz = sign * up[2];
        length = std::sqrt(fx * fx + fz * fz);
        if (length < 1e-12)
            return 0.0f;
    }
    fx /= length;
    fz /= length;
    double o = clamp_double(up[2] * fx - up[0] * fz, -1.0, 1.0);
    return (float)(std::acos(o) - M_PI / 2);
}

void compute_rider_pose_points_from(const RiderPoseInput *input, float *left_foot,
                                    float *right_foot, float *left_weight, float *right_weight)
{
    const BikeModel *model = input->model;
    float left_local[3], right_local[3];
    figure_point(model, FIGURE_LEFT_FOOT, left_local);
    figure_point(model, FIGURE_RIGHT_FOOT, right_local);

    // A crashed rider's feet leave the pegs: apart, up and back.
    int c = input->crash_timer;
    if (c > 0) {
        int n = c < 1 ? 1 : c > 128 ? 128 : c;
        float f = (float)n / 128.0f;
        float a = clamp_float(2.0f * (f - 0.5f), 0.0f, 1.0f) * 0.5f;
        float b = clamp_float(2.0f * f, 0.0f, 1.0f);
        float e = clamp_float(f * 4.0f / 3.0f, 0.0f, 1.0f);
        left_local[0] -= a;
        right_local[0] += a;
        left_local[1] += 1.75f * b;
        right_local[1] += 1.75f * b;
        left_local[2] += e;
        right_local[2] += e;
    }
    double left[3], right[3];
    body_point_to_world(&input->frame, left_local, left);
    body_point_to_world(&input->frame, right_local, right);
    double lw = 0.0, rw = 0.0;

    double dab = input->foot_down_amount;
    if (dab != 0.0 && c < 128 && input->ground_height) {
        double q1[3], q2[3], d[3], forward[3];
        figure_point_world(model, FIGURE_LEFT_HIP, &input->rider, q1);
        figure_point_world(model, FIGURE_RIGHT_HIP, &input->rider, q2);
        vec_sub(d, q2, q1);
        rotation_axis(forward, input->frame.rotation, 2);
        vec_scale(forward, forward, -1.0);
        double lean = compute_lean_angle(input->frame.rotation);
        double s = clamp_double(vec_dot(forward, input->frame_velocity) / 15.0, 0.0, 1.0);
        double l = clamp_double(std::fabs(lean) * 4.0 / M_PI, 0.0, 1.0);
        double o[3];
        vec_scale(o, forward, (1.25 * s - 0.25) * l * 2.5);
        if (lean > -0.1) {
            double p[3];
            vec_add_scaled(p, q1, d, 0.5 * l - 0.5);
            vec_add(p, p, o);
            double w = clamp_double((lean + 0.5) * 2.5, 0.0, 1.0);
            lw = 1.0 - w * (1.0 - dab);
            put_foot_down(input, p, lw, left);
        }
        if (lean < 0.1) {
            // The right foot is put on the ground under its own target.
            double p[3];
            vec_add_scaled(p, q2, d, 0.5 - 0.5 * l);
            vec_add(p, p, o);
            double w = clamp_double((0.5 - lean) * 2.5, 0.0, 1.0);
            rw = 1.0 - w * (1.0 - dab);
            put_foot_down(input, p, rw, right);
        }
    }

    // A crashed rider's feet follow the loose points.
    if (c > 0) {
        double g = clamp_double(2.0 * c - 128.0, 1.0, 128.0) / 128.0;
        const double a[3] = {input->loose_points[0][0], input->loose_points[0][1],
                             input->loose_points[0][2]};
        const double b[3] = {input->loose_points[1][0], input->loose_points[1][1],
                             input->loose_points[1][2]};
        vec_lerp(left, left, a, g);
        vec_lerp(right, right, b, g);
        lw = rw = 1.0;
    }

    for (int i = 0; i < 3; i++) {
        left_foot[i] = (float)left[i];
        right_foot[i] = (float)right[i];
    }
    if (left_weight)
        *left_weight = (float)lw;
    if (right_weight)
        *right_weight = (float)rw;
}

void solve_two_bone_joint(double *joint, const double *root, const double *end,
                          double first_length, double second_length, const double *hint)
{
    double reach = first_length + second_length;
    if (!(reach > 0.0)) {
        vec_copy(joint, root);
        return;
    }
    double r[3], u[3];
    vec_sub(r, end, root);
    vec_normalise_or(u, r, DOWN);
    // Beyond 0.95 of the reach the limb stays bent as at that distance;
    // nearer than the two lengths can fold, it folds as far as it can.
    double d = std::fmin(vec_length(r), 0.95 * reach);
    double fold = std::fabs(first_length - second_length);
    if (!(d >= fold))
        d = fold;
    double a = d > 1e-9 ? (d * d + first_length * first_length - second_length * second_length) / (2.0 * d)
                        : 0.0;
    double h = std::sqrt(std::fmax(0.0, first_length * first_length - a * a));

    double toward[3], w[3];
    vec_sub(toward, hint, root);
    vec_add_scaled(toward, toward, u, -vec_dot(toward, u));
    if (!vec_normalise_or(w, toward, UNIT_Y))
        any_perpendicular(w, u);
    vec_add_scaled(joint, root, u, a);
    vec_add_scaled(joint, joint, w, h);
}

void compute_torso_bone(const RiderPoseInput *input, RiderBones *bones)
{
    const float *figure = input->model->rider_figure;
    double ps[3], ph[3], x[3], dir[3], c[3], up[3];
    body_xyz_to_world(&input->rider, 0, figure[FIGURE_LEFT_SHOULDER + 1],
                      figure[FIGURE_LEFT_SHOULDER + 2], ps);
    body_xyz_to_world(&input->rider, 0, figure[FIGURE_LEFT_HIP + 1], figure[FIGURE_LEFT_HIP + 2], ph);
    rotation_axis(x, input->rider.rotation, 0);
    rotation_axis(up, input->rider.rotation, 1);
    double d[3];
    vec_sub(d, ps, ph);
    unit_across(dir, d, x, up);
    vec_cross(c, x, dir);
    store_bone(bones, BONE_TORSO, ph, x, dir, c);
}

void compute_leg_bones(const RiderPoseInput *input, RiderBones *bones)
{
    const BikeModel *model = input->model;
    const float *figure = model->rider_figure;
    float feet[2][3], weights[2];
    compute_rider_pose_points_from(input, feet[0], feet[1], &weights[0], &weights[1]);

    double hips[2][3], span[3], rider_z[3];
    figure_point_world(model, FIGURE_LEFT_HIP, &input->rider, hips[0]);
    figure_point_world(model, FIGURE_RIGHT_HIP, &input->rider, hips[1]);
    vec_sub(span, hips[1], hips[0]);
    rotation_axis(rider_z, input->rider.rotation, 2);

    for (int side = 0; side < 2; side++) {
        const double *hip = hips[side];
        const double foot[3] = {feet[side][0], feet[side][1], feet[side][2]};
        int hip_offset = side == 0 ? FIGURE_LEFT_HIP : FIGURE_RIGHT_HIP;
        double hint[3], knee[3];
        body_xyz_to_world(&input->rider, figure[hip_offset] + (side == 0 ? -0.5 : 0.5),
                          figure[hip_offset + 1], figure[hip_offset + 2] - 2.0, hint);
        solve_two_bone_joint(knee, hip, foot, figure[FIGURE_THIGH_LENGTH],
                             figure[FIGURE_SHIN_LENGTH], hint);

        double a[3], b[3], c[3], t[3];
        vec_sub(t, hip, knee);
        vec_normalise_or(b, t, UNIT_Y);
        vec_cross(t, span, b);
        unit_across(c, t, b, rider_z);
        vec_cross(a, b, c);
        store_bone(bones, side == 0 ? BONE_LEFT_THIGH : BONE_RIGHT_THIGH, hip, a, b, c);

        double to_hip[3], to_foot[3], n[3], reference[3];
        vec_sub(to_hip, hip, knee);
        vec_sub(to_foot, foot, knee);
        vec_cross(n, to_hip, to_foot);
        vec_copy(reference, span);
        if (vec_dot(n, n) >= 0.001)
            vec_lerp(reference, span, n, weights[side]);
        vec_sub(t, knee, foot);
        vec_normalise_or(b, t, UNIT_Y);
        vec_cross(t, reference, b);
        unit_across(c, t, b, rider_z);
        vec_cross(a, b, c);
        store_bone(bones, side == 0 ? BONE_LEFT_SHIN : BONE_RIGHT_SHIN, knee, a, b, c);
    }
}

void compute_arm_bones(const RiderPoseInput *input, RiderBones *bones)
{
    const BikeModel *model = input->model;
    const float *figure = model->rider_figure;
    double shoulders[2][3], hands[2][3], across[3];
    figure_point_world(model, FIGURE_LEFT_SHOULDER, &input->rider, shoulders[0]);
    figure_point_world(model, FIGURE_RIGHT_SHOULDER, &input->rider, shoulders[1]);
    figure_point_world(model, FIGURE_LEFT_HAND, &input->steering, hands[0]);
    figure_point_world(model, FIGURE_RIGHT_HAND, &input->steering, hands[1]);
    vec_sub(across, hands[1], hands[0]);   // G_R - G_L
    double dy = shoulders[1][1] - shoulders[0][1];

    double hints[2][3];
    body_xyz_to_world(&input->rider, figure[FIGURE_LEFT_SHOULDER] - 0.5,
                      figure[FIGURE_LEFT_SHOULDER + 1] - (1.5 * std::fmax(dy, 0.0) + 1.0),
                      figure[FIGURE_LEFT_SHOULDER + 2] + 2.0, hints[0]);
    vec_sub(hints[0], hints[0], across);
    body_xyz_to_world(&input->rider, figure[FIGURE_RIGHT_SHOULDER] + 0.5,
                      figure[FIGURE_RIGHT_SHOULDER + 1] -
                          (0.125 * input->throttle + 1.5 * std::fmax(-dy, 0.0) + 0.9),
                      figure[FIGURE_RIGHT_SHOULDER + 2] + 2.0, hints[1]);
    vec_add(hints[1], hints[1], across);

    // Torso up: the rider-body vector from the left hip to the left shoulder.
    double torso_local[3] = {0.0, (double)figure[FIGURE_LEFT_SHOULDER + 1] - figure[FIGURE_LEFT_HIP + 1],
                             (double)figure[FIGURE_LEFT_SHOULDER + 2] - figure[FIGURE_LEFT_HIP + 2]};
    double torso_up[3], rider_y[3], rider_z[3];
    rotate_vector(torso_up, input->rider.rotation, torso_local);
    rotation_axis(rider_y, input->rider.rotation, 1);
    rotation_axis(rider_z, input->rider.rotation, 2);

    for (int side = 0; side < 2; side++) {
        const double *shoulder = shoulders[side];
        const double *hand = hands[side];
        double elbow[3];
        solve_two_bone_joint(elbow, shoulder, hand, figure[FIGURE_UPPER_ARM_LENGTH],
                             figure[FIGURE_FOREARM_LENGTH], hints[side]);

        // Forearm: the left arm's vectors are mirrored.
        double a[3], b[3], c[3], t[3], bar[3];
        if (side == 0) {
            vec_sub(t, elbow, hand);
            vec_scale(bar, across, -1.0);   // G_L - G_R
        } else {
            vec_sub(t, hand, elbow);
            vec_copy(bar, across);
        }
        vec_normalise_or(a, t, UNIT_X);
        vec_cross(t, bar, a);
        unit_across(b, t, a, rider_y);
        vec_cross(c, a, b);
        store_bone(bones, side == 0 ? BONE_LEFT_FOREARM : BONE_RIGHT_FOREARM, elbow, a, b, c);

        // Upper arm.
        if (side == 0)
            vec_sub(t, shoulder, elbow);
        else
            vec_sub(t, elbow, shoulder);
        vec_normalise_or(a, t, UNIT_X);
        vec_cross(t, a, torso_up);
        unit_across(c, t, a, rider_z);
        vec_cross(b, c, a);
        store_bone(bones, side == 0 ? BONE_LEFT_UPPER_ARM : BONE_RIGHT_UPPER_ARM, shoulder, a, b,
                   c);
    }
}

static float terrain_ground(const void *context, float x, float z)
{
    return get_terrain_height((const Terrain *)context, x, z);
}

static void read_body_pose(dBodyID body, BodyPose *pose)
{
    if (!body) {
        memset(pose, 0, sizeof *pose);
        pose->rotation[0] = pose->rotation[4] = pose->rotation[8] = 1.0;
        return;
    }
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);   // rows of four
    for (int i = 0; i < 3; i++) {
        pose->position[i] = p[i];
        for (int j = 0; j < 3; j++)
            pose->rotation[3 * i + j] = r[4 * i + j];
    }
}

void get_rider_pose_input(const BikeState *bike, RiderPoseInput *input)
{
    memset(input, 0, sizeof *input);
    input->model = get_bike_state_model(bike);
    read_body_pose(bike->frame_body, &input->frame);
    read_body_pose(bike->rider_body, &input->rider);
    read_body_pose(bike->fork_upper_body, &input->steering);
    if (bike->frame_body) {
        const dReal *v = dBodyGetLinearVel(bike->frame_body);
        vec_set(input->frame_velocity, v[0], v[1], v[2]);
    }
    input->crash_timer = bike->crash_timer;
    input->foot_down_amount = bike->foot_down_amount;
    input->throttle = bike->throttle;
    for (int i = 0; i < 2; i++)
        memcpy(input->loose_points[i], bike->loose_points[i].position, sizeof input->loose_points[i]);
    if (current_terrain) {
        input->ground_height = terrain_ground;
        input->ground_context = current_terrain;
    }
}

void compute_rider_pose_points(const BikeState *bike, float *left_foot, float *right_foot,
                               float *left_weight, float *right_weight)
{
    RiderPoseInput input;
    get_rider_pose_input(bike, &input);
    compute_rider_pose_points_from(&input, left_foot, right_foot, left_weight, right_weight);
}

void start_loose_rider_points(BikeState *bike)
{
    int crash_timer = bike->crash_timer;
    bike->crash_timer = 0;
    float points[2][3];
    compute_rider_pose_points(bike, points[0], points[1], nullptr, nullptr);
    bike->crash_timer = crash_timer;
    for (int i = 0; i < 2; i++) {
        dVector3 velocity = {0, 0, 0};
        if (bike->rider_body)
            dBodyGetPointVel(bike->rider_body, points[i][0], points[i][1], points[i][2], velocity);
        for (int k = 0; k < 3; k++) {
            bike->loose_points[i].position[k] = points[i][k];
            bike->loose_points[i].velocity[k] = (float)velocity[k];
        }
    }
}
