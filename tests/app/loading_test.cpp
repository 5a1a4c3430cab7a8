// The loading screen and the busy indicator in a window: lit cells read
// back, the spinner's rate and dots on an injected clock, the rate of status
// frames, the slowest step, a minimised window, and a close event taken by a
// drain.
#include "app/graphics_settings.h"
#include "app/loading.h"

#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/shell.h"
#include "platform/time.h"
#include "platform/window.h"
#include "race/race_control.h"
#include "render/gl_extensions.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "support/render_fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint64_t fake_milliseconds;
uint64_t fake_clock()
{
    return fake_milliseconds;
}

struct LoadingWindow : testing::Test {
    void SetUp() override
    {
        fake_milliseconds = 100000;
        set_clock_function(fake_clock);
        game_window = open_test_gl_window(640, 480);
        if (!game_window)
            GTEST_SKIP() << "no display";
    }
    void TearDown() override
    {
        close_test_gl_window(game_window);
        game_window = nullptr;
        set_clock_function(nullptr);
    }
};

// The grey level of the back buffer at view point (x, y) at distance 1.
int grey_at(float x, float y, int width, int height)
{
    int px = (int)((x / view_half_width + 1) * 0.5f * (float)width);
    int py = (int)((y / view_half_height + 1) * 0.5f * (float)height);
    unsigned char rgb[3];
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(px, py, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return rgb[0];
}

}  // namespace

TEST_F(LoadingWindow, BusyCountLightsItsBitsOnceTheCellsFadeIn)
{
    FrameSize *frame = begin_frame(game_window);
    ASSERT_NE(frame, nullptr);
    int width = frame->width, height = frame->height;
    set_projection((float)width, (float)height, (float)fov_slider.value);
    float h = view_half_height;
    draw_busy_counter(5);
    // The first frame starts the fade: no cell shows yet.
    int background = grey_at(h, 0, width, height);
    EXPECT_LT(background, 180);
    end_frame(game_window);

    fake_milliseconds += 1000;
    frame = begin_frame(game_window);
    ASSERT_NE(frame, nullptr);
    set_projection((float)width, (float)height, (float)fov_slider.value);
    draw_busy_counter(5);
    // 5 = bits 0 and 2: the rightmost cell (x = H) and the one two cells left of it.
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        int lit = (5 >> i) & 1;
        EXPECT_NEAR(grey_at(h - (float)i * h / 16, 0, width, height), lit ? 223 : 191, 2);
    }
    end_frame(game_window);
}

TEST_F(LoadingWindow, SpinnerDrawsAtMostEightFramesASecondCyclingItsDots)
{
    show_loading_step("Cleaning up");
    std::vector<std::string> shown = {loading_status_text};
    for (int ms = 0; ms < 2000; ms++) {
        show_loading_spinner("Loading bikes");
        if (shown.back() != loading_status_text)
            shown.push_back(loading_status_text);
        fake_milliseconds++;
    }
    // The step itself, then a spinner frame every 126 ms.
    EXPECT_GE(shown.size(), 16u);
    EXPECT_LE(shown.size(), 1u + 16u);
    const char *dots[] = {"", ".", "..", "..."};
    for (size_t i = 1; i < shown.size(); i++)
        EXPECT_EQ(shown[i], std::string("Loading bikes") + dots[(i - 1) % 4]) << i;
}

TEST_F(LoadingWindow, StatusFramesComeAtMostEightASecondEveryTextAndStepTimed)
{
    max_loading_delay = 0;
    max_loading_label[0] = 0;
    loading_frame_time = 0;   // no frame yet
    int frames = 0;
    double last_frame = 0;
    // A status every 10 ms for a second; step 50 takes 300 ms more.
    for (int i = 0; i < 100; i++) {
        std::string text = "Step " + std::to_string(i);
        show_loading_status(text.c_str());
        EXPECT_EQ(loading_status_text, text);
        if (loading_frame_time != last_frame) {
            EXPECT_TRUE(frames == 0 || loading_frame_time - last_frame >= 0.125 - 1e-9) << i;
            frames++;
            last_frame = loading_frame_time;
        }
        fake_milliseconds += i == 50 ? 310 : 10;
    }
    // At 0, 130, 260, 390, 820 (the status after the long step), 950, 1080
    // and 1210 ms.
    EXPECT_EQ(frames, 8);
    EXPECT_NEAR(max_loading_delay, 0.31, 1e-9);
    EXPECT_STREQ(max_loading_label, "Step 50");
}

TEST_F(LoadingWindow, SlowestStepIsKeptAndAMinimisedWindowChangesNothing)
{
    max_loading_delay = 0;
    max_loading_label[0] = 0;
    struct Step {
        int after_ms;
        const char *text;
    } steps[] = {{0, "Loading heights"}, {200, "Loading shading"}, {1000, "Loading tilemap"}, {300, "Loading bikes"}};
    for (const Step &step : steps) {
        fake_milliseconds += (uint64_t)step.after_ms;
        show_loading_status(step.text);
    }
    EXPECT_NEAR(max_loading_delay, 1.0, 1e-9);
    EXPECT_STREQ(max_loading_label, "Loading shading");   // the step that took 1 s
    EXPECT_STREQ(loading_status_text, "Loading bikes");

    game_window->minimised = 1;
    fake_milliseconds += 5000;
    show_loading_status("Creating LOD textures");
    EXPECT_NEAR(max_loading_delay, 1.0, 1e-9);
    EXPECT_STREQ(max_loading_label, "Loading shading");
    game_window->minimised = 0;

    std::string long_text(200, 'x');
    show_loading_status(long_text.c_str());
    EXPECT_EQ(std::string(loading_status_text), long_text.substr(0, 79));
}

TEST_F(LoadingWindow, ACloseTakenByADrainIsKept)
{
    exit_requested = 0;
    push_event_now(game_window, EVENT_KEY_BASE + 30, 1);
    push_event_now(game_window, EVENT_CLOSE, 1);
    push_event_now(game_window, EVENT_KEY_BASE + 31, 1);
    show_loading_status("Loading map");
    EXPECT_EQ(exit_requested, 1);
    int code, pressed;
    EXPECT_EQ(next_event(game_window, &code, &pressed), 0);   // everything else dropped

    exit_requested = 0;
    push_event_now(game_window, EVENT_CLOSE, 1);
    tick_busy_indicator();
    EXPECT_EQ(exit_requested, 1);
    exit_requested = 0;
}
