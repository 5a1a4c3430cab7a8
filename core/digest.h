// The RIPEMD-160 digest (160-bit, as published).
#pragma once

#include <cstdint>

enum { RIPEMD160_DIGEST_SIZE = 20, RIPEMD160_BLOCK_SIZE = 64 };

struct Ripemd160Context {
    uint32_t chain[5];
    uint8_t digest[RIPEMD160_DIGEST_SIZE];   // filled by ripemd160_final
    uint32_t length_low;                     // message length in bytes
    uint32_t length_high;
    uint8_t buffer[RIPEMD160_BLOCK_SIZE];
    int buffered;
};

void ripemd160_init(Ripemd160Context *context);
void ripemd160_update(Ripemd160Context *context, const void *bytes, int length);
void ripemd160_final(Ripemd160Context *context);
