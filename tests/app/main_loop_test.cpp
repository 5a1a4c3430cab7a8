// The real main loop over a window and a race on the loop track: a stage
// that stalls is the only one named by the stutter report, and in the
// editor view the keys the editor does not use still reach the game.
#include "race/race_fixture.h"

#include "app/bindings.h"
#include "app/command_line.h"
#include "app/frame_pacing.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stage_timers.h"
#include "app/widgets.h"
#include "core/message.h"
#include "editor/editor.h"
#include "platform/time.h"
#include "platform/window.h"
#include "render/camera_views.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"

#include <SDL2/SDL.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Utility bindings by their table's order.
enum { SCREENSHOT = 0, NEXT_BIKE = 3, PAUSE = 7 };
// Key codes no editor key uses.
enum { PAUSE_CODE = 0x7101, SCREENSHOT_CODE = 0x7102, NEXT_BIKE_CODE = 0x7103, CAMERA_2_CODE = 13 };

struct LoopWindow : RaceWorld {
    GameWindow *window = nullptr;
    CommandLineOptions options;
    MainLoop loop;

    // Opens the window, races the player (slot 0) and a robot, and starts
    // the loop with no menu shown.
    void open(int editor)
    {
        window = open_gl_window("Rutline loop", 256, 256, 24, 8, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        load_gl_extensions();
        game_window = window;
        window_width = window_height = 256;
        bind_menu_keys(window);
        while (next_event(window, nullptr, nullptr)) {
        }
        editor_on = editor;
        const int codes[2] = {1, 2};
        ASSERT_TRUE(start(codes, 2, 1, 0));
        default_command_line_options(&options);
        init_main_loop(&loop, &options);
        menu_state = MENU_NONE;
    }
    void close()
    {
        stutter_threshold = 0;
        set_clock_function(nullptr);
        unbind_menu_keys();
        free_race_world();
        editor_on = 0;
        game_window = nullptr;
        close_gl_window(window);
    }
    // An event taken by the loop: passes a few milliseconds apart until the
    // ring is empty.
    void key(int code, int pressed)
    {
        push_event_now(window, code, pressed);
        for (int pass = 0; pass < 1000 && (pass < 2 || window->events.count > 0); pass++) {
            SDL_Delay(2);
            ASSERT_EQ(run_main_loop_pass(&loop), 1);
        }
    }
};

std::vector<std::string> stutter_lines()
{
    std::vector<std::string> lines;
    for (const auto &line : message_log.lines)
        if (strncmp(line, "Stutter in ", 11) == 0)
            lines.push_back(line);
    return lines;
}

// A clock that moves 1 ms a read, and 400 ms more at the first read after a
// race tic: the race tic stalls.
uint64_t stalling_milliseconds;
int last_tic_seen;
uint64_t stalling_clock()
{
    stalling_milliseconds += 1;
    if (current_tic != last_tic_seen) {
        last_tic_seen = current_tic;
        stalling_milliseconds += 400;
    }
    return stalling_milliseconds;
}

void time_a_stalled_tic(LoopWindow *fixture)
{
    fixture->open(0);
    if (testing::Test::HasFatalFailure())
        return;
    // Two passes to draw the scene and start the timer.
    ASSERT_EQ(run_main_loop_pass(&fixture->loop), 1);
    ASSERT_EQ(fixture->loop.view, VIEW_RIDER);
    last_tic_seen = current_tic;
    stalling_milliseconds = (uint64_t)(wall_clock_seconds() * 1000);
    set_clock_function(stalling_clock);
    stutter_threshold = 0.1;
    for (int pass = 0; pass < 3; pass++)
        ASSERT_EQ(run_main_loop_pass(&fixture->loop), 1);
    std::vector<std::string> lines = stutter_lines();
    ASSERT_FALSE(lines.empty());
    for (const std::string &line : lines)
        EXPECT_EQ(line.rfind("Stutter in tic - 0.4", 0), 0u) << line;
    fixture->close();
}

void press_game_keys_in_the_editor(LoopWindow *fixture)
{
    fixture->open(1);
    if (testing::Test::HasFatalFailure())
        return;
    ASSERT_NE(editor_state, nullptr);
    utility_bindings[PAUSE].key_code = PAUSE_CODE;
    utility_bindings[SCREENSHOT].key_code = SCREENSHOT_CODE;
    utility_bindings[NEXT_BIKE].key_code = NEXT_BIKE_CODE;
    ASSERT_EQ(run_main_loop_pass(&fixture->loop), 1);
    fixture->key(KEY_TAB, 1);
    fixture->key(KEY_TAB, 0);
    ASSERT_EQ(fixture->loop.view, VIEW_EDITOR);

    fixture->key(PAUSE_CODE, 1);
    fixture->key(PAUSE_CODE, 0);
    EXPECT_EQ(fixture->loop.paused, 1);
    // With the spy setting Next Bike moves the view from the leader on.
    spy_mode = 1;
    followed_slot = running_order[0].slot;
    int next = step_viewed_slot(followed_slot, 1);
    ASSERT_NE(next, followed_slot);
    fixture->key(NEXT_BIKE_CODE, 1);
    fixture->key(NEXT_BIKE_CODE, 0);
    EXPECT_EQ(followed_slot, next);
    spy_mode = 0;
    camera_index = 5;
    fixture->key(CAMERA_2_CODE, 1);
    fixture->key(CAMERA_2_CODE, 0);
    EXPECT_EQ(camera_index, -1);   // the track has no cameras: the free camera
    // Screenshot alone stays out of the editor view.
    fixture->key(SCREENSHOT_CODE, 1);
    fixture->key(SCREENSHOT_CODE, 0);
    EXPECT_FALSE(file_exists(test_home_dir() + "screenshot001.png"));
    EXPECT_EQ(fixture->loop.view, VIEW_EDITOR);
    fixture->close();
}

}  // namespace

// Each in a fresh process: the exit-time leak check of a process that ran
// the loop with a window has crashed in its own thread tracer.
TEST_F(LoopWindow, AStalledStageIsTheOnlyOneNamed)
{
    if (in_fresh_process()) {
        time_a_stalled_tic(this);
        return;
    }
    std::string output;
    EXPECT_EQ(run_test_in_fresh_process(&output), 0) << output;
}

TEST_F(LoopWindow, TheEditorViewPassesTheGamesKeysOnButScreenshot)
{
    if (in_fresh_process()) {
        press_game_keys_in_the_editor(this);
        return;
    }
    std::string output;
    EXPECT_EQ(run_test_in_fresh_process(&output), 0) << output;
}
