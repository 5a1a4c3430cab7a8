// The race scene over the generated default track: a camera flying along
// the timing gates 8 ft above the ground with 20 riders strung out ahead
// of it, drawn at 1280x720 (fps and triangles per frame); draw_terrain alone;
// and the ground compositor in texels per second, the software one with
// the plain and the SSE2 kernels against the GPU render modes 2 and 3.
// Needs an X display (xvfb-run) and the generated game data (the gamedata
// target, or RUTLINE_GAMEDATA naming its folder).
#include "app/default_data.h"
#include "bench_folder.h"
#include "bike/bike_create.h"
#include "bike/bike_pose.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "core/file.h"
#include "platform/window.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/ground_compositor.h"
#include "render/ground_textures.h"
#include "render/model_draw.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "render/terrain_mesh.h"
#include "render/track_objects.h"
#include "app/track_settings.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

const int WIDTH = 1280, HEIGHT = 720, RIDERS = 20;

GameWindow *window;
int shaders_built;
std::string data_folder;

// The folder of the generated data, or empty when there is none.
std::string find_game_data()
{
    std::string root = generated_data_root();
    return root.empty() ? root : root + "/data";
}

bool open_window(benchmark::State &state)
{
    if (data_folder.empty()) {
        state.SkipWithError("no generated game data: build the gamedata target or set RUTLINE_GAMEDATA");
        return false;
    }
    if (!window) {
        setenv("KZ_HOME", data_folder.c_str(), 1);
        window = open_gl_window("Rutline bench", WIDTH, HEIGHT, 24, 8, 16, 0, 0);
        if (window) {
            load_gl_extensions();
            load_fonts();
            shaders_built = build_shader_programs();
        }
    }
    if (!window) {
        state.SkipWithError("no OpenGL window (is there a display?)");
        return false;
    }
    window_width = WIDTH;
    window_height = HEIGHT;
    return true;
}

// The settings of a run: render mode, ground texture size and shaders
// (for the models, and for the ground where the track's lighting is
// dynamic).
struct SceneSettings {
    int mode;
    int texture_size;
    int shaders;
};

// A race of 20 riders on the default track with these settings.
bool start_race(benchmark::State &state, const SceneSettings &settings)
{
    terrain_texture_mode_setting = settings.mode;
    ground_texture_size_setting = settings.texture_size;
    ground_shaders_setting = settings.shaders;
    shader_programs_available = settings.shaders && shaders_built;
    // The fresh game's detail: ground texture levels 9 (the window levels
    // from 1), model geometric detail 50.
    ground_detail_limit = 1;
    lod_scale = 1.0f;
    lod_bias = 0.0f;
    HeadlessRace race{};
    race.track = DEFAULT_TRACK_FOLDER;
    race.slot_codes[0] = SLOT_PLAYER;
    for (int slot = 1; slot < RIDERS; slot++)
        race.slot_codes[slot] = SLOT_ROBOT;
    race.laps = 3;
    if (!start_headless_race(&race) || !current_terrain || timing_gate_count < 2) {
        state.SkipWithError("the default track did not load");
        return false;
    }
    return true;
}

void end_bench_race()
{
    end_race();
    free_track();
    for (BikeState &bike : bike_states)
        free_bike(&bike);
}

// A point of the camera path: along the timing gates in order, s in gates.
void path_point(double s, double *out)
{
    int n = timing_gate_count;
    double wrapped = fmod(s, (double)n);
    if (wrapped < 0)
        wrapped += n;
    int i = (int)wrapped;
    double f = wrapped - i;
    const TimingGate *a = &timing_gates[i], *b = &timing_gates[(i + 1) % n];
    out[0] = a->x + (b->x - a->x) * f;
    out[2] = a->z + (b->z - a->z) * f;
    out[1] = sample_ground_height(current_terrain, (float)out[0], (float)out[2]);
}

// The camera at s: 8 ft over the path, looking at the path a fifth of a
// gate ahead, slightly down.
void path_camera(double s, float *eye, float *rotation)
{
    double here[3], ahead[3];
    path_point(s, here);
    path_point(s + 0.2, ahead);
    eye[0] = (float)here[0];
    eye[1] = (float)here[1] + 8.0f;
    eye[2] = (float)here[2];
    double dx = ahead[0] - here[0], dz = ahead[2] - here[2];
    camera_matrix_from_angles(rotation, -0.12f, (float)atan2(dx, dz));
}

// The riders in five rows of four strung out ahead of the camera, the
// first row a tenth of a gate ahead, the last nearly a gate.
void place_pack(double s)
{
    int k = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT && k < RIDERS; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        double row = k / 4, column = k % 4;
        double p[3], q[3];
        path_point(s + 0.1 + 0.2 * row, p);
        path_point(s + 0.11 + 0.2 * row, q);
        double dx = q[0] - p[0], dz = q[2] - p[2], length = sqrt(dx * dx + dz * dz);
        double side = (column - 1.5) * 5.0;
        if (length > 0) {
            p[0] += dz / length * side;
            p[2] -= dx / length * side;
        }
        double ground = sample_ground_height(current_terrain, (float)p[0], (float)p[2]);
        const dReal *frame = dBodyGetPosition(bike->frame_body);
        move_bike_bodies(bike, (float)(p[0] - frame[0]), (float)(ground + 2.2 - frame[1]), (float)(p[2] - frame[2]));
        k++;
    }
}

// Settings 0: the fresh game ("Software" at 64x64, shader programs on for
// the models); 1: "Shaders/Direct" (mode 3); 2 and 3: modes 1 and 3
// without shader programs.
void race_scene(benchmark::State &state)
{
    if (!open_window(state))
        return;
    const SceneSettings settings[] = {{1, 64, 1}, {3, 64, 1}, {1, 64, 0}, {3, 64, 0}};
    if (!start_race(state, settings[state.range(0)]))
        return;
    double s = 0.0;
    long frames = 0, ground = 0, models = 0, billboards = 0;
    // Warm up: the first frames composite every base block.
    for (int i = 0; i < 8; i++) {
        float eye[3], rotation[9];
        path_camera(s, eye, rotation);
        render_scene(eye, rotation, 80.0f, -1);
    }
    // Untimed: the riders' share of the model triangles at the first stop.
    {
        float eye[3], rotation[9];
        path_camera(0.02, eye, rotation);
        place_pack(0.02);
        render_scene(eye, rotation, 80.0f, -1);
        int with_riders = model_polygon_count;
        BikeState *kept[BIKE_SLOT_COUNT];
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
            kept[slot] = bike_slots[slot];
            bike_slots[slot] = nullptr;
        }
        render_scene(eye, rotation, 80.0f, -1);
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            bike_slots[slot] = kept[slot];
        state.counters["rider_models"] = with_riders - model_polygon_count;
    }
    glFinish();
    for (auto _ : state) {
        float eye[3], rotation[9];
        s += 0.02;
        path_camera(s, eye, rotation);
        place_pack(s);
        begin_frame(window);
        render_scene(eye, rotation, 80.0f, -1);
        glFinish();
        end_frame(window);
        frames++;
        ground += current_terrain->ground_vertex_count;
        models += model_polygon_count;
        billboards += 2L * billboard_count;
    }
    state.counters["fps"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
    state.counters["triangles"] = (double)(ground + models + billboards) / (double)frames;
    state.counters["ground"] = (double)ground / frames;
    state.counters["models"] = (double)models / frames;
    state.counters["billboards"] = (double)billboards / frames;
    end_bench_race();
}
BENCHMARK(race_scene)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

// draw_terrain alone along the same path (fresh-game settings).
void terrain_only(benchmark::State &state)
{
    if (!open_window(state))
        return;
    if (!start_race(state, SceneSettings{1, 64, 1}))
        return;
    double s = 0.0;
    long frames = 0, ground = 0;
    for (int i = 0; i < 8; i++) {
        float eye[3], rotation[9];
        path_camera(s, eye, rotation);
        render_scene(eye, rotation, 80.0f, -1);
    }
    for (auto _ : state) {
        float eye[3], rotation[9];
        s += 0.02;
        path_camera(s, eye, rotation);
        set_projection(WIDTH, HEIGHT, 80.0f);
        const float view[16] = {rotation[0], rotation[1], rotation[2], 0, rotation[3], rotation[4], rotation[5], 0,
                                rotation[6], rotation[7], rotation[8], 0, 0, 0, 0, 1};
        glLoadMatrixf(view);
        glTranslatef(-eye[0], -eye[1], -eye[2]);
        const float direction[3] = {-rotation[2], -rotation[5], -rotation[8]};
        set_terrain_camera(current_terrain, eye, direction);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_ALWAYS);
        draw_terrain(current_terrain);
        glFinish();
        frames++;
        ground += current_terrain->ground_vertex_count;
    }
    state.counters["fps"] = benchmark::Counter((double)frames, benchmark::Counter::kIsRate);
    state.counters["ground"] = (double)ground / frames;
    end_bench_race();
}
BENCHMARK(terrain_only)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every base block composited in one update: render mode 1 with the plain
// loops (0) or the SSE2 kernels (1), mode 2 (2) and mode 3 (3); texels/s.
void ground_compositing(benchmark::State &state)
{
    if (!open_window(state))
        return;
    int which = (int)state.range(0);
    int mode = which <= 1 ? 1 : which;
    if (!start_race(state, SceneSettings{mode, 128, 0}))
        return;
    Terrain *terrain = current_terrain;
    if (terrain->texture_mode != mode) {
        state.SkipWithError("the driver did not grant the render mode");
        end_bench_race();
        return;
    }
    if (which == 0)
        has_mmx = 0;
    else
        detect_mmx();
    // The windows filled first, so that an update composites the blocks only.
    const float eye[3] = {terrain->extent / 2, 50, terrain->extent / 2}, down[3] = {0, -1, 0};
    set_terrain_camera(terrain, eye, down);
    for (int i = 0; i < 40; i++)
        update_ground_textures(terrain);
    int blocks = terrain_block_count(terrain);
    long texels = 0;
    for (auto _ : state) {
        for (int i = 0; i < blocks * blocks; i++)
            terrain->block_stamps[i] = -1;
        update_ground_textures(terrain);
        glFinish();
        texels += (long)blocks * blocks * terrain->texture_size * terrain->texture_size;
    }
    state.counters["texels"] = benchmark::Counter((double)texels, benchmark::Counter::kIsRate);
    state.counters["blocks"] = (double)blocks * blocks;
    end_bench_race();
}
BENCHMARK(ground_compositing)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    data_folder = find_game_data();
    const char *threads = getenv("LP_NUM_THREADS");
    benchmark::AddCustomContext("LP_NUM_THREADS", threads ? threads : "(unset)");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (window) {
        free_fonts();
        close_gl_window(window);
    }
    destroy_physics_world();
    return 0;
}
