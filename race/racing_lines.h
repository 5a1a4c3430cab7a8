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
// A racing-line record holds at most this many samples, each value finite
// and within LINE_VALUE_LIMIT (feet, ft/s, radians).
enum { LINE_SAMPLE_LIMIT = 65536 };
constexpr float LINE_VALUE_LIMIT = 1000000.0f;

// Centre of the circle through three points in the horizontal plane
// (x, z written into out[0] and out[2]; out[1] = 0). Nearly in line or
// coincident points give a centre 10000 ft out; never a number that is not
// finite.
void circle_centre_xz(float *out, const LineSample *a, const LineSample *b, const LineSample *c);
// The cost of following a candidate in a search mode, in tics.
int candidate_cost(const LapCandidate *candidate, int mode);
// Costs of the cheapest chains from each candidate of row first over rows
// row pairs (45 x 45 ints), with a 45 x 45 block of back pointers for every
// row pair after the first (rows - 1 blocks; null: none kept). An entry of
// NO_CHAIN or more means no chain.
void line_costs_ahead(uint8_t *back_pointers, int *costs, int first_row, int rows, int mode);
// One mode's best closed lap and first lap: a block of lap_pool_rows serials
// (0 where no candidate of 5 runs or more lies on the chain).
void choose_auto_pilot_line(int *results, int mode);
// The three analysed modes into line_results.
void analyse_racing_lines(void);

// 1 when C and D lie on different sides of the line through A and B (x and
// z); a point on the line counts on the side its normal (A.z - B.z,
// B.x - A.x) points to.
int segments_cross(const LineSample *a, const LineSample *b, const LineSample *c,
                   const LineSample *d);
// One candidate record of a racing-line file (none: skipped); 1 when read.
// A record that fails leaves the candidate as it was.
int read_racing_line(GameFile *file, LapCandidate *candidate);
// A whole racing-line file at a game path into the lap pool; the rows read
// (0 without a pool, a file, the header or the pool's row count). Reading
// stops at the first record that fails.
int read_racing_line_file(const char *path);
// The whole pool into the track folder's file of that name (learning
// only), through the checked replacement: 1 when the file holds the pool,
// else the old file stays.
int write_racing_lines(const char *file_name);

// The race reset's parts: the pool written back to the remembered skill's
// file; the skill's file read into the pool; crowded first-lap rows pruned.
extern const char *const racing_line_files[LINE_SKILLS];   // "lines_novice", ...
extern int racing_line_skill;   // the skill whose file the pool came from, -1 = none
// Segment pairs the pruning may compare at one reset; once they run out
// no more candidates are pruned.
extern long long racing_line_crossing_budget;
void remember_racing_lines(void);
void load_racing_lines(int skill);
void prune_racing_lines(void);
