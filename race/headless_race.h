// A race without a window: one call sets it up through the race reset, one
// runs it for a number of tics, handing the scripted riders their controls
// before each tic. Tests and benchmarks drive races with it.
#pragma once

#include "bike/bike_state.h"

struct HeadlessRace {
    const char *track;                  // track folder
    int slot_codes[BIKE_SLOT_COUNT];    // as reset_race takes them
    int time_trial;                     // 1: no slot codes, a time trial
    int playback;                       // play the demo (demo_to_play, else the race's own)
    int record;
    int length_tics;
    int laps;
    int skill;
};

// Fills the controls of one scripted rider for the coming tic.
typedef void (*ScriptedControls)(int slot, const BikeState *bike, RiderControls *controls,
                                 void *context);

// Creates the physics world and scans the track catalogue when needed,
// then reset_race; 1 on success.
int start_headless_race(const HeadlessRace *race);
// A rider the caller drives: the player's slot, or a robot whose
// personality the caller set to 0.
int is_scripted_rider(int slot);
// Runs the tics; before each, every scripted rider's controls come from
// the callback (null: none) and go in through the setters.
void run_headless_tics(int tics, ScriptedControls controls, void *context);
// The nine controls applied to a bike through the setters (a lever all the
// way in is a clutch fully open, at once).
void apply_rider_controls(BikeState *bike, const RiderControls *controls);
