// Race results: the sort rule, the lap count of a timed race, the done
// test, missed-gate penalties, "@results.txt" and its safe replacement, and
// the series standings.
#include "race/lap_fixture.h"

#include "core/message.h"
#include "support/test_support.h"
#include "track/track.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

using Results = LapFixture;

TEST_F(Results, RunningOrderSortsByGatesThenLastGateTicThenSlot)
{
    RunningOrderEntry entries[] = {
        {4, 6, 900}, {2, 7, 1000}, {9, 7, 950}, {1, 6, 900}, {3, 0, 0}, {0, 7, 1000},
    };
    heap_sort(entries, 6, sizeof entries[0], compare_running_order);
    int expected[] = {9, 0, 2, 1, 4, 3};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(entries[i].slot, expected[i]) << i;

    // write_results builds it from the slots: gates passed and the time at
    // the last gate (0 when none).
    add_rider(5, {100, 200, 300});
    add_rider(2, {100, 200, 250});
    add_rider(7, {});
    add_rider(3, {100, 200, 250});
    write_results();
    ASSERT_EQ(running_order_count, 4);
    RunningOrderEntry want[] = {{2, 3, 250}, {3, 3, 250}, {5, 3, 300}, {7, 0, 0}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(running_order[i].slot, want[i].slot) << i;
        EXPECT_EQ(running_order[i].gates, want[i].gates) << i;
        EXPECT_EQ(running_order[i].last_gate_tic, want[i].last_gate_tic) << i;
    }
    EXPECT_EQ(results_written, 0) << "robots still racing";
}

TEST_F(Results, ATimedRaceEndsItsLapsAfterTheFirstLapCompletedOnceTimeIsUp)
{
    // F = 2, P = 2: lap k ends at gate 2k - 1. Ten minutes and 2 laps.
    set_layout(2, 2);
    race_settings.length_tics = 10 * 60 * TIC_RATE;   // 76800
    race_settings.laps = 2;
    struct Case {
        const char *what;
        std::vector<int> leader;
        int now;
        int final_lap, halfway_lap;
    } cases[] = {
        // Lap 6 ended at 66000, lap 7 at 77000, after time up.
        {"the leader's lap 7 ends after time up", steady_times(14, 5500), 77000, 9, 8},
        // Lap 7 not yet ended: undecided until it is.
        {"lap 7 still running", steady_times(12, 5500), 76900, LAP_NOT_DECIDED, 7},
        // A lap ending exactly at time up counts as after it.
        {"a lap ends at time up", steady_times(12, 6400), 76800, 8, 7},
        // No lap completed before time up: the first lap decides.
        {"time up in lap 1", {40000, 80000}, 80000, 3, 2},
        {"before half time", steady_times(4, 5500), 30000, LAP_NOT_DECIDED, LAP_NOT_DECIDED},
        {"half time", steady_times(7, 5500), 38400, LAP_NOT_DECIDED, 4},
    };
    for (const Case &c : cases) {
        race_settings.final_lap = LAP_NOT_DECIDED;
        race_settings.halfway_lap = LAP_NOT_DECIDED;
        add_rider(1, c.leader);
        current_tic = c.now;
        write_results();
        EXPECT_EQ(race_settings.final_lap, c.final_lap) << c.what;
        EXPECT_EQ(race_settings.halfway_lap, c.halfway_lap) << c.what;
    }

    // Decided once, the final lap only moves with later laps: a second rider
    // who completed lap 8 before time up pushes it to 8 + 2 + 1.
    race_settings.final_lap = 9;
    add_rider(1, steady_times(14, 5500));
    add_rider(2, steady_times(16, 4700));   // lap 8 ends at gate 15, 75200
    current_tic = 77000;
    write_results();
    EXPECT_EQ(race_settings.final_lap, 11);
}

TEST_F(Results, MissedSectionsCostWhatTheOthersTookPlusOneSecond)
{
    // F = 6, P = 4. From gate 0 to gate 4 rider 1 took 2400 tics and rider
    // 2 2720: 20 s on average.
    set_layout(6, 4);
    add_rider(1, {1000, 1600, 2200, 2800, 3400});
    add_rider(2, {1000, 1680, 2360, 3040, 3720});
    struct Case {
        const char *what;
        std::vector<int> times;
        int start_tic;
        int penalty;
    } cases[] = {
        {"3 gates skipped, 5 s", {1000, -1, -1, -1, 1640}, 0, 16 * TIC_RATE},   // 20 + 1 - 5
        {"3 gates skipped, slower than the others", {1000, -1, -1, -1, 4000}, 0, 0},
        {"no gate skipped", {1000, 1600, 2200}, 0, 0},
        // Gates 0 to 2 take the others 2280 from the drop at tic 0; the
        // rider's run counts from the drop too.
        {"missed at the start", {-1, -1, 500}, 0, 2280 + 128 - 500},
        // A drop at 400: the others took 1880 from it, the rider 100.
        {"missed at the start, later drop", {-1, -1, 500}, 400, 1880 + 128 - 100},
        // Gate 0 to 2: 1280 + 128 - 300; gate 2 to 4: 1280 + 128 - 400.
        {"two runs", {1000, -1, 1300, -1, 1700}, 0, 1108 + 1008},
        {"a run at the end counts nothing yet", {1000, 1600, -1, -1}, 0, 0},
    };
    for (const Case &c : cases) {
        race_settings.start_tic = c.start_tic;
        BikeState *bike = add_rider(3, c.times);
        set_running_order({1, 2, 3});
        EXPECT_EQ(get_missed_gate_penalty(bike), c.penalty) << c.what;
    }
}

// The same miss costs the same wherever it lies: at the start, where both
// the rider's run and the others' section count from the gate drop, and
// mid-lap. The others ride 10 s a gate from a drop at 14 s.
TEST_F(Results, AMissedSectionCostsAlikeAtTheStartAndMidLap)
{
    set_layout(3, 4);
    const int drop = 14 * TIC_RATE, gate = 10 * TIC_RATE;
    race_settings.start_tic = drop;
    add_rider(1, steady_times(11, gate, drop));
    add_rider(2, steady_times(11, gate, drop));
    auto at = [&](int g) { return drop + (g + 1) * gate; };   // the others at gate g
    struct Case {
        const char *what;
        std::vector<int> times;
        int penalty;
    } cases[] = {
        {"first two gates skipped, at the others' pace", {-1, -1, at(2), at(3)}, TIC_RATE},
        {"two gates skipped mid-lap, at the others' pace", {at(0), at(1), at(2), -1, -1, at(5)}, TIC_RATE},
        {"two gates skipped in lap 2, at the others' pace", {at(0), at(1), at(2), at(3), at(4), -1, -1, at(7)},
         TIC_RATE},
        // Arriving 12 s early saves 12 s and costs 13.
        {"first two gates skipped, 12 s early", {-1, -1, at(2) - 12 * TIC_RATE}, 13 * TIC_RATE},
        {"two gates skipped mid-lap, 12 s early", {at(0), -1, -1, at(3) - 12 * TIC_RATE}, 13 * TIC_RATE},
        {"first gate skipped, 30 s late", {-1, at(1) + 30 * TIC_RATE}, 0},
        {"nothing skipped", {at(0), at(1), at(2)}, 0},
    };
    for (const Case &c : cases) {
        BikeState *bike = add_rider(3, c.times);
        set_running_order({1, 2, 3});
        EXPECT_EQ(get_missed_gate_penalty(bike), c.penalty) << c.what;
    }
}

namespace {

// Two riders over four laps of F = 2, P = 3 (the final gate is 10): rider
// 11 in slot 1 takes 10 s per gate; rider 22 in slot 2 is half a second
// ahead through gate 7, then rides one of these.
struct PenaltyCase {
    const char *what;
    std::vector<int> tail;   // gates 8, 9, 10 or from gate 5 on
    int shortcut_from;       // first gate the tail replaces
    int gates, last_gate_tic;
    int first_slot;
};

std::vector<int> rider_22_times(const PenaltyCase &c)
{
    std::vector<int> times;
    for (int g = 0; g < c.shortcut_from; g++)
        times.push_back(1280 * (g + 1) - 64);
    times.insert(times.end(), c.tail.begin(), c.tail.end());
    return times;
}

const PenaltyCase PENALTY_CASES[] = {
    // Gate 8 skipped, gate 7 to 9 in 2400 where both took 2560: 288 tics.
    // Its best lap (3680) is longer than that: no lap is taken.
    {"one gate skipped", {-1, 12576, 13856}, 8, 11, 13856 + 288, 1},
    // Gates 5-9 skipped, gate 4 to 10 in 1500 against 7680: 6308 tics; one
    // best lap (lap 2, 3840) is taken with its 3 gates.
    {"a lap taken", {-1, -1, -1, -1, -1, 7836}, 5, 8, 7836 + 6308 - 3840, 1},
    // Gates 1-9 skipped: 11144 tics, no lap from lap 2 on has a time, so no
    // lap is taken.
    {"no best lap", {-1, -1, -1, -1, -1, -1, -1, -1, -1, 3000}, 1, 11, 3000 + 11144, 1},
};

void set_up_penalty_race(const PenaltyCase &c)
{
    LapFixture::set_layout(2, 3);
    race_settings.laps = 4;
    race_settings.final_lap = 4;
    LapFixture::add_rider(1, LapFixture::steady_times(11, 1280), RIDER_ROBOT, "11");
    LapFixture::add_rider(2, rider_22_times(c), RIDER_ROBOT, "22");
    current_tic = 15000;
}

std::string read_results_file()
{
    std::string text;
    if (!read_file(test_home_dir() + "results.txt", &text))
        return "(none)";
    return text;
}

}  // namespace

TEST_F(Results, PenaltiesMoveRidersDownTheResults)
{
    for (const PenaltyCase &c : PENALTY_CASES) {
        results_written = 0;
        set_up_penalty_race(c);
        write_results();
        ASSERT_EQ(results_written, 1) << c.what;
        EXPECT_EQ(running_order[0].slot, 2) << c.what << ": ahead on the road";
        ASSERT_EQ(results_order_count, 2) << c.what;
        EXPECT_EQ(results_order[0].slot, c.first_slot) << c.what;
        const RunningOrderEntry *entry = &results_order[results_order[0].slot == 2 ? 0 : 1];
        EXPECT_EQ(entry->gates, c.gates) << c.what;
        EXPECT_EQ(entry->last_gate_tic, c.last_gate_tic) << c.what;
        EXPECT_EQ(bike_slots[2]->gates_passed, 11) << c.what << ": the gate record stays";
    }
}

TEST_F(Results, TheResultsFileListsFinishedRidersWithLapsAndGateTimes)
{
    set_track_folder("tracks/results");
    set_up_penalty_race(PENALTY_CASES[0]);
    time_t before = time(nullptr);
    write_results();
    time_t after = time(nullptr);
    std::string text = read_results_file();
    set_track_folder(nullptr);

    const std::string head = "Time=0.00|Laps=4|Track=tracks/results|Date=";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    size_t end = text.find("\r\n");
    long date = atol(text.substr(head.size(), end - head.size()).c_str());
    EXPECT_GE(date, (long)before);
    EXPECT_LE(date, (long)after);
    EXPECT_EQ(text.substr(end + 2),
              " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
              "  11 | yz250f(2017) |    4 |   1:50.000 |    2 |   0:30.000\r\n"
              "  22 | yz250f(2017) |    4 |   1:50.500 |    4 |   0:28.750\r\n"
              "\r\n11\r\n"
              "  10.000   20.000\r\n"
              "  30.000   40.000   50.000\r\n"
              "  60.000   70.000   80.000\r\n"
              "  90.000  100.000  110.000\r\n"
              "\r\n11\r\n"
              "   9.500   19.500\r\n"
              "  29.500   39.500   49.500\r\n"
              "  59.500   69.500   79.500\r\n"
              "      -1   98.250  108.250\r\n");
    EXPECT_FALSE(file_exists(test_home_dir() + "results.txt.tmp"));
}

TEST_F(Results, OnlyFinishedRidersAreListedAndNoFileWithoutAWinner)
{
    // A timed race whose laps are not decided yet has no finished rider;
    // remote riders without states cannot hold the race up.
    race_settings.final_lap = LAP_NOT_DECIDED;
    add_rider(1, steady_times(13, 1000), RIDER_REMOTE, "11");
    add_rider(2, steady_times(12, 1000), RIDER_REMOTE, "22");
    current_tic = 20000;
    write_results();
    EXPECT_EQ(results_written, 1);
    EXPECT_EQ(read_results_file(), "(none)");

    // Decided: the leader finished, the other rider (lapped) has not.
    results_written = 0;
    race_settings.final_lap = 2;   // the final gate is 7
    add_rider(1, steady_times(8, 1000), RIDER_REMOTE, "11");
    add_rider(2, steady_times(7, 900), RIDER_REMOTE, "22");
    write_results();
    std::string text = read_results_file();
    EXPECT_NE(text.find("\r\n  11 | "), std::string::npos) << text;
    EXPECT_EQ(text.find("  22 | "), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\n7\r\n"), std::string::npos) << text;
}

TEST_F(Results, AFailedWriteKeepsTheOldResults)
{
    std::string home = test_home_dir();
    ASSERT_TRUE(write_file(home + "results.txt", "old results\r\n"));
    ASSERT_EQ(mkdir((home + "results.txt.tmp").c_str(), 0777), 0);
    set_up_penalty_race(PENALTY_CASES[0]);
    write_results();
    EXPECT_EQ(results_written, 1);
    EXPECT_EQ(read_results_file(), "old results\r\n");
    EXPECT_TRUE(file_exists(home + "results.txt.tmp")) << "the folder is left alone";

    ASSERT_EQ(rmdir((home + "results.txt.tmp").c_str()), 0);
    results_written = 0;
    write_results();
    EXPECT_EQ(read_results_file().rfind("Time=0.00|Laps=4|", 0), 0u);
    EXPECT_FALSE(file_exists(home + "results.txt.tmp"));
}

TEST_F(Results, TheRaceIsDoneWhenEveryRiderWhoMattersHasFinished)
{
    // F = 3, P = 5, one lap: the rider in slot 1 has finished; the rider in
    // slot 2 has not.
    race_settings.final_lap = 1;
    struct Case {
        const char *what;
        int kind;
        int online;            // net_socket 5, own slot 0
        int own;               // the rider is in our own slot
        int watching;          // local_gate_position 160
        int history_age;       // tics of the newest state; -1 = none
        int last_state_age;
        int done;
    } cases[] = {
        {"offline robot", RIDER_ROBOT, 0, 0, 0, -1, 0, 0},
        {"offline local", RIDER_LOCAL, 0, 0, 0, -1, 0, 0},
        {"offline remote, states 11 s old", RIDER_REMOTE, 0, 0, 0, 11 * TIC_RATE, 0, 1},
        {"offline remote, states 10 s old", RIDER_REMOTE, 0, 0, 0, 10 * TIC_RATE, 0, 0},
        {"offline remote, no states", RIDER_REMOTE, 0, 0, 0, -1, 0, 1},
        {"online, no state for a second", RIDER_REMOTE, 1, 0, 0, -1, TIC_RATE, 1},
        {"online, a fresh state", RIDER_REMOTE, 1, 0, 0, -1, TIC_RATE - 1, 0},
        {"online, our own slot without states", RIDER_LOCAL, 1, 1, 0, -1, 1000, 0},
        {"online, the local rider while watching", RIDER_LOCAL, 1, 0, 1, -1, 0, 1},
    };
    for (const Case &c : cases) {
        clear_state_history();
        results_written = 0;
        current_tic = 5000;
        add_rider(1, {100, 200, 300});
        add_rider(2, {110}, c.kind);
        net_socket = c.online ? 5 : -1;
        own_slot = c.own ? 2 : c.online ? 0 : NO_SLOT;
        local_gate_position = c.watching ? NO_SLOT : 0;
        if (c.history_age >= 0) {
            state_history[2].ticks[0] = current_tic - c.history_age;
            state_history[2].head = 0;
        }
        last_state_tic[2] = (uint32_t)(current_tic - c.last_state_age);
        write_results();
        EXPECT_EQ(results_written, c.done) << c.what;
    }
}

namespace {

// A series of three robots (numbers 5, 7 and 9) and the player over three
// rounds; 10, 6, 3 and 1 points for the places.
struct SeriesFixture : LapFixture {
    SeriesRound rounds[3] = {};
    SeriesEvent event = {};
    char standings_path[64] = "@series/test_standings";

    void SetUp() override
    {
        LapFixture::SetUp();
        timing_gate_count = 0;   // no one finishes by the gates
        int points[] = {10, 6, 3, 1};
        for (SeriesRound &round : rounds) {
            memcpy(round.points, points, sizeof points);
            round.ranked[0] = 1;
        }
        event.standings_path = standings_path;
        event.round_count = 3;
        event.rounds = rounds;
        event.rider_count = 3;
        event.rider_numbers[0] = 5;
        event.rider_numbers[1] = 7;
        event.rider_numbers[2] = 9;
        series_list.events = &event;
        series_list.count = 1;
        add_rider(0, {}, RIDER_LOCAL, "1");
        add_rider(1, {}, RIDER_ROBOT, "5");
        add_rider(2, {}, RIDER_ROBOT, "7");
        add_rider(3, {}, RIDER_ROBOT, "9");
        add_rider(4, {}, RIDER_ROBOT, "42");   // not a series rider
    }

    void TearDown() override
    {
        series_list = SeriesList{};
        LapFixture::TearDown();
    }

    // Finishes round r with the slots in this order.
    void play_round(int r, const std::vector<int> &slots, int written)
    {
        RunningOrderEntry *order = written ? results_order : running_order;
        int *count = written ? &results_order_count : &running_order_count;
        *count = 0;
        for (int slot : slots)
            order[(*count)++] = {slot, 0, 0};
        results_written = written;
        current_event = 0;
        expected_round = r;
        finish_series_event();
    }

    static std::string standings_file()
    {
        std::string text;
        if (!read_file(test_home_dir() + "series/test_standings", &text))
            return "(none)";
        return text;
    }
};

void expect_row(const int *row, std::vector<int> want, const char *what)
{
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_EQ(row[i], want[i]) << what << " [" << i << "]";
}

}  // namespace

TEST_F(SeriesFixture, StandingsOverThreeRounds)
{
    // Round 1: 7, (42), player, 5, 9. Points 5: 3, 7: 10, 9: 1, player: 6.
    play_round(0, {2, 4, 0, 1, 3}, 1);
    EXPECT_EQ(current_event, -1);
    EXPECT_EQ(expected_round, -1);
    EXPECT_EQ(event.rounds_played, 1);
    expect_row(rounds[0].positions, {2, 0, 3, 1}, "round 1 places");
    expect_row(rounds[0].standings, {2, 0, 3, 1}, "round 1 ranks");
    EXPECT_EQ(standings_file(), "3 1 4 2 \n");

    // Round 2, not ranked: 5, 9, 7, player. Totals 13, 13, 7, 7.
    rounds[1].ranked[0] = 0;
    for (int &rank : rounds[1].standings)
        rank = -7;
    play_round(1, {4, 1, 3, 2, 0}, 1);
    expect_row(rounds[1].positions, {0, 2, 1, 3}, "round 2 places");
    expect_row(rounds[1].standings, {-7, -7, -7, -7}, "round 2 is not ranked");

    // Round 3: the player leads on the road but quits before the results:
    // last. 9, 7, 5 take places 0, 1, 2. Totals 16, 19, 17 and 8: the
    // points of every round count, not those of round 3 alone.
    play_round(2, {0, 3, 2, 1, 4}, 0);
    expect_row(rounds[2].positions, {2, 1, 0, 3}, "round 3 places");
    expect_row(rounds[2].standings, {2, 0, 1, 3}, "round 3 ranks");
    EXPECT_EQ(event.rounds_played, 3);
    EXPECT_EQ(standings_file(), "3 1 4 2 \n1 3 2 4 \n3 2 1 4 \n");

    // Ranking round 2 as well: equal totals go to the better place in it.
    rounds[1].ranked[0] = 1;
    rank_series_standings(&event);
    expect_row(rounds[1].standings, {0, 1, 2, 3}, "round 2 ranked");
    expect_row(rounds[2].standings, {2, 0, 1, 3}, "round 3 unchanged");
}

TEST_F(SeriesFixture, APlayerWhoFinishedCleanlyIsPlacedBeforeResultsAreWritten)
{
    // Without written results the player needs a finish and no penalty.
    set_layout(3, 5);
    race_settings.final_lap = 1;
    add_rider(0, {100, 200, 300}, RIDER_LOCAL, "1");
    add_rider(2, {90, 190, 290}, RIDER_ROBOT, "7");
    play_round(0, {2, 0, 1, 3}, 0);
    expect_row(rounds[0].positions, {2, 0, 3, 1}, "finished");

    event.rounds_played = 0;
    add_rider(0, {100, -1, 300}, RIDER_LOCAL, "1");   // a missed gate
    play_round(0, {2, 0, 1, 3}, 0);
    expect_row(rounds[0].positions, {1, 0, 2, 3}, "penalised: last");
}

TEST_F(SeriesFixture, AnEventThatCannotTakeTheRoundClosesWithoutAResult)
{
    struct Case {
        const char *what;
        int event_index, round, rounds_played, rider_count;
    } cases[] = {
        {"another round expected", 0, 1, 0, 3},
        {"a round past the event's rounds", 0, 3, 3, 3},
        {"160 series riders", 0, 0, 0, 160},
        {"no such event", 4, 0, 0, 3},
    };
    for (const Case &c : cases) {
        event.rounds_played = c.rounds_played;
        event.rider_count = c.rider_count;
        rounds[0].positions[0] = -5;
        results_written = 1;
        results_order_count = 1;
        results_order[0] = {1, 0, 0};
        current_event = c.event_index;
        expected_round = c.round;
        finish_series_event();
        EXPECT_EQ(current_event, -1) << c.what;
        EXPECT_EQ(expected_round, -1) << c.what;
        EXPECT_EQ(event.rounds_played, c.rounds_played) << c.what;
        EXPECT_EQ(rounds[0].positions[0], -5) << c.what;
        EXPECT_EQ(standings_file(), "(none)") << c.what;
    }
    // No event running: nothing at all.
    current_event = -1;
    expected_round = 0;
    finish_series_event();
    EXPECT_EQ(expected_round, 0);
}
