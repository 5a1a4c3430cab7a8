// The one physics world with its contact joint group, and the counted
// creation and destruction of bodies and joints (so that a test can prove
// that nothing is left behind).
#pragma once

#include <ode/ode.h>

extern dWorldID physics_world;       // null while there is none
extern dJointGroupID contact_group;

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

// A mass whose centre is moved to the body's origin first (the physics
// library refuses a mass with an off-centre centre).
void set_body_mass_centred(dBodyID body, dMass *mass);
