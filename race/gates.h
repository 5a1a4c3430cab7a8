// A bike's gate record and the lap arithmetic over the track's lap layout
// (a first lap of F gates, then normal laps of P gates), the finish rule,
// the off-course test, mean section times, and the gate passing of one
// tic.
#pragma once

struct BikeState;
struct LapCandidate;

enum { GATE_INDEX_LIMIT = 1 << 20 };   // gate indices from here on are never stored

extern float off_course_bias;    // seconds, 10 by default
extern float off_course_scale;   // 1.5 by default

// 1 when the track has timing gates and a lap layout.
int track_has_timing(void);
// Lap-list entry of gate index g, mapped into the lap (first-lap gates
// stay, later ones wrap by the gates per lap), mark included; -1 when
// there is none.
int get_lap_list_entry(int gate);

int get_gates_passed(const BikeState *bike);
// The tic stored for gate i, or -1 when there is none.
int get_gate_time(const BikeState *bike, int gate);
// Grows the list to hold gate i (new entries -1) and stores the tic;
// indices below 0 or from GATE_INDEX_LIMIT on are ignored.
void set_gate_time(BikeState *bike, int gate, int tic);
// A lower count clears finished and trims the list; a higher one leaves the
// list as it is. Counts are held to 0..GATE_INDEX_LIMIT.
void set_gates_passed(BikeState *bike, int count);
// L(g): laps completed with g gates passed; E(k): the gate ending lap k
// (0 for k <= 0; held to the int range).
int lap_of_gates(int gates);
int lap_end_gate(int lap);
void get_lap_progress(const BikeState *bike, int *lap, int *gate);
int get_lap_gate(const BikeState *bike);
// Lap k in tics (k < 0: the last completed lap); 0 when unknown.
int get_lap_tics(const BikeState *bike, int lap);
float get_lap_time(const BikeState *bike, int lap);
// The lap 2.. with the least positive time (the earlier on ties) and that
// time in tics; 0 and 0 with fewer than 2 laps.
int get_best_lap(const BikeState *bike, int *tics);
int check_bike_finished(BikeState *bike);
int is_gate_section_slow(const BikeState *bike, int gate);
// Off course on one of its last gates (max(n - 3, 1) to n).
int is_rider_off_course(const BikeState *bike);
// Online, with the own slot holding a bike: 1 when a remote rider is left
// out of the race's view, for a state older than one second or by the
// off-course rule (the rider finished, at no gate or off course while the
// own rider is none of these).
int is_rider_set_aside(int slot);
int is_rider_hidden(int slot);
int average_section_time(int first, int last);
// The lap pool row of a gate count and the first row of its lap.
void lap_row_for_gates(int gates, int *row, int *lap_first_row);
int estimate_lap_candidate_time(const LapCandidate *candidate);

// Gate passing, gate times, lap ends and the results update of one tic.
void update_gates_and_lap_pool(BikeState *bike);
