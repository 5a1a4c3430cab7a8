// Image files: raw predicted "J6"/"J7" images, PPM and PGM, PNG through
// libpng (colour textures with their ".info" text, and 16-bit grey height
// maps), the PNG writers, mip chains and the name-suffix helpers.
#include "render/image.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "core/replace_file.h"
#include "platform/log.h"

static int valid_size(int width, int height)
{
    return width > 0 && height > 0 && width <= IMAGE_MAX_SIDE && height <= IMAGE_MAX_SIDE &&
           (long)width * height <= IMAGE_MAX_PIXELS;
}

size_t mip_chain_bytes(int width, int height, int channels)
{
    if (!valid_size(width, height) || channels < 1 || channels > 4)
        return 0;
    size_t pixels = 0;
    long w = width, h = height;
    while (w * h > 1) {
        pixels += (size_t)(w * h);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return (pixels + 1) * (size_t)channels;
}

void downsample_image(uint8_t *pixels, int width, int height, int channels, int flags)
{
    uint8_t *out = pixels + (size_t)width * height * channels;
    if (width > 1 && height > 1) {
        int w2 = width / 2, h2 = height / 2;
        for (int y = 0; y < h2; y++)
            for (int x = 0; x < w2; x++) {
                const uint8_t *p[4] = {
                    pixels + ((size_t)(2 * y) * width + 2 * x) * channels,
                    pixels + ((size_t)(2 * y) * width + 2 * x + 1) * channels,
                    pixels + ((size_t)(2 * y + 1) * width + 2 * x) * channels,
                    pixels + ((size_t)(2 * y + 1) * width + 2 * x + 1) * channels,
                };
                uint8_t *d = out + ((size_t)y * w2 + x) * channels;
                if (channels == 4) {
                    int a[4] = {p[0][3], p[1][3], p[2][3], p[3][3]};
                    int total = a[0] + a[1] + a[2] + a[3];
                    int alpha = total >> 2;
                    if (flags & 1) {
                        alpha = a[0];
                        for (int i = 1; i < 4; i++)
                            if (a[i] > alpha)
                                alpha = a[i];
                    }
                    for (int c = 0; c < 3; c++) {
                        if (total != 0 && total != 1020)
                            d[c] = (uint8_t)((p[0][c] * a[0] + p[1][c] * a[1] + p[2][c] * a[2] +
                                              p[3][c] * a[3]) / total);
                        else
                            d[c] = (uint8_t)((p[0][c] + p[1][c] + p[2][c] + p[3][c]) >> 2);
                    }
                    d[3] = (uint8_t)alpha;
                } else {
                    for (int c = 0; c < channels; c++)
                        d[c] = (uint8_t)((p[0][c] + p[1][c] + p[2][c] + p[3][c]) >> 2);
                }
            }
        return;
    }
    // A row or a column: pairs along the longer side.
    int count = (width > height ? width : height) / 2;
    for (int i = 0; i < count; i++) {
        const uint8_t *p0 = pixels + (size_t)(2 * i) * channels;
        const uint8_t *p1 = pixels + (size_t)(2 * i + 1) * channels;
        uint8_t *d = out + (size_t)i * channels;
        if (channels == 4) {
            int a0 = p0[3], a1 = p1[3], total = a0 + a1;
            for (int c = 0; c < 3; c++) {
                if (total != 0 && total != 510)
                    d[c] = (uint8_t)((p0[c] * a0 + p1[c] * a1) / total);
                else
                    d[c] = (uint8_t)((p0[c] + p1[c]) >> 1);
            }
            d[3] = (uint8_t)((flags & 1) ? (a0 > a1 ? a0 : a1) : total >> 1);
        } else {
            for (int c = 0; c < channels; c++)
                d[c] = (uint8_t)((p0[c] + p1[c]) >> 1);
        }
    }
}

void build_mipmaps(uint8_t *pixels, int width, int height, int channels, int flags)
{
    while ((long)width * height > 1) {
        downsample_image(pixels, width, height, channels, flags);
        pixels += (size_t)width * height * channels;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
}

void build_rgb_mipmaps(uint8_t *pixels, int width, int height)
{
    build_mipmaps(pixels, width, height, 3, 0);
}

void build_rgba_mipmaps(uint8_t *pixels, int width, int height)
{
    build_mipmaps(pixels, width, height, 4, 0);
}

enum {
    // A text image may end early (the samples missing read as 0), by at most
    // this many samples more than the rest of the file could hold.
    TEXT_IMAGE_MISSING_MAX = 1 << 20,
};

// A header may declare far more than its file holds: such a file is refused
// before anything is allocated for it.
static int refuse_image_size(int width, int height, int64_t needed, int64_t bound)
{
    log_printf("Image refused: %dx%d needs %lld bytes, the file holds at most %lld\n", width, height,
               (long long)needed, (long long)bound);
    return 0;
}

// Whether the file still holds a separator byte and width x height samples
// of the given bytes each.
static int file_holds_samples(GameFile *file, int width, int height, int sample_bytes)
{
    int64_t needed = 1 + (int64_t)width * height * sample_bytes;
    int64_t bound = file_bytes_bound(file);
    return needed <= bound || refuse_image_size(width, height, needed, bound);
}

// The same for text samples: a number and a blank each (the last one's
// blank may be missing), within the allowance of missing samples.
static int file_holds_text_samples(GameFile *file, int width, int height, int channels)
{
    int64_t samples = (int64_t)width * height * channels;
    int64_t bound = file_bytes_bound(file);
    return samples <= (bound + 1) / 2 + TEXT_IMAGE_MISSING_MAX ||
           refuse_image_size(width, height, 2 * samples - 1, bound);
}

// One header number after any '#' comment lines; 0 when it cannot be read.
static int read_header_number(GameFile *file, int *value)
{
    char hash[2];
    while (file_scanf(file, " %1[#]%*[^\n]", hash) == 1) {
    }
    return file_scanf(file, "%d", value) == 1;
}

int read_raw_image(const char *word, GameFile *file, uint8_t **pixels, int *width, int *height,
                   int channels)
{
    int w, h;
    if (!read_header_number(file, &w) || !read_header_number(file, &h))
        return 0;
    size_t bytes = mip_chain_bytes(w, h, channels);
    if (bytes == 0 || (channels != 3 && channels != 4))
        return 0;
    int stored = strcmp(word, "J7") == 0 ? 4 : 3;
    if (!file_holds_samples(file, w, h, stored))
        return 0;
    file_getc(file);
    uint8_t *out = (uint8_t *)checked_malloc_large(bytes);
    if (!out)
        return 0;
    ptrdiff_t above = (ptrdiff_t)w * channels;   // back one row (signed: it steps backwards)
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t *d = out + ((size_t)y * w + x) * channels;
            for (int c = 0; c < 4; c++) {
                int residual = 0;
                if (c < stored) {
                    residual = file_getc(file);
                    if (residual < 0) {
                        checked_free(out);
                        return 0;
                    }
                }
                if (c >= channels)
                    continue;
                int prediction;
                if (x == 0 && y == 0) {
                    prediction = 0;
                } else if (y == 0) {
                    prediction = d[c - channels];
                } else if (x == 0) {
                    prediction = d[c - above];
                } else {
                    int left = d[c - channels], up = d[c - above];
                    int corner = d[c - above - channels];
                    prediction = left + up - corner;
                    prediction = prediction < 0 ? 0 : prediction > 255 ? 255 : prediction;
                }
                d[c] = (uint8_t)((prediction + residual) & 255);
            }
        }
    build_mipmaps(out, w, h, channels, 0);
    *pixels = out;
    *width = w;
    *height = h;
    return 1;
}

// The samples of a PPM or PGM body: binary (one or two bytes a sample) or
// text; each scaled to 0..255. 0 on short binary data.
static int read_pnm_samples(GameFile *file, int binary, int maximum, uint8_t *out, size_t count)
{
    if (binary) {
        file_getc(file);
        int wide = maximum > 255;
        if (!wide) {
            // Bytes as they are, read in blocks, then scaled.
            for (size_t done = 0; done < count;) {
                int chunk = count - done > 1 << 20 ? 1 << 20 : (int)(count - done);
                int got = file_read(file, out + done, chunk);
                if (got <= 0)
                    return 0;
                done += (size_t)got;
            }
            for (size_t i = 0; i < count && maximum != 255; i++) {
                int v = out[i] > maximum ? maximum : out[i];
                out[i] = (uint8_t)(v * 255 / maximum);
            }
            return 1;
        }
        for (size_t i = 0; i < count; i++) {
            int v = file_getc(file);
            if (v < 0)
                return 0;
            if (wide) {
                int low = file_getc(file);
                if (low < 0)
                    return 0;
                v = (v << 8) | low;
            }
            if (v > maximum)
                v = maximum;
            out[i] = (uint8_t)(maximum == 255 ? v : v * 255 / maximum);
        }
        return 1;
    }
    // A text sample that cannot be read counts as -1; values are scaled as
    // they are and kept as their low byte.
    auto scaled = [maximum](long long v) { return (uint8_t)(maximum == 255 ? v : v * 255 / maximum); };
    for (size_t i = 0; i < count; i++) {
        int v;
        if (!read_header_number(file, &v)) {
            // Stopped at the end or at a byte that starts no number and no
            // comment (a sign may have been taken): every later sample fails
            // the same way, so all of them are -1 at once.
            int next = file_peekc(file);
            int may_go_on = next == '#' || next == '+' || next == '-' || (next >= '0' && next <= '9') ||
                            next == ' ' || (next >= '\t' && next <= '\r');
            if (!may_go_on) {
                memset(out + i, scaled(-1), count - i);
                return 1;
            }
            v = -1;
        }
        out[i] = scaled(v);
    }
    return 1;
}

static int read_pnm_header(GameFile *file, int *w, int *h, int *maximum)
{
    if (!read_header_number(file, w) || !read_header_number(file, h) ||
        !read_header_number(file, maximum))
        return 0;
    return valid_size(*w, *h) && *maximum > 0 && *maximum <= 65535;
}

static int read_ppm_levels(const char *word, GameFile *file, uint8_t **pixels, int *width,
                           int *height, int mipmaps);

int read_ppm(const char *word, GameFile *file, uint8_t **pixels, int *width, int *height)
{
    return read_ppm_levels(word, file, pixels, width, height, 1);
}

static int read_ppm_levels(const char *word, GameFile *file, uint8_t **pixels, int *width,
                           int *height, int mipmaps)
{
    int w, h, maximum;
    if (!read_pnm_header(file, &w, &h, &maximum))
        return 0;
    if (strcmp(word, "P6") == 0 ? !file_holds_samples(file, w, h, maximum > 255 ? 6 : 3)
                                : !file_holds_text_samples(file, w, h, 3))
        return 0;
    size_t bytes = mipmaps ? mip_chain_bytes(w, h, 3) : (size_t)w * h * 3;
    uint8_t *out = bytes ? (uint8_t *)checked_malloc_large(bytes) : nullptr;
    if (!out)
        return 0;
    if (!read_pnm_samples(file, strcmp(word, "P6") == 0, maximum, out, (size_t)w * h * 3)) {
        checked_free(out);
        return 0;
    }
    if (mipmaps)
        build_rgb_mipmaps(out, w, h);
    *pixels = out;
    *width = w;
    *height = h;
    return 1;
}

int read_pgm(GameFile *file, uint8_t **pixels, int *width, int *height)
{
    char word[16];
    if (file_scanf(file, "%15s", word) != 1 || (strcmp(word, "P5") && strcmp(word, "P2")))
        return 0;
    int w, h, maximum;
    if (!read_pnm_header(file, &w, &h, &maximum))
        return 0;
    if (strcmp(word, "P5") == 0 ? !file_holds_samples(file, w, h, maximum > 255 ? 2 : 1)
                                : !file_holds_text_samples(file, w, h, 1))
        return 0;
    uint8_t *out = (uint8_t *)checked_malloc_large((size_t)w * h);
    if (!out)
        return 0;
    if (!read_pnm_samples(file, strcmp(word, "P5") == 0, maximum, out, (size_t)w * h)) {
        checked_free(out);
        return 0;
    }
    *pixels = out;
    *width = w;
    *height = h;
    return 1;
}

int read_rgb_image(GameFile *file, uint8_t **pixels, int *width, int *height)
{
    return read_rgb_image_levels(file, pixels, width, height, 1);
}

int read_rgb_image_levels(GameFile *file, uint8_t **pixels, int *width, int *height, int mipmaps)
{
    char word[16];
    if (file_scanf(file, "%15s", word) != 1)
        return 0;
    if (!strcmp(word, "P3") || !strcmp(word, "P6"))
        return read_ppm_levels(word, file, pixels, width, height, mipmaps);
    if (!strcmp(word, "J6") || !strcmp(word, "J7"))
        return read_raw_image(word, file, pixels, width, height, 3);
    return 0;
}

// libpng through the game-file streams.
static void png_read_callback(png_structp png, png_bytep data, png_size_t length)
{
    GameFile *file = (GameFile *)png_get_io_ptr(png);
    if (length > 0x7fffffff || file_read(file, data, (int)length) != (int)length)
        png_error(png, "short read");
}

static void png_write_callback(png_structp png, png_bytep data, png_size_t length)
{
    GameFile *file = (GameFile *)png_get_io_ptr(png);
    if (length > 0x7fffffff || file_write(file, data, (int)length) != (int)length)
        png_error(png, "short write");
}

static void png_flush_callback(png_structp png)
{
    if (file_flush((GameFile *)png_get_io_ptr(png)) != 0)
        png_error(png, "flush failed");
}

enum {
    PNG_CHUNK_BYTES_MAX = 8000000,   // largest chunk (text, profile) read
    PNG_CHUNK_COUNT_MAX = 1000,      // ancillary chunks kept (text and unknown)
};

// What a PNG read owns, freed on every way out.
struct PngRead {
    const char *name;
    GameFile *file;
    png_structp png;
    png_infop info;
    png_infop end;
    uint8_t *pixels;
    png_bytep *rows;
    char *info_text;
};

static void finish_png_read(PngRead *read, int keep)
{
    if (read->png)
        png_destroy_read_struct(&read->png, read->info ? &read->info : nullptr,
                                read->end ? &read->end : nullptr);
    if (read->file)
        file_close(read->file);
    checked_free(read->rows);
    if (!keep) {
        checked_free(read->pixels);
        checked_free(read->info_text);
    }
}

// libpng's errors and warnings go to the log; an error ends the read at the
// reader's setjmp.
static void log_png_error(png_structp png, png_const_charp message)
{
    const PngRead *read = (const PngRead *)png_get_error_ptr(png);
    log_printf("PNG '%.900s' refused: %s\n", read->name, message);
    png_longjmp(png, 1);
}

// A chunk longer than the chunk limit is only a warning to libpng, which
// then allocates and clears it whole: here it refuses the file.
static void log_png_warning(png_structp png, png_const_charp message)
{
    const PngRead *read = (const PngRead *)png_get_error_ptr(png);
    if (strstr(message, "chunk data is too large"))
        png_error(png, message);
    log_printf("PNG '%.900s': %s\n", read->name, message);
}

// Opens the file, checks the signature and prepares libpng with its limits
// (sides, chunk sizes and counts): a header may declare far more than the
// file holds. 0 on failure.
static int begin_png_read(PngRead *read, const char *name)
{
    memset(read, 0, sizeof *read);
    read->name = name;
    read->file = file_open(name, "rb");
    if (!read->file)
        return 0;
    png_byte signature[8];
    if (file_read(read->file, signature, 8) != 8 || png_sig_cmp(signature, 0, 8))
        return 0;
    read->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, read, log_png_error, log_png_warning);
    if (!read->png)
        return 0;
    png_set_user_limits(read->png, IMAGE_MAX_TEXTURE_SIDE, IMAGE_MAX_TEXTURE_SIDE);
    png_set_chunk_malloc_max(read->png, PNG_CHUNK_BYTES_MAX);
    png_set_chunk_cache_max(read->png, PNG_CHUNK_COUNT_MAX);
    read->info = png_create_info_struct(read->png);
    read->end = png_create_info_struct(read->png);
    if (!read->info || !read->end)
        return 0;
    png_set_read_fn(read->png, read->file, png_read_callback);
    png_set_sig_bytes(read->png, 8);
    return 1;
}

// Reads the header and refuses sizes beyond the image limits. Errors jump
// to the caller's setjmp.
static void read_png_header(PngRead *read, png_uint_32 *w, png_uint_32 *h, int *depth,
                            int *colour)
{
    png_read_info(read->png, read->info);
    png_get_IHDR(read->png, read->info, w, h, depth, colour, nullptr, nullptr, nullptr);
    if (*w > IMAGE_MAX_TEXTURE_SIDE || *h > IMAGE_MAX_TEXTURE_SIDE || !valid_size((int)*w, (int)*h))
        png_error(read->png, "image too large");
}

// Allocates the pixel buffer and row table and reads every row into it.
static void read_png_rows(PngRead *read, size_t bytes, size_t stride, png_uint_32 h)
{
    read->pixels = (uint8_t *)checked_malloc_large(bytes);
    read->rows = (png_bytep *)checked_malloc(sizeof(png_bytep) * h);
    if (!read->pixels || !read->rows)
        png_error(read->png, "out of memory");
    for (png_uint_32 y = 0; y < h; y++)
        read->rows[y] = read->pixels + (size_t)y * stride;
    png_read_image(read->png, read->rows);
}

static void append_text(char **text, const char *more, size_t length)
{
    size_t have = *text ? strlen(*text) : 0;
    char *grown = (char *)checked_realloc(*text, have + length + 1);
    if (!grown)
        return;
    memcpy(grown + have, more, length);
    grown[have + length] = 0;
    *text = grown;
}

static void append_png_text(PngRead *read, png_infop info)
{
    png_textp texts;
    int count = 0;
    if (png_get_text(read->png, info, &texts, &count) > 0)
        for (int i = 0; i < count; i++)
            if (texts[i].text)
                append_text(&read->info_text, texts[i].text, strlen(texts[i].text));
}

// Cuts the image's own mip levels out of a "[mip_custom]" picture.
static uint8_t *cut_custom_mips(const uint8_t *source, int width, int height, int channels)
{
    int top = height * 2 / 3;
    size_t bytes = mip_chain_bytes(width, top, channels);
    uint8_t *out = bytes ? (uint8_t *)checked_malloc(bytes) : nullptr;
    if (!out)
        return nullptr;
    uint8_t *d = out;
    int w = width, h = top, row = 0, column = 0;
    for (;;) {
        for (int y = 0; y < h; y++) {
            int sy = row + y < height ? row + y : height - 1;
            for (int x = 0; x < w; x++) {
                int sx = column + x < width ? column + x : width - 1;
                memcpy(d, source + ((size_t)sy * width + sx) * channels, channels);
                d += channels;
            }
        }
        if (w == 1 && h == 1)
            break;
        if (row + h < height)
            row += h;
        else
            column += w;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return out;
}

int load_png_texture_image(const char *name, uint8_t **pixels, int *width, int *height,
                           int *channels_out, char **info_out)
{
    char warning[1100];
    int ok = decode_png_texture_image(name, pixels, width, height, channels_out, info_out, warning,
                                      sizeof warning);
    if (warning[0])
        print_message(warning);
    return ok;
}

int decode_png_texture_image(const char *name, uint8_t **pixels, int *width, int *height,
                             int *channels_out, char **info_out, char *warning, size_t warning_size)
{
    if (warning_size > 0)
        warning[0] = 0;
    PngRead read;
    if (!begin_png_read(&read, name)) {
        finish_png_read(&read, 0);
        return 0;
    }
    if (setjmp(png_jmpbuf(read.png))) {
        finish_png_read(&read, 0);
        return 0;
    }
    png_uint_32 w, h;
    int depth, colour;
    read_png_header(&read, &w, &h, &depth, &colour);
    int channels = (colour & 4) ? 4 : 3;
    if (png_get_valid(read.png, read.info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(read.png);
        channels = 4;
    }
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(read.png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(read.png);
    if (depth == 16)
        png_set_strip_16(read.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(read.png);
    png_read_update_info(read.png, read.info);
    if (png_get_rowbytes(read.png, read.info) != (size_t)w * channels)
        png_error(read.png, "unexpected row layout");
    size_t bytes = mip_chain_bytes((int)w, (int)h, channels);
    read_png_rows(&read, bytes, (size_t)w * channels, h);
    png_read_end(read.png, read.end);
    append_png_text(&read, read.info);
    append_png_text(&read, read.end);

    char *info_name = (char *)checked_malloc(strlen(name) + 6);
    if (info_name) {
        sprintf(info_name, "%s.info", name);
        GameFile *info_file = file_open(info_name, "rb");
        if (info_file) {
            char buffer[1024];
            int n;
            while ((n = file_read(info_file, buffer, sizeof buffer)) > 0)
                append_text(&read.info_text, buffer, (size_t)n);
            file_close(info_file);
        }
        checked_free(info_name);
    }

    int image_height = (int)h;
    const char *text = read.info_text ? read.info_text : "";
    if (strstr(text, "[mip_custom]")) {
        if (h * 2 % 3 == 0) {
            uint8_t *cut = cut_custom_mips(read.pixels, (int)w, (int)h, channels);
            if (!cut)
                png_error(read.png, "out of memory");
            checked_free(read.pixels);
            read.pixels = cut;
            image_height = (int)(h * 2 / 3);
        } else {
            if (warning_size > 0)
                snprintf(warning, warning_size, "Warning: Invalid height for custom MIP map in '%.950s'", name);
            build_mipmaps(read.pixels, (int)w, (int)h, channels, 0);
        }
    } else {
        build_mipmaps(read.pixels, (int)w, (int)h, channels, strstr(text, "[mip_max_alpha]") ? 1 : 0);
    }
    *pixels = read.pixels;
    *width = (int)w;
    *height = image_height;
    *channels_out = channels;
    if (info_out)
        *info_out = read.info_text;
    else
        checked_free(read.info_text);
    read.info_text = nullptr;
    finish_png_read(&read, 1);
    return 1;
}

int read_rgba_image(const char *name, uint8_t **pixels, int *width, int *height)
{
    uint8_t *image;
    int w, h, channels;
    if (load_png_texture_image(name, &image, &w, &h, &channels, nullptr)) {
        if (channels == 3) {
            uint8_t *rgba = (uint8_t *)checked_malloc((size_t)w * h * 4);
            if (!rgba) {
                checked_free(image);
                return 0;
            }
            for (size_t i = 0; i < (size_t)w * h; i++) {
                memcpy(rgba + 4 * i, image + 3 * i, 3);
                rgba[4 * i + 3] = 255;
            }
            checked_free(image);
            image = rgba;
        }
        *pixels = image;
        *width = w;
        *height = h;
        return 1;
    }
    GameFile *file = file_open(name, "rb");
    if (!file)
        return 0;
    char word[16];
    int ok = file_scanf(file, "%15s", word) == 1 && (!strcmp(word, "J6") || !strcmp(word, "J7")) &&
             read_raw_image(word, file, pixels, width, height, 4);
    file_close(file);
    return ok;
}

int read_png(const char *name, uint16_t **samples, int *width, int *height)
{
    PngRead read;
    if (!begin_png_read(&read, name)) {
        finish_png_read(&read, 0);
        return 0;
    }
    if (setjmp(png_jmpbuf(read.png))) {
        finish_png_read(&read, 0);
        return 0;
    }
    png_uint_32 w, h;
    int depth, colour;
    read_png_header(&read, &w, &h, &depth, &colour);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(read.png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(read.png);
    if (depth == 16)
        png_set_swap(read.png);
    png_set_strip_alpha(read.png);
    if (colour == PNG_COLOR_TYPE_RGB || colour == PNG_COLOR_TYPE_RGB_ALPHA ||
        colour == PNG_COLOR_TYPE_PALETTE)
        png_set_rgb_to_gray_fixed(read.png, 1, -1, -1);
    png_read_update_info(read.png, read.info);
    int out_depth = png_get_bit_depth(read.png, read.info);
    size_t row_bytes = png_get_rowbytes(read.png, read.info);
    if (png_get_channels(read.png, read.info) != 1 || row_bytes != (size_t)w * (out_depth / 8))
        png_error(read.png, "unexpected row layout");
    // Rows go to the front half of each 16-bit row; 8-bit rows are widened below.
    read_png_rows(&read, (size_t)w * h * 2, (size_t)w * 2, h);
    png_read_end(read.png, read.end);
    uint16_t *out = (uint16_t *)read.pixels;
    if (out_depth == 8)
        for (png_uint_32 y = 0; y < h; y++) {
            uint8_t *row = read.pixels + (size_t)y * w * 2;
            uint16_t *wide = out + (size_t)y * w;
            for (png_uint_32 x = w; x-- > 0;)
                wide[x] = (uint16_t)(row[x] * 257);
        }
    *samples = out;
    *width = (int)w;
    *height = (int)h;
    read.pixels = nullptr;
    finish_png_read(&read, 0);
    return 1;
}

// What a PNG write owns.
struct PngWrite {
    png_structp png;
    png_infop info;
    png_bytep *rows;
};

static void finish_png_write(PngWrite *write)
{
    if (write->png)
        png_destroy_write_struct(&write->png, write->info ? &write->info : nullptr);
    checked_free(write->rows);
}

// The whole image into an open file: 1, or 0 when libpng reported an error
// (a short write and a failed flush among them).
static int write_png_to(GameFile *file, const uint8_t *pixels, int width, int height, int depth, int colour,
                        int transforms, int bottom_first)
{
    if (!file || !valid_size(width, height))
        return 0;
    PngWrite write;
    memset(&write, 0, sizeof write);
    write.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    write.info = write.png ? png_create_info_struct(write.png) : nullptr;
    write.rows = (png_bytep *)checked_malloc(sizeof(png_bytep) * height);
    if (!write.png || !write.info || !write.rows) {
        finish_png_write(&write);
        return 0;
    }
    if (setjmp(png_jmpbuf(write.png))) {
        finish_png_write(&write);
        return 0;
    }
    size_t row_bytes = (size_t)width * (colour == PNG_COLOR_TYPE_RGB ? 3 : 1) * (depth / 8);
    for (int y = 0; y < height; y++) {
        int source = bottom_first ? height - 1 - y : y;
        write.rows[y] = (png_bytep)(pixels + (size_t)source * row_bytes);
    }
    png_set_write_fn(write.png, file, png_write_callback, png_flush_callback);
    png_set_IHDR(write.png, write.info, (png_uint_32)width, (png_uint_32)height, depth, colour,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(write.png, write.info, write.rows);
    png_write_png(write.png, write.info, transforms, nullptr);
    finish_png_write(&write);
    return 1;
}

// The image through the checked replacement of the named file: 1 only when
// the file now holds the whole image.
static int write_png(const char *name, const uint8_t *pixels, int width, int height, int depth, int colour,
                     int transforms, int bottom_first)
{
    if (!valid_size(width, height))
        return 0;
    ReplacementFile out;
    if (!open_replacement_file(&out, name))
        return 0;
    if (!write_png_to(out.file, pixels, width, height, depth, colour, transforms, bottom_first))
        out.failed = 1;
    return commit_replacement_file(&out);
}

int write_png_gray16(const char *name, const uint16_t *samples, int width, int height)
{
    return write_png(name, (const uint8_t *)samples, width, height, 16, PNG_COLOR_TYPE_GRAY,
                     PNG_TRANSFORM_SWAP_ENDIAN, 0);
}

int write_png_gray16_to(GameFile *file, const uint16_t *samples, int width, int height)
{
    return write_png_to(file, (const uint8_t *)samples, width, height, 16, PNG_COLOR_TYPE_GRAY,
                        PNG_TRANSFORM_SWAP_ENDIAN, 0);
}

int write_png_rgb(const char *name, const uint8_t *pixels, int width, int height)
{
    return write_png(name, pixels, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_TRANSFORM_IDENTITY, 1);
}

char *replace_suffix(const char *name, const char *ending, const char *replacement)
{
    if (!name || !ending || !replacement)
        return nullptr;
    size_t length = strlen(name), tail = strlen(ending);
    if (tail > length || strcmp(name + length - tail, ending))
        return nullptr;
    size_t keep = length - tail;
    char *out = (char *)xmalloc(keep + strlen(replacement) + 1);
    memcpy(out, name, keep);
    strcpy(out + keep, replacement);
    return out;
}

char *replace_name_suffix(const char *name, const char *ending, const char *replacement)
{
    return replace_suffix(name, ending, replacement);
}
