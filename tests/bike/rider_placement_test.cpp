// Packed rider states on bikes: packing, posing a second bike from them,
// the velocities and ground rule of placement, the older form, and the
// pull toward states of a bike simulated here.
#include "bike/packed_state.h"

#include "bike/bike_pose.h"
#include "bike/rider_pose.h"
#include "race/race_state.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

static BikeState *make_bike(int slot)
{
    return create_bike("cr125", slot, 1, "1", nullptr, nullptr, nullptr, nullptr);
}

static int field(const uint8_t *p, int offset, int size)
{
    int v = 0;
    for (int i = size - 1; i >= 0; i--)
        v = v << 8 | p[offset + i];
    return v;
}

// Positions, gear and engine bytes equal; orientations, angles and the
// rider's offset within one step of their coding.
static void expect_same_state(const uint8_t *a, const uint8_t *b)
{
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(a[i], b[i]) << "position byte " << i;
    for (int i = 36; i < PACKED_STATE_SIZE; i++)
        EXPECT_EQ(a[i], b[i]) << "byte " << i;
    for (int offset : {9, 11, 13, 15, 20, 22, 24, 26, 28, 30, 32})
        EXPECT_LE(std::abs(field(a, offset, 2) - field(b, offset, 2)), 1) << "field " << offset;
    for (int offset : {17, 18, 19, 34, 35})
        EXPECT_LE(std::abs(a[offset] - b[offset]), 1) << "byte " << offset;
}

// Bike a posed somewhere with its joints moved by the physics itself.
static void ride_somewhere(BikeState *a)
{
    rotate_bike_bodies(a, 0.3f, 1.0f, 0.2f, 0.7f);
    move_bike_bodies(a, 100, 50, 200);
    for (int tic = 0; tic < 20; tic++) {
        dBodyAddRelTorque(a->front_wheel_body, -40, 0, 0);
        dBodyAddRelTorque(a->rear_wheel_body, 60, 0, 0);
        dBodyAddTorque(a->fork_upper_body, 0, 15, 0);
        dBodyAddRelForce(a->fork_lower_body, 0, 90, 0);
        dBodyAddRelForce(a->swingarm_body, 0, 70, 0);
        dBodyAddForce(a->rider_body, 5, 20, -3);
        dWorldStep(physics_world, TIC_LENGTH);
        dJointGroupEmpty(contact_group);
    }
    a->gear = 3;
    a->throttle = 0.6f;
    a->engine_speed = 800.0f;
    a->foot_down_amount = 0.5f;
}

TEST_F(BikeWorld, PackApplyPackKeepsTheState)
{
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    ride_somewhere(a);
    // Every joint moved, and none past its stops (a pose the record holds).
    double steering = dJointGetHingeAngle(a->steering_joint);
    double swingarm = dJointGetHingeAngle(a->swingarm_joint);
    double fork = dJointGetSliderPosition(a->fork_joint);
    EXPECT_GT(std::fabs(steering), 0.05);
    EXPECT_LT(std::fabs(steering), M_PI / 4);
    EXPECT_LT(swingarm, -0.05);
    EXPECT_GT(swingarm, -0.530304);
    EXPECT_LT(fork, -0.05);
    EXPECT_GT(fork, -1.0);
    EXPECT_GT(std::fabs(dJointGetHingeAngle(a->front_axle_joint)), 0.5);

    uint8_t first[PACKED_STATE_SIZE], second[PACKED_STATE_SIZE];
    pack_rider_state(a, first);
    EXPECT_EQ(first[36], 0x9b) << "gear 3, foot down, throttle 9/15";
    disable_bike_physics(b);
    apply_rider_state(b, first, first, first, 1, 0);
    pack_rider_state(b, second);
    expect_same_state(first, second);
    EXPECT_EQ(b->gear, 3);
    EXPECT_NEAR(b->throttle, 9.0f / 15, 1e-6);
    EXPECT_NEAR(b->engine_speed, 800.0f, 0.06f);   // half an rpm
    // Every body of b is where a's is.
    dBodyID bodies_a[BIKE_BODY_COUNT], bodies_b[BIKE_BODY_COUNT];
    get_bike_bodies(a, bodies_a);
    get_bike_bodies(b, bodies_b);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal *pa = dBodyGetPosition(bodies_a[i]), *pb = dBodyGetPosition(bodies_b[i]);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(pa[k], pb[k], 0.02) << "body " << i;
    }

    // A crashed rider: code 7, the rider joint let go, and back again.
    a->crash_timer = 300;
    dJointAttach(a->rider_joint, nullptr, nullptr);
    pack_rider_state(a, first);
    EXPECT_EQ(first[36], 0xf7);
    apply_rider_state(b, first, first, first, 1, 0);
    EXPECT_EQ(b->crash_timer, 128);
    EXPECT_EQ(dJointGetBody(b->rider_joint, 0), nullptr);
    EXPECT_EQ(b->throttle, 0.0f);
    pack_rider_state(b, second);
    expect_same_state(first, second);

    a->crash_timer = 0;
    pack_rider_state(a, first);
    apply_rider_state(b, first, first, first, 1, 0);
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(dJointGetBody(b->rider_joint, 0), b->rider_body);
    pack_rider_state(b, second);
    expect_same_state(first, second);
}

// The gear and flags byte of a record sets gear, throttle and crash state
// of the bike posed from it.
TEST_F(BikeWorld, UnpackingReadsTheGearByte)
{
    struct Case {
        const char *model;
        uint8_t byte;
        int crash_timer;   // after unpacking; 0 = rider on the bike
        int gear;
        float throttle;
    } cases[] = {
        {"cr125", 0x06, 0, 4, 0.0f},       // codes above 5 are gear 5, which the 125 lacks
        {"cr125", 0x05, 0, 4, 0.0f},
        {"rs50yz", 0x06, 0, 5, 0.0f},
        {"rs50yz", 0xf3, 0, 3, 1.0f},
        {"cr125", 0x5b, 0, 3, 5.0f / 15},  // bit 3 (foot down) is no part of the gear
        {"cr125", 0x07, 1, 2, 0.0f},       // rider off: the gear stays as it was
        {"cr125", 0x87, 68, 2, 0.0f},      // 8 x 127 / 15 + 1
        {"cr125", 0xf7, 128, 2, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.model << " " << (int)c.byte);
        BikeState *bike = create_bike(c.model, 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
        move_bike_bodies(bike, 50, 0, 50);
        uint8_t state[PACKED_STATE_SIZE];
        pack_rider_state(bike, state);
        state[36] = c.byte;
        bike->gear = 2;
        bike->throttle = 0.5f;
        unpack_rider_state(bike, state, 0);
        EXPECT_EQ(bike->crash_timer, c.crash_timer);
        EXPECT_EQ(bike->gear, c.gear);
        EXPECT_FLOAT_EQ(bike->throttle, c.throttle);
        EXPECT_EQ(dJointGetBody(bike->rider_joint, 0), c.crash_timer ? nullptr : bike->rider_body);
        free_bike(bike);
    }
}

TEST_F(BikeWorld, PlacementGivesVelocitiesFromTheNeighbouringStates)
{
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    disable_bike_physics(b);
    uint8_t earlier[PACKED_STATE_SIZE], later[PACKED_STATE_SIZE];
    move_bike_bodies(a, 100, 20, 100);
    pack_rider_state(a, earlier);
    reset_bike(a);
    rotate_bike_bodies(a, 0, 1, 0, 0.1f);
    const dReal *frame = dBodyGetPosition(a->frame_body);
    // Frame moved by (1, 0, 0.5) from where it was.
    move_bike_bodies(a, (float)(101 - frame[0]), 20, (float)(103.6 + 0.5 - frame[2]));
    pack_rider_state(a, later);

    apply_rider_state(b, later, earlier, later, 4, 0);
    const dReal *v = dBodyGetLinearVel(b->frame_body);
    EXPECT_NEAR(v[0], 32.0, 0.01);
    EXPECT_NEAR(v[1], 0.0, 0.01);
    EXPECT_NEAR(v[2], 16.0, 0.01);
    const dReal *w = dBodyGetAngularVel(b->frame_body);
    EXPECT_NEAR(w[0], 0.0, 1e-3);
    EXPECT_NEAR(w[1], 0.1 / 4, 1e-3) << "the turn over the tics, per tic";
    EXPECT_NEAR(w[2], 0.0, 1e-3);
    const dReal *p = dBodyGetPosition(b->frame_body);
    EXPECT_NEAR(p[0], 101.0, 1e-3);

    // No tics between the states counts as one.
    apply_rider_state(b, later, earlier, later, 0, 0);
    v = dBodyGetLinearVel(b->frame_body);
    EXPECT_NEAR(v[0], 128.0, 0.05);
}

TEST_F(BikeWorld, PlacementKeepsTheBikeOutOfTheGround)
{
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    disable_bike_physics(b);
    move_bike_bodies(a, 50, -1.5f, 50);
    uint8_t sunk[PACKED_STATE_SIZE];
    pack_rider_state(a, sunk);
    apply_rider_state(b, sunk, sunk, sunk, 1, 0);
    // The rear rim's lowest point was 1.21 ft under the ground.
    EXPECT_NEAR(dBodyGetPosition(b->rear_wheel_body)[1], 0.75, 1e-4);
    EXPECT_NEAR(dBodyGetPosition(b->frame_body)[1], 1.98 - 1.5 + 1.21, 1e-4);

    // A bike above the ground stays where it is.
    reset_bike(a);
    move_bike_bodies(a, 50, 1.0f, 50);
    pack_rider_state(a, sunk);
    apply_rider_state(b, sunk, sunk, sunk, 1, 0);
    EXPECT_NEAR(dBodyGetPosition(b->frame_body)[1], 2.98, 1e-4);
}

TEST_F(BikeWorld, HeightsPackAgainstTheGroundAsLoadedWhateverTheDigging)
{
    // Digging lowers the terrain's minimum; a client or a demo that has dug
    // more or less must still read the same heights from the same bytes.
    ground.terrain.min_height = ground.terrain.loaded_min_height = -10.0f;
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    disable_bike_physics(b);
    move_bike_bodies(a, 40, 3.0f, 60);
    uint8_t before[PACKED_STATE_SIZE], after[PACKED_STATE_SIZE];
    pack_rider_state(a, before);
    ground.terrain.min_height = -30.0f;   // a deep rut somewhere
    pack_rider_state(a, after);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(before[i], after[i]) << "position byte " << i;
    apply_rider_state(b, before, before, before, 1, 0);
    EXPECT_NEAR(dBodyGetPosition(b->frame_body)[1], dBodyGetPosition(a->frame_body)[1], 1e-3);
}

TEST_F(BikeWorld, ACrashInTheStatesStartsTheLoosePoints)
{
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    disable_bike_physics(b);
    move_bike_bodies(a, 50, 0, 50);
    a->crash_timer = 20;
    uint8_t crashed[PACKED_STATE_SIZE];
    pack_rider_state(a, crashed);
    apply_rider_state(b, crashed, crashed, crashed, 1, 0);
    EXPECT_GT(b->crash_timer, 0);
    EXPECT_NEAR(b->foot_down_amount, 8.0f / 128, 1e-6);
    // The loose points start on the pegs, where the rider's feet were.
    const float *peg = bike_models[0].rider_figure + FIGURE_LEFT_FOOT;
    dVector3 left;
    dBodyGetRelPointPos(b->frame_body, peg[0], peg[1], peg[2], left);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(b->loose_points[0].position[k], left[k], 1e-4);
    EXPECT_NEAR(b->loose_points[1].position[0], -b->loose_points[0].position[0] + 100, 1e-3);

    // A foot down on the bike raises the amount too; a foot on the peg not.
    a->crash_timer = 0;
    b->foot_down_amount = 0.0f;
    a->foot_down_amount = 1.0f;
    pack_rider_state(a, crashed);
    apply_rider_state(b, crashed, crashed, crashed, 1, 0);
    EXPECT_NEAR(b->foot_down_amount, 8.0f / 128, 1e-6);
    a->foot_down_amount = 0.0f;
    pack_rider_state(a, crashed);
    apply_rider_state(b, crashed, crashed, crashed, 1, 0);
    EXPECT_NEAR(b->foot_down_amount, 8.0f / 128, 1e-6);
}

TEST_F(BikeWorld, OlderFormPlacesTheRiderAlongItsTravel)
{
    BikeState *a = make_bike(0);
    BikeState *b = make_bike(1);
    move_bike_bodies(a, 60, 10, 70);
    uint8_t full[PACKED_STATE_SIZE];
    pack_rider_state(a, full);
    // Exactly 26 bytes: reading past them would be caught.
    std::vector<uint8_t> old(full, full + 20);
    old.push_back(255);                 // rider at the end of its travel
    old.push_back(0);                   // front wheel at -pi
    old.push_back(128);                 // rear wheel near 0
    old.push_back(0x32);                // gear 2, throttle 3/15
    old.push_back(0x00);
    old.push_back(0x40);                // 0x4000 of 32768 rpm
    ASSERT_EQ(old.size(), (size_t)OLD_PACKED_STATE_SIZE);

    unpack_rider_state(b, old.data(), OLD_PACKED_STATE_FORMAT);
    // Travel 0.5 ft along (0, 1, 1) / sqrt 2 from the rider's rest place.
    const dReal *rider = dBodyGetPosition(b->rider_body);
    double along = 0.5 / std::sqrt(2.0);
    EXPECT_NEAR(rider[0], 60.0, 1e-3);
    EXPECT_NEAR(rider[1], 4.5 + 10 + along, 1e-3);
    EXPECT_NEAR(rider[2], 4.12 + 70 + along, 1e-3);
    EXPECT_EQ(b->gear, 2);
    EXPECT_NEAR(b->throttle, 0.2f, 1e-6);
    EXPECT_NEAR(b->engine_speed * 60 / (2 * M_PI), 0x4000 / 65535.0 * 32768, 0.01);
    EXPECT_NEAR(std::fabs(dJointGetHingeAngle(b->front_axle_joint)), M_PI, 1e-3);

    // Placement reads the older form as well (its gear byte is byte 23).
    disable_bike_physics(b);
    old[23] = 0x0f;   // foot down, gear 7 = rider off
    apply_rider_state(b, old.data(), old.data(), old.data(), 1, OLD_PACKED_STATE_FORMAT);
    EXPECT_EQ(b->crash_timer, 1);
    EXPECT_NEAR(b->foot_down_amount, 8.0f / 128, 1e-6);
}

static void encode_pose(uint8_t *out, double x, double steering, double rider_dy, uint8_t gear_byte)
{
    RiderStateValues v;
    memset(&v, 0, sizeof v);
    v.frame_position[0] = x;
    v.frame_position[1] = 1.98;
    v.frame_position[2] = 3.6;
    v.frame_orientation[0] = v.rider_orientation[0] = 1.0;
    v.steering_angle = steering;
    v.rider_offset[1] = 4.5 - 1.98 + rider_dy;
    v.rider_offset[2] = 4.12 - 3.6;
    v.gear_byte = gear_byte;
    v.engine_rpm = 6000;
    PackedStateScale scale = {512.0, 0.0, 0.530304, 1.0};
    encode_rider_state(&v, &scale, out);
}

TEST_F(BikeWorld, ASimulatedBikeIsPulledTowardTheStates)
{
    BikeState *b = make_bike(1);
    uint8_t state[PACKED_STATE_SIZE];
    struct Case {
        float weight;
        double offset;
        double force;
    } cases[] = {
        {0.9f, 0.1, 0.0},      // fully simulated: no pull
        {0.6f, 0.1, 300.0},    // 5000 x 0.6
        {0.3f, 0.1, 2300.0},   // 5000 + 45000 x 0.4
        {0.3f, 1.0, 2500.0},   // limited
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.weight);
        reset_bike(b);
        b->physics_weight = c.weight;
        encode_pose(state, c.offset, 0.0, 0.0, 0x00);
        apply_rider_state(b, state, state, state, 1, 0);
        EXPECT_NEAR(dBodyGetForce(b->frame_body)[0], c.force, 1.0);
        EXPECT_NEAR(dBodyGetForce(b->frame_body)[1], 0.0, 1.0);
        dBodySetForce(b->frame_body, 0, 0, 0);
    }

    // Controls follow the record: steering, dab, lean, gear and throttle.
    reset_bike(b);
    b->physics_weight = 1.0f;
    encode_pose(state, 0.0, 0.4, -0.2, encode_gear_byte(0, 2, 1.0f, 0.5f));
    pull_bike_toward_state(b, state, state, state, 1, 0);
    EXPECT_NEAR(b->steer, 0.1, 0.002);
    EXPECT_EQ(b->dab, 1.0f);
    EXPECT_NEAR(b->lean, 0.2, 1e-3);
    EXPECT_EQ(b->gear, 2);
    EXPECT_NEAR(b->throttle, 7.0f / 15, 1e-6);
    EXPECT_NEAR(b->engine_speed * 60 / (2 * M_PI), 6000, 0.5);

    // Off the bike in the record: the rider lets go here too.
    encode_pose(state, 0.0, 0.0, 0.0, encode_gear_byte(300, 2, 0.0f, 0.0f));
    pull_bike_toward_state(b, state, state, state, 1, 0);
    EXPECT_EQ(b->crash_timer, 128);
    EXPECT_EQ(dJointGetBody(b->rider_joint, 0), nullptr);
    EXPECT_EQ(b->dab, 0.0f);
    EXPECT_EQ(b->lean, 0.0f);
    EXPECT_EQ(b->throttle, 0.0f);
    // And back on.
    encode_pose(state, 0.0, 0.0, 0.0, encode_gear_byte(0, 1, 0.0f, 0.0f));
    pull_bike_toward_state(b, state, state, state, 1, 0);
    EXPECT_EQ(b->crash_timer, 0);
    EXPECT_EQ(dJointGetBody(b->rider_joint, 0), b->rider_body);
    EXPECT_NEAR(dBodyGetPosition(b->rider_body)[1], 4.5, 1e-3);
}

TEST(RotationVector, BetweenTwoOrientations)
{
    struct Case {
        double axis[3];
        double angle;
    } cases[] = {
        {{0, 1, 0}, 0.1}, {{1, 0, 0}, -0.5}, {{0, 0, 1}, 2.5}, {{1, 2, 3}, 1.0}, {{0, 1, 0}, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        dMatrix3 base, turn, turned;
        dRFromAxisAndAngle(base, 0.3, -0.2, 0.9, 0.8);
        dRFromAxisAndAngle(turn, c.axis[0], c.axis[1], c.axis[2], c.angle);
        dMultiply0_333(turned, turn, base);   // turned about the world axis
        double a[9], b[9], out[3];
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) {
                a[3 * i + j] = base[4 * i + j];
                b[3 * i + j] = turned[4 * i + j];
            }
        rotation_vector_between(a, b, out);
        double length = std::sqrt(c.axis[0] * c.axis[0] + c.axis[1] * c.axis[1] + c.axis[2] * c.axis[2]);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(out[k], c.axis[k] / length * c.angle, 1e-6);
    }
}
