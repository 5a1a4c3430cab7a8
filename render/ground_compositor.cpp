// The software ground compositor: one ground texture composited in main
// memory from the tile images, the decals on the area and the terrain's
// lighting, then uploaded with its mip chain. All inner loops are integer
// fixed point; positions are 64 bits so that far decals cannot overflow.
#include "render/ground_compositor.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "render/decal_grid.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/render_settings.h"
#include "track/decals.h"
#include "track/terrain.h"

// Texture positions further out than this are held there: a span of a few
// thousand pixels then still cannot overflow 64 bits.
constexpr double FIXED_LIMIT = 1125899906842624.0;   // 2^50

static int64_t to_fixed(double value)
{
    value *= 65536.0;
    if (!(value > -FIXED_LIMIT))
        return (int64_t)-FIXED_LIMIT;   // also a NaN
    if (value > FIXED_LIMIT)
        return (int64_t)FIXED_LIMIT;
    return (int64_t)floor(value);
}

// A pixel index from a coordinate, held to -1..limit + 1 before conversion.
static int to_pixel(double value, int limit)
{
    value = floor(value);
    if (!(value > -1.0))
        return -1;
    if (value > (double)limit + 1.0)
        return limit + 1;
    return (int)value;
}

// Level k of an RGBA image with its mip chain, and its size.
static const uint8_t *image_level(const uint8_t *pixels, int width, int height, int level, int *level_width,
                                  int *level_height)
{
    for (int k = 0; k < level; k++) {
        pixels += 4 * (size_t)width * height;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    *level_width = width;
    *level_height = height;
    return pixels;
}

static uint8_t *composite_buffer(Terrain *terrain, int side)
{
    if (!terrain->composite_buffer)
        terrain->composite_buffer = (uint8_t *)checked_malloc(mip_chain_bytes(side, side, 3));
    return terrain->composite_buffer;
}

// Tile squares: the middle 7/8 of each tile image stretched over its square,
// nearest texels, from the mip level that keeps both steps near one texel.
static void composite_tiles(Terrain *terrain, uint8_t *buffer, int side, int x0, int z0, int size)
{
    int tiles = terrain_tile_side(terrain);
    double square = (double)side / (double)size;
    for (int i = 0; i < size; i++) {
        int first_row = to_pixel(i * square - 0.5, side) + 1, last_row = to_pixel((i + 1) * square - 0.5, side);
        first_row = first_row < 0 ? 0 : first_row;
        last_row = last_row > side - 1 ? side - 1 : last_row;
        for (int j = 0; j < size; j++) {
            int tx = x0 + j, tz = z0 + i;
            if (tx < 0 || tz < 0 || tx >= tiles || tz >= tiles || !terrain->tile_map)
                continue;
            const TileInfo *tile = &terrain->tiles[terrain->tile_map[(size_t)tz * tiles + tx]];
            if (!tile->image || tile->image_width < 1 || tile->image_height < 1)
                continue;   // no image: the square stays black
            int first = to_pixel(j * square - 0.5, side) + 1, last = to_pixel((j + 1) * square - 0.5, side);
            first = first < 0 ? 0 : first;
            last = last > side - 1 ? side - 1 : last;
            if (first > last || first_row > last_row)
                continue;
            int w = tile->image_width, h = tile->image_height, level = 0;
            double step_x = 0.875 * w / square, step_z = 0.875 * h / square;
            while (step_x > 1.0 && step_z > 1.0 && w >= 2 && h >= 2) {
                w /= 2;
                h /= 2;
                step_x /= 2.0;
                step_z /= 2.0;
                level++;
            }
            int lw, lh;
            const uint8_t *image = image_level(tile->image, tile->image_width, tile->image_height, level, &lw, &lh);
            int64_t du = to_fixed(step_x);
            int64_t u0 = to_fixed(lw / 16.0 + (first + 0.5 - j * square) * step_x);
            for (int py = first_row; py <= last_row; py++) {
                int ty = (int)(to_fixed(lh / 16.0 + (py + 0.5 - i * square) * step_z) >> 16);
                ty = ty < 0 ? 0 : ty > lh - 1 ? lh - 1 : ty;
                const uint8_t *source_row = image + 4 * (size_t)ty * lw;
                uint8_t *d = buffer + 3 * ((size_t)py * side + first);
                int64_t u = u0;
                for (int px = first; px <= last; px++, d += 3, u += du) {
                    int64_t t = u >> 16;
                    int tx2 = t < 0 ? 0 : t > lw - 1 ? lw - 1 : (int)t;
                    memcpy(d, source_row + 4 * tx2, 3);
                }
            }
        }
    }
    terrain->composite_count += size * size;
}

// x of the edge from a to b at height y (a flat edge gives its far end).
static double edge_x(BufferPoint a, BufferPoint b, double y)
{
    double dy = b.y - a.y;
    if (!(fabs(dy) > 1e-12))
        return b.x;
    return a.x + (y - a.y) * (b.x - a.x) / dy;
}

void blend_decal_quad(uint8_t *buffer, int side, const uint8_t *image, int width, int height,
                      BufferPoint top, BufferPoint left, BufferPoint bottom, BufferPoint right,
                      BufferPoint origin, const double step_x[2], const double step_z[2])
{
    if (!buffer || !image || width < 1 || height < 1 || side < 1)
        return;
    int first_row = to_pixel(top.y - 0.5, side) + 1;
    int last_row = to_pixel(bottom.y - 0.5, side);
    first_row = first_row < 0 ? 0 : first_row;
    if (first_row > side - 1 || last_row < 0)
        return;
    last_row = last_row > side - 1 ? side - 1 : last_row;
    int bilinear = step_x[0] * step_x[0] + step_x[1] * step_x[1] < 1.0 ||
                   step_z[0] * step_z[0] + step_z[1] * step_z[1] < 1.0;
    for (int row = first_row; row <= last_row; row++) {
        double y = row + 0.5;
        double lx = y < left.y ? edge_x(top, left, y) : edge_x(left, bottom, y);
        double rx = y < right.y ? edge_x(top, right, y) : edge_x(right, bottom, y);
        int first = to_pixel(lx - 0.5, side) + 1, last = to_pixel(rx - 0.5, side);
        first = first < 0 ? 0 : first;
        last = last > side - 1 ? side - 1 : last;
        if (first > last)
            continue;
        double ox = first + 0.5 - origin.x, oy = y - origin.y;
        int64_t u = to_fixed(ox * step_x[0] + oy * step_z[0]);
        int64_t v = to_fixed(ox * step_x[1] + oy * step_z[1]);
        int64_t du = to_fixed(step_x[0]), dv = to_fixed(step_x[1]);
        uint8_t *d = buffer + 3 * ((size_t)row * side + first);
        int count = last - first + 1;
        if (bilinear)
            (has_mmx ? blend_span_bilinear_mmx : blend_span_bilinear_plain)(d, count, image, width, height, u, v,
                                                                            du, dv);
        else
            (has_mmx ? blend_span_mmx : blend_span_plain)(d, count, image, width, height, u, v, du, dv);
    }
}

// The corners sorted into top, bottom, left and right of the top-bottom
// diagonal (opposite corners of the parallelogram).
static void sort_corners(const BufferPoint corners[4], BufferPoint *top, BufferPoint *left, BufferPoint *bottom,
                         BufferPoint *right)
{
    int t = 0, b = 0;
    for (int i = 1; i < 4; i++) {
        if (corners[i].y < corners[t].y || (corners[i].y == corners[t].y && corners[i].x < corners[t].x))
            t = i;
        if (corners[i].y > corners[b].y || (corners[i].y == corners[b].y && corners[i].x > corners[b].x))
            b = i;
    }
    int others[2], n = 0;
    for (int i = 0; i < 4; i++)
        if (i != t && i != b && n < 2)
            others[n++] = i;
    *top = corners[t];
    *bottom = corners[b];
    // The side of the top-to-bottom line: negative cross product is left (x smaller).
    BufferPoint p = corners[others[0]];
    double cross = (bottom->x - top->x) * (p.y - top->y) - (bottom->y - top->y) * (p.x - top->x);
    int first_left = cross > 0.0 || (cross == 0.0 && p.x < corners[others[1]].x);
    *left = corners[others[first_left ? 0 : 1]];
    *right = corners[others[first_left ? 1 : 0]];
}

static void composite_decal(Terrain *terrain, uint8_t *buffer, int side, const Decal *decal, double area_x,
                            double area_z, double p)
{
    if (!decal->image || decal->image_width < 1 || decal->image_height < 1)
        return;
    double s = decal->width, r = decal->aspect, sine = decal->sine, cosine = decal->cosine;
    double w = decal->image_width, h = decal->image_height;
    if (!(s != 0.0) || !(r != 0.0) || !std::isfinite(s * r * p) || !std::isfinite(sine) || !std::isfinite(cosine))
        return;   // no size: nothing to draw (and the steps would divide by 0)
    double cx = (decal->x - area_x) * p, cz = (decal->z - area_z) * p;
    double ax = r * s * cosine * p / 2, az = -r * s * sine * p / 2;
    double bx = s * sine * p / 2, bz = s * cosine * p / 2;
    if (!std::isfinite(cx) || !std::isfinite(cz))
        return;
    BufferPoint corners[4] = {{cx - ax - bx, cz - az - bz},
                              {cx - ax + bx, cz - az + bz},
                              {cx + ax - bx, cz + az - bz},
                              {cx + ax + bx, cz + az + bz}};
    double step_x[2] = {cosine * w / (r * s * p), sine * h / (s * p)};
    double step_z[2] = {-sine * w / (r * s * p), cosine * h / (s * p)};
    int level = 0;
    int lw = decal->image_width, lh = decal->image_height;
    while ((step_x[0] * step_x[0] + step_x[1] * step_x[1] >= 4.0 ||
            step_z[0] * step_z[0] + step_z[1] * step_z[1] >= 4.0) &&
           lw >= 2 && lh >= 2) {
        for (int i = 0; i < 2; i++) {
            step_x[i] /= 2.0;
            step_z[i] /= 2.0;
        }
        lw /= 2;
        lh /= 2;
        level++;
    }
    int iw, ih;
    const uint8_t *image = image_level(decal->image, decal->image_width, decal->image_height, level, &iw, &ih);
    BufferPoint top, left, bottom, right;
    sort_corners(corners, &top, &left, &bottom, &right);
    blend_decal_quad(buffer, side, image, iw, ih, top, left, bottom, right, corners[0], step_x, step_z);
    terrain->decal_draw_count++;
}

static void composite_decals(Terrain *terrain, uint8_t *buffer, int side, int x0, int z0, int size)
{
    if (!terrain->decals.data || terrain->decals.count == 0 || terrain->decals_hidden)
        return;
    double spacing = terrain->cell;
    double area_x = 2.0 * x0 * spacing, area_z = 2.0 * z0 * spacing;
    double area_width = 2.0 * size * spacing;
    GrowableArray *list = find_decals_in_rect(terrain, (float)area_x, (float)area_z, (float)(area_x + area_width),
                                              (float)(area_z + area_width));
    if (!list)
        return;
    terrain->composite_count += list->count;
    double p = side / area_width;
    const int *indices = (const int *)list->data;
    for (int i = 0; i < list->count; i++) {
        int index = indices[i];
        if (index < 0 || index >= terrain->decals.count)
            continue;
        composite_decal(terrain, buffer, side, (const Decal *)terrain->decals.data + index, area_x, area_z, p);
    }
}

// The terrain's lighting multiplied in from the vertex shade colours.
static void composite_lighting(Terrain *terrain, uint8_t *buffer, int side, int x0, int z0, int size)
{
    int64_t step = ((int64_t)2 * size << 16) / side;
    int64_t column = (int64_t)2 * x0 << 16;
    for (int py = 0; py < side; py++) {
        int64_t row = ((int64_t)2 * z0 << 16) + py * step;
        (has_mmx ? shade_span_mmx : shade_span_plain)(buffer + 3 * (size_t)py * side, side, terrain->shading,
                                                      terrain->side, column, row, step);
    }
}

static void refresh_area_shades(Terrain *terrain, int x0, int z0, int size)
{
    if (!terrain->shading_dirty || !terrain->shading)
        return;
    int last = terrain->side - 1;
    int c0 = 2 * x0 < 0 ? 0 : 2 * x0, c1 = 2 * (x0 + size) > last ? last : 2 * (x0 + size);
    int r0 = 2 * z0 < 0 ? 0 : 2 * z0, r1 = 2 * (z0 + size) > last ? last : 2 * (z0 + size);
    for (int row = r0; row <= r1; row++)
        for (int column = c0; column <= c1; column++) {
            int index = row * terrain->side + column;
            if (terrain_bit(terrain->shading_dirty, index)) {
                shade_terrain_point(terrain, column, row, terrain->shading + 3 * (size_t)index);
                terrain_clear_bit(terrain->shading_dirty, index);
            }
        }
}

static void upload_composite(int texture, uint8_t *buffer, int side)
{
    if (texture <= 0 || !gl_ready())
        return;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, side, side, GL_RGB, GL_UNSIGNED_BYTE, buffer);
    if (ground_mipmaps) {
        uint8_t *level = buffer;
        int size = side;
        for (int k = 1; size > 1; k++) {
            uint8_t *next = level + 3 * (size_t)size * size;
            int half = size / 2;
            for (int y = 0; y < half; y++)
                for (int x = 0; x < half; x++)
                    for (int c = 0; c < 3; c++) {
                        const uint8_t *a = level + 3 * ((size_t)(2 * y) * size + 2 * x) + c;
                        int sum = a[0] + a[3] + a[3 * size] + a[3 * size + 3];
                        next[3 * ((size_t)y * half + x) + c] = (uint8_t)(sum >> 2);
                    }
            glTexSubImage2D(GL_TEXTURE_2D, k, 0, 0, half, half, GL_RGB, GL_UNSIGNED_BYTE, next);
            level = next;
            size = half;
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

void terrain_block_texture_cpu(Terrain *terrain, int texture, int x0, int z0, int size)
{
    int side = terrain->texture_size;
    if (side < 1 || size < 1 || !terrain->heights || !terrain->shading)
        return;
    uint8_t *buffer = composite_buffer(terrain, side);
    if (!buffer)
        return;
    memset(buffer, 0, 3 * (size_t)side * side);
    refresh_area_shades(terrain, x0, z0, size);
    composite_tiles(terrain, buffer, side, x0, z0, size);
    composite_decals(terrain, buffer, side, x0, z0, size);
    composite_lighting(terrain, buffer, side, x0, z0, size);
    upload_composite(texture, buffer, side);
}
