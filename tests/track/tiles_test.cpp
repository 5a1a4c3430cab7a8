// Ground tiles: tileinfo keys, limits, warnings and defaults, roost kinds,
// the texturelist format and the corner codes of transition tiles.
#include "track/tiles.h"

#include "track/terrain.h"
#include "support/render_fixtures.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

class Tiles : public testing::Test {
protected:
    Terrain *terrain = nullptr;
    void SetUp() override
    {
        terrain = new Terrain{};
        terrain->texture_mode = 2;
    }
    void TearDown() override { delete terrain; }
    void parse(const std::string &text, bool texturelist = false)
    {
        write_file(test_data_dir() + "tiles.txt", text);
        GameFile *file = file_open("@tiles.txt", "rb");
        ASSERT_NE(file, nullptr);
        if (texturelist)
            parse_texturelist(terrain, file);
        else
            EXPECT_EQ(parse_tileinfo(terrain, file), 1);
        file_close(file);
    }
};

TEST_F(Tiles, DefaultsOfAnEmptyTile)
{
    parse("addtile\n");
    ASSERT_EQ(terrain->tile_count, 1);
    const TileInfo &t = terrain->tiles[0];
    EXPECT_FLOAT_EQ(t.friction_value[0], 1.0f);
    EXPECT_FLOAT_EQ(t.friction_speed[0], 1.0f);
    EXPECT_FLOAT_EQ(t.friction_speed[7], 1048576.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_value[3][0], 5.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_value[3][1], 15.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_speed[0], 1.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_speed[1], 0.0f);
    EXPECT_EQ(t.slip_function, 0);
    for (const RoostType &r : t.roost)
        EXPECT_EQ(r.flag, 0);
    EXPECT_FLOAT_EQ(t.erosion.erode_depth, 1.0f);
    EXPECT_FLOAT_EQ(t.erosion.erode_min_slope, -0.5f);
    EXPECT_FLOAT_EQ(t.erosion.erode_slip_scale, 1.5f);
    EXPECT_EQ(t.erosion.limit_count, 1);
    EXPECT_FLOAT_EQ(t.erosion.limit_value2[0], 1.0f);
    EXPECT_EQ(t.corner_code, 0u);   // plain tile 0
    EXPECT_EQ(message_log.next_line, 0);
}

TEST_F(Tiles, RutRadiusIsBoundedToSixteenCells)
{
    terrain->cell = 2.0f;
    parse("erode_radius 100\nerode_inner_radius -50\naddtile\n"
          "erode_radius 32\nerode_inner_radius 0.5\naddtile\n");
    ASSERT_EQ(terrain->tile_count, 2);
    EXPECT_FLOAT_EQ(terrain->tiles[0].erosion.erode_radius, 32.0f);
    EXPECT_FLOAT_EQ(terrain->tiles[0].erosion.erode_inner_radius, -32.0f);
    EXPECT_FLOAT_EQ(terrain->tiles[1].erosion.erode_radius, 32.0f);
    EXPECT_FLOAT_EQ(terrain->tiles[1].erosion.erode_inner_radius, 0.5f);
    EXPECT_EQ(count_messages("tileinfo warning: erode_radius 100 bounded to 32 (16 cells)\n"), 1);
    EXPECT_EQ(count_messages("tileinfo warning: erode_inner_radius -50 bounded to -32 (16 cells)\n"), 1);
    EXPECT_EQ(message_log.next_line, 2);

    // Before a grid is read there is nothing to bound against.
    terrain->cell = 0.0f;
    parse("erode_radius 100\naddtile\n");
    EXPECT_FLOAT_EQ(terrain->tiles[0].erosion.erode_radius, 100.0f);
}

TEST_F(Tiles, KeysLimitsAndWarnings)
{
    parse("  name   a very long tile name that goes well past forty-seven characters\r\n"
          "texture @sand.png\n"
          "friction 0.8 30\nfriction -1 2e6\nfriction 0.9 10\nfriction x\n"
          "roll_resist 1 2 0\nroll_resist 3 -4 5\n"
          "slip_function 7\n"
          "erode_limit 0.1 2 3\nerode_limit 0.1 4 5\nerode_limit 0.3 6 7\n"
          "erode_depth abc\nerode_radius 6\nwobble 3\n\n"
          "addtile\n"
          "name dropped\n");
    ASSERT_EQ(terrain->tile_count, 1);
    const TileInfo &t = terrain->tiles[0];
    EXPECT_STREQ(t.name, "a very long tile name that goes well past forty");
    // Friction points sorted ascending by speed, clamped.
    EXPECT_FLOAT_EQ(t.friction_speed[0], 10.0f);
    EXPECT_FLOAT_EQ(t.friction_value[0], 0.9f);
    EXPECT_FLOAT_EQ(t.friction_speed[1], 30.0f);
    EXPECT_FLOAT_EQ(t.friction_speed[2], 1048575.0f);
    EXPECT_FLOAT_EQ(t.friction_value[2], 0.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_speed[0], 1.0f / 1048576);
    EXPECT_FLOAT_EQ(t.roll_resist_speed[1], 5.0f);
    EXPECT_FLOAT_EQ(t.roll_resist_value[1][1], 0.0f);
    EXPECT_EQ(t.slip_function, 7);
    EXPECT_EQ(t.erosion.limit_count, 2);
    EXPECT_FLOAT_EQ(t.erosion.limit_depth[1], 0.3f);
    EXPECT_FLOAT_EQ(t.erosion.erode_depth, 1.0f);
    EXPECT_FLOAT_EQ(t.erosion.erode_radius, 6.0f);
    std::string warnings[] = {
        "tileinfo warning: bad friction parameters\n", "tileinfo warning: bad slip_function\n",
        "tileinfo warning: erode_limit depth <= prev depth\n", "tileinfo warning: bad erode_depth\n",
        "tileinfo warning: Unknown identifier 'wobble'\n"};
    for (const std::string &w : warnings)
        EXPECT_EQ(count_messages(w), 1) << w;
    EXPECT_EQ(message_log.next_line, 5) << message_text();
}

TEST_F(Tiles, TooManyRepeatedLinesWarnOnce)
{
    std::string text;
    for (int i = 0; i < 9; i++) {
        text += "friction 1 " + std::to_string(i) + "\n";
        text += "roll_resist 1 1 " + std::to_string(i + 1) + "\n";
        text += "erode_limit " + std::to_string(i) + " 1 1\n";
    }
    for (int i = 0; i < 5; i++)
        text += "roost count=1\n";
    parse(text + "addtile\n");
    EXPECT_EQ(count_messages("tileinfo warning: too many friction points\n"), 1);
    EXPECT_EQ(count_messages("tileinfo warning: too many roll_resist points\n"), 1);
    EXPECT_EQ(count_messages("tileinfo warning: too many erode limits\n"), 1);
    EXPECT_EQ(count_messages("tileinfo warning: too many roost types\n"), 1);
    EXPECT_EQ(terrain->tiles[0].erosion.limit_count, 8);
    EXPECT_FLOAT_EQ(terrain->tiles[0].friction_speed[7], 7.0f);
}

TEST_F(Tiles, RoostWords)
{
    parse("roost count=abc \"size=0.5\" splash=1 r=300 fade_a=-256 bogus=1\n"
          "roost grow=2\n"
          "addtile\n");
    const TileInfo &t = terrain->tiles[0];
    const RoostType &r = t.roost[0];
    EXPECT_EQ(r.flag, 2);
    EXPECT_FLOAT_EQ(r.count, 0.0f);
    EXPECT_FLOAT_EQ(r.size, 0.5f);
    EXPECT_EQ(r.colour[0], 300 & 255);
    EXPECT_EQ(r.colour[3], 255);
    EXPECT_EQ(r.fade[3], -2);                 // -256 per second is -2 per tic
    EXPECT_FLOAT_EQ(r.slip_threshold, 4.0f);  // untouched defaults
    EXPECT_FLOAT_EQ(r.fast_angle, 3.14159265f / 16);
    EXPECT_EQ(t.roost[1].flag, 1);
    EXPECT_FLOAT_EQ(t.roost[1].grow, 2.0f);
    EXPECT_EQ(t.roost[2].flag, 0);
    EXPECT_EQ(count_messages("tileinfo warning: bad count\n"), 1);
    EXPECT_EQ(count_messages("tileinfo warning: unknown roost parameter 'bogus=1'\n"), 1);
}

TEST_F(Tiles, TexturelistLines)
{
    // A name alone, numbers and a name, CR LF, and a last line without newline.
    parse("grass.png\n  0.7 4 12 mud.png\r\n\n1.5 ice.png\nsand.png", true);
    ASSERT_EQ(terrain->tile_count, 4);
    const TileInfo &grass = terrain->tiles[0];
    EXPECT_FLOAT_EQ(grass.friction_value[0], 1.0f);
    EXPECT_FLOAT_EQ(grass.friction_value[7], 1.0f);
    EXPECT_FLOAT_EQ(grass.roll_resist_value[2][0], 5.0f);
    EXPECT_FLOAT_EQ(grass.roll_resist_value[2][1], 15.0f);
    EXPECT_EQ(grass.roost[0].flag, 1);
    EXPECT_EQ(grass.roost[1].flag, 0);
    EXPECT_EQ(grass.erosion.limit_count, 1);
    EXPECT_STREQ(grass.name, "");
    const TileInfo &mud = terrain->tiles[1];
    EXPECT_FLOAT_EQ(mud.friction_value[3], 0.7f);
    EXPECT_FLOAT_EQ(mud.roll_resist_value[0][1], 12.0f);

    // The textures asked for are "@" + the name, with no character lost.
    GameWindow *window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    const char *expected[] = {"@grass.png", "@mud.png", "@1.5 ice.png", "@sand.png"};
    for (const char *name : expected)
        write_game_asset(name);
    parse("grass.png\n  0.7 4 12 mud.png\r\n\n1.5 ice.png\nsand.png", true);
    for (int i = 0; i < 4; i++) {
        EXPECT_NE(terrain->tiles[i].texture, 0) << i;
        EXPECT_STREQ(get_texture_name(terrain->tiles[i].texture), expected[i]) << i;
    }
    close_test_gl_window(window);
}

TEST_F(Tiles, TransitionCornerCodes)
{
    const char *names[] = {"sand.png", "grass.png", "sand-grass-0011.png", "sand-alt2.png",
                           "sand-mud-1000.png", "sand-grass-01x1.png", "rock-grass.png", "plain",
                           "sand-grass-0"};
    struct Case {
        int tile;
        int code;
    } cases[] = {
        {0, -1},
        {2, 0x0003 + (0 << 16) + (1 << 8)},
        {3, (0 << 16) + (0 << 8)},
        {4, -256},
        {5, (0 << 16) + (1 << 8)},
        {6, -1},
        {7, -1},
        {8, (0 << 16) + (1 << 8)},   // the digits cut short by the end of the name
    };
    for (const Case &c : cases)
        EXPECT_EQ(parse_transition_tile_name(names[c.tile], names, 9), c.code) << names[c.tile];

    // Through the file: base names run from the last '/' on, the '/'
    // included, so in a folder the first tile is found ("/sand") but the
    // second ("grass" against "/grass") is not; without a folder both are;
    // a name that does not parse gets its plain code.
    parse("texture @tiles/sand.png\naddtile\ntexture @tiles/grass.png\naddtile\n"
          "texture @tiles/sand-grass-1001.png\naddtile\ntexture @rock.png\naddtile\n"
          "texture @mud.png\naddtile\ntexture @rock-mud-0110.png\naddtile\n");
    EXPECT_EQ(terrain->tiles[0].corner_code, 0u);
    EXPECT_EQ(terrain->tiles[1].corner_code, (1u << 16) + (1u << 8));
    EXPECT_EQ(terrain->tiles[2].corner_code, (uint32_t)-256);
    EXPECT_EQ(terrain->tiles[5].corner_code, 0x6u + (3u << 16) + (4u << 8));
}
