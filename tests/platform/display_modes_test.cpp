// The display-mode list and the full-screen mode chooser.
#include "platform/display.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

TEST(DisplayModes, ChooserPicksTheSmallestModeThatFits)
{
    const DisplayMode modes[] = {
        {800, 600, 32}, {1024, 768, 32}, {1280, 720, 32}, {1152, 640, 32}, {0, 0, 0}};
    struct Case {
        int width, height;
        int chosen_width, chosen_height;
    } cases[] = {
        // 1024 + 768 is smaller than 1280 + 720.
        {1000, 700, 1024, 768},
        {800, 600, 800, 600},
        {1280, 720, 1280, 720},
        // 1024 x 768 and 1152 x 640 tie at 1792: the first listed wins.
        {1000, 600, 1024, 768},
        {1100, 600, 1152, 640},
        {1281, 700, 1920, 1080},   // nothing fits: the desktop
        {4000, 3000, 1920, 1080},
        {0, 0, 1920, 1080},
        {0, 600, 1920, 1080},
        {800, 0, 1920, 1080},
    };
    for (const Case &c : cases) {
        int width = -1, height = -1;
        choose_full_screen_size(modes, c.width, c.height, 1920, 1080, &width, &height);
        EXPECT_EQ(width, c.chosen_width) << c.width << "x" << c.height;
        EXPECT_EQ(height, c.chosen_height) << c.width << "x" << c.height;
    }
    int width, height;
    choose_full_screen_size(nullptr, 800, 600, 640, 480, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
}

TEST(DisplayModes, ListHasTheDesktopFirstAndEveryModeOnce)
{
    std::string log_path = test_dir() + "/modes-log.txt";
    setenv("VOKE_LOGFILE", log_path.c_str(), 1);
    const FoundMode desktop = {1280, 1024, 24, 60};
    const FoundMode found[] = {
        {1280, 1024, 24, 60}, {1280, 1024, 24, 75},   // the desktop again
        {1024, 768, 24, 60},  {800, 600, 30, 60},     // 30 bits: not accepted
        {1024, 768, 16, 60},  {1024, 768, 24, 85},
    };
    std::vector<DisplayMode> list(sizeof found / sizeof found[0] + 2);
    int count = build_mode_list(&desktop, found, 6, list.data());
    ASSERT_EQ(count, 3);
    const DisplayMode expected[] = {{1280, 1024, 24}, {1024, 768, 24}, {1024, 768, 16}, {0, 0, 0}};
    for (int i = 0; i <= count; i++) {
        EXPECT_EQ(list[i].width, expected[i].width) << i;
        EXPECT_EQ(list[i].height, expected[i].height) << i;
        EXPECT_EQ(list[i].bits_per_pixel, expected[i].bits_per_pixel) << i;
    }

    // A desktop of a refused depth is not listed first; without one the
    // found modes stand alone.
    const FoundMode odd_desktop = {1280, 1024, 30, 60};
    count = build_mode_list(&odd_desktop, found + 2, 1, list.data());
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0].width, 1024);
    EXPECT_EQ(build_mode_list(nullptr, nullptr, 0, list.data()), 0);
    EXPECT_EQ(list[0].width, 0);

    // Every mode is logged with its refresh rate, in order; duplicates are
    // skipped without a line.
    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    const char *lines[] = {
        "] Registry mode is 1280x1024x24@60hz\n",
        "] Found mode 1024x768x24@60hz\n",
        "] Found mode 800x600x30@60hz (ignored)\n",
        "] Found mode 1024x768x16@60hz\n",
        "] Registry mode is 1280x1024x30@60hz (ignored)\n",
        "] Found mode 1024x768x24@60hz\n",
    };
    size_t at = 0;
    for (const char *line : lines) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "---\n" << log;
        at = found + strlen(line);
    }
    EXPECT_EQ(log.find("@75hz"), std::string::npos) << log;
    EXPECT_EQ(log.find("@85hz"), std::string::npos) << log;
}

TEST(DisplayModes, AcceptedDepths)
{
    for (int bits = 0; bits <= 64; bits++) {
        bool accepted = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
        EXPECT_EQ(is_accepted_depth(bits), accepted ? 1 : 0) << bits;
    }
}
