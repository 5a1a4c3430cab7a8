// Bike meshes and skins. Every point is laid out in the bike's rest
// coordinates (y up from the ground, forward toward -z), built from the
// positions of the bike table, and each part is then moved into the frame
// of the body it follows. Skins share one layout, so any skin fits any
// bike: regions of the 512 x 512 image hold the tank and shrouds, the
// number plate panels, the fenders, the seat, the frame, the engine, the
// exhaust, the fork and the bars.
#include "tools/datagen/gen_bikes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/bike_models.h"
#include "tools/datagen/gen_image.h"
#include "tools/datagen/gen_levels.h"
#include "tools/datagen/gen_vector.h"

const char *const BIKE_MESH_SUFFIXES[BIKE_MESH_PARTS] = {"_frame",    "_fork_upper",  "_fork_lower",
                                                         "_swingarm", "_side_plates", "_front_plate"};
const float SIDE_PLATE_Z[2] = {4.28f, 4.9f}, SIDE_PLATE_Y[2] = {2.2f, 2.76f};

namespace {

// The skin's regions.
const UvRect UV_TANK = {0.0f, 0.0f, 0.5f, 0.5f};
const UvRect UV_PANEL = {0.5f, 0.0f, 1.0f, 0.25f};
const UvRect UV_FRONT_PANEL = {0.5f, 0.25f, 0.75f, 0.5f};
const UvRect UV_FENDER = {0.75f, 0.25f, 1.0f, 0.5f};
const UvRect UV_SEAT = {0.0f, 0.5f, 0.5f, 0.625f};
const UvRect UV_FRAME = {0.0f, 0.625f, 0.5f, 0.75f};
const UvRect UV_ENGINE = {0.5f, 0.5f, 1.0f, 0.75f};
const UvRect UV_EXHAUST = {0.0f, 0.75f, 0.5f, 0.875f};
const UvRect UV_FORK = {0.5f, 0.75f, 1.0f, 0.875f};
const UvRect UV_BARS = {0.0f, 0.875f, 0.5f, 1.0f};
const UvRect UV_DARK = {0.5f, 0.875f, 1.0f, 1.0f};
const UvRect UV_WHOLE = {0.0f, 0.0f, 1.0f, 1.0f};

// The wheel texture's regions.
const UvRect UV_TYRE = {0.0f, 0.0f, 1.0f, 0.5f};
const UvRect UV_RIM = {0.0f, 0.5f, 0.5f, 0.75f};
const UvRect UV_HUB = {0.5f, 0.5f, 1.0f, 0.75f};
const UvRect UV_SPOKE = {0.0f, 0.75f, 0.5f, 1.0f};
const UvRect UV_DISC = {0.5f, 0.75f, 1.0f, 1.0f};

// Builds into one mesh with points given in rest coordinates.
struct PartBuilder {
    GenMesh *mesh;
    float origin[3];   // the body's rest position
    int level;         // of MODEL_LEVEL_TABLE, 0 full
};

void local(const PartBuilder *b, float *out, float x, float y, float z)
{
    v3_set(out, x - b->origin[0], y - b->origin[1], z - b->origin[2]);
}

int sides(const PartBuilder *b, int full, float radius)
{
    return level_segments(b->level, full, radius, 3);
}

void level_ellipsoid_at(const PartBuilder *b, const GenFrame *f, float rx, float ry, float rz, int full_slices,
                        int full_stacks, UvRect uv)
{
    int slices, stacks;
    level_ellipsoid(b->level, full_slices, full_stacks, rx, ry, rz, &slices, &stacks);
    add_ellipsoid(b->mesh, f, rx, ry, rz, slices, stacks, uv);
}

// Whether a piece of these full sizes is left out at the builder's level:
// once two of them are under half a pixel it would only show as a dotted
// line or a speck.
int too_thin(const PartBuilder *b, float size_a, float size_b, float size_c)
{
    double half = 0.5 * level_pixel(b->level);
    return (size_a < half) + (size_b < half) + (size_c < half) >= 2;
}

void tube(PartBuilder *b, const float *p0, const float *p1, float r0, float r1, UvRect uv, int caps = 1)
{
    float thickness = 2.0f * fmaxf(r0, r1);
    if (too_thin(b, thickness, thickness, 1e9f))
        return;
    // An open end narrower than a pixel shows no hole.
    if ((double)thickness < level_pixel(b->level))
        caps = 0;
    float a[3], c[3];
    local(b, a, p0[0], p0[1], p0[2]);
    local(b, c, p1[0], p1[1], p1[2]);
    add_tube(b->mesh, a, c, r0, r1, sides(b, 10, fmaxf(r0, r1)), uv, caps);
}

void tube_xyz(PartBuilder *b, float x0, float y0, float z0, float x1, float y1, float z1, float r, UvRect uv)
{
    float p0[3] = {x0, y0, z0}, p1[3] = {x1, y1, z1};
    tube(b, p0, p1, r, r, uv);
}

// A path of tubes through points with radii; joints get a ball so the
// bends stay closed, while the gap it closes is wider than a pixel.
void pipe(PartBuilder *b, const float (*points)[3], const float *radii, int count, UvRect uv)
{
    for (int i = 0; i + 1 < count; i++)
        tube(b, points[i], points[i + 1], radii[i], radii[i + 1], uv, i == 0 || i + 2 == count);
    for (int i = 1; i + 1 < count; i++) {
        if ((double)radii[i] < level_pixel(b->level))
            continue;
        GenFrame f = frame_at(0, 0, 0);
        local(b, f.origin, points[i][0], points[i][1], points[i][2]);
        level_ellipsoid_at(b, &f, radii[i], radii[i], radii[i], 8, 3, uv);
    }
}

void box(PartBuilder *b, float x, float y, float z, float hx, float hy, float hz, UvRect uv)
{
    if (too_thin(b, 2.0f * hx, 2.0f * hy, 2.0f * hz))
        return;
    GenFrame f = frame_at(0, 0, 0);
    local(b, f.origin, x, y, z);
    add_box(b->mesh, &f, hx, hy, hz, uv);
}

// A box whose long (z) axis runs from p0 to p1.
void beam(PartBuilder *b, const float *p0, const float *p1, float hx, float hy, UvRect uv)
{
    float d[3], mid[3];
    v3_sub(d, p1, p0);
    float length = v3_length(d);
    if (too_thin(b, 2.0f * hx, 2.0f * hy, length))
        return;
    v3_add(mid, p0, p1);
    v3_scale(mid, mid, 0.5f);
    float side[3] = {1, 0, 0};
    float origin[3];
    local(b, origin, mid[0], mid[1], mid[2]);
    GenFrame f = frame_along(origin, d, side);
    add_box(b->mesh, &f, hx, hy, length * 0.5f, uv);
}

void ellipsoid(PartBuilder *b, float x, float y, float z, float rx, float ry, float rz, float pitch, UvRect uv)
{
    GenFrame f = frame_at(0, 0, 0);
    local(b, f.origin, x, y, z);
    // Pitched about x: nose (-z) down for a positive pitch.
    v3_set(f.y, 0, cosf(pitch), sinf(pitch));
    v3_set(f.z, 0, -sinf(pitch), cosf(pitch));
    level_ellipsoid_at(b, &f, rx, ry, rz, 14, 10, uv);
}

// A side plate-like prism standing at x = centre_x, its outline in (y, z).
void slab(PartBuilder *b, float centre_x, float half_width, const float *outline, int count, UvRect side_uv,
          UvRect edge_uv)
{
    GenFrame f = frame_at(0, 0, 0);
    local(b, f.origin, centre_x, 0, 0);
    add_prism(b->mesh, &f, outline, count, half_width, side_uv, edge_uv);
}

int is_four_stroke(const char *class_name)
{
    size_t n = strlen(class_name);
    return n > 0 && class_name[n - 1] == 'f';
}

void build_engine(PartBuilder *b, const char *class_name)
{
    int four = is_four_stroke(class_name);
    float scale = !strcmp(class_name, "50") ? 0.75f : !strcmp(class_name, "125") ? 0.9f
                : !strcmp(class_name, "450f") ? 1.08f : 1.0f;
    // Crankcase and gearbox, the cylinder leaning forward, the head.
    box(b, 0, 1.45f, 3.4f, 0.28f * scale, 0.3f * scale, 0.48f * scale, UV_ENGINE);
    float base[3] = {0, 1.7f, 3.05f}, top[3] = {0, 2.2f * (0.92f + 0.08f * scale), 2.85f};
    tube(b, base, top, 0.21f * scale, 0.19f * scale, UV_ENGINE);
    if (four) {
        box(b, 0, top[1] + 0.06f, top[2] - 0.02f, 0.27f * scale, 0.14f * scale, 0.26f * scale, UV_ENGINE);
    } else {
        // Cooling fins of the two-stroke head, thinned out with distance
        // and gone once they stand out less than half a pixel.
        int fins = b->level == 0 ? 4 : 0.06f * scale >= 0.5 * level_pixel(b->level) ? 2 : 0;
        for (int i = 0; i < fins; i++) {
            float t = 0.35f + 0.2f * (float)i;
            float c[3] = {0, base[1] + (top[1] - base[1]) * t, base[2] + (top[2] - base[2]) * t};
            float c2[3] = {c[0], c[1] + 0.03f, c[2] - 0.015f};
            tube(b, c, c2, 0.27f * scale, 0.27f * scale, UV_ENGINE);
        }
    }
    // Clutch and ignition covers.
    tube_xyz(b, -0.28f * scale, 1.45f, 3.5f, -0.36f * scale, 1.45f, 3.5f, 0.24f * scale, UV_ENGINE);
    tube_xyz(b, 0.28f * scale, 1.45f, 3.25f, 0.34f * scale, 1.45f, 3.25f, 0.18f * scale, UV_ENGINE);
    // The exhaust on the right.
    if (four) {
        const float points[5][3] = {{0.05f, 2.2f, 2.7f}, {0.18f, 1.85f, 2.55f}, {0.34f, 1.6f, 3.0f},
                                    {0.38f, 2.05f, 4.2f}, {0.34f, 2.35f, 4.55f}};
        const float radii[5] = {0.07f, 0.07f, 0.075f, 0.08f, 0.09f};
        pipe(b, points, radii, 5, UV_EXHAUST);
        tube_xyz(b, 0.34f, 2.33f, 4.5f, 0.31f, 2.72f, 5.7f, 0.16f * scale, UV_EXHAUST);
    } else {
        const float points[6][3] = {{0.0f, 1.95f, 2.72f}, {0.18f, 1.62f, 2.4f}, {0.33f, 1.32f, 2.9f},
                                    {0.38f, 1.5f, 3.7f},  {0.36f, 2.05f, 4.35f}, {0.34f, 2.3f, 4.6f}};
        const float radii[6] = {0.08f * scale, 0.14f * scale, 0.2f * scale, 0.2f * scale, 0.11f * scale, 0.07f};
        pipe(b, points, radii, 6, UV_EXHAUST);
        tube_xyz(b, 0.34f, 2.3f, 4.55f, 0.31f, 2.62f, 5.55f, 0.12f * scale, UV_EXHAUST);
    }
}

void build_frame(PartBuilder *b, const BikeModel *m, const char *class_name)
{
    const float *head = m->fork_upper_position, *pivot = m->swingarm_pivot;
    // The steering head tube along the steering axis.
    float axis[3];
    v3_sub(axis, m->fork_upper_position, m->fork_lower_position);
    v3_normalise(axis);
    float head_low[3], head_high[3];
    v3_mad(head_low, head, axis, -0.55f);
    v3_mad(head_high, head, axis, -0.05f);
    tube(b, head_low, head_high, 0.1f, 0.1f, UV_FRAME);
    // Spars to the pivot, down tube and cradle, subframe.
    for (int s = -1; s <= 1; s += 2) {
        float x = 0.24f * (float)s;
        const float spar[3][3] = {{0.08f * (float)s, head[1] - 0.2f, head[2] + 0.08f},
                                  {x, 2.45f, 3.9f},
                                  {x, pivot[1] + 0.05f, pivot[2]}};
        const float spar_r[3] = {0.065f, 0.07f, 0.07f};
        pipe(b, spar, spar_r, 3, UV_FRAME);
        const float sub[2][3] = {{x * 0.9f, 2.45f, 3.95f}, {x * 0.8f, 2.78f, 5.45f}};
        const float sub_r[2] = {0.045f, 0.04f};
        pipe(b, sub, sub_r, 2, UV_FRAME);
        // Foot peg and its bracket.
        const float *peg = m->rider_figure + FIGURE_LEFT_FOOT;
        float px = m->frame_position[0] + (float)s * fabsf(peg[0]);
        box(b, px, m->frame_position[1] + peg[1], m->frame_position[2] + peg[2], 0.13f, 0.03f, 0.07f, UV_DARK);
    }
    const float down[4][3] = {{0, head_low[1] + 0.05f, head_low[2] + 0.02f},
                              {0, 1.25f, 2.6f},
                              {0, 1.08f, 3.45f},
                              {0, pivot[1] - 0.05f, pivot[2] - 0.05f}};
    const float down_r[4] = {0.07f, 0.07f, 0.06f, 0.06f};
    pipe(b, down, down_r, 4, UV_FRAME);
    build_engine(b, class_name);
    // Radiators beside the down tube.
    box(b, -0.27f, 2.2f, 2.6f, 0.06f, 0.32f, 0.22f, UV_DARK);
    box(b, 0.27f, 2.2f, 2.6f, 0.06f, 0.32f, 0.22f, UV_DARK);
    // Tank, seat, shrouds, side panels, rear fender.
    ellipsoid(b, 0, 2.68f, 3.1f, 0.36f, 0.24f, 0.55f, -0.25f, UV_TANK);
    const float seat[10] = {2.86f, 3.3f, 2.98f, 3.75f, 2.95f, 5.35f, 2.8f, 5.4f, 2.66f, 3.6f};
    slab(b, 0, 0.22f, seat, 5, UV_SEAT, UV_SEAT);
    const float shroud[12] = {2.86f, 2.35f, 2.9f, 3.25f, 2.45f, 3.55f, 2.0f, 3.1f, 1.95f, 2.7f, 2.3f, 2.3f};
    slab(b, -0.41f, 0.035f, shroud, 6, UV_TANK, UV_DARK);
    slab(b, 0.41f, 0.035f, shroud, 6, UV_TANK, UV_DARK);
    const float panel[8] = {SIDE_PLATE_Y[1] + 0.06f, SIDE_PLATE_Z[0] - 0.1f, SIDE_PLATE_Y[1] + 0.12f,
                            SIDE_PLATE_Z[1] + 0.12f, SIDE_PLATE_Y[0] - 0.04f, SIDE_PLATE_Z[1] + 0.06f,
                            SIDE_PLATE_Y[0] - 0.08f, SIDE_PLATE_Z[0] - 0.02f};
    slab(b, -0.33f, 0.04f, panel, 4, UV_PANEL, UV_PANEL);
    slab(b, 0.33f, 0.04f, panel, 4, UV_PANEL, UV_PANEL);
    const float fender[10] = {2.9f, 5.2f, 3.12f, 6.95f, 3.04f, 7.0f, 2.8f, 5.8f, 2.72f, 5.25f};
    slab(b, 0, 0.27f, fender, 5, UV_FENDER, UV_FENDER);
    // The shock, from the frame to the swingarm's linkage.
    tube_xyz(b, 0, 2.55f, 4.05f, 0, 1.55f, 4.55f, 0.1f, UV_FORK);
}

void build_fork_upper(PartBuilder *b, const BikeModel *m)
{
    const float *head = m->fork_upper_position;
    float axis[3];
    v3_sub(axis, m->fork_upper_position, m->fork_lower_position);
    v3_normalise(axis);
    float spacing = m->fork_leg_spacing * 0.5f;
    // Clamps.
    for (int k = 0; k < 2; k++) {
        float c[3];
        v3_mad(c, head, axis, k ? -0.38f : 0.02f);
        float d[3];
        v3_copy(d, axis);
        float side[3] = {1, 0, 0};
        float o[3];
        local(b, o, c[0], c[1], c[2]);
        GenFrame f = frame_along(o, d, side);
        add_box(b->mesh, &f, spacing + 0.12f, 0.14f, 0.06f, UV_DARK);
    }
    // Fork tubes, which slide into the lower legs.
    for (int s = -1; s <= 1; s += 2) {
        float top[3], bottom[3];
        v3_mad(top, head, axis, 0.1f);
        v3_mad(bottom, head, axis, -1.0f);
        top[0] = bottom[0] = spacing * (float)s;
        tube(b, top, bottom, 0.085f, 0.085f, UV_FORK);
    }
    // Bars on risers, grips at the figure's hand points.
    const float *hand = m->rider_figure + FIGURE_LEFT_HAND;
    float grip_y = head[1] + hand[1], grip_z = head[2] + hand[2], reach = fabsf(hand[0]);
    const float bar[4][3] = {{-reach + 0.25f, grip_y - 0.02f, grip_z},
                             {-0.45f, grip_y - 0.12f, grip_z - 0.12f},
                             {0.45f, grip_y - 0.12f, grip_z - 0.12f},
                             {reach - 0.25f, grip_y - 0.02f, grip_z}};
    const float bar_r[4] = {0.045f, 0.05f, 0.05f, 0.045f};
    pipe(b, bar, bar_r, 4, UV_BARS);
    tube_xyz(b, -reach - 0.08f, grip_y, grip_z, -reach + 0.26f, grip_y - 0.02f, grip_z, 0.065f, UV_DARK);
    tube_xyz(b, reach - 0.26f, grip_y - 0.02f, grip_z, reach + 0.08f, grip_y, grip_z, 0.065f, UV_DARK);
    for (int s = -1; s <= 1; s += 2)
        tube_xyz(b, 0.2f * (float)s, head[1] + 0.05f, head[2] + 0.05f, 0.25f * (float)s, grip_y - 0.12f, grip_z - 0.1f,
                 0.04f, UV_DARK);
    // Front fender under the lower clamp, and the plate panel ahead of it.
    float clamp[3];
    v3_mad(clamp, head, axis, -0.45f);
    const float fender[10] = {clamp[1] - 0.02f, clamp[2] - 1.2f, clamp[1] + 0.04f, clamp[2] - 1.1f,
                              clamp[1] + 0.02f, clamp[2] + 0.7f, clamp[1] - 0.12f, clamp[2] + 0.9f,
                              clamp[1] - 0.08f, clamp[2] - 0.4f};
    slab(b, 0, 0.22f, fender, 5, UV_FENDER, UV_FENDER);
    // The front plate panel: ahead of the clamps, leaning with the fork.
    float centre[3];
    v3_mad(centre, head, axis, -0.15f);
    centre[2] -= 0.26f;
    float o[3];
    local(b, o, centre[0], centre[1], centre[2]);
    float side[3] = {1, 0, 0};
    GenFrame f = frame_along(o, axis, side);
    // A thin box: x across, y the panel's depth, z up the axis.
    GenFrame g = f;
    v3_copy(g.z, f.z);
    add_box(b->mesh, &g, 0.36f, 0.03f, 0.34f, UV_FRONT_PANEL);
}

void build_fork_lower(PartBuilder *b, const BikeModel *m)
{
    float axis[3];
    v3_sub(axis, m->fork_upper_position, m->fork_lower_position);
    v3_normalise(axis);
    const float *axle = m->front_wheel.position;
    float spacing = m->fork_leg_spacing * 0.5f;
    for (int s = -1; s <= 1; s += 2) {
        float low[3], high[3];
        v3_mad(low, axle, axis, -0.14f);
        v3_mad(high, axle, axis, 1.35f);
        low[0] = high[0] = spacing * (float)s;
        tube(b, low, high, 0.1f, 0.1f, UV_FORK);
        // Axle lug.
        box(b, spacing * (float)s, axle[1], axle[2], 0.07f, 0.1f, 0.1f, UV_DARK);
    }
    // The axle and the brake caliper on the left.
    tube_xyz(b, -spacing, axle[1], axle[2], spacing, axle[1], axle[2], 0.04f, UV_DARK);
    box(b, -spacing + 0.09f, axle[1] + 0.25f, axle[2] + 0.3f, 0.04f, 0.12f, 0.09f, UV_DARK);
}

void build_swingarm(PartBuilder *b, const BikeModel *m)
{
    const float *pivot = m->swingarm_pivot, *axle = m->rear_wheel.position;
    for (int s = -1; s <= 1; s += 2) {
        float p0[3] = {0.3f * (float)s, pivot[1], pivot[2]}, p1[3] = {0.34f * (float)s, axle[1], axle[2] + 0.1f};
        beam(b, p0, p1, 0.05f, 0.1f, UV_FRAME);
    }
    box(b, 0, pivot[1] - 0.02f, pivot[2] + 0.35f, 0.3f, 0.06f, 0.08f, UV_FRAME);
    tube_xyz(b, -0.34f, pivot[1], pivot[2], 0.34f, pivot[1], pivot[2], 0.07f, UV_DARK);
    tube_xyz(b, -0.38f, axle[1], axle[2], 0.38f, axle[1], axle[2], 0.04f, UV_DARK);
    // Chain slider and the linkage under the pivot.
    float c0[3] = {-0.36f, pivot[1] + 0.12f, pivot[2] + 0.1f}, c1[3] = {-0.36f, axle[1] + 0.14f, axle[2] - 0.6f};
    beam(b, c0, c1, 0.02f, 0.04f, UV_DARK);
    box(b, 0, pivot[1] - 0.3f, pivot[2] + 0.45f, 0.1f, 0.08f, 0.25f, UV_DARK);
}

// A quad facing the normal with the texture laid right along 'right'.
void plate_quad(PartBuilder *b, const float *centre, const float *normal, const float *right, float half_w,
                float half_h)
{
    float up[3];
    v3_cross(up, normal, right);
    float p[4][3];
    for (int k = 0; k < 4; k++) {
        float su = (k == 1 || k == 2) ? 1.0f : -1.0f, sv = k >= 2 ? 1.0f : -1.0f;
        float w[3];
        v3_mad(w, centre, right, su * half_w);
        v3_mad(w, w, up, sv * half_h);
        local(b, p[k], w[0], w[1], w[2]);
    }
    add_quad(b->mesh, p[0], p[1], p[2], p[3], UV_WHOLE, 0);
}

void build_side_plates(PartBuilder *b)
{
    float zc = (SIDE_PLATE_Z[0] + SIDE_PLATE_Z[1]) * 0.5f, yc = (SIDE_PLATE_Y[0] + SIDE_PLATE_Y[1]) * 0.5f;
    float hw = (SIDE_PLATE_Z[1] - SIDE_PLATE_Z[0]) * 0.5f, hh = (SIDE_PLATE_Y[1] - SIDE_PLATE_Y[0]) * 0.5f;
    // Left side read toward the rear, right side toward the front.
    float left_c[3] = {-0.33f - 0.045f, yc, zc}, left_n[3] = {-1, 0, 0}, left_r[3] = {0, 0, 1};
    float right_c[3] = {0.33f + 0.045f, yc, zc}, right_n[3] = {1, 0, 0}, right_r[3] = {0, 0, -1};
    plate_quad(b, left_c, left_n, left_r, hw, hh);
    plate_quad(b, right_c, right_n, right_r, hw, hh);
}

void build_front_plate(PartBuilder *b, const BikeModel *m)
{
    float axis[3];
    v3_sub(axis, m->fork_upper_position, m->fork_lower_position);
    v3_normalise(axis);
    float centre[3];
    v3_mad(centre, m->fork_upper_position, axis, -0.15f);
    centre[2] -= 0.26f;
    // The panel's face: perpendicular to the axis, toward the front.
    float normal[3] = {0, axis[2], -axis[1]};
    v3_normalise(normal);
    v3_mad(centre, centre, normal, 0.035f);
    float right[3] = {-1, 0, 0};
    plate_quad(b, centre, normal, right, 0.32f, 0.3f);
}

}  // namespace

int build_bike_part(GenModel *model, int part, const char *class_name, int level)
{
    const BikeModel *m = &bike_models[0];
    init_model(model, 0);
    PartBuilder b;
    b.level = level;
    // Specular colour: plastic and metal shine a little.
    b.mesh = add_mesh(model, 24.0f, 0.35f, 0.35f, 0.35f, 1.0f);
    if (!b.mesh)
        return 0;
    const float *origin = part == MESH_FORK_UPPER || part == MESH_FRONT_PLATE ? m->fork_upper_position
                        : part == MESH_FORK_LOWER                           ? m->fork_lower_position
                        : part == MESH_SWINGARM                             ? m->swingarm_position
                                                                            : m->frame_position;
    v3_copy(b.origin, origin);
    switch (part) {
    case MESH_FRAME:
        build_frame(&b, m, class_name);
        break;
    case MESH_FORK_UPPER:
        build_fork_upper(&b, m);
        break;
    case MESH_FORK_LOWER:
        build_fork_lower(&b, m);
        break;
    case MESH_SWINGARM:
        build_swingarm(&b, m);
        break;
    case MESH_SIDE_PLATES:
        build_side_plates(&b);
        break;
    default:
        build_front_plate(&b, m);
        break;
    }
    return 1;
}

int build_wheel(GenModel *model, int rear, int level)
{
    const WheelSpec *w = rear ? &bike_models[0].rear_wheel : &bike_models[0].front_wheel;
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 16.0f, 0.25f, 0.25f, 0.25f, 1.0f);
    if (!mesh)
        return 0;
    GenFrame f = frame_at(0, 0, 0);
    float half = rear ? 0.27f : 0.2f, radial = w->tyre_radius, rim = w->rim_radius;
    int segments = level_segments(level, 36, rim + radial, 6);
    // The tyre: an oval section round the rim, as wide as a knobby.
    float section = fmaxf(half, 1.55f * radial);
    int steps = level_segments(level, 24, section, 4) / 2;
    float profile[2 * 13];
    for (int i = 0; i <= steps; i++) {
        // From the inner edge on the -x side over the tread to the +x side.
        float a = 3.14159265f * ((float)i / (float)steps);
        profile[2 * i] = -half * cosf(a);
        profile[2 * i + 1] = rim - 0.55f * radial + 1.55f * radial * sinf(a);
    }
    add_lathe(mesh, &f, profile, steps + 1, segments, UV_TYRE);
    // The rim: a shallow channel under the tyre.
    float inner = rim - radial * 0.55f;
    const float rim_profile[8] = {0.12f, inner - 0.02f, 0.12f, inner + 0.03f, -0.12f, inner + 0.03f,
                                  -0.12f, inner - 0.02f};
    // Its channel goes once shallower than a pixel; the inside band stays.
    if (0.05 >= level_pixel(level))
        add_lathe(mesh, &f, rim_profile, 4, segments, UV_RIM);
    const float rim_inside[4] = {-0.12f, inner - 0.02f, 0.12f, inner - 0.02f};
    add_lathe(mesh, &f, rim_inside, 2, segments, UV_RIM);
    // Hub, spokes and the brake disc (front: left side; rear: right, with
    // the sprocket on the left).
    float hub0[3] = {-0.22f, 0, 0}, hub1[3] = {0.22f, 0, 0};
    add_tube(mesh, hub0, hub1, 0.13f, 0.13f, level_segments(level, 14, 0.13f, 3), UV_HUB, 1);
    // Spokes thin out with distance and are left out once narrower than
    // half a pixel.
    const float SPOKE_RADIUS = 0.012f;
    int spokes = level == 0 ? 28 : 2.0 * SPOKE_RADIUS >= 0.5 * level_pixel(level) ? 14 : 0;
    for (int i = 0; i < spokes; i++) {
        float a = 2.0f * 3.14159265f * (float)i / (float)spokes;
        float s = (i % 2) ? 1.0f : -1.0f;
        float trail = 0.35f * s;
        float p0[3] = {0.17f * s, 0.12f * cosf(a + trail), 0.12f * sinf(a + trail)};
        float p1[3] = {0.04f * s, (inner - 0.01f) * cosf(a), (inner - 0.01f) * sinf(a)};
        add_tube(mesh, p0, p1, SPOKE_RADIUS, SPOKE_RADIUS, 3, UV_SPOKE, 0);
    }
    float disc_x = rear ? 0.26f : -0.26f;
    float disc_r = rear ? 0.36f : 0.45f;
    const float disc[8] = {disc_x - 0.012f, 0.14f, disc_x - 0.012f, disc_r, disc_x + 0.012f, disc_r,
                           disc_x + 0.012f, 0.14f};
    add_lathe(mesh, &f, disc, 4, level_segments(level, 24, disc_r, 3), UV_DISC);
    if (rear) {
        const float sprocket[8] = {-0.3f, 0.14f, -0.3f, 0.36f, -0.28f, 0.36f, -0.28f, 0.14f};
        add_lathe(mesh, &f, sprocket, 4, level_segments(level, 26, 0.36f, 3), UV_DISC);
    }
    return 1;
}

// ---- skins ----

namespace {

struct Livery {
    GenColour main, second, accent, seat, frame;
    GenColour plate_background, plate_digits;
    int pattern;
};

// The paint of a row: by the maker's prefix of its key, the year turning
// the stripes.
Livery livery_for(const char *key, int alternative)
{
    struct Brand {
        const char *prefix;
        GenColour main, second, accent, frame, plate;
    };
    static const Brand BRANDS[] = {
        {"cr", {0.82f, 0.06f, 0.06f, 1}, {0.95f, 0.95f, 0.95f, 1}, {0.1f, 0.1f, 0.12f, 1}, {0.75f, 0.1f, 0.1f, 1},
         {0.08f, 0.08f, 0.08f, 1}},
        {"kx", {0.35f, 0.78f, 0.1f, 1}, {0.08f, 0.08f, 0.1f, 1}, {0.95f, 0.95f, 0.95f, 1}, {0.15f, 0.4f, 0.1f, 1},
         {0.95f, 0.95f, 0.95f, 1}},
        {"rm", {0.98f, 0.85f, 0.05f, 1}, {0.15f, 0.25f, 0.7f, 1}, {0.95f, 0.95f, 0.95f, 1}, {0.6f, 0.6f, 0.62f, 1},
         {0.1f, 0.1f, 0.12f, 1}},
        {"yz", {0.1f, 0.28f, 0.85f, 1}, {0.95f, 0.95f, 0.95f, 1}, {0.05f, 0.1f, 0.3f, 1}, {0.2f, 0.3f, 0.7f, 1},
         {0.1f, 0.2f, 0.6f, 1}},
        {"fc", {0.95f, 0.95f, 0.95f, 1}, {0.1f, 0.25f, 0.6f, 1}, {0.95f, 0.9f, 0.1f, 1}, {0.2f, 0.3f, 0.6f, 1},
         {0.95f, 0.95f, 0.95f, 1}},
        {"", {0.98f, 0.45f, 0.05f, 1}, {0.15f, 0.15f, 0.18f, 1}, {0.95f, 0.95f, 0.95f, 1}, {0.9f, 0.4f, 0.05f, 1},
         {0.95f, 0.95f, 0.95f, 1}},
    };
    const char *maker = key;
    if (!strncmp(key, "rs50", 4))
        maker = key + 4;
    const Brand *brand = &BRANDS[5];
    for (const Brand &candidate : BRANDS)
        if (candidate.prefix[0] && !strncmp(maker, candidate.prefix, strlen(candidate.prefix))) {
            brand = &candidate;
            break;
        }
    unsigned year = 0;
    const char *open = strchr(key, '(');
    if (open)
        year = (unsigned)atoi(open + 1);
    Livery l;
    l.main = brand->main;
    l.second = brand->second;
    l.accent = brand->accent;
    l.seat = rgb(0.08f, 0.08f, 0.09f);
    l.frame = brand->frame;
    l.plate_background = brand->plate;
    l.pattern = (int)(year % 4);
    if (alternative == 1) {
        l.main = brand->second;
        l.second = brand->main;
        l.pattern = 4;
    } else if (alternative == 2) {
        l.main = rgb(0.12f, 0.12f, 0.14f);
        l.second = brand->main;
        l.accent = rgb(0.95f, 0.95f, 0.95f);
        l.plate_background = rgb(0.12f, 0.12f, 0.14f);
        l.pattern = 5;
    }
    // Digits that stand out from the plate.
    float light = 0.3f * l.plate_background.r + 0.59f * l.plate_background.g + 0.11f * l.plate_background.b;
    l.plate_digits = light > 0.5f ? rgb(0.05f, 0.05f, 0.05f) : rgb(0.97f, 0.97f, 0.97f);
    return l;
}

void fill_region(GenImage *image, UvRect r, GenColour c)
{
    fill_rect(image, r.u0 * (float)image->width, r.v0 * (float)image->height, r.u1 * (float)image->width,
              r.v1 * (float)image->height, c);
}

// Graphics over a region: stripes and a swoosh by the pattern.
void paint_graphics(GenImage *image, UvRect r, const Livery *l)
{
    float x0 = r.u0 * (float)image->width, y0 = r.v0 * (float)image->height;
    float w = (r.u1 - r.u0) * (float)image->width, h = (r.v1 - r.v0) * (float)image->height;
    fill_region(image, r, l->main);
    switch (l->pattern) {
    case 0: {
        float band[8] = {x0, y0 + h * 0.55f, x0 + w, y0 + h * 0.3f, x0 + w, y0 + h * 0.45f, x0, y0 + h * 0.72f};
        fill_polygon(image, band, 4, l->second);
        break;
    }
    case 1:
        fill_rect(image, x0, y0 + h * 0.6f, x0 + w, y0 + h, l->second);
        fill_rect(image, x0, y0 + h * 0.55f, x0 + w, y0 + h * 0.6f, l->accent);
        break;
    case 2:
        for (int i = 0; i < 3; i++) {
            float x = x0 + w * (0.15f + 0.3f * (float)i);
            float slash[8] = {x, y0 + h, x + w * 0.12f, y0 + h, x + w * 0.3f, y0, x + w * 0.18f, y0};
            fill_polygon(image, slash, 4, i == 1 ? l->accent : l->second);
        }
        break;
    case 3: {
        float swoosh[12] = {x0, y0 + h * 0.9f, x0 + w * 0.4f, y0 + h * 0.5f, x0 + w, y0 + h * 0.35f,
                            x0 + w, y0 + h * 0.55f, x0 + w * 0.45f, y0 + h * 0.7f, x0, y0 + h};
        fill_polygon(image, swoosh, 6, l->second);
        break;
    }
    default:
        fill_rect(image, x0, y0 + h * 0.7f, x0 + w, y0 + h * 0.8f, l->accent);
        fill_rect(image, x0, y0 + h * 0.2f, x0 + w, y0 + h * 0.26f, l->second);
        break;
    }
    // A little sheen along the top.
    for (int y = 0; y < (int)(h * 0.2f); y++)
        fill_rect(image, x0, y0 + (float)y, x0 + w, y0 + (float)y + 1.0f,
                  rgba(1, 1, 1, 0.12f * (1.0f - (float)y / (h * 0.2f))));
}

int make_bike_skin(DataSet *set, const char *file, const char *key, int alternative)
{
    const int S = 512;
    Livery l = livery_for(key, alternative);
    GenImage image;
    if (!create_image(&image, S, S, rgb(0.5f, 0.5f, 0.5f)))
        return 0;
    paint_graphics(&image, UV_TANK, &l);
    fill_region(&image, UV_PANEL, l.plate_background);
    fill_region(&image, UV_FRONT_PANEL, l.plate_background);
    paint_graphics(&image, UV_FENDER, &l);
    fill_region(&image, UV_SEAT, l.seat);
    for (int i = 0; i < 8; i++)
        fill_rect(&image, 0, (float)S * 0.5f + 8.0f * (float)i + 3.0f, (float)S * 0.5f, (float)S * 0.5f + 8.0f * (float)i + 4.0f,
                  rgba(0.2f, 0.2f, 0.22f, 1));
    fill_region(&image, UV_FRAME, l.frame);
    fill_region(&image, UV_ENGINE, rgb(0.32f, 0.33f, 0.35f));
    for (int i = 0; i < 16; i++)
        fill_rect(&image, (float)S * 0.5f, (float)S * 0.5f + 8.0f * (float)i, (float)S, (float)S * 0.5f + 8.0f * (float)i + 2.0f,
                  rgba(0.15f, 0.15f, 0.16f, 1));
    fill_region(&image, UV_EXHAUST, rgb(0.55f, 0.52f, 0.5f));
    fill_rect(&image, 0, (float)S * 0.75f, (float)S * 0.5f, (float)S * 0.78f, rgb(0.35f, 0.25f, 0.2f));
    fill_region(&image, UV_FORK, rgb(0.78f, 0.66f, 0.3f));
    fill_region(&image, UV_BARS, rgb(0.7f, 0.7f, 0.72f));
    fill_region(&image, UV_DARK, rgb(0.1f, 0.1f, 0.11f));
    char info[160];
    snprintf(info, sizeof info, "[numberbackground:%.3f,%.3f,%.3f][numberforeground:%.3f,%.3f,%.3f]",
             l.plate_background.r, l.plate_background.g, l.plate_background.b, l.plate_digits.r, l.plate_digits.g,
             l.plate_digits.b);
    ByteBuffer png = {};
    int ok = encode_image_png(&png, &image, 3, info) && put_buffer_file(set, file, &png);
    free_buffer(&png);
    free_image(&image);
    return ok;
}

int make_wheel_skin(DataSet *set, const char *file, GenColour rim_colour, GenColour hub_colour)
{
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgb(0.1f, 0.1f, 0.1f)))
        return 0;
    // Tread: knobs in a staggered pattern round the tyre (u), across it (v).
    fill_region(&image, UV_TYRE, rgb(0.08f, 0.08f, 0.08f));
    for (int i = 0; i < 64; i++)
        for (int j = 0; j < 6; j++) {
            float x = (float)i * 4.0f + (j % 2 ? 2.0f : 0.0f), y = 20.0f + (float)j * 16.0f;
            fill_rect(&image, x, y, x + 2.5f, y + 9.0f, rgb(0.16f, 0.16f, 0.15f));
        }
    fill_region(&image, UV_RIM, rim_colour);
    fill_region(&image, UV_HUB, hub_colour);
    fill_region(&image, UV_SPOKE, rgb(0.75f, 0.75f, 0.78f));
    fill_region(&image, UV_DISC, rgb(0.6f, 0.6f, 0.62f));
    ByteBuffer png = {};
    int ok = encode_image_png(&png, &image, 3, nullptr) && put_buffer_file(set, file, &png);
    free_buffer(&png);
    free_image(&image);
    return ok;
}

int part_levels(int part)
{
    return part == MESH_SIDE_PLATES || part == MESH_FRONT_PLATE ? 1 : MODEL_LEVELS;
}

int write_model(DataSet *set, const char *name, GenModel *model)
{
    ByteBuffer text = {};
    int ok = encode_jm(&text, model, nullptr) && put_gzip_data_file(set, name, text.data, text.size);
    free_buffer(&text);
    free_model_data(model);
    return ok;
}

}  // namespace

int generate_bikes(DataSet *set)
{
    // Each class's part meshes once, packed once, then written under every
    // row's names. The plates are flat quads: they have the full level only.
    static const char *const CLASSES[5] = {"50", "125", "250", "250f", "450f"};
    ByteBuffer meshes[5][BIKE_MESH_PARTS][MODEL_LEVELS] = {};
    int ok = 1;
    for (int c = 0; ok && c < 5; c++)
        for (int part = 0; ok && part < BIKE_MESH_PARTS; part++)
            for (int level = 0; ok && level < part_levels(part); level++) {
                GenModel model;
                ByteBuffer text = {};
                ok = build_bike_part(&model, part, CLASSES[c], level) && encode_jm(&text, &model, nullptr) &&
                     gzip_encode(&meshes[c][part][level], text.data, text.size);
                free_buffer(&text);
                free_model_data(&model);
            }
    for (int row = 0; ok && row < BIKE_MODEL_COUNT; row++) {
        const BikeModel *m = &bike_models[row];
        int c = 0;
        while (c < 4 && strcmp(CLASSES[c], m->class_name))
            c++;
        for (int part = 0; ok && part < BIKE_MESH_PARTS; part++)
            for (int level = 0; ok && level < part_levels(part); level++) {
                char name[128];
                snprintf(name, sizeof name, "%s%s%s.jm.gz", m->name, BIKE_MESH_SUFFIXES[part],
                         MODEL_LEVEL_TABLE[level].suffix);
                ok = put_buffer_file(set, name, &meshes[c][part][level]);
            }
        char skin[128];
        snprintf(skin, sizeof skin, "%s.png", m->name);
        ok = ok && make_bike_skin(set, skin, m->name, 0);
    }
    for (auto &per_class : meshes)
        for (auto &per_part : per_class)
            for (ByteBuffer &buffer : per_part)
                free_buffer(&buffer);
    // The robot table's paints of the 250 four-strokes.
    static const char *const ALTERNATIVE_KEYS[4] = {"crf250", "kx250f", "yz250f", "rmz250"};
    for (int k = 0; ok && k < 4; k++)
        for (int a = 1; ok && a <= 2; a++) {
            char file[64];
            snprintf(file, sizeof file, "%s-alt%d.png", ALTERNATIVE_KEYS[k], a);
            ok = make_bike_skin(set, file, ALTERNATIVE_KEYS[k], a);
        }
    // Wheels: the meshes at every level and three wheel paints.
    for (int rear = 0; ok && rear < 2; rear++)
        for (int level = 0; ok && level < MODEL_LEVELS; level++) {
            GenModel model;
            char name[64];
            snprintf(name, sizeof name, "%s%s.jm", rear ? "rear_wheel" : "front_wheel", MODEL_LEVEL_TABLE[level].suffix);
            ok = build_wheel(&model, rear, level) && write_model(set, name, &model);
        }
    ok = ok && make_wheel_skin(set, "wheels.png", rgb(0.12f, 0.12f, 0.13f), rgb(0.7f, 0.7f, 0.72f));
    ok = ok && make_wheel_skin(set, "wheels-alt1.png", rgb(0.75f, 0.6f, 0.15f), rgb(0.15f, 0.15f, 0.16f));
    ok = ok && make_wheel_skin(set, "wheels-alt2.png", rgb(0.2f, 0.35f, 0.8f), rgb(0.75f, 0.75f, 0.78f));
    return ok;
}
