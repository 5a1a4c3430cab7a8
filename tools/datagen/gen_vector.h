// Three-float vector arithmetic for the generators.
#pragma once

#include <cmath>

inline void v3_set(float *out, float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
}
inline void v3_copy(float *out, const float *a)
{
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
}
inline void v3_add(float *out, const float *a, const float *b)
{
    v3_set(out, a[0] + b[0], a[1] + b[1], a[2] + b[2]);
}
inline void v3_sub(float *out, const float *a, const float *b)
{
    v3_set(out, a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}
inline void v3_scale(float *out, const float *a, float s)
{
    v3_set(out, a[0] * s, a[1] * s, a[2] * s);
}
// out = a + b * s
inline void v3_mad(float *out, const float *a, const float *b, float s)
{
    v3_set(out, a[0] + b[0] * s, a[1] + b[1] * s, a[2] + b[2] * s);
}
inline float v3_dot(const float *a, const float *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline void v3_cross(float *out, const float *a, const float *b)
{
    float x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
    v3_set(out, x, y, z);
}
inline float v3_length(const float *a)
{
    return sqrtf(v3_dot(a, a));
}
inline float v3_normalise(float *a)
{
    float length = v3_length(a);
    if (length > 0.0f)
        v3_scale(a, a, 1.0f / length);
    return length;
}
inline float v3_distance(const float *a, const float *b)
{
    float d[3];
    v3_sub(d, a, b);
    return v3_length(d);
}
