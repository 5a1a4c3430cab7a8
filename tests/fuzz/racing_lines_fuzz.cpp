// Fuzz target "racing_lines": racing-line files read into a lap pool
// through the game-file layer, then pruned and analysed as a race reset
// does.
#include "fuzz/fuzz_target.h"

#include "race/lap_pool.h"
#include "race/racing_lines.h"

#include <cstdio>

namespace {

int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    place_input("fuzz/lines", input.data, input.size, input.selector % INPUT_FORMS);
    // Pools of 2 + 2 and 3 + 4 rows: the header names one of them.
    if (input.selector & 4)
        create_lap_pool(3, 4);
    else
        create_lap_pool(2, 2);
    read_racing_line_file("@fuzz/lines");
    if (input.selector & 8)
        prune_racing_lines();
    free_lap_pool();
    reset_reader_state();
    return 0;
}

std::string candidate(int count, float x0, float z0, float speed)
{
    std::string text = " 1000000 1000000 0 1000000 1000000 0 0 0 " + std::to_string(count) + "\n";
    for (int i = 0; i < count; i++) {
        char sample[96];
        snprintf(sample, sizeof sample, "[ %g 0 %g ] %g 0.1\n", x0 + i * 7.5f, z0 + i * 0.5f,
                 speed);
        text += sample;
    }
    return text;
}

void make_seeds(std::vector<FuzzSeed> *seeds)
{
    std::string small = "ct03 4\n";
    for (int row = 0; row < 4; row++)
        small += " 2\n" + candidate(4, 30.0f * row, 0, 25) + candidate(3, 30.0f * row, 3, -20);
    seeds->push_back({"small", std::string(1, '\0') + small});
    seeds->push_back({"small_gzip_pruned", std::string(1, '\x0a') + small});
    std::string bigger = "ct03 7\n";
    for (int row = 0; row < 7; row++)
        bigger += " 1\n" + candidate(6, 40.0f * row, 1, 30);
    seeds->push_back({"bigger", std::string(1, '\x04') + bigger});
}

}  // namespace

RUT_FUZZ_TARGET(racing_lines, run, make_seeds);
