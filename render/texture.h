// The texture side of the renderer as the lower subsystems see it: texture
// ids by name, their names and info texts, generations, texture memory and
// the few uploads the terrain asks for. Until the renderer exists no GL
// texture is made: every load gives id 0 unless a loader is installed.
#pragma once

#include <cstdint>

extern int texture_generation;       // raised by each race reset
extern long texture_memory_used;     // bytes uploaded since the last reset

int load_texture(const char *name);
const char *get_texture_name(int texture);
const char *get_texture_info(int texture);
void free_textures(int all);
void delete_texture(int texture);

int make_texture(const uint8_t *pixels, int width, int height, int channels);
int make_texture_single_level(const uint8_t *pixels, int width, int height, int channels);
// The text drawn with the number glyphs into a width x height texture,
// tinted from the background to the foreground colour (three bytes each),
// with its mip levels; not cached, the caller deletes it. 0 until the
// renderer exists.
int make_text_texture(const char *text, int width, int height, const uint8_t *foreground,
                      const uint8_t *background);
// A checkerboard placeholder of size x size: squares of square texels in
// the two placeholder colours scaled by scale / 255, with its mip levels.
int make_placeholder_texture(int size, int square, int scale);
// Replaces the top level of an RGB texture (TexSubImage).
void update_texture_rgb(int texture, const uint8_t *pixels, int width, int height);

// A stand-in loader (for tests and tools until the renderer exists): it
// gets the name and returns an id, 0 for none; null restores the default.
// Ids and names it hands out are remembered for get_texture_name.
typedef int (*TextureLoader)(const char *name);
void set_texture_loader(TextureLoader loader);
