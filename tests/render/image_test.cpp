// Image files: PPM/PGM edge cases, raw predicted images, mip chains and
// downsampling, PNG reading and writing, the image cache and name suffixes.
#include "render/image.h"

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <png.h>

#include <random>

#include <cstdio>
#include <cstring>

struct Image {
    uint8_t *pixels = nullptr;
    int width = -7, height = -7, channels = 0;
    ~Image() { checked_free(pixels); }
};

// Reads a file written under the game data with one of the open-file readers.
static int read_with(const std::string &bytes, int (*reader)(GameFile *, uint8_t **, int *, int *), Image *image)
{
    write_file(test_data_dir() + "image.bin", bytes);
    GameFile *file = file_open("@image.bin", "rb");
    if (!file)
        return -1;
    int ok = reader(file, &image->pixels, &image->width, &image->height);
    file_close(file);
    return ok;
}

TEST(ImageFiles, PortableFormatEdgeCases)
{
    struct Case {
        const char *name;
        std::string bytes;
        bool pgm;
        int ok;
        std::vector<int> first;   // first samples expected when read
    } cases[] = {
        {"binary", "P6\n2 1\n255\n" + std::string("\x01\x02\x03\xfa\xfb\xfc", 6), false, 1, {1, 2, 3, 250}},
        {"comments", "P6 # size next\n# more\n2 1 255\n" + std::string(6, 'A'), false, 1, {65}},
        {"text scaled", "P3 1 1 15 15 0 7", false, 1, {255, 0, 119}},
        {"text out of range", "P3 1 1 15 99 -3 x", false, 1, {147, 205, 239}},   // 1683, -51, -17 as bytes
        {"text ends early", "P3 2 1 255 7 8", false, 1, {7, 8, 255, 255, 255, 255}},
        {"text stops at a stray byte", "P3 2 1 255 7 x 9 9 9 9", false, 1, {7, 255, 255, 255, 255, 255}},
        {"text sign alone then numbers", "P3 1 1 255 - 5 6", false, 1, {255, 5, 6}},
        {"text sign before a comment", "P3 1 1 255 -# note\n5 6", false, 1, {255, 5, 6}},
        {"sixteen-bit binary", "P6 1 1 65535\n" + std::string("\xff\xff\x80\x00\x00\x01", 6), false, 1, {255, 127, 0}},
        // Binary samples above the maximum count as the maximum (not 510 as a byte).
        {"binary above the maximum", "P6 1 1 100\n" + std::string("\xc8\x32\x64", 3), false, 1, {255, 127, 255}},
        {"sixteen-bit above the maximum", "P6 1 1 1000\n" + std::string("\x07\xd0\x01\xf4\x03\xe8", 6), false, 1,
         {255, 127, 255}},
        {"maximum zero", "P6 1 1 0\n" + std::string(3, 'A'), false, 0, {}},
        {"negative width", "P6 -1 1 255\nAAA", false, 0, {}},
        {"zero height", "P6 1 0 255\n", false, 0, {}},
        {"short data", "P6 2 2 255\n" + std::string(11, 'A'), false, 0, {}},
        {"huge", "P6 100000 100000 255\nAAA", false, 0, {}},
        {"missing number", "P6 2\n", false, 0, {}},
        {"other word", "P5 1 1 255\nA", false, 0, {}},
        {"grey binary", "P5 3 1 255\n" + std::string("\x00\x80\xff", 3), true, 1, {0, 128, 255}},
        {"grey text", "P2 2 1 100 100 50", true, 1, {255, 127}},
        {"grey short", "P5 3 1 255\nAB", true, 0, {}},
        {"grey sixteen-bit", "P5 2 1 1023\n" + std::string("\x03\xff\x01\x00", 4), true, 1, {255, 63}},
        {"grey above the maximum", "P5 2 1 200\n" + std::string("\xff\x64", 2), true, 1, {255, 127}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        int ok = read_with(c.bytes, c.pgm ? read_pgm : read_rgb_image, &image);
        EXPECT_EQ(ok, c.ok);
        if (!ok) {
            EXPECT_EQ(image.pixels, nullptr);
            continue;
        }
        for (size_t i = 0; i < c.first.size(); i++)
            EXPECT_EQ(image.pixels[i], c.first[i]) << i;
    }
}

TEST(ImageFiles, TextImageThatEndsEarlyIsNotReadSampleBySample)
{
    // A text image may end early: once no later sample can be read the rest
    // are -1 (byte 255) at once (reading on would take minutes).
    for (const char *tail : {"", " x", " -x"}) {
        SCOPED_TRACE(tail);
        Image image;
        ASSERT_EQ(read_with(std::string("P3 512 512 255 1 2 3") + tail, read_rgb_image, &image), 1);
        ASSERT_EQ(image.width, 512);
        ASSERT_EQ(image.height, 512);
        EXPECT_EQ(image.pixels[0], 1);
        EXPECT_EQ(image.pixels[2], 3);
        size_t last = (size_t)512 * 512 * 3 - 1;
        int other = 0;
        for (size_t i = 3; i <= last; i += 509)
            other += image.pixels[i] != 255;
        EXPECT_EQ(other, 0);
        EXPECT_EQ(image.pixels[last], 255);
    }
}

TEST(ImageFiles, HeadersDeclaringMoreThanTheFileHoldsAreRefused)
{
    // Each header declares an image its file cannot hold (a text image may
    // miss 2^20 samples at most); the next case gives the file what it needs.
    std::string row = std::string(3 * 1000, 'A');
    struct Case {
        const char *name;
        std::string bytes;
        bool pgm;
        int ok;
    } cases[] = {
        {"text ends far too early", "P3 4096 4096 255 1 2 3", false, 0},
        {"text grey ends far too early", "P2 8192 8192 255 1 2 3", true, 0},
        {"text just within the allowance", "P2 1024 1024 255 9", true, 1},
        {"binary one byte short", "P6 1000 1 255\n" + row.substr(1), false, 0},
        {"binary whole", "P6 1000 1 255\n" + row, false, 1},
        {"binary wide short", "P6 1000 1 65535\n" + row, false, 0},
        {"grey binary short", "P5 30000 30000 255\nAB", true, 0},
        {"raw short", "J6 1000 1\n" + row.substr(1), false, 0},
        {"raw whole", "J6 1000 1\n" + row, false, 1},
        {"raw huge", "J7 16384 16384\n" + row, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        EXPECT_EQ(read_with(c.bytes, c.pgm ? read_pgm : read_rgb_image, &image), c.ok);
        EXPECT_EQ(image.pixels != nullptr, c.ok == 1);
    }
    // Through gzip the bound is what the compressed bytes can inflate to.
    write_file(test_data_dir() + "image.bin.gz", gzip_bytes("J6 1000 1\n" + row));
    remove((test_data_dir() + "image.bin").c_str());
    Image packed;
    GameFile *file = file_open("@image.bin", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_rgb_image(file, &packed.pixels, &packed.width, &packed.height), 1);
    file_close(file);
    write_file(test_data_dir() + "image.bin.gz", gzip_bytes("J6 20000 20000\n" + row));
    file = file_open("@image.bin", "rb");
    ASSERT_NE(file, nullptr);
    Image refused;
    EXPECT_EQ(read_rgb_image(file, &refused.pixels, &refused.width, &refused.height), 0);
    file_close(file);
}

TEST(ImageFiles, PngSidesStopAtTheLargestTexture)
{
    for (int width : {(int)IMAGE_MAX_TEXTURE_SIDE, (int)IMAGE_MAX_TEXTURE_SIDE + 1}) {
        SCOPED_TRACE(width);
        std::vector<uint8_t> rgb((size_t)width * 3, 90);
        std::vector<uint16_t> grey((size_t)width, 300);
        ASSERT_EQ(write_png_rgb("@wide_rgb.png", rgb.data(), width, 1), 1);
        ASSERT_EQ(write_png_gray16("@wide_grey.png", grey.data(), width, 1), 1);
        int fits = width <= IMAGE_MAX_TEXTURE_SIDE;
        Image image;
        EXPECT_EQ(load_png_texture_image("@wide_rgb.png", &image.pixels, &image.width, &image.height,
                                         &image.channels, nullptr), fits);
        uint16_t *samples = nullptr;
        int w = 0, h = 0;
        EXPECT_EQ(read_png("@wide_grey.png", &samples, &w, &h), fits);
        checked_free(samples);
    }
}

// The residual bytes of a raw predicted image of the given pixels.
static std::string encode_raw(const char *word, const std::vector<uint8_t> &rgba, int width, int height, int stored)
{
    std::string bytes = std::string(word) + " " + std::to_string(width) + " " + std::to_string(height) + "\n";
    auto at = [&](int x, int y, int c) { return (int)rgba[((size_t)y * width + x) * 4 + c]; };
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < stored; c++) {
                int p = x == 0 && y == 0 ? 0 : y == 0 ? at(x - 1, y, c) : x == 0 ? at(x, y - 1, c)
                        : std::min(255, std::max(0, at(x - 1, y, c) + at(x, y - 1, c) - at(x - 1, y - 1, c)));
                bytes += (char)((at(x, y, c) - p) & 255);
            }
    return bytes;
}

TEST(ImageFiles, RawPredictedImages)
{
    int w = 5, h = 3;
    std::vector<uint8_t> rgba((size_t)w * h * 4);
    for (size_t i = 0; i < rgba.size(); i++)
        rgba[i] = (uint8_t)(i * 37 % 251);
    auto read_raw = [&](const std::string &bytes, int channels, Image *image) {
        write_file(test_data_dir() + "raw.bin", bytes);
        GameFile *file = file_open("@raw.bin", "rb");
        char word[16];
        file_scanf(file, "%15s", word);
        int ok = read_raw_image(word, file, &image->pixels, &image->width, &image->height, channels);
        file_close(file);
        return ok;
    };
    Image j7, j6, j7as3;
    ASSERT_EQ(read_raw(encode_raw("J7", rgba, w, h, 4), 4, &j7), 1);
    ASSERT_EQ(read_raw(encode_raw("J6", rgba, w, h, 3), 4, &j6), 1);
    ASSERT_EQ(read_raw(encode_raw("J7", rgba, w, h, 4), 3, &j7as3), 1);
    for (int i = 0; i < w * h; i++) {
        for (int c = 0; c < 4; c++)
            ASSERT_EQ(j7.pixels[i * 4 + c], rgba[i * 4 + c]);
        for (int c = 0; c < 3; c++) {
            ASSERT_EQ(j6.pixels[i * 4 + c], rgba[i * 4 + c]);
            ASSERT_EQ(j7as3.pixels[i * 3 + c], rgba[i * 4 + c]);
        }
        ASSERT_EQ(j6.pixels[i * 4 + 3], 0);   // no alpha residual: 0 everywhere
    }
    // The mip chain follows: 2x1 then 1x1, plain averages for 3 channels.
    const uint8_t *level1 = j7as3.pixels + w * h * 3;
    int expected = (rgba[0] + rgba[4] + rgba[w * 4] + rgba[(w + 1) * 4]) >> 2;
    EXPECT_EQ(level1[0], expected);
    // Short data is refused.
    std::string cut = encode_raw("J6", rgba, w, h, 3);
    Image refused;
    EXPECT_EQ(read_raw(cut.substr(0, cut.size() - 1), 3, &refused), 0);
    EXPECT_EQ(refused.pixels, nullptr);
    Image bad_header;
    EXPECT_EQ(read_raw("J6 x", 3, &bad_header), 0);
}

TEST(ImageFiles, MipChainRoomAndDownsampling)
{
    EXPECT_EQ(mip_chain_bytes(5, 3, 3), (size_t)(15 + 2 + 1) * 3);
    EXPECT_EQ(mip_chain_bytes(8, 2, 4), (size_t)(16 + 4 + 2 + 1) * 4);
    EXPECT_EQ(mip_chain_bytes(1, 1, 3), (size_t)3);
    EXPECT_EQ(mip_chain_bytes(0, 4, 3), (size_t)0);
    EXPECT_EQ(mip_chain_bytes(IMAGE_MAX_SIDE + 1, 1, 3), (size_t)0);

    struct Case {
        const char *name;
        uint8_t block[16];
        int flags;
        uint8_t out[4];
    } cases[] = {
        {"transparent: plain average", {10, 20, 30, 0, 30, 40, 50, 0, 50, 60, 70, 0, 70, 80, 90, 0}, 0, {40, 50, 60, 0}},
        {"one opaque pixel", {10, 20, 30, 0, 200, 100, 50, 255, 0, 0, 0, 0, 90, 90, 90, 0}, 0, {200, 100, 50, 63}},
        {"maximum alpha", {10, 20, 30, 0, 200, 100, 50, 255, 0, 0, 0, 0, 90, 90, 90, 0}, 1, {200, 100, 50, 255}},
        {"opaque: plain", {0, 0, 0, 255, 4, 8, 12, 255, 8, 8, 8, 255, 0, 0, 0, 255}, 0, {3, 4, 5, 255}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t pixels[20];
        memcpy(pixels, c.block, 16);
        downsample_image(pixels, 2, 2, 4, c.flags);
        EXPECT_EQ(memcmp(pixels + 16, c.out, 4), 0)
            << (int)pixels[16] << " " << (int)pixels[17] << " " << (int)pixels[18] << " " << (int)pixels[19];
    }
}

TEST(ImageFiles, GreyPngRoundTripAndEightBitWidening)
{
    std::vector<uint16_t> samples(7 * 3);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = (uint16_t)(i * 3121);
    ASSERT_EQ(write_png_gray16("@grey.png", samples.data(), 7, 3), 1);
    uint16_t *read = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(read_png("@grey.png", &read, &w, &h), 1);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(memcmp(read, samples.data(), samples.size() * 2), 0);
    checked_free(read);

    // An 8-bit RGB image of grey pixels comes back as v x 257.
    std::vector<uint8_t> rgb(4 * 2 * 3);
    for (int i = 0; i < 8; i++)
        rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = (uint8_t)(i * 30);
    ASSERT_EQ(write_png_rgb("@rgb.png", rgb.data(), 4, 2), 1);
    ASSERT_EQ(read_png("@rgb.png", &read, &w, &h), 1);
    // write_png_rgb stores the bottom row first.
    EXPECT_EQ(read[0], 4 * 30 * 257);
    EXPECT_EQ(read[4 + 3], 3 * 30 * 257);
    checked_free(read);

    // Not a PNG, or missing: 0 and nothing allocated.
    write_file(test_data_dir() + "fake.png", "P6 1 1 255\nAAA");
    read = nullptr;
    EXPECT_EQ(read_png("@fake.png", &read, &w, &h), 0);
    EXPECT_EQ(read_png("@none.png", &read, &w, &h), 0);
    EXPECT_EQ(read, nullptr);
    std::string truncated;
    read_file(test_home_dir() + "grey.png", &truncated);
    write_file(test_data_dir() + "cut.png", truncated.substr(0, truncated.size() / 2));
    EXPECT_EQ(read_png("@cut.png", &read, &w, &h), 0);
}

TEST(ImageFiles, ColourPngTextureImage)
{
    // A 16-bit grey PNG comes back as 8-bit RGB with its chain.
    std::vector<uint16_t> samples = {0x1234, 0xff00, 0x0000, 0x8000};
    ASSERT_EQ(write_png_gray16("@g16.png", samples.data(), 2, 2), 1);
    Image image;
    char *info = nullptr;
    ASSERT_EQ(load_png_texture_image("@g16.png", &image.pixels, &image.width, &image.height, &image.channels, &info), 1);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels[0], 0x12);
    EXPECT_EQ(image.pixels[3], 0xff);
    EXPECT_EQ(image.pixels[12], (0x12 + 0xff + 0x00 + 0x80) >> 2);   // the 1x1 level
    EXPECT_EQ(info, nullptr);

    // "[mip_custom]" from the ".info" file: a 64 x 96 picture holds its own levels.
    std::vector<uint8_t> rgb(64 * 96 * 3);
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 64; x++) {
            uint8_t *p = &rgb[((size_t)(95 - y) * 64 + x) * 3];   // bottom row first
            p[0] = (uint8_t)x;
            p[1] = (uint8_t)y;
            p[2] = 7;
        }
    ASSERT_EQ(write_png_rgb("@custom.png", rgb.data(), 64, 96), 1);
    write_file(test_home_dir() + "custom.png.info", "[mip_custom]");
    Image custom;
    ASSERT_EQ(load_png_texture_image("@custom.png", &custom.pixels, &custom.width, &custom.height, &custom.channels,
                                     &info), 1);
    EXPECT_EQ(custom.width, 64);
    EXPECT_EQ(custom.height, 64);
    EXPECT_STREQ(info, "[mip_custom]");
    checked_free(info);
    const uint8_t *level1 = custom.pixels + 64 * 64 * 3;
    EXPECT_EQ(level1[0], 0);
    EXPECT_EQ(level1[1], 64);   // rows 64..95, columns 0..31
    EXPECT_EQ(level1[(31 * 32 + 31) * 3 + 1], 95);
    const uint8_t *level2 = level1 + 32 * 32 * 3;
    EXPECT_EQ(level2[0], 32);   // rows 64..79, columns 32..47
    EXPECT_EQ(level2[1], 64);
    EXPECT_EQ(level2[(15 * 16 + 15) * 3], 47);

    // A height that is not divisible: a warning and an ordinary image.
    ASSERT_EQ(write_png_rgb("@odd.png", rgb.data(), 64, 95), 1);
    write_file(test_home_dir() + "odd.png.info", "[mip_custom]");
    Image odd;
    ASSERT_EQ(load_png_texture_image("@odd.png", &odd.pixels, &odd.width, &odd.height, &odd.channels, nullptr), 1);
    EXPECT_EQ(odd.height, 95);
    EXPECT_STREQ(message_log.lines[0], "Warning: Invalid height for custom MIP map in '@odd.png'");
}

TEST(ImageFiles, ImageCache)
{
    write_file(test_data_dir() + "tile.ppm", "P6 2 2 255\n" + std::string(12, '\x40'));
    uint8_t *pixels = nullptr, *again = nullptr;
    int w, h;
    ASSERT_EQ(load_image("@tile.ppm", &pixels, &w, &h), 1);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(pixels[3], 255);   // RGB widened to RGBA
    EXPECT_EQ(pixels[4], 0x40);
    EXPECT_STREQ(get_image_name(pixels), "@tile.ppm");
    ASSERT_EQ(load_image("@TILE.ppm", &again, &w, &h), 1);
    EXPECT_EQ(again, pixels);
    EXPECT_STREQ(message_log.lines[0], "Warning: case mismatch on '@TILE.ppm'");
    EXPECT_EQ(load_image("@missing.ppm", &again, &w, &h), 0);
    // A side that is not a power of two becomes one.
    write_file(test_data_dir() + "wide.ppm", "P6 6 3 255\n" + std::string(54, '\x10'));
    ASSERT_EQ(load_image("!@wide.ppm", &pixels, &w, &h), 1);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 2);
    free_textures(1);
    EXPECT_EQ(get_image_name(pixels), nullptr);
}

TEST(ImageFiles, ReplaceSuffix)
{
    struct Case {
        const char *name, *ending, *replacement, *result;
    } cases[] = {
        {"rider.png", ".png", "_norm.png", "rider_norm.png"},
        {"rider.ppm", ".png", "_norm.png", nullptr},
        {"a.b.c", ".c", "_tnorm.ppm", "a.b_tnorm.ppm"},
        {"x", "long ending", "y", nullptr},
    };
    for (const Case &c : cases) {
        char *out = replace_suffix(c.name, c.ending, c.replacement);
        if (c.result)
            EXPECT_STREQ(out, c.result);
        else
            EXPECT_EQ(out, nullptr);
        checked_free(out);
        out = replace_name_suffix(c.name, c.ending, c.replacement);
        EXPECT_EQ(out != nullptr, c.result != nullptr);
        checked_free(out);
    }
}

// A 2 x 1 palette PNG (red, green) whose tRNS chunk makes red transparent,
// written with libpng straight to a file under the game data.
static bool write_palette_png(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, 2, 1, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {{255, 0, 0}, {0, 255, 0}};
    png_set_PLTE(png, info, palette, 2);
    png_byte alpha[1] = {0};
    png_set_tRNS(png, info, alpha, 1, nullptr);
    png_write_info(png, info);
    png_byte row[2] = {0, 1};
    png_write_row(png, row);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return true;
}

TEST(ImageFiles, PalettePngWithTransparency)
{
    ASSERT_TRUE(write_palette_png(test_data_dir() + "pal.png"));
    // As a texture image: RGBA with the transparent entry's alpha 0.
    Image image;
    ASSERT_EQ(load_png_texture_image("@pal.png", &image.pixels, &image.width, &image.height, &image.channels,
                                     nullptr), 1);
    EXPECT_EQ(image.channels, 4);
    const uint8_t expected[8] = {255, 0, 0, 0, 0, 255, 0, 255};
    EXPECT_EQ(memcmp(image.pixels, expected, 8), 0);
    EXPECT_EQ(image.pixels[8 + 3], 127);   // the 1x1 level: alpha averaged
    EXPECT_EQ(image.pixels[8 + 1], 255);   // colour weighted by alpha

    // As a height map: grey samples, the 8-bit values widened to 16 bits.
    uint16_t *samples = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(read_png("@pal.png", &samples, &w, &h), 1);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(samples[i] >> 8, samples[i] & 0xff) << i;
    EXPECT_GT(samples[1], samples[0]);   // green weighs more than red
    EXPECT_GT(samples[0], 0);
    checked_free(samples);
}

TEST(ImageFiles, DamagedFilesAreReadWholeOrRefused)
{
    // Small good files of every format, then the same with bits flipped,
    // cut short or with bytes added: each read either gives an image of a
    // size within the limits, with every byte of it there, or nothing.
    std::vector<uint8_t> rgb(5 * 4 * 3);
    std::vector<uint16_t> grey(5 * 4);
    for (size_t i = 0; i < rgb.size(); i++)
        rgb[i] = (uint8_t)(i * 41);
    for (size_t i = 0; i < grey.size(); i++)
        grey[i] = (uint16_t)(i * 2999);
    ASSERT_EQ(write_png_rgb("@good_rgb.png", rgb.data(), 5, 4), 1);
    ASSERT_EQ(write_png_gray16("@good_grey.png", grey.data(), 5, 4), 1);
    std::string png_rgb, png_grey;
    ASSERT_TRUE(read_file(test_home_dir() + "good_rgb.png", &png_rgb));
    ASSERT_TRUE(read_file(test_home_dir() + "good_grey.png", &png_grey));
    std::string body(60, 'q');
    const std::string seeds[] = {
        "P6\n5 4\n255\n" + body,
        "P3 2 2 1000 1 2 3 4 5 6 7 8 9 10 11 999\n",
        "P5 # grey\n5 4 255\n" + body.substr(0, 20),
        "P2 2 2 15 1 2 3 4\n",
        "J6 3 2\n" + body.substr(0, 18),
        "J7 2 2\n" + body.substr(0, 16),
        png_rgb,
        png_grey,
    };
    std::mt19937 random(20260);
    int read_whole = 0;
    for (int i = 0; i < 320; i++) {
        SCOPED_TRACE(i);
        std::string bytes = seeds[i % 8];
        switch (random() % 3) {
        case 0:
            for (int flips = 1 + random() % 3; flips > 0; flips--)
                bytes[random() % bytes.size()] ^= (char)(1 << random() % 8);
            break;
        case 1:
            bytes.resize(random() % bytes.size());
            break;
        default:
            for (int more = 1 + random() % 16; more > 0; more--)
                bytes += (char)random();
        }
        write_file(test_data_dir() + "damaged.img", bytes);
        uint8_t *pixels = nullptr;
        uint16_t *samples = nullptr;
        int width = 0, height = 0, channels = 0;
        size_t size = 0;
        int ok = 0;
        switch (i / 8 % 5) {
        case 0: {
            GameFile *file = file_open("@damaged.img", "rb");
            ASSERT_NE(file, nullptr);
            ok = read_rgb_image(file, &pixels, &width, &height);
            file_close(file);
            size = mip_chain_bytes(width, height, 3);
            break;
        }
        case 1: {
            GameFile *file = file_open("@damaged.img", "rb");
            ASSERT_NE(file, nullptr);
            ok = read_pgm(file, &pixels, &width, &height);
            file_close(file);
            size = (size_t)width * height;
            break;
        }
        case 2:
            ok = load_png_texture_image("@damaged.img", &pixels, &width, &height, &channels, nullptr);
            size = mip_chain_bytes(width, height, channels);
            break;
        case 3:
            ok = read_rgba_image("@damaged.img", &pixels, &width, &height);
            size = (size_t)width * height * 4;
            break;
        default:
            ok = read_png("@damaged.img", &samples, &width, &height);
            pixels = (uint8_t *)samples;
            size = (size_t)width * height * 2;
        }
        if (!ok) {
            EXPECT_EQ(pixels, nullptr);
            continue;
        }
        ASSERT_NE(pixels, nullptr);
        EXPECT_GE(width, 1);
        EXPECT_GE(height, 1);
        EXPECT_LE((long)width * height, IMAGE_MAX_PIXELS);
        ASSERT_GT(size, 0u);
        // The sanitizer checks that the whole image was allocated.
        volatile uint8_t last = pixels[size - 1];
        (void)last;
        checked_free(pixels);
        read_whole++;
    }
    // Additions after the end and flips in the samples leave files that read.
    EXPECT_GE(read_whole, 20);
}
