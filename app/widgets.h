// Immediate-mode menu widgets: the static records that hold every user
// setting (buttons, option lists, sliders, text fields), their key
// handling and mouse hit tests, and the setters the settings readers use.
// Drawing is in app/widget_draw.cpp.
#pragma once

// Window pixels, x to the right and y down from the window's top; four -1
// values for a widget that is not shown.
struct WidgetRect {
    int x0, y0, x1, y1;
};

struct MenuItem {
    const char *label;
    WidgetRect rect;
};

struct OptionList {
    const char *label;
    const char *const *choices;
    int count;
    int selected;
    WidgetRect rect;
};

struct Slider {
    const char *label;
    double value;
    double step;
    double minimum;
    double maximum;
    WidgetRect rect;
    int bar_x0, bar_x1;   // window pixels of the bar's ends
};

struct TextField {
    const char *label;
    int capacity;     // characters
    char *text;       // capacity + 1 bytes, owned by the record
    int cursor;       // 0..length
    int insert_mode;  // 1 inserts, 0 overwrites
    WidgetRect rect;
};

struct Rgba {
    float r, g, b, a;
};

struct WidgetColours {
    Rgba frame;
    Rgba text;
};

// Key codes of the menus, looked up by name when the window opens; -1
// (no event has it) until then.
struct MenuKeys {
    int up, down, left, right, enter, keypad_enter, esc, pause;
    int cursor_left, cursor_right, page_up, page_down, close;
};
extern MenuKeys menu_keys;

enum {
    MENU_KEY_DRAG = 16,   // the cursor moved with the left button held
    KEY_BACKSPACE = 8,
    KEY_TAB = 9,
    KEY_DELETE = 127,
    TYPEAHEAD_LENGTH = 255,
};

static const float WIDGET_BORDER = 0.125f;

extern const WidgetColours label_colours;
extern const WidgetColours item_colours;
extern const WidgetColours selected_colours;
extern const WidgetColours odd_row_colours;
extern const WidgetColours even_row_colours;

// The cursor in window pixels, refreshed every tic by the main loop, and
// the left button's state.
extern int cursor_x;
extern int cursor_y;
extern int mouse_held;

// Typed letters that pick a choice of the list that last took a key.
extern char typeahead_text[TYPEAHEAD_LENGTH + 1];
extern const OptionList *typeahead_list;

// A rectangle that is never hit; returns it.
WidgetRect *hide_item_rect(WidgetRect *rect);
// Strictly inside on all four sides.
int is_cursor_in_rect(const WidgetRect *rect);
// The first of a null-terminated list of rectangles under the cursor, or -1.
int find_rect_under_cursor(const WidgetRect *const *rects);
// Enter, keypad Enter, space, or a left click inside the rectangle.
int is_item_activated(const WidgetRect *rect, int key);
// Typed characters a text field or type-ahead takes: 32..126 and 160..255.
int is_printable_character(int key);

void handle_option_list_key(OptionList *list, int key);
void handle_slider_key(Slider *slider, int key);
void handle_text_field_key(TextField *field, int key);

// The first choice equal to the text (case-sensitive): 1, else 0 and the
// selection unchanged.
int select_option_by_name(OptionList *list, const char *text);
// One finite number, clamped to the slider's range: 1; else 0 and the value
// unchanged.
int set_slider_from_text(Slider *slider, const char *text);
// At most capacity characters; the cursor goes to the end. Returns 1.
int set_text_field_text(TextField *field, const char *text);
// The selected choice as drawn: when this list has the type-ahead text and
// the choice holds it (the last place, ignoring case), that part is shown
// as typed in red. Cut at 1023 characters.
void format_shown_choice(const OptionList *list, char *text, int size);
// The selected choice's text, or "" for a list with no choices.
const char *selected_choice(const OptionList *list);
// The choices of a list, keeping the selection inside them.
void set_option_choices(OptionList *list, const char *const *choices, int count);
// The choice index of a selection kept inside 0..count-1 (0 when empty).
int clamp_selection(int selected, int count);
