// Ground textures through GL: a base block composited in render modes 1, 2
// and 3 and read back agrees between the modes, and a decal seen by a
// camera straight down lies where it was placed in each mode, with ground
// all round it; the baked shading kept unless the track's lighting asks
// for dynamic lighting.
#include "render/ground_textures.h"

#include "render/camera_views.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "render/terrain_mesh.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"
#include "tests/core/file_fixtures.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint8_t GRASS[3] = {40, 160, 40}, EARTH[3] = {150, 110, 60}, PAINT[3] = {230, 20, 20};

void write_solid_png(const std::string &name, const uint8_t *rgb)
{
    write_file(test_data_dir() + name, png_bytes(16, 16, 4, flat_pixels(16, 16, 4, {rgb[0], rgb[1], rgb[2], 255})));
}

// The painted decal seen from above: x from 252 to 260, z from 248 to 264.
const float MARK_X = 256.0f, MARK_Z = 256.0f, MARK_LENGTH = 16.0f, MARK_WIDTH_FACTOR = 0.5f;

class GroundRender : public testing::Test {
protected:
    GameWindow *window = nullptr;
    Terrain terrain{};
    int saved_size = 0, saved_limit = 0;

    void SetUp() override
    {
        window = open_test_gl_window(128, 128);
        ASSERT_NE(window, nullptr);
        window_width = window_height = 128;
        saved_size = ground_texture_size_setting;
        saved_limit = ground_detail_limit;
        ground_texture_size_setting = 128;
        ground_detail_limit = 0;
        track_lighting.near_plane = 0.5f;
        track_lighting.far_plane = 5000.0f;

        TrackFixture fixture;
        fixture.sample = [](int, int) { return 0; };
        fixture.tileinfo = "name grass\ntexture @grass.png\naddtile\nname earth\ntexture @earth.png\naddtile\n";
        // Squares of 8 x 8 tiles of each kind.
        fixture.tilemap.assign(FIXTURE_TILES * FIXTURE_TILES, 0);
        for (int z = 0; z < FIXTURE_TILES; z++)
            for (int x = 0; x < FIXTURE_TILES; x++)
                fixture.tilemap[(size_t)z * FIXTURE_TILES + x] = (char)(((x >> 3) ^ (z >> 3)) & 1);
        fixture.write();
        std::string dir = track_dir(fixture.folder);
        write_file(dir + "shadingx2.ppm", shading_bytes(FIXTURE_SIDE, 128));   // neutral light
        char decals[256];
        snprintf(decals, sizeof decals, "[ 100 120 ] 0.5 40 0.5 @paint.png\n[ %g %g ] 0 %g %g @paint.png\n", MARK_X,
                 MARK_Z, MARK_LENGTH, MARK_WIDTH_FACTOR);
        write_file(dir + "decals", decals);
        write_solid_png("grass.png", GRASS);
        write_solid_png("earth.png", EARTH);
        write_solid_png("paint.png", PAINT);
    }

    void TearDown() override
    {
        current_terrain = nullptr;
        free_terrain(&terrain);
        ground_texture_size_setting = saved_size;
        ground_detail_limit = saved_limit;
        close_test_gl_window(window);
    }

    void load(int mode)
    {
        free_terrain(&terrain);
        ASSERT_EQ(load_terrain(&terrain, "@tracks/test", mode), 1);
        ASSERT_EQ(terrain.texture_mode, mode);
        ASSERT_EQ(terrain.decals.count, 2);
        current_terrain = &terrain;
    }
};

}  // namespace

TEST_F(GroundRender, ABlockComposesAlikeInEveryMode)
{
    std::vector<uint8_t> images[4];
    for (int mode = 1; mode <= 3; mode++) {
        SCOPED_TRACE(mode);
        load(mode);
        // The camera far away: only the immediate base blocks are composited.
        const float eye[3] = {-5000, 10, -5000}, none[3] = {0, 0, 0};
        set_terrain_camera(&terrain, eye, none);
        update_ground_textures(&terrain);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        images[mode].resize(128 * 128 * 3);
        glBindTexture(GL_TEXTURE_2D, (GLuint)terrain.block_textures[0][0]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, images[mode].data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    // The software block shows both tiles and the decal.
    int grass = 0, earth = 0, paint = 0;
    for (size_t i = 0; i < images[1].size(); i += 3) {
        grass += near_colour(&images[1][i], GRASS, 3);
        earth += near_colour(&images[1][i], EARTH, 3);
        paint += near_colour(&images[1][i], PAINT, 3);
    }
    EXPECT_GT(grass, 4000);
    EXPECT_GT(earth, 4000);
    EXPECT_GT(paint, 100);
    // The drawn blocks agree with it but for a few texels along the decal's
    // slanted edges, where the rasterisers round differently.
    for (int mode : {2, 3}) {
        int off = 0;
        long total = 0;
        for (size_t i = 0; i < images[1].size(); i++) {
            int d = abs(images[mode][i] - images[1][i]);
            total += d;
            off += d > 24;
        }
        EXPECT_LT(off, 128 * 128 * 3 / 100) << mode;
        EXPECT_LT((double)total / images[1].size(), 2.0) << mode;
    }
}

TEST_F(GroundRender, ADecalSeenFromAboveLiesWherePlaced)
{
    // Straight down from 32 ft: right is +x, up the screen is -z, and with a
    // field of view of 90 degrees a pixel is half a foot.
    const float eye[3] = {MARK_X, 32.0f, MARK_Z};
    const float down[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    const float half_width = MARK_LENGTH * MARK_WIDTH_FACTOR / 2, half_length = MARK_LENGTH / 2;
    for (int mode = 1; mode <= 3; mode++) {
        SCOPED_TRACE(mode);
        load(mode);
        // Enough frames for every window tile around the camera.
        for (int frame = 0; frame < 24; frame++)
            render_scene(eye, down, 90.0f, -1);
        std::vector<uint8_t> pixels(128 * 128 * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 128, 128, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        int inside = 0, outside = 0, wrong = 0;
        for (int py = 0; py < 128; py++)
            for (int px = 0; px < 128; px++) {
                // Pixel centre on the ground; 2 pixels are 1 ft.
                float x = MARK_X + (px + 0.5f - 64) / 2, z = MARK_Z - (py + 0.5f - 64) / 2;
                float dx = fabsf(x - MARK_X), dz = fabsf(z - MARK_Z);
                const uint8_t *p = &pixels[((size_t)py * 128 + px) * 3];
                if (dx < half_width - 1 && dz < half_length - 1) {
                    inside++;
                    wrong += !near_colour(p, PAINT, 12);
                } else if (dx > half_width + 1 || dz > half_length + 1) {
                    outside++;
                    wrong += !(near_colour(p, GRASS, 12) || near_colour(p, EARTH, 12));
                }
            }
        EXPECT_GT(inside, 150);
        EXPECT_GT(outside, 10000);
        EXPECT_EQ(wrong, 0);
    }
}

// Ground shaders light the ground themselves only where the track's
// lighting sets dynamic_lighting; without it the baked shading (here 64:
// half the tile colour) stays in the composited ground in every mode.
TEST_F(GroundRender, BakedShadingStaysUnlessTheTrackAsksForDynamicLighting)
{
    write_file(track_dir("tracks/test") + "shadingx2.ppm", shading_bytes(FIXTURE_SIDE, 64));
    ASSERT_EQ(build_shader_programs(), 1);
    shader_programs_available = 1;
    ground_shaders_setting = 1;
    const uint8_t half_grass[3] = {(uint8_t)(GRASS[0] / 2), (uint8_t)(GRASS[1] / 2), (uint8_t)(GRASS[2] / 2)};
    struct Case {
        int dynamic_lighting, mode;
        bool baked;
    } cases[] = {
        {0, 1, true}, {0, 2, true}, {0, 3, true},
        {1, 1, true},   // software compositing has no normal-mapped ground
        {1, 2, false}, {1, 3, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "dynamic_lighting " << c.dynamic_lighting << ", mode " << c.mode);
        track_lighting.dynamic_lighting = c.dynamic_lighting;
        load(c.mode);
        EXPECT_EQ(terrain.normal_mapping, c.baked ? 0 : 1);
        const float eye[3] = {-5000, 10, -5000}, none[3] = {0, 0, 0};
        set_terrain_camera(&terrain, eye, none);
        update_ground_textures(&terrain);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        std::vector<uint8_t> image(128 * 128 * 3);
        glBindTexture(GL_TEXTURE_2D, (GLuint)terrain.block_textures[0][0]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, image.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        int shaded = 0, bright = 0;
        for (size_t i = 0; i < image.size(); i += 3) {
            shaded += near_colour(&image[i], half_grass, 4);
            bright += near_colour(&image[i], GRASS, 4);
        }
        EXPECT_GT(c.baked ? shaded : bright, 4000);
        EXPECT_EQ(c.baked ? bright : shaded, 0);
    }
    track_lighting.dynamic_lighting = 0;
    ground_shaders_setting = 0;
    shader_programs_available = 0;
    current_terrain = nullptr;
    free_terrain(&terrain);
    delete_shader_programs();
}

// The fans drawn from vertex arrays go to the driver gathered into one draw
// per texture run; the picture and the depth must be those of the fans
// drawn one at a time in immediate mode, from a low camera that sees every
// level of the ground and many texture changes.
TEST_F(GroundRender, GatheredFansDrawWhatSingleFansDraw)
{
    load(1);
    const float eye[3] = {200.0f, 6.0f, 180.0f};
    // Looking along +x and +z, a little down.
    const float yaw = 0.8f, pitch = -0.15f;
    const float forward[3] = {sinf(yaw) * cosf(pitch), sinf(pitch), cosf(yaw) * cosf(pitch)};
    const float right[3] = {cosf(yaw), 0.0f, -sinf(yaw)};
    const float up[3] = {right[1] * forward[2] - right[2] * forward[1], right[2] * forward[0] - right[0] * forward[2],
                         right[0] * forward[1] - right[1] * forward[0]};
    // Rows: right, up, back.
    const float view[9] = {right[0], right[1], right[2], up[0], up[1], up[2], -forward[0], -forward[1], -forward[2]};
    for (int frame = 0; frame < 48; frame++)
        render_scene(eye, view, 70.0f, -1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    auto picture = [&](int immediate, std::vector<uint8_t> *rgb, std::vector<float> *depth) {
        no_vertex_arrays = immediate;
        render_scene(eye, view, 70.0f, -1);
        no_vertex_arrays = 0;
        rgb->assign(128 * 128 * 3, 0);
        depth->assign(128 * 128, 0.0f);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 128, 128, GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
        glReadPixels(0, 0, 128, 128, GL_DEPTH_COMPONENT, GL_FLOAT, depth->data());
    };
    std::vector<uint8_t> gathered_rgb, single_rgb;
    std::vector<float> gathered_depth, single_depth;
    picture(0, &gathered_rgb, &gathered_depth);
    int texture_changes = texture_change_count;
    picture(1, &single_rgb, &single_depth);
    EXPECT_GT(terrain.ground_vertex_count, 200);
    EXPECT_GT(texture_changes, 8);

    int grass = 0, earth = 0, colour_differs = 0, depth_differs = 0;
    for (size_t i = 0; i < single_depth.size(); i++) {
        grass += near_colour(&gathered_rgb[3 * i], GRASS, 12);
        earth += near_colour(&gathered_rgb[3 * i], EARTH, 12);
        colour_differs += memcmp(&gathered_rgb[3 * i], &single_rgb[3 * i], 3) != 0;
        depth_differs += gathered_depth[i] != single_depth[i];
    }
    EXPECT_GT(grass, 1000);
    EXPECT_GT(earth, 1000);
    EXPECT_EQ(colour_differs, 0);
    EXPECT_EQ(depth_differs, 0);
}
