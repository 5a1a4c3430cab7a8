// The message box. Until a window system shows it, the title and text go to
// standard error.
#include "platform/message_box.h"

#include <cstdarg>
#include <cstdio>

void show_message_box(const char *title, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fprintf(stderr, "%s: %s\n", title, text);
    fflush(stderr);
}
