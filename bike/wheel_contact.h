// Wheel contacts against the terrain: the deepest contact of a wheel with
// the triangles around it, the first touching triangle from the centre out
// (read-outs), and the physics contact with tile friction, softness,
// friction direction and rolling resistance.
#pragma once

struct Terrain;
struct WheelContact;

// The cells searched around a point reach at most this many on a side,
// nearest the centre first (tiny cells or huge wheels).
enum { TERRAIN_WALK_LIMIT = 64 };

int terrain_collide_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                          float *normal, float *depth);
int terrain_touch_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                        float *normal, float *depth);
// 1 and one contact joint when the wheel touches (grip scales the tile's
// friction), else 0 with the wheel's depth 0.
int terrain_contact_wheel(const Terrain *terrain, WheelContact *wheel, float grip);
