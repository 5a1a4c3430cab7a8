// The physics world and the counted body and joint calls.
#include "bike/physics_world.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "bike/bike_create.h"
#include "race/race_state.h"
#include "platform/log.h"

dWorldID physics_world;
dJointGroupID contact_group;

static int library_open;
static int group_joints;
static int bodies_alive;
static int joints_alive;

int physics_solver_errors;

// The physics library's errors and messages go to the log; a message is
// a solver failure worth counting.
static void physics_message(int number, const char *format, va_list arguments)
{
    char text[512];
    vsnprintf(text, sizeof text, format, arguments);
    if (number == d_ERR_LCP || strstr(text, "LCP"))
        physics_solver_errors++;
    if (physics_solver_errors <= 16)
        log_printf("Physics message %d: %s\n", number, text);
}

int create_physics_world(void)
{
    if (physics_world)
        return 1;
    if (!library_open) {
        if (!dInitODE2(0)) {
            log_printf("Can't initialise the physics library\n");
            return 0;
        }
        library_open = 1;
    }
    if (!dCheckConfiguration("ODE_double_precision")) {
        log_printf("The physics library is not built with double precision\n");
        dCloseODE();
        library_open = 0;
        return 0;
    }
    dSetMessageHandler(physics_message);
    physics_solver_errors = 0;
    physics_world = dWorldCreate();
    dWorldSetGravity(physics_world, 0, -32, 0);
    contact_group = dJointGroupCreate(0);
    return 1;
}

void destroy_physics_world(void)
{
    // Bikes still built would keep handles into the world that dies here.
    if (physics_world)
        for (BikeState &bike : bike_states)
            free_bike(&bike);
    if (contact_group) {
        dJointGroupDestroy(contact_group);
        contact_group = nullptr;
    }
    group_joints = 0;
    if (physics_world) {
        // Destroying the world destroys what is left in it.
        dWorldDestroy(physics_world);
        physics_world = nullptr;
        bodies_alive = 0;
        joints_alive = 0;
    }
    if (library_open) {
        dCloseODE();
        library_open = 0;
    }
}

dBodyID create_counted_body(void)
{
    if (!physics_world)
        return nullptr;
    bodies_alive++;
    return dBodyCreate(physics_world);
}

void destroy_counted_body(dBodyID body)
{
    if (!body)
        return;
    dBodyDestroy(body);
    bodies_alive--;
}

static dJointID count_joint(dJointID joint)
{
    if (joint)
        joints_alive++;
    return joint;
}

dJointID create_counted_hinge(void)
{
    return physics_world ? count_joint(dJointCreateHinge(physics_world, nullptr)) : nullptr;
}

dJointID create_counted_slider(void)
{
    return physics_world ? count_joint(dJointCreateSlider(physics_world, nullptr)) : nullptr;
}

dJointID create_counted_hinge2(void)
{
    return physics_world ? count_joint(dJointCreateHinge2(physics_world, nullptr)) : nullptr;
}

void destroy_counted_joint(dJointID joint)
{
    if (!joint)
        return;
    dJointDestroy(joint);
    joints_alive--;
}

int live_body_count(void)
{
    return bodies_alive;
}

int live_joint_count(void)
{
    return joints_alive;
}

void set_body_mass_centred(dBodyID body, dMass *mass)
{
    dMassTranslate(mass, -mass->c[0], -mass->c[1], -mass->c[2]);
    mass->c[0] = mass->c[1] = mass->c[2] = 0;
    dBodySetMass(body, mass);
}

static bool finite3(const dReal *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

static bool contact_is_sound(const dContact *c)
{
    const dSurfaceParameters &s = c->surface;
    if (!finite3(c->geom.pos) || !finite3(c->geom.normal) || !std::isfinite(c->geom.depth))
        return false;
    const dReal *n = c->geom.normal;
    if (!(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] > 0))
        return false;
    if (!std::isfinite(s.mu) || !std::isfinite(s.soft_erp) || !std::isfinite(s.soft_cfm))
        return false;
    if ((s.mode & dContactMu2) && !std::isfinite(s.mu2))
        return false;
    if (s.mode & dContactFDir1) {
        if (!finite3(c->fdir1))
            return false;
        const dReal *d = c->fdir1;
        if (!(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > 0))
            return false;
    }
    return true;
}

dJointID create_contact_joint(const dContact *contact, dBodyID body1, dBodyID body2)
{
    if (!physics_world || !contact_group || (!body1 && !body2) || body1 == body2)
        return nullptr;
    if (!contact_is_sound(contact))
        return nullptr;
    dJointID joint = dJointCreateContact(physics_world, contact_group, contact);
    dJointAttach(joint, body1, body2);
    group_joints++;
    return joint;
}

dJointID create_group_amotor(dBodyID body1, dBodyID body2)
{
    if (!physics_world || !contact_group || (!body1 && !body2) || body1 == body2)
        return nullptr;
    dJointID joint = dJointCreateAMotor(physics_world, contact_group);
    dJointAttach(joint, body1, body2);
    group_joints++;
    return joint;
}

int group_joint_count(void)
{
    return group_joints;
}

void empty_contact_group(void)
{
    if (contact_group)
        dJointGroupEmpty(contact_group);
    group_joints = 0;
}

int physics_step_timing;
double physics_step_seconds;

static double monotonic_seconds(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

void step_physics_world(void)
{
    if (physics_world) {
        double start = physics_step_timing ? monotonic_seconds() : 0.0;
        dWorldStep(physics_world, (double)TIC_LENGTH);
        if (physics_step_timing)
            physics_step_seconds += monotonic_seconds() - start;
    }
    empty_contact_group();
}

static bool finite_values(double a, double b, double c)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

void add_body_force(dBodyID body, double fx, double fy, double fz)
{
    if (body && finite_values(fx, fy, fz))
        dBodyAddForce(body, fx, fy, fz);
}

void add_body_torque(dBodyID body, double tx, double ty, double tz)
{
    if (body && finite_values(tx, ty, tz))
        dBodyAddTorque(body, tx, ty, tz);
}

void add_body_rel_torque(dBodyID body, double tx, double ty, double tz)
{
    if (body && finite_values(tx, ty, tz))
        dBodyAddRelTorque(body, tx, ty, tz);
}

void add_body_force_at_pos(dBodyID body, const double *f, const double *p)
{
    if (body && finite_values(f[0], f[1], f[2]) && finite_values(p[0], p[1], p[2]))
        dBodyAddForceAtPos(body, f[0], f[1], f[2], p[0], p[1], p[2]);
}

void add_body_force_at_rel_pos(dBodyID body, const double *f, const double *p)
{
    if (body && finite_values(f[0], f[1], f[2]) && finite_values(p[0], p[1], p[2]))
        dBodyAddForceAtRelPos(body, f[0], f[1], f[2], p[0], p[1], p[2]);
}

void add_body_rel_force_at_rel_pos(dBodyID body, const double *f, const double *p)
{
    if (body && finite_values(f[0], f[1], f[2]) && finite_values(p[0], p[1], p[2]))
        dBodyAddRelForceAtRelPos(body, f[0], f[1], f[2], p[0], p[1], p[2]);
}

void set_joint_param(dJointID joint, int parameter, double value)
{
    if (!joint || !std::isfinite(value))
        return;
    switch (dJointGetType(joint)) {
    case dJointTypeHinge: dJointSetHingeParam(joint, parameter, value); break;
    case dJointTypeSlider: dJointSetSliderParam(joint, parameter, value); break;
    case dJointTypeHinge2: dJointSetHinge2Param(joint, parameter, value); break;
    case dJointTypeAMotor: dJointSetAMotorParam(joint, parameter, value); break;
    default: break;
    }
}

void set_joint_motor(dJointID joint, double velocity, double max_force)
{
    if (!std::isfinite(velocity) || !std::isfinite(max_force))
        return;
    set_joint_param(joint, dParamVel, velocity);
    set_joint_param(joint, dParamFMax, max_force);
}
