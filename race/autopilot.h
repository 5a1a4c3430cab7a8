// The auto pilot of robot riders, as the race tic and the race reset use it.
#pragma once

struct BikeState;

// Once per tic for every bike: a bike with a personality follows its line.
void autopilot_pick_line(BikeState *bike);
// Sets the bike's personality by key; an unknown key logs "auto pilot
// personality '%s' not found\n".
void set_auto_pilot_personality(BikeState *bike, const char *key);
// A point for a stopped bike to turn toward; 1 when one was written.
int find_line_target_point(BikeState *bike, float *out, int depth);
