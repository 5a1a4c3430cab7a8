// Wheel contacts against the terrain: the deepest contact of a wheel with
// the triangles around it, the first touching triangle from the centre out
// (read-outs), and the physics contact with tile friction, softness,
// friction direction and rolling resistance.
#pragma once

#include "bike/physics_limits.h"

#include <ode/ode.h>

struct Terrain;
struct TileInfo;
struct WheelContact;


// Contact modes handed to the physics library: soft, with the friction
// pyramid on both directions, optionally along a given first direction and
// with a second coefficient.
enum {
    CONTACT_MODE_SOFT = dContactApprox1 | dContactSoftERP | dContactSoftCFM,
    CONTACT_MODE_SOFT_FDIR = CONTACT_MODE_SOFT | dContactFDir1,
    CONTACT_MODE_SOFT_FDIR_MU2 = CONTACT_MODE_SOFT_FDIR | dContactMu2,
};


int terrain_collide_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                          float *normal, float *depth);
int terrain_touch_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                        float *normal, float *depth);
// 1 and one contact joint when the wheel touches (grip scales the tile's
// friction), else 0 with the wheel's depth 0.
int terrain_contact_wheel(const Terrain *terrain, WheelContact *wheel, float grip);

// The contact of a touching wheel as terrain_contact_wheel hands it to the
// physics library: the wheel's contact fields are stored and the record
// filled (friction, softness, direction). 0 when the wheel does not touch
// (its depth set to 0). compression gets depth / tyre radius, at most 1.
int fill_wheel_contact(const Terrain *terrain, WheelContact *wheel, float grip, dContact *contact,
                       float *compression);
// The second half of terrain_contact_wheel: the joint of a contact that
// fill_wheel_contact filled, and the rolling resistance.
void apply_wheel_contact(const Terrain *terrain, WheelContact *wheel, const dContact *contact,
                         float compression);
// The wheel's speed used for the friction lookup of a tile.
float wheel_friction_speed(const TileInfo *tile, const WheelContact *wheel);
// The tile's friction coefficient at a lookup speed.
float lookup_tile_friction(const TileInfo *tile, float speed);
// The tile's two rolling-resistance coefficients (light and full load) at a
// ground speed.
void lookup_roll_resist(const TileInfo *tile, float speed, float *light, float *full);

// Soft ERP and CFM over one tic of a spring kp and a damper kd (values
// below 0 count as 0); 0 when together they make no contact.
int contact_softness(float kp, float kd, dReal *erp, dReal *cfm);
// 1 when a contact's point, normal and depth may reach the physics library.
int contact_is_usable(const float *point, const float *normal, float depth);

// The cells a search of half-width around (x, z) visits, rows and columns
// from first to last. 0 when there are none (no grid, a bad cell size, a
// centre that is not a number).
struct TerrainWalk {
    int first_column, last_column;
    int first_row, last_row;
};
int get_terrain_walk(const Terrain *terrain, float x, float z, float half_width,
                     TerrainWalk *walk);
// The two triangles of a cell, A then B, corners in order (normals up).
// Past the grid the heights of the nearest edge samples continue.
void get_cell_triangles(const Terrain *terrain, int column, int row, float triangles[2][3][3]);
// 1 (the default): the terrain searches of wheels and body spheres pass
// over cells whose highest corner lies more than CELL_SKIP_MARGIN below
// the wheel's or sphere's lowest point, which cannot touch it; 0 searches
// every cell. The results are the same either way.
extern int skip_low_terrain_cells;
const float CELL_SKIP_MARGIN = 1.0f / 16.0f;   // ft, far above the rounding of a search
// The highest of a cell's four corners as get_cell_triangles reads them;
// infinity when one is not a number.
float get_cell_top(const Terrain *terrain, int column, int row);
// A normal that points down is laid flat (or straight up when it points
// almost straight down), then scaled to unit length.
void clean_contact_normal(float *normal);
// The wheel's centre and its axle in the world; 0 without a body.
int get_wheel_ring(const WheelContact *wheel, float *centre, float *axis);
