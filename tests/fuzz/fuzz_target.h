// The fuzz targets: one record per reader family (its one-input entry and
// the seeds made from the test fixtures), the table they register in, and
// the helpers they share for writing inputs as game files and putting the
// process-wide state back after each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FuzzSeed {
    std::string name;
    std::string bytes;
};

struct FuzzTarget {
    const char *name;
    // Feeds one input through the reader's own entry point and frees
    // everything it made; always returns 0.
    int (*run)(const uint8_t *data, size_t size);
    // Good inputs of the reader, from the fixtures the tests write.
    void (*make_seeds)(std::vector<FuzzSeed> *seeds);
};

struct FuzzTargetRegistration {
    FuzzTargetRegistration(const FuzzTarget &target);
};

#define RUT_FUZZ_TARGET(name, run, make_seeds) \
    static FuzzTargetRegistration fuzz_registration_##name({#name, run, make_seeds})

// Every registered target (one in a fuzz program, all in the replay test).
const std::vector<FuzzTarget> &fuzz_targets();
const FuzzTarget *find_fuzz_target(const char *name);

// The game data folder (KZ_HOME) with its trailing '/'; game path "@x" finds
// fuzz_data_folder() + "x".
std::string fuzz_data_folder();
// Writes bytes to a file under the game data folder (parents made).
bool write_data_file(const std::string &relative, const void *data, size_t size);
bool write_data_file(const std::string &relative, const std::string &bytes);
void remove_data_file(const std::string &relative);
// Removes a folder under the game data folder with everything in it.
void remove_data_folder(const std::string &relative);
std::string read_data_file(const std::string &relative);

// How an input reaches its reader as a game file.
enum InputForm {
    INPUT_PLAIN,         // the bytes as the file
    INPUT_RAW_GZIP,      // the bytes as the file's ".gz" variant (damaged gzip)
    INPUT_GZIPPED,       // the bytes compressed into the ".gz" variant
    INPUT_FORMS,
};
// Writes the input as relative (or its ".gz" variant) and removes the other.
void place_input(const std::string &relative, const uint8_t *data, size_t size, int form);

// gzip-compressed bytes (one standard member).
std::string fuzz_gzip(const std::string &bytes);

// Frees what the readers cache across inputs (images, shapes, textures,
// models, the file index) and empties the message line. Without a GL
// context every texture is id 0.
void reset_reader_state(void);

// A small tile image, decal image and collision shape under the game data,
// so names in the inputs can find real files ("@fuzz/tile.png",
// "@fuzz/decal.ppm", "@fuzz/box.shp", "@fuzz/model.jm").
void write_stand_in_files(void);

struct Terrain;
// A terrain of 257 x 257 samples held in memory (cells of 2 ft, a gentle
// slope, one default tile with erosion limits): what the drains and the
// object readers stand on. Its arrays are made once and put back to their
// starting values by each make_small_terrain; free_small_terrain frees what
// a reader added (decals).
void make_small_terrain(Terrain *terrain);
void free_small_terrain(Terrain *terrain);

// The input split at the first byte: a selector and the rest.
struct FuzzSplit {
    int selector;
    const uint8_t *data;
    size_t size;
};
FuzzSplit split_selector(const uint8_t *data, size_t size);
// A NUL-terminated copy of the input (for readers that take text).
std::string input_text(const uint8_t *data, size_t size);
