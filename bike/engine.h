// Engine, clutch and gears: the engine speed joined to the rear wheel by a
// slipping torsional spring, automatic shifting, and the brake torques.
#pragma once

struct BikeState;

float get_engine_rpm(const BikeState *bike);
float get_engine_torque(const BikeState *bike);
void engine_step(BikeState *bike);
