// Loading-screen status lines: kept and counted; nothing is drawn yet.
#include "app/loading.h"

#include <cstdio>
#include <ctime>

#include "platform/log.h"

char loading_status[128];
int loading_status_count;

static int spinner_phase;
static double spinner_last = -1.0;

static double monotonic_seconds(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

void show_loading_status(const char *text)
{
    snprintf(loading_status, sizeof loading_status, "%s", text);
    loading_status_count++;
}

void show_loading_step(const char *text)
{
    show_loading_status(text);
    log_printf("%s\n", text);
    spinner_phase = 0;
    spinner_last = monotonic_seconds();
}

void show_loading_spinner(const char *text)
{
    static const char *const dots[4] = {"", ".", "..", "..."};
    double now = monotonic_seconds();
    if (spinner_last >= 0.0 && now - spinner_last < 0.125)
        return;
    spinner_last = now;
    char line[128];
    snprintf(line, sizeof line, "%.64s%s", text, dots[spinner_phase]);
    spinner_phase = (spinner_phase + 1) & 3;
    show_loading_status(line);
}

void show_loading_done(const char *text)
{
    char line[128];
    snprintf(line, sizeof line, "%.64s...done", text);
    show_loading_status(line);
}
