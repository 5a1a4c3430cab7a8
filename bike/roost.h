// Roost: the dirt a wheel throws, as particles from the tile's roost kinds,
// and the per-tic particle step.
#pragma once

struct BikeState;
struct RoostType;
struct WheelContact;

int spawn_particle(const float *position, const float *velocity, const RoostType *type);
void step_particles(void);
void emit_roost(BikeState *bike);
void emit_wheel_roost(const WheelContact *contact, int count_limit, float max_angle);
