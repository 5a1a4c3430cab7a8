// The game-data generator: the whole run (every picture, model, shape,
// sound, both tracks and every racing line ridden, the archive and the
// manifest) into a temporary folder, with the racing lines ridden (and
// the robots' check raced) in six processes at once, every skill of both
// tracks, as the build does; reported with the size of the packed archive
// and of the loose files.
#include "bench_folder.h"

#include "tools/datagen/datagen.h"

#include <benchmark/benchmark.h>

#include <ftw.h>
#include <string>
#include <sys/stat.h>

namespace {

long long folder_bytes = 0;

int add_file_size(const char *, const struct stat *status, int type, struct FTW *)
{
    if (type == FTW_F)
        folder_bytes += status->st_size;
    return 0;
}

void datagen_whole_run(benchmark::State &state)
{
    std::string dir = make_bench_folder();
    if (dir.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string output = dir + "/gamedata";
    for (auto _ : state) {
        DatagenOptions options;
        default_datagen_options(&options);
        options.output = output.c_str();
        options.lines = (int)state.range(0);
        options.jobs = 6;
        if (!run_datagen(&options)) {
            state.SkipWithError("the generator failed");
            break;
        }
    }
    struct stat archive;
    if (stat((output + "/" + DATAGEN_ARCHIVE).c_str(), &archive) == 0)
        state.counters["packed_MB"] = (double)archive.st_size / 1e6;
    folder_bytes = 0;
    nftw((output + "/" + DATAGEN_DATA_FOLDER).c_str(), add_file_size, 16, FTW_PHYS);
    state.counters["loose_MB"] = (double)folder_bytes / 1e6;
    remove_bench_folder(dir);
}

}  // namespace

// 0: no racing lines; 2: every track's lines.
BENCHMARK(datagen_whole_run)->Arg(LINES_NONE)->Arg(LINES_ALL)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
