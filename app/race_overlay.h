// The race overlay: the instruments drawn over the rider and chase views
// for the viewed slot (suspension graphs, tachometer and gear, the pit
// board, the rider's name, the lean indicator, the track map with every
// rider, and the title card of the first 3 s). The numbers and texts are
// worked out apart from the drawing.
#pragma once

struct RunningOrderEntry;

enum { OVERLAY_TEXT_LENGTH = 1024 };

// Textures loaded at start-up ("!@tach.png", "!@shifter.png",
// "!@pitboard.png"); 0 when missing.
extern int tach_texture;
extern int shifter_texture;
extern int pitboard_texture;

// Degrees the needle turns about the axis (0, 0, -1): clockwise as the
// engine speed rises, straight up at 8000 rpm.
float tachometer_needle_degrees(float rpm);
// The top-left texture coordinates of a gear's cell in the 3 x 3 atlas.
void shifter_cell(int gear, float *u, float *v);
// Steps of a ring band from angle a to b (radians): n + 2 with n the whole
// part of |b - a| x 31 / pi; 0 for angles that are not finite.
int ring_band_steps(float a, float b);
// The band of the lean indicator for the ground's lean a in the bike's
// frame: its start and end angles; red (1) past 36 degrees.
int lean_band(float a, float *start, float *end);
// "%d laps", or the minutes rounded and "+ %d laps" when there are laps.
void format_race_length(char *text, int size, int length_tics, int laps);
// The title card's alpha at a tic, or a value below 0 once it is gone (3 s).
float title_card_alpha(int tic);
// The signed gap d = a - b of running-order entry p to the rider ahead
// (the leader to the second), in tics; 0 when either time is unknown.
int running_gap_tics(const RunningOrderEntry *list, int count, int p);
// " %.5s (%.1f) " for each rider ahead whom the viewed rider is close
// behind; empty when none is (or a lap has no gates).
void close_behind_text(int viewed_slot, char *text, int size);

// The pit board's texts: rider number, "P%d" or "L%d P%d", the gap, and
// the last and best laps (empty when there is none).
struct PitBoard {
    char number[16];
    char place[32];
    char gap[32];
    char last[48];
    char best[48];
};
void build_pit_board(int viewed_slot, PitBoard *board);

void draw_graph_frame(void);
void draw_graph_trace(const float *samples, const float *weights, const float *colour_a,
                      const float *colour_b, int count, int start, float scale);
void draw_ring_band(float a, float b, float inner, float outer, const float *inner_colour,
                    const float *outer_colour);
void draw_pit_board(int viewed_slot);
void draw_race_overlay(int viewed_slot);
