// The texture cache and uploads: texture ids by name (PNG with its info
// text, PPM, J6/J7, LINK files and ANIM1 sequences), each uploaded once with
// its mip levels, reduced by the detail setting and by image detail, stamped
// with the texture generation and counted in texture memory.
#pragma once

#include <cstdint>

#include "core/alloc.h"

extern int texture_generation;       // raised by each race reset
extern long texture_memory_used;     // bytes uploaded since the last reset

struct TextureRecord {
    int id;                 // the GL texture name
    int generation;
    long memory;            // bytes counted when it was loaded
    char *info;             // a PNG's info text, owned, or null
    char name[1];           // as cached: no '!', after link redirection
};

struct TextureLink {
    const char *name;       // interned
    const char *target;     // interned
};

extern GrowableArray texture_table;        // TextureRecord *
extern GrowableArray texture_link_table;   // TextureLink

// Upload flags.
enum {
    TEXTURE_REPEAT_S = 1,
    TEXTURE_REPEAT_T = 2,
    TEXTURE_COMPRESS = 4,
    TEXTURE_SINGLE_LEVEL = 8,
};

// LINK files may name further links this deep; a longer chain fails.
enum { TEXTURE_LINK_DEPTH_LIMIT = 16 };

int load_texture(const char *name);
// The name load_texture would read a file for (no '!', links followed), or
// null when the texture is already cached (in any case). Prints nothing.
const char *texture_name_to_load(const char *name);
const char *get_texture_name(int texture);
const char *get_texture_info(int texture);
// 1 when the id belongs to a cached texture.
int texture_is_cached(int texture);
// Deletes the textures, images and animations of older generations (from
// the newest back to the first current or generation-0 entry), or all.
void free_textures(int all);
// Deletes one GL texture that the cache does not hold.
void delete_texture(int texture);

// Uploads of pixels with their mip chain; each gives a new id or 0 (no
// context, a size the driver refuses, bad arguments).
int upload_texture(const uint8_t *pixels, int width, int height, int channels, int flags);
int upload_texture_reduced(const uint8_t *pixels, int width, int height, int channels, int drop,
                           int flags, const char *name);
int make_texture(const uint8_t *pixels, int width, int height, int channels);
int make_texture_single_level(const uint8_t *pixels, int width, int height, int channels);
// The text drawn with the number glyphs into a width x height texture,
// tinted from the background to the foreground colour (three bytes each),
// with its mip levels; not cached, the caller deletes it.
int make_text_texture(const char *text, int width, int height, const uint8_t *foreground,
                      const uint8_t *background);
// A checkerboard placeholder of size x size: squares of square texels in
// the two placeholder colours scaled by scale / 255, with its mip levels.
int make_placeholder_texture(int size, int square, int scale);
// Replaces the top level of an RGB texture (TexSubImage).
void update_texture_rgb(int texture, const uint8_t *pixels, int width, int height);

// The border colour of an RGB texture: the most frequent 8x8x8 cell of the
// edge pixels, as fractions (alpha 0).
void texture_border_colour(const uint8_t *pixels, int width, int height, float colour[4]);
// Levels the detail-based reduction drops from a power-of-two image with
// its chain: levels that bilinear upsampling of the next one predicts
// within 4 in every channel, while a side exceeds 16.
int count_smooth_levels(const uint8_t *pixels, int width, int height, int channels);
