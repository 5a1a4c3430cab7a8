// Writes the seed corpus of every fuzz target, made from the fixtures the
// tests use: <folder>/<target>/<seed name> for each seed.
#include "fuzz/fuzz_target.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    // The seed makers write through the game's file layer: give them a
    // scratch game data folder of their own.
    std::string scratch = out + "/.scratch";
    mkdir(out.c_str(), 0755);
    mkdir(scratch.c_str(), 0755);
    mkdir((scratch + "/data").c_str(), 0755);
    mkdir((scratch + "/xdg").c_str(), 0755);
    setenv("KZ_HOME", (scratch + "/data").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch + "/xdg").c_str(), 1);
    write_stand_in_files();
    int total = 0;
    for (const FuzzTarget &target : fuzz_targets()) {
        std::string folder = out + "/" + target.name;
        mkdir(folder.c_str(), 0755);
        std::vector<FuzzSeed> seeds;
        target.make_seeds(&seeds);
        for (const FuzzSeed &seed : seeds) {
            std::string path = folder + "/" + seed.name;
            FILE *f = fopen(path.c_str(), "wb");
            if (!f || fwrite(seed.bytes.data(), 1, seed.bytes.size(), f) != seed.bytes.size()) {
                fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            fclose(f);
            total++;
        }
        reset_reader_state();
    }
    printf("%d seeds for %d targets in %s\n", total, (int)fuzz_targets().size(), out.c_str());
    return 0;
}
