// Engine, clutch and gears: the torque curves, the automatic clutch, the
// slipping drive phase, automatic shifting, the brakes and their antilock,
// and states that must not poison the physics.
#include "bike/engine.h"

#include "bike/bike_setters.h"
#include "race/race_state.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const double RPM_PER_RADIAN = 60.0 / (2.0 * M_PI);

float speed_for_rpm(double rpm)
{
    return (float)(rpm / RPM_PER_RADIAN);
}

BikeState bare_bike(const char *name)
{
    BikeState bike;
    memset(&bike, 0, sizeof bike);
    bike.model_index = (int)(find_bike_model(name) - bike_models.data());
    return bike;
}

BikeState *ride(const char *name)
{
    current_tic = 0;
    return create_bike(name, 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
}

void clear_torques(BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT] = {bike->frame_body,      bike->front_wheel_body,
                                       bike->rear_wheel_body, bike->fork_upper_body,
                                       bike->fork_lower_body, bike->swingarm_body,
                                       bike->rider_body};
    for (dBodyID body : bodies)
        dBodySetTorque(body, 0, 0, 0);
}

// The drive torque the last step put on the rear wheel (about its axle,
// positive = forward); the bike stands unturned, so the world x axis is
// the axle.
double drive_torque(const BikeState *bike)
{
    return -dBodyGetTorque(bike->rear_wheel_body)[0];
}

double overall_ratio(const BikeState *bike)
{
    const BikeModel *m = get_bike_state_model(bike);
    return (double)m->primary_ratio * m->gear_ratios[bike->gear] * bike->final_drive;
}

bool finite3(const dReal *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

TEST(EngineTorque, ReadsBothCurvesAndHoldsTheirEnds)
{
    BikeState bike = bare_bike("cr125");
    const BikeModel *m = get_bike_state_model(&bike);
    const float closed_last = m->closed_throttle_torque[TORQUE_CURVE_POINTS - 1];
    const float open_last = m->open_throttle_torque[TORQUE_CURVE_POINTS - 1];
    struct Case {
        float speed;
        float throttle;
        float expected;
    } cases[] = {
        {0.0f, 0.0f, 2.0f},
        {0.0f, 1.0f, 5.0f},
        {0.0f, 0.5f, 3.5f},
        // 2750 rpm lies halfway between the points of 2500 and 3000 rpm.
        {speed_for_rpm(2750), 0.0f, -1.3f},
        {speed_for_rpm(2750), 1.0f, 6.05f},
        {speed_for_rpm(2750), 0.5f, 2.375f},
        {speed_for_rpm(24500), 0.0f, closed_last},
        {speed_for_rpm(30000), 0.0f, closed_last},
        {speed_for_rpm(30000), 1.0f, open_last},
        {1e30f, 1.0f, open_last},
        {INFINITY, 0.0f, closed_last},
        // Turning backward or not a number reads as standing still.
        {-300.0f, 1.0f, 5.0f},
        {-INFINITY, 0.0f, 2.0f},
        {std::nanf(""), 1.0f, 5.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "speed " << c.speed << " throttle " << c.throttle);
        bike.engine_speed = c.speed;
        bike.throttle = c.throttle;
        EXPECT_NEAR(get_engine_torque(&bike), c.expected, 1e-4);
    }
    EXPECT_EQ(closed_last, -23.0f);
    EXPECT_EQ(open_last, -11.0f);

    bike.engine_speed = speed_for_rpm(9400);
    EXPECT_NEAR(get_engine_rpm(&bike), 9400.0f, 0.01f);
}

TEST_F(BikeWorld, WheelieCutTakesAwayDriveTorqueOnly)
{
    BikeState *bike = ride("cr125");
    struct Case {
        const char *name;
        int options;
        float front_depth, rear_depth;
        float pitch_rate;   // about the frame's x axis, negative = front dropping
        float throttle;
        bool cut;
    } cases[] = {
        {"rear wheel alone, pitching up", 2, 0.0f, 0.1f, 0.5f, 1.0f, true},
        {"rear wheel alone, steady", 2, 0.0f, 0.1f, 0.0f, 1.0f, true},
        {"front coming down", 2, 0.0f, 0.1f, -0.5f, 1.0f, false},
        {"both wheels down", 2, 0.1f, 0.1f, 0.0f, 1.0f, false},
        {"both wheels up", 2, 0.0f, 0.0f, 0.0f, 1.0f, false},
        {"option off", 4, 0.0f, 0.1f, 0.0f, 1.0f, false},
        {"engine braking stays", 2, 0.0f, 0.1f, 0.0f, 0.0f, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bike->bike_options = (uint8_t)c.options;
        bike->front_contact.depth = c.front_depth;
        bike->rear_contact.depth = c.rear_depth;
        dBodySetAngularVel(bike->frame_body, c.pitch_rate, 0, 0);
        bike->throttle = c.throttle;
        bike->engine_speed = speed_for_rpm(c.throttle > 0 ? 6000 : 12000);
        BikeState plain = *bike;
        plain.bike_options = 0;
        float uncut = get_engine_torque(&plain);
        ASSERT_NE(uncut, 0.0f);
        EXPECT_EQ(get_engine_torque(bike), c.cut ? 0.0f : uncut);
    }
}

TEST_F(BikeWorld, AutomaticClutchOpensBelowItsSpeedButNotUnderEngineBraking)
{
    BikeState *bike = ride("cr125");
    struct Case {
        float auto_rpms;
        double rpm;
        float phase;        // ahead of the rear axle: drive; behind: engine braking
        float clutch;
        double fraction;    // of the torque of a fully engaged clutch
    } cases[] = {
        {3000, 2000, 0.1f, 1.0f, 0.0},
        {3000, 3000, 0.1f, 1.0f, 0.0},
        {3000, 4000, 0.1f, 1.0f, 0.25},
        {3000, 4500, 0.1f, 1.0f, 0.5625},
        {3000, 5000, 0.1f, 1.0f, 1.0},
        {3000, 8000, 0.1f, 1.0f, 1.0},
        {3000, 8000, 0.1f, 0.5f, 0.25},
        {3000, 4000, 0.1f, 0.25f, 0.0625},
        {0, 2000, 0.1f, 1.0f, 1.0},
        {3000, 3000, -0.1f, 1.0f, 1.0},
        {3000, 2000, -0.1f, 0.5f, 0.25},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.auto_rpms << " auto rpm at " << c.rpm << " rpm, phase "
                                        << c.phase << ", clutch " << c.clutch);
        double torque[2];
        for (int full = 0; full < 2; full++) {
            bike->auto_clutch_rpms = full ? 0.0f : c.auto_rpms;
            bike->clutch = full ? 1.0f : c.clutch;
            bike->engine_speed = speed_for_rpm(c.rpm);
            bike->rear_wheel_angle = c.phase;
            bike->throttle = 0.0f;
            clear_torques(bike);
            engine_step(bike);
            torque[full] = drive_torque(bike);
            EXPECT_NEAR(dBodyGetTorque(bike->frame_body)[0], torque[full], 1e-6)
                << "the frame takes the reaction";
        }
        ASSERT_GT(std::fabs(torque[1]), 100.0);
        EXPECT_EQ(torque[1] > 0, c.phase > 0);
        EXPECT_NEAR(torque[0] / torque[1], c.fraction, 1e-5);
    }
}

TEST_F(BikeWorld, DrivePhaseSlipsBackToTheClutchEdge)
{
    BikeState *bike = ride("cr125");
    const BikeModel *m = get_bike_state_model(bike);
    bike->clutch = 1.0f;
    bike->auto_clutch_rpms = 0.0f;
    bike->throttle = 1.0f;
    const double ratio = overall_ratio(bike);

    // The torque of the tic comes from the error before the slip.
    double torque[2];
    const float phases[2] = {0.5f, 1.5f};
    for (int i = 0; i < 2; i++) {
        bike->engine_speed = speed_for_rpm(6000);
        bike->rear_wheel_angle = phases[i];
        clear_torques(bike);
        engine_step(bike);
        torque[i] = drive_torque(bike);
    }
    EXPECT_NEAR(torque[1] - torque[0], m->engine_constants[1] * 1.0, 1e-3);
    double advance = TIC_LENGTH * bike->engine_speed / ratio;
    EXPECT_NEAR(bike->rear_wheel_angle - advance, M_PI / 4, 1e-5);

    // Against a rear wheel that does not turn, the phase never gets further
    // ahead than the edge plus one tic of engine turning.
    bike->engine_speed = speed_for_rpm(9000);
    bike->rear_wheel_angle = 0.0f;
    for (int tic = 0; tic < 300; tic++) {
        engine_step(bike);
        double limit = M_PI / 4 + TIC_LENGTH * std::fabs(bike->engine_speed) / ratio + 1e-5;
        ASSERT_LE(std::fabs(bike->rear_wheel_angle), limit) << "tic " << tic;
    }

    // A half clutch holds half as far.
    bike->clutch = 0.5f;
    bike->engine_speed = speed_for_rpm(6000);
    bike->rear_wheel_angle = -1.5f;
    engine_step(bike);
    advance = TIC_LENGTH * bike->engine_speed / ratio;
    EXPECT_NEAR(bike->rear_wheel_angle - advance, -M_PI / 8, 1e-5);
}

TEST_F(BikeWorld, AutomaticShiftingFollowsTheRearWheelWithinTheGearsThereAre)
{
    struct Case {
        const char *name;
        const char *model;
        int gear;
        double implied_rpm;
        int tic;
        float swingarm_angle;
        float rear_depth;
        float rear_slide;    // contact speed, ft/s
        int options;
        int expected;
    } cases[] = {
        {"up", "cr125", 2, 13000, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 3},
        {"down", "cr125", 2, 5000, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 1},
        {"between", "cr125", 2, 10000, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 2},
        {"no gear above the fifth", "cr125", 4, 13000, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 4},
        {"sixth gear exists", "rs50yz", 4, 13000, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 5},
        {"none below first", "cr125", 0, 100, 0, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 0},
        {"between the 32nd tics", "cr125", 2, 13000, 33, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 2},
        {"a negative tic", "cr125", 2, 13000, -64, -0.05f, 0, 0, OPTION_AUTO_SHIFT, 3},
        {"suspension extended", "cr125", 2, 13000, 0, 0.0f, 0, 0, OPTION_AUTO_SHIFT, 2},
        {"rear wheel spinning", "cr125", 2, 13000, 0, -0.05f, 0.1f, 3.0f, OPTION_AUTO_SHIFT, 2},
        {"rear wheel gripping", "cr125", 2, 13000, 0, -0.05f, 0.1f, 1.5f, OPTION_AUTO_SHIFT, 3},
        {"option off", "cr125", 2, 13000, 0, -0.05f, 0, 0, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BikeState *bike = ride(c.model);
        current_tic = c.tic;
        bike->bike_options = (uint8_t)c.options;
        bike->gear = c.gear;
        dMatrix3 turn;
        dRFromAxisAndAngle(turn, 1, 0, 0, c.swingarm_angle);
        dBodySetRotation(bike->swingarm_body, turn);
        ASSERT_NEAR(dJointGetHingeAngle(bike->swingarm_joint), c.swingarm_angle, 1e-6);
        double axle_rate = c.implied_rpm / (RPM_PER_RADIAN * overall_ratio(bike));
        dBodySetAngularVel(bike->rear_wheel_body, -axle_rate, 0, 0);
        ASSERT_NEAR(dJointGetHingeAngleRate(bike->rear_axle_joint), axle_rate, 1e-6);
        bike->rear_contact.depth = c.rear_depth;
        bike->rear_contact.contact_velocity[0] = c.rear_slide;
        engine_step(bike);
        EXPECT_EQ(bike->gear, c.expected);
    }
}

TEST_F(BikeWorld, BrakesAndTheirAntilock)
{
    BikeState *bike = ride("cr125");
    struct Case {
        const char *name;
        int options;
        float front_depth, front_slide;
        float rear_depth, rear_slide;
        float brake;
        double front, rear;   // brake torques
    } cases[] = {
        {"no antilock", 0, 0.1f, 10.0f, 0.1f, 10.0f, 1.0f, 250, 200},
        {"half on", 0, 0.1f, 0.0f, 0.1f, 0.0f, 0.5f, 125, 100},
        {"front sliding", OPTION_FRONT_ANTILOCK, 0.1f, 2.1f, 0.1f, 10.0f, 1.0f, 0, 200},
        {"front gripping", OPTION_FRONT_ANTILOCK, 0.1f, 1.9f, 0.1f, 10.0f, 1.0f, 250, 200},
        {"front in the air", OPTION_FRONT_ANTILOCK, 0.0f, 10.0f, 0.1f, 10.0f, 1.0f, 250, 200},
        {"rear sliding", OPTION_REAR_ANTILOCK, 0.1f, 10.0f, 0.1f, 2.1f, 1.0f, 250, 0},
        {"rear gripping", OPTION_REAR_ANTILOCK, 0.1f, 10.0f, 0.1f, 1.9f, 1.0f, 250, 200},
        {"rear in the air", OPTION_REAR_ANTILOCK, 0.1f, 10.0f, 0.0f, 10.0f, 1.0f, 250, 200},
        {"front wheel alone", 4, 0.1f, 0.0f, 0.0f, 0.0f, 1.0f, 0, 200},
        {"front wheel alone, option off", 2, 0.1f, 0.0f, 0.0f, 0.0f, 1.0f, 250, 200},
        {"both wheels down", 4, 0.1f, 0.0f, 0.1f, 0.0f, 1.0f, 250, 200},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bike->bike_options = (uint8_t)c.options;
        bike->front_brake_torque = 250.0f;
        bike->rear_brake_torque = 200.0f;
        bike->front_brake = bike->rear_brake = c.brake;
        bike->front_contact.depth = c.front_depth;
        bike->rear_contact.depth = c.rear_depth;
        bike->front_contact.contact_velocity[2] = c.front_slide;
        bike->rear_contact.contact_velocity[2] = c.rear_slide;
        dJointSetHingeParam(bike->front_axle_joint, dParamVel, 5.0);
        dJointSetHingeParam(bike->rear_axle_joint, dParamVel, 5.0);
        engine_step(bike);
        EXPECT_EQ(dJointGetHingeParam(bike->front_axle_joint, dParamFMax), c.front);
        EXPECT_EQ(dJointGetHingeParam(bike->rear_axle_joint, dParamFMax), c.rear);
        EXPECT_EQ(dJointGetHingeParam(bike->front_axle_joint, dParamVel), 0.0);
        EXPECT_EQ(dJointGetHingeParam(bike->rear_axle_joint, dParamVel), 0.0);
    }
}

TEST_F(BikeWorld, BadEngineStatesStayFiniteAndWithinThePhaseRange)
{
    struct Case {
        const char *name;
        float engine_speed;
        float phase;
        float final_drive;   // 0 = the setup's
        int gear;
    } cases[] = {
        {"huge phase", 600.0f, 1e30f, 0, 1},
        {"huge negative phase", 600.0f, -3e38f, 0, 1},
        {"phase not a number", 600.0f, std::nanf(""), 0, 1},
        {"phase infinite", 600.0f, INFINITY, 0, 1},
        {"speed not a number", std::nanf(""), 0.5f, 0, 1},
        {"speed infinite", -INFINITY, 0.5f, 0, 1},
        {"speed huge", 3e38f, 0.5f, 0, 1},
        {"no final drive", 600.0f, 0.5f, -1, 1},
        {"a gear the bike lacks", 600.0f, 0.5f, 0, 5},
        {"a gear outside the box", 600.0f, 0.5f, 0, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BikeState *bike = ride("cr125");
        bike->bike_options |= OPTION_AUTO_SHIFT;
        current_tic = -32;
        bike->clutch = 1.0f;
        bike->throttle = 1.0f;
        bike->engine_speed = c.engine_speed;
        bike->rear_wheel_angle = c.phase;
        if (c.final_drive < 0)
            bike->final_drive = 0.0f;
        bike->gear = c.gear;
        for (int tic = 0; tic < 4; tic++) {
            engine_step(bike);
            ASSERT_TRUE(std::isfinite(bike->engine_speed));
            ASSERT_TRUE(std::isfinite(bike->rear_wheel_angle));
            ASSERT_LE(std::fabs(bike->rear_wheel_angle), (float)M_PI);
            ASSERT_TRUE(finite3(dBodyGetTorque(bike->rear_wheel_body)));
            ASSERT_TRUE(finite3(dBodyGetTorque(bike->frame_body)));
        }
        step_physics_world();
    }
}

TEST_F(BikeWorld, WithoutAGearTheEngineRevsAndTheWheelGetsNothing)
{
    for (int lacking_gear = 0; lacking_gear < 2; lacking_gear++) {
        SCOPED_TRACE(lacking_gear ? "gear 5 of a five-speed box" : "no final drive");
        BikeState *bike = ride("cr125");
        bike->clutch = 1.0f;
        bike->throttle = 1.0f;
        bike->rear_wheel_angle = 0.5f;
        if (lacking_gear)
            bike->gear = 5;
        else
            bike->final_drive = 0.0f;
        clear_torques(bike);
        engine_step(bike);
        EXPECT_EQ(drive_torque(bike), 0.0);
        EXPECT_GT(bike->engine_speed, 0.0f);
        EXPECT_NEAR(bike->rear_wheel_angle, 0.0f, 1e-6) << "the phase rides with the wheel";
    }
}
