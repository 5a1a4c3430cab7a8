// Fixtures of the renderer's tests: a GL window under Xvfb with the
// extensions loaded, and image, sequence and model files written by our
// own encoders (PNG through libpng, J6/J7 by residual coding).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GameWindow;

// Opens a small window with its context current and loads the extensions;
// null when there is no display.
GameWindow *open_test_gl_window(int width = 64, int height = 64);
// Frees every texture and model, and closes the window (null allowed).
void close_test_gl_window(GameWindow *window);

// Pixel data rows top first, channels 3 or 4.
std::string ppm_bytes(int width, int height, const std::vector<uint8_t> &rgb);
std::string png_bytes(int width, int height, int channels, const std::vector<uint8_t> &pixels);
// "J6" (3 residuals a pixel) or "J7" (4) with its header.
std::string raw_image_bytes(const char *word, int width, int height, int channels,
                            const std::vector<uint8_t> &pixels);
// An image of one colour.
std::vector<uint8_t> flat_pixels(int width, int height, int channels, const std::vector<uint8_t> &colour);
// A small patterned image: every channel differs from its neighbours.
std::vector<uint8_t> pattern_pixels(int width, int height, int channels, int seed = 0);

// One triangle in the old model layout.
std::string triangle_model_text();

// Writes a loadable file for a game name ("@x.png", "@x.ppm", "@x.seq",
// "@x.jm" ...) under the game data: a small texture, a sequence of two
// frames or a one-triangle model.
void write_game_asset(const std::string &game_name);

// Whether the first three channels of two pixels differ by at most the
// tolerance each.
bool near_colour(const uint8_t *pixel, const uint8_t *colour, int tolerance);
