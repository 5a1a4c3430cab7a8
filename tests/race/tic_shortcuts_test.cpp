// The race tic's shortcuts against the plain path: the terrain searches of
// all bikes side by side on helper threads, the robots' path boxes worked
// out once per tic and terrain cells below a sphere passed over must give
// the same demo, byte for byte, and the same rider states.
#include "race_fixture.h"

#include "app/player_settings.h"
#include "bike/wheel_contact.h"
#include "bike/world_contacts.h"
#include "platform/work_pool.h"
#include "race/autopilot.h"
#include "race/demo.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int ROBOTS = 16;
// Two scripted riders behind the robots throw their bikes down: steering
// locked over with the throttle open, so that body spheres slide on the
// ground.
const int FALLERS = 2;

void throw_down(int slot, const BikeState *, RiderControls *c, void *)
{
    c->throttle = current_tic < race_settings.start_tic ? 0.0f : 1.0f;
    c->steer = slot % 2 ? 1.0f : -1.0f;
    c->clutch_lever = 0.0f;
}

// Rolling ground (0.3 to 1.7 ft) in place of the fixture's flat heights, so
// that falls put body spheres on slopes.
void write_rolling_heights()
{
    const int side = 257;
    std::string bytes = "7 2.0 0.0 8.0\n:";
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            float x = column * 2.0f, z = row * 2.0f;
            float h = 1.0f + 0.5f * sinf(x * 0.07f) * cosf(z * 0.05f) + 0.2f * sinf((x + z) * 0.3f);
            int v = (int)lroundf(h / 8.0f * 65535.0f);
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    ASSERT_TRUE(write_file(test_data_dir() + RACE_TRACK + "/terrain.hf", bytes));
}

void ride_learning_lap()
{
    learn_lines = 1;
    HeadlessRace race{};
    race.track = RACE_TRACK;
    race.slot_codes[0] = SLOT_PLAYER;
    race.laps = 1;
    race.skill = 2;
    current_tic = 0;
    ASSERT_TRUE(start_headless_race(&race));
    BikeState *bike = bike_slots[0];
    ASSERT_NE(bike, nullptr);
    steady_setup(bike);
    for (int t = 0; t < 200 && !bike->finished; t++)
        run_headless_tics(TIC_RATE, ride_the_loop, nullptr);
    ASSERT_TRUE(bike->finished);
    learn_lines = 0;
}

struct RaceRecord {
    std::string demo;
    std::vector<uint8_t> states;   // every rider's packed state at the end
    int traffic_tics;              // tics on which some robot had a bike in its path
    int terrain_touches;           // looks at bikes with a body part down or crashed
};

// On, with every helper the pool may have (also on a machine of fewer
// cores), or off.
void set_shortcuts(int on)
{
    set_race_tic_shortcuts(on);
    if (on)
        set_work_pool_threads(WORK_POOL_THREAD_LIMIT);
}

// Robots bunched behind the gate race for 24 s from the drop, recorded.
void race_robots(RaceRecord *record)
{
    HeadlessRace race{};
    race.track = RACE_TRACK;
    for (int i = 0; i < ROBOTS + FALLERS; i++)
        race.slot_codes[i] = SLOT_ROBOT;
    race.laps = 1;
    race.skill = 2;
    race.record = 1;
    current_tic = 0;
    ASSERT_TRUE(start_headless_race(&race));
    for (int slot = ROBOTS; slot < ROBOTS + FALLERS; slot++)
        bike_slots[slot]->personality = 0;   // scripted
    int end = race_settings.start_tic + 24 * TIC_RATE;
    record->traffic_tics = record->terrain_touches = 0;
    while (current_tic < end) {
        run_headless_tics(4, throw_down, nullptr);
        // Looked at with the plain search between tics.
        int saved = path_boxes_per_tic;
        path_boxes_per_tic = 0;
        int traffic = 0;
        for (int slot = 0; slot < ROBOTS + FALLERS; slot++) {
            BikeState *bike = bike_slots[slot];
            ASSERT_NE(bike, nullptr);
            float u[3], w[3];
            get_heading_axes(bike, u, w);
            const dReal *v = dBodyGetLinearVel(bike->frame_body);
            float speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            traffic |= find_bike_in_path(bike, u, w, speed) != nullptr;
            record->terrain_touches += bike->down != 0 || bike->crash_timer > 0;
        }
        path_boxes_per_tic = saved;
        record->traffic_tics += traffic;
    }
    record->states.assign((size_t)(ROBOTS + FALLERS) * PACKED_STATE_SIZE, 0);
    for (int slot = 0; slot < ROBOTS + FALLERS; slot++)
        pack_rider_state(bike_slots[slot], &record->states[(size_t)slot * PACKED_STATE_SIZE]);
    end_race();
    ASSERT_TRUE(read_file(test_home_dir() + "demos/default.kzdemo", &record->demo));
}

struct TicShortcuts : RaceWorld {
    void SetUp() override
    {
        RaceWorld::SetUp();
        write_rolling_heights();
    }
    void TearDown() override
    {
        set_shortcuts(1);
        stop_work_pool();
        RaceWorld::TearDown();
    }
};

}  // namespace

TEST_F(TicShortcuts, RobotRaceIsByteIdenticalWithAndWithoutThem)
{
    ride_learning_lap();
    if (HasFatalFailure())
        return;
    RaceRecord fast, plain;
    set_shortcuts(1);
    race_robots(&fast);
    if (HasFatalFailure())
        return;
    set_shortcuts(0);
    race_robots(&plain);
    if (HasFatalFailure())
        return;

    // The race is one that tries them: robots in each other's way, bikes
    // down on the ground.
    EXPECT_GT(fast.traffic_tics, 0);
    EXPECT_GT(fast.terrain_touches, 0);
    EXPECT_GT(fast.demo.size(), (size_t)10000);
    EXPECT_EQ(fast.traffic_tics, plain.traffic_tics);
    EXPECT_EQ(fast.terrain_touches, plain.terrain_touches);
    ASSERT_EQ(fast.demo.size(), plain.demo.size());
    EXPECT_TRUE(fast.demo == plain.demo) << "the demos differ";
    EXPECT_TRUE(fast.states == plain.states) << "the final rider states differ";
}
