// The shell's process-wide values.
#include "app/shell.h"

#include <gtest/gtest.h>

TEST(Shell, StartsClosedWithSaneDefaults)
{
    EXPECT_EQ(game_window, nullptr);
    EXPECT_EQ(audio_handle, 0);
    EXPECT_EQ(max_message_lines, 5);   // the "message_lines" default
    EXPECT_EQ(hide_spam, 0);
    EXPECT_EQ(verbose_setting, 0);
}
