// Steering and suspension: torques about the steering axis, the front
// slip angle, the steering controller, the lean-steering law of simulation
// physics, the fork and shock forces and their read-outs.
#pragma once

struct BikeModel;
struct BikeState;

void steer_torque(BikeState *bike, float x);
float get_front_slip_angle(const BikeState *bike);
float steer_control(const BikeState *bike, float target);
void steer_by_lean(BikeState *bike);
// Fork and shock forces of one tic.
void apply_suspension_forces(BikeState *bike);
void read_fork_suspension(const BikeState *bike, float *position, float *speed, float *damping);
void read_shock_suspension(const BikeState *bike, float *position, float *speed, float *damping);
void shock_linkage_curve(const BikeModel *model, float x, float *value, float *slope);
