// Byte coding of the packed rider state: fixed-point fields of known
// ranges, little-endian.
#include "bike/packed_state.h"

#include <cmath>

#include "bike/bike_math.h"

namespace {

const double PI = M_PI;
const uint32_t MAX24 = 16777215;
const uint32_t MAX16 = 65535;
const uint32_t MAX8 = 255;

// floor(fraction x max + 0.5) with the fraction clamped to 0..1; a
// fraction that is not a number counts as 0.
uint32_t encode_fraction(double fraction, uint32_t max)
{
    if (!(fraction > 0.0))
        return 0;
    if (fraction >= 1.0)
        return max;
    return (uint32_t)std::floor(fraction * max + 0.5);
}

// The fraction of value in low..low + size; 0 without a size.
double fraction_of(double value, double low, double size)
{
    if (!(size > 0.0) || !std::isfinite(size))
        return 0.0;
    return (value - low) / size;
}

void put16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void put24(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
}

uint32_t get16(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

uint32_t get24(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
}

// A component clamped to -1..1 in 16 bits.
void put_quaternion(uint8_t *p, const double *q)
{
    for (int i = 0; i < 4; i++)
        put16(p + 2 * i, encode_fraction((q[i] + 1.0) / 2.0, MAX16));
}

// Decoded and normalised; a record whose parts have no length (any bytes
// from a file or the network are possible) gives the identity.
void get_quaternion(const uint8_t *p, double *q)
{
    double length2 = 0.0;
    for (int i = 0; i < 4; i++) {
        q[i] = get16(p + 2 * i) / (double)MAX16 * 2.0 - 1.0;
        length2 += q[i] * q[i];
    }
    if (length2 < 1e-6) {
        q[0] = 1.0;
        q[1] = q[2] = q[3] = 0.0;
        return;
    }
    double scale = 1.0 / std::sqrt(length2);
    for (int i = 0; i < 4; i++)
        q[i] *= scale;
}

uint8_t encode_angle(double angle, double low, double size)
{
    return (uint8_t)encode_fraction(fraction_of(angle, low, size), MAX8);
}

double decode_byte(uint8_t byte, double low, double size)
{
    return low + byte / (double)MAX8 * size;
}

void decode_tail(const uint8_t *p, RiderStateValues *v)
{
    v->front_wheel_angle = decode_byte(p[0], -PI, 2.0 * PI);
    v->rear_wheel_angle = decode_byte(p[1], -PI, 2.0 * PI);
    v->gear_byte = p[2];
    v->engine_rpm = get16(p + 3) / (double)MAX16 * 32768.0;
}

}  // namespace

uint8_t encode_gear_byte(int crash_timer, int gear, float foot_down_amount, float throttle)
{
    if (crash_timer > 0) {
        int64_t level = ((int64_t)crash_timer * 15 - 15) / 127;
        if (level > 15)
            level = 15;
        return (uint8_t)(GEAR_CODE_OFF_BIKE | level << 4);
    }
    int code = gear < 0 ? 0 : gear > 6 ? 6 : gear;
    if (foot_down_amount > 0.0f)
        code |= 8;
    int level = throttle > 0.0f ? (int)std::fmin(throttle * 15.0f, 15.0f) : 0;
    return (uint8_t)(code | level << 4);
}

int decode_crash_timer(uint8_t gear_byte)
{
    return ((gear_byte >> 4) * 127) / 15 + 1;
}

void encode_rider_state(const RiderStateValues *v, const PackedStateScale *scale, uint8_t *p)
{
    double extent = scale->extent;
    put24(p + 0, encode_fraction(fraction_of(v->frame_position[0], 0.0, extent), MAX24));
    put24(p + 3, encode_fraction(fraction_of(v->frame_position[1], scale->low_height, extent), MAX24));
    put24(p + 6, encode_fraction(fraction_of(v->frame_position[2], 0.0, extent), MAX24));
    put_quaternion(p + 9, v->frame_orientation);
    p[17] = encode_angle(v->steering_angle, -PI / 4, PI / 2);
    double travel = scale->swingarm_travel;
    p[18] = (uint8_t)(encode_angle(v->swingarm_angle, -travel, travel) | 1);
    double fork = scale->fork_travel;
    p[19] = (uint8_t)(encode_angle(v->fork_position, -fork, fork) & ~1);
    for (int i = 0; i < 3; i++)
        put16(p + 20 + 2 * i, encode_fraction(fraction_of(v->rider_offset[i], -16.0, 32.0), MAX16));
    put_quaternion(p + 26, v->rider_orientation);
    p[34] = encode_angle(v->front_wheel_angle, -PI, 2.0 * PI);
    p[35] = encode_angle(v->rear_wheel_angle, -PI, 2.0 * PI);
    p[36] = v->gear_byte;
    put16(p + 37, encode_fraction(v->engine_rpm / 32768.0, MAX16));
}

void decode_rider_state(const uint8_t *p, int format, const PackedStateScale *scale,
                        RiderStateValues *v)
{
    double extent = std::isfinite(scale->extent) && scale->extent > 0.0 ? scale->extent : 0.0;
    double low = std::isfinite(scale->low_height) ? scale->low_height : 0.0;
    v->frame_position[0] = get24(p + 0) / (double)MAX24 * extent;
    v->frame_position[1] = low + get24(p + 3) / (double)MAX24 * extent;
    v->frame_position[2] = get24(p + 6) / (double)MAX24 * extent;
    get_quaternion(p + 9, v->frame_orientation);
    v->steering_angle = decode_byte(p[17], -PI / 4, PI / 2);
    v->swingarm_angle = decode_byte(p[18], -scale->swingarm_travel, scale->swingarm_travel);
    v->fork_position = decode_byte(p[19], -scale->fork_travel, scale->fork_travel);
    if (format == OLD_PACKED_STATE_FORMAT) {
        v->rider_travel = p[20] / (double)MAX8;
        vec_set(v->rider_offset, 0, 0, 0);
        v->rider_orientation[0] = 1.0;
        v->rider_orientation[1] = v->rider_orientation[2] = v->rider_orientation[3] = 0.0;
        decode_tail(p + 21, v);
        return;
    }
    v->rider_travel = 0.0;
    for (int i = 0; i < 3; i++)
        v->rider_offset[i] = get16(p + 20 + 2 * i) / (double)MAX16 * 32.0 - 16.0;
    get_quaternion(p + 26, v->rider_orientation);
    decode_tail(p + 34, v);
}
