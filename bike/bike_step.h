// The per-bike step: simulated or not, crash state and the rider's get-up,
// the control assists, the rider's position springs, and the calls into
// suspension, steering and engine of one tic.
#pragma once

#include <ode/ode.h>

struct BikeState;

void step_bike(BikeState *bike);
void check_rider_thrown(BikeState *bike);
void rider_get_up_step(BikeState *bike);
void cancel_joint_net_force(BikeState *bike);
// Points are body-local; a one-step joint pulls them back within the
// distance.
void hold_within_distance(dBodyID body_a, const float *point_a, dBodyID body_b,
                          const float *point_b, float max_distance);
