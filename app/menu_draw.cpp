// Drawing the menus: the screen of menu_state over the frame, and the main
// menu, chooser, console and exit screens.
#include "app/menu.h"

#include <cmath>
#include <cstdio>

#include "app/menu_screens.h"
#include "app/shell.h"
#include "app/widget_draw.h"
#include "core/message.h"
#include "editor/editor.h"
#include "net/console.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "track/terrain.h"

namespace {

const float ROW_STEP = MENU_ROW_STEP;
const float LIST_WIDTH = MENU_LIST_WIDTH;

// A text overlay of `lines` lines, moved down to a line counted from the
// top (1 = the first), with the window's width in those units.
float begin_lines(float lines, float line)
{
    begin_text_overlay(lines);
    glTranslatef(0.0f, 1.0f - line, 0.0f);
    return view_half_height > 0.0f ? lines * view_half_width / view_half_height : lines;
}

void draw_centred_line(float lines, float line, float alpha, const char *text)
{
    float width = begin_lines(lines, line);
    draw_text_centered_shadowed(1.0f, 1.0f, 1.0f, alpha, 0.0f, width, text);
    end_overlay();
}

}  // namespace

void begin_screen(const char *title, LayoutPen *pen, PixelScale *scale)
{
    draw_menu_backdrop();
    begin_menu_panel(32.0f, 0.0f, -1.0f - WIDGET_BORDER, pen, scale);
    draw_menu_title(title);
}

void draw_main_menu(void)
{
    draw_menu_backdrop();
    LayoutPen pen;
    PixelScale scale;
    begin_menu_panel(32.0f, 0.0f, -4.5f, &pen, &scale);
    for (int i = 0; i < 9; i++) {
        if (i > 0)
            move_pen(&pen, &scale, 0.0f, -ROW_STEP);
        draw_button(main_menu_item(i), menu_selection == i, &pen, &scale, 15.0f, 0.0f);
    }
    end_overlay();
    // The disclaimer fades out during the tenth second.
    float alpha = (float)(10.0 - current_time);
    alpha = alpha < 0.0f ? 0.0f : alpha > 1.0f ? 1.0f : alpha;
    if (alpha > 0.0f) {
        draw_centred_line(40.0f, 37.0f, alpha, "Although this software depicts real objects and places, it is not");
        draw_centred_line(40.0f, 38.0f, alpha, "endorsed by or affiliated with any of the subjects depicted.");
    }
}

void draw_chooser(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen(chooser_title ? chooser_title : "", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(chooser_item(0), menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.33f, -2.0f);
    draw_button(chooser_item(1), menu_selection == 1, &pen, &scale, LIST_WIDTH, 0.0f);
    move_pen(&pen, &scale, 0.0f, -WIDGET_BORDER);
    for (int i = 0; i < CHOOSER_ROWS; i++) {
        move_pen(&pen, &scale, 0.0f, -LIST_ROW_STEP);
        if (chooser_rows[i].label)
            draw_list_row(&chooser_rows[i], menu_selection == i + 2, &pen, &scale, LIST_WIDTH, 0.0f, i);
        else
            hide_item_rect(&chooser_rows[i].rect);
    }
    move_pen(&pen, &scale, 0.0f, -ROW_STEP);
    draw_button(chooser_item(22), menu_selection == 22, &pen, &scale, LIST_WIDTH, 0.0f);
    end_overlay();
}

void draw_console_screen(void)
{
    draw_window_quad(0.0f, 0.0f, 0.0f, 0.75f);
    LayoutPen pen;
    PixelScale scale;
    begin_menu_panel(53.0f, 0.67f, -1.0f, &pen, &scale);
    const float width = 70.666664f;
    int scroll = console_scroll < 0 ? 0 : console_scroll > CONSOLE_SCROLL_LIMIT ? CONSOLE_SCROLL_LIMIT : console_scroll;
    for (int i = 0; i < 50; i++) {
        glTranslatef(0.0f, -1.0f, 0.0f);
        glPushMatrix();
        if (i == 49 && scroll > 0) {
            draw_text_centered_shadowed(0.75f, 0.75f, 0.75f, 1.0f, 0.0f, width, "^    ^    ^    ^    ^");
        } else {
            // The ring index stays in 0..999 for any scroll.
            int line = ((message_log.next_line + i - scroll - 50) % MESSAGE_LINES + MESSAGE_LINES) % MESSAGE_LINES;
            draw_text_grey_shadowed(message_log.lines[line]);
        }
        glPopMatrix();
    }
    pen.y -= 50.0f;
    move_pen(&pen, &scale, -0.67f, -3.0f * WIDGET_BORDER);
    draw_text_field(&console_line, menu_selection == 0, &pen, &scale, width, 1.0f, 0.009481132f);
    end_overlay();
}

void draw_exit_screen(void)
{
    draw_menu_backdrop();
    LayoutPen pen;
    PixelScale scale;
    begin_menu_panel(25.0f, 16.666666f, -10.0f, &pen, &scale);
    glTranslatef(0.0f, -4.0f, 0.0f);
    glPushMatrix();
    draw_text_centered_shadowed(1.0f, 1.0f, 1.0f, 1.0f, -12.5f, 12.5f, "Press any key to exit or ESC to keep playing");
    glPopMatrix();
    int unsaved = editor_on && current_terrain && (current_terrain->change_state & 2);
    double t = current_time * 2.0;
    if (unsaved && t - floor(t) > 0.5) {
        glTranslatef(0.0f, -1.5f, 0.0f);
        glPushMatrix();
        draw_text_centered(1.0f, 0.0f, 0.0f, 1.0f, -12.5f, 12.5f,
                           "Track has been modified since last save!  Think about it!!!");
        glPopMatrix();
    }
    end_overlay();
}

void draw_menu(void)
{
    if (menu_state == MENU_NONE)
        return;
    begin_draw_step();
    begin_menu_view();
    switch (menu_state) {
    case MENU_MAIN: draw_main_menu(); break;
    case MENU_NEW_RACE: draw_new_race_screen(); break;
    case MENU_CHOOSER: draw_chooser(); break;
    case MENU_PLAYBACK_RACE: draw_playback_screen(); break;
    case MENU_POINTS_SERIES: draw_series_list_screen(); break;
    case MENU_SERIES_STANDINGS: draw_standings_screen(); break;
    case MENU_TIME_TRIAL: draw_time_trial_screen(); break;
    case MENU_BIKE_SETUP: draw_bike_setup_screen(); break;
    case MENU_SUSPENSION_GEARING: draw_suspension_screen(); break;
    case MENU_ADVANCED_STABILITY: draw_stability_screen(); break;
    case MENU_CONTROLS: draw_controls_screen(); break;
    case MENU_GRAPHICS_SOUND: draw_graphics_sound_screen(); break;
    case MENU_ADVANCED_GRAPHICS: draw_advanced_graphics_screen(); break;
    case MENU_MULTIPLAYER: draw_multiplayer_screen(); break;
    case MENU_CONSOLE: draw_console_screen(); break;
    case MENU_EXIT: draw_exit_screen(); break;
    default: break;
    }
    end_menu_view();
    end_draw_step();
}
