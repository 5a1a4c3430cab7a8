// Camera steering: angle wrapping, manual and following turns, gate
// cameras with bad entries, the free camera's flight and the mean ground
// height at the terrain's edge.
#include "app/camera_steering.h"

#include "app/graphics_settings.h"
#include "bike/physics_world.h"
#include "race/race_state.h"
#include "render/render_settings.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track/timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

const float PI = 3.14159265358979f;

// A square terrain of 2 ft cells whose heights come from a function of the
// grid column and row.
struct GridTerrain {
    Terrain terrain;
    std::vector<float> heights;

    template <typename F>
    GridTerrain(int side, F height)
    {
        memset(&terrain, 0, sizeof terrain);
        terrain.side = side;
        terrain.cell = 2.0f;
        terrain.extent = 2.0f * (float)(side - 1);
        heights.resize((size_t)side * side);
        for (int row = 0; row < side; row++)
            for (int column = 0; column < side; column++)
                heights[(size_t)row * side + column] = height(column, row);
        terrain.heights = heights.data();
    }
};

CameraRecord camera_at(float x, float y, float z)
{
    CameraRecord camera = {};
    camera.x = x;
    camera.y = y;
    camera.z = z;
    camera.fov = 90.0f;
    return camera;
}

struct CameraState : testing::Test {
    void SetUp() override
    {
        camera_follow = 0;
        camera_toggle_dab = 0;
        camera_fly_speed = 0;
        camera_index = -1;
        free_camera = camera_at(0, 0, 0);
    }
};

}  // namespace

TEST(CameraSteering, WrapTable)
{
    struct Case {
        float angle;
        float wrapped;
    } cases[] = {
        {3.2f, 3.2f - 2 * PI}, {-3.2f, 2 * PI - 3.2f}, {0.5f, 0.5f},  {7.0f, 7.0f - 2 * PI},
        {INFINITY, 0.0f},      {-INFINITY, 0.0f},      {NAN, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        EXPECT_NEAR(wrap_angle(c.angle), c.wrapped, 1e-5f);
    }
    // A huge angle wraps in one step into the range.
    float huge = wrap_angle(1e30f);
    EXPECT_LE(fabsf(huge), PI + 1e-6f);
}

TEST_F(CameraState, ATurnPastPiWrapsAndBadAnglesStartAtZero)
{
    // Yaw 3.1 turning at 0.1 per tic (the rate already at the wanted one).
    RiderControls controls = {};
    float rate = 0.1f / TIC_LENGTH;
    controls.steer = rate / (3 * PI / 8);
    CameraRecord camera = camera_at(0, 0, 0);
    camera.yaw = 3.1f;
    camera.yaw_rate = rate;
    update_chase_camera(&camera, &controls, nullptr, nullptr, 0);
    EXPECT_NEAR(camera.yaw, 3.2f - 2 * PI, 1e-4f);   // about -3.08

    struct Case {
        float yaw, pitch, yaw_rate, pitch_rate;
    } cases[] = {
        {NAN, 0, 0, 0}, {0, INFINITY, 0, 0}, {0, 0, NAN, -INFINITY}, {1e30f, -1e30f, 1e30f, 1e30f},
    };
    RiderControls still = {};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.yaw << " " << c.pitch << " " << c.yaw_rate);
        CameraRecord bad = camera_at(0, 0, 0);
        bad.yaw = c.yaw;
        bad.pitch = c.pitch;
        bad.yaw_rate = c.yaw_rate;
        bad.pitch_rate = c.pitch_rate;
        update_chase_camera(&bad, &still, nullptr, nullptr, 0);
        EXPECT_TRUE(std::isfinite(bad.yaw) && std::isfinite(bad.pitch));
        EXPECT_TRUE(std::isfinite(bad.yaw_rate) && std::isfinite(bad.pitch_rate));
        EXPECT_LE(fabsf(bad.yaw), PI + 1e-5f);
        EXPECT_LE(fabsf(bad.pitch), PI / 2 + 1e-5f);
        if (!std::isfinite(c.yaw)) {
            EXPECT_NEAR(bad.yaw, 0.0f, 1e-6f);
        }
    }
}

TEST_F(CameraState, ManualTurnsAccelerateAtPiAndPitchStopsAtTheVertical)
{
    RiderControls controls = {};
    controls.steer = 1.0f;
    controls.shift = 1.0f;
    CameraRecord camera = camera_at(0, 0, 0);
    update_chase_camera(&camera, &controls, nullptr, nullptr, 0);
    EXPECT_NEAR(camera.yaw_rate, PI * TIC_LENGTH, 1e-6f);
    EXPECT_NEAR(camera.yaw, PI * TIC_LENGTH * TIC_LENGTH, 1e-7f);
    for (int tic = 0; tic < 1000; tic++)
        update_chase_camera(&camera, &controls, nullptr, nullptr, 0);
    EXPECT_NEAR(camera.yaw_rate, 3 * PI / 8, 1e-5f);
    EXPECT_NEAR(camera.pitch_rate, PI / 4, 1e-5f);
    EXPECT_FLOAT_EQ(camera.pitch, PI / 2);
}

TEST_F(CameraState, FollowingTurnsOntoTheTargetAndSnapsAtOnce)
{
    camera_follow = 1;
    RiderControls controls = {};
    const float zero[3] = {0, 0, 0};
    struct Case {
        float target[3];
        float yaw, pitch;
    } cases[] = {
        {{10, 0, 10}, PI / 4, 0},
        {{0, 10, 10}, 0, PI / 4},
        {{-10, -10, 0}, -PI / 2, -PI / 4},
        {{0, 0, -10}, PI, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.target[0] << "," << c.target[1] << "," << c.target[2]);
        // Snapping: on the target in one tic, and the rates at rest.
        CameraRecord snapped = camera_at(0, 0, 0);
        update_chase_camera(&snapped, &controls, c.target, zero, 1);
        EXPECT_NEAR(fabsf(wrap_angle(snapped.yaw - c.yaw)), 0.0f, 1e-4f);
        EXPECT_NEAR(snapped.pitch, c.pitch, 1e-4f);
        EXPECT_NEAR(snapped.yaw_rate, 0.0f, 1e-4f);
        // Without snapping the camera comes round within a few seconds.
        CameraRecord turning = camera_at(0, 0, 0);
        for (int tic = 0; tic < 8 * TIC_RATE; tic++)
            update_chase_camera(&turning, &controls, c.target, zero, 0);
        EXPECT_NEAR(fabsf(wrap_angle(turning.yaw - c.yaw)), 0.0f, 0.01f);
        EXPECT_NEAR(turning.pitch, c.pitch, 0.01f);
    }

    // A target crossing in front at 40 ft/s is kept in view.
    CameraRecord camera = camera_at(0, 0, 0);
    float target[3] = {-40, 0, 30};
    const float velocity[3] = {40, 0, 0};
    update_chase_camera(&camera, &controls, target, velocity, 1);
    float worst = 0;
    for (int tic = 0; tic < 2 * TIC_RATE; tic++) {
        target[0] += velocity[0] * TIC_LENGTH;
        update_chase_camera(&camera, &controls, target, velocity, 0);
        worst = fmaxf(worst, fabsf(wrap_angle(atan2f(target[0], target[2]) - camera.yaw)));
    }
    EXPECT_LT(worst, 0.05f);
}

TEST_F(CameraState, TargetSizeZoomsTheFieldOfView)
{
    camera_follow = 1;
    RiderControls controls = {};
    const float target[3] = {0, 0, 10};
    const float zero[3] = {0, 0, 0};
    float wanted = 2.0f * atanf(2.0f / 10.0f) * 180.0f / PI;
    CameraRecord snapped = camera_at(0, 0, 0);
    snapped.auto_fov_size = 2.0f;
    update_chase_camera(&snapped, &controls, target, zero, 1);
    EXPECT_NEAR(snapped.fov, wanted, 1e-3f);

    CameraRecord zooming = camera_at(0, 0, 0);
    zooming.auto_fov_size = 2.0f;
    update_chase_camera(&zooming, &controls, target, zero, 0);
    EXPECT_NEAR(zooming.fov, 90.0f - (2.0f * (90.0f - wanted) + 1.0f) * TIC_LENGTH, 1e-3f);
    for (int tic = 0; tic < 10 * TIC_RATE; tic++)
        update_chase_camera(&zooming, &controls, target, zero, 0);
    EXPECT_NEAR(zooming.fov, wanted, 1e-3f);   // never overshoots into a wobble

    CameraRecord fixed = camera_at(0, 0, 0);   // size 0: the field of view stays
    update_chase_camera(&fixed, &controls, target, zero, 1);
    EXPECT_EQ(fixed.fov, 90.0f);
}

namespace {

// A track layout of a first lap of two gates and laps of three, the gate
// switch table and two track cameras.
struct GateCameras : CameraState {
    LapGateList saved_list;
    int saved_switches[GATE_CAMERA_SLOTS];

    void SetUp() override
    {
        CameraState::SetUp();
        saved_list = lap_gate_list;
        memcpy(saved_switches, gate_cameras, sizeof saved_switches);
        memset(&lap_gate_list, 0, sizeof lap_gate_list);
        lap_gate_list.first_lap_count = 2;
        lap_gate_list.normal_lap_count = 3;
        int entries[] = {0, 1, 2, 300, 4 + NOT_TIMING_MARK};
        memcpy(lap_gate_list.entries, entries, sizeof entries);
        for (int &camera : gate_cameras)
            camera = -1;
        gate_cameras[0] = 0;
        gate_cameras[1] = 1;
        gate_cameras[2] = 5;    // the track has no camera 5
        gate_cameras[4] = 1;
        ASSERT_TRUE(init_growable_array(&track_cameras, sizeof(CameraRecord)));
        for (int i = 0; i < 2; i++)
            *(CameraRecord *)append_to_growable_array(&track_cameras) = camera_at(0, 5, 0);
    }
    void TearDown() override
    {
        free_growable_array(&track_cameras);
        lap_gate_list = saved_list;
        memcpy(gate_cameras, saved_switches, sizeof saved_switches);
        camera_index = -1;
    }
};

}  // namespace

TEST_F(GateCameras, GateSwitchTableWithBadEntries)
{
    BikeState bike;
    memset(&bike, 0, sizeof bike);
    struct Case {
        int gates_passed;
        int normal_laps;
        int camera;
    } cases[] = {
        {0, 3, 0},
        {1, 3, 1},
        {2, 3, -1},    // gate 2 switches to a camera the track lacks
        {3, 3, -1},    // gate 300 lies outside the switch table
        {4, 3, 1},     // a gate that is no timing mark: the mark comes off
        {5, 3, -1},    // the second lap starts again at gate 2
        {7, 3, 1},
        {6, 3, -1},
        {1, 0, -1},    // laps without gates switch nothing
        {-4, 3, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.gates_passed << " " << c.normal_laps);
        bike.gates_passed = c.gates_passed;
        lap_gate_list.normal_lap_count = c.normal_laps;
        EXPECT_EQ(gate_camera_index(&bike), c.camera);
    }
    EXPECT_EQ(gate_camera_index(nullptr), -1);
}

TEST_F(GateCameras, FollowingSwitchesAtGatesAndSnapsOntoTheBike)
{
    ASSERT_TRUE(create_physics_world());
    BikeState bike;
    memset(&bike, 0, sizeof bike);
    bike.frame_body = dBodyCreate(physics_world);
    dBodySetPosition(bike.frame_body, 20, 5, 20);
    bike.gates_passed = 1;

    RiderControls controls = {};
    controls.dab = 1.0f;   // rises through 0.5: following on
    camera_index = -1;
    steer_camera(&controls, &bike, 0);
    EXPECT_EQ(camera_follow, 1);
    EXPECT_EQ(camera_index, -1);   // the free camera is not switched by gates

    controls.dab = 1.0f;   // held: no second toggle
    camera_index = 0;
    steer_camera(&controls, &bike, 0);
    EXPECT_EQ(camera_follow, 1);
    ASSERT_EQ(camera_index, 1);
    const CameraRecord *switched = (const CameraRecord *)track_cameras.data + 1;
    EXPECT_NEAR(switched->yaw, PI / 4, 1e-3f);       // snapped onto the bike
    EXPECT_NEAR(switched->pitch, 0.0f, 1e-3f);       // level with it
    EXPECT_EQ(free_camera.fov, (float)fov_slider.value);

    bike.gates_passed = 2;   // a bad switch entry: the camera stays
    steer_camera(&controls, &bike, 0);
    EXPECT_EQ(camera_index, 1);

    controls.dab = 0.0f;
    steer_camera(&controls, &bike, 0);
    controls.dab = 0.7f;
    steer_camera(&controls, &bike, 0);
    EXPECT_EQ(camera_follow, 0);
    destroy_physics_world();
}

TEST_F(CameraState, FreeCameraFliesOverAHill)
{
    // A round hill 30 ft high in the middle of a 256 ft terrain.
    GridTerrain hill(129, [](int column, int row) {
        float dx = (float)(column - 64) * 2.0f, dz = (float)(row - 64) * 2.0f;
        return 30.0f * expf(-(dx * dx + dz * dz) / (2.0f * 30.0f * 30.0f));
    });
    Terrain *saved = current_terrain;
    current_terrain = &hill.terrain;
    free_camera = camera_at(128, 1, 10);   // looking along +z across the hill
    RiderControls controls = {};
    controls.throttle = 1.0f;
    float highest = 0;
    for (int tic = 0; tic < 8 * TIC_RATE; tic++) {   // 5 s to full speed
        steer_camera(&controls, nullptr, 0);
        float ground = terrain_mean_height(&hill.terrain, free_camera.x, free_camera.z, 10.0f);
        ASSERT_GE(free_camera.y, ground + 2.0f - 1e-3f) << "tic " << tic;
        EXPECT_LE(camera_fly_speed, 100.0f);
        highest = fmaxf(highest, free_camera.y);
    }
    EXPECT_GT(free_camera.z, 240.0f);   // it went over the top and on
    EXPECT_GT(highest, 25.0f);
    EXPECT_GT(camera_fly_speed, 99.0f);

    controls.throttle = 0;   // let go: the speed decays to rest without crossing 0
    for (int tic = 0; tic < 4 * TIC_RATE; tic++)
        steer_camera(&controls, nullptr, 0);
    EXPECT_EQ(camera_fly_speed, 0.0f);
    current_terrain = saved;
}

TEST(CameraSteering, MeanHeightAtTheEdgeAndOffTheGrid)
{
    // Column 0 is 10 ft high, row 0 is 20 ft high (their corner 30), the rest 0.
    GridTerrain edges(65, [](int column, int row) { return (column == 0 ? 10.0f : 0.0f) + (row == 0 ? 20.0f : 0.0f); });
    GridTerrain flat(65, [](int, int) { return 7.0f; });
    GridTerrain ramp(65, [](int column, int) { return 2.0f * (float)column; });
    struct Case {
        const char *name;
        const Terrain *terrain;
        float x, z, radius;
        float height;
    } cases[] = {
        {"flat anywhere", &flat.terrain, 50, 60, 10, 7},
        {"flat far off", &flat.terrain, -1e30f, 1e30f, 10, 7},
        {"flat, not a number", &flat.terrain, NAN, NAN, NAN, 7},
        {"flat, huge radius", &flat.terrain, 10, 10, 1e30f, 7},
        {"ramp, symmetric weights", &ramp.terrain, 64, 64, 10, 64},
        {"ramp, between grid points", &ramp.terrain, 65, 64, 3, 65},
        {"left of the grid: the edge column", &edges.terrain, -50, 64, 10, 10},
        {"just outside", &edges.terrain, -10, 64, 10, 10},
        {"the corner beyond both edges", &edges.terrain, -1e9f, -1e9f, 10, 30},
        {"right of the grid: the far column", &edges.terrain, 1e6f, 64, 10, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(terrain_mean_height(c.terrain, c.x, c.z, c.radius), c.height, 1e-3f);
    }
    // On the edge itself half the circle lies off the grid and reads the
    // edge: the mean is above what the grid alone would give.
    float on_edge = terrain_mean_height(&edges.terrain, 0, 64, 10);
    EXPECT_GT(on_edge, 5.0f);
    EXPECT_LT(on_edge, 10.0f);
    EXPECT_EQ(terrain_mean_height(nullptr, 0, 0, 10), 0.0f);
}
