// Racing lines: the cheapest chains of recorded sections over the lap pool,
// the analysed best laps of each search mode, the racing-line files that
// keep the pool between runs, and the race reset's reading, pruning and
// writing back of the pool.
#include "race/racing_lines.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "app/player_settings.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/replace_file.h"
#include "platform/log.h"
#include "race/lap_pool.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/render_settings.h"
#include "track/track.h"

const char *const racing_line_files[LINE_SKILLS] = {"lines_novice", "lines_amateur",
                                                    "lines_expert"};
int racing_line_skill = -1;
long long racing_line_crossing_budget = 50000000;

namespace {

const int N = LAP_POOL_CANDIDATES;
const int BLOCK = LAP_POOL_CANDIDATES * LAP_POOL_CANDIDATES;
const double FAR_CENTRE = 10000.0;   // ft: the centre of a straight
const int UNTESTED_COST = 1000000;
const int PENALTY_TICS = 640;        // 5 s
const int TESTED_RUNS = 5;           // runs before a line is written as analysed
const int SUM_LIMIT = 100000000;
const int COUNT_LIMIT = 65535;
const int PRUNE_ABOVE = 43;
const int CHUNK = 16;                // segments per bounding box in the crossing test

int has_samples(const LapCandidate *c)
{
    return c->count > 0 && c->samples;
}

void empty_candidate(LapCandidate *c)
{
    checked_free(c->samples);
    c->samples = nullptr;
    c->count = 0;
    c->section_time = c->pair_time = LAP_NO_TIME;
    c->runs = 0;
    c->best_section_time = c->best_pair_time = LAP_NO_TIME;
    c->section_sum = c->pair_sum = c->penalties = 0;
    c->serial = 0;
}

// The circle centre in double; the float version and the joinability test
// both use it.
void centre_xz(double *cx, double *cz, const LineSample *a, const LineSample *b,
               const LineSample *c)
{
    double bx = (double)b->x - a->x, bz = (double)b->z - a->z;
    double qx = (double)c->x - a->x, qz = (double)c->z - a->z;
    double d = 2.0 * (bx * qz - bz * qx);
    if (d != 0.0) {
        double b2 = bx * bx + bz * bz, q2 = qx * qx + qz * qz;
        double x = a->x + (qz * b2 - bz * q2) / d;
        double z = a->z + (bx * q2 - qx * b2) / d;
        double rx = x - c->x, rz = z - c->z;
        if (std::isfinite(x) && std::isfinite(z) && rx * rx + rz * rz <= FAR_CENTRE * FAR_CENTRE) {
            *cx = x;
            *cz = z;
            return;
        }
    }
    // In line, or coincident: far out on the left of the way the points go
    // (the left of direction (dx, dz) with y up is (dz, -dx)).
    double dx = (double)c->x - b->x, dz = (double)c->z - b->z;
    if (dx == 0.0 && dz == 0.0) {
        dx = (double)c->x - a->x;
        dz = (double)c->z - a->z;
    }
    double length = std::sqrt(dx * dx + dz * dz);
    if (!(length > 0.0) || !std::isfinite(length)) {
        dx = 1.0;
        dz = 0.0;
        length = 1.0;
    }
    double base_x = std::isfinite(c->x) ? c->x : 0.0;
    double base_z = std::isfinite(c->z) ? c->z : 0.0;
    *cx = base_x + dz / length * FAR_CENTRE;
    *cz = base_z - dx / length * FAR_CENTRE;
}

double distance_xz(double x, double z, const LineSample *s)
{
    double dx = s->x - x, dz = s->z - z;
    return std::sqrt(dx * dx + dz * dz);
}

// join[i][j] = 1 when candidate i of row can be followed by candidate j of
// following (either may be null: nothing joins).
void find_joins(uint8_t join[N][N], const LapCandidate *row, const LapCandidate *following)
{
    memset(join, 0, (size_t)BLOCK);
    if (!row || !following)
        return;
    for (int i = 0; i < N; i++) {
        const LapCandidate *a = &row[i];
        if (!a->samples || a->count <= 2)
            continue;
        const LineSample *last = &a->samples[a->count - 1];
        double cx, cz;
        centre_xz(&cx, &cz, last - 2, last - 1, last);
        double r = distance_xz(cx, cz, last);
        double v = std::fabs(last->speed);
        double inner = r - 2.5 > 0.0 ? r - 2.5 : 0.0, outer = r + 2.5;
        for (int j = 0; j < N; j++) {
            const LapCandidate *b = &following[j];
            if (!b->samples || b->count <= 1)
                continue;
            double d0 = distance_xz(cx, cz, &b->samples[0]);
            double d1 = distance_xz(cx, cz, &b->samples[1]);
            join[i][j] = v <= std::fabs(b->samples[0].speed) + 15.0 && inner * inner <= d0 * d0 &&
                         d0 * d0 <= outer * outer && std::fabs(d1 - d0) <= 2.0;
        }
    }
}

int bit_length(int64_t value)
{
    int bits = 0;
    for (; value > 0; value >>= 1)
        bits++;
    return bits;
}

int serial_if_tested(const LapCandidate *c)
{
    return c && has_samples(c) && c->runs >= TESTED_RUNS ? c->serial : 0;
}

// Rows first + rows - 1 down to first + 1 of a search: each candidate is
// the back pointer through which the best chain from start reached the
// candidate after it. A chain that ends (pointer 45) leaves the rest 0.
void walk_back(int *results, const uint8_t *back, int first, int rows, int start, int end)
{
    int current = end;
    for (int i = rows - 1; i >= 1; i--) {
        int k = back[(size_t)(i - 1) * BLOCK + start * N + current];
        if (k >= N)
            return;
        results[first + i] = serial_if_tested(&lap_pool_row(first + i)[k]);
        current = k;
    }
}

int line_value_ok(long double value)
{
    return std::isfinite(value) && fabsl(value) <= LINE_VALUE_LIMIT;
}

// One " [ %f %f %f ] %f %f " record; 1 when all five are usable.
int read_sample(GameFile *file, LineSample *out)
{
    long double v[5];
    if (file_scanf(file, " [ %Lf %Lf %Lf ] %Lf %Lf ", &v[0], &v[1], &v[2], &v[3], &v[4]) != 5)
        return 0;
    for (long double value : v)
        if (!line_value_ok(value))
            return 0;
    if (out)
        *out = {(float)v[0], (float)v[1], (float)v[2], (float)v[3], (float)v[4]};
    return 1;
}

int sample_storable(const LineSample *s)
{
    return line_value_ok(s->x) && line_value_ok(s->y) && line_value_ok(s->z) &&
           line_value_ok(s->speed) && line_value_ok(s->lean);
}

// What the reader takes back: samples within the file's limits.
int candidate_storable(const LapCandidate *c)
{
    if (!has_samples(c) || c->count > LINE_SAMPLE_LIMIT)
        return 0;
    for (int i = 0; i < c->count; i++)
        if (!sample_storable(&c->samples[i]))
            return 0;
    return 1;
}

// Halves counts that grew too large, keeping the means, then clamps.
void keep_in_range(LapCandidate *c)
{
    for (int i = 0; i < 16 && (c->pair_sum > SUM_LIMIT || c->runs > COUNT_LIMIT ||
                               c->penalties > COUNT_LIMIT);
         i++) {
        int m = c->runs / 2;
        if (m != 0) {
            c->pair_sum = m * (c->pair_sum / c->runs);
            c->section_sum = m * (c->section_sum / c->runs);
            c->runs = m;
        }
        c->penalties /= 2;
    }
    if (c->section_sum > SUM_LIMIT)
        c->section_sum = SUM_LIMIT;
    if (c->pair_sum > SUM_LIMIT)
        c->pair_sum = SUM_LIMIT;
    if (c->runs > COUNT_LIMIT)
        c->runs = COUNT_LIMIT;
    if (c->penalties > COUNT_LIMIT)
        c->penalties = COUNT_LIMIT;
}

// --- crossing test of the pruning ---

struct Box {
    float x0, z0, x1, z1;
};

void grow_box(Box *box, const LineSample *s)
{
    box->x0 = fminf(box->x0, s->x);
    box->x1 = fmaxf(box->x1, s->x);
    box->z0 = fminf(box->z0, s->z);
    box->z1 = fmaxf(box->z1, s->z);
}

int boxes_meet(const Box *a, const Box *b)
{
    return a->x0 <= b->x1 && b->x0 <= a->x1 && a->z0 <= b->z1 && b->z0 <= a->z1;
}

// Bounding boxes of each run of CHUNK segments of a polyline.
struct Polyline {
    const LineSample *samples;
    int segments;
    Box *chunks;
    Box whole;
};

void make_polyline(Polyline *line, const LapCandidate *c)
{
    line->samples = c->samples;
    line->segments = c->count - 1;
    int chunks = (line->segments + CHUNK - 1) / CHUNK;
    line->chunks = (Box *)xmalloc((size_t)chunks * sizeof(Box));
    line->whole = {FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int k = 0; k < chunks; k++) {
        Box *box = &line->chunks[k];
        *box = {FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX};
        int end = (k + 1) * CHUNK < line->segments ? (k + 1) * CHUNK : line->segments;
        for (int i = k * CHUNK; i <= end; i++)
            grow_box(box, &c->samples[i]);
        line->whole.x0 = fminf(line->whole.x0, box->x0);
        line->whole.x1 = fmaxf(line->whole.x1, box->x1);
        line->whole.z0 = fminf(line->whole.z0, box->z0);
        line->whole.z1 = fmaxf(line->whole.z1, box->z1);
    }
}

int segment_pair_crosses(const LineSample *a, const LineSample *c)
{
    Box first = {fminf(a[0].x, a[1].x), fminf(a[0].z, a[1].z), fmaxf(a[0].x, a[1].x),
                 fmaxf(a[0].z, a[1].z)};
    Box second = {fminf(c[0].x, c[1].x), fminf(c[0].z, c[1].z), fmaxf(c[0].x, c[1].x),
                  fmaxf(c[0].z, c[1].z)};
    return boxes_meet(&first, &second) && segments_cross(&a[0], &a[1], &c[0], &c[1]) &&
           segments_cross(&c[0], &c[1], &a[0], &a[1]);
}

// Segment pairs still to compare in this pruning; a hostile file of long
// lines laid over each other would otherwise take hours.
long long crossing_tests_left;

int polylines_cross(const Polyline *m, const Polyline *n)
{
    if (!boxes_meet(&m->whole, &n->whole))
        return 0;
    int m_chunks = (m->segments + CHUNK - 1) / CHUNK, n_chunks = (n->segments + CHUNK - 1) / CHUNK;
    for (int p = 0; p < m_chunks; p++) {
        if (!boxes_meet(&m->chunks[p], &n->whole))
            continue;
        int p_end = (p + 1) * CHUNK < m->segments ? (p + 1) * CHUNK : m->segments;
        for (int q = 0; q < n_chunks; q++) {
            if (!boxes_meet(&m->chunks[p], &n->chunks[q]))
                continue;
            int q_end = (q + 1) * CHUNK < n->segments ? (q + 1) * CHUNK : n->segments;
            crossing_tests_left -= (long long)(p_end - p * CHUNK) * (q_end - q * CHUNK);
            if (crossing_tests_left < 0)
                return 0;
            for (int i = p * CHUNK; i < p_end; i++)
                for (int j = q * CHUNK; j < q_end; j++)
                    if (segment_pair_crosses(&m->samples[i], &n->samples[j]))
                        return 1;
        }
    }
    return 0;
}

// Whether a later candidate of an equal crossing count takes the place of
// the one chosen so far.
int replaces_on_tie(const LapCandidate *later, const LapCandidate *chosen)
{
    if (later->runs > 0 && chosen->runs <= 0)
        return 1;
    if (later->runs > 0 && chosen->runs > 0)
        return later->pair_sum / later->runs < chosen->pair_sum / chosen->runs;
    if (later->runs <= 0 && chosen->runs <= 0)
        return later->pair_time < chosen->pair_time;
    return 0;
}

// The candidate of the row whose line crosses the most others (at least
// one), or -1 when no line crosses another or the comparisons ran out.
int most_crossing_candidate(const LapCandidate *row)
{
    Polyline lines[N] = {};
    for (int i = 0; i < N; i++)
        if (has_samples(&row[i]) && row[i].count >= 2)
            make_polyline(&lines[i], &row[i]);
    int crossings[N] = {};
    for (int m = 0; m < N && crossing_tests_left >= 0; m++)
        for (int n = m + 1; lines[m].chunks && n < N; n++)
            if (lines[n].chunks && polylines_cross(&lines[m], &lines[n])) {
                crossings[m]++;
                crossings[n]++;
            }
    int chosen = -1, most = 0;
    for (int m = 0; m < N; m++) {
        if (crossings[m] > most) {
            chosen = m;
            most = crossings[m];
        } else if (chosen >= 0 && crossings[m] == most && replaces_on_tie(&row[m], &row[chosen])) {
            chosen = m;
        }
    }
    for (int i = 0; i < N; i++)
        checked_free(lines[i].chunks);
    return crossing_tests_left < 0 ? -1 : chosen;
}

}  // namespace

void circle_centre_xz(float *out, const LineSample *a, const LineSample *b, const LineSample *c)
{
    double x, z;
    centre_xz(&x, &z, a, b, c);
    out[0] = (float)fmax(-FLT_MAX, fmin(FLT_MAX, x));
    out[1] = 0.0f;
    out[2] = (float)fmax(-FLT_MAX, fmin(FLT_MAX, z));
}

int candidate_cost(const LapCandidate *candidate, int mode)
{
    int64_t w = candidate->runs > 0 ? candidate->runs : 0;
    int64_t o = candidate->penalties > 0 ? candidate->penalties : 0;
    if (mode < 0 || mode > 2) {
        if (w + o > 5 && o > 4 * w)
            return 100000;
        int64_t tries = w + 4 * o;
        return tries == 0 ? 0 : (bit_length(tries) + 4) * 1000;
    }
    static const float factors[3] = {1.0f, 1.1428572f, 4.0f};
    if (w < (mode == 2 ? 1 : TESTED_RUNS))
        return UNTESTED_COST;
    float share = factors[mode] * (float)o / (float)(w + o);
    share = share < 0.0f ? 0.0f : share > 1.0f ? 1.0f : share;
    double cost = (double)candidate->section_sum / (double)w + (double)(share * PENALTY_TICS);
    if (!(cost > 0.0))
        return 0;
    return cost >= (double)NO_CHAIN ? (int)NO_CHAIN : (int)cost;
}

void line_costs_ahead(uint8_t *back_pointers, int *costs, int first_row, int rows, int mode)
{
    uint8_t join[N][N];
    int cost[N];
    int next[N];
    uint8_t through[N];
    for (int i = 0; i < BLOCK; i++)
        costs[i] = NO_CHAIN;
    for (int step = 0; step < rows; step++) {
        const LapCandidate *row = lap_pool_row(first_row + step);
        find_joins(join, row, lap_pool_row(first_row + step + 1));
        for (int i = 0; i < N; i++)
            cost[i] = row ? candidate_cost(&row[i], mode) : NO_CHAIN;
        if (step == 0) {
            for (int s = 0; s < N; s++)
                for (int j = 0; j < N; j++)
                    costs[s * N + j] = join[s][j] && cost[s] < NO_CHAIN ? cost[s] : NO_CHAIN;
            continue;
        }
        uint8_t *back = back_pointers ? back_pointers + (size_t)(step - 1) * BLOCK : nullptr;
        for (int s = 0; s < N; s++) {
            int *table = costs + s * N;
            for (int j = 0; j < N; j++) {
                next[j] = NO_CHAIN;
                through[j] = NO_BACK_POINTER;
            }
            // k in rising order with a strictly lower sum: the first k of
            // the minimum keeps its place.
            for (int k = 0; k < N; k++) {
                if (table[k] >= NO_CHAIN)
                    continue;
                // Both below NO_CHAIN: the sum fits an int.
                int sum = table[k] + cost[k];
                for (int j = 0; j < N; j++) {
                    int better = join[k][j] & (sum < next[j]);
                    next[j] = better ? sum : next[j];
                    through[j] = better ? (uint8_t)k : through[j];
                }
            }
            memcpy(table, next, sizeof next);
            if (back)
                memcpy(back + s * N, through, sizeof through);
        }
    }
}

void choose_auto_pilot_line(int *results, int mode)
{
    int first = lap_pool_first_rows, laps = lap_pool_rows - lap_pool_first_rows;
    if (!results || !lap_pool || lap_pool_rows <= 0)
        return;
    memset(results, 0, (size_t)lap_pool_rows * sizeof(int));
    if (laps <= 0)
        return;   // no lap to close
    int blocks = first > laps ? first : laps;
    uint8_t *back = (uint8_t *)xmalloc((size_t)blocks * BLOCK);
    int *costs = (int *)xmalloc((size_t)BLOCK * sizeof(int));

    // The best closed lap starts and ends at the same candidate of row first.
    line_costs_ahead(back, costs, first, laps, mode);
    int f = 0;
    for (int i = 1; i < N; i++)
        if (costs[i * N + i] < costs[f * N + f])
            f = i;
    int lap_cost = costs[f * N + f];
    walk_back(results, back, first, laps, f, f);
    if (lap_cost < NO_CHAIN)
        results[first] = serial_if_tested(&lap_pool_row(first)[f]);

    // The first lap ends at the closed lap's start.
    int first_cost = 0;
    if (first > 0) {
        line_costs_ahead(back, costs, 0, first, mode);
        int c = 0;
        for (int i = 1; i < N; i++)
            if (costs[i * N + f] < costs[c * N + f])
                c = i;
        first_cost = costs[c * N + f];
        walk_back(results, back, 0, first, c, f);
        if (first_cost < NO_CHAIN)
            results[0] = serial_if_tested(&lap_pool_row(0)[c]);
    }
    if (debug_level) {
        log_printf("First lap: %f\n", first_cost * TIC_LENGTH);
        log_printf("Normal lap: %f\n", lap_cost * TIC_LENGTH);
    }
    checked_free(costs);
    checked_free(back);
}

void analyse_racing_lines(void)
{
    if (!lap_pool || !line_results || lap_pool_rows <= 0)
        return;
    for (int mode = 0; mode < LINE_RESULT_MODES; mode++)
        choose_auto_pilot_line(line_results + (size_t)mode * lap_pool_rows, mode);
}

int segments_cross(const LineSample *a, const LineSample *b, const LineSample *c,
                   const LineSample *d)
{
    double nx = (double)a->z - b->z, nz = (double)b->x - a->x;
    int side_d = ((double)d->x - b->x) * nx + ((double)d->z - b->z) * nz >= 0.0;
    int side_c = ((double)c->x - a->x) * nx + ((double)c->z - a->z) * nz >= 0.0;
    return side_d ^ side_c;
}

int read_racing_line(GameFile *file, LapCandidate *candidate)
{
    int v[9];
    if (!file || file_scanf(file, " %d %d %d %d %d %d %d %d %d ", &v[0], &v[1], &v[2], &v[3],
                            &v[4], &v[5], &v[6], &v[7], &v[8]) != 9)
        return 0;
    int count = v[0];
    if (count < 0 || count > LINE_SAMPLE_LIMIT)
        return 0;
    if (!candidate) {
        for (int i = 0; i < count; i++)
            if (!read_sample(file, nullptr))
                return 0;
        return 1;
    }
    if (count == 0)
        return 1;
    LineSample *samples = (LineSample *)xmalloc((size_t)count * sizeof(LineSample));
    for (int i = 0; i < count; i++)
        if (!read_sample(file, &samples[i])) {
            checked_free(samples);
            return 0;
        }
    checked_free(candidate->samples);
    candidate->samples = samples;
    for (int i = 1; i < 9; i++)
        if (v[i] < 0)
            v[i] = 0;
    candidate->count = count;
    candidate->section_time = v[1];
    candidate->pair_time = v[2];
    candidate->runs = v[3];
    candidate->best_section_time = v[4];
    candidate->best_pair_time = v[5];
    candidate->section_sum = v[6];
    candidate->pair_sum = v[7];
    candidate->penalties = v[8];
    candidate->serial = ++lap_serial_counter;
    keep_in_range(candidate);
    return 1;
}

int write_racing_lines(const char *file_name)
{
    if (!learn_lines || !lap_pool || lap_pool_rows <= 0 || !file_name || !current_track.folder)
        return 0;
    int written = 0;
    char *path = (char *)xmalloc(strlen(current_track.folder) + strlen(file_name) + 3);
    sprintf(path, "@%s/%s", current_track.folder, file_name);
    ReplacementFile out;
    if (open_replacement_file(&out, path)) {
        GameFile *file = out.file;
        int ok = file_printf(file, "ct03 %d\n", lap_pool_rows) > 0;
        for (int r = 0; ok && r < lap_pool_rows; r++) {
            const LapCandidate *row = lap_pool_row(r);
            int held = 0;
            for (int i = 0; i < N; i++)
                held += candidate_storable(&row[i]);
            ok = file_printf(file, "%d\n", held) > 0;
            for (int i = 0; ok && i < N; i++) {
                const LapCandidate *c = &row[i];
                if (!candidate_storable(c))
                    continue;
                ok = file_printf(file, "%d %d %d %d %d %d %d %d %d\n", c->count, c->section_time, c->pair_time,
                                 c->runs, c->best_section_time, c->best_pair_time, c->section_sum, c->pair_sum,
                                 c->penalties) > 0;
                for (int k = 0; ok && k < c->count; k++) {
                    const LineSample *s = &c->samples[k];
                    ok = file_printf(file, "[%f %f %f] %f %f\n", s->x, s->y, s->z, s->speed, s->lean) > 0;
                }
            }
        }
        written = commit_replacement_file(&out);
    }
    checked_free(path);
    return written;
}

int read_racing_line_file(const char *path)
{
    if (!lap_pool || lap_pool_rows <= 0 || !path)
        return 0;
    GameFile *file = file_open(path, "rb");
    if (!file)
        return 0;
    int rows = -1, read = 0;
    if (file_scanf(file, "ct03 %d ", &rows) == 1 && rows == lap_pool_rows) {
        int whole = 1;
        for (int r = 0; whole && r < rows; r++) {
            int listed;
            if (file_scanf(file, " %d ", &listed) != 1 || listed < 0)
                break;
            LapCandidate *row = lap_pool_row(r);
            for (int k = 0; k < listed; k++)
                if (!read_racing_line(file, k < N ? &row[k] : nullptr)) {
                    whole = 0;
                    break;
                }
            if (debug_level)
                log_printf("%d: %d\n", r, listed);
            if (whole)
                read = r + 1;
        }
    }
    file_close(file);
    return read;
}

void remember_racing_lines(void)
{
    if (racing_line_skill >= 0 && racing_line_skill < LINE_SKILLS)
        write_racing_lines(racing_line_files[racing_line_skill]);
}

void load_racing_lines(int skill)
{
    racing_line_skill = skill >= 0 && skill < LINE_SKILLS ? skill : -1;
    if (racing_line_skill < 0 || !current_track.folder)
        return;
    const char *name = racing_line_files[racing_line_skill];
    char *path = (char *)xmalloc(strlen(current_track.folder) + strlen(name) + 3);
    sprintf(path, "@%s/%s", current_track.folder, name);
    read_racing_line_file(path);
    checked_free(path);
}

void prune_racing_lines(void)
{
    crossing_tests_left = racing_line_crossing_budget;
    for (int r = 0; lap_pool && r < lap_pool_first_rows; r++) {
        LapCandidate *row = lap_pool_row(r);
        int held = 0;
        for (int i = 0; i < N; i++)
            held += has_samples(&row[i]);
        for (; held > PRUNE_ABOVE; held -= 2) {
            int chosen = most_crossing_candidate(row);
            if (chosen < 0)
                break;
            if (debug_level)
                log_printf("auto pilot: %d pruning %d\n", r, chosen);
            empty_candidate(&row[chosen]);
            int evicted = choose_eviction_slot(r);
            if (evicted >= 0 && evicted < N)
                empty_candidate(&row[evicted]);
        }
    }
    if (crossing_tests_left < 0 && debug_level)
        log_printf("auto pilot: lines too long to prune\n");
    analyse_racing_lines();
}
