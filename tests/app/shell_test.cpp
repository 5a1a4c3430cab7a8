// The real program's start-up and shutdown as a desktop session meets
// them: SIGTERM at each start-up step in turn and at moments through the
// first seconds ends the game in order with status 0 and whole settings;
// an unknown "--track" keeps the configured track.
#include "datagen/gamedata_fixture.h"
#include "program_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace {

// Runs started together: enough to keep the time bounded, few enough for
// a machine of two cores.
enum { RUNS_AT_ONCE = 4, RUN_SECONDS = 100 };

const char *const START_UP_STEPS[] = {
    "config", "command line", "window", "file index", "stock models", "graphics lists", "tracks", "demos",
    "series", "starting track", "audio", "first frame", "input", "physics", "race",
};

struct ProgramRun {
    std::string name;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> environment;
    double signal_after;   // seconds after the log's first line; below 0: the program signals itself
};

// The keys of a settings file, or an empty set when its last line is cut.
std::set<std::string> settings_keys(const std::string &path)
{
    std::string text;
    if (!read_file(path, &text) || text.empty() || text.back() != '\n')
        return {};
    std::set<std::string> keys;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        keys.insert(line.substr(0, line.find('=')));
        start = end + 1;
    }
    return keys;
}

// Sends each run of a batch SIGTERM its delay after its log appeared (the
// first line comes right after the program's first step).
void signal_after_delays(const std::vector<ProgramRun> &runs, const std::vector<Child> &children)
{
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> appeared(runs.size());
    std::vector<bool> seen(runs.size()), sent(runs.size());
    auto start = Clock::now();
    for (size_t left = runs.size(); left > 0 && Clock::now() - start < std::chrono::seconds(RUN_SECONDS);) {
        left = 0;
        for (size_t i = 0; i < runs.size(); i++) {
            if (runs[i].signal_after < 0 || sent[i])
                continue;
            left++;
            if (!seen[i] && file_size(program_home(runs[i].name) + "lastlog.txt") > 0) {
                seen[i] = true;
                appeared[i] = Clock::now();
            }
            if (seen[i] && Clock::now() - appeared[i] >= std::chrono::duration<double>(runs[i].signal_after)) {
                kill(children[i].pid, SIGTERM);
                sent[i] = true;
            }
        }
        usleep(2000);
    }
}

// Each run: status 0, the shutdown's steps in order to the window's end
// when a window was made, and a whole settings file: every run's has the
// same keys.
void run_and_check(const std::vector<ProgramRun> &runs)
{
    std::string data = gamedata_dir() + "/data";
    std::set<std::string> wanted_keys;
    for (size_t first = 0; first < runs.size(); first += RUNS_AT_ONCE) {
        std::vector<ProgramRun> batch(runs.begin() + (long)first,
                                      runs.begin() + (long)std::min(runs.size(), first + RUNS_AT_ONCE));
        std::vector<Child> children;
        for (const ProgramRun &run : batch)
            children.push_back(start_program(run.name, data, run.words, run.environment));
        signal_after_delays(batch, children);
        for (size_t i = 0; i < batch.size(); i++) {
            const ProgramRun &run = batch[i];
            SCOPED_TRACE(run.name);
            EXPECT_EQ(wait_exit_status(children[i].pid, RUN_SECONDS), 0);
            std::vector<std::string> lines = log_lines(program_home(run.name) + "lastlog.txt");
            std::vector<std::string> shutdown = {"Closing audio", "Writing config files", "Freeing memory (2)",
                                                 "Freeing file list", "Deleting textures", "Deleting models"};
            if (has_line(lines, "Creating window"))
                shutdown.push_back("Window shutdown complete");
            expect_in_order(lines, shutdown);
            std::set<std::string> keys = settings_keys(program_home(run.name) + "config");
            EXPECT_GT(keys.size(), 50u);
            EXPECT_TRUE(keys.count("track"));
            if (wanted_keys.empty())
                wanted_keys = keys;
            EXPECT_EQ(keys, wanted_keys);
            std::string errors;
            read_file(children[i].errors_path, &errors);
            EXPECT_EQ(errors.find("0x"), std::string::npos) << errors.substr(0, 2000);
        }
    }
}

std::vector<ProgramRun> step_runs(size_t first, size_t last)
{
    std::vector<ProgramRun> runs;
    for (size_t i = first; i < last; i++)
        runs.push_back({"step" + std::to_string(i), {"--track", "tracks/cinder_hollow"},
                        {{"RUTLINE_SIGNAL_AT_STEP", START_UP_STEPS[i]}}, -1});
    return runs;
}

const size_t STEP_COUNT = sizeof START_UP_STEPS / sizeof START_UP_STEPS[0];

bool can_run()
{
    return !gamedata_dir().empty() && RUTLINE_BINARY[0];
}

}  // namespace

// The steps in groups of four, each a test of its own, so that each stays
// well within its time bound on a loaded machine.
TEST(Shell, SigtermAtTheStepsFromTheSettingsToTheFileIndexEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    run_and_check(step_runs(0, 4));
    // The step's signal ended the start-up there.
    EXPECT_FALSE(has_line(log_lines(program_home("step0") + "lastlog.txt"), "Creating window"));
    EXPECT_TRUE(has_line(log_lines(program_home("step2") + "lastlog.txt"), "Creating window"));
    EXPECT_FALSE(has_line(log_lines(program_home("step2") + "lastlog.txt"), "File index complete"));
}

TEST(Shell, SigtermAtTheStepsFromTheStockModelsToTheSeriesEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    run_and_check(step_runs(4, 8));
}

TEST(Shell, SigtermAtTheStepsFromTheStartingTrackToTheInputEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    run_and_check(step_runs(8, 12));
}

TEST(Shell, SigtermAtTheStepsFromThePhysicsToTheRaceEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    ASSERT_EQ(STEP_COUNT, 15u);
    run_and_check(step_runs(12, STEP_COUNT));
    std::vector<std::string> physics = log_lines(program_home("step13") + "lastlog.txt");
    EXPECT_TRUE(has_line(physics, "GL_VENDOR: "));
    EXPECT_FALSE(has_line(physics, "Loading bikes"));
    EXPECT_TRUE(has_line(log_lines(program_home("step14") + "lastlog.txt"), "Loading bikes"));
}

std::vector<ProgramRun> delay_runs(std::vector<double> delays)
{
    std::vector<ProgramRun> runs;
    for (double delay : delays)
        runs.push_back({"delay" + std::to_string((int)(delay * 1000)), {"--track", "tracks/cinder_hollow"}, {}, delay});
    return runs;
}

TEST(Shell, SigtermInTheFirstSecondEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    run_and_check(delay_runs({0.0, 0.1, 0.25, 0.5}));
}

TEST(Shell, SigtermInTheSecondsAfterEndsTheGameInOrder)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    run_and_check(delay_runs({1.0, 1.5, 2.5, 4.0}));
}

TEST(Shell, AnUnknownTrackKeepsTheConfiguredTrack)
{
    if (!can_run())
        GTEST_SKIP() << "no generated data or program";
    // A second track in the home folder whose name sorts before the data's own.
    std::string home = program_home("unknown");
    ASSERT_TRUE(write_file(home + "config", "track=tracks/cinder_hollow\n"));
    ASSERT_TRUE(write_file(home + "tracks/aaa_first/terrain.hf", "7 2.0 0.0 8.0\n:"));
    ASSERT_TRUE(write_file(home + "tracks/aaa_first/desc", "AAA First\n"));
    Child child = start_program("unknown", gamedata_dir() + "/data", {"--track", "tracks/no_such_track"},
                                {{"RUTLINE_SIGNAL_AT_STEP", "race"}});
    EXPECT_EQ(wait_exit_status(child.pid, RUN_SECONDS), 0);
    std::string config;
    ASSERT_TRUE(read_file(home + "config", &config));
    EXPECT_NE(config.find("\ntrack=tracks/cinder_hollow\n"), std::string::npos) << config.substr(0, 3000);
}
