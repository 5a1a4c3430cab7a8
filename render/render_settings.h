// Drawing settings and switches of the renderer that the terrain and the
// track objects read, chosen in one place, and the fog of the scene.
#pragma once

#include <cstdint>

extern int ground_detail_limit;            // first drawn level texture level 0..5
extern float terrain_lod_tolerance;        // level-of-detail tolerance
extern int ground_texture_size_setting;    // block texture size, texels
extern int ground_shaders_setting;         // terrain normal mapping asked for
extern int normal_mapping_enabled;         // statues and bikes look up "_norm"/"_spec"
extern int ground_mipmaps;
extern int framebuffer_extension;          // framebuffer objects available
extern int auto_mipmap_extension;          // automatic mipmap generation available
extern int shader_programs_available;
extern uint8_t placeholder_colours[2][3];  // the checkerboard of unbuilt ground textures
extern int texture_detail;                 // mip levels dropped from images not marked '!'
extern int debug_level;                    // non-zero: the renderer's verbose messages

int generate_framebuffer(void);            // 0 when none could be made
void delete_framebuffer(int framebuffer);

struct FogSettings {
    float colour[4];
    float density;
};
extern FogSettings fog_settings;
// Sets the scene's exponential fog from fog_settings.
void apply_fog(void);
