// Image files: the raw predicted "J6"/"J7" images, PPM, PGM and PNG readers,
// the 16-bit grey and RGB PNG writers, mip chains, the image cache
// (load_image) and the name-suffix helpers.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    IMAGE_MAX_SIDE = 32768,
    IMAGE_MAX_TEXTURE_SIDE = 16384,   // the largest PNG read (a texture's largest side)
};
constexpr long IMAGE_MAX_PIXELS = 1L << 29;

struct GameFile;

// One image with its mip chain, as the animated textures keep them.
struct ImageLevel {
    int width;
    int height;
    int channels;
    uint8_t *pixels;
};

// Bytes of an image of width x height with channels per pixel and room for
// its mip chain; 0 when the size is invalid or would overflow.
size_t mip_chain_bytes(int width, int height, int channels);
void downsample_image(uint8_t *pixels, int width, int height, int channels, int flags);
void build_mipmaps(uint8_t *pixels, int width, int height, int channels, int flags);
void build_rgb_mipmaps(uint8_t *pixels, int width, int height);
void build_rgba_mipmaps(uint8_t *pixels, int width, int height);

int read_raw_image(const char *word, GameFile *file, uint8_t **pixels, int *width, int *height,
                   int channels);
int read_ppm(const char *word, GameFile *file, uint8_t **pixels, int *width, int *height);
int read_pgm(GameFile *file, uint8_t **pixels, int *width, int *height);
int read_rgb_image(GameFile *file, uint8_t **pixels, int *width, int *height);
// The same; a PPM without its mip chain when mipmaps is 0 (the top level
// only, width x height x 3 bytes).
int read_rgb_image_levels(GameFile *file, uint8_t **pixels, int *width, int *height, int mipmaps);
int load_png_texture_image(const char *name, uint8_t **pixels, int *width, int *height,
                           int *channels, char **info);
// The same without printing: a warning for the message line goes into
// warning (empty when none). Safe off the GL thread.
int decode_png_texture_image(const char *name, uint8_t **pixels, int *width, int *height,
                             int *channels, char **info, char *warning, size_t warning_size);
int read_rgba_image(const char *name, uint8_t **pixels, int *width, int *height);
int read_png(const char *name, uint16_t **samples, int *width, int *height);
// The PNG writers replace the named file through the checked replacement
// path: 1 only when the file holds the whole image, else the old file (or
// none) stays. write_png_rgb takes the rows bottom first, as the frame
// buffer is read back, and writes the top row first.
int write_png_gray16(const char *name, const uint16_t *samples, int width, int height);
int write_png_rgb(const char *name, const uint8_t *pixels, int width, int height);
// A 16-bit grey PNG into an open file (the close is the caller's to check).
int write_png_gray16_to(GameFile *file, const uint16_t *samples, int width, int height);

// The image cache: RGBA pixels with their chain, owned by the cache.
int load_image(const char *name, uint8_t **pixels, int *width, int *height);
const char *get_image_name(const uint8_t *pixels);
void free_images(int all);
void reduce_image(uint8_t **pixels, int *width, int *height, int channels, long limit, int drop);

// A new copy of name with its ending replaced, or null when name does not
// end with ending; the caller frees it. The two are the same operation.
char *replace_suffix(const char *name, const char *ending, const char *replacement);
char *replace_name_suffix(const char *name, const char *ending, const char *replacement);

// The index of the cache entry named exactly, else of the first named so
// but for letter case (with the message line's "Warning: case mismatch on
// '%.900s'"), else -1. name_of gives entry i's name.
int find_cached_name(int count, const char *(*name_of)(int), const char *name);
