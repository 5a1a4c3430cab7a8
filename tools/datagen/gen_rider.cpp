// The rider's meshes. The rest pose is the one the bike table's rider
// figure states: a T pose in the plane of the hips, the torso upright from
// the hip centre to the shoulder line, arms straight out along x, legs
// straight down; each bone's rest centre is its joint. Every limb is a
// loft of rings, each ring bound to one bone or shared half and half
// between the two bones of a joint, so elbows, knees, hips and shoulders
// bend smoothly. Limb lengths come from the figure: a glove's middle lies
// a forearm's length beyond the elbow, a boot's ball a shin's length below
// the knee.
#include "tools/datagen/gen_rider.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_models.h"
#include "tools/datagen/gen_image.h"
#include "tools/datagen/gen_levels.h"
#include "tools/datagen/gen_vector.h"

namespace {

const float PI_F = 3.14159265358979f;

// The skin's regions.
const UvRect UV_TORSO = {0.0f, 0.0f, 0.5f, 0.5f};
const UvRect UV_SLEEVE = {0.5f, 0.0f, 1.0f, 0.25f};
const UvRect UV_PANTS = {0.5f, 0.25f, 1.0f, 0.5f};
const UvRect UV_GLOVE = {0.0f, 0.5f, 0.25f, 0.75f};
const UvRect UV_BOOT = {0.25f, 0.5f, 0.5f, 0.75f};
const UvRect UV_NECK = {0.5f, 0.5f, 0.75f, 0.75f};
const UvRect UV_WHOLE = {0.0f, 0.0f, 1.0f, 1.0f};

// The helmet skin's regions.
const UvRect UV_SHELL = {0.0f, 0.0f, 1.0f, 0.5f};
const UvRect UV_VISOR = {0.0f, 0.5f, 0.5f, 0.75f};
const UvRect UV_GOGGLE = {0.5f, 0.5f, 1.0f, 0.75f};
const UvRect UV_STRAP = {0.0f, 0.75f, 1.0f, 1.0f};

const float *figure(void)
{
    return bike_models[0].rider_figure;
}

const float *bone_centre(int bone)
{
    return figure() + FIGURE_BONE_CENTRES + 3 * bone;
}

// One ring of a loft: centre, the two half axes of its ellipse, and its
// binding: bone a with weight 1 - blend and bone b with blend.
struct Ring {
    float centre[3];
    float axis_a[3], axis_b[3];   // half axes (scaled)
    int bone_a, bone_b;
    float blend;
    float v;                      // texture v along the loft, 0..1
};

void set_weights(GenVertex *vertex, const Ring *ring)
{
    memset(vertex->weights, 0, sizeof vertex->weights);
    vertex->weights[ring->bone_a] += 1.0f - ring->blend;
    if (ring->blend > 0.0f)
        vertex->weights[ring->bone_b] += ring->blend;
}

// Rings in order; both ends closed by fans. The surface faces outward.
void add_loft(GenMesh *mesh, const Ring *rings, int count, int segments, UvRect uv)
{
    int first = mesh_vertex_count(mesh);
    for (int r = 0; r < count; r++)
        for (int i = 0; i <= segments; i++) {
            float t = 2.0f * PI_F * (float)i / (float)segments;
            float c = cosf(t), s = sinf(t);
            float p[3], n[3];
            for (int k = 0; k < 3; k++) {
                p[k] = rings[r].centre[k] + rings[r].axis_a[k] * c + rings[r].axis_b[k] * s;
                n[k] = rings[r].axis_a[k] * c + rings[r].axis_b[k] * s;
            }
            int index = add_vertex(mesh, p, n, uv.u0 + (uv.u1 - uv.u0) * (float)i / (float)segments,
                                   uv.v0 + (uv.v1 - uv.v0) * rings[r].v);
            if (index >= 0)
                set_weights(mesh_vertex(mesh, index), &rings[r]);
        }
    int row = segments + 1;
    for (int r = 0; r + 1 < count; r++)
        for (int i = 0; i < segments; i++) {
            int a = first + r * row + i, b = a + 1, c = a + row, d = c + 1;
            add_triangle(mesh, a, c, d);
            add_triangle(mesh, a, d, b);
        }
    for (int end = 0; end < 2; end++) {
        const Ring *ring = &rings[end ? count - 1 : 0];
        const Ring *next = &rings[end ? count - 2 : 1];
        float out[3];
        v3_sub(out, ring->centre, next->centre);
        v3_normalise(out);
        int middle = add_vertex(mesh, ring->centre, out, (uv.u0 + uv.u1) * 0.5f, uv.v0 + (uv.v1 - uv.v0) * ring->v);
        if (middle < 0)
            return;
        set_weights(mesh_vertex(mesh, middle), ring);
        int base = first + (end ? count - 1 : 0) * row;
        for (int i = 0; i < segments; i++)
            add_facing_triangle(mesh, middle, base + i, base + i + 1, out);
    }
}

// A ring round an axis direction: radii along the two directions
// perpendicular to it (first: the one nearest 'side').
Ring ring_at(const float *centre, const float *direction, const float *side, float r_side, float r_other, int bone_a,
             int bone_b, float blend, float v)
{
    Ring ring;
    v3_copy(ring.centre, centre);
    float d[3], s[3], o[3];
    v3_copy(d, direction);
    v3_normalise(d);
    v3_mad(s, side, d, -v3_dot(side, d));
    v3_normalise(s);
    v3_cross(o, d, s);
    v3_scale(ring.axis_a, s, r_side);
    v3_scale(ring.axis_b, o, r_other);
    ring.bone_a = bone_a;
    ring.bone_b = bone_b;
    ring.blend = blend;
    ring.v = v;
    return ring;
}

// Segments round a loft at a level: its widest ring sets the count.
int loft_segments(int level, int full, const Ring *rings, int count)
{
    float widest = 0.0f;
    for (int r = 0; r < count; r++)
        widest = fmaxf(widest, fmaxf(v3_length(rings[r].axis_a), v3_length(rings[r].axis_b)));
    return level_segments(level, full, widest, 3);
}

// At most how far a ring stands off the surface its neighbours would
// span without it: its centre's and its axes' misses added up.
float ring_offset(const Ring *before, const Ring *ring, const Ring *after)
{
    float to_ring[3], to_after[3];
    v3_sub(to_ring, ring->centre, before->centre);
    v3_sub(to_after, after->centre, before->centre);
    float span = v3_length(to_after);
    float t = span > 0.0f ? v3_length(to_ring) / span : 0.5f;
    float worst = 0.0f;
    const float *mine[3] = {ring->centre, ring->axis_a, ring->axis_b};
    const float *from[3] = {before->centre, before->axis_a, before->axis_b};
    const float *to[3] = {after->centre, after->axis_a, after->axis_b};
    for (int k = 0; k < 3; k++) {
        float between[3], miss[3];
        v3_scale(between, from[k], 1.0f - t);
        v3_mad(between, between, to[k], t);
        v3_sub(miss, mine[k], between);
        worst += v3_length(miss);
    }
    return worst;
}

// A loft at a level: inner rings that stand within a pixel of the surface
// their neighbours span are left out, then the segments are chosen.
void add_level_loft(GenMesh *mesh, const Ring *rings, int count, int full, int level, UvRect uv)
{
    Ring kept[8];
    int n = 0;
    double pixel = level_pixel(level);
    for (int r = 0; r < count && n < 8; r++) {
        int inner = r > 0 && r + 1 < count;
        if (inner && n > 0 && (double)ring_offset(&kept[n - 1], &rings[r], &rings[r + 1]) < pixel)
            continue;
        kept[n++] = rings[r];
    }
    if (n >= 2)
        add_loft(mesh, kept, n, loft_segments(level, full, kept, n), uv);
}

void add_level_ellipsoid(GenMesh *mesh, const GenFrame *frame, float rx, float ry, float rz, int full_slices,
                         int full_stacks, int level, UvRect uv)
{
    int slices, stacks;
    level_ellipsoid(level, full_slices, full_stacks, rx, ry, rz, &slices, &stacks);
    add_ellipsoid(mesh, frame, rx, ry, rz, slices, stacks, uv);
}

void build_torso(GenMesh *mesh, int level, int first_person)
{
    const float *hip = bone_centre(BONE_TORSO);
    const float shoulder_y = bone_centre(BONE_LEFT_UPPER_ARM)[1];
    // Heights from below the hips to the neck; half widths and depths.
    static const float LEVELS[][3] = {
        {-0.22f, 0.46f, 0.3f}, {0.0f, 0.5f, 0.3f},   {0.35f, 0.47f, 0.27f}, {0.8f, 0.52f, 0.3f},
        {1.2f, 0.58f, 0.31f},  {1.42f, 0.5f, 0.28f}, {1.55f, 0.2f, 0.16f},  {1.66f, 0.16f, 0.14f},
    };
    int count = (int)(sizeof LEVELS / sizeof LEVELS[0]);
    float height = shoulder_y - hip[1];
    Ring rings[8];
    const float up[3] = {0, 1, 0}, side[3] = {1, 0, 0};
    int used = 0;
    for (int i = 0; i < count; i++) {
        float y = hip[1] + LEVELS[i][0] * height / 1.476482f;
        if (first_person && y > hip[1] + 0.45f * height)
            break;
        float c[3] = {hip[0], y, hip[2]};
        rings[used++] = ring_at(c, up, side, LEVELS[i][1], LEVELS[i][2], BONE_TORSO, BONE_TORSO, 0.0f,
                                (float)i / (float)(count - 1));
    }
    UvRect uv = UV_TORSO;
    if (used >= 2)
        add_level_loft(mesh, rings, used, 16, level, uv);
}

void build_arm(GenMesh *mesh, int right, int level, int first_person)
{
    int upper = right ? BONE_RIGHT_UPPER_ARM : BONE_LEFT_UPPER_ARM;
    int fore = right ? BONE_RIGHT_FOREARM : BONE_LEFT_FOREARM;
    const float *shoulder = bone_centre(upper), *elbow = bone_centre(fore);
    float sign = right ? 1.0f : -1.0f;
    float forearm = figure()[FIGURE_FOREARM_LENGTH];
    float out[3] = {sign, 0, 0}, up[3] = {0, 1, 0};
    // Along the arm: a (distance from the shoulder's x), radius, binding.
    float reach = fabsf(elbow[0] - shoulder[0]);
    struct Step {
        float along, radius;
        int a, b;
        float blend;
    };
    const Step steps[] = {
        {-0.1f, 0.2f, BONE_TORSO, upper, 0.5f}, {0.2f, 0.19f, upper, upper, 0.0f},
        {reach - 0.12f, 0.16f, upper, upper, 0.0f}, {reach, 0.15f, upper, fore, 0.5f},
        {reach + 0.15f, 0.15f, fore, fore, 0.0f}, {reach + forearm - 0.2f, 0.12f, fore, fore, 0.0f},
    };
    int count = (int)(sizeof steps / sizeof steps[0]);
    Ring rings[8];
    int used = 0;
    for (int i = 0; i < count; i++) {
        if (first_person && steps[i].along < reach - 0.05f)
            continue;
        float c[3] = {shoulder[0] + sign * steps[i].along, shoulder[1], shoulder[2]};
        rings[used++] = ring_at(c, out, up, steps[i].radius, steps[i].radius * 1.05f, steps[i].a, steps[i].b,
                                steps[i].blend, (float)i / (float)(count - 1));
    }
    add_level_loft(mesh, rings, used, 10, level, UV_SLEEVE);
    // The glove: its middle a forearm's length beyond the elbow.
    float hand[3];
    rider_rest_hand(right, hand);
    GenFrame f = frame_at(hand[0], hand[1], hand[2]);
    int first = mesh_vertex_count(mesh);
    add_level_ellipsoid(mesh, &f, 0.2f, 0.11f, 0.13f, 10, 8, level, UV_GLOVE);
    bind_vertices(mesh, first, fore);
}

void build_leg(GenMesh *mesh, int right, int level)
{
    int thigh = right ? BONE_RIGHT_THIGH : BONE_LEFT_THIGH;
    int shin = right ? BONE_RIGHT_SHIN : BONE_LEFT_SHIN;
    const float *hip = bone_centre(thigh), *knee = bone_centre(shin);
    float down[3] = {0, -1, 0}, side[3] = {1, 0, 0};
    float thigh_length = hip[1] - knee[1];
    float shin_length = figure()[FIGURE_SHIN_LENGTH];
    struct Step {
        float along, r_side, r_front;
        int a, b;
        float blend;
    };
    const Step steps[] = {
        {-0.05f, 0.26f, 0.3f, BONE_TORSO, thigh, 0.5f},
        {0.25f, 0.25f, 0.27f, thigh, thigh, 0.0f},
        {thigh_length - 0.15f, 0.19f, 0.2f, thigh, thigh, 0.0f},
        {thigh_length, 0.19f, 0.21f, thigh, shin, 0.5f},
        {thigh_length + 0.15f, 0.18f, 0.19f, shin, shin, 0.0f},
        {thigh_length + shin_length - 0.45f, 0.16f, 0.17f, shin, shin, 0.0f},
    };
    int count = (int)(sizeof steps / sizeof steps[0]);
    Ring rings[8];
    for (int i = 0; i < count; i++) {
        float c[3] = {hip[0], hip[1] - steps[i].along, hip[2]};
        rings[i] = ring_at(c, down, side, steps[i].r_side, steps[i].r_front, steps[i].a, steps[i].b, steps[i].blend,
                           (float)i / (float)(count - 1));
    }
    add_level_loft(mesh, rings, count, 10, level, UV_PANTS);
    // The boot: its sole standing on the peg (the foot point is the peg's
    // middle, the sole SOLE_LIFT above it) with the ball over it, the toe
    // ahead (-z), the shaft up the shin over the end of the trousers.
    float foot[3];
    rider_rest_foot(right, foot);
    int first = mesh_vertex_count(mesh);
    const float SOLE_LIFT = 0.05f, SOLE_HALF = 0.08f;
    GenFrame sole = frame_at(foot[0], foot[1] + SOLE_LIFT + SOLE_HALF, foot[2] - 0.08f);
    add_box(mesh, &sole, 0.14f, SOLE_HALF, 0.32f, UV_BOOT);
    GenFrame shaft = frame_at(foot[0], foot[1] + SOLE_LIFT + 2.0f * SOLE_HALF + 0.3f, foot[2] + 0.12f);
    add_box(mesh, &shaft, 0.15f, 0.32f, 0.17f, UV_BOOT);
    bind_vertices(mesh, first, shin);
}

void build_plate(GenMesh *mesh)
{
    // On the back (+z) of the torso, facing back, read left to right along +x.
    const float *hip = bone_centre(BONE_TORSO);
    float height = bone_centre(BONE_LEFT_UPPER_ARM)[1] - hip[1];
    float y = hip[1] + 0.62f * height, z = hip[2] + 0.33f, h = 0.28f;
    float p[4][3] = {{-h, y - h, z}, {h, y - h, z}, {h, y + h, z}, {-h, y + h, z}};
    int first = mesh_vertex_count(mesh);
    add_quad(mesh, p[0], p[1], p[2], p[3], UV_WHOLE, 0);
    bind_vertices(mesh, first, BONE_TORSO);
}

void build_helmet(GenModel *model, int level)
{
    // In the helmet's frame: the head point at the origin, +z behind, the
    // face toward -z.
    GenMesh *shell = add_mesh(model, 48.0f, 0.6f, 0.6f, 0.6f, 1.0f);
    if (!shell)
        return;
    GenFrame f = frame_at(0, 0.04f, 0.04f);
    add_level_ellipsoid(shell, &f, 0.4f, 0.44f, 0.49f, 18, 12, level, UV_SHELL);
    GenFrame chin = frame_at(0, -0.26f, -0.3f);
    add_level_ellipsoid(shell, &chin, 0.26f, 0.14f, 0.2f, 12, 8, level, UV_SHELL);
    // The peak over the face.
    GenFrame peak = frame_at(0, 0.3f, -0.5f);
    v3_set(peak.y, 0, cosf(0.25f), -sinf(0.25f));
    v3_set(peak.z, 0, sinf(0.25f), cosf(0.25f));
    add_box(shell, &peak, 0.3f, 0.02f, 0.17f, UV_VISOR);
    // Goggle frame and strap.
    GenFrame strap = frame_at(0, 0.05f, 0.02f);
    int first = mesh_vertex_count(shell);
    add_level_ellipsoid(shell, &strap, 0.42f, 0.07f, 0.51f, 18, 4, level, UV_STRAP);
    (void)first;
    GenFrame goggle = frame_at(0, 0.04f, -0.46f);
    add_box(shell, &goggle, 0.25f, 0.08f, 0.05f, UV_STRAP);
    // The lens, reflective: the last mesh of the file.
    GenMesh *lens = add_mesh(model, -1.0f, 0.9f, 0.9f, 1.0f, 0.55f);
    if (!lens)
        return;
    float p[4][3] = {{-0.22f, -0.02f, -0.515f}, {0.22f, -0.02f, -0.515f}, {0.22f, 0.1f, -0.515f}, {-0.22f, 0.1f, -0.515f}};
    // Facing forward (-z): corners ordered so the quad's normal is -z.
    add_quad(lens, p[1], p[0], p[3], p[2], UV_GOGGLE, 0);
}

}  // namespace

void rider_rest_hand(int right, float *out)
{
    const float *elbow = bone_centre(right ? BONE_RIGHT_FOREARM : BONE_LEFT_FOREARM);
    float forearm = figure()[FIGURE_FOREARM_LENGTH];
    v3_set(out, elbow[0] + (right ? forearm : -forearm), elbow[1], elbow[2]);
}

void rider_rest_foot(int right, float *out)
{
    const float *knee = bone_centre(right ? BONE_RIGHT_SHIN : BONE_LEFT_SHIN);
    v3_set(out, knee[0], knee[1] - figure()[FIGURE_SHIN_LENGTH], knee[2]);
}

int build_rider_mesh(GenModel *model, int kind, int level)
{
    if (kind == RIDER_MESH_HELMET) {
        init_model(model, 0);
        build_helmet(model, level);
        return model->mesh_count == 2;
    }
    init_model(model, RIDER_BONE_COUNT);
    GenMesh *mesh = add_mesh(model, 8.0f, 0.15f, 0.15f, 0.15f, 1.0f);
    if (!mesh)
        return 0;
    if (kind == RIDER_MESH_PLATE) {
        build_plate(mesh);
        return 1;
    }
    int first_person = kind == RIDER_MESH_FIRST_PERSON;
    // In first person nothing comes near the eye: the chest, shoulders and
    // upper arms are left out.
    build_torso(mesh, level, first_person);
    for (int right = 0; right < 2; right++) {
        build_arm(mesh, right, level, first_person);
        build_leg(mesh, right, level);
    }
    return 1;
}

namespace {

struct Kit {
    GenColour jersey, jersey_second, pants, pants_second, gloves, boots;
};

const Kit KITS[4] = {
    {{0.9f, 0.9f, 0.92f, 1}, {0.85f, 0.1f, 0.08f, 1}, {0.15f, 0.15f, 0.18f, 1}, {0.85f, 0.1f, 0.08f, 1},
     {0.1f, 0.1f, 0.1f, 1}, {0.92f, 0.92f, 0.92f, 1}},
    {{0.1f, 0.25f, 0.75f, 1}, {0.95f, 0.85f, 0.1f, 1}, {0.1f, 0.2f, 0.6f, 1}, {0.95f, 0.95f, 0.95f, 1},
     {0.95f, 0.85f, 0.1f, 1}, {0.1f, 0.1f, 0.12f, 1}},
    {{0.2f, 0.65f, 0.2f, 1}, {0.1f, 0.1f, 0.1f, 1}, {0.9f, 0.9f, 0.9f, 1}, {0.2f, 0.65f, 0.2f, 1},
     {0.2f, 0.65f, 0.2f, 1}, {0.2f, 0.2f, 0.2f, 1}},
    {{0.95f, 0.45f, 0.05f, 1}, {0.15f, 0.15f, 0.18f, 1}, {0.15f, 0.15f, 0.18f, 1}, {0.95f, 0.45f, 0.05f, 1},
     {0.95f, 0.95f, 0.95f, 1}, {0.95f, 0.45f, 0.05f, 1}},
};

void fill_uv(GenImage *image, UvRect r, GenColour c)
{
    fill_rect(image, r.u0 * (float)image->width, r.v0 * (float)image->height, r.u1 * (float)image->width,
              r.v1 * (float)image->height, c);
}

int save_skin(DataSet *set, const char *file, GenImage *image)
{
    ByteBuffer png = {};
    int ok = encode_image_png(&png, image, 3, nullptr) && put_buffer_file(set, file, &png);
    free_buffer(&png);
    free_image(image);
    return ok;
}

int make_rider_skin(DataSet *set, const char *file, const Kit *kit)
{
    const int S = 512;
    GenImage image;
    if (!create_image(&image, S, S, rgb(0.5f, 0.5f, 0.5f)))
        return 0;
    fill_uv(&image, UV_TORSO, kit->jersey);
    // Jersey panels: a chest band and side panels.
    fill_rect(&image, 0, 150, 256, 190, kit->jersey_second);
    fill_rect(&image, 0, 0, 40, 256, kit->jersey_second);
    fill_rect(&image, 216, 0, 256, 256, kit->jersey_second);
    fill_uv(&image, UV_SLEEVE, kit->jersey);
    fill_rect(&image, 256, 60, 512, 80, kit->jersey_second);
    fill_uv(&image, UV_PANTS, kit->pants);
    fill_rect(&image, 256, 128, 512, 150, kit->pants_second);
    fill_rect(&image, 256, 200, 512, 214, kit->pants_second);
    fill_uv(&image, UV_GLOVE, kit->gloves);
    fill_uv(&image, UV_BOOT, kit->boots);
    fill_rect(&image, 128, 300, 256, 320, rgb(0.3f, 0.3f, 0.32f));
    fill_uv(&image, UV_NECK, rgb(0.15f, 0.15f, 0.17f));
    return save_skin(set, file, &image);
}

int make_helmet_skin(DataSet *set, const char *file, const Kit *kit)
{
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgb(0.5f, 0.5f, 0.5f)))
        return 0;
    fill_uv(&image, UV_SHELL, kit->jersey);
    for (int i = 0; i < 3; i++)
        fill_rect(&image, (float)(40 + 70 * i), 0, (float)(60 + 70 * i), 128, kit->jersey_second);
    fill_rect(&image, 0, 96, 256, 110, kit->pants_second);
    fill_uv(&image, UV_VISOR, kit->jersey_second);
    fill_uv(&image, UV_GOGGLE, rgb(0.65f, 0.7f, 0.8f));
    fill_uv(&image, UV_STRAP, rgb(0.08f, 0.08f, 0.1f));
    fill_rect(&image, 0, 220, 256, 228, kit->gloves);
    return save_skin(set, file, &image);
}

int write_model(DataSet *set, const char *name, GenModel *model, const char *skeleton)
{
    ByteBuffer text = {};
    int ok = encode_jm(&text, model, skeleton) && put_gzip_data_file(set, name, text.data, text.size);
    free_buffer(&text);
    free_model_data(model);
    return ok;
}

}  // namespace

int generate_rider(DataSet *set)
{
    static const char *const NAMES[4] = {"rider_body", "rider_body_fp", "rider_plate", "rider_head"};
    int ok = 1;
    // The plate is one flat quad at every distance: it has the full level only.
    for (int kind = 0; ok && kind < 4; kind++)
        for (int level = 0; ok && level < (kind == RIDER_MESH_PLATE ? 1 : MODEL_LEVELS); level++) {
            GenModel model;
            char name[64];
            snprintf(name, sizeof name, "%s%s.jm", NAMES[kind], MODEL_LEVEL_TABLE[level].suffix);
            ok = build_rider_mesh(&model, kind, level) && write_model(set, name, &model, "rider");
        }
    for (int k = 0; ok && k < 4; k++) {
        char body[64], head[64];
        if (k == 0) {
            snprintf(body, sizeof body, "rider_body.png");
            snprintf(head, sizeof head, "rider_head.png");
        } else {
            snprintf(body, sizeof body, "rider_body-alt%d.png", k);
            snprintf(head, sizeof head, "rider_head-alt%d.png", k);
        }
        ok = make_rider_skin(set, body, &KITS[k]) && make_helmet_skin(set, head, &KITS[k]);
    }
    return ok;
}
