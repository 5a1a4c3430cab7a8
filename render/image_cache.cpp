// The image cache: images needed as pixels rather than textures (ground
// tiles and decals in software compositing), kept as RGBA with their mip
// chain, by name and texture generation.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "render/image.h"
#include "render/render_settings.h"
#include "render/texture.h"

struct ImageRecord {
    int width;
    int height;
    int channels;
    uint8_t *pixels;
    int generation;
    size_t top_size;
    char name[1];
};

static GrowableArray image_table;   // ImageRecord *

static ImageRecord **image_records(void)
{
    return (ImageRecord **)image_table.data;
}

// Both sides become powers of two (nearest sampling), then whole levels are
// dropped while asked to or while the image is over the pixel limit.
void reduce_image(uint8_t **pixels, int *width, int *height, int channels, long limit, int drop)
{
    int w = *width, h = *height;
    if ((w & (w - 1)) || (h & (h - 1))) {
        int w2 = 1, h2 = 1;
        while (w2 * 2 <= w)
            w2 *= 2;
        while (h2 * 2 <= h)
            h2 *= 2;
        uint8_t *resized = (uint8_t *)checked_malloc(mip_chain_bytes(w2, h2, channels));
        if (!resized)
            return;
        for (int y = 0; y < h2; y++)
            for (int x = 0; x < w2; x++)
                memcpy(resized + ((size_t)y * w2 + x) * channels,
                       *pixels + ((size_t)(y * h / h2) * w + (x * w / w2)) * channels, channels);
        build_mipmaps(resized, w2, h2, channels, 0);
        checked_free(*pixels);
        *pixels = resized;
        w = w2;
        h = h2;
    }
    size_t skip = 0;
    int dropped = 0;
    while ((drop > 0 || (long)w * h > limit) && (long)w * h > 16384) {
        skip += (size_t)w * h * channels;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
        drop--;
        dropped = 1;
    }
    if (dropped) {
        size_t bytes = mip_chain_bytes(w, h, channels);
        uint8_t *kept = (uint8_t *)checked_malloc(bytes);
        if (!kept)
            return;
        memcpy(kept, *pixels + skip, bytes);
        checked_free(*pixels);
        *pixels = kept;
    }
    *width = w;
    *height = h;
}

int find_cached_name(int count, const char *(*name_of)(int), const char *name)
{
    for (int i = 0; i < count; i++)
        if (!strcmp(name_of(i), name))
            return i;
    for (int i = 0; i < count; i++)
        if (!strcasecmp(name_of(i), name)) {
            char message[1000];
            snprintf(message, sizeof message, "Warning: case mismatch on '%.900s'", name);
            print_message(message);
            return i;
        }
    return -1;
}

static const char *image_name_at(int i)
{
    return image_records()[i]->name;
}

static ImageRecord *find_image(const char *name)
{
    int i = find_cached_name(image_table.count, image_name_at, name);
    return i < 0 ? nullptr : image_records()[i];
}

// Decodes the file as J7, J6, PPM or else PNG; channels of the result out.
static int decode_image(const char *name, uint8_t **pixels, int *width, int *height, int *channels)
{
    GameFile *file = file_open(name, "rb");
    if (!file) {
        if (debug_level) {
            char message[1000];
            snprintf(message, sizeof message, "Can't open texture \"%.900s\"", name);
            print_message(message);
        }
        return 0;
    }
    char word[16];
    if (file_scanf(file, "%15s", word) != 1) {
        file_close(file);
        return 0;
    }
    int ok = 0;
    if (!strcmp(word, "J7")) {
        ok = read_raw_image(word, file, pixels, width, height, 4);
        *channels = 4;
    } else if (!strcmp(word, "J6")) {
        ok = read_raw_image(word, file, pixels, width, height, 3);
        *channels = 3;
    } else if (!strcmp(word, "P3") || !strcmp(word, "P6")) {
        ok = read_ppm(word, file, pixels, width, height);
        *channels = 3;
    }
    file_close(file);
    if (!ok)
        ok = load_png_texture_image(name, pixels, width, height, channels, nullptr);
    return ok;
}

int load_image(const char *name, uint8_t **pixels_out, int *width_out, int *height_out)
{
    if (!name)
        return 0;
    if (!image_table.data && !init_growable_array(&image_table, sizeof(ImageRecord *)))
        return 0;
    int drop = texture_detail;
    if (name[0] == '!') {
        drop = 0;
        name++;
    }
    ImageRecord *hit = find_image(name);
    if (hit) {
        if (hit->generation != 0 && hit->generation != texture_generation)
            hit->generation = texture_generation;
        *pixels_out = hit->pixels;
        *width_out = hit->width;
        *height_out = hit->height;
        return 1;
    }
    uint8_t *pixels;
    int width, height, channels;
    if (!decode_image(name, &pixels, &width, &height, &channels))
        return 0;
    reduce_image(&pixels, &width, &height, channels, 2147483647L, drop);
    if (channels == 3) {
        size_t count = mip_chain_bytes(width, height, 3) / 3;
        uint8_t *rgba = (uint8_t *)checked_malloc(count * 4);
        if (!rgba) {
            checked_free(pixels);
            return 0;
        }
        for (size_t i = 0; i < count; i++) {
            memcpy(rgba + 4 * i, pixels + 3 * i, 3);
            rgba[4 * i + 3] = 255;
        }
        checked_free(pixels);
        pixels = rgba;
    }
    ImageRecord *record = (ImageRecord *)checked_malloc(sizeof(ImageRecord) + strlen(name));
    ImageRecord **slot = record ? (ImageRecord **)append_to_growable_array(&image_table) : nullptr;
    if (!slot) {
        checked_free(record);
        checked_free(pixels);
        return 0;
    }
    record->width = width;
    record->height = height;
    record->channels = 4;
    record->pixels = pixels;
    record->generation = texture_generation;
    record->top_size = (size_t)width * height * 4;
    strcpy(record->name, name);
    *slot = record;
    *pixels_out = pixels;
    *width_out = width;
    *height_out = height;
    return 1;
}

const char *get_image_name(const uint8_t *pixels)
{
    for (int i = 0; i < image_table.count; i++)
        if (image_records()[i]->pixels == pixels)
            return image_records()[i]->name;
    return nullptr;
}

void free_images(int all)
{
    while (image_table.count > 0) {
        ImageRecord *record = image_records()[image_table.count - 1];
        if (!all && (record->generation == 0 || record->generation == texture_generation))
            break;
        if (debug_level) {
            char message[1000];
            snprintf(message, sizeof message, "deleting image %.900s", record->name);
            print_message(message);
        }
        checked_free(record->pixels);
        checked_free(record);
        image_table.count--;
    }
    if (all)
        free_growable_array(&image_table);
}
