// The race's settings, the running order of the riders, and the per-tic
// race update.
#pragma once

#include "bike/bike_state.h"
#include "race/results.h"
#include "track/timing.h"

enum { RIDER_LOCAL = 0, RIDER_REMOTE = 1, RIDER_ROBOT = 2 };
enum { LAP_NOT_DECIDED = 1000000, RIDER_NAME_LENGTH = 64, TELEMETRY_LENGTH = 1024 };

struct RaceSettings {
    int start_tic;             // the gate drop
    int auto_pilot_hold_tics;
    int remote_delay_tics;     // remote riders shown this far behind
    int length_tics;           // 0 = laps only
    int laps;
    int halfway_lap;
    int final_lap;
};

extern RaceSettings race_settings;
// How each slot is driven; a freed slot is RIDER_REMOTE.
extern int rider_kind[BIKE_SLOT_COUNT];
extern char rider_names[BIKE_SLOT_COUNT][RIDER_NAME_LENGTH];
extern int followed_slot;              // the slot the camera and HUD follow
extern int time_trial_mode;
extern int best_lap_tics;              // time trial, 0 = none
extern int last_lap_tics;
extern float local_start_position[3];
extern int false_start_penalty_tics;
extern float start_gate_fall[START_GATE_PIECES];        // 1 = up, 0 = fallen
extern float start_gate_fall_speed[START_GATE_PIECES];
// Suspension telemetry of the followed bike, drawn by the race overlay.
extern float telemetry_fork[3][TELEMETRY_LENGTH];
extern float telemetry_shock[3][TELEMETRY_LENGTH];
extern int telemetry_index;
extern int telemetry_on;

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
