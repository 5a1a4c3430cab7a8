// Fuzz target "catalogue": track folders' "desc" files (plain or gzip) read
// by the track catalogue scan over the file index.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "track/track.h"

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    // Two tracks: the input is one's desc, the other has a fixed one.
    write_data_file("tracks/zz/terrain.hf", std::string("x"));
    write_data_file("tracks/zz/desc", std::string("Fixed name\n"));
    write_data_file("tracks/fz/terrain.hf", std::string("x"));
    place_input("tracks/fz/desc", input.data, input.size, input.selector % INPUT_FORMS);
    scan_track_catalogue();
    free_track_catalogue();
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"desc", std::string(1, '\0') + "Whole Track\n"});
    seeds->push_back({"desc-lines", std::string(1, '\0') + "beta\r\nsecond line"});
    seeds->push_back({"desc-empty-first", std::string(1, '\0') + "\nlater"});
    seeds->push_back({"desc-gzip", std::string(1, '\2') + "alpha2\n"});
    seeds->push_back({"desc-raw-gzip", std::string(1, '\1') + fuzz_gzip("Alpha")});
}

RUT_FUZZ_TARGET(catalogue, run, make_seeds);
