// Fuzz target "archive": a ".saf" archive in the game data, the file index
// built over it, and every member opened and read through the index.
#include "fuzz/fuzz_target.h"

#include "core/file.h"

#include <string>

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    place_input("fuzz.saf", input.data, input.size, INPUT_PLAIN);
    const char *const *names = build_file_index();
    for (int i = 0; names && names[i]; i++) {
        char description[300];
        describe_index_entry(i, description, 1 + input.selector);
        std::string path = std::string("@") + names[i];
        GameFile *file = file_open(path.c_str(), "rb");
        if (!file)
            continue;
        unsigned char block[512];
        while (file_read(file, block, sizeof block) > 0) {
        }
        file_close(file);
    }
    index_contains("fuzz/tile.png");
    reset_reader_state();
    return 0;
}

// "<size> <name>\n" per member, "-\n", then the data.
static std::string make_archive(const std::vector<std::pair<std::string, std::string>> &members)
{
    std::string header, body;
    for (const auto &[name, bytes] : members) {
        header += std::to_string(bytes.size()) + " " + name + "\n";
        body += bytes;
    }
    return header + "-\n" + body;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"two", std::string(1, '\x40') + make_archive({{"a.txt", "alpha"}, {"dir/b.bin", "bravo!"}})});
    seeds->push_back({"gzip-member", std::string(1, '\x10') + make_archive({{"tracks/t/statues.gz", fuzz_gzip("[ 1 2 3 ] 0 null null null\n")},
                                                                             {"Tracks/T/desc", "Archived"}})});
    seeds->push_back({"empty-member", std::string(1, '\x08') + make_archive({{"empty", ""}, {"x", "1"}})});
    seeds->push_back({"no-members", std::string(1, '\x01') + make_archive({})});
}

RUT_FUZZ_TARGET(archive, run, make_seeds);
