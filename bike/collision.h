// Geometric tests on which every terrain contact rests: a wheel (a ring
// thickened into a tyre) against one triangle, in a full and a fast form, a
// sphere against one triangle, and the small vector operations they share.
// Single precision, caller-provided storage, no allocation. A triangle's
// normal is N = (P1 - P0) x (P2 - P0); results point from the triangle
// toward the body, and a depth above 0 means contact.
#pragma once

// The point of the ring (centre c, axis a, radius R) nearest to q.
void nearest_ring_point(const float *c, const float *a, float R, const float *q, float *out);
// |(q - o) . d| / |d|: the distance of q from the plane through o normal to d.
float axial_distance(const float *o, const float *d, const float *q);
// 1 and o + s d where the line meets the plane; 0 and o when it is parallel.
int intersect_line_plane(const float *o, const float *d, const float *p0, const float *m,
                         float *out);
// The full wheel test: depth, with point and normal written.
float collide_wheel_triangle(const float *c, const float *a, float R, float r, const float *p0,
                             const float *p1, const float *p2, float *point, float *normal);
// The same without the boundary search (0 where the full test needs it).
float touch_wheel_triangle(const float *c, const float *a, float R, float r, const float *p0,
                           const float *p1, const float *p2, float *point, float *normal);
// The least distance between the ring's disc and the triangle's boundary.
float ring_triangle_distance(const float *c, const float *a, float R, float r, const float *p0,
                             const float *p1, const float *p2, const float *N, float *point,
                             float *normal);
float collide_sphere_triangle(const float *p, float radius, const float *p0, const float *p1,
                              const float *p2, float *point, float *normal);
