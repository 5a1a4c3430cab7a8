// The lap pool: offers of recorded sections (cancelled, duplicate, the 5/4
// rule), the choice of the candidate to replace, penalties and credited
// runs; and the pool's part of gate passing with a real bike: recording a
// human's line, offering its sections, crediting and penalising a robot's
// picks, and a finished robot's roll-out.
#include "race/lap_fixture.h"

#include "bike/bike_pose.h"
#include "bike/riding_fixture.h"
#include "core/alloc.h"
#include "race/autopilot.h"
#include "race/lap_pool.h"
#include "render/render_settings.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A straight section along +x from (x, 0, z): one sample every 5 ft.
std::vector<LineSample> section_at(float x, float z, int count, float speed = 30.0f)
{
    std::vector<LineSample> samples;
    for (int i = 0; i < count; i++)
        samples.push_back({x + 5.0f * (float)i, 0.0f, z, speed, 0.0f});
    return samples;
}

struct Stats {
    int pair_time, runs, penalties, pair_sum;
};

// A stored candidate made by hand, as a line file would leave it.
void put_candidate(int row, int index, const std::vector<LineSample> &samples, Stats s)
{
    LapCandidate *c = &lap_pool_row(row)[index];
    checked_free(c->samples);
    c->samples = (LineSample *)xmalloc(samples.size() * sizeof(LineSample));
    for (size_t i = 0; i < samples.size(); i++)
        c->samples[i] = samples[i];
    c->count = (int)samples.size();
    c->section_time = s.pair_time / 2;
    c->pair_time = s.pair_time;
    c->runs = s.runs;
    c->penalties = s.penalties;
    c->pair_sum = s.pair_sum;
    c->section_sum = s.pair_sum / 2;
    c->serial = ++lap_serial_counter;
}

// Every candidate of the row stored, all starting at the same place.
void fill_row(int row, Stats s)
{
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        put_candidate(row, i, section_at(0.0f, 0.1f * (float)i, 4), s);
}

std::string log_path()
{
    return test_dir() + "/pool_log.txt";
}

std::string log_text()
{
    std::string text;
    read_file(log_path(), &text);
    return text;
}

}  // namespace

struct LapPool : LapFixture {
    void SetUp() override
    {
        LapFixture::SetUp();
        setenv("VOKE_LOGFILE", log_path().c_str(), 1);
        debug_level = 1;
        create_lap_pool(3, 5);
    }

    void TearDown() override
    {
        debug_level = 0;
        free_lap_pool();
        LapFixture::TearDown();
    }
};

TEST_F(LapPool, AnOfferFillsTheFirstEmptySlotWithItsTimesAndANewSerial)
{
    std::vector<LineSample> a = section_at(0, 0, 6), b = section_at(0, 50, 1);
    put_candidate(2, 0, section_at(0, 100, 3), {900, 0, 0, 0});
    lap_pool_row(2)[0].last_picked = 4321;
    lap_pool_row(2)[1].last_picked = 77;

    EXPECT_EQ(offer_lap_section(2, a.data(), (int)a.size(), 0, 300, 700), 1);
    const LapCandidate *c = &lap_pool_row(2)[1];
    ASSERT_EQ(c->count, 6);
    EXPECT_EQ(c->samples[5].x, 25.0f);
    EXPECT_NE(c->samples, a.data()) << "the pool keeps its own copy";
    EXPECT_EQ(c->section_time, 300);
    EXPECT_EQ(c->pair_time, 700);
    EXPECT_EQ(c->runs, 0);
    EXPECT_EQ(c->penalties, 0);
    EXPECT_EQ(c->best_section_time, LAP_NO_TIME);
    EXPECT_EQ(c->best_pair_time, LAP_NO_TIME);
    EXPECT_EQ(c->section_sum, 0);
    EXPECT_EQ(c->pair_sum, 0);
    EXPECT_EQ(c->serial, 2);
    EXPECT_EQ(c->last_picked, 77) << "storing leaves the last pick as it was";

    // A one-sample section, and a row of a later lap: it wraps into the
    // normal lap (rows 3..7), here row 3 + (11 - 3) mod 5 = 6.
    EXPECT_EQ(offer_lap_section(11, b.data(), 1, 0, 100, 200), 0);
    EXPECT_EQ(lap_pool_row(6)[0].count, 1);
    EXPECT_EQ(lap_pool_row(6)[0].serial, 3);
    EXPECT_NE(log_text().find("auto pilot: evicting 6 (times: 7812.50 7812.50 tested (0 0): "
                              "0.00 0.00 repl: 0.781250 1.562500)\n"),
              std::string::npos)
        << log_text();

    // Without a pool nothing is offered.
    free_lap_pool();
    EXPECT_EQ(offer_lap_section(0, a.data(), (int)a.size(), 0, 300, 700), -1);
}

TEST_F(LapPool, EmptyOrSpoiledSectionsAreCancelled)
{
    std::vector<LineSample> a = section_at(0, 0, 4);
    EXPECT_EQ(offer_lap_section(1, a.data(), 0, 0, 300, 700), -1);
    EXPECT_EQ(offer_lap_section(1, nullptr, 4, 0, 300, 700), -1);
    EXPECT_EQ(offer_lap_section(1, a.data(), 4, 1, 300, 700), -1);
    EXPECT_EQ(offer_lap_section(1, a.data(), LAP_SECTION_SAMPLE_LIMIT + 1, 0, 300, 700), -1);
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        EXPECT_EQ(lap_pool_row(1)[i].count, 0);
    std::string text = log_text();
    size_t first = text.find("auto pilot: 1 canceled\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find("auto pilot: 1 canceled\n", first + 1), std::string::npos);

    // The log lines need the debug level.
    debug_level = 0;
    EXPECT_EQ(offer_lap_section(2, a.data(), 4, 1, 300, 700), -1);
    EXPECT_EQ(log_text().find("auto pilot: 2 canceled"), std::string::npos);
}

TEST_F(LapPool, ASectionMatchingAStoredOneSampleBySampleIsADuplicate)
{
    struct Case {
        const char *what;
        float dx, dspeed;
        int count_change;
        int duplicate;
    } cases[] = {
        {"the same", 0, 0, 0, 1},
        {"1/16 ft off", 0.0625f, 0, 0, 1},
        {"1/16 ft/s slower", 0, 0.0625f, 0, 1},
        {"0.07 ft off", 0.07f, 0, 0, 0},
        {"0.07 ft/s slower", 0, 0.07f, 0, 0},
        {"one sample fewer", 0, 0, -1, 0},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(3, 5);
        std::vector<LineSample> stored = section_at(0, 0, 5);
        ASSERT_EQ(offer_lap_section(4, stored.data(), 5, 0, 300, 700), 0);
        std::vector<LineSample> again = stored;
        again[3].x += c.dx;
        again[3].speed -= c.dspeed;
        int count = 5 + c.count_change;
        int slot = offer_lap_section(4, again.data(), count, 0, 300, 700);
        EXPECT_EQ(slot, c.duplicate ? -1 : 1) << c.what;
        EXPECT_EQ(lap_pool_row(4)[1].count, c.duplicate ? 0 : count) << c.what;
    }
    EXPECT_NE(log_text().find("auto pilot: 4 rejected (duplicate)\n"), std::string::npos);
}

// A full row: every candidate fails at least as often as it finishes and
// starts at the same place, so the slowest expected one is replaced, and
// only by a section whose pair time is at most 4/5 of its expectation.
TEST_F(LapPool, AFullRowTakesASectionOnlyWhenTheReplacedOneIsExpectedAtLeastFiveFourthsSlower)
{
    struct Case {
        const char *what;
        Stats slowest;
        int pair_time;
        int stored;
    } cases[] = {
        // No runs: 1000 x 5 / 4 = 1250 = 1000 x 5 / 4.
        {"untried, equal", {1000, 0, 0, 0}, 1000, 1},
        {"untried, a tic slower", {1000, 0, 0, 0}, 1001, 0},
        {"untried, much faster", {1000, 0, 0, 0}, 400, 1},
        // Untried with a penalty: 1250 + 640 = 1890 = 1512 x 5 / 4.
        {"penalised", {1000, 0, 1, 0}, 1512, 1},
        {"penalised, a tic slower", {1000, 0, 1, 0}, 1513, 0},
        // 4 runs, 4 penalties: 4000 / 4 + 640 x 4 / 8 = 1320 = 1056 x 5 / 4.
        {"tried", {1000, 4, 4, 4000}, 1056, 1},
        {"tried, a tic slower", {1000, 4, 4, 4000}, 1057, 0},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(3, 5);
        fill_row(5, {100, 0, 0, 0});
        put_candidate(5, 17, section_at(0, 1.7f, 4), c.slowest);
        int old_serial = lap_pool_row(5)[17].serial;
        std::vector<LineSample> offered = section_at(40, 40, 7);
        int slot = offer_lap_section(5, offered.data(), 7, 0, 500, c.pair_time);
        const LapCandidate *target = &lap_pool_row(5)[17];
        if (c.stored) {
            EXPECT_EQ(slot, 17) << c.what;
            EXPECT_EQ(target->count, 7) << c.what;
            EXPECT_EQ(target->pair_time, c.pair_time) << c.what;
            EXPECT_EQ(target->runs, 0) << c.what;
            EXPECT_EQ(target->penalties, 0) << c.what;
            EXPECT_EQ(target->serial, lap_serial_counter) << c.what;
        } else {
            EXPECT_EQ(slot, -1) << c.what;
            EXPECT_EQ(target->count, 4) << c.what;
            EXPECT_EQ(target->serial, old_serial) << c.what;
        }
    }
    std::string text = log_text();
    EXPECT_NE(text.find("auto pilot: 5 rejected (too slow)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("auto pilot: evicting 5 (times: 3.91 7.81 tested (4 4): 3.91 7.81 repl: "
                        "3.906250 8.250000)\n"),
              std::string::npos)
        << text;
}

TEST_F(LapPool, EvictionTakesTheSlowestEligibleCandidate)
{
    // Stats of candidates 0..44 and where each starts (x); the rest of the
    // candidates share one start at 0.
    struct Special {
        int index;
        Stats stats;
        float start_x;
    };
    struct Case {
        const char *what;
        int finishing;   // candidates 0.. that finish more often than they fail
        std::vector<Special> special;
        int expected;
    } cases[] = {
        // Finishing candidates have e = 1000 with 2 runs; failing ones 1250.
        {"22 finishing: only failing ones", 22, {{3, {1000, 2, 0, 4000}, 0}}, 22},
        {"23 finishing: all", 23, {{3, {1000, 2, 0, 4000}, 0}}, 3},
        {"ties go to the first", 22, {}, 22},
        {"a later one must be higher", 22, {{30, {1001, 0, 0, 0}, 0}}, 30},
        {"as many penalties as runs is failing", 22,
         {{10, {1000, 3, 3, 9000}, 0}}, 10},   // 3000 + 320
        // A distinct start counts 3/4: 2000 x 5/4 x 3/4 = 1875 still beats
        // 1250, 1200 x 5/4 x 3/4 = 1125 does not; a start 2 ft away is
        // distinct, one 1.9 ft away is shared.
        {"a distinct start, still slowest", 22, {{40, {2000, 0, 0, 0}, 500}}, 40},
        {"a distinct start kept", 22, {{40, {1200, 0, 0, 0}, 500}}, 22},
        {"a start 2 ft away is distinct", 22, {{40, {1200, 0, 0, 0}, 2.0f}}, 22},
        {"a start 1.9 ft away is shared", 22, {{40, {1200, 0, 0, 0}, 1.9f}}, 40},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(3, 5);
        for (int i = 0; i < LAP_POOL_CANDIDATES; i++) {
            Stats s = i < c.finishing ? Stats{800, 2, 0, 2000} : Stats{1000, 0, 0, 0};
            float x = 0.0f;
            for (const Special &sp : c.special)
                if (sp.index == i) {
                    s = sp.stats;
                    x = sp.start_x;
                }
            put_candidate(0, i, section_at(x, 0, 3), s);
        }
        EXPECT_EQ(choose_eviction_slot(0), c.expected) << c.what;
    }
}

TEST_F(LapPool, EvictionNeverChoosesAnEmptyCandidate)
{
    EXPECT_EQ(choose_eviction_slot(0), -1) << "an empty row";
    put_candidate(0, 9, section_at(0, 0, 3), {500, 0, 0, 0});
    put_candidate(0, 20, section_at(0, 0, 3), {400, 0, 0, 0});
    EXPECT_EQ(choose_eviction_slot(0), 9);
    // Only finishing candidates, fewer than 23: none is eligible.
    lap_pool_row(0)[9].runs = lap_pool_row(0)[20].runs = 1;
    lap_pool_row(0)[9].pair_sum = lap_pool_row(0)[20].pair_sum = 500;
    EXPECT_EQ(choose_eviction_slot(0), -1);
    free_lap_pool();
    EXPECT_EQ(choose_eviction_slot(0), -1) << "no pool";
}

TEST_F(LapPool, PenaltiesAndRunsGoToTheCandidateWithTheSerial)
{
    put_candidate(1, 3, section_at(0, 0, 3), {800, 0, 0, 0});
    put_candidate(1, 8, section_at(0, 9, 3), {800, 0, 0, 0});
    int serial = lap_pool_row(1)[8].serial;

    penalise_candidate(1, serial);
    penalise_candidate(1, 0);
    penalise_candidate(1, 999);
    penalise_candidate(2, serial);   // another row
    penalise_candidate(-1, serial);
    EXPECT_EQ(lap_pool_row(1)[8].penalties, 1);
    EXPECT_EQ(lap_pool_row(1)[3].penalties, 0);

    credit_lap_candidate(1, serial, 400, 900);
    credit_lap_candidate(1, serial, 350, 950);
    credit_lap_candidate(1, serial, -5, 900);   // times running backwards
    credit_lap_candidate(1, 0, 100, 100);
    const LapCandidate *c = &lap_pool_row(1)[8];
    EXPECT_EQ(c->runs, 2);
    EXPECT_EQ(c->best_section_time, 350);
    EXPECT_EQ(c->best_pair_time, 900);
    EXPECT_EQ(c->section_sum, 750);
    EXPECT_EQ(c->pair_sum, 1850);
    EXPECT_EQ(lap_pool_row(1)[3].runs, 0);

    // Counts and sums stop at the int range instead of turning negative.
    lap_pool_row(1)[8].pair_sum = 0x7fffff00;
    lap_pool_row(1)[8].penalties = 0x7fffffff;
    credit_lap_candidate(1, serial, 400, 900);
    penalise_candidate(1, serial);
    EXPECT_EQ(c->pair_sum, 0x7fffffff);
    EXPECT_EQ(c->penalties, 0x7fffffff);
}

// A bike on a track with four gates in a square loop, each lap all four:
// gate 0 at (100, 100) crossed toward +x, gate 1 at (300, 100) toward +z,
// gate 2 at (300, 300) toward -x, gate 3 at (100, 300) toward -z. The pool
// has 4 first-lap and 4 normal-lap rows. The bike is set upright, facing
// -z, wherever a step puts it.
struct PoolRiding : testing::Test {
    BikeState *bike = nullptr;
    float rest_height = 0.0f;

    void SetUp() override
    {
        setenv("VOKE_LOGFILE", log_path().c_str(), 1);
        write_riding_shapes();
        write_riding_track("tracks/pool");
        write_file(test_data_dir() + "tracks/pool/timing_gates",
                   "checkpoints:\n"
                   "20 [ 100 0 100 ] [ 1 0 0 ]\n"
                   "20 [ 300 0 100 ] [ 0 0 1 ]\n"
                   "20 [ 300 0 300 ] [ -1 0 0 ]\n"
                   "20 [ 100 0 300 ] [ 0 0 -1 ]\n"
                   "firstlap:\n0 1 2 3\n"
                   "normallap:\n0 1 2 3\n");
        set_track_folder("tracks/pool");
        ASSERT_EQ(load_track(), 1);
        ASSERT_NE(lap_pool, nullptr);
        ASSERT_EQ(lap_pool_rows, 8);
        ASSERT_TRUE(create_physics_world());
        clear_bike_states();
        clear_state_history();
        race_settings = RaceSettings{};
        race_settings.start_tic = 40;
        race_settings.laps = 2;
        race_settings.final_lap = 2;
        race_settings.halfway_lap = LAP_NOT_DECIDED;
        current_tic = 0;
        running_order_count = 0;
        results_written = 0;
        bike = create_bike("yz250f(2017)", 0, 0, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        rider_kind[0] = RIDER_LOCAL;
        float rest[3];
        get_rest_position(bike, 0, rest);
        rest_height = rest[1];
    }

    void TearDown() override
    {
        debug_level = 0;
        clear_bike_states();
        running_order_count = 0;
        destroy_physics_world();
        free_track();
        free_shape_cache();
        set_track_folder(nullptr);
    }

    // 12 ft past each gate's line: the front wheel is inside it.
    static constexpr float GATE_POINTS[4][2] = {{112, 100}, {300, 112}, {288, 300}, {100, 288}};
    static constexpr float AWAY[2] = {200, 200};

    // The frame at (x, z) on the ground (or lifted), moving at the speed
    // toward -z.
    void place(float x, float z, float speed = 20.0f, float lift = 0.0f)
    {
        float at[3] = {x, rest_height - 0.05f + lift, z};
        set_bike_upright_at(bike, at);
        dBodySetLinearVel(bike->frame_body, 0, 0, -speed);
    }

    // One gate-passing call at the tic.
    void step(int tic)
    {
        current_tic = tic;
        update_gates_and_lap_pool(bike);
    }

    void ride_to(float x, float z, int tic, float speed = 20.0f, float lift = 0.0f)
    {
        place(x, z, speed, lift);
        step(tic);
    }

    void ride_to_gate(int gate, int tic)
    {
        ride_to(GATE_POINTS[gate % 4][0], GATE_POINTS[gate % 4][1], tic);
    }

    // Rides the tics from..to (each tic one call) at a place away from the
    // gates, the way a race records.
    void ride_along(int from, int to)
    {
        for (int tic = from; tic <= to; tic++)
            ride_to(AWAY[0], AWAY[1], tic);
    }

    // The robot's line: n samples along -z through the frame, 5 ft apart,
    // the bike halfway between samples `at` - 1 and `at`, shifted sideways
    // by `offset`; the target is past the last sample.
    void lay_line(int n, int at, float speed, float offset = 0.0f)
    {
        const dReal *p = dBodyGetPosition(bike->frame_body);
        bike->own_line.count = 0;
        for (int k = 0; k < n; k++) {
            LineSample *s = (LineSample *)append_to_growable_array(&bike->own_line);
            ASSERT_NE(s, nullptr);
            *s = {(float)p[0] + offset, (float)p[1], (float)p[2] - 5.0f * ((float)(k - at) + 0.5f),
                  speed, 0.0f};
        }
        bike->line_index = n;
    }

    // Through the gate at the tic with the robot on a line of 10 samples
    // laid through it.
    void ride_to_gate_on_line(int gate, int tic)
    {
        place(GATE_POINTS[gate % 4][0], GATE_POINTS[gate % 4][1]);
        lay_line(10, 4, 20.0f);
        step(tic);
    }

    // A robot that picked a stored candidate for each of rows 0..3.
    void make_robot_with_picks()
    {
        rider_kind[0] = RIDER_ROBOT;
        bike->personality = 1;
        for (int row = 0; row < 4; row++) {
            put_candidate(row, 2, section_at(0, 10.0f * (float)row, 5), {600, 0, 0, 0});
            bike->picked_serials[row] = lap_pool_row(row)[2].serial;
        }
    }

    const LineSample *buffer(int k) const
    {
        return (const LineSample *)bike->lap_buffers[k].data;
    }
};

TEST_F(PoolRiding, AHumanRecordsEvery32TicsIntoTheBufferOfItsRowWithAirborneSpeedsNegative)
{
    ride_along(1, 100);   // tics 32, 64, 96
    ASSERT_EQ(bike->lap_buffers[0].count, 3);
    EXPECT_EQ(bike->lap_buffers[1].count, 0);
    const LineSample *s = buffer(0);
    const dReal *p = dBodyGetPosition(bike->frame_body);
    EXPECT_FLOAT_EQ(s[0].x, (float)p[0]);
    EXPECT_FLOAT_EQ(s[0].y, (float)p[1]);
    EXPECT_FLOAT_EQ(s[0].z, (float)p[2]);
    EXPECT_FLOAT_EQ(s[2].speed, 20.0f) << "on the ground";
    EXPECT_NEAR(s[2].lean, 0.0f, 1e-4f);

    // Up in the air at the next sample: the speed is stored negative.
    ride_to(AWAY[0], AWAY[1], 128, 25.0f, 10.0f);
    ASSERT_EQ(bike->lap_buffers[0].count, 4);
    EXPECT_FLOAT_EQ(buffer(0)[3].speed, -25.0f);
    EXPECT_FLOAT_EQ(buffer(0)[3].y, (float)p[1]);

    // Past gate 0 the bike rides row 1: buffer 1.
    ride_to_gate(0, 150);
    ride_along(151, 200);   // tics 160, 192
    EXPECT_EQ(bike->lap_buffers[1].count, 2);
    EXPECT_EQ(bike->lap_buffers[0].count, 4) << "row 0's section waits for the next gate";

    // A robot records nothing.
    bike->personality = 1;
    ride_along(201, 300);
    EXPECT_EQ(bike->lap_buffers[1].count, 2);
}

TEST_F(PoolRiding, AHumansSectionsAreOfferedOneGateLaterWithTheirSectionAndPairTimes)
{
    debug_level = 1;
    ride_along(1, 64);                // row 0: tics 32, 64
    ride_to_gate(0, 100);             // nothing to offer at the first gate
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(lap_pool_row(i)[0].count, 0);
    ride_along(101, 160);             // row 1: 128, 160
    ride_to_gate(1, 200);             // row 0 offered: start 40 to 100, to 200
    const LapCandidate *row0 = lap_pool_row(0);
    EXPECT_EQ(row0[0].count, 2);
    EXPECT_EQ(row0[0].section_time, 60);
    EXPECT_EQ(row0[0].pair_time, 160);
    EXPECT_EQ(bike->lap_buffers[0].count, 0) << "emptied for row 2";

    ride_along(201, 300);             // row 2: 224, 256, 288
    ride_to_gate(2, 330);             // row 1 offered: 100 to 200, to 330
    const LapCandidate *row1 = lap_pool_row(1);
    EXPECT_EQ(row1[0].count, 2);
    EXPECT_EQ(row1[0].section_time, 100);
    EXPECT_EQ(row1[0].pair_time, 230);
    EXPECT_EQ(row1[0].serial, row0[0].serial + 1);

    // Down in row 3: spoiled at its gate, cancelled one gate later; the
    // buffer is clean again for row 5.
    ride_along(331, 352);
    bike->down = 1;
    ride_along(353, 360);
    EXPECT_EQ(bike->down, 2) << "seen once";
    ride_to_gate(3, 400);             // row 2 offered, row 3 spoiled
    EXPECT_EQ(lap_pool_row(2)[0].count, 3);
    EXPECT_EQ(bike->lap_buffer_spoiled[1], 1);
    ride_along(401, 420);
    ride_to_gate(4, 500);             // row 3 cancelled
    EXPECT_EQ(lap_pool_row(3)[0].count, 0);
    EXPECT_EQ(bike->lap_buffer_spoiled[1], 0);
    EXPECT_EQ(bike->lap_buffers[1].count, 0);
    EXPECT_NE(log_text().find("auto pilot: 3 canceled\n"), std::string::npos) << log_text();

    // Lap 2 rides the normal lap's rows: row 4 (gate 3 to gate 4) is
    // offered at gate 5 into pool row 4.
    ride_along(501, 540);
    ride_to_gate(5, 600);
    EXPECT_EQ(lap_pool_row(4)[0].count, 1);
    EXPECT_EQ(lap_pool_row(4)[0].section_time, 100);
    EXPECT_EQ(lap_pool_row(4)[0].pair_time, 200);
}

TEST_F(PoolRiding, AHumanCatchingUpAGateOffersNothingAndStartsAfresh)
{
    ride_to_gate(0, 100);
    ride_along(101, 200);
    ride_to_gate(2, 250);             // gate 1 missed: passed at offset 1
    EXPECT_EQ(lap_pool_row(1)[0].count, 0);
    EXPECT_EQ(bike->lap_buffers[0].count, 0);
    EXPECT_EQ(bike->lap_buffers[1].count, 0);
    ride_along(251, 300);
    ride_to_gate(1, 350);             // caught up at offset -2
    EXPECT_EQ(bike->lap_buffers[0].count + bike->lap_buffers[1].count, 0);
    for (int row = 0; row < 4; row++)
        EXPECT_EQ(lap_pool_row(row)[0].count, 0) << row;
}

TEST_F(PoolRiding, ARobotsRunIsCreditedWhenItEndsOnItsLine)
{
    struct Case {
        const char *what;
        int samples, at;
        float line_speed, bike_speed, offset;
        int counts;
    } cases[] = {
        {"on the line", 10, 4, 20, 20, 0, 1},
        {"3.9 ft beside it", 10, 4, 20, 20, 3.9f, 1},
        {"4.1 ft beside it", 10, 4, 20, 20, 4.1f, 0},
        {"at 15/16 of the line's speed", 10, 4, 18.75f, 20, 0, 1},
        {"faster than that", 10, 4, 18.7f, 20, 0, 0},
        {"a stopped bike on a stopped line", 10, 4, 0, 0, 0, 1},
        {"short of the line's second sample", 10, 0, 20, 20, 0, 0},
        {"a one-sample line", 1, 0, 20, 20, 0, 0},
        {"two samples at one place", 2, 1, 20, 20, 0, 0},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(4, 4);
        set_gates_passed(bike, 0);
        make_robot_with_picks();
        int serial1 = bike->picked_serials[1], serial2 = bike->picked_serials[2];
        ride_to_gate_on_line(0, 100);
        ride_to_gate_on_line(1, 250);
        ASSERT_EQ(bike->picked_serials[1], serial1) << c.what;

        // Gate 2 at tic 330: row 1 (gate 0 to gate 1) is done, with times
        // 150 through it and 230 through the next.
        place(GATE_POINTS[2][0], GATE_POINTS[2][1], c.bike_speed);
        lay_line(c.samples, c.at, c.line_speed, c.offset);
        if (c.samples == 2)
            ((LineSample *)bike->own_line.data)[1] = ((LineSample *)bike->own_line.data)[0];
        step(330);
        ASSERT_EQ(bike->gates_passed, 3) << c.what;
        const LapCandidate *picked1 = &lap_pool_row(1)[2], *picked2 = &lap_pool_row(2)[2];
        if (c.counts) {
            EXPECT_EQ(picked1->runs, 1) << c.what;
            EXPECT_EQ(picked1->best_section_time, 150) << c.what;
            EXPECT_EQ(picked1->best_pair_time, 230) << c.what;
            EXPECT_EQ(picked1->section_sum, 150) << c.what;
            EXPECT_EQ(picked1->pair_sum, 230) << c.what;
            EXPECT_EQ(picked2->penalties, 0) << c.what;
            EXPECT_EQ(bike->picked_serials[1], serial1) << c.what;
            EXPECT_EQ(bike->picked_serials[2], serial2) << c.what;
        } else {
            // Off the line: the pick of the row being ridden is penalised
            // and the ring cleared.
            EXPECT_EQ(picked1->runs, 0) << c.what;
            EXPECT_EQ(picked1->penalties, 0) << c.what;
            EXPECT_EQ(picked2->penalties, 1) << c.what;
            for (int serial : bike->picked_serials)
                EXPECT_EQ(serial, 0) << c.what;
        }
    }
}

TEST_F(PoolRiding, ARobotsRunsAddUpFromTheStartAndAMissedGatePenalisesItsRowsPick)
{
    make_robot_with_picks();
    int picks[4];
    for (int row = 0; row < 4; row++)
        picks[row] = bike->picked_serials[row];
    ride_to_gate_on_line(0, 100);
    ride_to_gate_on_line(1, 200);     // row 0 from the start (40): 60, 160
    ride_to_gate_on_line(2, 300);     // row 1: 100, 200
    EXPECT_EQ(lap_pool_row(0)[2].runs, 1);
    EXPECT_EQ(lap_pool_row(0)[2].section_sum, 60);
    EXPECT_EQ(lap_pool_row(0)[2].pair_sum, 160);
    EXPECT_EQ(lap_pool_row(1)[2].runs, 1);
    EXPECT_EQ(lap_pool_row(1)[2].pair_sum, 200);

    // The same picks again: runs and sums add up, the best times are the
    // least.
    set_gates_passed(bike, 0);
    for (int row = 0; row < 4; row++)
        bike->picked_serials[row] = picks[row];
    ride_to_gate_on_line(0, 90);
    ride_to_gate_on_line(1, 220);     // row 0: 50, 180
    const LapCandidate *row0 = &lap_pool_row(0)[2];
    EXPECT_EQ(row0->runs, 2);
    EXPECT_EQ(row0->best_section_time, 50);
    EXPECT_EQ(row0->best_pair_time, 160);
    EXPECT_EQ(row0->section_sum, 110);
    EXPECT_EQ(row0->pair_sum, 340);

    // Gate 2 skipped: at gate 3 the times from gate 1 on have a gap at
    // gate 2, whose row's pick is penalised; row 1 is not credited.
    ride_to_gate_on_line(3, 400);
    ASSERT_EQ(bike->gates_passed, 4);
    EXPECT_EQ(get_gate_time(bike, 2), -1);
    EXPECT_EQ(lap_pool_row(2)[2].penalties, 1);
    EXPECT_EQ(lap_pool_row(1)[2].runs, 1);
    EXPECT_EQ(lap_pool_row(1)[2].penalties, 0);
    EXPECT_EQ(lap_pool_row(3)[2].penalties, 0);
    for (int serial : bike->picked_serials)
        EXPECT_EQ(serial, 0);
}

TEST_F(PoolRiding, ARobotDownPenalisesItsPickAndThePreviousOneWithinASecondOfItsGate)
{
    struct Case {
        const char *what;
        int robot;
        int down;
        int since_gate;      // tics since gate 1
        int row2, row1;      // penalties expected
    } cases[] = {
        {"just after the gate", 1, 1, 100, 1, 1},
        {"127 tics after", 1, 1, 127, 1, 1},
        {"a second after", 1, 1, 128, 1, 0},
        {"already seen", 1, 2, 10, 0, 0},
        {"a human", 0, 1, 10, 0, 0},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(4, 4);
        set_gates_passed(bike, 0);
        bike->personality = c.robot;
        ride_to_gate(0, 100);
        ride_to_gate(1, 200);
        ASSERT_EQ(bike->gates_passed, 2);
        make_robot_with_picks();
        bike->personality = c.robot;
        bike->down = c.down;
        ride_to(AWAY[0], AWAY[1], 200 + c.since_gate);
        EXPECT_EQ(bike->down, 2) << c.what;
        EXPECT_EQ(lap_pool_row(2)[2].penalties, c.row2) << c.what;
        EXPECT_EQ(lap_pool_row(1)[2].penalties, c.row1) << c.what;
        EXPECT_EQ(lap_pool_row(3)[2].penalties, 0) << c.what;
        int cleared = c.robot && c.down == 1;
        for (int row = 0; row < 4; row++)
            EXPECT_EQ(bike->picked_serials[row] == 0, cleared) << c.what << " " << row;
    }
}

TEST_F(PoolRiding, AFinishedRobotRollsOutAtAQuarterOfItsLinesSpeed)
{
    race_settings.laps = 1;
    race_settings.final_lap = 1;
    make_robot_with_picks();
    ride_to_gate(0, 100);
    ride_to_gate(1, 200);
    ride_to_gate(2, 300);
    place(GATE_POINTS[3][0], GATE_POINTS[3][1]);
    lay_line(12, 4, 20);
    LineSample *line = (LineSample *)bike->own_line.data;
    line[7].speed = -20.0f;   // airborne samples stay airborne
    int from = (int)line_position(bike);
    ASSERT_EQ(from, 4);
    step(400);
    ASSERT_EQ(bike->finished, 1);
    for (int k = 0; k < 12; k++) {
        float recorded = k == 7 ? -20.0f : 20.0f;
        float scale = k < from ? 1.0f : 0.25f + 0.75f * (float)(12 - k) / (float)(12 - from);
        EXPECT_FLOAT_EQ(line[k].speed, recorded * scale) << k;
    }
    EXPECT_FLOAT_EQ(line[11].speed, 20.0f * (0.25f + 0.75f / 8.0f));

    ride_to_gate(0, 500);
    EXPECT_EQ(bike->gates_passed, 4) << "a finished bike passes nothing";
}
