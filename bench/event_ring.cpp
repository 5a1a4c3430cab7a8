// Event ring throughput: filling the ring and draining it, in stamp order and
// with every event arriving earlier than the one before.
#include "platform/event_ring.h"
#include "platform/window.h"

#include <benchmark/benchmark.h>

static void event_ring_push_pop(benchmark::State &state)
{
    bool reversed = state.range(0) != 0;
    int batch = (int)state.range(1);
    EventRing ring;
    clear_event_ring(&ring);
    int code, pressed, seconds, microseconds;
    for (auto _ : state) {
        for (int i = 0; i < batch; i++)
            push_ring_event(&ring, 0x1000 + (i & 0xff), i & 1, 100, reversed ? batch - i : i);
        while (pop_ring_event(&ring, &code, &pressed, &seconds, &microseconds))
            benchmark::DoNotOptimize(code);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * batch);
}
// (in order / reversed, events per fill)
BENCHMARK(event_ring_push_pop)->Args({0, 256})->Args({0, 16})->Args({1, 16})->Args({1, 256});

// Through the window calls: event mutex, message pump and device poll hooks.
static void window_push_next_event(benchmark::State &state)
{
    static GameWindow window;
    init_window_events(&window);
    int code, pressed;
    for (auto _ : state) {
        for (int i = 0; i < 256; i++)
            push_event(&window, 0x1000 + i, 1, 100, i);
        while (next_event(&window, &code, &pressed))
            benchmark::DoNotOptimize(code);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 256);
    free_window_events(&window);
}
BENCHMARK(window_push_next_event);

BENCHMARK_MAIN();
