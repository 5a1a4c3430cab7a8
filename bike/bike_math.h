// Small vector helpers of the bike code (three doubles, 3 x 3 rotations
// stored by rows whose columns are the body axes in the world).
#pragma once

#include <cmath>

inline void vec_set(double *out, double x, double y, double z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

inline void vec_copy(double *out, const double *a)
{
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
}

inline void vec_add(double *out, const double *a, const double *b)
{
    out[0] = a[0] + b[0];
    out[1] = a[1] + b[1];
    out[2] = a[2] + b[2];
}

inline void vec_sub(double *out, const double *a, const double *b)
{
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

inline void vec_scale(double *out, const double *a, double s)
{
    out[0] = a[0] * s;
    out[1] = a[1] * s;
    out[2] = a[2] * s;
}

// out = a + b * s
inline void vec_add_scaled(double *out, const double *a, const double *b, double s)
{
    out[0] = a[0] + b[0] * s;
    out[1] = a[1] + b[1] * s;
    out[2] = a[2] + b[2] * s;
}

inline double vec_dot(const double *a, const double *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline double vec_length(const double *a)
{
    return std::sqrt(vec_dot(a, a));
}

inline void vec_cross(double *out, const double *a, const double *b)
{
    double x = a[1] * b[2] - a[2] * b[1];
    double y = a[2] * b[0] - a[0] * b[2];
    double z = a[0] * b[1] - a[1] * b[0];
    vec_set(out, x, y, z);
}

// a moved toward b by t (t = 1 gives b).
inline void vec_lerp(double *out, const double *a, const double *b, double t)
{
    out[0] = a[0] + (b[0] - a[0]) * t;
    out[1] = a[1] + (b[1] - a[1]) * t;
    out[2] = a[2] + (b[2] - a[2]) * t;
}

// The unit vector along a; a vector too short to have a direction gives
// the fallback instead (which must itself be a unit vector). 1 when a had
// a direction.
inline int vec_normalise_or(double *out, const double *a, const double *fallback)
{
    double length = vec_length(a);
    if (!(length > 1e-12) || !std::isfinite(length)) {
        vec_copy(out, fallback);
        return 0;
    }
    vec_scale(out, a, 1.0 / length);
    return 1;
}

inline double clamp_double(double value, double low, double high)
{
    return value < low ? low : value > high ? high : value;
}

inline float clamp_float(float value, float low, float high)
{
    return value < low ? low : value > high ? high : value;
}

// Column i of a row-major rotation: body axis i in the world.
inline void rotation_axis(double *out, const double *rotation, int i)
{
    vec_set(out, rotation[i], rotation[3 + i], rotation[6 + i]);
}

// rotation times a body vector
inline void rotate_vector(double *out, const double *rotation, const double *v)
{
    double x = rotation[0] * v[0] + rotation[1] * v[1] + rotation[2] * v[2];
    double y = rotation[3] * v[0] + rotation[4] * v[1] + rotation[5] * v[2];
    double z = rotation[6] * v[0] + rotation[7] * v[1] + rotation[8] * v[2];
    vec_set(out, x, y, z);
}

// transposed rotation times a world vector
inline void unrotate_vector(double *out, const double *rotation, const double *v)
{
    double x = rotation[0] * v[0] + rotation[3] * v[1] + rotation[6] * v[2];
    double y = rotation[1] * v[0] + rotation[4] * v[1] + rotation[7] * v[2];
    double z = rotation[2] * v[0] + rotation[5] * v[1] + rotation[8] * v[2];
    vec_set(out, x, y, z);
}
