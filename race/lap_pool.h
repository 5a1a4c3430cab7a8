// The auto pilot's lap pool: one row of candidate recorded sections per
// section between consecutive timing gates, first the rows of the first lap
// then those of a normal lap, and the chosen racing line of each row.
#pragma once

enum { LAP_POOL_CANDIDATES = 45, LAP_NO_TIME = 1000000, LINE_RESULT_MODES = 3 };
// The longest section recorded or stored, in samples: no more than a line
// file's record may hold.
enum { LAP_SECTION_SAMPLE_LIMIT = 65536 };

// One point of a recorded section or racing line, one every 32 tics.
struct LineSample {
    float x, y, z;
    float speed;   // negative when airborne
    float lean;
};

struct LapCandidate {
    LineSample *samples;     // owned
    int count;               // 0 = empty slot
    int section_time;
    int pair_time;
    int runs;
    int best_section_time;
    int best_pair_time;
    int section_sum;
    int pair_sum;
    int penalties;
    int last_picked;
    int serial;              // 0 = none
};

// The pool holds the first lap's rows and then one normal lap's rows; rows of
// later laps are the normal lap's again, so no more rows are ever needed.
extern LapCandidate *lap_pool;     // lap_pool_rows x LAP_POOL_CANDIDATES, or null
extern int lap_pool_rows;          // first-lap rows + normal-lap rows
extern int lap_pool_first_rows;
extern int *line_results;          // LINE_RESULT_MODES blocks of lap_pool_rows serials
extern int lap_serial_counter;

// Row r's candidates, or null without a pool or for r < 0. Rows at or
// beyond the first lap's wrap into the normal lap: F + (r - F) mod R.
LapCandidate *lap_pool_row(int row);
// A fresh empty pool of F + R rows; running out of memory is fatal.
void create_lap_pool(int first_rows, int lap_rows);
void free_lap_pool(void);

// The candidate of a full row to replace, or -1: the slowest expected one
// among those that fail at least as often as they finish (among all once
// more than 22 finish more often); a distinct start counts 3/4. Empty
// candidates are never chosen.
int choose_eviction_slot(int row);
// The candidate of the row with the serial gets one more penalty; a serial
// of 0 or not found changes nothing.
void penalise_candidate(int row, int serial);
// A robot's run along the candidate of the row with the serial: one run
// more with its section and pair time (tics).
void credit_lap_candidate(int row, int serial, int section_time, int pair_time);
// Offers a human's recorded section of the row with its section and pair
// time (tics). Cancelled when empty or spoiled, rejected as a duplicate of
// a stored one, else stored in the first empty slot or over the eviction
// choice when that one's expected pair time is at least 5/4 of this one's.
// The slot stored into, or -1.
int offer_lap_section(int row, const LineSample *samples, int count, int spoiled,
                      int section_time, int pair_time);
