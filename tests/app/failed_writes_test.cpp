// Every writer of the game against a disk that fills up: each one runs in a
// child process whose files may not grow past a limit (a few hundred
// bytes, 64 KiB, one byte short of the file) and, when it takes a path,
// against /dev/full. It must report the failure, keep the old file byte
// for byte (or leave none when there was none), and leave no temporary or
// backup behind; without a limit it must write the file. The editor's Save
// all, which writes the track's files together, has its own test under the
// same limits (tests/datagen/save_default_track_test.cpp); the streams that
// end on a failed write have theirs too: demos (tests/race/demo_test.cpp),
// raw video and recorded sound (capture_test.cpp).
#include "app/bike_setup.h"
#include "app/capture.h"
#include "app/player_settings.h"
#include "app/settings.h"
#include "core/message.h"
#include "core/replace_file.h"
#include "editor/editor.h"
#include "net/camera_keys.h"
#include "platform/window.h"
#include "race/demo.h"
#include "race/lap_fixture.h"
#include "race/lap_pool.h"
#include "race/racing_lines.h"
#include "race/series.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"
#include "track/track_fixtures.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A writer's result as the child reports it: 1 written, 0 failed; any
// other value is a writer whose word and deed differ (a message or a
// status that says the opposite of its result).
enum { BROKEN_PROMISE = 2, NO_DISPLAY = 77 };

struct WriterRow {
    const char *name;
    std::function<bool()> prepare;                     // in the test process, before any fork
    std::function<int()> write;                        // in the child
    std::function<std::vector<std::string>()> targets; // real paths the writer writes
    std::function<int(const char *)> write_to;         // the same writer given a path, or none
    bool fresh_name = false;                           // it picks a name nothing has yet
    bool needs_gl = false;
};

WriterRow make_row(const char *name, std::function<bool()> prepare, std::function<int()> write,
                   std::function<std::vector<std::string>()> targets,
                   std::function<int(const char *)> write_to = nullptr)
{
    WriterRow row;
    row.name = name;
    row.prepare = std::move(prepare);
    row.write = std::move(write);
    row.targets = std::move(targets);
    row.write_to = std::move(write_to);
    return row;
}

std::string home(const std::string &name)
{
    return test_home_dir() + name;
}

std::string last_message_line()
{
    int last = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    return message_log.lines[last];
}

bool starts_with(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

// Bytes that do not compress away: PNG writers make files of about their size.
std::vector<uint8_t> noise(size_t count)
{
    std::vector<uint8_t> bytes(count);
    uint32_t state = 2463534242u;
    for (uint8_t &b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = (uint8_t)state;
    }
    return bytes;
}

// A small track with gates, statues and billboards, loaded with the editor
// on (no GL: textures are skipped).
const char SMALL_TRACK[] = "tracks/small";

bool load_small_track()
{
    TrackFixture fixture;
    fixture.folder = SMALL_TRACK;
    fixture.write();
    std::string dir = track_dir(SMALL_TRACK);
    bool written =
        write_file(dir + "desc", "Small Track\n") &&
        write_file(dir + "timing_gates", "checkpoints:\n"
                                         "10.000000 [20.000000 0.000000 20.000000] [1.000000 0.000000 0.000000]\n"
                                         "10.000000 [100.000000 0.000000 100.000000] [0.000000 0.000000 1.000000]\n"
                                         "firstlap:\n0 1 \nnormallap:\n0 1 \n") &&
        write_file(dir + "statues", "[30.000000 0.000000 40.000000] 0.000000 @small/rock.jm @small/rock.png null\n"
                                    "[50.000000 0.000000 40.000000] 1.000000 @small/rock.jm @small/rock.png null\n") &&
        write_file(dir + "billboards", "[60.000000 0.000000 70.000000] 2.000000 3.000000 @small/tree.png\n");
    if (!written)
        return false;
    editor_on = 1;
    if (!scan_track_catalogue())
        return false;
    set_track_folder(SMALL_TRACK);
    return load_track() == 1 && editor_state;
}

std::string small_track_file(const char *name)
{
    return home(std::string(SMALL_TRACK) + "/" + name);
}

// Riders who finished, with many gate times each: a results file of some
// kilobytes.
bool prepare_results()
{
    LapFixture::set_layout(3, 5);
    race_settings = RaceSettings{};
    race_settings.final_lap = 2;
    race_settings.halfway_lap = LAP_NOT_DECIDED;
    results_order_count = 0;
    for (int slot = 1; slot <= 40; slot++) {
        char number[8];
        snprintf(number, sizeof number, "%d", slot + 10);
        BikeState *bike = LapFixture::add_rider(slot, LapFixture::steady_times(8, 900 + slot), RIDER_ROBOT, number);
        results_order[results_order_count++] = {slot, bike->gates_passed, 8 * (900 + slot)};
    }
    return true;
}

SeriesRound standings_rounds[20];
SeriesEvent standings_event;
char standings_path[] = "@series/big_standings";

bool prepare_standings()
{
    standings_event = SeriesEvent{};
    standings_event.standings_path = standings_path;
    standings_event.rounds = standings_rounds;
    standings_event.round_count = 20;
    standings_event.rounds_played = 20;
    standings_event.rider_count = 30;
    for (int r = 0; r < 20; r++)
        for (int i = 0; i <= 30; i++)
            standings_rounds[r].positions[i] = (i * 7 + r) % 31;
    return true;
}

bool prepare_racing_lines()
{
    set_track_folder("tracks/lines");
    learn_lines = 1;
    create_lap_pool(2, 3);
    for (int row = 0; row < 5; row++)
        for (int slot = 0; slot < 6; slot++) {
            LapCandidate *c = &lap_pool_row(row)[slot];
            c->count = 40;
            c->samples = (LineSample *)xmalloc(40 * sizeof(LineSample));
            for (int k = 0; k < 40; k++)
                c->samples[k] = {row * 100.0f + k, 1.5f, slot * 10.0f + k, 30.0f + k, 0.01f * k};
            c->runs = 3;
            c->section_time = c->best_section_time = 300 + slot;
            c->pair_time = c->best_pair_time = 600 + slot;
            c->section_sum = 900;
            c->pair_sum = 1800;
            c->serial = ++lap_serial_counter;
        }
    return true;
}

bool prepare_camera_keys()
{
    for (int i = 0; i < 60; i++) {
        CameraKey key = {{1.0f * i, 20.0f, -3.0f * i}, {0.0f, 0.0f, 0.0f, 1.0f}, 60.0f, 128 * i};
        if (!insert_camera_key(&key))
            return false;
    }
    return true;
}

const std::string lastlap_bytes = [] {
    std::vector<uint8_t> bytes = noise(100000);
    return std::string(bytes.begin(), bytes.end());
}();

bool prepare_fast_lap()
{
    return write_file(home("tracks/laps/lastlap.kzdemo"), lastlap_bytes);
}

const std::vector<uint8_t> rgb_pixels = noise(160 * 120 * 3);
const std::vector<uint8_t> grey_bytes = noise(130 * 100 * 2);

// A frame drawn red above blue, then the screenshot as the shell takes it.
int screenshot_in_a_window()
{
    GameWindow *window = open_test_gl_window(64, 48);
    if (!window)
        return NO_DISPLAY;
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 24, 64, 24);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 0, 64, 24);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    int written = take_screenshot(64, 48);
    std::string said = last_message_line();
    close_test_gl_window(window);
    bool agrees = written ? starts_with(said, "Saved \"screenshot") : starts_with(said, "Can't save \"screenshot");
    return agrees ? written : BROKEN_PROMISE;
}

std::vector<WriterRow> writer_rows()
{
    std::vector<WriterRow> rows;
    rows.push_back(make_row(
        "Settings", [] { return true; }, [] { return write_config(); },
        [] { return std::vector<std::string>{home("config")}; }));
    rows.push_back(make_row(
        "BikeSetup", [] { return true; }, [] { return write_setup_file("trail"); },
        [] { return std::vector<std::string>{home("setups/trail")}; }));
    rows.push_back(make_row(
        "CameraKeys", prepare_camera_keys, [] { return write_camera_keys("flyby"); },
        [] { return std::vector<std::string>{home("keycam/flyby")}; }));
    rows.push_back(make_row(
        "Results", prepare_results, [] { return write_results_file(); },
        [] { return std::vector<std::string>{home("results.txt")}; }));
    rows.push_back(make_row(
        "Standings", prepare_standings, [] { return write_standings(&standings_event); },
        [] { return std::vector<std::string>{home("series/big_standings")}; }));
    rows.push_back(make_row(
        "RacingLines", prepare_racing_lines, [] { return write_racing_lines("lines_novice"); },
        [] { return std::vector<std::string>{home("tracks/lines/lines_novice")}; }));
    rows.push_back(make_row(
        "FastLapCopy", prepare_fast_lap,
        [] { return copy_game_file("@tracks/laps/lastlap.kzdemo", "@tracks/laps/fastlap.kzdemo"); },
        [] { return std::vector<std::string>{home("tracks/laps/fastlap.kzdemo")}; },
        [](const char *path) { return copy_game_file("@tracks/laps/lastlap.kzdemo", path); }));
    rows.push_back(make_row(
        "PngRgb", [] { return true; }, [] { return write_png_rgb("@pictures/rgb.png", rgb_pixels.data(), 160, 120); },
        [] { return std::vector<std::string>{home("pictures/rgb.png")}; },
        [](const char *path) { return write_png_rgb(path, rgb_pixels.data(), 160, 120); }));
    rows.push_back(make_row(
        "PngGrey16", [] { return true; },
        [] { return write_png_gray16("@pictures/grey.png", (const uint16_t *)grey_bytes.data(), 130, 100); },
        [] { return std::vector<std::string>{home("pictures/grey.png")}; },
        [](const char *path) { return write_png_gray16(path, (const uint16_t *)grey_bytes.data(), 130, 100); }));
    WriterRow screenshot = make_row(
        "Screenshot", [] { return true; }, screenshot_in_a_window,
        [] { return std::vector<std::string>{home("screenshot001.png")}; });
    screenshot.fresh_name = true;
    screenshot.needs_gl = true;
    rows.push_back(screenshot);
    WriterRow info = make_row(
        "TrackInfo", load_small_track,
        [] {
            int saved = save_track_info();
            bool said = starts_with(last_message_line(), "Track info saved to ");
            return saved == said ? saved : BROKEN_PROMISE;
        },
        [] { return std::vector<std::string>{home(std::string(SMALL_TRACK) + ".trackinfo")}; });
    rows.push_back(info);
    WriterRow pov = make_row(
        "PovExport", load_small_track,
        [] {
            int exported = export_pov_scene();
            bool says_done = !strcmp(editor_state->status, "Pov!");
            return exported == says_done ? exported : BROKEN_PROMISE;
        },
        [] { return std::vector<std::string>{small_track_file("track.pov")}; });
    rows.push_back(pov);
    return rows;
}

class FailedWrite : public testing::TestWithParam<WriterRow> {
protected:
    std::vector<std::string> targets;

    std::string old_bytes(const std::string &path) { return "old bytes of " + path + "\n"; }
    void put_old_files()
    {
        for (const std::string &path : targets)
            ASSERT_TRUE(write_file(path, old_bytes(path))) << path;
    }
    void remove_files()
    {
        for (const std::string &path : targets)
            remove(path.c_str());
    }
    void expect_old_files(bool present, const std::string &when)
    {
        for (const std::string &path : targets) {
            std::string bytes;
            bool there = read_file(path, &bytes);
            EXPECT_EQ(there, present) << when << ": " << path;
            if (present && there) {
                EXPECT_EQ(bytes, old_bytes(path)) << when << ": " << path;
            }
        }
    }
    void expect_no_leftovers(const std::string &when)
    {
        std::vector<std::string> found = files_ending_in(test_home_dir(), REPLACE_TEMP_SUFFIX);
        for (const std::string &name : files_ending_in(test_home_dir(), REPLACE_BACKUP_SUFFIX))
            found.push_back(name);
        EXPECT_TRUE(found.empty()) << when << ": " << (found.empty() ? "" : found[0]);
    }
};

TEST_P(FailedWrite, KeepsTheOldFileUnderEveryLimit)
{
    const WriterRow &row = GetParam();
    if (row.needs_gl && !getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(row.prepare()) << message_text();
    targets = row.targets();
    ASSERT_FALSE(targets.empty());

    // Without a limit the files are written, and that sets the sizes.
    if (!row.fresh_name)
        put_old_files();
    ASSERT_EQ(run_with_file_limit(0, row.write), 1) << "without a limit";
    size_t full = 0;
    for (const std::string &path : targets) {
        std::string bytes;
        ASSERT_TRUE(read_file(path, &bytes)) << path;
        EXPECT_NE(bytes, old_bytes(path)) << path;
        full = std::max(full, bytes.size());
    }
    expect_no_leftovers("without a limit");

    std::vector<long> limits;
    for (long limit : {300L, 65536L})
        if ((size_t)limit < full)
            limits.push_back(limit);
    if (limits.empty())
        limits.push_back((long)full / 2);
    limits.push_back((long)full - 1);
    remove_files();
    for (bool old_present : {true, false}) {
        if (row.fresh_name && old_present)
            continue;
        if (old_present)
            put_old_files();
        for (long limit : limits) {
            std::string when = "limit " + std::to_string(limit) + (old_present ? "" : ", no old file");
            EXPECT_EQ(run_with_file_limit(limit, row.write), 0) << when;
            expect_old_files(old_present, when);
            expect_no_leftovers(when);
        }
        remove_files();
    }

    if (row.write_to) {
        struct stat status;
        ASSERT_EQ(stat("/dev/full", &status), 0);
        EXPECT_EQ(run_with_file_limit(0, [&] { return row.write_to("/dev/full"); }), 0) << "/dev/full";
        ASSERT_EQ(stat("/dev/full", &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << "/dev/full is still the device";
        EXPECT_FALSE(file_exists("/dev/full" REPLACE_TEMP_SUFFIX));
    }
}

void PrintTo(const WriterRow &row, std::ostream *out)
{
    *out << row.name;
}

INSTANTIATE_TEST_SUITE_P(Writers, FailedWrite, testing::ValuesIn(writer_rows()),
                         [](const testing::TestParamInfo<WriterRow> &info) { return std::string(info.param.name); });

} // namespace
