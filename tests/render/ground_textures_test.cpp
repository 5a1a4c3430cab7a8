// Ground texture upkeep without GL: the camera windows moved as a ring,
// the refill of one tile per level and frame, the oldest stale item first,
// and the dirty marking of blocks and tiles (by a rectangle and by a decal).
#include "render/ground_textures.h"

#include "render/decal_grid.h"
#include "render/render_settings.h"
#include "render/terrain_mesh.h"
#include "track/decals.h"
#include "track/terrain.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

std::vector<std::tuple<int, int, int>> composited;

void observe(int level, int row, int column)
{
    composited.emplace_back(level, row, column);
}

// A memory terrain in render mode 1 with base blocks and numbered (fake)
// window textures; no GL context, so nothing is uploaded.
struct GroundTerrain : MemoryTerrain {
    std::vector<int> blocks;
    std::vector<uint8_t> shading;
    GroundTerrain() : MemoryTerrain(FIXTURE_EXPONENT, 2.0f)
    {
        blocks.assign(4, 0);   // 2 x 2 blocks, current
        terrain.block_stamps = blocks.data();
        terrain.texture_mode = 1;
        terrain.texture_size = 32;
        terrain.current_stamp = 1;
        shading.assign((size_t)terrain.side * terrain.side * 3, 128);
        terrain.shading = shading.data();
        for (int level = 0; level < 6; level++)
            for (int r = 0; r < 4; r++)
                for (int c = 0; c < 4; c++)
                    terrain.level_textures[0][level][r][c] = 1000 + level * 16 + r * 4 + c;
        composited.clear();
        ground_composite_observer = observe;
        ground_detail_limit = 0;
    }
    ~GroundTerrain()
    {
        ground_composite_observer = nullptr;
        checked_free(terrain.composite_buffer);
    }
    void frame(float x, float z)
    {
        const float eye[3] = {x, 10.0f, z}, none[3] = {0, 0, 0};
        set_terrain_camera(&terrain, eye, none);
        update_ground_textures(&terrain);
    }
    int valid_tiles(int level) const
    {
        int n = 0;
        for (auto &row : terrain.level_valid[level])
            for (int v : row)
                n += v;
        return n;
    }
};

}  // namespace

TEST(GroundTextures, WindowsFillOneTilePerLevelEachFrame)
{
    GroundTerrain g;
    g.frame(100.0f, 100.0f);
    // A fresh terrain has no window: one tile of every level, coarsest first.
    std::vector<std::tuple<int, int, int>> first = {{5, 0, 0}, {4, 0, 0}, {3, 0, 0}, {2, 0, 0}, {1, 0, 0}, {0, 0, 0}};
    EXPECT_EQ(composited, first);
    for (int i = 1; i < 16; i++)
        g.frame(100.0f, 100.0f);
    for (int level = 0; level < 6; level++)
        EXPECT_EQ(g.valid_tiles(level), 16) << level;
    composited.clear();
    g.frame(100.0f, 100.0f);
    EXPECT_TRUE(composited.empty());   // all current: nothing to do

    // With the detail limit at 6 no window tile is composited.
    GroundTerrain limited;
    ground_detail_limit = 6;
    limited.frame(100.0f, 100.0f);
    EXPECT_TRUE(composited.empty());
    ground_detail_limit = 0;
}

TEST(GroundTextures, WindowsMoveAsARing)
{
    GroundTerrain g;
    for (int i = 0; i < 16; i++)
        g.frame(100.0f, 100.0f);   // camera cell (50, 50)
    int start = ground_window_start(&g.terrain, 0, 50);   // 23
    int before[4][4];
    memcpy(before, g.terrain.level_textures[0][0], sizeof before);

    // One level-0 tile (2 cells) along x: a column leaves and one enters;
    // the coarser windows stay.
    composited.clear();
    g.frame(102.5f, 100.0f);   // cell 51
    ASSERT_EQ(ground_window_start(&g.terrain, 0, 51), start + 1);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(g.terrain.level_textures[0][0][r][c], before[r][(c + 1) & 3]);
    // The tiles that stayed are still valid; the entering column is refilled
    // one tile a frame, its first tile in this frame.
    EXPECT_EQ(g.valid_tiles(0), 13);
    EXPECT_EQ(composited, (std::vector<std::tuple<int, int, int>>{{0, 0, 3}}));
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(g.terrain.level_valid[0][r][3], r == 0);

    // A jump of more than 3 tiles on a level leaves none of its tiles valid;
    // they come back one a frame.
    g.frame(122.0f, 100.0f);   // cell 61: 5 tiles on
    EXPECT_EQ(g.valid_tiles(0), 1);
    for (int i = 2; i <= 16; i++) {
        g.frame(122.0f, 100.0f);
        EXPECT_EQ(g.valid_tiles(0), i);
    }
}

TEST(GroundTextures, OldestStaleItemFirst)
{
    GroundTerrain g;
    for (int i = 0; i < 16; i++)
        g.frame(100.0f, 100.0f);
    composited.clear();
    // Stale since 5: a level-2 tile and a block; since 4: a level-3 tile.
    g.terrain.level_stamps[2][1][2] = 5;
    g.blocks[3] = 5;
    g.terrain.level_stamps[3][0][1] = 4;
    g.terrain.level_stamps[1][3][3] = 5;
    g.frame(100.0f, 100.0f);
    g.frame(100.0f, 100.0f);
    g.frame(100.0f, 100.0f);
    g.frame(100.0f, 100.0f);
    g.frame(100.0f, 100.0f);
    std::vector<std::tuple<int, int, int>> order = {
        {3, 0, 1},   // the oldest
        {1, 3, 3},   // same stamp: the lowest level first,
        {2, 1, 2},   // then the next,
        {6, 1, 1},   // tiles before blocks
    };
    EXPECT_EQ(composited, order);
    EXPECT_EQ(g.blocks[3], 0);
    EXPECT_EQ(g.terrain.level_stamps[2][1][2], 0);

    // Blocks marked -1 are composited at once, before anything else.
    composited.clear();
    g.blocks[0] = -1;
    g.blocks[2] = -1;
    g.frame(100.0f, 100.0f);
    EXPECT_EQ(composited, (std::vector<std::tuple<int, int, int>>{{6, 0, 0}, {6, 1, 0}}));
}

TEST(GroundTextures, MarkingStampsWhatOverlapsOnly)
{
    GroundTerrain g;
    for (int i = 0; i < 16; i++)
        g.frame(100.0f, 100.0f);   // windows around cell (50, 50)
    g.terrain.current_stamp = 9;
    g.blocks[1] = -1;   // immediate blocks keep their state
    g.blocks[2] = 3;    // so do stale ones
    mark_ground_blocks_dirty(&g.terrain, 40, 44, 200, 45);
    EXPECT_EQ(g.blocks, (std::vector<int>{9, -1, 3, 0}));
    // Level 0: tiles of 2 cells from cell 2 x 23 = 46 on x, overlapping 40..200
    // all along; on z cells 46..54, and 44..45 overlaps the first row only
    // ([46, 48] does not reach 45).
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(g.terrain.level_stamps[0][r][c], 0) << r << " " << c;
    // Level 2: tiles of 8 cells from 8 x 4 = 32: row 1, [40, 48], holds 44..45.
    for (int c = 0; c < 4; c++) {
        EXPECT_EQ(g.terrain.level_stamps[2][1][c], 9);
        EXPECT_EQ(g.terrain.level_stamps[2][0][c], 0);
    }
    // Rectangles far outside clamp to the border blocks.
    g.blocks.assign(4, 0);
    mark_ground_blocks_dirty(&g.terrain, -1000, -1000, -900, -900);
    EXPECT_EQ(g.blocks, (std::vector<int>{9, 0, 0, 0}));
    mark_ground_blocks_dirty(&g.terrain, 100000, 100000, 100000, 100000);
    EXPECT_EQ(g.blocks, (std::vector<int>{9, 0, 0, 9}));
}

TEST(GroundTextures, AddingADecalStampsTheGroundUnderIt)
{
    GroundTerrain g;
    for (int i = 0; i < 16; i++)
        g.frame(20.0f, 20.0f);   // cell (10, 10): level 0 window at cells 8..16
    g.terrain.current_stamp = 4;
    create_decal_storage(&g.terrain);
    Decal *d = (Decal *)append_to_growable_array(&g.terrain.decals);
    d->x = 400.0f;   // cells 198..202, rows 18..22 (cell 2 ft)
    d->z = 40.0f;
    d->width = 8.0f;
    d->aspect = 1.0f;
    d->cosine = 1.0f;
    add_decal_to_grid(&g.terrain, 0);
    // The block under it only.
    EXPECT_EQ(g.blocks, (std::vector<int>{0, 4, 0, 0}));
    // Window tiles: only the level-5 tile (64 cells) holding cells 198..202.
    for (int level = 0; level < 6; level++)
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                EXPECT_EQ(g.terrain.level_stamps[level][r][c], level == 5 && r == 0 && c == 3 ? 4 : 0)
                    << level << " " << r << " " << c;
    // A decal far off the field stamps the border block only.
    g.blocks.assign(4, 0);
    d->x = -1e30f;
    d->z = 1e30f;
    mark_decal_blocks_dirty(&g.terrain, 0);
    EXPECT_EQ(g.blocks, (std::vector<int>{0, 0, 4, 0}));
    free_decal_storage(&g.terrain);
}
