// Crashes and collisions: when the rider comes off, the crashed rider's
// loose limb points, and the contacts of a bike's seven parts against the
// terrain, track objects and other bikes, with the knock value that softens
// bike-to-bike pushing.
#pragma once

#include <ode/ode.h>

#include "bike/body_contact.h"

struct BikeState;
struct CollisionShape;
struct Terrain;

// Part bits of a bike in collision results.
enum {
    PART_BIT_FRAME = 1,
    PART_BIT_FRONT_WHEEL = 2,
    PART_BIT_REAR_WHEEL = 4,
    PART_BIT_STEERING_HEAD = 8,
    PART_BIT_LOWER_FORK = 16,
    PART_BIT_SWINGARM = 32,
    PART_BIT_RIDER = 64,
};

void crash_rider(BikeState *bike);
// The bike's wheels and parts against the terrain: the wheel contacts, one
// soft joint per touching sphere, the rider put down or crashed.
int collide_bike_with_terrain(BikeState *bike);

// The same in two halves, so that the searches of many bikes may run side
// by side while their joints and forces are still made one bike at a time:
// search_bike_terrain only reads the world (it fills the bike's wheel
// contact fields and poses its shapes' copies); apply_bike_terrain makes
// the joints and forces exactly as collide_bike_with_terrain does.
enum { TERRAIN_SEARCH_PARTS = 5 };   // frame, fork upper, fork lower, swingarm, rider
struct BikeTerrainSearch {
    int wheel_touch[2];   // front, rear
    dContact wheel_contact[2];
    float wheel_compression[2];
    int part_hits[TERRAIN_SEARCH_PARTS];
    SphereTerrainHit *hits;   // the parts' hits in part order
    int room;
};
// Room for every sphere of the bike's parts; 0 when out of memory.
int reserve_bike_terrain_search(BikeTerrainSearch *search, const BikeState *bike);
void free_bike_terrain_search(BikeTerrainSearch *search);
void search_bike_terrain(BikeState *bike, const Terrain *terrain, BikeTerrainSearch *search);
int apply_bike_terrain(BikeState *bike, const Terrain *terrain, const BikeTerrainSearch *search);
// Frees the buffer collide_bike_with_terrain keeps.
void free_single_terrain_search(void);
int collide_bike_parts(BikeState *bike, CollisionShape *shape, dBodyID body, const float *position,
                       const float *rotation, int mode, int front_flag);
int collide_bike_with_object(BikeState *bike, CollisionShape *shape, dBodyID body,
                             const float *position, const float *rotation);
int collide_bike_with_bike(BikeState *a, BikeState *b, int flag);
// A sphere about the frame that holds every part of the bike (wheels as
// their tyres, the other parts as their shapes); 0 when a body is missing
// or a position is not a number.
int get_bike_bounds(const BikeState *bike, double *centre, double *radius);
// 1 when two such spheres are apart: no part of one can touch the other.
int bike_bounds_apart(const double *centre_a, double radius_a, const double *centre_b,
                      double radius_b);
int bike_tic_hook(BikeState *bike);
void loose_rider_points_step(BikeState *bike);
