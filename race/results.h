// The running order of the race, the results with missed-gate penalties,
// "@results.txt", and the standings of the series event being raced.
#pragma once

#include "bike/bike_state.h"

struct GameFile;

struct RunningOrderEntry {
    int slot;
    int gates;
    int last_gate_tic;   // 0 when none
};

extern RunningOrderEntry running_order[BIKE_SLOT_COUNT];
extern int running_order_count;
extern RunningOrderEntry results_order[BIKE_SLOT_COUNT];
extern int results_order_count;
extern int results_written;

// More gates first, then the earlier last gate, then the lower slot.
int compare_running_order(const void *a, const void *b);
// Tics added for missed sections: each run of gates without time costs what
// the others took over it plus one second, less the time the rider took.
int get_missed_gate_penalty(const BikeState *bike);
void write_results(void);
void finish_series_event(void);

// Writes "@results.txt" through the checked replacement: 1 when the file
// holds the new results, else the old file stays.
int write_results_file(void);
