// Racing lines: the search for the cheapest chains of recorded sections
// over the lap pool, the best closed lap and first lap of each mode, the
// racing-line files that keep the pool between races, and the reading,
// pruning and writing back of the pool at a race reset.
#pragma once

#include <cstdint>

struct GameFile;
struct LapCandidate;
struct LineSample;

enum { NO_CHAIN = 100000000, NO_BACK_POINTER = 45, LINE_SKILLS = 3 };

// Centre of the circle through three points in the horizontal plane
// (x, z written into out[0] and out[2]; out[1] = 0). Nearly in line or
// coincident points give a centre 10000 ft out; never a number that is not
// finite.
void circle_centre_xz(float *out, const LineSample *a, const LineSample *b, const LineSample *c);
// The cost of following a candidate in a search mode, in tics.
int candidate_cost(const LapCandidate *candidate, int mode);
// Costs of the cheapest chains from each candidate of row first over rows
// row pairs (45 x 45 ints), with a 45 x 45 block of back pointers for every
// row pair after the first.
void line_costs_ahead(uint8_t *back_pointers, int *costs, int first_row, int rows, int mode);
void choose_auto_pilot_line(int *results, int mode);
void analyse_racing_lines(void);

// 1 when C and D lie strictly on different sides of the line through A
// and B (x and z).
int segments_cross(const LineSample *a, const LineSample *b, const LineSample *c,
                   const LineSample *d);
// One candidate record of a racing-line file (none: skipped); 1 when read.
int read_racing_line(GameFile *file, LapCandidate *candidate);
// The whole pool into the track folder's file of that name (learning only).
void write_racing_lines(const char *file_name);

// The race reset's parts: the pool written back to the remembered skill's
// file; the skill's file read into the pool; crowded first-lap rows pruned.
extern const char *const racing_line_files[LINE_SKILLS];   // "lines_novice", ...
void remember_racing_lines(void);
void load_racing_lines(int skill);
void prune_racing_lines(void);
