// The renderer's settings derived from the graphics choices.
#include "app/graphics_settings.h"

#include <cmath>

#include "app/shell.h"
#include "render/render_settings.h"

const GraphicsChoices DEFAULT_GRAPHICS_CHOICES = {
    70.0,   // ground geometric detail
    9.0,    // ground texture levels
    1,      // 64x64
    50.0,   // model geometric detail
    9.0,    // model texture detail
    0,      // no compression
    1000.0, // roost density
    1,      // reflections on
};

// The value held to low..high; not a number gives low.
static double clamp_choice(double value, double low, double high)
{
    if (!(value >= low))
        return low;
    return value > high ? high : value;
}

void apply_graphics_choices(const GraphicsChoices *c)
{
    // A detail of 0 would make the tolerance infinite: 1 is the least.
    terrain_lod_tolerance = (float)(0.125 / clamp_choice(c->ground_geometric_detail, 1.0, 100.0));
    ground_detail_limit = (int)clamp_choice(10.0 - c->ground_texture_levels, 0.0, 10.0);
    ground_texture_size_setting = 32 << (int)clamp_choice(c->ground_texture_resolution, 0.0, 5.0);

    double model_detail = clamp_choice(c->model_geometric_detail, 0.0, 100.0);
    double scale = (100.0 - model_detail) * 0.02;
    if (scale > 1.0)
        scale = scale * scale * scale;
    lod_scale = (float)scale;
    lod_bias = (float)(50.0 - 50.0 * clamp_choice((model_detail - 10.0) * 0.05, 0.0, 1.0));

    texture_detail = (int)clamp_choice(10.0 - c->model_texture_detail, 0.0, 10.0);
    texture_compression = (int)clamp_choice(c->compress_textures, 0.0, 2.0);
    roost_frequency = (int)clamp_choice(c->roost_density, 0.0, 1000.0);
    reflections_enabled = c->enable_reflections != 0;
}
