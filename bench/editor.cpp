// Track editor: one application of each brush and of Snap along a 100 ft
// stroke of radius 20 ft on a grid-exponent-10 terrain of 0.5 ft cells, the
// commit at the release, and Save all of a track of that size.
#include "app/widgets.h"
#include "bench_folder.h"
#include "core/file.h"
#include "editor/editor.h"
#include "render/overlay.h"
#include "track/terrain.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

static const int EXPONENT = 10;
static const int SIDE = (2 << EXPONENT) + 1;

struct BenchTerrain {
    Terrain terrain;
    std::vector<float> heights;
    std::vector<uint8_t> shading;
    uint32_t *shading_dirty = nullptr;
    uint32_t *triangle_dirty = nullptr;
    std::vector<float> normals;
    std::vector<uint8_t> tile_map;

    BenchTerrain()
    {
        memset(&terrain, 0, sizeof terrain);
        terrain.grid_exponent = EXPONENT;
        terrain.side = SIDE;
        terrain.cell = 0.5f;
        terrain.double_cell = 1.0f;
        terrain.extent = 0.5f * (float)(2 << EXPONENT);
        size_t samples = (size_t)SIDE * SIDE;
        heights.resize(2 * samples);
        for (int row = 0; row < SIDE; row++)
            for (int column = 0; column < SIDE; column++)
                heights[(size_t)row * SIDE + column] = heights[samples + (size_t)row * SIDE + column] =
                    10.0f * sinf((float)column * 0.01f) * cosf((float)row * 0.013f);
        terrain.heights = heights.data();
        terrain.loaded_heights = heights.data() + samples;
        terrain.min_height = -10.0f;
        terrain.max_height = 10.0f;
        shading.assign(samples * 3, 90);
        terrain.shading = shading.data();
        shading_dirty = allocate_terrain_bitmap((int)samples, 0);
        triangle_dirty = allocate_terrain_bitmap(terrain_triangle_count(&terrain), 1);
        terrain.shading_dirty = shading_dirty;
        terrain.triangle_dirty = triangle_dirty;
        normals.assign((size_t)terrain_triangle_count(&terrain) * 3, 0.0f);
        terrain.face_normals = normals.data();
        tile_map.assign((size_t)(1 << EXPONENT) * (1 << EXPONENT), 0);
        terrain.tile_map = tile_map.data();
        terrain.tile_count = 1;
        terrain.change_counter = 1;
    }
    ~BenchTerrain()
    {
        checked_free(shading_dirty);
        checked_free(triangle_dirty);
    }
};

// The editor over the terrain: the view 1024 pixels high at Zoom 0 (one
// foot per pixel), Radius 20, Focus 0.5, a gradient along the stroke.
static void set_up_editor(BenchTerrain *t, int tool, double strength)
{
    window_width = window_height = 1024;
    zoom_slider.value = 0.0;
    radius_slider.value = 20.0;
    focus_slider.value = 0.5;
    strength_slider.value = strength;
    read_edinfo(nullptr, &t->terrain);
    editor_new_gradient();
    Gradient *g = selected_gradient();
    g->start_x = 450.0f;
    g->end_x = 550.0f;
    g->start_z = g->end_z = 512.0f;
    editor_clear_gradient();
    gradient_point(g, 1)->height = 6.0f;
    set_editor_tool(tool);
}

// Cursor pixel of map x (the view is centred on the middle of the map).
static void cursor_at(float x, float z)
{
    cursor_x = (int)lroundf(x - 512.0f) + 512;
    cursor_y = (int)lroundf(z - 512.0f) + 512;
}

// One brush or Snap application, at the next foot of a 100 ft stroke.
static void BM_editor_application(benchmark::State &state)
{
    BenchTerrain t;
    int tool = (int)state.range(0);
    set_up_editor(&t, tool, (double)state.range(1));
    int step = 0;
    for (auto _ : state) {
        cursor_at(450.0f + (float)(step % 100), 512.0f);
        if (step % 100 == 0) {
            editor_state->anchor_x = editor_state->anchor_z = -1.0f;
            editor_state->smudge_x = 449.0f;
            editor_state->smudge_z = 512.0f;
            commit_height_edit();
        }
        if (tool == TOOL_SNAP)
            apply_snap();
        else
            apply_brush();
        step++;
    }
    free_editor_data();
}
BENCHMARK(BM_editor_application)
    ->ArgsProduct({{TOOL_RAISE, TOOL_LOWER, TOOL_SMOOTH, TOOL_SMUDGE, TOOL_SNAP, TOOL_LINEAR_PAINT, TOOL_RADIAL_ADD},
                   {3, 5}})
    ->Unit(benchmark::kMillisecond);

// The commit at the release of a 100 ft Raise stroke.
static void BM_editor_commit(benchmark::State &state)
{
    BenchTerrain t;
    set_up_editor(&t, TOOL_RAISE, 3.0);
    for (auto _ : state) {
        state.PauseTiming();
        editor_state->anchor_x = editor_state->anchor_z = -1.0f;
        for (int foot = 0; foot < 100; foot += 10) {
            cursor_at(450.0f + (float)foot, 512.0f);
            apply_brush();
        }
        state.ResumeTiming();
        commit_height_edit();
    }
    free_editor_data();
}
BENCHMARK(BM_editor_commit)->Unit(benchmark::kMillisecond);

// Save all of the grid-exponent-10 track (heights, terrain.png, both
// shading maps, tile map, the object files and edinfo) into a fresh home.
static void BM_editor_save_all(benchmark::State &state)
{
    std::string dir = make_bench_folder();
    reset_file_layer();
    BenchTerrain t;
    write_bench_file(dir + "/data/bench/edit/terrain.hf", "10 0.5 -10 10\n");
    scan_track_catalogue();
    set_track_folder("bench/edit");
    set_up_editor(&t, TOOL_RAISE, 3.0);
    for (auto _ : state)
        if (!save_all_track_files())
            state.SkipWithError("save failed");
    free_editor_data();
    set_track_folder(nullptr);
    free_track_catalogue();
    remove_bench_folder(dir);
}
BENCHMARK(BM_editor_save_all)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
