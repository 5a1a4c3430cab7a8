// The drawing settings the terrain and track objects read, and the fog.
#include "render/render_settings.h"

int ground_detail_limit = 0;
float terrain_lod_tolerance = 0.125f;
int ground_texture_size_setting = 128;
int ground_shaders_setting = 0;
int normal_mapping_enabled = 0;
int ground_mipmaps = 1;
int framebuffer_extension = 0;
int auto_mipmap_extension = 0;
int shader_programs_available = 0;
uint8_t placeholder_colours[2][3] = {{96, 72, 48}, {160, 128, 96}};
int texture_detail = 0;
int debug_level = 0;

FogSettings fog_settings = {{1.0f, 1.0f, 1.0f, 1.0f}, 0.0f};

int generate_framebuffer(void)
{
    return 0;
}

void delete_framebuffer(int framebuffer)
{
    (void)framebuffer;
}

void apply_fog(void)
{
}
