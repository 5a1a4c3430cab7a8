// Generated pictures as the game reads them: the glyph atlases hold 94 and
// 10 glyphs in order whose cells are FreeType's advances at the size they
// were rendered at (the slack of a row spread a pixel at a time), and the sky
// face the sun lies on, read where the sky box lays that direction, is
// bright enough there for the lens flare to show.
#include "gamedata_fixture.h"

#include "core/file.h"
#include "render/font.h"
#include "render/image.h"
#include "tools/datagen/gen_fonts.h"
#include "track/lighting.h"

#include <cmath>
#include <cstring>

TEST(GlyphAtlases, HoldEveryCharacterWithFreeTypesAdvances)
{
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/data");
    ASSERT_TRUE(open_font_faces());
    struct Case {
        int atlas;
        const char *file;
        int glyphs;
    };
    const Case cases[] = {{0, "@font.png", 94}, {1, "@numbers.png", 10}, {2, "@numbers-condensed.png", 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const AtlasSpec *spec = &ATLAS_SPECS[c.atlas];
        ASSERT_EQ((int)strlen(spec->characters), c.glyphs);
        AtlasLayout layout;
        ASSERT_TRUE(plan_atlas(c.atlas, &layout));
        Font *font = new Font();
        font_load(font, c.file, spec->characters);
        ASSERT_NE(font->pixels, nullptr);
        EXPECT_EQ(font->width, layout.width);
        EXPECT_EQ(font->height, layout.height);
        float row_end = 0.0f, last_column = (float)(font->width - 1) / (float)font->width;
        for (int i = 0; i < c.glyphs; i++) {
            unsigned char ch = (unsigned char)spec->characters[i];
            const float *g = font->glyphs[ch];
            int cell = (int)lroundf((g[2] - g[0]) * (float)font->width);
            int rows = (int)lroundf((g[3] - g[1]) * (float)font->height);
            int advance = font_advance_pixels(spec->face, layout.pixel_size, spec->x_scale, ch);
            EXPECT_GT(rows, 0) << "'" << ch << "'";
            EXPECT_NEAR(cell, advance, 2) << "'" << ch << "'";
            // Each row is filled exactly: a glyph starts where the one
            // before it ended, or at the left edge after a glyph that ended
            // in the last column (a cell running to the width ends a row).
            EXPECT_FLOAT_EQ(g[0], row_end < last_column ? row_end : 0.0f) << "'" << ch << "'";
            row_end = g[2];
        }
        EXPECT_FLOAT_EQ(row_end, last_column) << "the last glyph ends in the last column";
        checked_free(font->pixels);
        delete font;
    }
    close_font_faces();
}

TEST(SkyFaces, TheSunsTexelsAreBrightEnoughForTheFlare)
{
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/data");
    std::string lighting;
    ASSERT_TRUE(read_file(gamedata_dir() + "/data/tracks/cinder_hollow/lighting", &lighting));
    float sun[3];
    ASSERT_EQ(sscanf(lighting.c_str(), "sun_vector [ %f %f %f ]", &sun[0], &sun[1], &sun[2]), 3);
    // The sky box as the scene draws it: per face its texture, its corners
    // and their texture coordinates in one order for every face.
    struct Face {
        const char *file;
        float corners[4][3];
    };
    const Face faces[5] = {
        {"@sky-n.ppm", {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}}},
        {"@sky-e.ppm", {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}}},
        {"@sky-s.ppm", {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}}},
        {"@sky-w.ppm", {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}},
        {"@sky-u.ppm", {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}}},
    };
    const float LOW = 1.0f / 128.0f, HIGH = 127.0f / 128.0f;
    int seen = 0;
    for (const Face &face : faces) {
        // The face's plane: the axis all four corners share.
        int axis = -1;
        for (int k = 0; k < 3 && axis < 0; k++)
            if (face.corners[0][k] == face.corners[1][k] && face.corners[0][k] == face.corners[2][k])
                axis = k;
        ASSERT_GE(axis, 0);
        float scale = face.corners[0][axis] / sun[axis];
        if (!(scale > 0.0f))
            continue;
        float p[3] = {sun[0] * scale, sun[1] * scale, sun[2] * scale};
        if (std::fabs(p[0]) > 1.0f || std::fabs(p[1]) > 1.0f || std::fabs(p[2]) > 1.0f)
            continue;
        // p = corner 0 + a (corner 3 - corner 0) + b (corner 1 - corner 0);
        // u runs with a, v with b.
        float a = 0.0f, b = 0.0f;
        for (int k = 0; k < 3; k++) {
            a += (p[k] - face.corners[0][k]) * (face.corners[3][k] - face.corners[0][k]) / 4.0f;
            b += (p[k] - face.corners[0][k]) * (face.corners[1][k] - face.corners[0][k]) / 4.0f;
        }
        float u = LOW + (HIGH - LOW) * a, v = LOW + (HIGH - LOW) * b;
        GameFile *file = file_open(face.file, "rb");
        ASSERT_NE(file, nullptr) << face.file;
        uint8_t *pixels = nullptr;
        int width = 0, height = 0;
        int read = read_rgb_image(file, &pixels, &width, &height);
        file_close(file);
        ASSERT_TRUE(read) << face.file;
        int x = (int)(u * (float)width), y = (int)(v * (float)height);
        const uint8_t *texel = pixels + 3 * ((size_t)y * width + x);
        for (int channel = 0; channel < 3; channel++)
            EXPECT_GE(texel[channel], 224) << face.file << " texel " << x << ", " << y << " channel " << channel;
        checked_free(pixels);
        seen++;
    }
    EXPECT_EQ(seen, 1) << "the sun lies on one face of the box";
}
