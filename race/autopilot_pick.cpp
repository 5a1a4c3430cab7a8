// Picking a robot's next section: each recorded candidate of the pool row
// is scored by how cheap the chains of sections ahead of it are, by how
// well it joins the end of the line and by how long ago it was last
// picked; the winner is appended to the line and the seam smoothed.
#include "race/autopilot.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "platform/log.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/racing_lines.h"
#include "render/render_settings.h"

namespace {

enum { ROWS_AHEAD = 8, PAIR_CELLS = LAP_POOL_CANDIDATES * LAP_POOL_CANDIDATES };

static_assert(sizeof(LineSample) == LINE_POINT_SIZE, "line samples are 20 bytes");

uint8_t back_pointers[ROWS_AHEAD * PAIR_CELLS];
int chain_costs[PAIR_CELLS];

int has_samples(const LapCandidate *c)
{
    return c->count > 0 && c->samples != nullptr;
}

// The pool row of the bike's next pick: the first lap's rows in turn, then
// the rows of a normal lap over and over; -1 when there is none.
int next_pick_row(const BikeState *bike)
{
    int first = lap_pool_first_rows, lap_rows = lap_pool_rows - lap_pool_first_rows;
    int n = bike->sections_picked < 0 ? 0 : bike->sections_picked;
    if (n < first)
        return n;
    if (lap_rows <= 0)
        return -1;
    return first + (n - first) % lap_rows;
}

// Tics this bike leads the second rider by, when it leads.
int lead_over_second(const BikeState *bike)
{
    if (running_order_count <= 1 || running_order[0].slot != bike->slot)
        return 0;
    const BikeState *second = get_slot_bike(running_order[1].slot);
    if (!second)
        return 0;
    int gate = second->gates_passed - 1;
    int mine = get_gate_time(bike, gate), theirs = get_gate_time(second, gate);
    return mine > 0 && theirs > 0 && mine < theirs ? theirs - mine : 0;
}

double horizontal_distance(const float *centre, const LineSample *s)
{
    double dx = s->x - centre[0], dz = s->z - centre[2];
    return std::sqrt(dx * dx + dz * dz);
}

double clamp01(double x)
{
    return clamp_double(x, 0.0, 1.0);
}

// How well the candidate continues the line: near the bike when the line
// has barely begun, else on the arc the line ends on, at a speed it can
// reach.
double candidate_match(const BikeState *bike, const LapCandidate *c)
{
    const GrowableArray *line = &bike->own_line;
    if (line->count < 3) {
        const dReal *p = dBodyGetPosition(bike->frame_body);
        double d[3] = {c->samples[0].x - p[0], c->samples[0].y - p[1], c->samples[0].z - p[2]};
        double a = clamp01((100.0 - std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2])) / 96.0);
        return 10.0 * a * a * a;
    }
    if (c->count < 2)
        return 0.0;
    const LineSample *s = (const LineSample *)line->data + (line->count - 3);
    float centre[3];
    circle_centre_xz(centre, &s[0], &s[1], &s[2]);
    double ro = horizontal_distance(centre, &s[2]);
    double vo = std::fabs((double)s[2].speed);
    double r0 = horizontal_distance(centre, &c->samples[0]);
    double r1 = horizontal_distance(centre, &c->samples[1]);
    double vc = std::fabs((double)c->samples[0].speed);
    double b = clamp01((15.0 + vc - vo) / 5.0);
    double ce = clamp01((5.0 - std::fabs(ro - r0)) / 3.5) * clamp01((3.0 - std::fabs(r1 - r0)) / 2.0);
    return b * ce * ce * ce;
}

// Weights of the row's candidates from the cheapest chains over the rows
// ahead: 1 for the cheapest, less for dearer ones.
void chain_weights(int row, int mode, double *weights)
{
    line_costs_ahead(back_pointers, chain_costs, row, ROWS_AHEAD, mode);
    double best[LAP_POOL_CANDIDATES];
    double least = HUGE_VAL;
    for (int l = 0; l < LAP_POOL_CANDIDATES; l++) {
        int cost = chain_costs[l * LAP_POOL_CANDIDATES];
        for (int j = 1; j < LAP_POOL_CANDIDATES; j++)
            if (chain_costs[l * LAP_POOL_CANDIDATES + j] < cost)
                cost = chain_costs[l * LAP_POOL_CANDIDATES + j];
        best[l] = cost;
        least = std::fmin(least, best[l]);
    }
    for (int l = 0; l < LAP_POOL_CANDIDATES; l++)
        weights[l] = best[l] < 1.0 ? 1.0 : least / best[l];
}

void append_sample(GrowableArray *line, const LineSample *sample)
{
    void *slot = append_to_growable_array(line);
    if (slot)
        memcpy(slot, sample, sizeof *sample);
}

// Drops all but 30 samples behind the target.
void trim_line(BikeState *bike)
{
    GrowableArray *line = &bike->own_line;
    if (bike->line_index < 31)
        return;
    int drop = bike->line_index - 30;
    if (drop > line->count)
        drop = line->count;
    LineSample *s = (LineSample *)line->data;
    memmove(s, s + drop, (size_t)(line->count - drop) * sizeof *s);
    line->count -= drop;
    bike->line_index = 30;
}

// Bends the samples between s and a onto a cubic from the line (or the
// bike) at s into the new section at a, never faster than they were.
void smooth_seam(BikeState *bike, int s, int a)
{
    GrowableArray *line = &bike->own_line;
    if (a >= line->count || s < 0 || s >= a)
        return;
    LineSample *samples = (LineSample *)line->data;
    if (std::signbit(samples[s].speed) || std::signbit(samples[a].speed))
        return;
    double n = a - s;
    double p0[3], t0[3], p1[3], t1[3];
    if (s == 0) {
        const dReal *p = dBodyGetPosition(bike->frame_body);
        dVector3 forward;
        dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
        for (int c = 0; c < 3; c++) {
            p0[c] = p[c];
            t0[c] = forward[c] * 7.5 * n;
        }
    } else {
        vec_set(p0, samples[s].x, samples[s].y, samples[s].z);
        vec_set(t0, (samples[s].x - samples[s - 1].x) * n, (samples[s].y - samples[s - 1].y) * n,
                (samples[s].z - samples[s - 1].z) * n);
    }
    vec_set(p1, samples[a].x, samples[a].y, samples[a].z);
    vec_set(t1, 0.0, 0.0, 0.0);
    if (a + 1 < line->count)
        vec_set(t1, (samples[a + 1].x - samples[a].x) * n, (samples[a + 1].y - samples[a].y) * n,
                (samples[a + 1].z - samples[a].z) * n);
    double c2[3], c3[3];
    for (int c = 0; c < 3; c++) {
        c2[c] = 3.0 * (p1[c] - p0[c]) - 2.0 * t0[c] - t1[c];
        c3[c] = 2.0 * (p0[c] - p1[c]) + t0[c] + t1[c];
    }
    double v0 = samples[s].speed, v1 = samples[a].speed;
    double l0 = samples[s].lean, l1 = samples[a].lean;
    for (int k = s + 1; k < a; k++) {
        double t = (k - s) / n;
        double q[3];
        for (int c = 0; c < 3; c++)
            q[c] = p0[c] + t0[c] * t + c2[c] * t * t + c3[c] * t * t * t;
        samples[k].x = (float)q[0];
        samples[k].y = (float)q[1];
        samples[k].z = (float)q[2];
        samples[k].speed = (float)std::fmin(samples[k].speed, v0 + (v1 - v0) * t);
        samples[k].lean = (float)(l0 + (l1 - l0) * t);
    }
}

// The first sample more than 10 ft from the line's first, or the count.
int first_target_index(const BikeState *bike)
{
    const GrowableArray *line = &bike->own_line;
    const LineSample *s = (const LineSample *)line->data;
    for (int n = 1; n < line->count; n++) {
        double dx = s[n].x - s[0].x, dy = s[n].y - s[0].y, dz = s[n].z - s[0].z;
        if (dx * dx + dy * dy + dz * dz > 100.0)
            return n;
    }
    return line->count;
}

}  // namespace

void pick_line_section(BikeState *bike)
{
    GrowableArray *line = &bike->own_line;
    if (!lap_pool || bike->finished || !bike->frame_body || !line->data ||
        line->element_size != (int)sizeof(LineSample))
        return;
    if ((long long)bike->line_index < (long long)line->count - 10)
        return;
    int row = next_pick_row(bike);
    LapCandidate *candidates = lap_pool_row(row);
    if (!candidates)
        return;
    int first = -1;
    for (int l = 0; l < LAP_POOL_CANDIDATES && first < 0; l++)
        if (has_samples(&candidates[l]))
            first = l;
    if (first < 0)
        return;

    const int now = current_tic;
    const AutoPilotPersonality *personality = get_bike_personality(bike);
    double lead = lead_over_second(bike) * (double)TIC_LENGTH;
    int mode = personality->lead_threshold >= lead ? personality->near_mode
                                                   : personality->far_mode;

    double weights[LAP_POOL_CANDIDATES];
    chain_weights(row, mode, weights);
    if (mode >= 0 && mode < LINE_RESULT_MODES && line_results) {
        // The analysed best line wins more and more from 40 s to 60 s.
        int serial = line_results[mode * lap_pool_rows + row];
        double k = clamp01((now * (double)TIC_LENGTH - 40.0) * 0.05);
        for (int l = 0; l < LAP_POOL_CANDIDATES; l++)
            if (serial != 0 && candidates[l].serial == serial)
                weights[l] += k * (1.0 - weights[l]);
    }
    if (row == 0)
        for (double &w : weights)
            w = 0.8 + 0.19999999 * w;

    // Candidates without samples take no part; the first that has some
    // wins when no score is above 0.
    int winner = first;
    double best = 0.0, best_match = 0.0, best_age = 0.0;
    for (int l = 0; l < LAP_POOL_CANDIDATES; l++) {
        const LapCandidate *c = &candidates[l];
        if (!has_samples(c))
            continue;
        double match = candidate_match(bike, c);
        double age = ((long long)now - c->last_picked) * (double)TIC_LENGTH;
        double score = match + clamp01(age / 3.0) * weights[l];
        if (l == first) {
            best_match = match;
            best_age = age;
        }
        if (score > best) {
            best = score;
            winner = l;
            best_match = match;
            best_age = age;
        }
    }
    LapCandidate *chosen = &candidates[winner];
    if (debug_level)
        log_printf("auto pilot: picking %d score = %f match = %f last_picked = %f\n", winner,
                   weights[winner], best_match, best_age);

    // Candidates ending where the winner ends count as picked too.
    const LineSample *end = &chosen->samples[chosen->count - 1];
    for (int l = 0; l < LAP_POOL_CANDIDATES; l++) {
        LapCandidate *c = &candidates[l];
        if (!has_samples(c))
            continue;
        const LineSample *e = &c->samples[c->count - 1];
        double dx = e->x - end->x, dy = e->y - end->y, dz = e->z - end->z;
        if (c == chosen || dx * dx + dy * dy + dz * dz < 9.0)
            c->last_picked = now;
    }

    int picked_before = bike->sections_picked;
    bike->picked_serials[(unsigned)picked_before % 4] = chosen->serial;
    bike->sections_picked++;

    trim_line(bike);
    if (line->count == 0)
        for (int copy = 0; copy < 5; copy++)
            append_sample(line, &chosen->samples[0]);
    int a = line->count;
    int s = a - 5 > bike->line_index ? a - 5 : bike->line_index;
    for (int i = 0; i < chosen->count; i++)
        append_sample(line, &chosen->samples[i]);
    smooth_seam(bike, s, a);

    if (picked_before == 0) {
        bike->line_index = first_target_index(bike);
        bike->progress_tic = 3840;   // 30 s of tics
    }
}
