// Keys of the setup, graphics, controls and standings screens: graphics
// choices following the bike, the stability slider, presets, switching
// the video mode, binding rows and a finished series.
#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/race_screens.h"
#include "app/settings.h"
#include "app/setup_screen_items.h"
#include "app/shell.h"
#include "bike/bike_models.h"
#include "core/file.h"
#include "net/client.h"
#include "platform/window.h"
#include "race/series.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

BikeSetup &s = bike_setup;

void use_test_keys()
{
    menu_keys.up = 1001, menu_keys.down = 1002, menu_keys.enter = 1003;
    menu_keys.left = 1004, menu_keys.right = 1005;
}

std::vector<std::string> choices_of(const OptionList &list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.count; i++)
        names.push_back(list.choices[i]);
    return names;
}

int bike_index(const char *name)
{
    for (int i = 0; i < s.bike.count; i++)
        if (!strcmp(s.bike.choices[i], name))
            return i;
    return -1;
}

}  // namespace

TEST(SetupScreens, GraphicsChoicesFollowTheBike)
{
    for (const char *name : {"yz250f(2017)-red.png", "yz250f(2017)-red_norm.png", "yz250f(2017)-blue_spec.png",
                             "cr125-green.png", "sub/cr125-gold.png", "cr125-gold.jm", "xcr125-no.png",
                             "rider_body-alt1.png"})
        write_file(test_data_dir() + name, "x");
    s.bike_graphics.wanted[0] = 0;
    build_graphics_lists();
    EXPECT_EQ(choices_of(s.bike_graphics.list), (std::vector<std::string>{"default", "red"}));
    EXPECT_EQ(choices_of(s.riding_gear.list), (std::vector<std::string>{"default", "alt1"}));
    EXPECT_EQ(selected_graphics_path(&s.bike_graphics), nullptr);

    s.bike_graphics.list.selected = 1;
    client_info_changed = 0;
    set_menu_state(MENU_BIKE_SETUP);
    int yz = s.bike.selected;
    open_chooser(&s.bike, "Choose Bike", choose_bike_result);
    chooser_callback(yz);   // the same bike again: nothing changes
    EXPECT_EQ(s.bike_graphics.list.selected, 1);
    EXPECT_EQ(client_info_changed, 0);

    chooser_callback(bike_index("cr125"));
    EXPECT_STREQ(selected_choice(&s.bike), "cr125");
    EXPECT_EQ(choices_of(s.bike_graphics.list), (std::vector<std::string>{"default", "green", "gold"}));
    EXPECT_EQ(s.bike_graphics.list.selected, 0);
    EXPECT_EQ(client_info_changed, 1);
    s.bike_graphics.list.selected = 2;
    EXPECT_STREQ(selected_graphics_path(&s.bike_graphics), "@sub/cr125-gold.png");
    free_graphics_lists();
}

TEST(SetupScreens, StabilityKeysRunThePresetOncePerWholeStep)
{
    use_test_keys();
    set_menu_state(MENU_BIKE_SETUP);
    menu_selection = 10;
    default_bike_setup(100);
    menu_key(menu_keys.left);   // 100 -> 99
    EXPECT_EQ(s.stability.value, 99);
    EXPECT_NEAR(s.direct_steering.value, 1 - 0.875 * 0.95, 1e-12);
    s.roll_limit_angle.value = 30;   // a hand-set value
    menu_key('x');                   // no change of the stability: no preset
    EXPECT_EQ(s.roll_limit_angle.value, 30);
    menu_key('*');
    EXPECT_EQ(menu_state, MENU_ADVANCED_STABILITY);
    EXPECT_EQ(menu_selection, 0);
}

TEST(GraphicsScreen, PresetsAndTheirLine)
{
    use_test_keys();
    EXPECT_STREQ(current_settings_text(), "Current Settings: Custom");
    // A preset's button makes the line name it.
    set_menu_state(MENU_GRAPHICS_SOUND);
    for (int i = 0; i < 4; i++)
        menu_key(menu_keys.down);   // "Use Normal Settings"
    menu_key(menu_keys.enter);
    EXPECT_STREQ(current_settings_text(), "Current Settings: Normal");
    EXPECT_STREQ(selected_choice(&render_texture_list), "Shaders/Direct");
    render_texture_list.selected = 0;
    EXPECT_STREQ(current_settings_text(), "Current Settings: Custom");
    apply_graphics_preset(1);
    EXPECT_STREQ(current_settings_text(), "Current Settings: High FPS");
    EXPECT_EQ(roost_density_slider.value, 0);
}

TEST(GraphicsScreen, SwitchingToWindowedAsksForTheConfiguredSize)
{
    use_test_keys();
    GameWindow window = {};
    init_window_events(&window);
    game_window = &window;
    configured_width = 800;
    configured_height = 600;
    static const char *const modes[] = {"Default Fullscreen", "Windowed", "1024x768"};
    set_option_choices(&video_mode_list, modes, 3);
    struct {
        int choice;
        int request, width, height;
    } cases[] = {
        {1, DISPLAY_REQUEST_WINDOWED, 800, 600},
        {2, DISPLAY_REQUEST_FULL_SCREEN, 1024, 768},
        {0, DISPLAY_REQUEST_FULL_SCREEN, 0, 0},
    };
    for (const auto &c : cases) {
        video_mode_list.selected = c.choice;
        set_menu_state(MENU_GRAPHICS_SOUND);
        menu_selection = 7;
        menu_key(menu_keys.enter);
        EXPECT_EQ(window.display_request, c.request) << c.choice;
        EXPECT_EQ(window.display_request_width, c.width) << c.choice;
        EXPECT_EQ(window.display_request_height, c.height) << c.choice;
        EXPECT_EQ(current_video_mode, c.choice);
    }
    game_window = nullptr;
    free_window_events(&window);
}

TEST(ControlsScreen, RowsShowTheirBindingAndEnterStartsACapture)
{
    use_test_keys();
    KeyBinding *throttle = binding_order[0];
    struct {
        const char *text;
        const char *shown;
    } cases[] = {
        {"(k)x", "x"},
        {"(0,-1)Pad axis 1", "Pad axis 1 (Negative)"},
        {"(0,1)Pad axis 1", "Pad axis 1 (Positive)"},
        {"", "None"},
    };
    for (const auto &c : cases) {
        parse_binding(throttle, c.text);
        char text[128];
        binding_row_text(throttle, text, sizeof text);
        EXPECT_STREQ(text, c.shown) << c.text;
    }
    set_menu_state(MENU_CONTROLS);
    menu_key(menu_keys.down);
    menu_key(' ');   // space could be the key wanted: no capture
    EXPECT_EQ(watched_binding, nullptr);
    menu_key(menu_keys.enter);
    EXPECT_EQ(watched_binding, throttle);
    char text[128];
    binding_row_text(throttle, text, sizeof text);
    EXPECT_STREQ(text, "<<PRESS A KEY>>");
    cancel_watching_pots();
}

TEST(StandingsScreen, AFinishedSeriesStartsNothing)
{
    use_test_keys();
    SeriesRound round = {};
    SeriesEvent event = {};
    event.title = "Done";
    event.rounds = &round;
    event.round_count = 1;
    event.rounds_played = 1;
    series_list.events = &event;
    series_list.count = 1;
    chosen_series = 0;
    set_menu_state(MENU_SERIES_STANDINGS);
    menu_key(menu_keys.down);   // "Enter Next Event"
    menu_key(menu_keys.enter);
    EXPECT_EQ(menu_state, MENU_NONE);
    EXPECT_EQ(current_event, -1);
    EXPECT_EQ(expected_round, -1);
    series_list.events = nullptr;
    series_list.count = 0;
}
