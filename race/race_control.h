// The race's settings, the running order of the riders, and the per-tic
// race update.
#pragma once

#include "bike/bike_state.h"

enum { RIDER_LOCAL = 0, RIDER_REMOTE = 1, RIDER_ROBOT = 2 };
enum { LAP_NOT_DECIDED = 1000000 };

struct RaceSettings {
    int start_tic;             // the gate drop
    int auto_pilot_hold_tics;
    int remote_delay_tics;     // remote riders shown this far behind
    int length_tics;           // 0 = laps only
    int laps;
    int halfway_lap;
    int final_lap;
};

struct RunningOrderEntry {
    int slot;
    int gates;
    int last_gate_tic;
};

extern RaceSettings race_settings;
extern RunningOrderEntry running_order[BIKE_SLOT_COUNT];
extern int running_order_count;
extern int rider_kind[BIKE_SLOT_COUNT];

// A point for a stopped bike to turn toward; 1 when one was written.
int find_line_target_point(BikeState *bike, float *out, int depth);

// One tic of the race.
void race_tic(void);
