// Moving a whole bike (its seven bodies) at once, putting it back at its
// rest pose, and the physics weight that decides whether a bike is
// simulated here (1) or placed from received or replayed states (0).
#pragma once

#include <ode/ode.h>

struct BikeState;

// The rest pose of the model with all working state cleared.
void reset_bike(BikeState *bike);
// The rest pose with the frame at the position, upright and still, the
// rider on the bike; the race state (gates, laps, crash count) is kept.
void set_bike_upright_at(BikeState *bike, const float *position);
// Adds the offset to every body's position (an offset that is not finite
// is ignored).
void move_bike_bodies(BikeState *bike, float dx, float dy, float dz);
// Turns a bike whose bodies have the identity orientation about the world
// origin: every body gets the rotation and its position turned by it (an
// axis without length or a value that is not finite is ignored).
void rotate_bike_bodies(BikeState *bike, float x, float y, float z, float angle);

void enable_bike_physics(BikeState *bike);
void disable_bike_physics(BikeState *bike);
void wake_bike_physics(BikeState *bike);
void decay_bike_physics(BikeState *bike);
// 1 when the physics weight is above 0.25.
int is_bike_physics_active(const BikeState *bike);

// The seven bodies in record order (frame, front wheel, rear wheel, fork
// upper, fork lower, swingarm, rider); entries may be null.
void get_bike_bodies(const BikeState *bike, dBodyID *bodies);
// Positions of the rest pose, in the same order.
void get_rest_position(const BikeState *bike, int body, float *out);
