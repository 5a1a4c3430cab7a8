// Uploading images to OpenGL: power-of-two resampling, the detail drop and
// the detail-based reduction, wrap modes, filters, the border colour,
// compression and every mip level, with the texture memory count.
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/message.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/render_settings.h"
#include "render/texture.h"

static int is_power_of_two(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// The largest power of two strictly below n; 1 for 1 and 2.
static int power_of_two_below(int n)
{
    int p = 1;
    while (p * 2 < n)
        p *= 2;
    return p;
}

static void clear_gl_errors(void)
{
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; i++) {
    }
}

void texture_border_colour(const uint8_t *pixels, int width, int height, float colour[4])
{
    static int histogram[8 * 8 * 8];
    memset(histogram, 0, sizeof histogram);
    auto count = [&](int x, int y) {
        const uint8_t *p = pixels + ((size_t)y * width + x) * 3;
        histogram[(p[0] * 7 / 255) + 8 * (p[1] * 7 / 255) + 64 * (p[2] * 7 / 255)]++;
    };
    for (int x = 0; x < width; x++) {
        count(x, 0);
        count(x, height - 1);
    }
    for (int y = 0; y < height; y++) {
        count(0, y);
        count(width - 1, y);
    }
    int best = 0;
    for (int b = 0; b < 8; b++)
        for (int g = 0; g < 8; g++)
            for (int r = 0; r < 8; r++)
                if (histogram[r + 8 * g + 64 * b] > histogram[best])
                    best = r + 8 * g + 64 * b;
    colour[0] = (float)(best & 7) / 7.0f;
    colour[1] = (float)((best >> 3) & 7) / 7.0f;
    colour[2] = (float)(best >> 6) / 7.0f;
    colour[3] = 0.0f;
}

int upload_texture(const uint8_t *pixels, int width, int height, int channels, int flags)
{
    if (!pixels || (channels != 3 && channels != 4) || mip_chain_bytes(width, height, channels) == 0 ||
        !gl_ready())
        return 0;
    int compress = (flags & TEXTURE_COMPRESS) && gl_info.major >= 2;
    GLenum format = channels == 4 ? GL_RGBA : GL_RGB;
    GLenum internal = compress ? (channels == 4 ? GL_COMPRESSED_RGBA_ARB : GL_COMPRESSED_RGB_ARB) : format;

    // A picture larger than the driver takes starts at the first level that fits.
    int limit = gl_info.max_texture_size;
    if (limit <= 0) {
        GLint size = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
        limit = size > 0 ? size : 64;
    }
    const uint8_t *level = pixels;
    int w = width, h = height;
    while ((w > limit || h > limit) && (w > 1 || h > 1)) {
        level += (size_t)w * h * channels;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }

    clear_gl_errors();
    GLuint id = 0;
    glGenTextures(1, &id);
    if (id == 0)
        return 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & TEXTURE_REPEAT_S) ? GL_REPEAT : GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & TEXTURE_REPEAT_T) ? GL_REPEAT : GL_CLAMP);
    clear_gl_errors();
    if (!(flags & TEXTURE_REPEAT_S))
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (!(flags & TEXTURE_REPEAT_T))
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    int single = flags & TEXTURE_SINGLE_LEVEL;
    GLint minify;
    if (glGetError() == GL_NO_ERROR)
        minify = single ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
    else
        minify = single ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minify);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    float border[4] = {0, 0, 0, 0};
    if (channels == 3)
        texture_border_colour(pixels, width, height, border);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    clear_gl_errors();

    long counted = 0;
    for (int k = 0;; k++) {
        glTexImage2D(GL_TEXTURE_2D, k, (GLint)internal, w, h, 0, format, GL_UNSIGNED_BYTE, level);
        if (glGetError() != GL_NO_ERROR) {
            glBindTexture(GL_TEXTURE_2D, 0);
            glDeleteTextures(1, &id);
            texture_memory_used -= counted;
            return 0;
        }
        long bytes = (long)w * h * channels;
        if (compress) {
            GLint compressed = 0, size = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_COMPRESSED_ARB, &compressed);
            if (compressed) {
                glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
                bytes = size > 0 ? size : 0;
            }
        }
        counted += bytes;
        texture_memory_used += bytes;
        if (single || (w == 1 && h == 1))
            break;
        level += (size_t)w * h * channels;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)id;
}

// Whether the next level predicts this one within 4 in every channel.
static int level_is_smooth(const uint8_t *pixels, int w, int h, int channels)
{
    const uint8_t *next = pixels + (size_t)w * h * channels;
    int w2 = w > 1 ? w / 2 : 1, h2 = h > 1 ? h / 2 : 1;
    for (int y = 0; y < h; y++) {
        int y0 = (y + 1) / 2 - 1 > 0 ? (y + 1) / 2 - 1 : 0;
        int y1 = (y + 1) / 2 < h2 - 1 ? (y + 1) / 2 : h2 - 1;
        for (int x = 0; x < w; x++) {
            int x0 = (x + 1) / 2 - 1 > 0 ? (x + 1) / 2 - 1 : 0;
            int x1 = (x + 1) / 2 < w2 - 1 ? (x + 1) / 2 : w2 - 1;
            const uint8_t *p = pixels + ((size_t)y * w + x) * channels;
            for (int c = 0; c < channels; c++) {
                int a = next[((size_t)y0 * w2 + x0) * channels + c];
                int b = next[((size_t)y0 * w2 + x1) * channels + c];
                int d = next[((size_t)y1 * w2 + x0) * channels + c];
                int e = next[((size_t)y1 * w2 + x1) * channels + c];
                int top = (x & 1) ? (3 * a + b) / 4 : (a + 3 * b) / 4;
                int bottom = (x & 1) ? (3 * d + e) / 4 : (d + 3 * e) / 4;
                int predicted = (y & 1) ? (3 * top + bottom) / 4 : (top + 3 * bottom) / 4;
                int difference = p[c] - predicted;
                if (difference > 4 || difference < -4)
                    return 0;
            }
        }
    }
    return 1;
}

int count_smooth_levels(const uint8_t *pixels, int width, int height, int channels)
{
    int dropped = 0;
    while (width > 16 || height > 16) {
        if (!level_is_smooth(pixels, width, height, channels))
            break;
        pixels += (size_t)width * height * channels;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        dropped++;
    }
    return dropped;
}

int upload_texture_reduced(const uint8_t *pixels, int width, int height, int channels, int drop,
                           int flags, const char *name)
{
    if (!pixels || (channels != 3 && channels != 4) || mip_chain_bytes(width, height, channels) == 0)
        return 0;
    if (!is_power_of_two(width) || !is_power_of_two(height)) {
        int w2 = power_of_two_below(width), h2 = power_of_two_below(height);
        uint8_t *resized = (uint8_t *)checked_malloc(mip_chain_bytes(w2, h2, channels));
        if (!resized)
            return 0;
        for (int y = 0; y < h2; y++)
            for (int x = 0; x < w2; x++)
                memcpy(resized + ((size_t)y * w2 + x) * channels,
                       pixels + ((size_t)((long)y * height / h2) * width + (long)x * width / w2) * channels,
                       (size_t)channels);
        build_mipmaps(resized, w2, h2, channels, 0);
        int id = upload_texture_reduced(resized, w2, h2, channels, drop, flags, name);
        checked_free(resized);
        return id;
    }
    const uint8_t *level = pixels;
    int w = width, h = height;
    while (drop > 0 && w > 128 && h > 128) {
        level += (size_t)w * h * channels;
        w /= 2;
        h /= 2;
        drop--;
    }
    int smooth = count_smooth_levels(level, w, h, channels);
    for (int i = 0; i < smooth; i++) {
        level += (size_t)w * h * channels;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    if (smooth > 0 && name) {
        char message[200];
        snprintf(message, sizeof message, "%.64s reduced to %dx%d (originally %dx%d)", name, w, h, width, height);
        print_message(message);
    }
    return upload_texture(level, w, h, channels, flags);
}

int make_texture(const uint8_t *pixels, int width, int height, int channels)
{
    return upload_texture(pixels, width, height, channels, 0);
}

int make_texture_single_level(const uint8_t *pixels, int width, int height, int channels)
{
    return upload_texture(pixels, width, height, channels, TEXTURE_SINGLE_LEVEL);
}

void delete_texture(int texture)
{
    if (texture <= 0 || !gl_ready())
        return;
    GLuint id = (GLuint)texture;
    glDeleteTextures(1, &id);
}

int make_placeholder_texture(int size, int square, int scale)
{
    size_t bytes = mip_chain_bytes(size, size, 3);
    if (bytes == 0 || !gl_ready())
        return 0;
    if (square < 1)
        square = 1;
    scale = scale < 0 ? 0 : scale > 255 ? 255 : scale;
    uint8_t *pixels = (uint8_t *)checked_malloc(bytes);
    if (!pixels)
        return 0;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            const uint8_t *colour = placeholder_colours[((x / square) + (y / square)) & 1];
            uint8_t *p = pixels + ((size_t)y * size + x) * 3;
            for (int c = 0; c < 3; c++)
                p[c] = (uint8_t)(colour[c] * scale / 255);
        }
    build_rgb_mipmaps(pixels, size, size);
    int id = upload_texture(pixels, size, size, 3, 0);
    checked_free(pixels);
    return id;
}

void update_texture_rgb(int texture, const uint8_t *pixels, int width, int height)
{
    if (texture <= 0 || !pixels || width <= 0 || height <= 0 || !gl_ready())
        return;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
}

int make_text_texture(const char *text, int width, int height, const uint8_t *foreground,
                      const uint8_t *background)
{
    size_t bytes = mip_chain_bytes(width, height, 4);
    if (bytes == 0 || !foreground || !background || !gl_ready())
        return 0;
    uint8_t *pixels = (uint8_t *)checked_malloc(bytes);
    if (!pixels)
        return 0;
    for (size_t i = 0; i < (size_t)width * height; i++) {
        pixels[4 * i] = pixels[4 * i + 1] = pixels[4 * i + 2] = 255;
        pixels[4 * i + 3] = 0;
    }
    text_rasterise(pixels, width, height, 1.0f, 1.0f, 1.0f, 1.0f, text ? text : "");
    for (size_t i = 0; i < (size_t)width * height; i++)
        for (int c = 0; c < 3; c++) {
            int v = pixels[4 * i + c];
            // bg + (fg - bg) v / 255, truncated: the sum is never negative.
            pixels[4 * i + c] = (uint8_t)((background[c] * 255 + (foreground[c] - background[c]) * v) / 255);
        }
    build_rgba_mipmaps(pixels, width, height);
    // Every level fades out at its edges.
    uint8_t *level = pixels;
    int w = width, h = height;
    while (w / 2 >= 1 && h / 2 >= 1) {
        for (int x = 0; x < w; x++) {
            memcpy(level + (size_t)x * 4, "\xff\xff\xff\x00", 4);
            memcpy(level + ((size_t)(h - 1) * w + x) * 4, "\xff\xff\xff\x00", 4);
        }
        for (int y = 0; y < h; y++) {
            memcpy(level + (size_t)y * w * 4, "\xff\xff\xff\x00", 4);
            memcpy(level + ((size_t)y * w + w - 1) * 4, "\xff\xff\xff\x00", 4);
        }
        level += (size_t)w * h * 4;
        w /= 2;
        h /= 2;
    }
    int id = upload_texture(pixels, width, height, 4, 0);
    checked_free(pixels);
    return id;
}
