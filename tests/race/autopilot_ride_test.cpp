// Robots ride the loop track on lines recorded from a scripted rider: the
// rider rides three laps with no robot about, its path sampled every 32
// tics and cut into sections at the timing gates; the sections go into the
// lap pool of the next race, where a robot of each personality launches at
// the gate drop and rides its laps through the gates on them.
#include "race_fixture.h"

#include "bike/physics_utils.h"
#include "race/autopilot.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "track/timing.h"

#include <cstring>
#include <vector>

namespace {

struct Section {
    std::vector<LineSample> samples;
    int start_tic = 0, end_tic = 0;
};

LineSample sample_of(const BikeState *bike)
{
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    LineSample s;
    s.x = (float)p[0];
    s.y = (float)p[1];
    s.z = (float)p[2];
    s.speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(bike->front_contact.depth > 0.0f) && !(bike->rear_contact.depth > 0.0f))
        s.speed = -s.speed;
    s.lean = get_bike_lean(bike->frame_body);
    return s;
}

// The pool row a bike with this many gates passed is riding.
int pool_row(int gates)
{
    int row, lap_first_row;
    lap_row_for_gates(gates, &row, &lap_first_row);
    int first = lap_pool_first_rows, lap_rows = lap_pool_rows - lap_pool_first_rows;
    return row < first ? row : first + (row - first) % lap_rows;
}

// A scripted rider's laps, sampled as a human rider's are, by pool row.
std::vector<std::vector<Section>> record_sections(BikeState *rider)
{
    std::vector<std::vector<Section>> rows(lap_pool_rows);
    int gates = -1;
    Section *section = nullptr;
    while (!rider->finished && current_tic < 200 * TIC_RATE) {
        if (rider->gates_passed != gates) {
            gates = rider->gates_passed;
            rows[pool_row(gates)].push_back(Section{});
            section = &rows[pool_row(gates)].back();
            section->start_tic = current_tic;
        }
        if (current_tic % 32 == 0)
            section->samples.push_back(sample_of(rider));
        run_headless_tics(1, ride_the_loop, nullptr);
        section->end_tic = current_tic;
    }
    return rows;
}

void fill_pool(const std::vector<std::vector<Section>> &rows)
{
    for (int r = 0; r < lap_pool_rows; r++) {
        LapCandidate *candidates = lap_pool_row(r);
        for (size_t k = 0; k < rows[r].size() && k < LAP_POOL_CANDIDATES; k++) {
            const Section &s = rows[r][k];
            LapCandidate *c = &candidates[k];
            size_t bytes = s.samples.size() * sizeof(LineSample);
            c->samples = (LineSample *)checked_malloc(bytes);
            memcpy(c->samples, s.samples.data(), bytes);
            c->count = (int)s.samples.size();
            c->section_time = s.end_tic - s.start_tic;
            c->serial = ++lap_serial_counter;
        }
    }
}

struct Ride {
    int launch_tic = -1;           // first tic with the clutch in after the drop
    int moving_tic = -1;           // first tic 5 ft from the start
    int recovery_tics = 0;
    double widest = 0.0;           // furthest from the loop's radius after the launch
    int tics = 0;
};

Ride ride_robot(BikeState *robot)
{
    Ride ride;
    const dReal *p = dBodyGetPosition(robot->frame_body);
    double start[3] = {p[0], p[1], p[2]};
    while (!robot->finished && current_tic < 240 * TIC_RATE) {
        run_headless_tics(1, nullptr, nullptr);
        p = dBodyGetPosition(robot->frame_body);
        if (ride.launch_tic < 0 && current_tic > race_settings.start_tic && robot->clutch > 0.0f)
            ride.launch_tic = current_tic - 1;
        double dx = p[0] - start[0], dz = p[2] - start[2];
        if (ride.moving_tic < 0 && dx * dx + dz * dz > 25.0)
            ride.moving_tic = current_tic - 1;
        if (robot->recovery_count != 0)
            ride.recovery_tics++;
        if (current_tic > race_settings.start_tic + 3 * TIC_RATE)
            ride.widest = std::fmax(ride.widest,
                                    std::fabs(std::hypot(p[0] - LOOP_X, p[2] - LOOP_Z) -
                                              LOOP_RADIUS));
    }
    ride.tics = current_tic;
    return ride;
}

}  // namespace

TEST_F(RaceWorld, RobotsFollowRecordedLinesRoundTheLoop)
{
    const int player[1] = {SLOT_PLAYER};
    ASSERT_TRUE(start(player, 1, 3, 0));
    ASSERT_EQ(lap_pool_rows, 2 * LOOP_GATES);
    std::vector<std::vector<Section>> rows = record_sections(bike_slots[0]);
    ASSERT_TRUE(bike_slots[0]->finished);
    for (int r = 0; r < lap_pool_rows; r++) {
        ASSERT_EQ(rows[r].size(), r < LOOP_GATES ? 1u : 2u) << "row " << r;
        ASSERT_GT(rows[r][0].samples.size(), 20u) << "row " << r;
    }
    end_race();

    for (int row = 1; row < AUTO_PILOT_PERSONALITY_ROWS; row++) {
        const AutoPilotPersonality *personality = &auto_pilot_personalities[row];
        SCOPED_TRACE(personality->key);
        HeadlessRace race{};
        race.track = RACE_TRACK;
        race.slot_codes[0] = SLOT_ROBOT;
        race.laps = 3;
        ASSERT_TRUE(start_headless_race(&race));
        BikeState *robot = bike_slots[0];
        ASSERT_NE(robot, nullptr);
        ASSERT_EQ(rider_kind[0], RIDER_ROBOT);
        set_auto_pilot_personality(robot, personality->key);
        ASSERT_EQ(robot->personality, row);
        fill_pool(rows);

        Ride ride = ride_robot(robot);
        int drop = race_settings.start_tic;
        EXPECT_GE(ride.launch_tic, drop + (int)(personality->reaction_low * (float)TIC_RATE));
        EXPECT_LE(ride.launch_tic, drop + (int)(personality->reaction_high * (float)TIC_RATE) + 1);
        EXPECT_GT(ride.moving_tic, ride.launch_tic);
        EXPECT_LT(ride.moving_tic, ride.launch_tic + TIC_RATE);

        ASSERT_TRUE(robot->finished) << "gates passed " << robot->gates_passed;
        EXPECT_EQ(robot->gates_passed, 3 * LOOP_GATES);
        EXPECT_EQ(robot->crash_count, 0);
        EXPECT_EQ(ride.recovery_tics, 0);
        EXPECT_LT(ride.widest, 25.0);   // the recorded line itself weaves about 15 ft
        int last = drop;
        for (int g = 0; g < robot->gates_passed; g++) {
            int t = get_gate_time(robot, g);
            EXPECT_GT(t, last) << "gate " << g;
            last = t;
        }
        for (int lap = 1; lap <= 3; lap++) {
            EXPECT_GT(get_lap_time(robot, lap), 40.0f) << "lap " << lap;
            EXPECT_LT(get_lap_time(robot, lap), 60.0f) << "lap " << lap;
        }
        EXPECT_EQ(physics_solver_errors, 0);
        end_race();
    }
}
