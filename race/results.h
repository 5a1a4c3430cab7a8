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

// A game file written whole or not at all: the text goes to a temporary
// file beside the target's home copy, renamed over the target once every
// write succeeded. The old file stays when anything fails.
struct ReplacementFile {
    GameFile *file;
    char *temp_path;
    int failed;
};
int open_replacement_file(ReplacementFile *out, const char *path);
void replacement_printf(ReplacementFile *out, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// Closes and renames; 1 when the target now holds the new text.
int commit_replacement_file(ReplacementFile *out, const char *path);
