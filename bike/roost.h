// Roost: the dirt a wheel throws, as particles from the tile's roost kinds,
// and the per-tic particle step.
#pragma once

struct BikeState;
struct RoostType;
struct WheelContact;

// 1, or 0 when the pool is empty or the particle is unusable: a value that
// is not finite, a position beyond the terrain's coordinate limit or a
// speed above 1024 ft/s in any axis.
int spawn_particle(const float *position, const float *velocity, const RoostType *type);
void step_particles(void);
// Draws the tic's particle count per kind from the roost frequency and,
// when it is not 0, refreshes the wheel contacts and throws from both.
void emit_roost(BikeState *bike);
void emit_wheel_roost(const WheelContact *contact, int count_limit, float max_angle);
