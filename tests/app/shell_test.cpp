// The shell's process-wide values and the busy indicator.
#include "app/shell.h"

#include <gtest/gtest.h>

static int redraws;
static void count_redraw() { redraws++; }

TEST(Shell, StartsClosedWithSaneDefaults)
{
    EXPECT_EQ(game_window, nullptr);
    EXPECT_EQ(audio_handle, 0);
    EXPECT_EQ(max_message_lines, 5);   // the "message_lines" default
    EXPECT_EQ(hide_spam, 0);
    EXPECT_EQ(verbose_setting, 0);
}

TEST(Shell, BusyIndicatorCountsAndCallsTheLoadingScreen)
{
    tick_busy_indicator();   // no callback yet: counted only
    EXPECT_EQ(busy_indicator_units(), 1);
    set_busy_indicator_callback(count_redraw);
    tick_busy_indicator();
    tick_busy_indicator();
    EXPECT_EQ(busy_indicator_units(), 3);
    EXPECT_EQ(redraws, 2);
    set_busy_indicator_callback(nullptr);
    tick_busy_indicator();
    EXPECT_EQ(redraws, 2);
}
