// Crashes and collisions: when the rider comes off, the crashed rider's
// loose limb points, and the contacts of a bike's seven parts against the
// terrain, track objects and other bikes, with the knock value that softens
// bike-to-bike pushing.
#pragma once

#include <ode/ode.h>

struct BikeState;
struct CollisionShape;

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
int collide_bike_with_terrain(BikeState *bike);
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
