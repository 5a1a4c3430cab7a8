// The terrain height field: sampling, face and sample normals, ground bases,
// digging and the height setter with its dirty bookkeeping.
#include "track/terrain.h"

#include <cmath>
#include <cstring>

#include "app/track_settings.h"
#include "render/ground_textures.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "track/lighting.h"

Terrain *current_terrain;

int ground_first_level(void)
{
    return ground_detail_limit < 0 ? 0 : ground_detail_limit > 6 ? 6 : ground_detail_limit;
}

int terrain_tile_side(const Terrain *terrain)
{
    return 1 << terrain->grid_exponent;
}

int terrain_triangle_count(const Terrain *terrain)
{
    return 2 * (terrain->side - 1) * (terrain->side - 1);
}

int terrain_lod_node_count(int exponent)
{
    return (int)(((1LL << (2 * (exponent + 1))) - 1) / 3);
}

int terrain_low_detail_count(const Terrain *terrain)
{
    return ((2 << terrain->grid_exponent) / 128 + 2) / 3;
}

int terrain_block_count(const Terrain *terrain)
{
    return terrain->grid_exponent >= 6 ? 1 << (terrain->grid_exponent - 6) : 1;
}

int terrain_bit(const uint32_t *bits, int index)
{
    return (bits[index >> 5] >> (index & 31)) & 1;
}

void terrain_set_bit(uint32_t *bits, int index)
{
    bits[index >> 5] |= 1u << (index & 31);
}

void terrain_clear_bit(uint32_t *bits, int index)
{
    bits[index >> 5] &= ~(1u << (index & 31));
}

uint32_t *allocate_terrain_bitmap(int bits, int set)
{
    size_t words = ((size_t)bits + 31) / 32;
    uint32_t *map = (uint32_t *)checked_malloc(words * sizeof(uint32_t) + sizeof(uint32_t));
    if (map)
        memset(map, set ? 0xff : 0, words * sizeof(uint32_t) + sizeof(uint32_t));
    return map;
}

void choose_cell_triangle(float fx, float fz, TriangleChoice *choice)
{
    float fcx = floorf(fx);
    float fcz = floorf(fz);
    int cx = (int)fcx;
    int cz = (int)fcz;
    float u = fx - fcx;
    float v = fz - fcz;
    int a, b;
    if ((cx ^ cz) & 1) {
        a = cx;
        b = cx + 1;
    } else {
        u = 1.0f - u;
        a = cx + 1;
        b = cx;
    }
    int r = cz, r2 = cz + 1;
    if (u + v > 1.0f) {
        u = 1.0f - u;
        v = 1.0f - v;
        int swap = a;
        a = b;
        b = swap;
        r = cz + 1;
        r2 = cz;
    }
    choice->a = a;
    choice->b = b;
    choice->r = r;
    choice->r2 = r2;
    choice->u = u;
    choice->v = v;
}

static void choose_triangle(const Terrain *terrain, float x, float z, TriangleChoice *choice)
{
    float inverse = 1.0f / terrain->cell;
    float fx = x * inverse;
    float fz = z * inverse;
    // Far outside the grid every point takes the edge values; keep the cell
    // index representable (NaN lands on the low edge).
    float limit = (float)terrain->side + 2.0f;
    fx = fminf(fmaxf(fx, -2.0f), limit);
    fz = fminf(fmaxf(fz, -2.0f), limit);
    choose_cell_triangle(fx, fz, choice);
}

static inline int clamp_index(int value, int side)
{
    return value < 0 ? 0 : value >= side ? side - 1 : value;
}

static inline float height_at(const Terrain *terrain, const float *heights, int column, int row)
{
    int side = terrain->side;
    return heights[clamp_index(row, side) * side + clamp_index(column, side)];
}

float sample_height_array(const Terrain *terrain, const float *heights, float x, float z)
{
    TriangleChoice c;
    choose_triangle(terrain, x, z, &c);
    float h0 = height_at(terrain, heights, c.a, c.r);
    float h1 = height_at(terrain, heights, c.b, c.r);
    float h2 = height_at(terrain, heights, c.a, c.r2);
    return h0 + (h1 - h0) * c.u + (h2 - h0) * c.v;
}

float sample_ground_height(const Terrain *terrain, float x, float z)
{
    return sample_height_array(terrain, terrain->heights, x, z);
}

float get_terrain_height(const Terrain *terrain, float x, float z)
{
    return sample_ground_height(terrain, x, z);
}

static int tile_index(float coordinate, float scale, int tiles)
{
    float t = coordinate * scale;
    if (!(t > 0.0f))
        return 0;   // also a NaN
    if (t >= (float)(tiles - 1))
        return tiles - 1;
    return (int)t;
}

const TileInfo *terrain_tile_at(const Terrain *terrain, float x, float z)
{
    int tiles = terrain_tile_side(terrain);
    int tile = 0;
    if (terrain->tile_map && tiles > 0) {
        float scale = 0.5f / terrain->cell;
        tile = terrain->tile_map[tile_index(z, scale, tiles) * tiles + tile_index(x, scale, tiles)];
    }
    return &terrain->tiles[tile];
}

void get_terrain_face_normal(const Terrain *terrain, float x, float z, float *normal)
{
    TriangleChoice c;
    choose_triangle(terrain, x, z, &c);
    const float *heights = terrain->heights;
    float h0 = height_at(terrain, heights, c.a, c.r);
    float h1 = height_at(terrain, heights, c.b, c.r);
    float h2 = height_at(terrain, heights, c.a, c.r2);
    float cell = terrain->cell;
    // (p1 - p0) x (p2 - p0) with p1 - p0 along x and p2 - p0 along z.
    float e1x = (float)(c.b - c.a) * cell, e1y = h1 - h0;
    float e2y = h2 - h0, e2z = (float)(c.r2 - c.r) * cell;
    float nx = e1y * e2z;
    float ny = -e1x * e2z;
    float nz = e1x * e2y;
    if (ny < 0.0f) {
        nx = -nx;
        ny = -ny;
        nz = -nz;
    }
    normal[0] = nx;
    normal[1] = ny;
    normal[2] = nz;
}

float get_terrain_elevation(const Terrain *terrain, float x, float z, float *normal)
{
    get_terrain_face_normal(terrain, x, z, normal);
    return sample_ground_height(terrain, x, z);
}

static void normalise3(float *v)
{
    float length = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

static void cross3(const float *a, const float *b, float *out)
{
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void compute_ground_basis(float *matrix, float x, float z, float yaw)
{
    float m[3][3];
    if (yaw >= 3.25f) {
        static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        memcpy(matrix, identity, sizeof identity);
        return;
    }
    m[0][0] = cosf(yaw);
    m[0][1] = 0.0f;
    m[0][2] = -sinf(yaw);
    if (yaw <= -6.283185307179586f) {
        m[1][0] = 0.0f;
        m[1][1] = 1.0f;
        m[1][2] = 0.0f;
    } else {
        const Terrain *terrain = current_terrain;
        float h0 = 0.0f, h1 = 0.0f, h2 = 0.0f;
        if (terrain && terrain->heights) {
            h0 = sample_ground_height(terrain, x, z);
            h1 = sample_ground_height(terrain, x + 1.0f, z);
            h2 = sample_ground_height(terrain, x, z + 1.0f);
        }
        float dx = (x + 1.0f) - x;
        float dz = (z + 1.0f) - z;
        m[1][0] = -(h1 - h0) * dz;
        m[1][1] = dx * dz;
        m[1][2] = -(h2 - h0) * dx;
        normalise3(m[1]);
    }
    cross3(m[0], m[1], m[2]);
    normalise3(m[2]);
    cross3(m[1], m[2], m[0]);
    normalise3(m[1]);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            matrix[i * 3 + j] = m[j][i];
}

// Applies amount x weight over the dig window; returns the summed change and
// the window of samples really changed (columns and rows), or 0 changed.
struct DigWindow {
    int changed;
    int min_column, min_row, max_column, max_row;
};

static float dig_weight(float fx, float fz, int column, int row, float rc)
{
    float dz = fz - (float)row;
    float dx = fx - (float)column;
    float d = sqrtf(dz * dz + dx * dx);
    if (d != d)
        return 1.0f;
    if (d > rc)
        return 0.0f;
    if (!(rc > 0.0f))
        return 1.0f;
    float t = d / rc;
    return 2.0f * t * t * t - 3.0f * t * t + 1.0f;
}

// The window of samples of a dig that lies on the grid; 0 when empty.
static int dig_bounds(const Terrain *terrain, float x, float z, float radius, float *fx, float *fz,
                      float *rc, int bounds[4])
{
    if (!std::isfinite(x) || !std::isfinite(z) || !(radius >= 0.0f) || !std::isfinite(radius))
        return 0;
    float inverse = 1.0f / terrain->cell;
    *fx = x * inverse;
    *fz = z * inverse;
    *rc = radius / terrain->cell;
    double reach = ceil((double)*rc);
    double cx = floor((double)*fx), cz = floor((double)*fz);
    double last = terrain->side - 1;
    double x0 = fmax(cx - reach + 1.0, 0.0), x1 = fmin(cx + reach, last);
    double z0 = fmax(cz - reach + 1.0, 0.0), z1 = fmin(cz + reach, last);
    if (x0 > x1 || z0 > z1)
        return 0;
    bounds[0] = (int)x0;
    bounds[1] = (int)z0;
    bounds[2] = (int)x1;
    bounds[3] = (int)z1;
    return 1;
}

static void finish_dig(Terrain *terrain, const DigWindow *window)
{
    if (!window->changed)
        return;
    // A sample touches the cells on both sides of it.
    mark_terrain_area_dirty(terrain, window->min_column - 1, window->min_row - 1,
                            window->max_column, window->max_row);
    terrain->change_counter++;
}

static float apply_dig(Terrain *terrain, float fx, float fz, float rc, const int bounds[4],
                       float amount, DigWindow *window)
{
    float sum = 0.0f;
    window->changed = 0;
    for (int row = bounds[1]; row <= bounds[3]; row++)
        for (int column = bounds[0]; column <= bounds[2]; column++) {
            float w = dig_weight(fx, fz, column, row, rc);
            float old = terrain->heights[row * terrain->side + column];
            float height = old + amount * w;
            // A change lost to rounding or one that would leave a height
            // that is not finite is no change.
            if (height == old || !std::isfinite(height))
                continue;
            if (!set_terrain_height(terrain, column, row, height))
                continue;
            sum += height - old;
            if (!window->changed) {
                window->changed = 1;
                window->min_column = window->max_column = column;
                window->min_row = window->max_row = row;
            }
            if (column < window->min_column) window->min_column = column;
            if (column > window->max_column) window->max_column = column;
            if (row > window->max_row) window->max_row = row;
        }
    return sum;
}

float terrain_dig(Terrain *terrain, float x, float z, float radius, float amount)
{
    if (!std::isfinite(amount) || amount == 0.0f || !terrain->heights)
        return 0.0f;
    float fx, fz, rc;
    int bounds[4];
    if (!dig_bounds(terrain, x, z, radius, &fx, &fz, &rc, bounds))
        return 0.0f;
    DigWindow window;
    float sum = apply_dig(terrain, fx, fz, rc, bounds, amount, &window);
    finish_dig(terrain, &window);
    return sum;
}

void terrain_dig_spread(Terrain *terrain, float x, float z, float radius, float amount)
{
    if (!std::isfinite(amount) || amount == 0.0f || !terrain->heights)
        return;
    float fx, fz, rc;
    int bounds[4];
    if (!dig_bounds(terrain, x, z, radius, &fx, &fz, &rc, bounds))
        return;
    float total = 0.0f;
    for (int row = bounds[1]; row <= bounds[3]; row++)
        for (int column = bounds[0]; column <= bounds[2]; column++)
            total += dig_weight(fx, fz, column, row, rc);
    if (total < 1.0f)
        total = 1.0f;
    DigWindow window;
    apply_dig(terrain, fx, fz, rc, bounds, amount / total, &window);
    finish_dig(terrain, &window);
}

int set_terrain_height(Terrain *terrain, int column, int row, float height)
{
    int side = terrain->side;
    if (column < 0 || row < 0 || column >= side || row >= side || terrain->edit_lock ||
        !(fabsf(height) <= TERRAIN_COORDINATE_LIMIT))
        return 0;
    terrain->change_state = 7;
    if (height > terrain->max_height)
        terrain->max_height = height;
    if (height < terrain->min_height)
        terrain->min_height = height;
    terrain->heights[row * side + column] = height;
    for (int r = row - 1; r <= row + 1; r++)
        for (int c = column - 1; c <= column + 1; c++) {
            int index = clamp_index(r, side) * side + clamp_index(c, side);
            if (terrain->shading_dirty)
                terrain_set_bit(terrain->shading_dirty, index);
            if (terrain->normal_dirty)
                terrain_set_bit(terrain->normal_dirty, index);
        }
    if (terrain->triangle_dirty) {
        int per_row = 2 * (side - 1);
        int r0 = row - 1 > 0 ? row - 1 : 0, r1 = row < side - 2 ? row : side - 2;
        int t0 = 2 * column - 2 > 0 ? 2 * column - 2 : 0;
        int t1 = 2 * column + 1 < 2 * side - 3 ? 2 * column + 1 : 2 * side - 3;
        for (int r = r0; r <= r1; r++)
            for (int t = t0; t <= t1; t++)
                terrain_set_bit(terrain->triangle_dirty, r * per_row + t);
    }
    return 1;
}

// Corners of triangle half (0 or 1) of cell (cx, cz), by the cell's parity.
static void triangle_corners(int cx, int cz, int half, int corners[3][2])
{
    static const int different[2][3][2] = {{{0, 0}, {1, 0}, {0, 1}}, {{1, 0}, {0, 1}, {1, 1}}};
    static const int same[2][3][2] = {{{0, 0}, {0, 1}, {1, 1}}, {{0, 0}, {1, 0}, {1, 1}}};
    const int (*pattern)[2] = ((cx ^ cz) & 1) ? different[half] : same[half];
    for (int i = 0; i < 3; i++) {
        corners[i][0] = cx + pattern[i][0];
        corners[i][1] = cz + pattern[i][1];
    }
}

const float *get_triangle_normal(Terrain *terrain, int triangle_column, int triangle_row)
{
    int side = terrain->side;
    int per_row = 2 * (side - 1);
    triangle_column = clamp_index(triangle_column, per_row);
    triangle_row = clamp_index(triangle_row, side - 1);
    int index = triangle_row * per_row + triangle_column;
    float *normal = terrain->face_normals + 3 * (size_t)index;
    if (terrain_bit(terrain->triangle_dirty, index)) {
        int corners[3][2];
        triangle_corners(triangle_column >> 1, triangle_row, triangle_column & 1, corners);
        float p[3][3];
        for (int i = 0; i < 3; i++) {
            p[i][0] = corners[i][0] * terrain->cell;
            p[i][1] = terrain->heights[corners[i][1] * side + corners[i][0]];
            p[i][2] = corners[i][1] * terrain->cell;
        }
        float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        cross3(e1, e2, normal);
        if (normal[1] < 0.0f) {
            normal[0] = -normal[0];
            normal[1] = -normal[1];
            normal[2] = -normal[2];
        }
        normalise3(normal);
        terrain_clear_bit(terrain->triangle_dirty, index);
    }
    return normal;
}

void get_terrain_normal(Terrain *terrain, int column, int row, float *normal)
{
    static const int eight[8][2] = {{-2, -1}, {-1, -1}, {0, -1}, {1, -1},
                                    {-2, 0},  {-1, 0},  {0, 0},  {1, 0}};
    static const int four[4][2] = {{-1, -1}, {0, -1}, {-1, 0}, {0, 0}};
    const int (*around)[2] = ((column ^ row) & 1) ? four : eight;
    int count = ((column ^ row) & 1) ? 4 : 8;
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < count; i++) {
        const float *face = get_triangle_normal(terrain, 2 * column + around[i][0], row + around[i][1]);
        sum[0] += face[0];
        sum[1] += face[1];
        sum[2] += face[2];
    }
    normalise3(sum);
    normal[0] = sum[0];
    normal[1] = sum[1];
    normal[2] = sum[2];
}

static uint8_t shade_byte(float value)
{
    float scaled = 255.0f * value * 0.5f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled > 255.0f)
        return 255;
    return (uint8_t)scaled;
}

void shade_terrain_point(Terrain *terrain, int column, int row, uint8_t *colour)
{
    column = clamp_index(column, terrain->side);
    row = clamp_index(row, terrain->side);
    float normal[3];
    get_terrain_normal(terrain, column, row, normal);
    const TrackLighting *light = &track_lighting;
    float t = normal[0] * light->sun_direction[0] + normal[1] * light->sun_direction[1] +
              normal[2] * light->sun_direction[2];
    t = t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
    float shadow = terrain->shadows ? terrain->shadows[row * terrain->side + column] : 0.0f;
    t *= 1.0f - shadow / 255.0f;
    for (int i = 0; i < 3; i++)
        colour[i] = shade_byte(light->sun_colour[i] * t + light->ambient[i]);
}

void compute_normal_texel(Terrain *terrain, int column, int row, uint8_t *texel)
{
    column = clamp_index(column, terrain->side);
    row = clamp_index(row, terrain->side);
    float normal[3];
    get_terrain_normal(terrain, column, row, normal);
    for (int i = 0; i < 3; i += 2) {
        float scaled = normal[i] * 127.0f;
        int value = scaled > 127.0f ? 127 : scaled < -127.0f ? -127 : scaled == scaled ? (int)scaled : 0;
        texel[i] = (uint8_t)(value + 128);
    }
    int shadow = terrain->shadows ? terrain->shadows[row * terrain->side + column] : 0;
    texel[1] = (uint8_t)(255 - shadow);
}

// Brings one sample's shading (and normal texel) up to date.
static void refresh_sample(Terrain *terrain, int index)
{
    int side = terrain->side;
    if (terrain_bit(terrain->shading_dirty, index)) {
        shade_terrain_point(terrain, index % side, index / side, terrain->shading + 3 * (size_t)index);
        terrain_clear_bit(terrain->shading_dirty, index);
    }
    if (terrain->normal_mapping && terrain->normal_dirty && terrain->normal_texels &&
        terrain_bit(terrain->normal_dirty, index)) {
        compute_normal_texel(terrain, index % side, index / side,
                             terrain->normal_texels + 3 * (size_t)index);
        terrain_clear_bit(terrain->normal_dirty, index);
    }
}

void refresh_dirty_terrain_cells(Terrain *terrain)
{
    if (!terrain->heights || !terrain->shading_dirty)
        return;
    int samples = terrain->side * terrain->side;
    int words = (samples + 31) / 32;
    for (int w = 0; w < words; w++) {
        uint32_t bits = terrain->shading_dirty[w];
        if (terrain->normal_mapping && terrain->normal_dirty)
            bits |= terrain->normal_dirty[w];
        while (bits) {
            int index = w * 32 + __builtin_ctz(bits);
            bits &= bits - 1;
            if (index < samples)
                refresh_sample(terrain, index);
        }
    }
}

void mark_terrain_region_dirty(Terrain *terrain, int x0, int z0, int x1, int z1)
{
    if (terrain->texture_mode == 1) {
        mark_ground_blocks_dirty(terrain, x0, z0, x1, z1);
    } else if ((terrain->texture_mode == 2 || terrain->texture_mode == 3) && terrain->low_detail_dirty) {
        int count = terrain_low_detail_count(terrain);
        int kx0 = clamp_index(x0 / TERRAIN_LOW_DETAIL_SPAN, count);
        int kx1 = clamp_index(x1 / TERRAIN_LOW_DETAIL_SPAN, count);
        int kz0 = clamp_index(z0 / TERRAIN_LOW_DETAIL_SPAN, count);
        int kz1 = clamp_index(z1 / TERRAIN_LOW_DETAIL_SPAN, count);
        for (int kz = kz0; kz <= kz1; kz++)
            for (int kx = kx0; kx <= kx1; kx++)
                terrain_set_bit(terrain->low_detail_dirty, kz * count + kx);
    }
}

void mark_terrain_area_dirty(Terrain *terrain, int x0, int z0, int x1, int z1)
{
    int side = terrain->side;
    mark_terrain_region_dirty(terrain, clamp_index(x0, side), clamp_index(z0, side),
                              clamp_index(x1, side), clamp_index(z1, side));
}

int low_detail_image_size(const Terrain *terrain, int start_cell)
{
    int cells = (2 << terrain->grid_exponent) - start_cell + 128;
    int size = 1;
    while (size < cells && size < TERRAIN_SCRATCH_SIDE)
        size <<= 1;
    return size;
}

void composite_terrain_image(Terrain *terrain, int x0, int z0, int width, int height, uint8_t *out)
{
    int side = terrain->side;
    for (int i = 0; i < height; i++) {
        int row = clamp_index(z0 + i, side);
        for (int j = 0; j < width; j++) {
            int index = row * side + clamp_index(x0 + j, side);
            refresh_sample(terrain, index);
            const uint8_t *source = terrain->normal_mapping && terrain->normal_texels
                                        ? terrain->normal_texels + 3 * (size_t)index
                                        : terrain->shading + 3 * (size_t)index;
            memcpy(out + 3 * ((size_t)i * width + j), source, 3);
        }
    }
}

int upload_low_detail_texture(Terrain *terrain)
{
    if ((terrain->texture_mode != 2 && terrain->texture_mode != 3) || !terrain->low_detail_dirty)
        return 0;
    int count = terrain_low_detail_count(terrain);
    int total = count * count;
    for (int i = 0; i < total; i++) {
        int position = terrain->low_detail_cursor;
        terrain->low_detail_cursor = (position + 1) % total;
        if (!terrain_bit(terrain->low_detail_dirty, position))
            continue;
        terrain_clear_bit(terrain->low_detail_dirty, position);
        int kx = position % count, kz = position / count;
        int x0 = kx * TERRAIN_LOW_DETAIL_SPAN, z0 = kz * TERRAIN_LOW_DETAIL_SPAN;
        mark_ground_blocks_dirty(terrain, x0, z0, x0 + TERRAIN_LOW_DETAIL_SPAN,
                                 z0 + TERRAIN_LOW_DETAIL_SPAN);
        int width = low_detail_image_size(terrain, x0);
        int height = low_detail_image_size(terrain, z0);
        composite_terrain_image(terrain, x0 - 64, z0 - 64, width, height, terrain->scratch_image);
        if (terrain->low_detail_textures)
            update_texture_rgb(terrain->low_detail_textures[position], terrain->scratch_image,
                               width, height);
        return 1;
    }
    return 0;
}

void refresh_terrain_textures(Terrain *terrain)
{
    if (!terrain || !terrain->heights)
        return;
    run_lod_error_pass(terrain, 8000);
    int before = terrain->low_detail_frame_counter++;
    if (before >= low_detail_upload_interval) {
        upload_low_detail_texture(terrain);
        terrain->low_detail_frame_counter = 0;
    }
}

void rebuild_terrain_textures(Terrain *terrain)
{
    if (!terrain || !terrain->heights)
        return;
    run_lod_error_pass(terrain, 2147483647);
    upload_low_detail_texture(terrain);
    terrain->lod_centre_x = LOD_CENTRE_NONE;
}

int get_oldest_block_age(const Terrain *terrain)
{
    int oldest = 0;
    for (int level = ground_first_level(); level < TERRAIN_LOD_LEVELS; level++)
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++) {
                int stamp = terrain->level_stamps[level][r][c];
                if (stamp > 0 && (oldest == 0 || stamp < oldest))
                    oldest = stamp;
            }
    if (terrain->block_stamps) {
        int blocks = terrain_block_count(terrain);
        for (int i = 0; i < blocks * blocks; i++) {
            int stamp = terrain->block_stamps[i];
            if (stamp > 0 && (oldest == 0 || stamp < oldest))
                oldest = stamp;
        }
    }
    return oldest ? terrain->current_stamp - oldest : 0;
}

int count_marked_blocks(const Terrain *terrain)
{
    if (!terrain->low_detail_dirty)
        return 0;
    int count = terrain_low_detail_count(terrain);
    int marked = 0;
    for (int i = 0; i < count * count; i++)
        marked += terrain_bit(terrain->low_detail_dirty, i);
    return marked;
}
