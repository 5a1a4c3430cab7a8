// Racing lines: the auto pilot's pick (the cheapest chains over the next 8
// rows), the analysis of the whole pool at a race reset, the pruning of a
// crowded row and the racing-line file read back, over a full pool in
// which every candidate joins every candidate of the next row.
#include "bench_folder.h"

#include "app/player_settings.h"
#include "core/alloc.h"
#include "race/lap_pool.h"
#include "race/racing_lines.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const int FIRST_ROWS = 6, LAP_ROWS = 10;
const int N = LAP_POOL_CANDIDATES;
const double RADIUS = 800.0;   // ft: the loop the sections lie on
const int SAMPLES = 31;        // one per degree of a 30 degree section (about 7 s)

uint32_t seed = 12345;
uint32_t next_random(void)
{
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

// Row r covers 30 degrees of the loop: normal-lap rows from 0 degrees on,
// first-lap rows the half circle before it. Each candidate keeps its own
// lateral offset (within 1.2 ft, so all join), and candidates of the first
// row also weave across each other.
void fill_candidate(LapCandidate *c, int row, int weave)
{
    double start = row >= FIRST_ROWS ? (row - FIRST_ROWS) * 30.0 : 180.0 + row * 30.0;
    double offset = (double)(next_random() % 2400) / 1000.0 - 1.2;
    double phase = (double)(next_random() % 628) / 100.0;
    checked_free(c->samples);
    c->samples = (LineSample *)xmalloc(SAMPLES * sizeof(LineSample));
    c->count = SAMPLES;
    for (int k = 0; k < SAMPLES; k++) {
        double r = RADIUS + offset;
        if (weave && k > 2 && k < SAMPLES - 3)
            r += 6.0 * sin(phase + k * 0.4);
        double a = (start + k) * M_PI / 180.0;
        c->samples[k] = {(float)(r * cos(a)), 0.0f, (float)(r * sin(a)),
                         60.0f + (float)(next_random() % 100) / 10.0f, 0.0f};
    }
    c->runs = 5 + (int)(next_random() % 20);
    c->penalties = (int)(next_random() % 4);
    c->section_sum = c->runs * (900 + (int)(next_random() % 100));
    c->pair_sum = 2 * c->section_sum;
    c->section_time = c->section_sum / c->runs;
    c->pair_time = c->pair_sum / c->runs;
    c->serial = ++lap_serial_counter;
}

void make_full_pool(int weave_first_row)
{
    create_lap_pool(FIRST_ROWS, LAP_ROWS);
    for (int row = 0; row < FIRST_ROWS + LAP_ROWS; row++)
        for (int i = 0; i < N; i++)
            fill_candidate(&lap_pool_row(row)[i], row, weave_first_row && row == 0);
}

void racing_line_pick(benchmark::State &state)
{
    make_full_pool(0);
    std::vector<uint8_t> back(8 * N * N);
    std::vector<int> costs(N * N);
    int row = 0;
    for (auto _ : state) {
        line_costs_ahead(back.data(), costs.data(), row, 8, (int)state.range(0));
        benchmark::DoNotOptimize(costs.data());
        row = (row + 1) % (FIRST_ROWS + LAP_ROWS);
    }
    free_lap_pool();
}
BENCHMARK(racing_line_pick)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond);

void racing_line_analysis(benchmark::State &state)
{
    make_full_pool(0);
    for (auto _ : state) {
        analyse_racing_lines();
        benchmark::DoNotOptimize(line_results);
    }
    free_lap_pool();
}
BENCHMARK(racing_line_analysis)->Unit(benchmark::kMillisecond);

// One crowded first-lap row of weaving lines pruned from 45 to 43, then the
// analysis; the row is refilled between iterations.
void racing_line_prune(benchmark::State &state)
{
    make_full_pool(1);
    for (auto _ : state) {
        prune_racing_lines();
        state.PauseTiming();
        for (int i = 0; i < N; i++)
            if (!lap_pool_row(0)[i].count)
                fill_candidate(&lap_pool_row(0)[i], 0, 1);
        state.ResumeTiming();
    }
    free_lap_pool();
}
BENCHMARK(racing_line_prune)->Unit(benchmark::kMillisecond);

// A hostile first row: 45 lines of the most samples a file may give, laid
// back and forth along parallel diagonals 0.1 ft apart, every segment in
// the boxes of every other line's, none crossing. The pruning stops
// when its comparisons run out.
void racing_line_prune_hostile(benchmark::State &state)
{
    create_lap_pool(FIRST_ROWS, LAP_ROWS);
    for (int i = 0; i < N; i++) {
        LapCandidate *c = &lap_pool_row(0)[i];
        c->samples = (LineSample *)xmalloc(LINE_SAMPLE_LIMIT * sizeof(LineSample));
        c->count = LINE_SAMPLE_LIMIT;
        for (int k = 0; k < LINE_SAMPLE_LIMIT; k++)
            c->samples[k] = {(float)(k % 2) * 20.0f, 0.0f, (float)(k % 2) * 20.0f + 0.1f * i, 20.0f,
                             0.0f};
    }
    for (auto _ : state)
        prune_racing_lines();
    free_lap_pool();
}
BENCHMARK(racing_line_prune_hostile)->Iterations(1)->Unit(benchmark::kMillisecond);

// The full pool written once, then read back whole (720 records of 31
// samples).
void racing_line_file_read(benchmark::State &state)
{
    std::string folder = make_bench_folder();
    set_track_folder("tracks/bench");
    learn_lines = 1;
    make_full_pool(0);
    if (!write_racing_lines("lines_expert"))
        state.SkipWithError("the line file was not written");
    for (auto _ : state) {
        state.PauseTiming();
        make_full_pool(0);
        for (int row = 0; row < FIRST_ROWS + LAP_ROWS; row++)
            for (int i = 0; i < N; i++) {
                LapCandidate *c = &lap_pool_row(row)[i];
                checked_free(c->samples);
                c->samples = nullptr;
                c->count = 0;
            }
        state.ResumeTiming();
        benchmark::DoNotOptimize(read_racing_line_file("@tracks/bench/lines_expert"));
    }
    free_lap_pool();
    set_track_folder(nullptr);
    remove_bench_folder(folder);
}
BENCHMARK(racing_line_file_read)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
