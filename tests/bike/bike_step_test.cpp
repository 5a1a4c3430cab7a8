// The per-bike step, crashes and the dab support on the riding fixture:
// the rider-thrown tolerances after a landing, back-up pulses, dab when
// stopped, the crash timer, knock and crash-table rules, object hits, the
// loose limb points, and the support of a stopped bike.
#include "riding_fixture.h"

#include "bike/bike_step.h"
#include "bike/crash.h"
#include "bike/dab_support.h"
#include "bike/physics_utils.h"
#include "bike/world_contacts.h"
#include "net/client.h"
#include "race/race_control.h"
#include "track/timing.h"

#include <cstring>

namespace {

double speed_of(dBodyID body)
{
    const dReal *v = dBodyGetLinearVel(body);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void set_all_velocities(BikeState *bike, double x, double y, double z)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies) {
        dBodySetLinearVel(body, x, y, z);
        dBodySetAngularVel(body, 0, 0, 0);
    }
}

// Settles a bike on the ground with a foot down.
void settle(BikeState *bike, int tics = 128)
{
    for (int i = 0; i < tics; i++) {
        set_dab(bike, 1.0f);
        race_tic();
    }
    set_dab(bike, 0.0f);
}

}  // namespace

// The rider is thrown when the seat and the rider part faster than 31 f
// ft/s, f = 1.5 normally and 1.0 just after a long drop.
TEST_F(RidingWorld, RiderThrownTolerancesFollowTheLanding)
{
    struct Case {
        int air_tics;          // take-off to landing
        int since_landing;     // landing to now
        double separation;     // rider moving this much faster than the seat
        bool thrown;
    } cases[] = {
        {90, 8, 30.5, false},   // 0.7 s of air, 1/16 s after: tolerance 31
        {90, 8, 31.5, true},
        {90, 40, 46.0, false},  // 0.31 s after: back to 46.5
        {90, 40, 47.0, true},
        {40, 8, 46.0, false},   // a short hop keeps 46.5
        {40, 8, 47.0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.air_tics << " " << c.since_landing << " "
                                        << c.separation);
        BikeState *bike = add_bike(0, 300, 400);
        ASSERT_NE(bike, nullptr);
        current_tic = 1000;
        bike->landing_tic = current_tic - c.since_landing;
        bike->takeoff_tic = bike->landing_tic - c.air_tics;
        dBodySetLinearVel(bike->rider_body, c.separation, 0, 0);
        // The ring holds the same velocity: no acceleration.
        for (float *slot : bike->rider_velocity_ring) {
            slot[0] = (float)c.separation;
            slot[1] = slot[2] = 0;
        }
        check_rider_thrown(bike);
        EXPECT_EQ(bike->crash_timer > 0, c.thrown);
        free_bike(bike);
    }
}

TEST_F(RidingWorld, RiderThrownByAccelerationBeyondTheTolerance)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    current_tic = 1000;
    // Four tics ago the rider moved 30 ft/s slower along x: 30 / (4 h) =
    // 960 ft/s^2 plus gravity is inside 2064; 70 ft/s is not.
    for (float *slot : bike->rider_velocity_ring)
        slot[0] = slot[1] = slot[2] = 0;
    set_all_velocities(bike, 30, 0, 0);
    check_rider_thrown(bike);
    EXPECT_EQ(bike->crash_timer, 0);
    set_all_velocities(bike, 70, 0, 0);
    check_rider_thrown(bike);
    EXPECT_GT(bike->crash_timer, 0);
}

TEST_F(RidingWorld, BackingUpPulsesBackwardAndRestoresTheDab)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    settle(bike);
    current_tic = 1024;   // well after the start: every second pulses
    double z0 = dBodyGetPosition(bike->frame_body)[2];
    double x0 = dBodyGetPosition(bike->frame_body)[0];
    double fastest = 0;
    for (int i = 0; i < 256; i++) {
        set_back_up(bike, 1.0f);
        set_dab(bike, 0.25f);
        set_steer(bike, 0.0f);
        race_tic();
        EXPECT_FLOAT_EQ(bike->dab, 0.25f) << "the player's dab after the step";
        fastest = std::max(fastest, speed_of(bike->frame_body));
    }
    double z1 = dBodyGetPosition(bike->frame_body)[2];
    EXPECT_GT(z1 - z0, 1.0) << "pushed backward (+z)";
    EXPECT_LT(fastest, 4.5);
    EXPECT_NEAR(dBodyGetPosition(bike->frame_body)[0], x0, 0.5);
    EXPECT_EQ(bike->crash_count, 0);
}

TEST_F(RidingWorld, DabWhenStoppedBrakesAndDragsToAStop)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    settle(bike);
    set_auto_dab(bike, 1);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        dBodySetLinearVel(body, 0, 0, -3.0);
    for (int i = 0; i < 256; i++) {
        set_throttle(bike, 0.0f);
        set_front_brake(bike, 0.0f);
        set_rear_brake(bike, 0.0f);
        set_dab(bike, 0.0f);
        race_tic();
        EXPECT_EQ(bike->front_brake, 0.0f) << "restored after the step";
        EXPECT_EQ(bike->rear_brake, 0.0f);
    }
    EXPECT_LT(speed_of(bike->frame_body), 0.25);
    EXPECT_GT(bike->foot_down_amount, 0.9f) << "the assist puts the foot down";
    EXPECT_LT(std::fabs(get_bike_lean(bike->frame_body)), 0.15f);
}

TEST_F(RidingWorld, CrashTimerHoldsWhileSlidingAndCountsDownAtRest)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    settle(bike, 64);
    crash_rider(bike);
    ASSERT_EQ(bike->crash_timer, 512);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 0), nullptr) << "the rider is off";
    // Sliding: the rider keeps moving, the timer stays.
    for (int i = 0; i < 16; i++) {
        dBodySetLinearVel(bike->rider_body, 3, 0, 0);
        step_bike(bike);
        empty_contact_group();
        current_tic++;
    }
    EXPECT_EQ(bike->crash_timer, 512);
    // Lying still the rider is back on after the timer's value in tics.
    int tics = 0;
    while (bike->crash_timer > 0 && tics < 2000) {
        race_tic();
        tics++;
    }
    EXPECT_EQ(bike->crash_timer, 0);
    EXPECT_LE(tics, 512 + 3 * 128) << "at most 3 s for the rider to come to rest";
    EXPECT_GE(tics, 512);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 0), bike->rider_body);
}

TEST_F(RidingWorld, CrashRulesForKnockAndTheDelayTable)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    bike->knock = -1.0f;
    crash_rider(bike);
    EXPECT_EQ(bike->crash_timer, 0) << "a negative knock keeps the rider on";
    EXPECT_EQ(bike->crash_count, 0);

    bike->knock = 0.0f;
    for (int i = 0; i < CRASH_DELAY_ENTRIES; i++)
        crash_delay_table[i] = 100 * (i + 1);
    struct Case {
        int count_before;
        int timer;
    } cases[] = {{0, 612}, {3, 912}, {15, 2112}, {16, 2112}, {40, 2112}};
    for (const Case &c : cases) {
        bike->crash_timer = 0;
        bike->crash_count = c.count_before;
        crash_rider(bike);
        EXPECT_EQ(bike->crash_timer, c.timer) << c.count_before;
        EXPECT_EQ(bike->crash_count, c.count_before + 1);
        // A second call while crashed changes nothing.
        crash_rider(bike);
        EXPECT_EQ(bike->crash_count, c.count_before + 1);
    }
    memset(crash_delay_table, 0, sizeof crash_delay_table);
}

TEST_F(RidingWorld, ObjectHitsUnseatTheRiderAboveTwentyFeetPerSecond)
{
    // A ball at the rider's chest; its own body moves in some cases.
    write_file(test_data_dir() + "ball.shp", sphere_line(0, 0, 0, 0.5f).insert(0, "1\n"));
    CollisionShape *ball = clone_shape("@ball.shp");
    ASSERT_NE(ball, nullptr);
    struct Case {
        double rider_speed;
        double object_speed;   // 0 = a static object
        bool thrown;
    } cases[] = {{19, 0, false}, {21, 0, true}, {30, 12, false}, {30, 8, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rider_speed << " " << c.object_speed);
        BikeState *bike = add_bike(0, 300, 400);
        ASSERT_NE(bike, nullptr);
        dBodySetLinearVel(bike->rider_body, 0, 0, -c.rider_speed);
        const dReal *p = dBodyGetPosition(bike->rider_body);
        float where[3] = {(float)p[0], (float)p[1], (float)p[2] - 0.8f};
        float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        dBodyID body = nullptr;
        if (c.object_speed != 0) {
            body = dBodyCreate(physics_world);
            dBodySetPosition(body, where[0], where[1], where[2]);
            dBodySetLinearVel(body, 0, 0, -c.object_speed);
        }
        int parts = collide_bike_with_object(bike, ball, body, where, identity);
        EXPECT_TRUE(parts & PART_BIT_RIDER);
        EXPECT_EQ(bike->crash_timer > 0, c.thrown);
        empty_contact_group();
        if (body)
            dBodyDestroy(body);
        free_bike(bike);
    }
    checked_free(ball);
}

TEST_F(RidingWorld, RiderOnTheGroundRightSideUpIsNotThrownByIt)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    // The rider body sunk into the ground, upright, moving fast.
    const dReal *p = dBodyGetPosition(bike->rider_body);
    dBodySetPosition(bike->rider_body, p[0], 0.3, p[2]);
    dBodySetLinearVel(bike->rider_body, 0, 0, -20);
    int touched = collide_bike_with_terrain(bike);
    EXPECT_TRUE(touched);
    EXPECT_EQ(bike->down, 1);
    EXPECT_EQ(bike->crash_timer, 0);
    empty_contact_group();
    // Upside down at the same speed it is.
    dMatrix3 flip;
    dRFromAxisAndAngle(flip, 0, 0, 1, M_PI);
    dBodySetRotation(bike->rider_body, flip);
    collide_bike_with_terrain(bike);
    EXPECT_GT(bike->crash_timer, 0);
    empty_contact_group();
}

TEST_F(RidingWorld, LoosePointsRestOnTheGroundAndStayWithinLegReach)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    crash_rider(bike);
    ASSERT_GT(bike->crash_timer, 0);
    // Point A under the ground, moving: lifted to 0.25 ft above it and
    // stopped dead (the damping then has nothing to damp).
    LoosePoint *a = &bike->loose_points[0];
    const dReal *hip_body = dBodyGetPosition(bike->rider_body);
    a->position[0] = (float)hip_body[0] - 0.4f;
    a->position[1] = -2.0f;
    a->position[2] = (float)hip_body[2];
    a->velocity[0] = 5;
    a->velocity[1] = -3;
    a->velocity[2] = 0;
    dBodySetPosition(bike->rider_body, hip_body[0], 2.4, hip_body[2]);
    loose_rider_points_step(bike);
    EXPECT_FLOAT_EQ(a->position[1], 0.25f);
    EXPECT_FLOAT_EQ(a->velocity[1], 0.0f);
    // Far from the hips the point is pulled back to the leg's length.
    const BikeModel *m = get_bike_state_model(bike);
    float leg = m->rider_figure[FIGURE_THIGH_LENGTH] + m->rider_figure[FIGURE_SHIN_LENGTH];
    LoosePoint *b = &bike->loose_points[1];
    // Far below the raised rider: the leg pulls it up, and it stays below
    // the knee plane.
    dBodySetPosition(bike->rider_body, hip_body[0], 8.0, hip_body[2]);
    b->position[0] = (float)hip_body[0] + 1.0f;
    b->position[1] = 0.5f;
    b->position[2] = (float)hip_body[2];
    memset(b->velocity, 0, sizeof b->velocity);
    loose_rider_points_step(bike);
    dVector3 hip;
    const float *h = m->rider_figure + FIGURE_RIGHT_HIP;
    dBodyGetRelPointPos(bike->rider_body, h[0], h[1], h[2], hip);
    double d = std::sqrt(std::pow(b->position[0] - hip[0], 2) + std::pow(b->position[1] - hip[1], 2) +
                         std::pow(b->position[2] - hip[2], 2));
    EXPECT_LE(d, leg + 1e-3);
    for (float v : b->velocity)
        EXPECT_TRUE(std::isfinite(v));
}

TEST_F(RidingWorld, StoppedUprightWithTheDabGetsNoPushButTheFootGoesDown)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    settle(bike);
    set_all_velocities(bike, 0, 0, 0);
    dMatrix3 upright;
    dRFromAxisAndAngle(upright, 0, 1, 0, 0);
    dBodySetRotation(bike->frame_body, upright);
    bike->foot_down_amount = 0.0f;
    set_dab(bike, 1.0f);
    dBodySetForce(bike->frame_body, 0, 0, 0);
    for (int i = 0; i < 16; i++)
        support_stopped_bike(bike);
    const dReal *f = dBodyGetForce(bike->frame_body);
    EXPECT_EQ(f[0], 0.0);
    EXPECT_EQ(f[1], 0.0);
    EXPECT_FLOAT_EQ(bike->foot_down_amount, 1.0f) << "1 after 1/8 s";
    empty_contact_group();
}

TEST_F(RidingWorld, SupportAboveFifteenNeedsBothWheelsAndALean)
{
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_NE(bike, nullptr);
    set_dab(bike, 1.0f);
    bike->front_contact.depth = 0.1f;
    struct Case {
        double speed;
        float rear_depth;
        float lean;
        bool supported;
    } cases[] = {
        {10, 0.1f, 0.3f, true},  {20, 0.1f, 0.3f, false}, {20, 0.1f, 0.7f, true},
        {20, 0.0f, 0.7f, false}, {40, 0.1f, 0.7f, false},
    };
    for (const Case &c : cases) {
        dMatrix3 r;
        dRFromAxisAndAngle(r, 0, 0, 1, c.lean);
        dBodySetRotation(bike->frame_body, r);
        dBodySetLinearVel(bike->frame_body, 0, 0, -c.speed);
        bike->rear_contact.depth = c.rear_depth;
        bike->foot_down_amount = 0.0f;
        support_stopped_bike(bike);
        EXPECT_EQ(bike->foot_down_amount > 0.0f, c.supported)
            << c.speed << " " << c.rear_depth << " " << c.lean;
    }
    empty_contact_group();
}

TEST_F(RidingWorld, ObjectsNearACellBorderAreCollidedOnceEach)
{
    // Statue 1 is listed in two cells; the bike sits within 6 ft of their
    // border and touches both statues.
    Statue *bar = get_statue(0);
    ASSERT_NE(bar, nullptr);
    int border_index = -1;
    float extent = current_terrain->extent;
    // The x of the border between grid cells 3 and 4.
    float border = (4.0f / 8.0f * 3.0f / 4.0f + 0.125f) * extent;
    int index = add_statue(border + 1.0f, 0, 300, 0, "null", "null", "@bar.shp");
    ASSERT_GE(index, 0);
    border_index = index;
    rebuild_object_grid();
    int cell_left = object_grid_cell(border - 3.0f, extent);
    int cell_right = object_grid_cell(border + 3.0f, extent);
    EXPECT_NE(cell_left, cell_right);
    BikeState *bike = add_bike(0, border - 3.0f, 300 - 3.6f + 0.5f);
    ASSERT_NE(bike, nullptr);
    current_tic = 77;
    collide_bike_with_world(bike);
    Statue *near = get_statue(border_index);
    EXPECT_EQ(near->last_hit_tic, 77);
    EXPECT_NE(get_statue(0)->last_hit_tic, 77) << "the far bar is not touched";
    int joints_from_world = group_joint_count();
    empty_contact_group();
    // The same contacts as the terrain and this one statue once.
    collide_bike_with_terrain(bike);
    float position[3] = {near->x, near->y, near->z};
    collide_bike_with_object(bike, near->shape, nullptr, position, near->orientation);
    EXPECT_EQ(group_joint_count(), joints_from_world);
    EXPECT_GT(joints_from_world, 0);
    empty_contact_group();
    free_world_contact_lists();
}

TEST(PhysicsUtilities, LeanIgnoresPitchAndDragLeavesNearTargetsAlone)
{
    ASSERT_TRUE(create_physics_world());
    dBodyID body = dBodyCreate(physics_world);
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, M_PI / 2);   // standing on its rear wheel
    dBodySetRotation(body, r);
    EXPECT_NEAR(get_bike_lean(body), 0.0f, 1e-6f);
    dRFromAxisAndAngle(r, 0, 0, 1, 0.4);   // leaning
    dBodySetRotation(body, r);
    EXPECT_NEAR(std::fabs(get_bike_lean(body)), 0.4f, 1e-5f);

    const float target[3] = {1, 0, 0};
    dBodySetLinearVel(body, 1.2, 0, 0);   // 0.2 ft/s off: no force
    drag_body_to_velocity(body, 1000, target);
    EXPECT_EQ(dBodyGetForce(body)[0], 0.0);
    dBodySetLinearVel(body, 4, 0, 0);   // 3 ft/s off: the full strength back
    drag_body_to_velocity(body, 1000, target);
    EXPECT_NEAR(dBodyGetForce(body)[0], -1000.0, 1e-9);
    dBodyDestroy(body);
    destroy_physics_world();
}

// Two bikes placed so that A's front wheel meets B: head to head, or A's
// front into B's side; speeds along each bike's own heading.
TEST_F(RidingWorld, BikeContactsExchangeKnockByWhoHitWhom)
{
    struct Case {
        const char *what;
        float yaw_b, x_b, z_b;
        double speed_a, speed_b;
        int crash_b;
        float knock_b;
        float expect_a, expect_b;
    } cases[] = {
        {"head to head, both fast", (float)M_PI, 300.0f, 401.9f, 12, 12, 0, 0.0f, 64, 64},
        {"head to head, B slow", (float)M_PI, 300.0f, 401.9f, 12, 3, 0, 0.0f, 64, 0},
        {"A into B's side", (float)(M_PI / 2), 296.4f, 400.3f, 12, 6, 0, -10.0f, 128, -640},
        {"A into a slow B", (float)(M_PI / 2), 296.4f, 400.3f, 12, 3, 0, -10.0f, 0, -10},
        {"A into a crashed B", (float)(M_PI / 2), 296.4f, 400.3f, 12, 6, 1, -10.0f, 0, -10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BikeState *a = add_bike(0, 300, 400);
        BikeState *b = add_bike(1, c.x_b, c.z_b, c.yaw_b);
        ASSERT_TRUE(a && b);
        dVector3 forward;
        dBodyVectorToWorld(b->frame_body, 0, 0, -1, forward);
        dBodySetLinearVel(a->frame_body, 0, 0, -c.speed_a);
        dBodySetLinearVel(b->frame_body, forward[0] * c.speed_b, 0, forward[2] * c.speed_b);
        b->crash_timer = c.crash_b;
        b->knock = c.knock_b;
        a->picked_serials[2] = 9;
        current_tic = 40;
        int touched = collide_bike_with_bike(a, b, 0);
        EXPECT_NE(touched, 0);
        EXPECT_EQ(a->knock, c.expect_a);
        EXPECT_EQ(b->knock, c.expect_b);
        EXPECT_EQ(a->last_bike_contact_tic, 40);
        EXPECT_EQ(b->last_bike_contact_tic, 40);
        EXPECT_EQ(a->picked_serials[2], 0);
        empty_contact_group();
        free_bike(a);
        free_bike(b);
    }
    // Far apart nothing touches and nothing is recorded.
    BikeState *a = add_bike(0, 100, 400);
    BikeState *b = add_bike(1, 110, 400);
    current_tic = 41;
    EXPECT_EQ(collide_bike_with_bike(a, b, 0), 0);
    EXPECT_NE(a->last_bike_contact_tic, 41);
    EXPECT_EQ(collide_bike_with_bike(a, a, 0), 0) << "never with itself";
}

TEST_F(RidingWorld, APlacedBikeWokenDuringTheStepIsDisabledAgain)
{
    BikeState *ridden = add_bike(0, 300, 400);
    BikeState *placed = add_bike(1, 200, 400);
    ASSERT_TRUE(ridden && placed);
    disable_bike_physics(placed);
    race_tic();
    dBodyEnable(placed->frame_body);   // as a joint to a moving body would
    dBodyEnable(placed->rider_body);
    race_tic();
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(placed, bodies);
    for (dBodyID body : bodies)
        EXPECT_FALSE(dBodyIsEnabled(body));
    EXPECT_TRUE(dBodyIsEnabled(ridden->frame_body));
}

// A rider stopped and tipped after the leader has finished is finished too,
// once his own last lap ended no earlier than the leader's finish.
TEST_F(RidingWorld, AStoppedTippedRiderAfterTheLeadersFinishIsFinished)
{
    lap_gate_list.first_lap_count = 2;
    lap_gate_list.normal_lap_count = 3;
    race_settings.laps = 2;
    race_settings.final_lap = 2;   // the final gate is 2 + 3 - 1 = 4
    BikeState *leader = add_bike(1, 100, 400);
    BikeState *bike = add_bike(0, 300, 400);
    ASSERT_TRUE(leader && bike);
    auto set_times = [](BikeState *b, std::initializer_list<int> times) {
        b->gate_times.count = 0;
        for (int t : times)
            *(int *)append_to_growable_array(&b->gate_times) = t;
        b->gates_passed = (int)times.size();
    };
    running_order[0] = {1, 5, 500};
    running_order_count = 2;
    struct Case {
        std::initializer_list<int> own;
        int leader_gates;
        bool finished;
    } cases[] = {
        {{100, 200, 300, 400, 600}, 5, true},    // own lap 2 ended at 600 >= 500
        {{100, 200, 300, 400, 450}, 5, false},   // ended before the leader: not this way
        {{100, 200, 300}, 5, false},             // own lap 1 ended at 200, before
        {{100, 200, 300, 400, 600}, 4, false},   // the leader has not finished
    };
    for (const Case &c : cases) {
        set_times(leader, {50, 100, 200, 300, 500});
        leader->gates_passed = c.leader_gates;
        set_times(bike, c.own);
        bike->finished = 0;
        set_dab(bike, 1.0f);
        bike->front_contact.depth = 0.1f;
        bike->rear_contact.depth = 0.1f;
        dMatrix3 tipped;
        dRFromAxisAndAngle(tipped, 0, 0, 1, 0.6);   // between pi/8 and 0.35 pi
        dBodySetRotation(bike->frame_body, tipped);
        dBodySetLinearVel(bike->frame_body, 0, 0, 0);
        support_stopped_bike(bike);
        EXPECT_EQ(bike->finished != 0, c.finished) << bike->gate_times.count;
    }
    // One lap and no first-lap gates: the final gate would be -1.
    lap_gate_list.first_lap_count = 0;
    race_settings.laps = race_settings.final_lap = 1;
    bike->finished = 0;
    support_stopped_bike(bike);
    EXPECT_EQ(bike->finished, 0);
    lap_gate_list.normal_lap_count = 0;   // no gates per lap
    support_stopped_bike(bike);
    EXPECT_EQ(bike->finished, 0);
    // A timed race whose final lap is not decided yet finishes nobody.
    lap_gate_list.first_lap_count = 2;
    lap_gate_list.normal_lap_count = 3;
    race_settings.final_lap = LAP_NOT_DECIDED;
    set_times(leader, {50, 100, 200, 300, 500});
    set_times(bike, {100, 200, 300, 400, 600});
    bike->finished = 0;
    support_stopped_bike(bike);
    EXPECT_EQ(bike->finished, 0);
    running_order_count = 0;
    empty_contact_group();
}
