// The HUD's texts: status lines, the results board with gaps, best laps and
// penalty lines, and the message lines shown.
#include "app/hud.h"

#include "app/bike_setup.h"
#include "app/frame_pacing.h"
#include "app/net_client.h"
#include "app/player_controls.h"
#include "app/settings.h"
#include "bike/physics_world.h"
#include "core/message.h"
#include "render/shaders.h"
#include "track/erosion.h"
#include "track/terrain.h"
#include "tests/race/lap_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Hud : LapFixture {
    void SetUp() override
    {
        LapFixture::SetUp();
        show_fps = show_race_time = show_ping = show_speed = show_render_stats = 0;
        bike_setup.sticky_dab.selected = 0;
        sticky_dab_state = 0;
    }
    void TearDown() override
    {
        show_ping = 1;
        LapFixture::TearDown();
    }

    static std::vector<std::string> status_lines(int slot)
    {
        HudStatus status;
        build_hud_status(slot, &status);
        return std::vector<std::string>(status.lines, status.lines + status.count);
    }
};

}  // namespace

TEST_F(Hud, StatusLines)
{
    struct Case {
        const char *name;
        std::function<void()> set_up;
        std::vector<std::string> lines;
    } cases[] = {
        {"nothing switched on", [] { longest_frame_time = 0.5; }, {}},
        {"a longest frame of 1/32 s", [] { show_fps = 1; longest_frame_time = 1.0 / 32; }, {"FPS - 32"}},
        {"no frame recorded", [] { show_fps = 1; longest_frame_time = 0; }, {"FPS - 0"}},
        {"before the gate drops",
         [] {
             show_race_time = 1;
             race_settings.start_tic = 1700;
             current_tic = 100;
         },
         {"Time - 0:00.0 "}},
        {"at 75.5 s",
         [] {
             show_race_time = 1;
             race_settings.start_tic = 300;
             current_tic = 300 + 9664;
         },
         {"Time - 1:15.5 "}},
        {"not joined: no ping",
         [] {
             show_ping = 1;
             net_socket = 3;
             own_slot = NO_SLOT;
         },
         {}},
        {"offline: no ping", [] { show_ping = 1; own_slot = 2; }, {}},
        {"ping and offset",
         [] {
             show_ping = 1;
             net_socket = 3;
             own_slot = 2;
             slot_pings[2] = 16;
             server_tic_estimate = 1064;
             current_tic = 1000;
         },
         {"Ping - 125ms (500ms offset)"}},
        {"sticky dab on",
         [] {
             bike_setup.sticky_dab.selected = 1;
             sticky_dab_state = 1;
         },
         {"Dabbing!"}},
        {"sticky dab off with the toggle set", [] { sticky_dab_state = 1; }, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.set_up();
        EXPECT_EQ(status_lines(0), c.lines);
        // Reading the frame rate starts the frame-time records again.
        EXPECT_EQ(longest_frame_time, 0.0);
        EXPECT_EQ(shortest_frame_time, 1.0);
        net_socket = -1;
    }
}

TEST_F(Hud, SpeedAndRenderStatistics)
{
    ASSERT_TRUE(create_physics_world());
    BikeState *bike = add_rider(4, {});
    bike->frame_body = dBodyCreate(physics_world);
    dBodySetLinearVel(bike->frame_body, 0, 88 * 0.6, -88 * 0.8);
    show_speed = 1;
    EXPECT_EQ(status_lines(4), (std::vector<std::string>{"Speed - 60.00"}));
    EXPECT_TRUE(status_lines(5).empty());   // an empty slot has no speed
    bike->frame_body = nullptr;
    destroy_physics_world();

    show_speed = 0;
    show_render_stats = 1;
    memset(hud_stat_maxima, 0, sizeof hud_stat_maxima);
    erosion_queue.count = 7;
    std::vector<std::string> lines = status_lines(0);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].rfind("Ground polygons - ", 0), 0u);
    EXPECT_EQ(lines[6], "Terrain texture age - 0");   // no terrain loaded
    EXPECT_EQ(lines[8], "Erode buffered - 7");
    erosion_queue.count = 0;

    // The ground and decal counts come from the terrain drawing's counters.
    static Terrain terrain;
    terrain.ground_vertex_count = 1234;
    terrain.decal_draw_count = 5;
    current_terrain = &terrain;
    lines = status_lines(0);
    current_terrain = nullptr;
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Ground polygons - 1234 max=1234");
    EXPECT_EQ(lines[3], "Decals - 5 max=5");
}

TEST_F(Hud, RunningMaximaAreKept)
{
    show_render_stats = 1;
    memset(hud_stat_maxima, 0, sizeof hud_stat_maxima);
    int saved_changes = texture_change_count;
    texture_change_count = 40;
    status_lines(0);
    texture_change_count = 12;
    EXPECT_EQ(status_lines(0)[4], "Texture Changes - 12 max=40");
    texture_change_count = saved_changes;
}

TEST_F(Hud, ResultsBoardGapsAndBestLaps)
{
    // Three finished riders on a layout of 3 first-lap gates and 5 a lap.
    add_rider(1, steady_times(13, 100), RIDER_ROBOT, "7")->finished = 1;    // laps of 500 tics
    add_rider(2, steady_times(13, 100), RIDER_ROBOT, "12")->finished = 1;
    std::vector<int> uneven = steady_times(13, 100);
    for (int i = 3; i < 13; i++)
        uneven[i] += i >= 8 ? 100 : 250;   // lap 2 took 750, lap 3 350
    add_rider(3, uneven, RIDER_ROBOT, "99")->finished = 1;
    add_rider(4, steady_times(5, 100), RIDER_ROBOT, "5");     // still riding
    set_running_order({1, 2, 3, 4});
    running_order[0].last_gate_tic = 1300;
    running_order[1].last_gate_tic = 1460;   // 160 tics behind at the same gate count
    running_order[2].last_gate_tic = 1400;

    ResultsBoard board;
    build_results_board(2, &board);
    ASSERT_TRUE(board.shown);
    EXPECT_FALSE(board.final);
    ASSERT_EQ(board.row_count, 3);   // the rider still riding is left out
    EXPECT_STREQ(board.rows[0].gap, "  0.000");
    EXPECT_STREQ(board.rows[1].gap, "  1.250");
    // Ahead of the rider before it: no gap shown.
    EXPECT_STREQ(board.rows[2].gap, "  0.000");
    EXPECT_STREQ(board.rows[1].number, " 12");
    EXPECT_STREQ(board.rows[1].laps, "L3");
    EXPECT_STREQ(board.rows[1].position, "2");
    EXPECT_TRUE(board.rows[1].viewed);
    EXPECT_FALSE(board.rows[0].viewed);
    EXPECT_EQ(board.rows[0].striped + board.rows[1].striped + board.rows[2].striped, 1);
    EXPECT_TRUE(board.rows[1].striped);
    // Laps of 500 tics: the first even one is the best; lap 3 beats lap 2.
    EXPECT_STREQ(board.rows[0].best_lap, "(2)");
    EXPECT_STREQ(board.rows[0].best_time, "0:03.906");
    EXPECT_STREQ(board.rows[2].best_lap, "(3)");
    EXPECT_STREQ(board.rows[2].best_time, "0:02.734");

    // The board waits for the leader to finish.
    bike_states[1].finished = 0;
    set_layout(3, 5);
    race_settings.final_lap = LAP_NOT_DECIDED;
    build_results_board(2, &board);
    EXPECT_FALSE(board.shown);
}

TEST_F(Hud, FinalResultsShowTotalTimeAndPenalties)
{
    race_settings.start_tic = 256;
    add_rider(1, steady_times(13, 100), RIDER_ROBOT, "7")->finished = 1;
    add_rider(2, steady_times(13, 77), RIDER_ROBOT, "31")->finished = 1;
    add_rider(3, steady_times(8, 100), RIDER_ROBOT, "4")->finished = 1;   // cut a lap short
    results_written = 1;
    results_order_count = 3;
    results_order[0] = {1, 13, 1300};
    results_order[1] = {2, 13, 1640};   // passed its last gate at 1001, results tic 1640
    results_order[2] = {3, 3, 1900};
    set_gate_time(&bike_states[2], 12, 1000);

    ResultsBoard board;
    build_results_board(1, &board);
    ASSERT_TRUE(board.shown);
    EXPECT_TRUE(board.final);
    EXPECT_EQ(board.row_count, 3);
    EXPECT_STREQ(board.total, "Total Race Time: 0:08.156");   // (1300 - 256) / 128 s
    ASSERT_EQ(board.penalty_count, 2);
    EXPECT_STREQ(board.penalties[0], " 31 penalized 5.00 seconds for cutting track");
    // Counted from its gates it rode two laps, its results count one: last
    // gate at 800, results tic 1900.
    EXPECT_STREQ(board.penalties[1], "  4 penalized 1 lap 8.59 seconds for cutting track");
}

TEST(HudMessages, VisibleLinesOldestFirstWithinTheRing)
{
    static int indices[MESSAGE_LINES];
    struct Case {
        int next, visible;
        std::vector<int> first;   // the first indices
        int count;
    } cases[] = {
        {1, 3, {998, 999, 0}, 3},
        {10, 2, {8, 9}, 2},
        {0, 0, {}, 0},
        {5, -4, {}, 0},
        {7, 5000, {7, 8, 9}, 1000},   // "message_lines" is unbounded: at most the ring
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.next << " " << c.visible);
        message_log.next_line = c.next;
        message_log.visible_lines = c.visible;
        int n = visible_message_lines(indices);
        ASSERT_EQ(n, c.count);
        for (size_t i = 0; i < c.first.size(); i++)
            EXPECT_EQ(indices[i], c.first[i]);
        for (int i = 0; i < n; i++)
            ASSERT_TRUE(indices[i] >= 0 && indices[i] < MESSAGE_LINES);
    }
    message_log.next_line = 0;
    message_log.visible_lines = 0;
}

TEST(HudTimes, TicsAsMinutesSecondsMilliseconds)
{
    struct Case {
        long long tics;
        const char *text;
    } cases[] = {{0, "0:00.000"}, {-50, "0:00.000"}, {128, "0:01.000"}, {64 + 128 * 61, "1:01.500"},
                 {1LL << 40, "143165576:32.000"}};
    for (const Case &c : cases) {
        char text[32];
        format_tics_as_time(text, sizeof text, c.tics);
        EXPECT_STREQ(text, c.text) << c.tics;
    }
}
