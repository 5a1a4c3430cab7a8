// Fixtures of the bike tests: a physics world over a flat terrain, and
// texture and model files written for a given set of names.
#pragma once

#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "core/message.h"
#include "render/model.h"
#include "render/texture.h"
#include "support/render_fixtures.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// A flat terrain of height 0, 512 ft on a side, held in memory.
struct FlatTerrain {
    Terrain terrain;
    std::vector<float> heights;

    FlatTerrain()
    {
        memset(&terrain, 0, sizeof terrain);
        terrain.grid_exponent = 7;
        terrain.side = (2 << 7) + 1;
        terrain.cell = 2.0f;
        terrain.double_cell = 4.0f;
        terrain.extent = 512.0f;
        heights.assign((size_t)terrain.side * terrain.side, 0.0f);
        terrain.heights = heights.data();
        terrain.loaded_heights = heights.data();
    }
};

// The window of the tests that load textures (opened by use_known_names).
inline GameWindow *&fixture_window()
{
    static GameWindow *window;
    return window;
}

// A physics world and a flat terrain for each test; every bike is freed
// and the world destroyed afterwards.
struct BikeWorld : testing::Test {
    FlatTerrain ground;

    void SetUp() override
    {
        ASSERT_TRUE(create_physics_world());
        clear_bike_states();
        current_terrain = &ground.terrain;
    }

    void TearDown() override
    {
        for (BikeState &bike : bike_states)
            free_bike(&bike);
        EXPECT_EQ(live_body_count(), 0);
        EXPECT_EQ(live_joint_count(), 0);
        current_terrain = nullptr;
        destroy_physics_world();
        close_test_gl_window(fixture_window());
        fixture_window() = nullptr;
    }
};

// Writes a loadable file for each name (textures, sequences, models) and
// opens a GL window so that textures get ids.
inline void use_known_names(const std::vector<std::string> &names)
{
    if (!fixture_window())
        fixture_window() = open_test_gl_window();
    ASSERT_NE(fixture_window(), nullptr);
    for (const std::string &name : names)
        write_game_asset(name);
}

// Every message-line entry so far, joined with '|'.
inline std::string message_lines()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}
