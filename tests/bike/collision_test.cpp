// Collision primitives: ring points, lines and planes, the wheel against one
// triangle in every case of the full and the fast test, and a sphere
// against one triangle.
#include "bike/collision.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float EDGE_TOUCH = 1.0f / 1048576.0f;

void expect_vec(const float *v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

bool finite3(const float *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// A large horizontal triangle at height y around the origin (normal up).
struct Ground {
    float p0[3], p1[3], p2[3];
    explicit Ground(float y)
        : p0{-100, y, -100}, p1{-100, y, 300}, p2{300, y, -100}
    {
    }
};

const float UPRIGHT[3] = {1, 0, 0};   // axle across, ring in the y-z plane

}  // namespace

TEST(NearestRingPoint, OffTheAxisItIsTheRadialDirection)
{
    float c[3] = {1, 2, 3}, a[3] = {2, 0, 0}, q[3] = {7, 2, 7}, out[3];
    nearest_ring_point(c, a, 2.0f, q, out);
    expect_vec(out, 1, 2, 5);   // (6, 0, 4) without its axial part is along z
}

TEST(NearestRingPoint, OnTheAxisTheFirstBoxDirectionWithRoomWins)
{
    // k = 1 (R,0,0), 2 (0,R,0), 3 (R,R,0), 4 (0,0,R): the first whose part
    // across the axis is long enough gives the direction.
    struct Case {
        float axis[3];
        float direction[3];
    } cases[] = {
        {{0, 1, 0}, {1, 0, 0}},                       // (R,0,0) already across
        {{1, 0, 0}, {0, 1, 0}},                       // (R,0,0) lies on the axis
        {{1, 1, 0}, {0.707107f, -0.707107f, 0}},      // (R,0,0) less its axial half
        {{0, 0, 5}, {1, 0, 0}},
    };
    const float R = 0.5f, c[3] = {10, 20, 30};
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << k.axis[0] << "," << k.axis[1] << "," << k.axis[2]);
        float q[3] = {c[0] + 3 * k.axis[0], c[1] + 3 * k.axis[1], c[2] + 3 * k.axis[2]}, out[3];
        nearest_ring_point(c, k.axis, R, q, out);
        expect_vec(out, c[0] + R * k.direction[0], c[1] + R * k.direction[1],
                   c[2] + R * k.direction[2]);
    }
}

TEST(NearestRingPoint, WithoutAUsableDirectionTheResultStaysFinite)
{
    const float c[3] = {1, 2, 3};
    float nan_axis[3] = {NAN, 0, 0}, zero_axis[3] = {0, 0, 0}, axis[3] = {1, 0, 0}, out[3];
    // A NaN axis would never give a direction: the search still ends.
    nearest_ring_point(c, nan_axis, 1.0f, c, out);
    EXPECT_TRUE(finite3(out));
    // A zero radius: every direction is too short; the centre is the ring.
    nearest_ring_point(c, axis, 0.0f, c, out);
    expect_vec(out, 1, 2, 3);
    // A zero axis removes nothing.
    float q[3] = {1, 2, 5};
    nearest_ring_point(c, zero_axis, 1.0f, q, out);
    expect_vec(out, 1, 2, 4);
}

TEST(AxialDistanceAndLinePlane, DistancesAndParallelLines)
{
    float o[3] = {0, 1, 0}, d[3] = {0, 3, 0}, q[3] = {5, -1, 2}, zero[3] = {0, 0, 0};
    EXPECT_FLOAT_EQ(axial_distance(o, d, q), 2.0f);
    EXPECT_EQ(axial_distance(o, zero, q), 0.0f);

    float line_o[3] = {1, 5, 1}, down[3] = {0, -2, 0}, p0[3] = {7, 1, 7}, up[3] = {0, 1, 0}, out[3];
    EXPECT_EQ(intersect_line_plane(line_o, down, p0, up, out), 1);
    expect_vec(out, 1, 1, 1);
    // Parallel: 0 and the line's own point.
    float along[3] = {1, 0, 0};
    EXPECT_EQ(intersect_line_plane(line_o, along, p0, up, out), 0);
    expect_vec(out, 1, 5, 1);
    // Nearly parallel so that the parameter overflows: treated as parallel.
    float grazing[3] = {1, 1e-38f, 0};
    float far_plane[3] = {0, -1e30f, 0};
    EXPECT_EQ(intersect_line_plane(line_o, grazing, far_plane, up, out), 0);
    expect_vec(out, 1, 5, 1);
}

TEST(WheelTriangle, FaceCrossingAndBuriedCases)
{
    const float R = 0.8f, r = 0.3f;
    Ground ground(0.0f);
    struct Case {
        const char *name;
        float height;        // of the wheel centre
        float depth;
        float point_y;
    } cases[] = {
        // Ring above the plane by 0.2: the tyre reaches 0.1 into it.
        {"face", R + 0.2f, r - 0.2f, -0.1f},
        // Lowest ring point 0.1 below the plane: tyre plus that.
        {"crossing", R - 0.1f, r + 0.1f, -0.1f - r},
        // The whole ring below, centre over the triangle: 2R straight up.
        {"buried", -R - 0.5f, 2 * R, -0.5f - 2 * R},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        float c[3] = {0, k.height, 0}, point[3], normal[3];
        float depth = collide_wheel_triangle(c, UPRIGHT, R, r, ground.p0, ground.p1, ground.p2,
                                             point, normal);
        EXPECT_NEAR(depth, k.depth, 1e-5f);
        expect_vec(normal, 0, 1, 0);
        expect_vec(point, 0, k.point_y, 0);
        // The fast test agrees wherever no boundary search is needed.
        float fast_point[3], fast_normal[3];
        EXPECT_NEAR(touch_wheel_triangle(c, UPRIGHT, R, r, ground.p0, ground.p1, ground.p2,
                                         fast_point, fast_normal),
                    k.depth, 1e-5f);
    }
}

TEST(WheelTriangle, AnEdgePiercingTheDiscGivesTheTyreLessATouch)
{
    // Ring at the origin crosses the plane y = -0.5; the triangle lies at
    // z >= 0.3, and its edge along x at z = 0.3 pierces the disc.
    const float R = 1.0f, r = 0.25f;
    float p0[3] = {-5, -0.5f, 0.3f}, p1[3] = {-5, -0.5f, 10}, p2[3] = {5, -0.5f, 0.3f};
    float c[3] = {0, 0, 0}, point[3], normal[3];
    float depth = collide_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal);
    EXPECT_FLOAT_EQ(depth, r - EDGE_TOUCH);
    // Across the edge and the ring's tangent at the piercing point.
    float s = 1.0f / sqrtf(34.0f);
    expect_vec(normal, 0, 5 * s, -3 * s);
    float q = 1.0f / sqrtf(0.34f);
    expect_vec(point, 0, -0.5f * q - r * 5 * s, 0.3f * q + r * 3 * s);
}

TEST(WheelTriangle, ACornerBesideTheWheelIsMeasuredToTheDisc)
{
    // The triangle lies entirely beside the ring's plane (x >= 0.2) with a
    // corner 0.2 from the disc; the ring crosses its plane.
    const float R = 1.0f, r = 0.3f;
    float p0[3] = {0.2f, -0.9f, 0}, p1[3] = {1.2f, -0.9f, 0.5f}, p2[3] = {1.2f, -0.9f, -0.5f};
    float c[3] = {0, 0, 0}, point[3], normal[3];
    float depth = collide_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal);
    EXPECT_NEAR(depth, r - 0.2f, 1e-5f);
    expect_vec(point, 0.2f, -0.9f, 0);
    expect_vec(normal, -1, 0, 0);   // along the axle, away from the corner

    // The same triangle on the other side of the wheel.
    float q0[3] = {-0.2f, -0.9f, 0}, q1[3] = {-1.2f, -0.9f, -0.5f}, q2[3] = {-1.2f, -0.9f, 0.5f};
    depth = collide_wheel_triangle(c, UPRIGHT, R, r, q0, q1, q2, point, normal);
    EXPECT_NEAR(depth, r - 0.2f, 1e-5f);
    expect_vec(normal, 1, 0, 0);

    // The fast test leaves the boundary search out.
    EXPECT_EQ(touch_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal), 0.0f);
}

TEST(WheelTriangle, AnEdgeThroughTheRingTakesTheNormalAcrossIt)
{
    // Horizontal triangle through the centre whose diagonal edge passes
    // through the ring point (0, 0, 1); the foot of the centre lies outside.
    const float R = 1.0f, r = 0.3f;
    float p0[3] = {-1, 0, 0}, p1[3] = {-1, 0, 2}, p2[3] = {1, 0, 2};
    float c[3] = {0, 0, 0}, point[3], normal[3];
    float depth = collide_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal);
    EXPECT_NEAR(depth, r, 1e-4f);
    float s = sqrtf(0.5f);
    expect_vec(normal, s, 0, -s, 1e-4f);
    expect_vec(point, r * -s, 0, 1 + r * s, 1e-4f);
    EXPECT_EQ(touch_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal), 0.0f);
}

TEST(WheelTriangle, BelowButBesideTheTriangleIsNotBuried)
{
    // The whole ring is below the plane but the centre is outside the
    // triangle's footprint: only the boundary search can say.
    const float R = 0.8f, r = 0.3f;
    float p0[3] = {2, 5, -1}, p1[3] = {2, 5, 1}, p2[3] = {4, 5, -1};
    float c[3] = {0, 0, 0}, point[3], normal[3];
    float depth = collide_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal);
    EXPECT_LE(depth, 0.0f) << "no contact, not buried";
    EXPECT_EQ(touch_wheel_triangle(c, UPRIGHT, R, r, p0, p1, p2, point, normal), 0.0f);
}

TEST(WheelTriangle, AWheelLyingFlatTakesItsDirectionFromTheTriangle)
{
    // Axle along the normal: the ring has no lowest point; it reaches R
    // down against the normal.
    const float R = 0.8f, r = 0.3f;
    Ground ground(0.0f);
    float axle[3] = {0, 2, 0}, c[3] = {3, 1.0f, 4}, point[3], normal[3];
    float depth = collide_wheel_triangle(c, axle, R, r, ground.p0, ground.p1, ground.p2, point,
                                         normal);
    EXPECT_NEAR(depth, R + r - 1.0f, 1e-5f);
    expect_vec(normal, 0, 1, 0);
    EXPECT_TRUE(finite3(point));
}

TEST(WheelTriangle, HostileInputGivesNoContact)
{
    const float R = 0.8f, r = 0.3f;
    Ground ground(0.0f);
    float point[3], normal[3];
    float nan_axle[3] = {NAN, 0, 0}, zero_axle[3] = {0, 0, 0};
    float c[3] = {0, 0.5f, 0}, nan_centre[3] = {NAN, 0.5f, 0};
    EXPECT_EQ(collide_wheel_triangle(c, nan_axle, R, r, ground.p0, ground.p1, ground.p2, point,
                                     normal),
              0.0f);
    EXPECT_EQ(collide_wheel_triangle(nan_centre, UPRIGHT, R, r, ground.p0, ground.p1, ground.p2,
                                     point, normal),
              0.0f);
    // A zero axle has no plane; whatever it gives is finite.
    float depth = collide_wheel_triangle(c, zero_axle, R, r, ground.p0, ground.p1, ground.p2,
                                         point, normal);
    EXPECT_TRUE(std::isfinite(depth));
    // A triangle without area.
    float q[3] = {1, 0, 1};
    EXPECT_EQ(collide_wheel_triangle(c, UPRIGHT, R, r, q, q, q, point, normal), 0.0f);
    // Coordinates so large that their products overflow.
    float huge0[3] = {-3e38f, 0, -3e38f}, huge1[3] = {-3e38f, 0, 3e38f}, huge2[3] = {3e38f, 0, -3e38f};
    depth = collide_wheel_triangle(c, UPRIGHT, R, r, huge0, huge1, huge2, point, normal);
    EXPECT_EQ(depth, 0.0f);
}

TEST(RingTriangleDistance, TheNearestOfEdgesAndCornersWins)
{
    // An edge passing 0.5 outside the ring's lowest point, parallel to the
    // axle, against a far corner: the edge wins with the normal toward the
    // ring.
    const float R = 1.0f, r = 0.3f;
    float p0[3] = {-3, -1.5f, 0}, p1[3] = {-3, -1.5f, 3}, p2[3] = {3, -1.5f, 0};
    float N[3] = {0, 1, 0}, c[3] = {0, 0, 0}, point[3], normal[3];
    float distance = ring_triangle_distance(c, UPRIGHT, R, r, p0, p1, p2, N, point, normal);
    EXPECT_NEAR(distance, 0.5f, 1e-3f);
    EXPECT_NEAR(point[0], 0.0f, 0.05f);
    EXPECT_NEAR(point[1], -1.5f, 1e-5f);
    EXPECT_NEAR(point[2], 0.0f, 1e-5f);
    EXPECT_GT(normal[1], 0.0f);   // unscaled, from the edge toward the ring
    EXPECT_NEAR(normal[0], 0.0f, 0.05f);
}

TEST(SphereTriangle, FaceEdgeCornerAndBelow)
{
    // Triangle in y = 0: (0,0,0), (0,0,4), (4,0,0); normal up.
    float p0[3] = {0, 0, 0}, p1[3] = {0, 0, 4}, p2[3] = {4, 0, 0};
    const float d = sqrtf(0.5f);
    struct Case {
        const char *name;
        float centre[3];
        float radius;
        float depth;
        float normal[3];
        float point[3];
    } cases[] = {
        {"resting on the face", {1, 0.4f, 1}, 0.5f, 0.1f, {0, 1, 0}, {1, -0.1f, 1}},
        {"below the face, within 2 radii", {1, -0.4f, 1}, 0.5f, 0.9f, {0, 1, 0}, {1, -0.9f, 1}},
        {"buried under the face", {1, -2, 1}, 0.5f, 2.5f, {0, 1, 0}, {1, -2, 1}},
        {"outside edge 0", {-0.3f, 0, 1}, 0.5f, 0.2f, {-1, 0, 0}, {0.2f, 0, 1}},
        // No edge's projection in range: the nearest corner, (4, 0, 0).
        {"past a corner", {4.3f, 0, -0.4f}, 0.6f, 0.1f, {0.6f, 0, -0.8f}, {3.94f, 0, 0.08f}},
        // Edges are taken in order: the projection onto edge 1 is in range,
        // so it is used although corner 0 is nearer.
        {"first edge in range", {-0.3f, 0, -0.4f}, 0.5f, 0.5f - 2.35f * sqrtf(2.0f), {-d, 0, -d},
         {-0.3f + 0.5f * d, 0, -0.4f + 0.5f * d}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        float point[3], normal[3];
        float depth = collide_sphere_triangle(k.centre, k.radius, p0, p1, p2, point, normal);
        EXPECT_NEAR(depth, k.depth, 1e-5f);
        expect_vec(normal, k.normal[0], k.normal[1], k.normal[2]);
        expect_vec(point, k.point[0], k.point[1], k.point[2]);
    }
}

TEST(SphereTriangle, FarBelowASteepFaceButBesideItsFootprintIsNoContact)
{
    // A steep triangle: a centre far behind its face is inside it along the
    // normal but outside it seen from above.
    float p0[3] = {0, 0, 0}, p1[3] = {0, 0, 1}, p2[3] = {0.1f, 1, 0};
    float point[3], normal[3];
    float centre[3] = {5, 0, 0.2f};
    EXPECT_EQ(collide_sphere_triangle(centre, 0.5f, p0, p1, p2, point, normal), 0.0f);
}

TEST(SphereTriangle, ACentreOnACornerTakesTheTriangleNormal)
{
    // A centre exactly on corner 0 is on the boundary: rounding puts it
    // inside (the face case) or just outside edge 2, where edge 0's point at
    // t = 0 is the centre itself and gives no direction. Either way: depth
    // of the radius along the triangle's normal. Many small triangles of
    // awkward coordinates reach both paths.
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (float)((seed >> 8) & 0xffff) / 6553.6f - 5.0f;
    };
    for (int n = 0; n < 200; n++) {
        float t[3][3];
        for (auto &corner : t)
            for (float &v : corner)
                v = next();
        float e1[3] = {t[1][0] - t[0][0], t[1][1] - t[0][1], t[1][2] - t[0][2]};
        float e2[3] = {t[2][0] - t[0][0], t[2][1] - t[0][1], t[2][2] - t[0][2]};
        float N[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                      e1[0] * e2[1] - e1[1] * e2[0]};
        float length = sqrtf(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
        if (!(length > 1e-3f))
            continue;
        SCOPED_TRACE(n);
        float point[3], normal[3];
        float depth = collide_sphere_triangle(t[0], 0.25f, t[0], t[1], t[2], point, normal);
        ASSERT_NEAR(depth, 0.25f, 1e-5f);
        expect_vec(normal, N[0] / length, N[1] / length, N[2] / length, 1e-4f);
    }
}

TEST(SphereTriangle, HostileInputGivesNoContact)
{
    float p0[3] = {0, 0, 0}, p1[3] = {0, 0, 4}, p2[3] = {4, 0, 0}, point[3], normal[3];
    float nan_centre[3] = {NAN, 0, 1};
    EXPECT_EQ(collide_sphere_triangle(nan_centre, 1.0f, p0, p1, p2, point, normal), 0.0f);
    float centre[3] = {1, 0, 1};
    EXPECT_EQ(collide_sphere_triangle(centre, NAN, p0, p1, p2, point, normal), 0.0f);
    EXPECT_EQ(collide_sphere_triangle(centre, 1.0f, p0, p0, p2, point, normal), 0.0f);
}

TEST(WheelTriangle, TheBoundaryShortcutNeverHidesAContact)
{
    // Wheels and triangles scattered around each other: whenever the full
    // test reports no contact, the boundary search itself finds none.
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (float)(seed >> 8) / 16777216.0f * 2.0f - 1.0f;
    };
    const float R = 0.8f, r = 0.33f;
    int checked = 0;
    for (int i = 0; i < 20000; i++) {
        float c[3] = {next() * 2, next() * 2, next() * 2};
        float a[3] = {next(), next() * 0.3f, next()};
        float p0[3] = {next() * 2, next() * 0.5f, next() * 2};
        float p1[3] = {next() * 2, next() * 0.5f, next() * 2};
        float p2[3] = {next() * 2, next() * 0.5f, next() * 2};
        float point[3], normal[3];
        float full = collide_wheel_triangle(c, a, R, r, p0, p1, p2, point, normal);
        if (full > 0.0f)
            continue;
        float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float N[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                      e1[0] * e2[1] - e1[1] * e2[0]};
        float direct = r - ring_triangle_distance(c, a, R, r, p0, p1, p2, N, point, normal);
        EXPECT_LE(direct, 1e-4f) << i;
        checked++;
    }
    EXPECT_GT(checked, 1000);
}
