// Fuzz target "timing": the track folder's "timing_gates" file (starting
// gate, checkpoints, lap lists) and its "flaggers" file, read over a small
// terrain into the gate, statue, billboard and flagger tables.
#include "fuzz/fuzz_target.h"

#include "race/lap_pool.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"

static void free_tables(void)
{
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_growable_array(&statue_table);
    free_billboard_names();
    free_growable_array(&billboard_table);
    free_growable_array(&billboard_draw_slots);
    free_growable_array(&flagger_list);
    free_lap_pool();
    start_gate_count = 0;
    timing_gate_count = 0;
    lap_gate_list.first_lap_count = lap_gate_list.normal_lap_count = 0;
    lap_gate_list.first_lap_timing = lap_gate_list.normal_lap_timing = 0;
}

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int flaggers = input.selector & 1;
    place_input("fuzz/timing", input.data, input.size, input.selector & 2 ? INPUT_GZIPPED : INPUT_PLAIN);
    static Terrain terrain;
    make_small_terrain(&terrain);
    current_terrain = &terrain;
    init_growable_array(&statue_table, sizeof(Statue));
    init_growable_array(&billboard_table, sizeof(Billboard));
    init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    init_growable_array(&flagger_list, sizeof(Flagger));
    if (flaggers)
        read_flaggers("@fuzz/timing");
    else
        read_timing_gates("@fuzz/timing");
    free_tables();
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    std::string checkpoints = "checkpoints:\n"
                              "10 [ 1 2 3 ] [ 0 0 1 ]\n"
                              "12 [ 4 5 6 ] [ 1 0 0 ]\n"
                              "14 [ 7 8 9 ] [ 0 0 -1 ]\n";
    seeds->push_back({"gates", std::string(1, '\0') + "startinggate:\n[ 10 0 20 ] 0.5 @fuzz/model.jm @fuzz/tile.png @fuzz/box.shp\n"
                                                      "[ 12 0 20 ] 0.5\n\n" + checkpoints +
                                                      "firstlap: 0 1 2 normallap: 0 1 2\n"});
    seeds->push_back({"gates-blank", std::string(1, '\0') + "startinggate:\n[ 10 0 20 ] 0\n\ncheckpoints:\n"
                                                            "10 [ 1 2 3 ] [ 0 0 1 ]\nfirstlap: 0 0 0 normallap: 0 0 0\n"});
    seeds->push_back({"gates-lists", std::string(1, '\2') + checkpoints + "firstlap: 0 1 100002 2 normallap: 5 -1 2\n"});
    std::string part_a = "[ 1 2 3 ] [ 4 5 6 ] 2 3 0.5\n@fuzz/tile.png @fuzz/decal.ppm a b c\n";
    std::string part_b = "[ 7 8 9 ] 1 1\n@fuzz/decal.ppm x y z\n";
    std::string flaggers = "[ 20 0 30 ] 2 2 -7 1 5 -1 @fuzz/tile.png @fuzz/decal.ppm\n"
                           "[ 21 0 31 ] 2 2 0 0 0 0 @fuzz/decal.ppm\n";
    seeds->push_back({"flaggers", std::string(1, '\1') + part_a + part_b + flaggers});
    seeds->push_back({"flaggers-bad", std::string(1, '\3') + "[ 1 2 3 ] [ 4 5 6 ] 2 3 1e999\n@fuzz/tile.png a b c d\n"});
}

RUT_FUZZ_TARGET(timing, run, make_seeds);
