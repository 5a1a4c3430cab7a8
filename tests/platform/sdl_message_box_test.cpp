// The window layer's message box, installed when the program starts, never
// waits for an answer where nobody can give one.
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(SdlMessageBox, WritesToStandardErrorWhenNobodyCanAnswer)
{
    struct Case {
        const char *ci, *video_driver, *display;
    } cases[] = {
        {"true", nullptr, ":0"},      // under CI, even with a display
        {"", nullptr, ":0"},          // CI set but empty is still set
        {nullptr, "dummy", ":0"},     // SDL's drivers without a screen
        {nullptr, "offscreen", ":0"},
        {nullptr, nullptr, nullptr},  // no display at all
    };
    for (const Case &c : cases) {
        auto set = [](const char *name, const char *value) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        };
        set("CI", c.ci);
        set("SDL_VIDEODRIVER", c.video_driver);
        set("DISPLAY", c.display);
        unsetenv("WAYLAND_DISPLAY");
        testing::internal::CaptureStderr();
        show_message_box("Problem starting Rutline", "Can't find game data%s", "\n");
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_EQ(text, "Problem starting Rutline: Can't find game data\n\n")
            << (c.ci ? c.ci : "-") << " " << (c.video_driver ? c.video_driver : "-");
    }

    // The text is cut at 1023 characters.
    setenv("CI", "1", 1);
    std::string long_text(2000, 'x');
    testing::internal::CaptureStderr();
    show_message_box("Error", "%s", long_text.c_str());
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text, "Error: " + std::string(1023, 'x') + "\n");
}
