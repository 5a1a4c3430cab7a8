// Fixtures of the bike tests: a physics world over a flat terrain, and
// stand-in texture and model loaders that know a given set of names.
#pragma once

#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "core/message.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
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
    }
};

// The names the stand-in loaders find; textures get ids from 1 in order.
inline std::vector<std::string> &known_names()
{
    static std::vector<std::string> names;
    return names;
}

inline int known_texture_loader(const char *name)
{
    std::vector<std::string> &names = known_names();
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == name)
            return (int)i + 1;
    return 0;
}

inline Model *known_model_loader(const char *name)
{
    static std::deque<std::string> storage;
    static std::deque<Model> models;
    for (const std::string &known : known_names())
        if (known == name) {
            for (Model &model : models)
                if (!strcmp(model.name, name))
                    return &model;
            storage.push_back(name);
            models.push_back(Model{storage.back().data()});
            return &models.back();
        }
    return nullptr;
}

inline void use_known_names(std::vector<std::string> names)
{
    known_names() = std::move(names);
    set_texture_loader(known_texture_loader);
    set_model_loader(known_model_loader);
}

// Every message-line entry so far, joined with '|'.
inline std::string message_lines()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}
