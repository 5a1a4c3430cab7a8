// Fuzz target "script_text": the input as the "frills.js" of a fixture track
// loaded once per process (grid exponent 7, two start-gate pieces, a statue
// with a collision shape and two without, two billboards): the script is
// loaded, its tic hook called 8 times and its frame hook twice, and it is
// unloaded, with short budgets and a small heap cap. After each input the
// script heaps hold no byte and every statue and billboard is finite (else
// the target stops); the objects are then put back as the track loaded them.
#include "fuzz/fuzz_target.h"

#include "race/race_control.h"
#include "race/race_state.h"
#include "script/script_samples.h"
#include "script/script_vm.h"
#include "script/track_script.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const FOLDER = "fuzz/scripted";

std::vector<Statue> statues_as_loaded;
std::vector<Billboard> billboards_as_loaded;

void write_fixture_track(void)
{
    const int side = 257;
    std::string heights = "7 2.0 0.0 16.0\n:";
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            int v = ((column * 131) ^ (row * 71)) & 4095;
            heights += (char)(v & 0xff);
            heights += (char)(v >> 8);
        }
    std::string dir = std::string(FOLDER) + "/";
    write_data_file(dir + "terrain.hf", heights);
    write_data_file(dir + "shadingx2.ppm", "P6\n257 257\n255\n" + std::string((size_t)side * side * 3, (char)64));
    write_data_file(dir + "tileinfo", "name a\naddtile\nname b\naddtile\n");
    std::string tiles;
    for (int i = 0; i < 128 * 128; i++)
        tiles += (char)(i % 2);
    write_data_file(dir + "tilemap", tiles);
    write_data_file(dir + "timing_gates", "startinggate:\n[ 60 0 40 ] 0\n[ 66 0 40 ] 0\n"
                                          "checkpoints:\n20 [ 60 0 100 ] [ 0 0 1 ]\n20 [ 120 0 160 ] [ 1 0 0 ]\n"
                                          "firstlap:\n0 1\nnormallap:\n0 1\n");
    write_data_file(dir + "statues", "[ 100 0.5 200 ] 0.3 null null @fuzz/box.shp\n"
                                     "[ 110 0 200 ] 0 null null null\n"
                                     "[ 120 0 200 ] 0 null null null\n");
    write_data_file(dir + "billboards", "[ 100 1 220 ] 2 3 @fuzz/tile.png\n[ 110 1 220 ] 2 3 @fuzz/tile.png\n");
}

// 1 once the track is in memory; it stays for the process.
int fixture_track(void)
{
    static int loaded = -1;
    if (loaded >= 0)
        return loaded;
    write_fixture_track();
    set_track_folder(FOLDER);
    loaded = load_track();
    for (int i = 0; i < statue_table.count; i++)
        statues_as_loaded.push_back(*get_statue(i));
    for (int i = 0; i < billboard_table.count; i++)
        billboards_as_loaded.push_back(*get_billboard(i));
    return loaded;
}

int finite(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

int objects_finite(void)
{
    for (int i = 0; i < statue_table.count; i++) {
        const Statue *s = get_statue(i);
        const float position[6] = {s->x, s->y, s->z, s->height_offset, s->yaw, s->yaw_power};
        int n = s->pose_count;
        if (!finite(position, 6) || !finite(s->orientation, 9) ||
            (n > 0 && (!finite(s->pose_centres, 3 * n) || !finite(s->pose_offsets, 3 * n) ||
                       !finite(s->pose_rotations, 9 * n))))
            return 0;
    }
    for (int i = 0; i < billboard_table.count; i++) {
        const Billboard *b = get_billboard(i);
        const float values[5] = {b->x, b->y, b->z, b->width, b->height};
        if (!finite(values, 5))
            return 0;
    }
    return 1;
}

void put_objects_back(void)
{
    for (int i = 0; i < statue_table.count && i < (int)statues_as_loaded.size(); i++) {
        Statue *s = get_statue(i);
        checked_free(s->pose_centres);
        checked_free(s->pose_offsets);
        checked_free(s->pose_rotations);
        *s = statues_as_loaded[i];
    }
    for (int i = 0; i < billboard_table.count && i < (int)billboards_as_loaded.size(); i++)
        *get_billboard(i) = billboards_as_loaded[i];
    current_terrain->change_state = 0;
}

int run(const uint8_t *data, size_t size)
{
    if (!fixture_track())
        return 0;
    write_data_file(std::string(FOLDER) + "/frills.js", data, size);
    script_load_budget_ms = 100;
    script_hook_budget_ms = 10;
    script_heap_cap = 8 << 20;
    hook_base_tic = 0;
    current_tic = 0;
    std::string path = "@" + std::string(FOLDER) + "/frills.js";
    load_track_script(path.c_str());
    for (int i = 0; i < 8; i++) {
        call_tic_handler();
        current_tic++;
    }
    call_frame_handler();
    call_frame_handler();
    unload_track_script();
    if (script_heap_bytes != 0) {
        fprintf(stderr, "script_text: %lld bytes of script heap left after unloading\n", script_heap_bytes);
        abort();
    }
    if (!objects_finite()) {
        fprintf(stderr, "script_text: a statue or billboard holds a number that is not finite\n");
        abort();
    }
    put_objects_back();
    reset_reader_state();
    return 0;
}

void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"every-function", EVERY_FUNCTION_SCRIPT});
    seeds->push_back({"syntax-error", "var x = ;\nkz.tic_handler = function () {};\n"});
    seeds->push_back({"looping-load", LOOPING_LOAD_SCRIPT});
    int n = 0;
    for (const char *script : LOOPING_HOOK_SCRIPTS)
        seeds->push_back({"looping-hook-" + std::to_string(n++), script});
    n = 0;
    for (const HookPathScript &script : HOOK_PATH_SCRIPTS)
        seeds->push_back({"hook-path-" + std::to_string(n++), script.text});
    seeds->push_back({"looping-to-string", LOOPING_TO_STRING_SCRIPT});
    seeds->push_back({"throwing-to-string", THROWING_TO_STRING_SCRIPT});
    seeds->push_back({"hoarding", HOARDING_SCRIPT});
    n = 0;
    for (const char *script : REGEXP_SCRIPTS)
        seeds->push_back({"regexp-" + std::to_string(n++), script});
    n = 0;
    for (const char *script : RECURSION_SCRIPTS)
        seeds->push_back({"recursion-" + std::to_string(n++), script});
    seeds->push_back({"sorting", SORTING_SCRIPT});
    seeds->push_back({"long-string", LONG_STRING_SCRIPT});
    seeds->push_back({"finalizer-in-hook", FINALIZER_IN_HOOK_SCRIPT});
    seeds->push_back({"finalizers-held", FINALIZERS_HELD_SCRIPT});
    seeds->push_back({"message-flood", MESSAGE_FLOOD_SCRIPT});
    seeds->push_back({"outside-paths", OUTSIDE_PATHS_SCRIPT});
}

}  // namespace

RUT_FUZZ_TARGET(script_text, run, make_seeds);
