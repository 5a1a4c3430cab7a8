// The real game's engine sound as the player hears it: start-up on the
// generated data, the menus through the window's event ring, the rider's
// view, the default volumes, and the mix recorded through the readback
// driver from the gate to ten seconds after the drop. One robot alone: its
// engine at full throttle peaks at a game's level. Twenty robots: no
// engine's bytes reach 0 or 255 at the gate, at the drop or racing.
#include "app/capture.h"
#include "app/default_data.h"
#include "app/game_main.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "app/shell.h"
#include "app/widgets.h"
#include "bike/bike_getters.h"
#include "bike/bike_state.h"
#include "datagen/gamedata_fixture.h"
#include "platform/mixer.h"
#include "platform/window.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/engine_sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int FRAMES_PER_SECOND = 16;   // each pass advances less than the engine's 0.1 s lead
constexpr int SECONDS_AFTER_DROP = 10;
constexpr int TICS_PER_SECOND = 128;

// Drawing is not what is measured: a small window and the least detail.
const char DISPLAY_CONFIG[] = "video_mode=Windowed\nxres=160\nyres=120\nmodel_detail=0\nground_detail=0\n";

// Where one pass of the loop left the recording, and the viewed bike's throttle.
struct PassMark {
    long end;
    int tic;
    float throttle;
};

struct RaceRecording {
    std::string sound;            // the readback driver's bytes, left and right
    long start = 0;               // the race's first byte
    int drop = 0;                 // the start tic
    std::vector<PassMark> marks;
    long engine_bytes = 0;        // every engine voice's bytes written during the race
    long clipped_engine_bytes = 0;
    int bikes = 0;
};

// Presses and releases a key (Enter with its character, as the window
// sends it) and runs a pass.
bool press(int code)
{
    push_event_now(game_window, code, 1);
    if (code == menu_keys.enter)
        push_event_now(game_window, 13, 1);
    push_event_now(game_window, code, 0);
    return run_main_loop_pass(&main_loop) == 1;
}

// The program's own start-up on the loose game data with the settings
// file given, recording to the file.
bool start_recorded_game(const std::string &config, const std::string &audio)
{
    if (!write_file(test_home_dir() + "config", config))
        return false;
    use_game_data(gamedata_dir() + "/data");
    std::string fps = std::to_string(FRAMES_PER_SECOND);
    std::vector<std::string> words = {"rutline", "--track", DEFAULT_TRACK_FOLDER, "--lock-fps", fps,
                                      "--record-audio", audio};
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int exit_code = 0;
    return start_game((int)words.size(), argv.data(), &exit_code) == 1;
}

// Runs the loop from the race's reset to ten seconds after the drop,
// marking each pass and reading every engine's newly written voice bytes;
// then shuts the game down and reads the recording.
void record_race(const std::string &audio, RaceRecording *race)
{
    ASSERT_NE(audio_capture.file, nullptr);
    race->start = ftell(audio_capture.file);
    race->drop = race_settings.start_tic;
    int written[BIKE_SLOT_COUNT];
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        written[slot] = engine_sounds[slot].write_position;
        race->bikes += get_slot_bike(slot) && engine_sounds[slot].voice;
    }
    while (current_tic < race->drop + SECONDS_AFTER_DROP * TICS_PER_SECOND) {
        ASSERT_TRUE(run_main_loop_pass(&main_loop));
        ASSERT_EQ(main_loop.view, VIEW_RIDER);
        BikeState *viewed = get_slot_bike(followed_slot);
        race->marks.push_back({ftell(audio_capture.file), current_tic, viewed ? get_throttle(viewed) : 0.0f});
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
            const EngineSound *engine = &engine_sounds[slot];
            if (!get_slot_bike(slot) || !engine->voice)
                continue;
            const uint8_t *bytes = ((const MixerVoice *)engine->voice)->sample->data;
            for (int p = written[slot]; p != engine->write_position; p = (p + 1) & (ENGINE_RING - 1)) {
                race->engine_bytes++;
                race->clipped_engine_bytes += bytes[p] == 0 || bytes[p] == 255;
            }
            written[slot] = engine->write_position;
        }
    }
    shut_down_game();
    ASSERT_TRUE(read_file(audio, &race->sound));
}

// The largest distance of a byte from 128, and the longest run of one
// channel's bytes at 0 or 255, over [from, to).
struct MixLevel {
    int peak;
    int clip_run;
};

MixLevel mix_level(const std::string &sound, long from, long to)
{
    MixLevel level = {0, 0};
    int run[2] = {0, 0};
    for (long i = from; i < to && i < (long)sound.size(); i++) {
        int byte = (unsigned char)sound[i];
        level.peak = std::max(level.peak, std::abs(byte - 128));
        int &r = run[i & 1];
        r = byte == 0 || byte == 255 ? r + 1 : 0;
        level.clip_run = std::max(level.clip_run, r);
    }
    return level;
}

double dbfs(int peak)
{
    return 20.0 * std::log10(std::max(peak, 1) / 128.0);
}

// The byte where the race's recording reaches the drop.
long drop_byte(const RaceRecording &race)
{
    long at = race.start;
    for (const PassMark &mark : race.marks)
        if (mark.tic <= race.drop)
            at = mark.end;
    return at;
}

}  // namespace

// The start-up race's robot alone, the main menu closed with Escape: after
// the drop, the passes where its throttle has been full for the engine's
// lead and more peak between -12 and -6 dBFS.
TEST(RaceSound, OneEngineAtFullThrottlePeaksAtAGamesLevel)
{
    if (gamedata_dir().empty())
        GTEST_SKIP() << "no generated data";
    std::string audio = test_dir() + "/one_engine.raw";
    ASSERT_TRUE(start_recorded_game(DISPLAY_CONFIG, audio));
    ASSERT_EQ(menu_state, MENU_MAIN);
    ASSERT_TRUE(press(menu_keys.esc));
    ASSERT_EQ(menu_state, MENU_NONE);
    RaceRecording race;
    record_race(audio, &race);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(race.bikes, 1);

    const int held = 3;   // passes of full throttle before one is counted: 3/16 s
    int full = 0, peak = 0;
    for (size_t k = held; k < race.marks.size(); k++) {
        bool steady = race.marks[k].tic > race.drop;
        for (int back = 0; back <= held; back++)
            steady = steady && race.marks[k - back].throttle > 0.99f;
        if (!steady)
            continue;
        full++;
        peak = std::max(peak, mix_level(race.sound, race.marks[k - 1].end, race.marks[k].end).peak);
    }
    MixLevel after = mix_level(race.sound, drop_byte(race), (long)race.sound.size());
    printf("one engine: full-throttle peak %d (%.1f dBFS) over %d of %d passes; after the drop %d (%.1f dBFS)\n",
           peak, dbfs(peak), full, SECONDS_AFTER_DROP * FRAMES_PER_SECOND, after.peak, dbfs(after.peak));
    ASSERT_GE(full, 2 * FRAMES_PER_SECOND) << "the robot rode too little at full throttle to measure";
    EXPECT_GE(dbfs(peak), -12.0);
    EXPECT_LE(dbfs(peak), -6.0);
    EXPECT_EQ(race.clipped_engine_bytes, 0);
}

// Twenty robots through New Race and Start, the first one viewed: every
// byte any engine hands to its voice, from the gate to ten seconds after
// the drop, stays clear of 0 and 255.
TEST(RaceSound, TwentyEnginesNeverClipFromTheGateToTenSecondsAfterTheDrop)
{
    if (gamedata_dir().empty())
        GTEST_SKIP() << "no generated data";
    const int robots = 20;
    std::string config = DISPLAY_CONFIG;
    for (int gate = 0; gate < 40; gate++) {
        char line[32];
        snprintf(line, sizeof line, "slot%02d=%s\n", gate, gate < robots ? "Robot" : "Empty");
        config += line;
    }
    std::string audio = test_dir() + "/twenty_engines.raw";
    ASSERT_TRUE(start_recorded_game(config, audio));
    ASSERT_EQ(menu_state, MENU_MAIN);
    ASSERT_TRUE(press(menu_keys.enter));   // "New Race"
    ASSERT_TRUE(press(menu_keys.down));
    ASSERT_TRUE(press(menu_keys.enter));   // "Start"
    ASSERT_EQ(menu_state, MENU_NONE);
    RaceRecording race;
    record_race(audio, &race);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(race.bikes, robots);

    MixLevel gate = mix_level(race.sound, race.start, drop_byte(race));
    MixLevel after = mix_level(race.sound, drop_byte(race), (long)race.sound.size());
    printf("twenty engines: mix at the gate peak %d (%.1f dBFS), longest run at 0 or 255 %d; "
           "after the drop %d (%.1f dBFS), %d\n",
           gate.peak, dbfs(gate.peak), gate.clip_run, after.peak, dbfs(after.peak), after.clip_run);
    // Each engine keeps its voice fed at the synthesis rate.
    double seconds = (double)race.marks.back().tic / TICS_PER_SECOND;
    EXPECT_GT((double)race.engine_bytes, 0.9 * robots * (double)ENGINE_RATE * seconds);
    EXPECT_EQ(race.clipped_engine_bytes, 0) << "of " << race.engine_bytes;
}
