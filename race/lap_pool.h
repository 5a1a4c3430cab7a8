// The auto pilot's lap pool: one row of candidate recorded sections per
// section between consecutive timing gates, first the rows of the first lap
// then those of a normal lap, and the chosen racing line of each row.
#pragma once

enum { LAP_POOL_CANDIDATES = 45, LAP_NO_TIME = 1000000, LINE_RESULT_MODES = 3 };

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

extern LapCandidate *lap_pool;     // lap_pool_rows x LAP_POOL_CANDIDATES, or null
extern int lap_pool_rows;
extern int *line_results;          // LINE_RESULT_MODES blocks of lap_pool_rows serials
extern int lap_serial_counter;

// Row r's candidates, or null outside the pool.
LapCandidate *lap_pool_row(int row);
// A fresh empty pool of rows; running out of memory is fatal.
void create_lap_pool(int rows);
void free_lap_pool(void);
