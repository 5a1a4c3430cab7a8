// The guard limits of the physics code, in one place: what a body, a
// contact, a particle or a terrain walk may reach before it is refused.
#pragma once

#include "track/terrain.h"

// Cells searched around a point, at most this many on a side, nearest the
// centre first (tiny cells or huge wheels and spheres).
enum { TERRAIN_WALK_LIMIT = 64 };
// Cell indices of a walk are clamped to this (as floats) before they
// become integers.
constexpr float WALK_INDEX_LIMIT = 16777216.0f;
// Contact points and depths beyond the terrain's coordinate limit are
// dropped (TERRAIN_COORDINATE_LIMIT, feet).
constexpr float CONTACT_COORDINATE_LIMIT = TERRAIN_COORDINATE_LIMIT;
// Bodies faster than this (ft/s, rad/s) are out of the range the physics
// can hold: the race sets such a bike upright where it last was sound.
constexpr double BIKE_SPEED_LIMIT = 10000.0;
// A thrown particle faster than this on any axis (ft/s) is not made.
constexpr double PARTICLE_SPEED_LIMIT = 1024.0;
