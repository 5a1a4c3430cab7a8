// The mesh builder, its primitives and the ".jm" writer.
#include "tools/datagen/gen_mesh.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/datagen/gen_vector.h"

static const float PI_F = 3.14159265358979f;

void init_model(GenModel *model, int bone_count)
{
    memset(model, 0, sizeof *model);
    model->bone_count = bone_count < 0 ? 0 : bone_count > GEN_MAX_BONES ? GEN_MAX_BONES : bone_count;
}

void free_model_data(GenModel *model)
{
    for (int i = 0; i < model->mesh_count; i++) {
        free_growable_array(&model->meshes[i].vertices);
        free_growable_array(&model->meshes[i].triangles);
    }
    model->mesh_count = 0;
}

GenMesh *add_mesh(GenModel *model, float material, float red, float green, float blue, float alpha)
{
    if (model->mesh_count >= GEN_MAX_MESHES)
        return nullptr;
    GenMesh *mesh = &model->meshes[model->mesh_count];
    memset(mesh, 0, sizeof *mesh);
    if (!init_growable_array(&mesh->vertices, sizeof(GenVertex)) ||
        !init_growable_array(&mesh->triangles, 3 * sizeof(int)))
        return nullptr;
    model->mesh_count++;
    mesh->material = material;
    mesh->colour[0] = red;
    mesh->colour[1] = green;
    mesh->colour[2] = blue;
    mesh->colour[3] = alpha;
    return mesh;
}

int mesh_vertex_count(const GenMesh *mesh)
{
    return mesh->vertices.count;
}

GenVertex *mesh_vertex(GenMesh *mesh, int index)
{
    return (GenVertex *)mesh->vertices.data + index;
}

int add_vertex(GenMesh *mesh, const float *position, const float *normal, float u, float v)
{
    GenVertex *vertex = (GenVertex *)append_to_growable_array(&mesh->vertices);
    if (!vertex)
        return -1;
    v3_copy(vertex->position, position);
    v3_copy(vertex->normal, normal);
    v3_normalise(vertex->normal);
    vertex->uv[0] = u;
    vertex->uv[1] = v;
    return mesh->vertices.count - 1;
}

void add_facing_triangle(GenMesh *mesh, int a, int b, int c, const float *hint)
{
    if (a < 0 || b < 0 || c < 0)
        return;
    const GenVertex *vertices = (const GenVertex *)mesh->vertices.data;
    float e1[3], e2[3], n[3];
    v3_sub(e1, vertices[b].position, vertices[a].position);
    v3_sub(e2, vertices[c].position, vertices[a].position);
    v3_cross(n, e1, e2);
    // The model reader drops triangles of squared area below 2^-80.
    if (!(v3_dot(n, n) > 1e-20f))
        return;
    int *triangle = (int *)append_to_growable_array(&mesh->triangles);
    if (!triangle)
        return;
    triangle[0] = a;
    if (v3_dot(n, hint) >= 0.0f) {
        triangle[1] = b;
        triangle[2] = c;
    } else {
        triangle[1] = c;
        triangle[2] = b;
    }
}

void add_triangle(GenMesh *mesh, int a, int b, int c)
{
    if (a < 0 || b < 0 || c < 0)
        return;
    const GenVertex *vertices = (const GenVertex *)mesh->vertices.data;
    float hint[3];
    v3_add(hint, vertices[a].normal, vertices[b].normal);
    v3_add(hint, hint, vertices[c].normal);
    add_facing_triangle(mesh, a, b, c, hint);
}

void bind_vertices(GenMesh *mesh, int first, int bone)
{
    for (int i = first; i < mesh->vertices.count; i++) {
        GenVertex *vertex = mesh_vertex(mesh, i);
        memset(vertex->weights, 0, sizeof vertex->weights);
        if (bone >= 0 && bone < GEN_MAX_BONES)
            vertex->weights[bone] = 1.0f;
    }
}

GenFrame frame_at(float x, float y, float z)
{
    GenFrame frame = {{x, y, z}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    return frame;
}

GenFrame frame_along(const float *origin, const float *dir, const float *side)
{
    GenFrame frame;
    v3_copy(frame.origin, origin);
    v3_copy(frame.z, dir);
    v3_normalise(frame.z);
    float s[3];
    v3_copy(s, side);
    v3_mad(s, s, frame.z, -v3_dot(s, frame.z));
    if (v3_normalise(s) < 1e-6f) {
        float other[3] = {fabsf(frame.z[0]) < 0.9f ? 1.0f : 0.0f, fabsf(frame.z[0]) < 0.9f ? 0.0f : 1.0f, 0.0f};
        v3_mad(s, other, frame.z, -v3_dot(other, frame.z));
        v3_normalise(s);
    }
    v3_copy(frame.x, s);
    v3_cross(frame.y, frame.z, frame.x);
    return frame;
}

// A point of the frame: origin + x a + y b + z c.
static void frame_point(float *out, const GenFrame *frame, float a, float b, float c)
{
    for (int i = 0; i < 3; i++)
        out[i] = frame->origin[i] + frame->x[i] * a + frame->y[i] * b + frame->z[i] * c;
}

static void frame_vector(float *out, const GenFrame *frame, float a, float b, float c)
{
    for (int i = 0; i < 3; i++)
        out[i] = frame->x[i] * a + frame->y[i] * b + frame->z[i] * c;
}

static float lerp(float a, float b, float t)
{
    return a + (b - a) * t;
}

void add_quad(GenMesh *mesh, const float *p0, const float *p1, const float *p2, const float *p3, UvRect uv,
              int both_sides)
{
    float e1[3], e2[3], n[3];
    v3_sub(e1, p1, p0);
    v3_sub(e2, p3, p0);
    v3_cross(n, e1, e2);
    for (int side = 0; side < (both_sides ? 2 : 1); side++) {
        float normal[3];
        v3_scale(normal, n, side ? -1.0f : 1.0f);
        int a = add_vertex(mesh, p0, normal, uv.u0, uv.v1);
        int b = add_vertex(mesh, p1, normal, uv.u1, uv.v1);
        int c = add_vertex(mesh, p2, normal, uv.u1, uv.v0);
        int d = add_vertex(mesh, p3, normal, uv.u0, uv.v0);
        add_facing_triangle(mesh, a, b, c, normal);
        add_facing_triangle(mesh, a, c, d, normal);
    }
}

void add_box(GenMesh *mesh, const GenFrame *frame, float hx, float hy, float hz, UvRect uv)
{
    // Each face: its normal axis and two in-plane axes.
    static const int faces[6][3] = {{0, 1, 2}, {0, 1, 2}, {1, 2, 0}, {1, 2, 0}, {2, 0, 1}, {2, 0, 1}};
    float half[3] = {hx, hy, hz};
    for (int f = 0; f < 6; f++) {
        int axis = faces[f][0], a1 = faces[f][1], a2 = faces[f][2];
        float sign = (f & 1) ? -1.0f : 1.0f;
        float local_n[3] = {0, 0, 0};
        local_n[axis] = sign;
        float normal[3];
        frame_vector(normal, frame, local_n[0], local_n[1], local_n[2]);
        int corners[4];
        static const float su[4] = {-1, 1, 1, -1}, sv[4] = {-1, -1, 1, 1};
        for (int k = 0; k < 4; k++) {
            float local[3];
            local[axis] = sign * half[axis];
            local[a1] = su[k] * half[a1];
            local[a2] = sv[k] * half[a2];
            float p[3];
            frame_point(p, frame, local[0], local[1], local[2]);
            corners[k] = add_vertex(mesh, p, normal, lerp(uv.u0, uv.u1, (su[k] + 1) * 0.5f),
                                    lerp(uv.v1, uv.v0, (sv[k] + 1) * 0.5f));
        }
        add_facing_triangle(mesh, corners[0], corners[1], corners[2], normal);
        add_facing_triangle(mesh, corners[0], corners[2], corners[3], normal);
    }
}

void add_tube(GenMesh *mesh, const float *p0, const float *p1, float r0, float r1, int sides, UvRect uv, int caps)
{
    if (sides < 3)
        sides = 3;
    float axis[3];
    v3_sub(axis, p1, p0);
    float length = v3_length(axis);
    if (!(length > 0.0f))
        return;
    float up[3] = {0, 1, 0};
    if (fabsf(axis[1]) > 0.9f * length)
        v3_set(up, 1, 0, 0);
    GenFrame frame = frame_along(p0, axis, up);
    // The slope of the surface tilts the normals of a cone.
    float slope = (r0 - r1) / length;
    int first = mesh_vertex_count(mesh);
    for (int i = 0; i <= sides; i++) {
        float angle = 2.0f * PI_F * (float)i / (float)sides;
        float c = cosf(angle), s = sinf(angle);
        for (int end = 0; end < 2; end++) {
            float r = end ? r1 : r0;
            float p[3], n[3];
            frame_point(p, &frame, c * r, s * r, end ? length : 0.0f);
            frame_vector(n, &frame, c, s, slope);
            add_vertex(mesh, p, n, lerp(uv.u0, uv.u1, (float)i / (float)sides), end ? uv.v0 : uv.v1);
        }
    }
    for (int i = 0; i < sides; i++) {
        int a = first + 2 * i, b = a + 1, c = a + 2, d = a + 3;
        add_triangle(mesh, a, c, d);
        add_triangle(mesh, a, d, b);
    }
    if (!caps)
        return;
    for (int end = 0; end < 2; end++) {
        float r = end ? r1 : r0;
        if (!(r > 0.0f))
            continue;
        float n[3];
        frame_vector(n, &frame, 0, 0, end ? 1.0f : -1.0f);
        float centre[3];
        frame_point(centre, &frame, 0, 0, end ? length : 0.0f);
        int middle = add_vertex(mesh, centre, n, (uv.u0 + uv.u1) * 0.5f, (uv.v0 + uv.v1) * 0.5f);
        int ring = mesh_vertex_count(mesh);
        for (int i = 0; i < sides; i++) {
            float angle = 2.0f * PI_F * (float)i / (float)sides;
            float p[3];
            frame_point(p, &frame, cosf(angle) * r, sinf(angle) * r, end ? length : 0.0f);
            add_vertex(mesh, p, n, lerp(uv.u0, uv.u1, 0.5f + 0.5f * cosf(angle)),
                       lerp(uv.v0, uv.v1, 0.5f + 0.5f * sinf(angle)));
        }
        for (int i = 0; i < sides; i++)
            add_facing_triangle(mesh, middle, ring + i, ring + (i + 1) % sides, n);
    }
}

void add_ellipsoid(GenMesh *mesh, const GenFrame *frame, float rx, float ry, float rz, int slices, int stacks,
                   UvRect uv)
{
    if (slices < 3)
        slices = 3;
    if (stacks < 2)
        stacks = 2;
    int first = mesh_vertex_count(mesh);
    // Rings from the top pole (stack 0) to the bottom (stack = stacks); the
    // poles are single vertices joined by fans.
    float top[3], bottom[3], n_top[3], n_bottom[3];
    frame_point(top, frame, 0, ry, 0);
    frame_point(bottom, frame, 0, -ry, 0);
    frame_vector(n_top, frame, 0, 1, 0);
    frame_vector(n_bottom, frame, 0, -1, 0);
    int top_index = add_vertex(mesh, top, n_top, (uv.u0 + uv.u1) * 0.5f, uv.v0);
    for (int k = 1; k < stacks; k++) {
        float theta = PI_F * (float)k / (float)stacks;
        for (int i = 0; i <= slices; i++) {
            float phi = 2.0f * PI_F * (float)i / (float)slices;
            float sx = sinf(theta) * cosf(phi), sy = cosf(theta), sz = sinf(theta) * sinf(phi);
            float p[3], n[3];
            frame_point(p, frame, sx * rx, sy * ry, sz * rz);
            frame_vector(n, frame, sx / rx, sy / ry, sz / rz);
            add_vertex(mesh, p, n, lerp(uv.u0, uv.u1, (float)i / (float)slices),
                       lerp(uv.v0, uv.v1, (float)k / (float)stacks));
        }
    }
    int bottom_index = add_vertex(mesh, bottom, n_bottom, (uv.u0 + uv.u1) * 0.5f, uv.v1);
    int ring = slices + 1;
    int ring0 = first + 1;
    for (int i = 0; i < slices; i++)
        add_triangle(mesh, top_index, ring0 + i, ring0 + i + 1);
    for (int k = 0; k + 1 < stacks - 1; k++)
        for (int i = 0; i < slices; i++) {
            int a = ring0 + k * ring + i, b = a + 1, c = a + ring, d = c + 1;
            add_triangle(mesh, a, c, d);
            add_triangle(mesh, a, d, b);
        }
    int last = ring0 + (stacks - 2) * ring;
    for (int i = 0; i < slices; i++)
        add_triangle(mesh, bottom_index, last + i + 1, last + i);
}

void add_torus(GenMesh *mesh, const GenFrame *frame, float major, float minor, int segments, int sides, UvRect uv)
{
    int first = mesh_vertex_count(mesh);
    for (int i = 0; i <= segments; i++) {
        float a = 2.0f * PI_F * (float)i / (float)segments;
        // Around the x axis: the ring runs in the y-z plane.
        float ry = cosf(a), rz = sinf(a);
        for (int j = 0; j <= sides; j++) {
            float b = 2.0f * PI_F * (float)j / (float)sides;
            float radial = cosf(b), across = sinf(b);
            float local[3] = {across * minor, ry * (major + radial * minor), rz * (major + radial * minor)};
            float normal_local[3] = {across, ry * radial, rz * radial};
            float p[3], n[3];
            frame_point(p, frame, local[0], local[1], local[2]);
            frame_vector(n, frame, normal_local[0], normal_local[1], normal_local[2]);
            add_vertex(mesh, p, n, lerp(uv.u0, uv.u1, (float)i / (float)segments),
                       lerp(uv.v0, uv.v1, (float)j / (float)sides));
        }
    }
    int row = sides + 1;
    for (int i = 0; i < segments; i++)
        for (int j = 0; j < sides; j++) {
            int a = first + i * row + j, b = a + 1, c = a + row, d = c + 1;
            add_triangle(mesh, a, c, d);
            add_triangle(mesh, a, d, b);
        }
}

void add_lathe(GenMesh *mesh, const GenFrame *frame, const float *profile, int count, int segments, UvRect uv)
{
    if (count < 2 || segments < 3)
        return;
    int first = mesh_vertex_count(mesh);
    for (int i = 0; i <= segments; i++) {
        float a = 2.0f * PI_F * (float)i / (float)segments;
        float ry = cosf(a), rz = sinf(a);
        for (int j = 0; j < count; j++) {
            // The profile's normal from its neighbours: (dr, -dx) turned round.
            int j0 = j > 0 ? j - 1 : j, j1 = j + 1 < count ? j + 1 : j;
            float dx = profile[2 * j1] - profile[2 * j0], dr = profile[2 * j1 + 1] - profile[2 * j0 + 1];
            float nx = -dr, nr = dx;
            float p[3], n[3];
            float x = profile[2 * j], r = profile[2 * j + 1];
            frame_point(p, frame, x, ry * r, rz * r);
            frame_vector(n, frame, nx, ry * nr, rz * nr);
            add_vertex(mesh, p, n, lerp(uv.u0, uv.u1, (float)i / (float)segments),
                       lerp(uv.v0, uv.v1, (float)j / (float)(count - 1)));
        }
    }
    for (int i = 0; i < segments; i++)
        for (int j = 0; j + 1 < count; j++) {
            int a = first + i * count + j, b = a + 1, c = a + count, d = c + 1;
            add_triangle(mesh, a, c, d);
            add_triangle(mesh, a, d, b);
        }
}

// Twice the signed area of the outline.
static float outline_area(const float *points, int count)
{
    float sum = 0.0f;
    for (int i = 0; i < count; i++) {
        int j = (i + 1) % count;
        sum += points[2 * i] * points[2 * j + 1] - points[2 * j] * points[2 * i + 1];
    }
    return sum;
}

static int point_in_triangle(const float *p, const float *a, const float *b, const float *c)
{
    float d1 = (p[0] - b[0]) * (a[1] - b[1]) - (a[0] - b[0]) * (p[1] - b[1]);
    float d2 = (p[0] - c[0]) * (b[1] - c[1]) - (b[0] - c[0]) * (p[1] - c[1]);
    float d3 = (p[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (p[1] - a[1]);
    int negative = d1 < 0 || d2 < 0 || d3 < 0, positive = d1 > 0 || d2 > 0 || d3 > 0;
    return !(negative && positive);
}

// Ear clipping of a simple polygon into triangles (indices into it).
static int triangulate_outline(const float *points, int count, int *out)
{
    int order[128];
    if (count > 128)
        return 0;
    for (int i = 0; i < count; i++)
        order[i] = i;
    float orientation = outline_area(points, count) >= 0.0f ? 1.0f : -1.0f;
    int n = count, written = 0, guard = 0;
    while (n > 3 && guard++ < 4 * count * count) {
        int found = 0;
        for (int i = 0; i < n && !found; i++) {
            int ia = order[(i + n - 1) % n], ib = order[i], ic = order[(i + 1) % n];
            const float *a = points + 2 * ia, *b = points + 2 * ib, *c = points + 2 * ic;
            float cross = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
            if (cross * orientation <= 0.0f)
                continue;
            int inside = 0;
            for (int k = 0; k < n && !inside; k++) {
                int ik = order[k];
                if (ik != ia && ik != ib && ik != ic)
                    inside = point_in_triangle(points + 2 * ik, a, b, c);
            }
            if (inside)
                continue;
            out[written++] = ia;
            out[written++] = ib;
            out[written++] = ic;
            for (int k = i; k + 1 < n; k++)
                order[k] = order[k + 1];
            n--;
            found = 1;
        }
        if (!found)
            break;
    }
    if (n == 3) {
        out[written++] = order[0];
        out[written++] = order[1];
        out[written++] = order[2];
    }
    return written / 3;
}

void add_prism(GenMesh *mesh, const GenFrame *frame, const float *outline, int count, float half_width,
               UvRect side_uv, UvRect edge_uv)
{
    if (count < 3 || count > 128)
        return;
    float low[2] = {outline[0], outline[1]}, high[2] = {outline[0], outline[1]};
    for (int i = 1; i < count; i++)
        for (int k = 0; k < 2; k++) {
            low[k] = fminf(low[k], outline[2 * i + k]);
            high[k] = fmaxf(high[k], outline[2 * i + k]);
        }
    float span_y = high[0] - low[0] > 0 ? high[0] - low[0] : 1.0f;
    float span_z = high[1] - low[1] > 0 ? high[1] - low[1] : 1.0f;
    int triangles[3 * 128];
    int triangle_count = triangulate_outline(outline, count, triangles);
    // The two caps: the outline seen from -x and from +x; the texture is
    // laid with z to the right and y up.
    for (int side = 0; side < 2; side++) {
        float sign = side ? 1.0f : -1.0f;
        float n[3];
        frame_vector(n, frame, sign, 0, 0);
        int first = mesh_vertex_count(mesh);
        for (int i = 0; i < count; i++) {
            float p[3];
            frame_point(p, frame, sign * half_width, outline[2 * i], outline[2 * i + 1]);
            float u = (outline[2 * i + 1] - low[1]) / span_z, v = (outline[2 * i] - low[0]) / span_y;
            if (side == 0)
                u = 1.0f - u;
            add_vertex(mesh, p, n, lerp(side_uv.u0, side_uv.u1, u), lerp(side_uv.v1, side_uv.v0, v));
        }
        for (int t = 0; t < triangle_count; t++)
            add_facing_triangle(mesh, first + triangles[3 * t], first + triangles[3 * t + 1],
                                first + triangles[3 * t + 2], n);
    }
    // The rim: one flat quad per edge, its normal pointing out of the outline.
    float orientation = outline_area(outline, count) >= 0.0f ? 1.0f : -1.0f;
    for (int i = 0; i < count; i++) {
        int j = (i + 1) % count;
        float dy = outline[2 * j] - outline[2 * i], dz = outline[2 * j + 1] - outline[2 * i + 1];
        // For a counter-clockwise (y, z) outline the outside is to the right.
        float ny = dz * orientation, nz = -dy * orientation;
        float n[3];
        frame_vector(n, frame, 0, ny, nz);
        float p[4][3];
        frame_point(p[0], frame, -half_width, outline[2 * i], outline[2 * i + 1]);
        frame_point(p[1], frame, half_width, outline[2 * i], outline[2 * i + 1]);
        frame_point(p[2], frame, half_width, outline[2 * j], outline[2 * j + 1]);
        frame_point(p[3], frame, -half_width, outline[2 * j], outline[2 * j + 1]);
        float t0 = (float)i / (float)count, t1 = (float)(i + 1) / (float)count;
        int a = add_vertex(mesh, p[0], n, edge_uv.u0, lerp(edge_uv.v0, edge_uv.v1, t0));
        int b = add_vertex(mesh, p[1], n, edge_uv.u1, lerp(edge_uv.v0, edge_uv.v1, t0));
        int c = add_vertex(mesh, p[2], n, edge_uv.u1, lerp(edge_uv.v0, edge_uv.v1, t1));
        int d = add_vertex(mesh, p[3], n, edge_uv.u0, lerp(edge_uv.v0, edge_uv.v1, t1));
        add_facing_triangle(mesh, a, b, c, n);
        add_facing_triangle(mesh, a, c, d, n);
    }
}

void model_bounds(const GenModel *model, float *low, float *high)
{
    v3_set(low, 1e30f, 1e30f, 1e30f);
    v3_set(high, -1e30f, -1e30f, -1e30f);
    for (int m = 0; m < model->mesh_count; m++) {
        const GenVertex *vertices = (const GenVertex *)model->meshes[m].vertices.data;
        for (int i = 0; i < model->meshes[m].vertices.count; i++)
            for (int k = 0; k < 3; k++) {
                low[k] = fminf(low[k], vertices[i].position[k]);
                high[k] = fmaxf(high[k], vertices[i].position[k]);
            }
    }
}

// Numbers written short but exact enough: five decimals, "-0" avoided.
static int put_number(ByteBuffer *out, float value)
{
    if (fabsf(value) < 0.000005f)
        value = 0.0f;
    char text[32];
    int n = snprintf(text, sizeof text, "%.5f", value);
    while (n > 1 && text[n - 1] == '0')
        n--;
    if (text[n - 1] == '.')
        n--;
    text[n] = ' ';
    return buffer_append(out, text, (size_t)n + 1);
}

int encode_jm(ByteBuffer *out, const GenModel *model, const char *skeleton_name)
{
    int ok = model->bone_count > 0
                 ? buffer_printf(out, "JM2\n%d %s\n", model->bone_count, skeleton_name ? skeleton_name : "skeleton")
                 : buffer_printf(out, "JM1\n");
    for (int m = 0; ok && m < model->mesh_count; m++) {
        const GenMesh *mesh = &model->meshes[m];
        ok = buffer_printf(out, "%g %g %g %g %g %d %d\n", mesh->material, mesh->colour[3], mesh->colour[0],
                           mesh->colour[1], mesh->colour[2], mesh->vertices.count, mesh->triangles.count);
        const GenVertex *vertices = (const GenVertex *)mesh->vertices.data;
        for (int i = 0; ok && i < mesh->vertices.count; i++) {
            const GenVertex *v = &vertices[i];
            for (int k = 0; k < 3; k++)
                ok = ok && put_number(out, v->position[k]);
            for (int k = 0; k < 3; k++)
                ok = ok && put_number(out, v->normal[k]);
            ok = ok && put_number(out, v->uv[0]) && put_number(out, 1.0f - v->uv[1]);
            for (int b = 0; b < model->bone_count; b++)
                ok = ok && put_number(out, v->weights[b]);
            out->data[out->size - 1] = '\n';
        }
        const int *triangles = (const int *)mesh->triangles.data;
        for (int t = 0; ok && t < mesh->triangles.count; t++)
            ok = buffer_printf(out, "%d %d %d\n", triangles[3 * t], triangles[3 * t + 1], triangles[3 * t + 2]);
    }
    return ok;
}
