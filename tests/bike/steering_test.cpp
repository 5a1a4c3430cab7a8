// Steering and suspension: the linkage curve, the front slip angle, the
// steering controller, the lean-steering law with its landing damping,
// knock limit and lock saturation, and the fork and shock forces.
#include "bike/steering.h"

#include "bike/bike_setters.h"
#include "race/race_state.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

BikeState *ride(const char *name)
{
    current_tic = 0;
    return create_bike(name, 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
}

// The model's steering axis, unit length; the bike stands unturned, so it
// is also the axis in the world.
void steering_axis(const BikeState *bike, double *axis)
{
    const BikeModel *m = get_bike_state_model(bike);
    double length = 0;
    for (int i = 0; i < 3; i++) {
        axis[i] = (double)m->fork_upper_position[i] - m->fork_lower_position[i];
        length += axis[i] * axis[i];
    }
    for (int i = 0; i < 3; i++)
        axis[i] /= std::sqrt(length);
}

void clear_torques(BikeState *bike)
{
    dBodySetTorque(bike->frame_body, 0, 0, 0);
    dBodySetTorque(bike->front_wheel_body, 0, 0, 0);
}

// The steering torque the last call put on the front wheel, about the
// steering axis; checks that the frame got the opposite.
double steering_torque(const BikeState *bike)
{
    double axis[3];
    steering_axis(bike, axis);
    const dReal *wheel = dBodyGetTorque(bike->front_wheel_body);
    const dReal *frame = dBodyGetTorque(bike->frame_body);
    double along = 0;
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(frame[i], -wheel[i], 1e-9);
        along += wheel[i] * axis[i];
    }
    EXPECT_NEAR(wheel[0] * wheel[0] + wheel[1] * wheel[1] + wheel[2] * wheel[2], along * along,
                1e-6 * (1 + along * along))
        << "the torque lies along the steering axis";
    return along;
}

// Front wheel on the ground and rolling forward at a wheel rate; the frame
// rolling about its long axis.
void roll_on_ground(BikeState *bike, double wheel_rate, double roll_rate)
{
    bike->front_contact.depth = 0.05f;
    dBodySetAngularVel(bike->front_wheel_body, -wheel_rate, 0, 0);
    dBodySetAngularVel(bike->frame_body, 0, 0, roll_rate);
}

double lean_step(BikeState *bike)
{
    clear_torques(bike);
    steer_by_lean(bike);
    return steering_torque(bike);
}

bool finite3(const dReal *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Moves the lower fork into the stroke by depth along the steering axis.
void compress_fork(BikeState *bike, double depth)
{
    const BikeModel *m = get_bike_state_model(bike);
    double axis[3];
    steering_axis(bike, axis);
    const float *rest = m->fork_lower_position;
    dBodySetPosition(bike->fork_lower_body, rest[0] + axis[0] * depth, rest[1] + axis[1] * depth,
                     rest[2] + axis[2] * depth);
}

void turn_swingarm(BikeState *bike, double angle)
{
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 1, 0, 0, angle);
    dBodySetRotation(bike->swingarm_body, turn);
}

}  // namespace

TEST(ShockLinkage, TwoPiecesMeetSmoothlyAtTheBreakPoint)
{
    const BikeModel *m = find_bike_model("cr125");
    const float *k = m->shock_linkage;
    const float y1 = k[0], y2 = k[1], b = k[3], m0 = k[4], m1 = k[5], m2 = k[6];
    float value, slope;
    struct Case {
        float x, value, slope;
    } ends[] = {{0.0f, 0.0f, m0}, {b, y1, m1}, {1.0f, y2, m2}};
    for (const Case &c : ends) {
        SCOPED_TRACE(c.x);
        shock_linkage_curve(m, c.x, &value, &slope);
        EXPECT_NEAR(value, c.value, 1e-6);
        EXPECT_NEAR(slope, c.slope, 1e-5);
    }
    // Just past the break point the second piece starts where the first ended.
    shock_linkage_curve(m, b + 1e-6f, &value, &slope);
    EXPECT_NEAR(value, y1, 1e-5);
    EXPECT_NEAR(slope, m1, 1e-4);

    // The slope is the curve's derivative on both pieces.
    for (float x = 0.05f; x < 1.0f; x += 0.1f) {
        SCOPED_TRACE(x);
        float a, b2, s;
        const float d = 1e-3f;
        shock_linkage_curve(m, x - d, &a, &s);
        shock_linkage_curve(m, x + d, &b2, &s);
        shock_linkage_curve(m, x, &value, &slope);
        EXPECT_NEAR(slope, (b2 - a) / (2 * d), 2e-3);
    }

    // Outside 0..1 and not a number: the ends, never NaN.
    float v0, s0, v1, s1;
    shock_linkage_curve(m, 0.0f, &v0, &s0);
    shock_linkage_curve(m, 1.0f, &v1, &s1);
    shock_linkage_curve(m, -3.0f, &value, &slope);
    EXPECT_EQ(value, v0);
    shock_linkage_curve(m, std::nanf(""), &value, &slope);
    EXPECT_EQ(value, v0);
    EXPECT_EQ(slope, s0);
    shock_linkage_curve(m, 7.0f, &value, &slope);
    EXPECT_EQ(value, v1);
}

TEST_F(BikeWorld, FrontSlipAngleIsTheHeadingAcrossTheSteeringAxis)
{
    BikeState *bike = ride("cr125");
    double a[3];
    steering_axis(bike, a);
    // Straight ahead across the steering axis: forward and a little up.
    const double ahead[3] = {0.0, a[2], -a[1]};
    struct Case {
        double speed, heading, along_axis;
        float expected;
    } cases[] = {
        {10.0, 0.2, 0.0, -0.2f},
        {10.0, -0.5, 0.0, 0.5f},
        {30.0, 0.0, 0.0, 0.0f},
        {10.0, 0.3, 25.0, -0.3f},
        {5.0, M_PI / 2, 0.0, (float)(-M_PI / 2)},
        // Slower than 1 ft/s across the axis: exactly 0, however fast along it.
        {0.99, 0.7, 0.0, 0.0f},
        {0.99, -2.0, 40.0, 0.0f},
        {0.0, 0.0, 0.0, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << " ft/s at " << c.heading);
        double v[3];
        for (int i = 0; i < 3; i++)
            v[i] = c.speed * std::cos(c.heading) * ahead[i] + c.along_axis * a[i];
        v[0] += c.speed * std::sin(c.heading);
        dBodySetLinearVel(bike->front_wheel_body, v[0], v[1], v[2]);
        float slip = get_front_slip_angle(bike);
        if (c.expected == 0.0f && c.speed < 1)
            EXPECT_EQ(slip, 0.0f);
        else
            EXPECT_NEAR(slip, c.expected, 1e-5);
    }
}

TEST_F(BikeWorld, SteerControlHasDeadBandsAndALimit)
{
    BikeState *bike = ride("cr125");
    double a[3];
    steering_axis(bike, a);
    struct Case {
        float target;
        double rate;     // of the steering hinge
        int sign;        // of the result
        bool at_limit;
    } cases[] = {
        {0.0f, 0, 0, false},
        {0.03f, 0, 0, false},
        {-0.031f, 0, 0, false},
        {0.03125f, 0, 0, false},
        {0.05f, 0, 1, false},
        {-0.05f, 0, -1, false},
        {0.5f, 0, 1, true},
        {-2.0f, 0, -1, true},
        {0.0f, 0.5, -1, false},       // damps a turning fork
        {0.0f, 0.0004, 0, false},     // within the rate's dead band
        {0.3f, 10.0, -1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "target " << c.target << " rate " << c.rate);
        dBodySetAngularVel(bike->fork_upper_body, a[0] * c.rate, a[1] * c.rate, a[2] * c.rate);
        ASSERT_NEAR(dJointGetHingeAngleRate(bike->steering_joint), c.rate, 1e-9);
        float u = steer_control(bike, c.target);
        if (c.sign == 0)
            EXPECT_EQ(u, 0.0f);
        else
            EXPECT_EQ(u > 0, c.sign > 0) << u;
        if (c.at_limit)
            EXPECT_FLOAT_EQ(std::fabs(u), 2.0f / 3.0f);
        else
            EXPECT_LT(std::fabs(u), 2.0f / 3.0f);
    }
}

TEST_F(BikeWorld, LandingDampingFallsBackToSingleOverTheFalloff)
{
    struct Case {
        float factor, falloff;
        int tics_to_single;
    } cases[] = {{3.0f, 0.5f, 64}, {2.0f, 0.25f, 32}, {3.0f, 0.0f, 1}, {1.0f, 0.5f, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "factor " << c.factor << " falloff " << c.falloff);
        BikeState *bike = ride("cr125");
        set_land_damping_factor(bike, c.factor);
        set_land_damping_falloff(bike, c.falloff);

        // In the air: the multiplier takes the factor.
        roll_on_ground(bike, 10.0, 1.0);
        bike->front_contact.depth = 0.0f;
        lean_step(bike);
        EXPECT_EQ(bike->landing_damping_multiplier, c.factor);

        bike->front_contact.depth = 0.05f;
        double touch_down = lean_step(bike);
        for (int tic = 1; tic < c.tics_to_single; tic++) {
            ASSERT_GT(bike->landing_damping_multiplier, 1.0f) << "after " << tic << " tics";
            lean_step(bike);
        }
        EXPECT_EQ(bike->landing_damping_multiplier, 1.0f);
        double single = lean_step(bike);
        EXPECT_NEAR(touch_down / single, c.factor, 1e-5);
        EXPECT_EQ(lean_step(bike), single);
    }
}

TEST_F(BikeWorld, KnockTakesAwayTheRollTorqueButNotTheDirectTerm)
{
    BikeState *bike = ride("cr125");
    struct Case {
        float knock, roll_rate, steer;
        float limit;   // of the roll part, pound-force feet before the 1.5 gain
    } cases[] = {
        {0, 3, 0, 1000}, {-100, 3, 0, 1000}, {16, 3, 0, 150}, {32, 3, 0, 100},
        {32, -3, 0.5f, 100}, {64, 3, 0, 0}, {500, 3, 0, 0}, {64, 3, 0.5f, 0}, {100, -3, -0.4f, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "knock " << c.knock << " steer " << c.steer);
        bike->landing_damping_multiplier = 1.0f;
        bike->steer = c.steer;

        // The torque of the rider's direct term alone, with nothing rolling.
        bike->knock = 0.0f;
        roll_on_ground(bike, 10.0, 0.0);
        double direct = lean_step(bike);

        bike->knock = 0.0f;
        roll_on_ground(bike, 10.0, c.roll_rate);
        double unlimited = lean_step(bike) - direct;
        ASSERT_GT(std::fabs(unlimited), 1.5 * 100);

        bike->knock = c.knock;
        roll_on_ground(bike, 10.0, c.roll_rate);
        double roll = lean_step(bike) - direct;
        if (c.limit >= 1000)
            EXPECT_NEAR(roll, unlimited, 1e-9);
        else
            EXPECT_NEAR(roll, std::copysign(1.5 * c.limit, unlimited), 1e-4);
    }
}

TEST_F(BikeWorld, SteeringSaturationAtAZeroLockIsAllOrNothing)
{
    struct Case {
        double slip;        // of the front wheel, radians
        double saturation;  // upright, the lock is passed by a negative slip
    } cases[] = {{-0.1, 1.0}, {-0.001, 1.0}, {0.1, 0.0}, {0.0, 0.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.slip);
        BikeState *bike = ride("cr125");
        double a[3];
        steering_axis(bike, a);
        const double ahead[3] = {0.0, a[2], -a[1]};
        set_restricted_lock_angle(bike, 0.0f);
        // 70 ft/s: far above the restricted lock speed, so the lock is 0.
        roll_on_ground(bike, 60.0, 0.0);
        double v[3];
        for (int i = 0; i < 3; i++)
            v[i] = 70.0 * std::cos(c.slip) * ahead[i];
        v[0] -= 70.0 * std::sin(c.slip);
        dBodySetLinearVel(bike->front_wheel_body, v[0], v[1], v[2]);
        ASSERT_NEAR(get_front_slip_angle(bike), c.slip, 1e-5);
        clear_torques(bike);
        steer_by_lean(bike);
        EXPECT_EQ(bike->steering_saturation, c.saturation);
        EXPECT_TRUE(finite3(dBodyGetTorque(bike->front_wheel_body)));
        step_physics_world();
    }
}

TEST_F(BikeWorld, CrashedRiderDoesNotSteer)
{
    BikeState *bike = ride("cr125");
    bike->steering_saturation = 0.7f;
    bike->crash_timer = 100;
    bike->steer = 1.0f;
    roll_on_ground(bike, 10.0, 2.0);
    clear_torques(bike);
    steer_by_lean(bike);
    EXPECT_EQ(bike->steering_saturation, 0.0f);
    EXPECT_EQ(steering_torque(bike), 0.0);
}

TEST_F(BikeWorld, LeanSteeringStaysFiniteAtTheEndsOfEverySetting)
{
    typedef void (*Setter)(BikeState *, float);
    struct Setting {
        Setter set;
        float low, high;
    } settings[] = {
        {set_full_lock_speed, 0, 1000},       {set_restricted_lock_speed, 0, 1000},
        {set_restricted_lock_angle, 0, 10},   {set_direct_steering, 0, 10},
        {set_slow_damping_speed, 0, 1000},    {set_slow_damping_factor, 0, 100},
        {set_land_damping_falloff, 0, 10},    {set_land_damping_factor, 0, 10},
        {set_leveling, 0, 1000},              {set_max_steering_force, 0, 1e9f},
        {set_roll_damping, 0, 1000},          {set_roll_limit_angle, 0, 10},
        {set_roll_limit_factor, 0, 1000},     {set_steering_strength, 0, 1000},
    };
    struct State {
        float depth;
        double wheel_rate, roll_rate, speed, lean;
        float steer, knock;
    } states[] = {
        {0.05f, 30, 2, 40, 0.3, 1, 0},  {0.05f, 30, -2, 40, -1.2, -1, 10},
        {0.0f, 0, 0, 0, 0.0, 0.5f, 0},  {0.05f, 2, 0.5, 0, 0.0, 0, 64},
        {0.05f, -30, 1, 2, 2.0, 1, -5},
    };
    const int count = sizeof settings / sizeof settings[0];
    for (int high = 0; high < 2; high++)
        for (int which = -1; which < count; which++)
            for (const State &s : states) {
                SCOPED_TRACE(testing::Message() << "setting " << which << (high ? " high" : " low"));
                BikeState *bike = ride("cr125");
                for (int i = 0; i < count; i++)
                    if (which < 0 || i == which)
                        settings[i].set(bike, high ? settings[i].high : settings[i].low);
                dMatrix3 lean;
                dRFromAxisAndAngle(lean, 0, 0, 1, s.lean);
                dBodySetRotation(bike->frame_body, lean);
                roll_on_ground(bike, s.wheel_rate, s.roll_rate);
                bike->front_contact.depth = s.depth;
                dBodySetLinearVel(bike->frame_body, 0, 0, -s.speed);
                dBodySetLinearVel(bike->front_wheel_body, 1, 0, -s.speed);
                bike->steer = s.steer;
                bike->knock = s.knock;
                for (int tic = 0; tic < 3; tic++) {
                    clear_torques(bike);
                    steer_by_lean(bike);
                    ASSERT_TRUE(finite3(dBodyGetTorque(bike->front_wheel_body)));
                    ASSERT_TRUE(finite3(dBodyGetTorque(bike->frame_body)));
                    ASSERT_GE(bike->steering_saturation, 0.0f);
                    ASSERT_LE(bike->steering_saturation, 1.0f);
                    ASSERT_TRUE(std::isfinite(bike->landing_damping_multiplier));
                }
            }
}

TEST_F(BikeWorld, ForkForceStartsAtZeroAndIsFullAThirtySecondIn)
{
    BikeState *bike = ride("cr125");
    const BikeModel *m = get_bike_state_model(bike);
    const double travel = m->fork_travel;
    // The fork's spring at rest: the air column and the coil.
    auto spring = [&](double depth) {
        double column = travel + bike->fork_oil_level;
        double air = 82.46169 * std::pow(column / (column - depth), 1.4) - 82.46169;
        return air + (bike->fork_preload + depth) * bike->fork_spring_rate;
    };
    struct Case {
        double depth;
        double share;   // of the spring force
    } cases[] = {
        {0.0, 0.0}, {travel / 128, 0.25}, {travel / 64, 0.5}, {travel / 32, 1.0},
        {travel / 4, 1.0}, {travel, 1.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        compress_fork(bike, c.depth);
        ASSERT_NEAR(dJointGetSliderPosition(bike->fork_joint), -c.depth, 1e-6);
        apply_suspension_forces(bike);
        EXPECT_NEAR(dJointGetSliderParam(bike->fork_joint, dParamFMax), c.share * spring(c.depth),
                    1e-3);
        EXPECT_EQ(dJointGetSliderParam(bike->fork_joint, dParamVel), 100.0);

        float position, speed, damping;
        read_fork_suspension(bike, &position, &speed, &damping);
        EXPECT_NEAR(position, c.depth / travel, 1e-6);
        EXPECT_EQ(speed, 0.0f);
        EXPECT_EQ(damping, 1.0f);
    }

    // Compressing fast the damper adds to the spring; rebounding fast it
    // pulls the force below the spring's, down to pulling the fork in.
    compress_fork(bike, travel / 4);
    double axis[3];
    steering_axis(bike, axis);
    for (int sign = -1; sign <= 1; sign += 2) {
        SCOPED_TRACE(sign < 0 ? "compression" : "rebound");
        double v = 20.0 * sign;
        dBodySetLinearVel(bike->fork_upper_body, axis[0] * v, axis[1] * v, axis[2] * v);
        apply_suspension_forces(bike);
        double force = dJointGetSliderParam(bike->fork_joint, dParamFMax);
        if (dJointGetSliderParam(bike->fork_joint, dParamVel) == 0.0)
            force = -force;
        if (sign < 0)
            EXPECT_GT(force, spring(travel / 4));
        else
            EXPECT_LT(force, spring(travel / 4));

        float position, speed, damping;
        read_fork_suspension(bike, &position, &speed, &damping);
        EXPECT_NEAR(speed, v, 1e-4);
        // The read-out ratio from the base constants: low / (|v| high + low).
        const float *k = m->fork_damping;
        double expected = sign < 0 ? k[1] / (20.0 * k[0] + k[1]) : k[3] / (20.0 * k[2] + k[3]);
        EXPECT_NEAR(damping, expected, 1e-6);
    }
}

TEST_F(BikeWorld, ForkWithoutOilBottomedOutStaysFinite)
{
    BikeState *bike = ride("cr125");
    const BikeModel *m = get_bike_state_model(bike);
    bike->fork_oil_level = 0.0f;
    compress_fork(bike, m->fork_travel);
    apply_suspension_forces(bike);
    double force = dJointGetSliderParam(bike->fork_joint, dParamFMax);
    EXPECT_TRUE(std::isfinite(force));
    EXPECT_GT(force, 1000.0);
    step_physics_world();
    EXPECT_TRUE(finite3(dBodyGetPosition(bike->fork_lower_body)));
}

TEST_F(BikeWorld, ShockTorqueStartsAtZeroAndFollowsTheLinkage)
{
    BikeState *bike = ride("cr125");
    const BikeModel *m = get_bike_state_model(bike);
    const double travel = m->shock_linkage[2];
    auto spring = [&](double x) {
        float y, slope;
        shock_linkage_curve(m, (float)x, &y, &slope);
        return ((double)y + bike->shock_preload) * bike->shock_spring_rate * slope;
    };
    struct Case {
        double angle;       // of the swingarm, negative = compressed
        double position;    // read out
        double share;       // of the spring torque
    } cases[] = {
        {0.0, 0.0, 0.0},
        {-travel / 64, 1.0 / 64, 0.5},
        {-travel / 32, 1.0 / 32, 1.0},
        {-travel / 2, 0.5, 1.0},
        {-travel, 1.0, 1.0},
        {-travel * 1.5, 1.0, 1.0},   // past the stop the read-out holds at 1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        turn_swingarm(bike, c.angle);
        ASSERT_NEAR(dJointGetHingeAngle(bike->swingarm_joint), c.angle, 1e-6);
        apply_suspension_forces(bike);
        EXPECT_NEAR(dJointGetHingeParam(bike->swingarm_joint, dParamFMax),
                    c.share * spring(c.position), 1e-2);
        EXPECT_EQ(dJointGetHingeParam(bike->swingarm_joint, dParamVel), 100.0);

        float position, speed, damping;
        read_shock_suspension(bike, &position, &speed, &damping);
        EXPECT_NEAR(position, c.position, 1e-6);
        EXPECT_EQ(damping, 1.0f);
    }

    // Compressing at a swingarm rate w the read-out speed is w times the
    // linkage slope there.
    turn_swingarm(bike, -travel / 2);
    dBodySetAngularVel(bike->swingarm_body, -1.0, 0, 0);
    float position, speed, damping;
    read_shock_suspension(bike, &position, &speed, &damping);
    float y, slope;
    shock_linkage_curve(m, 0.5f, &y, &slope);
    EXPECT_NEAR(speed, -slope, 1e-5);
    const float *k = m->shock_damping;
    EXPECT_NEAR(damping, k[1] / (slope * k[0] + k[1]), 1e-6);
    apply_suspension_forces(bike);
    EXPECT_GT(dJointGetHingeParam(bike->swingarm_joint, dParamFMax), spring(0.5));
}
