// MT19937, regenerating one state word per output (the same sequence as the
// published generator, which regenerates all 624 at once).
#include "core/random.h"

Mt19937State mt_state = {MT_STATE_WORDS, {}};

void mt_seed(uint32_t seed)
{
    mt_state.words[0] = seed;
    for (int i = 1; i < MT_STATE_WORDS; i++) {
        uint32_t previous = mt_state.words[i - 1];
        mt_state.words[i] = 1812433253u * (previous ^ (previous >> 30)) + (uint32_t)i;
    }
    mt_state.index = MT_STATE_WORDS;
}

uint32_t mt_next(void)
{
    if (mt_state.index >= MT_STATE_WORDS || mt_state.index < 0)
        mt_state.index = 0;
    int i = mt_state.index++;
    uint32_t *w = mt_state.words;
    uint32_t y = (w[i] & 0x80000000u) | (w[(i + 1) % MT_STATE_WORDS] & 0x7fffffffu);
    w[i] = w[(i + 397) % MT_STATE_WORDS] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);

    y = w[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}
