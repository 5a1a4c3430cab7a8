// Racing lines: the line search over hand-made pools of arcs and straights,
// the circle centre and crossing tests, candidate costs, racing-line files
// (written, read back, damaged and hostile) and the pruning of crowded rows.
#include "race/racing_lines.h"

#include "app/player_settings.h"
#include "core/alloc.h"
#include "core/file.h"
#include "race/lap_pool.h"
#include "support/test_support.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int N = LAP_POOL_CANDIDATES;

LineSample at(float x, float z, float speed = 20.0f, float y = 0.0f)
{
    return {x, y, z, speed, 0.0f};
}

// Samples every 10 degrees of a circle round the origin from angle a0 to a1
// (degrees); the radius moves from r0 to r1 between the third sample and
// the third from last, so both ends lie on exact circles.
std::vector<LineSample> arc(float r0, float r1, float a0, float a1)
{
    int n = (int)std::lround((a1 - a0) / 10.0f) + 1;
    std::vector<LineSample> samples;
    for (int k = 0; k < n; k++) {
        float t = k <= 2 ? 0.0f : k >= n - 3 ? 1.0f : (float)(k - 2) / (float)(n - 5);
        float r = r0 + (r1 - r0) * t;
        double a = (a0 + 10.0 * k) * M_PI / 180.0;
        samples.push_back(at((float)(r * cos(a)), (float)(r * sin(a))));
    }
    return samples;
}

// x from x0 to x1 in steps of 10 ft at lateral offset z.
std::vector<LineSample> straight(float z, float x0 = 0.0f, float x1 = 50.0f)
{
    std::vector<LineSample> samples;
    for (float x = x0; x <= x1; x += 10.0f)
        samples.push_back(at(x, z));
    return samples;
}

struct RacingLines : testing::Test {
    void SetUp() override { create_lap_pool(2, 3); }
    void TearDown() override
    {
        free_lap_pool();
        learn_lines = 0;
        racing_line_skill = -1;
        set_track_folder(nullptr);
    }

    // A candidate with its samples, runs and mean section time; returns its
    // serial.
    static int put(int row, int slot, const std::vector<LineSample> &samples, int runs = 5,
                   int mean = 300, int penalties = 0)
    {
        LapCandidate *c = &lap_pool_row(row)[slot];
        checked_free(c->samples);
        c->samples = (LineSample *)xmalloc(samples.size() * sizeof(LineSample));
        memcpy(c->samples, samples.data(), samples.size() * sizeof(LineSample));
        c->count = (int)samples.size();
        c->runs = runs;
        c->penalties = penalties;
        c->section_sum = mean * runs;
        c->pair_sum = 2 * mean * runs;
        c->section_time = mean;
        c->pair_time = 2 * mean;
        c->serial = ++lap_serial_counter;
        return c->serial;
    }

    static int held(int row)
    {
        int count = 0;
        for (int i = 0; i < N; i++)
            count += lap_pool_row(row)[i].count > 0;
        return count;
    }
};

// Two lanes round a circle, radius 50 (A) and 56 (B), 6 ft apart: a lane
// can only follow itself, except through the spirals X (A to B) and Y
// (B to A). Normal lap rows 2, 3, 4 cover 0-120, 120-240 and 240-360
// degrees; first-lap rows 0 and 1 cover 120-240 and 240-360.
struct LanePool {
    int a2, b2, x2, a3, b3, a4, b4, y4;   // normal lap
    int a0, b0, a1, b1, y1;               // first lap
};

LanePool make_lanes(int y4_runs = 5)
{
    LanePool p;
    p.b2 = RacingLines::put(2, 1, arc(56, 56, 0, 120), 5, 320);
    p.a2 = RacingLines::put(2, 3, arc(50, 50, 0, 120), 5, 300);
    p.x2 = RacingLines::put(2, 5, arc(50, 56, 0, 120), 5, 290);
    p.a3 = RacingLines::put(3, 0, arc(50, 50, 120, 240), 5, 310);
    p.b3 = RacingLines::put(3, 2, arc(56, 56, 120, 240), 5, 280);
    p.b4 = RacingLines::put(4, 0, arc(56, 56, 240, 360), 5, 300);
    p.y4 = RacingLines::put(4, 1, arc(56, 50, 240, 360), y4_runs, 290);
    p.a4 = RacingLines::put(4, 4, arc(50, 50, 240, 360), 5, 305);
    p.a0 = RacingLines::put(0, 0, arc(50, 50, 120, 240), 5, 200);
    p.b0 = RacingLines::put(0, 2, arc(56, 56, 120, 240), 5, 150);
    p.b1 = RacingLines::put(1, 0, arc(56, 56, 240, 360), 5, 190);
    p.a1 = RacingLines::put(1, 1, arc(50, 50, 240, 360), 5, 210);
    p.y1 = RacingLines::put(1, 3, arc(56, 50, 240, 360), 5, 230);
    return p;
}

}  // namespace

TEST(RacingLineGeometry, CircleCentreTable)
{
    struct Case {
        const char *name;
        LineSample a, b, c;
        float x, z, tolerance;
    } cases[] = {
        {"on a circle", at(15, 20), at(10, 25), at(5, 20), 10, 20, 1e-4f},
        {"right angle", at(0, 0), at(1, 0), at(1, 1), 0.5f, 0.5f, 1e-5f},
        {"height is ignored", at(0, 0, 20, 7), at(1, 0, 20, -3), at(1, 1, 20, 40), 0.5f, 0.5f, 1e-5f},
        {"in line along x: left is -z", at(0, 0), at(1, 0), at(2, 0), 2, -10000, 1e-2f},
        {"in line along z: left is +x", at(0, 0), at(0, 1), at(0, 2), 10000, 2, 1e-2f},
        // Left of the last segment, which leans 1e-5 and 1e-3 off the x axis.
        {"nearly in line", at(0, 0), at(1, 1e-5f), at(2, 0), 1.9f, -10000, 1e-2f},
        {"radius beyond 10000 ft", at(-100, 0), at(0, 0.1f), at(100, 0), 90, -10000, 1e-2f},
        {"last two coincide", at(0, 0), at(1, 0), at(1, 0), 1, -10000, 1e-2f},
        {"all coincide (standing at the gate)", at(3, 3), at(3, 3), at(3, 3), 3, -9997, 1e-2f},
    };
    for (const Case &c : cases) {
        float out[3] = {NAN, NAN, NAN};
        circle_centre_xz(out, &c.a, &c.b, &c.c);
        EXPECT_NEAR(out[0], c.x, c.tolerance) << c.name;
        EXPECT_EQ(out[1], 0.0f) << c.name;
        EXPECT_NEAR(out[2], c.z, c.tolerance) << c.name;
    }
    LineSample huge[] = {at(3e38f, 0), at(-3e38f, 1), at(0, 3e38f), at(NAN, 0), at(0, INFINITY)};
    for (const LineSample &a : huge)
        for (const LineSample &b : huge) {
            float out[3];
            circle_centre_xz(out, &a, &b, &huge[1]);
            EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[2]));
        }
}

TEST(RacingLineGeometry, SegmentsCrossTable)
{
    LineSample a = at(0, 0), b = at(10, 0);
    struct Case {
        const char *name;
        LineSample c, d;
        int crosses;
    } cases[] = {
        {"across", at(5, -5), at(5, 5), 1},
        {"across the other way", at(5, 5), at(5, -5), 1},
        {"same side", at(5, 1), at(5, 5), 0},
        {"same side below", at(2, -1), at(8, -5), 0},
        {"the line, not the segment", at(20, -5), at(20, 5), 1},
        {"C on the line, D below", at(5, 0), at(5, -5), 1},
        {"C on the line, D above", at(5, 0), at(5, 5), 0},
        {"along the line", at(-5, 0), at(15, 0), 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(segments_cross(&a, &b, &c.c, &c.d), c.crosses) << c.name;
    EXPECT_EQ(segments_cross(&a, &a, &cases[0].c, &cases[0].d), 0) << "A and B coincide";
}

TEST(RacingLineCosts, CostTable)
{
    struct Case {
        int mode, runs, penalties, section_sum, cost;
    } cases[] = {
        {0, 4, 0, 400, 1000000},          // too few runs
        {0, 5, 0, 1000, 200},
        {0, 5, 5, 1000, 200 + 320},       // half the runs spoiled
        {0, 7, 0, 1000, 142},             // truncated
        {1, 4, 0, 400, 1000000},
        {1, 6, 1, 600, 100 + 104},        // 8/7 x 1/7 x 640 = 104.49
        {1, 5, 5, 1000, 200 + 365},
        {2, 0, 0, 0, 1000000},
        {2, 1, 0, 300, 300},
        {2, 1, 1, 300, 300 + 640},        // 4 x 1/2 clamped to 1
        {2, 3, 1, 300, 100 + 640},
        {3, 0, 0, 0, 0},                  // untried first
        {3, 1, 0, 0, 5000},               // bit length 1
        {3, 3, 1, 0, 7000},               // 3 + 4 = 7: 3 bits
        {3, 2, 8, 0, 10000},              // 34: 6 bits; 8 is not above 4 x 2
        {3, 1, 5, 0, 100000},             // mostly failing
        {3, 0, 5, 0, 5000 + 4000},        // 20: 5 bits; only 5 tries
        {9, 1, 0, 0, 5000},               // any other mode as 3
        {2, 1, 0, 2147483647, NO_CHAIN},  // never past "no chain"
        {0, 5, 0, -1000, 0},
    };
    for (const Case &c : cases) {
        LapCandidate candidate = {};
        candidate.runs = c.runs;
        candidate.penalties = c.penalties;
        candidate.section_sum = c.section_sum;
        EXPECT_EQ(candidate_cost(&candidate, c.mode), c.cost)
            << "mode " << c.mode << " runs " << c.runs << " penalties " << c.penalties;
    }
}

// Chains over the normal lap (rows 2, 3, 4 and back to 2), worked by hand
// from the lane costs: A A A 915, B B B 900, X B Y 860.
TEST_F(RacingLines, CostsAheadOverTheLanes)
{
    make_lanes();
    std::vector<uint8_t> back(3 * N * N);
    std::vector<int> costs(N * N);
    line_costs_ahead(back.data(), costs.data(), 2, 3, 0);
    auto cost = [&](int s, int j) { return costs[s * N + j]; };
    const int A = 3, B = 1, X = 5;   // slots of row 2
    EXPECT_EQ(cost(A, A), 915);
    EXPECT_EQ(cost(A, X), 915);
    EXPECT_EQ(cost(B, B), 900);
    EXPECT_EQ(cost(B, A), 320 + 280 + 290);   // B B Y
    EXPECT_EQ(cost(X, X), 860);
    EXPECT_EQ(cost(X, B), 290 + 280 + 300);   // X B B
    EXPECT_EQ(cost(A, B), NO_CHAIN) << "no way from lane A to lane B: never extended";
    EXPECT_EQ(cost(0, 0), NO_CHAIN) << "an empty slot starts nothing";
    // The last step's pointers name the candidate of row 4 each chain came
    // through; the first step's those of row 3.
    EXPECT_EQ(back[N * N + X * N + X], 1) << "X B Y: Y is slot 1 of row 4";
    EXPECT_EQ(back[X * N + 1], 2) << "X B: B is slot 2 of row 3";
    EXPECT_EQ(back[N * N + A * N + B], NO_BACK_POINTER);

    // Two laps: the rows wrap into the normal lap again.
    line_costs_ahead(nullptr, costs.data(), 2, 6, 0);
    EXPECT_EQ(cost(X, X), 2 * 860);
    // Eight rows from the middle of the lap, as the auto pilot searches.
    line_costs_ahead(nullptr, costs.data(), 3, 8, 0);
    EXPECT_EQ(costs[2 * N + X], 280 + 290 + 290 + 280 + 290 + 290 + 280 + 290) << "B Y X B Y X B Y";
}

TEST_F(RacingLines, ChoosesTheClosedLapAndTheFirstLap)
{
    LanePool p = make_lanes();
    int results[5] = {-1, -1, -1, -1, -1};
    choose_auto_pilot_line(results, 0);
    EXPECT_EQ(results[2], p.x2);
    EXPECT_EQ(results[3], p.b3);
    EXPECT_EQ(results[4], p.y4);
    // The first lap ends where the closed lap starts (X, lane A): B0 Y1
    // costs 380, A0 A1 410.
    EXPECT_EQ(results[0], p.b0);
    EXPECT_EQ(results[1], p.y1);

    analyse_racing_lines();
    for (int mode = 0; mode < LINE_RESULT_MODES; mode++)
        EXPECT_EQ(line_results[mode * 5 + 2], p.x2) << "mode " << mode;
}

// Y has 3 runs: mode 0 counts it untested (1000000) and takes lane B; mode
// 2 costs it from one run and takes X B Y, but writes 0 for Y.
TEST_F(RacingLines, FewerThanFiveRunsWriteZero)
{
    LanePool p = make_lanes(3);
    int results[5];
    choose_auto_pilot_line(results, 0);
    EXPECT_EQ(results[2], p.b2);
    EXPECT_EQ(results[3], p.b3);
    EXPECT_EQ(results[4], p.b4);
    EXPECT_EQ(results[0], p.b0);
    EXPECT_EQ(results[1], p.b1);
    choose_auto_pilot_line(results, 2);
    EXPECT_EQ(results[2], p.x2);
    EXPECT_EQ(results[3], p.b3);
    EXPECT_EQ(results[4], 0);
}

TEST_F(RacingLines, TiesGoToTheLowestIndex)
{
    LanePool p = make_lanes();
    // Every candidate 300: all three closed laps cost 900. A twin of B in
    // slot 4 of row 3 gives the same chain as slot 2.
    for (int row = 0; row < 5; row++)
        for (int i = 0; i < N; i++)
            lap_pool_row(row)[i].section_sum = 300 * lap_pool_row(row)[i].runs;
    put(3, 4, arc(56, 56, 120, 240), 5, 300);
    int results[5];
    choose_auto_pilot_line(results, 0);
    EXPECT_EQ(results[2], p.b2) << "B (slot 1) before A (3) and X (5)";
    EXPECT_EQ(results[3], p.b3) << "slot 2 before its twin in slot 4";
    EXPECT_EQ(results[4], p.b4);
}

// Row 3 is empty: no lap closes. The walk stops at the first pointer (45)
// and writes 0 for every row of the normal lap, though rows 2 and 4 hold
// tested candidates; row 4 is the last row of the pool, so reading its
// candidate 45 would run past the pool.
TEST_F(RacingLines, BrokenChainWritesZero)
{
    LanePool p = make_lanes();
    for (int i = 0; i < N; i++) {
        LapCandidate *c = &lap_pool_row(3)[i];
        checked_free(c->samples);
        c->samples = nullptr;
        c->count = 0;
    }
    int results[5] = {-1, -1, -1, -1, -1};
    choose_auto_pilot_line(results, 0);
    EXPECT_EQ(results[2], 0);
    EXPECT_EQ(results[3], 0);
    EXPECT_EQ(results[4], 0);
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    (void)p;
}

TEST_F(RacingLines, NoFirstLapRows)
{
    free_lap_pool();
    create_lap_pool(0, 1);
    // One section that closes on itself: a whole circle.
    int whole = put(0, 7, arc(50, 50, 0, 360), 5, 400);
    put(0, 2, arc(56, 56, 0, 360), 5, 500);
    int results[1];
    choose_auto_pilot_line(results, 0);
    EXPECT_EQ(results[0], whole);
}

// --- racing-line files ---

namespace {

std::string record(const std::string &ints, int samples, float x0 = 1.0f)
{
    std::string text = ints + "\n";
    for (int k = 0; k < samples; k++) {
        char line[128];
        snprintf(line, sizeof line, "[%f %f %f] %f %f\n", x0 + k, 2.0f, 3.0f + k, 15.0f, -0.25f);
        text += line;
    }
    return text;
}

std::string good_record(float x0 = 1.0f)
{
    return record("2 100 200 5 90 190 500 1000 1", 2, x0);
}

}  // namespace

// Every file has 2 rows (pool of 1 + 1); row 0 is the case, row 1 one good
// record that is read only when the reader got past row 0.
TEST_F(RacingLines, LineFileTable)
{
    const std::string H = "ct03 2";
    // A record of two samples whose second one is the case's.
    const std::string TWO = "1\n2 1 1 1 1 1 1 1 1\n[1 2 3] 4 5\n";
    struct Case {
        const char *name;
        std::string header, row0;
        int held0, held1;
        int slot;             // the slot checked
        int fields[9];        // count .. penalties; count 0 = left empty
    } cases[] = {
        {"good", H, "1\n" + good_record(), 1, 1, 0, {2, 100, 200, 5, 90, 190, 500, 1000, 1}},
        {"empty row", H, "0\n", 0, 1, 0, {0}},
        {"fewer than nine integers", H, "1\n5 100 200\n", 0, 0, 0, {0}},
        {"samples cut short", H, "1\n" + record("3 100 200 5 90 190 500 1000 1", 2), 0, 0, 0, {0}},
        {"negative sample count", H, "1\n" + record("-1 1 1 1 1 1 1 1 1", 0), 0, 0, 0, {0}},
        {"sample count above 65536", H, "1\n" + record("65537 1 1 1 1 1 1 1 1", 3), 0, 0, 0, {0}},
        {"huge sample count", H, "1\n" + record("2000000000 1 1 1 1 1 1 1 1", 3), 0, 0, 0, {0}},
        {"65536 samples, one given", H, "1\n" + record("65536 1 1 1 1 1 1 1 1", 1), 0, 0, 0, {0}},
        {"infinite sample", H, TWO + "[1e99999 2 3] 4 5\n", 0, 0, 0, {0}},
        {"sample beyond the limit", H, TWO + "[1 2 3] 2e6 5\n", 0, 0, 0, {0}},
        {"not a number", H, TWO + "[nan 2 3] 4 5\n", 0, 0, 0, {0}},
        {"negative integers clamped", H, "1\n" + record("2 -5 -6 -7 -8 -9 -10 -11 -12", 2), 1, 1,
         0, {2, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"runs 200000 halved twice", H,
         "1\n" + record("2 1 1 200000 1 1 60000000 100000000 40000", 2), 1, 1, 0,
         {2, 1, 1, 50000, 1, 1, 15000000, 25000000, 10000}},
        {"pair sum far over", H, "1\n" + record("2 1 1 10 1 1 3000 2000000000 0", 2), 1, 1, 0,
         {2, 1, 1, 1, 1, 1, 300, 100000000, 0}},
        {"penalties over", H, "1\n" + record("2 1 1 0 1 1 0 0 1000000", 2), 1, 1, 0,
         {2, 1, 1, 0, 1, 1, 0, 0, 62500}},
        {"sample-less record", H, "2\n" + record("0 1 1 1 1 1 1 1 1", 0) + good_record(), 1, 1, 1,
         {2, 100, 200, 5, 90, 190, 500, 1000, 1}},
        {"row claims more than it holds", H, "3\n" + good_record(), 1, 0, 0,
         {2, 100, 200, 5, 90, 190, 500, 1000, 1}},
        {"other row count", "ct03 3", "1\n" + good_record(), 0, 0, 0, {0}},
        {"other header", "ct02 2", "1\n" + good_record(), 0, 0, 0, {0}},
        {"negative candidate count", H, "-1\n", 0, 0, 0, {0}},
    };
    for (const Case &c : cases) {
        free_lap_pool();
        create_lap_pool(1, 1);
        std::string text = c.header + "\n" + c.row0 + "1\n" + good_record(7.0f);
        ASSERT_TRUE(write_file(test_data_dir() + "lines/case", text));
        read_racing_line_file("@lines/case");
        EXPECT_EQ(held(0), c.held0) << c.name;
        EXPECT_EQ(held(1), c.held1) << c.name;
        const LapCandidate *k = &lap_pool_row(0)[c.slot];
        if (c.fields[0] == 0) {
            EXPECT_EQ(k->count, 0) << c.name;
            EXPECT_EQ(k->samples, nullptr) << c.name;
            EXPECT_EQ(k->section_time, LAP_NO_TIME) << c.name;
            EXPECT_EQ(k->serial, 0) << c.name;
            continue;
        }
        int got[9] = {k->count,           k->section_time,   k->pair_time,
                      k->runs,            k->best_section_time, k->best_pair_time,
                      k->section_sum,     k->pair_sum,       k->penalties};
        for (int i = 0; i < 9; i++)
            EXPECT_EQ(got[i], c.fields[i]) << c.name << " field " << i;
        EXPECT_GT(k->serial, 0) << c.name;
        EXPECT_FLOAT_EQ(k->samples[1].x, 2.0f) << c.name;
        EXPECT_FLOAT_EQ(k->samples[1].lean, -0.25f) << c.name;
    }
}

// A row listing 47 records keeps 45 and reads past the other two, so the
// next row comes out right.
TEST_F(RacingLines, RecordsBeyondTheRowAreReadPast)
{
    free_lap_pool();
    create_lap_pool(1, 1);
    std::string text = "ct03 2\n47\n";
    for (int i = 0; i < 47; i++)
        text += good_record((float)i);
    text += "1\n" + good_record(99.0f);
    ASSERT_TRUE(write_file(test_data_dir() + "lines/crowded", text));
    EXPECT_EQ(read_racing_line_file("@lines/crowded"), 2);
    EXPECT_EQ(held(0), 45);
    EXPECT_FLOAT_EQ(lap_pool_row(0)[44].samples[0].x, 44.0f);
    ASSERT_EQ(held(1), 1);
    EXPECT_FLOAT_EQ(lap_pool_row(1)[0].samples[0].x, 99.0f);
    EXPECT_EQ(lap_pool_row(1)[0].serial, 46);
}

// A record that fails leaves a filled candidate as it was.
TEST_F(RacingLines, FailedRecordKeepsTheCandidate)
{
    put(0, 0, straight(0));
    LapCandidate before = lap_pool_row(0)[0];
    ASSERT_TRUE(write_file(test_data_dir() + "lines/short", record("4 1 1 1 1 1 1 1 1", 3)));
    GameFile *file = file_open("@lines/short", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_racing_line(file, &lap_pool_row(0)[0]), 0);
    file_close(file);
    const LapCandidate *after = &lap_pool_row(0)[0];
    EXPECT_EQ(after->samples, before.samples);
    EXPECT_EQ(after->count, before.count);
    EXPECT_EQ(after->runs, before.runs);
    EXPECT_EQ(after->serial, before.serial);
}

TEST_F(RacingLines, WrittenAndReadBack)
{
    set_track_folder("tracks/lines");
    learn_lines = 1;
    put(0, 3, straight(0), 7, 250, 2);
    std::vector<LineSample> airborne = straight(4);
    airborne[2].speed = -31.5f;
    airborne[3].speed = -0.0f;
    airborne[1].lean = 0.123456f;
    airborne[4].y = -12.5f;
    put(0, 9, airborne, 0, 1000000);
    put(2, 0, arc(50, 56, 0, 120), 12, 480);
    put(4, 44, straight(-3, 100, 400), 1, 90, 3);
    // A sample that is not finite: the reader would refuse it, so the
    // writer leaves the candidate out.
    std::vector<LineSample> broken = straight(8);
    broken[1].x = NAN;
    put(0, 20, broken);

    write_racing_lines("lines_expert");
    std::string path = test_home_dir() + "tracks/lines/lines_expert";
    std::string text;
    ASSERT_TRUE(read_file(path, &text));
    EXPECT_FALSE(file_exists(path + ".tmp"));
    EXPECT_EQ(text.compare(0, 9, "ct03 5\n2\n"), 0) << text.substr(0, 40);
    EXPECT_NE(text.find("\n0\n1\n13 "), std::string::npos) << "row 1 empty: a 0 alone";

    std::vector<LapCandidate> kept;
    std::vector<std::vector<LineSample>> kept_samples;
    int rows[] = {0, 0, 2, 4}, slots[] = {3, 9, 0, 44};
    for (int i = 0; i < 4; i++) {
        const LapCandidate *c = &lap_pool_row(rows[i])[slots[i]];
        kept.push_back(*c);
        kept_samples.emplace_back(c->samples, c->samples + c->count);
    }
    free_lap_pool();
    create_lap_pool(2, 3);
    load_racing_lines(2);
    EXPECT_EQ(racing_line_skill, 2);
    EXPECT_EQ(held(0), 2);
    EXPECT_EQ(held(1), 0);
    EXPECT_EQ(held(2), 1);
    EXPECT_EQ(held(3), 0);
    EXPECT_EQ(held(4), 1);
    // Read back into the first slots of each row, in slot order.
    int read_rows[] = {0, 0, 2, 4}, read_slots[] = {0, 1, 0, 0};
    for (int i = 0; i < 4; i++) {
        const LapCandidate *c = &lap_pool_row(read_rows[i])[read_slots[i]];
        const LapCandidate &k = kept[i];
        ASSERT_EQ(c->count, k.count) << i;
        EXPECT_EQ(c->section_time, k.section_time) << i;
        EXPECT_EQ(c->pair_time, k.pair_time) << i;
        EXPECT_EQ(c->runs, k.runs) << i;
        EXPECT_EQ(c->best_section_time, k.best_section_time) << i;
        EXPECT_EQ(c->best_pair_time, k.best_pair_time) << i;
        EXPECT_EQ(c->section_sum, k.section_sum) << i;
        EXPECT_EQ(c->pair_sum, k.pair_sum) << i;
        EXPECT_EQ(c->penalties, k.penalties) << i;
        EXPECT_EQ(c->serial, i + 1) << "serials given anew";
        for (int s = 0; s < c->count; s++) {
            const LineSample &a = c->samples[s], &b = kept_samples[i][s];
            EXPECT_NEAR(a.x, b.x, 1e-5f);
            EXPECT_NEAR(a.y, b.y, 1e-5f);
            EXPECT_NEAR(a.z, b.z, 1e-5f);
            EXPECT_NEAR(a.speed, b.speed, 1e-5f);
            EXPECT_EQ(std::signbit(a.speed), std::signbit(b.speed)) << "airborne mark kept";
            EXPECT_NEAR(a.lean, b.lean, 1e-6f);
        }
    }
}

TEST_F(RacingLines, WrittenOnlyWhileLearning)
{
    set_track_folder("tracks/lines");
    std::string path = test_home_dir() + "tracks/lines/lines_amateur";
    ASSERT_TRUE(write_file(path, "old"));
    load_racing_lines(1);   // the old file is no line file: the pool stays empty
    EXPECT_EQ(held(0), 0);
    put(1, 0, straight(0));

    learn_lines = 0;
    remember_racing_lines();
    std::string text;
    ASSERT_TRUE(read_file(path, &text));
    EXPECT_EQ(text, "old");

    learn_lines = 1;
    remember_racing_lines();
    ASSERT_TRUE(read_file(path, &text));
    EXPECT_EQ(text.compare(0, 11, "ct03 5\n0\n1\n"), 0) << "the remembered skill's file";
}

// --- pruning ---

namespace {

// 45 parallel lines 3 ft apart, each run 5 times; candidate 20 is the
// slowest, so it is the one the eviction names.
void fill_parallel_row(int row)
{
    for (int i = 0; i < N; i++)
        RacingLines::put(row, i, straight(3.0f * i), 5, i == 20 ? 900 : 300);
}

}  // namespace

TEST_F(RacingLines, PruningWithoutCrossingsKeepsTheRow)
{
    fill_parallel_row(1);
    line_results[0] = 12345;
    prune_racing_lines();
    EXPECT_EQ(held(1), 45);
    EXPECT_EQ(line_results[0], 0) << "the lines are analysed after pruning";
}

TEST_F(RacingLines, PruningEmptiesTheMostCrossedAndTheEvicted)
{
    fill_parallel_row(0);
    // Candidate 7 cuts across every other line.
    put(0, 7, {at(0, -10), at(25, 70), at(50, 150)}, 5, 300);
    LapCandidate *c = lap_pool_row(0);
    c[7].last_picked = 77;
    prune_racing_lines();
    EXPECT_EQ(held(0), 43);
    EXPECT_EQ(c[7].count, 0);
    EXPECT_EQ(c[7].samples, nullptr);
    EXPECT_EQ(c[7].serial, 0);
    EXPECT_EQ(c[7].pair_time, LAP_NO_TIME);
    EXPECT_EQ(c[7].last_picked, 77) << "the last-picked tic stays";
    EXPECT_EQ(c[20].count, 0);
    EXPECT_GT(c[6].count, 0);
}

// Lines too long to compare within the budget are left alone.
TEST_F(RacingLines, PruningStopsWhenComparisonsRunOut)
{
    fill_parallel_row(0);
    put(0, 7, {at(0, -10), at(25, 70), at(50, 150)}, 5, 300);
    long long budget = racing_line_crossing_budget;
    racing_line_crossing_budget = 20;
    prune_racing_lines();
    racing_line_crossing_budget = budget;
    EXPECT_EQ(held(0), 45);
}

// Two lines that cross only each other: the tie rule picks the one to empty.
TEST_F(RacingLines, PruningTieTable)
{
    struct Case {
        const char *name;
        int runs_a, pair_sum_a, pair_time_a, runs_b, pair_sum_b, pair_time_b;
        int emptied;   // 10 or 30
    } cases[] = {
        {"later has runs, first none", 0, 0, 500, 5, 2500, 500, 30},
        {"first has runs, later none", 5, 2500, 500, 0, 0, 400, 10},
        {"both run, later lower mean", 5, 2500, 500, 5, 2000, 400, 30},
        {"both run, later higher mean", 5, 2000, 400, 5, 2500, 500, 10},
        {"both run, equal integer means", 5, 2504, 500, 5, 2500, 500, 10},
        {"neither runs, later lower pair time", 0, 0, 500, 0, 0, 400, 30},
        {"neither runs, equal pair times", 0, 0, 500, 0, 0, 500, 10},
    };
    for (const Case &k : cases) {
        free_lap_pool();
        create_lap_pool(1, 1);
        fill_parallel_row(0);
        put(0, 10, {at(200, 0), at(210, 10), at(220, 20)});
        put(0, 30, {at(200, 20), at(210, 10.5f), at(220, 0)});
        LapCandidate *c = lap_pool_row(0);
        c[10].runs = k.runs_a;
        c[10].pair_sum = k.pair_sum_a;
        c[10].pair_time = k.pair_time_a;
        c[30].runs = k.runs_b;
        c[30].pair_sum = k.pair_sum_b;
        c[30].pair_time = k.pair_time_b;
        prune_racing_lines();
        int other = k.emptied == 10 ? 30 : 10;
        EXPECT_EQ(c[k.emptied].count, 0) << k.name;
        EXPECT_GT(c[other].count, 0) << k.name;
    }
}
