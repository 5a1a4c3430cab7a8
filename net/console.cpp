// The console's entry line: typed text edited in place; Enter takes the
// line (empties it) and page up / page down scroll the history.
#include "net/console.h"

static char console_text[CONSOLE_LINE_LENGTH + 1];

TextField console_line = {"> ", CONSOLE_LINE_LENGTH, console_text, 0, 1, {-1, -1, -1, -1}};
int console_scroll;

void text_entry_key(int key)
{
    if (key == menu_keys.enter || key == menu_keys.keypad_enter) {
        set_text_field_text(&console_line, "");
        return;
    }
    if (key == menu_keys.page_up) {
        if (console_scroll < CONSOLE_SCROLL_LIMIT)
            console_scroll++;
        return;
    }
    if (key == menu_keys.page_down) {
        if (console_scroll > 0)
            console_scroll--;
        return;
    }
    handle_text_field_key(&console_line, key);
}
