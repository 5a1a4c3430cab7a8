// Robots race the default track on the generated lines: for each skill, a
// field of robots from the first gate row rides three laps; every one
// finishes within a bound set by the lines' own times, none is stuck.
#include "gamedata_fixture.h"

#include "app/default_data.h"
#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "race/headless_race.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "tools/datagen/gen_lines.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// First-row gate positions the robots start from: the middle and both
// ends of the row.
const int ROBOT_SLOTS[] = {0, 9, 17};
const int ROBOTS = (int)(sizeof ROBOT_SLOTS / sizeof ROBOT_SLOTS[0]);
const int LAPS = 3;

struct RobotRace : testing::TestWithParam<int> {
    void SetUp() override
    {
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        ASSERT_TRUE(create_physics_world());
        current_tic = 0;
    }
    void TearDown() override
    {
        free_race_world();
    }
};

}  // namespace

TEST_P(RobotRace, EveryRobotOfTheSkillFinishesThreeLapsOfTheDefaultTrack)
{
    int skill = GetParam();
    SCOPED_TRACE(SKILL_PROFILES[skill].file);
    HeadlessRace race{};
    race.track = DEFAULT_TRACK_FOLDER;
    for (int slot : ROBOT_SLOTS)
        race.slot_codes[slot] = SLOT_ROBOT;
    race.laps = LAPS;
    race.skill = skill;
    ASSERT_TRUE(start_headless_race(&race));
    ASSERT_GT(lap_pool_rows, 0);
    for (int slot : ROBOT_SLOTS)
        ASSERT_NE(bike_slots[slot], nullptr);

    // The bound: 1.6 times the time of the lines they follow (the fastest
    // line of every row, the first lap and two normal laps), after the
    // gate drop.
    long long line_tics = 0;
    for (int row = 0; row < lap_pool_rows; row++) {
        const LapCandidate *c = lap_pool_row(row);
        int fastest = LAP_NO_TIME;
        for (int k = 0; k < LAP_POOL_CANDIDATES; k++)
            if (c[k].count > 0)
                fastest = std::min(fastest, c[k].section_time);
        ASSERT_LT(fastest, LAP_NO_TIME) << "row " << row << " has no line";
        line_tics += row < lap_pool_first_rows ? fastest : (LAPS - 1) * fastest;
    }
    int limit = race_settings.start_tic + (int)(1.6 * (double)line_tics);

    int finished = 0;
    std::vector<int> progress(BIKE_SLOT_COUNT, 0), progress_tic(BIKE_SLOT_COUNT, race_settings.start_tic);
    while (finished < ROBOTS && current_tic < limit) {
        run_headless_tics(TIC_RATE, nullptr, nullptr);
        finished = 0;
        for (int slot : ROBOT_SLOTS) {
            const BikeState *bike = bike_slots[slot];
            finished += bike->finished != 0;
            if (bike->gates_passed != progress[slot] || bike->finished) {
                progress[slot] = bike->gates_passed;
                progress_tic[slot] = current_tic;
            }
            // A checkpoint every 300 ft at most: a minute without one is a
            // robot going nowhere.
            ASSERT_LT(current_tic - progress_tic[slot], 60 * TIC_RATE)
                << "robot in slot " << slot << " stuck after gate " << bike->gates_passed;
        }
    }
    for (int slot : ROBOT_SLOTS) {
        const BikeState *bike = bike_slots[slot];
        EXPECT_TRUE(bike->finished) << "slot " << slot << " passed " << bike->gates_passed << " gates";
    }
    EXPECT_LT(current_tic, limit) << "all finished within " << limit / TIC_RATE << " s";
    EXPECT_EQ(physics_solver_errors, 0);
}

INSTANTIATE_TEST_SUITE_P(Skills, RobotRace, testing::Range(0, (int)LINE_SKILL_COUNT));
