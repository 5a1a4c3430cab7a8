// Wheel contacts against the terrain: the cell walk shared by every terrain
// search, the deepest and the first touching triangle under a wheel, and the
// physics contact of a wheel with its tile friction, softness, friction
// direction and rolling resistance.
#include "bike/wheel_contact.h"

#include <cmath>
#include <cstring>

#include "bike/bike_state.h"
#include "bike/collision.h"
#include "bike/contact_readout.h"
#include "bike/float_vector.h"
#include "bike/physics_world.h"
#include "race/race_state.h"
#include "track/terrain.h"

int skip_low_terrain_cells = 1;

static const float FRICTION_SPEED_EMPTY = 1048576.0f;
static const float SLOW_SLIP = 0.0625f;
static const float SHORT_DIRECTION = 1.0f / 1024.0f;
// Cell indices stay within this (exact in floats, far from int limits).

static float clamp_index_float(float value, float low, float high)
{
    return value < low ? low : value > high ? high : value;
}

// One axis of the walk: cells first..last, at most TERRAIN_WALK_LIMIT of
// them nearest the centre.
static int walk_span(float centre, float half_width, float cell, int *first, int *last)
{
    float low = floorf((centre - half_width) / cell);
    float high = ceilf((centre + half_width) / cell) - 1.0f;
    if (!(low <= high))
        return 0;   // empty, or not a number
    low = clamp_index_float(low, -WALK_INDEX_LIMIT, WALK_INDEX_LIMIT);
    high = clamp_index_float(high, -WALK_INDEX_LIMIT, WALK_INDEX_LIMIT);
    const float limit = (float)TERRAIN_WALK_LIMIT;
    if (high - low + 1.0f > limit) {
        float middle = clamp_index_float(floorf(centre / cell), low, high);
        float start = middle - (limit / 2.0f - 1.0f);
        if (start < low)
            start = low;
        if (start + limit - 1.0f > high)
            start = high - (limit - 1.0f);
        low = start;
        high = start + limit - 1.0f;
    }
    *first = (int)low;
    *last = (int)high;
    return 1;
}

int get_terrain_walk(const Terrain *terrain, float x, float z, float half_width, TerrainWalk *walk)
{
    if (!terrain || !terrain->heights || terrain->side < 1)
        return 0;
    float cell = terrain->cell;
    if (!(cell > 0.0f) || !std::isfinite(cell))
        return 0;
    return walk_span(x, half_width, cell, &walk->first_column, &walk->last_column) &&
           walk_span(z, half_width, cell, &walk->first_row, &walk->last_row);
}

static void grid_corner(const Terrain *terrain, int column, int row, float *out)
{
    int side = terrain->side;
    int c = column < 0 ? 0 : column >= side ? side - 1 : column;
    int r = row < 0 ? 0 : row >= side ? side - 1 : row;
    out[0] = (float)column * terrain->cell;
    out[1] = terrain->heights[(size_t)r * side + c];
    out[2] = (float)row * terrain->cell;
}

float get_cell_top(const Terrain *terrain, int column, int row)
{
    int side = terrain->side;
    int c0 = column < 0 ? 0 : column >= side ? side - 1 : column;
    int c1 = column + 1 < 0 ? 0 : column + 1 >= side ? side - 1 : column + 1;
    int r0 = row < 0 ? 0 : row >= side ? side - 1 : row;
    int r1 = row + 1 < 0 ? 0 : row + 1 >= side ? side - 1 : row + 1;
    const float *h = terrain->heights;
    float a = h[(size_t)r0 * side + c0], b = h[(size_t)r0 * side + c1];
    float c = h[(size_t)r1 * side + c0], d = h[(size_t)r1 * side + c1];
    // A corner that is not a number keeps the cell in the search.
    if (!(a == a && b == b && c == c && d == d))
        return INFINITY;
    float first = a > b ? a : b, second = c > d ? c : d;
    return first > second ? first : second;
}

void get_cell_triangles(const Terrain *terrain, int column, int row, float triangles[2][3][3])
{
    // Diagonal (i, j)-(i+1, j+1) when column and row have the same parity.
    int p = ((column ^ row) & 1) == 0;
    grid_corner(terrain, column, row, triangles[0][0]);
    grid_corner(terrain, column, row + 1, triangles[0][1]);
    grid_corner(terrain, column + 1, row + p, triangles[0][2]);
    grid_corner(terrain, column + 1, row + 1, triangles[1][0]);
    grid_corner(terrain, column + 1, row, triangles[1][1]);
    grid_corner(terrain, column, row + 1 - p, triangles[1][2]);
}

void clean_contact_normal(float *normal)
{
    if (normal[1] < 0.0f) {
        if (normal[0] * normal[0] + normal[2] * normal[2] >= SHORT_DIRECTION)
            normal[1] = 0.0f;
        else
            vecf_set(normal, 0.0f, 1.0f, 0.0f);
    }
    float length = vecf_length(normal);
    if (length > 0.0f && std::isfinite(length))
        vecf_scale(normal, normal, 1.0f / length);
    else
        vecf_set(normal, 0.0f, 1.0f, 0.0f);
}

int get_wheel_ring(const WheelContact *wheel, float *centre, float *axis)
{
    if (!wheel || !wheel->body)
        return 0;
    const dReal *position = dBodyGetPosition(wheel->body);
    dVector3 axle;
    dBodyGetRelPointPos(wheel->body, wheel->axle[0], wheel->axle[1], wheel->axle[2], axle);
    for (int k = 0; k < 3; k++) {
        centre[k] = (float)position[k];
        axis[k] = (float)(axle[k] - position[k]);
    }
    return 1;
}

int terrain_collide_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                          float *normal, float *depth)
{
    float c[3], a[3];
    if (!get_wheel_ring(wheel, c, a))
        return 0;
    float R = wheel->rim_radius, r = wheel->tyre_radius;
    TerrainWalk walk;
    if (!get_terrain_walk(terrain, c[0], c[2], R + r, &walk))
        return 0;
    // No point of the tyre lies lower than R + r below the centre.
    float bottom = c[1] - (R + r) - CELL_SKIP_MARGIN;
    float best = 0.0f, best_point[3] = {0, 0, 0}, best_normal[3] = {0, 1, 0};
    for (int row = walk.first_row; row <= walk.last_row; row++)
        for (int column = walk.first_column; column <= walk.last_column; column++) {
            if (skip_low_terrain_cells && get_cell_top(terrain, column, row) < bottom)
                continue;
            float tri[2][3][3];
            get_cell_triangles(terrain, column, row, tri);
            for (int k = 0; k < 2; k++) {
                float p[3], n[3];
                float d = collide_wheel_triangle(c, a, R, r, tri[k][0], tri[k][1], tri[k][2], p, n);
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

// The k-th index of a run visited from its middle outward: middle, +1, -1,
// +2, -2, ...
static int centre_out_index(int first, int count, int k)
{
    int middle = first + (count - 1) / 2;
    return (k & 1) ? middle + k / 2 + 1 : middle - k / 2;
}

int terrain_touch_wheel(const Terrain *terrain, const WheelContact *wheel, float *point,
                        float *normal, float *depth)
{
    float c[3], a[3];
    if (!get_wheel_ring(wheel, c, a))
        return 0;
    float R = wheel->rim_radius, r = wheel->tyre_radius;
    TerrainWalk walk;
    if (!get_terrain_walk(terrain, c[0], c[2], R + r, &walk))
        return 0;
    int rows = walk.last_row - walk.first_row + 1;
    int columns = walk.last_column - walk.first_column + 1;
    for (int i = 0; i < rows; i++) {
        int row = centre_out_index(walk.first_row, rows, i);
        for (int j = 0; j < columns; j++) {
            int column = centre_out_index(walk.first_column, columns, j);
            float tri[2][3][3];
            get_cell_triangles(terrain, column, row, tri);
            for (int k = 0; k < 2; k++) {
                float p[3], n[3];
                float d = touch_wheel_triangle(c, a, R, r, tri[k][0], tri[k][1], tri[k][2], p, n);
                if (d > 0.0f) {
                    clean_contact_normal(n);
                    vecf_copy(point, p);
                    vecf_copy(normal, n);
                    *depth = d;
                    return 1;
                }
            }
        }
    }
    return 0;
}

float wheel_friction_speed(const TileInfo *tile, const WheelContact *wheel)
{
    float slip = vecf_length(wheel->contact_velocity);
    if (tile->slip_function != 2 || !(slip >= SLOW_SLIP))
        return slip;
    // The rolling speed along the slip: the ground velocity of the contact
    // point without the spin about the axle.
    float ground[3];
    get_contact_ground_velocity(wheel, ground);
    float s = vecf_dot(ground, wheel->contact_velocity) / slip;
    return s < -slip ? -slip : s > slip ? slip : s;
}

static float clamp_unit(float t)
{
    return t >= 0.0f ? (t <= 1.0f ? t : 1.0f) : 0.0f;   // a NaN becomes 0
}

float lookup_tile_friction(const TileInfo *tile, float speed)
{
    const float *speeds = tile->friction_speed;
    const float *values = tile->friction_value;
    // 0, and any value outside 0..2: interpolated in squared speeds.
    int squared = tile->slip_function != 1 && tile->slip_function != 2;
    float s2 = speed * speed;
    int k = 0;
    for (; k < TILE_CURVE_POINTS; k++) {
        if (speeds[k] == FRICTION_SPEED_EMPTY)
            break;
        if (squared ? speeds[k] * speeds[k] > s2 : speeds[k] > speed)
            break;
    }
    if (k == 0)
        return values[0];
    if (k == TILE_CURVE_POINTS)
        return values[k - 1];
    if (speeds[k] == FRICTION_SPEED_EMPTY)
        return values[k - 1];
    float t;
    if (squared) {
        float low = speeds[k - 1] * speeds[k - 1];
        t = (s2 - low) / (speeds[k] * speeds[k] - low);
    } else {
        t = (speed - speeds[k - 1]) / (speeds[k] - speeds[k - 1]);
    }
    t = clamp_unit(t);
    return values[k - 1] + t * (values[k] - values[k - 1]);
}

void lookup_roll_resist(const TileInfo *tile, float speed, float *light, float *full)
{
    const float *speeds = tile->roll_resist_speed;
    int k = 0;
    while (k < TILE_CURVE_POINTS && speeds[k] != 0.0f && !(speeds[k] > speed))
        k++;
    if (k == 0 || k == TILE_CURVE_POINTS || speeds[k] == 0.0f) {
        int i = k == 0 ? 0 : k - 1;
        *light = tile->roll_resist_value[i][0];
        *full = tile->roll_resist_value[i][1];
        return;
    }
    float t = clamp_unit((speed - speeds[k - 1]) / (speeds[k] - speeds[k - 1]));
    const float *a = tile->roll_resist_value[k - 1], *b = tile->roll_resist_value[k];
    *light = a[0] + t * (b[0] - a[0]);
    *full = a[1] + t * (b[1] - a[1]);
}

int contact_softness(float kp, float kd, dReal *erp, dReal *cfm)
{
    if (!(kp > 0.0f))
        kp = 0.0f;
    if (!(kd > 0.0f))
        kd = 0.0f;
    float hk = TIC_LENGTH * kp;
    float sum = hk + kd;
    if (!(sum > 0.0f) || !std::isfinite(sum))
        return 0;
    *erp = hk / sum;
    *cfm = 1.0f / sum;
    return 1;
}

int contact_is_usable(const float *point, const float *normal, float depth)
{
    if (!vecf_finite(point) || !vecf_finite(normal) || !(depth > 0.0f))
        return 0;
    if (!(depth <= CONTACT_COORDINATE_LIMIT))
        return 0;
    for (int k = 0; k < 3; k++)
        if (!(fabsf(point[k]) <= CONTACT_COORDINATE_LIMIT))
            return 0;
    return vecf_length_squared(normal) > 0.0f;
}

int fill_wheel_contact(const Terrain *terrain, WheelContact *wheel, float grip, dContact *contact,
                       float *compression)
{
    float point[3], normal[3], depth;
    if (!terrain_collide_wheel(terrain, wheel, point, normal, &depth)) {
        wheel->depth = 0.0f;
        return 0;
    }
    dVector3 velocity;
    dBodyGetPointVel(wheel->body, point[0], point[1], point[2], velocity);
    for (int k = 0; k < 3; k++)
        wheel->contact_velocity[k] = (float)velocity[k];
    vecf_copy(wheel->contact_point, point);
    vecf_copy(wheel->contact_normal, normal);
    wheel->depth = depth;

    const TileInfo *tile = terrain_tile_at(terrain, point[0], point[2]);
    float mu = lookup_tile_friction(tile, wheel_friction_speed(tile, wheel)) * grip;

    float c = depth / wheel->tyre_radius;
    c = c >= 0.0f ? (c <= 1.0f ? c : 1.0f) : 0.0f;
    float c3 = c * c * c;
    float kp = 1000.0f + 24000.0f * c3;
    float kd = 200.0f + 2300.0f * c3;

    memset(contact, 0, sizeof *contact);
    contact->surface.mode = CONTACT_MODE_SOFT;
    contact->surface.mu = mu > 0.0f ? mu : 0.0f;   // also a NaN
    contact_softness(kp, kd, &contact->surface.soft_erp, &contact->surface.soft_cfm);

    // Friction along the slip, or across the axle when the slip is slow.
    float d[3];
    vecf_cross(d, normal, wheel->contact_velocity);
    if (!(vecf_length_squared(d) >= SHORT_DIRECTION)) {
        dVector3 axle;
        dBodyVectorToWorld(wheel->body, wheel->axle[0], wheel->axle[1], wheel->axle[2], axle);
        float a[3] = {(float)axle[0], (float)axle[1], (float)axle[2]};
        vecf_cross(d, normal, a);
    }
    float dd = vecf_length_squared(d);
    if (dd > 0.0f && std::isfinite(dd)) {
        float length = sqrtf(dd);
        for (int k = 0; k < 3; k++)
            contact->fdir1[k] = d[k] / length;
        contact->surface.mode |= dContactFDir1;
    }
    for (int k = 0; k < 3; k++) {
        contact->geom.pos[k] = point[k];
        contact->geom.normal[k] = normal[k];
    }
    contact->geom.depth = depth;
    *compression = c;
    return 1;
}

int terrain_contact_wheel(const Terrain *terrain, WheelContact *wheel, float grip)
{
    dContact contact;
    float compression;
    if (!fill_wheel_contact(terrain, wheel, grip, &contact, &compression))
        return 0;
    apply_wheel_contact(terrain, wheel, &contact, compression);
    return 1;
}

void apply_wheel_contact(const Terrain *terrain, WheelContact *wheel, const dContact *contact,
                         float compression)
{
    if (contact_is_usable(wheel->contact_point, wheel->contact_normal, wheel->depth)) {
        dJointID joint = create_contact_joint(contact, wheel->body, nullptr);
        if (joint)
            dJointSetFeedback(joint, &wheel->feedback);
    }

    // Rolling resistance: against the ground speed, proportional up to
    // 1 ft/s and constant above, growing with the tyre's compression.
    const float *n = wheel->contact_normal;
    const dReal *velocity = dBodyGetLinearVel(wheel->body);
    float u[3] = {(float)velocity[0], (float)velocity[1], (float)velocity[2]};
    float along[3];
    vecf_add_scaled(along, u, n, -vecf_dot(u, n));
    float q = vecf_length(along);
    const float *p = wheel->contact_point;
    const TileInfo *tile = terrain_tile_at(terrain, p[0], p[2]);
    float light, full;
    lookup_roll_resist(tile, q, &light, &full);
    float K = light + (full - light) * compression;
    if (q > 1.0f)
        vecf_scale(along, along, 1.0f / q);
    add_body_force(wheel->body, -K * along[0], -K * along[1], -K * along[2]);
}
