// The race's settings, the running order of the riders, and the per-tic
// race update.
#pragma once

#include "bike/bike_state.h"

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

// A point for a stopped bike to turn toward; 1 when one was written.
int find_line_target_point(BikeState *bike, float *out, int depth);

// 1 when every body of the bike is finite, within the terrain coordinate
// limit and under the speed limit.
int is_bike_in_sound_range(const BikeState *bike);
// Checks every simulated bike before the world step: a sound bike's frame
// position is remembered, any other is set upright at rest where its frame
// last was sound.
void guard_bike_ranges(void);

// One tic of the race: collisions, dirt spray, the world step, ruts, the
// per-bike steps and particles. A bike whose physics is active is ridden
// here; any other is placed from states.
void race_tic(void);
