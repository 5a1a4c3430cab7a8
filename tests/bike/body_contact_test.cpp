// Body contacts: spheres against the terrain, posed shapes against the
// terrain with one joint per touching sphere, sphere pairs in their three
// modes, shape pairs, and a wheel against an object's shape.
#include "bike/body_contact.h"

#include "bike/shape.h"
#include "bike/wheel_contact.h"
#include "core/alloc.h"
#include "support/test_support.h"
#include "tests/bike/contact_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

void expect_vec(const float *v, float x, float y, float z, float tolerance = 1e-4f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

void expect_dvec(const dReal *v, double x, double y, double z, double tolerance = 1e-3)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

ShapeSphere sphere(float x, float y, float z, float radius, float friction = 1.0f,
                   float spring = 1000.0f, float damper = 100.0f)
{
    return ShapeSphere{x, y, z, radius, friction, spring, damper};
}

const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace

struct BodyWorld : ContactWorld {
    std::vector<CollisionShape *> copies;

    void TearDown() override
    {
        for (CollisionShape *copy : copies)
            checked_free(copy);
        free_shape_cache();
        ContactWorld::TearDown();
    }

    // A private copy of a shape file with this text.
    CollisionShape *shape(const std::string &name, const std::string &text)
    {
        write_file(test_data_dir() + name, text);
        CollisionShape *copy = clone_shape(("@" + name).c_str());
        EXPECT_NE(copy, nullptr);
        copies.push_back(copy);
        return copy;
    }

    // The body's pose as the shape operations take it.
    int contact_shape_on_ground(CollisionShape *copy, dBodyID body)
    {
        float position[3], rotation[9];
        get_body_pose(body, position, rotation);
        return terrain_contact_body_shape(copy, body, position, rotation, &ground.terrain);
    }
};

TEST_F(BodyWorld, TerrainSphereContacts)
{
    height(0, 0) = -2.0f;
    struct Case {
        const char *name;
        float centre[3], radius;
        int touches;
        float depth, point[3];
    } cases[] = {
        {"resting", {50, 0.4f, 50}, 0.5f, 1, 0.1f, {50, -0.1f, 50}},
        {"past the near corner", {-20, -1.6f, -30}, 0.5f, 1, 0.1f, {-20, -2.1f, -30}},
        // Deep under the ground: pushed straight up from its centre.
        {"buried", {51, -10, 53}, 0.5f, 1, 10.5f, {51, -10, 53}},
        {"above", {50, 0.6f, 50}, 0.5f, 0, 0, {0, 0, 0}},
        {"NaN centre", {NAN, 0.4f, 50}, 0.5f, 0, 0, {0, 0, 0}},
        {"infinite radius", {50, 0.4f, 50}, INFINITY, 0, 0, {0, 0, 0}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        float point[3] = {7, 7, 7}, normal[3] = {7, 7, 7}, depth = 7;
        ASSERT_EQ(terrain_collide_sphere(&ground.terrain, k.centre, k.radius, point, normal, &depth),
                  k.touches);
        if (!k.touches) {
            EXPECT_EQ(depth, 7.0f);
            continue;
        }
        EXPECT_NEAR(depth, k.depth, 1e-4f);
        expect_vec(normal, 0, 1, 0);
        expect_vec(point, k.point[0], k.point[1], k.point[2]);
    }
}

TEST_F(BodyWorld, TerrainSphereNormalsNeverPointDown)
{
    // Rough ground and spheres of all sizes in and around it, huge ones
    // included: any contact has a finite depth and a unit normal that does
    // not point down.
    shape_ground([](float x, float z) {
        return 4.0f * sinf(x * 1.3f) * cosf(z * 0.9f) + ((int)(x + z) % 3 == 0 ? 2.5f : 0.0f);
    });
    unsigned seed = 99;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (float)(seed >> 8) / (float)(1 << 24);
    };
    int contacts = 0;
    for (int n = 0; n < 600; n++) {
        float centre[3] = {next() * 40 + 20, next() * 14 - 7, next() * 40 + 20};
        float radius = n % 50 == 0 ? 1e30f : next() * 3;
        float point[3], normal[3], depth;
        if (!terrain_collide_sphere(&ground.terrain, centre, radius, point, normal, &depth))
            continue;
        contacts++;
        ASSERT_TRUE(std::isfinite(depth) && depth > 0);
        ASSERT_TRUE(std::isfinite(point[0] + point[1] + point[2]));
        EXPECT_GE(normal[1], 0.0f);
        EXPECT_NEAR(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2], 1, 1e-5);
    }
    EXPECT_GT(contacts, 100);
}

TEST_F(BodyWorld, TerrainSphereJointsOnlyWithABody)
{
    dBodyID body = make_body(50, 0.4, 50);
    float centre[3] = {50, 0.4f, 50}, axis[3] = {1, 0, 0}, high[3] = {50, 3, 50};
    EXPECT_EQ(terrain_contact_sphere(&ground.terrain, high, 0.5f, 1, 1, axis, body), 0);
    EXPECT_EQ(group_joint_count(), 0);
    EXPECT_EQ(terrain_contact_sphere(&ground.terrain, centre, 0.5f, 1, 1, axis, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 0);
    EXPECT_EQ(terrain_contact_sphere(&ground.terrain, centre, 0.5f, 1, 0.5f, axis, body), 1);
    EXPECT_EQ(group_joint_count(), 1);
    float up[3] = {0, 1, 0};   // no friction direction along the normal
    EXPECT_EQ(terrain_contact_sphere(&ground.terrain, centre, 0.5f, 1, 0.5f, up, body), 1);
    EXPECT_EQ(group_joint_count(), 2);
    empty_contact_group();
    EXPECT_EQ(group_joint_count(), 0);
}

TEST_F(BodyWorld, AShapeRestsOnTheGroundWithOneJointPerTouchingSphere)
{
    // Three spheres below the body's centre, one reaching 0.1 less far
    // down: it touches only once the others have sunk in.
    CollisionShape *copy = shape("tripod.shp",
                                 "3\n-1 -1 0  0.5 1 0 0\n1 -1 0.5  0.5 0.5 0 0\n0 -1.1 -1  0.3 0.8 0 0\n");
    dBodyID body = make_body(50, 1.45, 50, 2.0);
    EXPECT_EQ(contact_shape_on_ground(copy, body), 1);
    EXPECT_EQ(group_joint_count(), 2);
    empty_contact_group();
    EXPECT_EQ(contact_shape_on_ground(copy, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 0);

    dBodySetPosition(body, 50, 1.3, 50);
    EXPECT_EQ(contact_shape_on_ground(copy, body), 1);
    EXPECT_EQ(group_joint_count(), 3);
    empty_contact_group();

    // Through its contacts it stays up for hundreds of steps.
    double lowest = 1e9;
    for (int tic = 0; tic < 400; tic++) {
        contact_shape_on_ground(copy, body);
        step_physics_world();
        lowest = fmin(lowest, dBodyGetPosition(body)[1]);
    }
    EXPECT_GT(lowest, 1.2);
    EXPECT_NEAR(dBodyGetLinearVel(body)[1], 0.0, 0.05);
    EXPECT_EQ(group_joint_count(), 0);
}

TEST_F(BodyWorld, EachSphereKeepsItsOwnFriction)
{
    // Two spheres side by side across a slope of 1 in 2 share the load: the
    // shape holds when their coefficients average 0.5 or more.
    shape_ground([](float x, float) { return 0.5f * x; });
    struct Case {
        float friction[2];
        bool holds;
    } cases[] = {{{0, 0}, false}, {{0, 3}, true}, {{3, 0}, true}, {{0.4f, 0.4f}, false}};
    int n = 0;
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.friction[0] << " " << k.friction[1]);
        char text[128];
        snprintf(text, sizeof text, "2\n0 -1 -0.6  0.5 %g 0 0\n0 -1 0.6  0.5 %g 0 0\n",
                 k.friction[0], k.friction[1]);
        CollisionShape *copy = shape("pair" + std::to_string(n++) + ".shp", text);
        // So hard to turn that it only slides.
        dBodyID body = make_body(100, 50 + 1 + 0.5 * sqrt(1.25) - 0.01, 100, 1.0);
        dMass mass;
        dMassSetSphereTotal(&mass, 1.0, 1000.0);
        dBodySetMass(body, &mass);
        for (int tic = 0; tic < 64; tic++) {
            contact_shape_on_ground(copy, body);
            step_physics_world();
        }
        const dReal *v = dBodyGetLinearVel(body);
        double speed = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (k.holds)
            EXPECT_LT(speed, 0.3);
        else
            EXPECT_GT(speed, 1.0);   // 1.4 ft/s at 0.4, 7.2 ft/s without friction
    }
}

TEST_F(BodyWorld, PosingTurnsAndMovesTheSourceCentres)
{
    CollisionShape *copy = shape("two.shp", "2\n1 0 0  0.5 1 0 0\n0 2 0  0.25 1 0 0\n");
    dBodyID body = make_body(1, 2, 3);
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 0, 1, 0, M_PI / 2);   // x goes to -z
    dBodySetRotation(body, turn);
    float position[3], rotation[9];
    get_body_pose(body, position, rotation);
    expect_vec(position, 1, 2, 3);
    expect_vec(rotation, 0, 0, 1, 1e-6f);       // first row
    expect_vec(rotation + 6, -1, 0, 0, 1e-6f);  // third row
    for (int twice = 0; twice < 2; twice++) {
        pose_shape(copy, position, rotation);
        EXPECT_NEAR(copy->spheres[0].x, 1, 1e-5);
        EXPECT_NEAR(copy->spheres[0].y, 2, 1e-5);
        EXPECT_NEAR(copy->spheres[0].z, 2, 1e-5);
        EXPECT_NEAR(copy->spheres[1].y, 4, 1e-5);
    }
    // The cached shape is never posed.
    EXPECT_FLOAT_EQ(copy->source->spheres[0].x, 1.0f);
    EXPECT_FLOAT_EQ(copy->source->spheres[0].z, 0.0f);
}

TEST_F(BodyWorld, SpherePairOverlapAndCoincidingCentres)
{
    dBodyID a = make_body(0, 100, 0), b = make_body(5, 100, 0);
    struct Case {
        const char *name;
        ShapeSphere sa, sb;
        int result;
    } cases[] = {
        {"apart", sphere(0, 0, 0, 1), sphere(3, 0, 0, 1), 0},
        {"exactly touching", sphere(0, 0, 0, 1), sphere(2, 0, 0, 1), 0},
        {"0.05 apart, radius 1", sphere(0, 0, 0, 1), sphere(0.05f, 0, 0, 1), 1},
        {"coinciding, one radius 0", sphere(1, 1, 1, 0), sphere(1, 1, 1, 1), 1},
        {"coinciding, both radius 0", sphere(1, 1, 1, 0), sphere(1, 1, 1, 0), 0},
        {"NaN centre", sphere(NAN, 0, 0, 1), sphere(0, 0, 0, 1), 0},
    };
    for (const Case &k : cases)
        for (int mode : {CONTACT_TEST_ONLY, CONTACT_JOINT, CONTACT_SPRING}) {
            SCOPED_TRACE(testing::Message() << k.name << " mode " << mode);
            ContactReadout readout;
            memset(&readout, 0, sizeof readout);
            readout.depth = -7;
            EXPECT_EQ(contact_sphere_pair(&k.sa, a, &k.sb, b, mode, &readout), k.result);
            // None of these makes a joint or a force or fills the read-out.
            EXPECT_EQ(group_joint_count(), 0);
            expect_dvec(dBodyGetForce(a), 0, 0, 0, 0);
            expect_dvec(dBodyGetForce(b), 0, 0, 0, 0);
            EXPECT_EQ(readout.depth, -7.0f);
        }
    // Without bodies an overlap is only reported.
    ShapeSphere s1 = sphere(0, 0, 0, 1), s2 = sphere(1, 0, 0, 1);
    EXPECT_EQ(contact_sphere_pair(&s1, nullptr, &s2, nullptr, CONTACT_JOINT, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 0);
}

TEST_F(BodyWorld, SpherePairReadOut)
{
    dBodyID a = make_body(0, 100, 0);
    dBodySetLinearVel(a, 1, 0, 0);
    dBodySetAngularVel(a, 0, 0, 2);
    ShapeSphere sa = sphere(0, 100, 0, 1), sb = sphere(1.5f, 100, 0, 1);
    ContactReadout readout;
    memset(&readout.feedback, 0x5a, sizeof readout.feedback);
    EXPECT_EQ(contact_sphere_pair(&sa, a, &sb, nullptr, CONTACT_TEST_ONLY, &readout), 1);
    EXPECT_EQ(group_joint_count(), 0);
    EXPECT_NEAR(readout.depth, 0.5f, 1e-6f);
    expect_vec(readout.contact_normal, 1, 0, 0);
    expect_vec(readout.contact_point, 0.75f, 100, 0);   // middle of the overlap
    // A's velocity there: (1, 0, 0) + (0, 0, 2) x (0.75, 0, 0).
    expect_vec(readout.contact_velocity, 1, 1.5f, 0);
    EXPECT_EQ(readout.feedback.f1[0], 0.0);
    EXPECT_EQ(readout.feedback.t2[2], 0.0);
    // Without body A the velocity is zero.
    EXPECT_EQ(contact_sphere_pair(&sa, nullptr, &sb, a, CONTACT_TEST_ONLY, &readout), 1);
    expect_vec(readout.contact_velocity, 0, 0, 0);
}

TEST_F(BodyWorld, SpherePairSurface)
{
    struct Case {
        const char *name;
        ShapeSphere a, b;
        float depth;
        int soft;
        float spring, damper, mu;
    } cases[] = {
        // Both 25000 overlapping by 0.5: the spring force stays at 2500.
        {"stiff", sphere(0, 0, 0, 1, 1, 25000, 2500), sphere(0, 0, 0, 1, 0.7f, 25000, 3000), 0.5f,
         1, 5000, 2500, 0.7f},
        {"the smaller of each", sphere(0, 0, 0, 1, 0.3f, 800, 90), sphere(0, 0, 0, 1, 0.9f, 1200, 60),
         0.1f, 1, 800, 60, 0.3f},
        {"negative counts as 0", sphere(0, 0, 0, 1, -1, -5, 40), sphere(0, 0, 0, 1, 1, 100, 50),
         0.1f, 1, 0, 40, 0},
        {"nothing to soften", sphere(0, 0, 0, 1, 1, 0, 0), sphere(0, 0, 0, 1, 1, 100, -3), 0.1f, 0,
         0, 0, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        dSurfaceParameters s;
        float spring, damper;
        EXPECT_EQ(sphere_pair_surface(&k.a, &k.b, k.depth, &s, &spring, &damper), k.soft);
        EXPECT_FLOAT_EQ(spring, k.spring);
        EXPECT_FLOAT_EQ(damper, k.damper);
        EXPECT_FLOAT_EQ(s.mu, k.mu);
        EXPECT_EQ(s.mode, CONTACT_MODE_SOFT);
        if (!k.soft)
            continue;
        double kp, kd;
        softness_constants(s, &kp, &kd);
        EXPECT_NEAR(kp, k.spring, k.spring * 1e-4 + 1e-6);
        EXPECT_NEAR(kd, k.damper, k.damper * 1e-4 + 1e-6);
    }

    // A pair that cannot be softened is reported but makes no joint.
    dBodyID a = make_body(0, 100, 0);
    ShapeSphere limp = sphere(0, 100, 0, 1, 1, 0, 0), other = sphere(1, 100, 0, 1, 1, 100, 100);
    EXPECT_EQ(contact_sphere_pair(&limp, a, &other, nullptr, CONTACT_JOINT, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 0);
}

TEST_F(BodyWorld, SpringDamperForces)
{
    struct Case {
        const char *name;
        float spring, damper;
        double closing;        // A's speed toward B
        bool b_enabled;
        double force;          // along the normal, on B
    } cases[] = {
        {"spring", 1000, 100, 0, true, 500},
        {"spring and damper", 1000, 100, 2, true, 700},
        {"separating", 1000, 100, -8, true, -300},
        {"capped", 25000, 0, 0, true, 1000},
        {"capped pulling", 1000, 1000, -10, true, -1000},
        {"B disabled", 1000, 100, 0, false, 500},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        dBodyID a = make_body(0, 100, 0), b = make_body(1.5, 100, 0);
        dBodySetLinearVel(a, k.closing, 0, 0);
        if (!k.b_enabled)
            dBodyDisable(b);
        ShapeSphere sa = sphere(0, 100, 0, 1, 1, k.spring, k.damper);
        ShapeSphere sb = sphere(1.5f, 100, 0, 1, 1, k.spring, k.damper);
        EXPECT_EQ(contact_sphere_pair(&sa, a, &sb, b, CONTACT_SPRING, nullptr), 1);
        EXPECT_EQ(group_joint_count(), 0);
        expect_dvec(dBodyGetForce(a), -k.force, 0, 0);
        if (k.b_enabled)
            expect_dvec(dBodyGetForce(b), k.force, 0, 0);
        else
            expect_dvec(dBodyGetForce(b), 0, 0, 0, 0);
        // A disabled A leaves A alone as well.
        dBodySetForce(a, 0, 0, 0);
        dBodyDisable(a);
        dBodyEnable(b);
        dBodySetForce(b, 0, 0, 0);
        EXPECT_EQ(contact_sphere_pair(&sa, a, &sb, b, CONTACT_SPRING, nullptr), 1);
        expect_dvec(dBodyGetForce(a), 0, 0, 0, 0);
        EXPECT_NEAR(dBodyGetForce(b)[0], k.force, 1e-3);
        dBodyEnable(a);
        dBodySetPosition(a, 1000, 1000, 1000);   // out of the way of later cases
        dBodySetPosition(b, 1000, 1000, 1000);
    }
}

TEST_F(BodyWorld, AContactJointPushesTheSpheresApart)
{
    // The normal points from A to B and B is the joint's first body: B is
    // pushed along it, A against it, also when B is static.
    dWorldSetGravity(physics_world, 0, 0, 0);
    dBodyID a = make_body(0, 10, 0), b = make_body(1.8, 10, 0);
    ShapeSphere sa = sphere(0, 10, 0, 1), sb = sphere(1.8f, 10, 0, 1);
    EXPECT_EQ(contact_sphere_pair(&sa, a, &sb, b, CONTACT_JOINT, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 1);
    step_physics_world();
    EXPECT_EQ(group_joint_count(), 0);
    EXPECT_LT(dBodyGetLinearVel(a)[0], -0.1);
    EXPECT_GT(dBodyGetLinearVel(b)[0], 0.1);

    dBodyID c = make_body(10, 10, 0);
    ShapeSphere sc = sphere(10, 10, 0, 1), wall = sphere(11.8f, 10, 0, 1);
    EXPECT_EQ(contact_sphere_pair(&sc, c, &wall, nullptr, CONTACT_JOINT, nullptr), 1);
    step_physics_world();
    EXPECT_LT(dBodyGetLinearVel(c)[0], -0.1);
    // And with A static: B alone is pushed along the normal.
    dBodyID d = make_body(21.8, 10, 0);
    ShapeSphere post = sphere(20, 10, 0, 1), sd = sphere(21.8f, 10, 0, 1);
    EXPECT_EQ(contact_sphere_pair(&post, nullptr, &sd, d, CONTACT_JOINT, nullptr), 1);
    step_physics_world();
    EXPECT_GT(dBodyGetLinearVel(d)[0], 0.1);
}

TEST_F(BodyWorld, HugeSpheresMakeNoJointAndBoundedForces)
{
    dBodyID a = make_body(0, 100, 0), b = make_body(1, 100, 0);
    ShapeSphere big = sphere(0, 100, 0, 1e30f, 1, 1e30f, 1e30f), other = sphere(1, 100, 0, 1e30f);
    EXPECT_EQ(contact_sphere_pair(&big, a, &other, b, CONTACT_JOINT, nullptr), 1);
    EXPECT_EQ(group_joint_count(), 0);
    EXPECT_EQ(contact_sphere_pair(&big, a, &other, b, CONTACT_SPRING, nullptr), 1);
    const dReal *f = dBodyGetForce(b);
    EXPECT_TRUE(std::isfinite(f[0]) && fabs(f[0]) <= 1000.0);
}

TEST_F(BodyWorld, ShapePairs)
{
    CollisionShape *a = shape("a.shp", "2\n0 0 0  1 1 1000 100\n0 3 0  1 1 1000 100\n");
    CollisionShape *b = shape("b.shp", "3\n0 0 0  1 1 1000 100\n0 3 0  1 1 1000 100\n0 9 0  1 1 1000 100\n");
    dBodyID body_a = make_body(0, 50, 0), body_b = make_body(1.5, 50, 0);
    float pa[3] = {0, 50, 0}, pb[3] = {1.5f, 50, 0}, far_away[3] = {30, 50, 0};
    // Bounding spheres apart: nothing is looked at.
    EXPECT_EQ(collide_shape_pair(a, body_a, pa, IDENTITY, b, body_b, far_away, IDENTITY,
                                 CONTACT_JOINT),
              0);
    EXPECT_EQ(collide_shape_pair(a, body_a, pa, IDENTITY, b, body_b, pb, IDENTITY,
                                 CONTACT_TEST_ONLY),
              1);
    EXPECT_EQ(group_joint_count(), 0);
    // Side by side, each sphere of A meets the one of B at its height.
    EXPECT_EQ(collide_shape_pair(a, body_a, pa, IDENTITY, b, body_b, pb, IDENTITY, CONTACT_JOINT),
              1);
    EXPECT_EQ(group_joint_count(), 2);
    empty_contact_group();
    EXPECT_EQ(group_joint_count(), 0);
    // Posed where their bodies are.
    EXPECT_FLOAT_EQ(b->spheres[2].y, 59.0f);
    EXPECT_FLOAT_EQ(b->spheres[2].x, 1.5f);
}

TEST_F(BodyWorld, AWheelAgainstAnObject)
{
    // A post of two spheres; the wheel's tyre meets the lower one.
    CollisionShape *post = shape("post.shp", "2\n0 0 0  0.5 1 1000 100\n0 0.3 0  0.6 1 1000 100\n");
    const float R = 0.8f, r = 0.3f;
    float position[3] = {50, 10, 50 - R - r - 0.4f};
    WheelContact wheel = make_wheel(50, 10, 50);

    // Only the object touches: it fills the wheel's record, deepest sphere.
    memset(&wheel.feedback, 0x5a, sizeof wheel.feedback);
    EXPECT_EQ(collide_wheel_shape(post, nullptr, position, IDENTITY, &wheel, CONTACT_TEST_ONLY), 1);
    EXPECT_GT(wheel.depth, 0.0f);
    // The upper sphere (radius 0.6, 0.3 up) against the ring point nearest it.
    EXPECT_NEAR(wheel.depth, r + 0.6f - (sqrtf(0.3f * 0.3f + 1.5f * 1.5f) - R), 1e-4f);
    EXPECT_LT(wheel.contact_normal[2], 0.0f);   // from the wheel toward the object
    EXPECT_EQ(wheel.feedback.f1[1], 0.0);
    EXPECT_EQ(group_joint_count(), 0);

    // A wheel already on the ground keeps its ground record.
    wheel.depth = 0.02f;
    wheel.contact_normal[0] = 0;
    wheel.contact_normal[1] = 1;
    wheel.contact_normal[2] = 0;
    EXPECT_EQ(collide_wheel_shape(post, nullptr, position, IDENTITY, &wheel, CONTACT_JOINT), 1);
    EXPECT_EQ(wheel.depth, 0.02f);
    EXPECT_EQ(wheel.contact_normal[1], 1.0f);
    EXPECT_EQ(group_joint_count(), 2);   // both spheres touch
    empty_contact_group();

    // Out of reach: nothing.
    float far_away[3] = {50, 10, 40};
    wheel.depth = 0;
    EXPECT_EQ(collide_wheel_shape(post, nullptr, far_away, IDENTITY, &wheel, CONTACT_JOINT), 0);
    EXPECT_EQ(wheel.depth, 0.0f);
    EXPECT_EQ(group_joint_count(), 0);
}
