// The console's entry line and the scroll of the message history it
// shows. Until the console's commands exist, Enter only empties the line.
#pragma once

#include "app/widgets.h"

enum { CONSOLE_LINE_LENGTH = 119, CONSOLE_SCROLL_LIMIT = 950 };

extern TextField console_line;
extern int console_scroll;   // lines scrolled back, 0..950

// The console screen's key handler.
void text_entry_key(int key);
