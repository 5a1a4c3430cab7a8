// Wheel contact refresh between world steps (at most once per tic, against
// the current terrain) and the read-outs of where and how each wheel
// touches the ground.
#include "bike/contact_readout.h"

#include <cmath>

#include "bike/bike_state.h"
#include "bike/float_vector.h"
#include "bike/wheel_contact.h"
#include "race/race_state.h"
#include "track/terrain.h"

static void refresh_wheel(WheelContact *wheel)
{
    if (!wheel->body || !current_terrain ||
        !terrain_touch_wheel(current_terrain, wheel, wheel->contact_point, wheel->contact_normal,
                             &wheel->depth)) {
        wheel->depth = 0.0f;
        return;
    }
    const float *p = wheel->contact_point;
    dVector3 velocity;
    dBodyGetPointVel(wheel->body, p[0], p[1], p[2], velocity);
    for (int k = 0; k < 3; k++)
        wheel->contact_velocity[k] = (float)velocity[k];
}

void refresh_wheel_contacts(BikeState *bike)
{
    if (!bike || (bike->bike_flags & BIKE_FLAG_SIMULATED) || bike->last_contact_tic == current_tic)
        return;
    bike->last_contact_tic = current_tic;
    refresh_wheel(&bike->front_contact);
    refresh_wheel(&bike->rear_contact);
}

void get_contact_ground_velocity(const WheelContact *contact, float *out)
{
    vecf_set(out, 0.0f, 0.0f, 0.0f);
    if (!contact || !contact->body)
        return;
    dBodyID body = contact->body;
    const dReal *rotation = dBodyGetRotation(body);
    const dReal *spin = dBodyGetAngularVel(body);
    const dReal *velocity = dBodyGetLinearVel(body);
    const dReal *position = dBodyGetPosition(body);
    float a[3] = {(float)rotation[0], (float)rotation[4], (float)rotation[8]};
    float w[3] = {(float)spin[0], (float)spin[1], (float)spin[2]};
    // The angular velocity without the spin about the axle.
    float turn[3];
    vecf_add_scaled(turn, w, a, -vecf_dot(a, w));
    float arm[3] = {contact->contact_point[0] - (float)position[0],
                    contact->contact_point[1] - (float)position[1],
                    contact->contact_point[2] - (float)position[2]};
    float swept[3];
    vecf_cross(swept, turn, arm);
    for (int k = 0; k < 3; k++)
        out[k] = (float)velocity[k] + swept[k];
}

// The refreshed front (rear 0) or rear wheel of a bike; null without one.
static WheelContact *refreshed_wheel(BikeState *bike, int rear)
{
    if (!bike)
        return nullptr;
    refresh_wheel_contacts(bike);
    return rear ? &bike->rear_contact : &bike->front_contact;
}

static float contact_depth(BikeState *bike, int rear)
{
    WheelContact *wheel = refreshed_wheel(bike, rear);
    return wheel ? wheel->depth : 0.0f;
}

// The touching wheel, or null when it is in the air.
static WheelContact *touching_wheel(BikeState *bike, int rear)
{
    WheelContact *wheel = refreshed_wheel(bike, rear);
    return wheel && wheel->depth > 0.0f ? wheel : nullptr;
}

static int contact_position(BikeState *bike, int rear, float *out)
{
    WheelContact *wheel = touching_wheel(bike, rear);
    if (!wheel)
        return 0;
    vecf_copy(out, wheel->contact_point);
    return 1;
}

static int contact_slip(BikeState *bike, int rear, float *out)
{
    WheelContact *wheel = touching_wheel(bike, rear);
    if (!wheel)
        return 0;
    vecf_copy(out, wheel->contact_velocity);
    return 1;
}

static int contact_velocity(BikeState *bike, int rear, float *out)
{
    WheelContact *wheel = touching_wheel(bike, rear);
    if (!wheel)
        return 0;
    get_contact_ground_velocity(wheel, out);
    return 1;
}

float query_front_contact_depth(BikeState *bike)
{
    return contact_depth(bike, 0);
}

int query_front_contact_position(BikeState *bike, float *out)
{
    return contact_position(bike, 0, out);
}

int query_front_contact_slip(BikeState *bike, float *out)
{
    return contact_slip(bike, 0, out);
}

int query_front_contact_velocity(BikeState *bike, float *out)
{
    return contact_velocity(bike, 0, out);
}

float query_rear_contact_depth(BikeState *bike)
{
    return contact_depth(bike, 1);
}

int query_rear_contact_position(BikeState *bike, float *out)
{
    return contact_position(bike, 1, out);
}

int query_rear_contact_slip(BikeState *bike, float *out)
{
    return contact_slip(bike, 1, out);
}

int query_rear_contact_velocity(BikeState *bike, float *out)
{
    return contact_velocity(bike, 1, out);
}
