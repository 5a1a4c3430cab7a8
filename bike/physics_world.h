// The one physics world with its contact joint group, and the counted
// creation and destruction of bodies and joints (so that a test can prove
// that nothing is left behind).
#pragma once

#include <ode/ode.h>

extern dWorldID physics_world;       // null while there is none
extern dJointGroupID contact_group;

// The fork and the swingarm may extend this far (ft, rad) past their rest
// positions. With the stops exactly at rest, a bike at rest or falling
// freely has both stop rows exactly at zero error and zero speed, where the
// physics library's solver fails ("LCP internal error") and its step goes
// wrong.
constexpr double SUSPENSION_STOP_SLACK = 1.0 / 4096.0;

// Messages of the physics library's solver that reported a failure since
// the world was created (each is logged).
extern int physics_solver_errors;

// Starts the physics library (once), checks that it computes in double
// precision and creates the world with gravity (0, -32, 0) and the contact
// group. 1 on success (also when the world exists already), 0 when the
// library is not usable.
int create_physics_world(void);
// Frees every bike still built, destroys the contact group and the world
// (with whatever is left in it) and closes the library.
void destroy_physics_world(void);

dBodyID create_counted_body(void);
void destroy_counted_body(dBodyID body);
dJointID create_counted_hinge(void);
dJointID create_counted_slider(void);
dJointID create_counted_hinge2(void);
void destroy_counted_joint(dJointID joint);

// Bodies and joints made through the counted calls and not yet destroyed.
int live_body_count(void);
int live_joint_count(void);

// Joints that live for one world step, made in contact_group and counted
// until the group is emptied. A contact whose position, normal, depth or
// surface values are not finite, whose normal has no length, or whose two
// bodies are one body, is dropped: the physics library would abort on it.
// body1 is the body the normal points into; a null side is the static world.
dJointID create_contact_joint(const dContact *contact, dBodyID body1, dBodyID body2);
// An angular motor between a body and the static world (body2 null) or
// another body; null without a world or when both bodies are one.
dJointID create_group_amotor(dBodyID body1, dBodyID body2);
// Joints made in the contact group since it was last emptied.
int group_joint_count(void);
void empty_contact_group(void);
// One world step of TIC_LENGTH, then the contact group emptied.
void step_physics_world(void);
// With the timing switch on, the wall-clock seconds spent inside the world
// steps are summed (the benchmarks compare the whole tic with it).
extern int physics_step_timing;
extern double physics_step_seconds;

// Forces, torques and motor values reach the physics library only when
// every value is finite (a NaN aborts it); otherwise nothing happens.
void add_body_force(dBodyID body, double fx, double fy, double fz);
void add_body_torque(dBodyID body, double tx, double ty, double tz);
void add_body_rel_torque(dBodyID body, double tx, double ty, double tz);
void add_body_force_at_pos(dBodyID body, const double *force, const double *position);
void add_body_force_at_rel_pos(dBodyID body, const double *force, const double *local);
void add_body_rel_force_at_rel_pos(dBodyID body, const double *force, const double *local);
// A joint motor: target velocity and the largest force or torque it may
// use (hinge, slider, hinge-2 and angular motor joints).
void set_joint_motor(dJointID joint, double velocity, double max_force);
// One parameter of a hinge, slider, hinge-2 or angular motor joint.
void set_joint_param(dJointID joint, int parameter, double value);

// A mass whose centre is moved to the body's origin first (the physics
// library refuses a mass with an off-centre centre).
void set_body_mass_centred(dBodyID body, dMass *mass);
