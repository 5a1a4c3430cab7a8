// Drawing the bike setup screens: Bike Setup, Suspension and Gearing with
// the model's readouts, and Advanced Stability Setup.
#include "app/setup_screen_items.h"

#include <cstdio>

#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/widget_draw.h"
#include "bike/bike_models.h"
#include "bike/bike_setters.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"

namespace {

BikeSetup &s = bike_setup;
const float STEP = MENU_ROW_STEP;
const float HALF_WIDTH = 20.333334f;

// The value a slider stands for on the model, or null when it has none.
void draw_readout(const BikeModel *model, const Slider *slider)
{
    char text[64];
    float v = (float)(slider->value * 0.01);
    if (slider == &s.fork_spring_rate)
        snprintf(text, sizeof text, "%.3f kg/mm", (double)calc_fork_spring_rate(model, v));
    else if (slider == &s.fork_preload)
        snprintf(text, sizeof text, "%.2f mm", (double)calc_fork_preload(model, v));
    else if (slider == &s.fork_oil_level)
        snprintf(text, sizeof text, "%.2f mm", (double)calc_fork_oil_level(model, v));
    else if (slider == &s.shock_spring_rate)
        snprintf(text, sizeof text, "%.2f kg/mm", (double)calc_shock_spring_rate(model, v));
    else if (slider == &s.shock_preload)
        snprintf(text, sizeof text, "%.2f mm", (double)calc_shock_preload(model, v));
    else if (slider == &s.front_sprocket)
        snprintf(text, sizeof text, "%.2f teeth", get_default_front_sprocket(model) + slider->value);
    else if (slider == &s.rear_sprocket)
        snprintf(text, sizeof text, "%.2f teeth", get_default_rear_sprocket(model) + slider->value);
    else
        return;
    glPushMatrix();
    draw_text_centered(0.5f, 0.5f, 0.5f, 0.8f, 20.998335f, 52.663334f, text);
    glPopMatrix();
}

}  // namespace

void draw_bike_setup_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Bike Setup", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&setup_items.setup_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_button(&setup_items.suspension_button, menu_selection == 1, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_button(&setup_items.stability_button, menu_selection == 2, &pen, &scale, 15.0f, 0.0f);

    move_pen(&pen, &scale, 21.993334f, STEP - 0.5f);
    draw_option_list(&s.bike, menu_selection == 3, &pen, &scale, HALF_WIDTH, 0.0f, 0.33f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_text_field(&s.name, menu_selection == 4, &pen, &scale, HALF_WIDTH, 0.0f, 0.33f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_text_field(&s.number, menu_selection == 5, &pen, &scale, HALF_WIDTH, 0.0f, 0.33f);

    move_pen(&pen, &scale, -21.663334f, -0.5f - STEP);
    for (int i = 0; i < 4; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_option_list(&setup_screen_graphics[i]->list, menu_selection == 6 + i, &pen, &scale, MENU_LIST_WIDTH,
                         0.0f, 0.33f);
    }
    move_pen(&pen, &scale, 0.0f, -0.5f - STEP);
    draw_slider(&s.stability, menu_selection == 10, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.5f);
    for (int i = 0; i < SETUP_SCREEN_SLIDERS; i++) {
        move_pen(&pen, &scale, 0.0f, -STEP);
        draw_slider(setup_screen_sliders[i], menu_selection == 11 + i, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.5f);
    }
    move_pen(&pen, &scale, 0.0f, -0.5f - STEP);
    for (int i = 0; i < SETUP_SCREEN_OPTIONS; i++) {
        if (i == 5)
            move_pen(&pen, &scale, 21.663334f, 4.0f * STEP);
        else if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_option_list(setup_screen_options[i], menu_selection == 15 + i, &pen, &scale, HALF_WIDTH, 0.0f, 0.67f);
    }
    end_overlay();
}

void draw_suspension_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Suspension and Gearing", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&setup_items.suspension_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    end_overlay();

    begin_menu_panel(40.0f, 0.0f, -1.0f - WIDGET_BORDER, &pen, &scale);
    move_pen(&pen, &scale, 0.0f, (-STEP - 3.5f) * 1.25f);
    const BikeModel *model = find_bike_model(selected_choice(&s.bike));
    for (int i = 0; i < SUSPENSION_SLIDERS; i++) {
        if (i == 7 || i == 13 || i == 15 || i == 17 || i == 19)
            move_pen(&pen, &scale, 0.0f, -0.5f);
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_slider(suspension_sliders[i], menu_selection == i + 1, &pen, &scale, 52.663334f, 0.0f, 0.5f);
        if (model)
            draw_readout(model, suspension_sliders[i]);
    }
    end_overlay();
}

void draw_stability_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Advanced Stability Setup", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&setup_items.stability_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -2.875f);
    for (int i = 0; i < STABILITY_SLIDERS; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_slider(stability_sliders[i], menu_selection == i + 1, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.5f);
    }
    end_overlay();
}
