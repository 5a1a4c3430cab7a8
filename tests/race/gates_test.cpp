// Gates and laps: the gate record, lap arithmetic and lap times, the finish
// rule, the off-course test and rider visibility, mean section times and
// lap pool rows.
#include "race/lap_fixture.h"

#include "bike/riding_fixture.h"
#include "race/lap_pool.h"

using Gates = LapFixture;

TEST_F(Gates, GateTimeListGrowsWithUnknownGatesAndIgnoresBadIndices)
{
    BikeState *bike = add_rider(0, {});
    set_gate_time(bike, 2, 300);
    ASSERT_EQ(bike->gate_times.count, 3);
    EXPECT_EQ(get_gate_time(bike, 0), -1);
    EXPECT_EQ(get_gate_time(bike, 1), -1);
    EXPECT_EQ(get_gate_time(bike, 2), 300);
    EXPECT_EQ(get_gate_time(bike, 3), -1) << "beyond the list";
    EXPECT_EQ(get_gate_time(bike, -1), -1);

    set_gate_time(bike, 40, 500);   // past the first capacity of 16
    EXPECT_EQ(bike->gate_times.count, 41);
    EXPECT_EQ(get_gate_time(bike, 39), -1);
    EXPECT_EQ(get_gate_time(bike, 40), 500);

    set_gate_time(bike, -2, 700);
    set_gate_time(bike, GATE_INDEX_LIMIT, 700);
    set_gate_time(bike, 0x7fffffff, 700);
    EXPECT_EQ(bike->gate_times.count, 41) << "negative and huge indices are ignored";
    set_gate_time(bike, GATE_INDEX_LIMIT - 1, 900);
    EXPECT_EQ(get_gate_time(bike, GATE_INDEX_LIMIT - 1), 900);
}

TEST_F(Gates, SetGatesPassedTrimsDownwardAndKeepsTheListUpward)
{
    struct Case {
        int count;
        int gates, list, finished;
    } cases[] = {
        {4, 4, 4, 0},    // lower: trimmed, finished cleared
        {6, 6, 6, 1},    // the same count keeps finished
        {9, 9, 6, 1},    // higher: the list stays as it was
        {-3, 0, 0, 0},   // held at 0
    };
    for (const Case &c : cases) {
        BikeState *bike = add_rider(0, {10, 20, 30, 40, 50, 60});
        bike->finished = 1;
        bike->race_flag = 1;
        set_gates_passed(bike, c.count);
        EXPECT_EQ(get_gates_passed(bike), c.gates) << c.count;
        EXPECT_EQ(bike->gate_times.count, c.list) << c.count;
        EXPECT_EQ(bike->finished, c.finished) << c.count;
        EXPECT_EQ(bike->race_flag, 0) << c.count;
    }
}

TEST_F(Gates, LapProgressOverTheLapLayout)
{
    struct Case {
        int first, per_lap, gates;
        int lap, gate, lap_gate, laps_done;
    } cases[] = {
        {3, 5, 0, 0, 0, 0, 0},
        {3, 5, 2, 0, 2, 2, 0},
        {3, 5, 3, 1, 0, 1, 1},     // first lap complete: lap 1, gate 0
        {3, 5, 7, 1, 4, 5, 1},
        {3, 5, 8, 2, 0, 1, 2},
        {3, 5, 13, 3, 0, 1, 3},
        {3, 0, 13, 0, 13, 13, 0},   // no normal lap: lap 0 and the gates passed
        {0, 4, 5, 2, 1, 2, 2},
    };
    for (const Case &c : cases) {
        set_layout(c.first, c.per_lap);
        BikeState *bike = add_rider(0, steady_times(c.gates, 100));
        int lap = -1, gate = -1;
        get_lap_progress(bike, &lap, &gate);
        EXPECT_EQ(lap, c.lap) << c.first << " " << c.per_lap << " " << c.gates;
        EXPECT_EQ(gate, c.gate) << c.first << " " << c.per_lap << " " << c.gates;
        EXPECT_EQ(get_lap_gate(bike), c.lap_gate) << c.first << " " << c.per_lap << " " << c.gates;
        EXPECT_EQ(lap_of_gates(c.gates), c.laps_done) << c.first << " " << c.per_lap << " " << c.gates;
    }
    // Without timing gates there is no progress at all.
    set_layout(3, 5);
    timing_gate_count = 0;
    BikeState *bike = add_rider(0, steady_times(13, 100));
    int lap = -1, gate = -1;
    get_lap_progress(bike, &lap, &gate);
    EXPECT_EQ(lap, 0);
    EXPECT_EQ(gate, 0);
    EXPECT_EQ(get_lap_gate(bike), 0);

    set_layout(3, 5);
    EXPECT_EQ(lap_end_gate(0), 0);
    EXPECT_EQ(lap_end_gate(1), 2);
    EXPECT_EQ(lap_end_gate(2), 7);
    EXPECT_EQ(lap_end_gate(3), 12);
    EXPECT_EQ(lap_end_gate(LAP_NOT_DECIDED), 3 + 5 * (LAP_NOT_DECIDED - 1) - 1);
}

TEST_F(Gates, LapTimesRunFromGateToGate)
{
    // F = 3, P = 5; start at 128. Lap 1 ends at gate 2 (384), lap 2 at gate
    // 7 (1024), lap 3 at gate 12 (1792).
    race_settings.start_tic = 128;
    std::vector<int> times = {200, 300, 384, 500, 600, 700, 800, 1024,
                              1100, 1200, 1300, 1400, 1792};
    BikeState *bike = add_rider(0, times);
    struct Case {
        int lap;
        float seconds;
    } cases[] = {
        {1, 2.0f}, {2, 5.0f}, {3, 6.0f},
        {-1, 6.0f},   // the last completed lap: gate 7 to gate 12
        {0, 0.0f}, {4, 0.0f}, {-5, 6.0f},
    };
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(get_lap_time(bike, c.lap), c.seconds) << c.lap;
    int tics = -1;
    EXPECT_EQ(get_best_lap(bike, &tics), 2);
    EXPECT_EQ(tics, 640);

    // An unknown gate at a lap end leaves both laps beside it unknown.
    times[7] = -1;
    set_times(bike, times);
    EXPECT_EQ(get_lap_time(bike, 2), 0.0f);
    EXPECT_EQ(get_lap_time(bike, 3), 0.0f);
    EXPECT_FLOAT_EQ(get_lap_time(bike, 1), 2.0f);
    EXPECT_EQ(get_best_lap(bike, &tics), 0) << "no known lap from lap 2 on";
    EXPECT_EQ(tics, 0);

    timing_gate_count = 0;
    EXPECT_EQ(get_lap_time(bike, 1), 0.0f) << "no timing gates";
}

TEST_F(Gates, ARiderFinishesWithTheFirstLapCompletedAfterTheLeadersFinish)
{
    // F = 3, P = 5, two laps: the final gate is 7.
    race_settings.final_lap = 2;
    struct Case {
        std::vector<int> leader;
        std::vector<int> own;
        int finished;
    } cases[] = {
        // Both through gate 7, the rider after the leader.
        {steady_times(8, 125), steady_times(8, 130), 1},
        // Lapped: its first lap ended at 1200, after the leader's 1000.
        {steady_times(8, 125), {400, 800, 1200}, 1},
        // Its first lap ended before the leader finished: it goes on.
        {steady_times(8, 125), {100, 200, 300}, 0},
        // The leader has not passed the final gate.
        {steady_times(7, 125), steady_times(7, 130), 0},
        // The leader's time at the final gate is unknown.
        {{100, 200, 300, 400, 500, 600, 700, -1}, steady_times(8, 130), 0},
        // The rider's own lap end is unknown.
        {steady_times(8, 125), {100, 200, 300, 400, 500, 600, 700, -1, 1500}, 0},
    };
    for (const Case &c : cases) {
        add_rider(1, c.leader);
        BikeState *bike = add_rider(2, c.own);
        set_running_order({1, 2});
        EXPECT_EQ(check_bike_finished(bike), c.finished) << c.own.size();
        EXPECT_EQ(bike->finished, c.finished) << c.own.size();
    }
    // Once set, finished holds without a leader; without timing gates no one
    // finishes.
    BikeState *bike = add_rider(2, {});
    bike->finished = 1;
    running_order_count = 0;
    EXPECT_EQ(check_bike_finished(bike), 1);
    timing_gate_count = 0;
    EXPECT_EQ(check_bike_finished(bike), 0);
}

TEST_F(Gates, AStopInASectionIsOffCourseWhenSlowerThanTheLeaderScaledPlusBias)
{
    // The leader rode gate 2 to gate 3 in 10 s; the rider passed gate 2 at
    // 2000 and has stood still since.
    struct Case {
        float stopped_seconds, bias, scale;
        int slow;
    } cases[] = {
        {30.0f, 10.0f, 1.5f, 1},   // 30 >= 10 x 1.5 + 10
        {25.0f, 10.0f, 1.5f, 1},   // at the limit
        {24.0f, 10.0f, 1.5f, 0},
        {30.0f, 20.0f, 1.5f, 0},   // 30 < 35
        {30.0f, 10.0f, 2.0f, 1},
        {30.0f, 10.0f, 2.5f, 0},
    };
    for (const Case &c : cases) {
        add_rider(1, {1000, 1500, 2000, 3280, 4000});
        BikeState *bike = add_rider(2, {1100, 1600, 2000});
        set_running_order({1, 2});
        off_course_bias = c.bias;
        off_course_scale = c.scale;
        current_tic = 2000 + (int)(c.stopped_seconds * (float)TIC_RATE);
        EXPECT_EQ(is_gate_section_slow(bike, 3), c.slow) << c.stopped_seconds << " " << c.bias;
        EXPECT_EQ(is_rider_off_course(bike), c.slow) << c.stopped_seconds << " " << c.bias;
    }
    off_course_bias = 10.0f;
    off_course_scale = 1.5f;

    // No rider has passed the gate after the section: no reference.
    BikeState *bike = add_rider(2, {1100, 1600, 2000});
    add_rider(1, {1000, 1500, 2000});
    set_running_order({1, 2});
    current_tic = 2000 + 60 * TIC_RATE;
    EXPECT_EQ(is_gate_section_slow(bike, 3), 0);

    // A missed gate: the section is measured between the nearest known
    // gates, not up to now.
    add_rider(1, {1000, 1500, 2000, 3280, 4000});
    set_times(bike, {1100, -1, 1600, 1640});
    set_running_order({1, 2});
    current_tic = 10000;
    EXPECT_EQ(is_gate_section_slow(bike, 1), 0) << "gate 0 to gate 2: 500 tics";
    EXPECT_EQ(is_gate_section_slow(bike, 2), 0);
    EXPECT_EQ(is_gate_section_slow(bike, 4), 1) << "gate 3 to now: 65 s";
}

TEST_F(Gates, HiddenRiders)
{
    // Slot 0 our own rider, slot 1 the leader, slot 2 the rider looked at.
    struct Case {
        const char *what;
        int kind;
        int online;            // net_socket 5, own slot 0
        int watching;          // local_gate_position 160
        int newest_state_age;  // tics; -1 = no history
        int last_state_age;
        int own_finished;
        int rider_finished;
        int hidden;
    } cases[] = {
        {"robot", RIDER_ROBOT, 0, 0, -1, 0, 0, 0, 0},
        {"local", RIDER_LOCAL, 0, 0, -1, 0, 0, 0, 0},
        {"local, another followed, watching online", RIDER_LOCAL, 1, 1, -1, 0, 0, 0, 1},
        {"remote, fresh history", RIDER_REMOTE, 0, 0, 10, 0, 0, 0, 0},
        {"remote, history 2 s old", RIDER_REMOTE, 0, 0, 256, 0, 0, 0, 1},
        {"remote, no history", RIDER_REMOTE, 0, 0, -1, 0, 0, 0, 1},
        {"online, no state for 1 s", RIDER_REMOTE, 1, 0, 10, 128, 0, 0, 1},
        {"online, rider finished", RIDER_REMOTE, 1, 0, 10, 10, 0, 1, 1},
        {"online, both finished", RIDER_REMOTE, 1, 0, 10, 10, 1, 1, 0},
        {"online, racing", RIDER_REMOTE, 1, 0, 10, 10, 0, 0, 0},
    };
    race_settings.final_lap = 1;   // finishing at gate 2
    race_settings.start_tic = 0;
    for (const Case &c : cases) {
        clear_state_history();
        current_tic = 4100;
        // The leader finished at 3000; neither we nor the rider are off
        // course (16 s since the last gate against 8 s x 1.5 + 10).
        add_rider(1, {1000, 2000, 3000, 4000}, RIDER_ROBOT);
        BikeState *own = add_rider(0, {1000, 2000}, RIDER_LOCAL);
        BikeState *bike = add_rider(2, {1100, 2100}, c.kind);
        if (c.rider_finished)
            set_times(bike, {1100, 2100, 3600});
        if (c.own_finished)
            set_times(own, {1000, 2000, 3500});
        set_running_order({1, 0, 2});
        net_socket = c.online ? 5 : -1;
        own_slot = c.online ? 0 : NO_SLOT;
        local_gate_position = c.watching ? NO_SLOT : 0;
        followed_slot = 1;
        if (c.newest_state_age >= 0) {
            state_history[2].ticks[0] = current_tic - c.newest_state_age - 4;
            state_history[2].ticks[1] = current_tic - c.newest_state_age;
            state_history[2].head = 1;
        }
        last_state_tic[2] = (uint32_t)(current_tic - c.last_state_age);
        EXPECT_EQ(is_rider_hidden(2), c.hidden) << c.what;
    }
    EXPECT_EQ(is_rider_hidden(7), 1) << "an empty slot";
    EXPECT_EQ(is_rider_hidden(-1), 1);
    EXPECT_EQ(is_rider_hidden(BIKE_SLOT_COUNT), 1);
}

TEST_F(Gates, OnlineARiderLeftOffCourseIsSetAsideUnlessWeAreOffCourseToo)
{
    net_socket = 5;
    own_slot = 0;
    local_gate_position = 0;
    current_tic = 40 * TIC_RATE;
    struct Case {
        std::vector<int> own, other;
        int set_aside;
    } cases[] = {
        {{1000, 2000, 3000, 4000}, {1000, 2000, 3000, 4000}, 0},
        {{1000, 2000, 3000, 4000}, {1000}, 1},   // stopped 32 s after gate 0
        {{1000, 2000, 3000, 4000}, {}, 1},       // no gate passed
        {{1000}, {1000}, 0},                     // we are off course as well
        {{}, {1000}, 0},                         // we have passed no gate
    };
    auto race = [](const std::vector<int> &own, const std::vector<int> &other) {
        add_rider(0, own, RIDER_LOCAL);
        add_rider(1, other, RIDER_REMOTE);
        add_rider(2, {1000, 1640, 2000, 4000, 5000}, RIDER_REMOTE);
        last_state_tic[1] = last_state_tic[2] = (uint32_t)current_tic;
        set_running_order({2, 0, 1});
    };
    for (const Case &c : cases) {
        race(c.own, c.other);
        EXPECT_EQ(is_rider_set_aside(1), c.set_aside) << c.own.size() << " " << c.other.size();
    }
    race({1000, 2000, 3000, 4000}, {1000});
    EXPECT_EQ(is_rider_set_aside(0), 0) << "never our own rider";
    last_state_tic[1] = (uint32_t)(current_tic - TIC_RATE + 1);
    EXPECT_EQ(is_rider_set_aside(1), 1);
    running_order_count = 1;
    EXPECT_EQ(is_rider_set_aside(1), 0) << "fewer than two riders: no off-course rule";
    last_state_tic[1] = (uint32_t)(current_tic - TIC_RATE);
    EXPECT_EQ(is_rider_set_aside(1), 1) << "no state for a second";
    race({1000, 2000, 3000, 4000}, {1000});
    current_tic = 9 * TIC_RATE;
    last_state_tic[1] = (uint32_t)current_tic;
    EXPECT_EQ(is_rider_set_aside(1), 0) << "before off_course_bias seconds from the start";
    own_slot = 7;
    current_tic = 40 * TIC_RATE;
    EXPECT_EQ(is_rider_set_aside(1), 0) << "our own slot holds no bike";
}

TEST_F(Gates, AverageSectionTimeOverTheRidersOfTheRunningOrder)
{
    EXPECT_EQ(average_section_time(0, 2), 7680) << "no riders";

    // F = 3, P = 5. Rider 1 rode three laps, rider 2 one and a half.
    add_rider(1, {100, 200, 300, 400, 500, 700, 800, 900, 1000, 1100, 1200, 1500, 1600});
    add_rider(2, {110, 230, 350, 470, 590, 650, 800, 950, 1200, 1300});
    add_rider(3, {120, -1, 400});   // a gap: no first-lap sample across gate 1
    set_running_order({1, 2, 3});
    struct Case {
        int first, last, tics;
    } cases[] = {
        {0, 2, (200 + 240) / 2},          // first lap: one sample each
        {-1, 0, (100 + 110 + 120) / 3},   // from the gate drop at tic 0
        {1, 2, (100 + 120) / 2},          // rider 3 has no time at gate 1
        // Gates 4 to 5 of lap 2 and 9 to 10 of lap 3: rider 1 has both
        // (200 and 100), rider 2 only lap 2's (60).
        {4, 5, ((200 + 100) / 2 + 60) / 2},
        // Gate 9 to 10 maps onto the same section of every lap.
        {9, 10, ((200 + 100) / 2 + 60) / 2},
        {5, 2, 7680},   // a section ending before it starts
    };
    for (const Case &c : cases)
        EXPECT_EQ(average_section_time(c.first, c.last), c.tics) << c.first << "-" << c.last;
    // Before gate 0 a section starts at the gate drop.
    race_settings.start_tic = 40;
    EXPECT_EQ(average_section_time(-1, 0), (60 + 70 + 80) / 3);
    EXPECT_EQ(average_section_time(-1, 2), (300 - 40 + 350 - 40) / 2);
    race_settings.start_tic = 0;

    // A local rider counts offline and while riding online, not while only
    // watching.
    rider_kind[1] = RIDER_LOCAL;
    net_socket = 5;
    local_gate_position = NO_SLOT;
    EXPECT_EQ(average_section_time(0, 2), 240);
    local_gate_position = 3;
    EXPECT_EQ(average_section_time(0, 2), 220);
    net_socket = -1;

    // A track without a normal lap has no sample beyond the first lap.
    set_layout(3, 0);
    EXPECT_EQ(average_section_time(4, 5), 7680);
    EXPECT_EQ(average_section_time(0, 2), 220);
}

TEST_F(Gates, LapPoolRowsSkipGatesThatAreNoTimingGates)
{
    // First lap: gates 0, (1), 2, 3; normal lap: 4, (5), 6. Rows: 3 of the
    // first lap, 2 per normal lap.
    set_layout(4, 3);
    lap_gate_list.entries[1] += NOT_TIMING_MARK;
    lap_gate_list.entries[5] += NOT_TIMING_MARK;
    lap_gate_list.first_lap_timing = 3;
    lap_gate_list.normal_lap_timing = 2;
    struct Case {
        int gates, row, first_row;
    } cases[] = {
        {0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 2, 0},
        {4, 3, 3}, {5, 4, 3}, {6, 4, 3},
        {7, 5, 5}, {8, 6, 5}, {10, 7, 7},
        {-4, 0, 0},
    };
    for (const Case &c : cases) {
        int row = -1, first_row = -1;
        lap_row_for_gates(c.gates, &row, &first_row);
        EXPECT_EQ(row, c.row) << c.gates;
        EXPECT_EQ(first_row, c.first_row) << c.gates;
    }
    // Without a normal lap a later gate count gets the first lap's last row.
    lap_gate_list.normal_lap_count = 0;
    int row = -1, first_row = -1;
    lap_row_for_gates(9, &row, &first_row);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(first_row, 0);
    // Gate counts near 2^20 on a one-gate lap stay in range.
    lap_gate_list.normal_lap_count = 1;
    lap_gate_list.entries[4] = 0;
    lap_gate_list.normal_lap_timing = 200;
    lap_row_for_gates(GATE_INDEX_LIMIT, &row, &first_row);
    EXPECT_EQ(first_row, 3 + (GATE_INDEX_LIMIT - 4) * 200);
}

TEST_F(Gates, CandidateEstimate)
{
    struct Case {
        int pair_time, runs, penalties, pair_sum, expected;
    } cases[] = {
        {1000, 0, 0, 0, 1250},
        {1000, 0, 2, 0, 1250 + 640},
        {1000, 3, 1, 3300, 1100 + 640 / 4},
        {1000, 2, 0, 2000, 1000},
        {LAP_NO_TIME, 0, 0, 0, LAP_NO_TIME * 5 / 4},
        {0x7fffffff, 0, 0, 0, 0x7fffffff},   // held to the int range
    };
    for (const Case &c : cases) {
        LapCandidate candidate = {};
        candidate.pair_time = c.pair_time;
        candidate.runs = c.runs;
        candidate.penalties = c.penalties;
        candidate.pair_sum = c.pair_sum;
        EXPECT_EQ(estimate_lap_candidate_time(&candidate), c.expected) << c.pair_time;
    }
}

// A bike on a test track with four gates in a square loop, each lap all
// four: gate 0 at (100, 100) crossed toward +x, gate 1 at (300, 100)
// toward +z, gate 2 at (300, 300) toward -x, gate 3 at (100, 300) toward
// -z. The front wheel is moved by hand.
struct GatePassing : testing::Test {
    BikeState *bike = nullptr;

    void SetUp() override
    {
        write_riding_shapes();
        write_riding_track("tracks/gates");
        write_file(test_data_dir() + "tracks/gates/timing_gates",
                   "checkpoints:\n"
                   "20 [ 100 0 100 ] [ 1 0 0 ]\n"
                   "20 [ 300 0 100 ] [ 0 0 1 ]\n"
                   "20 [ 300 0 300 ] [ -1 0 0 ]\n"
                   "20 [ 100 0 300 ] [ 0 0 -1 ]\n"
                   "firstlap:\n0 1 2 3\n"
                   "normallap:\n0 1 2 3\n");
        set_track_folder("tracks/gates");
        ASSERT_EQ(load_track(), 1);
        ASSERT_EQ(timing_gate_count, 4);
        ASSERT_TRUE(create_physics_world());
        clear_bike_states();
        clear_state_history();
        race_settings = RaceSettings{};
        race_settings.laps = 2;
        race_settings.final_lap = 2;
        race_settings.halfway_lap = LAP_NOT_DECIDED;
        current_tic = 0;
        running_order_count = 0;
        results_written = 0;
        bike = create_bike("yz250f(2017)", 0, 0, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        rider_kind[0] = RIDER_LOCAL;
    }

    void TearDown() override
    {
        clear_bike_states();
        running_order_count = 0;
        destroy_physics_world();
        free_track();
        free_shape_cache();
        set_track_folder(nullptr);
    }

    // Inside each gate, on its far side.
    static constexpr float GATE_POINTS[4][2] = {{110, 100}, {300, 110}, {290, 300}, {100, 290}};

    void ride_to(float x, float z, int tic)
    {
        dBodySetPosition(bike->front_wheel_body, x, 1.0, z);
        current_tic = tic;
        update_gates_and_lap_pool(bike);
    }

    void ride_to_gate(int checkpoint, int tic)
    {
        ride_to(GATE_POINTS[checkpoint][0], GATE_POINTS[checkpoint][1], tic);
    }

    std::vector<int> gate_times() const
    {
        std::vector<int> times;
        for (int i = 0; i < bike->gate_times.count; i++)
            times.push_back(get_gate_time(bike, i));
        return times;
    }
};

TEST_F(GatePassing, GatesArePassedInOrderUntilTheFinalLapEnds)
{
    struct Step {
        float x, z;
        int gates;
        int finished;
    } steps[] = {
        {200, 200, 0, 0},   // between gates
        {90, 100, 0, 0},    // within gate 0's radius, before its line
        {110, 100, 1, 0},
        {112, 100, 1, 0},   // the gate passed last is not passed again
        {300, 110, 2, 0},
        {290, 300, 3, 0},
        {100, 290, 4, 0},   // lap 1 of 2: the bike goes on
        {110, 100, 5, 0},
        {300, 110, 6, 0},
        {290, 300, 7, 0},
        {100, 290, 8, 1},   // the last gate of lap 2
        {110, 100, 8, 1},   // a finished bike passes nothing
    };
    int tic = 100;
    for (const Step &s : steps) {
        ride_to(s.x, s.z, tic);
        EXPECT_EQ(bike->gates_passed, s.gates) << "tic " << tic;
        EXPECT_EQ(bike->finished, s.finished) << "tic " << tic;
        tic += 100;
    }
    EXPECT_EQ(gate_times(), (std::vector<int>{300, 500, 600, 700, 800, 900, 1000, 1100}));
    // Every pass updated the results: the only rider finished, so they are
    // written.
    EXPECT_EQ(running_order_count, 1);
    EXPECT_EQ(results_written, 1);
    std::string text;
    ASSERT_TRUE(read_file(test_home_dir() + "results.txt", &text));
    EXPECT_EQ(text.rfind("Time=0.00|Laps=2|Track=tracks/gates|Date=", 0), 0u) << text;
}

TEST_F(GatePassing, AMissedGateStaysUnknownAndCanBeCaughtUp)
{
    ride_to_gate(0, 100);
    ride_to_gate(2, 200);   // gate 1 missed: gate 2 counts, at offset 1
    EXPECT_EQ(bike->gates_passed, 3);
    EXPECT_EQ(gate_times(), (std::vector<int>{100, -1, 200}));
    ride_to_gate(1, 300);   // back through gate 1: tested at offset -2
    EXPECT_EQ(gate_times(), (std::vector<int>{100, 300, 200}));
    EXPECT_EQ(bike->gates_passed, 2);
    ride_to_gate(3, 400);   // gate 3 lies at offset 1 again
    EXPECT_EQ(bike->gates_passed, 4);
    EXPECT_EQ(gate_times(), (std::vector<int>{100, 300, 200, 400}));
}

TEST_F(GatePassing, ALapsLastGateCannotBeSkipped)
{
    ride_to_gate(0, 100);
    ride_to_gate(1, 200);
    ride_to_gate(2, 300);
    ride_to_gate(0, 400);   // gate 4 (lap 2's first) past the unpassed gate 3
    ride_to_gate(1, 500);
    EXPECT_EQ(bike->gates_passed, 3);
    EXPECT_EQ(bike->gate_times.count, 3);
    ride_to_gate(3, 600);
    ride_to_gate(0, 700);
    EXPECT_EQ(bike->gates_passed, 5);
}

TEST_F(GatePassing, TheLapEndTestsTheFinalLapAndTheLeader)
{
    struct Case {
        const char *what;
        int laps, final_lap;
        int leader_gates;   // a second rider in slot 1; 0 = none
        int finished_at;    // gates passed when finished; 0 = not within 3 laps
    } cases[] = {
        {"laps only", 1, 1, 0, 4},
        {"time up, 1 lap more", 1, 2, 0, 8},   // not after `laps` laps
        {"time not up", 1, LAP_NOT_DECIDED, 0, 0},
        {"the leader has finished", 3, 3, 12, 4},
        {"the leader is on its last lap", 3, 3, 11, 12},
    };
    for (const Case &c : cases) {
        set_gates_passed(bike, 0);
        bike->gate_times.count = 0;
        results_written = 0;
        running_order_count = 0;
        race_settings.laps = c.laps;
        race_settings.final_lap = c.final_lap;
        if (c.leader_gates) {
            BikeState *leader = &bike_states[1];
            if (!leader->gate_times.data)
                init_growable_array(&leader->gate_times, (int)sizeof(int));
            bike_slots[1] = leader;
            rider_kind[1] = RIDER_ROBOT;
            // Its last gate at 250: after our gate 0 (100), before our
            // first lap's end (400).
            for (int g = 0; g < c.leader_gates; g++)
                set_gate_time(leader, g, 30 + 20 * g);
            leader->gates_passed = c.leader_gates;
            write_results();
        }
        int finished_at = 0;
        for (int g = 0; g < 12 && !finished_at; g++) {
            ride_to_gate(g % 4, 100 * (g + 1));
            if (bike->finished)
                finished_at = bike->gates_passed;
        }
        EXPECT_EQ(finished_at, c.finished_at) << c.what;
    }
}

TEST_F(GatePassing, AGatePassedWhileDownSpoilsTheRecordingAndClearsDown)
{
    ride_to_gate(0, 100);
    bike->down = 1;
    ride_to_gate(1, 200);   // riding row 1 (gate 0 to gate 1): buffer 1
    EXPECT_EQ(bike->lap_buffer_spoiled[1], 1);
    EXPECT_EQ(bike->lap_buffer_spoiled[0], 0);
    EXPECT_EQ(bike->down, 0);
    bike->down = 1;
    ride_to(200, 200, 300);
    EXPECT_EQ(bike->down, 2) << "seen, but only a gate clears it";

    // Without timing gates nothing is passed.
    timing_gate_count = 0;
    ride_to_gate(2, 400);
    EXPECT_EQ(bike->gates_passed, 2);
}
