// Fuzz target "objects": the track folder's "statues" and "billboards"
// files, read into the object tables over a small terrain, then the object
// grid built from them.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "track/objects.h"
#include "track/terrain.h"

static void no_progress(void)
{
}

static void free_object_tables(void)
{
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_growable_array(&statue_table);
    free_billboard_names();
    free_growable_array(&billboard_table);
    free_growable_array(&billboard_draw_slots);
    free_object_grid();
}

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int billboards = input.selector & 1;
    place_input("fuzz/objects", input.data, input.size, input.selector & 2 ? INPUT_GZIPPED : INPUT_PLAIN);
    static Terrain terrain;
    make_small_terrain(&terrain);
    current_terrain = &terrain;
    init_growable_array(&statue_table, sizeof(Statue));
    init_growable_array(&billboard_table, sizeof(Billboard));
    init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    create_object_grid();
    GameFile *file = file_open("@fuzz/objects", "rb");
    if (file) {
        if (billboards)
            read_billboards(file, no_progress);
        else
            read_statues(file, no_progress);
        file_close(file);
    }
    rebuild_object_grid();
    free_object_tables();
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"statues", std::string(1, '\0') +
                                     "[ 1 0 1 ] 0 @fuzz/model.jm @fuzz/tile.png @fuzz/box.shp\n"
                                     "[ 1e999 0 1 ] 0 null null @fuzz/box.shp\n"
                                     "[ 2 0 2 ] -1e999 null null null\n"
                                     "[ 3 0 3 ] 4.5 null #ff00ff# null\n"
                                     "[ 600 0 -3 ] 0 null null null\n"
                                     "[ 4 0 4 ] x null null null\n"
                                     "[ 5 0 5 ] 0 null null null\n"});
    seeds->push_back({"statues-gzip", std::string(1, '\2') + "[ 100 0 100 ] 0 null null @fuzz/box.shp\n"});
    seeds->push_back({"billboards", std::string(1, '\1') +
                                        "[ 1 0 1 ] 1 1 @fuzz/tile.png\n"
                                        "[ 2 0 2 ] 1e999 1 @fuzz/tile.png\n"
                                        "[ 3 0 3 ] 1 1 #10203040#\n"
                                        "[ 5 0 5 ] 1 1 null\n"});
}

RUT_FUZZ_TARGET(objects, run, make_seeds);
