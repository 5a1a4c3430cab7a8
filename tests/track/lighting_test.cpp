// Track lighting (keywords, clamps, flares, sky defaults, fog) and the
// trackside cameras.
#include "track/lighting.h"

#include "render/render_settings.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

class Lighting : public testing::Test {
protected:
    GameWindow *window = nullptr;
    void SetUp() override
    {
        window = open_test_gl_window();
        ASSERT_NE(window, nullptr);
        for (const char *name : {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-u.ppm",
                                 "@sky-env.ppm", "@clouds.png", "@flare.png"})
            write_game_asset(name);
    }
    void TearDown() override
    {
        close_test_gl_window(window);
        free_flare_list();
        free_growable_array(&track_cameras);
        current_terrain = nullptr;
    }
    static void read(const std::string &text)
    {
        write_file(test_data_dir() + "tracks/l/lighting", text);
        read_lighting("@tracks/l/lighting");
    }
};

TEST_F(Lighting, DefaultsWithoutAFile)
{
    read_lighting("@tracks/none/lighting");
    EXPECT_FLOAT_EQ(track_lighting.sun_direction[0], 1.0f);   // not made unit length
    EXPECT_FLOAT_EQ(track_lighting.ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(track_lighting.near_plane, 0.25f);
    EXPECT_FLOAT_EQ(track_lighting.far_plane, 5000.0f);
    for (int texture : sky_textures)
        EXPECT_EQ(texture, 0);
    EXPECT_EQ(flare_list.count, 0);
}

TEST_F(Lighting, KeywordsAndClamps)
{
    struct Case {
        const char *text;
        float near_plane, far_plane;
    } cases[] = {
        {"near_plane 2\n", 0.875f, 5000.0f},
        {"far_plane 0.1\n", 0.25f, 0.25f},
        {"near_plane 0\nfar_plane 9e9\n", 1.0f / 1024, 1048576.0f},
        {"near_plane 1e999\n", 0.25f, 5000.0f},   // not finite: ignored
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        read(c.text);
        EXPECT_FLOAT_EQ(track_lighting.near_plane, c.near_plane);
        EXPECT_FLOAT_EQ(track_lighting.far_plane, c.far_plane);
    }
    read("\tsun_vector [ 0 2 0 ]  \r\nsun_color [ 0.5 0.25 1 ]\nambient [0.1 0.2 0.3]\n"
         "global_ambient [ 1 1 1 ]\ndynamic_lighting 3\nsky_n @clouds.png\n");
    EXPECT_FLOAT_EQ(track_lighting.sun_direction[0], 0.0f);
    EXPECT_FLOAT_EQ(track_lighting.sun_direction[1], 1.0f);
    EXPECT_FLOAT_EQ(track_lighting.sun_colour[1], 0.25f);
    EXPECT_FLOAT_EQ(track_lighting.ambient[2], 0.3f);
    EXPECT_EQ(track_lighting.dynamic_lighting, 1);
    EXPECT_EQ(sky_textures[SKY_N], load_texture("@clouds.png"));
    EXPECT_EQ(sky_textures[SKY_E], load_texture("@sky-e.ppm"));
    // A zero sun vector has no direction: straight down from above.
    read("sun_vector [ 0 0 0 ]\n");
    EXPECT_FLOAT_EQ(track_lighting.sun_direction[1], 1.0f);
    EXPECT_FALSE(std::isnan(track_lighting.sun_direction[0]));
}

TEST_F(Lighting, UnknownKeywordEndsTheReading)
{
    read("near_plane 0.5\nsunshine 3\nfar_plane 10\n");
    EXPECT_FLOAT_EQ(track_lighting.near_plane, 0.5f);
    EXPECT_FLOAT_EQ(track_lighting.far_plane, 5000.0f);
    EXPECT_EQ(count_messages("Error reading lighting: Unknown identifier 'sunshine'\n"), 1);
}

TEST_F(Lighting, FlaresAndFog)
{
    std::string text;
    for (int i = 0; i < 9; i++)
        text += "flare_element [ " + std::to_string(i) + " 0 ] [ 1 0.5 0 ] 2 @flare.png\n";
    text += "flare_point [ 10 20 30 ]\nflare_element [ 0 0 ] [ 1 1 1 ]\nflare_vector [ 0 1 0 ]\n";
    text += "fog [ 0.5 0.6 0.7 ] 0.01\n";
    read(text);
    ASSERT_EQ(flare_list.count, 2);
    const Flare *flares = (const Flare *)flare_list.data;
    EXPECT_EQ(flares[0].element_count, 8);   // the ninth is ignored
    EXPECT_EQ(flares[0].directional, 0);
    EXPECT_FLOAT_EQ(flares[0].position[2], 30.0f);
    EXPECT_FLOAT_EQ(flares[0].offset[7][0], 7.0f);
    EXPECT_NE(flares[0].texture[0], 0);
    EXPECT_EQ(flares[1].element_count, 0);   // an element missing items adds nothing
    EXPECT_EQ(flares[1].directional, 1);
    EXPECT_FLOAT_EQ(flares[1].size[0], 1.0f);
    EXPECT_FLOAT_EQ(fog_settings.density, 0.01f);
    EXPECT_FLOAT_EQ(fog_settings.colour[1], 0.6f);
    // Only a fog line: the five default faces and the environment texture load.
    read("fog [ 1 1 1 ] 0.5\n");
    for (int texture : sky_textures)
        EXPECT_NE(texture, 0);
    EXPECT_EQ(sky_textures[SKY_ENV], load_texture("@sky-env.ppm"));
}

TEST_F(Lighting, Cameras)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f, [](int, int) { return 3.0f; });
    current_terrain = &m.terrain;
    write_file(test_data_dir() + "tracks/l/cameras", "fov 60\naddcamera 10 5 20\naddcamera 30 1 40\n"
                                                     "autofovsize -12\nfov -45\naddcamera 1 2\n"
                                                     "gate 3 7 300 9\naddcamera 50 0 60\n"
                                                     "something else\n");
    for (int i = 0; i < GATE_CAMERA_SLOTS; i++)
        gate_cameras[i] = 99;
    read_cameras("@tracks/l/cameras");
    ASSERT_EQ(track_cameras.count, 3);
    const TrackCamera *c = (const TrackCamera *)track_cameras.data;
    EXPECT_FLOAT_EQ(c[0].fov, 60.0f);
    EXPECT_FLOAT_EQ(c[0].y, 8.0f);
    EXPECT_FLOAT_EQ(c[1].fov, 90.0f);
    EXPECT_FLOAT_EQ(c[2].fov, 45.0f);
    EXPECT_FLOAT_EQ(c[2].auto_fov_size, 12.0f);
    EXPECT_EQ(gate_cameras[3], 2);
    EXPECT_EQ(gate_cameras[7], 2);
    EXPECT_EQ(gate_cameras[9], -1);   // 300 ended the list
    EXPECT_EQ(gate_cameras[0], -1);
    // A missing file empties the list.
    read_cameras("@tracks/none/cameras");
    EXPECT_EQ(track_cameras.count, 0);
}
