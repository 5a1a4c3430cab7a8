// The height field: sampling on both diagonals and outside the grid, face
// and sample normals, ground bases, the height setter's dirty bits and
// digging.
#include "track/terrain.h"

#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

// Heights that differ at every corner, so each triangle has its own plane.
static float bumpy(int column, int row)
{
    return (float)((column * 7 + row * 13) % 11) + 0.5f * (float)((column * row) % 3);
}

TEST(TerrainSample, InterpolatesOnTheParityTriangleOfEachCell)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f, bumpy);
    Terrain *t = &m.terrain;
    // Reference: the plane through the three corners of the triangle that
    // holds the point; cells of equal parity split along (0,0)-(1,1).
    auto plane = [&](float x, float z) {
        float fx = x / 2.0f, fz = z / 2.0f;
        int cx = (int)floorf(fx), cz = (int)floorf(fz);
        float u = fx - cx, v = fz - cz;
        float h00 = m.at(cx, cz), h10 = m.at(cx + 1, cz), h01 = m.at(cx, cz + 1), h11 = m.at(cx + 1, cz + 1);
        if ((cx ^ cz) & 1)   // diagonal (1,0)-(0,1)
            return u + v <= 1 ? h00 + (h10 - h00) * u + (h01 - h00) * v
                              : h11 + (h01 - h11) * (1 - u) + (h10 - h11) * (1 - v);
        return u >= v ? h00 + (h10 - h00) * u + (h11 - h10) * v : h00 + (h11 - h01) * u + (h01 - h00) * v;
    };
    struct Case {
        float x, z;
    } cases[] = {
        {2.5f, 4.4f},   // cell (1,2): different parity, lower triangle
        {3.7f, 5.9f},   // cell (1,2): upper triangle
        {4.6f, 4.2f},   // cell (2,2): same parity, below the diagonal
        {4.2f, 5.6f},   // cell (2,2): above the diagonal
        {10.0f, 20.0f}, // a sample point
        {7.5f, 100.25f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.z);
        EXPECT_NEAR(sample_ground_height(t, c.x, c.z), plane(c.x, c.z), 1e-4);
    }
}

TEST(TerrainSample, PointOnTheDiagonalUsesTheFirstTriangle)
{
    // Cell (1,0) has different parity: its diagonal runs (2,0)-(1,1). With a
    // crease along it, only the first triangle's plane gives this height.
    MemoryTerrain m(FIXTURE_EXPONENT, 1.0f);
    m.at(1, 0) = 0.0f;
    m.at(2, 0) = 4.0f;
    m.at(1, 1) = 8.0f;
    m.at(2, 1) = 100.0f;
    EXPECT_FLOAT_EQ(sample_ground_height(&m.terrain, 1.5f, 0.5f), 6.0f);
    // A tiny step past the diagonal enters the other triangle.
    EXPECT_GT(sample_ground_height(&m.terrain, 1.51f, 0.51f), 6.5f);
}

TEST(TerrainSample, OutsideTheGridTakesTheEdgeValues)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f, bumpy);
    Terrain *t = &m.terrain;
    float extent = t->extent;
    int last = t->side - 1;
    EXPECT_FLOAT_EQ(sample_ground_height(t, -50.0f, -3.0f), m.at(0, 0));
    EXPECT_FLOAT_EQ(sample_ground_height(t, extent + 40.0f, extent + 1.0f), m.at(last, last));
    // Beyond one edge the height follows the edge column along the other axis.
    EXPECT_NEAR(sample_ground_height(t, -7.0f, 9.0f), (m.at(0, 4) + m.at(0, 5)) / 2, 1e-5);
    EXPECT_NEAR(sample_ground_height(t, -1e30f, 9.0f), (m.at(0, 4) + m.at(0, 5)) / 2, 1e-5);
    EXPECT_FLOAT_EQ(sample_ground_height(t, NAN, NAN), m.at(0, 0));
}

TEST(TerrainNormal, FaceNormalIsTheUpwardCrossProductOfTheTriangle)
{
    // A plane h = 0.5 x + 0.25 z: every face has the normal (-0.5, 1, -0.25) x cell^2.
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f, [](int c, int r) { return 0.5f * 2 * c + 0.25f * 2 * r; });
    for (float x : {2.5f, 3.7f, 4.6f, 4.2f})
        for (float z : {4.4f, 5.9f}) {
            float n[3];
            get_terrain_face_normal(&m.terrain, x, z, n);
            EXPECT_NEAR(n[0], -0.5f * 4, 1e-4);
            EXPECT_NEAR(n[1], 4.0f, 1e-4);
            EXPECT_NEAR(n[2], -0.25f * 4, 1e-4);
            float sample[3];
            get_terrain_normal(&m.terrain, (int)(x / 2), (int)(z / 2), sample);
            float length = sqrtf(0.25f + 1 + 0.0625f);
            EXPECT_NEAR(sample[0], -0.5f / length, 1e-5);
            EXPECT_NEAR(sample[1], 1.0f / length, 1e-5);
        }
}

TEST(TerrainNormal, SampleNormalAveragesTheFacesAroundIt)
{
    // A single raised sample on flat ground: its neighbours lean away from it.
    MemoryTerrain m(FIXTURE_EXPONENT, 1.0f);
    m.at(10, 10) = 1.0f;
    float n[3];
    get_terrain_normal(&m.terrain, 10, 10, n);
    EXPECT_NEAR(n[1], 1.0f, 1e-6);   // symmetric around the peak
    get_terrain_normal(&m.terrain, 11, 10, n);
    EXPECT_GT(n[0], 0.1f);
    EXPECT_NEAR(n[2], 0.0f, 1e-6);
    get_terrain_normal(&m.terrain, 10, 9, n);
    EXPECT_LT(n[2], -0.1f);
    // Stale face normals are recomputed after an edit.
    set_terrain_height(&m.terrain, 10, 10, 0.0f);
    get_terrain_normal(&m.terrain, 11, 10, n);
    EXPECT_NEAR(n[0], 0.0f, 1e-6);
}

TEST(TerrainNormal, NormalTexelOfANormalThatIsNotANumberIsFlat)
{
    // Heights are kept finite; should one not be, its texel is flat rather
    // than a float-to-integer conversion out of range.
    MemoryTerrain m;
    m.at(10, 10) = NAN;
    uint8_t texel[3];
    compute_normal_texel(&m.terrain, 10, 10, texel);
    EXPECT_EQ(texel[0], 128);
    EXPECT_EQ(texel[1], 255);
    EXPECT_EQ(texel[2], 128);
}

TEST(TerrainBasis, YawLimitsAndGroundAlignment)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f, [](int c, int) { return 1.0f * 2 * c; });   // slope 1 in x
    current_terrain = &m.terrain;
    float b[9];
    compute_ground_basis(b, 20.0f, 20.0f, 3.25f);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(b[i], identity[i]);
    // -7 is past -2 pi: upright, turned by the yaw about y.
    compute_ground_basis(b, 20.0f, 20.0f, -7.0f);
    EXPECT_NEAR(b[1 * 3 + 1], 1.0f, 1e-6);   // column 1 is the up axis
    EXPECT_NEAR(b[0 * 3 + 0], cosf(-7.0f), 1e-6);
    EXPECT_NEAR(b[2 * 3 + 0], -sinf(-7.0f), 1e-6);
    // On the slope the up column is the ground normal (-1, 1, 0)/sqrt 2.
    compute_ground_basis(b, 20.0f, 20.0f, 0.0f);
    EXPECT_NEAR(b[0 * 3 + 1], -0.70710678f, 1e-5);
    EXPECT_NEAR(b[1 * 3 + 1], 0.70710678f, 1e-5);
    EXPECT_NEAR(b[2 * 3 + 1], 0.0f, 1e-5);
    current_terrain = nullptr;
}

static int dirty_triangles(const MemoryTerrain &m)
{
    int count = 0, triangles = 2 * (m.terrain.side - 1) * (m.terrain.side - 1);
    for (int i = 0; i < triangles; i++)
        count += terrain_bit(m.terrain.triangle_dirty, i);
    return count;
}

TEST(TerrainSetHeight, MarksNeighboursAndIgnoresOutsideAndLocked)
{
    MemoryTerrain m;
    std::fill(m.triangle_dirty.begin(), m.triangle_dirty.end(), 0u);
    Terrain *t = &m.terrain;
    EXPECT_EQ(set_terrain_height(t, -1, 0, 5.0f), 0);
    EXPECT_EQ(set_terrain_height(t, 0, t->side, 5.0f), 0);
    EXPECT_EQ(t->change_state, 0);
    t->edit_lock = 1;
    EXPECT_EQ(set_terrain_height(t, 3, 3, 5.0f), 0);
    EXPECT_EQ(m.at(3, 3), 0.0f);
    t->edit_lock = 0;
    // Heights that are not numbers or lie beyond the coordinate limit.
    for (float height : {NAN, INFINITY, -INFINITY, 2 * TERRAIN_COORDINATE_LIMIT, -2 * TERRAIN_COORDINATE_LIMIT}) {
        EXPECT_EQ(set_terrain_height(t, 3, 3, height), 0) << height;
        EXPECT_EQ(m.at(3, 3), 0.0f);
    }
    EXPECT_EQ(t->change_state, 0);
    EXPECT_EQ(set_terrain_height(t, 3, 3, -TERRAIN_COORDINATE_LIMIT), 1);
    EXPECT_EQ(set_terrain_height(t, 3, 3, 0.0f), 1);
    t->change_state = 0;
    t->min_height = 0.0f;
    std::fill(m.shading_dirty.begin(), m.shading_dirty.end(), 0u);
    std::fill(m.triangle_dirty.begin(), m.triangle_dirty.end(), 0u);

    EXPECT_EQ(set_terrain_height(t, 5, 7, -3.0f), 1);
    EXPECT_EQ(t->change_state, 7);
    EXPECT_EQ(t->min_height, -3.0f);
    for (int row = 5; row <= 9; row++)
        for (int column = 3; column <= 7; column++) {
            bool inside = row >= 6 && row <= 8 && column >= 4 && column <= 6;
            EXPECT_EQ(terrain_bit(t->shading_dirty, row * t->side + column), inside ? 1 : 0);
        }
    // Rows 6..7 of cells, triangle columns 8..11: 8 triangles.
    EXPECT_EQ(dirty_triangles(m), 8);
    int per_row = 2 * (t->side - 1);
    EXPECT_EQ(terrain_bit(t->triangle_dirty, 6 * per_row + 8), 1);
    EXPECT_EQ(terrain_bit(t->triangle_dirty, 7 * per_row + 11), 1);

    // The corner clamps to the grid.
    std::fill(m.triangle_dirty.begin(), m.triangle_dirty.end(), 0u);
    set_terrain_height(t, 0, 0, 1.0f);
    EXPECT_EQ(dirty_triangles(m), 2);
}

TEST(TerrainDig, AmountZeroAndNotANumberChangeNothing)
{
    MemoryTerrain m;
    for (float amount : {0.0f, NAN, INFINITY}) {
        EXPECT_EQ(terrain_dig(&m.terrain, 20.0f, 20.0f, 3.0f, amount), 0.0f);
        EXPECT_EQ(m.terrain.change_counter, 1);
    }
    EXPECT_EQ(terrain_dig(&m.terrain, NAN, 20.0f, 3.0f, 1.0f), 0.0f);
    EXPECT_EQ(terrain_dig(&m.terrain, 20.0f, 20.0f, NAN, 1.0f), 0.0f);
    for (float h : m.heights)
        ASSERT_EQ(h, 0.0f);
}

TEST(TerrainDig, SmallRadiusTouchesTwoByTwoSamples)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 2.0f);
    // Radius 1.5 ft with cells of 2 ft: R = 1; samples (5..6, 7..8) around (10.4, 14.6).
    float sum = terrain_dig(&m.terrain, 10.4f, 14.6f, 1.5f, -1.0f);
    int changed = 0;
    float total = 0.0f;
    for (int row = 0; row < m.terrain.side; row++)
        for (int column = 0; column < m.terrain.side; column++)
            if (m.at(column, row) != 0.0f) {
                changed++;
                total += m.at(column, row);
                EXPECT_TRUE(column >= 5 && column <= 6 && row >= 7 && row <= 8) << column << "," << row;
            }
    EXPECT_GE(changed, 1);
    EXPECT_LE(changed, 4);
    EXPECT_FLOAT_EQ(sum, total);
    EXPECT_EQ(m.terrain.change_counter, 2);
    // The weight falls smoothly: the nearest sample (5, 7) at distance 0.36 cells.
    float d = sqrtf(0.2f * 0.2f + 0.3f * 0.3f) / 0.75f;
    EXPECT_NEAR(m.at(5, 7), -(2 * d * d * d - 3 * d * d + 1), 1e-5);
}

TEST(TerrainDig, CountsOnlySamplesReallyChanged)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 1.0f);
    // Centred on the corner: three quarters of the footprint lie off the grid.
    float corner = terrain_dig(&m.terrain, 0.0f, 0.0f, 3.0f, 1.0f);
    float total = 0.0f;
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++)
            total += m.at(column, row);
    EXPECT_FLOAT_EQ(corner, total);
    // Under the edit lock nothing changes and nothing is counted.
    m.terrain.edit_lock = 1;
    int counter = m.terrain.change_counter;
    EXPECT_EQ(terrain_dig(&m.terrain, 50.0f, 50.0f, 3.0f, 1.0f), 0.0f);
    EXPECT_EQ(m.terrain.change_counter, counter);
    // A dig wholly outside the grid changes nothing either.
    m.terrain.edit_lock = 0;
    EXPECT_EQ(terrain_dig(&m.terrain, -100.0f, 50.0f, 3.0f, 1.0f), 0.0f);
    EXPECT_EQ(m.terrain.change_counter, counter);

    // High ground: a change lost to rounding is no change and is not counted;
    // what is returned is the change really stored.
    MemoryTerrain high(FIXTURE_EXPONENT, 1.0f, [](int, int) { return 100000.0f; });
    EXPECT_EQ(terrain_dig(&high.terrain, 50.0f, 50.0f, 3.0f, 1e-4f), 0.0f);
    EXPECT_EQ(high.terrain.change_counter, 1);
    EXPECT_EQ(high.terrain.change_state, 0);
    float sum = terrain_dig(&high.terrain, 50.0f, 50.0f, 3.0f, -0.01f);
    double stored = 0.0;
    for (int i = 0; i < high.terrain.side * high.terrain.side; i++)
        stored += high.heights[i] - 100000.0;
    EXPECT_FLOAT_EQ(sum, (float)stored);
    EXPECT_EQ(high.terrain.change_counter, 2);
}

TEST(TerrainDig, MarksTheLowDetailTexturesItTouched)
{
    MemoryTerrain m(8, 1.0f);   // 513 samples: 2 x 2 low-detail textures of 384 cells
    std::vector<uint32_t> dirty(1, 0);
    m.terrain.texture_mode = 2;
    m.terrain.low_detail_dirty = dirty.data();
    terrain_dig(&m.terrain, 100.0f, 100.0f, 3.0f, 1.0f);
    EXPECT_EQ(dirty[0], 1u);   // only texture (0, 0)
    terrain_dig(&m.terrain, 384.0f, 100.0f, 3.0f, 1.0f);
    EXPECT_EQ(dirty[0], 3u);   // the footprint straddles x = 384
}

TEST(TerrainDig, SpreadWithTinyRadiusAppliesTheFullWeights)
{
    MemoryTerrain m(FIXTURE_EXPONENT, 1.0f);
    // Radius 0.1 cell: only a sample within 0.1 of the point has weight; the
    // sum is below 1, so it is raised to 1 and the amount applies unscaled.
    terrain_dig_spread(&m.terrain, 5.05f, 5.0f, 0.1f, 2.0f);
    float t = 0.05f / 0.1f;
    EXPECT_NEAR(m.at(5, 5), 2.0f * (2 * t * t * t - 3 * t * t + 1), 1e-5);
    // A wide spread deposits the amount in total.
    MemoryTerrain w(FIXTURE_EXPONENT, 1.0f);
    terrain_dig_spread(&w.terrain, 50.3f, 60.7f, 4.0f, 3.0f);
    float total = 0.0f;
    for (float h : w.heights)   // the loaded heights behind them stay 0
        total += h;
    EXPECT_NEAR(total, 3.0f, 1e-4);
}
