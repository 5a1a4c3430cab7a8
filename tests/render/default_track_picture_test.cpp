// The generated default track as the first track camera shows it at the
// start of a race of 20 riders, checked loosely: sky above the ground, the
// riding surface distinct from the grass beside it, the bikes at the gate
// in view. The picture is written into the build tree for a person to
// look at (pictures/default_track.png beside the generated data).
#include "app/default_data.h"
#include "bike/bike_create.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "datagen/gamedata_fixture.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "support/render_fixtures.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int WIDTH = 320, HEIGHT = 240, RIDERS = 20;

struct Frame {
    std::vector<uint8_t> rgb;
    std::vector<float> depth;
};

Frame read_frame()
{
    Frame f;
    f.rgb.resize((size_t)WIDTH * HEIGHT * 3);
    f.depth.resize((size_t)WIDTH * HEIGHT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, f.rgb.data());
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_DEPTH_COMPONENT, GL_FLOAT, f.depth.data());
    return f;
}

// The ground point under a pixel, from its depth and the camera.
bool unproject(const Frame &f, int x, int y, const float *eye, const float *rotation, double *out)
{
    float d = f.depth[(size_t)y * WIDTH + x];
    if (!(d < 1.0f))
        return false;
    double n = track_lighting.near_plane, far = track_lighting.far_plane;
    double ndc = 2.0 * d - 1.0;
    double distance = 2.0 * n * far / (far + n - ndc * (far - n));   // along the view axis
    double sx = ((x + 0.5) / WIDTH * 2 - 1) * view_half_width;
    double sy = ((y + 0.5) / HEIGHT * 2 - 1) * view_half_height;
    // Camera coordinates (sx, sy, -1) times the distance, into the world.
    for (int i = 0; i < 3; i++)
        out[i] = eye[i] + distance * (rotation[3 * i] * sx + rotation[3 * i + 1] * sy - rotation[3 * i + 2]);
    return true;
}

void write_picture(const std::string &path, const Frame &f)
{
    std::vector<uint8_t> top_first(f.rgb.size());
    for (int y = 0; y < HEIGHT; y++)
        memcpy(&top_first[(size_t)y * WIDTH * 3], &f.rgb[(size_t)(HEIGHT - 1 - y) * WIDTH * 3], WIDTH * 3);
    std::string bytes = png_bytes(WIDTH, HEIGHT, 3, top_first);
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

}  // namespace

TEST(DefaultTrackPicture, SkyTrackGrassAndBikesAtTheGate)
{
    std::string data = gamedata_dir();
    struct stat info;
    if (data.empty() || stat((data + "/manifest.txt").c_str(), &info) != 0)
        GTEST_SKIP() << "No generated game data (RUTLINE_GAMEDATA): build the gamedata target first";
    use_game_data(data + "/data");
    GameWindow *window = open_test_gl_window(WIDTH, HEIGHT);
    ASSERT_NE(window, nullptr);
    window_width = WIDTH;
    window_height = HEIGHT;
    load_fonts();

    HeadlessRace race{};
    race.track = DEFAULT_TRACK_FOLDER;
    race.slot_codes[0] = SLOT_PLAYER;
    for (int slot = 1; slot < RIDERS; slot++)
        race.slot_codes[slot] = SLOT_ROBOT;
    race.laps = 3;
    ASSERT_EQ(start_headless_race(&race), 1);
    ASSERT_NE(current_terrain, nullptr);
    ASSERT_GT(track_cameras.count, 0);
    int bikes = 0;
    double gate[3] = {0, 0, 0};
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (BikeState *bike = get_slot_bike(slot)) {
            const dReal *p = dBodyGetPosition(bike->frame_body);
            for (int i = 0; i < 3; i++)
                gate[i] += p[i];
            bikes++;
        }
    ASSERT_EQ(bikes, RIDERS);
    for (double &g : gate)
        g /= bikes;

    // The first track camera, turned toward the riders at the gate as the
    // shell turns it toward the followed rider.
    TrackCamera *camera = (TrackCamera *)track_cameras.data;
    double dx = gate[0] - camera->x, dy = gate[1] - camera->y, dz = gate[2] - camera->z;
    camera->yaw = (float)atan2(dx, dz);
    camera->pitch = (float)atan2(dy, sqrt(dx * dx + dz * dz));
    camera_index = 0;
    // Frames enough for the camera windows of ground textures to fill.
    for (int i = 0; i < 24; i++)
        draw_keycam_view();
    Frame with_bikes = read_frame();
    const float eye[3] = {camera->x, camera->y, camera->z};
    float rotation[9];
    camera_matrix_from_angles(rotation, camera->pitch, camera->yaw);

    std::string folder = data + "/../pictures";
    mkdir(folder.c_str(), 0755);
    write_picture(folder + "/default_track.png", with_bikes);

    // Sky above the ground: the top rows are mostly open sky (nothing
    // drawn), the bottom rows ground.
    int top_sky = 0, bottom_sky = 0;
    for (int x = 0; x < WIDTH; x++) {
        top_sky += !(with_bikes.depth[(size_t)(HEIGHT - 1) * WIDTH + x] < 1.0f);
        bottom_sky += !(with_bikes.depth[x] < 1.0f);
    }
    EXPECT_GT(top_sky, WIDTH / 2);
    EXPECT_EQ(bottom_sky, 0);

    // The riding surface and the grass beside it, told apart by the tile
    // under each ground pixel, differ in colour.
    double track_sum[3] = {0, 0, 0}, grass_sum[3] = {0, 0, 0};
    int track_pixels = 0, grass_pixels = 0;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            double p[3];
            if (!unproject(with_bikes, x, y, eye, rotation, p))
                continue;
            // Only bare ground: the ground height there, not an object over it.
            if (fabs(p[1] - sample_ground_height(current_terrain, (float)p[0], (float)p[2])) > 0.5)
                continue;
            std::string name = terrain_tile_at(current_terrain, (float)p[0], (float)p[2])->name;
            const uint8_t *c = &with_bikes.rgb[((size_t)y * WIDTH + x) * 3];
            bool grass = name.rfind("grass", 0) == 0 && name.rfind("grass-dirt", 0) != 0;
            bool track = name.rfind("dirt", 0) == 0 || name.rfind("hardpack", 0) == 0;
            for (int i = 0; i < 3; i++) {
                grass_sum[i] += grass ? c[i] : 0;
                track_sum[i] += track ? c[i] : 0;
            }
            grass_pixels += grass;
            track_pixels += track;
        }
    ASSERT_GT(track_pixels, WIDTH * HEIGHT / 50);
    ASSERT_GT(grass_pixels, WIDTH * HEIGHT / 50);
    double difference = 0;
    for (int i = 0; i < 3; i++) {
        double d = track_sum[i] / track_pixels - grass_sum[i] / grass_pixels;
        difference += d * d;
    }
    EXPECT_GT(sqrt(difference), 20.0);

    // The bikes: the same frame without them differs around the gate.
    BikeState *hidden[BIKE_SLOT_COUNT];
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        hidden[slot] = bike_slots[slot];
        bike_slots[slot] = nullptr;
    }
    draw_keycam_view();
    Frame without = read_frame();
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        bike_slots[slot] = hidden[slot];
    // The gate's centre on the screen.
    double v[3] = {gate[0] - eye[0], gate[1] - eye[1], gate[2] - eye[2]}, c[3];
    for (int k = 0; k < 3; k++)
        c[k] = v[0] * rotation[k] + v[1] * rotation[3 + k] + v[2] * rotation[6 + k];
    ASSERT_LT(c[2], 0.0);
    double gate_x = (-c[0] / c[2] / view_half_width + 1) / 2 * WIDTH;
    double gate_y = (-c[1] / c[2] / view_half_height + 1) / 2 * HEIGHT;
    int changed = 0;
    double mean_x = 0, mean_y = 0;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            size_t i = (size_t)y * WIDTH + x;
            if (with_bikes.depth[i] == without.depth[i])
                continue;
            changed++;
            mean_x += x;
            mean_y += y;
        }
    ASSERT_GT(changed, 80);
    EXPECT_NEAR(mean_x / changed, gate_x, WIDTH / 10.0);
    EXPECT_NEAR(mean_y / changed, gate_y, HEIGHT / 10.0);

    camera_index = -1;
    end_race();
    free_track();
    free_track_catalogue();
    for (BikeState &bike : bike_states)
        free_bike(&bike);
    destroy_physics_world();
    free_fonts();
    close_test_gl_window(window);
}
