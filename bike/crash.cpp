// Crashes and collisions between bikes, the terrain and track objects.
#include "bike/crash.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/body_contact.h"
#include "bike/physics_utils.h"
#include "bike/physics_world.h"
#include "bike/rider_pose.h"
#include "bike/shape.h"
#include "bike/wheel_contact.h"
#include "core/alloc.h"
#include "net/client.h"
#include "race/race_state.h"
#include "track/terrain.h"

namespace {

const int CRASH_TIME = 512;
const int CRASH_DELAY_LIMIT = 460800;

double body_speed_squared(dBodyID body)
{
    if (!body)
        return 0.0;
    const dReal *v = dBodyGetLinearVel(body);
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

double body_speed(dBodyID body)
{
    return std::sqrt(body_speed_squared(body));
}

int crashed(const BikeState *bike)
{
    return bike->crash_timer > 0;
}

void raise_knock(BikeState *bike, float value)
{
    if (!(bike->knock >= value))
        bike->knock = value;
}

void lower_negative_knock(BikeState *bike)
{
    if (bike->knock < 0.0f && bike->knock > -640.0f)
        bike->knock = -640.0f;
}

// One part of a bike: its private shape and its body.
struct BikePart {
    CollisionShape *shape;
    dBodyID body;
};

// The rider body's velocity at a world point.
void rider_point_velocity(const BikeState *bike, const float *point, double *out)
{
    dVector3 v = {0, 0, 0, 0};
    if (bike->rider_body)
        dBodyGetPointVel(bike->rider_body, point[0], point[1], point[2], v);
    vec_set(out, v[0], v[1], v[2]);
}

// Replaces the component of the velocity along the unit axis by that of the
// given velocity.
void replace_component(float *velocity, const double *axis, const double *given)
{
    double v[3] = {velocity[0], velocity[1], velocity[2]};
    double own = vec_dot(v, axis);
    double other = vec_dot(given, axis);
    for (int k = 0; k < 3; k++)
        velocity[k] = (float)(v[k] + axis[k] * (other - own));
}

}  // namespace

int get_bike_bounds(const BikeState *bike, double *centre, double *radius)
{
    if (!bike->frame_body)
        return 0;
    const dReal *f = dBodyGetPosition(bike->frame_body);
    vec_set(centre, f[0], f[1], f[2]);
    struct {
        dBodyID body;
        const CollisionShape *shape;
        float extra;   // the tyre of a wheel
    } parts[BIKE_BODY_COUNT] = {
        {bike->frame_body, bike->frame_shape, 0.0f},
        {bike->front_wheel_body, bike->front_wheel_shape,
         bike->front_contact.rim_radius + bike->front_contact.tyre_radius},
        {bike->rear_wheel_body, bike->rear_wheel_shape,
         bike->rear_contact.rim_radius + bike->rear_contact.tyre_radius},
        {bike->fork_upper_body, bike->fork_upper_shape, 0.0f},
        {bike->fork_lower_body, bike->fork_lower_shape, 0.0f},
        {bike->swingarm_body, bike->swingarm_shape, 0.0f},
        {bike->rider_body, bike->rider_shape, 0.0f},
    };
    double largest = 0.0;
    for (auto &part : parts) {
        if (!part.body)
            return 0;
        const dReal *p = dBodyGetPosition(part.body);
        double d[3] = {p[0] - f[0], p[1] - f[1], p[2] - f[2]};
        double reach = part.extra;
        if (part.shape && part.shape->bounding_radius > reach)
            reach = part.shape->bounding_radius;
        double r = vec_length(d) + reach;
        if (!(r < 1e30))
            return 0;
        if (r > largest)
            largest = r;
    }
    *radius = largest;
    return 1;
}

int bike_bounds_apart(const double *centre_a, double radius_a, const double *centre_b,
                      double radius_b)
{
    double d[3];
    vec_sub(d, centre_a, centre_b);
    double reach = radius_a + radius_b + 0.01;
    return vec_dot(d, d) > reach * reach;
}


void crash_rider(BikeState *bike)
{
    if (bike->crash_timer >= 1 || bike->knock < 0.0f)
        return;
    if (bike->rider_joint)
        dJointAttach(bike->rider_joint, nullptr, nullptr);
    start_loose_rider_points(bike);
    int count = bike->crash_count < 0 ? 0 : bike->crash_count > 15 ? 15 : bike->crash_count;
    int delay = crash_delay_table[count];
    delay = delay < 0 ? 0 : delay > CRASH_DELAY_LIMIT ? CRASH_DELAY_LIMIT : delay;
    bike->crash_timer = delay + CRASH_TIME;
    bike->crash_count++;
}

static int bike_terrain_search_room(const BikeState *bike)
{
    const CollisionShape *shapes[TERRAIN_SEARCH_PARTS] = {bike->frame_shape,
                                                          bike->fork_upper_shape,
                                                          bike->fork_lower_shape,
                                                          bike->swingarm_shape, bike->rider_shape};
    int room = 0;
    for (const CollisionShape *shape : shapes)
        if (shape)
            room += shape->sphere_count;
    return room;
}

int reserve_bike_terrain_search(BikeTerrainSearch *search, const BikeState *bike)
{
    int room = bike_terrain_search_room(bike);
    if (room <= search->room)
        return 1;
    SphereTerrainHit *hits =
        (SphereTerrainHit *)checked_realloc(search->hits, (size_t)room * sizeof *hits);
    if (!hits)
        return 0;
    search->hits = hits;
    search->room = room;
    return 1;
}

void free_bike_terrain_search(BikeTerrainSearch *search)
{
    checked_free(search->hits);
    memset(search, 0, sizeof *search);
}

void search_bike_terrain(BikeState *bike, const Terrain *terrain, BikeTerrainSearch *search)
{
    memset(search->wheel_touch, 0, sizeof search->wheel_touch);
    memset(search->part_hits, 0, sizeof search->part_hits);
    if (!terrain)
        return;
    float grip = 1.0f;
    if (bike->arcade_physics) {
        float lean = fabsf(get_bike_lean(bike->frame_body));
        grip = 1.0f - 0.375f * fminf(1.0f, 4.0f * lean / (float)M_PI);
    }
    WheelContact *wheels[2] = {&bike->front_contact, &bike->rear_contact};
    for (int i = 0; i < 2; i++)
        search->wheel_touch[i] = fill_wheel_contact(terrain, wheels[i], grip,
                                                    &search->wheel_contact[i],
                                                    &search->wheel_compression[i]);
    BikePart parts[TERRAIN_SEARCH_PARTS] = {{bike->frame_shape, bike->frame_body},
                                            {bike->fork_upper_shape, bike->fork_upper_body},
                                            {bike->fork_lower_shape, bike->fork_lower_body},
                                            {bike->swingarm_shape, bike->swingarm_body},
                                            {bike->rider_shape, bike->rider_body}};
    int used = 0;
    for (int i = 0; i < TERRAIN_SEARCH_PARTS; i++) {
        CollisionShape *shape = parts[i].shape;
        if (!shape || !parts[i].body)
            continue;
        float position[3], rotation[9];
        get_body_pose(parts[i].body, position, rotation);
        pose_shape(shape, position, rotation);
        for (int k = 0; k < shape->sphere_count && used < search->room; k++)
            if (search_sphere_terrain(shape, k, terrain, &search->hits[used])) {
                used++;
                search->part_hits[i]++;
            }
    }
}

int apply_bike_terrain(BikeState *bike, const Terrain *terrain, const BikeTerrainSearch *search)
{
    if (!terrain)
        return 0;
    WheelContact *wheels[2] = {&bike->front_contact, &bike->rear_contact};
    int result = 0;
    for (int i = 0; i < 2; i++)
        if (search->wheel_touch[i]) {
            apply_wheel_contact(terrain, wheels[i], &search->wheel_contact[i],
                                search->wheel_compression[i]);
            result = 1;
        }
    BikePart parts[TERRAIN_SEARCH_PARTS] = {{bike->frame_shape, bike->frame_body},
                                            {bike->fork_upper_shape, bike->fork_upper_body},
                                            {bike->fork_lower_shape, bike->fork_lower_body},
                                            {bike->swingarm_shape, bike->swingarm_body},
                                            {bike->rider_shape, bike->rider_body}};
    const SphereTerrainHit *hits = search->hits;
    int rider_touched = 0;
    for (int i = 0; i < TERRAIN_SEARCH_PARTS; i++) {
        int count = search->part_hits[i];
        if (count == 0)
            continue;
        apply_sphere_terrain_hits(parts[i].shape, parts[i].body, hits, count);
        hits += count;
        result = 1;
        if (i == 0)
            continue;   // the frame touching does not put the rider down
        if (!bike->down)
            bike->down = 1;
        if (i == TERRAIN_SEARCH_PARTS - 1)
            rider_touched = 1;
    }

    if (rider_touched && bike->rider_body) {
        const dReal *r = dBodyGetRotation(bike->rider_body);
        if (r[5] < 0 && body_speed_squared(bike->rider_body) > 25.0)
            crash_rider(bike);
    }
    return result;
}

// The buffer of the searches made one bike at a time.
static BikeTerrainSearch single_search;

int collide_bike_with_terrain(BikeState *bike)
{
    const Terrain *terrain = current_terrain;
    if (!terrain)
        return 0;
    if (!reserve_bike_terrain_search(&single_search, bike))
        return 0;
    search_bike_terrain(bike, terrain, &single_search);
    return apply_bike_terrain(bike, terrain, &single_search);
}

void free_single_terrain_search(void)
{
    free_bike_terrain_search(&single_search);
}

int collide_bike_parts(BikeState *bike, CollisionShape *shape, dBodyID body, const float *position,
                       const float *rotation, int mode, int front_flag)
{
    if (!shape)
        return 0;
    int result = 0;
    if (collide_wheel_shape(shape, body, position, rotation, &bike->front_contact, mode))
        result |= PART_BIT_FRONT_WHEEL;
    if (collide_wheel_shape(shape, body, position, rotation, &bike->rear_contact, mode))
        result |= PART_BIT_REAR_WHEEL;

    int front_mode = front_flag ? CONTACT_TEST_ONLY : mode;
    struct {
        CollisionShape *shape;
        dBodyID body;
        int mode;
        int bit;
    } parts[5] = {
        {bike->frame_shape, bike->frame_body, mode, PART_BIT_FRAME},
        {bike->fork_upper_shape, bike->fork_upper_body, front_mode, PART_BIT_STEERING_HEAD},
        {bike->fork_lower_shape, bike->fork_lower_body, front_mode, PART_BIT_LOWER_FORK},
        {bike->swingarm_shape, bike->swingarm_body, mode, PART_BIT_SWINGARM},
        {bike->rider_shape, bike->rider_body, mode, PART_BIT_RIDER},
    };
    for (auto &part : parts) {
        if (!part.shape || !part.body)
            continue;
        float part_position[3], part_rotation[9];
        get_body_pose(part.body, part_position, part_rotation);
        if (collide_shape_pair(part.shape, part.body, part_position, part_rotation, shape, body,
                               position, rotation, part.mode))
            result |= part.bit;
    }
    return result;
}

int collide_bike_with_object(BikeState *bike, CollisionShape *shape, dBodyID body,
                             const float *position, const float *rotation)
{
    int result = collide_bike_parts(bike, shape, body, position, rotation, CONTACT_JOINT, 0);
    if ((result & PART_BIT_RIDER) && bike->crash_timer == 0 && bike->rider_body) {
        const dReal *r = dBodyGetLinearVel(bike->rider_body);
        double v[3] = {r[0], r[1], r[2]};
        if (body) {
            const dReal *o = dBodyGetLinearVel(body);
            v[0] -= o[0];
            v[1] -= o[1];
            v[2] -= o[2];
        }
        if (vec_dot(v, v) > 400.0)
            crash_rider(bike);
    }
    return result;
}

int collide_bike_with_bike(BikeState *a, BikeState *b, int flag)
{
    if (a == b)
        return 0;   // a bike never collides with itself
    // Bikes whose bounding spheres are apart have no part that can touch:
    // every part test below would find nothing.
    double centre_a[3], centre_b[3], radius_a, radius_b;
    if (get_bike_bounds(a, centre_a, &radius_a) && get_bike_bounds(b, centre_b, &radius_b) &&
        bike_bounds_apart(centre_a, radius_a, centre_b, radius_b))
        return 0;
    int mode = (a->last_bike_contact_tic == current_tic || b->last_bike_contact_tic == current_tic)
                   ? CONTACT_SPRING
                   : CONTACT_JOINT;
    struct {
        CollisionShape *shape;
        dBodyID body;
        int front;   // a front part: the caller's flag is not passed on
        int bit;
    } parts[7] = {
        {a->front_wheel_shape, a->front_wheel_body, 1, PART_BIT_FRONT_WHEEL},
        {a->rear_wheel_shape, a->rear_wheel_body, 0, PART_BIT_REAR_WHEEL},
        {a->frame_shape, a->frame_body, 0, PART_BIT_FRAME},
        {a->fork_upper_shape, a->fork_upper_body, 1, PART_BIT_STEERING_HEAD},
        {a->fork_lower_shape, a->fork_lower_body, 1, PART_BIT_LOWER_FORK},
        {a->swingarm_shape, a->swingarm_body, 0, PART_BIT_SWINGARM},
        {a->rider_shape, a->rider_body, 0, PART_BIT_RIDER},
    };
    int touched = 0;
    int front_touched = 0;
    for (auto &part : parts) {
        if (!part.shape || !part.body)
            continue;
        float position[3], rotation[9];
        get_body_pose(part.body, position, rotation);
        int m = collide_bike_parts(b, part.shape, part.body, position, rotation, mode,
                                   part.front ? 0 : flag);
        touched |= m;
        if (m && (part.bit == PART_BIT_FRONT_WHEEL || part.bit == PART_BIT_LOWER_FORK))
            front_touched |= part.bit;
    }
    if (!touched)
        return 0;

    double speed_a = body_speed(a->frame_body);
    double speed_b = body_speed(b->frame_body);
    if (front_touched & touched) {
        // Head to head.
        if (speed_a >= 10.0)
            raise_knock(a, 64.0f);
        if (speed_b >= 10.0)
            raise_knock(b, 64.0f);
    } else if (front_touched) {
        // A hit B with its front.
        if (!crashed(b) && speed_b >= 5.0) {
            if (speed_a >= 10.0)
                raise_knock(a, 128.0f);
            lower_negative_knock(b);
        }
    } else if (touched & (PART_BIT_FRONT_WHEEL | PART_BIT_LOWER_FORK)) {
        // B hit A with its front.
        if (!crashed(a) && speed_a >= 5.0) {
            if (speed_b >= 10.0)
                raise_knock(b, 128.0f);
            lower_negative_knock(a);
        }
    }

    a->last_bike_contact_tic = current_tic;
    b->last_bike_contact_tic = current_tic;
    memset(a->picked_serials, 0, sizeof a->picked_serials);
    memset(b->picked_serials, 0, sizeof b->picked_serials);
    return touched;
}

int bike_tic_hook(BikeState *)
{
    return 0;
}

void loose_rider_points_step(BikeState *bike)
{
    const float h = TIC_LENGTH;
    bike->foot_down_amount = fmaxf(0.0f, bike->foot_down_amount - 4.0f * h);
    if (!crashed(bike)) {
        start_loose_rider_points(bike);
        return;
    }
    if (!bike->rider_body)
        return;

    const BikeModel *m = get_bike_state_model(bike);
    const float *figure = m->rider_figure;
    float leg = figure[FIGURE_THIGH_LENGTH] + figure[FIGURE_SHIN_LENGTH];
    dVector3 hips[2];
    for (int i = 0; i < 2; i++) {
        const float *hip = figure + (i ? FIGURE_RIGHT_HIP : FIGURE_LEFT_HIP);
        dBodyGetRelPointPos(bike->rider_body, hip[0], hip[1], hip[2], hips[i]);
    }
    dVector3 down;
    dBodyVectorToWorld(bike->rider_body, 0, -1, 0, down);
    double n[3] = {down[0], down[1], down[2]};
    double knee[3] = {hips[0][0] + n[0], hips[0][1] + n[1], hips[0][2] + n[2]};

    for (int i = 0; i < 2; i++) {
        LoosePoint *p = &bike->loose_points[i];
        for (int k = 0; k < 3; k++)
            p->position[k] += p->velocity[k] * h;
        p->velocity[1] -= 32.0f * h;
        if (current_terrain) {
            float ground = get_terrain_height(current_terrain, p->position[0], p->position[2]);
            if (p->position[1] < ground + 0.25f) {
                p->position[1] = ground + 0.25f;
                memset(p->velocity, 0, sizeof p->velocity);
            }
        }
        for (int k = 0; k < 3; k++)
            p->velocity[k] *= 0.9375f;

        double d[3] = {p->position[0] - hips[i][0], p->position[1] - hips[i][1],
                       p->position[2] - hips[i][2]};
        double length = vec_length(d);
        if (length >= leg && length > 0.0) {
            double axis[3];
            vec_scale(axis, d, 1.0 / length);
            for (int k = 0; k < 3; k++)
                p->position[k] = (float)(hips[i][k] + axis[k] * leg);
            double given[3];
            rider_point_velocity(bike, p->position, given);
            replace_component(p->velocity, axis, given);
        }

        double rel[3] = {p->position[0] - knee[0], p->position[1] - knee[1],
                         p->position[2] - knee[2]};
        double s = vec_dot(rel, n);
        if (s < 0.0) {
            for (int k = 0; k < 3; k++)
                p->position[k] = (float)(p->position[k] - s * n[k]);
            double given[3];
            rider_point_velocity(bike, p->position, given);
            replace_component(p->velocity, n, given);
        }
    }
}
