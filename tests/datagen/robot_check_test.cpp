// The data build's robot check: a race report is held against the bounds
// (every robot finishes, a lapped one with the leader; crashes per
// robot-lap at most 0.15 on the expert lines and 0.1 on the others; no
// stop over 5 s with the rider on; no lap from the second on over 20%
// slower than the robot's best), and the words name the bound broken.
#include "race/robot_table.h"
#include "tools/datagen/gen_robot_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Twelve robots that each finished five laps: none crashed, no stop, every
// lap 100 s.
RobotRaceReport clean_report(const RobotField &field)
{
    RobotRaceReport report;
    memset(&report, 0, sizeof report);
    report.robots = field.robots;
    report.finished = field.robots;
    report.robot_laps = field.robots * field.laps;
    report.longest_stop = 0.5f;
    report.worst_lap_ratio = 1.0f;
    return report;
}

}  // namespace

TEST(RobotCheck, HoldsAReportToTheBoundsAndSaysWhichIsBroken)
{
    struct Case {
        const char *what;
        int skill;
        void (*change)(RobotRaceReport *);
        const char *words;   // null: within the bounds
    };
    const Case cases[] = {
        {"clean", 2, [](RobotRaceReport *) {}, nullptr},
        {"expert, 9 crashes in 60 laps", 2, [](RobotRaceReport *r) { r->crashes = 9; }, nullptr},
        {"expert, 10 crashes in 60 laps", 2, [](RobotRaceReport *r) { r->crashes = 10; }, "10 crashes in 60 robot-laps"},
        {"amateur, 6 crashes in 60 laps", 1, [](RobotRaceReport *r) { r->crashes = 6; }, nullptr},
        {"amateur, 7 crashes in 60 laps", 1, [](RobotRaceReport *r) { r->crashes = 7; }, "on the amateur lines"},
        {"novice, 7 crashes in 60 laps", 0, [](RobotRaceReport *r) { r->crashes = 7; }, "on the novice lines"},
        {"a stop of 5.2 s", 2, [](RobotRaceReport *r) { r->longest_stop = 5.2f; }, "stopped 5.2 s"},
        {"a stop of 4.9 s", 2, [](RobotRaceReport *r) { r->longest_stop = 4.9f; }, nullptr},
        {"one robot short", 1, [](RobotRaceReport *r) { r->finished = 11; }, "11 of 12 amateur robots finished"},
        {"two lapped robots finish", 1, [](RobotRaceReport *r) { r->lapped = 2; r->robot_laps -= 2; }, nullptr},
        {"a lap 25% over the best", 0, [](RobotRaceReport *r) { r->worst_lap_ratio = 1.25f; }, "25% over its best"},
        {"a lap 19% over the best", 0, [](RobotRaceReport *r) { r->worst_lap_ratio = 1.19f; }, nullptr},
        {"a solver error", 2, [](RobotRaceReport *r) { r->solver_errors = 1; }, "solver errors"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RobotField field;
        full_robot_field(&field, "tracks/cinder_hollow", c.skill, 0);
        ASSERT_EQ(field.robots, 12);
        ASSERT_EQ(field.laps, 5);
        RobotRaceReport report = clean_report(field);
        c.change(&report);
        char why[256] = "unset";
        int within = check_robot_report(&field, &report, why, sizeof why);
        if (!c.words) {
            EXPECT_TRUE(within) << why;
            EXPECT_STREQ(why, "");
        } else {
            EXPECT_FALSE(within);
            EXPECT_NE(std::string(why).find(c.words), std::string::npos) << why;
            EXPECT_NE(std::string(why).find("tracks/cinder_hollow"), std::string::npos) << why;
        }
    }
}

TEST(RobotCheck, TheFieldsAreFourOfEachPersonalityAndTwoSpreadAlongTheGate)
{
    RobotField full, check;
    full_robot_field(&full, "tracks/cinder_hollow", 2, 1000);
    check_robot_field(&check, "tracks/cinder_hollow", 2, 18);
    EXPECT_EQ(full.seed, 1000);
    // A robot's number is its row of the robot table plus 20.
    auto personality = [](int number) {
        const char *key = robot_table[number - 20].personality;
        return !strcmp(key, "sundo") ? 0 : !strcmp(key, "grell") ? 1 : !strcmp(key, "vapp") ? 2 : -1;
    };
    int counts[3] = {0, 0, 0};
    for (int k = 0; k < full.robots; k++) {
        EXPECT_EQ(full.slots[k], k);
        ASSERT_GE(full.numbers[k], 20);
        ASSERT_LT(full.numbers[k], 20 + ROBOT_TABLE_ROWS);
        ASSERT_GE(personality(full.numbers[k]), 0);
        counts[personality(full.numbers[k])]++;
    }
    EXPECT_EQ(counts[0], 4);
    EXPECT_EQ(counts[1], 4);
    EXPECT_EQ(counts[2], 4);
    int check_counts[3] = {0, 0, 0};
    for (int k = 0; k < check.robots; k++) {
        ASSERT_GE(personality(check.numbers[k]), 0);
        check_counts[personality(check.numbers[k])]++;
        if (k > 0) {
            EXPECT_GE(check.slots[k] - check.slots[k - 1], 3) << "room between places on the gate";
        }
        EXPECT_LT(check.slots[k], 18);
    }
    EXPECT_EQ(check_counts[0], 2);
    EXPECT_EQ(check_counts[1], 2);
    EXPECT_EQ(check_counts[2], 2);
}
