// The terrain files: height fields from the raw body or terrain.png, save and
// load round trips, refused headers and short files, shading and shadows,
// tile map clamping and a track without tile kinds.
#include "track/terrain.h"

#include "app/shell.h"
#include "core/digest.h"
#include "platform/log.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/render_settings.h"
#include "track/decals.h"
#include "track/lighting.h"
#include "track/track.h"
#include "tests/core/file_fixtures.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

class TerrainFile : public testing::Test {
protected:
    Terrain terrain{};
    void TearDown() override
    {
        free_terrain(&terrain);
        set_track_folder(nullptr);
    }
    int load(const TrackFixture &fixture, int mode = 1)
    {
        return load_terrain(&terrain, fixture.game_path().c_str(), mode);
    }
    float height(int column, int row) const { return terrain.heights[row * terrain.side + column]; }
};

TEST_F(TerrainFile, RawBodyLoadsHeightsShadingAndTiles)
{
    TrackFixture fixture;
    fixture.write();
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.side, FIXTURE_SIDE);
    EXPECT_FLOAT_EQ(terrain.extent, 2.0f * 256);
    EXPECT_FLOAT_EQ(height(0, 0), 0.0f);
    EXPECT_NEAR(height(100, 3), 100 * 200 * 10.0f / 65535, 1e-5);
    EXPECT_EQ(terrain.loaded_heights[100], terrain.heights[100]);
    EXPECT_EQ(terrain.shading[0], 64);
    EXPECT_EQ(terrain.shadows[5], 0);
    EXPECT_EQ(terrain.tile_count, 1);
    EXPECT_STREQ(terrain.tiles[0].name, "dirt");
    EXPECT_EQ(terrain.texture_mode, 1);
    EXPECT_EQ(terrain.change_counter, 1);
    EXPECT_EQ(terrain.block_stamps[0], -1);
    EXPECT_EQ(count_messages("Terrain texture rendering with TexSubImage"), 1);
}

TEST_F(TerrainFile, SaveLoadSaveIsStable)
{
    // A ramp and a flat field: both saves byte-identical, heights within a step.
    struct Case {
        const char *folder;
        std::function<int(int, int)> sample;
        float min, max;
    } cases[] = {
        {"tracks/ramp", [](int c, int r) { return (c * 251 + r * 3) % 65536; }, -20.0f, 35.5f},
        {"tracks/flat", [](int, int) { return 0; }, 3.0f, 3.0f},
        // The top sample worked out in float lands an ulp off the maximum at
        // every load, which shows in the sixth decimal of each save.
        {"tracks/drift", [](int c, int r) { return (c * 257 + r) % 65536; }, -2.773320f, 6.925328f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        TrackFixture fixture;
        fixture.folder = c.folder;
        fixture.sample = c.sample;
        fixture.min = c.min;
        fixture.max = c.max;
        fixture.write();
        ASSERT_EQ(load(fixture), 1);
        std::vector<float> original(terrain.heights, terrain.heights + FIXTURE_SIDE * FIXTURE_SIDE);
        set_track_folder(c.folder);
        ASSERT_EQ(save_terrain(&terrain), 1);
        std::string home = test_home_dir() + c.folder + "/";
        std::string hf1, png1, tilemap1;
        ASSERT_TRUE(read_file(home + "terrain.hf", &hf1));
        ASSERT_TRUE(read_file(home + "terrain.png", &png1));
        ASSERT_TRUE(read_file(home + "tilemap", &tilemap1));
        EXPECT_EQ(hf1.find(':'), std::string::npos);   // the header alone

        ASSERT_EQ(load(fixture), 1);   // the home folder's files come first
        float step = (c.max - c.min) / 65535 + 1e-5f;
        for (size_t i = 0; i < original.size(); i++)
            ASSERT_NEAR(terrain.heights[i], original[i], step) << i;
        ASSERT_EQ(save_terrain(&terrain), 1);
        std::string hf2, png2;
        ASSERT_TRUE(read_file(home + "terrain.hf", &hf2));
        ASSERT_TRUE(read_file(home + "terrain.png", &png2));
        EXPECT_EQ(hf1, hf2);
        EXPECT_EQ(png1, png2);
        free_terrain(&terrain);
    }
}

TEST_F(TerrainFile, DiggingLowersTheMinimumButNotTheLoadedOne)
{
    TrackFixture fixture;
    fixture.min = -2.5f;
    fixture.write();
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.min_height, -2.5f);
    EXPECT_EQ(terrain.loaded_min_height, -2.5f);
    terrain_dig(&terrain, 1.0f, 1.0f, 4.0f, -3.0f);   // the column-0 edge is the lowest ground
    EXPECT_LT(terrain.min_height, -4.0f);
    EXPECT_EQ(terrain.loaded_min_height, -2.5f);
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(save_terrain(&terrain), 1);   // the editor's save keeps it too
    EXPECT_EQ(terrain.loaded_min_height, -2.5f);
}

TEST_F(TerrainFile, HeightsFromTerrainPng)
{
    TrackFixture fixture;
    fixture.write();
    std::string dir = track_dir(fixture.folder);
    // Header with nothing after it: the heights come from terrain.png, which
    // is missing here: a flat field at the minimum.
    write_file(dir + "terrain.hf", "7 2.0 5.0 9.0\n");
    ASSERT_EQ(load(fixture), 1);
    EXPECT_FLOAT_EQ(height(3, 4), 5.0f);
    EXPECT_FLOAT_EQ(height(256, 256), 5.0f);
    free_terrain(&terrain);

    // A 100 x 50 image repeats its last column and row.
    std::vector<uint16_t> image(100 * 50);
    for (int row = 0; row < 50; row++)
        for (int column = 0; column < 100; column++)
            image[row * 100 + column] = (uint16_t)(column * 600 + row);
    ASSERT_EQ(write_png_gray16((dir + "terrain.png").c_str(), image.data(), 100, 50), 1);
    ASSERT_EQ(load(fixture), 1);
    auto expected = [](int v) { return 5.0f + v * 4.0f / 65535; };
    EXPECT_FLOAT_EQ(height(10, 20), expected(10 * 600 + 20));
    EXPECT_FLOAT_EQ(height(200, 20), expected(99 * 600 + 20));
    EXPECT_FLOAT_EQ(height(200, 250), expected(99 * 600 + 49));
    // The loaded heights are the same floats, repeated edges included.
    size_t samples = (size_t)FIXTURE_SIDE * FIXTURE_SIDE;
    EXPECT_EQ(memcmp(terrain.loaded_heights, terrain.heights, samples * sizeof(float)), 0);
}

TEST_F(TerrainFile, RawBodyTheFileCannotHoldIsRefusedBeforeReading)
{
    // The largest grid (16385 x 16385) declared by a few bytes, plain and
    // through gzip: refused with what the file holds, nothing allocated.
    std::string log = start_log_capture();
    for (bool packed : {false, true}) {
        SCOPED_TRACE(packed);
        TrackFixture fixture;
        fixture.write();
        std::string dir = track_dir(fixture.folder);
        std::string hf = "13 1.0 0.0 1.0\n:" + std::string(1000, 'x');
        remove((dir + "terrain.hf").c_str());
        write_file(dir + (packed ? "terrain.hf.gz" : "terrain.hf"), packed ? gzip_bytes(hf) : hf);
        EXPECT_EQ(load(fixture), 0);
        EXPECT_EQ(terrain.heights, nullptr);
    }
    EXPECT_EQ(count_messages("Error reading heights"), 2);
    std::string text = captured_log(log);
    EXPECT_NE(text.find("Short height field: 16385 x 16385 samples declared, the file holds at most 1001 bytes"),
              std::string::npos) << text;
}

TEST_F(TerrainFile, BadHeaderOrShortFilesRefuseTheTrack)
{
    struct Case {
        const char *name;
        std::string hf;         // empty: the fixture's
        std::string tilemap;    // empty: the fixture's
    } cases[] = {
        {"three numbers", "7 2.0 0.0\n", ""},
        {"exponent below 7", "6 2.0 0.0 1.0\n", ""},
        {"exponent above 13", "14 2.0 0.0 1.0\n", ""},
        {"zero cell", "7 0 0.0 1.0\n", ""},
        {"negative cell", "7 -2 0.0 1.0\n", ""},
        {"infinite cell", "7 1e999 0.0 1.0\n", ""},
        {"infinite height", "7 2.0 0.0 1e999\n", ""},
        // Finite, but the samples or the normals would overflow.
        {"samples past the float range", "7 2.0 0.0 3e38\n", ""},
        {"highest height beyond the coordinate limit", "7 2.0 0.0 2e6\n", ""},
        {"lowest height beyond the coordinate limit", "7 2.0 -2e6 0.0\n", ""},
        {"extent beyond the coordinate limit", "7 4097 0.0 1.0\n", ""},
        {"short body", "7 2.0 0.0 1.0\n:" + std::string(1000, 'x'), ""},
        {"short tilemap", "", std::string(100, '\0')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TrackFixture fixture;
        fixture.tilemap = c.tilemap;
        fixture.write();
        if (!c.hf.empty())
            write_file(track_dir(fixture.folder) + "terrain.hf", c.hf);
        EXPECT_EQ(load(fixture), 0);
        EXPECT_EQ(terrain.heights, nullptr);
        EXPECT_EQ(terrain.tile_map, nullptr);
    }
    EXPECT_GE(count_messages("Bad height field parameters"), 11);
    EXPECT_EQ(count_messages("Error reading tilemap"), 1);
}

TEST_F(TerrainFile, HeightFieldAtTheCoordinateLimitsStaysFinite)
{
    // The steepest field the header allows: every other sample at the
    // lowest and highest height, the largest cell of a 2^7 grid.
    TrackFixture fixture;
    fixture.cell = TERRAIN_COORDINATE_LIMIT / 256;
    fixture.min = -TERRAIN_COORDINATE_LIMIT;
    fixture.max = TERRAIN_COORDINATE_LIMIT;
    fixture.sample = [](int column, int row) { return (column + row) % 2 ? 65535 : 0; };
    fixture.write();
    shader_programs_available = 1;
    ground_shaders_setting = 1;
    track_lighting.dynamic_lighting = 1;
    // Mode 2 composites in the back buffer: it needs a drawable.
    GameWindow *window = open_test_gl_window(128, 128);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(load(fixture, 2), 1);
    ASSERT_NE(terrain.normal_texels, nullptr);
    EXPECT_FLOAT_EQ(terrain.extent, TERRAIN_COORDINATE_LIMIT);
    int bad = 0;
    for (int row = 0; row < terrain.side; row++)
        for (int column = 0; column < terrain.side; column++) {
            float normal[3];
            get_terrain_normal(&terrain, column, row, normal);
            float length = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
            bad += !(std::fabs(length - 1.0f) < 1e-3f);
        }
    EXPECT_EQ(bad, 0);
    for (int i = 0; i < terrain_lod_node_count(terrain.grid_exponent); i++)
        ASSERT_TRUE(std::isfinite(terrain.lod_error[i])) << i;
    // Digging never takes a height past the limit.
    float x = terrain.extent / 2;
    terrain_dig(&terrain, x, x, 4 * terrain.cell, 1e30f);
    terrain_dig(&terrain, x, x, 4 * terrain.cell, -1e30f);
    for (int i = 0; i < terrain.side * terrain.side; i++)
        ASSERT_LE(std::fabs(terrain.heights[i]), TERRAIN_COORDINATE_LIMIT) << i;
    shader_programs_available = 0;
    ground_shaders_setting = 0;
    track_lighting.dynamic_lighting = 0;
    free_terrain(&terrain);
    close_test_gl_window(window);
}

TEST_F(TerrainFile, ShadingRoundTripsAndShadowsInvert)
{
    TrackFixture fixture;
    fixture.write();
    std::string dir = track_dir(fixture.folder);
    // Without shadingx2.ppm the doubled file is halved.
    remove((dir + "shadingx2.ppm").c_str());
    EXPECT_EQ(load(fixture), 0);   // no shading at all fails
    write_file(dir + "shading.ppm", shading_bytes(FIXTURE_SIDE, 201));
    std::string shadows = "P5\n257 257\n255\n" + std::string(FIXTURE_SIDE * FIXTURE_SIDE, (char)55);
    write_file(dir + "shadows.pgm", shadows);
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.shading[7], 100);
    EXPECT_EQ(terrain.shadows[7], 200);

    // Saving writes both: 128 and more saturate in shading.ppm.
    terrain.shading[0] = 128;
    terrain.shading[1] = 127;
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(save_terrain(&terrain), 1);
    std::string home = test_home_dir() + fixture.folder + "/", doubled, plain;
    ASSERT_TRUE(read_file(home + "shading.ppm", &doubled));
    ASSERT_TRUE(read_file(home + "shadingx2.ppm", &plain));
    size_t header = std::string("P6\n257 257\n255\n").size();
    EXPECT_EQ((uint8_t)doubled[header], 255);
    EXPECT_EQ((uint8_t)doubled[header + 1], 254);
    EXPECT_EQ((uint8_t)plain[header], 128);
    remove((home + "shadingx2.ppm").c_str());
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.shading[0], 127);
    EXPECT_EQ(terrain.shading[1], 127);

    // Wrong sizes refuse the track.
    write_file(dir + "shadows.pgm", "P5\n3 3\n255\n123456789");
    EXPECT_EQ(load(fixture), 0);
    write_file(dir + "shadows.pgm", shadows);
    write_file(home + "shading.ppm", shading_bytes(100, 1));
    EXPECT_EQ(load(fixture), 0);
    EXPECT_EQ(count_messages("Bad shading dimensions (100x100)"), 1);
}

TEST_F(TerrainFile, TileMapBytesClampToTheTileCount)
{
    TrackFixture fixture;
    fixture.tileinfo = "";
    for (int i = 0; i < 10; i++)
        fixture.tileinfo += "name t" + std::to_string(i) + "\naddtile\n";
    fixture.tilemap = std::string(FIXTURE_TILES * FIXTURE_TILES, (char)3);
    fixture.tilemap[5] = (char)200;
    fixture.write();
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.tile_map[5], 9);
    EXPECT_EQ(terrain.tile_map[6], 3);
}

TEST_F(TerrainFile, ZeroTileKindsGetOneDefaultTile)
{
    TrackFixture fixture;
    fixture.tileinfo = "";   // an empty tileinfo file
    fixture.tilemap = std::string(FIXTURE_TILES * FIXTURE_TILES, (char)7);
    fixture.write();
    ASSERT_EQ(load(fixture), 1);
    EXPECT_EQ(terrain.tile_count, 1);
    EXPECT_EQ(terrain.tile_map[0], 0);
    EXPECT_EQ(terrain.tiles[0].erosion.limit_count, 1);
    EXPECT_FLOAT_EQ(terrain.tiles[0].erosion.erode_radius, 4.0f);
}

TEST_F(TerrainFile, MissingTileFilesOrTerrainFail)
{
    TrackFixture fixture;
    fixture.write();
    remove((track_dir(fixture.folder) + "tileinfo").c_str());
    EXPECT_EQ(load(fixture), 0);   // neither tileinfo nor texturelist
    write_file(track_dir(fixture.folder) + "texturelist", "grass.png\n");
    EXPECT_EQ(load(fixture), 1);
    free_terrain(&terrain);
    remove((track_dir(fixture.folder) + "terrain.hf").c_str());
    EXPECT_EQ(load(fixture), 0);
    EXPECT_NE(message_text().find("Can't open '@tracks/test/terrain.hf'"), std::string::npos);
}

TEST_F(TerrainFile, TextureModesAndNormalTexels)
{
    TrackFixture fixture;
    fixture.write();
    ground_shaders_setting = 1;
    shader_programs_available = 1;
    // Mode 3 without framebuffer objects falls back to mode 1, which has no normal mapping.
    ASSERT_EQ(load(fixture, 3), 1);
    EXPECT_EQ(terrain.texture_mode, 1);
    EXPECT_EQ(terrain.normal_mapping, 0);
    EXPECT_EQ(terrain.normal_texels, nullptr);
    EXPECT_EQ(terrain.low_detail_dirty, nullptr);
    free_terrain(&terrain);

    // Mode 2 copies from the back buffer: without a drawable of V x V
    // texels (none, then 64 x 64 for V = 128) it is mode 1 too.
    ASSERT_EQ(load(fixture, 2), 1);
    EXPECT_EQ(terrain.texture_mode, 1);
    free_terrain(&terrain);
    GameWindow *window = open_test_gl_window(64, 64);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(load(fixture, 2), 1);
    EXPECT_EQ(terrain.texture_mode, 1);
    free_terrain(&terrain);
    close_test_gl_window(window);

    window = open_test_gl_window(128, 128);
    ASSERT_NE(window, nullptr);
    // Without dynamic_lighting in the track's lighting the ground keeps its
    // baked shading: no normal texels.
    ASSERT_EQ(track_lighting.dynamic_lighting, 0);
    ASSERT_EQ(load(fixture, 2), 1);
    EXPECT_EQ(terrain.texture_mode, 2);
    EXPECT_EQ(terrain.normal_mapping, 0);
    EXPECT_EQ(terrain.normal_texels, nullptr);
    free_terrain(&terrain);
    track_lighting.dynamic_lighting = 1;
    ASSERT_EQ(load(fixture, 2), 1);
    EXPECT_EQ(count_messages("Terrain texture rendering with CopyTexSubImage"), 2);
    EXPECT_EQ(terrain.texture_mode, 2);
    EXPECT_EQ(terrain.normal_mapping, 1);
    // 256 cells: one low-detail texture; its scale is 1 / 512 (the power of
    // two at least 256 - 384 + 512).
    EXPECT_FLOAT_EQ(terrain.low_detail_scale, 1.0f / 512);
    EXPECT_EQ(count_marked_blocks(&terrain), 0);
    ASSERT_NE(terrain.normal_texels, nullptr);
    // The fixture rises along x only: x tilts back, z stays level, no shadows.
    for (int sample : {0, 1000, FIXTURE_SIDE * FIXTURE_SIDE - 1}) {
        const uint8_t *texel = terrain.normal_texels + 3 * sample;
        EXPECT_LT(texel[0], 128) << sample;
        EXPECT_EQ(texel[1], 255) << sample;
        EXPECT_EQ(texel[2], 128) << sample;
    }
    ground_shaders_setting = 0;
    shader_programs_available = 0;
    track_lighting.dynamic_lighting = 0;
    free_terrain(&terrain);
    close_test_gl_window(window);
}

TEST_F(TerrainFile, FramebufferModeFollowsTheDriver)
{
    GameWindow *window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    TrackFixture fixture;
    fixture.write();
    // The driver has framebuffer objects: mode 3 with one made for the terrain.
    ASSERT_TRUE(framebuffer_extension);
    ASSERT_EQ(load(fixture, 3), 1);
    EXPECT_EQ(terrain.texture_mode, 3);
    EXPECT_NE(terrain.framebuffer, 0);
    free_terrain(&terrain);
    // Without the extension mode 3 becomes 1.
    gl_info.has_framebuffer_object = 0;
    apply_gl_capabilities();
    ASSERT_EQ(load(fixture, 3), 1);
    EXPECT_EQ(terrain.texture_mode, 1);
    EXPECT_EQ(terrain.framebuffer, 0);
    free_terrain(&terrain);
    close_test_gl_window(window);
}

TEST_F(TerrainFile, HeightDigestIsLoggedAtVerbosityTwo)
{
    std::string log_path = test_dir() + "/digest-log.txt";
    setenv("VOKE_LOGFILE", log_path.c_str(), 1);
    verbose_setting = 2;
    // The digest of the samples' bytes, low byte first, as the raw body holds them.
    TrackFixture fixture;
    fixture.sample = [](int column, int row) { return (column * 977 + row * 31) % 65536; };
    fixture.write();
    std::string body = height_field_bytes(fixture.exponent, fixture.cell, fixture.min, fixture.max, fixture.sample);
    body = body.substr(body.find(':') + 1);
    Ripemd160Context digest;
    ripemd160_init(&digest);
    ripemd160_update(&digest, body.data(), (int)body.size());
    ripemd160_final(&digest);
    char hex[41];
    for (int i = 0; i < 20; i++)
        snprintf(hex + 2 * i, 3, "%02x", digest.digest[i]);
    ASSERT_EQ(load(fixture), 1);
    free_terrain(&terrain);

    // The same samples from terrain.png give the same digest.
    std::vector<uint16_t> image(FIXTURE_SIDE * FIXTURE_SIDE);
    for (int row = 0; row < FIXTURE_SIDE; row++)
        for (int column = 0; column < FIXTURE_SIDE; column++)
            image[row * FIXTURE_SIDE + column] = (uint16_t)fixture.sample(column, row);
    std::string dir = track_dir(fixture.folder);
    ASSERT_EQ(write_png_gray16((dir + "terrain.png").c_str(), image.data(), FIXTURE_SIDE, FIXTURE_SIDE), 1);
    write_file(dir + "terrain.hf", "7 2.0 0.0 10.0\n");
    ASSERT_EQ(load(fixture), 1);
    close_log();

    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    std::string line = std::string("] ") + hex + "\n";
    size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
    verbose_setting = 0;
}

TEST_F(TerrainFile, DecalsLoadWithTheTerrainAndAreSavedBack)
{
    GameWindow *window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    TrackFixture fixture;
    fixture.write();
    set_track_folder(fixture.folder.c_str());
    std::string home = test_home_dir() + fixture.folder + "/";
    // Without a decals file there is no decal array and none is written.
    ASSERT_EQ(load(fixture, 2), 1);
    EXPECT_EQ(terrain.decals.data, nullptr);
    ASSERT_EQ(save_terrain(&terrain), 1);
    EXPECT_FALSE(file_exists(home + "decals"));
    free_terrain(&terrain);

    write_game_asset("@marks/line.png");
    write_file(track_dir(fixture.folder) + "decals",
               "[ 10 20 ] 0.5 4 2 @marks/line.png\n[ 1 2 ] 0 1 1 @marks/gone.png\n[ 30.25 40 ] 0 8 0.5 @marks/line.png\n");
    ASSERT_EQ(load(fixture, 2), 1);
    ASSERT_EQ(terrain.decals.count, 2);
    const Decal *decals = (const Decal *)terrain.decals.data;
    EXPECT_FLOAT_EQ(decals[1].x, 30.25f);
    EXPECT_EQ(decals[0].texture, decals[1].texture);
    ASSERT_EQ(save_terrain(&terrain), 1);
    std::string saved;
    ASSERT_TRUE(read_file(home + "decals", &saved));
    EXPECT_EQ(saved, "[10.000000 20.000000] 0.500000 4.000000 2.000000 @marks/line.png\n"
                     "[30.250000 40.000000] 0.000000 8.000000 0.500000 @marks/line.png\n");
    free_terrain(&terrain);
    close_test_gl_window(window);
}
