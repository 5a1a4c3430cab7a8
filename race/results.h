// The running order of the race, the results with missed-gate penalties,
// "@results.txt", and the standings of the series event being raced.
#pragma once

#include "bike/bike_state.h"

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

int compare_running_order(const void *a, const void *b);
void write_results(void);
void finish_series_event(void);
