// Body contacts: a sphere against the terrain, a posed collision shape
// against the terrain, a pair of spheres (contact joint, spring-damper
// forces or a bare overlap test), two posed shapes, and a wheel against a
// posed shape.
#pragma once

#include <ode/ode.h>

struct CollisionShape;
struct ShapeSphere;
struct Terrain;
struct WheelContact;

// Modes of the sphere-pair operations.
enum { CONTACT_TEST_ONLY = -1, CONTACT_JOINT = 0, CONTACT_SPRING = 1 };

// Laid out like the tail of a WheelContact.
struct ContactReadout {
    float contact_point[3];
    float contact_velocity[3];
    float contact_normal[3];
    float depth;
    dJointFeedback feedback;
};

// The deepest contact of a sphere with the terrain's triangles under it
// (cells below it passed over as skip_low_terrain_cells says).
int terrain_collide_sphere(const Terrain *terrain, const float *centre, float radius, float *point,
                           float *normal, float *depth);
int terrain_contact_sphere(const Terrain *terrain, const float *centre, float radius, float mu,
                           float mu2, const float *axis, dBodyID body);
// Writes the world centres of a private copy from its source shape, turned
// by the row-major rotation and moved by the position.
void pose_shape(CollisionShape *copy, const float *position, const float *rotation);
int terrain_contact_body_shape(CollisionShape *copy, dBodyID body, const float *position,
                               const float *rotation, const Terrain *terrain);
// A touching sphere of a posed shape and its deepest terrain contact.
struct SphereTerrainHit {
    int sphere;
    float point[3];
    float normal[3];
    float depth;
};
// Sphere index of a posed copy against the terrain: 1 and the hit when it
// touches. Reads only; may run beside other bikes' searches.
int search_sphere_terrain(const CollisionShape *copy, int index, const Terrain *terrain,
                          SphereTerrainHit *hit);
// One soft joint per hit, in the order given, as terrain_contact_body_shape
// makes them.
void apply_sphere_terrain_hits(const CollisionShape *copy, dBodyID body,
                               const SphereTerrainHit *hits, int count);
// The surface of a sphere pair's contact joint at a depth: the smaller
// friction, spring and damper of the two (below 0 counting as 0), the spring
// lowered so that its force stays within 2500. spring and damper get the
// values used; 0 when they make no contact (both 0).
int sphere_pair_surface(const ShapeSphere *a, const ShapeSphere *b, float depth,
                        dSurfaceParameters *surface, float *spring, float *damper);
int contact_sphere_pair(const ShapeSphere *a, dBodyID body_a, const ShapeSphere *b,
                        dBodyID body_b, int mode, ContactReadout *readout);
int collide_shape_pair(CollisionShape *a, dBodyID body_a, const float *position_a,
                       const float *rotation_a, CollisionShape *b, dBodyID body_b,
                       const float *position_b, const float *rotation_b, int mode);
int collide_wheel_shape(CollisionShape *object, dBodyID object_body, const float *position,
                        const float *rotation, WheelContact *wheel, int mode);
// A body's position and rotation (row-major 3 x 3) as floats.
void get_body_pose(dBodyID body, float *position, float *rotation);
