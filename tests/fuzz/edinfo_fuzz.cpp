// Fuzz target "edinfo": the editor's gradient file read on a small terrain
// with the editor set up, every gradient's curves evaluated, a gradient
// brush run with each, then written, read back and written again: the two
// writes must be equal and every curve value finite.
#include "fuzz/fuzz_target.h"

#include "app/widgets.h"
#include "core/file.h"
#include "editor/editor.h"
#include "render/overlay.h"
#include "track/terrain.h"
#include "track/track.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

static const char FOLDER[] = "fuzz/edtrack";

static std::string write_gradients(void)
{
    GameFile *file = file_open((fuzz_data_folder() + "fuzz/edtrack/written").c_str(), "wb");
    if (!file)
        abort();
    write_edinfo_to(file);
    file_close(file);
    return read_data_file("fuzz/edtrack/written");
}

static void check_finite(float value)
{
    if (!std::isfinite(value))
        abort();
}

// Memory for two undo levels of the small terrain: set-up touches every
// level's pages, and fewer levels keep an input fast.
static unsigned long long two_levels_of_memory(void)
{
    return 4ull << 20;
}

static int run(const uint8_t *data, size_t size)
{
    set_physical_memory_query(two_levels_of_memory);
    static Terrain terrain;
    static uint8_t *shading;
    make_small_terrain(&terrain);
    terrain.texture_mode = 0;
    size_t samples = (size_t)terrain.side * terrain.side;
    if (!shading)
        shading = (uint8_t *)checked_calloc(samples * 3, 1);
    terrain.shading = shading;
    current_terrain = &terrain;
    set_track_folder(FOLDER);
    write_data_file("fuzz/edtrack/edinfo", data, size);
    window_width = window_height = 256;
    cursor_x = cursor_y = 128;
    radius_slider.value = 8.0;   // a brush of 8 ft at a foot per pixel
    read_edinfo(nullptr, &terrain);
    EditorState *s = editor_state;
    if (s) {
        for (int i = 0; i < s->gradients.count; i++) {
            s->selected_gradient = i;
            const Gradient *g = get_gradient(i);
            for (int k = -1; k <= g->points.count; k++) {
                check_finite(gradient_slope_at_point(k));
                check_finite(gradient_hermite(k, 0.5f));
                if (const GradientPoint *p = gradient_point(g, k))
                    check_finite(gradient_height_at(p->distance + 0.5f));
            }
            check_finite(linear_gradient_height(g->end_x, g->start_z));
            check_finite(radial_gradient_height(g->start_x - 3.0f, g->end_z));
            // The brush is centred on the gradient's start.
            s->tool = TOOL_LINEAR_PAINT + i % 4;
            s->anchor_x = s->anchor_z = -1.0f;
            s->centre_x = fminf(fmaxf(g->start_x, -1e6f), 1e6f);
            s->centre_z = fminf(fmaxf(g->start_z, -1e6f), 1e6f);
            apply_brush();
        }
        for (size_t i = 0; i < samples; i++)
            check_finite(terrain.heights[i]);
        std::string first = write_gradients();
        free_editor_data();
        write_data_file("fuzz/edtrack/edinfo", first);
        read_edinfo(nullptr, &terrain);
        if (!editor_state || write_gradients() != first)
            abort();
    }
    free_editor_data();
    set_physical_memory_query(nullptr);
    set_track_folder(nullptr);
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"two-gradients", "add_gradient 10 20 60 20\nadd_point 0 0 0\nadd_point 1 12.5 -3.75\n"
                                       "add_point 0 50 4\nadd_gradient 300 300 300 350\nadd_point 1 0 1\n"});
    seeds->push_back({"edge-cases", "add_point 0 5 5\nadd_gradient 5 5 5 5\nadd_point 2 0 1\nadd_point 1 0 2\n"
                                    "add_point 0 nan 3\nadd_gradient 0 0 inf 0\n  add_point 1 -4 1e6\n"});
    seeds->push_back({"long-line", "add_gradient 1 1 9 9\nadd_point 0 1 1" + std::string(1200, ' ') + "\n"});
}

RUT_FUZZ_TARGET(edinfo, run, make_seeds);
