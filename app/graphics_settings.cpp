// The graphics settings' widgets with their defaults, the four presets,
// and the renderer's values derived from them.
#include "app/graphics_settings.h"

#include <cmath>
#include <cstdio>

#include "app/shell.h"
#include "app/track_settings.h"
#include "render/render_settings.h"

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};

const char *const NO_YES[] = {"No", "Yes"};
const char *const FIXED_VIDEO_MODES[] = {"Default Fullscreen", "Windowed"};
const char *const TEXTURE_DIMS[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
const char *const COMPRESSION[] = {"No", "Yes", "Always"};
const char *const RENDER_METHODS[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                      "Shaders/Direct"};

constexpr Slider slider(const char *label, double value, double step, double minimum, double maximum)
{
    return Slider{label, value, step, minimum, maximum, NO_RECT, 0, 0};
}

constexpr OptionList no_yes(const char *label, int selected)
{
    return OptionList{label, NO_YES, 2, selected, NO_RECT};
}

// A preset row: an option list's choice indices or a slider's values, in
// the order Compatibility, High FPS, Normal, High Detail.
struct PresetRow {
    OptionList *list;
    Slider *slider;
    double values[GRAPHICS_PRESETS];
};

const PresetRow PRESETS[GRAPHICS_PRESET_ROWS] = {
    {&render_texture_list, nullptr, {0, 2, 4, 4}},
    {&use_shader_list, nullptr, {1, 0, 1, 1}},
    {&ground_mipmaps_list, nullptr, {1, 1, 1, 1}},
    {&ground_texture_dim_list, nullptr, {1, 1, 2, 3}},
    {nullptr, &ground_texture_levels_slider, {9, 7, 9, 10}},
    {nullptr, &ground_detail_slider, {70, 50, 70, 90}},
    {&compress_textures_list, nullptr, {0, 1, 1, 0}},
    {nullptr, &model_texture_detail_slider, {9, 7, 9, 10}},
    {nullptr, &model_detail_slider, {50, 25, 50, 75}},
    {&reflections_list, nullptr, {1, 0, 1, 1}},
    {&lens_flare_list, nullptr, {1, 0, 1, 1}},
    {nullptr, &roost_density_slider, {1000, 0, 1000, 1000}},
    {nullptr, &reshade_delay_slider, {8, 10, 8, 0}},
};

const char *const PRESET_TEXTS[GRAPHICS_PRESETS + 1] = {
    "Current Settings: Compatibility", "Current Settings: High FPS", "Current Settings: Normal",
    "Current Settings: High Detail", "Current Settings: Custom"};

double clamp(double value, double low, double high)
{
    return value < low ? low : value > high ? high : value;
}

int option_index(const OptionList *list)
{
    return clamp_selection(list->selected, list->count);
}

}  // namespace

OptionList video_mode_list = {"Video Mode", FIXED_VIDEO_MODES, 2, 0, NO_RECT};
int current_video_mode;
OptionList hide_rider_list = no_yes("Hide 1st Person Rider", 0);
OptionList rigid_camera_list = no_yes("Rigid 3rd person camera", 0);
Slider fov_slider = slider("Field Of View", 110, 1, 10, 170);
Slider first_person_height_slider = slider("1st Person Height", 0, 0.03125, 0, 1);
Slider first_person_angle_slider = slider("1st Person Angle", 0, 1, 0, 40);
Slider first_person_gimbal_slider = slider("1st Person Gimbal", 0, 1, 0, 100);
Slider third_person_height_slider = slider("3rd Person Height", 5, 1, 0, 20);
Slider third_person_distance_slider = slider("3rd Person Distance", 10, 1, 5, 40);

Slider ground_detail_slider = slider("Ground Geometric Detail", 50, 1, 0, 100);
Slider ground_texture_levels_slider = slider("Ground Texture Levels", 9, 1, 0, 10);
OptionList ground_texture_dim_list = {"Ground Texture Resolution", TEXTURE_DIMS, 6, 2, NO_RECT};
OptionList ground_mipmaps_list = no_yes("Enable Ground Mipmaps", 1);
OptionList compress_textures_list = {"Compress Textures", COMPRESSION, 3, 1, NO_RECT};
OptionList render_texture_list = {"Terrain Rendering Method", RENDER_METHODS, 5, 2, NO_RECT};
OptionList use_shader_list = no_yes("Use Shader Programs", 1);
Slider model_detail_slider = slider("Model Geometric Detail", 50, 1, 0, 100);
Slider model_texture_detail_slider = slider("Model Texture Detail", 9, 1, 0, 10);
Slider roost_density_slider = slider("Roost Density", 250, 10, 0, 1000);
Slider reshade_delay_slider = slider("Reshade Delay", 0, 1, 0, 20);
OptionList lens_flare_list = no_yes("Enable Lens Flares", 1);
OptionList reflections_list = no_yes("Enable Reflections", 1);
OptionList use_fbo_list = no_yes("Use Framebuffer Objects", 1);

void apply_graphics_preset(int preset)
{
    if (preset < 0 || preset >= GRAPHICS_PRESETS)
        return;
    for (const PresetRow &row : PRESETS) {
        if (row.list)
            row.list->selected = clamp_selection((int)row.values[preset], row.list->count);
        else
            row.slider->value = clamp(row.values[preset], row.slider->minimum, row.slider->maximum);
    }
}

int matching_graphics_preset(void)
{
    int match = -1;
    for (int preset = 0; preset < GRAPHICS_PRESETS; preset++) {
        int all = 1;
        for (const PresetRow &row : PRESETS) {
            double current = row.list ? (double)option_index(row.list) : row.slider->value;
            if (current != row.values[preset])
                all = 0;
        }
        if (all)
            match = preset;
    }
    return match;
}

const char *current_settings_text(void)
{
    int preset = matching_graphics_preset();
    return PRESET_TEXTS[preset < 0 ? GRAPHICS_PRESETS : preset];
}

void write_graphics_defaults(void)
{
    reshade_delay_slider.value = 8;
    roost_density_slider.value = 1000;
    reflections_list.selected = 1;
    lens_flare_list.selected = 1;
    model_texture_detail_slider.value = 9;
    model_detail_slider.value = 50;
    render_texture_list.selected = 0;
    use_shader_list.selected = 1;
    compress_textures_list.selected = 0;
    ground_mipmaps_list.selected = 1;
    ground_texture_dim_list.selected = 1;
    ground_texture_levels_slider.value = 9;
    ground_detail_slider.value = 70;
}

void apply_graphics_settings(void)
{
    // A detail of 0 would make the tolerance infinite.
    terrain_lod_tolerance = (float)(0.125 / (ground_detail_slider.value < 1.0 ? 1.0 : ground_detail_slider.value));
    ground_detail_limit = (int)clamp(10.0 - ground_texture_levels_slider.value, 0.0, 10.0);
    ground_texture_size_setting = 32 << option_index(&ground_texture_dim_list);
    double scale = clamp(100.0 - model_detail_slider.value, 0.0, 100.0) * 0.02;
    if (scale > 1.0)
        scale = scale * scale * scale;
    lod_scale = (float)scale;
    lod_bias = (float)(50.0 - 50.0 * clamp((model_detail_slider.value - 10.0) * 0.05, 0.0, 1.0));
    texture_detail = (int)clamp(10.0 - model_texture_detail_slider.value, 0.0, 10.0);
    texture_compression = option_index(&compress_textures_list);
    roost_frequency = (int)roost_density_slider.value;
    reflections_enabled = option_index(&reflections_list);
    ground_mipmaps = option_index(&ground_mipmaps_list);
    static const int TEXTURE_MODES[5] = {1, 2, 3, 2, 3};
    terrain_texture_mode_setting = TEXTURE_MODES[option_index(&render_texture_list)];
}

void video_mode_size(int choice, int *width, int *height)
{
    *width = *height = 0;
    if (choice < 2 || choice >= video_mode_list.count || !video_mode_list.choices[choice])
        return;
    int w, h;
    if (sscanf(video_mode_list.choices[choice], "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
        *width = w;
        *height = h;
    }
}
