// The height brushes (raise, lower, smooth, smudge and the four gradient
// brushes) over the capsule of a stroke segment, Snap to coarser triangles,
// and the heights of the baseline seen through coarser levels.
#include "editor/editor.h"

#include <cmath>
#include <cstring>

#include "app/widgets.h"
#include "track/terrain.h"

// A map coordinate in cells as a grid index: clamped before it becomes an int.
static int clamp_cell(float cells, int side)
{
    if (!(cells > 0.0f))
        return 0;
    if (cells >= (float)(side - 1))
        return side - 1;
    return (int)cells;
}

static inline int clamp_index(int value, int side)
{
    return value < 0 ? 0 : value >= side ? side - 1 : value;
}

void editor_set_height(Terrain *terrain, int column, int row, float height)
{
    set_terrain_height(terrain, column, row, height);
}

float editor_height_at(const Terrain *terrain, float x, float z)
{
    return sample_ground_height(terrain, x, z);
}

// Height of heights at (fx, fz) in cells on the triangles of blocks of b cells.
static float block_height(const Terrain *terrain, const float *heights, int b, float fx, float fz)
{
    int side = terrain->side;
    float limit = (float)side + 2.0f;
    float inverse = 1.0f / (float)b;   // exact: b is a power of two
    fx = fminf(fmaxf(fx, -2.0f), limit) * inverse;
    fz = fminf(fmaxf(fz, -2.0f), limit) * inverse;
    TriangleChoice t;
    choose_cell_triangle(fx, fz, &t);
    auto at = [&](int column, int row) {
        return heights[clamp_index(row * b, side) * side + clamp_index(column * b, side)];
    };
    float h0 = at(t.a, t.r), h1 = at(t.b, t.r), h2 = at(t.a, t.r2);
    return h0 + (h1 - h0) * t.u + (h2 - h0) * t.v;
}

static int level_block(const Terrain *terrain, int level)
{
    int shift = terrain->grid_exponent - level;
    shift = shift < 0 ? 0 : shift > terrain->grid_exponent + 1 ? terrain->grid_exponent + 1 : shift;
    return 1 << shift;
}

float lod_vertex_height(const Terrain *terrain, const float *heights, int level, int column, int row)
{
    return block_height(terrain, heights, level_block(terrain, level), (float)column, (float)row);
}

float lod_height_at(const Terrain *terrain, const float *heights, int level, float x, float z)
{
    return block_height(terrain, heights, level_block(terrain, level), x / terrain->cell, z / terrain->cell);
}

// Distance from (px, pz) to the segment A-B.
static float segment_distance(float px, float pz, float ax, float az, float bx, float bz)
{
    float dx = bx - ax, dz = bz - az;
    float t = (px - ax) * dx + (pz - az) * dz;
    float length2 = dx * dx + dz * dz;
    if (t >= length2)
        return hypotf(px - bx, pz - bz);
    if (t > 0.0f) {
        float f = t / length2;
        return hypotf(px - (ax + dx * f), pz - (az + dz * f));
    }
    return hypotf(px - ax, pz - az);
}

// The running mean of the baseline over the smoothing disc.
struct SmoothDisc {
    int k;
    int half[1024];
    double sum;
    int count;
    int last_column, last_row;
};

static double disc_column(const SmoothDisc *disc, const float *base, int side, int column, int row, int sign)
{
    double sum = 0.0;
    for (int r = -(disc->k - 1); r <= disc->k - 1; r++) {
        int w = disc->half[r < 0 ? -r : r];
        int c = clamp_index(column + sign * w, side);
        sum += base[clamp_index(row + r, side) * side + c];
    }
    return sum;
}

static float smooth_mean(SmoothDisc *disc, const float *base, int side, int column, int row)
{
    if (disc->last_row == row && disc->last_column + 1 == column) {
        // Slide by one column: the left edge leaves, the right edge enters.
        disc->sum -= disc_column(disc, base, side, column - 1, row, -1);
        disc->sum += disc_column(disc, base, side, column, row, 1);
    } else {
        disc->sum = 0.0;
        disc->count = 0;
        for (int r = -(disc->k - 1); r <= disc->k - 1; r++) {
            int w = disc->half[r < 0 ? -r : r];
            const float *line = base + (size_t)clamp_index(row + r, side) * side;
            for (int c = column - w; c <= column + w; c++)
                disc->sum += line[clamp_index(c, side)];
            disc->count += 2 * w + 1;
        }
    }
    disc->last_column = column;
    disc->last_row = row;
    return (float)(disc->sum / disc->count);
}

void apply_brush(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    Terrain *t = s->terrain;
    int side = t->side;
    float cell = t->cell;
    float bx, bz;
    editor_cursor_point(&bx, &bz);
    float dir_x = 0.0f, dir_z = 0.0f;
    if (s->tool == TOOL_SMUDGE) {
        float vx = s->smudge_x - bx, vz = s->smudge_z - bz;
        float d2 = vx * vx + vz * vz;
        if (!(d2 >= 1.0f))
            return;
        float length = sqrtf(d2);
        dir_x = vx / length;
        dir_z = vz / length;
        s->smudge_x = bx + dir_x;
        s->smudge_z = bz + dir_z;
    }
    float ax = s->anchor_x >= 0.0f ? s->anchor_x : bx;
    float az = s->anchor_x >= 0.0f ? s->anchor_z : bz;
    s->anchor_x = bx;
    s->anchor_z = bz;
    float u = editor_units_per_pixel();
    float strength = exp2f((float)strength_slider.value);
    float outer = (float)radius_slider.value * u;
    float inner = (float)(radius_slider.value * focus_slider.value) * u;
    int col0 = clamp_cell(floorf((fminf(ax, bx) - outer) / cell), side);
    int col1 = clamp_cell(ceilf((fmaxf(ax, bx) + outer) / cell), side);
    int row0 = clamp_cell(floorf((fminf(az, bz) - outer) / cell), side);
    int row1 = clamp_cell(ceilf((fmaxf(az, bz) + outer) / cell), side);

    static SmoothDisc disc;
    if (s->tool == TOOL_SMOOTH) {
        float k = floorf(strength);
        disc.k = k < 1.0f ? 1 : k > 1024.0f ? 1024 : (int)k;
        for (int i = 0; i < disc.k; i++)
            disc.half[i] = (int)sqrtf((float)(disc.k * disc.k - i * i));
        disc.last_row = -1;
    }
    // Smudge samples every half cell while under cell x S: whole steps.
    float smudge_steps = ceilf(2.0f * strength);
    const float step_limit = (float)GRADIENT_POINT_LIMIT;
    int smudge_count = smudge_steps < 1.0f ? 1 : smudge_steps > step_limit ? GRADIENT_POINT_LIMIT : (int)smudge_steps;
    int submode = submode_list.selected;
    const float *base_heights = s->baseline;
    for (int row = row0; row <= row1; row++)
        for (int column = col0; column <= col1; column++) {
            float px = (float)column * cell, pz = (float)row * cell;
            float distance = segment_distance(px, pz, ax, az, bx, bz);
            if (!(distance < outer))
                continue;
            float weight = 1.0f;
            if (distance >= inner) {
                float f = (distance - inner) / (outer - inner);
                weight = 2 * f * f * f - 3 * f * f + 1;
            }
            size_t index = (size_t)row * side + column;
            float base = base_heights[index];
            float target = base;
            switch (s->tool) {
            case TOOL_RAISE:
                target = base + strength;
                break;
            case TOOL_LOWER:
                target = base - strength;
                break;
            case TOOL_SMOOTH:
                target = smooth_mean(&disc, base_heights, side, column, row);
                break;
            case TOOL_SMUDGE: {
                double sum = 0.0;
                for (int i = 0; i < smudge_count; i++) {
                    float q = (float)i * cell * 0.5f;
                    sum += lod_height_at(t, base_heights, t->grid_exponent, px + q * dir_x, pz + q * dir_z);
                }
                target = (float)(sum / smudge_count);
                break;
            }
            case TOOL_LINEAR_PAINT:
                target = linear_gradient_height(px, pz);
                break;
            case TOOL_LINEAR_ADD:
                target = base + linear_gradient_height(px, pz);
                break;
            case TOOL_RADIAL_PAINT:
                target = radial_gradient_height(px, pz);
                break;
            case TOOL_RADIAL_ADD:
                target = base + radial_gradient_height(px, pz);
                break;
            default:
                return;
            }
            float q = base + (target - base) * weight;
            float d = q - base;
            float current = t->heights[index];
            if (!(fabsf(d) > fabsf(current - base)))
                continue;
            float result = q;
            if (s->tool >= TOOL_LINEAR_PAINT) {
                float c = strength > 1.0f ? 1.0f : strength;
                float step = d * c;
                result = current + step;
                result = step >= 0.0f ? fminf(result, q) : fmaxf(result, q);
            }
            if (submode == SUBMODE_RAISE_ONLY && result < base)
                result = base;
            if (submode == SUBMODE_LOWER_ONLY && result > base)
                result = base;
            editor_set_height(t, column, row, result);
        }
    s->pending = 1;
    s->status = "Update needed!";
    mark_terrain_area_dirty(t, col0, row0, col1, row1);
}

void apply_snap(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    Terrain *t = s->terrain;
    int side = t->side;
    float bx, bz;
    editor_cursor_point(&bx, &bz);
    float strength = exp2f((float)strength_slider.value);
    int n = 0;
    while (n < t->grid_exponent + 1 && t->cell * exp2f((float)n) < strength)
        n++;
    int b = 1 << n;
    int col0 = clamp_cell(floorf(bx / t->cell), side) & -b;
    int row0 = clamp_cell(floorf(bz / t->cell), side) & -b;
    int col1 = clamp_index(col0 + b, side), row1 = clamp_index(row0 + b, side);
    for (int row = row0; row <= row1; row++)
        for (int column = col0; column <= col1; column++)
            editor_set_height(t, column, row, lod_vertex_height(t, s->baseline, t->grid_exponent - n, column, row));
    s->pending = 1;
    s->status = "Update needed!";
    mark_terrain_area_dirty(t, col0 - 1, row0 - 1, col1 + 1, row1 + 1);
}
