// The HUD: the results board, the status lines (frame rate, race time,
// ping, speed, render statistics, the sticky-dab notice) and the recent
// message lines, drawn over the view of a race for the viewed slot. The
// texts are built apart from the drawing.
#pragma once

struct BikeState;
struct RunningOrderEntry;

extern int show_render_stats;   // "--draw-render-stats", 0

enum {
    HUD_TEXT_LENGTH = 256,
    HUD_STATUS_LINES = 16,
    HUD_RESULT_ROWS = 160,
    HUD_STAT_MAXIMA = 6,
};

// Running maxima of ground polygons, decals, model polygons, billboards,
// texture changes and shader changes; never reset.
extern int hud_stat_maxima[HUD_STAT_MAXIMA];

struct HudStatus {
    int count;
    char lines[HUD_STATUS_LINES][HUD_TEXT_LENGTH];
};

// One row of the results board, each column's text.
struct ResultsRow {
    char position[16];
    char number[16];
    char laps[16];
    char gap[32];
    char best_time[32];
    char best_lap[16];
    int viewed;     // the row of the viewed slot (drawn white)
    int striped;    // every second drawn row gets a stripe
};

struct ResultsBoard {
    int shown;               // the leader has finished
    int final;               // "Final Results", else "Unofficial Results"
    int row_count;
    ResultsRow rows[HUD_RESULT_ROWS];
    char total[64];          // "Total Race Time: ..." when final
    int penalty_count;
    char penalties[HUD_RESULT_ROWS][HUD_TEXT_LENGTH];
};

// "%d:%02d.%03d" of a time in tics (0 below 0).
void format_tics_as_time(char *text, int size, long long tics);
// The gap of running-order entry p to the rider ahead (the leader to the
// second), in tics, as the board shows it: 0 or above.
int results_gap_tics(const RunningOrderEntry *list, int count, int p);
// The best lap of a bike from lap 2 on (0 with fewer than 2 laps) and its
// time in tics.
int hud_best_lap(const BikeState *bike, int *tics);
// The frame rate from the longest frame (0 without one); the frame-time
// records start again.
int take_frame_rate(void);

void build_results_board(int viewed_slot, ResultsBoard *board);
// Steps the status lines for the viewed slot: frame rate (resetting the
// frame-time records), race time, ping, speed, render statistics (raising
// the maxima) and the sticky-dab notice, as switched on.
void build_hud_status(int viewed_slot, HudStatus *status);
// The message-line ring indices of the visible lines, oldest first (at
// most 1000); the count.
int visible_message_lines(int *indices);

void draw_hud(int viewed_slot);
