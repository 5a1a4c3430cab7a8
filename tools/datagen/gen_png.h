// PNG encoding into memory with libpng: fixed filters and compression
// level and no time chunk, so the same pixels always give the same bytes.
#pragma once

#include <cstdint>

#include "tools/datagen/gen_buffer.h"

enum PngKind {
    PNG_GREY8,    // 1 byte a pixel
    PNG_GREY16,   // 2 bytes a pixel, machine order
    PNG_RGB8,
    PNG_RGBA8,
};

// Rows top first. text (may be null) goes into one tEXt chunk.
int encode_png(ByteBuffer *out, const void *pixels, int width, int height, PngKind kind, const char *text);
