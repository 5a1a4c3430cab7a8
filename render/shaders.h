// The seven GLSL programs of the renderer, chosen by slot: 0 the fixed
// pipeline, 1 "lit", 2 "env", 3 "norm_lit", 4 "norm_env", 5 "norm_spec_lit",
// 6 "terrain_normals", 7 "terrain"; their uniforms, and the per-frame
// change counters of the render statistics.
#pragma once

#include "render/gl_extensions.h"
#include "render/model.h"

enum { SHADER_SLOT_COUNT = 8 };

enum ShaderSlot {
    SHADER_FIXED = 0,
    SHADER_LIT = 1,
    SHADER_ENV = 2,
    SHADER_NORM_LIT = 3,
    SHADER_NORM_ENV = 4,
    SHADER_NORM_SPEC_LIT = 5,
    SHADER_TERRAIN_NORMALS = 6,
    SHADER_TERRAIN = 7,
};

struct ShaderSlotRecord {
    GLhandleARB program;
    GLhandleARB vertex_shader;
    GLhandleARB fragment_shader;
    GLint bone_locations[4];   // nbones, bone_c, bone_t, bone_r
    int bones_looked_up;
};

extern ShaderSlotRecord shader_slots[SHADER_SLOT_COUNT];
extern GLint env_matrix_locations[2];   // envmat of slots 2 and 4, -1 until looked up
extern int current_shader_slot;
extern int shader_change_count;
extern int texture_change_count;

// The GLSL text of a slot's stages (slots 1..7), and its name.
const char *shader_vertex_source(int slot);
const char *shader_fragment_source(int slot);
const char *shader_slot_name(int slot);

int build_shader_programs(void);
int shader_build_program(GLhandleARB *program, GLhandleARB *vertex_shader, GLhandleARB *fragment_shader,
                         const char *vertex_source, const char *fragment_source, const char *name);
void bind_shader_slot(unsigned slot);
GLhandleARB get_shader_program(int slot);
void set_env_matrix(const float *matrix);
// n bones (at most MAX_BONE): centres and translations 3 floats each,
// rotations 9 floats each in column order.
void shader_set_bones(int n, const float *centres, const float *translations, const float *rotations);
void delete_shader_programs(void);
