// The cost of an empty frame bracket: begin_frame then end_frame (which
// swaps the buffers) on an OpenGL window. Needs an X display (xvfb-run).
#include "platform/window.h"

#include <benchmark/benchmark.h>

static void frame_begin_end(benchmark::State &state)
{
    int width = (int)state.range(0), height = width * 3 / 4;
    GameWindow *window = open_gl_window("Rutline bench", width, height, 24, 0, 16, 0, 0);
    if (!window) {
        state.SkipWithError("no OpenGL window (is there a display?)");
        return;
    }
    for (auto _ : state) {
        FrameSize *frame = begin_frame(window);
        benchmark::DoNotOptimize(frame);
        end_frame(window);
    }
    close_gl_window(window);
}
BENCHMARK(frame_begin_end)->Arg(320)->Arg(1024)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
