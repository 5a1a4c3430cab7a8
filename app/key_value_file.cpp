// Reading and writing key=value settings files.
#include "app/key_value_file.h"

#include <cstring>

#include "core/file.h"
#include "core/replace_file.h"
#include "platform/log.h"

namespace {

struct RejectLog {
    const char *path;
    int count;
};

void reject_line(RejectLog *log, int line, const char *key, const char *why)
{
    if (log->count++ < KEY_VALUE_LOGGED_REJECTS) {
        if (key)
            log_printf("%s: line %d: %s \"%.60s\" ignored\n", log->path, line, why, key);
        else
            log_printf("%s: line %d: %s, ignored\n", log->path, line, why);
    }
}

// The next line without its LF into a buffer of KEY_VALUE_LINE_LENGTH + 1
// bytes: 1 and the line, 0 at the end of the file. A longer line is read to
// its end and reported too long; a NUL byte in it is reported.
int read_line(GameFile *file, char *buffer, int *too_long, int *has_nul)
{
    int length = 0, c = file_getc(file);
    *too_long = *has_nul = 0;
    if (c < 0)
        return 0;
    for (; c >= 0 && c != '\n'; c = file_getc(file)) {
        if (c == 0)
            *has_nul = 1;
        if (length < KEY_VALUE_LINE_LENGTH)
            buffer[length++] = (char)c;
        else
            *too_long = 1;
    }
    buffer[length] = 0;
    return 1;
}

}  // namespace

int read_key_value_file(const char *path, KeyValueHandler handler)
{
    GameFile *file = file_open(path, "rb");
    if (!file)
        return 0;
    RejectLog log = {path, 0};
    char line[KEY_VALUE_LINE_LENGTH + 1];
    int too_long, has_nul;
    for (int number = 1; read_line(file, line, &too_long, &has_nul); number++) {
        if (too_long) {
            reject_line(&log, number, nullptr, "line too long");
            continue;
        }
        if (has_nul) {
            reject_line(&log, number, nullptr, "NUL byte");
            continue;
        }
        char *equals = strchr(line, '=');
        if (!equals) {
            // Blank lines (a CR LF file's last, say) are no settings.
            if (line[strspn(line, "\r")] != 0)
                reject_line(&log, number, nullptr, "no '='");
            continue;
        }
        *equals = 0;
        char *value = equals + 1;
        size_t length = strlen(value);
        while (length > 0 && (value[length - 1] == '\r' || value[length - 1] == '\n'))
            value[--length] = 0;
        int result = handler(line, value);
        if (result == LINE_UNKNOWN_KEY)
            reject_line(&log, number, line, "unknown key");
        else if (result == LINE_REFUSED)
            reject_line(&log, number, line, "bad value for");
    }
    file_close(file);
    if (log.count > KEY_VALUE_LOGGED_REJECTS)
        log_printf("%s: %d lines ignored in all\n", path, log.count);
    return 1;
}

int write_key_value(GameFile *file, const char *key, const char *value)
{
    int key_length = (int)strlen(key);
    int value_length = (int)strcspn(value ? value : "", "\r\n");
    if (file_write(file, key, key_length) != key_length || file_write(file, "=", 1) != 1)
        return 0;
    if (value_length > 0 && file_write(file, value, value_length) != value_length)
        return 0;
    return file_write(file, "\n", 1) == 1;
}

typedef int (*KeyValueWriter)(GameFile *file);

static int write_with(GameFile *file, void *context)
{
    return (*(KeyValueWriter *)context)(file);
}

int replace_key_value_file(const char *path, int (*writer)(GameFile *file))
{
    KeyValueWriter chosen = writer;
    return replace_file(path, write_with, &chosen);
}
