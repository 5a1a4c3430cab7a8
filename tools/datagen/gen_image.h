// A painting canvas for generated pictures: straight-alpha RGBA floats,
// anti-aliased shapes composited "over", and conversion to the byte
// layouts of the image files.
#pragma once

#include <cstdint>

#include "tools/datagen/gen_buffer.h"

struct GenImage {
    int width;
    int height;
    float *pixels;   // r, g, b, a in 0..1, rows top first
};

struct GenColour {
    float r, g, b, a;
};

int create_image(GenImage *image, int width, int height, GenColour fill);
void free_image(GenImage *image);
float *image_pixel(GenImage *image, int x, int y);   // null outside

// Composites colour with the coverage (0..1) over the pixel.
void blend_pixel(GenImage *image, int x, int y, GenColour colour, float coverage);
void fill_rect(GenImage *image, float x0, float y0, float x1, float y1, GenColour colour);
void fill_disc(GenImage *image, float cx, float cy, float radius, GenColour colour);
void fill_ring(GenImage *image, float cx, float cy, float inner, float outer, GenColour colour);
// A polygon (x, y pairs, any winding), anti-aliased by 4 x 4 samples a pixel.
void fill_polygon(GenImage *image, const float *points, int count, GenColour colour);
void stroke_line(GenImage *image, float x0, float y0, float x1, float y1, float width, GenColour colour);

GenColour rgb(float r, float g, float b);
GenColour rgba(float r, float g, float b, float a);
GenColour mix_colour(GenColour a, GenColour b, float t);
GenColour scale_colour(GenColour c, float factor);   // r, g, b scaled, alpha kept

// Bytes of the image: 3 (alpha dropped) or 4 channels, rounded. Caller
// frees with checked_free.
uint8_t *image_bytes(const GenImage *image, int channels);
int encode_image_png(ByteBuffer *out, const GenImage *image, int channels, const char *text);
// Binary PPM ("P6") of the image's colour.
int encode_image_ppm(ByteBuffer *out, const GenImage *image);
int encode_rgb_ppm(ByteBuffer *out, const uint8_t *rgb, int width, int height);
