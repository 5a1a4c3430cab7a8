// The renderer's assets: loading a 1024x1024 PNG texture, parsing a model of
// 20,000 triangles, drawing a skinned rider with GPU and CPU skinning,
// drawing text, and an animated texture replacing a 256x256 frame. Needs an
// X display (xvfb-run) for the OpenGL parts.
#include "bench_folder.h"

#include "core/alloc.h"
#include "platform/window.h"
#include "render/animated_texture.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/model.h"
#include "render/model_draw.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "render/texture.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::string bench_dir;
GameWindow *window;

void write_text(const std::string &relative, const std::string &text)
{
    write_bench_file(bench_dir + "/data/" + relative, text);
}

// An RGB picture with detail everywhere, written as a PNG under the home
// folder (write_png_rgb takes rows bottom first).
void write_busy_png(const char *name, int width, int height, int seed)
{
    std::vector<uint8_t> pixels((size_t)width * height * 3);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++)
                pixels[((size_t)y * width + x) * 3 + c] =
                    (uint8_t)((x * 37 + y * 91 + c * 53 + seed * 17 + ((x ^ y) & 1) * 120) & 255);
    require_written(write_png_rgb(name, pixels.data(), width, height), name);
}

// A grid of columns x rows quads as a JM text: a skinned JM2 with `bones`
// bones along x when bones > 0, else JM1.
std::string grid_model(int columns, int rows, int bones)
{
    std::string text = bones > 0 ? "JM2\n" + std::to_string(bones) + " rider\n" : "JM1\n";
    int vertices = (columns + 1) * (rows + 1), triangles = 2 * columns * rows;
    text += "8 1 1 1 1 " + std::to_string(vertices) + " " + std::to_string(triangles) + "\n";
    char line[256];
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c <= columns; c++) {
            float x = (float)c / columns, y = (float)r / rows;
            snprintf(line, sizeof line, "%f %f %f 0 0 1 %f %f", x * 2 - 1, y * 2 - 1, 0.1f * std::sin(x * 7), x, y);
            text += line;
            for (int b = 0; b < bones; b++) {
                float centre = (b + 0.5f) / bones, w = 1.0f - std::fabs(x - centre) * bones;
                snprintf(line, sizeof line, " %f", w > 0 ? w : 0.0f);
                text += line;
            }
            text += "\n";
        }
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            int a = r * (columns + 1) + c, b = a + 1, d = a + columns + 1, e = d + 1;
            snprintf(line, sizeof line, "%d %d %d %d %d %d\n", a, b, e, a, e, d);
            text += line;
        }
    return text;
}

void set_view(void)
{
    glViewport(0, 0, 256, 256);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

} // namespace

static void load_texture_png_1024(benchmark::State &state)
{
    if (!window) {
        state.SkipWithError("no OpenGL window (is there a display?)");
        return;
    }
    for (auto _ : state) {
        int id = load_texture("@busy1024.png");
        glFinish();
        if (!id) {
            state.SkipWithError("the texture did not load");
            break;
        }
        state.PauseTiming();
        free_textures(1);
        state.ResumeTiming();
    }
}
BENCHMARK(load_texture_png_1024)->Unit(benchmark::kMillisecond);

static void parse_model_20k_triangles(benchmark::State &state)
{
    for (auto _ : state) {
        Model *model = parse_model("@grid20k.jm");
        if (!model || model->triangle_count != 20000) {
            state.SkipWithError("the model did not load whole");
            break;
        }
        free_model(model);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 20000);
}
BENCHMARK(parse_model_20k_triangles)->Unit(benchmark::kMillisecond);

// Arg 1: skinned in the vertex shader; 0: skinned on the processor.
static void draw_skinned_rider(benchmark::State &state)
{
    if (!window) {
        state.SkipWithError("no OpenGL window (is there a display?)");
        return;
    }
    int gpu = (int)state.range(0);
    if (gpu && !build_shader_programs()) {
        state.SkipWithError("no shader programs");
        return;
    }
    shader_programs_available = gpu;
    Model *rider = parse_model("@rider9.jm");
    if (!rider) {
        state.SkipWithError("rider did not load");
        return;
    }
    const int bones = 9;
    float centres[3 * bones], translations[3 * bones], rotations[9 * bones];
    const float eye[3] = {0, 0, 5}, origin[3] = {0, 0, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    set_view();
    if (gpu)
        bind_shader_slot(SHADER_LIT);
    int frame = 0;
    for (auto _ : state) {
        for (int b = 0; b < bones; b++) {
            float angle = 0.1f * std::sin(0.05f * frame + b), c = std::cos(angle), s = std::sin(angle);
            float x = (b + 0.5f) / bones * 2 - 1;
            centres[3 * b] = translations[3 * b] = x;
            centres[3 * b + 1] = centres[3 * b + 2] = 0;
            translations[3 * b + 1] = 0.05f * b;
            translations[3 * b + 2] = 0;
            const float r[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
            for (int k = 0; k < 9; k++)
                rotations[9 * b + k] = r[k];
        }
        draw_model(rider, eye, origin, identity, centres, translations, rotations, bones);
        glFinish();
        frame++;
    }
    bind_shader_slot(0);
    free_model(rider);
    delete_shader_programs();
    shader_programs_available = 0;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(draw_skinned_rider)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

static void draw_text_characters(benchmark::State &state)
{
    if (!window || !text_font.texture) {
        state.SkipWithError("no font texture");
        return;
    }
    std::string text;
    for (int i = 0; i < 1000; i++)
        text += (char)('!' + i % 94);
    set_view();
    glScalef(0.01f, 0.1f, 1);
    for (auto _ : state) {
        draw_text(1, 1, 1, 1, text.c_str(), 16);
        glFinish();
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 1000);
}
BENCHMARK(draw_text_characters)->Unit(benchmark::kMicrosecond);

static void animate_texture_256(benchmark::State &state)
{
    if (!window) {
        state.SkipWithError("no OpenGL window (is there a display?)");
        return;
    }
    int id = load_texture("@frames.seq");
    if (!id) {
        state.SkipWithError("sequence did not load");
        return;
    }
    start_texture_animation(id, 0);
    int tic = 0;
    for (auto _ : state) {
        animate_textures(++tic);   // one tic a frame: a new image every call
        glFinish();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(animate_texture_256)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    bench_dir = make_bench_folder();
    if (bench_dir.empty())
        return 1;
    texture_detail = 0;
    write_text("grid20k.jm", grid_model(100, 100, 0));
    write_text("rider9.jm", grid_model(40, 40, 9));
    write_busy_png("@busy1024.png", 1024, 1024, 1);
    write_busy_png("@frame0.png", 256, 256, 2);
    write_busy_png("@frame1.png", 256, 256, 3);
    write_text("frames.seq", "ANIM1 2 2 1 1\n0 1\nPNG @frame0.png\nPNG @frame1.png\n");
    // The text font: 94 glyphs 7 wide and 12 high between marker columns.
    {
        const int gw = 7, gh = 12, count = 94, width = count * (gw + 1) + 1, height = gh + 1;
        std::vector<uint8_t> rows((size_t)width * height * 3, 255);
        auto set = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
            uint8_t *p = &rows[((size_t)(height - 1 - y) * width + x) * 3];
            p[0] = r, p[1] = g, p[2] = b;
        };
        for (int k = 0; k <= count; k++)
            set(k * (gw + 1), 0, 255, 0, 255);
        set(0, gh, 255, 0, 255);
        require_written(write_png_rgb("@font.png", rows.data(), width, height), "@font.png");
    }
    window = open_gl_window("Rutline bench", 256, 256, 24, 8, 16, 0, 0);
    if (window) {
        load_gl_extensions();
        load_fonts();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (window) {
        free_fonts();
        free_textures(1);
        close_gl_window(window);
    }
    remove_bench_folder(bench_dir);
    return 0;
}
