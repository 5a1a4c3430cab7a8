// Single-precision three-component vectors of the contact geometry.
#pragma once

#include <cmath>

inline void vecf_set(float *out, float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

inline void vecf_copy(float *out, const float *a)
{
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
}

inline void vecf_add(float *out, const float *a, const float *b)
{
    out[0] = a[0] + b[0];
    out[1] = a[1] + b[1];
    out[2] = a[2] + b[2];
}

inline void vecf_sub(float *out, const float *a, const float *b)
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

inline void vecf_scale(float *out, const float *a, float s)
{
    out[0] = a[0] * s;
    out[1] = a[1] * s;
    out[2] = a[2] * s;
}

// out = a + b * s
inline void vecf_add_scaled(float *out, const float *a, const float *b, float s)
{
    out[0] = a[0] + b[0] * s;
    out[1] = a[1] + b[1] * s;
    out[2] = a[2] + b[2] * s;
}

inline float vecf_dot(const float *a, const float *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline float vecf_length_squared(const float *a)
{
    return vecf_dot(a, a);
}

inline float vecf_length(const float *a)
{
    return sqrtf(vecf_dot(a, a));
}

inline void vecf_cross(float *out, const float *a, const float *b)
{
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    vecf_set(out, x, y, z);
}

inline float vecf_distance(const float *a, const float *b)
{
    float d[3];
    vecf_sub(d, a, b);
    return vecf_length(d);
}

inline bool vecf_finite(const float *a)
{
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}
