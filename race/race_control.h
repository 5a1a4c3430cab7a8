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
// The tic the script hooks count from: the current tic reset_race leaves (0,
// or the start of a time trial).
extern int hook_base_tic;
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

// 1 when every body of the bike is finite, within the terrain coordinate
// limit and under the speed limit.
int is_bike_in_sound_range(const BikeState *bike);
// Checks every simulated bike before the world step: a sound bike's frame
// position is remembered, any other is set upright at rest where its frame
// last was sound.
void guard_bike_ranges(void);

// Slot codes of reset_race.
enum {
    SLOT_DEMO_OR_EMPTY = 0,
    SLOT_PLAYER = 1,
    SLOT_ROBOT = 2,
    SLOT_ROBOT_125 = 3,
    SLOT_ROBOT_250 = 4,
    SLOT_REMOTE = 5,
    SLOT_ROBOT_NUMBER = 1000,   // + n: the robot whose number text is n
    ROBOT_ROWS = 80,
};

extern double max_loading_delay;
extern char max_loading_label[128];

// Sets a race up (slot codes null = a time trial); 1 on success, 0 when the
// track cannot be loaded.
int reset_race(const int *slot_codes, int open_demo, int record, int length_tics, int laps,
               int skill);
void end_race(void);
// The model an old model name is loaded as (the name itself when it has no
// alias).
const char *model_alias(const char *model);

// One tic of the race: collisions, dirt spray, the world step, ruts, the
// per-bike steps and particles. A bike whose physics is active is ridden
// here; any other is placed from states.
void race_tic(void);
// The tic's shortcuts together, on (the default) or off: the terrain
// searches of all bikes side by side on the work pool's helpers (as many as
// it chooses), the robots' path boxes once per tic, and terrain cells below
// a body sphere passed over. Off is the plain path; results are the same.
void set_race_tic_shortcuts(int on);
