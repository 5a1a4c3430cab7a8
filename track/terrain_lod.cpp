// The budgeted, resumable level-of-detail error pass over the quadtree of
// the height field: per node the deviation of its samples from the node's
// two triangle planes, grown by the neighbours so that levels nest.
#include <cmath>

#include "track/terrain.h"

static int level_offset(int level)
{
    return (int)(((1LL << (2 * level)) - 1) / 3);
}

// Right-angle corner of a node half and its two legs (signed lengths).
struct NodeHalf {
    int rx, rz;     // the right-angle corner
    int lx, lz;     // leg along x and along z (plus or minus the node side)
};

static NodeHalf node_half(int x0, int z0, int size, int j, int k, int half)
{
    NodeHalf h;
    if ((j ^ k) & 1) {
        if (half == 0) { h.rx = x0; h.rz = z0; h.lx = size; h.lz = size; }
        else { h.rx = x0 + size; h.rz = z0 + size; h.lx = -size; h.lz = -size; }
    } else {
        if (half == 0) { h.rx = x0; h.rz = z0 + size; h.lx = size; h.lz = -size; }
        else { h.rx = x0 + size; h.rz = z0; h.lx = -size; h.lz = size; }
    }
    return h;
}

// Largest deviation over one row t (0..size) of a node half.
static float half_row_deviation(const Terrain *terrain, const NodeHalf *h, int size, int t, int *samples)
{
    const float *heights = terrain->heights;
    int side = terrain->side;
    float hr = heights[h->rz * side + h->rx];
    float gx = (heights[h->rz * side + h->rx + h->lx] - hr) / (float)h->lx;
    float gz = (heights[(h->rz + h->lz) * side + h->rx] - hr) / (float)h->lz;
    // Row t counts from the right-angle corner along the z leg.
    int row = h->rz + (h->lz > 0 ? t : -t);
    int span = size - t;
    int from = h->lx > 0 ? h->rx : h->rx - span;
    int to = h->lx > 0 ? h->rx + span : h->rx;
    float worst = 0.0f;
    for (int column = from; column <= to; column++) {
        float plane = hr + gx * (float)(column - h->rx) + gz * (float)(row - h->rz);
        float deviation = fabsf(heights[row * side + column] - plane);
        if (deviation > worst)
            worst = deviation;
    }
    *samples = to - from + 1;
    return worst;
}

static float finer_error(const Terrain *terrain, int level, int column, int row)
{
    int count = 1 << level;
    if (column < 0 || row < 0 || column >= count || row >= count)
        return 0.0f;
    return terrain->lod_error_next[level_offset(level) + (row << level) + column];
}

static void finish_node(Terrain *terrain, int level, int j, int k, float deviation)
{
    float extent = terrain->extent;
    float tolerance = terrain->lod_tolerance > 0.0f ? terrain->lod_tolerance : 1.0f;
    float a = deviation / tolerance + extent * 0.70710678f * ldexpf(1.0f, -level);
    float error = a * a;
    if (level < terrain->grid_exponent) {
        static const int border[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1},
                                         {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
        int fine = level + 1;
        int cx = 2 * j, cz = 2 * k;
        float m = 0.0f;
        for (int i = 0; i < 8; i++) {
            float e = finer_error(terrain, fine, cx + border[i][0], cz + border[i][1]);
            if (e > m)
                m = e;
        }
        float b = sqrtf(m) + extent * ldexpf(1.0f, -fine) * 3.1622777f * 0.50048828125f;
        if (b * b > error)
            error = b * b;
        for (int i = 0; i < 4; i++) {
            float e = finer_error(terrain, fine, cx + (i & 1), cz + (i >> 1));
            if (e > error)
                error = e;
        }
    }
    terrain->lod_error_next[level_offset(level) + (k << level) + j] = error;
}

int run_lod_error_pass(Terrain *terrain, int budget)
{
    LodPassState *pass = &terrain->lod_pass;
    if (!terrain->lod_error || !terrain->lod_error_next)
        return 1;
    if (!pass->running && pass->completed_counter == terrain->change_counter)
        return 1;
    if (!pass->running) {
        pass->running = 1;
        pass->completed_counter = -terrain->change_counter;
        pass->level = terrain->grid_exponent;
        pass->node_row = pass->node_column = pass->half = pass->row = 0;
        pass->running_max = 0.0f;
        pass->half_max[0] = pass->half_max[1] = 0.0f;
    }
    long remaining = budget;
    int exponent = terrain->grid_exponent;
    while (pass->level >= 0) {
        int level = pass->level;
        int count = 1 << level;
        int size = 2 << (exponent - level);
        while (pass->node_row < count) {
            int k = pass->node_row;
            while (pass->node_column < count) {
                int j = pass->node_column;
                while (pass->half < 2) {
                    NodeHalf h = node_half(j * size, k * size, size, j, k, pass->half);
                    if (pass->row == 0) {
                        remaining -= 10;
                        pass->running_max = 0.0f;
                    }
                    while (pass->row <= size) {
                        if (remaining < 0)
                            return 0;
                        int samples;
                        float d = half_row_deviation(terrain, &h, size, pass->row, &samples);
                        if (d > pass->running_max)
                            pass->running_max = d;
                        remaining -= samples;
                        pass->row++;
                    }
                    pass->half_max[pass->half] = pass->running_max;
                    pass->half++;
                    pass->row = 0;
                }
                float deviation = pass->half_max[0] > pass->half_max[1] ? pass->half_max[0]
                                                                         : pass->half_max[1];
                finish_node(terrain, level, j, k, deviation);
                pass->half = 0;
                pass->node_column++;
            }
            pass->node_column = 0;
            pass->node_row++;
        }
        pass->node_row = 0;
        pass->level--;
    }
    float *swap = terrain->lod_error;
    terrain->lod_error = terrain->lod_error_next;
    terrain->lod_error_next = swap;
    pass->completed_counter = -pass->completed_counter;
    pass->running = 0;
    pass->level = exponent;
    pass->node_row = pass->node_column = pass->half = pass->row = 0;
    return 1;
}
