// The message box: standard error until the window layer installs its hook,
// the formatted text cut at 1023 characters.
#include "platform/message_box.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

static std::string shown;
static void record_box(const char *title, const char *text)
{
    shown = std::string(title) + "|" + text;
}

TEST(MessageBox, GoesToStandardErrorUntilAHookShowsIt)
{
    std::string err;
    ASSERT_EQ(run_in_child([] { show_message_box("Problem starting Rutline", "Can't find %s\n",
                                                 "game data"); }, &err), 0);
    EXPECT_EQ(err, "Problem starting Rutline: Can't find game data\n\n");

    set_message_box_hook(record_box);
    testing::internal::CaptureStderr();
    show_message_box("Error", "Out of %s memory", "virtual");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(shown, "Error|Out of virtual memory");

    // A long text is cut to 1023 characters.
    std::string long_text(3000, 'x');
    show_message_box("T", "%s!", long_text.c_str());
    EXPECT_EQ(shown, "T|" + long_text.substr(0, 1023));

    set_message_box_hook(nullptr);
    testing::internal::CaptureStderr();
    show_message_box("Back", "on %d", 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Back: on 2\n");
}
