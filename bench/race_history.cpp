// The state history: inserts of rising tics into every slot, inserts of
// older states that move the newer entries up, the pair search of a tic,
// and the blend of two packed states.
#include "race/history.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

static void fill_state(uint8_t *state, std::mt19937 &random)
{
    for (int i = 0; i < PACKED_STATE_SIZE; i++)
        state[i] = (uint8_t)random();
}

// One state for each of the 160 slots per iteration, 4 tics apart, as
// demo recording and playback add them.
static void history_insert_rising(benchmark::State &state)
{
    std::mt19937 random(1);
    uint8_t packed[PACKED_STATE_SIZE];
    fill_state(packed, random);
    clear_state_history();
    int tic = 0;
    for (auto _ : state) {
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            add_state_to_history(slot, packed, tic);
        tic += 4;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed((int64_t)state.iterations() * BIKE_SLOT_COUNT);
}
BENCHMARK(history_insert_rising);

// Each iteration a new head, then an older state that goes in about N + 1
// entries below it (N = 1 or 32): the newer entries move up one place each.
static void history_insert_older(benchmark::State &state)
{
    int depth = (int)state.range(0);
    std::mt19937 random(2);
    uint8_t packed[PACKED_STATE_SIZE];
    fill_state(packed, random);
    clear_state_history();
    int tic = 1000;
    for (auto _ : state) {
        tic += 4;
        add_state_to_history(0, packed, tic);
        add_state_to_history(0, packed, tic - 4 * depth - 2);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 2);
}
BENCHMARK(history_insert_older)->Arg(1)->Arg(32);

// The pair around a tic in a full ring: at the head, and 100 entries back.
static void history_find_pair(benchmark::State &state)
{
    int back = (int)state.range(0);
    std::mt19937 random(3);
    uint8_t packed[PACKED_STATE_SIZE];
    fill_state(packed, random);
    clear_state_history();
    for (int i = 0; i < HISTORY_LENGTH; i++)
        add_state_to_history(0, packed, 4 * i);
    int target = 4 * (HISTORY_LENGTH - 1 - back) + 2;
    int older = 0, newer = 0;
    for (auto _ : state) {
        find_history_pair(0, target, &older, &newer);
        benchmark::DoNotOptimize(older);
        benchmark::DoNotOptimize(newer);
    }
    state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(history_find_pair)->Arg(0)->Arg(100);

static void interpolate_states(benchmark::State &state)
{
    std::mt19937 random(4);
    uint8_t from[64][PACKED_STATE_SIZE], to[64][PACKED_STATE_SIZE], out[PACKED_STATE_SIZE];
    for (int i = 0; i < 64; i++) {
        fill_state(from[i], random);
        fill_state(to[i], random);
    }
    int i = 0;
    float t = 0.25f;
    for (auto _ : state) {
        interpolate_state(out, from[i], to[i], t);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & 63;
        t = t < 1.5f ? t + 0.125f : 0.125f;
    }
    state.SetItemsProcessed((int64_t)state.iterations());
}
BENCHMARK(interpolate_states);

BENCHMARK_MAIN();
