// Robots racing on lines made the way the game makes them: a scripted
// rider rides laps with learning on, the next reset writes the pool to
// "lines_expert" and reads it back, and robots of every personality race
// on those lines.
#include "race_fixture.h"

#include "app/player_settings.h"
#include "bike/crash.h"
#include "race/autopilot.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "race/racing_lines.h"
#include "track/timing.h"

#include <cstring>
#include <vector>

namespace {

const int EXPERT = 2;

// A scripted rider rides laps of the loop with learning on; the pool of
// the race holds its sections.
void ride_learning_laps(int laps)
{
    learn_lines = 1;
    HeadlessRace race{};
    race.track = RACE_TRACK;
    race.slot_codes[0] = SLOT_PLAYER;
    race.laps = laps;
    race.skill = EXPERT;
    ASSERT_TRUE(start_headless_race(&race));
    BikeState *bike = bike_slots[0];
    ASSERT_NE(bike, nullptr);
    steady_setup(bike);
    for (int t = 0; t < 300 && !bike->finished; t++)
        run_headless_tics(TIC_RATE, ride_the_loop, nullptr);
    ASSERT_TRUE(bike->finished);
}

int candidates_in_row(int row)
{
    LapCandidate *c = lap_pool_row(row);
    int n = 0;
    for (int i = 0; c && i < LAP_POOL_CANDIDATES; i++)
        n += c[i].count > 0;
    return n;
}

// Robots with the given personalities, one behind the other on the grid
// (slots 0, 8, 16, ...: the rows behind the first gate piece). Side by side
// on a pool of a single recorded line they all take the same line at once,
// meet at the first corner and brake for each other until they stop.
int robot_slot(int i)
{
    return 8 * i;
}

void start_robots(const char *const *keys, int n, int laps)
{
    HeadlessRace race{};
    race.track = RACE_TRACK;
    for (int i = 0; i < n; i++)
        race.slot_codes[robot_slot(i)] = SLOT_ROBOT;
    race.laps = laps;
    race.skill = EXPERT;
    ASSERT_TRUE(start_headless_race(&race));
    for (int i = 0; i < n; i++) {
        ASSERT_NE(bike_slots[robot_slot(i)], nullptr);
        set_auto_pilot_personality(bike_slots[robot_slot(i)], keys[i]);
    }
}

}  // namespace

TEST_F(RaceWorld, LinesLearntFromLapsAreWrittenAndReadBack)
{
    ride_learning_laps(3);
    if (HasFatalFailure())
        return;
    int rows = lap_gate_list.first_lap_timing + lap_gate_list.normal_lap_timing;
    ASSERT_EQ(lap_pool_rows, rows);
    for (int row = 0; row < rows; row++)
        EXPECT_GE(candidates_in_row(row), 1) << "row " << row << " of the ridden race";

    // The next reset remembers the lines and reads them back.
    const char *const keys[1] = {"tester"};
    start_robots(keys, 1, 1);
    std::string file;
    ASSERT_TRUE(read_file(test_home_dir() + "tracks/loop/lines_expert", &file));
    EXPECT_EQ(file.substr(0, 7), "ct03 " + std::to_string(rows));
    for (int row = 0; row < rows; row++)
        EXPECT_GE(candidates_in_row(row), 1) << "row " << row << " read back";
    learn_lines = 0;
}

TEST_F(RaceWorld, RobotsOfEveryPersonalityRaceThreeLapsOnLearntLines)
{
    ride_learning_laps(3);
    if (HasFatalFailure())
        return;
    const char *const keys[4] = {"grell", "sundo", "vapp", "tester"};
    start_robots(keys, 4, 3);
    if (HasFatalFailure())
        return;
    int drop = race_settings.start_tic;
    // Where each robot was 5 s ago, once it has launched.
    std::vector<std::vector<double>> track(4);
    int finished = 0, t = 0;
    const int limit = 15 + 3 * 75;   // seconds: the gate drop and three slow laps
    for (t = 0; t < limit * 4 && finished < 4; t++) {
        run_headless_tics(TIC_RATE / 4, nullptr, nullptr);
        finished = 0;
        for (int i = 0; i < 4; i++) {
            BikeState *bike = bike_slots[robot_slot(i)];
            finished += bike->finished != 0;
            const dReal *p = dBodyGetPosition(bike->frame_body);
            if (current_tic < drop + 3 * TIC_RATE || bike->finished)
                continue;
            track[i].push_back(p[0]);
            track[i].push_back(p[2]);
            size_t n = track[i].size();
            if (n >= 2 * 21 && bike->crash_timer == 0 && bike->crash_count == 0) {
                double dx = track[i][n - 2] - track[i][n - 42], dz = track[i][n - 1] - track[i][n - 41];
                EXPECT_GE(std::sqrt(dx * dx + dz * dz), 5.0)
                    << keys[i] << " stood still for 5 s at tic " << current_tic;
            }
        }
    }
    for (int i = 0; i < 4; i++) {
        const BikeState *bike = bike_slots[robot_slot(i)];
        EXPECT_TRUE(bike->finished) << keys[i] << " gates " << bike->gates_passed;
        EXPECT_GE(bike->gates_passed, 3 * LOOP_GATES) << keys[i];
        EXPECT_EQ(bike->crash_count, 0) << keys[i];
    }
    EXPECT_LT(t, limit * 4) << "all finished within " << limit << " s";
    EXPECT_EQ(physics_solver_errors, 0);
}

TEST_F(RaceWorld, AThrownRobotGetsBackOnAndRidesOn)
{
    ride_learning_laps(2);
    if (HasFatalFailure())
        return;
    const char *const keys[1] = {"grell"};
    start_robots(keys, 1, 5);
    if (HasFatalFailure())
        return;
    BikeState *robot = bike_slots[0];
    int drop = race_settings.start_tic;
    run_headless_tics(drop + 20 * TIC_RATE - current_tic, nullptr, nullptr);
    const dReal *v = dBodyGetLinearVel(robot->frame_body);
    ASSERT_GT(std::sqrt(v[0] * v[0] + v[2] * v[2]), 10.0) << "under way before the throw";
    crash_rider(robot);
    ASSERT_GT(robot->crash_timer, 0);
    int gates = robot->gates_passed;
    int thrown = current_tic;
    while (robot->gates_passed < gates + 2 && current_tic - thrown < 30 * TIC_RATE)
        run_headless_tics(TIC_RATE / 8, nullptr, nullptr);
    EXPECT_EQ(robot->crash_timer, 0) << "back on";
    EXPECT_GE(robot->gates_passed, gates + 2)
        << "two more gates within 30 s (took " << (current_tic - thrown) / TIC_RATE << " s)";
}
