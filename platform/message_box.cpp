// The message box: shown by the window layer's hook once it has one, else
// written to standard error.
#include "platform/message_box.h"

#include <cstdarg>
#include <cstdio>

static void (*message_box_hook)(const char *title, const char *text);

void set_message_box_hook(void (*show)(const char *title, const char *text))
{
    message_box_hook = show;
}

void show_message_box(const char *title, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (message_box_hook) {
        message_box_hook(title, text);
        return;
    }
    fprintf(stderr, "%s: %s\n", title, text);
    fflush(stderr);
}
