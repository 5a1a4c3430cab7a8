// The millisecond clock split into seconds and microseconds, and sleep_for.
#include "platform/time.h"

#include <gtest/gtest.h>

#include <vector>

// A clock in microseconds read at millisecond resolution: sleeping moves it
// on by the time slept, a yield by 100 microseconds.
static int64_t fake_us;
static std::vector<int64_t> sleeps;
static uint64_t fake_clock() { return (uint64_t)(fake_us / 1000); }
static void fake_sleep(int64_t ms)
{
    sleeps.push_back(ms);
    fake_us += ms > 0 ? ms * 1000 : 100;
}

TEST(Time, SplitsMillisecondsIntoSecondsAndMicroseconds)
{
    set_clock_function(fake_clock);
    fake_us = 3725500999;   // 3725.500999 s: read as 3725500 ms
    int seconds = -1, microseconds = -1;
    EXPECT_EQ(get_time(&seconds, &microseconds), 1);
    EXPECT_EQ(seconds, 3725);
    EXPECT_EQ(microseconds, 500000);
    TimeValue value;
    EXPECT_EQ(get_time(&value), 1);
    EXPECT_EQ(value.seconds, 3725);
    EXPECT_EQ(value.microseconds, 500000);
    set_clock_function(nullptr);
}

TEST(Time, SleepForSleepsAllButTheLastMillisecondThenYields)
{
    set_clock_function(fake_clock);
    set_sleep_function(fake_sleep);
    struct Case {
        int seconds, microseconds;
        int64_t first_sleep;     // -1: no sleep at all
        int64_t ends_after_ms;   // clock reading at return minus at the call
    } cases[] = {
        {0, 1500, 1, 2},     // 1 ms slept, then yields until 2 ms have passed
        {0, 5000, 4, 5},
        {1, 0, 999, 1000},
        {0, 999, 0, 1},
        {0, 0, 0, 0},        // a yield only
        {2, 1999999, 3998, 4000},
        {-1, 0, -1, 0},      // negative: returns at once
        {0, -5, -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s " << c.microseconds << " us");
        fake_us = 10000400;   // 400 us into a millisecond
        sleeps.clear();
        uint64_t start = clock_milliseconds();
        sleep_for(c.seconds, c.microseconds);
        EXPECT_EQ((int64_t)(clock_milliseconds() - start), c.ends_after_ms);
        if (c.first_sleep < 0) {
            EXPECT_TRUE(sleeps.empty());
            continue;
        }
        ASSERT_FALSE(sleeps.empty());
        EXPECT_EQ(sleeps[0], c.first_sleep);
        for (size_t i = 1; i < sleeps.size(); i++)
            EXPECT_EQ(sleeps[i], 0) << "later sleeps only yield";
    }
    set_clock_function(nullptr);
    set_sleep_function(nullptr);
}

TEST(Time, SystemClockIsMonotonicAndSleepWaitsLongEnough)
{
    uint64_t before = clock_milliseconds();
    sleep_for(0, 3000);
    uint64_t after = clock_milliseconds();
    EXPECT_GE(after - before, 3u);
    EXPECT_LT(after - before, 1000u);
}
