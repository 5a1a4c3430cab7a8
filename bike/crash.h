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
int bike_tic_hook(BikeState *bike);
void loose_rider_points_step(BikeState *bike);
