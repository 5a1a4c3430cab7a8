// Collision primitives: a wheel (a ring thickened into a tyre) against one
// triangle in a full and a fast form, the ring-to-boundary distance with its
// Newton search, a sphere against one triangle, and the vector operations
// they share. Single precision, no allocation.
#include "bike/collision.h"

#include <cmath>

#include "bike/float_vector.h"

static const float EDGE_TOUCH = 1.0f / 1048576.0f;            // 2^-20
static const float FLAT_SLOPE = 1.0f / 1073741824.0f;         // 2^-30
static const float UP[3] = {0.0f, 1.0f, 0.0f};

// v without its part along the axis (v itself when the axis has no length).
static void remove_axial(float *out, const float *v, const float *a, float aa)
{
    if (!(aa > 0.0f)) {
        vecf_copy(out, v);
        return;
    }
    vecf_add_scaled(out, v, a, -vecf_dot(v, a) / aa);
}

void nearest_ring_point(const float *c, const float *a, float R, const float *q, float *out)
{
    float aa = vecf_length_squared(a);
    float v[3], across[3];
    vecf_sub(v, q, c);
    remove_axial(across, v, a, aa);
    float threshold = R * 1e-6f;
    if (!(vecf_length_squared(across) >= threshold)) {
        // On or near the axis: the first of the eight box directions with
        // enough length across the axis (the search ends at k = 7 whatever
        // the axis holds).
        for (int k = 0; k < 8; k++) {
            float probe[3] = {(k & 1) ? R : 0.0f, (k & 2) ? R : 0.0f, (k & 4) ? R : 0.0f};
            remove_axial(across, probe, a, aa);
            if (vecf_length_squared(across) >= threshold)
                break;
        }
    }
    float length = vecf_length(across);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        vecf_copy(out, c);   // no direction to go: the centre stands in
        return;
    }
    vecf_add_scaled(out, c, across, R / length);
}

float axial_distance(const float *o, const float *d, const float *q)
{
    float length = vecf_length(d);
    if (!(length > 0.0f))
        return 0.0f;
    float v[3];
    vecf_sub(v, q, o);
    return fabsf(vecf_dot(v, d)) / length;
}

int intersect_line_plane(const float *o, const float *d, const float *p0, const float *m,
                         float *out)
{
    float along = vecf_dot(d, m);
    float v[3];
    vecf_sub(v, p0, o);
    float s = along != 0.0f ? vecf_dot(v, m) / along : 0.0f;
    if (along == 0.0f || !std::isfinite(s)) {
        vecf_copy(out, o);
        return 0;
    }
    vecf_add_scaled(out, o, d, s);
    return 1;
}

// A triangle with its normal, edge vectors and outward edge normals.
struct Triangle {
    const float *p[3];
    float N[3];
    float d[3][3];
    float n[3][3];
};

// 0 for a triangle without an area (or with values that are not numbers).
static int set_up_triangle(Triangle *t, const float *p0, const float *p1, const float *p2)
{
    t->p[0] = p0;
    t->p[1] = p1;
    t->p[2] = p2;
    for (int i = 0; i < 3; i++)
        vecf_sub(t->d[i], t->p[(i + 1) % 3], t->p[i]);
    float e2[3];
    vecf_sub(e2, p2, p0);
    vecf_cross(t->N, t->d[0], e2);
    for (int i = 0; i < 3; i++)
        vecf_cross(t->n[i], t->d[i], t->N);
    float nn = vecf_length_squared(t->N);
    return nn > 0.0f && std::isfinite(nn);
}

static float edge_side(const Triangle *t, int i, const float *x)
{
    float v[3];
    vecf_sub(v, x, t->p[i]);
    return vecf_dot(v, t->n[i]);
}

static int inside_triangle(const Triangle *t, const float *x)
{
    return edge_side(t, 0, x) <= 0.0f && edge_side(t, 1, x) <= 0.0f && edge_side(t, 2, x) <= 0.0f;
}

// Inside the triangle as seen from above: the edge normals of (0, 1, 0).
static int inside_vertical_prism(const Triangle *t, const float *x)
{
    for (int i = 0; i < 3; i++) {
        const float *d = t->d[i];
        float outward[3] = {-d[2], 0.0f, d[0]};   // d x (0, 1, 0)
        float v[3];
        vecf_sub(v, x, t->p[i]);
        if (!(vecf_dot(v, outward) <= 0.0f))
            return 0;
    }
    return 1;
}

static void unit_or(float *out, const float *v, const float *fallback)
{
    float length = vecf_length(v);
    if (length > 0.0f && std::isfinite(length))
        vecf_scale(out, v, 1.0f / length);
    else
        vecf_copy(out, fallback);
}

// Contact results that are not finite count as no contact.
static float checked_result(float depth, float *point, float *normal)
{
    if (std::isfinite(depth) && vecf_finite(point) && vecf_finite(normal))
        return depth;
    vecf_set(point, 0.0f, 0.0f, 0.0f);
    vecf_set(normal, 0.0f, 1.0f, 0.0f);
    return 0.0f;
}

// g(t) and g'(t) of the edge quartic, coefficients from t^0 up.
static float quartic(const float *g, float t)
{
    return (((g[4] * t + g[3]) * t + g[2]) * t + g[1]) * t + g[0];
}

static float quartic_slope(const float *g, float t)
{
    return ((4.0f * g[4] * t + 3.0f * g[3]) * t + 2.0f * g[2]) * t + g[1];
}

static float newton_on_quartic(const float *g, float t)
{
    float gt = quartic(g, t);
    for (int step = 0; step < 4; step++) {
        float slope = quartic_slope(g, t);
        if (!(fabsf(slope) >= FLAT_SLOPE))
            break;
        float next = t - gt / slope;
        float g_next = quartic(g, next);
        if (!(fabsf(g_next) <= fabsf(gt)))
            break;   // a step that makes |g| larger is not taken
        t = next;
        gt = g_next;
    }
    return t;
}

static float clamp_unit(float t)
{
    return t >= 0.0f ? (t <= 1.0f ? t : 1.0f) : 0.0f;   // a NaN becomes 0
}

// The point of edge (P, d) nearest the ring, with its distance.
static float nearest_edge_point(const float *c, const float *a, float R, const float *P,
                                const float *d, float *best)
{
    vecf_copy(best, P);   // kept when no distance compares (not a number)
    float aa = vecf_length_squared(a);
    float ia = aa > 0.0f ? 1.0f / aa : 0.0f;
    float f[3];
    vecf_sub(f, c, P);
    float dd = vecf_length_squared(d);
    float da = vecf_dot(d, a), fa = vecf_dot(f, a), fd = vecf_dot(f, d);
    float ff = vecf_length_squared(f);

    // y(t) = t d - f: y.d = l1 t + l0, |y_perp|^2 = q2 t^2 + q1 t + q0,
    // y_perp.d_perp = m1 t + m0; g = (y.d)^2 |y_perp|^2 - R^2 (y_perp.d_perp)^2.
    float l1 = dd, l0 = -fd;
    float q2 = dd - da * da * ia, q1 = -2.0f * fd + 2.0f * da * fa * ia, q0 = ff - fa * fa * ia;
    float m1 = q2, m0 = -fd + fa * da * ia;
    float RR = R * R;
    float g[5];
    g[4] = l1 * l1 * q2;
    g[3] = l1 * l1 * q1 + 2.0f * l1 * l0 * q2;
    g[2] = l1 * l1 * q0 + 2.0f * l1 * l0 * q1 + l0 * l0 * q2 - RR * m1 * m1;
    g[1] = 2.0f * l1 * l0 * q0 + l0 * l0 * q1 - 2.0f * RR * m1 * m0;
    g[0] = l0 * l0 * q0 - RR * m0 * m0;

    float tc = fd / dd;
    float in_plane[3], da_cross[3];
    vecf_cross(da_cross, d, a);
    vecf_cross(in_plane, da_cross, a);
    float delta;
    float ip = vecf_length_squared(in_plane);
    if (ip < R * 1e-6f || !(ip > 0.0f)) {
        delta = 0.001f * R;
    } else {
        float u[3];
        vecf_scale(u, in_plane, R / sqrtf(ip));
        delta = fabsf(vecf_dot(u, d)) / dd;
    }

    float best_distance = INFINITY;
    float starts[2] = {tc - delta, tc + delta};
    for (int i = 0; i < 2; i++) {
        float t = clamp_unit(newton_on_quartic(g, starts[i]));
        float x[3], z[3];
        vecf_add_scaled(x, P, d, t);
        nearest_ring_point(c, a, R, x, z);
        float distance = vecf_distance(x, z);
        if (i == 0 || distance < best_distance) {
            best_distance = distance;
            vecf_copy(best, x);
        }
    }
    return best_distance;
}

float ring_triangle_distance(const float *c, const float *a, float R, float r, const float *p0,
                             const float *p1, const float *p2, const float *N, float *point,
                             float *normal)
{
    const float *p[3] = {p0, p1, p2};
    float best = INFINITY;
    int winner = -1;   // 0..2 edges, 3..5 corners
    float best_edge_point[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; i++) {
        float d[3], x[3];
        vecf_sub(d, p[(i + 1) % 3], p[i]);
        float distance = nearest_edge_point(c, a, R, p[i], d, x);
        if (winner < 0 || distance < best) {
            best = distance;
            winner = i;
            vecf_copy(best_edge_point, x);
        }
    }
    float aa = vecf_length_squared(a);
    for (int i = 0; i < 3; i++) {
        float y[3], v[3], on_disc[3];
        vecf_sub(v, p[i], c);
        remove_axial(y, v, a, aa);
        float length = vecf_length(y);
        if (length > R && length > 0.0f)
            vecf_scale(y, y, R / length);
        vecf_add(on_disc, c, y);
        float distance = vecf_distance(p[i], on_disc);
        if (distance < best) {
            best = distance;
            winner = 3 + i;
        }
    }

    if (winner < 3) {
        const float *x = best_edge_point;
        float z[3];
        nearest_ring_point(c, a, R, x, z);
        if (best > EDGE_TOUCH) {
            vecf_copy(point, x);
            vecf_sub(normal, z, x);
        } else {
            // The edge touches the ring: the normal lies across the edge
            // and the ring's tangent there.
            float d[3], t[3], zc[3], across[3];
            vecf_sub(d, p[(winner + 1) % 3], p[winner]);
            vecf_sub(zc, z, c);
            vecf_cross(t, zc, a);
            if (vecf_dot(t, N) < 0.0f)
                vecf_scale(t, t, -1.0f);
            vecf_cross(across, d, t);
            if (vecf_length_squared(across) < EDGE_TOUCH)
                vecf_copy(across, N);
            unit_or(normal, across, UP);
            vecf_add_scaled(point, z, normal, -r);
        }
    } else {
        const float *v = p[winner - 3];
        float vc[3];
        vecf_sub(vc, v, c);
        vecf_copy(point, v);
        vecf_scale(normal, a, vecf_dot(vc, a) > 0.0f ? -1.0f : 1.0f);
    }
    return best;
}

// 1 when some edge of the triangle may come within r of the disc (centre
// c, unit axis u, radius R), or a value is not a number; 0 only when every
// edge lies farther than R + r from the centre or wholly beyond r on one
// side of the disc's plane (the tyre holds neither kind of point).
static int boundary_within(const float *c, const float *u, float R, float r, const float *p0,
                           const float *p1, const float *p2)
{
    const float *p[3] = {p0, p1, p2};
    float reach = R + r;
    float limit = reach * reach * 1.0001f + 1e-6f;
    float side = r * 1.0001f + 1e-6f;
    float axial[3];
    for (int i = 0; i < 3; i++) {
        float f[3];
        vecf_sub(f, p[i], c);
        axial[i] = vecf_dot(f, u);
    }
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3;
        if ((axial[i] > side && axial[j] > side) || (axial[i] < -side && axial[j] < -side))
            continue;
        float d[3], f[3];
        vecf_sub(d, p[j], p[i]);
        vecf_sub(f, c, p[i]);
        float dd = vecf_length_squared(d);
        float t = dd > 0.0f ? vecf_dot(f, d) / dd : 0.0f;
        t = t > 0.0f ? (t < 1.0f ? t : 1.0f) : 0.0f;
        float x[3];
        vecf_add_scaled(x, f, d, -t);
        if (!(vecf_length_squared(x) > limit))
            return 1;
    }
    return 0;
}

static float wheel_triangle(const float *c, const float *a, float R, float r, const float *p0,
                            const float *p1, const float *p2, float *point, float *normal,
                            int boundary_search)
{
    Triangle tri;
    if (!vecf_finite(c) || !vecf_finite(a) || !std::isfinite(R) || !std::isfinite(r))
        return 0.0f;
    if (!set_up_triangle(&tri, p0, p1, p2))
        return 0.0f;
    const float *N = tri.N;
    float NN = vecf_length_squared(N);
    float unit_N[3];
    vecf_scale(unit_N, N, 1.0f / sqrtf(NN));

    // w: the direction in the ring's plane pointing most against N. A ring
    // lying flat on the plane has none; it takes -N.
    float w[3], na[3];
    vecf_cross(na, N, a);
    vecf_cross(w, na, a);
    if (vecf_dot(w, N) > 0.0f)
        vecf_scale(w, w, -1.0f);
    float ww = vecf_length_squared(w);
    if (!(ww > 0.0f)) {
        vecf_scale(w, N, -1.0f);
        ww = NN;
    }
    float w_hat[3];
    vecf_scale(w_hat, w, 1.0f / sqrtf(ww));
    float low[3], high[3], v[3];
    vecf_add_scaled(low, c, w_hat, R);
    vecf_add_scaled(high, c, w_hat, -R);
    vecf_sub(v, low, p0);
    float s_low = vecf_dot(v, N);
    vecf_sub(v, high, p0);
    float s_high = vecf_dot(v, N);

    float depth;
    if (s_low > 0.0f) {
        // Ring entirely above the plane.
        if (inside_triangle(&tri, low)) {
            float y[3], ring[3];
            vecf_add_scaled(y, low, N, -s_low / NN);
            vecf_copy(normal, unit_N);
            nearest_ring_point(c, a, R, y, ring);
            vecf_add_scaled(point, ring, normal, -r);
            depth = r - vecf_distance(y, low);
            return checked_result(depth, point, normal);
        }
    } else if (s_high > 0.0f) {
        // Ring crossing the plane.
        float x[3];
        intersect_line_plane(c, w, p0, N, x);
        if (inside_triangle(&tri, x)) {
            float ring[3];
            vecf_copy(normal, unit_N);
            nearest_ring_point(c, a, R, low, ring);
            vecf_add_scaled(point, ring, normal, -r);
            depth = r + axial_distance(p0, N, low);
            return checked_result(depth, point, normal);
        }
        int side[3];
        for (int i = 0; i < 3; i++) {
            vecf_sub(v, tri.p[i], c);
            side[i] = vecf_dot(v, a) <= 0.0f;
        }
        for (int i = 0; i < 3; i++) {
            if (!(edge_side(&tri, i, x) > 0.0f) || side[i] == side[(i + 1) % 3])
                continue;
            float y[3];
            if (!intersect_line_plane(tri.p[i], tri.d[i], c, a, y))
                continue;
            vecf_sub(v, y, c);
            if (!(vecf_length_squared(v) < R * R))
                continue;   // pierces the ring's plane outside the disc
            float t[3], across[3], ring[3];
            vecf_cross(t, v, a);
            if (vecf_dot(t, N) < 0.0f)
                vecf_scale(t, t, -1.0f);
            vecf_cross(across, tri.d[i], t);
            unit_or(normal, across, unit_N);
            nearest_ring_point(c, a, R, y, ring);
            vecf_add_scaled(point, ring, normal, -r);
            depth = r - EDGE_TOUCH;
            return checked_result(depth, point, normal);
        }
    } else if (inside_vertical_prism(&tri, c)) {
        // The whole ring is below the plane: buried.
        vecf_copy(point, low);
        vecf_copy(normal, UP);
        return checked_result(2.0f * R, point, normal);
    }

    if (!boundary_search)
        return 0.0f;
    // Every point of the disc lies within R of the centre: a boundary
    // farther than R + r from the centre cannot be touched.
    float axis_length = sqrtf(vecf_length_squared(a));
    if (axis_length > 0.0f) {
        float u[3];
        vecf_scale(u, a, 1.0f / axis_length);
        if (!boundary_within(c, u, R, r, p0, p1, p2))
            return 0.0f;
    }
    depth = r - ring_triangle_distance(c, a, R, r, p0, p1, p2, N, point, normal);
    return checked_result(depth, point, normal);
}

float collide_wheel_triangle(const float *c, const float *a, float R, float r, const float *p0,
                             const float *p1, const float *p2, float *point, float *normal)
{
    return wheel_triangle(c, a, R, r, p0, p1, p2, point, normal, 1);
}

float touch_wheel_triangle(const float *c, const float *a, float R, float r, const float *p0,
                           const float *p1, const float *p2, float *point, float *normal)
{
    return wheel_triangle(c, a, R, r, p0, p1, p2, point, normal, 0);
}

// Normal, point and depth of a sphere against a point X of the triangle;
// the triangle's normal when the centre lies on X.
static float sphere_from_point(const float *p, float radius, const float *x, const float *unit_N,
                               float *point, float *normal)
{
    float px[3];
    vecf_sub(px, p, x);
    float distance = vecf_length(px);
    unit_or(normal, px, unit_N);
    vecf_add_scaled(point, p, normal, -radius);
    return radius - distance;
}

float collide_sphere_triangle(const float *p, float radius, const float *p0, const float *p1,
                              const float *p2, float *point, float *normal)
{
    Triangle tri;
    if (!set_up_triangle(&tri, p0, p1, p2))
        return 0.0f;
    float unit_N[3];
    vecf_scale(unit_N, tri.N, 1.0f / vecf_length(tri.N));

    float v[3], depth;
    if (!inside_triangle(&tri, p)) {
        for (int j = 0; j < 3; j++) {
            vecf_sub(v, p, tri.p[j]);
            float t = vecf_dot(v, tri.d[j]) / vecf_length_squared(tri.d[j]);
            if (t >= 0.0f && t <= 1.0f) {
                float x[3];
                vecf_add_scaled(x, tri.p[j], tri.d[j], t);
                depth = sphere_from_point(p, radius, x, unit_N, point, normal);
                return checked_result(depth, point, normal);
            }
        }
        int nearest = 0;
        float nearest_distance = INFINITY;
        for (int j = 0; j < 3; j++) {
            vecf_sub(v, p, tri.p[j]);
            float distance = vecf_length_squared(v);
            if (distance < nearest_distance) {
                nearest_distance = distance;
                nearest = j;
            }
        }
        depth = sphere_from_point(p, radius, tri.p[nearest], unit_N, point, normal);
        return checked_result(depth, point, normal);
    }

    vecf_sub(v, p, p0);
    depth = radius - vecf_dot(v, unit_N);
    if (depth <= 2.0f * radius) {
        vecf_copy(normal, unit_N);
        vecf_add_scaled(point, p, unit_N, -radius);
    } else if (!inside_vertical_prism(&tri, p)) {
        return 0.0f;
    } else {
        // More than its radius below the plane, under the triangle: pushed
        // straight up from its centre.
        vecf_copy(normal, UP);
        vecf_copy(point, p);
    }
    return checked_result(depth, point, normal);
}
