// Camera views without GL: rotations from angles and quaternions, the
// keyframe path (one key, equal tics, quaternions of opposite signs, the
// cubic through evenly moving keys), the rider camera's gimbal lag, pause
// and tilt, and the broadcast ticker's boxes, gaps and lap count.
#include "render/camera_views.h"

#include "bike/bike_state.h"
#include "net/camera_keys.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/results.h"
#include "render/render_settings.h"
#include "track/timing.h"

#include "app/graphics_settings.h"
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Rodrigues' formula: v turned by angle about the unit axis k.
void rotate(const double *k, double angle, const double *v, double *out)
{
    double c = cos(angle), s = sin(angle), d = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
    double kxv[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
    for (int i = 0; i < 3; i++)
        out[i] = v[i] * c + kxv[i] * s + k[i] * d * (1 - c);
}

void multiply(const float *m, const double *v, double *out)
{
    for (int i = 0; i < 3; i++)
        out[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2];
}

// The direction a camera rotation looks along: minus its third column.
void look(const float *m, double *out)
{
    out[0] = -m[2];
    out[1] = -m[5];
    out[2] = -m[8];
}

double angle_between(const double *a, const double *b)
{
    double d = 0, la = 0, lb = 0;
    for (int i = 0; i < 3; i++) {
        d += a[i] * b[i];
        la += a[i] * a[i];
        lb += b[i] * b[i];
    }
    double c = d / sqrt(la * lb);
    return acos(c > 1 ? 1 : c < -1 ? -1 : c);
}

CameraKey key(int tic, float x, float yaw, float field_of_view = 90.0f, float sign = 1.0f)
{
    CameraKey k{};
    k.tic = tic;
    k.position[0] = x;
    k.position[1] = 2.0f * x;
    k.position[2] = -x;
    // A turn of yaw about the vertical.
    k.orientation[1] = sign * sinf(yaw / 2);
    k.orientation[3] = sign * cosf(yaw / 2);
    k.fov = field_of_view;
    return k;
}

// The yaw a keyframe rotation looks at (the half turn included).
double key_yaw(const float *rotation)
{
    double d[3];
    look(rotation, d);
    return atan2(d[0], d[2]);
}

}  // namespace

TEST(CameraViews, AnglesAndQuaternionsGiveRotations)
{
    // Yaw 0 looks along +z, positive yaw toward +x, positive pitch up.
    struct Case {
        float pitch, yaw;
        double look[3];
    } cases[] = {
        {0.0f, 0.0f, {0, 0, 1}},
        {0.0f, (float)M_PI / 2, {1, 0, 0}},
        {(float)M_PI / 6, 0.0f, {0, 0.5, sqrt(3.0) / 2}},
        {-0.4f, (float)M_PI, {0, -sin(0.4), -cos(0.4)}},
    };
    for (const Case &c : cases) {
        float m[9];
        camera_matrix_from_angles(m, c.pitch, c.yaw);
        double d[3];
        look(m, d);
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(d[i], c.look[i], 1e-6) << c.pitch << " " << c.yaw;
        // Right-handed and orthonormal: x cross y = z, the right axis level.
        double x[3] = {m[0], m[3], m[6]}, y[3] = {m[1], m[4], m[7]}, z[3] = {m[2], m[5], m[8]};
        double xy[3] = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(xy[i], z[i], 1e-6);
        EXPECT_NEAR(x[1], 0.0, 1e-7);
    }

    // A unit quaternion turns vectors as its axis and angle do.
    const double axes[][3] = {{0, 1, 0}, {1, 0, 0}, {0.48, 0.6, 0.64}};
    const double angles[] = {0.0, 0.7, -2.5, M_PI};
    const double v[3] = {0.3, -1.2, 2.0};
    for (const auto &k : axes)
        for (double angle : angles) {
            float m[9];
            quaternion_to_matrix(m, (float)cos(angle / 2), (float)(k[0] * sin(angle / 2)),
                                 (float)(k[1] * sin(angle / 2)), (float)(k[2] * sin(angle / 2)));
            double expected[3], got[3];
            rotate(k, angle, v, expected);
            multiply(m, v, got);
            for (int i = 0; i < 3; i++)
                EXPECT_NEAR(got[i], expected[i], 1e-5) << angle;
        }
}

TEST(CameraViews, KeyframePathEdges)
{
    float position[3], rotation[9], field_of_view;
    // One key: the camera sits there at every tic, turned a half turn.
    std::vector<CameraKey> one = {key(100, 5.0f, 0.0f, 70.0f)};
    for (int tic : {-1000, 0, 100, 101, 1 << 30}) {
        ASSERT_EQ(compute_keycam_pose(one.data(), 1, tic, position, rotation, &field_of_view), 1);
        EXPECT_FLOAT_EQ(position[0], 5.0f);
        EXPECT_FLOAT_EQ(field_of_view, 70.0f);
        EXPECT_NEAR(key_yaw(rotation), 0.0, 1e-6);
        EXPECT_FLOAT_EQ(rotation[4], 1.0f);
    }
    EXPECT_EQ(compute_keycam_pose(nullptr, 0, 0, position, rotation, &field_of_view), 0);

    // Before the first key and after the last the camera holds that key.
    std::vector<CameraKey> keys = {key(10, 1.0f, 0.1f, 60.0f), key(20, 2.0f, 0.2f, 80.0f)};
    compute_keycam_pose(keys.data(), 2, 3, position, rotation, &field_of_view);
    EXPECT_FLOAT_EQ(position[0], 1.0f);
    compute_keycam_pose(keys.data(), 2, 25, position, rotation, &field_of_view);
    EXPECT_FLOAT_EQ(position[0], 2.0f);
    EXPECT_FLOAT_EQ(field_of_view, 80.0f);
    // The field of view is linear between the keys.
    compute_keycam_pose(keys.data(), 2, 15, position, rotation, &field_of_view);
    EXPECT_FLOAT_EQ(field_of_view, 70.0f);

    // Keys sharing a tic: no division by their zero span, the path stays
    // finite and the camera is at the later of them from that tic on.
    std::vector<CameraKey> shared = {key(0, 0.0f, 0.0f), key(10, 10.0f, 0.1f), key(10, 20.0f, 0.2f),
                                     key(20, 30.0f, 0.3f)};
    for (int tic = -2; tic <= 24; tic++) {
        compute_keycam_pose(shared.data(), 4, tic, position, rotation, &field_of_view);
        for (float p : position)
            ASSERT_TRUE(std::isfinite(p)) << tic;
        for (float r : rotation)
            ASSERT_TRUE(std::isfinite(r)) << tic;
        ASSERT_TRUE(std::isfinite(field_of_view));
    }
    compute_keycam_pose(shared.data(), 4, 10, position, rotation, &field_of_view);
    EXPECT_FLOAT_EQ(position[0], 20.0f);

    // Quaternions of zeros (or cancelling on the way) give a rotation, not NaN.
    std::vector<CameraKey> zeros = {key(0, 0.0f, 0.0f), key(10, 1.0f, 0.0f), key(20, 2.0f, 0.0f)};
    for (CameraKey &k : zeros)
        memset(k.orientation, 0, sizeof k.orientation);
    for (int tic : {0, 5, 15, 25}) {
        compute_keycam_pose(zeros.data(), 3, tic, position, rotation, &field_of_view);
        for (float r : rotation)
            ASSERT_TRUE(std::isfinite(r)) << tic;
    }
}

TEST(CameraViews, KeyframePathFollowsEvenMotionTheShortWay)
{
    // Keys moving at one speed, unevenly spaced in time, with every other
    // quaternion stored negated: between the inner keys the position moves
    // at that speed and the turn goes the short way at a steady rate; the
    // first and last spans have no outer neighbour and ease in and out.
    std::vector<CameraKey> keys;
    const int tics[] = {0, 10, 40, 50, 90};
    for (int i = 0; i < 5; i++)
        keys.push_back(key(tics[i], (float)tics[i], 0.01f * tics[i], 90.0f, i % 2 ? -1.0f : 1.0f));
    float position[3], rotation[9], field_of_view;
    float previous = -1.0f;
    for (int tic = 0; tic <= 90; tic++) {
        ASSERT_EQ(compute_keycam_pose(keys.data(), 5, tic, position, rotation, &field_of_view), 1);
        if (tic >= 10 && tic <= 50) {
            EXPECT_NEAR(position[0], tic, 1e-3) << tic;
            EXPECT_NEAR(position[1], 2.0 * tic, 2e-3) << tic;
            EXPECT_NEAR(key_yaw(rotation), 0.01 * tic, 2e-3) << tic;
        }
        // The short way: never behind the start nor past the end.
        EXPECT_GE(key_yaw(rotation), -1e-6) << tic;
        EXPECT_LE(key_yaw(rotation), 0.9 + 1e-6) << tic;
        EXPECT_GT(position[0], previous) << tic;
        previous = position[0];
        // Still a rotation: unit columns.
        EXPECT_NEAR(rotation[0] * rotation[0] + rotation[3] * rotation[3] + rotation[6] * rotation[6], 1.0, 1e-5);
    }
}

TEST(CameraViews, RiderCameraGimbalLagPauseAndTilt)
{
    const double position[3] = {10, 2, -4};
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // The body pitched up by theta about its x axis.
    auto pitched = [](double theta, double *m) {
        double c = cos(theta), s = sin(theta);
        const double r[9] = {1, 0, 0, 0, c, -s, 0, s, c};
        memcpy(m, r, sizeof r);
    };
    double saved_gimbal = first_person_gimbal_slider.value, saved_angle = first_person_angle_slider.value,
           saved_height = first_person_height_slider.value;
    float eye[3], rotation[9];

    // The eye: the low point at height 0, the high point at 1.
    first_person_gimbal_slider.value = 0.0f;
    first_person_angle_slider.value = 0.0f;
    first_person_height_slider.value = 1.0f;
    compute_rider_camera(position, identity, 1.0, eye, rotation);
    EXPECT_NEAR(eye[1], 2.0 + 1.0583830, 1e-5);
    EXPECT_NEAR(eye[2], -4.0 - 1.1933695, 1e-5);
    first_person_height_slider.value = 0.0f;

    struct Case {
        float gimbal;
        double theta, dt;
        double lag;   // expected angle between the camera's z and the body's
    } cases[] = {
        {0.5f, 0.3, 0.1, 0.0},                  // gimbal off: the body exactly
        {100.0f, 0.2, 0.1, 0.2 * (1 - 5 * 0.1)},   // k = 5 per second
        {100.0f, 0.2, 1.0, 0.2 * (1 - 5 * 0.125)}, // the step is held to 1/8 s
        {100.0f, 0.2, 0.0, 0.2},                // paused: the lag is held
        {100.0f, 1.2, 0.0, M_PI / 4},           // at most 45 degrees
        {1.0f, 0.2, 0.125, 0.0},                // overshoot: caught up at once
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gimbal);
        SCOPED_TRACE(c.dt);
        first_person_gimbal_slider.value = c.gimbal;
        // A first frame with the body level sets the remembered forward axis.
        rider_camera_state = RiderCameraState{};
        compute_rider_camera(position, identity, 5.0, eye, rotation);
        double body[9];
        pitched(c.theta, body);
        compute_rider_camera(position, body, 5.0 + c.dt, eye, rotation);
        double z[3] = {rotation[2], rotation[5], rotation[8]}, body_z[3] = {body[2], body[5], body[8]};
        EXPECT_NEAR(angle_between(z, body_z), c.lag, 1e-4);
        // The lag is toward the old forward axis, and the axes stay orthonormal.
        if (c.lag > 0) {
            const double level[3] = {0, 0, 1};
            EXPECT_LT(angle_between(z, level), c.theta);
        }
        double y[3] = {rotation[1], rotation[4], rotation[7]};
        EXPECT_NEAR(y[0] * z[0] + y[1] * z[1] + y[2] * z[2], 0.0, 1e-5);
        EXPECT_NEAR(y[0] * y[0] + y[1] * y[1] + y[2] * y[2], 1.0, 1e-5);
    }

    // The tilt turns the view down by the angle.
    first_person_gimbal_slider.value = 0.0f;
    first_person_angle_slider.value = 30.0f;
    compute_rider_camera(position, identity, 9.0, eye, rotation);
    double d[3];
    look(rotation, d);
    EXPECT_NEAR(d[1], -0.5, 1e-6);
    EXPECT_NEAR(d[2], -sqrt(3.0) / 2, 1e-6);

    first_person_gimbal_slider.value = saved_gimbal;
    first_person_angle_slider.value = saved_angle;
    first_person_height_slider.value = saved_height;
}

TEST(CameraViews, TickerBoxesScrollAndAlternate)
{
    struct Case {
        const char *name;
        double time;
        int listed;
        float width;
        std::vector<int> entries;
        float first_x;
    } cases[] = {
        {"one rider alternates with the blank box", 0.0, 1, 53.0f, {0, -1, 0}, 0.0f},
        {"half way through a scroll", 1.0, 1, 53.0f, {0, -1, 0}, -10.75f},
        {"the next entry leads after 2 s", 2.0, 1, 53.0f, {-1, 0, -1}, 0.0f},
        {"three riders, then the blank", 4.5, 3, 100.0f, {2, -1, 0, 1, 2}, -5.375f},
        {"no rider: blank boxes only", 7.0, 0, 30.0f, {-1, -1}, -10.75f},
        {"a narrow overlay shows one box", 0.0, 4, 10.0f, {0}, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int entries[64];
        float xs[64];
        int n = layout_ticker(c.time, c.listed, c.width, entries, xs, 64);
        ASSERT_EQ(n, (int)c.entries.size());
        for (int i = 0; i < n; i++) {
            EXPECT_EQ(entries[i], c.entries[i]) << i;
            EXPECT_FLOAT_EQ(xs[i], c.first_x + 21.5f * i) << i;
        }
    }
    int entries[4];
    float xs[4];
    EXPECT_EQ(layout_ticker(NAN, 3, 100.0f, entries, xs, 4), 0);
    EXPECT_EQ(layout_ticker(1e300, 3, 100.0f, entries, xs, 4), 4);   // held to the room given
}

TEST(CameraViews, TickerEntriesGapsAndLaps)
{
    clear_bike_states();
    for (int slot : {3, 7})
        bike_slots[slot] = &bike_states[slot];
    // Leader in slot 3 with 5 gates; slot 7 behind with 3.
    for (BikeState *bike : {bike_slots[3], bike_slots[7]})
        init_growable_array(&bike->gate_times, sizeof(int));
    BikeState *leader = bike_slots[3], *rider = bike_slots[7];
    running_order[0] = {3, 5, 900};
    running_order[1] = {7, 3, 800};
    running_order_count = 2;

    struct Gap {
        const char *name;
        int leader_gates, rider_gates, gate, leader_tic, rider_tic;
        const char *text;
    } gaps[] = {
        {"same gates", 4, 4, 3, 1000, 1128, "  1.000"},
        {"fewer gates: at the rider's last gate", 5, 3, 2, 640, 1600, "  7.500"},
        {"rider ahead: no gap", 4, 4, 3, 1200, 1100, ""},
        {"no time for the rider", 4, 4, 3, 1000, 0, ""},
        {"no gate passed", 0, 0, 0, 0, 0, ""},
    };
    for (const Gap &g : gaps) {
        SCOPED_TRACE(g.name);
        leader->gate_times.count = rider->gate_times.count = 0;
        leader->gates_passed = g.leader_gates;
        rider->gates_passed = g.rider_gates;
        set_gate_time(leader, g.gate, g.leader_tic);
        set_gate_time(rider, g.gate, g.rider_tic);
        char text[32];
        EXPECT_EQ(format_ticker_gap(3, 7, text, sizeof text), g.text[0] != 0);
        EXPECT_STREQ(text, g.text);
    }
    char text[32];
    EXPECT_EQ(format_ticker_gap(3, 9, text, sizeof text), 0);   // an empty slot

    // Online, our local rider is listed only once the server gave us a slot.
    RunningOrderEntry listed[BIKE_SLOT_COUNT];
    EXPECT_EQ(list_ticker_entries(listed), 2);
    rider_kind[7] = RIDER_LOCAL;
    rider_kind[3] = RIDER_REMOTE;
    net_socket = 5;
    own_slot = NO_SLOT;
    ASSERT_EQ(list_ticker_entries(listed), 1);
    EXPECT_EQ(listed[0].slot, 3);
    own_slot = 7;
    EXPECT_EQ(list_ticker_entries(listed), 2);
    net_socket = -1;
    own_slot = NO_SLOT;

    // Laps done by the leader: a first lap of 3 gates, then 4 a lap.
    lap_gate_list = LapGateList{};
    lap_gate_list.first_lap_count = 3;
    lap_gate_list.normal_lap_count = 4;
    struct Laps {
        int gates, done;
    } laps[] = {{0, 0}, {2, 0}, {3, 1}, {6, 1}, {7, 2}, {11, 3}};
    for (const Laps &l : laps) {
        running_order[0].gates = l.gates;
        EXPECT_EQ(leader_laps_done(), l.done) << l.gates;
    }
    lap_gate_list.normal_lap_count = 0;
    EXPECT_EQ(leader_laps_done(), 0);
    running_order_count = 0;
    EXPECT_EQ(leader_laps_done(), 0);
    lap_gate_list = LapGateList{};

    for (BikeState *bike : {leader, rider})
        free_growable_array(&bike->gate_times);
    bike_slots[3] = bike_slots[7] = nullptr;
}
