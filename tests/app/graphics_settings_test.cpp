// The renderer's settings derived from the graphics choices.
#include "app/graphics_settings.h"

#include "app/shell.h"
#include "render/render_settings.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(GraphicsSettings, DerivedFromTheChoices)
{
    const double nan = std::nan("");
    struct Case {
        const char *name;
        GraphicsChoices choices;
        float tolerance;
        int ground_detail;
        int ground_size;
        float scale;
        float bias;
        int texture_detail_value;
        int compression;
        int roost;
        int reflections;
    } cases[] = {
        {"start-up defaults", DEFAULT_GRAPHICS_CHOICES, 0.125f / 70.0f, 1, 64, 1.0f, 0.0f, 1, 0, 1000, 1},
        // Model detail 0: s = 2 is cubed; the bias is whole below detail 10.
        {"least model detail", {50, 10, 0, 0, 10, 1, 250, 0}, 0.0025f, 0, 32, 8.0f, 50.0f, 0, 1, 250, 0},
        // Model detail 20: s = 1.6 cubed, half the bias.
        {"model detail 20", {100, 9.5, 5, 20, 0, 2, 250.7, 1}, 0.00125f, 0, 1024, 4.096f, 25.0f, 10, 2,
         250, 1},
        {"model detail 100", {100, 0, 3, 100, 9.99, 0, 0, 1}, 0.00125f, 10, 256, 0.0f, 0.0f, 0, 0, 0, 1},
        // Out of range or not a number: held to the range, never divided by 0.
        {"held to ranges", {0, -3, 9, 250, 12, 7, 5000, 1}, 0.125f, 10, 1024, 0.0f, 0.0f, 0, 2, 1000, 1},
        {"not a number", {nan, nan, -1, nan, nan, -4, nan, 0}, 0.125f, 0, 32, 8.0f, 50.0f, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        apply_graphics_choices(&c.choices);
        EXPECT_FLOAT_EQ(terrain_lod_tolerance, c.tolerance);
        EXPECT_EQ(ground_detail_limit, c.ground_detail);
        EXPECT_EQ(ground_texture_size_setting, c.ground_size);
        EXPECT_NEAR(lod_scale, c.scale, 1e-5f);
        EXPECT_FLOAT_EQ(lod_bias, c.bias);
        EXPECT_EQ(texture_detail, c.texture_detail_value);
        EXPECT_EQ(texture_compression, c.compression);
        EXPECT_EQ(roost_frequency, c.roost);
        EXPECT_EQ(reflections_enabled, c.reflections);
    }
}
