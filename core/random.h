// The game's one MT19937 generator (32-bit outputs), seeded from the race tic
// so that replays repeat exactly. Game thread only.
#pragma once

#include <cstdint>

enum { MT_STATE_WORDS = 624 };

struct Mt19937State {
    int index;   // next word; MT_STATE_WORDS = start again from word 0
    uint32_t words[MT_STATE_WORDS];
};

extern Mt19937State mt_state;   // all zero (every output 0) until seeded

void mt_seed(uint32_t seed);
uint32_t mt_next(void);
