// Statues and billboards (creation, colour prefixes, the two files written
// and read back) and the object grid's binning.
#include "track/objects.h"

#include "bike/shape.h"
#include "render/render_settings.h"
#include "track/track.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

class Objects : public testing::Test {
protected:
    MemoryTerrain *memory = nullptr;
    GameWindow *window = nullptr;
    void SetUp() override
    {
        memory = new MemoryTerrain(FIXTURE_EXPONENT, 2.0f, [](int c, int) { return 0.25f * c; });
        current_terrain = &memory->terrain;
        window = open_test_gl_window();
        ASSERT_NE(window, nullptr);
        set_track_folder("tracks/objects");
        for (const char *name : {"@red.png", "@tree.png", "@tree_norm.ppm", "@tree.jm"})
            write_game_asset(name);
        write_file(test_data_dir() + "rock.shp", "1 3 4 0 1 0.5 100 10\n");
    }
    void TearDown() override
    {
        for (int i = 0; i < statue_table.count; i++)
            free_statue(get_statue(i));
        free_growable_array(&statue_table);
        free_billboard_names();
        free_growable_array(&billboard_table);
        free_growable_array(&billboard_draw_slots);
        free_object_grid();
        statue_file_start = billboard_file_start = 0;
        set_track_folder(nullptr);
        close_test_gl_window(window);
        free_shape_cache();
        current_terrain = nullptr;
        delete memory;
    }
    static std::string written(const char *name)
    {
        std::string bytes;
        read_file(test_home_dir() + "tracks/objects/" + name, &bytes);
        return bytes;
    }
};

TEST_F(Objects, StatuesStandOnTheGround)
{
    int a = add_statue(40.0f, 1.5f, 30.0f, 0.5f, "@tree.jm", "@tree.png", "@rock.shp");
    EXPECT_EQ(a, 0);
    const Statue *s = get_statue(a);
    EXPECT_NE(s->model, nullptr);
    EXPECT_NE(s->texture, 0);
    EXPECT_EQ(s->normal_texture, 0);   // maps only with normal mapping on
    EXPECT_FLOAT_EQ(s->y, 0.25f * 20 + 1.5f);
    EXPECT_EQ(s->yaw_power, 0.0f);
    ASSERT_NE(s->shape, nullptr);
    EXPECT_NE(s->shape, load_shape("@rock.shp"));   // a private copy
    EXPECT_FLOAT_EQ(get_shape_radius(s->shape), 6.0f);

    // No model: no textures even with a texture name; a missing shape warns.
    int b = add_statue(10.0f, 0.0f, 10.0f, 4.0f, nullptr, "@tree.png", "@missing.shp");
    const Statue *t = get_statue(b);
    EXPECT_EQ(t->texture, 0);
    EXPECT_EQ(t->shape, nullptr);
    EXPECT_EQ(count_messages("Warning: missing shape file @missing.shp"), 1);
    // A yaw of 4 stands unrotated with a yaw power of 16.
    EXPECT_FLOAT_EQ(t->yaw_power, 16.0f);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(t->orientation[i], identity[i]);

    // Moved, then placed again.
    Statue *moved = get_statue(a);
    moved->x = 100.0f;
    place_statue(moved);
    EXPECT_FLOAT_EQ(moved->y, 0.25f * 50 + 1.5f);
}

TEST_F(Objects, StatueNormalMapNames)
{
    normal_mapping_enabled = 1;
    for (const char *name : {"@wall-repeat.png", "@wall_spec-repeat.png", "@tree_spec.seq"})
        write_game_asset(name);
    int a = add_statue(1, 0, 1, 0, "@tree.jm", "@tree.png", nullptr);
    EXPECT_EQ(get_statue(a)->normal_texture, load_texture("@tree_norm.ppm"));
    EXPECT_EQ(get_statue(a)->specular_texture, load_texture("@tree_spec.seq"));
    int b = add_statue(1, 0, 1, 0, "@tree.jm", "@wall-repeat.png", nullptr);
    EXPECT_EQ(get_statue(b)->specular_texture, load_texture("@wall_spec-repeat.png"));
    // No map of the texture's own: the model's name is tried.
    EXPECT_EQ(get_statue(b)->normal_texture, load_texture("@tree_norm.ppm"));
    normal_mapping_enabled = 0;
    EXPECT_EQ(load_texture_variant("@wall-repeat.png", "-repeat.png", "_norm.png"), 0);
    EXPECT_EQ(load_texture_variant("@tree.png", ".jpg", ".png"), 0);
    EXPECT_EQ(load_texture_variant("@tree.jpg", ".jpg", ".png"), load_texture("@tree.png"));
}

TEST_F(Objects, BillboardColourPrefix)
{
    struct Case {
        const char *name;
        uint8_t colour[4];
        bool textured;
    } cases[] = {
        {"#ff0000#@red.png", {255, 0, 0, 255}, true},
        {"#00ff80#@red.png", {0, 255, 128, 255}, true},
        {"#ff00#@red.png", {255, 255, 255, 255}, false},   // second '#' is not the 8th character
        {"#gg0000#@red.png", {255, 255, 255, 255}, false},
        {"@red.png", {255, 255, 255, 255}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int index = add_billboard(20.0f, 2.0f, 20.0f, 3.0f, 4.0f, c.name);
        const Billboard *b = get_billboard(index);
        EXPECT_EQ(memcmp(b->colour, c.colour, 4), 0);
        EXPECT_EQ(b->texture != 0, c.textured);
        EXPECT_FLOAT_EQ(b->y, 0.25f * 10 + 2.0f);
    }
    EXPECT_EQ(billboard_draw_slots.count, 2 * billboard_table.count);
    EXPECT_EQ(get_billboard(add_billboard(0, 0, 0, 1, 1, nullptr))->texture, 0);
}

TEST_F(Objects, FilesRoundTripFromTheirStart)
{
    add_statue(1, 0, 1, 0, "@tree.jm", nullptr, nullptr);     // before the file: never written
    add_billboard(1, 0, 1, 1, 1, "@red.png");
    statue_file_start = statue_table.count;
    billboard_file_start = billboard_table.count;
    add_statue(40.0f, 1.5f, 30.0f, 0.25f, "@tree.jm", "@tree.png", "@rock.shp");
    add_statue(12.0f, -1.0f, 8.0f, 0.0f, nullptr, nullptr, nullptr);
    add_billboard(5, 1, 6, 2, 3, "@red.png");
    add_billboard(5, 1, 6, 2, 3, "#fffffe#@red.png");
    add_billboard(5, 1, 6, 2, 3, "@nothing.png");   // its texture failed: written as read
    ASSERT_EQ(write_statues(), 1);
    ASSERT_EQ(write_billboards(), 1);
    EXPECT_EQ(written("statues"), "[40.000000 1.500000 30.000000] 0.250000 @tree.jm @tree.png @rock.shp\n"
                                  "[12.000000 -1.000000 8.000000] 0.000000 null null null\n");
    EXPECT_EQ(written("billboards"), "[5.000000 1.000000 6.000000] 2.000000 3.000000 @red.png\n"
                                     "[5.000000 1.000000 6.000000] 2.000000 3.000000 #fffffe#@red.png\n"
                                     "[5.000000 1.000000 6.000000] 2.000000 3.000000 @nothing.png\n");

    // Read back: the same records, "null" as none.
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_billboard_names();
    statue_table.count = billboard_table.count = 0;
    GameFile *file = file_open("@tracks/objects/statues", "rb");
    read_statues(file, nullptr);
    file_close(file);
    file = file_open("@tracks/objects/billboards", "rb");
    read_billboards(file, nullptr);
    file_close(file);
    ASSERT_EQ(statue_table.count, 2);
    EXPECT_NE(get_statue(0)->shape, nullptr);
    EXPECT_EQ(get_statue(1)->model, nullptr);
    EXPECT_FLOAT_EQ(get_statue(1)->height_offset, -1.0f);
    ASSERT_EQ(billboard_table.count, 3);
    EXPECT_EQ(get_billboard(1)->colour[2], 254);
    EXPECT_STREQ(get_billboard(2)->texture_name, "@nothing.png");
}

TEST_F(Objects, WritingFailsWhenTheFileCannotBeOpened)
{
    // A plain file where the track folder's parent should be.
    write_file(test_home_dir() + "blocked", "");
    write_file(test_data_dir() + "blocked", "");
    set_track_folder("blocked/objects");
    EXPECT_EQ(write_statues(), 0);
    EXPECT_EQ(write_billboards(), 0);
    EXPECT_EQ(count_messages("Can't open 'statues'\n"), 1);
    EXPECT_EQ(count_messages("Can't open 'billboards'\n"), 1);
}

TEST_F(Objects, GridBinsStatuesByTheirShape)
{
    float S = memory->terrain.extent;
    struct Case {
        float x, z, radius;
        int c0, c1, r0, r1;
    } cases[] = {
        {0.5f * S, 0.5f * S, 0.01f * S, 3, 4, 3, 4},
        {-100.0f, 2 * S, 1.0f, 0, 0, 7, 7},   // outside: the nearest border cells
        {0.3f * S, 0.6f * S, 0.0f, 1, 1, 5, 5},
        {0.5f * S, 0.5f * S, S, 0, 7, 0, 7},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(object_grid_cell(c.x - c.radius, S), c.c0);
        EXPECT_EQ(object_grid_cell(c.x + c.radius, S), c.c1);
        EXPECT_EQ(object_grid_cell(c.z - c.radius, S), c.r0);
        EXPECT_EQ(object_grid_cell(c.z + c.radius, S), c.r1);
    }
    // Statue 0 without a shape, 1 with one of radius 6 near the middle.
    add_statue(0.5f * S, 0, 0.5f * S, 0, nullptr, nullptr, nullptr);
    add_statue(0.5f * S - 1.0f, 0, 0.5f * S - 1.0f, 0, nullptr, nullptr, "@rock.shp");
    create_object_grid();
    for (int pass = 0; pass < 2; pass++) {
        rebuild_object_grid();
        int listed = 0;
        for (int cell = 0; cell < 64; cell++) {
            const int32_t *entries = (const int32_t *)object_grid[cell].data;
            for (int i = 0; i < object_grid[cell].count; i++) {
                EXPECT_EQ(entries[i], 1);
                int column = cell % 8, row = cell / 8;
                EXPECT_TRUE(column >= 3 && column <= 4 && row >= 3 && row <= 4);
                listed++;
            }
        }
        EXPECT_EQ(listed, 4);   // the radius reaches over the middle lines
    }
}

TEST_F(Objects, TablesThatCannotGrowAddNothing)
{
    // A table whose slots cannot be made: the append fails as when memory
    // runs out, and the index of the last entry (never -1) comes back.
    struct Case {
        const char *name;
        GrowableArray *failing;
        int existing;
    } cases[] = {
        {"empty statue table", &statue_table, 0},
        {"statue table with two", &statue_table, 2},
        {"empty billboard table", &billboard_table, 0},
        {"billboard table with two", &billboard_table, 2},
        {"draw slots", &billboard_draw_slots, 2},
    };
    init_growable_array(&statue_table, sizeof(Statue));
    init_growable_array(&billboard_table, sizeof(Billboard));
    init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < statue_table.count; i++)
            free_statue(get_statue(i));
        free_billboard_names();
        statue_table.count = billboard_table.count = billboard_draw_slots.count = 0;
        for (int i = 0; i < c.existing; i++) {
            add_statue(1, 0, 1, 0, nullptr, nullptr, "@rock.shp");
            add_billboard(1, 0, 1, 1, 1, "@red.png");
        }
        int element_size = c.failing->element_size;
        c.failing->element_size = 0;
        int last = c.existing > 0 ? c.existing - 1 : 0;
        if (c.failing == &statue_table) {
            // The shape copy made for it is given back (the leak check sees it).
            EXPECT_EQ(add_statue(5, 0, 5, 0, nullptr, nullptr, "@rock.shp"), last);
        } else {
            EXPECT_EQ(add_billboard(5, 0, 5, 1, 1, "@red.png"), last);
        }
        c.failing->element_size = element_size;
        EXPECT_EQ(statue_table.count, c.existing);
        EXPECT_EQ(billboard_table.count, c.existing);
        EXPECT_EQ(billboard_draw_slots.count, 2 * c.existing);
    }
}

TEST_F(Objects, RecordsThatAreNotFiniteArePassedOver)
{
    write_file(test_data_dir() + "tracks/objects/statues",
               "[ 1 0 1 ] 0 null null @rock.shp\n"
               "[ 1e999 0 1 ] 0 null null @rock.shp\n"
               "[ 2 0 2 ] -1e999 null null null\n"
               "[ 3 0 3 ] 0 null null null\n"
               "[ 4 0 4 ] x null null null\n"   // not a number: reading stops
               "[ 5 0 5 ] 0 null null null\n");
    write_file(test_data_dir() + "tracks/objects/billboards",
               "[ 1 0 1 ] 1 1 @red.png\n"
               "[ 2 0 2 ] 1e999 1 @red.png\n"
               "[ 3 0 3 ] 1 1 @red.png\n");
    int progress = 0;
    static int *counter;
    counter = &progress;
    GameFile *file = file_open("@tracks/objects/statues", "rb");
    read_statues(file, [] { (*counter)++; });
    file_close(file);
    ASSERT_EQ(statue_table.count, 2);
    EXPECT_EQ(progress, 4);
    EXPECT_FLOAT_EQ(get_statue(0)->x, 1.0f);
    EXPECT_NE(get_statue(0)->shape, nullptr);
    EXPECT_FLOAT_EQ(get_statue(1)->x, 3.0f);
    file = file_open("@tracks/objects/billboards", "rb");
    read_billboards(file, nullptr);
    file_close(file);
    ASSERT_EQ(billboard_table.count, 2);
    EXPECT_FLOAT_EQ(get_billboard(1)->x, 3.0f);
}
