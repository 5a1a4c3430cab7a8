// The graphics settings of the Graphics/Sound and Advanced Graphics
// screens, held in their widgets: the video mode, the views, the ground and
// model detail and the effects, the four presets, and the renderer's
// values derived from them.
#pragma once

#include "app/widgets.h"

enum {
    GRAPHICS_PRESET_ROWS = 13,
    GRAPHICS_PRESETS = 4,   // Compatibility, High FPS, Normal, High Detail
    VIDEO_MODE_WINDOWED = 1,
};

extern OptionList video_mode_list;       // "Default Fullscreen", "Windowed", then "%dx%d"
extern int current_video_mode;           // the mode the window was opened or switched to
extern OptionList hide_rider_list;
extern OptionList rigid_camera_list;
extern Slider fov_slider;
extern Slider first_person_height_slider;
extern Slider first_person_angle_slider;
extern Slider first_person_gimbal_slider;
extern Slider third_person_height_slider;
extern Slider third_person_distance_slider;

extern Slider ground_detail_slider;           // "Ground Geometric Detail"
extern Slider ground_texture_levels_slider;   // "Ground Texture Levels"
extern OptionList ground_texture_dim_list;    // "Ground Texture Resolution"
extern OptionList ground_mipmaps_list;
extern OptionList compress_textures_list;
extern OptionList render_texture_list;        // "Terrain Rendering Method"
extern OptionList use_shader_list;
extern Slider model_detail_slider;            // "Model Geometric Detail"
extern Slider model_texture_detail_slider;
extern Slider roost_density_slider;
extern Slider reshade_delay_slider;
extern OptionList lens_flare_list;
extern OptionList reflections_list;
// The older "use_fbo" setting, kept only to read old settings files.
extern OptionList use_fbo_list;

// Copies one preset column (0..3) into the 13 settings it covers.
void apply_graphics_preset(int preset);
// The last preset whose 13 values all equal the current ones, or -1.
int matching_graphics_preset(void);
// "Current Settings: ..." naming that preset, or "Custom".
const char *current_settings_text(void);

// The fresh game's graphics values, written before "@config" is read.
void write_graphics_defaults(void);
// The renderer's values derived from the graphics widgets (detail,
// texture sizes and levels, compression, roost density, reflections,
// the terrain's texture mode); the command line may override them after.
void apply_graphics_settings(void);
// The size of a video-mode choice ("%dx%d"); 0 x 0 for the others.
void video_mode_size(int choice, int *width, int *height);
