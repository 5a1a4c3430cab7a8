// Renderer fixtures: the test window, and encoders for the image, sequence
// and model files the tests load.
#include "support/render_fixtures.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/window.h"
#include "render/gl_extensions.h"
#include "render/model.h"
#include "render/texture.h"
#include "support/test_support.h"

GameWindow *open_test_gl_window(int width, int height)
{
    GameWindow *window = open_gl_window("Rutline render test", width, height, 24, 8, 16, 0, 0);
    if (window)
        load_gl_extensions();
    return window;
}

void close_test_gl_window(GameWindow *window)
{
    free_textures(1);
    free_models(1);
    close_gl_window(window);
}

std::string ppm_bytes(int width, int height, const std::vector<uint8_t> &rgb)
{
    std::string bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    bytes.append((const char *)rgb.data(), (size_t)width * height * 3);
    return bytes;
}

static void append_png_data(png_structp png, png_bytep data, png_size_t length)
{
    ((std::string *)png_get_io_ptr(png))->append((const char *)data, length);
}

std::string png_bytes(int width, int height, int channels, const std::vector<uint8_t> &pixels)
{
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &bytes, append_png_data, nullptr);
    png_set_IHDR(png, info, width, height, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows((size_t)height);
    for (int y = 0; y < height; y++)
        rows[y] = (png_bytep)pixels.data() + (size_t)y * width * channels;
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::string raw_image_bytes(const char *word, int width, int height, int channels,
                            const std::vector<uint8_t> &pixels)
{
    int stored = strcmp(word, "J7") == 0 ? 4 : 3;
    std::string bytes = std::string(word) + " " + std::to_string(width) + " " + std::to_string(height) + "\n";
    auto at = [&](int x, int y, int c) -> int {
        return c < channels ? pixels[((size_t)y * width + x) * channels + c] : 0;
    };
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < stored; c++) {
                int prediction;
                if (x == 0 && y == 0)
                    prediction = 0;
                else if (y == 0)
                    prediction = at(x - 1, y, c);
                else if (x == 0)
                    prediction = at(x, y - 1, c);
                else {
                    prediction = at(x - 1, y, c) + at(x, y - 1, c) - at(x - 1, y - 1, c);
                    prediction = prediction < 0 ? 0 : prediction > 255 ? 255 : prediction;
                }
                bytes += (char)((at(x, y, c) - prediction) & 255);
            }
    return bytes;
}

std::vector<uint8_t> flat_pixels(int width, int height, int channels, const std::vector<uint8_t> &colour)
{
    std::vector<uint8_t> pixels((size_t)width * height * channels);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = colour[i % channels];
    return pixels;
}

std::vector<uint8_t> pattern_pixels(int width, int height, int channels, int seed)
{
    std::vector<uint8_t> pixels((size_t)width * height * channels);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++)
                pixels[((size_t)y * width + x) * channels + c] =
                    (uint8_t)((x * 37 + y * 91 + c * 53 + seed * 17 + ((x ^ y) & 1) * 120) & 255);
    return pixels;
}

std::string triangle_model_text()
{
    return "3 1\n"
           "0 0 0 0 0 1 0 0\n"
           "1 0 0 0 0 1 1 0\n"
           "0 1 0 0 0 1 0 1\n"
           "0 1 2\n";
}

static bool ends_with(const std::string &name, const std::string &tail)
{
    return name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
}

void write_game_asset(const std::string &game_name)
{
    std::string relative = game_name[0] == '@' ? game_name.substr(1) : game_name;
    std::string path = test_data_dir() + relative;
    if (ends_with(relative, ".jm")) {
        write_file(path, triangle_model_text());
    } else if (ends_with(relative, ".seq")) {
        std::string bytes = "ANIM1 2 2 4 1\n0 1\n";
        bytes += raw_image_bytes("J7", 4, 4, 4, pattern_pixels(4, 4, 4, 1));
        bytes += raw_image_bytes("J7", 4, 4, 4, pattern_pixels(4, 4, 4, 2));
        write_file(path, bytes);
    } else if (ends_with(relative, ".ppm")) {
        write_file(path, ppm_bytes(4, 4, pattern_pixels(4, 4, 3)));
    } else {
        write_file(path, png_bytes(4, 4, 4, pattern_pixels(4, 4, 4)));
    }
}

bool near_colour(const uint8_t *pixel, const uint8_t *colour, int tolerance)
{
    for (int c = 0; c < 3; c++)
        if (abs(pixel[c] - colour[c]) > tolerance)
            return false;
    return true;
}
