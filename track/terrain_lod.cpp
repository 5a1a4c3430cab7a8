// The budgeted, resumable level-of-detail error pass over the quadtree of
// the height field: per node the deviation of its samples from the node's
// two triangle planes, grown by the neighbours so that levels nest. A half
// whose whole cost fits the budget is walked in one go; rows of samples are
// scanned four at a time with SSE2, giving the same floats as one by one.
// A whole pass that fits its budget is spread over the work pool instead,
// level by level, with the same results.
#include <climits>
#include <cmath>
#include <cstddef>

#include <emmintrin.h>

#include "platform/work_pool.h"
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

// The plane through a half's three corners: the height at the right-angle
// corner and the slopes along x and z.
struct HalfPlane {
    float hr, gx, gz;
};

static HalfPlane half_plane(const Terrain *terrain, const NodeHalf *h)
{
    const float *heights = terrain->heights;
    int side = terrain->side;
    HalfPlane p;
    p.hr = heights[h->rz * side + h->rx];
    p.gx = (heights[h->rz * side + h->rx + h->lx] - p.hr) / (float)h->lx;
    p.gz = (heights[(h->rz + h->lz) * side + h->rx] - p.hr) / (float)h->lz;
    return p;
}

// Largest |height - plane| over columns from..to of one row, the plane at a
// column being hr + gx (column - rx) + row_term, summed in that order.
// Heights and slopes are finite, so the maximum does not depend on the
// order the samples are taken in.
static float span_deviation(const float *line, int from, int to, int rx, const HalfPlane *p, float row_term)
{
    float worst = 0.0f;
    int column = from;
    if (to - from >= 7) {
        __m128 most = _mm_setzero_ps();
        __m128 hr = _mm_set1_ps(p->hr), gx = _mm_set1_ps(p->gx), rows = _mm_set1_ps(row_term);
        __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        __m128i offset = _mm_add_epi32(_mm_set1_epi32(from - rx), _mm_setr_epi32(0, 1, 2, 3));
        __m128i four = _mm_set1_epi32(4);
        for (; column + 3 <= to; column += 4) {
            __m128 plane = _mm_add_ps(_mm_add_ps(hr, _mm_mul_ps(gx, _mm_cvtepi32_ps(offset))), rows);
            __m128 deviation = _mm_and_ps(_mm_sub_ps(_mm_loadu_ps(line + column), plane), magnitude);
            most = _mm_max_ps(most, deviation);
            offset = _mm_add_epi32(offset, four);
        }
        most = _mm_max_ps(most, _mm_shuffle_ps(most, most, _MM_SHUFFLE(1, 0, 3, 2)));
        most = _mm_max_ps(most, _mm_shuffle_ps(most, most, _MM_SHUFFLE(2, 3, 0, 1)));
        worst = _mm_cvtss_f32(most);
    }
    for (; column <= to; column++) {
        float plane = p->hr + p->gx * (float)(column - rx) + row_term;
        float deviation = fabsf(line[column] - plane);
        if (deviation > worst)
            worst = deviation;
    }
    return worst;
}

// Largest deviation over one row t (0..size) of a node half.
static float half_row_deviation(const Terrain *terrain, const NodeHalf *h, const HalfPlane *p, int size, int t,
                                int *samples)
{
    // Row t counts from the right-angle corner along the z leg.
    int row = h->rz + (h->lz > 0 ? t : -t);
    int span = size - t;
    int from = h->lx > 0 ? h->rx : h->rx - span;
    int to = h->lx > 0 ? h->rx + span : h->rx;
    *samples = to - from + 1;
    float row_term = p->gz * (float)(row - h->rz);
    return span_deviation(terrain->heights + (size_t)row * terrain->side, from, to, h->rx, p, row_term);
}

// Largest deviation over a whole half, its rows walked in order.
static float half_deviation(const Terrain *terrain, const NodeHalf *h, const HalfPlane *p, int size)
{
    int side = terrain->side;
    ptrdiff_t step = h->lz > 0 ? side : -side;
    const float *line = terrain->heights + (size_t)h->rz * side;
    float most = 0.0f;
    for (int t = 0; t <= size; t++, line += step) {
        int span = size - t;
        int from = h->lx > 0 ? h->rx : h->rx - span;
        float d = span_deviation(line, from, from + span, h->rx, p, p->gz * (float)(h->lz > 0 ? t : -t));
        if (d > most)
            most = d;
    }
    return most;
}

// Level constants of the node errors: the half-diagonal of a node and the
// border term of its finer neighbours.
struct LevelTerms {
    float half_diagonal;
    float border;
};

static LevelTerms level_terms(const Terrain *terrain, int level)
{
    float extent = terrain->extent;
    LevelTerms terms;
    terms.half_diagonal = extent * 0.70710678f * ldexpf(1.0f, -level);
    terms.border = extent * ldexpf(1.0f, -(level + 1)) * 3.1622777f * 0.50048828125f;
    return terms;
}

static void finish_node(Terrain *terrain, const LevelTerms *terms, int level, int j, int k, float deviation)
{
    float tolerance = terrain->lod_tolerance > 0.0f ? terrain->lod_tolerance : 1.0f;
    float a = deviation / tolerance + terms->half_diagonal;
    float error = a * a;
    if (level < terrain->grid_exponent) {
        static const int border[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1},
                                         {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
        int fine = level + 1;
        int count = 1 << fine;
        const float *finer = terrain->lod_error_next + level_offset(fine);
        int cx = 2 * j, cz = 2 * k;
        float m = 0.0f;
        for (int i = 0; i < 8; i++) {
            int column = cx + border[i][0], row = cz + border[i][1];
            if (column < 0 || row < 0 || column >= count || row >= count)
                continue;
            float e = finer[(row << fine) + column];
            if (e > m)
                m = e;
        }
        float b = sqrtf(m) + terms->border;
        if (b * b > error)
            error = b * b;
        for (int i = 0; i < 4; i++) {
            float e = finer[((cz + (i >> 1)) << fine) + cx + (i & 1)];
            if (e > error)
                error = e;
        }
    }
    terrain->lod_error_next[level_offset(level) + (k << level) + j] = error;
}

// The budget a whole pass uses up: each half at its whole cost.
static long long whole_pass_cost(int exponent)
{
    long long total = 0;
    for (int level = exponent; level >= 0; level--) {
        long long size = 2LL << (exponent - level);
        long long nodes = 1LL << (2 * level);
        total += nodes * 2 * (10 + (size + 1) * (size + 2) / 2);
    }
    return total;
}

// One level of the spread pass. Levels of at least SPREAD_NODE_ROWS node
// rows are split by node rows, each job finishing its nodes; coarser ones
// by bands of rows of each half, whose maxima the caller then combines.
enum { SPREAD_NODE_ROWS = 16, SPREAD_JOBS = 64 };

struct SpreadLevel {
    Terrain *terrain;
    LevelTerms terms;
    int level, count, size;
    int rows_per_job;   // node rows of a job
    int bands;          // row bands of a half
    float *band_max;    // per node, half and band
};

static void spread_node_rows(void *context, int index)
{
    SpreadLevel *s = (SpreadLevel *)context;
    int first = index * s->rows_per_job;
    int last = first + s->rows_per_job < s->count ? first + s->rows_per_job : s->count;
    for (int k = first; k < last; k++)
        for (int j = 0; j < s->count; j++) {
            float most[2];
            for (int half = 0; half < 2; half++) {
                NodeHalf h = node_half(j * s->size, k * s->size, s->size, j, k, half);
                HalfPlane plane = half_plane(s->terrain, &h);
                most[half] = half_deviation(s->terrain, &h, &plane, s->size);
            }
            finish_node(s->terrain, &s->terms, s->level, j, k, most[0] > most[1] ? most[0] : most[1]);
        }
}

static void spread_half_bands(void *context, int index)
{
    SpreadLevel *s = (SpreadLevel *)context;
    int band = index % s->bands;
    int half = index / s->bands % 2;
    int node = index / (2 * s->bands);
    int j = node % s->count, k = node / s->count;
    NodeHalf h = node_half(j * s->size, k * s->size, s->size, j, k, half);
    HalfPlane plane = half_plane(s->terrain, &h);
    int rows = s->size + 1;
    float most = 0.0f;
    for (int t = band * rows / s->bands; t < (band + 1) * rows / s->bands; t++) {
        int samples;
        float d = half_row_deviation(s->terrain, &h, &plane, s->size, t, &samples);
        if (d > most)
            most = d;
    }
    s->band_max[index] = most;
}

// The whole pass, from the finest level.
static void run_spread_pass(Terrain *terrain)
{
    int exponent = terrain->grid_exponent;
    // Bands only where a level has fewer halves than jobs, else one a half.
    float band_max[2 * SPREAD_NODE_ROWS * SPREAD_NODE_ROWS];
    float half_max[2] = {0.0f, 0.0f};
    for (int level = exponent; level >= 0; level--) {
        SpreadLevel s;
        s.terrain = terrain;
        s.terms = level_terms(terrain, level);
        s.level = level;
        s.count = 1 << level;
        s.size = 2 << (exponent - level);
        s.band_max = band_max;
        if (s.count >= SPREAD_NODE_ROWS) {
            s.rows_per_job = (s.count + SPREAD_JOBS - 1) / SPREAD_JOBS;
            s.bands = 1;
            run_work_batch((s.count + s.rows_per_job - 1) / s.rows_per_job, spread_node_rows, &s);
            continue;
        }
        int halves = 2 * s.count * s.count;
        s.rows_per_job = 0;
        s.bands = halves >= SPREAD_JOBS ? 1 : SPREAD_JOBS / halves;
        if (s.bands > s.size + 1)
            s.bands = s.size + 1;
        run_work_batch(halves * s.bands, spread_half_bands, &s);
        for (int k = 0; k < s.count; k++)
            for (int j = 0; j < s.count; j++) {
                const float *bands = band_max + (size_t)((k * s.count + j) * 2) * s.bands;
                for (int half = 0; half < 2; half++) {
                    half_max[half] = 0.0f;
                    for (int b = 0; b < s.bands; b++)
                        if (bands[half * s.bands + b] > half_max[half])
                            half_max[half] = bands[half * s.bands + b];
                }
                finish_node(terrain, &s.terms, level, j, k,
                            half_max[0] > half_max[1] ? half_max[0] : half_max[1]);
            }
    }
    // The state as the plain pass leaves it: the last node's half maxima.
    terrain->lod_pass.half_max[0] = half_max[0];
    terrain->lod_pass.half_max[1] = half_max[1];
    terrain->lod_pass.running_max = half_max[1];
}

// The units a call may spend: 2147483647 is the whole pass however large
// the terrain (a grid exponent of 13 costs more units than that).
static long long budget_units(int budget)
{
    return budget == INT_MAX ? LLONG_MAX : budget;
}

int lod_pass_runs_whole(int grid_exponent, int budget)
{
    return budget_units(budget) >= whole_pass_cost(grid_exponent);
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
        if (lod_pass_runs_whole(terrain->grid_exponent, budget)) {
            run_spread_pass(terrain);
            pass->level = -1;
        }
    }
    long long remaining = budget_units(budget);
    int exponent = terrain->grid_exponent;
    while (pass->level >= 0) {
        int level = pass->level;
        int count = 1 << level;
        int size = 2 << (exponent - level);
        // A whole half: 10 units and (size + 1)(size + 2) / 2 samples; it runs
        // without a stop when the budget lasts up to its last row of one sample.
        long half_cost = 10 + (long)(size + 1) * (size + 2) / 2;
        LevelTerms terms = level_terms(terrain, level);
        while (pass->node_row < count) {
            int k = pass->node_row;
            while (pass->node_column < count) {
                int j = pass->node_column;
                while (pass->half < 2) {
                    NodeHalf h = node_half(j * size, k * size, size, j, k, pass->half);
                    HalfPlane plane = half_plane(terrain, &h);
                    if (pass->row == 0 && remaining - (half_cost - 1) >= 0) {
                        pass->running_max = half_deviation(terrain, &h, &plane, size);
                        remaining -= half_cost;
                        pass->row = size + 1;
                    }
                    if (pass->row == 0) {
                        remaining -= 10;
                        pass->running_max = 0.0f;
                    }
                    while (pass->row <= size) {
                        if (remaining < 0)
                            return 0;
                        int samples;
                        float d = half_row_deviation(terrain, &h, &plane, size, pass->row, &samples);
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
                finish_node(terrain, &terms, level, j, k, deviation);
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
