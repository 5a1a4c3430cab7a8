// The console: its entry line with the recent-line history that the arrow
// keys recall, the scroll of the message history, and run_console_line,
// which sends a chat line to the race server or runs a '/' command.
#pragma once

#include "app/widgets.h"

enum {
    CONSOLE_LINE_LENGTH = 119,
    CONSOLE_SCROLL_LIMIT = 950,
    RECENT_LINES = 100,
    RECENT_LINE_LENGTH = 120,
};

constexpr double CHAT_SPAM_INTERVAL = 2.0;   // seconds between chat lines

extern TextField console_line;
extern int console_scroll;   // lines scrolled back, 0..950

// Slot 0 is the line being edited, 1 and up the lines entered, newest
// first; the count includes slot 0.
extern char recent_lines[RECENT_LINES][RECENT_LINE_LENGTH];
extern int recent_line_count;
extern int recall_cursor;       // the slot shown in the entry
extern double last_chat_time;   // current_time of the last chat line sent

// The console screen's key handler.
void text_entry_key(int key);
// A chat line or a '/' (or '\') command: 1 when taken, 0 for an unknown
// command, one that needs a bike in the followed slot when there is none,
// or a chat line refused as spam.
int run_console_line(const char *text);
// Empties the entry and the history (start-up and tests).
void reset_console(void);
