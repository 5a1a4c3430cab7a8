// The millisecond wall clock, split into seconds and microseconds, and sleeping.
#pragma once

#include <cstdint>

struct TimeValue {
    int32_t seconds;
    int32_t microseconds;   // 0..999999
};

// Milliseconds of the monotonic system clock (counted from system start).
uint64_t clock_milliseconds(void);

// Replace the clock (tests); null puts the system clock back.
void set_clock_function(uint64_t (*clock)(void));
// Replace the millisecond sleeper (tests); null puts nanosleep back. A sleep
// of 0 yields the processor.
void set_sleep_function(void (*sleeper)(int64_t milliseconds));

// The current time with millisecond resolution; both return 1.
int get_time(int *seconds, int *microseconds);
int get_time(TimeValue *time);

// Sleeps for all but the last millisecond, then yields until the clock has
// reached the start plus the duration. A negative duration returns at once.
void sleep_for(int seconds, int microseconds);

// -1, 0 or 1 as a is earlier than, equal to or later than b.
int compare_times(int a_seconds, int a_microseconds, int b_seconds, int b_microseconds);
