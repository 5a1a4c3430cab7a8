// Triangle meshes for ".jm" model files: a builder of vertices (position,
// normal, texture coordinate, bone weights) and counter-clockwise
// triangles, the solid primitives the generated models are made of, and
// the JM1/JM2 text writer.
#pragma once

#include "core/alloc.h"
#include "tools/datagen/gen_buffer.h"

enum { GEN_MAX_BONES = 9, GEN_MAX_MESHES = 8 };

struct GenVertex {
    float position[3];
    float normal[3];
    float uv[2];                   // u right, v down the image (written as 1 - v)
    float weights[GEN_MAX_BONES];  // skinned models only
};

struct GenMesh {
    GrowableArray vertices;    // GenVertex
    GrowableArray triangles;   // int[3]
    float material;            // specular exponent, -1 reflective, -2 glowing
    float colour[4];           // red, green, blue (the specular colour), alpha
};

struct GenModel {
    GenMesh meshes[GEN_MAX_MESHES];
    int mesh_count;
    int bone_count;            // 0: JM1; above 0: JM2 with that many weights a vertex
};

// A rectangle of the texture, in fractions of the image (v down).
struct UvRect {
    float u0, v0, u1, v1;
};

// A placement: origin and three unit axes.
struct GenFrame {
    float origin[3];
    float x[3], y[3], z[3];
};

void init_model(GenModel *model, int bone_count);
void free_model_data(GenModel *model);
// Meshes are written in the order they are added: reflective ones last.
GenMesh *add_mesh(GenModel *model, float material, float red, float green, float blue, float alpha);

int add_vertex(GenMesh *mesh, const float *position, const float *normal, float u, float v);
// A triangle turned, when needed, so that it winds counter-clockwise seen
// from the side the hint points to. Degenerate triangles are left out.
void add_facing_triangle(GenMesh *mesh, int a, int b, int c, const float *hint);
// A triangle whose winding follows the average normal of its corners.
void add_triangle(GenMesh *mesh, int a, int b, int c);
int mesh_vertex_count(const GenMesh *mesh);
GenVertex *mesh_vertex(GenMesh *mesh, int index);
// Sets the weights of vertices first .. count - 1 to one bone.
void bind_vertices(GenMesh *mesh, int first, int bone);

GenFrame frame_at(float x, float y, float z);
// A frame whose z axis runs along dir and whose x axis is as near side as it can be.
GenFrame frame_along(const float *origin, const float *dir, const float *side);

// Primitives; each maps its surface onto the rectangle of the texture.
void add_box(GenMesh *mesh, const GenFrame *frame, float hx, float hy, float hz, UvRect uv);
// A tube from p0 to p1 with radii r0, r1 (its cross section in the plane
// of the side hint), with end caps when caps is set.
void add_tube(GenMesh *mesh, const float *p0, const float *p1, float r0, float r1, int sides, UvRect uv,
              int caps);
void add_ellipsoid(GenMesh *mesh, const GenFrame *frame, float rx, float ry, float rz, int slices,
                   int stacks, UvRect uv);
// A torus about the frame's x axis.
void add_torus(GenMesh *mesh, const GenFrame *frame, float major, float minor, int segments, int sides,
               UvRect uv);
// A surface of revolution about the frame's x axis: the profile is
// (x, radius) pairs in order; the texture's u runs round, v along it.
void add_lathe(GenMesh *mesh, const GenFrame *frame, const float *profile, int count, int segments, UvRect uv);
// A flat quad, one sided (facing its normal) or both sided.
void add_quad(GenMesh *mesh, const float *p0, const float *p1, const float *p2, const float *p3, UvRect uv,
              int both_sides);
// A prism: the polygon (y, z pairs in the frame) extruded along the
// frame's x axis from -half_width to +half_width; caps by ear clipping.
void add_prism(GenMesh *mesh, const GenFrame *frame, const float *outline, int count, float half_width,
               UvRect side_uv, UvRect edge_uv);

// Bounds of every vertex of the model.
void model_bounds(const GenModel *model, float *low, float *high);
// "JM1" or "JM2" text of the model.
int encode_jm(ByteBuffer *out, const GenModel *model, const char *skeleton_name);
