// The physics world and the counted body and joint calls.
#include "bike/physics_world.h"

#include "bike/bike_create.h"
#include "platform/log.h"

dWorldID physics_world;
dJointGroupID contact_group;

static int library_open;
static int bodies_alive;
static int joints_alive;

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
