// Animated textures on llvmpipe: the frame timing read back from the
// texture, no upload while the image stays, custom frames pasted with their
// clip and blend rules, and sequence files refused whole.
#include "render/animated_texture.h"

#include "gl_fixture.h"
#include "render/render_settings.h"
#include "render/texture.h"

#include <cmath>

namespace {

std::vector<uint8_t> colour_of(int k)
{
    return {(uint8_t)(40 * k + 20), (uint8_t)(200 - 30 * k), (uint8_t)(k * 7), 255};
}

// A sequence of `images` flat 4x4 J7 images (image k in colour_of(k)).
std::string flat_sequence(const std::string &frames, int count, int images, int tics, int loop)
{
    std::string text = "ANIM1 " + std::to_string(count) + " " + std::to_string(images) + " " +
                       std::to_string(tics) + " " + std::to_string(loop) + "\n" + frames + "\n";
    for (int k = 0; k < images; k++)
        text += raw_image_bytes("J7", 4, 4, 4, flat_pixels(4, 4, 4, colour_of(k)));
    return text;
}

struct Animations : GlTest {
    void TearDown() override
    {
        texture_generation = 0;
        GlTest::TearDown();
    }
    // The colour of the texture's level.
    std::vector<uint8_t> texel(int id, int level = 0)
    {
        int w, h;
        level_size(id, level, &w, &h);
        std::vector<uint8_t> pixels((size_t)w * h * 4);
        glBindTexture(GL_TEXTURE_2D, (GLuint)id);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4);
    }
};

} // namespace

TEST_F(Animations, FramesFollowTheTics)
{
    write_file(test_data_dir() + "loop.seq", flat_sequence("0 1 2 3", 4, 4, 8, 1));
    write_file(test_data_dir() + "once.seq", flat_sequence("0 1 2 3", 4, 4, 8, 0));
    int loop = load_texture("@loop.seq");
    int once = load_texture("@once.seq");
    ASSERT_NE(loop, 0);
    ASSERT_NE(once, 0);
    EXPECT_STREQ(get_texture_name(loop), "@loop.seq");
    EXPECT_EQ(texel(loop), colour_of(0));
    EXPECT_EQ(start_texture_animation(loop, 100), loop);
    EXPECT_EQ(start_texture_animation(once, 100), once);
    EXPECT_EQ(start_texture_animation(12345, 100), 0);
    struct Case {
        int time, loop_entry, once_entry;
    } cases[] = {
        {100, 0, 0}, {107, 0, 0}, {108, 1, 1}, {110, 1, 1}, {124, 3, 3}, {131, 3, 3},
        {132, 0, 3}, {140, 1, 3}, {2000000000, 2000000000LL - 100 < 0 ? 0 : (int)(((2000000000LL - 100) / 8) % 4), 3},
        {50, 0, 0},   // before the start: entry 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.time);
        animate_textures(c.time);
        EXPECT_EQ(texel(loop), colour_of(c.loop_entry));
        EXPECT_EQ(texel(loop, 2), colour_of(c.loop_entry));   // every level
        EXPECT_EQ(texel(once), colour_of(c.once_entry));
    }
    // A negative time does nothing; a stopped animation keeps its picture.
    animate_textures(110);
    animate_textures(-5);
    EXPECT_EQ(texel(loop), colour_of(1));
    stop_texture_animation(loop);
    animate_textures(116);
    EXPECT_EQ(texel(loop), colour_of(1));
    EXPECT_EQ(texel(once), colour_of(2));
    // A start far in the past subtracts without overflow.
    start_texture_animation(once, -2147483647 - 1);
    animate_textures(2147483647);
    EXPECT_EQ(texel(once), colour_of(3));
}

TEST_F(Animations, NoUploadWhileTheImageStays)
{
    write_file(test_data_dir() + "slow.seq", flat_sequence("0 0 0 1 1", 5, 2, 1, 1));
    int id = load_texture("@slow.seq");
    ASSERT_NE(id, 0);
    long uploads = animation_frame_uploads;
    int expected[] = {0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 4};   // images 0 0 0 1 1, repeating
    for (int t = 0; t <= 10; t++) {
        animate_textures(t);
        EXPECT_EQ(animation_frame_uploads - uploads, expected[t]) << t;
    }
}

TEST_F(Animations, SequencesWithPngFramesAreReducedToTheFrameLimit)
{
    write_file(test_data_dir() + "big.png", png_bytes(512, 512, 3, pattern_pixels(512, 512, 3)));
    write_file(test_data_dir() + "big2.png", png_bytes(512, 512, 3, pattern_pixels(512, 512, 3, 5)));
    write_file(test_data_dir() + "big.seq", "ANIM1 2 2 4 1\n1 0\nPNG  @big.png  \nPNG @big2.png\n");
    int id = load_texture("@big.seq");
    ASSERT_NE(id, 0);
    const AnimatedTexture *a = find_animation(id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->images[0].width, 256);
    EXPECT_EQ(a->images[0].channels, 3);
    EXPECT_EQ(a->current_image, 1);
    int w, h;
    level_size(id, 0, &w, &h);
    EXPECT_EQ(w, 256);
    // No non-power-of-two warning and no reduction message for animations.
    EXPECT_EQ(message_log.next_line, 0) << message_lines_text();
}

TEST_F(Animations, SequenceFilesAreRefusedWhole)
{
    std::string j7 = raw_image_bytes("J7", 4, 4, 4, flat_pixels(4, 4, 4, {1, 2, 3, 4}));
    std::string j7_wide = raw_image_bytes("J7", 8, 4, 4, flat_pixels(8, 4, 4, {1, 2, 3, 4}));
    write_file(test_data_dir() + "rgb.png", png_bytes(4, 4, 3, pattern_pixels(4, 4, 3)));
    struct Case {
        const char *what;
        std::string text;
        const char *message;   // or null
    } cases[] = {
        {"tics per frame 0", "ANIM1 1 1 0 1\n0\n" + j7, nullptr},
        {"negative tics", "ANIM1 1 1 -3 1\n0\n" + j7, nullptr},
        {"frame entry past the images", "ANIM1 2 1 4 1\n0 1\n" + j7, nullptr},
        {"negative frame entry", "ANIM1 1 1 4 1\n-1\n" + j7, nullptr},
        {"no frames", "ANIM1 0 1 4 1\n" + j7, nullptr},
        {"absurd frame count", "ANIM1 2000000000 1 4 1\n0\n", nullptr},
        {"absurd image count", "ANIM1 1 2000000000 4 1\n0\n", nullptr},
        {"short header", "ANIM1 1 1 4\n", nullptr},
        {"short frame list", "ANIM1 3 1 4 1\n0 0", nullptr},
        {"missing image", "ANIM1 1 2 4 1\n0\n" + j7, nullptr},
        {"other word", "ANIM1 1 1 4 1\n0\nJ6 4 4\n", "Error reading .seq frame 0"},
        {"broken J7", "ANIM1 1 2 4 1\n0\n" + j7 + "J7 4 4\nab", "Error reading .seq frame 1"},
        {"PNG without a name line", "ANIM1 1 1 4 1\n0\nPNG", "EOF while reading .seq"},
        {"PNG that cannot be read", "ANIM1 1 1 4 1\n0\nPNG @nope.png\n", "Can't read @nope.png"},
        {"sizes differ", "ANIM1 1 2 4 1\n0\n" + j7 + j7_wide, "Width/height mismatch reading .seq"},
        {"channels differ", "ANIM1 1 2 4 1\n0\n" + j7 + "PNG @rgb.png\n", "Depth mismatch reading .seq"},
    };
    int animations = animated_texture_table.count;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int before = message_log.next_line;
        write_file(test_data_dir() + "bad.seq", c.text);
        EXPECT_EQ(load_texture("@bad.seq"), 0);
        EXPECT_EQ(animated_texture_table.count, animations);
        if (c.message) {
            ASSERT_GT(message_log.next_line, before);
            EXPECT_STREQ(message_log.lines[before], c.message);
        } else {
            EXPECT_EQ(message_log.next_line, before) << message_lines_text();
        }
    }
}

namespace {

// 64x64 images whose pixels name their place: red x * 4, green y * 4,
// blue the image, alpha 255.
std::string placed_sequence(int images)
{
    std::string text = "ANIM1 1 " + std::to_string(images) + " 4 1\n0\n";
    for (int k = 0; k < images; k++) {
        std::vector<uint8_t> pixels((size_t)64 * 64 * 4);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                uint8_t *p = &pixels[((size_t)y * 64 + x) * 4];
                p[0] = (uint8_t)(x * 4);
                p[1] = (uint8_t)(y * 4);
                p[2] = (uint8_t)k;
                p[3] = 255;
            }
        text += raw_image_bytes("J7", 64, 64, 4, pixels);
    }
    return text;
}

} // namespace

TEST_F(Animations, PastesClipToTheFrame)
{
    write_file(test_data_dir() + "placed.seq", placed_sequence(2));
    int id = load_texture("@placed.seq");
    ASSERT_NE(id, 0);
    const AnimatedTexture *a = find_animation(id);
    EXPECT_EQ(paste_custom_texture_frame(id, 0, 0, 0, 0, 0, 1, 1), 0);   // nothing begun
    ASSERT_EQ(begin_custom_texture_frame(id), 1);
    struct Case {
        const char *what;
        int image;
        float sx, sy, dx, dy, w, h;
        int pasted;
        int x0, y0, x1, y1, from_x, from_y;   // destination rectangle and its source corner
    } cases[] = {
        {"whole", 1, 0, 0, 0, 0, 1, 1, 1, 0, 0, 64, 64, 0, 0},
        {"source left of the image", 0, -0.25f, 0, 0, 0, 1, 1, 1, 16, 0, 64, 64, 0, 0},
        {"destination left of the frame", 0, 0, 0, -0.25f, 0, 1, 1, 1, 0, 0, 48, 64, 16, 0},
        {"source above", 0, 0, -0.5f, 0, 0, 1, 1, 1, 0, 32, 64, 64, 0, 0},
        {"a quarter", 0, 0.5f, 0.5f, 0, 0, 0.25f, 0.25f, 1, 0, 0, 16, 16, 32, 32},
        {"cut by the far side", 0, 0.75f, 0, 0.5f, 0, 0.5f, 1, 1, 32, 0, 48, 64, 48, 0},
        {"halves round down", 0, 0.5f / 64, 1.5f / 64, 0, 0, 2.0f / 64, 2.0f / 64, 1, 0, 0, 2, 2, 0, 1},
        {"source past the image", 0, 1.0f, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"destination past the frame", 0, 0, 0, 0, 1.2f, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"no width", 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        {"clipped away", 0, -2, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"NaN", 0, NAN, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"huge", 0, 0, 0, 0, 0, 1e30f, 1, 0, 0, 0, 0, 0, 0, 0},
        {"huge negative", 0, -1e30f, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"image index = count", 2, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"negative image index", -1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(begin_custom_texture_frame(id), 1);
        EXPECT_EQ(paste_custom_texture_frame(id, c.image, c.sx, c.sy, c.dx, c.dy, c.w, c.h), c.pasted);
        int wrong = 0;
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                const uint8_t *p = a->custom_frame + ((size_t)y * 64 + x) * 4;
                bool inside = c.pasted && x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                uint8_t expected[4] = {0, 0, 0, 0};
                if (inside) {
                    expected[0] = (uint8_t)((c.from_x + x - c.x0) * 4);
                    expected[1] = (uint8_t)((c.from_y + y - c.y0) * 4);
                    expected[2] = (uint8_t)c.image;
                    expected[3] = 255;
                }
                wrong += memcmp(p, expected, 4) != 0;
            }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_EQ(paste_custom_texture_frame(999, 0, 0, 0, 0, 0, 1, 1), 0);
}

TEST_F(Animations, PastesBlendByAlpha)
{
    const std::vector<uint8_t> colours[] = {
        {100, 100, 100, 255}, {200, 50, 0, 128}, {9, 9, 9, 0}, {255, 0, 0, 64}};
    std::string text = "ANIM1 1 4 4 1\n0\n";
    for (const auto &c : colours)
        text += raw_image_bytes("J7", 4, 4, 4, flat_pixels(4, 4, 4, c));
    write_file(test_data_dir() + "blend.seq", text);
    int id = load_texture("@blend.seq");
    ASSERT_NE(id, 0);
    const AnimatedTexture *a = find_animation(id);
    struct Case {
        const char *what;
        std::vector<int> images;   // pasted in order over a cleared frame
        uint8_t expected[4];
    } cases[] = {
        {"over nothing: copied", {1}, {200, 50, 0, 128}},
        {"half over opaque", {0, 1}, {150, 74, 49, 255}},
        {"transparent over opaque: kept", {0, 2}, {100, 100, 100, 255}},
        {"transparent over nothing: copied", {2}, {9, 9, 9, 0}},
        {"opaque over anything: copied", {1, 0}, {100, 100, 100, 255}},
        {"partial over partial", {1, 3}, {222, 29, 0, 159}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(begin_custom_texture_frame(id), 1);
        for (int image : c.images)
            ASSERT_EQ(paste_custom_texture_frame(id, image, 0, 0, 0, 0, 1, 1), 1);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(a->custom_frame[k], c.expected[k]) << k;
    }
    // Ending uploads the frame with its chain; the image index stays.
    ASSERT_EQ(begin_custom_texture_frame(id), 1);
    ASSERT_EQ(paste_custom_texture_frame(id, 3, 0, 0, 0, 0, 1, 1), 1);
    EXPECT_EQ(end_custom_texture_frame(id), 1);
    EXPECT_EQ(a->current_image, 0);
    EXPECT_EQ(texel(id), std::vector<uint8_t>({255, 0, 0, 64}));
    EXPECT_EQ(texel(id, 2), std::vector<uint8_t>({255, 0, 0, 64}));
    EXPECT_EQ(end_custom_texture_frame(999), 0);
    EXPECT_EQ(begin_custom_texture_frame(999), 0);
}

TEST_F(Animations, FreedWithTheirTexture)
{
    write_file(test_data_dir() + "a.seq", flat_sequence("0 1", 2, 2, 4, 1));
    write_file(test_data_dir() + "b.seq", flat_sequence("1 0", 2, 2, 4, 1));
    int a = load_texture("@a.seq");   // generation 0
    texture_generation = 1;
    int b = load_texture("@b.seq");
    ASSERT_NE(find_animation(b), nullptr);
    begin_custom_texture_frame(b);
    texture_generation = 2;
    debug_level = 1;
    free_textures(0);
    debug_level = 0;
    EXPECT_NE(find_animation(a), nullptr);
    EXPECT_EQ(find_animation(b), nullptr);
    char line[64];
    snprintf(line, sizeof line, "deleting anim 1 for tid %d", b);
    EXPECT_EQ(count_message(line), 1);
    animate_textures(10);   // the remaining one still steps
    EXPECT_EQ(texel(a), colour_of(0));
    animate_textures(4);
    EXPECT_EQ(texel(a), colour_of(1));
}
