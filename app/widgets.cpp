// The widget records' shared state, hit tests, key handlers and the
// setters the settings readers use. Nothing here draws.
#include "app/widgets.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

MenuKeys menu_keys = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

const WidgetColours label_colours = {{0.0f, 0.0f, 0.0f, 0.25f}, {0.9f, 0.9f, 0.9f, 1.0f}};
const WidgetColours item_colours = {{0.5f, 0.5f, 0.5f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const WidgetColours selected_colours = {{0.9f, 0.9f, 0.9f, 0.8f}, {0.0f, 0.0f, 0.0f, 1.0f}};
const WidgetColours odd_row_colours = {{0.2f, 0.2f, 0.2f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const WidgetColours even_row_colours = {{0.3f, 0.3f, 0.3f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}};

int cursor_x;
int cursor_y;
int mouse_held;

char typeahead_text[TYPEAHEAD_LENGTH + 1];
const OptionList *typeahead_list;

namespace {

int lower_ascii(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

int matches_at(const char *text, const char *part)
{
    for (; *part; text++, part++)
        if (lower_ascii((unsigned char)*text) != lower_ascii((unsigned char)*part))
            return 0;
    return 1;
}

int contains_ignoring_case(const char *text, const char *part)
{
    size_t n = strlen(text), m = strlen(part);
    for (size_t i = 0; i + m <= n; i++)
        if (matches_at(text + i, part))
            return 1;
    return 0;
}

int text_length(const TextField *field)
{
    return (int)strnlen(field->text, (size_t)field->capacity);
}

void keep_cursor_in_text(TextField *field)
{
    int length = text_length(field);
    if (field->cursor < 0)
        field->cursor = 0;
    if (field->cursor > length)
        field->cursor = length;
}

// Starting at the given choice, the first (each tried once) that holds the
// type-ahead text, or -1.
int find_typeahead_choice(const OptionList *list, int start)
{
    for (int k = 0; k < list->count; k++) {
        int i = (start + k) % list->count;
        const char *choice = list->choices[i];
        if (choice && contains_ignoring_case(choice, typeahead_text))
            return i;
    }
    return -1;
}

}  // namespace

WidgetRect *hide_item_rect(WidgetRect *rect)
{
    rect->x0 = rect->y0 = rect->x1 = rect->y1 = -1;
    return rect;
}

int is_cursor_in_rect(const WidgetRect *rect)
{
    return rect->x0 < cursor_x && cursor_x < rect->x1 && rect->y0 < cursor_y && cursor_y < rect->y1;
}

int find_rect_under_cursor(const WidgetRect *const *rects)
{
    if (!rects)
        return -1;
    for (int i = 0; rects[i]; i++)
        if (is_cursor_in_rect(rects[i]))
            return i;
    return -1;
}

int is_item_activated(const WidgetRect *rect, int key)
{
    if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == ' ')
        return 1;
    return key == menu_keys.cursor_left && is_cursor_in_rect(rect);
}

int is_printable_character(int key)
{
    return (key >= 32 && key < 127) || (key >= 160 && key <= 255);
}

int clamp_selection(int selected, int count)
{
    if (count <= 0 || selected < 0)
        return 0;
    return selected >= count ? count - 1 : selected;
}

void set_option_choices(OptionList *list, const char *const *choices, int count)
{
    list->choices = choices;
    list->count = count > 0 && choices ? count : 0;
    list->selected = clamp_selection(list->selected, list->count);
}

const char *selected_choice(const OptionList *list)
{
    if (list->count <= 0 || !list->choices)
        return "";
    const char *choice = list->choices[clamp_selection(list->selected, list->count)];
    return choice ? choice : "";
}

void format_shown_choice(const OptionList *list, char *text, int size)
{
    const char *choice = selected_choice(list);
    int limit = size < 1024 ? size : 1024;
    size_t typed = strlen(typeahead_text);
    if (list == typeahead_list && typed > 0) {
        for (size_t i = strlen(choice); i-- > 0;) {
            if (strlen(choice + i) < typed || !matches_at(choice + i, typeahead_text))
                continue;
            snprintf(text, (size_t)limit, "%.*s\033[31m%s\033[0m%s", (int)i, choice, typeahead_text,
                     choice + i + typed);
            return;
        }
    }
    snprintf(text, (size_t)limit, "%s", choice);
}

void handle_option_list_key(OptionList *list, int key)
{
    if (list != typeahead_list) {
        typeahead_list = list;
        typeahead_text[0] = 0;
    }
    if (list->count <= 0 || !list->choices)
        return;
    list->selected = clamp_selection(list->selected, list->count);
    if (key == KEY_BACKSPACE) {
        typeahead_text[0] = 0;
        return;
    }
    if (key == KEY_TAB) {
        list->selected = (list->selected + 1) % list->count;
        int found = find_typeahead_choice(list, list->selected);
        if (found >= 0)
            list->selected = found;
        return;
    }
    if (is_printable_character(key)) {
        size_t length = strlen(typeahead_text);
        if (length < TYPEAHEAD_LENGTH) {
            typeahead_text[length] = (char)key;
            typeahead_text[length + 1] = 0;
        }
        int found = find_typeahead_choice(list, list->selected);
        if (found >= 0)
            list->selected = found;
        else if (length < TYPEAHEAD_LENGTH)
            typeahead_text[length] = 0;
        return;
    }
    int selected = list->selected;
    if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.right ||
        (key == menu_keys.cursor_left && is_cursor_in_rect(&list->rect))) {
        typeahead_text[0] = 0;
        selected++;
    } else if (key == menu_keys.left) {
        typeahead_text[0] = 0;
        selected--;
    }
    if (selected < 0)
        selected = list->count - 1;
    if (selected >= list->count)
        selected = 0;
    list->selected = selected;
}

void handle_slider_key(Slider *slider, int key)
{
    double value = slider->value;
    if (key == menu_keys.left) {
        value -= slider->step;
    } else if (key == menu_keys.right) {
        value += slider->step;
    } else if ((key == menu_keys.cursor_left || key == MENU_KEY_DRAG) && is_cursor_in_rect(&slider->rect) &&
               slider->bar_x0 - 15 <= cursor_x && cursor_x <= slider->bar_x1 + 15) {
        // A bar under one pixel wide has no position to click.
        int width = slider->bar_x1 - slider->bar_x0;
        if (width < 1)
            return;
        double range = slider->maximum - slider->minimum;
        double along = (double)(cursor_x - slider->bar_x0) / (double)width * range;
        if (slider->step > 0.0)
            value = floor(along / slider->step + 0.5) * slider->step + slider->minimum;
        else
            value = along + slider->minimum;
    }
    if (!std::isfinite(value))
        return;
    if (value < slider->minimum)
        value = slider->minimum;
    if (value > slider->maximum)
        value = slider->maximum;
    slider->value = value;
}

void handle_text_field_key(TextField *field, int key)
{
    keep_cursor_in_text(field);
    int length = text_length(field);
    char *text = field->text;
    if (key == menu_keys.left) {
        if (field->cursor > 0)
            field->cursor--;
        return;
    }
    if (key == menu_keys.right) {
        if (field->cursor < length)
            field->cursor++;
        return;
    }
    if (key == KEY_BACKSPACE) {
        if (field->cursor > 0) {
            field->cursor--;
            memmove(text + field->cursor, text + field->cursor + 1, (size_t)(length - field->cursor));
        }
        return;
    }
    if (key == KEY_DELETE) {
        if (field->cursor < length)
            memmove(text + field->cursor, text + field->cursor + 1, (size_t)(length - field->cursor));
        return;
    }
    if (!is_printable_character(key) || field->cursor >= field->capacity)
        return;
    if (field->insert_mode) {
        // The character pushed past the capacity is lost.
        int kept = length < field->capacity ? length : field->capacity - 1;
        memmove(text + field->cursor + 1, text + field->cursor, (size_t)(kept - field->cursor));
        text[kept + 1] = 0;
    } else if (field->cursor == length) {
        text[length + 1] = 0;
    }
    text[field->cursor++] = (char)key;
}

int select_option_by_name(OptionList *list, const char *text)
{
    if (!text || !list->choices)
        return 0;
    for (int i = 0; i < list->count; i++)
        if (list->choices[i] && !strcmp(list->choices[i], text)) {
            list->selected = i;
            return 1;
        }
    return 0;
}

int set_slider_from_text(Slider *slider, const char *text)
{
    double value;
    if (!text || sscanf(text, "%lf", &value) != 1 || !std::isfinite(value))
        return 0;
    if (value < slider->minimum)
        value = slider->minimum;
    if (value > slider->maximum)
        value = slider->maximum;
    slider->value = value;
    return 1;
}

int set_text_field_text(TextField *field, const char *text)
{
    snprintf(field->text, (size_t)field->capacity + 1, "%s", text ? text : "");
    field->cursor = text_length(field);
    return 1;
}
