// Roost: the dirt a wheel throws. Each of the ground tile's roost kinds
// becomes a spray off the turning tyre or a splash to both sides, and the
// particles fly under gravity and drag, carrying their billboards, until
// they fall back to the ground.
#include "bike/roost.h"

#include <cmath>
#include <cstring>

#include "app/shell.h"
#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/contact_readout.h"
#include "bike/particles.h"
#include "bike/physics_limits.h"
#include "core/random.h"
#include "race/race_state.h"
#include "track/objects.h"
#include "track/terrain.h"

// A particle faster than this (ft/s in any axis), or placed beyond the
// terrain's coordinate limit, is not thrown: it would take minutes to come
// down, holding its node all that time.

constexpr double PI = 3.14159265358979323846;
constexpr double ROLLING_SPRAY_ANGLE = 0.049087387;   // pi/64
constexpr double SPLASH_SIDE = 0.70710677;

static int particle_values_usable(const double *position, const double *velocity)
{
    for (int i = 0; i < 3; i++) {
        // Written so that a NaN fails too.
        if (!(fabs(position[i]) <= TERRAIN_COORDINATE_LIMIT) || !(fabs(velocity[i]) <= PARTICLE_SPEED_LIMIT))
            return 0;
    }
    return 1;
}

static int spawn_checked(const double *position, const double *velocity, const RoostType *type)
{
    if (!particle_values_usable(position, velocity))
        return 0;
    float p[3] = {(float)position[0], (float)position[1], (float)position[2]};
    float v[3] = {(float)velocity[0], (float)velocity[1], (float)velocity[2]};
    return spawn_particle(p, v, type);
}

int spawn_particle(const float *position, const float *velocity, const RoostType *type)
{
    ParticleNode *node = free_particles;
    if (!node || !type)
        return 0;
    double p[3] = {position[0], position[1], position[2]};
    double v[3] = {velocity[0], velocity[1], velocity[2]};
    if (!particle_values_usable(p, v))
        return 0;
    free_particles = node->next;
    node->roost_type = type;
    memcpy(node->position, position, sizeof node->position);
    memcpy(node->velocity, velocity, sizeof node->velocity);
    Billboard *billboard = get_billboard(node->billboard);
    if (billboard) {
        billboard->x = position[0];
        billboard->y = position[1];
        billboard->z = position[2];
        billboard->width = std::isfinite(type->size) ? type->size : 0.0f;
        billboard->texture = type->texture;
        memcpy(billboard->colour, type->colour, sizeof billboard->colour);
    }
    node->next = live_particles;
    live_particles = node;
    return 1;
}

void step_particles(void)
{
    const float h = TIC_LENGTH;
    ParticleNode **link = &live_particles;
    while (ParticleNode *particle = *link) {
        const RoostType *type = particle->roost_type;
        float *p = particle->position, *v = particle->velocity;
        for (int i = 0; i < 3; i++)
            p[i] += v[i] * h;
        // What drag leaves of the velocity stays within 0..1: a drag above
        // 256 per second would otherwise flip and grow it every tic.
        float keep = 1.0f - h * type->drag;
        keep = keep > 0.0f ? (keep < 1.0f ? keep : 1.0f) : 0.0f;   // NaN: 0
        for (int i = 0; i < 3; i++)
            v[i] *= keep;
        v[1] -= 32.0f * h;

        Billboard *billboard = get_billboard(particle->billboard);
        if (billboard) {
            billboard->x = p[0];
            billboard->y = p[1];
            billboard->z = p[2];
            float width = billboard->width + h * type->grow;
            if (std::isfinite(width))
                billboard->width = width;
            for (int i = 0; i < 4; i++) {
                int c = billboard->colour[i] + type->fade[i];
                billboard->colour[i] = (uint8_t)(c < 0 ? 0 : c > 255 ? 255 : c);
            }
        }

        // Only a falling particle lands: one rising through the ground
        // flies on until it turns. Without a terrain it lands at once.
        int landed = v[1] < 0.0f &&
                     (!current_terrain || sample_ground_height(current_terrain, p[0], p[2]) > p[1]);
        if (!landed) {
            link = &particle->next;
            continue;
        }
        if (billboard)
            billboard->texture = 0;
        *link = particle->next;
        particle->next = free_particles;
        free_particles = particle;
    }
}

void emit_roost(BikeState *bike)
{
    if (!bike)
        return;
    int frequency = roost_frequency < 0 ? 0 : roost_frequency > 1000 ? 1000 : roost_frequency;
    int n = frequency / 100;
    if (mt_next() % 100u < (unsigned)(frequency % 100))
        n++;
    if (n <= 0)
        return;
    refresh_wheel_contacts(bike);
    emit_wheel_roost(&bike->front_contact, n, (float)(PI / 8));
    emit_wheel_roost(&bike->rear_contact, n, (float)(2 * PI));
}

static double random_u24(void)
{
    return (double)(mt_next() & 0xFFFFFFu) * (1.0 / 16777216.0);
}

static double random_u31(void)
{
    return (double)(mt_next() & 0x7FFFFFFFu) * (1.0 / 2147483648.0);
}

static void random_jitter(double *jitter, double randomize)
{
    for (int i = 0; i < 3; i++)
        jitter[i] = (random_u24() - 0.5) * randomize;
}

static int vector_finite(const double *v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

static void load_vector(double *out, const float *v)
{
    vec_set(out, v[0], v[1], v[2]);
}

// Particles of one kind this tic: the whole part of the count, one more
// with the chance of its fraction, at most the limit.
static int roost_particle_count(float count, int limit)
{
    double c = count;
    double whole = floor(c);
    double k = whole + (random_u31() < c - whole ? 1.0 : 0.0);
    if (!(k > 0.0))
        return 0;   // also a NaN count
    return k >= (double)limit ? limit : (int)k;
}

// Thrown to both sides of the wheel's motion along the ground, 45 degrees
// up, alternating by tic and particle.
static void emit_splash(const RoostType *type, int k, const double *point, const double *normal,
                        const double *velocity)
{
    double tangent[3];
    vec_add_scaled(tangent, velocity, normal, -vec_dot(velocity, normal));
    double s = vec_length(tangent);
    if (!(s > 0.0) || !std::isfinite(s))
        return;   // no way along the ground to throw it
    double t[3], side[3], d0[3], d1[3];
    vec_scale(t, tangent, 1.0 / s);
    vec_cross(side, normal, t);
    double reach = SPLASH_SIDE * s;
    for (int i = 0; i < 3; i++) {
        d0[i] = (normal[i] + side[i]) * reach;
        d1[i] = (normal[i] - side[i]) * reach;
    }
    const double h = TIC_LENGTH;
    for (int i = 0; i < k; i++) {
        const double *d = ((unsigned)current_tic ^ (unsigned)i) & 1u ? d1 : d0;
        double jitter[3];
        random_jitter(jitter, type->randomize);
        double scale = type->vscale * random_u31();
        double position[3], throw_velocity[3];
        vec_add_scaled(position, point, d, i * h / k);
        for (int j = 0; j < 3; j++)
            throw_velocity[j] = (d[j] + jitter[j]) * scale;
        spawn_checked(position, throw_velocity, type);
    }
}

// Thrown off the tyre from points turned back up the wheel from the contact,
// within an angle that is narrow for a rolling wheel and opens with the
// spin of a spinning one.
static void emit_spray(const RoostType *type, int k, float max_angle, dBodyID body, const double *point,
                       const double *point_velocity)
{
    double centre[3], velocity[3], spin[3], axle[3];
    vec_copy(centre, dBodyGetPosition(body));
    vec_copy(velocity, dBodyGetLinearVel(body));
    vec_copy(spin, dBodyGetAngularVel(body));
    dVector3 x_axis;
    dBodyVectorToWorld(body, 1, 0, 0, x_axis);
    vec_set(axle, x_axis[0], x_axis[1], x_axis[2]);
    if (!vector_finite(centre) || !vector_finite(velocity) || !vector_finite(spin) || !vector_finite(axle))
        return;

    double limit;
    if (vec_dot(velocity, point_velocity) >= 0.0) {
        limit = ROLLING_SPRAY_ANGLE;
    } else {
        double slow = (double)type->slow_speed * type->slow_speed;
        double fast = (double)type->fast_speed * type->fast_speed;
        double q = (vec_dot(spin, spin) - slow) / (fast - slow);
        q = q > 0.0 ? (q < 1.0 ? q : 1.0) : q <= 0.0 ? 0.0 : 1.0;   // NaN (equal speeds): fast
        limit = type->slow_angle + ((double)type->fast_angle - type->slow_angle) * q;
        if (limit > max_angle)
            limit = max_angle;
    }
    if (!std::isfinite(limit))
        return;

    double arm[3];
    vec_sub(arm, point, centre);
    double along = vec_dot(axle, arm), across[3];
    vec_cross(across, axle, arm);
    const double h = TIC_LENGTH;
    for (int i = 0; i < k; i++) {
        double angle = -(random_u24() * limit);
        double jitter[3];
        random_jitter(jitter, type->randomize);
        double c = cos(angle), s = sin(angle), turned[3];
        for (int j = 0; j < 3; j++)
            turned[j] = centre[j] + arm[j] * c + across[j] * s + axle[j] * along * (1.0 - c);
        if (!vector_finite(turned))
            continue;
        dVector3 u;
        dBodyGetPointVel(body, turned[0], turned[1], turned[2], u);
        double position[3], throw_velocity[3];
        for (int j = 0; j < 3; j++) {
            position[j] = turned[j] + u[j] * (i * h / k);
            throw_velocity[j] = (u[j] + jitter[j]) * type->vscale;
        }
        spawn_checked(position, throw_velocity, type);
    }
}

void emit_wheel_roost(const WheelContact *contact, int count_limit, float max_angle)
{
    if (!contact || !(contact->depth > 0.0f) || !contact->body || !current_terrain || count_limit <= 0)
        return;
    double point[3], point_velocity[3], normal[3], velocity[3];
    load_vector(point, contact->contact_point);
    load_vector(point_velocity, contact->contact_velocity);
    load_vector(normal, contact->contact_normal);
    vec_copy(velocity, dBodyGetLinearVel(contact->body));
    if (!vector_finite(point) || !vector_finite(point_velocity) || !vector_finite(normal) ||
        !vector_finite(velocity))
        return;
    const TileInfo *tile = terrain_tile_at(current_terrain, contact->contact_point[0], contact->contact_point[2]);
    for (int kind = 0; kind < TILE_ROOST_KINDS; kind++) {
        const RoostType *type = &tile->roost[kind];
        if (type->flag == 0)
            break;
        int k = roost_particle_count(type->count, count_limit);
        if (type->flag == 2) {
            emit_splash(type, k, point, normal, velocity);
        } else if (type->flag == 1) {
            double threshold = type->slip_threshold;
            if (threshold * threshold <= vec_dot(point_velocity, point_velocity))
                emit_spray(type, k, max_angle, contact->body, point, point_velocity);
        }
    }
}
