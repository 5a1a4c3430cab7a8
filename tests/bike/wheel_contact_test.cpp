// Wheel contacts against the terrain: the cell walk and its limits, the
// cell triangles, both wheel searches, the physics contact with tile
// friction, softness, friction direction and rolling resistance, and a
// wheel resting and sliding on the ground through its contacts.
#include "bike/wheel_contact.h"

#include "bike/collision.h"
#include "race/race_state.h"
#include "tests/bike/contact_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float R = 0.8f, r = 0.3f;

void expect_vec(const float *v, float x, float y, float z, float tolerance = 1e-4f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

bool finite3(const dReal *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

TEST_F(ContactWorld, TheWalkCoversTheSquareAndNeverMoreThanTheLimit)
{
    Terrain &t = ground.terrain;   // 2 ft cells
    struct Case {
        const char *name;
        float x, z, half;
        int ok;
        int first_column, last_column;   // checked when ok
    } cases[] = {
        {"wheel-sized", 11.0f, 11.0f, 1.1f, 1, 4, 6},
        {"on cell lines", 10.0f, 10.0f, 2.0f, 1, 4, 5},
        {"negative half-width", 11.0f, 11.0f, -1.0f, 0, 0, 0},
        {"NaN centre", NAN, 11.0f, 1.0f, 0, 0, 0},
        {"NaN half-width", 11.0f, 11.0f, NAN, 0, 0, 0},
        {"huge half-width", 101.0f, 101.0f, 1e9f, 1, 50 - 31, 50 + 32},
        {"infinite half-width", 101.0f, 101.0f, INFINITY, 1, 50 - 31, 50 + 32},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        TerrainWalk walk;
        ASSERT_EQ(get_terrain_walk(&t, k.x, k.z, k.half, &walk), k.ok);
        if (!k.ok)
            continue;
        EXPECT_EQ(walk.first_column, k.first_column);
        EXPECT_EQ(walk.last_column, k.last_column);
        EXPECT_EQ(walk.first_row, k.first_column);
        EXPECT_EQ(walk.last_row, k.last_column);
    }

    // Far away or tiny cells: indices stay in range, at most 64 a side.
    TerrainWalk walk;
    ASSERT_EQ(get_terrain_walk(&t, 3e38f, -3e38f, 1.0f, &walk), 1);
    EXPECT_LE(walk.last_column - walk.first_column + 1, TERRAIN_WALK_LIMIT);
    EXPECT_GE(walk.first_column, 0);
    EXPECT_LE(walk.last_row, 0);
    t.cell = 1e-6f;
    ASSERT_EQ(get_terrain_walk(&t, 5.0f, 5.0f, 1.0f, &walk), 1);
    EXPECT_EQ(walk.last_column - walk.first_column + 1, TERRAIN_WALK_LIMIT);
    EXPECT_EQ(walk.last_row - walk.first_row + 1, TERRAIN_WALK_LIMIT);
    for (float bad : {0.0f, -2.0f, NAN, INFINITY}) {
        t.cell = bad;
        EXPECT_EQ(get_terrain_walk(&t, 5.0f, 5.0f, 1.0f, &walk), 0) << bad;
    }
}

TEST_F(ContactWorld, CellTrianglesFollowTheTerrainSplitAndPointUp)
{
    // Uneven heights: the triangle under each point must give the height
    // that the terrain's own sampling gives there.
    shape_ground([](float x, float z) { return sinf(x * 0.37f) * 3.0f + cosf(z * 0.21f) * 2.0f; });
    const Terrain &t = ground.terrain;
    unsigned seed = 7;
    for (int n = 0; n < 400; n++) {
        seed = seed * 1664525u + 1013904223u;
        float x = 1.0f + (float)(seed >> 8) / (float)(1 << 24) * 500.0f;
        seed = seed * 1664525u + 1013904223u;
        float z = 1.0f + (float)(seed >> 8) / (float)(1 << 24) * 500.0f;
        int column = (int)floorf(x / t.cell), row = (int)floorf(z / t.cell);
        float tri[2][3][3];
        get_cell_triangles(&t, column, row, tri);
        int found = 0;
        for (auto &p : tri) {
            // Barycentric weights in the x-z plane.
            float ax = p[1][0] - p[0][0], az = p[1][2] - p[0][2];
            float bx = p[2][0] - p[0][0], bz = p[2][2] - p[0][2];
            float det = ax * bz - az * bx;
            float u = ((x - p[0][0]) * bz - (z - p[0][2]) * bx) / det;
            float v = (ax * (z - p[0][2]) - az * (x - p[0][0])) / det;
            if (u < -1e-5f || v < -1e-5f || u + v > 1 + 1e-5f)
                continue;
            found = 1;
            float y = p[0][1] + u * (p[1][1] - p[0][1]) + v * (p[2][1] - p[0][1]);
            EXPECT_NEAR(y, sample_ground_height(&t, x, z), 1e-3f) << x << " " << z;
            break;
        }
        EXPECT_TRUE(found);
    }
    // Normals point up in every parity, inside and past the grid.
    for (int column : {-3, -2, 0, 1, 127, 255, 256, 300})
        for (int row : {-1, 0, 3, 256, 257}) {
            float tri[2][3][3];
            get_cell_triangles(&t, column, row, tri);
            for (auto &p : tri) {
                float e1z = p[1][2] - p[0][2], e1x = p[1][0] - p[0][0];
                float e2z = p[2][2] - p[0][2], e2x = p[2][0] - p[0][0];
                EXPECT_GT(e1z * e2x - e1x * e2z, 0.0f) << column << " " << row;
            }
        }
}

TEST(ContactNormal, DownwardNormalsAreLaidFlatOrTurnedUp)
{
    struct Case {
        float in[3];
        float out[3];
    } cases[] = {
        {{3, 4, 0}, {0.6f, 0.8f, 0}},
        {{0.5f, -1, 0}, {1, 0, 0}},             // laid flat
        {{0.01f, -1, 0.01f}, {0, 1, 0}},        // almost straight down
        {{0, 0, 0}, {0, 1, 0}},
        {{NAN, 1, 0}, {0, 1, 0}},
        {{3e38f, 3e38f, 0}, {0, 1, 0}},         // too long to measure
    };
    for (const Case &k : cases) {
        float n[3] = {k.in[0], k.in[1], k.in[2]};
        clean_contact_normal(n);
        expect_vec(n, k.out[0], k.out[1], k.out[2], 1e-6f);
    }
}

TEST_F(ContactWorld, BothSearchesFindTheGroundInsideAndPastTheGrid)
{
    // The grid's last column stands at 3 ft, its first row corner at -2 ft:
    // past the edges the ground continues at those heights.
    int side = ground.terrain.side;
    for (int row = 0; row < side; row++)
        height(side - 1, row) = 3.0f;
    height(0, 0) = -2.0f;
    struct Case {
        const char *name;
        float x, ground_y, z;
    } cases[] = {
        {"inside", 101.0f, 0.0f, 99.0f},
        {"past the far edge", 512.0f + 40.0f, 3.0f, 200.0f},
        {"past the near corner", -30.0f, -2.0f, -25.0f},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        WheelContact wheel = make_wheel(k.x, k.ground_y + R + r - 0.05f, k.z);
        float point[3], normal[3], depth;
        ASSERT_EQ(terrain_collide_wheel(&ground.terrain, &wheel, point, normal, &depth), 1);
        EXPECT_NEAR(depth, 0.05f, 1e-4f);
        expect_vec(normal, 0, 1, 0);
        expect_vec(point, k.x, k.ground_y - 0.05f, k.z);
        ASSERT_EQ(terrain_touch_wheel(&ground.terrain, &wheel, point, normal, &depth), 1);
        EXPECT_NEAR(depth, 0.05f, 1e-4f);
        expect_vec(normal, 0, 1, 0);
    }
}

TEST_F(ContactWorld, OnASlopeTheNormalIsTheSlopes)
{
    shape_ground([](float x, float) { return 0.5f * x; });
    WheelContact wheel = make_wheel(100.0, 50.0 + R + 0.1, 100.0);
    float point[3], normal[3], depth;
    ASSERT_EQ(terrain_collide_wheel(&ground.terrain, &wheel, point, normal, &depth), 1);
    float s = 1.0f / sqrtf(1.25f);
    expect_vec(normal, -0.5f * s, s, 0);
    // The lowest ring point (100, 50.1, 100) stands 0.1 s above the plane.
    EXPECT_NEAR(depth, r - 0.1f * s, 1e-4f);
}

TEST_F(ContactWorld, AWheelInTheAirTouchesNothingAndMakesNothing)
{
    WheelContact wheel = make_wheel(100.0, R + r + 0.01, 100.0);
    float point[3] = {7, 7, 7}, normal[3] = {7, 7, 7}, depth = 7;
    EXPECT_EQ(terrain_collide_wheel(&ground.terrain, &wheel, point, normal, &depth), 0);
    EXPECT_EQ(terrain_touch_wheel(&ground.terrain, &wheel, point, normal, &depth), 0);
    expect_vec(point, 7, 7, 7);
    EXPECT_EQ(depth, 7.0f);

    set_roll_points(&tile0(), {{1, 5, 15}});
    dBodySetLinearVel(wheel.body, 3, 0, 4);
    wheel.depth = 0.5f;
    wheel.contact_point[0] = 9;
    EXPECT_EQ(terrain_contact_wheel(&ground.terrain, &wheel, 1.0f), 0);
    EXPECT_EQ(wheel.depth, 0.0f);
    EXPECT_EQ(wheel.contact_point[0], 9.0f);   // the rest keeps its values
    EXPECT_EQ(group_joint_count(), 0);
    const dReal *force = dBodyGetForce(wheel.body);
    EXPECT_EQ(force[0], 0.0);
    EXPECT_EQ(force[2], 0.0);
}

TEST_F(ContactWorld, SoftnessFollowsTheTyreCompression)
{
    struct Case {
        float depth;
        double kp, kd;
    } cases[] = {
        {1e-4f, 1000, 200},                 // barely touching
        {0.5f * r, 1000 + 24000 * 0.125, 200 + 2300 * 0.125},
        {r, 25000, 2500},                   // a full tyre radius
        {r + 0.2f, 25000, 2500},            // and beyond
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.depth);
        WheelContact wheel = make_wheel(100.0, R + r - k.depth, 100.0);
        dContact contact;
        float compression;
        ASSERT_EQ(fill_wheel_contact(&ground.terrain, &wheel, 1.0f, &contact, &compression), 1);
        double kp, kd;
        softness_constants(contact.surface, &kp, &kd);
        EXPECT_NEAR(kp, k.kp, k.kp * 1e-3);
        EXPECT_NEAR(kd, k.kd, k.kd * 1e-3);
        EXPECT_NEAR(contact.geom.depth, k.depth, 1e-4);
        EXPECT_NEAR(contact.geom.normal[1], 1.0, 1e-6);
    }
}

TEST_F(ContactWorld, FrictionComesFromTheTileTimesTheGrip)
{
    // One used friction point: that coefficient at every speed.
    set_friction_points(&tile0(), {{1.0f, 1.3f}});
    for (double speed : {0.0, 0.5, 7.0, 300.0})
        for (float grip : {1.0f, 0.625f}) {
            SCOPED_TRACE(testing::Message() << speed << " " << grip);
            WheelContact wheel = make_wheel(100.0, R + r - 0.05, 100.0);
            dBodySetLinearVel(wheel.body, 0, 0, speed);
            dContact contact;
            float compression;
            ASSERT_EQ(fill_wheel_contact(&ground.terrain, &wheel, grip, &contact, &compression), 1);
            EXPECT_NEAR(contact.surface.mu, 1.3 * grip, 1e-6);
        }
}

TEST(TileFriction, LookupBetweenPoints)
{
    TileInfo tile;
    memset(&tile, 0, sizeof tile);
    set_friction_points(&tile, {{0, 0.8f}, {10, 1.2f}, {20, 1.0f}});
    struct Case {
        int slip_function;
        float speed;
        float mu;
    } cases[] = {
        {1, -1.0f, 0.8f},        // below the first point
        {1, 0.0f, 0.8f},
        {1, 5.0f, 1.0f},         // linear in speed
        {1, 15.0f, 1.1f},
        {1, 25.0f, 1.0f},        // past the last used point
        {0, 5.0f, 0.9f},         // linear in squared speed: 25/100 of the way
        {0, 15.0f, 1.2f - 0.2f * 125.0f / 300.0f},
        {0, -5.0f, 0.9f},        // the sign does not matter squared
        {2, 5.0f, 1.0f},
        {1, NAN, 1.0f},          // no point is passed: the last used one
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.slip_function << " " << k.speed);
        tile.slip_function = k.slip_function;
        EXPECT_NEAR(lookup_tile_friction(&tile, k.speed), k.mu, 1e-5f);
    }
    // All eight points used: past the last, its coefficient.
    tile.slip_function = 1;
    std::vector<std::pair<float, float>> eight;
    for (int i = 0; i < 8; i++)
        eight.push_back({(float)i, 0.1f * i});
    set_friction_points(&tile, eight);
    EXPECT_NEAR(lookup_tile_friction(&tile, 100.0f), 0.7f, 1e-6f);
    EXPECT_NEAR(lookup_tile_friction(&tile, 2.5f), 0.25f, 1e-6f);
}

TEST(TileFriction, RollingResistanceLookup)
{
    TileInfo tile;
    memset(&tile, 0, sizeof tile);
    set_roll_points(&tile, {{1, 5, 15}, {4, 10, 30}});
    struct Case {
        float speed, light, full;
    } cases[] = {
        {0.5f, 5, 15}, {1.0f, 5, 15}, {2.5f, 7.5f, 22.5f}, {4.0f, 10, 30}, {40.0f, 10, 30},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.speed);
        float light, full;
        lookup_roll_resist(&tile, k.speed, &light, &full);
        EXPECT_NEAR(light, k.light, 1e-5f);
        EXPECT_NEAR(full, k.full, 1e-5f);
    }
}

TEST_F(ContactWorld, TheFrictionLookupSpeedOfRollingSlip)
{
    // slip_function 2 uses the ground speed along the slip, within the
    // slip's own size; a slip below 1/16 ft/s is used as it is.
    TileInfo &tile = tile0();
    tile.slip_function = 2;
    const double arm = R + r;   // centre to contact point, 0.05 into the ground
    struct Case {
        const char *name;
        double velocity_z, spin_x, turn_z;   // body velocity, spin about the axle and about z
        float speed;
    } cases[] = {
        {"locked and sliding", 10, 0, 0, 10},
        {"spinning in place", 0, 20, 0, 0},
        {"slow slip", 0.03, 0, 0, 0.03f},
        // Rolling while leaning: the slip is the lean's sweep, 3 x 1.1.
        {"rolling and leaning", 10, 10 / arm, 3, 3.3f},
        // Spinning a little too fast: ground speed 10 against a slip of
        // 0.5, cut to the slip.
        {"spinning up", 10, 10.5 / arm, 0, -0.5f},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        WheelContact wheel = make_wheel(100.0, R + r - 0.05, 100.0);
        dBodySetLinearVel(wheel.body, 0, 0, k.velocity_z);
        dBodySetAngularVel(wheel.body, k.spin_x, 0, k.turn_z);
        dContact contact;
        float compression;
        ASSERT_EQ(fill_wheel_contact(&ground.terrain, &wheel, 1.0f, &contact, &compression), 1);
        EXPECT_NEAR(wheel_friction_speed(&tile, &wheel), k.speed, 2e-3f);
    }
    // Other slip functions use the slip's size.
    tile.slip_function = 1;
    WheelContact wheel = make_wheel(100.0, R + r - 0.05, 100.0);
    wheel.contact_velocity[0] = 3;
    wheel.contact_velocity[2] = 4;
    EXPECT_FLOAT_EQ(wheel_friction_speed(&tile, &wheel), 5.0f);
}

TEST_F(ContactWorld, FrictionRunsAlongTheSlipOrAcrossTheAxle)
{
    struct Case {
        const char *name;
        double vx, vz;
        float fdir[3];
    } cases[] = {
        // n x v for a slip along z: (0,1,0) x (0,0,1) = (1,0,0).
        {"sliding forward", 0, 5, {1, 0, 0}},
        {"sliding sideways", 5, 0, {0, 0, -1}},
        // A slip too slow for a direction: n x axle = (0,1,0) x (1,0,0).
        {"standing", 0, 0.01, {0, 0, -1}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        WheelContact wheel = make_wheel(100.0, R + r - 0.05, 100.0);
        dBodySetLinearVel(wheel.body, k.vx, 0, k.vz);
        dContact contact;
        float compression;
        ASSERT_EQ(fill_wheel_contact(&ground.terrain, &wheel, 1.0f, &contact, &compression), 1);
        EXPECT_EQ(contact.surface.mode, CONTACT_MODE_SOFT_FDIR);
        EXPECT_NEAR(contact.fdir1[0], k.fdir[0], 1e-6);
        EXPECT_NEAR(contact.fdir1[1], k.fdir[1], 1e-6);
        EXPECT_NEAR(contact.fdir1[2], k.fdir[2], 1e-6);
    }
    // An axle along the normal and no slip: no direction, so none is set.
    WheelContact wheel = make_wheel(100.0, R + r - 0.05, 100.0);
    wheel.axle[0] = 0;
    wheel.axle[1] = 1;
    dContact contact;
    float compression;
    ASSERT_EQ(fill_wheel_contact(&ground.terrain, &wheel, 1.0f, &contact, &compression), 1);
    EXPECT_EQ(contact.surface.mode, CONTACT_MODE_SOFT);
}

TEST_F(ContactWorld, RollingResistanceIsProportionalUpToOneFootPerSecond)
{
    set_roll_points(&tile0(), {{1, 5, 15}, {4, 10, 30}});
    struct Case {
        double vx, vy, vz;
        float light, full;   // the coefficients at the ground speed
        double scale;        // force per unit of ground velocity
    } cases[] = {
        {0, -2, 0.5, 5, 15, 1.0},           // the vertical part does not count
        {0.3, 0, -0.4, 5, 15, 1.0},
        {0, 0, 2.5, 7.5f, 22.5f, 1 / 2.5},  // above 1 ft/s: magnitude K
        {3, 0, 4, 10, 30, 1 / 5.0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.vx << " " << k.vz);
        WheelContact wheel = make_wheel(100.0, R + r - 0.1, 100.0);
        dBodySetLinearVel(wheel.body, k.vx, k.vy, k.vz);
        ASSERT_EQ(terrain_contact_wheel(&ground.terrain, &wheel, 1.0f), 1);
        double c = 0.1 / r;
        double K = k.light + (k.full - k.light) * c;
        const dReal *force = dBodyGetForce(wheel.body);
        EXPECT_NEAR(force[0], -K * k.vx * k.scale, 1e-3);
        EXPECT_NEAR(force[1], 0.0, 1e-6);
        EXPECT_NEAR(force[2], -K * k.vz * k.scale, 1e-3);
        empty_contact_group();
    }
}

TEST_F(ContactWorld, AWheelRestsOnTheGroundAndItsFeedbackCarriesItsWeight)
{
    WheelContact wheel = make_wheel(100.0, R + r + 0.02, 100.0);
    dMass mass;
    dBodyGetMass(wheel.body, &mass);
    double lowest = 1e9;
    for (int tic = 0; tic < 400; tic++) {
        EXPECT_LE(terrain_contact_wheel(&ground.terrain, &wheel, 1.0f), 1);
        EXPECT_LE(group_joint_count(), 1);
        step_physics_world();
        ASSERT_EQ(group_joint_count(), 0);
        lowest = fmin(lowest, dBodyGetPosition(wheel.body)[1]);
    }
    const dReal *p = dBodyGetPosition(wheel.body);
    EXPECT_GT(lowest, R + r - 0.1);
    EXPECT_LT(p[1], R + r);
    EXPECT_NEAR(p[0], 100.0, 1e-3);
    EXPECT_NEAR(dBodyGetLinearVel(wheel.body)[1], 0.0, 0.05);
    // The ground holds the wheel up with its weight, through the joint's
    // feedback on the wheel.
    EXPECT_NEAR(wheel.feedback.f1[1], mass.mass * 32.0, mass.mass * 32.0 * 0.05);
}

TEST_F(ContactWorld, TileFrictionSlowsASlidingWheel)
{
    // A wheel sliding along its axle (so it cannot roll) loses mu g of
    // speed each second; the grip factor scales mu.
    struct Case {
        float friction, grip;
        double speed_after;   // from 10 ft/s after a quarter second
    } cases[] = {{0.0f, 1.0f, 10.0}, {1.0f, 1.0f, 2.0}, {1.0f, 0.5f, 6.0}};
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.friction << " " << k.grip);
        set_friction_points(&tile0(), {{1.0f, k.friction}});
        WheelContact wheel = make_wheel(100.0, R + r - 0.02, 100.0);
        for (int tic = 0; tic < 64; tic++) {
            terrain_contact_wheel(&ground.terrain, &wheel, k.grip);
            step_physics_world();
        }
        // Kept upright and from turning, so that the contact slides all the
        // while.
        dMatrix3 upright;
        dRSetIdentity(upright);
        dBodySetLinearVel(wheel.body, 10, 0, 0);
        for (int tic = 0; tic < 32; tic++) {
            dBodySetRotation(wheel.body, upright);
            dBodySetAngularVel(wheel.body, 0, 0, 0);
            terrain_contact_wheel(&ground.terrain, &wheel, k.grip);
            step_physics_world();
        }
        EXPECT_NEAR(dBodyGetLinearVel(wheel.body)[0], k.speed_after, 0.3);
    }
}

TEST_F(ContactWorld, HostileWheelsStayFinite)
{
    // Tiny cells under a huge wheel, positions that are not numbers or far
    // away, axles without a length: no contact, or a finite one.
    ground.terrain.cell = 1e-4f;
    struct Case {
        const char *name;
        double x, y, z;
        float rim, tyre;
        float axle[3];
    } cases[] = {
        {"huge wheel on tiny cells", 0.01, 0.5, 0.01, 1000.0f, 0.3f, {1, 0, 0}},
        {"NaN position", NAN, 0.5, 0.01, 0.8f, 0.3f, {1, 0, 0}},
        {"infinite position", INFINITY, 0.5, 0.01, 0.8f, 0.3f, {1, 0, 0}},
        {"far away", 1e30, 0.5, -1e30, 0.8f, 0.3f, {1, 0, 0}},
        {"no axle", 0.01, 0.5, 0.01, 0.8f, 0.3f, {0, 0, 0}},
        {"NaN axle", 0.01, 0.5, 0.01, 0.8f, 0.3f, {NAN, 0, 0}},
        {"flat on the ground", 0.01, 0.2, 0.01, 0.8f, 0.3f, {0, 1, 0}},
        {"no tyre", 0.01, 0.5, 0.01, 0.8f, 0.0f, {1, 0, 0}},
        {"infinite rim", 0.01, 0.5, 0.01, INFINITY, 0.3f, {1, 0, 0}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        WheelContact wheel = make_wheel(0, 0, 0, k.rim, k.tyre);
        dBodySetPosition(wheel.body, k.x, k.y, k.z);
        memcpy(wheel.axle, k.axle, sizeof wheel.axle);
        dBodySetLinearVel(wheel.body, 1, 0, 1);
        float point[3], normal[3], depth;
        if (terrain_touch_wheel(&ground.terrain, &wheel, point, normal, &depth)) {
            EXPECT_TRUE(std::isfinite(depth) && depth > 0);
            EXPECT_TRUE(std::isfinite(point[0] + point[1] + point[2]));
            EXPECT_NEAR(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2], 1, 1e-5);
        }
        int touched = terrain_contact_wheel(&ground.terrain, &wheel, 1.0f);
        if (touched) {
            EXPECT_TRUE(std::isfinite(wheel.depth) && wheel.depth > 0);
            EXPECT_GE(wheel.contact_normal[1], 0.0f);
        } else {
            EXPECT_EQ(wheel.depth, 0.0f);
        }
        EXPECT_LE(group_joint_count(), touched);
        EXPECT_TRUE(finite3(dBodyGetForce(wheel.body)));
        empty_contact_group();
        EXPECT_EQ(group_joint_count(), 0);
    }
}
