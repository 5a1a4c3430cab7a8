// Top speed of every bike model: where each full-throttle curve, read as
// the engine reads it, reaches zero against the model's top rpm, and a
// launch of one bike of each distinct engine on the flat of the riding
// fixture with automatic shifting, through every gear to its top speed.
#include "riding_fixture.h"

#include "bike/bike_getters.h"
#include "bike/engine.h"

#include <cstring>
#include <vector>

namespace {

const double MPH = 5280.0 / 3600.0;   // ft/s in a mile per hour

// The first engine speed at which the full-throttle torque, linear
// between the curve's points, reaches zero; 0 when it never does.
double open_throttle_zero_rpm(const BikeModel &m)
{
    for (int i = 1; i < TORQUE_CURVE_POINTS; i++) {
        double a = m.open_throttle_torque[i - 1], b = m.open_throttle_torque[i];
        if (a > 0.0 && b <= 0.0)
            return 500.0 * (i - 1 + a / (a - b));
    }
    return 0.0;
}

// Models that ride alike: same engine, gearing and masses.
bool same_engine(const BikeModel &a, const BikeModel &b)
{
    return !strcmp(a.class_name, b.class_name) && a.frame_mass == b.frame_mass && a.rider_mass == b.rider_mass &&
           a.primary_ratio == b.primary_ratio && a.front_sprocket == b.front_sprocket &&
           a.rear_sprocket == b.rear_sprocket && !memcmp(a.gear_ratios, b.gear_ratios, sizeof a.gear_ratios) &&
           !memcmp(a.engine_constants, b.engine_constants, sizeof a.engine_constants) &&
           !memcmp(a.open_throttle_torque, b.open_throttle_torque, sizeof a.open_throttle_torque) &&
           !memcmp(a.closed_throttle_torque, b.closed_throttle_torque, sizeof a.closed_throttle_torque);
}

bool full_size(const BikeModel &m)
{
    return strcmp(m.class_name, "50") != 0;
}

double frame_speed(const BikeState *bike)
{
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

}  // namespace

// Full throttle pulls to zero at its top rpm or within one curve step
// (500 rpm) above it, and never before the shift-up speed, so automatic
// shifting still changes up in every gear.
TEST(TopSpeed, EveryCurveReachesZeroJustPastTheShiftUpAndByTheTopRpm)
{
    for (const BikeModel &m : bike_models) {
        SCOPED_TRACE(m.name);
        double zero = open_throttle_zero_rpm(m);
        EXPECT_GT(zero, m.shift_up_rpm);
        EXPECT_LE(zero, m.top_rpm + 500.0);
        for (int i = 0; i < TORQUE_CURVE_POINTS; i++)
            if (500.0 * i >= zero) {
                EXPECT_LE(m.open_throttle_torque[i], 0.0f) << i;
            }
    }
}

// One bike of each distinct engine launched from rest at full throttle for
// 30 s on the flat: the default 250f tops out at 65-80 mph, every
// full-size model at 55-90 mph, each in its top gear, its engine no faster
// than one curve step past its top rpm, 30 mph within 4 s.
TEST_F(RidingWorld, EveryModelTopsOutWithinItsRange)
{
    std::vector<const BikeModel *> engines;
    for (const BikeModel &m : bike_models) {
        bool known = false;
        for (const BikeModel *e : engines)
            known = known || same_engine(*e, m);
        if (!known)
            engines.push_back(&m);
    }
    ASSERT_LE(engines.size(), 8u) << "one lane each across the fixture";
    // Each model rides on a lane of its own, clear of the ramp and the bar.
    const float lanes[8] = {100, 125, 150, 175, 200, 225, 300, 325};
    std::vector<BikeState *> bikes;
    for (size_t k = 0; k < engines.size(); k++) {
        BikeState *bike = create_bike(engines[k]->name, (int)k, 1, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr) << engines[k]->name;
        place_riding_bike(bike, lanes[k], 500.0f, 0.0f, 0.0f);
        set_gear(bike, 0);
        set_auto_shift(bike, 1);
        set_stop_wheelies(bike, 3);
        bikes.push_back(bike);
    }
    std::vector<double> reached_30(bikes.size(), -1.0), top(bikes.size(), 0.0);
    for (int tic = 0; tic < 30 * TIC_RATE; tic++) {
        for (BikeState *bike : bikes) {
            set_throttle(bike, 1);
            set_front_brake(bike, 0);
            set_rear_brake(bike, 0);
            set_steer(bike, 0);
            set_dab(bike, 0);
            set_clutch(bike, 1);
        }
        race_tic();
        for (size_t k = 0; k < bikes.size(); k++) {
            double speed = frame_speed(bikes[k]);
            if (reached_30[k] < 0 && speed >= 30.0 * MPH)
                reached_30[k] = (tic + 1) * (double)TIC_LENGTH;
            top[k] = std::max(top[k], speed);
        }
    }
    bool default_ridden = false;
    for (size_t k = 0; k < bikes.size(); k++) {
        const BikeModel &m = *engines[k];
        SCOPED_TRACE(m.name);
        const BikeState *bike = bikes[k];
        EXPECT_EQ(bike->crash_count, 0);
        EXPECT_EQ(bike->gear, step_gear(&m, 5)) << "automatic shifting reaches the top gear";
        EXPECT_LE(get_engine_rpm(bike), m.top_rpm + 500.0f);
        EXPECT_NEAR(frame_speed(bike), top[k], 0.01 * top[k]) << "still at its top speed";
        double mph = top[k] / MPH;
        if (full_size(m)) {
            EXPECT_GE(mph, 55.0);
            EXPECT_LE(mph, 90.0);
            EXPECT_GT(reached_30[k], 0.0);
            EXPECT_LE(reached_30[k], 4.0);
        }
        if (same_engine(m, *find_bike_model("yz250f(2017)"))) {
            default_ridden = true;
            EXPECT_GE(mph, 65.0);
            EXPECT_LE(mph, 80.0);
        }
    }
    EXPECT_TRUE(default_ridden);
}
