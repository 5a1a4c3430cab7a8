// Bike pose, reset and physics weight.
#include "bike/bike_pose.h"

#include <cmath>
#include <cstring>

#include "bike/bike_state.h"
#include "race/race_state.h"

namespace {

const float WEIGHT_ACTIVE = 0.25f;

void zero_forces(BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (body) {
            dBodySetForce(body, 0, 0, 0);
            dBodySetTorque(body, 0, 0, 0);
        }
}

void enable_bodies(BikeState *bike, int enable)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (body) {
            if (enable)
                dBodyEnable(body);
            else
                dBodyDisable(body);
        }
}

// Enables the bodies above the active weight, else disables them.
void set_weight(BikeState *bike, float weight)
{
    bike->physics_weight = weight;
    enable_bodies(bike, weight > WEIGHT_ACTIVE);
}

void place_at_rest(dBodyID body, const float *position)
{
    dMatrix3 identity;
    dRFromAxisAndAngle(identity, 0, 1, 0, 0);
    dBodySetPosition(body, position[0], position[1], position[2]);
    dBodySetRotation(body, identity);
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, 0, 0, 0);
    dBodySetForce(body, 0, 0, 0);
    dBodySetTorque(body, 0, 0, 0);
}

void empty_array(GrowableArray *array)
{
    array->count = 0;
}

}  // namespace

void get_bike_bodies(const BikeState *bike, dBodyID *bodies)
{
    bodies[0] = bike->frame_body;
    bodies[1] = bike->front_wheel_body;
    bodies[2] = bike->rear_wheel_body;
    bodies[3] = bike->fork_upper_body;
    bodies[4] = bike->fork_lower_body;
    bodies[5] = bike->swingarm_body;
    bodies[6] = bike->rider_body;
}

void get_rest_position(const BikeState *bike, int body, float *out)
{
    const BikeModel *m = get_bike_state_model(bike);
    const float *rest[BIKE_BODY_COUNT] = {
        m->frame_position, m->front_wheel.position, m->rear_wheel.position,
        m->fork_upper_position, m->fork_lower_position, m->swingarm_position,
        m->rider_position,
    };
    memcpy(out, rest[body], 3 * sizeof(float));
}

void reset_bike(BikeState *bike)
{
    // Bodies at rest, in the order fork upper, fork lower, swingarm, frame,
    // front wheel, rear wheel, rider.
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    const int order[BIKE_BODY_COUNT] = {3, 4, 5, 0, 1, 2, 6};
    for (int i : order)
        if (bodies[i]) {
            float rest[3];
            get_rest_position(bike, i, rest);
            place_at_rest(bodies[i], rest);
        }

    bike->throttle = bike->clutch = bike->front_brake = bike->rear_brake = 0.0f;
    bike->steer = bike->dab = bike->foot_down_amount = bike->back_up = bike->lean = 0.0f;
    bike->gear = 0;
    bike->last_shift_request = 0;
    bike->rear_wheel_angle = 0.0f;
    bike->engine_speed = 0.0f;
    bike->gates_passed = 0;
    empty_array(&bike->gate_times);
    empty_array(&bike->lap_buffers[0]);
    empty_array(&bike->lap_buffers[1]);
    bike->lap_buffer_spoiled[0] = bike->lap_buffer_spoiled[1] = 0;
    empty_array(&bike->own_line);

    bike->sections_picked = 0;
    bike->line_index = 0;
    bike->progress_tic = 0;
    bike->recovery_count = 0;
    bike->personality = 0;
    bike->launch_time = 0.0f;
    bike->throttle_memory = 0.0f;
    bike->corner_tic = -1000000;   // no corner limit in living memory
    memset(bike->picked_serials, 0, sizeof bike->picked_serials);

    bike->last_contact_tic = -1;
    bike->down = 0;
    bike->crash_timer = 0;
    bike->crash_count = 0;
    bike->knock = 0.0f;
    bike->takeoff_tic = 0;
    bike->landing_tic = 0;
    memset(bike->rider_velocity_ring, 0, sizeof bike->rider_velocity_ring);
    memset(bike->loose_points, 0, sizeof bike->loose_points);
    bike->last_bike_contact_tic = 0;
    bike->physics_weight = 1.0f;
    bike->sound_position_set = 0;
    memset(bike->feedback, 0, sizeof bike->feedback);
    clear_erosion_record(&bike->ruts[0]);
    clear_erosion_record(&bike->ruts[1]);

    // The rider back on the bike, even after a crash.
    if (bike->rider_body && bike->frame_body) {
        const BikeModel *m = get_bike_state_model(bike);
        dVector3 seat;
        dBodyGetRelPointPos(bike->frame_body, m->rider_position[0] - m->frame_position[0],
                            m->rider_position[1] - m->frame_position[1],
                            m->rider_position[2] - m->frame_position[2], seat);
        dBodySetPosition(bike->rider_body, seat[0], seat[1], seat[2]);
        dBodySetRotation(bike->rider_body, dBodyGetRotation(bike->frame_body));
        if (bike->rider_joint)
            dJointAttach(bike->rider_joint, bike->rider_body, bike->frame_body);
    }
}

void set_bike_upright_at(BikeState *bike, const float *position)
{
    float frame_rest[3];
    get_rest_position(bike, 0, frame_rest);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (int i = 0; i < BIKE_BODY_COUNT; i++)
        if (bodies[i]) {
            float rest[3];
            get_rest_position(bike, i, rest);
            for (int k = 0; k < 3; k++)
                rest[k] += position[k] - frame_rest[k];
            place_at_rest(bodies[i], rest);
        }
    if (bike->rider_joint && bike->rider_body && bike->frame_body)
        dJointAttach(bike->rider_joint, bike->rider_body, bike->frame_body);
    bike->crash_timer = 0;
    bike->knock = 0.0f;
    bike->engine_speed = 0.0f;
    bike->rear_wheel_angle = 0.0f;
    bike->takeoff_tic = bike->landing_tic = current_tic;
    bike->front_contact.depth = bike->rear_contact.depth = 0.0f;
    memset(bike->rider_velocity_ring, 0, sizeof bike->rider_velocity_ring);
    memset(bike->feedback, 0, sizeof bike->feedback);
    memset(&bike->front_contact.feedback, 0, sizeof bike->front_contact.feedback);
    memset(&bike->rear_contact.feedback, 0, sizeof bike->rear_contact.feedback);
    memset(bike->loose_points, 0, sizeof bike->loose_points);
    for (int i = 0; i < 2; i++)
        memcpy(bike->loose_points[i].position, position, sizeof bike->loose_points[i].position);
}

void move_bike_bodies(BikeState *bike, float dx, float dy, float dz)
{
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dz))
        return;
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (body) {
            const dReal *p = dBodyGetPosition(body);
            dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
        }
}

void rotate_bike_bodies(BikeState *bike, float x, float y, float z, float angle)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(angle))
        return;
    if (!(x * x + y * y + z * z > 1e-12f))
        return;
    dMatrix3 r;
    dRFromAxisAndAngle(r, x, y, z, angle);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (body) {
            const dReal *p = dBodyGetPosition(body);
            dVector3 turned;
            dMultiply0_331(turned, r, p);
            dBodySetRotation(body, r);
            dBodySetPosition(body, turned[0], turned[1], turned[2]);
        }
}

void enable_bike_physics(BikeState *bike)
{
    if (bike->physics_weight <= WEIGHT_ACTIVE)
        zero_forces(bike);
    set_weight(bike, 1.0f);
}

void disable_bike_physics(BikeState *bike)
{
    if (bike->physics_weight <= WEIGHT_ACTIVE)
        zero_forces(bike);
    set_weight(bike, 0.0f);
}

void wake_bike_physics(BikeState *bike)
{
    float weight = bike->physics_weight;
    if (weight > WEIGHT_ACTIVE)
        return;
    zero_forces(bike);
    if (weight <= 0.0f)
        set_weight(bike, 1.0f);
    else
        bike->physics_weight = WEIGHT_ACTIVE;   // the bodies stay disabled
}

void decay_bike_physics(BikeState *bike)
{
    float weight = bike->physics_weight;
    if (!(weight > 0.0f))
        return;
    if (weight <= WEIGHT_ACTIVE)
        zero_forces(bike);
    float next = weight - TIC_LENGTH;
    set_weight(bike, next < 0.0f ? 0.0f : next > 1.0f ? 1.0f : next);
}

int is_bike_physics_active(const BikeState *bike)
{
    return bike->physics_weight > WEIGHT_ACTIVE ? 1 : 0;
}
