// The drawing settings the terrain, track objects and models read, the
// framebuffer objects of the ground compositing, and the fog.
#include "render/render_settings.h"

#include "render/gl_extensions.h"

int ground_detail_limit = 0;
// 0.125 / "Ground Geometric Detail" at its fresh-game value of 70.
float terrain_lod_tolerance = 0.125f / 70.0f;
int ground_texture_size_setting = 128;
int ground_shaders_setting = 0;
int normal_mapping_enabled = 0;
int ground_mipmaps = 1;
int framebuffer_extension = 0;
int auto_mipmap_extension = 0;
int shader_capability = 0;
int shader_programs_available = 0;
uint8_t placeholder_colours[2][3] = {{96, 72, 48}, {160, 128, 96}};
// "Model Texture Detail" 9 and "Model Geometric Detail" 50 until the shell
// applies the menus: one level dropped, no bias, unit scale.
int texture_detail = 1;
int texture_compression = 1;
float lod_bias = 0.0f;
float lod_scale = 1.0f;
int no_vertex_arrays = 0;
int reflections_enabled = 1;
int debug_level = 0;
int billboard_optimize_lookahead = 8;
int render_fugly = 0;

FogSettings fog_settings = {{1.0f, 1.0f, 1.0f, 1.0f}, 0.0f};

int generate_framebuffer(void)
{
    if (!gl_info.has_framebuffer_object || !gl_entry.glGenFramebuffersEXT || !gl_ready())
        return 0;
    GLuint framebuffer = 0;
    gl_entry.glGenFramebuffersEXT(1, &framebuffer);
    return (int)framebuffer;
}

void delete_framebuffer(int framebuffer)
{
    if (framebuffer <= 0 || !gl_info.has_framebuffer_object || !gl_entry.glDeleteFramebuffersEXT ||
        !gl_ready())
        return;
    GLuint name = (GLuint)framebuffer;
    gl_entry.glDeleteFramebuffersEXT(1, &name);
}

void apply_fog(void)
{
    if (!gl_ready())
        return;
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, fog_settings.density > 0.0f ? fog_settings.density : 0.0f);
    glFogfv(GL_FOG_COLOR, fog_settings.colour);
}
