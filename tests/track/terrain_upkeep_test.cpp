// Terrain upkeep for the drawing code: the budgeted level-of-detail error
// pass, stale blocks and level textures, block ages, the low-detail upload
// with its compositing, and the shading and normal texels of edited samples.
#include "track/terrain.h"

#include "app/track_settings.h"
#include "platform/work_pool.h"
#include "render/render_settings.h"
#include "track/lighting.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

// A memory terrain with the error arrays of the level-of-detail pass.
struct LodTerrain : MemoryTerrain {
    std::vector<float> errors, errors_next;
    explicit LodTerrain(const std::function<float(int, int)> &height, float tolerance = 1.0f)
        : MemoryTerrain(FIXTURE_EXPONENT, 1.0f, height)
    {
        int nodes = terrain_lod_node_count(FIXTURE_EXPONENT);
        errors.assign(nodes, 0.0f);
        errors_next.assign(nodes, 0.0f);
        terrain.lod_error = errors.data();
        terrain.lod_error_next = errors_next.data();
        terrain.lod_tolerance = tolerance;
    }
    float error(int level, int column, int row) const
    {
        return terrain.lod_error[((1 << (2 * level)) - 1) / 3 + (row << level) + column];
    }
};

static float rolling(int column, int row)
{
    return 3.0f * sinf(column * 0.21f) * cosf(row * 0.17f) + (float)((column * row) % 5) * 0.1f;
}

TEST(TerrainLod, BudgetedPassResumesToTheSameErrors)
{
    LodTerrain whole(rolling), parts(rolling);
    ASSERT_EQ(run_lod_error_pass(&whole.terrain, 2147483647), 1);
    int calls = 1;
    while (!run_lod_error_pass(&parts.terrain, 8000))
        calls++;
    EXPECT_GT(calls, 10);
    int nodes = terrain_lod_node_count(FIXTURE_EXPONENT);
    for (int i = 0; i < nodes; i++)
        ASSERT_EQ(parts.terrain.lod_error[i], whole.terrain.lod_error[i]) << i;
    // Every coarser node's error is at least that of each of its children.
    for (int level = 0; level < FIXTURE_EXPONENT; level++)
        for (int row = 0; row < (1 << level); row++)
            for (int column = 0; column < (1 << level); column++)
                for (int child = 0; child < 4; child++)
                    ASSERT_GE(whole.error(level, column, row),
                              whole.error(level + 1, 2 * column + (child & 1), 2 * row + (child >> 1)));

    // Done at this change counter: nothing to do even without budget.
    EXPECT_EQ(run_lod_error_pass(&whole.terrain, 0), 1);
    // After a change the pass starts over and keeps the old errors until done.
    whole.terrain.change_counter++;
    const float *before = whole.terrain.lod_error;
    EXPECT_EQ(run_lod_error_pass(&whole.terrain, 0), 0);
    EXPECT_EQ(whole.terrain.lod_error, before);
    EXPECT_EQ(run_lod_error_pass(&whole.terrain, 2147483647), 1);
    EXPECT_NE(whole.terrain.lod_error, before);
}

// The pass written plainly from its rules: every sample of every node half
// against the half's plane, then the neighbour and child terms.
static std::vector<float> plain_lod_errors(const Terrain *t)
{
    int n = t->grid_exponent;
    std::vector<float> errors(terrain_lod_node_count(n), 0.0f);
    auto at = [&](int level, int column, int row) -> float & {
        return errors[((1 << (2 * level)) - 1) / 3 + (row << level) + column];
    };
    auto height = [&](int column, int row) { return t->heights[row * t->side + column]; };
    for (int level = n; level >= 0; level--) {
        int count = 1 << level, size = 2 << (n - level);
        for (int k = 0; k < count; k++)
            for (int j = 0; j < count; j++) {
                float dev = 0.0f;
                for (int half = 0; half < 2; half++) {
                    // Right-angle corner and legs, diagonal by the parity of j and k.
                    int x0 = j * size, z0 = k * size, rx, rz, lx, lz;
                    if ((j ^ k) & 1) {
                        rx = half ? x0 + size : x0, rz = half ? z0 + size : z0;
                        lx = lz = half ? -size : size;
                    } else {
                        rx = half ? x0 + size : x0, rz = half ? z0 : z0 + size;
                        lx = half ? -size : size, lz = -lx;
                    }
                    float hr = height(rx, rz);
                    float gx = (height(rx + lx, rz) - hr) / (float)lx;
                    float gz = (height(rx, rz + lz) - hr) / (float)lz;
                    for (int a = 0; a <= size; a++)
                        for (int b = 0; a + b <= size; b++) {
                            int column = rx + (lx > 0 ? b : -b), row = rz + (lz > 0 ? a : -a);
                            float plane = hr + gx * (float)(column - rx) + gz * (float)(row - rz);
                            dev = std::max(dev, fabsf(height(column, row) - plane));
                        }
                }
                float e = dev / t->lod_tolerance + t->extent * 0.70710678f * ldexpf(1.0f, -level);
                float error = e * e;
                if (level < n) {
                    static const int border[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1},
                                                     {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
                    float m = 0.0f;
                    for (const auto &o : border) {
                        int column = 2 * j + o[0], row = 2 * k + o[1];
                        if (column >= 0 && row >= 0 && column < 2 * count && row < 2 * count)
                            m = std::max(m, at(level + 1, column, row));
                    }
                    float b = sqrtf(m) + t->extent * ldexpf(1.0f, -(level + 1)) * 3.1622777f * 0.50048828125f;
                    error = std::max(error, b * b);
                    for (int c = 0; c < 4; c++)
                        error = std::max(error, at(level + 1, 2 * j + (c & 1), 2 * k + (c >> 1)));
                }
                at(level, j, k) = error;
            }
    }
    return errors;
}

// Heights that differ from sample to sample by a hash: the largest deviation
// of a node can be at any sample, the ends of rows included.
static float hashed(int column, int row)
{
    uint32_t v = (uint32_t)column * 73856093u ^ (uint32_t)row * 19349663u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return (float)(v % 100000u) * 0.0137f - 400.0f;
}

TEST(TerrainLod, ErrorsEqualThePlainPassBitForBit)
{
    struct Case {
        const char *name;
        std::function<float(int, int)> height;
        float tolerance;
    } cases[] = {
        {"rolling", rolling, 1.0f},
        {"hashed", hashed, 0.3f},
        {"spike at the last column", [](int column, int row) { return column == FIXTURE_SIDE - 1 && row == 77 ? 9.0f : 0.0f; }, 1.0f},
        {"spike at the first column", [](int column, int row) { return column == 0 && row == 130 ? -9.0f : 0.0f; }, 1.0f},
        {"spike ending a row of four", [](int column, int row) { return column == 11 && row == 200 ? 5.0f : 0.0f; }, 2.0f},
        {"ramp with steps", [](int column, int row) { return (float)(column / 3) * 0.7f - (float)(row % 7) * 0.3f; }, 1.0f},
    };
    int nodes = terrain_lod_node_count(FIXTURE_EXPONENT);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LodTerrain parts(c.height, c.tolerance);
        std::vector<float> plain = plain_lod_errors(&parts.terrain);
        // Odd budgets stop inside halves and rows of every level.
        while (!run_lod_error_pass(&parts.terrain, 977)) {
        }
        for (int i = 0; i < nodes; i++)
            ASSERT_EQ(memcmp(&parts.terrain.lod_error[i], &plain[i], sizeof(float)), 0) << i;
        // The largest budget short of the whole pass walks whole halves on
        // the caller (the plain path) and ends in a call or two.
        int below = 0, above = 2147483647;
        while (above - below > 1) {
            int middle = below + (above - below) / 2;
            (lod_pass_runs_whole(FIXTURE_EXPONENT, middle) ? above : below) = middle;
        }
        LodTerrain plain_path(c.height, c.tolerance);
        int calls = 1;
        while (!run_lod_error_pass(&plain_path.terrain, below))
            calls++;
        EXPECT_LE(calls, 2);
        for (int i = 0; i < nodes; i++)
            ASSERT_EQ(memcmp(&plain_path.terrain.lod_error[i], &plain[i], sizeof(float)), 0) << i;
        // The whole pass runs on the work pool, whatever its helpers, and
        // leaves the pass state as the budgeted one does.
        for (int helpers = 0; helpers <= WORK_POOL_THREAD_LIMIT; helpers++) {
            SCOPED_TRACE(testing::Message() << helpers << " helpers");
            set_work_pool_threads(helpers);
            LodTerrain whole(c.height, c.tolerance);
            ASSERT_EQ(run_lod_error_pass(&whole.terrain, 2147483647), 1);
            for (int i = 0; i < nodes; i++)
                ASSERT_EQ(memcmp(&whole.terrain.lod_error[i], &plain[i], sizeof(float)), 0)
                    << i << ": " << whole.terrain.lod_error[i] << " vs " << plain[i];
            EXPECT_EQ(memcmp(&whole.terrain.lod_pass, &parts.terrain.lod_pass, sizeof(LodPassState)), 0);
        }
    }
    set_work_pool_threads(default_work_pool_threads());
}

// 2147483647 is the whole pass at every grid size, also where the pass
// costs more units than that (a grid exponent of 13); a real budget, the
// frames' 8000 or one short of the limit, is kept to.
TEST(TerrainLod, TheLimitBudgetRunsWholeAtEveryGridSize)
{
    for (int exponent = 1; exponent <= TERRAIN_MAX_EXPONENT; exponent++) {
        SCOPED_TRACE(exponent);
        EXPECT_EQ(lod_pass_runs_whole(exponent, 2147483647), 1);
        if (exponent >= 5) {
            EXPECT_EQ(lod_pass_runs_whole(exponent, 8000), 0);
        }
    }
    EXPECT_EQ(lod_pass_runs_whole(12, 2147483646), 1);
    EXPECT_EQ(lod_pass_runs_whole(TERRAIN_MAX_EXPONENT, 2147483646), 0);
}

TEST(TerrainLod, NodeErrorsFromDeviationHalfDiagonalAndNeighbours)
{
    // Flat ground with one sample raised 10 ft in the middle of the level-7
    // node (10, 10); tolerance 1, extent 256.
    LodTerrain m([](int column, int row) { return column == 21 && row == 21 ? 10.0f : 0.0f; });
    ASSERT_EQ(run_lod_error_pass(&m.terrain, 2147483647), 1);
    float extent = 256.0f;
    auto half_diagonal = [&](int level) { return extent * 0.70710678f * ldexpf(1.0f, -level); };
    auto squared = [](float v) { return v * v; };
    float bump = squared(10.0f + half_diagonal(7));
    float border = extent * ldexpf(1.0f, -7) * 3.1622777f * 0.50048828125f;
    struct Case {
        const char *name;
        int level, column, row;
        float error;
    } cases[] = {
        {"finest node holding the bump", 7, 10, 10, bump},
        {"finest flat node", 7, 0, 0, squared(half_diagonal(7))},
        {"finest node beside the bump", 7, 11, 10, squared(half_diagonal(7))},
        {"coarser node holding the bump", 6, 5, 5, squared(10.0f + half_diagonal(6))},
        {"coarser node bordering the bump's node", 6, 4, 5, squared(sqrtf(bump) + border)},
        {"coarser node far away", 6, 40, 40,
         std::max(squared(half_diagonal(6)), squared(half_diagonal(7) + border))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(m.error(c.level, c.column, c.row), c.error, c.error * 1e-5f);
    }
}

// Stale stamps: the 128-cell blocks and the 4 x 4 windows of level textures.
struct StampTerrain : MemoryTerrain {
    std::vector<int> blocks;
    StampTerrain() : MemoryTerrain(FIXTURE_EXPONENT, 1.0f)
    {
        blocks.assign(4, 0);   // 2 x 2 blocks of 128 cells
        blocks[1] = -1;        // not built yet
        terrain.block_stamps = blocks.data();
        terrain.texture_mode = 1;
        terrain.current_stamp = 5;
        terrain.lod_centre_x = terrain.lod_centre_z = 100;
    }
    int stamped_levels() const
    {
        int count = 0;
        for (const auto &level : terrain.level_stamps)
            for (const auto &row : level)
                for (int stamp : row)
                    count += stamp != 0;
        return count;
    }
};

TEST(TerrainStamps, RegionMarksBlocksAndTheLevelWindowsOverIt)
{
    StampTerrain m;
    Terrain *t = &m.terrain;
    EXPECT_EQ(get_oldest_block_age(t), 0);
    t->level_stamps[2][1][1] = 3;   // already stale: keeps its stamp
    // One cell at (97, 97) near the window centre (100, 100): at level i the
    // window starts at node ((100 - 2^i) >> (i + 1)) - 1 and node k covers
    // cells k << (i + 1) .. (k + 1) << (i + 1).
    mark_terrain_region_dirty(t, 97, 97, 97, 97);
    struct Case {
        int level, row, column, stamp;
    } cases[] = {
        {0, 0, 0, 5},   // window from node 48: node 48 covers 96..98
        {1, 1, 1, 5},   // from node 23: node 24 covers 96..100
        {2, 1, 1, 3},   // from node 11: node 12 covers 96..104, stamped before
        {3, 2, 2, 5},   // from node 4: node 6 covers 96..112
        {4, 2, 2, 5},   // from node 1: node 3 covers 96..128
        {5, 1, 1, 5},   // from node 0 (clamped): node 1 covers 64..128
    };
    for (const Case &c : cases)
        EXPECT_EQ(t->level_stamps[c.level][c.row][c.column], c.stamp) << c.level;
    EXPECT_EQ(m.stamped_levels(), 6);
    EXPECT_EQ(m.blocks, (std::vector<int>{5, -1, 0, 0}));

    // Blocks across the middle: the unbuilt one keeps -1.
    mark_terrain_region_dirty(t, 120, 100, 140, 210);
    EXPECT_EQ(m.blocks, (std::vector<int>{5, -1, 5, 5}));
    t->current_stamp = 9;
    EXPECT_EQ(get_oldest_block_age(t), 6);   // the level stamp 3 is the oldest

    // Levels below the first drawn level are left alone; the area form clamps.
    StampTerrain fresh;
    ground_detail_limit = 2;
    mark_terrain_area_dirty(&fresh.terrain, -50, -50, 97, 97);
    EXPECT_EQ(fresh.terrain.level_stamps[0][0][0], 0);
    EXPECT_EQ(fresh.terrain.level_stamps[1][1][1], 0);
    EXPECT_EQ(fresh.terrain.level_stamps[5][1][1], 5);
    EXPECT_EQ(fresh.blocks[0], 5);
    ground_detail_limit = 0;
}

// A 513 x 513 terrain in texture mode 2: 2 x 2 low-detail textures.
struct LowDetailTerrain : MemoryTerrain {
    std::vector<uint8_t> shading, scratch;
    std::vector<uint32_t> low_dirty;
    LowDetailTerrain() : MemoryTerrain(8, 1.0f)
    {
        int side = terrain.side;
        shading.resize((size_t)side * side * 3);
        for (int row = 0; row < side; row++)
            for (int column = 0; column < side; column++) {
                uint8_t *p = &shading[((size_t)row * side + column) * 3];
                p[0] = (uint8_t)(column % 251);
                p[1] = (uint8_t)(row % 251);
                p[2] = 7;
            }
        scratch.resize((size_t)TERRAIN_SCRATCH_SIDE * TERRAIN_SCRATCH_SIDE * 3);
        low_dirty.assign(1, 0);
        terrain.shading = shading.data();
        terrain.scratch_image = scratch.data();
        terrain.low_detail_dirty = low_dirty.data();
        terrain.texture_mode = 2;
        track_lighting.sun_direction[1] = 1.0f;
        for (int i = 0; i < 3; i++) {
            track_lighting.sun_colour[i] = 1.0f;
            track_lighting.ambient[i] = 0.0f;
        }
    }
};

TEST(TerrainLowDetail, UploadTakesTheNextDirtyTextureAndCompositesIt)
{
    LowDetailTerrain m;
    Terrain *t = &m.terrain;
    ASSERT_EQ(terrain_low_detail_count(t), 2);
    terrain_set_bit(t->low_detail_dirty, 1);
    terrain_set_bit(t->low_detail_dirty, 3);
    EXPECT_EQ(count_marked_blocks(t), 2);
    // A stale sample under texture 1 is shaded before it is copied.
    int side = t->side;
    terrain_set_bit(t->shading_dirty, 5 * side + 330);

    ASSERT_EQ(upload_low_detail_texture(t), 1);
    EXPECT_EQ(count_marked_blocks(t), 1);
    EXPECT_EQ(terrain_bit(t->low_detail_dirty, 1), 0);
    EXPECT_EQ(t->low_detail_cursor, 2);
    // Texture (1, 0) starts 64 cells before its square: at cell (320, -64).
    // It is 256 wide (512 - 384 + 128 cells) and 512 high (at most 512).
    const uint8_t *image = m.scratch.data();
    int width = 256;
    struct Case {
        int j, i;
        uint8_t column, row;
    } cases[] = {
        {0, 0, 320 % 251, 0},
        {0, 64, 320 % 251, 0},
        {100, 100, 420 % 251, 36},
        {255, 300, 512 % 251, 236},   // clamped to the last column
    };
    for (const Case &c : cases) {
        const uint8_t *texel = image + ((size_t)c.i * width + c.j) * 3;
        EXPECT_EQ(texel[0], c.column) << c.j << "," << c.i;
        EXPECT_EQ(texel[1], c.row) << c.j << "," << c.i;
    }
    const uint8_t *lit = image + ((size_t)69 * width + 10) * 3;   // sample (330, 5)
    EXPECT_EQ(lit[0], 127);   // half of full sunlight
    EXPECT_EQ(lit[2], 127);
    EXPECT_EQ(terrain_bit(t->shading_dirty, 5 * side + 330), 0);

    ASSERT_EQ(upload_low_detail_texture(t), 1);
    EXPECT_EQ(t->low_detail_cursor, 0);   // wrapped after position 3
    EXPECT_EQ(upload_low_detail_texture(t), 0);
    EXPECT_EQ(count_marked_blocks(t), 0);
}

TEST(TerrainLowDetail, RefreshUploadsAtTheIntervalAndRebuildPlacesTheLevelsAgain)
{
    LowDetailTerrain m;
    Terrain *t = &m.terrain;
    for (int i = 0; i < 4; i++)
        terrain_set_bit(t->low_detail_dirty, i);
    low_detail_upload_interval = 2;
    int expected[] = {4, 4, 3, 3, 3, 2};
    for (int frame = 0; frame < 6; frame++) {
        refresh_terrain_textures(t);
        EXPECT_EQ(count_marked_blocks(t), expected[frame]) << frame;
    }
    low_detail_upload_interval = 0;
    t->lod_centre_x = 300;
    rebuild_terrain_textures(t);
    EXPECT_EQ(count_marked_blocks(t), 1);
    EXPECT_EQ(t->lod_centre_x, LOD_CENTRE_NONE);
}

TEST(TerrainShading, EditedSamplesAreShadedAndTheirNormalTexelsRebuilt)
{
    // A slope of 1 in x: every normal is (-1, 1, 0) / sqrt 2.
    MemoryTerrain m(FIXTURE_EXPONENT, 1.0f, [](int column, int) { return (float)column; });
    Terrain *t = &m.terrain;
    int side = t->side;
    size_t samples = (size_t)side * side;
    std::vector<uint8_t> shading(samples * 3, 0), normals(samples * 3, 0), shadows(samples, 0);
    std::vector<uint32_t> normal_dirty(samples / 32 + 2, 0);
    shadows[5 * side + 5] = 255;   // fully shadowed
    t->shading = shading.data();
    t->normal_texels = normals.data();
    t->shadows = shadows.data();
    t->normal_dirty = normal_dirty.data();
    t->normal_mapping = 1;
    track_lighting.sun_direction[0] = -0.6f;
    track_lighting.sun_direction[1] = 0.8f;
    for (int i = 0; i < 3; i++) {
        track_lighting.sun_colour[i] = 1.0f;
        track_lighting.ambient[i] = 0.1f;
    }

    // Storing the same height still marks the 3 x 3 samples around it.
    ASSERT_EQ(set_terrain_height(t, 5, 5, 5.0f), 1);
    refresh_dirty_terrain_cells(t);
    for (size_t i = 0; i < samples; i++) {
        ASSERT_EQ(terrain_bit(t->shading_dirty, (int)i), 0) << i;
        ASSERT_EQ(terrain_bit(t->normal_dirty, (int)i), 0) << i;
    }
    auto at = [&](std::vector<uint8_t> &bytes, int column, int row) { return &bytes[((size_t)row * side + column) * 3]; };
    EXPECT_GT(at(shading, 4, 4)[0], at(shading, 5, 5)[0]);   // lit against shadowed
    EXPECT_GT(at(shading, 5, 5)[0], 0);                       // the ambient light remains
    EXPECT_EQ(at(shading, 7, 7)[0], 0);                       // not marked: not touched
    // Normal texels: x and z as trunc(n x 127) + 128, the light of the shadow file between.
    const uint8_t lit_texel[3] = {(uint8_t)(128 - 89), 255, 128};
    const uint8_t dark_texel[3] = {(uint8_t)(128 - 89), 0, 128};
    EXPECT_EQ(memcmp(at(normals, 4, 6), lit_texel, 3), 0);
    EXPECT_EQ(memcmp(at(normals, 5, 5), dark_texel, 3), 0);
    EXPECT_EQ(at(normals, 7, 7)[1], 0);
}
