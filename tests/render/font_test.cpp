// Fonts on llvmpipe: the atlas builder's rectangles and advances, text
// widths and tabs, text drawn in its escape colours, batches of quads, and
// number plates painted with the condensed digits when the text is wide.
#include "render/font.h"

#include "gl_fixture.h"
#include "render/image.h"
#include "render/texture.h"

#include <cmath>

namespace {

const std::vector<uint8_t> MARKER = {255, 0, 255, 255};

// count glyphs of glyph_w x glyph_h in one row: markers at x = k (glyph_w + 1)
// on the top line and at (0, glyph_h), so glyph k spans its marker column
// and glyph_w columns of the colour.
std::string atlas_png(int count, int glyph_w, int glyph_h, const std::vector<uint8_t> &colour)
{
    int width = count * (glyph_w + 1) + 1, height = glyph_h + 1;
    std::vector<uint8_t> pixels((size_t)width * height * 4, 0);
    auto set = [&](int x, int y, const std::vector<uint8_t> &c) {
        memcpy(&pixels[((size_t)y * width + x) * 4], c.data(), 4);
    };
    for (int y = 0; y < glyph_h; y++)
        for (int x = 0; x < width; x++)
            if (x % (glyph_w + 1) != 0)
                set(x, y, colour);
    for (int k = 0; k <= count; k++)
        set(k * (glyph_w + 1), 0, MARKER);
    set(0, glyph_h, MARKER);
    return png_bytes(width, height, 4, pixels);
}

struct Fonts : GlTest {
    void SetUp() override
    {
        window_size = 128;
        GlTest::SetUp();
    }
    void TearDown() override
    {
        free_fonts();
        GlTest::TearDown();
    }
    // The text font: 94 white glyphs 4 wide (5 with the marker column), 8 high.
    void load_text_font()
    {
        write_file(test_data_dir() + "font.png", atlas_png(94, 4, 8, {255, 255, 255, 255}));
        write_file(test_data_dir() + "numbers.png", atlas_png(10, 9, 16, {0, 0, 0, 255}));
        write_file(test_data_dir() + "numbers-condensed.png", atlas_png(10, 4, 8, {0, 0, 0, 255}));
        load_fonts();
        ASSERT_NE(text_font.texture, 0);
        ASSERT_EQ(text_font.pixels, nullptr);
        ASSERT_NE(number_font.pixels, nullptr);
        ASSERT_EQ(number_font.texture, 0);
    }
};

} // namespace

TEST(FontAtlas, RectanglesAndAdvances)
{
    // Top line markers at 0, 4, 10 and 19 of a 20 x 10 atlas; the first row
    // ends at y = 5, where the second has a marker at x = 7.
    const int W = 20, H = 10;
    std::vector<uint8_t> pixels((size_t)W * H * 4, 200);
    auto marker = [&](int x, int y) { memcpy(&pixels[((size_t)y * W + x) * 4], MARKER.data(), 4); };
    for (int x : {0, 4, 10, 19})
        marker(x, 0);
    marker(0, 5);
    marker(7, 5);
    write_file(test_data_dir() + "atlas.png", png_bytes(W, H, 4, pixels));
    Font font;
    font_load(&font, "@atlas.png", "AB-DE");
    ASSERT_NE(font.pixels, nullptr);
    struct Glyph {
        char c;
        int left, top, right, bottom;
    } glyphs[] = {
        {'A', 0, 0, 4, 5}, {'B', 4, 0, 10, 5}, {'-', 10, 0, 19, 5},
        // After the last marker the row is done: past it is no glyph. The
        // second row ends at its marker too, and the atlas wraps to the top.
        {'D', 0, 5, 7, 10}, {'E', 0, 0, 4, 5},
    };
    for (const Glyph &g : glyphs) {
        SCOPED_TRACE(g.c);
        const float *r = font.glyphs[(unsigned char)g.c];
        EXPECT_FLOAT_EQ(r[0], (float)g.left / W);
        EXPECT_FLOAT_EQ(r[1], (float)g.top / H);
        EXPECT_FLOAT_EQ(r[2], (float)g.right / W);
        EXPECT_FLOAT_EQ(r[3], (float)g.bottom / H);
        EXPECT_FLOAT_EQ(font.advances[(unsigned char)g.c], (float)(g.right - g.left) / (g.bottom - g.top));
    }
    EXPECT_FLOAT_EQ(font.advances[' '], 9.0f / 5.0f);   // the dash's
    EXPECT_FLOAT_EQ(font.advances['Z'], 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(font.advances[200], 2.0f / 3.0f);
    // Markers and the first column turn transparent white; the rest stays.
    auto at = [&](int x, int y) { return font.pixels + ((size_t)y * W + x) * 4; };
    for (const uint8_t *p : {at(0, 0), at(4, 0), at(0, 3), at(7, 5)})
        EXPECT_EQ(memcmp(p, "\xff\xff\xff\x00", 4), 0);
    EXPECT_EQ(at(5, 5)[0], 200);
    // The chain was rebuilt from the new top level.
    EXPECT_EQ(font.pixels[(size_t)W * H * 4 + 3], (0 + 200 + 0 + 200) / 4);
    checked_free(font.pixels);

    // A missing atlas leaves the font empty with a message.
    font_load(&font, "@none.png", "AB");
    EXPECT_EQ(font.pixels, nullptr);
    EXPECT_EQ(font.glyphs['A'][2], 0.0f);
    EXPECT_EQ(count_message("Can't open font '@none.png'"), 1);
}

TEST_F(Fonts, WidthsAndTabs)
{
    load_text_font();
    const float a = 5.0f / 8.0f;   // every glyph of the test font
    struct Case {
        const char *text;
        float width;
    } cases[] = {
        {"AB", 2 * a},
        {"ABC\nA", 3 * a},               // the widest line
        {"A\nABCD\rAB", 4 * a},
        {"\t", 8 * a},                   // a space is a dash wide
        {"--------\tA", 17 * a},         // from a multiple a whole 8 further
        {"---\tA", 9 * a},
        {"\x1b[1;31mAB\x1b[0m", 2 * a},  // escapes take no room
        {"A\x1b[31", a},                 // cut by the end of the text
        {"A\x1b" "X" "B", 2 * a},        // ESC without '[' ends at the next final byte
        {"", 0},
    };
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(get_text_width(c.text), c.width) << c.text;
}

TEST_F(Fonts, TextLightsItsPixelsInTheEscapeColours)
{
    load_text_font();
    struct Case {
        const char *text;
        int style;
        int rgb[3];
    } cases[] = {
        {"X", 16, {0, 128, 0}},
        {"\x1b[31mX", 16, {191, 0, 0}},
        {"\x1b[1;31mX", 16, {255, 0, 0}},
        {"\x1b[31m\x1b[0mX", 16, {0, 128, 0}},
        {"\x1b[mX", 1, {0, 128, 0}},
        {"\x1b[1mX", 16, {64, 191, 64}},
        {"\x1b[1;31;22mX", 16, {191, 0, 0}},
        {"\x1b[31mX", 48, {0, 128, 0}},                  // a shadow keeps its colour
        {"\x1b[44mX", 48, {0, 0, 191}},
        {"\x1b[31mX", 16 | 64, {0, 128, 0}},             // escapes skipped
        {"X", 3, {191, 191, 0}},                          // the style's palette entry
        {"\x1b[99999999999;31mX", 16, {191, 0, 0}},      // beyond int: ignored
        {"\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;"
         "1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;31mX",
         16, {64, 191, 64}},                              // a 65th parameter is ignored
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.style << " " << c.text + (c.text[0] == 27));
        clear();
        ortho();
        glTranslatef(10, 10, 0);
        glScalef(40, 40, 1);
        draw_text(0, 0.5f, 0, 1, c.text, c.style);
        // The glyph covers x 10..35, y 10..50: read its middle.
        std::vector<uint8_t> p = read_back(22, 30, 1, 1);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(p[k], c.rgb[k], 2) << k;
        // Nothing right of the glyph.
        EXPECT_EQ(read_back(45, 30, 1, 1)[0] + read_back(45, 30, 1, 1)[1], 0);
    }
    // A second line goes down one unit.
    clear();
    ortho();
    glTranslatef(10, 60, 0);
    glScalef(40, 40, 1);
    draw_text(1, 1, 1, 1, " \nX", 16);
    EXPECT_GT(read_back(22, 40, 1, 1)[0], 200);
    EXPECT_EQ(read_back(22, 80, 1, 1)[0], 0);
}

TEST_F(Fonts, BatchesOf256Quads)
{
    load_text_font();
    long batches = text_batches_drawn, quads = text_quads_drawn;
    std::string text(300, 'A');
    draw_text(1, 1, 1, 1, text.c_str(), 16);
    EXPECT_EQ(text_batches_drawn - batches, 2);
    EXPECT_EQ(text_quads_drawn - quads, 300);
    EXPECT_EQ(text_last_batch_quads, 44);
    // Spaces, line ends and escapes make no quads; white space alone draws nothing.
    batches = text_batches_drawn;
    draw_text(1, 1, 1, 1, " \t\r\n ", 16);
    EXPECT_EQ(text_batches_drawn, batches);
    draw_text(1, 1, 1, 1, "A B\n\x1b[31mC", 16);
    EXPECT_EQ(text_last_batch_quads, 3);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
    // Without a font texture nothing is drawn.
    free_fonts();
    batches = text_batches_drawn;
    draw_text(1, 1, 1, 1, "ABC", 16);
    EXPECT_EQ(text_batches_drawn, batches);
}

TEST_F(Fonts, PlatesUseTheCondensedDigitsWhenTooWide)
{
    load_text_font();
    // Digits are 10 pixels wide and 16 high; condensed ones 5 by 8.
    struct Case {
        const char *text;
        int left, right, top, bottom;   // the painted rectangle
    } cases[] = {
        {"12", 6, 26, 8, 24},      // 20 wide: the normal digits
        {"123", 1, 31, 8, 24},     // 30 is within 9/8 of 32
        {"1234", 6, 26, 12, 20},   // 40 is not: condensed, 20 wide and 8 high
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<uint8_t> plate = flat_pixels(32, 32, 4, {255, 255, 255, 0});
        text_rasterise(plate.data(), 32, 32, 1, 0, 0, 1, c.text);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                const uint8_t *p = &plate[((size_t)y * 32 + x) * 4];
                bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                // Each glyph's first column is its transparent marker column.
                bool marker_column = inside && (x - c.left) % (strlen(c.text) == 4 ? 5 : 10) == 0;
                if (inside && !marker_column) {
                    ASSERT_EQ(p[3], 255) << x << "," << y;
                    ASSERT_EQ(p[1], 0) << x << "," << y;   // the black digit
                } else {
                    ASSERT_EQ(p[3], 0) << x << "," << y;
                    ASSERT_EQ(p[1], 255) << x << "," << y;
                }
            }
    }
    // Half the given alpha blends by the formula: the black digit over
    // white keeps half of the white, and alpha is a half squared.
    std::vector<uint8_t> plate = flat_pixels(32, 32, 4, {255, 255, 255, 0});
    text_rasterise(plate.data(), 32, 32, 1, 0, 0, 0.5f, "1");
    const uint8_t *p = &plate[((size_t)16 * 32 + 16) * 4];
    EXPECT_EQ(p[0], 128);
    EXPECT_EQ(p[1], 128);
    EXPECT_EQ(p[3], 64);
}

TEST_F(Fonts, PlateTexturesFadeAtEveryLevel)
{
    load_text_font();
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    int id = make_text_texture("7", 32, 32, black, white);
    ASSERT_NE(id, 0);
    glBindTexture(GL_TEXTURE_2D, (GLuint)id);
    for (int level = 0; level < 5; level++) {
        int side = 32 >> level;
        std::vector<uint8_t> pixels((size_t)side * side * 4);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        for (int i = 0; i < side; i++) {
            for (int edge : {i, (side - 1) * side + i, i * side, i * side + side - 1}) {
                ASSERT_EQ(pixels[4 * (size_t)edge + 3], 0) << level << " " << edge;
            }
        }
        if (side > 4) {
            EXPECT_EQ(pixels[4 * ((size_t)side / 2 * side + side / 2) + 3], 255) << level;
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    delete_texture(id);
}
