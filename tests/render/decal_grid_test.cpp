// The decal grid and the decals file: covered buckets, multi-cell queries,
// removal and renumbering, and loading decals with their companions.
#include "render/decal_grid.h"

#include "core/file.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"
#include "track/decals.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

class DecalGrids : public testing::Test {
protected:
    Terrain *terrain = nullptr;
    GameWindow *window = nullptr;
    void SetUp() override
    {
        terrain = new Terrain{};
        terrain->grid_exponent = 7;
        terrain->side = 257;
        terrain->cell = 1.0f;
        terrain->extent = 256.0f;
        create_decal_storage(terrain);
    }
    void TearDown() override
    {
        free_decal_storage(terrain);
        delete terrain;
        close_test_gl_window(window);
    }
    int add(float x, float z, float angle, float width, float aspect)
    {
        Decal *d = (Decal *)append_to_growable_array(&terrain->decals);
        d->x = x;
        d->z = z;
        d->angle = angle;
        d->width = width;
        d->aspect = aspect;
        d->sine = sinf(angle);
        d->cosine = cosf(angle);
        int index = terrain->decals.count - 1;
        add_decal_to_grid(terrain, index);
        return index;
    }
    std::vector<int> bucket(int column, int row)
    {
        const GrowableArray &b = terrain->decal_grid.buckets[row * 8 + column];
        return std::vector<int>((const int *)b.data, (const int *)b.data + b.count);
    }
    static std::vector<int> list(const GrowableArray *a)
    {
        return std::vector<int>((const int *)a->data, (const int *)a->data + a->count);
    }
};

TEST_F(DecalGrids, RectangleAndCoveredBuckets)
{
    // Width 10, aspect 4: 40 ft long along x at angle 0, 10 ft wide along z.
    Decal d{};
    d.width = 10.0f;
    d.aspect = 4.0f;
    d.cosine = 1.0f;
    float hx, hz;
    decal_half_extents(&d, &hx, &hz);
    EXPECT_FLOAT_EQ(hx, 20.0f);
    EXPECT_FLOAT_EQ(hz, 5.0f);
    d.cosine = 0.0f;
    d.sine = 1.0f;
    decal_half_extents(&d, &hx, &hz);
    EXPECT_FLOAT_EQ(hx, 5.0f);
    EXPECT_FLOAT_EQ(hz, 20.0f);

    int a = add(50.0f, 10.0f, 0.0f, 10.0f, 4.0f);   // x 30..70: columns 0..2, row 0
    for (int column = 0; column < 8; column++)
        EXPECT_EQ(bucket(column, 0), column <= 2 ? std::vector<int>{a} : std::vector<int>{}) << column;
    EXPECT_TRUE(bucket(0, 1).empty());
    // Larger than the terrain: every bucket of the clamped range.
    int big = add(128.0f, 128.0f, 0.3f, 1000.0f, 1.0f);
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(list(&terrain->decal_grid.buckets[i]).back(), big);
}

TEST_F(DecalGrids, QueriesMergeBucketsOnce)
{
    int a = add(20.0f, 20.0f, 0.0f, 4.0f, 1.0f);
    int b = add(40.0f, 20.0f, 0.0f, 4.0f, 1.0f);
    int c = add(32.0f, 20.0f, 0.0f, 8.0f, 1.0f);   // straddles columns 0 and 1
    EXPECT_EQ(bucket(0, 0), (std::vector<int>{a, c}));
    EXPECT_EQ(bucket(1, 0), (std::vector<int>{b, c}));
    // One cell: the bucket itself.
    GrowableArray *one = find_decals_in_rect(terrain, 1, 1, 30, 30);
    EXPECT_EQ(one, &terrain->decal_grid.buckets[0]);
    // Several cells, partly outside the terrain: each index once, ascending.
    EXPECT_EQ(list(find_decals_in_rect(terrain, -50, -50, 60, 60)), (std::vector<int>{a, b, c}));
    EXPECT_TRUE(list(find_decals_in_rect(terrain, 100, 100, 300, 300)).empty());

    // Remove c and renumber the decals after it.
    remove_decal_from_grid(terrain, c);
    EXPECT_EQ(bucket(0, 0), (std::vector<int>{a}));
    shift_decal_grid_indices(terrain, b, 5);
    EXPECT_EQ(bucket(1, 0), (std::vector<int>{b + 5}));
    rebuild_decal_grid(terrain);
    EXPECT_EQ(bucket(1, 0), (std::vector<int>{b, c}));
}

TEST_F(DecalGrids, LoadingDecals)
{
    window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    for (const char *name : {"@mark.png", "@mark_tnorm.ppm", "@mark_tspec.png", "@sign"})
        write_game_asset(name);
    terrain->texture_mode = 2;
    terrain->normal_mapping = 1;
    auto load = [&](const std::string &text) {
        write_file(test_data_dir() + "decals", text);
        GameFile *file = file_open("@decals", "rb");
        EXPECT_EQ(load_decals(terrain, file), 1);
        file_close(file);
    };
    load("");
    EXPECT_EQ(terrain->decals.count, 0);
    EXPECT_NE(terrain->decals.data, nullptr);
    for (const GrowableArray &b : terrain->decal_grid.buckets)
        EXPECT_EQ(b.count, 0);

    load("[ 10 20 ] 0.5 4 2 @mark.png\n"
         "[ 30 40 ] 0 4 2 @missing.png\n"
         "[ 50 60 ] 1e999 4 2 @mark.png\n"
         "[ 70 80 ] 0 4 2 @sign\n"
         "[ 1 2 ] 3 4 @mark.png\n"
         "[ 90 90 ] 0 4 2 @mark.png\n");
    ASSERT_EQ(terrain->decals.count, 2);
    const Decal *d = (const Decal *)terrain->decals.data;
    EXPECT_NE(d[0].texture, 0);
    EXPECT_EQ(d[0].texture, load_texture("@mark.png"));
    EXPECT_EQ(d[0].normal_texture, load_texture("@mark_tnorm.ppm"));   // "_tnorm.png" missing, ".ppm" found
    EXPECT_EQ(d[0].specular_texture, load_texture("@mark_tspec.png"));
    EXPECT_NE(d[0].normal_texture, 0);
    EXPECT_NE(d[0].specular_texture, 0);
    EXPECT_FLOAT_EQ(d[0].sine, sinf(0.5f));
    EXPECT_NE(d[1].texture, 0);
    EXPECT_EQ(d[1].texture, load_texture("@sign"));
    EXPECT_EQ(d[1].normal_texture, 0);   // no extension: no companions
    EXPECT_EQ(bucket(0, 0), (std::vector<int>{0}));
    EXPECT_EQ(bucket(2, 2), (std::vector<int>{1}));
}
