// Points series files and their standings: good and broken files, the
// rounds done and their ranks, and the lineup of the next event.
#include "app/race_screens.h"
#include "app/series_files.h"
#include "race/race_control.h"
#include "race/race_fixture.h"
#include "race/series.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string numbers(int count, int first, int step = 1)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += std::to_string(first + i * step) + " ";
    return text + "\n";
}

// A round on the test track: 40 points from 25 down, then the ranking flag.
std::string round_text(const std::string &name, const std::string &race = "5 3", int ranked = 1,
                       const std::string &points = numbers(40, 25, -1))
{
    return name + " " + RACE_TRACK + " " + race + "\n" + points + std::to_string(ranked) + " " +
           numbers(39, 0, 0);
}

std::string series_text(const std::string &title, const std::string &riders, int rounds,
                        const std::string &round = round_text("R"))
{
    std::string text = title + "\n" + riders + "\n" + std::to_string(rounds) + "\n";
    for (int i = 0; i < rounds; i++)
        text += round;
    return text;
}

struct Row {
    const char *name;
    std::string series;
    std::string standings;   // empty: no standings file
    bool read;
    const char *title = nullptr;
    int skill = 0, riders = 0, rounds = 0, done = 0;
};

}  // namespace

TEST(SeriesFiles, GoodAndBrokenFiles)
{
    write_race_track();
    std::string robots159 = "159 Expert\n" + numbers(159, 20);
    std::string robots160 = "160 Expert\n" + numbers(160, 20);
    std::vector<Row> rows = {
        {"bare title", series_text("Mini", "2 Novice 20 21", 1), "", true, "Mini", 0, 2, 1, 0},
        {"quoted title", series_text("\"Summer Cup\"", "1 Amateur 7", 2), "", true, "Summer Cup", 1, 1, 2, 0},
        {"Pro is expert", series_text("Pro", "1 Pro 7", 1), "", true, "Pro", 2, 1, 1, 0},
        {"159 robots", series_text("Big", robots159, 1), "", true, "Big", 2, 159, 1, 0},
        {"160 robots", series_text("Huge", robots160, 1), "", false},
        {"negative robots", series_text("Neg", "-1 Novice", 1), "", false},
        {"negative rounds", series_text("Neg", "1 Novice 7", -2), "", false},
        {"too many rounds", series_text("Long", "1 Novice 7", 1001, ""), "", false},
        {"a negative robot number", series_text("Odd", "1 Novice -5", 1), "", false},
        {"an unknown track", "Lost 1 Novice 7 1 R tracks/nowhere 5 3 " + numbers(80, 1), "", false},
        {"a missing points value", "Short 1 Novice 7 1 R " + std::string(RACE_TRACK) + " 5 3 " + numbers(79, 1),
         "", false},
        {"two and a half rounds", series_text("Half", "2 Novice 20 21", 3), "1 2 3\n3 1 2\n2 1\n", true, "Half",
         0, 2, 3, 2},
        {"a place past the field", series_text("Bad", "2 Novice 20 21", 3), "1 2 3\n1 2 4\n3 2 1\n", true, "Bad",
         0, 2, 3, 1},
        {"a place of 0", series_text("Zero", "2 Novice 20 21", 2), "1 2 3\n0 1 2\n", true, "Zero", 0, 2, 2, 1},
        {"a word for a place", series_text("Word", "2 Novice 20 21", 2), "1 2 3\n1 x 2\n", true, "Word", 0, 2, 2,
         1},
    };
    for (size_t i = 0; i < rows.size(); i++) {
        std::string name = "series/s" + std::to_string(i) + ".series";
        write_file(test_data_dir() + name, rows[i].series);
        if (!rows[i].standings.empty())
            write_file(test_data_dir() + name + "_standings", rows[i].standings);
    }
    ASSERT_TRUE(scan_track_catalogue());   // builds the file index with every file above

    int good = 0;
    for (size_t i = 0; i < rows.size(); i++) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.name);
        SeriesEvent event;
        std::string name = "series/s" + std::to_string(i) + ".series";
        ASSERT_EQ(read_series_file(name.c_str(), &event), row.read ? 1 : 0);
        if (!row.read) {
            EXPECT_EQ(event.rounds, nullptr);
            continue;
        }
        good++;
        EXPECT_STREQ(event.title, row.title);
        EXPECT_EQ(event.robot_skill, row.skill);
        EXPECT_EQ(event.rider_count, row.riders);
        EXPECT_EQ(event.round_count, row.rounds);
        EXPECT_EQ(event.rounds_played, row.done);
        EXPECT_EQ(std::string(event.standings_path), "@" + name + "_standings");
        EXPECT_EQ(event.rounds[0].points[0], 25);
        EXPECT_EQ(event.rounds[0].points[40], 0);   // only 40 are read
        free_series_event(&event);
    }
    read_series_files();
    EXPECT_EQ(series_list.count, good);
    free_series_list();
}

TEST(SeriesFiles, RoundValuesAreHeldToTheRaceScreensRanges)
{
    write_race_track();
    write_file(test_data_dir() + "wild.series",
               series_text("Wild", "1 Novice 7", 2, round_text("R", "100000000 -5")));
    ASSERT_TRUE(scan_track_catalogue());
    SeriesEvent event;
    ASSERT_EQ(read_series_file("wild.series", &event), 1);
    EXPECT_EQ(event.rounds[0].race_values[0], 60);   // minutes
    EXPECT_EQ(event.rounds[0].race_values[1], 0);    // laps
    free_series_event(&event);
}

TEST(SeriesFiles, EqualTotalsRankByThePlaceOfTheRoundRanked)
{
    write_race_track();
    // Places 1 and 2 both score 10: after round 1 riders 0 and 1 are level.
    std::string points = "10 10 5 " + numbers(37, 0, 0);
    write_file(test_data_dir() + "ties.series",
               series_text("Ties", "2 Novice 30 31", 2, round_text("R", "5 3", 1, points)));
    write_file(test_data_dir() + "ties.series_standings", "2 1 3\n1 3 2\n");
    ASSERT_TRUE(scan_track_catalogue());
    SeriesEvent event;
    ASSERT_EQ(read_series_file("ties.series", &event), 1);
    ASSERT_EQ(event.rounds_played, 2);
    // Round 1: 10, 10, 5 - rider 1 won the round, so ranks first.
    EXPECT_EQ(event.rounds[0].standings[1], 0);
    EXPECT_EQ(event.rounds[0].standings[0], 1);
    EXPECT_EQ(event.rounds[0].standings[2], 2);
    // Round 2 adds 10, 5, 10: totals 20, 15, 15; the player beat rider 1.
    EXPECT_EQ(event.rounds[1].standings[0], 0);
    EXPECT_EQ(event.rounds[1].standings[2], 1);
    EXPECT_EQ(event.rounds[1].standings[1], 2);

    series_list.events = &event;
    series_list.count = 1;
    StandingsRow rows[SERIES_PLACES];
    ASSERT_EQ(build_standings_rows(0, rows), 3);
    EXPECT_EQ(rows[0].rider, 0);
    EXPECT_EQ(rows[0].total, 20);
    EXPECT_EQ(rows[1].rider, 2);   // 15 and second in the latest round
    EXPECT_EQ(rows[2].rider, 1);
    series_list.events = nullptr;
    series_list.count = 0;
    free_series_event(&event);
}

TEST(SeriesLineup, FirstEventInOrderThenWorstFirstFromTheMiddle)
{
    SeriesRound rounds[2] = {};
    SeriesEvent event = {};
    event.rounds = rounds;
    event.round_count = 2;
    event.rider_count = 15;   // 16 riders with the player
    for (int i = 0; i < 15; i++)
        event.rider_numbers[i] = 40 + i;
    int kinds[BIKE_SLOT_COUNT];

    ASSERT_EQ(series_lineup(&event, kinds), 1);
    EXPECT_EQ(kinds[0], SLOT_ROBOT_NUMBER + 40);
    EXPECT_EQ(kinds[14], SLOT_ROBOT_NUMBER + 54);
    EXPECT_EQ(kinds[15], SLOT_PLAYER);
    EXPECT_EQ(kinds[16], 0);

    // Rider i finished in place i; the player (rider 15) won.
    for (int i = 0; i < 15; i++)
        rounds[0].positions[i] = i + 1;
    rounds[0].positions[15] = 0;
    event.rounds_played = 1;
    ASSERT_EQ(series_lineup(&event, kinds), 1);
    struct {
        int slot, kind;
    } gates[] = {
        {10, SLOT_ROBOT_NUMBER + 54},   // last place picks first, in the middle
        {9, SLOT_ROBOT_NUMBER + 53},
        {11, SLOT_ROBOT_NUMBER + 52},
        {8, SLOT_ROBOT_NUMBER + 51},
        {2, SLOT_PLAYER},               // the winner takes the 16th gate of the order
        {20, 0},
    };
    for (const auto &g : gates)
        EXPECT_EQ(kinds[g.slot], g.kind) << g.slot;

    // Small fields use every other gate from 6; large ones run past gate 40.
    EXPECT_EQ(series_gate(0, 14), 6);
    EXPECT_EQ(series_gate(14, 14), 34);
    EXPECT_EQ(series_gate(19, 59), 0);
    EXPECT_EQ(series_gate(20, 59), 20);
    EXPECT_EQ(series_gate(45, 59), 45);

    event.rounds_played = 2;   // every event run
    EXPECT_EQ(series_lineup(&event, kinds), 0);
}
