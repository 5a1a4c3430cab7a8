// Wheel contact refresh and read-outs: once per tic, nothing for bikes that
// make their own contacts, the eight queries on the right wheel, and the
// ground velocity without the spin.
#include "bike/contact_readout.h"

#include "race/race_state.h"
#include "tests/bike/contact_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

const float R = 0.8f, r = 0.3f;

void expect_vec(const float *v, float x, float y, float z, float tolerance = 1e-4f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

}  // namespace

struct ReadoutWorld : ContactWorld {
    std::unique_ptr<BikeState> bike{new BikeState()};

    // Front wheel 0.05 into the ground at z = 100, rear 0.1 at z = 110.
    void SetUp() override
    {
        ContactWorld::SetUp();
        bike->front_contact = make_wheel(100, R + r - 0.05, 100);
        bike->rear_contact = make_wheel(100, R + r - 0.1, 110);
        bike->last_contact_tic = -1;
        current_tic = 5;
    }
};

TEST_F(ReadoutWorld, EachQueryReadsItsOwnWheel)
{
    EXPECT_NEAR(query_front_contact_depth(bike.get()), 0.05f, 1e-4f);
    EXPECT_NEAR(query_rear_contact_depth(bike.get()), 0.1f, 1e-4f);
    float out[3];
    ASSERT_EQ(query_front_contact_position(bike.get(), out), 1);
    expect_vec(out, 100, -0.05f, 100);
    ASSERT_EQ(query_rear_contact_position(bike.get(), out), 1);
    expect_vec(out, 100, -0.1f, 110);
    EXPECT_EQ(bike->last_contact_tic, 5);

    // Moving wheels: the slip is the velocity of the contact point, spin
    // included; the ground velocity leaves the spin about the axle out.
    current_tic = 6;
    dBodySetLinearVel(bike->front_contact.body, 0, 0, 3);
    dBodySetAngularVel(bike->front_contact.body, 2, 0, 0);
    dBodySetLinearVel(bike->rear_contact.body, 0, 0, -4);
    ASSERT_EQ(query_front_contact_slip(bike.get(), out), 1);
    expect_vec(out, 0, 0, 3 - 2 * (R + r));
    ASSERT_EQ(query_front_contact_velocity(bike.get(), out), 1);
    expect_vec(out, 0, 0, 3);
    ASSERT_EQ(query_rear_contact_slip(bike.get(), out), 1);
    expect_vec(out, 0, 0, -4);
    ASSERT_EQ(query_rear_contact_velocity(bike.get(), out), 1);
    expect_vec(out, 0, 0, -4);
}

TEST_F(ReadoutWorld, TwoQueriesInOneTicRefreshOnce)
{
    float before[3], after[3];
    ASSERT_EQ(query_front_contact_position(bike.get(), before), 1);
    // Lifted into the air within the same tic: the values stand.
    dBodySetPosition(bike->front_contact.body, 120, 10, 120);
    EXPECT_NEAR(query_front_contact_depth(bike.get()), 0.05f, 1e-4f);
    ASSERT_EQ(query_front_contact_position(bike.get(), after), 1);
    expect_vec(after, before[0], before[1], before[2], 0);
    // The next tic sees the wheel in the air.
    current_tic++;
    EXPECT_EQ(query_front_contact_depth(bike.get()), 0.0f);
    EXPECT_EQ(bike->last_contact_tic, current_tic);
}

TEST_F(ReadoutWorld, AWheelInTheAirLeavesTheOutputUntouched)
{
    dBodySetPosition(bike->front_contact.body, 100, 5, 100);
    dBodySetPosition(bike->rear_contact.body, 100, 5, 110);
    int (*queries[])(BikeState *, float *) = {
        query_front_contact_position, query_front_contact_slip, query_front_contact_velocity,
        query_rear_contact_position,  query_rear_contact_slip,  query_rear_contact_velocity,
    };
    for (auto query : queries) {
        float out[3] = {7, 8, 9};
        EXPECT_EQ(query(bike.get(), out), 0);
        expect_vec(out, 7, 8, 9, 0);
    }
    EXPECT_EQ(query_front_contact_depth(bike.get()), 0.0f);
    EXPECT_EQ(query_rear_contact_depth(bike.get()), 0.0f);
}

TEST_F(ReadoutWorld, ABikeThatMakesItsOwnContactsIsLeftAlone)
{
    bike->bike_flags = BIKE_FLAG_SIMULATED;
    bike->front_contact.depth = 0.7f;
    bike->front_contact.contact_point[1] = 42;
    EXPECT_FLOAT_EQ(query_front_contact_depth(bike.get()), 0.7f);
    float out[3];
    ASSERT_EQ(query_front_contact_position(bike.get(), out), 1);
    EXPECT_FLOAT_EQ(out[1], 42.0f);
    EXPECT_EQ(bike->last_contact_tic, -1);
    EXPECT_EQ(query_rear_contact_depth(bike.get()), 0.0f);   // never refreshed
}

TEST_F(ReadoutWorld, WithoutATerrainOrABodyNothingTouches)
{
    current_terrain = nullptr;
    bike->front_contact.depth = 0.7f;
    EXPECT_EQ(query_front_contact_depth(bike.get()), 0.0f);
    current_terrain = &ground.terrain;
    current_tic++;
    bike->rear_contact.body = nullptr;
    EXPECT_EQ(query_rear_contact_depth(bike.get()), 0.0f);
    float out[3];
    EXPECT_EQ(query_front_contact_velocity(nullptr, out), 0);
    EXPECT_EQ(query_rear_contact_depth(nullptr), 0.0f);
    refresh_wheel_contacts(nullptr);
}

TEST_F(ReadoutWorld, SpinningInPlace)
{
    // Zero ground velocity; the slip is the spin times the radius.
    dBodySetAngularVel(bike->front_contact.body, 10, 0, 0);
    float out[3];
    ASSERT_EQ(query_front_contact_velocity(bike.get(), out), 1);
    expect_vec(out, 0, 0, 0);
    ASSERT_EQ(query_front_contact_slip(bike.get(), out), 1);
    EXPECT_NEAR(sqrtf(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]), 10 * (R + r), 1e-3f);
}

TEST_F(ReadoutWorld, GroundVelocityRemovesOnlyTheSpinAboutTheAxle)
{
    // The wheel turned a quarter about y: its axle runs along -z. Spin about
    // it drops out; a turn about world x sweeps the contact point along z.
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 0, 1, 0, M_PI / 2);
    WheelContact &wheel = bike->front_contact;
    dBodySetRotation(wheel.body, turn);
    dBodySetLinearVel(wheel.body, 1, 0, 2);
    dBodySetAngularVel(wheel.body, 3, 0, 5);
    const dReal *c = dBodyGetPosition(wheel.body);
    wheel.contact_point[0] = (float)c[0];
    wheel.contact_point[1] = (float)c[1] - 1.1f;
    wheel.contact_point[2] = (float)c[2];
    float out[3];
    get_contact_ground_velocity(&wheel, out);
    // (3, 0, 0) x (0, -1.1, 0) = (0, 0, -3.3)
    expect_vec(out, 1, 0, 2 - 3.3f);

    WheelContact bodiless = wheel;
    bodiless.body = nullptr;
    get_contact_ground_velocity(&bodiless, out);
    expect_vec(out, 0, 0, 0, 0);
}
