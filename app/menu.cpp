// The menu state machine: key dispatch by screen, the main menu, the
// chooser and the exit screen's keys, and the menus' share of the main
// loop's event handling and cursor.
#include "app/menu.h"

#include <cstdlib>

#include "app/bindings.h"
#include "app/menu_screens.h"
#include "core/alloc.h"
#include "net/console.h"
#include "platform/input.h"
#include "platform/key_names.h"

int menu_state = MENU_NONE;
int menu_selection;
int menu_key_block;
int exit_requested;

OptionList *chooser_list;
const char *chooser_title;
int chooser_return_state;
void (*chooser_callback)(int index);
int chooser_page;
MenuItem chooser_rows[CHOOSER_ROWS];

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};

MenuItem main_menu_items[] = {
    {"New Race", NO_RECT},           {"Playback Race", NO_RECT},
    {"Points Series", NO_RECT},      {"Time Trial", NO_RECT},
    {"Multiplayer", NO_RECT},        {"Bike Setup", NO_RECT},
    {"Graphics/Sound Setup", NO_RECT}, {"Customize Controls", NO_RECT},
    {"Quit", NO_RECT},
};
const int MAIN_MENU_TARGETS[] = {MENU_NEW_RACE,       MENU_PLAYBACK_RACE,  MENU_POINTS_SERIES,
                                 MENU_TIME_TRIAL,     MENU_MULTIPLAYER,    MENU_BIKE_SETUP,
                                 MENU_GRAPHICS_SOUND, MENU_CONTROLS,       MENU_EXIT};
const int MAIN_MENU_ITEMS = 9;

MenuItem chooser_cancel = {"Cancel", NO_RECT};
MenuItem chooser_prev = {"Prev Page", NO_RECT};
MenuItem chooser_next = {"Next Page", NO_RECT};

enum { CHOOSER_FIRST_ROW = 2, CHOOSER_NEXT_ITEM = 22 };

const WidgetRect *const NO_RECTS[] = {nullptr};

int remembered_state = MENU_NONE;
int previous_cursor_x, previous_cursor_y;
AxisBinding *cursor_axis_x, *cursor_axis_y;

int chooser_last_page(void)
{
    int count = chooser_list ? chooser_list->count : 0;
    int last = (count + CHOOSER_ROWS - 1) / CHOOSER_ROWS - 1;
    return last < 0 ? 0 : last;
}

void fill_chooser_rows(void)
{
    int first = chooser_page * CHOOSER_ROWS;
    for (int i = 0; i < CHOOSER_ROWS; i++) {
        int index = first + i;
        chooser_rows[i].label =
            chooser_list && index < chooser_list->count && chooser_list->choices ? chooser_list->choices[index]
                                                                                 : nullptr;
        if (!chooser_rows[i].label)
            hide_item_rect(&chooser_rows[i].rect);
    }
}

void release_cursor_axes(void)
{
    AxisBinding **axes[] = {&cursor_axis_x, &cursor_axis_y};
    for (AxisBinding **axis : axes)
        if (*axis) {
            unbind_axis(*axis);
            checked_free(*axis);
            *axis = nullptr;
        }
}

}  // namespace

const WidgetRect *const main_menu_rects[] = {
    &main_menu_items[0].rect, &main_menu_items[1].rect, &main_menu_items[2].rect,
    &main_menu_items[3].rect, &main_menu_items[4].rect, &main_menu_items[5].rect,
    &main_menu_items[6].rect, &main_menu_items[7].rect, &main_menu_items[8].rect,
    nullptr,
};

const WidgetRect *const chooser_rects[] = {
    &chooser_cancel.rect,     &chooser_prev.rect,       &chooser_rows[0].rect,  &chooser_rows[1].rect,
    &chooser_rows[2].rect,    &chooser_rows[3].rect,    &chooser_rows[4].rect,  &chooser_rows[5].rect,
    &chooser_rows[6].rect,    &chooser_rows[7].rect,    &chooser_rows[8].rect,  &chooser_rows[9].rect,
    &chooser_rows[10].rect,   &chooser_rows[11].rect,   &chooser_rows[12].rect, &chooser_rows[13].rect,
    &chooser_rows[14].rect,   &chooser_rows[15].rect,   &chooser_rows[16].rect, &chooser_rows[17].rect,
    &chooser_rows[18].rect,   &chooser_rows[19].rect,   &chooser_next.rect,     nullptr,
};

const WidgetRect *const console_rects[] = {&console_line.rect, nullptr};

// The main menu's and the chooser's records, for their drawing.
MenuItem *main_menu_item(int i)
{
    return i >= 0 && i < MAIN_MENU_ITEMS ? &main_menu_items[i] : nullptr;
}
MenuItem *chooser_item(int i)
{
    return i == 0 ? &chooser_cancel : i == 1 ? &chooser_prev : i == CHOOSER_NEXT_ITEM ? &chooser_next : nullptr;
}

void set_menu_state(int state)
{
    menu_state = state;
    menu_selection = 0;
}

void step_menu_selection(int key, int last_item)
{
    if (key == menu_keys.down)
        menu_selection++;
    else if (key == menu_keys.up)
        menu_selection--;
    if (menu_selection > last_item)
        menu_selection = last_item;
    if (menu_selection < 0)
        menu_selection = 0;
}

void skip_empty_rows(int key, int first_row, int rows, int filled)
{
    int empty_from = first_row + (filled < 0 ? 0 : filled);
    int after = first_row + rows;
    if (menu_selection < empty_from || menu_selection >= after)
        return;
    if (key == menu_keys.down)
        menu_selection = after;
    else if (key == menu_keys.up)
        menu_selection = empty_from - 1;
}

const WidgetRect *const *menu_hover_rects(int state)
{
    switch (state) {
    case MENU_MAIN: return main_menu_rects;
    case MENU_NEW_RACE: return new_race_rects;
    case MENU_CHOOSER: return chooser_rects;
    case MENU_PLAYBACK_RACE: return playback_rects;
    case MENU_POINTS_SERIES: return series_list_rects;
    case MENU_SERIES_STANDINGS: return standings_rects;
    case MENU_TIME_TRIAL: return time_trial_rects;
    case MENU_BIKE_SETUP: return bike_setup_rects;
    case MENU_SUSPENSION_GEARING: return suspension_rects;
    case MENU_ADVANCED_STABILITY: return stability_rects;
    case MENU_CONTROLS: return controls_rects;
    case MENU_GRAPHICS_SOUND: return graphics_sound_rects;
    case MENU_ADVANCED_GRAPHICS: return advanced_graphics_rects;
    case MENU_MULTIPLAYER: return multiplayer_rects;
    case MENU_CONSOLE: return console_rects;
    default: return NO_RECTS;
    }
}

void menu_key(int key)
{
    if (menu_key_block)
        return;
    switch (menu_state) {
    case MENU_MAIN: main_menu_key(key); break;
    case MENU_NEW_RACE: new_race_key(key); break;
    case MENU_CHOOSER: chooser_key(key); break;
    case MENU_PLAYBACK_RACE: demo_menu_key(key); break;
    case MENU_POINTS_SERIES: series_list_key(key); break;
    case MENU_SERIES_STANDINGS: standings_key(key); break;
    case MENU_TIME_TRIAL: track_menu_key(key); break;
    case MENU_BIKE_SETUP: bike_setup_key(key); break;
    case MENU_SUSPENSION_GEARING: suspension_key(key); break;
    case MENU_ADVANCED_STABILITY: stability_key(key); break;
    case MENU_CONTROLS: controls_key(key); break;
    case MENU_GRAPHICS_SOUND: graphics_sound_key(key); break;
    case MENU_ADVANCED_GRAPHICS: advanced_graphics_key(key); break;
    case MENU_MULTIPLAYER: server_menu_key(key); break;
    case MENU_CONSOLE: text_entry_key(key); break;
    case MENU_EXIT: exit_screen_key(key); break;
    default: break;
    }
}

void main_menu_key(int key)
{
    step_menu_selection(key, MAIN_MENU_ITEMS - 1);
    if (!is_item_activated(&main_menu_items[menu_selection].rect, key))
        return;
    int target = MAIN_MENU_TARGETS[menu_selection];
    set_menu_state(target);
    // The key that chose Quit must not also leave the program.
    if (target == MENU_EXIT)
        menu_key_block = 1;
}

void exit_screen_key(int key)
{
    // A drag is the mouse moving with the button still held, no key.
    if (key != MENU_KEY_DRAG)
        exit_requested = 1;
}

void open_chooser(OptionList *list, const char *title, void (*callback)(int index))
{
    chooser_return_state = menu_state;
    chooser_list = list;
    chooser_title = title;
    chooser_callback = callback;
    menu_selection = 0;
    chooser_page = 0;
    fill_chooser_rows();
    menu_state = MENU_CHOOSER;
}

void set_choice_result(int index)
{
    if (chooser_list && index >= 0 && index < chooser_list->count)
        chooser_list->selected = index;
}

void chooser_key(int key)
{
    int count = chooser_list ? chooser_list->count : 0;
    int on_page = count - CHOOSER_ROWS * chooser_page;
    step_menu_selection(key, CHOOSER_NEXT_ITEM);
    if (on_page <= CHOOSER_ROWS)
        skip_empty_rows(key, CHOOSER_FIRST_ROW, CHOOSER_ROWS, on_page);
    int item = menu_selection;
    const WidgetRect *rect = chooser_rects[item];
    if (!is_item_activated(rect, key))
        return;
    if (item == 0) {
        set_menu_state(chooser_return_state);
    } else if (item == 1) {
        chooser_page = chooser_page > 0 ? chooser_page - 1 : 0;
        if (chooser_page > chooser_last_page())
            chooser_page = chooser_last_page();
        fill_chooser_rows();
    } else if (item == CHOOSER_NEXT_ITEM) {
        if (chooser_page < chooser_last_page())
            chooser_page++;
        fill_chooser_rows();
    } else if (chooser_rows[item - CHOOSER_FIRST_ROW].label) {
        int index = item - CHOOSER_FIRST_ROW + CHOOSER_ROWS * chooser_page;
        set_menu_state(chooser_return_state);
        if (chooser_callback)
            chooser_callback(index);
    }
}

// ---- the main loop's share ------------------------------------------------------------

void begin_menu_tics(void)
{
    remembered_state = menu_state;
    menu_key_block = 0;
}

int menu_event(int code, int pressed)
{
    if (code == menu_keys.close) {
        exit_requested = 1;
        return 1;
    }
    if (menu_state != remembered_state) {
        remembered_state = menu_state;
        menu_key_block = 1;
    }
    if (code == menu_keys.cursor_left)
        mouse_held = pressed;
    if (capture_binding_event(code, pressed))
        return 1;
    if (pressed && code == menu_keys.esc) {
        menu_state = menu_state == MENU_NONE ? MENU_MAIN : MENU_NONE;
        menu_selection = 0;
    }
    if (menu_state == MENU_NONE)
        return 0;
    if (pressed)
        menu_key(code);
    return 1;
}

void menu_cursor_step(void)
{
    cursor_x = cursor_axis_x ? read_axis(cursor_axis_x) : 0;
    cursor_y = cursor_axis_y ? read_axis(cursor_axis_y) : 0;
    int moved = cursor_x != previous_cursor_x || cursor_y != previous_cursor_y;
    previous_cursor_x = cursor_x;
    previous_cursor_y = cursor_y;
    if (menu_state == MENU_NONE)
        return;
    if (!mouse_held)
        hover_menu_item();
    else if (moved)
        menu_key(MENU_KEY_DRAG);
}

void bind_menu_keys(GameWindow *window)
{
    release_cursor_axes();
    cursor_axis_x = bind_axis(window, "cursor-x");
    cursor_axis_y = bind_axis(window, "cursor-y");
    struct {
        int *code;
        const char *name;
    } keys[] = {
        {&menu_keys.up, "up"},
        {&menu_keys.down, "down"},
        {&menu_keys.left, "left"},
        {&menu_keys.right, "right"},
        {&menu_keys.enter, "enter"},
        {&menu_keys.keypad_enter, "keypad enter"},
        {&menu_keys.esc, "esc"},
        {&menu_keys.pause, "pause"},
        {&menu_keys.cursor_left, "cursor-left"},
        {&menu_keys.cursor_right, "cursor-right"},
        {&menu_keys.page_up, "page up"},
        {&menu_keys.page_down, "page down"},
        {&menu_keys.close, "close"},
    };
    for (auto &key : keys)
        if (!parse_key_name(window, key.code, key.name))
            *key.code = -1;
}

void unbind_menu_keys(void)
{
    release_cursor_axes();
}
