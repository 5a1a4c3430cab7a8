// The screens of the menus as the state machine reaches them: one key
// function and one draw function per screen, the item rectangles each
// screen lists for the mouse, and the pieces the screens share.
#pragma once

#include "app/widgets.h"

// Race screens.
void new_race_key(int key);
void track_menu_key(int key);
void demo_menu_key(int key);
void series_list_key(int key);
void standings_key(int key);
void draw_new_race_screen(void);
void draw_time_trial_screen(void);
void draw_playback_screen(void);
void draw_series_list_screen(void);
void draw_standings_screen(void);
extern const WidgetRect *const new_race_rects[];
extern const WidgetRect *const time_trial_rects[];
extern const WidgetRect *const playback_rects[];
extern const WidgetRect *const series_list_rects[];
extern const WidgetRect *const standings_rects[];

// Bike setup screens.
void bike_setup_key(int key);
void suspension_key(int key);
void stability_key(int key);
void draw_bike_setup_screen(void);
void draw_suspension_screen(void);
void draw_stability_screen(void);
extern const WidgetRect *const bike_setup_rects[];
extern const WidgetRect *const suspension_rects[];
extern const WidgetRect *const stability_rects[];

// Graphics, sound, controls and multiplayer screens.
void graphics_sound_key(int key);
void advanced_graphics_key(int key);
void controls_key(int key);
void server_menu_key(int key);
void draw_graphics_sound_screen(void);
void draw_advanced_graphics_screen(void);
void draw_controls_screen(void);
void draw_multiplayer_screen(void);
extern const WidgetRect *const graphics_sound_rects[];
extern const WidgetRect *const advanced_graphics_rects[];
extern const WidgetRect *const controls_rects[];
extern const WidgetRect *const multiplayer_rects[];

// The main menu, chooser, console and exit screens.
void draw_main_menu(void);
void draw_chooser(void);
void draw_console_screen(void);
void draw_exit_screen(void);
extern const WidgetRect *const main_menu_rects[];
extern const WidgetRect *const chooser_rects[];
extern const WidgetRect *const console_rects[];
MenuItem *main_menu_item(int i);   // 0..8
MenuItem *chooser_item(int i);     // 0 Cancel, 1 Prev Page, 22 Next Page

// The layout steps the screens share, in panel units.
static const float MENU_ROW_STEP = 1.375f;    // 1 + 3 borders
static const float LIST_ROW_STEP = 1.25f;     // 1 + 2 borders
static const float MENU_LIST_WIDTH = 41.99667f;
// The screens' first panel and its title, back button 2 units lower.
struct LayoutPen;
struct PixelScale;
void begin_screen(const char *title, LayoutPen *pen, PixelScale *scale);

// Moving over a page of list rows: the rows from first_row on, of which
// the first filled ones are filled; moving onto an empty row goes on to
// the item after the rows (down) or back to the last filled row (up).
void skip_empty_rows(int key, int first_row, int rows, int filled);
