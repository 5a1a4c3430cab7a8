// A bike's gate record and the lap arithmetic over the track's lap layout
// (a first lap of F gates, then normal laps of P gates), the finish rule,
// the off-course test, mean section times, and the gate passing of one
// tic.
#pragma once

struct BikeState;
struct LapCandidate;

extern float off_course_bias;    // seconds, 10 by default
extern float off_course_scale;   // 1.5 by default

int get_gates_passed(const BikeState *bike);
// The tic stored for gate i, or -1 when there is none.
int get_gate_time(const BikeState *bike, int gate);
void set_gate_time(BikeState *bike, int gate, int tic);
void set_gates_passed(BikeState *bike, int count);
// L(g): laps completed with g gates passed; E(k): the gate ending lap k.
int lap_of_gates(int gates);
int lap_end_gate(int lap);
void get_lap_progress(const BikeState *bike, int *lap, int *gate);
int get_lap_gate(const BikeState *bike);
float get_lap_time(const BikeState *bike, int lap);
int check_bike_finished(BikeState *bike);
int is_gate_section_slow(const BikeState *bike, int gate);
// Off course on one of its last gates (max(n - 3, 1) to n).
int is_rider_off_course(const BikeState *bike);
int is_rider_hidden(int slot);
int average_section_time(int first, int last);
// The lap pool row of a gate count and the first row of its lap.
void lap_row_for_gates(int gates, int *row, int *lap_first_row);
int estimate_lap_candidate_time(const LapCandidate *candidate);

// Gate passing, gate times, lap ends and the results update of one tic.
void update_gates_and_lap_pool(BikeState *bike);
