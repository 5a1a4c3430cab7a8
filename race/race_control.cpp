// The race globals: its settings, how each slot is driven, the followed
// slot, time-trial state, the start gate and the suspension telemetry.
#include "race/race_control.h"


RaceSettings race_settings;
int hook_base_tic;
int rider_kind[BIKE_SLOT_COUNT];
char rider_names[BIKE_SLOT_COUNT][RIDER_NAME_LENGTH];
int followed_slot;
int time_trial_mode;
int best_lap_tics;
int last_lap_tics;
float local_start_position[3];
int false_start_penalty_tics;
float start_gate_fall[START_GATE_PIECES];
float start_gate_fall_speed[START_GATE_PIECES];
float telemetry_fork[3][TELEMETRY_LENGTH];
float telemetry_shock[3][TELEMETRY_LENGTH];
int telemetry_index = TELEMETRY_LENGTH;
int telemetry_on;
