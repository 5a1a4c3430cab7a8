// The painting canvas: shapes, compositing and byte conversion.
#include "tools/datagen/gen_image.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "tools/datagen/gen_png.h"

int create_image(GenImage *image, int width, int height, GenColour fill)
{
    image->width = width;
    image->height = height;
    image->pixels = (float *)checked_malloc(sizeof(float) * 4 * (size_t)width * (size_t)height);
    if (!image->pixels)
        return 0;
    for (size_t i = 0; i < (size_t)width * height; i++) {
        float *p = image->pixels + 4 * i;
        p[0] = fill.r;
        p[1] = fill.g;
        p[2] = fill.b;
        p[3] = fill.a;
    }
    return 1;
}

void free_image(GenImage *image)
{
    checked_free(image->pixels);
    image->pixels = nullptr;
    image->width = image->height = 0;
}

float *image_pixel(GenImage *image, int x, int y)
{
    if (x < 0 || y < 0 || x >= image->width || y >= image->height)
        return nullptr;
    return image->pixels + 4 * ((size_t)y * image->width + x);
}

void blend_pixel(GenImage *image, int x, int y, GenColour colour, float coverage)
{
    float *p = image_pixel(image, x, y);
    float a = colour.a * coverage;
    if (!p || !(a > 0.0f))
        return;
    if (a > 1.0f)
        a = 1.0f;
    float out_a = a + p[3] * (1.0f - a);
    if (out_a <= 0.0f)
        return;
    p[0] = (colour.r * a + p[0] * p[3] * (1.0f - a)) / out_a;
    p[1] = (colour.g * a + p[1] * p[3] * (1.0f - a)) / out_a;
    p[2] = (colour.b * a + p[2] * p[3] * (1.0f - a)) / out_a;
    p[3] = out_a;
}

static float span_cover(float low, float high, float from, float to)
{
    float a = low > from ? low : from, b = high < to ? high : to;
    return b > a ? b - a : 0.0f;
}

void fill_rect(GenImage *image, float x0, float y0, float x1, float y1, GenColour colour)
{
    if (x1 < x0) {
        float t = x0;
        x0 = x1;
        x1 = t;
    }
    if (y1 < y0) {
        float t = y0;
        y0 = y1;
        y1 = t;
    }
    for (int y = (int)floorf(y0); y < (int)ceilf(y1); y++)
        for (int x = (int)floorf(x0); x < (int)ceilf(x1); x++) {
            float cover = span_cover(x0, x1, (float)x, (float)x + 1) * span_cover(y0, y1, (float)y, (float)y + 1);
            blend_pixel(image, x, y, colour, cover);
        }
}

void fill_ring(GenImage *image, float cx, float cy, float inner, float outer, GenColour colour)
{
    int x0 = (int)floorf(cx - outer - 1), x1 = (int)ceilf(cx + outer + 1);
    int y0 = (int)floorf(cy - outer - 1), y1 = (int)ceilf(cy + outer + 1);
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            float d = hypotf((float)x + 0.5f - cx, (float)y + 0.5f - cy);
            float cover = (outer + 0.5f - d);
            cover = cover < 0 ? 0 : cover > 1 ? 1 : cover;
            if (inner > 0.0f) {
                float in = d - (inner - 0.5f);
                in = in < 0 ? 0 : in > 1 ? 1 : in;
                cover *= in;
            }
            blend_pixel(image, x, y, colour, cover);
        }
}

void fill_disc(GenImage *image, float cx, float cy, float radius, GenColour colour)
{
    fill_ring(image, cx, cy, 0.0f, radius, colour);
}

void fill_polygon(GenImage *image, const float *points, int count, GenColour colour)
{
    if (count < 3)
        return;
    float min_y = points[1], max_y = points[1], min_x = points[0], max_x = points[0];
    for (int i = 1; i < count; i++) {
        min_x = fminf(min_x, points[2 * i]);
        max_x = fmaxf(max_x, points[2 * i]);
        min_y = fminf(min_y, points[2 * i + 1]);
        max_y = fmaxf(max_y, points[2 * i + 1]);
    }
    int px0 = (int)floorf(min_x), px1 = (int)ceilf(max_x);
    int width = px1 - px0 + 1;
    if (width <= 0 || width > 65536)
        return;
    float *row = (float *)checked_malloc(sizeof(float) * (size_t)width);
    if (!row)
        return;
    const int SAMPLES = 4;
    for (int y = (int)floorf(min_y); y <= (int)ceilf(max_y); y++) {
        memset(row, 0, sizeof(float) * (size_t)width);
        for (int s = 0; s < SAMPLES; s++) {
            float sy = (float)y + ((float)s + 0.5f) / SAMPLES;
            float crossings[64];
            int n = 0;
            for (int i = 0; i < count && n < 64; i++) {
                float ax = points[2 * i], ay = points[2 * i + 1];
                float bx = points[2 * ((i + 1) % count)], by = points[2 * ((i + 1) % count) + 1];
                if ((ay <= sy && by > sy) || (by <= sy && ay > sy))
                    crossings[n++] = ax + (sy - ay) / (by - ay) * (bx - ax);
            }
            for (int i = 1; i < n; i++)
                for (int j = i; j > 0 && crossings[j - 1] > crossings[j]; j--) {
                    float t = crossings[j];
                    crossings[j] = crossings[j - 1];
                    crossings[j - 1] = t;
                }
            for (int i = 0; i + 1 < n; i += 2)
                for (int x = 0; x < width; x++)
                    for (int k = 0; k < SAMPLES; k++) {
                        float sx = (float)(px0 + x) + ((float)k + 0.5f) / SAMPLES;
                        if (sx >= crossings[i] && sx < crossings[i + 1])
                            row[x] += 1.0f / (SAMPLES * SAMPLES);
                    }
        }
        for (int x = 0; x < width; x++)
            if (row[x] > 0.0f)
                blend_pixel(image, px0 + x, y, colour, row[x]);
    }
    checked_free(row);
}

void stroke_line(GenImage *image, float x0, float y0, float x1, float y1, float width, GenColour colour)
{
    float dx = x1 - x0, dy = y1 - y0, length = hypotf(dx, dy);
    if (!(length > 0.0f))
        return;
    float nx = -dy / length * width * 0.5f, ny = dx / length * width * 0.5f;
    float quad[8] = {x0 + nx, y0 + ny, x1 + nx, y1 + ny, x1 - nx, y1 - ny, x0 - nx, y0 - ny};
    fill_polygon(image, quad, 4, colour);
}

GenColour rgb(float r, float g, float b)
{
    return GenColour{r, g, b, 1.0f};
}

GenColour rgba(float r, float g, float b, float a)
{
    return GenColour{r, g, b, a};
}

GenColour mix_colour(GenColour a, GenColour b, float t)
{
    return GenColour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

GenColour scale_colour(GenColour c, float factor)
{
    return GenColour{c.r * factor, c.g * factor, c.b * factor, c.a};
}

static uint8_t to_byte(float value)
{
    float scaled = value * 255.0f + 0.5f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255 : (uint8_t)scaled;
}

uint8_t *image_bytes(const GenImage *image, int channels)
{
    size_t count = (size_t)image->width * image->height;
    uint8_t *bytes = (uint8_t *)checked_malloc(count * (size_t)channels);
    if (!bytes)
        return nullptr;
    for (size_t i = 0; i < count; i++)
        for (int c = 0; c < channels; c++)
            bytes[i * channels + c] = to_byte(image->pixels[4 * i + c]);
    return bytes;
}

int encode_image_png(ByteBuffer *out, const GenImage *image, int channels, const char *text)
{
    uint8_t *bytes = image_bytes(image, channels);
    int ok = bytes && encode_png(out, bytes, image->width, image->height, channels == 4 ? PNG_RGBA8 : PNG_RGB8, text);
    checked_free(bytes);
    return ok;
}

int encode_rgb_ppm(ByteBuffer *out, const uint8_t *rgb_bytes, int width, int height)
{
    return buffer_printf(out, "P6\n%d %d\n255\n", width, height) &&
           buffer_append(out, rgb_bytes, (size_t)width * height * 3);
}

int encode_image_ppm(ByteBuffer *out, const GenImage *image)
{
    uint8_t *bytes = image_bytes(image, 3);
    int ok = bytes && encode_rgb_ppm(out, bytes, image->width, image->height);
    checked_free(bytes);
    return ok;
}
