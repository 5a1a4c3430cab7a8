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

// The driving laws and their geometry.
void autopilot_steer(BikeState *bike);
void autopilot_recover(BikeState *bike);
void autopilot_speed_control(BikeState *bike, float speed, float target);
float line_position(const BikeState *bike);
float turn_radius_to(const BikeState *bike, const float *target, float lean_radius,
                     const float *lateral, const float *longitudinal);
void path_box_corners(float *corners, const float *centre, const float *lateral,
                      const float *longitudinal, float s0, float t0, float s1, float t1);
BikeState *find_bike_in_path(const BikeState *bike, const float *lateral,
                             const float *longitudinal, float look_ahead);
