// The clamping setters, gear stepping, the default setup and the setup
// menu's display values.
#include "bike/bike_setters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

static BikeState make_bike(const char *model_name)
{
    BikeState bike;
    memset(&bike, 0, sizeof bike);
    const BikeModel *model = find_bike_model(model_name);
    bike.model_index = (int)(model - bike_models.data());
    return bike;
}

TEST(BikeSetters, ClampToTheirRangesAndIgnoreNotANumber)
{
    const float nan = std::nanf("");
    const float inf = INFINITY;
    struct Case {
        const char *name;
        void (*set)(BikeState *, float);
        float BikeState::*field;
        float value;
        float expected;   // with the field holding 0.5 before
    } cases[] = {
        {"throttle", set_throttle, &BikeState::throttle, 1.5f, 1.0f},
        {"throttle", set_throttle, &BikeState::throttle, -0.5f, 0.0f},
        {"throttle", set_throttle, &BikeState::throttle, 0.7f, 0.7f},
        {"clutch", set_clutch, &BikeState::clutch, 2.0f, 1.0f},
        {"front brake", set_front_brake, &BikeState::front_brake, -1.0f, 0.0f},
        {"rear brake", set_rear_brake, &BikeState::rear_brake, inf, 1.0f},
        {"steer", set_steer, &BikeState::steer, -3.0f, -1.0f},
        {"steer", set_steer, &BikeState::steer, -0.25f, -0.25f},
        {"dab", set_dab, &BikeState::dab, 4.0f, 1.0f},
        {"back up", set_back_up, &BikeState::back_up, -4.0f, 0.0f},
        {"lean", set_lean, &BikeState::lean, -inf, -1.0f},
        {"max dab speed", set_max_dab_speed, &BikeState::max_dab_speed, 0.0f, 7.0f},
        {"max dab speed", set_max_dab_speed, &BikeState::max_dab_speed, 250.0f, 100.0f},
        {"full lock speed", set_full_lock_speed, &BikeState::full_lock_speed, 0.0f, 1.0f},
        {"restricted lock speed", set_restricted_lock_speed, &BikeState::restricted_lock_speed,
         101.0f, 100.0f},
        {"restricted lock angle", set_restricted_lock_angle, &BikeState::restricted_lock_angle,
         1.0f, (float)(M_PI / 4)},
        {"direct steering", set_direct_steering, &BikeState::direct_steering, 2.0f, 1.0f},
        {"slow damping speed", set_slow_damping_speed, &BikeState::slow_damping_speed, 200.0f,
         100.0f},
        {"slow damping factor", set_slow_damping_factor, &BikeState::slow_damping_factor, 0.0f,
         1.0f},
        {"slow damping factor", set_slow_damping_factor, &BikeState::slow_damping_factor, 11.0f,
         10.0f},
        {"land damping falloff", set_land_damping_falloff, &BikeState::land_damping_falloff, 1.0f,
         0.5f},
        {"land damping factor", set_land_damping_factor, &BikeState::land_damping_factor, 0.0f,
         1.0f},
        {"land damping factor", set_land_damping_factor, &BikeState::land_damping_factor, 5.0f,
         3.0f},
        {"auto clutch rpms", set_auto_clutch_rpms, &BikeState::auto_clutch_rpms, 9000.0f, 5000.0f},
        {"front brake torque", set_front_brake_torque, &BikeState::front_brake_torque, 600.0f,
         500.0f},
        {"rear brake torque", set_rear_brake_torque, &BikeState::rear_brake_torque, -1.0f, 0.0f},
        {"leveling", set_leveling, &BikeState::leveling, 101.0f, 100.0f},
        {"max steering force", set_max_steering_force, &BikeState::max_steering_force, 1001.0f,
         1000.0f},
        {"roll damping", set_roll_damping, &BikeState::roll_damping, -1.0f, 0.0f},
        {"roll limit angle", set_roll_limit_angle, &BikeState::roll_limit_angle, 4.0f,
         (float)M_PI},
        {"roll limit factor", set_roll_limit_factor, &BikeState::roll_limit_factor, 65.0f, 64.0f},
        {"steering damping", set_steering_damping, &BikeState::steering_damping, 100.5f, 100.0f},
        {"steering strength", set_steering_strength, &BikeState::steering_strength, 75.0f, 75.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.value);
        BikeState bike = make_bike("cr125");
        bike.*c.field = 0.5f;
        c.set(&bike, c.value);
        EXPECT_EQ(bike.*c.field, c.expected);
        c.set(&bike, nan);
        EXPECT_EQ(bike.*c.field, c.expected) << "not a number keeps the old value";
    }
}

TEST(BikeSetters, PairedRiderSettersClampEachValue)
{
    BikeState bike = make_bike("cr125");
    set_rider_springs(&bike, 1.5f, -0.5f);
    EXPECT_EQ(bike.rider_vertical_spring, 1.0f);
    EXPECT_EQ(bike.rider_forward_spring, 0.0f);
    set_rider_damping(&bike, 0.25f, std::nanf(""));
    EXPECT_EQ(bike.rider_vertical_damping, 0.25f);
    EXPECT_EQ(bike.rider_forward_damping, 0.0f);
    set_arcade_physics(&bike, 7);
    EXPECT_EQ(bike.arcade_physics, 7);
}

TEST(BikeSetters, ACrashedRiderCannotUseHisControls)
{
    BikeState bike = make_bike("cr125");
    bike.crash_timer = 1;
    bike.throttle = bike.dab = bike.back_up = bike.lean = 0.5f;
    set_throttle(&bike, 0.7f);
    set_dab(&bike, 1.0f);
    set_back_up(&bike, 1.0f);
    set_lean(&bike, -1.0f);
    EXPECT_EQ(bike.throttle, 0.0f);
    EXPECT_EQ(bike.dab, 0.0f);
    EXPECT_EQ(bike.back_up, 0.0f);
    EXPECT_EQ(bike.lean, 0.0f);
    // Brakes, clutch and steering stay his.
    set_front_brake(&bike, 0.75f);
    set_clutch(&bike, 0.25f);
    set_steer(&bike, 0.5f);
    EXPECT_EQ(bike.front_brake, 0.75f);
    EXPECT_EQ(bike.clutch, 0.25f);
    EXPECT_EQ(bike.steer, 0.5f);
    // Shifting is ignored.
    bike.gear = 2;
    shift_gear(&bike, 1);
    EXPECT_EQ(bike.gear, 2);
    EXPECT_EQ(bike.last_shift_request, 0);
}

TEST(BikeSetters, GearsStepPastMissingRatios)
{
    struct Case {
        const char *model;
        int gear;
        int expected;
    } cases[] = {
        {"cr125", 5, 4}, {"cr125", 4, 4}, {"cr125", 99, 4}, {"cr125", -3, 0},
        {"rs50yz", 5, 5}, {"rs50yz", 6, 5}, {"kx450f(2018)", 0, 0},
    };
    for (const Case &c : cases) {
        BikeState bike = make_bike(c.model);
        set_gear(&bike, c.gear);
        EXPECT_EQ(bike.gear, c.expected) << c.model << " gear " << c.gear;
    }
}

TEST(BikeSetters, OneShiftPerChangeOfTheRequest)
{
    BikeState bike = make_bike("cr125");
    shift_gear(&bike, 1);
    shift_gear(&bike, 1);
    EXPECT_EQ(bike.gear, 1) << "holding the input shifts once";
    shift_gear(&bike, 0);
    shift_gear(&bike, 1);
    EXPECT_EQ(bike.gear, 2) << "releasing re-arms";
    shift_gear(&bike, -1);
    EXPECT_EQ(bike.gear, 1);
    shift_gear(&bike, 2);
    shift_gear(&bike, -7);
    EXPECT_EQ(bike.gear, 1) << "requests outside -1..1 are ignored";
    EXPECT_EQ(bike.last_shift_request, -1);

    bike.gear = 4;
    bike.last_shift_request = 0;
    shift_gear(&bike, 1);
    EXPECT_EQ(bike.gear, 4) << "the fifth gear is the last on this bike";
    bike.gear = 0;
    bike.last_shift_request = 0;
    shift_gear(&bike, -1);
    EXPECT_EQ(bike.gear, 0);
}

TEST(BikeSetters, SprocketsSetTheFinalDrive)
{
    struct Case {
        const char *model;
        float front, rear;
        float expected;
    } cases[] = {
        {"cr125", -2, 2, 54.0f / 11.0f},
        {"cr125", -20, 0, 52.0f / 11.0f},
        {"cr125", 0, 0, 4.0f},
        {"cr125", 1.5f, -0.5f, 51.0f / 14.0f},
        {"rs50yz", 2, -2, 53.0f / 14.0f},
    };
    for (const Case &c : cases) {
        BikeState bike = make_bike(c.model);
        set_sprockets(&bike, c.front, c.rear);
        EXPECT_FLOAT_EQ(bike.final_drive, c.expected) << c.model << " " << c.front << " " << c.rear;
    }
    BikeState bike = make_bike("cr125");
    bike.final_drive = 2.5f;
    set_sprockets(&bike, std::nanf(""), 0);
    EXPECT_EQ(bike.final_drive, 2.5f);
}

TEST(BikeSetters, SuspensionSetupScalesTheModelsBasesAndRanges)
{
    BikeState bike = make_bike("kx450f(2018)");
    set_fork_setup(&bike, 10, -5, 0, 2, 2, -1, 0.5f);
    EXPECT_FLOAT_EQ(bike.fork_hs_compression, 4 * 60.0f);
    EXPECT_FLOAT_EQ(bike.fork_ls_compression, -60.0f);
    EXPECT_FLOAT_EQ(bike.fork_hs_rebound, 0.25f * 32.0f);
    EXPECT_FLOAT_EQ(bike.fork_ls_rebound, 30.0f);
    EXPECT_FLOAT_EQ(bike.fork_spring_rate, 913.878f);
    EXPECT_FLOAT_EQ(bike.fork_preload, 0.0f);
    EXPECT_FLOAT_EQ(bike.fork_oil_level, (0.416667f + 0.25f) / 2);

    set_shock_setup(&bike, 1, 0.5f, 1, -0.5f, 0.25f, 1);
    EXPECT_FLOAT_EQ(bike.shock_hs_compression, 800.0f);
    EXPECT_FLOAT_EQ(bike.shock_ls_compression, 100.0f);
    EXPECT_FLOAT_EQ(bike.shock_hs_rebound, 650.0f);
    EXPECT_FLOAT_EQ(bike.shock_ls_rebound, -75.0f);
    EXPECT_FLOAT_EQ(bike.shock_spring_rate, 2486.29f + 0.25f * (5174.16f - 2486.29f));
    EXPECT_FLOAT_EQ(bike.shock_preload, 0.333333f);

    float nan = std::nanf("");
    set_shock_setup(&bike, nan, nan, nan, nan, nan, 0);
    EXPECT_FLOAT_EQ(bike.shock_hs_compression, 800.0f);
    EXPECT_FLOAT_EQ(bike.shock_spring_rate, 2486.29f + 0.25f * (5174.16f - 2486.29f));
    EXPECT_FLOAT_EQ(bike.shock_preload, 0.0f);
}

TEST(BikeSetters, OptionSettersTouchOnlyTheirBits)
{
    struct Case {
        void (*set)(BikeState *, int);
        int value;
        int bits;   // set from an empty byte
        int mask;   // the option's bits
    } cases[] = {
        {set_stop_wheelies, 3, 0x06, 0x06}, {set_stop_wheelies, 2, 0x04, 0x06},
        {set_stop_wheelies, 0xff, 0x06, 0x06}, {set_front_antilock, 1, 0x08, 0x08},
        {set_rear_antilock, 3, 0x10, 0x10}, {set_auto_shift, 1, 0x20, 0x20},
        {set_auto_dab, 1, 0x40, 0x40}, {set_auto_align, 1, 0x80, 0x80},
        {set_auto_align, 2, 0x00, 0x80},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        BikeState bike = make_bike("cr125");
        c.set(&bike, c.value);
        EXPECT_EQ(bike.bike_options, c.bits);
        bike.bike_options = 0xff;
        c.set(&bike, 0);
        EXPECT_EQ(bike.bike_options, 0xff & ~c.mask);
    }
}

TEST(BikeSetters, DefaultSetup)
{
    BikeState bike = make_bike("yz250f(2017)");
    apply_default_setup(&bike);
    EXPECT_FLOAT_EQ(bike.final_drive, 50.0f / 13.0f);
    EXPECT_EQ(bike.bike_options, 0x01 | 0x04 | 0x08 | 0x80);
    EXPECT_FLOAT_EQ(bike.fork_hs_compression, 60.0f);
    EXPECT_FLOAT_EQ(bike.fork_ls_compression, 0.0f);
    EXPECT_FLOAT_EQ(bike.fork_spring_rate, (335.984f + 873.56f) / 2);
    EXPECT_FLOAT_EQ(bike.fork_oil_level, 0.416667f);
    EXPECT_FLOAT_EQ(bike.shock_hs_compression, 1600.0f);
    EXPECT_FLOAT_EQ(bike.shock_hs_rebound, 1200.0f);
    EXPECT_FLOAT_EQ(bike.shock_ls_rebound, 150.0f);
    EXPECT_FLOAT_EQ(bike.shock_preload, 0.333333f / 2);
    EXPECT_EQ(bike.rider_forward_damping, 0.75f);
    EXPECT_EQ(bike.roll_limit_angle, 0.7853982f);
    EXPECT_EQ(bike.max_dab_speed, 30.0f);
    EXPECT_EQ(bike.restricted_lock_angle, 0.08726646f);
    EXPECT_EQ(bike.land_damping_falloff, 0.25f);
    EXPECT_EQ(bike.auto_clutch_rpms, 5000.0f);
    EXPECT_EQ(bike.front_brake_torque, 250.0f);
}

TEST(BikeSetters, SetupMenuValues)
{
    const BikeModel *m = find_bike_model("cr125");
    EXPECT_FLOAT_EQ(calc_fork_spring_rate(m, 0), 322.545f * 0.0007440819724087572f);
    EXPECT_FLOAT_EQ(calc_fork_spring_rate(m, 3), 860.12f * 0.0007440819724087572f);
    EXPECT_NEAR(calc_fork_preload(m, 1), 25.4f, 1e-3);
    EXPECT_NEAR(calc_fork_oil_level(m, 0.5f), 101.6f, 1e-3);
    EXPECT_NEAR(calc_shock_preload(m, -1), 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(calc_shock_spring_rate(m, 0.5f),
                    (1814.32f + 4502.19f) / 2 * 0.0014881639448175144f);
    EXPECT_EQ(get_default_front_sprocket(m), 13.0f);
    EXPECT_EQ(get_default_rear_sprocket(m), 52.0f);
}
