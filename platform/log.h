// The time-stamped log file and the platform options read from VOKE_OPTIONS.
#pragma once

// Writes one stamped line (callers end their lines with "\n"). A null format
// closes the log. The first line may name the file: "VOKE_LOGFILE=<path>"
// (the path is taken from the formatted line, so send a built path as
// log_printf("VOKE_LOGFILE=%s", path), never as the format itself, which may
// hold '%'; a final newline is dropped); VOKE_LOGFILE in the environment wins.
// Stamps come from get_time (platform/time.h).
int log_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void close_log(void);
void log_error(const char *text);
const char *last_error_text(void);

// "[name:yes]" style options from VOKE_OPTIONS; the default when absent.
int voke_option_bool(const char *name, int default_value);
int voke_option_int(const char *name, int default_value);
// The next option lookup reads VOKE_OPTIONS again.
void forget_voke_options(void);
