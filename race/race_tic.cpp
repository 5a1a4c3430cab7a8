// The per-tic race update: bike collisions, dirt spray, the world step,
// tyre ruts, the per-bike steps and the particles.
#include "race/race_control.h"

#include <cmath>

#include "bike/bike_pose.h"
#include "bike/bike_step.h"
#include "bike/contact_readout.h"
#include "bike/crash.h"
#include "bike/physics_limits.h"
#include "bike/physics_world.h"
#include "bike/roost.h"
#include "bike/world_contacts.h"
#include "core/message.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/race_state.h"
#include "track/erosion.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"

namespace {

BikeState *collision_list[BIKE_SLOT_COUNT];

double frame_speed_squared(const BikeState *bike)
{
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

// Faster frame body first.
int compare_bike_speed(const void *a, const void *b)
{
    double sa = frame_speed_squared(*(BikeState *const *)a);
    double sb = frame_speed_squared(*(BikeState *const *)b);
    return sa > sb ? -1 : sa < sb ? 1 : 0;
}

void collide_with_start_gate(BikeState *bike)
{
    bike_tic_hook(bike);
    if (!((double)race_settings.start_tic * TIC_LENGTH + 10.0 >= (double)current_tic * TIC_LENGTH))
        return;
    int count = start_gate_count < 0 ? 0 : start_gate_count > START_GATE_PIECES ? START_GATE_PIECES
                                                                               : start_gate_count;
    for (int i = 0; i < count; i++)
        collide_bike_with_statue(bike, start_gate_statues[i]);
}

void collide_bikes_offline(void)
{
    int count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        if (!is_bike_physics_active(bike)) {
            collide_with_start_gate(bike);
            continue;
        }
        collision_list[count++] = bike;
        collide_bike_with_world(bike);
    }
    heap_sort(collision_list, count, sizeof collision_list[0], compare_bike_speed);
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            collide_bike_with_bike(collision_list[i], collision_list[j], 0);
}

void spray_dirt(void)
{
    int slots[BIKE_SLOT_COUNT];
    int n = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot])
            slots[n++] = slot;
    if (n == 0)
        return;
    int first = (int)(((long long)current_tic % n + n) % n);
    for (int k = 0; k < n; k++)
        emit_roost(bike_slots[slots[(first + k) % n]]);
}

int body_in_range(dBodyID body)
{
    if (!body)
        return 1;
    const dReal *p = dBodyGetPosition(body);
    const dReal *v = dBodyGetLinearVel(body);
    const dReal *w = dBodyGetAngularVel(body);
    const dReal *q = dBodyGetQuaternion(body);
    for (int k = 0; k < 3; k++) {
        if (!(std::fabs(p[k]) <= TERRAIN_COORDINATE_LIMIT))
            return 0;
        if (!(std::fabs(v[k]) < BIKE_SPEED_LIMIT) || !(std::fabs(w[k]) < BIKE_SPEED_LIMIT))
            return 0;
    }
    for (int k = 0; k < 4; k++)
        if (!std::isfinite(q[k]))
            return 0;
    double v2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    double w2 = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    return v2 < BIKE_SPEED_LIMIT * BIKE_SPEED_LIMIT && w2 < BIKE_SPEED_LIMIT * BIKE_SPEED_LIMIT;
}

}  // namespace

int is_bike_in_sound_range(const BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (!body_in_range(body))
            return 0;
    return 1;
}

void guard_bike_ranges(void)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike || !bike->frame_body || !is_bike_physics_active(bike))
            continue;
        if (is_bike_in_sound_range(bike)) {
            const dReal *p = dBodyGetPosition(bike->frame_body);
            for (int k = 0; k < 3; k++)
                bike->sound_position[k] = (float)p[k];
            bike->sound_position_set = 1;
            continue;
        }
        float position[3];
        if (bike->sound_position_set) {
            for (int k = 0; k < 3; k++)
                position[k] = bike->sound_position[k];
        } else {
            get_rest_position(bike, 0, position);
        }
        set_bike_upright_at(bike, position);
        log_printf("Bike in slot %d left the range the physics can hold: set upright at "
                   "(%.1f %.1f %.1f)\n",
                   slot, position[0], position[1], position[2]);
    }
}

void race_tic(void)
{
    guard_bike_ranges();
    if (net_socket == -1)
        collide_bikes_offline();
    spray_dirt();
    step_physics_world();

    // A placed bike that a joint woke during the step goes back to sleep.
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike || is_bike_physics_active(bike))
            continue;
        dBodyID bodies[BIKE_BODY_COUNT];
        get_bike_bodies(bike, bodies);
        for (dBodyID body : bodies)
            if (body)
                dBodyDisable(body);
    }

    if (erosion_amount > 0)
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
            BikeState *bike = bike_slots[slot];
            if (bike && is_bike_physics_active(bike) &&
                (net_socket == -1 || local_gate_position != NO_SLOT))
                step_tire_ground_contact(bike);
        }

    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot])
            step_bike(bike_slots[slot]);

    step_particles();
    current_tic++;
}
