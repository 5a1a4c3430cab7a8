// The state history: for every rider slot a ring of its 128 newest packed
// states with their tics, in falling tic order from the head backwards,
// and the blend of two packed states that places a rider between them.
#pragma once

#include <cstdint>

#include "bike/bike_state.h"
#include "bike/packed_state.h"

enum { HISTORY_LENGTH = 128, HISTORY_EMPTY = -1 };

struct StateHistory {
    int32_t ticks[HISTORY_LENGTH];                   // -1 = empty
    uint8_t states[HISTORY_LENGTH][PACKED_STATE_SIZE];
    int head;        // ring index of the newest entry
    int unwritten;   // entries added since the last demo chunk, at most 128
};

extern StateHistory state_history[BIKE_SLOT_COUNT];

// Every slot emptied: ticks -1, states zero, head and unwritten 0.
void clear_state_history(void);
// A slot outside 0..159 shows "add_state_to_history: slot out of range".
void add_state_to_history(int slot, const uint8_t *state, int tic);
void interpolate_state(uint8_t *out, const uint8_t *from, const uint8_t *to, float t);

// The pair of entries around a target tic, found as the race tic places a
// remote rider: 0 when the slot's head entry is empty (or the slot is out
// of range), else 1 with the ring indices of the older and the newer entry
// (equal when only one applies).
int find_history_pair(int slot, int target_tic, int *older, int *newer);
