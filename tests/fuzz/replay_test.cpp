// The fuzz targets in the ordinary sanitizer build: every target's seeds and
// every input kept under tests/fuzz/regressions/<target>/ go through the
// target's entry point (any sanitizer report or leak fails the case), each
// within a time limit far above what a sound reader needs.
#include "fuzz/fuzz_target.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

// Generous for a loaded machine under the sanitizers: the slowest seeds
// (a whole terrain load) take a tenth of it.
const double INPUT_SECONDS_MAX = 3.0;

std::string regression_folder(const std::string &target)
{
    const char *source = getenv("RUTLINE_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/fuzz/regressions/" + target;
}

// The files of a folder (none when it does not exist), sorted.
std::vector<std::string> folder_entries(const std::string &folder, bool folders)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name[0] == '.')
            continue;
        bool is_folder = entry->d_type == DT_DIR;
        if (is_folder == folders)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> target_names()
{
    std::vector<std::string> names;
    for (const FuzzTarget &target : fuzz_targets())
        names.push_back(target.name);
    return names;
}

double replay(const FuzzTarget *target, const std::string &bytes)
{
    auto start = std::chrono::steady_clock::now();
    target->run((const uint8_t *)bytes.data(), bytes.size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class FuzzReplay : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(FuzzReplay, SeedsAndRegressionInputs)
{
    const FuzzTarget *target = find_fuzz_target(GetParam().c_str());
    ASSERT_NE(target, nullptr);
    write_stand_in_files();
    std::vector<FuzzSeed> seeds;
    target->make_seeds(&seeds);
    reset_reader_state();
    EXPECT_GE(seeds.size(), 2u) << "every target starts from good inputs of its reader";
    for (const FuzzSeed &seed : seeds)
        EXPECT_LT(replay(target, seed.bytes), INPUT_SECONDS_MAX) << "seed " << seed.name;
    std::string folder = regression_folder(target->name);
    for (const std::string &name : folder_entries(folder, false)) {
        std::string bytes;
        ASSERT_TRUE(read_file(folder + "/" + name, &bytes)) << name;
        EXPECT_LT(replay(target, bytes), INPUT_SECONDS_MAX) << "regression input " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(target_names()),
                         [](const testing::TestParamInfo<std::string> &info) { return info.param; });

TEST(FuzzRegressions, EveryFolderNamesATarget)
{
    for (const std::string &name : folder_entries(regression_folder(""), true))
        EXPECT_NE(find_fuzz_target(name.c_str()), nullptr) << "tests/fuzz/regressions/" << name;
}
