// Drawing settings and switches of the renderer, chosen in one place: what
// the shell will set from the graphics menus and the command line, the
// capabilities found in the driver, and the fog of the scene.
#pragma once

#include <cstdint>

extern int ground_detail_limit;            // first drawn ground texture level 0..6 (6: base blocks only)
extern float terrain_lod_tolerance;        // level-of-detail tolerance
extern int ground_texture_size_setting;    // block texture size, texels
extern int ground_shaders_setting;         // terrain normal mapping asked for
extern int normal_mapping_enabled;         // statues and bikes look up "_norm"/"_spec"
extern int ground_mipmaps;
extern int framebuffer_extension;          // framebuffer objects available
extern int auto_mipmap_extension;          // automatic mipmap generation available
extern int shader_capability;              // both shader extensions and 4 texture units
extern int shader_programs_available;      // shaders in use: asked for, capable and built
extern uint8_t placeholder_colours[2][3];  // the checkerboard of unbuilt ground textures
extern int texture_detail;                 // mip levels dropped from images not marked '!'
extern int texture_compression;            // 0 never, 1 as the info text asks, 2 always
extern float lod_bias;                     // feet taken off every level's switch distance
extern float lod_scale;                    // multiplies the eye distance for level choice
extern int no_vertex_arrays;               // draw meshes one vertex at a time
extern int reflections_enabled;            // the models' environment pass
extern int debug_level;                    // non-zero: the renderer's verbose messages
                                           // (2: the auto pilot's lines in the scene)
// The scene's other settings live in the menus' widgets (app/graphics_settings.h).
extern int billboard_optimize_lookahead;   // billboards looked ahead for the same texture ("@config")
extern int render_fugly;                   // "--fugly": no sky, the colour buffer cleared

// A framebuffer object, or 0 when the driver has none or no context is current.
int generate_framebuffer(void);
void delete_framebuffer(int framebuffer);

struct FogSettings {
    float colour[4];
    float density;
};
extern FogSettings fog_settings;
// Sets GL's exponential fog (mode, density, colour) from fog_settings;
// the scene switches it on while it draws when the density is above 0.
void apply_fog(void);
