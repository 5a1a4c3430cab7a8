// The menus as one state machine: the screen shown, its selected item, the
// key dispatch to each screen, the chooser list several screens open, the
// main menu and exit screen, and the menus' share of the main loop's event
// handling.
#pragma once

#include "app/widgets.h"

struct GameWindow;

enum MenuState {
    MENU_NONE = -1,
    MENU_MAIN = 0,
    MENU_NEW_RACE = 1,
    MENU_CHOOSER = 2,
    MENU_PLAYBACK_RACE = 3,
    MENU_POINTS_SERIES = 4,
    MENU_SERIES_STANDINGS = 5,
    MENU_TIME_TRIAL = 6,
    MENU_BIKE_SETUP = 7,
    MENU_SUSPENSION_GEARING = 8,
    MENU_ADVANCED_STABILITY = 9,
    MENU_CONTROLS = 10,
    MENU_GRAPHICS_SOUND = 11,
    MENU_ADVANCED_GRAPHICS = 12,
    MENU_MULTIPLAYER = 13,
    MENU_CONSOLE = 16,
    MENU_EXIT = 18,
    MENU_STATE_LIMIT = 19,
};

enum { CHOOSER_ROWS = 20 };

static const char BUILD_STAMP[] = "2020-07-12-1524 snapshot";

extern int menu_state;       // MENU_NONE while no menu is shown
extern int menu_selection;   // the selected item of the screen shown
extern int menu_key_block;   // set: menu_key ignores keys until the next tics
extern int exit_requested;   // the main loop ends the program

// The chooser: a page of 20 rows of a list's choices.
extern OptionList *chooser_list;
extern const char *chooser_title;
extern int chooser_return_state;
extern void (*chooser_callback)(int index);
extern int chooser_page;
extern MenuItem chooser_rows[CHOOSER_ROWS];

// Draw stage: the screen of menu_state over the frame, nothing at MENU_NONE.
void draw_menu(void);
// Action stage: a pressed key (or MENU_KEY_DRAG) for the screen shown.
void menu_key(int key);
// Another screen, at its first item.
void set_menu_state(int state);
// The null-terminated item rectangles of a screen in item order (an empty
// list for states without items).
const WidgetRect *const *menu_hover_rects(int state);

// "down" / "up" move the selection, which stays within 0..last_item.
void step_menu_selection(int key, int last_item);

void open_chooser(OptionList *list, const char *title, void (*callback)(int index));
void set_choice_result(int index);
void main_menu_key(int key);
void chooser_key(int key);
void exit_screen_key(int key);

// The main loop's share for the menus. Each pass, before its tics:
void begin_menu_tics(void);
// Each event of a tic: closing the window, the key block on a change of
// screen, the left button's state, a binding capture, Escape opening or
// closing the menus and presses for the screen shown. 1 when the event
// goes no further.
int menu_event(int code, int pressed);
// With a menu shown: the cursor from its axes, then a drag for a held left
// button when it moved, else the hover highlight.
void menu_cursor_step(void);
// The menu keys and the cursor axes looked up in the window.
void bind_menu_keys(GameWindow *window);
void unbind_menu_keys(void);
