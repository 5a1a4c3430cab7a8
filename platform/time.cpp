// The millisecond clock (CLOCK_MONOTONIC) and sleep_for.
#include "platform/time.h"

#include <cerrno>
#include <sched.h>
#include <time.h>

static uint64_t system_clock_milliseconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
}

static void system_sleep(int64_t milliseconds)
{
    if (milliseconds <= 0) {
        sched_yield();
        return;
    }
    struct timespec rest;
    rest.tv_sec = (time_t)(milliseconds / 1000);
    rest.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    // A signal cuts the sleep short: sleep the rest. Any other failure ends it.
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

static uint64_t (*clock_function)(void) = system_clock_milliseconds;
static void (*sleep_function)(int64_t) = system_sleep;

uint64_t clock_milliseconds(void)
{
    return clock_function();
}

void set_clock_function(uint64_t (*clock)(void))
{
    clock_function = clock ? clock : system_clock_milliseconds;
}

void set_sleep_function(void (*sleeper)(int64_t milliseconds))
{
    sleep_function = sleeper ? sleeper : system_sleep;
}

int get_time(int *seconds, int *microseconds)
{
    uint64_t ms = clock_milliseconds();
    *seconds = (int)(ms / 1000u);
    *microseconds = (int)(ms % 1000u) * 1000;
    return 1;
}

int get_time(TimeValue *time)
{
    int seconds, microseconds;
    get_time(&seconds, &microseconds);
    time->seconds = seconds;
    time->microseconds = microseconds;
    return 1;
}

int compare_times(int a_seconds, int a_microseconds, int b_seconds, int b_microseconds)
{
    if (a_seconds != b_seconds)
        return a_seconds < b_seconds ? -1 : 1;
    if (a_microseconds != b_microseconds)
        return a_microseconds < b_microseconds ? -1 : 1;
    return 0;
}

void sleep_for(int seconds, int microseconds)
{
    int64_t duration = (int64_t)seconds * 1000000 + microseconds;
    if (duration < 0)
        return;
    int start_seconds, start_microseconds;
    get_time(&start_seconds, &start_microseconds);

    int64_t milliseconds = duration / 1000;
    sleep_function(milliseconds > 1 ? milliseconds - 1 : milliseconds);

    // Then yield until the clock reaches the end time.
    int64_t end = (int64_t)start_seconds * 1000000 + start_microseconds + duration;
    for (;;) {
        int now_seconds, now_microseconds;
        get_time(&now_seconds, &now_microseconds);
        if ((int64_t)now_seconds * 1000000 + now_microseconds >= end)
            return;
        sleep_function(0);
    }
}
