// The race overlay: instruments placed in the corners of the view at
// distance 1, sized from the projection's half extents so that they keep
// their size against the window's height.
#include "app/race_overlay.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/bike_setup.h"
#include "app/hud.h"
#include "app/settings.h"
#include "bike/bike_getters.h"
#include "bike/engine.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/series.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "track/terrain.h"
#include "track/track.h"

int tach_texture;
int shifter_texture;
int pitboard_texture;

static const float PI = 3.14159265358979323846f;
static const float CORNER_SCALE = 0.23340251273656992f;   // tachometer and graphs, per ty
static const float LEAN_SCALE = 0.9336100509462797f;
static const float MAP_SCALE = 0.46680502547313985f;
static const float PIT_BOARD_SCALE = 0.6227179039811686f;
static const double TICS_PER_SECOND = TIC_RATE;
static const float LEAN_WARNING = 0.6283185307179586f;     // 36 degrees

// ---- numbers and texts ----------------------------------------------------------------

float tachometer_needle_degrees(float rpm)
{
    if (!std::isfinite(rpm))
        rpm = 0.0f;
    return (rpm * 0.000046875f - 0.375f) * 360.0f;
}

void shifter_cell(int gear, float *u, float *v)
{
    int column = ((gear % 3) + 3) % 3;
    int row = ((gear / 3 % 3) + 3) % 3;
    *u = (float)column / 3.0f;
    *v = (float)row / 3.0f;
}

int ring_band_steps(float a, float b)
{
    float span = fabsf(b - a);
    if (!std::isfinite(span))
        return 0;
    // More than a few turns draws nothing new: the count stays small.
    if (span > 4.0f * PI)
        span = 4.0f * PI;
    return (int)(span * 31.0f / PI) + 2;
}

int lean_band(float a, float *start, float *end)
{
    if (!std::isfinite(a))
        a = 0.0f;
    if (a >= 0.0f) {
        *start = a - PI / 2;
        *end = -PI / 2;
    } else {
        *start = PI / 2;
        *end = a + PI / 2;
    }
    return fabsf(a) > LEAN_WARNING;
}

void format_race_length(char *text, int size, int length_tics, int laps)
{
    if (length_tics <= 0) {
        snprintf(text, (size_t)size, "%d laps", laps);
        return;
    }
    int minutes = (int)((double)length_tics / TICS_PER_SECOND / 60.0 + 0.5);
    if (laps > 0)
        snprintf(text, (size_t)size, "%d minutes + %d laps", minutes, laps);
    else
        snprintf(text, (size_t)size, "%d minutes", minutes);
}

float title_card_alpha(int tic)
{
    float t = (float)(tic / TICS_PER_SECOND);
    if (!(t < 3.0f))
        return -1.0f;
    float alpha = 3.0f - t;
    return alpha > 1.0f ? 1.0f : alpha;
}

static int gate_tic(const RunningOrderEntry *entry, int k)
{
    BikeState *bike = get_slot_bike(entry->slot);
    return bike ? get_gate_time(bike, k) : 0;
}

int running_gap_tics(const RunningOrderEntry *list, int count, int p)
{
    if (count < 2 || p < 0 || p >= count)
        return 0;
    const RunningOrderEntry *self = &list[p], *other = &list[p == 0 ? 1 : p - 1];
    long long a, b;
    if (self->gates == other->gates) {
        a = other->last_gate_tic;
        b = self->last_gate_tic;
    } else {
        int k = (self->gates < other->gates ? self->gates : other->gates) - 1;
        a = gate_tic(other, k);
        b = gate_tic(self, k);
    }
    if (a < 1 || b < 1)
        return 0;
    long long d = a - b;
    return d < -2147483647LL ? -2147483647 : d > 2147483647LL ? 2147483647 : (int)d;
}

static int running_place(int slot)
{
    int count = running_order_count < 0 ? 0 : running_order_count;
    for (int i = 0; i < count; i++)
        if (running_order[i].slot == slot)
            return i;
    return count;
}

// A lap's first-lap gate count and gates per lap as the lap list holds them.
static void lap_layout(int *first, int *per_lap)
{
    *first = lap_gate_list.first_lap_count;
    *per_lap = lap_gate_list.normal_lap_count;
    if (*first < 0)
        *first = 0;
    if (*per_lap < 0)
        *per_lap = 0;
}

void close_behind_text(int viewed_slot, char *text, int size)
{
    text[0] = 0;
    BikeState *viewed = get_slot_bike(viewed_slot);
    int count = running_order_count;
    int p = running_place(viewed_slot);
    int first, h;
    lap_layout(&first, &h);
    // The rule divides by the gates of a lap: a lap without gates has no strip.
    if (!viewed || count < 2 || h <= 0 || p >= count)
        return;
    int m = get_gates_passed(viewed);
    long long e = running_order[p].last_gate_tic;
    int used = 0;
    for (int i = 0; i < p; i++) {
        const RunningOrderEntry *ahead = &running_order[i];
        int l = ahead->gates;
        if (m < first || m >= l)
            continue;
        int k = l - h * ((l - m - 1) / h) - h - 1;
        long long g = get_gate_time(viewed, k);
        long long f = ahead->last_gate_tic;
        if (g < 0 || f < g || (double)(e - g) / TICS_PER_SECOND > 15.0 || (double)(f - g) / TICS_PER_SECOND > 3.0)
            continue;
        BikeState *bike = get_slot_bike(ahead->slot);
        if (used < size - 1)
            used += snprintf(text + used, (size_t)(size - used), " %.5s (%.1f) ",
                             bike ? get_rider_number_text(bike) : "", (double)(f - g) / TICS_PER_SECOND);
        if (used > size - 1)
            used = size - 1;
    }
}

static void format_lap_line(char *text, int size, const char *label, long long tics)
{
    text[0] = 0;
    if (tics <= 0)
        return;
    long long ms = tics * 1000 / TIC_RATE;
    snprintf(text, (size_t)size, "%s - %lld:%02lld.%lld%s", label, ms / 60000, ms / 1000 % 60, ms / 100 % 10,
             label[0] == 'L' ? " " : "");
}

void build_pit_board(int viewed_slot, PitBoard *board)
{
    memset(board, 0, sizeof *board);
    BikeState *bike = get_slot_bike(viewed_slot);
    if (!bike)
        return;
    snprintf(board->number, sizeof board->number, "%s", get_rider_number_text(bike));
    int p = running_place(viewed_slot);
    int lap, gate;
    get_lap_progress(bike, &lap, &gate);
    if (time_trial_mode)
        snprintf(board->place, sizeof board->place, "P%d", p + 1);
    else
        snprintf(board->place, sizeof board->place, "L%d P%d", lap + 1, p + 1);
    int d = running_gap_tics(running_order, running_order_count, p);
    snprintf(board->gap, sizeof board->gap, "%+.1f ", (double)d / TICS_PER_SECOND);

    long long last, best;
    if (time_trial_mode) {
        last = last_lap_tics;
        best = best_lap_tics;
    } else {
        last = lap >= 2 ? get_lap_tics(bike, lap) : 0;
        int best_tics;
        hud_best_lap(bike, &best_tics);
        best = best_tics;
    }
    format_lap_line(board->last, sizeof board->last, "Last", last);
    format_lap_line(board->best, sizeof board->best, "Best", best);
}

// ---- drawing --------------------------------------------------------------------------

static void textured_quad(int texture, float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                          float v1)
{
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(u0, v0);
    glVertex2f(x0, y0);
    glTexCoord2f(u0, v1);
    glVertex2f(x0, y1);
    glTexCoord2f(u1, v1);
    glVertex2f(x1, y1);
    glTexCoord2f(u1, v0);
    glVertex2f(x1, y0);
    glEnd();
}

static void begin_textured_blend(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void draw_graph_frame(void)
{
    glBegin(GL_LINES);
    const float corners[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
    for (int i = 0; i < 4; i++) {
        glVertex2f(corners[i][0], corners[i][1]);
        glVertex2f(corners[i + 1][0], corners[i + 1][1]);
    }
    glVertex2f(-1, 0);
    glVertex2f(1, 0);
    glEnd();
}

void draw_graph_trace(const float *samples, const float *weights, const float *colour_a,
                      const float *colour_b, int count, int start, float scale)
{
    if (count <= 0)
        return;
    start = ((start % count) + count) % count;
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < count; i++) {
        int index = (start + i) % count;
        if (weights) {
            float w = weights[index];
            if (!std::isfinite(w))
                w = 0.0f;
            glColor4f(colour_a[0] + w * (colour_b[0] - colour_a[0]), colour_a[1] + w * (colour_b[1] - colour_a[1]),
                      colour_a[2] + w * (colour_b[2] - colour_a[2]), colour_a[3] + w * (colour_b[3] - colour_a[3]));
        }
        float v = scale * samples[index];
        v = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v == v ? v : 0.0f;
        glVertex2f(2.0f * (float)i / (float)count - 1.0f, v);
    }
    glEnd();
}

void draw_ring_band(float a, float b, float inner, float outer, const float *inner_colour,
                    const float *outer_colour)
{
    int steps = ring_band_steps(a, b);
    if (steps == 0)
        return;
    int n = steps - 2;
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < steps; i++) {
        float t = a + (b - a) * (float)i / (float)(n + 1);
        glColor4fv(inner_colour);
        glVertex2f(inner * sinf(t), inner * cosf(t));
        glColor4fv(outer_colour);
        glVertex2f(outer * sinf(t), outer * cosf(t));
    }
    glEnd();
}

static void draw_suspension_graphs(float tx, float ty)
{
    static const float WHITE[4] = {1, 1, 1, 1}, GREEN[4] = {0, 1, 0, 1}, RED[4] = {1, 0, 0, 1};
    int start = telemetry_index;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glLoadIdentity();
    glTranslatef(tx, -ty, -1);
    glScalef(ty * CORNER_SCALE, ty * CORNER_SCALE, 1);
    struct Graph {
        float x;
        const float (*rings)[TELEMETRY_LENGTH];
        float speed_scale;
    } graphs[2] = {{-4, telemetry_shock, -1.0f}, {-7, telemetry_fork, -0.25f}};
    for (const Graph &graph : graphs) {
        glPushMatrix();
        glTranslatef(graph.x, 1, 0);
        glColor4fv(WHITE);
        draw_graph_frame();
        draw_graph_trace(graph.rings[0], nullptr, WHITE, WHITE, TELEMETRY_LENGTH, start, 1.0f);
        draw_graph_trace(graph.rings[1], graph.rings[2], GREEN, RED, TELEMETRY_LENGTH, start, graph.speed_scale);
        glPopMatrix();
    }
    glDisable(GL_BLEND);
    glPushMatrix();
    glTranslatef(-7 + 1, 1 + 1, 0);
    glScalef(1.0f / 12, 1.0f / 12, 1);
    static const struct {
        const char *text;
        const float *colour;
    } LABELS[6] = {{" Fork Position", WHITE},     {" Fork Speed (High)", GREEN}, {" Fork Speed (Low)", RED},
                   {" Swingarm Position", WHITE}, {" Shock Speed (High)", GREEN}, {" Shock Speed (Low)", RED}};
    for (int i = 0; i < 6; i++) {
        if (i == 3)
            glTranslatef(36, 4, 0);
        glTranslatef(0, -2, 0);
        glPushMatrix();
        draw_text_rgba(LABELS[i].colour[0], LABELS[i].colour[1], LABELS[i].colour[2], 1, LABELS[i].text);
        glPopMatrix();
    }
    glPopMatrix();
}

static void draw_tachometer(const BikeState *bike, float tx, float ty)
{
    begin_textured_blend();
    glLoadIdentity();
    glTranslatef(tx, -ty, -1);
    glScalef(ty * CORNER_SCALE, ty * CORNER_SCALE, 1);
    glTranslatef(-1, 1, 0);
    if (tach_texture)
        textured_quad(tach_texture, -1, 1, 1, -1, 0, 0, 1, 1);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glPushMatrix();
    glRotatef(tachometer_needle_degrees(get_engine_rpm(bike)), 0, 0, -1);
    glColor4f(0.75f, 0, 0, 1);
    glBegin(GL_TRIANGLES);
    glVertex2f(0, 0.75f);
    glVertex2f(-0.1f, 0.25f);
    glVertex2f(0.1f, 0.25f);
    glEnd();
    glPopMatrix();

    if (shifter_texture) {
        begin_textured_blend();
        float u, v;
        shifter_cell(get_gear(bike), &u, &v);
        const float third = 1.0f / 3.0f;
        textured_quad(shifter_texture, -third, third, third, -third, u, v, u + third, v + third);
    }
}

static void draw_rider_name(int slot, float tx, float ty)
{
    if (slot_kinds[slot] != 1 || !net_rider_info[slot].name[0])
        return;
    begin_text_overlay(30);
    glTranslatef(0, -28, 0);
    draw_text_centered_shadowed(1, 1, 1, 1, 0, 30 * tx / ty, net_rider_info[slot].name);
    end_overlay();
}

static void draw_lean_indicator(const BikeState *bike, float ty)
{
    dBodyID body = get_bike_body(bike);
    if (!body || !current_terrain)
        return;
    const dReal *position = dBodyGetPosition(body);
    float normal[3];
    get_terrain_elevation(current_terrain, (float)position[0], (float)position[2], normal);
    dVector3 local;
    dBodyVectorFromWorld(body, normal[0], normal[1], normal[2], local);
    float start, end;
    int red = lean_band(atan2f((float)local[0], (float)local[1]), &start, &end);
    float inner[4] = {red ? 1.0f : 0.0f, 0, 0, 0}, outer[4] = {red ? 1.0f : 0.0f, 0, 0, 0.25f};
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glScalef(ty * LEAN_SCALE, ty * LEAN_SCALE, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    draw_ring_band(start, end, 0.5f, 1.0f, inner, outer);
    glDisable(GL_BLEND);
}

static void map_square(float x, float z, float half)
{
    glVertex3f(x - half, 0, z - half);
    glVertex3f(x - half, 0, z + half);
    glVertex3f(x + half, 0, z + half);
    glVertex3f(x + half, 0, z - half);
}

static int map_position(int slot, float *x, float *z)
{
    BikeState *bike = get_slot_bike(slot);
    dBodyID body = bike ? get_bike_body(bike) : nullptr;
    if (!body || is_rider_hidden(slot))
        return 0;
    const dReal *p = dBodyGetPosition(body);
    float extent = current_terrain->extent;
    *x = (float)(p[0] / extent);
    *z = (float)(p[2] / extent);
    return std::isfinite(*x) && std::isfinite(*z);
}

static void draw_track_map(int viewed_slot, float ty)
{
    if (!current_track.map_texture || !current_terrain || !(current_terrain->extent > 0.0f))
        return;
    float scale = map_scale >= 0.125f && map_scale <= 8.0f ? map_scale : 1.0f;
    begin_textured_blend();
    glLoadIdentity();
    glTranslatef(view_half_width, ty, -1);
    float s = scale * ty * MAP_SCALE;
    glScalef(s, s, s);
    glTranslatef(-1, 0, 0);
    glRotatef(90, 1, 0, 0);
    glBindTexture(GL_TEXTURE_2D, (GLuint)current_track.map_texture);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(0, 0, 0);
    glTexCoord2f(0, 1);
    glVertex3f(0, 0, 1);
    glTexCoord2f(1, 1);
    glVertex3f(1, 0, 1);
    glTexCoord2f(1, 0);
    glVertex3f(1, 0, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    float x, z;
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 1);
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (map_position(slot, &x, &z))
            map_square(x, z, 1.0f / (scale * 64));
    int count = running_order_count < 0 ? 0 : running_order_count > BIKE_SLOT_COUNT ? BIKE_SLOT_COUNT
                                                                                  : running_order_count;
    for (int i = count - 1; i >= 0; i--) {
        int slot = running_order[i].slot;
        if (!map_position(slot, &x, &z))
            continue;
        BikeState *bike = get_slot_bike(slot);
        if (check_bike_finished(bike))
            glColor4f(0.25f, 0.25f, 0.25f, 1);
        else if (i == 0)
            glColor4f(0, 1, 0, 1);
        else
            glColor4f(1, 1, 1, 1);
        map_square(x, z, 1.0f / (scale * 128));
    }
    glEnd();

    BikeState *viewed = get_slot_bike(viewed_slot);
    dBodyID body = viewed ? get_bike_body(viewed) : nullptr;
    if (body && map_position(viewed_slot, &x, &z)) {
        const dReal *r = dBodyGetRotation(body);
        float hx = (float)r[2], hz = (float)r[10];
        float length = sqrtf(hx * hx + hz * hz);
        float angle = length > 0.0f ? atan2f(-hx / length, -hz / length) * 180.0f / PI : 0.0f;
        float g = 3.0f / (128 * scale), e = 3.0f / (256 * scale), h = g + e;
        glPushMatrix();
        glTranslatef(x, 0, z);
        glRotatef(angle, 0, 1, 0);
        glBegin(GL_TRIANGLES);
        glColor4f(0, 0, 0, 1);
        const float outline[6][2] = {{0, -h}, {-h, h}, {h, h}, {0, -h}, {-g / 2 - e, 2 * g + e}, {g / 2 + e, 2 * g + e}};
        for (const auto &v : outline)
            glVertex3f(v[0], 0, v[1]);
        glColor4f(1, 0, 0, 1);
        const float arrow[6][2] = {{0, -g}, {-g, g}, {g, g}, {0, -g}, {-g / 2, 2 * g}, {g / 2, 2 * g}};
        for (const auto &v : arrow)
            glVertex3f(v[0], 0, v[1]);
        glEnd();
        glPopMatrix();
    }
    glDisable(GL_BLEND);
}

static void draw_title_card(void)
{
    float alpha = title_card_alpha(current_tic);
    if (alpha < 0.0f)
        return;
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glScalef(0.1f, 0.1f, 0.1f);
    if (current_event >= 0 && current_event < series_list.count) {
        const char *title = series_list.events[current_event].title;
        glPushMatrix();
        draw_text_centered(1, 1, 1, alpha, -10, 10, title ? title : "");
        glPopMatrix();
        return;
    }
    glPushMatrix();
    draw_text_centered(1, 1, 1, alpha, -10, 10, current_track.long_name ? current_track.long_name : "");
    glPopMatrix();
    char length[64];
    format_race_length(length, sizeof length, race_settings.length_tics, race_settings.laps);
    glTranslatef(0, -1, 0);
    glPushMatrix();
    draw_text_centered(1, 1, 1, alpha, -10, 10, length);
    glPopMatrix();
}

void draw_pit_board(int viewed_slot)
{
    float tx = view_half_width, ty = view_half_height;
    PitBoard board;
    build_pit_board(viewed_slot, &board);
    glPushMatrix();
    begin_textured_blend();
    glLoadIdentity();
    glTranslatef(-tx, -ty, -1);
    glScalef(ty * PIT_BOARD_SCALE, ty * PIT_BOARD_SCALE, 1);
    if (pitboard_texture)
        textured_quad(pitboard_texture, 0, 0.8125f, 1, 0.125f, 0, 0.1875f, 1, 0.875f);
    glDisable(GL_TEXTURE_2D);
    glTranslatef(0.37109375f, 0.6796875f, 0);
    glScalef(0.0703125f, 0.0703125f, 1);
    auto line = [](const char *text) {
        glPushMatrix();
        draw_text_rgba(0, 0, 0, 1, text);
        glPopMatrix();
    };
    line(board.number);
    glTranslatef(0, -2, 0);
    glScalef(1.25f, 1.25f, 1);
    line(board.place);
    glTranslatef(0, -1, 0);
    line(board.gap);
    glTranslatef(0, -1, 0);
    glTranslatef(-2, -1, 0);
    if (board.last[0]) {
        line(board.last);
        glTranslatef(0, -1, 0);
    }
    if (board.best[0])
        line(board.best);

    static char strip[OVERLAY_TEXT_LENGTH];
    close_behind_text(viewed_slot, strip, sizeof strip);
    if (strip[0]) {
        // One line of ty/15 at the top of the window.
        float width = 2 * tx * 15 / ty;
        glLoadIdentity();
        glTranslatef(-tx, ty - ty / 15, -1);
        glScalef(ty / 15, ty / 15, 1);
        draw_blended_rect(0, 0.5f, 1, 0.5f, 0, 1, width, 0);
        glPushMatrix();
        draw_text_centered(1, 1, 1, 1, 0, width, strip);
        glPopMatrix();
    }
    glPopMatrix();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

void draw_race_overlay(int viewed_slot)
{
    float tx = view_half_width, ty = view_half_height;
    begin_draw_step();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    BikeState *bike = get_slot_bike(viewed_slot);
    if (bike) {
        if (telemetry_on)
            draw_suspension_graphs(tx, ty);
        draw_tachometer(bike, tx, ty);
        draw_pit_board(viewed_slot);
        draw_rider_name(viewed_slot, tx, ty);
        if (bike_setup.lean_indicator.selected == 1)
            draw_lean_indicator(bike, ty);
    }
    draw_track_map(viewed_slot, ty);
    draw_title_card();
    end_draw_step();
}
