// ".jm" models: the three file layouts (old, JM1, JM2 with bone weights),
// cleaned triangles, tangents, texture densities and display lists, the
// model cache by name and generation with its "_lod" levels of detail,
// and the POV-Ray mesh text of the editor's scene export.
#pragma once

#include <cstddef>
#include <cstdint>

struct GameFile;

// Limits of a model file, checked before anything is allocated. The bone
// limit is also the size of the shaders' bone arrays.
enum {
    MODEL_MAX_VERTICES = 1 << 20,
    MODEL_MAX_TRIANGLES = 1 << 21,
    MAX_BONE = 32,
};

// One mesh; a model is its first mesh, further meshes of the file hang
// from it. One allocation holds the record, its arrays and its name.
struct Model {
    char *name;
    Model *next;            // further mesh of the same file
    int generation;         // first mesh: the model generation that last asked for it
    int environment;        // first mesh: any mesh is environment-mapped
    unsigned display_list;  // 0: drawn from the arrays
    int vertex_count;
    int triangle_count;
    int bone_count;         // above 0: skinned
    float colour[4];        // red, green, blue, alpha
    float material;         // >= 0 specular exponent, -1 reflective, -2 glowing
    // Positions, normals and tangents hold 3 floats a vertex; a skinned
    // mesh keeps the drawn pose first and the rest pose after it.
    float *positions;
    float *normals;
    float *tangents;
    float *coordinates;     // 2 a vertex, v turned into 1 - v
    float *weights;         // 4 a vertex, skinned meshes only
    int *bone_indices;      // 4 a vertex, skinned meshes only
    int *triangles;         // 3 a triangle
    float density_s;        // largest texture change per foot along an edge
    float density_t;
    float lod_distance;     // first mesh: switch distance of a lower level
    Model *lower;           // first mesh: next lower level of detail
};

constexpr float MATERIAL_REFLECTIVE = -1.0f;
constexpr float MATERIAL_GLOWING = -2.0f;

extern int model_generation;

Model *load_model(const char *name);
Model *parse_model(const char *name);
// 1 when the cache holds the name (in any case, as load_model finds it).
int model_is_cached(const char *name);

// Messages of a parse off the GL thread, each ending in a zero byte.
struct ModelMessages {
    char *text;
    size_t length;
};
// Parses a model with its "_lod" levels on any thread: no display lists,
// messages kept in *messages. Then, on the GL thread, finish_model_off_gl
// prints the messages (freeing them) and compiles the lists, so the model
// is as load_model's own parse would have left it.
Model *parse_model_off_gl(const char *name, ModelMessages *messages);
void finish_model_off_gl(Model *model, ModelMessages *messages);
Model *read_mesh(GameFile *file, const char *name, int bone_count);
void free_models(int all);
const char *get_model_name(const Model *model);
void write_model_pov(const Model *mesh, GameFile *file);
void write_model_pov_union(const Model *model, GameFile *file);
void model_texture_sizes(const Model *model, int size, int *s, int *t);
// Frees one model loaded through parse_model (with its meshes and levels).
void free_model(Model *model);
