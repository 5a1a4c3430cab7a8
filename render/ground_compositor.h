// The software ground compositor of render mode 1: tile images, decals and
// the terrain's lighting composited in memory and uploaded, with the span
// kernels of its three inner loops, plain and SSE2.
#pragma once

#include <cstdint>

struct Terrain;

// Set by detect_mmx when the processor has the vector kernels' instructions
// (SSE2); the kernels then replace the plain loops, byte for byte the same.
extern int has_mmx;
void detect_mmx(void);
// "--nommx": the plain loops again ("Ignoring MMX\n" when the kernels were on).
void ignore_mmx(void);

// A point of the compositing buffer (pixels, y with the terrain's z).
struct BufferPoint {
    double x, y;
};

// Composites the area of size x size tile-map units at (x0, z0) into the
// texture (its top level, and the mip chain when ground mipmaps are on);
// a texture of 0 composites into the buffer only.
void terrain_block_texture_cpu(Terrain *terrain, int texture, int x0, int z0, int size);

// Rasterises one decal quad into a side x side RGB buffer: texels of the
// RGBA image at (u, v) = origin + steps, blended by their alpha.
void blend_decal_quad(uint8_t *buffer, int side, const uint8_t *image, int width, int height,
                      BufferPoint top, BufferPoint left, BufferPoint bottom, BufferPoint right,
                      BufferPoint origin, const double step_x[2], const double step_z[2]);

// Span kernels. Texture positions and steps are 16.16 fixed point in 64
// bits; images are RGBA, rows RGB.
void blend_span_plain(uint8_t *row, int count, const uint8_t *image, int width, int height, int64_t u,
                      int64_t v, int64_t du, int64_t dv);
void blend_span_bilinear_plain(uint8_t *row, int count, const uint8_t *image, int width, int height,
                               int64_t u, int64_t v, int64_t du, int64_t dv);
// Lighting of a row: each pixel times the shade bilinearly interpolated
// from the vertex colours (3 bytes a sample) at (column + i step, row), / 128.
void shade_span_plain(uint8_t *row, int count, const uint8_t *shades, int samples_per_row,
                      int64_t column, int64_t row_position, int64_t step);
void blend_span_mmx(uint8_t *row, int count, const uint8_t *image, int width, int height, int64_t u,
                    int64_t v, int64_t du, int64_t dv);
void blend_span_bilinear_mmx(uint8_t *row, int count, const uint8_t *image, int width, int height,
                             int64_t u, int64_t v, int64_t du, int64_t dv);
void shade_span_mmx(uint8_t *row, int count, const uint8_t *shades, int samples_per_row, int64_t column,
                    int64_t row_position, int64_t step);
