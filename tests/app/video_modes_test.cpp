// The "Video Mode" choices made from display modes.
#include "app/video_modes.h"

#include "app/graphics_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> listed_names()
{
    std::vector<std::string> names;
    for (int i = 0; i < video_mode_count; i++)
        names.push_back(video_mode_names[i]);
    return names;
}

}  // namespace

TEST(VideoModes, ChoicesFromDisplayModes)
{
    const DisplayMode none[] = {{0, 0, 0}};
    const DisplayMode mixed[] = {{1920, 1080, 32}, {800, 600, 16}, {1280, 720, 32},
                                 {640, 480, 24},   {1024, 768, 32}, {0, 0, 0}};
    const DisplayMode one[] = {{640, 480, 16}, {0, 0, 0}, {800, 600, 16}};
    // Sides no name of 22 bytes can hold in full are cut, never overrun.
    const DisplayMode huge[] = {{-2147483647, -2147483647, 32}, {0, 0, 0}};
    const std::vector<std::string> fixed = {"Default Fullscreen", "Windowed"};
    struct Case {
        const char *name;
        const DisplayMode *modes;
        std::vector<std::string> names;
        std::vector<VideoMode> sizes;   // after the two fixed choices
    } cases[] = {
        {"no list", nullptr, fixed, {}},
        {"no modes", none, fixed, {}},
        {"other depths left out", mixed, {"Default Fullscreen", "Windowed", "1920x1080", "1280x720", "1024x768"},
         {{1920, 1080}, {1280, 720}, {1024, 768}}},
        {"the list ends at width 0", one, {"Default Fullscreen", "Windowed", "640x480"}, {{640, 480}}},
        {"cut names", huge, {"Default Fullscreen", "Windowed", "-2147483647x-21474836"},
         {{-2147483647, -2147483647}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        video_mode_list.selected = 4;
        fill_video_mode_list(c.modes);
        EXPECT_EQ(listed_names(), c.names);
        // The menu's list offers the same choices, its selection inside them.
        EXPECT_EQ(video_mode_list.count, video_mode_count);
        EXPECT_EQ(video_mode_list.choices, video_mode_names);
        EXPECT_LT(video_mode_list.selected, video_mode_count);
        ASSERT_EQ(video_mode_count, (int)c.sizes.size() + 2);
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(video_modes[i].width, 0);
            EXPECT_EQ(video_modes[i].height, 0);
        }
        for (size_t i = 0; i < c.sizes.size(); i++) {
            EXPECT_EQ(video_modes[i + 2].width, c.sizes[i].width);
            EXPECT_EQ(video_modes[i + 2].height, c.sizes[i].height);
        }
    }
    free_video_mode_list();
    EXPECT_EQ(video_mode_count, 0);
    EXPECT_EQ(video_mode_list.count, 2);
    EXPECT_STREQ(video_mode_list.choices[1], "Windowed");
}
