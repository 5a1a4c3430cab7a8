// The state history ring, the pair search around a tic, and the blend of
// two packed states.
#include "race/history.h"

#include "core/message.h"
#include "tests/race/demo_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

static void insert(int slot, int tic)
{
    add_state_to_history(slot, (const uint8_t *)seeded_state((uint32_t)tic).data(), tic);
}

// Walking from the head gives falling tics, each with the state of its tic.
static void expect_ordered(int slot, const std::vector<int> &tics)
{
    std::vector<std::pair<int, std::string>> entries = history_entries(slot);
    ASSERT_EQ(entries.size(), tics.size());
    for (size_t i = 0; i < tics.size(); i++) {
        EXPECT_EQ(entries[i].first, tics[i]) << "entry " << i;
        EXPECT_EQ(entries[i].second, seeded_state((uint32_t)tics[i])) << "state of tic " << tics[i];
    }
}

TEST(StateHistory, SameTicTwiceKeepsTheFirstState)
{
    clear_state_history();
    add_state_to_history(3, (const uint8_t *)seeded_state(1).data(), 40);
    add_state_to_history(3, (const uint8_t *)seeded_state(2).data(), 40);
    std::vector<std::pair<int, std::string>> entries = history_entries(3);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, seeded_state(1));
    EXPECT_EQ(state_history[3].unwritten, 1);
}

TEST(StateHistory, TwoHundredRisingInsertsKeepTheNewest128)
{
    clear_state_history();
    for (int tic = 0; tic < 200; tic++)
        insert(0, tic * 4);
    std::vector<int> expected;
    for (int tic = 199; tic >= 72; tic--)
        expected.push_back(tic * 4);
    expect_ordered(0, expected);
    EXPECT_EQ(state_history[0].unwritten, 128);
    EXPECT_TRUE(history_entries(1).empty()) << "other slots stay empty";
}

TEST(StateHistory, OlderStatesGoInTicOrderWithTheirTics)
{
    struct Case {
        const char *what;
        std::vector<int> before;   // inserted in this order
        int older;
        std::vector<int> after;    // head first
    } cases[] = {
        {"between two", {10, 20, 30, 40}, 25, {40, 30, 25, 20, 10}},
        {"below all", {10, 20, 30}, 5, {30, 20, 10, 5}},
        {"just under the head", {10, 20}, 19, {20, 19, 10}},
        {"a tic already held", {10, 20, 30}, 20, {30, 20, 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        clear_state_history();
        for (int tic : c.before)
            insert(7, tic);
        insert(7, c.older);
        expect_ordered(7, c.after);
    }

    // A full ring drops its oldest entry for an older state; a state older
    // than the whole ring is not kept.
    clear_state_history();
    std::vector<int> expected;
    for (int i = 0; i < HISTORY_LENGTH; i++)
        insert(7, 10 * i);
    insert(7, 15);
    for (int i = HISTORY_LENGTH - 1; i >= 2; i--)
        expected.push_back(10 * i);
    expected.push_back(15);
    expected.push_back(10);
    expect_ordered(7, expected);
    insert(7, 5);
    expect_ordered(7, expected);
}

TEST(StateHistory, SlotsOutsideTheTableAndNegativeTicsStoreNothing)
{
    clear_state_history();
    int lines = message_log.next_line;
    for (int slot : {-1, (int)BIKE_SLOT_COUNT, 100000})
        insert(slot, 8);
    EXPECT_EQ(message_log.next_line, lines + 3);
    EXPECT_STREQ(message_log.lines[lines], "add_state_to_history: slot out of range");
    insert(4, -5);
    EXPECT_TRUE(history_entries(4).empty());
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        EXPECT_EQ(state_history[slot].unwritten, 0);
}

TEST(StateHistory, PairAroundATic)
{
    clear_state_history();
    for (int tic : {100, 104, 108})
        insert(5, tic);
    insert(6, 100);
    struct Case {
        int slot, target;
        int older_tic, newer_tic;
    } cases[] = {
        {5, 106, 104, 108},   // inside the ring
        {5, 104, 100, 104},
        {5, 108, 104, 108},
        {5, 110, 104, 108},   // past the head: the two newest
        {5, 100, 100, 104},   // nothing below: the oldest and the one after it
        {5, 50, 100, 104},
        {6, 100, 100, 100},   // only the head stepped over
        {6, 300, 100, 100},   // a head below the target with nothing before it
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target);
        int older = -1, newer = -1;
        ASSERT_EQ(find_history_pair(c.slot, c.target, &older, &newer), 1);
        EXPECT_EQ(state_history[c.slot].ticks[older], c.older_tic);
        EXPECT_EQ(state_history[c.slot].ticks[newer], c.newer_tic);
    }
    int older, newer;
    EXPECT_EQ(find_history_pair(7, 100, &older, &newer), 0) << "empty slot";
    EXPECT_EQ(find_history_pair(-1, 100, &older, &newer), 0);
    EXPECT_EQ(find_history_pair(BIKE_SLOT_COUNT, 100, &older, &newer), 0);

    // A full ring whose every entry is at or after the target.
    clear_state_history();
    for (int i = 0; i < 200; i++)
        insert(1, 1000 + i);
    ASSERT_EQ(find_history_pair(1, 10, &older, &newer), 1);
    EXPECT_EQ(state_history[1].ticks[older], 1072);
    EXPECT_EQ(state_history[1].ticks[newer], 1073);
}

static uint32_t field(const uint8_t *p, int n)
{
    uint32_t value = 0;
    for (int i = n - 1; i >= 0; i--)
        value = value << 8 | p[i];
    return value;
}

TEST(StateInterpolation, ZeroBlendAndBadFractionsCopyTheFromState)
{
    std::mt19937 random(7);
    for (float t : {0.0f, -0.5f, std::nanf("")}) {
        uint8_t from[PACKED_STATE_SIZE], to[PACKED_STATE_SIZE], out[PACKED_STATE_SIZE];
        for (int i = 0; i < PACKED_STATE_SIZE; i++) {
            from[i] = (uint8_t)random();
            to[i] = (uint8_t)random();
        }
        interpolate_state(out, from, to, t);
        EXPECT_EQ(memcmp(out, from, PACKED_STATE_SIZE), 0) << t;
    }
}

TEST(StateInterpolation, WheelTurnsWrapForward)
{
    struct Case {
        int from, to;
        float t;
        int expected;
    } cases[] = {
        {250, 5, 0.5f, 0},      // forward through the wrap, not back to 127
        {5, 250, 0.5f, 0},      // a small step back stays a step back
        {10, 20, 0.5f, 15},
        {200, 91, 0.5f, 18},    // back more than an eighth: forward via 255
        {100, 120, 3.0f, 120},  // past the later state the turn holds
    };
    for (const Case &c : cases) {
        uint8_t from[PACKED_STATE_SIZE] = {0}, to[PACKED_STATE_SIZE] = {0}, out[PACKED_STATE_SIZE];
        from[34] = from[35] = (uint8_t)c.from;
        to[34] = to[35] = (uint8_t)c.to;
        interpolate_state(out, from, to, c.t);
        // 255 is a whole turn: as good as 0.
        int distance = std::abs(out[34] - c.expected);
        EXPECT_LE(std::min(distance, 255 - distance), 0) << c.from << " -> " << c.to;
        EXPECT_EQ(out[35], out[34]);
    }
}

static void put_field(uint8_t *p, int n, uint32_t value)
{
    for (int i = 0; i < n; i++)
        p[i] = (uint8_t)(value >> (8 * i));
}

// An identity orientation: w = 1, the other parts 0 (32768).
static void put_identity(uint8_t *q, int sign)
{
    put_field(q, 2, sign > 0 ? 65535 : 0);
    for (int i = 1; i < 4; i++)
        put_field(q + 2 * i, 2, 32768);
}

TEST(StateInterpolation, PositionsExtrapolateAndTheRestHoldsAtTheLaterState)
{
    uint8_t from[PACKED_STATE_SIZE] = {0}, to[PACKED_STATE_SIZE] = {0}, out[PACKED_STATE_SIZE];
    put_field(from, 3, 0x400000);   // a quarter of the extent
    put_field(to, 3, 0x800000);
    put_field(from + 3, 3, 0x100000);
    put_field(to + 3, 3, 0x100000);
    put_field(from + 6, 3, 0xf00000);
    put_field(to + 6, 3, 0xff0000);
    put_identity(from + 9, 1);
    put_identity(to + 9, 1);
    put_identity(from + 26, 1);
    put_identity(to + 26, -1);      // the same orientation, negated
    from[17] = 10;
    to[17] = 20;
    from[18] = 0x81;
    to[18] = 0xff;
    from[36] = 0x35;
    to[36] = 0x07;
    put_field(from + 37, 2, 1000);
    put_field(to + 37, 2, 3000);

    interpolate_state(out, from, to, 2.0f);
    EXPECT_NEAR(field(out, 3) / 16777215.0, 0.25 + 2 * 0.25, 1e-6) << "x extrapolated";
    EXPECT_EQ(field(out + 3, 3), 0x100000u);
    EXPECT_EQ(field(out + 6, 3), 0xffffffu) << "z held at the terrain's edge";
    EXPECT_EQ(out[17], 20) << "later fields blend by at most 1";
    EXPECT_EQ(field(out + 37, 2), 3000u);
    EXPECT_EQ(out[36], 0x35) << "gear byte from the earlier state";
    EXPECT_EQ(out[18] & 1, 0);
    EXPECT_EQ(out[18] & 0xfe, 0xfe);
    // q and -q are one orientation: the blend stays on it.
    EXPECT_EQ(memcmp(out + 26, to + 26, 8), 0);
    EXPECT_EQ(memcmp(out + 9, from + 9, 8), 0);

    interpolate_state(out, from, to, 0.5f);
    EXPECT_EQ(field(out, 3), 0x600000u);
    EXPECT_EQ(out[17], 15);
    EXPECT_EQ(field(out + 37, 2), 2000u);

    interpolate_state(out, from, to, 1e30f);
    EXPECT_EQ(field(out, 3), 0xffffffu);
    EXPECT_EQ(out[17], 20);
}
