// The HUD: the results board once the leader has finished, the status
// lines and the message lines, in a text overlay of 50 lines.
#include "app/hud.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/bike_setup.h"
#include "app/frame_pacing.h"
#include "net/client.h"
#include "app/player_controls.h"
#include "app/race_overlay.h"
#include "app/settings.h"
#include "bike/bike_getters.h"
#include "core/message.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/model_draw.h"
#include "render/overlay.h"
#include "render/shaders.h"
#include "render/track_objects.h"
#include "track/erosion.h"
#include "track/terrain.h"

int show_render_stats;
int hud_stat_maxima[HUD_STAT_MAXIMA];

static const float MILES_PER_HOUR = 0.6818182f;   // per foot per second

static int clamp_to_int(long long value)
{
    return value < -2147483647LL ? -2147483647 : value > 2147483647LL ? 2147483647 : (int)value;
}

void format_tics_as_time(char *text, int size, long long tics)
{
    long long ms = tics > 0 ? tics * 1000 / TIC_RATE : 0;
    snprintf(text, (size_t)size, "%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

int results_gap_tics(const RunningOrderEntry *list, int count, int p)
{
    int d = running_gap_tics(list, count, p);
    return d < 1 ? (d == -2147483647 - 1 ? 2147483647 : -d) : 0;
}

int hud_best_lap(const BikeState *bike, int *tics)
{
    *tics = 0;
    int laps, gate;
    get_lap_progress(bike, &laps, &gate);
    if (laps <= 1)
        return 0;
    int best = 2;
    int best_tics = get_lap_tics(bike, 2);
    for (int lap = 3; lap <= laps; lap++) {
        int t = get_lap_tics(bike, lap);
        if (best_tics == 0 || (t != 0 && t < best_tics)) {
            best = lap;
            best_tics = t;
        }
    }
    *tics = best_tics;
    return best;
}

int take_frame_rate(void)
{
    double longest = longest_frame_time;
    int rate = longest > 0.0 ? (int)fmin(1.0 / longest, 1e6) : 0;
    longest_frame_time = 0.0;
    shortest_frame_time = 1.0;
    return rate;
}

void build_results_board(int viewed_slot, ResultsBoard *board)
{
    memset(board, 0, sizeof *board);
    board->final = results_written != 0;
    const RunningOrderEntry *list = board->final ? results_order : running_order;
    int count = board->final ? results_order_count : running_order_count;
    if (count < 0)
        count = 0;
    if (count > HUD_RESULT_ROWS)
        count = HUD_RESULT_ROWS;
    BikeState *leader = count > 0 ? get_slot_bike(list[0].slot) : nullptr;
    if (!leader || !check_bike_finished(leader))
        return;
    board->shown = 1;

    for (int p = 0; p < count; p++) {
        BikeState *bike = get_slot_bike(list[p].slot);
        if (!board->final && (!bike || !check_bike_finished(bike)))
            continue;
        ResultsRow *row = &board->rows[board->row_count++];
        row->viewed = list[p].slot == viewed_slot;
        row->striped = board->row_count % 2 == 0;
        snprintf(row->position, sizeof row->position, "%d", p + 1);
        snprintf(row->number, sizeof row->number, "%3s", bike ? get_rider_number_text(bike) : "");
        snprintf(row->laps, sizeof row->laps, "L%d", lap_of_gates(list[p].gates));
        snprintf(row->gap, sizeof row->gap, "%7.3f", results_gap_tics(list, count, p) * (double)TIC_LENGTH);
        int best_tics = 0, best = bike ? hud_best_lap(bike, &best_tics) : 0;
        format_tics_as_time(row->best_time, sizeof row->best_time, best_tics);
        snprintf(row->best_lap, sizeof row->best_lap, "(%d)", best);
    }

    if (!board->final)
        return;
    char time[32];
    format_tics_as_time(time, sizeof time, (long long)list[0].last_gate_tic - race_settings.start_tic);
    snprintf(board->total, sizeof board->total, "Total Race Time: %s", time);
    for (int p = 0; p < count; p++) {
        BikeState *bike = get_slot_bike(list[p].slot);
        if (!bike || get_gates_passed(bike) < 1)
            continue;
        long long t = get_gate_time(bike, get_gates_passed(bike) - 1);
        long long own = list[p].last_gate_tic;
        if (!(t < own))
            continue;
        char *line = board->penalties[board->penalty_count++];
        int n = snprintf(line, HUD_TEXT_LENGTH, "%3s penalized ", get_rider_number_text(bike));
        int lap, gate;
        get_lap_progress(bike, &lap, &gate);
        int laps_cut = lap - lap_of_gates(list[p].gates);
        if (laps_cut > 0 && n < HUD_TEXT_LENGTH)
            n += snprintf(line + n, HUD_TEXT_LENGTH - n, "%d %s ", laps_cut, laps_cut == 1 ? "lap" : "laps");
        if (n < HUD_TEXT_LENGTH)
            snprintf(line + n, HUD_TEXT_LENGTH - n, "%.2f seconds for cutting track",
                     (double)(own - t) * TIC_LENGTH);
    }
}

static void add_status(HudStatus *status, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void add_status(HudStatus *status, const char *format, ...)
{
    if (status->count >= HUD_STATUS_LINES)
        return;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(status->lines[status->count++], HUD_TEXT_LENGTH, format, arguments);
    va_end(arguments);
}

void build_hud_status(int viewed_slot, HudStatus *status)
{
    status->count = 0;
    int rate = take_frame_rate();
    if (show_fps)
        add_status(status, "FPS - %d", rate);
    if (show_race_time) {
        long long tics = (long long)current_tic - race_settings.start_tic;
        long long ms = (tics > 0 ? tics : 0) * 1000 / TIC_RATE;
        add_status(status, "Time - %lld:%02lld.%lld ", ms / 60000, ms / 1000 % 60, ms / 100 % 10);
    }
    if (show_ping && net_socket != -1 && own_slot >= 0 && own_slot < BIKE_SLOT_COUNT) {
        long long offset = (long long)server_tic_estimate - current_tic;
        add_status(status, "Ping - %dms (%dms offset)", clamp_to_int((long long)slot_pings[own_slot] * 1000 / TIC_RATE),
                   clamp_to_int(offset * 1000 / TIC_RATE));
    }
    BikeState *bike = get_slot_bike(viewed_slot);
    dBodyID body = bike ? get_bike_body(bike) : nullptr;
    if (show_speed && body) {
        const dReal *v = dBodyGetLinearVel(body);
        add_status(status, "Speed - %.2f", sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * MILES_PER_HOUR);
    }
    if (show_render_stats) {
        int ground = current_terrain ? current_terrain->ground_vertex_count : 0;
        int decals = current_terrain ? current_terrain->decal_draw_count : 0;
        int frame[HUD_STAT_MAXIMA] = {ground, decals, model_polygon_count, billboard_count, texture_change_count,
                                      shader_change_count};
        for (int i = 0; i < HUD_STAT_MAXIMA; i++)
            if (frame[i] > hud_stat_maxima[i])
                hud_stat_maxima[i] = frame[i];
        static const char *const NAMES[HUD_STAT_MAXIMA] = {"Ground polygons", "Model polygons", "Billboards",
                                                           "Decals", "Texture Changes", "Shader Changes"};
        static const int ORDER[HUD_STAT_MAXIMA] = {0, 2, 3, 1, 4, 5};
        for (int i = 0; i < HUD_STAT_MAXIMA; i++)
            add_status(status, "%s - %d max=%d", NAMES[i], frame[ORDER[i]], hud_stat_maxima[ORDER[i]]);
        add_status(status, "Terrain texture age - %d", current_terrain ? get_oldest_block_age(current_terrain) : 0);
        add_status(status, "Reshades pending - %d", current_terrain ? count_marked_blocks(current_terrain) : 0);
        add_status(status, "Erode buffered - %d", erosion_queue.count);
    }
    if (bike_setup.sticky_dab.selected == 1 && sticky_dab_state)
        add_status(status, "Dabbing!");
}

int visible_message_lines(int *indices)
{
    int n = message_log.visible_lines;
    n = n < 0 ? 0 : n > MESSAGE_LINES ? MESSAGE_LINES : n;
    int next = message_log.next_line;
    for (int t = n; t >= 1; t--) {
        int index = (next - t) % MESSAGE_LINES;
        indices[n - t] = index < 0 ? index + MESSAGE_LINES : index;
    }
    return n;
}

// ---- drawing ------------------------------------------------------------------------

static const float WHITE[4] = {1, 1, 1, 1};
static const float GREY[4] = {0.75f, 0.75f, 0.75f, 1};

static void draw_right(const float *colour, float right, const char *text)
{
    glPushMatrix();
    draw_text_right_shadowed(colour[0], colour[1], colour[2], colour[3], right, text);
    glPopMatrix();
}

static void draw_centred(const float *colour, float left, float right, const char *text)
{
    glPushMatrix();
    draw_text_centered_shadowed(colour[0], colour[1], colour[2], colour[3], left, right, text);
    glPopMatrix();
}

static void draw_results_board(const ResultsBoard *board)
{
    glPushMatrix();
    glTranslatef(0.25f, -0.25f, 0);
    draw_blended_rect(0, 0, 0, 0.25f, 0, 1, 19, -0.5f);
    draw_centred(WHITE, 0, 19, board->final ? "Final Results" : "Unofficial Results");

    glPushMatrix();
    glTranslatef(0, -0.5f, 0);
    glScalef(0.5f, 0.5f, 1);
    static const struct {
        const char *text;
        float left, right;
    } HEADS[] = {{"Pos.", 0, 4}, {"No.", 4, 8}, {"Lap", 8, 12.5f}, {"Gap", 12.5f, 23}, {"Best Time", 23, 33},
                 {"BLap", 33, 38}};
    for (const auto &head : HEADS)
        draw_centred(WHITE, head.left, head.right, head.text);
    glPopMatrix();
    glTranslatef(0, -1, 0);

    for (int i = 0; i < board->row_count; i++) {
        const ResultsRow *row = &board->rows[i];
        const float *colour = row->viewed ? WHITE : GREY;
        if (row->striped)
            draw_blended_rect(1, 1, 1, 0.25f, 0, 1, 19, 0);
        draw_right(colour, 1.5f, row->position);
        draw_right(colour, 4, row->number);
        draw_right(colour, 6.25f, row->laps);
        draw_right(colour, 11, row->gap);
        draw_right(colour, 16.5f, row->best_time);
        draw_right(colour, 19, row->best_lap);
        glTranslatef(0, -1, 0);
    }
    if (board->final) {
        glPushMatrix();
        draw_text_grey_shadowed(board->total);
        glPopMatrix();
        glTranslatef(0, -2, 0);
        glScalef(0.5f, 0.5f, 1);
        for (int i = 0; i < board->penalty_count; i++) {
            glPushMatrix();
            draw_text_shadowed(1, 0, 0, 1, board->penalties[i]);
            glPopMatrix();
            glTranslatef(0, -1, 0);
        }
        glScalef(2, 2, 1);
        glTranslatef(0, -0.5f, 0);
    }
    glPopMatrix();
    glTranslatef(19.5f, 0, 0);
}

static void draw_hud_line(const char *text)
{
    glPushMatrix();
    draw_text_grey_shadowed(text);
    glPopMatrix();
    glTranslatef(0, -1, 0);
}

void draw_hud(int viewed_slot)
{
    static ResultsBoard board;
    HudStatus status;
    begin_draw_step();
    begin_text_overlay(50);
    build_results_board(viewed_slot, &board);
    if (board.shown)
        draw_results_board(&board);
    build_hud_status(viewed_slot, &status);
    for (int i = 0; i < status.count; i++)
        draw_hud_line(status.lines[i]);
    static int indices[MESSAGE_LINES];
    int n = visible_message_lines(indices);
    for (int i = 0; i < n; i++)
        draw_hud_line(message_log.lines[indices[i]]);
    end_overlay();
    end_draw_step();
}
