// Rider pose geometry: foot points against hand-worked poses, the limb
// solver at and past its limits, and the bones against the rider figure.
#include "bike/rider_pose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

static void identity(double *rotation)
{
    const double id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    memcpy(rotation, id, sizeof id);
}

// Rotation about z by angle (the bike's top toward -x for a positive angle).
static void roll(double *rotation, double angle)
{
    double c = std::cos(angle), s = std::sin(angle);
    const double r[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    memcpy(rotation, r, sizeof r);
}

static float flat_ground(const void *, float, float)
{
    return 0.0f;
}

// Ground rising toward +x: one foot of height per foot.
static float slope_ground(const void *, float x, float)
{
    return x;
}

// The bike at rest: every body at its model rest position, upright.
static RiderPoseInput rest_input()
{
    RiderPoseInput in;
    memset(&in, 0, sizeof in);
    const BikeModel *m = &bike_models[0];
    in.model = m;
    for (int i = 0; i < 3; i++) {
        in.frame.position[i] = m->frame_position[i];
        in.rider.position[i] = m->rider_position[i];
        in.steering.position[i] = m->fork_upper_position[i];
    }
    identity(in.frame.rotation);
    identity(in.rider.rotation);
    identity(in.steering.rotation);
    in.ground_height = flat_ground;
    return in;
}

#define EXPECT_POINT(p, x, y, z, tolerance)          \
    do {                                             \
        EXPECT_NEAR((p)[0], (x), (tolerance));       \
        EXPECT_NEAR((p)[1], (y), (tolerance));       \
        EXPECT_NEAR((p)[2], (z), (tolerance));       \
    } while (0)

TEST(RiderPose, FeetRestOnThePegs)
{
    RiderPoseInput in = rest_input();
    float left[3], right[3], lw = -1, rw = -1;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    EXPECT_POINT(left, -0.55, 1.45, 4.05, 1e-6);
    EXPECT_POINT(right, 0.55, 1.45, 4.05, 1e-6);
    EXPECT_EQ(lw, 0.0f);
    EXPECT_EQ(rw, 0.0f);
    compute_rider_pose_points_from(&in, left, right, nullptr, nullptr);   // weights optional
}

TEST(RiderPose, DabbingPutsFeetOnTheGroundBesideTheHips)
{
    RiderPoseInput in = rest_input();
    in.foot_down_amount = 1.0f;
    float left[3], right[3], lw, rw;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    // Hips at (-+0.4, 3.9, 4.45), half the hip span further out, on the ground.
    EXPECT_POINT(left, -0.8, 0.125, 4.45, 1e-6);
    EXPECT_POINT(right, 0.8, 0.125, 4.45, 1e-6);
    EXPECT_EQ(lw, 1.0f);
    EXPECT_EQ(rw, 1.0f);

    // Half down on a slope: each foot goes halfway toward the ground under
    // its own target (the right one is higher).
    in.foot_down_amount = 0.5f;
    in.ground_height = slope_ground;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    EXPECT_POINT(left, -0.675, 0.3875, 4.25, 1e-6);
    EXPECT_POINT(right, 0.675, 1.1875, 4.25, 1e-6);
    EXPECT_EQ(lw, 0.5f);
    EXPECT_EQ(rw, 0.5f);

    // No ground known: the feet stay on the pegs.
    in.ground_height = nullptr;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    EXPECT_POINT(left, -0.55, 1.45, 4.05, 1e-6);
    EXPECT_EQ(lw, 0.0f);
}

TEST(RiderPose, LeaningPutsDownOnlyTheInsideFoot)
{
    RiderPoseInput in = rest_input();
    for (int i = 0; i < 3; i++)
        in.frame.position[i] = in.rider.position[i] = 0.0;
    roll(in.frame.rotation, 0.3);   // leaning left
    roll(in.rider.rotation, 0.3);
    in.foot_down_amount = 1.0f;
    float left[3], right[3], lw, rw;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    // Worked by hand: hip (-0.204822, -0.691410, 0.33), span (0.764269,
    // 0.236416, 0) times -0.309014, plus 0.238732 backward.
    EXPECT_POINT(left, -0.440992, 0.125, 0.568732, 1e-5);
    EXPECT_EQ(lw, 1.0f);
    // The outside foot stays on its peg.
    double c = std::cos(0.3), s = std::sin(0.3);
    EXPECT_POINT(right, 0.55 * c + 0.53 * s, 0.55 * s - 0.53 * c, 0.45, 1e-6);
    EXPECT_EQ(rw, 0.0f);
}

TEST(RiderPose, CrashedFeetLeaveThePegsForTheLoosePoints)
{
    RiderPoseInput in = rest_input();
    in.loose_points[0][0] = 10.0f;
    in.loose_points[1][1] = -10.0f;
    in.foot_down_amount = 1.0f;   // ignored from 128 on
    float left[3], right[3], lw, rw;

    // Just crashed (64): feet up 1.75 and back 2/3, then 1/128 of the way
    // to the loose points.
    in.crash_timer = 64;
    in.foot_down_amount = 0.0f;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    double lx = -0.55, ly = 3.2, lz = 3.6 + 0.45 + 2.0 / 3.0;
    EXPECT_POINT(left, lx + (10 - lx) / 128, ly - ly / 128, lz - lz / 128, 1e-5);
    EXPECT_POINT(right, 0.55 - 0.55 / 128, ly + (-10 - ly) / 128, lz - lz / 128, 1e-5);
    EXPECT_EQ(lw, 1.0f);
    EXPECT_EQ(rw, 1.0f);

    // Long down (200): the feet are the loose points.
    in.crash_timer = 200;
    in.foot_down_amount = 1.0f;
    compute_rider_pose_points_from(&in, left, right, &lw, &rw);
    EXPECT_POINT(left, 10, 0, 0, 1e-6);
    EXPECT_POINT(right, 0, -10, 0, 1e-6);
}

TEST(RiderPose, TwoBoneJointKeepsALimbWhole)
{
    struct Case {
        const char *name;
        double end[3];
        double first, second;
        double hint[3];
        double joint[3];
    } cases[] = {
        {"bent", {0, -2, 0}, 1.5, 1.5, {0, -1, -5}, {0, -1, -1.118034}},
        {"stretched past reach", {0, -10, 0}, 1.5, 1.5, {0, -1, -5}, {0, -1.425, -0.468375}},
        {"folded to nothing", {0, 0, 0}, 1, 1, {1, 0, 0}, {1, 0, 0}},
        {"nearer than it folds", {0, -0.1, 0}, 2, 0.5, {0, 0, -1}, {0, -2, 0}},
        {"hint on the limb's line", {0, -2, 0}, 1.5, 1.5, {0, -5, 0}, {0, -1, 1.118034}},
        {"no lengths", {3, 4, 5}, 0, 0, {0, 0, 1}, {0, 0, 0}},
    };
    const double root[3] = {0, 0, 0};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double joint[3];
        solve_two_bone_joint(joint, root, c.end, c.first, c.second, c.hint);
        EXPECT_POINT(joint, c.joint[0], c.joint[1], c.joint[2], 1e-6);
    }
}

// v of a bone's rest mesh moved by the bone: R (v - c) + t.
static void pose_point(const RiderBones *bones, const float *figure, int bone, const double *rest,
                       double *out)
{
    const float *c = figure + FIGURE_BONE_CENTRES + 3 * bone;
    const float *r = bones->rotation[bone];
    double d[3] = {rest[0] - c[0], rest[1] - c[1], rest[2] - c[2]};
    for (int i = 0; i < 3; i++)
        out[i] = d[0] * r[i] + d[1] * r[3 + i] + d[2] * r[6 + i] + bones->position[bone][i];
}

static void expect_rotation(const RiderBones *bones, int bone)
{
    const float *r = bones->rotation[bone];
    const double a[3] = {r[0], r[1], r[2]}, b[3] = {r[3], r[4], r[5]}, c[3] = {r[6], r[7], r[8]};
    EXPECT_NEAR(a[0] * a[0] + a[1] * a[1] + a[2] * a[2], 1.0, 1e-5) << bone;
    EXPECT_NEAR(b[0] * b[0] + b[1] * b[1] + b[2] * b[2], 1.0, 1e-5) << bone;
    EXPECT_NEAR(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], 0.0, 1e-5) << bone;
    // c = a x b: a right-handed frame.
    EXPECT_NEAR(a[1] * b[2] - a[2] * b[1], c[0], 1e-5) << bone;
    EXPECT_NEAR(a[2] * b[0] - a[0] * b[2], c[1], 1e-5) << bone;
    EXPECT_NEAR(a[0] * b[1] - a[1] * b[0], c[2], 1e-5) << bone;
}

// The rest mesh posed by the bones puts every limb end where the figure
// says: the torso carries the shoulders, each limb segment's far end lands
// on the next joint, the shins on the pegs and the forearms on the grips.
TEST(RiderPose, BonesCarryTheRestMeshOntoTheFigure)
{
    RiderPoseInput in = rest_input();
    in.throttle = 0.5f;
    RiderBones bones;
    compute_torso_bone(&in, &bones);
    compute_leg_bones(&in, &bones);
    compute_arm_bones(&in, &bones);
    for (int bone = 0; bone < RIDER_BONE_COUNT; bone++)
        expect_rotation(&bones, bone);

    const float *f = in.model->rider_figure;
    const float *centre = f + FIGURE_BONE_CENTRES;
    auto rest = [&](int bone, double dx, double dy, double *out) {
        out[0] = centre[3 * bone] + dx;
        out[1] = centre[3 * bone + 1] + dy;
        out[2] = centre[3 * bone + 2];
    };
    const double *rider = in.rider.position;
    double rest_point[3], posed[3];
    for (int side = 0; side < 2; side++) {
        SCOPED_TRACE(side ? "right" : "left");
        double sign = side ? 1.0 : -1.0;
        // Torso: the shoulder joint onto the figure's shoulder.
        rest(BONE_LEFT_UPPER_ARM + side, 0, 0, rest_point);
        pose_point(&bones, f, BONE_TORSO, rest_point, posed);
        int shoulder = side ? FIGURE_RIGHT_SHOULDER : FIGURE_LEFT_SHOULDER;
        EXPECT_POINT(posed, rider[0] + f[shoulder], rider[1] + f[shoulder + 1],
                     rider[2] + f[shoulder + 2], 1e-4);
        // Torso: the hip joint onto the figure's hip.
        rest(BONE_LEFT_THIGH + side, 0, 0, rest_point);
        pose_point(&bones, f, BONE_TORSO, rest_point, posed);
        int hip = side ? FIGURE_RIGHT_HIP : FIGURE_LEFT_HIP;
        EXPECT_POINT(posed, rider[0] + f[hip], rider[1] + f[hip + 1], rider[2] + f[hip + 2], 1e-4);
        // Thigh: the knee onto the shin's position.
        rest(BONE_LEFT_SHIN + side, 0, 0, rest_point);
        pose_point(&bones, f, BONE_LEFT_THIGH + side, rest_point, posed);
        const float *knee = bones.position[BONE_LEFT_SHIN + side];
        EXPECT_POINT(posed, knee[0], knee[1], knee[2], 1e-4);
        // Shin: the ankle onto the peg.
        rest(BONE_LEFT_SHIN + side, 0, -f[FIGURE_SHIN_LENGTH], rest_point);
        pose_point(&bones, f, BONE_LEFT_SHIN + side, rest_point, posed);
        int foot = side ? FIGURE_RIGHT_FOOT : FIGURE_LEFT_FOOT;
        const double *frame = in.frame.position;
        EXPECT_POINT(posed, frame[0] + f[foot], frame[1] + f[foot + 1], frame[2] + f[foot + 2], 1e-4);
        // Upper arm: the elbow onto the forearm's position.
        rest(BONE_LEFT_FOREARM + side, 0, 0, rest_point);
        pose_point(&bones, f, BONE_LEFT_UPPER_ARM + side, rest_point, posed);
        const float *elbow = bones.position[BONE_LEFT_FOREARM + side];
        EXPECT_POINT(posed, elbow[0], elbow[1], elbow[2], 1e-4);
        // Forearm: the hand onto the grip.
        rest(BONE_LEFT_FOREARM + side, sign * f[FIGURE_FOREARM_LENGTH], 0, rest_point);
        pose_point(&bones, f, BONE_LEFT_FOREARM + side, rest_point, posed);
        int hand = side ? FIGURE_RIGHT_HAND : FIGURE_LEFT_HAND;
        const double *steering = in.steering.position;
        EXPECT_POINT(posed, steering[0] + f[hand], steering[1] + f[hand + 1],
                     steering[2] + f[hand + 2], 1e-4);
        // Knees bend forward and elbows outward, as riders do.
        EXPECT_LT(knee[2], rider[2] + f[hip + 2]);
        EXPECT_GT(sign * elbow[0], sign * (rider[0] + f[shoulder]));
    }
}

TEST(RiderPose, LeanAngle)
{
    double r[9];
    identity(r);
    EXPECT_NEAR(compute_lean_angle(r), 0.0, 1e-7);
    roll(r, 0.4);
    EXPECT_NEAR(compute_lean_angle(r), 0.4, 1e-6);
    roll(r, -1.2);
    EXPECT_NEAR(compute_lean_angle(r), -1.2, 1e-6);
    // Standing on the rear wheel (pitched up a quarter turn), not rolled.
    const double wheelie[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
    EXPECT_NEAR(compute_lean_angle(wheelie), 0.0, 1e-7);
    const double nose_down[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    EXPECT_NEAR(compute_lean_angle(nose_down), 0.0, 1e-7);
}
