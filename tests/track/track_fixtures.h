// Fixtures for the terrain and track tests: small track folders written
// under the game data, terrains built in memory, the message line as text
// and the GL window and asset files of tests that load textures.
#pragma once

#include "core/file.h"
#include "core/message.h"
#include "render/model.h"
#include "render/texture.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"
#include "track/terrain.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

inline const int FIXTURE_EXPONENT = 7;
inline const int FIXTURE_SIDE = (2 << FIXTURE_EXPONENT) + 1;   // 257
inline const int FIXTURE_TILES = 1 << FIXTURE_EXPONENT;        // 128

// Every message-line entry since the start of the test, oldest first.
inline std::string message_text()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}

inline int count_messages(const std::string &needle)
{
    int count = 0;
    for (int i = 0; i < message_log.next_line; i++)
        if (needle == message_log.lines[i])
            count++;
    return count;
}

// The folder of a track under the game data, with its trailing '/'.
inline std::string track_dir(const std::string &folder)
{
    return test_data_dir() + folder + "/";
}

// terrain.hf with a raw body of 16-bit samples from a function of (column, row).
inline std::string height_field_bytes(int exponent, float cell, float min, float max,
                                      const std::function<int(int, int)> &sample)
{
    int side = (2 << exponent) + 1;
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n:", exponent, cell, min, max);
    std::string bytes = header;
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            int v = sample(column, row);
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    return bytes;
}

inline std::string shading_bytes(int side, int value, const char *magic = "P6")
{
    std::string bytes = std::string(magic) + "\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
    bytes += std::string((size_t)side * side * 3, (char)value);
    return bytes;
}

// A loadable track folder: heights, shading, one plain tile and its tile map.
struct TrackFixture {
    std::string folder = "tracks/test";
    int exponent = FIXTURE_EXPONENT;
    float cell = 2.0f, min = 0.0f, max = 10.0f;
    std::function<int(int, int)> sample = [](int column, int) { return column * 200; };
    std::string tileinfo = "name dirt\naddtile\n";
    std::string tilemap;   // empty: all zero bytes

    void write() const
    {
        std::string dir = track_dir(folder);
        int side = (2 << exponent) + 1;
        int tiles = 1 << exponent;
        write_file(dir + "terrain.hf", height_field_bytes(exponent, cell, min, max, sample));
        write_file(dir + "shadingx2.ppm", shading_bytes(side, 64));
        write_file(dir + "tileinfo", tileinfo);
        write_file(dir + "tilemap", tilemap.empty() ? std::string((size_t)tiles * tiles, '\0') : tilemap);
    }
    std::string game_path() const { return "@" + folder; }
};

// A terrain in memory (no files): heights from a function of (column, row).
struct MemoryTerrain {
    Terrain terrain;
    std::vector<float> heights;
    std::vector<uint32_t> shading_dirty, triangle_dirty;
    std::vector<float> normals;
    std::vector<uint8_t> tile_map;

    explicit MemoryTerrain(int exponent = FIXTURE_EXPONENT, float cell = 2.0f,
                           const std::function<float(int, int)> &height = [](int, int) { return 0.0f; })
    {
        memset(&terrain, 0, sizeof terrain);
        terrain.grid_exponent = exponent;
        terrain.side = (2 << exponent) + 1;
        terrain.cell = cell;
        terrain.double_cell = 2 * cell;
        terrain.extent = cell * (float)(2 << exponent);
        terrain.lod_centre_x = terrain.lod_centre_z = LOD_CENTRE_NONE;
        int side = terrain.side;
        heights.resize((size_t)side * side * 2);
        for (int row = 0; row < side; row++)
            for (int column = 0; column < side; column++) {
                float h = height(column, row);
                heights[(size_t)row * side + column] = h;
                heights[(size_t)side * side + (size_t)row * side + column] = h;
                if (row == 0 && column == 0)
                    terrain.min_height = terrain.max_height = h;
                terrain.min_height = h < terrain.min_height ? h : terrain.min_height;
                terrain.max_height = h > terrain.max_height ? h : terrain.max_height;
            }
        terrain.loaded_min_height = terrain.min_height;
        terrain.heights = heights.data();
        terrain.loaded_heights = heights.data() + (size_t)side * side;
        shading_dirty.assign((size_t)side * side / 32 + 2, 0);
        int triangles = 2 * (side - 1) * (side - 1);
        triangle_dirty.assign((size_t)triangles / 32 + 2, 0xffffffffu);
        normals.assign((size_t)triangles * 3, 0.0f);
        terrain.shading_dirty = shading_dirty.data();
        terrain.triangle_dirty = triangle_dirty.data();
        terrain.face_normals = normals.data();
        int tiles = 1 << exponent;
        tile_map.assign((size_t)tiles * tiles, 0);
        terrain.tile_map = tile_map.data();
        terrain.tile_count = 1;
        terrain.change_counter = 1;
    }
    float &at(int column, int row) { return heights[(size_t)row * terrain.side + column]; }
};

