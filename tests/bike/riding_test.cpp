// Riding a whole bike through race_tic on the riding fixture: settling,
// launching, braking, steering, a crash under a bar, determinism, and the
// range guard that keeps a broken bike from reaching the physics.
#include "riding_fixture.h"

#include "bike/bike_getters.h"
#include "bike/engine.h"
#include "bike/packed_state.h"
#include "bike/particles.h"
#include "bike/physics_utils.h"
#include "bike/steering.h"
#include "track/terrain.h"

#include <cstring>
#include <vector>

namespace {

double frame_speed(const BikeState *bike)
{
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

const dReal *frame_position(const BikeState *bike)
{
    return dBodyGetPosition(bike->frame_body);
}

bool bike_is_finite(const BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies) {
        const dReal *p = dBodyGetPosition(body);
        const dReal *v = dBodyGetLinearVel(body);
        const dReal *w = dBodyGetAngularVel(body);
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(p[k]) || !std::isfinite(v[k]) || !std::isfinite(w[k]))
                return false;
    }
    return std::isfinite(bike->engine_speed) && std::isfinite(bike->rear_wheel_angle);
}

// Every body moving at the speed along the bike's forward axis (-z turned
// by the yaw), wheels rolling without slip.
void set_rolling(BikeState *bike, float speed)
{
    const BikeModel *m = get_bike_state_model(bike);
    dVector3 forward;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        dBodySetLinearVel(body, forward[0] * speed, forward[1] * speed, forward[2] * speed);
    const WheelSpec *specs[2] = {&m->front_wheel, &m->rear_wheel};
    dBodyID wheels[2] = {bike->front_wheel_body, bike->rear_wheel_body};
    for (int i = 0; i < 2; i++) {
        double spin = -speed / (specs[i]->rim_radius + specs[i]->tyre_radius);
        dVector3 axle;
        dBodyVectorToWorld(wheels[i], spin, 0, 0, axle);
        dBodySetAngularVel(wheels[i], axle[0], axle[1], axle[2]);
    }
}

void hold_controls(BikeState *bike, float throttle, float front, float rear, float steer,
                   float dab)
{
    set_throttle(bike, throttle);
    set_front_brake(bike, front);
    set_rear_brake(bike, rear);
    set_steer(bike, steer);
    set_dab(bike, dab);
    set_clutch(bike, 1.0f);
}

}  // namespace

TEST_F(RidingWorld, SettlesUprightWithAFootDown)
{
    BikeState *bike = add_bike(0, 300, 400, 0, 0.5f);
    ASSERT_NE(bike, nullptr);
    const BikeModel *m = get_bike_state_model(bike);
    for (int tic = 0; tic < 256; tic++) {
        hold_controls(bike, 0, 0, 0, 0, 1);
        race_tic();
        ASSERT_TRUE(bike_is_finite(bike)) << "tic " << tic;
    }
    EXPECT_LT(frame_speed(bike), 0.25);
    EXPECT_LT(std::fabs(get_bike_lean(bike->frame_body)), 0.1f);
    float fork = (float)dJointGetSliderPosition(bike->fork_joint);
    float swingarm = (float)dJointGetHingeAngle(bike->swingarm_joint);
    EXPECT_GE(fork, -m->fork_travel - 0.02f);
    EXPECT_LE(fork, 0.02f);
    EXPECT_GE(swingarm, -get_swingarm_travel(m) - 0.02f);
    EXPECT_LE(swingarm, 0.02f);
    // The support lifts the foot by 8 tics' worth and the pose lowers it by
    // 4 within each step: a foot held down ends each tic 4/128 short of 1.
    EXPECT_NEAR(bike->foot_down_amount, 1.0f - 4.0f * TIC_LENGTH, 1e-6f);
    EXPECT_EQ(bike->crash_count, 0);
    EXPECT_GT(bike->front_contact.depth, 0.0f);
    EXPECT_GT(bike->rear_contact.depth, 0.0f);
}

TEST_F(RidingWorld, LaunchesThroughTheGearsToTopSpeed)
{
    BikeState *bike = add_bike(0, 300, 500);
    ASSERT_NE(bike, nullptr);
    set_gear(bike, 0);
    set_auto_shift(bike, 1);
    set_stop_wheelies(bike, 3);
    const BikeModel *m = get_bike_state_model(bike);
    int top_gear = step_gear(m, 5);
    double reached_44 = -1;
    int highest_gear = 0;
    for (int tic = 0; tic < 30 * 128; tic++) {
        hold_controls(bike, 1, 0, 0, 0, 0);
        race_tic();
        ASSERT_TRUE(bike_is_finite(bike)) << "tic " << tic;
        if (reached_44 < 0 && frame_speed(bike) >= 44.0)
            reached_44 = (tic + 1) * TIC_LENGTH;
        highest_gear = std::max(highest_gear, bike->gear);
    }
    // 472 lbf at the wheel on 12.76 slugs: no sooner than 1.2 s.
    EXPECT_GE(reached_44, 1.2);
    EXPECT_LE(reached_44, 4.0);
    EXPECT_GT(reached_44, 0);
    EXPECT_EQ(highest_gear, top_gear);
    // The default bike tops out at 65-80 mph.
    double speed = frame_speed(bike);
    EXPECT_GE(speed, 65.0 * 5280 / 3600);
    EXPECT_LE(speed, 80.0 * 5280 / 3600);
    EXPECT_LT(std::fabs(get_bike_lean(bike->frame_body)), 0.2f);
    EXPECT_EQ(bike->crash_count, 0);
}

TEST_F(RidingWorld, BothBrakesStopFromThirtyWithoutAFlip)
{
    BikeState *bike = add_bike(0, 300, 450);
    ASSERT_NE(bike, nullptr);
    for (int tic = 0; tic < 64; tic++) {   // settle on the ground first
        hold_controls(bike, 0, 0, 0, 0, 0);
        race_tic();
    }
    set_rolling(bike, 30.0f);
    double start_z = frame_position(bike)[2];
    for (int tic = 0; tic < 5 * 128 && frame_speed(bike) > 0.2; tic++) {
        hold_controls(bike, 0, 1, 1, 0, 0);
        race_tic();
        ASSERT_TRUE(bike_is_finite(bike));
    }
    double distance = start_z - frame_position(bike)[2];
    // The brakes give 445 lbf: no shorter than 12.5 ft.
    EXPECT_GE(distance, 12.5);
    EXPECT_LE(distance, 40.0);
    EXPECT_LT(frame_speed(bike), 0.5);
    EXPECT_EQ(bike->crash_count, 0);
    const dReal *r = dBodyGetRotation(bike->frame_body);
    EXPECT_GT(r[5], 0.7) << "the frame stays upright";
}

namespace {

struct TurnResult {
    std::vector<double> x, z;
    double lean = 0, speed = 0, radius = 0;
};

// Three points on a circle: its radius.
double circle_radius(double x1, double z1, double x2, double z2, double x3, double z3)
{
    double a = std::hypot(x2 - x1, z2 - z1), b = std::hypot(x3 - x2, z3 - z2);
    double c = std::hypot(x3 - x1, z3 - z1);
    double area2 = std::fabs((x2 - x1) * (z3 - z1) - (x3 - x1) * (z2 - z1));
    return area2 > 0 ? a * b * c / (2 * area2) : 1e9;
}

}  // namespace

// The stability values a player starts with (the setup menu's stability
// 100): with them a held steer input asks the lean follower for a lean, so
// the bike settles into a steady turn. The bare default setup steers by
// torque alone (direct steering 1), which keeps a held input leaning on.
void apply_start_stability(BikeState *bike)
{
    set_leveling(bike, 20);
    set_roll_damping(bike, 80);
    set_roll_limit_angle(bike, (float)(M_PI / 4));
    set_roll_limit_factor(bike, 32);
    set_steering_damping(bike, 60);
    set_steering_strength(bike, 75);
    set_max_steering_force(bike, 400);
    set_direct_steering(bike, 0.125f);
    set_slow_damping_speed(bike, 40);
    set_slow_damping_factor(bike, 2);
    set_land_damping_falloff(bike, 0.25f);
    set_land_damping_factor(bike, 2);
    set_full_lock_speed(bike, 10);
    set_restricted_lock_speed(bike, 50);
    set_restricted_lock_angle(bike, (float)(M_PI / 180));
}

class RidingTurns : public RidingWorld {
protected:
    TurnResult ride_turn(float steer)
    {
        TurnResult result;
        BikeState *bike = add_bike(0, 256, 400);
        EXPECT_NE(bike, nullptr);
        if (!bike)
            return result;
        apply_start_stability(bike);
        set_gear(bike, 2);
        for (int tic = 0; tic < 32; tic++) {
            hold_controls(bike, 0, 0, 0, 0, 0);
            race_tic();
        }
        set_rolling(bike, 30.0f);
        for (int tic = 0; tic < 6 * 128; tic++) {
            // Hold about 30 ft/s with the throttle.
            float throttle = frame_speed(bike) < 30.0 ? 0.6f : 0.2f;
            hold_controls(bike, throttle, 0, 0, steer, 0);
            race_tic();
            if (tic % 16 == 0) {
                result.x.push_back(frame_position(bike)[0]);
                result.z.push_back(frame_position(bike)[2]);
            }
        }
        size_t n = result.x.size();
        result.lean = get_bike_lean(bike->frame_body);
        result.speed = frame_speed(bike);
        result.radius = circle_radius(result.x[n - 9], result.z[n - 9], result.x[n - 5],
                                      result.z[n - 5], result.x[n - 1], result.z[n - 1]);
        EXPECT_TRUE(bike_is_finite(bike));
        EXPECT_EQ(bike->crash_count, 0);
        return result;
    }
};

TEST_F(RidingTurns, OppositeSteerGivesMirrorPathsAndASteadyLean)
{
    TurnResult right = ride_turn(0.5f);
    TearDown();
    SetUp();
    TurnResult left = ride_turn(-0.5f);
    ASSERT_EQ(right.x.size(), left.x.size());
    double length = 0;
    for (size_t i = 1; i < right.x.size(); i++)
        length += std::hypot(right.x[i] - right.x[i - 1], right.z[i] - right.z[i - 1]);
    for (size_t i = 0; i < right.x.size(); i++) {
        EXPECT_NEAR(right.x[i] - 256.0, -(left.x[i] - 256.0), 0.02 * length) << i;
        EXPECT_NEAR(right.z[i], left.z[i], 0.02 * length) << i;
    }
    EXPECT_GT(right.x.back(), 256.0 + 5.0) << "positive steer turns toward +x";
    // A steady turn balances gravity and the turn: tan|lean| = v^2 / (32 r).
    double expected = right.speed * right.speed / (32.0 * right.radius);
    EXPECT_NEAR(std::tan(std::fabs(right.lean)), expected, 0.3 * expected);
}

TEST_F(RidingWorld, ABarAtChestHeightThrowsTheRiderWhoGetsBackOn)
{
    BikeState *bike = add_bike(0, 256, BAR_Z + 40);
    ASSERT_NE(bike, nullptr);
    set_gear(bike, 2);
    for (int tic = 0; tic < 32; tic++) {
        hold_controls(bike, 0, 0, 0, 0, 0);
        race_tic();
    }
    set_rolling(bike, 30.0f);
    int crash_tic = -1, last_timer = 0, held_while_sliding = 0, counted_down = 0;
    for (int tic = 0; tic < 14 * 128; tic++) {
        hold_controls(bike, 0, 0, 0, 0, 0);
        race_tic();
        ASSERT_TRUE(bike_is_finite(bike)) << tic;
        if (crash_tic < 0 && bike->crash_timer > 0)
            crash_tic = tic;
        if (crash_tic >= 0 && bike->crash_timer > 0 && last_timer > 0) {
            const dReal *v = dBodyGetLinearVel(bike->rider_body);
            double rider_speed2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
            if (bike->crash_timer == last_timer && rider_speed2 >= 4.0)
                held_while_sliding = 1;
            if (bike->crash_timer == last_timer - 1)
                counted_down = 1;
        }
        last_timer = bike->crash_timer;
        if (crash_tic >= 0 && bike->crash_timer == 0)
            break;
    }
    ASSERT_GE(crash_tic, 0) << "the rider was not thrown";
    EXPECT_TRUE(held_while_sliding);
    EXPECT_TRUE(counted_down);
    EXPECT_EQ(bike->crash_timer, 0) << "not back on the bike";
    EXPECT_EQ(bike->crash_count, 1);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 0), bike->rider_body);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 1), bike->frame_body);
    Statue *bar = get_statue(0);
    ASSERT_NE(bar, nullptr);
    EXPECT_GT(bar->last_hit_tic, 0);
}

namespace {

struct RunRecord {
    std::vector<std::vector<uint8_t>> states;
    std::vector<ErosionQueueEntry> queue;
    std::vector<float> particles;
};

}  // namespace

class RidingDeterminism : public RidingWorld {
protected:
    RunRecord ride_script()
    {
        RunRecord record;
        erosion_amount = 512;
        BikeState *a = add_bike(0, 240, 450);
        BikeState *b = add_bike(1, 260, 452);
        EXPECT_TRUE(a && b);
        if (!a || !b)
            return record;
        set_auto_shift(a, 1);
        set_auto_shift(b, 1);
        for (int tic = 0; tic < 10 * 128; tic++) {
            float t = tic * TIC_LENGTH;
            hold_controls(a, t < 6 ? 1.0f : 0.0f, t > 6 ? 0.5f : 0.0f, t > 6 ? 1.0f : 0.0f,
                          std::sin(t) * 0.4f, 0);
            hold_controls(b, 0.8f, 0, 0, -std::sin(t * 1.3f) * 0.3f, 0);
            race_tic();
            for (BikeState *bike : {a, b}) {
                std::vector<uint8_t> bytes(PACKED_STATE_SIZE);
                pack_rider_state(bike, bytes.data());
                record.states.push_back(bytes);
            }
        }
        for (int i = 0; i < erosion_queue.count; i++)
            record.queue.push_back(
                erosion_queue.entries[(erosion_queue.oldest + i) % EROSION_QUEUE_SIZE]);
        for (ParticleNode *p = live_particles; p; p = p->next)
            for (int k = 0; k < 3; k++) {
                record.particles.push_back(p->position[k]);
                record.particles.push_back(p->velocity[k]);
            }
        erosion_amount = 0;
        return record;
    }
};

TEST_F(RidingDeterminism, TheSameScriptTwiceGivesTheSameRace)
{
    RunRecord first = ride_script();
    TearDown();
    SetUp();
    RunRecord second = ride_script();
    ASSERT_EQ(first.states.size(), second.states.size());
    for (size_t i = 0; i < first.states.size(); i++)
        ASSERT_EQ(first.states[i], second.states[i]) << "state " << i;
    EXPECT_GT(first.queue.size(), 0u) << "the tyres dug ruts";
    ASSERT_EQ(first.queue.size(), second.queue.size());
    EXPECT_EQ(memcmp(first.queue.data(), second.queue.data(),
                     first.queue.size() * sizeof(ErosionQueueEntry)),
              0);
    EXPECT_GT(first.particles.size(), 0u) << "the wheels threw dirt";
    EXPECT_EQ(first.particles, second.particles);
}

TEST_F(RidingWorld, ABikeOutOfRangeIsSetUprightWhereItLastWasSound)
{
    BikeState *bike = add_bike(0, 300, 400);
    BikeState *other = add_bike(1, 200, 400);
    ASSERT_TRUE(bike && other);
    run_tics(16);
    double sound[3];
    for (int k = 0; k < 3; k++)
        sound[k] = frame_position(bike)[k];
    struct Breakage {
        const char *what;
        void (*apply)(BikeState *);
    } cases[] = {
        {"NaN velocity", [](BikeState *b) { dBodySetLinearVel(b->rider_body, NAN, 0, 0); }},
        {"huge spin", [](BikeState *b) { dBodySetAngularVel(b->front_wheel_body, 0, 0, 2e4); }},
        {"far away", [](BikeState *b) { dBodySetPosition(b->swingarm_body, 3e6, 0, 0); }},
        {"infinite position",
         [](BikeState *b) { dBodySetPosition(b->frame_body, INFINITY, 1, 1); }},
    };
    for (const Breakage &c : cases) {
        c.apply(bike);
        race_tic();
        EXPECT_TRUE(bike_is_finite(bike)) << c.what;
        EXPECT_NEAR(frame_position(bike)[0], sound[0], 0.5) << c.what;
        EXPECT_NEAR(frame_position(bike)[2], sound[2], 0.5) << c.what;
        EXPECT_LT(frame_speed(bike), 2.0) << c.what;
        EXPECT_TRUE(bike_is_finite(other)) << c.what;
        run_tics(8);
    }
}

TEST_F(RidingWorld, NegativeTicsAndHostileControlsStayFinite)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    current_tic = -1000;   // a demo may start anywhere
    set_gear(bike, 0);
    for (int tic = 0; tic < 256; tic++) {
        hold_controls(bike, 1, 0, 0, tic % 2 ? 1.0f : -1.0f, 0);
        set_back_up(bike, tic < 128 ? 1.0f : 0.0f);
        race_tic();
        ASSERT_TRUE(bike_is_finite(bike)) << tic;
    }
    EXPECT_EQ(current_tic, -1000 + 256);
}
