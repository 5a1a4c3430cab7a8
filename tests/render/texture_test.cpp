// The texture cache and uploads on llvmpipe: every file format read back
// from the screen, the cache's cases, compression by version, the border
// colour, links, the size limit and refused uploads.
#include "render/texture.h"

#include "gl_fixture.h"
#include "render/animated_texture.h"
#include "render/image.h"
#include "render/render_settings.h"

#include <array>
#include <functional>

namespace {

struct Textures : GlTest {
    void TearDown() override
    {
        texture_detail = 1;
        texture_compression = 1;
        texture_generation = 0;
        texture_memory_used = 0;
        debug_level = 0;
        GlTest::TearDown();
    }
};

// An image written in one format, and the RGB(A) its texels should hold.
struct FormatCase {
    const char *name;
    int channels;   // of the texels
    std::function<std::string(const std::vector<uint8_t> &)> encode;
};

std::string p3_bytes(int w, int h, const std::vector<uint8_t> &rgb)
{
    std::string text = "P3\n# text\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (uint8_t v : rgb)
        text += std::to_string(v) + " ";
    return text;
}

std::vector<uint8_t> drop_alpha(const std::vector<uint8_t> &rgba)
{
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    return rgb;
}

} // namespace

TEST_F(Textures, EveryFormatDrawsItsTexels)
{
    const int W = 8, H = 8;
    std::vector<uint8_t> rgba = pattern_pixels(W, H, 4, 3);
    for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;   // opaque: the frame shows colours as they are
    std::vector<uint8_t> rgb = drop_alpha(rgba);
    const FormatCase cases[] = {
        {"@a.j7", 4, [&](auto &) { return raw_image_bytes("J7", W, H, 4, rgba); }},
        {"@a.j6", 3, [&](auto &) { return raw_image_bytes("J6", W, H, 3, rgb); }},
        {"@a.ppm", 3, [&](auto &) { return ppm_bytes(W, H, rgb); }},
        {"@b.ppm", 3, [&](auto &) { return p3_bytes(W, H, rgb); }},
        {"@a.png", 3, [&](auto &) { return png_bytes(W, H, 3, rgb); }},
        {"@b.png", 4, [&](auto &) { return png_bytes(W, H, 4, rgba); }},
    };
    for (const FormatCase &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(test_data_dir() + (c.name + 1), c.encode(rgba));
        int id = load_texture(c.name);
        ASSERT_NE(id, 0);
        clear(0.5f, 0.5f, 0.5f);
        draw_texture(id, W, H);
        std::vector<uint8_t> shown = read_back(0, 0, W, H);
        for (int i = 0; i < W * H; i++)
            for (int k = 0; k < 3; k++)
                ASSERT_EQ(shown[4 * i + k], rgb[3 * i + k]) << "pixel " << i << " channel " << k;
        GLint internal = 0;
        glBindTexture(GL_TEXTURE_2D, (GLuint)id);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
        EXPECT_EQ(internal, c.channels == 4 ? GL_RGBA : GL_RGB);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

TEST_F(Textures, TheCacheCases)
{
    struct Case {
        const char *what;
        std::function<void()> arrange;
        const char *load;          // asked for
        const char *cached;        // name kept for the id
        int width, height;         // level 0 as uploaded
        const char *message;       // the last message line, or null
    } cases[] = {
        {"case mismatch",
         [] {
             write_file(test_data_dir() + "rider.png", png_bytes(8, 8, 3, pattern_pixels(8, 8, 3)));
             load_texture("@rider.png");
         },
         "@Rider.png", "@rider.png", 8, 8, "Warning: case mismatch on '@Rider.png'"},
        {"'!' keeps every level and is cached without it",
         [] {
             texture_detail = 2;
             write_file(test_data_dir() + "sky.png", png_bytes(256, 256, 3, pattern_pixels(256, 256, 3)));
         },
         "!@sky.png", "@sky.png", 256, 256, nullptr},
        {"a flat picture shrinks to 16x16",
         [] { write_file(test_data_dir() + "flat.png", png_bytes(1024, 1024, 3, flat_pixels(1024, 1024, 3, {90, 120, 30}))); },
         "@flat.png", "@flat.png", 16, 16, "@flat.png reduced to 16x16 (originally 1024x1024)"},
        {"the detail drop stops at 128",
         [] {
             texture_detail = 4;
             write_file(test_data_dir() + "wide.png", png_bytes(512, 256, 3, pattern_pixels(512, 256, 3)));
         },
         "@wide.png", "@wide.png", 256, 128, nullptr},
        {"a side of 200 becomes 128 with a warning",
         [] { write_file(test_data_dir() + "odd.png", png_bytes(200, 200, 3, pattern_pixels(200, 200, 3))); },
         "@odd.png", "@odd.png", 128, 128, "Warning: Non power of 2 texture '@odd.png'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        texture_detail = 1;
        c.arrange();
        int before = message_log.next_line;
        int id = load_texture(c.load);
        ASSERT_NE(id, 0);
        EXPECT_STREQ(get_texture_name(id), c.cached);
        EXPECT_EQ(load_texture(c.cached), id);
        int w, h;
        level_size(id, 0, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        if (c.message) {
            ASSERT_GT(message_log.next_line, before);
            EXPECT_STREQ(message_log.lines[message_log.next_line - 1], c.message);
        } else {
            EXPECT_EQ(message_log.next_line, before) << message_lines_text();
        }
    }
}

TEST_F(Textures, ALinkToNothingLoadsWhiteNextTime)
{
    write_file(test_data_dir() + "colors/white.png", png_bytes(4, 4, 3, flat_pixels(4, 4, 3, {255, 255, 255})));
    write_file(test_data_dir() + "broken.link", "LINK\n  @gone.png  \n");
    EXPECT_EQ(load_texture("@broken.link"), 0);
    int white = load_texture("@broken.link");
    EXPECT_NE(white, 0);
    EXPECT_EQ(white, load_texture("@colors/white.png"));

    // A good link: the id of its target, cached under the target's name only.
    write_file(test_data_dir() + "stone.png", png_bytes(4, 4, 3, pattern_pixels(4, 4, 3)));
    write_file(test_data_dir() + "stone.link", "LINK !@stone.png\n");
    int stone = load_texture("@stone.link");
    EXPECT_NE(stone, 0);
    EXPECT_STREQ(get_texture_name(stone), "@stone.png");
    EXPECT_EQ(load_texture("@stone.link"), stone);
}

TEST_F(Textures, LinkChainsStopAtTheirDepthLimit)
{
    write_file(test_data_dir() + "end.png", png_bytes(4, 4, 3, pattern_pixels(4, 4, 3)));
    auto chain = [](const std::string &prefix, int links) {
        for (int i = 0; i < links; i++) {
            std::string next = i + 1 < links ? "@" + prefix + std::to_string(i + 1) : "@end.png";
            write_file(test_data_dir() + prefix + std::to_string(i), "LINK " + next + "\n");
        }
    };
    chain("short", TEXTURE_LINK_DEPTH_LIMIT);
    chain("long", TEXTURE_LINK_DEPTH_LIMIT + 1);
    EXPECT_NE(load_texture("@short0"), 0);
    EXPECT_EQ(load_texture("@long0"), 0);
    // A link to itself fails the same way instead of exhausting the stack.
    write_file(test_data_dir() + "loop", "LINK @loop\n");
    EXPECT_EQ(load_texture("@loop"), 0);
}

TEST_F(Textures, GenerationsMemoryAndThePartialFree)
{
    std::vector<uint8_t> pixels = pattern_pixels(4, 4, 4);
    for (const char *name : {"a.png", "b.png", "c.png", "d.png"})
        write_file(test_data_dir() + name, png_bytes(4, 4, 4, pixels));
    const long bytes = (16 + 4 + 1) * 4;   // 4x4, 2x2 and 1x1
    int a = load_texture("@a.png");        // start-up: generation 0
    EXPECT_EQ(texture_memory_used, bytes);
    texture_generation = 1;
    int b = load_texture("@b.png");
    int c = load_texture("@c.png");
    int d = load_texture("@d.png");
    EXPECT_EQ(texture_memory_used, 4 * bytes);

    // The next race reuses b only.
    texture_generation = 2;
    texture_memory_used = 0;
    EXPECT_EQ(load_texture("@b.png"), b);
    EXPECT_EQ(load_texture("@a.png"), a);   // generation 0 is not counted again
    EXPECT_EQ(texture_memory_used, bytes);
    debug_level = 1;
    free_textures(0);
    EXPECT_STREQ(get_texture_name(a), "@a.png");
    EXPECT_STREQ(get_texture_name(b), "@b.png");
    EXPECT_EQ(get_texture_name(c), nullptr);
    EXPECT_EQ(get_texture_name(d), nullptr);
    EXPECT_EQ(glIsTexture((GLuint)d), GL_FALSE);
    char line[64];
    snprintf(line, sizeof line, "deleting tid %d (@d.png)", d);
    EXPECT_EQ(count_message(line), 1);

    // A later race that reuses only its newest texture: the unused b behind
    // it stays loaded.
    texture_generation = 3;
    int e = load_texture("@c.png");
    texture_generation = 4;
    EXPECT_EQ(load_texture("@c.png"), e);
    free_textures(0);
    EXPECT_STREQ(get_texture_name(e), "@c.png");
    EXPECT_STREQ(get_texture_name(b), "@b.png");
}

TEST_F(Textures, CompressionNeedsOpenGl2)
{
    ASSERT_GE(gl_info.major, 2);
    std::vector<uint8_t> pixels = pattern_pixels(64, 64, 3);
    struct Case {
        const char *name;
        const char *info;
        int compression, major, compressed;
    } cases[] = {
        {"@c1.png", "[compress]", 1, 4, 1},
        {"@c2.png", "[compress]", 1, 1, 0},
        {"@c3.png", "", 1, 4, 0},
        {"@c4.png", "", 2, 4, 1},
        {"@c5.png", "[compress]", 0, 4, 0},
    };
    int real_major = gl_info.major;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(test_data_dir() + (c.name + 1), png_bytes(64, 64, 3, pixels));
        write_file(test_data_dir() + (c.name + 1) + ".info", c.info);
        texture_compression = c.compression;
        gl_info.major = c.major;
        long before = texture_memory_used;
        int id = load_texture(c.name);
        gl_info.major = real_major;
        ASSERT_NE(id, 0);
        GLint compressed = -1;
        glBindTexture(GL_TEXTURE_2D, (GLuint)id);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &compressed);
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(compressed, c.compressed);
        long plain = (long)mip_chain_bytes(64, 64, 3);   // every level counted plainly
        long counted = texture_memory_used - before;
        if (c.compressed)
            EXPECT_LT(counted, plain);
        else
            EXPECT_EQ(counted, plain);
    }
}

TEST(TextureBorder, MostFrequentEdgeCell)
{
    struct Case {
        const char *what;
        int width, height;
        std::vector<uint8_t> fill;                 // the whole image
        std::vector<std::array<int, 5>> paint;     // x, y, r, g, b
        float expected[3];
    } cases[] = {
        {"one colour", 4, 4, {255, 0, 0}, {}, {1, 0, 0}},
        {"quantised to sevenths", 4, 4, {128, 37, 255}, {}, {3 / 7.0f, 1 / 7.0f, 1}},
        {"the inside does not count", 4, 4, {0, 0, 255}, {{1, 1, 255, 255, 255}, {2, 2, 255, 255, 255}, {1, 2, 255, 255, 255}}, {0, 0, 1}},
        // Blue corners: 8 counts against 4 of green; counted once they would
        // tie, and the tie would go to green.
        {"corners count twice", 3, 3, {0, 255, 0}, {{0, 0, 0, 0, 255}, {2, 2, 0, 0, 255}, {2, 0, 0, 0, 255}, {0, 2, 0, 0, 255}}, {0, 0, 1}},
        // A tie keeps the first cell met: blue outermost, red innermost.
        {"ties keep the first cell", 2, 1, {0, 0, 0}, {{0, 0, 255, 0, 0}, {1, 0, 0, 255, 0}}, {1, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> pixels = flat_pixels(c.width, c.height, 3, c.fill);
        for (const auto &p : c.paint)
            for (int k = 0; k < 3; k++)
                pixels[((size_t)p[1] * c.width + p[0]) * 3 + k] = (uint8_t)p[2 + k];
        float colour[4];
        texture_border_colour(pixels.data(), c.width, c.height, colour);
        for (int k = 0; k < 3; k++)
            EXPECT_FLOAT_EQ(colour[k], c.expected[k]) << k;
        EXPECT_EQ(colour[3], 0.0f);
    }
}

TEST_F(Textures, UploadsWithinTheDriversLimits)
{
    // Past the size limit: the first level that fits is level 0.
    std::vector<uint8_t> big(mip_chain_bytes(64, 32, 4));
    build_rgba_mipmaps(big.data(), 64, 32);
    int real_limit = gl_info.max_texture_size;
    gl_info.max_texture_size = 16;
    int id = upload_texture(big.data(), 64, 32, 4, 0);
    ASSERT_NE(id, 0);
    int w, h;
    level_size(id, 0, &w, &h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);

    // A size the driver refuses: nothing is kept and nothing counted.
    gl_info.max_texture_size = 1 << 20;
    int side = real_limit * 2;
    std::vector<uint8_t> wide(mip_chain_bytes(side, 1, 3));
    long before = texture_memory_used;
    EXPECT_EQ(upload_texture(wide.data(), side, 1, 3, 0), 0);
    EXPECT_EQ(texture_memory_used, before);
    gl_info.max_texture_size = real_limit;

    // Bad arguments give 0.
    EXPECT_EQ(upload_texture(nullptr, 4, 4, 4, 0), 0);
    EXPECT_EQ(upload_texture(big.data(), 4, 4, 2, 0), 0);
    EXPECT_EQ(upload_texture(big.data(), -4, 4, 4, 0), 0);
}

TEST(TexturesHeadless, NoContextNoTexture)
{
    write_file(test_data_dir() + "t.png", png_bytes(4, 4, 3, pattern_pixels(4, 4, 3)));
    EXPECT_EQ(load_texture("@t.png"), 0);
    EXPECT_EQ(get_texture_name(0), nullptr);
    uint8_t pixels[4 * 4 * 4 * 2] = {};
    EXPECT_EQ(make_texture(pixels, 4, 4, 4), 0);
    EXPECT_EQ(generate_framebuffer(), 0);
    free_textures(1);
}
