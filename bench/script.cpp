// Track scripts: the tic hook of a script that does nothing, of one that
// moves 100 billboards and poses a 32-bone statue every tic, and loading a
// 100 KB script (its engine, kz, the prelude and the file) and unloading it.
#include "bench_folder.h"
#include "core/file.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "script/script_vm.h"
#include "script/track_script.h"
#include "track/objects.h"
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string bench_dir;

// Ground of 257 x 257 samples in memory, cells of 2 ft, gently uneven.
struct BenchGround {
    Terrain terrain;
    std::vector<float> heights;
    BenchGround()
    {
        heights.resize(257 * 257);
        for (int i = 0; i < 257 * 257; i++)
            heights[i] = 0.01f * (float)((i * 131) % 400);
        set_bench_terrain(&terrain, heights.data());
    }
};

// One statue without a shape, 100 billboards.
void make_objects(void)
{
    init_growable_array(&statue_table, sizeof(Statue));
    init_growable_array(&billboard_table, sizeof(Billboard));
    init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    statue_file_start = billboard_file_start = 0;
    add_statue(100.0f, 0.0f, 100.0f, 0.0f, nullptr, nullptr, nullptr);
    for (int i = 0; i < 100; i++)
        add_billboard(100.0f + i, 1.0f, 200.0f, 2.0f, 3.0f, nullptr);
}

void free_objects(void)
{
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_growable_array(&statue_table);
    free_billboard_names();
    free_growable_array(&billboard_table);
    free_growable_array(&billboard_draw_slots);
}

// Loads the text as a track script; 0 (and the benchmark skipped) when it
// does not load cleanly.
int load_bench_script(benchmark::State &state, const std::string &name, const std::string &text)
{
    write_bench_file(bench_dir + "/data/" + name, text);
    std::string path = "@" + name;
    if (!load_track_script(path.c_str()) || !track_script) {
        state.SkipWithError("the script did not load");
        return 0;
    }
    return 1;
}

void run_tic_hooks(benchmark::State &state)
{
    hook_base_tic = 0;
    current_tic = 0;
    call_tic_handler();
    if (!track_script || script_vm_message(track_script)[0]) {
        state.SkipWithError(track_script ? script_vm_message(track_script) : "the script was stopped");
        return;
    }
    for (auto _ : state) {
        call_tic_handler();
        current_tic++;
    }
    if (!track_script || script_vm_message(track_script)[0])
        state.SkipWithError("the hook failed while timed");
}

}  // namespace

// The prelude's tic hook calling the empty kz.tic_handler.
static void tic_hook_empty(benchmark::State &state)
{
    if (!load_bench_script(state, "empty.js", "var nothing = 0;\n"))
        return;
    run_tic_hooks(state);
    unload_track_script();
}
BENCHMARK(tic_hook_empty)->Unit(benchmark::kMicrosecond);

// Every tic: 100 billboards moved on the ground, a 32-bone statue posed.
static void tic_hook_billboards_and_pose(benchmark::State &state)
{
    BenchGround ground;
    current_terrain = &ground.terrain;
    make_objects();
    const char *script = R"js(
var bones = 32, centres = [], offsets = [], turns = [];
for (var b = 0; b < bones; b++) {
    centres.push(0, b * 0.1, 0);
    offsets.push(0, 0, 0);
    turns.push(1, 0, 0, 0, 1, 0, 0, 0, 1);
}
kz.tic_handler = function (s) {
    for (var i = 0; i < 100; i++)
        kz.move_billboard(i, 100 + i + Math.sin(s), 1 + 0.5 * Math.cos(s + i), 200);
    for (var b = 0; b < bones; b++) {
        var a = 0.2 * Math.sin(s * 3 + b), c = Math.cos(a), d = Math.sin(a);
        offsets[3 * b + 1] = 0.1 * d;
        turns[9 * b] = c; turns[9 * b + 2] = -d; turns[9 * b + 6] = d; turns[9 * b + 8] = c;
    }
    if (!kz.pose_statue(0, bones, centres, offsets, turns))
        throw new Error('pose refused');
};
)js";
    if (load_bench_script(state, "objects.js", script))
        run_tic_hooks(state);
    unload_track_script();
    free_objects();
    current_terrain = nullptr;
}
BENCHMARK(tic_hook_billboards_and_pose)->Unit(benchmark::kMicrosecond);

// A 100 KB script of functions and data loaded and unloaded.
static void load_script_100kb(benchmark::State &state)
{
    std::string text = "var table = [];\n";
    for (int i = 0; text.size() < 100 * 1024; i++) {
        char part[400];
        snprintf(part, sizeof part,
                 "function step%d(s) { var x = %d * s + table.length; if (x > %d) return x - %d;"
                 " return [x, '%d', {k: x}]; }\n"
                 "table.push({name: 'row %d', values: [%d, %d, %d, %d], step: step%d});\n",
                 i, i, i * 7, i, i, i, i, i + 1, i + 2, i + 3, i);
        text += part;
    }
    text += "kz.tic_handler = function (s) { for (var i = 0; i < table.length; i++) table[i].step(s); };\n";
    write_bench_file(bench_dir + "/data/big.js", text);
    for (auto _ : state) {
        if (!load_track_script("@big.js") || !track_script) {
            state.SkipWithError("the script did not load");
            break;
        }
        unload_track_script();
    }
    state.counters["bytes"] = (double)text.size();
}
BENCHMARK(load_script_100kb)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    bench_dir = make_bench_folder();
    if (bench_dir.empty())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    free_file_index();
    remove_bench_folder(bench_dir);
    return 0;
}
