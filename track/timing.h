// Timing gates (the starting gate, the checkpoints and the first-lap and
// normal-lap lists) and the track-side flaggers.
#pragma once

#include "core/alloc.h"

enum {
    TIMING_GATE_SLOTS = 256,
    START_GATE_PIECES = 160,
    LAP_GATE_SLOTS = 256,
    NOT_TIMING_MARK = 100000,   // added to a lap-list entry that is no timing gate
};

struct TimingGate {
    float x, y, z;
    float direction[3];    // crossing direction (x and z used)
    float radius;
    int value;             // for the timing code
};

struct StartGatePiece {
    float x, y, z;
    float angle;
};

struct LapGateList {
    int entries[LAP_GATE_SLOTS];   // first-lap list, then the normal-lap list
    int first_lap_count;
    int normal_lap_count;
    int first_lap_timing;          // entries below 100000
    int normal_lap_timing;
};

struct FlaggerSetup {
    int billboard_a;               // -1 when none
    int textures_a[5];
    float position_a[3];           // x, height offset, z
    float second_point[3];
    float width_a, height_a;
    float value;                   // 1.0 by default
    int billboard_b;
    int textures_b[4];
};

struct Flagger {
    int billboard;
    int texture_one;
    int texture_two;
    int checkpoints[4];            // -1 = none
};

extern TimingGate timing_gates[TIMING_GATE_SLOTS];
extern int timing_gate_count;
extern StartGatePiece start_gate_pieces[START_GATE_PIECES];
extern int start_gate_statues[START_GATE_PIECES];
extern int start_gate_count;
extern LapGateList lap_gate_list;
extern FlaggerSetup flagger_setup;
extern GrowableArray flagger_list;   // Flagger

// 1 when the last timing_gates file read was taken whole (its lap lists
// made a lap pool); a file not taken is never written over.
extern int timing_gates_accepted;
void read_timing_gates(const char *path);
int write_timing_gates(void);
void read_flaggers(const char *path);
