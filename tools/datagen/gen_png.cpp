// PNG encoding into memory.
#include "tools/datagen/gen_png.h"

#include <csetjmp>
#include <cstring>
#include <png.h>
#include <zlib.h>

#include "core/alloc.h"

static void write_to_buffer(png_structp png, png_bytep data, png_size_t length)
{
    ByteBuffer *out = (ByteBuffer *)png_get_io_ptr(png);
    if (!buffer_append(out, data, length))
        png_error(png, "out of memory");
}

static void flush_nothing(png_structp) {}

int encode_png(ByteBuffer *out, const void *pixels, int width, int height, PngKind kind, const char *text)
{
    static const int types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB_ALPHA};
    static const int bytes_per_pixel[] = {1, 2, 3, 4};
    if (width <= 0 || height <= 0)
        return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return 0;
    png_infop info = png_create_info_struct(png);
    png_bytep *volatile rows = nullptr;
    size_t start = out->size;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        checked_free((void *)rows);
        out->size = start;
        return 0;
    }
    png_set_write_fn(png, out, write_to_buffer, flush_nothing);
    png_set_compression_level(png, 9);
    png_set_compression_mem_level(png, 9);
    // Heights: Up unfilters much faster than Paeth for 2-byte samples and
    // packs smaller on the generated terrains; the filtered strategy
    // inflates faster still for a few percent more bytes.
    png_set_compression_strategy(png, kind == PNG_GREY16 ? Z_FILTERED : Z_DEFAULT_STRATEGY);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kind == PNG_GREY16 ? PNG_FILTER_UP : PNG_FILTER_PAETH);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, kind == PNG_GREY16 ? 16 : 8, types[kind],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_text chunk;
    if (text) {
        memset(&chunk, 0, sizeof chunk);
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = (png_charp) "Comment";
        chunk.text = (png_charp)text;
        chunk.text_length = strlen(text);
        png_set_text(png, info, &chunk, 1);
    }
    png_write_info(png, info);
    if (kind == PNG_GREY16) {
        uint16_t probe = 1;
        if (*(uint8_t *)&probe == 1)
            png_set_swap(png);   // PNG holds big-endian samples
    }
    size_t stride = (size_t)width * bytes_per_pixel[kind];
    rows = (png_bytep *)checked_malloc(sizeof(png_bytep) * (size_t)height);
    if (!rows)
        png_error(png, "out of memory");
    for (int y = 0; y < height; y++)
        rows[y] = (png_bytep)pixels + stride * y;
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    checked_free((void *)rows);
    return 1;
}
