// Warp racing: a race of laps restarts once the leader has done them, with
// the lineup turned by one slot; a race of minutes only, a race still
// running, the title view or warp off keeps the race.
#include "app/command_line.h"
#include "app/main_loop.h"
#include "app/race_screens.h"
#include "net/client.h"
#include "race/race_fixture.h"
#include "race/results.h"
#include "track/timing.h"

#include <gtest/gtest.h>

#include <vector>

struct WarpRace : RaceWorld {};

TEST_F(WarpRace, RestartsOnlyAfterTheLapsOfALapRace)
{
    struct Case {
        const char *name;
        int warp;
        int view;
        int laps;
        int laps_done;   // the leader's, set through its gate count
        bool restarts;
    };
    const Case cases[] = {
        {"leader done", 1, VIEW_CHASE, 2, 2, true},
        {"leader a lap past", 1, VIEW_CAMERA, 2, 3, true},
        {"leader still riding", 1, VIEW_CHASE, 2, 1, false},
        {"warp off", 0, VIEW_CHASE, 2, 2, false},
        {"title view", 1, VIEW_TITLE, 2, 2, false},
        {"minutes only", 1, VIEW_CHASE, 0, 5, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int codes[] = {SLOT_ROBOT, SLOT_ROBOT};
        ASSERT_TRUE(start(codes, 2, c.laps, 0));
        ASSERT_GT(lap_gate_list.normal_lap_count, 0);
        for (int &kind : slot_kinds)
            kind = SLOT_DEMO_OR_EMPTY;
        slot_kinds[0] = SLOT_ROBOT;
        slot_kinds[1] = SLOT_ROBOT_125;
        std::vector<int> before(slot_kinds, slot_kinds + BIKE_SLOT_COUNT);
        laps_slider.value = 3;
        minutes_slider.value = 0;
        ASSERT_GE(running_order_count, 1);
        running_order[0].gates = c.laps_done > 0 ? lap_gate_list.first_lap_count +
                                                       (c.laps_done - 1) * lap_gate_list.normal_lap_count
                                                 : 0;

        CommandLineOptions options;
        default_command_line_options(&options);
        options.warp = c.warp;
        MainLoop loop{};
        loop.options = &options;
        loop.view = c.view;
        EXPECT_EQ(restart_warped_race(&loop), c.restarts ? 1 : 0);
        if (c.restarts) {
            EXPECT_EQ(slot_kinds[0], SLOT_DEMO_OR_EMPTY);   // the last slot's kind moved to the front
            EXPECT_EQ(slot_kinds[1], SLOT_ROBOT);
            EXPECT_EQ(slot_kinds[2], SLOT_ROBOT_125);
            EXPECT_EQ(get_slot_bike(0), nullptr);
            EXPECT_NE(get_slot_bike(1), nullptr);
            EXPECT_NE(get_slot_bike(2), nullptr);
            EXPECT_EQ(race_settings.laps, 3);
            EXPECT_EQ(running_order[0].gates, 0);
        } else {
            EXPECT_EQ(std::vector<int>(slot_kinds, slot_kinds + BIKE_SLOT_COUNT), before);
            EXPECT_EQ(race_settings.laps, c.laps);
        }
        end_race();
    }
}
