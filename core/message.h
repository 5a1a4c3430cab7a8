// The player's message line, string interning and the game's heap sort.
#pragma once

#include <cstddef>

enum { MESSAGE_LINES = 1000, MESSAGE_LINE_LENGTH = 256 };

struct MessageLog {
    char lines[MESSAGE_LINES][MESSAGE_LINE_LENGTH];
    int next_line;        // slot the next message goes into
    int visible_lines;    // newest lines shown, up to max_message_lines
    double display_until; // current_time at which the display fades
};

extern MessageLog message_log;

void print_message(const char *text);
const char *intern_string(const char *text);
// Frees every interned string (at shutdown, when nothing refers to them).
void free_interned_strings(void);
void heap_sort(void *base, int count, int size, int (*compare)(const void *, const void *));
