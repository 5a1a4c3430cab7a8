// RIPEMD-160: five-word chaining state, two parallel lines of 80 steps per
// 64-byte block.
#include "core/digest.h"

#include <cstring>

static const uint8_t left_words[80] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1, 10, 6, 15, 3, 12, 0, 9, 5, 2, 14, 11, 8,
    3, 10, 14, 4, 9, 15, 8, 1, 2, 7, 0, 6, 13, 11, 5, 12,
    1, 9, 11, 10, 0, 8, 12, 4, 13, 3, 7, 15, 14, 5, 6, 2,
    4, 0, 5, 9, 7, 12, 2, 10, 14, 1, 3, 8, 11, 6, 15, 13};
static const uint8_t right_words[80] = {
    5, 14, 7, 0, 9, 2, 11, 4, 13, 6, 15, 8, 1, 10, 3, 12,
    6, 11, 3, 7, 0, 13, 5, 10, 14, 15, 8, 12, 4, 9, 1, 2,
    15, 5, 1, 3, 7, 14, 6, 9, 11, 8, 12, 2, 10, 0, 4, 13,
    8, 6, 4, 1, 3, 11, 15, 0, 5, 12, 2, 13, 9, 7, 10, 14,
    12, 15, 10, 4, 1, 5, 8, 7, 6, 2, 13, 14, 0, 3, 9, 11};
static const uint8_t left_shifts[80] = {
    11, 14, 15, 12, 5, 8, 7, 9, 11, 13, 14, 15, 6, 7, 9, 8,
    7, 6, 8, 13, 11, 9, 7, 15, 7, 12, 15, 9, 11, 7, 13, 12,
    11, 13, 6, 7, 14, 9, 13, 15, 14, 8, 13, 6, 5, 12, 7, 5,
    11, 12, 14, 15, 14, 15, 9, 8, 9, 14, 5, 6, 8, 6, 5, 12,
    9, 15, 5, 11, 6, 8, 13, 12, 5, 12, 13, 14, 11, 8, 5, 6};
static const uint8_t right_shifts[80] = {
    8, 9, 9, 11, 13, 15, 15, 5, 7, 7, 8, 11, 14, 14, 12, 6,
    9, 13, 15, 7, 12, 8, 9, 11, 7, 7, 12, 7, 6, 15, 13, 11,
    9, 7, 15, 11, 8, 6, 6, 14, 12, 13, 5, 14, 13, 13, 7, 5,
    15, 5, 8, 11, 14, 14, 6, 14, 6, 9, 12, 9, 12, 5, 15, 8,
    8, 5, 12, 9, 12, 5, 14, 6, 8, 13, 6, 5, 15, 13, 11, 11};
static const uint32_t left_constants[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                           0xA953FD4E};
static const uint32_t right_constants[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9,
                                            0x00000000};

static inline uint32_t rotate_left(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

// The five boolean functions, by round 0..4.
template <int ROUND>
static inline uint32_t round_function(uint32_t x, uint32_t y, uint32_t z)
{
    if constexpr (ROUND == 0)
        return x ^ y ^ z;
    else if constexpr (ROUND == 1)
        return (x & y) | (~x & z);
    else if constexpr (ROUND == 2)
        return (x | ~y) ^ z;
    else if constexpr (ROUND == 3)
        return (x & z) | (y & ~z);
    else
        return x ^ (y | ~z);
}

struct Lines {
    uint32_t al, bl, cl, dl, el;   // left line
    uint32_t ar, br, cr, dr, er;   // right line
};

// The 16 steps of one round on both lines; the right line takes the boolean
// functions in reverse order.
template <int ROUND>
static inline void run_round(Lines &v, const uint32_t x[16])
{
#pragma GCC unroll 16
    for (int j = ROUND * 16; j < ROUND * 16 + 16; j++) {
        uint32_t t = rotate_left(v.al + round_function<ROUND>(v.bl, v.cl, v.dl) +
                                     x[left_words[j]] + left_constants[ROUND],
                                 left_shifts[j]) + v.el;
        v.al = v.el;
        v.el = v.dl;
        v.dl = rotate_left(v.cl, 10);
        v.cl = v.bl;
        v.bl = t;
        t = rotate_left(v.ar + round_function<4 - ROUND>(v.br, v.cr, v.dr) +
                            x[right_words[j]] + right_constants[ROUND],
                        right_shifts[j]) + v.er;
        v.ar = v.er;
        v.er = v.dr;
        v.dr = rotate_left(v.cr, 10);
        v.cr = v.br;
        v.br = t;
    }
}

static void compress(uint32_t chain[5], const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = (uint32_t)block[4 * i] | (uint32_t)block[4 * i + 1] << 8 |
               (uint32_t)block[4 * i + 2] << 16 | (uint32_t)block[4 * i + 3] << 24;

    Lines v = {chain[0], chain[1], chain[2], chain[3], chain[4],
               chain[0], chain[1], chain[2], chain[3], chain[4]};
    run_round<0>(v, x);
    run_round<1>(v, x);
    run_round<2>(v, x);
    run_round<3>(v, x);
    run_round<4>(v, x);

    uint32_t t = chain[1] + v.cl + v.dr;
    chain[1] = chain[2] + v.dl + v.er;
    chain[2] = chain[3] + v.el + v.ar;
    chain[3] = chain[4] + v.al + v.br;
    chain[4] = chain[0] + v.bl + v.cr;
    chain[0] = t;
}

void ripemd160_init(Ripemd160Context *context)
{
    memset(context, 0, sizeof *context);
    context->chain[0] = 0x67452301;
    context->chain[1] = 0xEFCDAB89;
    context->chain[2] = 0x98BADCFE;
    context->chain[3] = 0x10325476;
    context->chain[4] = 0xC3D2E1F0;
}

void ripemd160_update(Ripemd160Context *context, const void *bytes, int length)
{
    if (length <= 0)
        return;
    const uint8_t *in = (const uint8_t *)bytes;
    uint32_t low = context->length_low + (uint32_t)length;
    if (low < context->length_low)
        context->length_high++;
    context->length_low = low;

    if (context->buffered > 0) {
        int take = RIPEMD160_BLOCK_SIZE - context->buffered;
        if (take > length)
            take = length;
        memcpy(context->buffer + context->buffered, in, take);
        context->buffered += take;
        in += take;
        length -= take;
        if (context->buffered < RIPEMD160_BLOCK_SIZE)
            return;
        compress(context->chain, context->buffer);
        context->buffered = 0;
    }
    for (; length >= RIPEMD160_BLOCK_SIZE; in += RIPEMD160_BLOCK_SIZE, length -= RIPEMD160_BLOCK_SIZE)
        compress(context->chain, in);
    memcpy(context->buffer, in, length);
    context->buffered = length;
}

void ripemd160_final(Ripemd160Context *context)
{
    uint8_t *buffer = context->buffer;
    int used = context->buffered;
    buffer[used++] = 0x80;
    if (used > RIPEMD160_BLOCK_SIZE - 8) {
        memset(buffer + used, 0, RIPEMD160_BLOCK_SIZE - used);
        compress(context->chain, buffer);
        used = 0;
    }
    memset(buffer + used, 0, RIPEMD160_BLOCK_SIZE - 8 - used);
    // The length in bits, 64-bit little-endian.
    uint32_t bits_low = context->length_low << 3;
    uint32_t bits_high = context->length_high << 3 | context->length_low >> 29;
    for (int i = 0; i < 4; i++) {
        buffer[56 + i] = (uint8_t)(bits_low >> (8 * i));
        buffer[60 + i] = (uint8_t)(bits_high >> (8 * i));
    }
    compress(context->chain, buffer);
    context->buffered = 0;
    for (int i = 0; i < 5; i++)
        for (int b = 0; b < 4; b++)
            context->digest[4 * i + b] = (uint8_t)(context->chain[i] >> (8 * b));
}
