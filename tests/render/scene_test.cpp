// The 3-D scene: the projection's tangents and its guards; the ghost
// fades and draw modes of the riders; and whole frames: the terrain drawn
// at its level of detail against the field drawn whole by the test (depth
// compared pixel by pixel) at 4:3 and 16:9, the sky or the cleared buffer
// with "--fugly", and fog only when its density is above 0.
#include "render/scene.h"

#include "bike/bike_create.h"
#include "bike/packed_state.h"
#include "net/client.h"
#include "race/history.h"
#include "race/race_state.h"
#include "race/race_control.h"
#include "render/camera.h"
#include "render/camera_views.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"
#include "tests/bike/bike_fixture.h"
#include "tests/core/file_fixtures.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track/track_fixtures.h"

#include "app/graphics_settings.h"
#include "app/race_screens.h"
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

TEST(Scene, ProjectionTangentsAndGuards)
{
    track_lighting.near_plane = 0.5f;
    track_lighting.far_plane = 1000.0f;
    const double t90 = tan(M_PI / 4);
    struct Case {
        const char *name;
        float width, height, fov;
        double tx, ty;
    } cases[] = {
        {"exactly 4:3: the horizontal angle", 640, 480, 90, t90, 0.75 * t90},
        {"16:9 keeps the vertical extent of 4:3", 1280, 720, 90, 16.0 / 9 * 0.75 * t90, 0.75 * t90},
        {"square", 100, 100, 90, t90, t90},
        {"tall", 100, 200, 60, tan(M_PI / 6), 2 * tan(M_PI / 6)},
        {"field of view held at 179", 640, 480, 1000, tan(179 * M_PI / 360), 0.75 * tan(179 * M_PI / 360)},
        {"field of view held at 1", 640, 480, -5, tan(M_PI / 360), 0.75 * tan(M_PI / 360)},
        {"no height: one pixel", 640, 0, 90, 640 * 0.75 * t90, 0.75 * t90},
        {"sizes not numbers: one pixel each", NAN, NAN, 90, t90, t90},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_projection(c.width, c.height, c.fov);
        EXPECT_NEAR(view_half_width, c.tx, 1e-5 * c.tx);
        EXPECT_NEAR(view_half_height, c.ty, 1e-5 * c.ty);
    }
    // A field of view that is not a number takes the setting.
    double saved = fov_slider.value;
    fov_slider.value = 60.0;
    set_projection(100, 100, NAN);
    EXPECT_NEAR(view_half_width, tan(M_PI / 6), 1e-6);
    fov_slider.value = saved;
}

namespace {

void place(BikeState *bike, double x, double z)
{
    dBodySetPosition(bike->frame_body, x, 2.0, z);
}

}  // namespace

TEST_F(BikeWorld, GhostFadesAndDrawModes)
{
    for (int slot : {0, 1, 2})
        ASSERT_NE(create_bike("cr125", slot, 1, "1", nullptr, nullptr, nullptr, nullptr), nullptr);
    double saved_distance = ghost_fade_slider.value;
    int saved_hide = hide_rider_list.selected;
    ghost_fade_slider.value = 10.0f;
    struct Case {
        const char *name;
        int kinds[3];
        double distance;   // of slot 1 from slot 0
        int online;
        int states;        // slot 1 has received states around the current tic
        float fade;        // of slot 1
    } cases[] = {
        {"replayed, within half the distance", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 3.0, 0, 1, 0.0f},
        {"replayed, between", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 7.5, 0, 1, 0.5f},
        {"replayed, far enough", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 12.0, 0, 1, 1.0f},
        {"replayed without states, by distance", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 12.0, 0, 0, 1.0f},
        {"a robot never fades", {RIDER_LOCAL, RIDER_ROBOT, RIDER_ROBOT}, 1.0, 0, 0, 1.0f},
        {"no local rider: no fading", {RIDER_ROBOT, RIDER_REMOTE, RIDER_ROBOT}, 1.0, 0, 1, 1.0f},
        {"no local rider, no states: hidden", {RIDER_ROBOT, RIDER_REMOTE, RIDER_ROBOT}, 12.0, 0, 0, 0.0f},
        {"online: no fading", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 1.0, 1, 1, 1.0f},
        {"online, no states: hidden", {RIDER_LOCAL, RIDER_REMOTE, RIDER_ROBOT}, 12.0, 1, 0, 0.0f},
    };
    current_tic = 1000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (int slot = 0; slot < 3; slot++)
            rider_kind[slot] = c.kinds[slot];
        net_socket = c.online ? 7 : -1;
        clear_state_history();
        if (c.states) {
            uint8_t state[PACKED_STATE_SIZE] = {};
            add_state_to_history(1, state, current_tic - 4);
            add_state_to_history(1, state, current_tic + 4);
            last_state_tic[1] = current_tic;
        }
        place(bike_slots[0], 100, 100);
        place(bike_slots[1], 100 + c.distance * 0.6, 100 + c.distance * 0.8);
        place(bike_slots[2], 100, 101);
        float fades[BIKE_SLOT_COUNT];
        int modes[BIKE_SLOT_COUNT];
        compute_rider_fades(-1, fades, modes);
        EXPECT_NEAR(fades[1], c.fade, 1e-6);
        EXPECT_EQ(fades[0], 1.0f);
        EXPECT_EQ(fades[2], 1.0f);
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            ASSERT_EQ(modes[slot], BIKE_DRAW_OTHER);
    }
    net_socket = -1;

    // A fade distance of 0 (the slider allows it) draws the ghost whole.
    rider_kind[0] = RIDER_LOCAL;
    rider_kind[1] = RIDER_REMOTE;
    place(bike_slots[1], 100, 100);
    ghost_fade_slider.value = 0.0f;
    float fades[BIKE_SLOT_COUNT];
    int modes[BIKE_SLOT_COUNT];
    compute_rider_fades(1, fades, modes);
    EXPECT_EQ(fades[1], 1.0f);

    // The viewed slot's mode follows "Hide 1st Person Rider"; every other rider is mode 0.
    for (int hide : {0, 1}) {
        hide_rider_list.selected = hide;
        compute_rider_fades(2, fades, modes);
        EXPECT_EQ(modes[2], hide ? BIKE_DRAW_VIEWED_HIDDEN : BIKE_DRAW_VIEWED);
        EXPECT_EQ(modes[0], BIKE_DRAW_OTHER);
        EXPECT_EQ(modes[1], BIKE_DRAW_OTHER);
    }
    ghost_fade_slider.value = saved_distance;
    hide_rider_list.selected = saved_hide;
}

namespace {

const uint8_t GRASS[3] = {40, 160, 40};
const uint8_t SKY[4] = {60, 120, 230, 255};

// Hills of about 30 ft over a 512 ft field, with bumps; no slope is
// steep enough to hide ground behind it from the test's cameras.
int hills(int column, int row)
{
    double h = 0.5 + 0.3 * sin(column * 0.045) * cos(row * 0.037) + 0.06 * sin(column * 0.21 + row * 0.13) +
               0.01 * sin(column * 0.9 - row * 0.7);
    return (int)(h * 65535.0);
}

class SceneFrames : public testing::Test {
protected:
    GameWindow *window = nullptr;
    Terrain terrain{};
    GLuint sky = 0;

    void SetUp() override
    {
        window = open_test_gl_window(192, 128);
        ASSERT_NE(window, nullptr);
        ground_texture_size_setting = 64;
        track_lighting = TrackLighting{};
        track_lighting.near_plane = 0.5f;
        track_lighting.far_plane = 3000.0f;
        TrackFixture fixture;
        fixture.sample = hills;
        fixture.max = 40.0f;
        fixture.tileinfo = "name grass\ntexture @grass.png\naddtile\n";
        fixture.write();
        write_file(track_dir(fixture.folder) + "shadingx2.ppm", shading_bytes(FIXTURE_SIDE, 128));
        write_file(test_data_dir() + "grass.png",
                   png_bytes(16, 16, 4, flat_pixels(16, 16, 4, {GRASS[0], GRASS[1], GRASS[2], 255})));
        ASSERT_EQ(load_terrain(&terrain, "@tracks/test", 1), 1);
        current_terrain = &terrain;
        std::vector<uint8_t> blue(16 * 16 * 4);
        for (size_t i = 0; i < blue.size(); i++)
            blue[i] = SKY[i % 4];
        glGenTextures(1, &sky);
        glBindTexture(GL_TEXTURE_2D, sky);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, blue.data());
        for (int i = SKY_N; i <= SKY_U; i++)
            sky_textures[i] = (int)sky;
    }

    void TearDown() override
    {
        current_terrain = nullptr;
        free_terrain(&terrain);
        glDeleteTextures(1, &sky);
        memset(sky_textures, 0, sizeof sky_textures);
        fog_settings.density = 0.0f;
        render_fugly = 0;
        close_test_gl_window(window);
    }

    // A camera at (x, y, z) looking along yaw and pitch, in a window of
    // width x height.
    void frame(const float *eye, float pitch, float yaw, int width, int height, float *rotation)
    {
        window_width = width;
        window_height = height;
        camera_matrix_from_angles(rotation, pitch, yaw);
        glClearColor(0.5f, 0.0f, 0.5f, 1.0f);
        render_scene(eye, rotation, 80.0f, -1);
    }

    std::vector<float> depths(int width, int height)
    {
        std::vector<float> out((size_t)width * height);
        glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, out.data());
        return out;
    }

    std::vector<uint8_t> colours(int width, int height)
    {
        std::vector<uint8_t> out((size_t)width * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, out.data());
        return out;
    }

    // The whole field, every cell two triangles, with the scene's matrices.
    void draw_whole_field(const float *eye, const float *rotation, int width, int height)
    {
        glClear(GL_DEPTH_BUFFER_BIT);
        set_projection((float)width, (float)height, 80.0f);
        const float view[16] = {rotation[0], rotation[1], rotation[2], 0, rotation[3], rotation[4], rotation[5], 0,
                                rotation[6], rotation[7], rotation[8], 0, 0, 0, 0, 1};
        glLoadMatrixf(view);
        glTranslatef(-eye[0], -eye[1], -eye[2]);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask(GL_TRUE);
        int side = terrain.side;
        auto vertex = [&](int c, int r) { glVertex3f(c * terrain.cell, terrain.heights[r * side + c], r * terrain.cell); };
        // Each cell split along the diagonal the terrain's fans use.
        glBegin(GL_TRIANGLES);
        for (int r = 0; r + 1 < side; r++)
            for (int c = 0; c + 1 < side; c++) {
                if (((c ^ r) & 1) == 0) {
                    vertex(c, r);
                    vertex(c + 1, r);
                    vertex(c + 1, r + 1);
                    vertex(c, r);
                    vertex(c + 1, r + 1);
                    vertex(c, r + 1);
                } else {
                    vertex(c, r);
                    vertex(c + 1, r);
                    vertex(c, r + 1);
                    vertex(c + 1, r);
                    vertex(c + 1, r + 1);
                    vertex(c, r + 1);
                }
            }
        glEnd();
    }
};

// Eye-space distance of a depth-buffer value.
double linear_depth(float d)
{
    double n = track_lighting.near_plane, f = track_lighting.far_plane;
    return n * f / (f - d * (f - n));
}

}  // namespace

TEST_F(SceneFrames, TerrainAtItsDetailMatchesTheWholeField)
{
    struct Case {
        const char *name;
        int width, height;
        float eye[3];
        float pitch, yaw;
    } cases[] = {
        {"4:3 over the hills", 160, 120, {200, 70, 60}, -0.25f, 0.3f},
        {"16:9 low along the field", 192, 108, {20, 45, 250}, -0.1f, 1.4f},
        {"4:3 from outside the field", 160, 120, {-30, 50, -30}, -0.3f, 0.78f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        float rotation[9];
        frame(c.eye, c.pitch, c.yaw, c.width, c.height, rotation);
        std::vector<float> lod = depths(c.width, c.height);
        draw_whole_field(c.eye, rotation, c.width, c.height);
        std::vector<float> whole = depths(c.width, c.height);
        // A pixel agrees when the whole field shows ground within 3% of its
        // distance there or at a neighbouring pixel (a silhouette moved by
        // the allowed error moves by a pixel), or sky where it shows sky.
        auto agrees = [&](int x, int y) {
            float d = lod[(size_t)y * c.width + x];
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    int u = x + dx, v = y + dy;
                    if (u < 0 || v < 0 || u >= c.width || v >= c.height)
                        continue;
                    float w = whole[(size_t)v * c.width + u];
                    if (!(d < 1.0f) && !(w < 1.0f))
                        return true;
                    if (d < 1.0f && w < 1.0f && fabs(linear_depth(d) - linear_depth(w)) <= 0.03 * linear_depth(w))
                        return true;
                }
            return false;
        };
        int ground = 0, off = 0;
        for (int y = 0; y < c.height; y++)
            for (int x = 0; x < c.width; x++) {
                size_t i = (size_t)y * c.width + x;
                if (!(lod[i] < 1.0f) && !(whole[i] < 1.0f))
                    continue;
                ground++;
                off += !agrees(x, y);
            }
        EXPECT_GT(ground, (int)lod.size() / 5);
        EXPECT_LE(off, ground / 100) << off << " of " << ground;
    }
}

TEST_F(SceneFrames, FarPlaneAtTheNearPlaneStillMakesAFrustum)
{
    // The lighting file may set both planes alike; GL refuses such a frustum.
    track_lighting.near_plane = track_lighting.far_plane = 0.5f;
    while (glGetError() != GL_NO_ERROR) {
    }
    set_projection(160, 120, 80.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (float v : projection)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_NE(projection[10], 0.0f);
}

TEST_F(SceneFrames, SkyOrClearedBufferWithFugly)
{
    const float eye[3] = {256, 80, 20};
    float rotation[9];
    for (int fugly : {0, 1}) {
        SCOPED_TRACE(fugly);
        render_fugly = fugly;
        // Fill the buffer first: "--fugly" must clear it, the sky cover it.
        glClearColor(1, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        frame(eye, 0.1f, 0.0f, 160, 120, rotation);
        std::vector<uint8_t> pixels = colours(160, 120);
        const uint8_t cleared[3] = {128, 0, 128};
        int sky = 0, blank = 0;
        for (int x = 0; x < 160; x++) {
            const uint8_t *p = &pixels[((size_t)119 * 160 + x) * 3];   // the top row
            sky += near_colour(p, SKY, 3);
            blank += near_colour(p, cleared, 3);
        }
        EXPECT_EQ(sky, fugly ? 0 : 160);
        EXPECT_EQ(blank, fugly ? 160 : 0);
        // The ground below is drawn either way.
        int ground = 0;
        for (int x = 0; x < 160; x++)
            ground += near_colour(&pixels[((size_t)2 * 160 + x) * 3], GRASS, 4);
        EXPECT_EQ(ground, 160);
    }
}

TEST_F(SceneFrames, FogOnlyWithADensity)
{
    const float eye[3] = {30, 60, 30};
    float rotation[9];
    fog_settings.colour[0] = 1.0f;
    fog_settings.colour[1] = fog_settings.colour[2] = 0.0f;
    for (float density : {0.0f, 0.01f}) {
        SCOPED_TRACE(density);
        fog_settings.density = density;
        apply_fog();
        frame(eye, -0.3f, 0.78f, 160, 120, rotation);
        EXPECT_FALSE(glIsEnabled(GL_FOG));
        std::vector<uint8_t> pixels = colours(160, 120);
        std::vector<float> depth = depths(160, 120);
        int ground = 0, plain = 0, reddened = 0;
        for (size_t i = 0; i < depth.size(); i++) {
            if (!(depth[i] < 1.0f))
                continue;
            ground++;
            plain += near_colour(&pixels[i * 3], GRASS, 4);
            reddened += pixels[i * 3] > GRASS[0] + 40;
        }
        ASSERT_GT(ground, 5000);
        if (density == 0.0f) {
            EXPECT_EQ(plain, ground);
        } else {
            EXPECT_GT(reddened, ground / 2);
        }
    }
}
