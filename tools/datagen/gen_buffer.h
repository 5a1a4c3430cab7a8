// Growable byte buffers and the small helpers every generator writes with:
// formatted text, little-endian numbers, and deterministic random numbers
// and noise that depend only on their seeds.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteBuffer {
    uint8_t *data;
    size_t size;
    size_t capacity;
};

// Appends; 0 when out of memory (the buffer keeps what it had).
int buffer_append(ByteBuffer *buffer, const void *bytes, size_t size);
int buffer_printf(ByteBuffer *buffer, const char *format, ...) __attribute__((format(printf, 2, 3)));
int buffer_put_u16(ByteBuffer *buffer, unsigned value);   // little-endian
void free_buffer(ByteBuffer *buffer);

// A small generator of our own (splitmix64): the same seed gives the same
// numbers on every machine.
struct GenRandom {
    uint64_t state;
};

void seed_gen_random(GenRandom *random, uint64_t seed);
uint64_t next_gen_random(GenRandom *random);
double gen_random_unit(GenRandom *random);                    // [0, 1)
double gen_random_range(GenRandom *random, double low, double high);

// Hash of integer coordinates and a seed, as a value in [0, 1).
double hash_unit(int x, int y, uint32_t seed);
// Smooth value noise in [0, 1): lattice values eased between; the lattice
// repeats every period cells in x and y when period > 0.
double value_noise(double x, double y, uint32_t seed, int period);
// Octaves of value noise summed to about [0, 1); each octave doubles the
// frequency (and the period) and multiplies the amplitude by gain.
double fractal_noise(double x, double y, uint32_t seed, int octaves, double gain, int period);

double clamp_unit(double value);
double smooth_step(double edge0, double edge1, double value);
