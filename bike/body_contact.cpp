// Body contacts: spheres of collision shapes against the terrain (one soft
// joint per touching sphere), sphere pairs as contact joints, spring-damper
// forces or a bare overlap test, posed shapes against each other, and a
// wheel against a posed shape standing in for its ground contact.
#include "bike/body_contact.h"

#include <cmath>
#include <cstring>

#include "bike/bike_state.h"
#include "bike/collision.h"
#include "bike/float_vector.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "bike/wheel_contact.h"

// Springs and dampers of the sphere contacts with the terrain.
static const float TERRAIN_SPRING = 2500.0f;
static const float TERRAIN_DAMPER = 250.0f;
// The largest spring force of a sphere pair, and the largest spring-damper
// force.
static const float PAIR_SPRING_FORCE_LIMIT = 2500.0f;
static const float PAIR_FORCE_LIMIT = 1000.0f;
// The sphere a wheel collides with objects as.
static const float WHEEL_FRICTION = 1.0f;
static const float WHEEL_SPRING = 25000.0f;
static const float WHEEL_DAMPER = 2500.0f;

static float not_negative(float value)
{
    return value > 0.0f ? value : 0.0f;   // also a NaN
}

int terrain_collide_sphere(const Terrain *terrain, const float *centre, float radius, float *point,
                           float *normal, float *depth)
{
    TerrainWalk walk;
    if (!get_terrain_walk(terrain, centre[0], centre[2], radius, &walk))
        return 0;
    // Every point of a cell's triangles is at most as high as its highest
    // corner: a cell whose highest corner lies clearly below the sphere's
    // lowest point cannot touch it (the margin covers rounding).
    float bottom = centre[1] - radius - CELL_SKIP_MARGIN;
    float best = 0.0f, best_point[3] = {0, 0, 0}, best_normal[3] = {0, 1, 0};
    for (int row = walk.first_row; row <= walk.last_row; row++)
        for (int column = walk.first_column; column <= walk.last_column; column++) {
            if (skip_low_terrain_cells && get_cell_top(terrain, column, row) < bottom)
                continue;
            float tri[2][3][3];
            get_cell_triangles(terrain, column, row, tri);
            for (int k = 0; k < 2; k++) {
                float p[3], n[3];
                float d =
                    collide_sphere_triangle(centre, radius, tri[k][0], tri[k][1], tri[k][2], p, n);
                if (d > best) {
                    best = d;
                    vecf_copy(best_point, p);
                    vecf_copy(best_normal, n);
                }
            }
        }
    if (!(best > 0.0f))
        return 0;
    clean_contact_normal(best_normal);
    vecf_copy(point, best_point);
    vecf_copy(normal, best_normal);
    *depth = best;
    return 1;
}

static void set_contact_geometry(dContact *contact, const float *point, const float *normal,
                                 float depth)
{
    for (int k = 0; k < 3; k++) {
        contact->geom.pos[k] = point[k];
        contact->geom.normal[k] = normal[k];
    }
    contact->geom.depth = depth;
}

// One soft joint between a body and the ground.
static void make_terrain_sphere_joint(dBodyID body, const float *point, const float *normal,
                                      float depth, float mu, float mu2, const float *axis)
{
    if (!contact_is_usable(point, normal, depth))
        return;
    dContact contact;
    memset(&contact, 0, sizeof contact);
    set_contact_geometry(&contact, point, normal, depth);
    contact.surface.mode = CONTACT_MODE_SOFT;
    contact.surface.mu = not_negative(mu);
    contact_softness(TERRAIN_SPRING, TERRAIN_DAMPER, &contact.surface.soft_erp,
                     &contact.surface.soft_cfm);
    if (axis) {
        float d[3];
        vecf_cross(d, normal, axis);
        float dd = vecf_length_squared(d);
        if (dd > 0.0f && std::isfinite(dd)) {
            float length = sqrtf(dd);
            for (int k = 0; k < 3; k++)
                contact.fdir1[k] = d[k] / length;
            contact.surface.mu2 = not_negative(mu2);
            contact.surface.mode = CONTACT_MODE_SOFT_FDIR_MU2;
        }
    }
    create_contact_joint(&contact, body, nullptr);
}

int terrain_contact_sphere(const Terrain *terrain, const float *centre, float radius, float mu,
                           float mu2, const float *axis, dBodyID body)
{
    float point[3], normal[3], depth;
    if (!terrain_collide_sphere(terrain, centre, radius, point, normal, &depth))
        return 0;
    if (body)
        make_terrain_sphere_joint(body, point, normal, depth, mu, mu2, axis);
    return 1;
}

void pose_shape(CollisionShape *copy, const float *position, const float *rotation)
{
    if (!copy || !copy->source)
        return;
    const CollisionShape *source = copy->source;
    int count = copy->sphere_count;
    if (source->sphere_count < count)
        count = source->sphere_count;
    const float *m = rotation;
    for (int i = 0; i < count; i++) {
        const ShapeSphere *s = &source->spheres[i];
        ShapeSphere *out = &copy->spheres[i];
        out->x = m[0] * s->x + m[1] * s->y + m[2] * s->z + position[0];
        out->y = m[3] * s->x + m[4] * s->y + m[5] * s->z + position[1];
        out->z = m[6] * s->x + m[7] * s->y + m[8] * s->z + position[2];
    }
}

void get_body_pose(dBodyID body, float *position, float *rotation)
{
    if (!body) {
        vecf_set(position, 0.0f, 0.0f, 0.0f);
        for (int i = 0; i < 9; i++)
            rotation[i] = i % 4 == 0 ? 1.0f : 0.0f;
        return;
    }
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);   // three rows of four
    for (int i = 0; i < 3; i++) {
        position[i] = (float)p[i];
        for (int j = 0; j < 3; j++)
            rotation[3 * i + j] = (float)r[4 * i + j];
    }
}

int terrain_contact_body_shape(CollisionShape *copy, dBodyID body, const float *position,
                               const float *rotation, const Terrain *terrain)
{
    if (!copy)
        return 0;
    pose_shape(copy, position, rotation);
    int touched = 0;
    for (int i = 0; i < copy->sphere_count; i++) {
        SphereTerrainHit hit;
        if (!search_sphere_terrain(copy, i, terrain, &hit))
            continue;
        touched = 1;
        apply_sphere_terrain_hits(copy, body, &hit, 1);
    }
    return touched;
}

int search_sphere_terrain(const CollisionShape *copy, int index, const Terrain *terrain,
                          SphereTerrainHit *hit)
{
    const ShapeSphere *s = &copy->spheres[index];
    float centre[3] = {s->x, s->y, s->z};
    if (!terrain_collide_sphere(terrain, centre, s->radius, hit->point, hit->normal, &hit->depth))
        return 0;
    hit->sphere = index;
    return 1;
}

void apply_sphere_terrain_hits(const CollisionShape *copy, dBodyID body,
                               const SphereTerrainHit *hits, int count)
{
    if (!body)
        return;
    for (int i = 0; i < count; i++) {
        const SphereTerrainHit *h = &hits[i];
        make_terrain_sphere_joint(body, h->point, h->normal, h->depth,
                                  copy->spheres[h->sphere].friction, 0.0f, nullptr);
    }
}

static void body_point_velocity(dBodyID body, const float *point, float *out)
{
    if (!body) {
        vecf_set(out, 0.0f, 0.0f, 0.0f);
        return;
    }
    dVector3 v;
    dBodyGetPointVel(body, point[0], point[1], point[2], v);
    vecf_set(out, (float)v[0], (float)v[1], (float)v[2]);
}

int sphere_pair_surface(const ShapeSphere *a, const ShapeSphere *b, float depth,
                        dSurfaceParameters *surface, float *spring, float *damper)
{
    float kp = not_negative(fminf(a->spring, b->spring));
    float kd = not_negative(fminf(a->damper, b->damper));
    if (kp * depth > PAIR_SPRING_FORCE_LIMIT)
        kp = PAIR_SPRING_FORCE_LIMIT / depth;
    memset(surface, 0, sizeof *surface);
    surface->mode = CONTACT_MODE_SOFT;
    surface->mu = not_negative(fminf(a->friction, b->friction));
    *spring = kp;
    *damper = kd;
    return contact_softness(kp, kd, &surface->soft_erp, &surface->soft_cfm);
}

int contact_sphere_pair(const ShapeSphere *a, dBodyID body_a, const ShapeSphere *b,
                        dBodyID body_b, int mode, ContactReadout *readout)
{
    float ra = not_negative(a->radius), rb = not_negative(b->radius);
    float ca[3] = {a->x, a->y, a->z}, cb[3] = {b->x, b->y, b->z};
    float d[3];
    vecf_sub(d, cb, ca);
    float dd = vecf_length_squared(d);
    float reach = ra + rb;
    if (!(dd < reach * reach))
        return 0;   // apart, exactly touching, or not numbers
    if (!body_a && !body_b)
        return 1;
    // Centres practically on one another give no normal.
    float r_min = fminf(ra, rb);
    if (dd == 0.0f || (dd < 1.0f / 256.0f && dd < r_min * r_min / 256.0f))
        return 1;

    float distance = sqrtf(dd);
    float depth = reach - distance;
    float normal[3], point[3];
    vecf_scale(normal, d, 1.0f / distance);
    vecf_add_scaled(point, ca, d, (ra - depth / 2.0f) / distance);

    if (readout) {
        vecf_copy(readout->contact_point, point);
        body_point_velocity(body_a, point, readout->contact_velocity);
        vecf_copy(readout->contact_normal, normal);
        readout->depth = depth;
        memset(&readout->feedback, 0, sizeof readout->feedback);
    }
    if (mode == CONTACT_TEST_ONLY)
        return 1;

    dContact contact;
    memset(&contact, 0, sizeof contact);
    float kp, kd;
    int soft = sphere_pair_surface(a, b, depth, &contact.surface, &kp, &kd);
    if (mode == CONTACT_JOINT) {
        if (soft && contact_is_usable(point, normal, depth)) {
            set_contact_geometry(&contact, point, normal, depth);
            // The normal points into B: B is the first body.
            create_contact_joint(&contact, body_b, body_a);
        }
        return 1;
    }

    float va[3], vb[3], closing[3];
    body_point_velocity(body_a, point, va);
    body_point_velocity(body_b, point, vb);
    vecf_sub(closing, va, vb);
    float force = vecf_dot(closing, normal) * kd + depth * kp;
    if (!std::isfinite(force))
        return 1;
    force = force < -PAIR_FORCE_LIMIT ? -PAIR_FORCE_LIMIT
          : force > PAIR_FORCE_LIMIT  ? PAIR_FORCE_LIMIT
                                      : force;
    double at[3] = {point[0], point[1], point[2]};
    double push[3] = {force * normal[0], force * normal[1], force * normal[2]};
    if (body_b && dBodyIsEnabled(body_b))
        add_body_force_at_pos(body_b, push, at);
    double pull[3] = {-push[0], -push[1], -push[2]};
    if (body_a && dBodyIsEnabled(body_a))
        add_body_force_at_pos(body_a, pull, at);
    return 1;
}

int collide_shape_pair(CollisionShape *a, dBodyID body_a, const float *position_a,
                       const float *rotation_a, CollisionShape *b, dBodyID body_b,
                       const float *position_b, const float *rotation_b, int mode)
{
    if (!a || !b)
        return 0;
    float apart[3];
    vecf_sub(apart, position_b, position_a);
    float reach = a->bounding_radius + b->bounding_radius;
    if (!(vecf_length_squared(apart) < reach * reach))
        return 0;
    pose_shape(a, position_a, rotation_a);
    pose_shape(b, position_b, rotation_b);
    int hit = 0;
    for (int i = 0; i < a->sphere_count; i++)
        for (int j = 0; j < b->sphere_count; j++)
            if (contact_sphere_pair(&a->spheres[i], body_a, &b->spheres[j], body_b, mode, nullptr))
                hit = 1;
    return hit;
}

int collide_wheel_shape(CollisionShape *object, dBodyID object_body, const float *position,
                        const float *rotation, WheelContact *wheel, int mode)
{
    float c[3], a[3];
    if (!object || !get_wheel_ring(wheel, c, a))
        return 0;
    float apart[3];
    vecf_sub(apart, c, position);
    float reach = wheel->tyre_radius + wheel->rim_radius + object->bounding_radius;
    if (!(vecf_length_squared(apart) < reach * reach))
        return 0;
    pose_shape(object, position, rotation);

    ShapeSphere tyre = {0.0f, 0.0f, 0.0f, wheel->tyre_radius, WHEEL_FRICTION, WHEEL_SPRING,
                        WHEEL_DAMPER};
    ContactReadout best, trial;
    memset(&best, 0, sizeof best);
    int hit = 0;
    for (int i = 0; i < object->sphere_count; i++) {
        const ShapeSphere *s = &object->spheres[i];
        float centre[3] = {s->x, s->y, s->z}, ring[3];
        nearest_ring_point(c, a, wheel->rim_radius, centre, ring);
        tyre.x = ring[0];
        tyre.y = ring[1];
        tyre.z = ring[2];
        trial.depth = 0.0f;
        if (contact_sphere_pair(&tyre, wheel->body, s, object_body, mode, &trial))
            hit = 1;
        if (trial.depth > best.depth)
            best = trial;
    }
    if (best.depth > 0.0f && wheel->depth == 0.0f) {
        vecf_copy(wheel->contact_point, best.contact_point);
        vecf_copy(wheel->contact_velocity, best.contact_velocity);
        vecf_copy(wheel->contact_normal, best.contact_normal);
        wheel->depth = best.depth;
        wheel->feedback = best.feedback;
    }
    return hit;
}
