// Drawing the Graphics/Sound, Advanced Graphics, Customize Controls and
// Multiplayer screens.
#include "app/option_screen_items.h"

#include <cstdio>

#include "app/bindings.h"
#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/widget_draw.h"
#include "net/client.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"

namespace {

OptionScreenItems &o = option_items;
const float STEP = MENU_ROW_STEP;
const float WIDE = 47.33f;
const float PRESET_WIDTH = 23.33f;

const WidgetColours available_colours = {{0.0f, 1.0f, 0.0f, 0.3f}, {0.9f, 0.9f, 0.9f, 1.0f}};
const WidgetColours unavailable_colours = {{1.0f, 0.0f, 0.0f, 0.3f}, {0.9f, 0.9f, 0.9f, 1.0f}};

const char *gl_text(GLenum name)
{
    const char *text = gl_ready() ? (const char *)glGetString(name) : nullptr;
    return text ? text : "";
}

void draw_line(float r, float g, float b, float left, float right, const char *text)
{
    glPushMatrix();
    draw_text_centered(r, g, b, 1.0f, left, right, text);
    glPopMatrix();
}

void draw_badge(int available)
{
    const WidgetColours &c = available ? available_colours : unavailable_colours;
    glPushMatrix();
    glTranslatef(31.67f + 3.0f * WIDGET_BORDER, 0.0f, 0.0f);
    draw_framed_text(available ? "Available" : "Not Available", c.text, c.frame,
                     10.996668f - 3.0f * WIDGET_BORDER - 0.67f, 0.5f);
    glPopMatrix();
}

void draw_cell(float left, float right, const char *text)
{
    glPushMatrix();
    draw_text_centered(1.0f, 1.0f, 1.0f, 1.0f, left, right, text);
    glPopMatrix();
}

// The server's riders: slot, ping, number, bike and name, a row each.
void draw_player_table(LayoutPen *pen, const PixelScale *scale)
{
    static PlayerRow rows[NET_NO_SLOT];
    int count = build_player_rows(rows, NET_NO_SLOT);
    move_pen(pen, scale, -20.0f, -0.5f);
    draw_rgba_rect({0.0f, 0.0f, 0.0f, 0.25f}, 0.5f, 0.0f, 39.5f, 1.0f);
    draw_cell(0.5f, 4.0f, "Slot");
    draw_cell(4.0f, 8.0f, "Ping");
    draw_cell(8.0f, 12.0f, "No.");
    draw_cell(12.0f, 20.0f, "Bike");
    draw_cell(20.0f, 39.5f, "Name");
    for (int i = 0; i < count; i++) {
        move_pen(pen, scale, 0.0f, -1.0f);
        if (i % 2 == 1)
            draw_rgba_rect({1.0f, 1.0f, 1.0f, 0.25f}, 0.5f, 0.0f, 39.5f, 1.0f);
        char slot[16], ping[16];
        snprintf(slot, sizeof slot, "%d", rows[i].slot);
        snprintf(ping, sizeof ping, "%d", rows[i].ping_ms);
        draw_cell(0.5f, 4.0f, slot);
        draw_cell(4.0f, 8.0f, ping);
        draw_cell(8.0f, 12.0f, rows[i].number);
        draw_cell(12.0f, 20.0f, rows[i].bike);
        glPushMatrix();
        glTranslatef(20.0f, 0.0f, 0.0f);
        draw_text_shadowed(1.0f, 1.0f, 1.0f, 1.0f, rows[i].name);
        glPopMatrix();
    }
}

}  // namespace

void draw_graphics_sound_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Graphics/Sound Setup", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&o.graphics_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_button(&o.advanced_button, menu_selection == 1, &pen, &scale, 15.0f, 0.0f);
    end_overlay();

    begin_menu_panel(36.0f, 0.0f, -6.125f, &pen, &scale);
    move_pen(&pen, &scale, 12.0f, -1.875f);
    draw_framed_text(current_settings_text(), label_colours.text, label_colours.frame, PRESET_WIDTH, 0.0f);
    for (int i = 0; i < 4; i++) {
        move_pen(&pen, &scale, 0.0f, -STEP);
        draw_button(&o.preset_buttons[i], menu_selection == 2 + i, &pen, &scale, PRESET_WIDTH, 0.0f);
    }
    move_pen(&pen, &scale, -12.0f, -1.875f);
    draw_option_list(&video_mode_list, menu_selection == 6, &pen, &scale, WIDE, 0.0f, 0.5f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_button(&o.switch_mode, menu_selection == 7, &pen, &scale, WIDE, 0.0f);
    move_pen(&pen, &scale, 0.0f, -1.875f);
    for (int i = 0; i < 2; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_option_list(view_option_lists[i], menu_selection == 8 + i, &pen, &scale, WIDE, 0.0f, 0.5f);
    }
    for (int i = 0; i < 8; i++) {
        move_pen(&pen, &scale, 0.0f, -STEP);
        draw_slider(view_sliders[i], menu_selection == 10 + i, &pen, &scale, WIDE, 0.0f, 0.5f);
    }
    move_pen(&pen, &scale, 23.67f, -1.5f);
    draw_line(1.0f, 0.0f, 0.0f, -12.5f, 12.5f, "Some settings will not take effect until next restart");
    glTranslatef(0.0f, -1.0f, 0.0f);
    glScalef(0.75f, 0.75f, 1.0f);
    draw_line(1.0f, 1.0f, 1.0f, -12.5f / 0.75f, 12.5f / 0.75f, "Driver info:");
    const GLenum strings[3] = {GL_VENDOR, GL_RENDERER, GL_VERSION};
    for (GLenum name : strings) {
        glTranslatef(0.0f, -1.0f, 0.0f);
        draw_line(1.0f, 1.0f, 1.0f, -12.5f / 0.75f, 12.5f / 0.75f, gl_text(name));
    }
    end_overlay();
}

void draw_advanced_graphics_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Advanced Graphics Setup", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&o.advanced_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -2.875f);
    for (int i = 0; i < ADVANCED_GRAPHICS_ITEMS - 1; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        const AdvancedGraphicsItem &item = advanced_graphics_items[i];
        int selected = menu_selection == i + 1;
        if (item.list == &render_texture_list || item.list == &use_shader_list) {
            draw_option_list(item.list, selected, &pen, &scale, 31.67f, 0.0f, 0.66303545f);
            if (item.list == &render_texture_list)
                draw_badge(!(render_texture_list.selected == 2 && !framebuffer_extension));
            else
                draw_badge(shader_capability);
        } else if (item.slider) {
            draw_slider(item.slider, selected, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.5f);
        } else {
            draw_option_list(item.list, selected, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.5f);
        }
    }
    end_overlay();
}

void draw_controls_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Customize Controls", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&o.controls_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -1.875f);
    for (int i = 0; i < BINDING_COUNT; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -STEP);
        draw_binding_row(binding_order[i], menu_selection == i + 1, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.25f);
    }
    end_overlay();
}

void draw_multiplayer_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Multiplayer", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&o.multiplayer_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    o.connect.label = net_socket != -1 ? "Disconnect" : "Connect";
    draw_button(&o.connect, menu_selection == 1, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -STEP);
    draw_button(&o.request_restart, menu_selection == 2, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 5.3333335f, -2.875f);
    draw_text_field(&server_field, menu_selection == 3, &pen, &scale, 32.0f, 0.0f, 0.1875f);
    move_pen(&pen, &scale, 16.0f, -1.875f);
    if (net_socket != -1 && client_state == CLIENT_RUNNING)
        draw_player_table(&pen, &scale);
    end_overlay();
}
