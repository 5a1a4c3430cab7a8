// Terrain: loading a track's terrain with a grid exponent of 10 (2049 x 2049
// samples) from the raw body and from terrain.png, height sampling, digging,
// the level-of-detail error pass and the erosion drain.
#include "race/race_state.h"
#include "render/image.h"
#include "track/erosion.h"
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static const int EXPONENT = 10;
static const int SIDE = (2 << EXPONENT) + 1;
static std::string data_dir;

// A fixture file written whole, else the program ends: the benchmark would
// measure something else.
static void write_bytes(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    bool written = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!(f && fclose(f) == 0 && written)) {
        perror(path.c_str());
        exit(1);
    }
}

static int sample_value(int column, int row)
{
    return (int)(32767.5 + 20000.0 * sin(column * 0.01) * cos(row * 0.013) + 500.0 * sin(column * 0.1 + row * 0.07));
}

// Two track folders: "bench/raw" with the samples after the header and
// "bench/png" with the header alone and terrain.png beside it.
static void write_tracks(void)
{
    for (const char *folder : {"/bench", "/bench/raw", "/bench/png"})
        mkdir((data_dir + folder).c_str(), 0755);
    std::string body = std::to_string(EXPONENT) + " 1.0 -40.0 60.0\n:";
    std::vector<uint16_t> samples((size_t)SIDE * SIDE);
    for (int row = 0; row < SIDE; row++)
        for (int column = 0; column < SIDE; column++) {
            int v = sample_value(column, row);
            samples[(size_t)row * SIDE + column] = (uint16_t)v;
            body += (char)(v & 255);
            body += (char)(v >> 8);
        }
    std::string shading = "P6\n" + std::to_string(SIDE) + " " + std::to_string(SIDE) + "\n255\n" +
                          std::string((size_t)SIDE * SIDE * 3, (char)90);
    std::string tilemap((size_t)(1 << EXPONENT) * (1 << EXPONENT), '\0');
    for (const char *folder : {"/bench/raw/", "/bench/png/"}) {
        write_bytes(data_dir + folder + "shadingx2.ppm", shading);
        write_bytes(data_dir + folder + "tileinfo", "name dirt\naddtile\n");
        write_bytes(data_dir + folder + "tilemap", tilemap);
    }
    write_bytes(data_dir + "/bench/raw/terrain.hf", body);
    write_bytes(data_dir + "/bench/png/terrain.hf", std::to_string(EXPONENT) + " 1.0 -40.0 60.0\n");
    if (!write_png_gray16("@bench/png/terrain.png", samples.data(), SIDE, SIDE)) {
        fprintf(stderr, "Can't write @bench/png/terrain.png\n");
        exit(1);
    }
}

static void load_terrain_from(benchmark::State &state, const char *folder)
{
    Terrain terrain{};
    for (auto _ : state) {
        if (!load_terrain(&terrain, folder, 1))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(terrain.heights);
        free_terrain(&terrain);
    }
}

static void terrain_load_raw(benchmark::State &state)
{
    load_terrain_from(state, "@bench/raw");
}
BENCHMARK(terrain_load_raw)->Unit(benchmark::kMillisecond);

static void terrain_load_png(benchmark::State &state)
{
    load_terrain_from(state, "@bench/png");
}
BENCHMARK(terrain_load_png)->Unit(benchmark::kMillisecond);

static Terrain *loaded_terrain(void)
{
    static Terrain terrain{};
    if (!terrain.heights)
        load_terrain(&terrain, "@bench/raw", 1);
    current_terrain = &terrain;
    return &terrain;
}

// The whole level-of-detail error pass over the loaded terrain (its arrays
// already touched), started over by a change of the counter.
static void terrain_lod_error_pass(benchmark::State &state)
{
    Terrain *terrain = loaded_terrain();
    for (auto _ : state) {
        terrain->change_counter++;
        if (!run_lod_error_pass(terrain, 2147483647))
            state.SkipWithError("the pass did not finish");
    }
}
BENCHMARK(terrain_lod_error_pass)->Unit(benchmark::kMillisecond);

static void sample_ground_height_random(benchmark::State &state)
{
    Terrain *terrain = loaded_terrain();
    std::vector<float> points(2 * 4096);
    unsigned seed = 12345;
    for (float &p : points) {
        seed = seed * 1103515245 + 12345;
        p = (float)(seed >> 8) / (float)(1 << 24) * terrain->extent;
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sample_ground_height(terrain, points[i], points[i + 1]));
        i = (i + 2) & (points.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(sample_ground_height_random);

static void terrain_dig_radius(benchmark::State &state)
{
    Terrain *terrain = loaded_terrain();
    float radius = (float)state.range(0);
    float x = 500.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_dig(terrain, x, 700.0f, radius, -0.001f));
        x = x < 1500.0f ? x + 0.37f : 500.0f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(terrain_dig_radius)->Arg(2)->Arg(4);

// A 64-point rut queued and drained per iteration (every point dug), each
// message on fresh ground of a 32 x 32 grid of places, with a light erosion
// amount so that the ruts stay within the slope limits.
static void erosion_drain_message(benchmark::State &state)
{
    loaded_terrain();
    std::vector<std::vector<uint8_t>> messages;
    for (int i = 0; i < 1024; i++) {
        ErosionRecord record{};
        record.step_bounds[0] = record.step_bounds[1] = -0.5f;
        record.step_bounds[2] = record.step_bounds[3] = 1.5f;
        float x0 = 100.0f + (i % 32) * 58.0f, z0 = 100.0f + (i / 32) * 58.0f;
        for (int k = 0; k < EROSION_POINTS; k++)
            record.points[k] = {x0 + k * 0.7f, z0 + k * 0.3f, 0.9f, 0.4f, 8};
        record.point_count = EROSION_POINTS;
        std::vector<uint8_t> message(EROSION_MESSAGE_MAX);
        message.resize(encode_erosion_record(message.data(), &record));
        messages.push_back(message);
    }
    reset_erosion_queue();
    size_t next = 0;
    int digs_before = current_terrain->change_counter;
    for (auto _ : state) {
        const std::vector<uint8_t> &message = messages[next];
        next = (next + 1) % messages.size();
        queue_erosion_message(message.data(), (int)message.size());
        while (erosion_queue.count > 0)
            drain_erosion_queue(nullptr, 16.0f);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["digs_per_message"] =
        (double)(current_terrain->change_counter - digs_before) / (double)state.iterations();
}
BENCHMARK(erosion_drain_message)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    char templ[] = "/tmp/rutline-bench-XXXXXX";
    if (!mkdtemp(templ))
        return 2;
    data_dir = templ;
    mkdir((data_dir + "/xdg").c_str(), 0755);
    setenv("KZ_HOME", data_dir.c_str(), 1);
    setenv("XDG_DATA_HOME", (data_dir + "/xdg").c_str(), 1);
    write_tracks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string command = "rm -rf " + data_dir;
    return system(command.c_str()) == 0 ? 0 : 1;
}
