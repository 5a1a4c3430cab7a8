// The designs of the tracks and the centreline built from them: corners
// rounded at the waypoints, the width, banking and ground under the line,
// the jump and bump profiles, and the checkpoints.
//
// Jumps are sized from the speed they are meant to be taken at: over a
// face of angle a at speed v a bike flies v^2 sin 2a / 32 ft on the level,
// so a 30 degree face at 45 ft/s carries about 55 to 60 ft. The table of a
// tabletop (the top of a double's landing) ends where a bike that met the
// face at the designed speed comes down to the middle of the landing
// slope, so a slower bike lands on the table and a faster one further
// down the slope.
//
// Whoops and rhythm sections are cosine bumps ridden over, not jumped:
// low and long enough that at the speed they are built for the crests
// lift a bike by less than BUMP_LOAD_LIMIT g. The generator refuses a
// design that breaks one of the rules in gen_track.h.
#include "tools/datagen/gen_track.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"

static const float PI_F = 3.14159265358979f;
// How far past the gate the first checkpoint stands, at most.
static const float FIRST_CHECKPOINT = 200.0f;
// The flat top of a double's landing, before its slope.
static const float DOUBLE_TOP = 6.0f;

const TrackDesign DEFAULT_TRACK = {
    "tracks/cinder_hollow",
    "Cinder Hollow",
    10,
    1.0f,
    2024u,
    11,
    {{620, 1300, 40, 0.0f},
     {1200, 1300, 45, 0.22f},
     {1250, 1090, 45, 0.22f},
     {1000, 1080, 60, -0.1f},
     {880, 870, 50, 0.2f},
     {1170, 680, 55, 0.0f},
     {1400, 800, 70, 0.15f},
     {1450, 1300, 55, 0.0f},
     {1330, 1450, 50, 0.18f},
     {640, 1460, 45, 0.0f},
     {520, 1380, 40, 0.22f}},
    12,
    {{FEATURE_TABLETOP, 0, 360, 38, 3.0f, 0.32f, 0, 0},
     {FEATURE_TABLETOP, 2, 40, 38, 4.5f, 0.38f, 0, 0},
     {FEATURE_SAND, 7, 3, 0, 0, 0, 0, 140},
     {FEATURE_WHOOPS, 3, 10, 24, 0.5f, 0, 7, 18},
     {FEATURE_DOUBLE, 4, 110, 42, 5.0f, 0.42f, 0, 0},
     {FEATURE_RHYTHM, 5, 15, 30, 1.5f, 0, 4, 40},
     {FEATURE_DOUBLE, 6, 150, 44, 5.0f, 0.42f, 0, 0},
     {FEATURE_TABLETOP, 6, 322, 42, 4.0f, 0.38f, 0, 0},
     {FEATURE_RHYTHM, 8, 40, 32, 1.8f, 0, 4, 45},
     {FEATURE_WHOOPS, 8, 250, 24, 0.5f, 0, 7, 18},
     {FEATURE_TABLETOP, 8, 480, 40, 4.0f, 0.38f, 0, 0},
     {FEATURE_SAND, 9, 5, 0, 0, 0, 0, 65}},
    26.0f,
    62.0f,
    0,
    60.0f,
    18,
    3.2f,
    200.0f,
    7.0f,
    75.0f,
    420,
    5,
};

// A small loop: its start straight runs 290 ft from the gate into a wide
// first turn, room for a full gate of robots to string out before it.
const TrackDesign FIXTURE_TRACK = {
    "tracks/fixture_loop",
    "Fixture Loop",
    8,
    1.0f,
    77u,
    4,
    {{40, 130, 45, 0.18f}, {470, 130, 70, 0.18f}, {470, 380, 45, 0.18f}, {40, 380, 45, 0.18f}},
    1,
    {{FEATURE_TABLETOP, 2, 60, 34, 2.5f, 0.3f, 0, 0}},
    24.0f,
    42.0f,
    0,
    25.0f,
    12,
    3.2f,
    150.0f,
    2.0f,
    10.0f,
    40,
    2,
};

// ---- centreline ----

namespace {

struct Corner {
    float turn;          // signed turning angle
    float tangent;       // length of the straight the rounding eats on each side
    float heading_in, heading_out;
};

float wrap_angle(float a)
{
    while (a > PI_F)
        a -= 2.0f * PI_F;
    while (a < -PI_F)
        a += 2.0f * PI_F;
    return a;
}

int append_point(GrowableArray *points, float x, float z, float heading, float curvature, int leg, int corner)
{
    CentrePoint *p = (CentrePoint *)append_to_growable_array(points);
    if (!p)
        return 0;
    p->x = x;
    p->z = z;
    p->dx = cosf(heading);
    p->dz = sinf(heading);
    p->curvature = curvature;
    p->leg = leg;
    p->corner = corner;
    p->feature = -1;
    return 1;
}

// Corners rounded with the waypoints' radii; points every step along the
// loop, starting at the end of corner 0's rounding.
int build_centreline(TrackModel *track)
{
    const TrackDesign *d = track->design;
    int n = d->waypoint_count;
    Corner corners[MAX_WAYPOINTS];
    for (int i = 0; i < n; i++) {
        const Waypoint *p0 = &d->waypoints[(i + n - 1) % n], *p1 = &d->waypoints[i], *p2 = &d->waypoints[(i + 1) % n];
        corners[i].heading_in = atan2f(p1->z - p0->z, p1->x - p0->x);
        corners[i].heading_out = atan2f(p2->z - p1->z, p2->x - p1->x);
        corners[i].turn = wrap_angle(corners[i].heading_out - corners[i].heading_in);
        corners[i].tangent = p1->radius * tanf(fabsf(corners[i].turn) * 0.5f);
    }
    GrowableArray points;
    if (!init_growable_array(&points, sizeof(CentrePoint)))
        return 0;
    float s = 0.0f;
    int ok = 1;
    for (int leg = 0; ok && leg < n; leg++) {
        // The straight after corner 'leg', then the next corner's arc.
        const Waypoint *a = &d->waypoints[leg], *b = &d->waypoints[(leg + 1) % n];
        const Corner *ca = &corners[leg], *cb = &corners[(leg + 1) % n];
        float heading = ca->heading_out;
        float length = hypotf(b->x - a->x, b->z - a->z) - ca->tangent - cb->tangent;
        if (length < 10.0f) {
            fprintf(stderr, "datagen: straight %d of %s is too short (%g ft)\n", leg, d->folder, length);
            ok = 0;
            break;
        }
        float x0 = a->x + cosf(heading) * ca->tangent, z0 = a->z + sinf(heading) * ca->tangent;
        track->leg_start[leg] = s;
        int steps = (int)lroundf(length / CENTRELINE_STEP);
        for (int k = 0; ok && k < steps; k++) {
            float t = length * (float)k / (float)steps;
            ok = append_point(&points, x0 + cosf(heading) * t, z0 + sinf(heading) * t, heading, 0.0f, leg, 0);
        }
        s += length;
        track->leg_end[leg] = s;
        // The arc at waypoint b: centre to the side the road turns to.
        float r = b->radius, turn = cb->turn;
        float sx = b->x - cosf(heading) * cb->tangent, sz = b->z - sinf(heading) * cb->tangent;
        float side = turn > 0.0f ? 1.0f : -1.0f;
        float cx = sx - side * r * sinf(heading), cz = sz + side * r * cosf(heading);
        float arc = r * fabsf(turn);
        int arc_steps = (int)lroundf(arc / CENTRELINE_STEP);
        if (arc_steps < 1)
            arc_steps = 1;
        for (int k = 0; ok && k < arc_steps; k++) {
            float h = heading + turn * (float)k / (float)arc_steps;
            ok = append_point(&points, cx + side * r * sinf(h), cz - side * r * cosf(h), h, side / r, leg, 1);
        }
        s += arc;
    }
    if (!ok) {
        free_growable_array(&points);
        return 0;
    }
    track->points = (CentrePoint *)points.data;
    track->count = points.count;
    track->length = s;
    // Distances along the loop from the points themselves.
    float along = 0.0f;
    for (int i = 0; i < track->count; i++) {
        if (i > 0)
            along += hypotf(track->points[i].x - track->points[i - 1].x, track->points[i].z - track->points[i - 1].z);
        track->points[i].s = along;
    }
    float closing = hypotf(track->points[0].x - track->points[track->count - 1].x,
                           track->points[0].z - track->points[track->count - 1].z);
    track->length = along + closing;
    return 1;
}

float ramp(float value, float from, float to)
{
    if (to == from)
        return value >= to ? 1.0f : 0.0f;
    float t = (value - from) / (to - from);
    return t < 0 ? 0 : t > 1 ? 1 : t * t * (3 - 2 * t);
}

// Distance from a to b going forward round the loop.
float loop_ahead(const TrackModel *track, float a, float b)
{
    float d = fmodf(b - a, track->length);
    return d < 0 ? d + track->length : d;
}

// Along-the-loop signed distance of s from the gate, in (-L/2, L/2].
float from_gate(const TrackModel *track, float s)
{
    float d = loop_ahead(track, track->gate_s, s);
    return d > track->length * 0.5f ? d - track->length : d;
}

// The start straight is wide from behind the gate to the first turn and
// narrows to the track's width round that turn.
float track_width_at(const TrackModel *track, float s)
{
    const TrackDesign *d = track->design;
    float g = from_gate(track, s);
    int next = (d->gate_leg + 1) % d->waypoint_count;
    float turn_in = loop_ahead(track, track->gate_s, track->leg_end[d->gate_leg]);
    float turn_out = turn_in + loop_ahead(track, track->leg_end[d->gate_leg], track->leg_start[next]);
    float wide = ramp(g, -90.0f, -60.0f) * (1.0f - ramp(g, turn_in, turn_out));
    return d->width + (d->start_width - d->width) * wide;
}

// A jump's face: a rounded foot over its first FACE_FOOT of the length,
// then a straight ramp at the face angle up to the lip.
const float FACE_FOOT = 0.3f;
// The lip throws a bike a little steeper than its face (the suspension
// gives back what the face pressed into it).
const float LIP_KICK = 0.03f;

float face_length(const Feature *f)
{
    return f->height / tanf(f->face_angle) / (1.0f - FACE_FOOT * 0.5f);
}

float face_height(const Feature *f, float t)
{
    float u = t / face_length(f);
    float rise = u < FACE_FOOT ? u * u / (2.0f * FACE_FOOT) : u - FACE_FOOT * 0.5f;
    return f->height * rise / (1.0f - FACE_FOOT * 0.5f);
}

// The landing slope: down from the jump's height to the ground at the
// face angle, as long as the face.
float landing_length(const Feature *f)
{
    return f->height / tanf(f->face_angle);
}

// How far past the lip a bike that rides up the face at the designed
// speed comes down to half the jump's height; it leaves the lip a little
// steeper than the face.
float landing_reach(const Feature *f)
{
    float v = f->speed;
    float a = f->face_angle + LIP_KICK;
    float k = 16.0f / (v * v * cosf(a) * cosf(a));
    float t = tanf(a);
    return (t + sqrtf(t * t + 2.0f * k * f->height)) / (2.0f * k);
}

// Where the table or the landing's top ends, past the lip: so that the
// designed speed touches down in the middle of the landing slope.
float table_length(const Feature *f)
{
    return fmaxf(6.0f, landing_reach(f) - 0.5f * landing_length(f));
}

// One jump: face, table (or a double's gap and landing top) and landing.
float jump_length(const Feature *f)
{
    return face_length(f) + table_length(f) + landing_length(f);
}

// The profile of one feature at distance t from its start (0 outside it),
// and its length.
float feature_length(const Feature *f)
{
    switch (f->kind) {
    case FEATURE_TABLETOP:
    case FEATURE_DOUBLE:
        return jump_length(f);
    case FEATURE_WHOOPS:
    case FEATURE_RHYTHM:
        return (float)f->count * f->spacing;
    default:
        return f->spacing;
    }
}

// A jump's height t past its foot, built as a tabletop or a double.
float jump_height(const Feature *f, int is_double, float t)
{
    if (t <= 0.0f || t >= jump_length(f))
        return 0.0f;
    float face = face_length(f), table = table_length(f);
    if (t < face)
        return face_height(f, t);
    float after = t - face;
    if (after >= table)
        return fmaxf(0.0f, f->height - (after - table) * tanf(f->face_angle));
    if (!is_double)
        return f->height;
    // A double: the back of the take-off and the front of the landing's
    // top (DOUBLE_TOP long) drop into the gap no steeper than
    // JUMP_BACK_ANGLE.
    float top = table - DOUBLE_TOP;
    if (after >= top)
        return f->height;
    float slope = tanf(JUMP_BACK_ANGLE);
    float back = f->height - after * slope, front = f->height - (top - after) * slope;
    return fmaxf(0.0f, fmaxf(back, front));
}

float feature_height(const Feature *f, float t)
{
    float length = feature_length(f);
    if (t <= 0.0f || t >= length)
        return 0.0f;
    switch (f->kind) {
    case FEATURE_TABLETOP:
    case FEATURE_DOUBLE:
        return jump_height(f, f->kind == FEATURE_DOUBLE, t);
    case FEATURE_WHOOPS:
    case FEATURE_RHYTHM: {
        float phase = t / f->spacing;
        return f->height * (0.5f - 0.5f * cosf(2.0f * PI_F * phase));
    }
    default:
        return 0.0f;
    }
}

void place_checkpoints(TrackModel *track)
{
    const TrackDesign *d = track->design;
    // Feature spans (with room before and after) no checkpoint may sit in.
    float spans[MAX_FEATURES][2];
    int span_count = 0;
    for (int f = 0; f < d->feature_count; f++) {
        if (d->features[f].kind == FEATURE_SAND)
            continue;
        float s0, s1;
        feature_span(track, f, &s0, &s1);
        spans[span_count][0] = s0 - 25.0f;
        spans[span_count][1] = s1 + 25.0f;
        span_count++;
    }
    // From the start straight round to the finish line behind the gate.
    // The first stands well down the straight (short of the first turn):
    // until there every rider follows the line from its own gate.
    float straight = track->leg_end[d->gate_leg] - track->gate_s;
    float first = track->gate_s + fmaxf(60.0f, fminf(FIRST_CHECKPOINT, straight - 30.0f));
    float last = track->gate_s - 50.0f + track->length;
    int n = (int)lroundf((last - first) / d->checkpoint_spacing);
    if (n < 2)
        n = 2;
    if (n > MAX_CHECKPOINTS - 1)
        n = MAX_CHECKPOINTS - 1;
    track->checkpoint_count = 0;
    for (int k = 0; k <= n; k++) {
        float s = k == n ? last : first + (last - first) * (float)k / (float)n;
        // Move a checkpoint that lands on a jump or bumps to its nearer end.
        for (int pass = 0; pass < 3 && k < n; pass++)
            for (int i = 0; i < span_count; i++) {
                float a = loop_ahead(track, spans[i][0], s);
                float width = loop_ahead(track, spans[i][0], spans[i][1]);
                if (a < width)
                    s = a < width * 0.5f ? s - a : s + (width - a);
            }
        float wrapped = fmodf(s, track->length);
        int index = (int)(wrapped / CENTRELINE_STEP);
        index = index < 0 ? 0 : index >= track->count ? track->count - 1 : index;
        const CentrePoint *p = &track->points[index];
        Checkpoint *c = &track->checkpoints[track->checkpoint_count++];
        c->x = p->x;
        c->z = p->z;
        c->dx = p->dx;
        c->dz = p->dz;
        c->s = p->s;
        c->radius = p->width * 0.5f + 6.0f;
    }
}

}  // namespace

void feature_span(const TrackModel *track, int f, float *s0, float *s1)
{
    const Feature *feature = &track->design->features[f];
    *s0 = track->leg_start[feature->leg] + feature->offset;
    *s1 = *s0 + feature_length(feature);
}

float bump_launch_speed(const Feature *f)
{
    if (!(f->height > 0.0f) || !(f->spacing > 0.0f))
        return 1e9f;
    float k = 2.0f * PI_F / f->spacing;
    return sqrtf(GRAVITY_FT / (0.5f * f->height * k * k));
}

float bump_speed_limit(const Feature *f)
{
    return sqrtf(BUMP_LOAD_LIMIT) * bump_launch_speed(f);
}

int check_track_design(const TrackModel *track, char *why, int size)
{
    static const char *const KINDS[] = {"tabletop", "double", "whoops", "rhythm section", "sandy stretch"};
    const TrackDesign *d = track->design;
    float first_turn = loop_ahead(track, track->gate_s, track->leg_end[d->gate_leg]);
    if (first_turn < START_CLEAR) {
        snprintf(why, (size_t)size, "the first turn of %s is %.0f ft past the gate (at least %.0f)", d->folder,
                 (double)first_turn, (double)START_CLEAR);
        return 0;
    }
    for (int f = 0; f < d->feature_count; f++) {
        const Feature *a = &d->features[f];
        float a0, a1;
        feature_span(track, f, &a0, &a1);
        int bumps = a->kind == FEATURE_WHOOPS || a->kind == FEATURE_RHYTHM;
        if (bumps && !(a->speed > 0.0f && a->speed <= bump_speed_limit(a))) {
            snprintf(why, (size_t)size,
                     "%s #%d of %s: %.2f ft bumps %.0f ft apart throw a bike at %.1f ft/s; built for %.0f ft/s "
                     "they lift it %.2f g (at most %.2f)",
                     KINDS[a->kind], f, d->folder, (double)a->height, (double)a->spacing, (double)bump_launch_speed(a),
                     (double)a->speed, (double)(a->speed * a->speed / (bump_launch_speed(a) * bump_launch_speed(a))),
                     (double)BUMP_LOAD_LIMIT);
            return 0;
        }
        int jump = a->kind == FEATURE_TABLETOP || a->kind == FEATURE_DOUBLE;
        if (jump && loop_ahead(track, track->gate_s, a0) < START_CLEAR) {
            snprintf(why, (size_t)size, "%s #%d of %s: its face is %.0f ft past the gate (at least %.0f)", KINDS[a->kind],
                     f, d->folder, (double)loop_ahead(track, track->gate_s, a0), (double)START_CLEAR);
            return 0;
        }
        for (int g = 0; g < d->feature_count; g++) {
            const Feature *b = &d->features[g];
            if (g == f)
                continue;
            float b0, b1;
            feature_span(track, g, &b0, &b1);
            int b_jump = b->kind == FEATURE_TABLETOP || b->kind == FEATURE_DOUBLE;
            if (a->kind != FEATURE_SAND && b_jump && loop_ahead(track, a1, b0) < SETTLE_BEFORE_FACE) {
                snprintf(why, (size_t)size, "%s #%d of %s ends %.0f ft before the face of %s #%d (at least %.0f)",
                         KINDS[a->kind], f, d->folder, (double)loop_ahead(track, a1, b0), KINDS[b->kind], g,
                         (double)SETTLE_BEFORE_FACE);
                return 0;
            }
            if (a->kind == FEATURE_SAND && b->kind != FEATURE_SAND && loop_ahead(track, b0, a0) < b1 - b0) {
                snprintf(why, (size_t)size, "sandy stretch #%d of %s lies on %s #%d", f, d->folder, KINDS[b->kind], g);
                return 0;
            }
            if (a->kind == FEATURE_SAND && b->kind != FEATURE_SAND && loop_ahead(track, a0, b0) < a1 - a0) {
                snprintf(why, (size_t)size, "%s #%d of %s lies in sandy stretch #%d", KINDS[b->kind], g, d->folder, f);
                return 0;
            }
        }
    }
    if (size > 0)
        why[0] = 0;
    return 1;
}

// Cheap hills: low rolling ground everywhere, high ground toward the
// borders of the terrain.
float natural_ground(const TrackModel *track, float x, float z)
{
    const TrackDesign *d = track->design;
    float rolling = (float)fractal_noise(x / 260.0, z / 260.0, d->seed, 4, 0.5, 0) - 0.5f;
    float centre = track->extent * 0.5f;
    float r = hypotf(x - centre, z - centre) / centre;
    float rise = ramp(r, 0.62f, 0.98f);
    float hills = (float)fractal_noise(x / 180.0, z / 180.0, d->seed + 11u, 5, 0.55, 0);
    return 2.0f * d->ground_relief * rolling + d->border_hills * rise * (0.45f + 0.75f * hills);
}

static float point_profile(const TrackModel *track, int i)
{
    const TrackDesign *d = track->design;
    float s = track->points[i].s, height = 0.0f;
    for (int f = 0; f < d->feature_count; f++) {
        float s0, s1;
        feature_span(track, f, &s0, &s1);
        height += feature_height(&d->features[f], s - s0);
    }
    return height;
}

int build_track_centreline(TrackModel *track)
{
    const TrackDesign *d = track->design;
    if (!build_centreline(track))
        return 0;
    track->gate_s = track->leg_start[d->gate_leg] + d->gate_offset;
    for (int f = 0; f < d->feature_count; f++) {
        float s0, s1;
        feature_span(track, f, &s0, &s1);
        if (s1 > track->leg_end[d->features[f].leg]) {
            fprintf(stderr, "datagen: feature %d of %s runs past its straight\n", f, d->folder);
            return 0;
        }
    }
    int n = track->count;
    for (int i = 0; i < n; i++) {
        CentrePoint *p = &track->points[i];
        p->width = track_width_at(track, p->s);
        p->profile = point_profile(track, i);
        for (int f = 0; f < d->feature_count; f++) {
            float s0, s1;
            feature_span(track, f, &s0, &s1);
            if (p->s >= s0 && p->s < s1) {
                if (d->features[f].kind == FEATURE_SAND)
                    p->sand = 1;
                else
                    p->feature = f;
            }
        }
    }
    // Banking: each corner's value, eased in and out over 25 ft.
    for (int i = 0; i < n; i++) {
        CentrePoint *p = &track->points[i];
        float bank = 0.0f;
        for (int k = -25; k <= 25; k++) {
            const CentrePoint *q = &track->points[((i + k) % n + n) % n];
            if (q->corner) {
                const Waypoint *w = &d->waypoints[(q->leg + 1) % d->waypoint_count];
                float weight = 1.0f - fabsf((float)k) / 26.0f;
                // The outside of a turn toward the right is the left.
                float value = w->bank * weight * (q->curvature > 0.0f ? 1.0f : -1.0f);
                if (fabsf(value) > fabsf(bank))
                    bank = value;
            }
        }
        p->bank = bank;
    }
    // The ground under the line, smoothed along it over 120 ft.
    float *ground = (float *)checked_malloc(sizeof(float) * (size_t)n);
    if (!ground)
        return 0;
    for (int i = 0; i < n; i++)
        ground[i] = natural_ground(track, track->points[i].x, track->points[i].z);
    const int HALF = 60;
    double sum = 0.0;
    for (int k = -HALF; k <= HALF; k++)
        sum += ground[((k % n) + n) % n];
    for (int i = 0; i < n; i++) {
        track->points[i].base = (float)(sum / (2 * HALF + 1));
        sum += ground[(i + HALF + 1) % n] - ground[((i - HALF) % n + n) % n];
    }
    checked_free(ground);
    // The start area stays level: its base is held at the gate's.
    int gate_index = (int)(track->gate_s / CENTRELINE_STEP) % n;
    float gate_base = track->points[gate_index].base;
    for (int i = 0; i < n; i++) {
        float g = from_gate(track, track->points[i].s);
        float hold = ramp(g, -140.0f, -90.0f) * (1.0f - ramp(g, 80.0f, 160.0f));
        track->points[i].base += (gate_base - track->points[i].base) * hold;
    }
    place_checkpoints(track);
    char why[256];
    if (!check_track_design(track, why, sizeof why)) {
        fprintf(stderr, "datagen: %s\n", why);
        return 0;
    }
    return 1;
}
