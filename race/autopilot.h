// The auto pilot of robot riders, as the race tic and the race reset use it.
#pragma once

struct BikeState;
struct LineSample;

// Once per tic for every bike: a bike with a personality follows its line.
void autopilot_pick_line(BikeState *bike);
// Sets the bike's personality by key; an unknown key logs "auto pilot
// personality '%s' not found\n" and gives row 1.
void set_auto_pilot_personality(BikeState *bike, const char *key);
// A point for a stopped bike to turn toward; 1 when one was written, 0
// without a line or timing gates (out is then left alone).
int find_line_target_point(BikeState *bike, float *out, int depth);

// The driving laws and their geometry.
void autopilot_steer(BikeState *bike);
void autopilot_recover(BikeState *bike);
void autopilot_speed_control(BikeState *bike, float speed, float target);
float line_position(const BikeState *bike);
float turn_radius_to(const BikeState *bike, const float *target, float lean_radius,
                     const float *lateral, const float *longitudinal);
// Four corners (x, y, z each) of the box centre + lateral x s + longitudinal
// x t: s0 for corners 0 and 1, s1 for 2 and 3; t0 for 0 and 3, t1 for 1 and 2.
void path_box_corners(float *corners, const float *centre, const float *lateral,
                      const float *longitudinal, float s0, float t0, float s1, float t1);
BikeState *find_bike_in_path(const BikeState *bike, const float *lateral,
                             const float *longitudinal, float look_ahead);
// Every bike's heading axes and path box worked out once, for the searches
// of the robots' steering until forget_path_boxes; only while no body moves
// (the race tic's rider steps). Off when path_boxes_per_tic is 0 (each
// search then works out every other bike's box itself).
void prepare_path_boxes(void);
void forget_path_boxes(void);
extern int path_boxes_per_tic;

// Shared by the auto pilot's pieces.

// The start procedure at race time t (seconds): engine blips before the
// gate is ready, the wait for the drop, the reaction and the clutch let
// out. 1 once it is over and the driving laws take the bike.
int autopilot_start_procedure(BikeState *bike, double t);
// Brakes on, clutch out, bottom gear, dab (not while crashed).
void park_robot(BikeState *bike);
// Picks the pool's next section onto the bike's line when the line is about
// to run out; nothing without a pool, for a finished bike or an empty row.
void pick_line_section(BikeState *bike);
// Sample i of the bike's line with i held to 0 .. count - 1; null for an
// empty line.
const LineSample *get_line_sample(const BikeState *bike, int i);
// Horizontal axes of travel: lateral to the right of it and longitudinal
// pointing back along it; a bike that is not moving uses its heading.
void get_heading_axes(const BikeState *bike, float *lateral, float *longitudinal);
