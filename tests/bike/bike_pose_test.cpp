// Bike pose, reset and the physics weight.
#include "bike/bike_pose.h"

#include "bike/bike_setters.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

static void positions(const BikeState *bike, double out[BIKE_BODY_COUNT][3])
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal *p = dBodyGetPosition(bodies[i]);
        for (int k = 0; k < 3; k++)
            out[i][k] = p[k];
    }
}

TEST_F(BikeWorld, MovingAndTurningCarryEveryBody)
{
    BikeState *bike = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    double rest[BIKE_BODY_COUNT][3], now[BIKE_BODY_COUNT][3];
    positions(bike, rest);

    move_bike_bodies(bike, 0, 0, 0);
    positions(bike, now);
    EXPECT_EQ(memcmp(rest, now, sizeof rest), 0) << "a move by nothing changes nothing";

    // A quarter turn about y: (x, y, z) goes to (z, y, -x).
    rotate_bike_bodies(bike, 0, 1, 0, (float)(M_PI / 2));
    move_bike_bodies(bike, 100, 2, 200);
    positions(bike, now);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(now[i][0], rest[i][2] + 100, 1e-5);
        EXPECT_NEAR(now[i][1], rest[i][1] + 2, 1e-5);
        EXPECT_NEAR(now[i][2], -rest[i][0] + 200, 1e-5);
        const dReal *r = dBodyGetRotation(bodies[i]);
        EXPECT_NEAR(r[2], 1.0, 1e-6);     // body z axis along world x
        EXPECT_NEAR(r[8], -1.0, 1e-6);    // body x axis along world -z
    }
    EXPECT_NEAR(dJointGetHingeAngle(bike->steering_joint), 0.0, 1e-6);

    // Values that are not finite and axes without a length are ignored.
    positions(bike, rest);
    move_bike_bodies(bike, std::nanf(""), 0, 0);
    move_bike_bodies(bike, 0, INFINITY, 0);
    rotate_bike_bodies(bike, 0, 0, 0, 1.0f);
    rotate_bike_bodies(bike, 0, 1, 0, std::nanf(""));
    positions(bike, now);
    EXPECT_EQ(memcmp(rest, now, sizeof rest), 0);
}

TEST_F(BikeWorld, ResetPutsTheBikeAndRiderBackTogether)
{
    BikeState *bike = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    double rest[BIKE_BODY_COUNT][3], now[BIKE_BODY_COUNT][3];
    positions(bike, rest);

    // A bike that crashed somewhere, mid-race.
    rotate_bike_bodies(bike, 1, 0, 1, 2.0f);
    move_bike_bodies(bike, 40, 3, 40);
    dBodySetLinearVel(bike->frame_body, 5, 6, 7);
    dBodyAddForce(bike->rider_body, 1, 2, 3);
    dJointAttach(bike->rider_joint, nullptr, nullptr);
    bike->crash_timer = 600;
    bike->crash_count = 3;
    bike->down = 1;
    bike->knock = -640;
    bike->gear = 3;
    bike->throttle = 1;
    bike->engine_speed = 900;
    bike->gates_passed = 5;
    int *gate = (int *)append_to_growable_array(&bike->gate_times);
    *gate = 77;
    append_to_growable_array(&bike->own_line);
    bike->personality = 2;
    bike->physics_weight = 0;
    bike->loose_points[1].position[2] = 9;
    bike->feedback[2].f1[0] = 4;
    bike->ruts[0].point_count = 12;
    bike->last_contact_tic = 300;

    reset_bike(bike);
    positions(bike, now);
    for (int i = 0; i < BIKE_BODY_COUNT; i++)
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(now[i][k], rest[i][k], 1e-9) << i;
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    EXPECT_EQ(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 0.0);
    const dReal *f = dBodyGetForce(bike->rider_body);
    EXPECT_EQ(f[0] * f[0] + f[1] * f[1] + f[2] * f[2], 0.0);
    const dReal *r = dBodyGetRotation(bike->rider_body);
    EXPECT_EQ(r[0], 1.0);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 0), bike->rider_body);
    EXPECT_EQ(dJointGetBody(bike->rider_joint, 1), bike->frame_body);
    EXPECT_EQ(bike->crash_timer, 0);
    EXPECT_EQ(bike->crash_count, 0);
    EXPECT_EQ(bike->down, 0);
    EXPECT_EQ(bike->knock, 0.0f);
    EXPECT_EQ(bike->gear, 0);
    EXPECT_EQ(bike->throttle, 0.0f);
    EXPECT_EQ(bike->engine_speed, 0.0f);
    EXPECT_EQ(bike->gates_passed, 0);
    EXPECT_EQ(bike->gate_times.count, 0);
    EXPECT_EQ(bike->gate_times.capacity, 16) << "the storage is kept";
    EXPECT_NE(bike->gate_times.data, nullptr);
    EXPECT_EQ(bike->own_line.count, 0);
    EXPECT_EQ(bike->personality, 0);
    EXPECT_EQ(bike->corner_tic, -1000000);
    EXPECT_EQ(bike->physics_weight, 1.0f);
    EXPECT_EQ(bike->loose_points[1].position[2], 0.0f);
    EXPECT_EQ(bike->feedback[2].f1[0], 0.0);
    EXPECT_EQ(bike->ruts[0].point_count, 0);
    EXPECT_EQ(bike->last_contact_tic, -1);
    // The setup stays.
    EXPECT_EQ(bike->max_dab_speed, 30.0f);
}

TEST_F(BikeWorld, PhysicsWeightDecaysAndWakes)
{
    BikeState *bike = create_bike("cr125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    struct Step {
        const char *what;
        float before;
        void (*action)(BikeState *);
        float after;
        int enabled;
    } steps[] = {
        {"decay just above", 0.26f, decay_bike_physics, 0.2521875f, 1},
        {"decay across", 0.255f, decay_bike_physics, 0.2471875f, 0},
        {"wake a low weight", 0.1f, wake_bike_physics, 0.25f, 0},
        {"then decay", 0.25f, decay_bike_physics, 0.2421875f, 0},
        {"wake a placed bike", 0.0f, wake_bike_physics, 1.0f, 1},
        {"wake a simulated bike", 0.5f, wake_bike_physics, 0.5f, 1},
        {"decay a placed bike", 0.0f, decay_bike_physics, 0.0f, 0},
        {"decay to nothing", 0.005f, decay_bike_physics, 0.0f, 0},
        {"enable", 0.1f, enable_bike_physics, 1.0f, 1},
        {"disable", 0.7f, disable_bike_physics, 0.0f, 0},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        // Start from the weight with the bodies as that weight has them.
        if (s.before > 0.25f)
            enable_bike_physics(bike);
        else
            disable_bike_physics(bike);
        bike->physics_weight = s.before;
        s.action(bike);
        EXPECT_FLOAT_EQ(bike->physics_weight, s.after);
        dBodyID bodies[BIKE_BODY_COUNT];
        get_bike_bodies(bike, bodies);
        for (dBodyID body : bodies)
            EXPECT_EQ(dBodyIsEnabled(body), s.enabled);
        EXPECT_EQ(is_bike_physics_active(bike), s.enabled);
    }

    // Forces left on a placed bike are dropped when it is handed over.
    bike->physics_weight = 0.2f;
    dBodyAddForce(bike->frame_body, 10, 0, 0);
    dBodyAddTorque(bike->swingarm_body, 0, 10, 0);
    decay_bike_physics(bike);
    EXPECT_EQ(dBodyGetForce(bike->frame_body)[0], 0.0);
    EXPECT_EQ(dBodyGetTorque(bike->swingarm_body)[1], 0.0);

    // A bike woken by a hit goes back to placement after 96 tics.
    bike->physics_weight = 0.0f;
    wake_bike_physics(bike);
    int tics = 0;
    while (is_bike_physics_active(bike) && tics < 1000) {
        decay_bike_physics(bike);
        tics++;
    }
    EXPECT_EQ(tics, 96);
}
