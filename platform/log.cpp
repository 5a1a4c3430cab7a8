// The process log: one stamped, flushed line per call, opened lazily and named
// by VOKE_LOGFILE or by a first "VOKE_LOGFILE=" line; and the VOKE_OPTIONS
// reader.
#include "platform/log.h"

#include "platform/mutex.h"
#include "platform/time.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char NAMING_PREFIX[] = "VOKE_LOGFILE=";
enum { NAMING_PREFIX_LENGTH = sizeof NAMING_PREFIX - 1, MAX_LOG_PATH = 4096 };

static FILE *log_file;
static int log_initialised;
static const char *last_error = "Unknown";
// Held around the open and the three writes of a line, so lines from the
// message, audio and game threads come out whole.
static Mutex log_mutex = MUTEX_INITIALIZER;

// The log cannot report its own failure in itself: the first failed
// write is said once on standard error.
static void note_log_failure(void)
{
    static int said;
    if (!said)
        fprintf(stderr, "The log file could not be written; later lines may be lost\n");
    said = 1;
}

// Writes the stamp, the text and flushes. Caller holds log_mutex. 0, or
// EOF when a write failed.
static int write_line(const char *format, va_list args)
{
    if ((unsigned char)format[0] == 0x13 || !log_file)
        return 0;
    int seconds, microseconds;
    get_time(&seconds, &microseconds);
    int stamped = fprintf(log_file, "[%d:%02d:%02d.%02d] ", seconds / 3600, seconds / 60 % 60,
                          seconds % 60, microseconds / 10000);
    int written = vfprintf(log_file, format, args);
    if (fflush(log_file) == 0 && stamped >= 0 && written >= 0)
        return 0;
    note_log_failure();
    clearerr(log_file);
    return EOF;
}

static int write_line_of(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = write_line(format, args);
    va_end(args);
    return result;
}

// The first call: find the path and mode, open the file, write the header.
// Returns 1 when this call was the naming line (which is never written).
static int open_log(const char *format, va_list args)
{
    const char *env_path = getenv("VOKE_LOGFILE");
    const char *env_flags = getenv("VOKE_LOGFILE_FLAGS");
    int naming = strncmp(format, NAMING_PREFIX, NAMING_PREFIX_LENGTH) == 0;

    char named[MAX_LOG_PATH];
    const char *path = env_path;
    if (naming && !path) {
        // The path is the rest of the formatted line, without a final newline.
        char line[MAX_LOG_PATH];
        va_list copy;
        va_copy(copy, args);
        vsnprintf(line, sizeof line, format, copy);
        va_end(copy);
        snprintf(named, sizeof named, "%s", line + NAMING_PREFIX_LENGTH);
        size_t length = strlen(named);
        if (length > 0 && named[length - 1] == '\n')
            named[length - 1] = '\0';
        path = named;
    }

    log_initialised = 1;
    if (path) {
        const char *mode = "w";
        if (strncmp(path, ">>", 2) == 0) {
            path += 2;
            mode = "a";
        } else if (path[0] == '>') {
            path += 1;
        }
        if (env_flags)
            mode = env_flags;
        log_file = fopen(path, mode);
        write_line_of("Logfile \"%s\" opened\n", path);
        write_line_of("VOKE 0.31\n");
    }
    return naming;
}

int log_printf(const char *format, ...)
{
    if (!format) {
        close_log();
        return 0;
    }
    lock_mutex(&log_mutex);
    va_list args;
    va_start(args, format);
    int result = 0;
    if (log_initialised || !open_log(format, args))
        result = write_line(format, args);
    va_end(args);
    unlock_mutex(&log_mutex);
    return result;
}

void close_log(void)
{
    lock_mutex(&log_mutex);
    if (log_file && fclose(log_file) != 0)
        note_log_failure();
    log_file = nullptr;
    unlock_mutex(&log_mutex);
}

void log_error(const char *text)
{
    log_printf("Error: %s\n", text);
    last_error = text;
}

const char *last_error_text(void)
{
    return last_error;
}

// Options.

static const char *options_text;

// The text right after "[name:" in VOKE_OPTIONS, or null when absent.
static const char *find_option(const char *name)
{
    if (!options_text) {
        options_text = getenv("VOKE_OPTIONS");
        if (!options_text)
            options_text = "";
    }
    char key[64];
    snprintf(key, sizeof key, "[%.60s:", name);
    const char *found = strstr(options_text, key);
    return found ? found + strlen(key) : nullptr;
}

void forget_voke_options(void)
{
    options_text = nullptr;
}

int voke_option_bool(const char *name, int default_value)
{
    const char *value = find_option(name);
    if (!value)
        return default_value;
    if (strncmp(value, "yes]", 4) == 0 || strncmp(value, "on]", 3) == 0)
        return 1;
    if (strncmp(value, "no]", 3) == 0 || strncmp(value, "off]", 4) == 0)
        return 0;
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
}

int voke_option_int(const char *name, int default_value)
{
    const char *value = find_option(name);
    if (!value)
        return default_value;
    char *end;
    long number = strtol(value, &end, 10);
    if (end == value) {
        log_printf("unrecognized setting for %s\n", name);
        return default_value;
    }
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return (int)number;
}
