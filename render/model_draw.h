// Drawing models: the level of detail by distance, the lit pass (ordinary
// and glowing meshes) and the environment pass (reflective meshes), and
// skinning with up to 32 bones in the shaders or on the processor.
#pragma once

struct Model;

extern int model_polygon_count;   // triangles drawn, for the statistics
extern int model_vertex_count;

// The level drawn at the position, by its distance from camera_position.
const Model *choose_model_level(const Model *model, const float *position);

// A pose moves a rest point p of bone b to R_b (p - c_b) + t_b; centres and
// translations hold 3 floats a bone, rotations 9 in column order.
void draw_model(Model *model, const float *eye, const float *position, const float *rotation,
                const float *centres, const float *translations, const float *rotations, int bone_count);
void draw_model_env(Model *model, const float *eye, const float *position, const float *rotation,
                    const float *centres, const float *translations, const float *rotations, int bone_count);
void draw_part_model(Model *model, const float *eye, const float *position, const float *rotation);
void draw_part_model_env(Model *model, const float *eye, const float *position, const float *rotation);
int model_needs_env_pass(const Model *model);

void draw_mesh(const Model *mesh);
void draw_mesh_arrays(const Model *mesh);
void draw_mesh_immediate(const Model *mesh);
void draw_mesh_wireframe(const Model *mesh);
// Poses the drawn copy of a skinned mesh on the processor; nothing with
// shaders in use or when the bone count differs from the mesh's.
void skin_mesh(Model *mesh, const float *centres, const float *translations, const float *rotations,
               int bone_count);
// Angular environment-map coordinates of a reflective mesh for an eye,
// a placement and a rotation (rows), written over its texture coordinates.
void compute_env_coordinates(Model *mesh, const float *eye, const float *position, const float *rotation);

// Shader programs in use and a second texture unit to feed them.
int shaders_in_use(void);
// Binds a texture on a unit above 0 (texture 0 switches texturing off
// there), then makes unit 0 active again.
void bind_texture_unit(unsigned unit, int texture);
