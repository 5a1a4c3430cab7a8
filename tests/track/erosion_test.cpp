// Erosion: the message codec, the queue with its full message, and the
// drain's budget, viewer deferral and digging.
#include "track/erosion.h"

#include "race/race_state.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

class Erosion : public testing::Test {
protected:
    MemoryTerrain *memory = nullptr;
    void SetUp() override
    {
        memory = new MemoryTerrain(FIXTURE_EXPONENT, 2.0f);
        roost_defaults(&memory->terrain.tiles[0]);
        memory->terrain.tiles[0].erosion.limit_count = 1;
        memory->terrain.tiles[0].erosion.limit_value2[0] = 1.0f;
        memory->terrain.tiles[0].erosion.limit_value3[0] = 1.0f;
        current_terrain = &memory->terrain;
        reset_erosion_queue();
        current_tic = 0;
    }
    void TearDown() override
    {
        current_terrain = nullptr;
        delete memory;
    }
    // A message of one point at (x, z) with the given direction bytes.
    static std::vector<uint8_t> one_point(float x, float z, uint8_t dx, uint8_t dz)
    {
        ErosionRecord record{};
        record.point_count = 1;
        record.points[0] = {x, z, 0, 0, 0};
        std::vector<uint8_t> message(EROSION_MESSAGE_MAX);
        message.resize(encode_erosion_record(message.data(), &record));
        message[15] = dx;
        message[16] = dz;
        return message;
    }
};

TEST_F(Erosion, DirectionBytes)
{
    struct Case {
        float component;
        int flags;
        uint8_t byte;
        float decoded;
    } cases[] = {
        {1.0f, 0, 0xFC, 0.96875f},  {1.0f, 3, 0xFF, 0.96875f},  {5.0f, 1, 0xFD, 0.96875f},
        {-1.0f, 2, 0x02, -1.0f},    {0.0f, 0, 0x80, 0.0f},      {0.5f, 0, 0xC0, 0.5f},
        {-0.25f, 1, 0x61, -0.25f},  {NAN, 0, 0x00, -1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.component);
        EXPECT_EQ(encode_erosion_direction(c.component, c.flags), c.byte);
        EXPECT_FLOAT_EQ(decode_erosion_direction(c.byte), c.decoded);
    }
    // Every level decodes to what was encoded.
    for (int level = 0; level < 64; level++) {
        float d = level / 64.0f * 2 - 1;
        EXPECT_EQ(encode_erosion_direction(d, 0), level << 2);
    }
}

TEST_F(Erosion, MessageLengthsAndRoundTrip)
{
    ErosionRecord record{};
    clear_erosion_record(&record);
    uint8_t message[EROSION_MESSAGE_MAX];
    EXPECT_EQ(encode_erosion_record(message, &record), 0);
    record.step_bounds[0] = -3.0f;
    record.step_bounds[1] = -1.0f;
    record.step_bounds[2] = 2.0f;
    record.step_bounds[3] = 4.0f;
    for (int i = 0; i < EROSION_POINTS; i++) {
        // A wandering path whose steps stay inside the bounds.
        float x = 100.0f + i * 1.3f + (i % 3) * 0.4f, z = 50.0f + i * 2.1f - (i % 2) * 0.5f;
        record.points[i] = {x, z, (i % 5) / 5.0f, -0.5f, i % 17};
    }
    record.point_count = 1;
    EXPECT_EQ(encode_erosion_record(message, &record), 17);
    record.point_count = EROSION_POINTS;
    int length = encode_erosion_record(message, &record);
    ASSERT_EQ(length, 269);
    EXPECT_EQ(message[0], 1);

    queue_erosion_message(message, length);
    ASSERT_EQ(erosion_queue.count, EROSION_POINTS);
    float step = 6.125f / 255 / 2 + 1e-4f;
    for (int i = 0; i < EROSION_POINTS; i++) {
        const ErosionQueueEntry &e = erosion_queue.entries[i];
        SCOPED_TRACE(i);
        // Positions do not drift: each is within half a step of the original.
        EXPECT_NEAR(e.x, record.points[i].x, step + 1e-3f);
        EXPECT_NEAR(e.z, record.points[i].z, step + 1e-3f);
        EXPECT_NEAR(e.direction_x, record.points[i].direction_x, 1.0f / 32);
        EXPECT_FLOAT_EQ(e.direction_z, -0.5f);
        EXPECT_EQ(e.flags, i % 17 > 15 ? 15 : i % 17);   // 16 samples keep all four bits
    }
}

TEST_F(Erosion, MalformedMessagesAddNothingAndLongOnesStopAt64)
{
    std::vector<uint8_t> m = one_point(10, 10, 0x80, 0x80);
    queue_erosion_message(m.data(), 16);
    m[0] = 2;
    queue_erosion_message(m.data(), 17);
    EXPECT_EQ(erosion_queue.count, 0);
    std::vector<uint8_t> big(1000, 0);
    big[0] = 1;
    queue_erosion_message(big.data(), (int)big.size());
    EXPECT_EQ(erosion_queue.count, EROSION_POINTS);
}

TEST_F(Erosion, FullQueueDropsPointsAndSaysSoOnce)
{
    std::vector<uint8_t> big(EROSION_MESSAGE_MAX, 0);
    big[0] = 1;
    for (int i = 0; i < EROSION_QUEUE_SIZE / EROSION_POINTS + 2; i++)
        queue_erosion_message(big.data(), (int)big.size());
    EXPECT_EQ(erosion_queue.count, EROSION_QUEUE_SIZE);
    EXPECT_EQ(count_messages("Erode queue full!"), 1);
    reset_erosion_queue();
    EXPECT_EQ(erosion_queue.count, 0);
}

TEST_F(Erosion, DrainBudget)
{
    // Points far from the viewer; every drain takes count/512 + 4 (+ the excess over 8192 / 64).
    std::vector<uint8_t> m = one_point(400, 400, 0x80, 0x80);
    struct Case {
        int queued, taken;
    } cases[] = {{3, 3}, {600, 5}, {8191, 19}, {10000, 51}};
    float viewer[3] = {0, 0, 0};
    for (const Case &c : cases) {
        reset_erosion_queue();
        for (int i = 0; i < c.queued; i++)
            queue_erosion_message(m.data(), (int)m.size());
        drain_erosion_queue(viewer, 1.0f);
        EXPECT_EQ(c.queued - erosion_queue.count, c.taken) << c.queued;
    }
    // Above 8192 points the viewer is ignored: points right at the viewer are dug.
    reset_erosion_queue();
    m = one_point(1, 1, 0x80, 0x80);
    for (int i = 0; i < 10000; i++)
        queue_erosion_message(m.data(), (int)m.size());
    drain_erosion_queue(viewer, 1.0f);
    EXPECT_EQ(erosion_queue.count, 10000 - 51);
}

TEST_F(Erosion, PointNearTheViewerWaitsAtMost256Tics)
{
    std::vector<uint8_t> m = one_point(100, 100, 0xFC, 0x80);
    queue_erosion_message(m.data(), (int)m.size());
    float viewer[3] = {109, 0, 100};   // 9 ft away
    for (current_tic = 0; current_tic <= 256; current_tic++) {
        drain_erosion_queue(viewer, 1024.0f);
        ASSERT_EQ(erosion_queue.count, 1) << current_tic;
    }
    EXPECT_EQ(erosion_queue.deadline, 256);
    drain_erosion_queue(viewer, 1024.0f);   // tic 257: past the deadline
    EXPECT_EQ(erosion_queue.count, 0);
    EXPECT_EQ(erosion_queue.deadline, EROSION_NO_DEADLINE);
}

TEST_F(Erosion, DiggingMovesDirtToThePilePoint)
{
    float before = 0.0f;
    // Direction +x, four samples: dig at (100, 100) and pile behind it at x - reach.
    std::vector<uint8_t> m = one_point(100, 100, 0xFC | 0, 0x80 | 1);
    queue_erosion_message(m.data(), (int)m.size());
    EXPECT_EQ(erosion_queue.entries[0].flags, 4);
    drain_erosion_queue(nullptr, 1024.0f);
    EXPECT_LT(memory->at(50, 50), before);
    EXPECT_LT(memory->at(51, 51), before);   // the outer footprint
    // The pile lies behind the point (against the direction).
    EXPECT_GT(memory->at(49, 50), memory->at(51, 50));
    double total = 0.0;
    for (int i = 0; i < FIXTURE_SIDE * FIXTURE_SIDE; i++)
        total += memory->heights[i];
    EXPECT_NEAR(total, 0.0, 1e-4);   // what was removed was deposited

    // Flags 0 dig only the inner footprint (radius 2 ft: one sample ring).
    MemoryTerrain fresh(FIXTURE_EXPONENT, 2.0f);
    fresh.terrain.tiles[0] = memory->terrain.tiles[0];
    current_terrain = &fresh.terrain;
    m = one_point(200, 200, 0xFC, 0x80);
    queue_erosion_message(m.data(), (int)m.size());
    drain_erosion_queue(nullptr, 1024.0f);
    EXPECT_LT(fresh.at(100, 100), 0.0f);
    EXPECT_EQ(fresh.at(101, 101), 0.0f) << "outer footprint dug without samples";
    total = 0.0;
    for (int i = 0; i < FIXTURE_SIDE * FIXTURE_SIDE; i++)
        total += fresh.heights[i];
    EXPECT_NEAR(total, 0.0, 1e-4);
}

TEST_F(Erosion, WithoutReachThePointIsDugAndRefilledInPlace)
{
    // On flat ground every slope test passes. A direction that decodes to
    // zero digs nothing; a reach of 0 (a direction too short for any
    // strength, or a tile without displacement) digs the point and puts the
    // dirt back around the point itself, so the rut is level across it.
    struct Case {
        const char *name;
        uint8_t dx, dz;
        float displacement;
        bool digs;
    } cases[] = {
        {"direction decodes to zero", 0x80 | 3, 0x80 | 3, 2.0f, false},
        {"direction too short for any reach", 0x84 | 3, 0x80 | 3, 2.0f, true},   // 1/32: strength 0
        {"tile without displacement", 0xFC | 3, 0x80 | 3, 0.0f, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MemoryTerrain fresh(FIXTURE_EXPONENT, 2.0f);
        fresh.terrain.tiles[0] = memory->terrain.tiles[0];
        fresh.terrain.tiles[0].erosion.erode_displacement = c.displacement;
        current_terrain = &fresh.terrain;
        std::vector<uint8_t> m = one_point(100, 100, c.dx, c.dz);
        queue_erosion_message(m.data(), (int)m.size());
        drain_erosion_queue(nullptr, 1024.0f);
        EXPECT_EQ(erosion_queue.count, 0);
        double total = 0.0;
        int changed = 0;
        for (int i = 0; i < FIXTURE_SIDE * FIXTURE_SIDE; i++) {
            total += fresh.heights[i];
            changed += fresh.heights[i] != 0.0f;
        }
        if (!c.digs) {
            EXPECT_EQ(changed, 0);
            EXPECT_EQ(fresh.terrain.change_counter, 1);
            continue;
        }
        EXPECT_GT(changed, 0);
        EXPECT_NE(fresh.at(50, 50), 0.0f);
        EXPECT_NEAR(total, 0.0, 1e-4);   // every bit removed is put back
        // Refilled at the point: the same on both sides, unlike a pile
        // pushed behind a point with reach.
        EXPECT_NE(fresh.at(49, 50), 0.0f);
        EXPECT_NEAR(fresh.at(49, 50), fresh.at(51, 50), 1e-6);
        EXPECT_NEAR(fresh.at(50, 49), fresh.at(50, 51), 1e-6);
    }
}

TEST_F(Erosion, FirstPointAtTheFarEdgeStaysThere)
{
    // 24-bit fractions of the extent: the far edge is 0xFFFFFF and decodes
    // back to the edge, not the opposite one.
    float extent = memory->terrain.extent;
    struct Case {
        float x, z;
        uint32_t ux, uz;
    } cases[] = {
        {extent, extent, 0xFFFFFF, 0xFFFFFF},
        {extent * 2, 0.0f, 0xFFFFFF, 0},
        {0.0f, -5.0f, 0, 0},
        {extent / 2, NAN, 0x800000, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        ErosionRecord record{};
        record.point_count = 1;
        record.points[0] = {c.x, c.z, 0, 0, 1};
        uint8_t message[EROSION_MESSAGE_MAX];
        ASSERT_EQ(encode_erosion_record(message, &record), 17);
        EXPECT_EQ(message[9] | message[10] << 8 | message[11] << 16, (int)c.ux);
        EXPECT_EQ(message[12] | message[13] << 8 | message[14] << 16, (int)c.uz);
        reset_erosion_queue();
        queue_erosion_message(message, 17);
        ASSERT_EQ(erosion_queue.count, 1);
        EXPECT_NEAR(erosion_queue.entries[0].x, (float)c.ux / 16777215 * extent, 1e-3);
    }
    // A second point one step inside the edge is reached from the first.
    ErosionRecord record{};
    record.point_count = 2;
    record.points[0] = {extent, 10.0f, 0, 0, 1};
    record.points[1] = {extent - 1.0f, 10.0f, 0, 0, 1};
    record.step_bounds[0] = record.step_bounds[2] = -1.0f;
    uint8_t message[EROSION_MESSAGE_MAX];
    ASSERT_EQ(encode_erosion_record(message, &record), 21);
    reset_erosion_queue();
    queue_erosion_message(message, 21);
    ASSERT_EQ(erosion_queue.count, 2);
    EXPECT_NEAR(erosion_queue.entries[1].x, extent - 1.0f, 0.01f);
}
