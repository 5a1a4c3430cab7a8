// The modal message box of fatal stops and start-up problems.
#pragma once

// Shows the formatted text (at most 1023 characters) with one OK button and
// returns when it is dismissed.
void show_message_box(const char *title, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// The window layer installs how a box is shown; until then (and with null)
// the title and text go to standard error as "title: text".
void set_message_box_hook(void (*show)(const char *title, const char *text));
