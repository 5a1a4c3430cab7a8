// The player's message line (a ring of 1000 lines copied to the log), string
// interning and the game's heap sort.
#include "core/message.h"

#include "app/shell.h"
#include "core/alloc.h"
#include "platform/log.h"

#include <cstring>

MessageLog message_log;

static const double MESSAGE_DISPLAY_SECONDS = 2.0;

void print_message(const char *text)
{
    if (hide_spam && strstr(text, "[SPAM]"))
        return;
    size_t length = strlen(text);
    const char *colour_reset = strchr(text, 27) ? "\033[0m" : "";
    if (length > 0 && text[length - 1] == '\n')
        log_printf("%s%s", text, colour_reset);
    else
        log_printf("%s%s\n", text, colour_reset);

    char *line = message_log.lines[message_log.next_line];
    message_log.next_line = (message_log.next_line + 1) % MESSAGE_LINES;
    memset(line, 0, MESSAGE_LINE_LENGTH);
    strncpy(line, text, MESSAGE_LINE_LENGTH - 1);

    if (message_log.visible_lines < max_message_lines)
        message_log.visible_lines++;
    message_log.display_until = current_time + MESSAGE_DISPLAY_SECONDS;
}

// Interned strings in order of first sight.
static GrowableArray interned;

const char *intern_string(const char *text)
{
    if (!interned.data && !init_growable_array(&interned, sizeof(char *)))
        fatal_out_of_memory();
    char **stored = (char **)interned.data;
    for (int i = 0; i < interned.count; i++)
        if (strcmp(stored[i], text) == 0)
            return stored[i];

    size_t size = strlen(text) + 1;
    char *copy = (char *)checked_malloc(size);
    if (!copy)
        fatal_out_of_memory();
    memcpy(copy, text, size);
    char **slot = (char **)append_to_growable_array(&interned);
    if (slot)
        *slot = copy;
    return copy;
}

void free_interned_strings(void)
{
    char **stored = (char **)interned.data;
    for (int i = 0; i < interned.count; i++)
        checked_free(stored[i]);
    free_growable_array(&interned);
}

static void swap_bytes(char *a, char *b, int size)
{
    for (int i = 0; i < size; i++) {
        char t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

static void sift_down(char *base, int parent, int n, int size,
                      int (*compare)(const void *, const void *))
{
    for (;;) {
        int child = 2 * parent + 1;
        if (child >= n)
            return;
        if (child + 1 < n && compare(base + (size_t)(child + 1) * size, base + (size_t)child * size) > 0)
            child++;
        char *p = base + (size_t)parent * size;
        char *c = base + (size_t)child * size;
        if (compare(c, p) <= 0)
            return;
        swap_bytes(c, p, size);
        parent = child;
    }
}

void heap_sort(void *base, int count, int size, int (*compare)(const void *, const void *))
{
    if (count < 2 || size <= 0)
        return;
    char *bytes = (char *)base;
    for (int parent = count / 2 - 1; parent >= 0; parent--)
        sift_down(bytes, parent, count, size, compare);
    for (int n = count - 1; n > 0; n--) {
        swap_bytes(bytes, bytes + (size_t)n * size, size);
        sift_down(bytes, 0, n, size, compare);
    }
}
