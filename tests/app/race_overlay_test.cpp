// The race overlay's numbers and texts: the needle, the gear cell, the
// race length, the lean band, the title card, the pit board and the
// close-behind strip, and the strip read back inside the window.
#include "app/race_overlay.h"

#include "render/gl_extensions.h"
#include "render/scene.h"
#include "support/render_fixtures.h"
#include "tests/race/lap_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
const float PI = 3.14159265358979f;
}

TEST(RaceOverlay, NeedleGearCellsAndBands)
{
    struct Needle {
        float rpm, degrees;
    } needles[] = {{4000, -67.5f}, {12000, 67.5f}, {8000, 0}, {0, -135}, {16000, 135}, {NAN, -135}};
    for (const Needle &n : needles)
        EXPECT_NEAR(tachometer_needle_degrees(n.rpm), n.degrees, 1e-3f) << n.rpm;

    struct Cell {
        int gear;
        float u, v;
    } cells[] = {{0, 0, 0}, {4, 1.0f / 3, 1.0f / 3}, {5, 2.0f / 3, 1.0f / 3}, {6, 0, 2.0f / 3}, {9, 0, 0}, {-1, 2.0f / 3, 0}};
    for (const Cell &c : cells) {
        float u, v;
        shifter_cell(c.gear, &u, &v);
        EXPECT_NEAR(u, c.u, 1e-6f) << c.gear;
        EXPECT_NEAR(v, c.v, 1e-6f) << c.gear;
    }

    struct Steps {
        float a, b;
        int steps;
    } steps[] = {{0, PI, 33}, {-PI / 2, 0, 17}, {0, 0, 2}, {0, NAN, 0}, {0, INFINITY, 0}, {0, 1e30f, 126}};
    for (const Steps &s : steps)
        EXPECT_EQ(ring_band_steps(s.a, s.b), s.steps) << s.a << " " << s.b;

    // A ground normal tilted 40 degrees: a red band of 40 degrees from the horizontal.
    float start, end;
    float tilt = 40 * PI / 180;
    EXPECT_EQ(lean_band(tilt, &start, &end), 1);
    EXPECT_NEAR(start, tilt - PI / 2, 1e-6f);
    EXPECT_NEAR(end, -PI / 2, 1e-6f);
    EXPECT_EQ(lean_band(-tilt, &start, &end), 1);
    EXPECT_NEAR(start, PI / 2, 1e-6f);
    EXPECT_NEAR(end, PI / 2 - tilt, 1e-6f);
    EXPECT_EQ(lean_band(30 * PI / 180, &start, &end), 0);
}

TEST(RaceOverlay, RaceLengthAndTitleCard)
{
    struct Length {
        int tics, laps;
        const char *text;
    } lengths[] = {{1920, 3, "0 minutes + 3 laps"}, {0, 3, "3 laps"},        {-5, 2, "2 laps"},
                   {7680 * 5, 0, "5 minutes"},      {7680 * 5 + 3900, 1, "6 minutes + 1 laps"}};
    for (const Length &l : lengths) {
        char text[64];
        format_race_length(text, sizeof text, l.tics, l.laps);
        EXPECT_STREQ(text, l.text) << l.tics;
    }
    struct Card {
        int tic;
        float alpha;   // below 0: not drawn
    } cards[] = {{0, 1}, {256, 1}, {320, 0.5f}, {383, 1.0f / 128}, {384, -1}, {100000, -1}};
    for (const Card &c : cards) {
        float alpha = title_card_alpha(c.tic);
        if (c.alpha < 0) {
            EXPECT_LT(alpha, 0.0f) << c.tic;
        } else {
            EXPECT_NEAR(alpha, c.alpha, 1e-6f) << c.tic;
        }
    }
}

namespace {
struct PitBoardRace : LapFixture {
    void TearDown() override
    {
        time_trial_mode = 0;
        last_lap_tics = best_lap_tics = 0;
        LapFixture::TearDown();
    }
};
}  // namespace

TEST_F(PitBoardRace, PlaceGapAndLaps)
{
    // Layout: 3 first-lap gates, 5 a lap. The leader is 40 tics ahead at gate 8.
    add_rider(1, steady_times(9, 100), RIDER_ROBOT, "7");
    std::vector<int> behind = steady_times(9, 100);
    behind[8] += 40;
    add_rider(2, behind, RIDER_LOCAL, "12");
    set_running_order({1, 2});
    running_order[0].last_gate_tic = 900;
    running_order[1].last_gate_tic = 940;

    PitBoard board;
    build_pit_board(2, &board);
    EXPECT_STREQ(board.number, "12");
    EXPECT_STREQ(board.place, "L3 P2");            // riding lap 3 after two laps
    EXPECT_STREQ(board.gap, "-0.3 ");              // 40 tics behind the leader
    EXPECT_STREQ(board.last, "Last - 0:03.9 ");    // lap 2: gate 2 to gate 7, 500 tics
    EXPECT_STREQ(board.best, "Best - 0:03.9");
    build_pit_board(1, &board);
    EXPECT_STREQ(board.gap, "+0.3 ");              // the leader sees its lead
    EXPECT_STREQ(board.last, "Last - 0:03.9 ");

    time_trial_mode = 1;
    last_lap_tics = 1280;
    best_lap_tics = 0;
    build_pit_board(2, &board);
    EXPECT_STREQ(board.place, "P2");
    EXPECT_STREQ(board.last, "Last - 0:10.0 ");
    EXPECT_STREQ(board.best, "");                  // no best lap yet: not shown

    build_pit_board(50, &board);                   // an empty slot
    EXPECT_STREQ(board.place, "");
}

TEST_F(PitBoardRace, CloseBehindStrip)
{
    add_rider(1, steady_times(10, 100), RIDER_ROBOT, "7");
    add_rider(3, steady_times(10, 100), RIDER_ROBOT, "123456");
    add_rider(2, steady_times(9, 100), RIDER_LOCAL, "12");
    struct Case {
        const char *name;
        int first_tic, second_tic;   // last-gate tics of the two riders ahead
        int per_lap;
        std::string text;
    } cases[] = {
        // The viewed rider passed gate 4 at 500; they passed the matching gate at 700 and 650.
        {"both close ahead", 700, 650, 5, " 7 (1.6)  12345 (1.2) "},
        {"one more than 3 s ahead", 900, 650, 5, " 12345 (1.2) "},
        {"laps without gates", 700, 650, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_layout(3, c.per_lap);
        set_running_order({1, 3, 2});
        running_order[0].last_gate_tic = c.first_tic;
        running_order[1].last_gate_tic = c.second_tic;
        running_order[2].last_gate_tic = 900;
        char text[OVERLAY_TEXT_LENGTH];
        close_behind_text(2, text, sizeof text);
        EXPECT_EQ(std::string(text), c.text);
    }
    // The leader has nobody ahead; a rider level on gates is not behind.
    set_layout(3, 5);
    char text[OVERLAY_TEXT_LENGTH];
    close_behind_text(1, text, sizeof text);
    EXPECT_STREQ(text, "");
    running_order[1].gates = 9;
    close_behind_text(2, text, sizeof text);
    EXPECT_STREQ(text, " 7 (1.6) ");
}

// Read back: the strip is the window's top line, a line of ty/15 (the
// window height over 30), blue over the whole width.
TEST_F(PitBoardRace, CloseBehindStripIsDrawnAlongTheWindowsTop)
{
    const int width = 320, height = 240;
    GameWindow *window = open_test_gl_window(width, height);
    if (!window)
        GTEST_SKIP() << "no display";
    add_rider(1, steady_times(10, 100), RIDER_ROBOT, "7");
    add_rider(2, steady_times(9, 100), RIDER_LOCAL, "12");
    set_layout(3, 5);
    set_running_order({1, 2});
    running_order[0].last_gate_tic = 700;
    running_order[1].last_gate_tic = 900;
    char text[OVERLAY_TEXT_LENGTH];
    close_behind_text(2, text, sizeof text);
    ASSERT_STRNE(text, "");

    set_projection((float)width, (float)height, 90.0f);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_pit_board(2);
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    auto blue = [&](int x, int row_from_top) {
        const unsigned char *p = &rgb[((size_t)(height - 1 - row_from_top) * width + x) * 3];
        return p[0] < 40 && p[1] > 40 && p[1] < 100 && p[2] > 100;
    };
    const int strip = height / 30;
    for (int row : {0, strip / 2, strip - 1}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(blue(0, row));
        EXPECT_TRUE(blue(width - 1, row));
    }
    EXPECT_FALSE(blue(0, strip + 1));
    close_test_gl_window(window);
}
