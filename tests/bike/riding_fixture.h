// The riding fixture: a track folder written by the test (grid exponent 7,
// 2 ft cells, flat with a ramp, one hard-pack tile with one roost kind, a
// bar across the track at rider height), the seven part shapes of the bike,
// and "yz250f(2017)" bikes with the default setup, ridden by race_tic.
#pragma once

#include "bike/bike_create.h"
#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "core/random.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "support/test_support.h"
#include "track/erosion.h"
#include "track/objects.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

// The ramp: rises from 0 to 6 ft between these x, falls back within 2 ft.
inline const float RAMP_START_X = 60.0f;
inline const float RAMP_TOP_X = 80.0f;
// The bar: a row of spheres across the track at this z, centred 5 ft up.
inline const float BAR_Z = 250.0f;

inline float riding_ground_height(float x)
{
    if (x <= RAMP_START_X || x >= RAMP_TOP_X + 2.0f)
        return 0.0f;
    if (x <= RAMP_TOP_X)
        return 6.0f * (x - RAMP_START_X) / (RAMP_TOP_X - RAMP_START_X);
    return 6.0f * (RAMP_TOP_X + 2.0f - x) / 2.0f;
}

inline std::string sphere_line(float x, float y, float z, float r, float friction = 0.5f,
                               float spring = 25000.0f, float damper = 2500.0f)
{
    char line[160];
    snprintf(line, sizeof line, "%g %g %g %g %g %g %g\n", x, y, z, r, friction, spring, damper);
    return line;
}

// Spheres of the tyre ring of a wheel, in the wheel body's frame.
inline std::string wheel_shape_text(float rim, float tyre)
{
    std::string text = "8\n";
    for (int i = 0; i < 8; i++) {
        float a = (float)i * 0.785398f;
        text += sphere_line(0.0f, rim * cosf(a), rim * sinf(a), tyre, 1.0f);
    }
    return text;
}

inline void write_riding_shapes()
{
    std::string dir = test_data_dir();
    write_file(dir + "generic_frame.shp", "3\n" + sphere_line(0, 0.5f, -0.8f, 0.5f) +
                                              sphere_line(0, 0.4f, 0.8f, 0.5f) +
                                              sphere_line(0, -0.3f, -0.2f, 0.55f));
    write_file(dir + "generic_fork_upper.shp", "2\n" + sphere_line(-0.9f, 0.7f, 0.44f, 0.2f) +
                                                   sphere_line(0.9f, 0.7f, 0.44f, 0.2f));
    write_file(dir + "generic_fork_lower.shp", "1\n" + sphere_line(0, 0, 0, 0.25f));
    write_file(dir + "generic_swingarm.shp", "1\n" + sphere_line(0, 0, -0.5f, 0.25f));
    write_file(dir + "generic_rider.shp", "2\n" + sphere_line(0, 0.2f, -0.1f, 0.7f) +
                                              sphere_line(0, 1.45f, -0.62f, 0.45f));
    write_file(dir + "front_wheel.shp", wheel_shape_text(0.833333f, 0.333333f));
    write_file(dir + "rear_wheel.shp", wheel_shape_text(0.75f, 0.333333f));
    // A bar 24 ft wide at the height of a seated rider's chest.
    std::string bar = "13\n";
    for (int i = -6; i <= 6; i++)
        bar += sphere_line(2.0f * (float)i, 5.2f, 0, 0.6f, 0.5f, 25000.0f, 2500.0f);
    write_file(dir + "bar.shp", bar);
}

inline void write_riding_track(const std::string &folder)
{
    std::string dir = test_data_dir() + folder + "/";
    const int exponent = 7, side = (2 << exponent) + 1, tiles = 1 << exponent;
    const float cell = 2.0f, max = 8.0f;
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n:", exponent, cell, 0.0f, max);
    std::string bytes = header;
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            float h = riding_ground_height((float)column * cell);
            int v = (int)lroundf(h / max * 65535.0f);
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    write_file(dir + "terrain.hf", bytes);
    std::string shading = "P6\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
    shading += std::string((size_t)side * side * 3, (char)64);
    write_file(dir + "shadingx2.ppm", shading);
    write_file(dir + "tileinfo",
               "name hardpack\n"
               "friction 1.0 1\n"
               "slip_function 1\n"
               "roll_resist 1 2 1\n"
               "roost count=2 slip_threshold=2 slow_angle=0.4 fast_angle=1.2 slow_speed=20 "
               "fast_speed=120 size=0.3 grow=0.5 drag=1 vscale=0.6 randomize=3 r=120 g=90 b=60 "
               "a=255 fade_a=-2\n"
               "addtile\n");
    write_file(dir + "tilemap", std::string((size_t)tiles * tiles, '\0'));
    char statue[160];
    snprintf(statue, sizeof statue, "[ 256 0 %g ] 0 null null @bar.shp\n", BAR_Z);
    write_file(dir + "statues", statue);
}

// The frame's rest height above the ground line of the model.
inline void place_riding_bike(BikeState *bike, float x, float z, float yaw, float lift)
{
    if (yaw != 0.0f)
        rotate_bike_bodies(bike, 0, 1, 0, yaw);
    move_bike_bodies(bike, x, riding_ground_height(x) + 0.08f + lift, z);
}

struct RidingWorld : testing::Test {
    void SetUp() override
    {
        write_riding_shapes();
        write_riding_track("tracks/riding");
        set_track_folder("tracks/riding");
        ASSERT_EQ(load_track(), 1);
        ASSERT_TRUE(create_physics_world());
        clear_bike_states();
        current_tic = 0;
        race_settings = RaceSettings{};
        reset_erosion_queue();
        mt_seed(5489u);
    }

    void TearDown() override
    {
        EXPECT_EQ(physics_solver_errors, 0) << "the physics solver failed in a step";
        for (BikeState &bike : bike_states)
            free_bike(&bike);
        EXPECT_EQ(live_body_count(), 0);
        EXPECT_EQ(live_joint_count(), 0);
        destroy_physics_world();
        EXPECT_EQ(group_joint_count(), 0);
        free_track();
        free_shape_cache();
        set_track_folder(nullptr);
    }

    // A bike in the slot at (x, z) facing -z turned by yaw about +y.
    BikeState *add_bike(int slot, float x, float z, float yaw = 0.0f, float lift = 0.0f)
    {
        BikeState *bike = create_bike("yz250f(2017)", slot, 1, "7", nullptr, nullptr, nullptr,
                                      nullptr);
        if (bike)
            place_riding_bike(bike, x, z, yaw, lift);
        return bike;
    }

    static void run_tics(int tics)
    {
        for (int i = 0; i < tics; i++)
            race_tic();
    }
};
