// Byte layout of the packed rider state and its edge cases.
#include "bike/packed_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

static const PackedStateScale SCALE = {1024.0, -20.0, 0.530304, 1.0};

static RiderStateValues resting_values()
{
    RiderStateValues v;
    memset(&v, 0, sizeof v);
    v.frame_position[0] = 512.0;
    v.frame_position[1] = 10.0;
    v.frame_position[2] = 256.0;
    v.frame_orientation[0] = 1.0;
    v.rider_orientation[0] = 1.0;
    v.rider_offset[1] = 2.52;
    return v;
}

static uint32_t get24(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16;
}

static uint32_t get16(const uint8_t *p)
{
    return p[0] | p[1] << 8;
}

TEST(PackedStateCodec, PositionsSpanTheTerrain)
{
    struct Case {
        double x, y;
        uint32_t x_code, y_code;
    } cases[] = {
        {0.0, -20.0, 0, 0},
        {1024.0, 1004.0, 0xffffff, 0xffffff},
        {-5.0, -100.0, 0, 0},                        // outside: the nearest edge
        {5000.0, 5000.0, 0xffffff, 0xffffff},
        {512.0, 492.0, 8388608, 8388608},            // floor(8388607.5 + 0.5)
        {std::nan(""), std::nan(""), 0, 0},
    };
    for (const Case &c : cases) {
        RiderStateValues v = resting_values();
        v.frame_position[0] = c.x;
        v.frame_position[1] = c.y;
        uint8_t bytes[PACKED_STATE_SIZE];
        encode_rider_state(&v, &SCALE, bytes);
        EXPECT_EQ(get24(bytes), c.x_code) << c.x;
        EXPECT_EQ(get24(bytes + 3), c.y_code) << c.y;
    }
    // Without a terrain there is nothing to scale by: positions pack as 0.
    PackedStateScale none = {0.0, 0.0, 0.530304, 1.0};
    RiderStateValues v = resting_values();
    uint8_t bytes[PACKED_STATE_SIZE];
    encode_rider_state(&v, &none, bytes);
    EXPECT_EQ(get24(bytes), 0u);
    EXPECT_EQ(get24(bytes + 6), 0u);
}

TEST(PackedStateCodec, FieldLayout)
{
    RiderStateValues v = resting_values();
    v.frame_orientation[0] = 0.0;
    v.frame_orientation[1] = 1.0;    // half turn about x
    v.steering_angle = M_PI / 4;
    v.swingarm_angle = -0.530304;
    v.fork_position = 0.0;
    v.rider_offset[0] = -16.0;
    v.rider_offset[1] = 0.0;
    v.rider_offset[2] = 100.0;
    v.front_wheel_angle = -M_PI;
    v.rear_wheel_angle = 0.0;
    v.gear_byte = 0x5a;
    v.engine_rpm = 16384.0;
    uint8_t p[PACKED_STATE_SIZE];
    encode_rider_state(&v, &SCALE, p);
    EXPECT_EQ(get16(p + 9), 32768u) << "a component of exactly 0";
    EXPECT_EQ(get16(p + 11), 65535u);
    EXPECT_EQ(get16(p + 13), 32768u);
    EXPECT_EQ(p[17], 255);
    EXPECT_EQ(p[18], 1) << "rear suspension always has bit 0 set";
    EXPECT_EQ(p[19], 254) << "front suspension always has bit 0 clear";
    EXPECT_EQ(get16(p + 20), 0u);
    EXPECT_EQ(get16(p + 22), 32768u);
    EXPECT_EQ(get16(p + 24), 65535u);
    EXPECT_EQ(get16(p + 26), 65535u);
    EXPECT_EQ(p[34], 0);
    EXPECT_EQ(p[35], 128);
    EXPECT_EQ(p[36], 0x5a);
    EXPECT_EQ(get16(p + 37), 32768u);
}

TEST(PackedStateCodec, EngineSpeedIsClamped)
{
    struct Case {
        double rpm;
        uint32_t code;
    } cases[] = {{-100.0, 0}, {0.0, 0}, {32768.0, 65535}, {40000.0, 65535}, {8192.0, 16384}};
    for (const Case &c : cases) {
        RiderStateValues v = resting_values();
        v.engine_rpm = c.rpm;
        uint8_t p[PACKED_STATE_SIZE];
        encode_rider_state(&v, &SCALE, p);
        EXPECT_EQ(get16(p + 37), c.code) << c.rpm;
    }
}

TEST(PackedStateCodec, GearByte)
{
    struct Case {
        int crash_timer, gear;
        float foot_down, throttle;
        uint8_t expected;
    } cases[] = {
        {0, 3, 0.0f, 0.5f, 0x73},
        {0, 9, 0.0f, 0.0f, 0x06},     // above 6 packs as 6
        {0, -2, 0.0f, 0.0f, 0x00},
        {0, 1, 0.1f, 1.0f, 0xf9},     // foot down sets bit 3
        {0, 1, 0.0f, 7.0f, 0xf1},
        {0, 1, 0.0f, std::nanf(""), 0x01},
        {-5, 2, 0.0f, 0.0f, 0x02},    // a negative timer is on the bike
        {1, 4, 1.0f, 1.0f, 0x07},     // off the bike: code 7 whatever the gear
        {64, 4, 0.0f, 0.0f, 0x77},
        {128, 0, 0.0f, 0.0f, 0xf7},
        {2000000, 0, 0.0f, 0.0f, 0xf7},
    };
    for (const Case &c : cases)
        EXPECT_EQ(encode_gear_byte(c.crash_timer, c.gear, c.foot_down, c.throttle), c.expected)
            << c.crash_timer << " " << c.gear;
    EXPECT_EQ(decode_crash_timer(0x07), 1);
    EXPECT_EQ(decode_crash_timer(0x77), 60);
    EXPECT_EQ(decode_crash_timer(0xf7), 128);
}

TEST(PackedStateCodec, DecodingReturnsEveryFieldWithinOneStep)
{
    RiderStateValues v = resting_values();
    v.frame_position[0] = 123.456;
    v.frame_position[1] = 77.7;
    v.frame_position[2] = 900.01;
    double q[4] = {0.8, 0.2, -0.4, 0.4};
    double length = std::sqrt(0.64 + 0.04 + 0.16 + 0.16);
    for (int i = 0; i < 4; i++)
        v.frame_orientation[i] = v.rider_orientation[i] = q[i] / length;
    v.steering_angle = -0.3;
    v.swingarm_angle = -0.2;
    v.fork_position = -0.6;
    v.rider_offset[0] = 0.3;
    v.rider_offset[1] = 2.4;
    v.rider_offset[2] = -0.7;
    v.front_wheel_angle = 2.0;
    v.rear_wheel_angle = -1.0;
    v.gear_byte = 0x42;
    v.engine_rpm = 9000.0;
    uint8_t p[PACKED_STATE_SIZE];
    encode_rider_state(&v, &SCALE, p);
    RiderStateValues d;
    decode_rider_state(p, 0, &SCALE, &d);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(d.frame_position[i], v.frame_position[i], 1024.0 / 16777215);
        EXPECT_NEAR(d.rider_offset[i], v.rider_offset[i], 32.0 / 65535);
    }
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(d.frame_orientation[i], v.frame_orientation[i], 2.0 / 65535);
        EXPECT_NEAR(d.rider_orientation[i], v.rider_orientation[i], 2.0 / 65535);
    }
    EXPECT_NEAR(d.steering_angle, v.steering_angle, M_PI / 2 / 255);
    EXPECT_NEAR(d.swingarm_angle, v.swingarm_angle, 2 * 0.530304 / 255);   // bit 0 forced
    EXPECT_NEAR(d.fork_position, v.fork_position, 2.0 / 255);
    EXPECT_NEAR(d.front_wheel_angle, v.front_wheel_angle, 2 * M_PI / 255);
    EXPECT_NEAR(d.rear_wheel_angle, v.rear_wheel_angle, 2 * M_PI / 255);
    EXPECT_EQ(d.gear_byte, 0x42);
    EXPECT_NEAR(d.engine_rpm, 9000.0, 32768.0 / 65535);
}

// The suspension bytes are read whole: bit 0, forced on packing, still
// counts when reading.
TEST(PackedStateCodec, AngleBytesDecodeOverTheirWholeRange)
{
    const double T = SCALE.swingarm_travel, F = SCALE.fork_travel;
    struct Case {
        int offset;
        uint8_t byte;
        double expected;
    } cases[] = {
        {17, 0, -M_PI / 4},   {17, 255, M_PI / 4},  {17, 51, -M_PI / 4 + 0.2 * M_PI / 2},
        {18, 0, -T},          {18, 1, -T + T / 255}, {18, 255, 0.0},
        {19, 0, -F},          {19, 254, -F / 255},   {19, 255, 0.0},
        {34, 0, -M_PI},       {34, 255, M_PI},       {35, 102, -M_PI + 0.4 * 2 * M_PI},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << c.offset << " = " << (int)c.byte);
        uint8_t p[PACKED_STATE_SIZE] = {};
        p[c.offset] = c.byte;
        RiderStateValues d;
        decode_rider_state(p, 0, &SCALE, &d);
        double got = c.offset == 17   ? d.steering_angle
                     : c.offset == 18 ? d.swingarm_angle
                     : c.offset == 19 ? d.fork_position
                     : c.offset == 34 ? d.front_wheel_angle
                                      : d.rear_wheel_angle;
        EXPECT_NEAR(got, c.expected, 1e-12);
    }
}

TEST(PackedStateCodec, OlderFormReadsItsOwnTail)
{
    uint8_t p[OLD_PACKED_STATE_SIZE];
    memset(p, 0, sizeof p);
    p[9] = 0xff;                 // frame w = 1
    p[10] = 0xff;
    for (int i = 11; i < 17; i++)
        p[i] = i % 2 ? 0x00 : 0x80;   // x, y, z = 0
    p[20] = 51;                  // rider travel 0.2
    p[21] = 0;                   // front wheel -pi
    p[22] = 255;                 // rear wheel +pi
    p[23] = 0x13;
    p[24] = 0xff;
    p[25] = 0x7f;
    RiderStateValues d;
    decode_rider_state(p, OLD_PACKED_STATE_FORMAT, &SCALE, &d);
    EXPECT_NEAR(d.rider_travel, 0.2, 1e-9);
    EXPECT_NEAR(d.front_wheel_angle, -M_PI, 1e-9);
    EXPECT_NEAR(d.rear_wheel_angle, M_PI, 1e-9);
    EXPECT_EQ(d.gear_byte, 0x13);
    EXPECT_NEAR(d.engine_rpm, 0x7fff / 65535.0 * 32768.0, 1e-9);
    EXPECT_NEAR(d.frame_orientation[0], 1.0, 1e-4);
    EXPECT_NEAR(d.frame_position[1], -20.0, 1e-9);
}

// Records from a demo file or the network can hold any bytes: decoding
// them must give finite values, unit quaternions and angles in range.
TEST(PackedStateCodec, AnyBytesDecodeToAUsablePose)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; round++) {
        uint8_t p[PACKED_STATE_SIZE];
        for (uint8_t &b : p)
            b = (uint8_t)random();
        if (round == 0) {
            // All quaternion parts 0: no orientation at all.
            for (int i = 9; i < 17; i += 2) {
                p[i] = 0x00;
                p[i + 1] = 0x80;
            }
        }
        RiderStateValues d;
        decode_rider_state(p, round % 3 == 0 ? OLD_PACKED_STATE_FORMAT : 0, &SCALE, &d);
        double qf = 0, qr = 0;
        for (int i = 0; i < 4; i++) {
            ASSERT_TRUE(std::isfinite(d.frame_orientation[i]));
            ASSERT_TRUE(std::isfinite(d.rider_orientation[i]));
            qf += d.frame_orientation[i] * d.frame_orientation[i];
            qr += d.rider_orientation[i] * d.rider_orientation[i];
        }
        ASSERT_NEAR(qf, 1.0, 1e-9);
        ASSERT_NEAR(qr, 1.0, 1e-9);
        for (int i = 0; i < 3; i++) {
            ASSERT_GE(d.frame_position[i], i == 1 ? -20.0 : 0.0);
            ASSERT_LE(d.frame_position[i], i == 1 ? 1004.0 : 1024.0);
            ASSERT_LE(std::fabs(d.rider_offset[i]), 16.0);
        }
        ASSERT_LE(std::fabs(d.steering_angle), M_PI / 4 + 1e-12);
        ASSERT_LE(d.swingarm_angle, 1e-12);
        ASSERT_GE(d.fork_position, -1.0);
        ASSERT_LE(std::fabs(d.front_wheel_angle), M_PI + 1e-12);
        ASSERT_GE(d.engine_rpm, 0.0);
        ASSERT_LE(d.engine_rpm, 32768.0);
        ASSERT_GE(d.rider_travel, 0.0);
        ASSERT_LE(d.rider_travel, 1.0);
    }
    uint8_t zero[PACKED_STATE_SIZE] = {};
    for (int i = 9; i < 17; i += 2)
        zero[i + 1] = 0x80;
    RiderStateValues d;
    decode_rider_state(zero, 0, &SCALE, &d);
    EXPECT_EQ(d.frame_orientation[0], 1.0) << "an orientation of no length is the identity";
}
