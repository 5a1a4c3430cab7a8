// Byte buffers, deterministic random numbers and value noise.
#include "tools/datagen/gen_buffer.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"

static int reserve(ByteBuffer *buffer, size_t size)
{
    if (buffer->size + size <= buffer->capacity)
        return 1;
    size_t capacity = buffer->capacity ? buffer->capacity : 4096;
    while (capacity < buffer->size + size)
        capacity *= 2;
    uint8_t *data = (uint8_t *)checked_realloc(buffer->data, capacity);
    if (!data)
        return 0;
    buffer->data = data;
    buffer->capacity = capacity;
    return 1;
}

int buffer_append(ByteBuffer *buffer, const void *bytes, size_t size)
{
    if (size == 0)
        return 1;
    if (!reserve(buffer, size))
        return 0;
    memcpy(buffer->data + buffer->size, bytes, size);
    buffer->size += size;
    return 1;
}

int buffer_printf(ByteBuffer *buffer, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char small[512];
    int length = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0)
        return 0;
    if ((size_t)length < sizeof small)
        return buffer_append(buffer, small, (size_t)length);
    if (!reserve(buffer, (size_t)length + 1))
        return 0;
    va_start(args, format);
    vsnprintf((char *)buffer->data + buffer->size, (size_t)length + 1, format, args);
    va_end(args);
    buffer->size += (size_t)length;
    return 1;
}

int buffer_put_u16(ByteBuffer *buffer, unsigned value)
{
    uint8_t bytes[2] = {(uint8_t)(value & 255), (uint8_t)((value >> 8) & 255)};
    return buffer_append(buffer, bytes, 2);
}

void free_buffer(ByteBuffer *buffer)
{
    checked_free(buffer->data);
    buffer->data = nullptr;
    buffer->size = buffer->capacity = 0;
}

void seed_gen_random(GenRandom *random, uint64_t seed)
{
    random->state = seed;
}

uint64_t next_gen_random(GenRandom *random)
{
    uint64_t z = (random->state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double gen_random_unit(GenRandom *random)
{
    return (double)(next_gen_random(random) >> 11) * (1.0 / 9007199254740992.0);
}

double gen_random_range(GenRandom *random, double low, double high)
{
    return low + (high - low) * gen_random_unit(random);
}

double hash_unit(int x, int y, uint32_t seed)
{
    uint32_t h = (uint32_t)x * 0x8da6b343u ^ (uint32_t)y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return (double)h * (1.0 / 4294967296.0);
}

static int wrap(int value, int period)
{
    if (period <= 0)
        return value;
    int m = value % period;
    return m < 0 ? m + period : m;
}

double value_noise(double x, double y, uint32_t seed, int period)
{
    double fx = floor(x), fy = floor(y);
    int ix = (int)fx, iy = (int)fy;
    double u = x - fx, v = y - fy;
    u = u * u * (3.0 - 2.0 * u);
    v = v * v * (3.0 - 2.0 * v);
    int x0 = wrap(ix, period), x1 = wrap(ix + 1, period);
    int y0 = wrap(iy, period), y1 = wrap(iy + 1, period);
    double a = hash_unit(x0, y0, seed), b = hash_unit(x1, y0, seed);
    double c = hash_unit(x0, y1, seed), d = hash_unit(x1, y1, seed);
    return (a + (b - a) * u) + ((c + (d - c) * u) - (a + (b - a) * u)) * v;
}

double fractal_noise(double x, double y, uint32_t seed, int octaves, double gain, int period)
{
    double sum = 0.0, amplitude = 1.0, total = 0.0;
    for (int i = 0; i < octaves; i++) {
        sum += amplitude * value_noise(x, y, seed + (uint32_t)i * 7919u, period);
        total += amplitude;
        amplitude *= gain;
        x *= 2.0;
        y *= 2.0;
        if (period > 0)
            period *= 2;
    }
    return total > 0.0 ? sum / total : 0.0;
}

double clamp_unit(double value)
{
    return value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value;
}

double smooth_step(double edge0, double edge1, double value)
{
    double t = clamp_unit((value - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}
