// The widgets as the player meets them: keys, typed characters and mouse
// clicks pushed into a real window's event ring, taken with next_event and
// handed to the menus' event function, with the pointer warped in the
// window; and the setters and guards the settings readers rely on.
#include "app/bike_setup.h"
#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/race_screens.h"
#include "app/widgets.h"
#include "platform/window.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Event {
    int code;             // -1: the pointer only moves
    int pressed;
    int x = -1, y = -1;   // warp the pointer here first (window pixels)
};

struct MenuEvents : testing::Test {
    GameWindow *window = nullptr;

    void SetUp() override
    {
        window = open_gl_window("Rutline menus", 640, 480, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        bind_menu_keys(window);
        while (next_event(window, nullptr, nullptr)) {
        }
    }
    void TearDown() override
    {
        unbind_menu_keys();
        close_gl_window(window);
    }

    void point_at(int x, int y)
    {
        SDL_WarpMouseInWindow(get_window_handle(window), x, y);
        SDL_PumpEvents();
        menu_cursor_step();
    }

    // One pass: every event stamped a millisecond apart, pushed, then
    // taken from the ring into the menus.
    void feed(const std::vector<Event> &events)
    {
        begin_menu_tics();
        int seconds, microseconds;
        get_time(&seconds, &microseconds);
        for (const Event &e : events) {
            if (e.x >= 0)
                point_at(e.x, e.y);
            if (e.code < 0)
                continue;
            push_event(window, e.code, e.pressed, seconds, microseconds++);
            int code, pressed;
            while (next_event(window, &code, &pressed))
                menu_event(code, pressed);
        }
    }
};

Event key(int code)
{
    return {code, 1};
}

std::vector<Event> click_at(int x, int y)
{
    return {{0x2000, 1, x, y}, {0x2000, 0}};
}

std::vector<Event> typed(const char *text)
{
    std::vector<Event> events;
    for (const char *c = text; *c; c++)
        events.push_back({(unsigned char)*c, 1});
    return events;
}

const char *const TWO_BIKES[] = {"kx250f", "yz250f"};

}  // namespace

TEST_F(MenuEvents, EdgeCasesOfEveryWidget)
{
    ASSERT_EQ(menu_keys.cursor_left, 0x2000);
    std::string long_name(63, 'a');
    for (int i = 0; i < 63; i++)
        long_name[i] = (char)('A' + i % 26);

    struct Row {
        const char *what;
        std::function<void()> setup;
        std::function<std::vector<Event>()> events;
        std::function<void()> check;
    } rows[] = {
        {"slider click 15 pixels left of the bar takes the minimum",
         [] {
             set_menu_state(MENU_GRAPHICS_SOUND);
             fov_slider.rect = {100, 200, 500, 230};
             fov_slider.bar_x0 = 300, fov_slider.bar_x1 = 500;
             fov_slider.value = 110;
         },
         [] { return click_at(285, 215); },
         [] {
             EXPECT_EQ(menu_selection, 10);   // the pointer picked the slider
             EXPECT_EQ(fov_slider.value, 10);
         }},
        {"slider click 16 pixels left of the bar is ignored", [] { fov_slider.value = 110; },
         [] { return click_at(284, 215); }, [] { EXPECT_EQ(fov_slider.value, 110); }},
        {"slider click in the label far from the bar is ignored", [] { fov_slider.value = 110; },
         [] { return click_at(150, 215); }, [] { EXPECT_EQ(fov_slider.value, 110); }},
        {"slider click on the bar snaps to a step", [] {}, [] { return click_at(400, 215); },
         [] { EXPECT_EQ(fov_slider.value, 90); }},
        {"dragging with the button held moves the slider",
         [] { fov_slider.value = 110; },
         [] { return std::vector<Event>{{0x2000, 1, 400, 215}, {-1, 0, 450, 215}, {0x2000, 0}}; },
         [] {
             EXPECT_EQ(fov_slider.value, 130);
             EXPECT_EQ(mouse_held, 0);
         }},
        {"a click on the rectangle's left edge is outside",
         [] {
             fov_slider.value = 110;
             fov_slider.bar_x0 = 100;   // the bar from the very edge
             menu_selection = 0;
         },
         [] { return click_at(100, 215); },
         [] {
             EXPECT_EQ(menu_selection, 0);   // no hover either
             EXPECT_EQ(fov_slider.value, 110);
         }},
        {"a click on the rectangle's top edge is outside", [] {}, [] { return click_at(200, 200); },
         [] { EXPECT_EQ(fov_slider.value, 110); }},
        {"a click one pixel inside is inside", [] {}, [] { return click_at(101, 201); },
         [] { EXPECT_EQ(fov_slider.value, 10); }},
        {"type-ahead \"ya\" picks yz250f and keeps the \"y\"",
         [] {
             set_menu_state(MENU_NEW_RACE);
             menu_selection = 7;   // Gate 1
             set_option_choices(&gate_lists[0], TWO_BIKES, 2);
             gate_lists[0].selected = 0;
         },
         [] { return typed("ya"); },
         [] {
             EXPECT_EQ(gate_lists[0].selected, 1);
             EXPECT_STREQ(typeahead_text, "y");
             char shown[64];
             format_shown_choice(&gate_lists[0], shown, sizeof shown);
             EXPECT_STREQ(shown, "\033[31my\033[0mz250f");
         }},
        {"a space extends the type-ahead text instead of stepping",
         [] {
             menu_selection = 8;   // Gate 2: Empty .. Robot (4 stroke)
             gate_lists[1].selected = 0;
         },
         [] { return typed("4 "); },
         [] {
             EXPECT_EQ(gate_lists[1].selected, 4);
             EXPECT_STREQ(typeahead_text, "4 ");
         }},
        {"backspace empties the type-ahead text, Enter steps the list",
         [] {},
         [] {
             std::vector<Event> e = typed("\b");
             e.push_back(key(menu_keys.enter));
             return e;
         },
         [] {
             EXPECT_STREQ(typeahead_text, "");
             EXPECT_EQ(gate_lists[1].selected, 0);   // wrapped past the last
         }},
        {"the full \"999\" Number field ignores a digit; after backspace one is appended",
         [] {
             set_menu_state(MENU_BIKE_SETUP);
             menu_selection = 5;
             set_text_field_text(&bike_setup.number, "999");
         },
         [] { return typed("1\b1"); },
         [] {
             EXPECT_STREQ(bike_setup.number.text, "991");
             EXPECT_EQ(bike_setup.number.cursor, 3);
         }},
        {"inserting into a full field drops its last character",
         [&long_name] {
             menu_selection = 4;
             set_text_field_text(&bike_setup.name, long_name.c_str());
         },
         [] {
             std::vector<Event> e(10, key(menu_keys.left));
             e.push_back({'Z', 1});
             return e;
         },
         [&long_name] {
             std::string expected = long_name.substr(0, 53) + "Z" + long_name.substr(53, 9);
             EXPECT_EQ(std::string(bike_setup.name.text), expected);
             EXPECT_EQ(bike_setup.name.cursor, 54);
         }},
        {"delete removes the character at the cursor, keys move it within the text",
         [] { set_text_field_text(&bike_setup.name, "abc"); },
         [] {
             return std::vector<Event>{key(menu_keys.left), key(menu_keys.left), key(menu_keys.left),
                                       key(menu_keys.left), {127, 1}, key(menu_keys.right)};
         },
         [] {
             EXPECT_STREQ(bike_setup.name.text, "bc");
             EXPECT_EQ(bike_setup.name.cursor, 1);
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        row.setup();
        feed(row.events());
        row.check();
    }
    set_option_choices(&gate_lists[0], gate_lists[1].choices, gate_lists[1].count);
}

TEST(Widgets, SettersRefuseWhatIsNoNumberAndClampTheRest)
{
    Slider slider = {"Laps", 5, 1, 0, 50, {-1, -1, -1, -1}, 0, 0};
    struct {
        const char *text;
        int result;
        double value;
    } cases[] = {
        {"abc", 0, 5}, {"nan", 0, 5}, {"-inf", 0, 5}, {"1e999", 0, 5}, {"", 0, 5},
        {"75", 1, 50}, {"-3", 1, 0},  {" 12.5x", 1, 12.5},
    };
    for (const auto &c : cases) {
        slider.value = 5;
        EXPECT_EQ(set_slider_from_text(&slider, c.text), c.result) << c.text;
        EXPECT_EQ(slider.value, c.value) << c.text;
    }

    static const char *const choices[] = {"No", "Yes"};
    OptionList list = {"Record", choices, 2, 0, {-1, -1, -1, -1}};
    EXPECT_EQ(select_option_by_name(&list, "yes"), 0);   // case counts
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(select_option_by_name(&list, "Yes"), 1);
    EXPECT_EQ(list.selected, 1);
}

TEST(Widgets, TextSetFromOutsideKeepsTheCursorInside)
{
    char text[4] = "999";
    TextField field = {"Number", 3, text, 3, 0, {-1, -1, -1, -1}};
    set_text_field_text(&field, "12345");
    EXPECT_STREQ(text, "123");
    EXPECT_EQ(field.cursor, 3);
    set_text_field_text(&field, "");
    EXPECT_EQ(field.cursor, 0);
    // A cursor left past the text by hand moves no bytes beyond it.
    field.cursor = 3;
    handle_text_field_key(&field, 8);
    handle_text_field_key(&field, 127);
    handle_text_field_key(&field, 'x');
    EXPECT_STREQ(text, "x");
    EXPECT_EQ(field.cursor, 1);
}

TEST(Widgets, EmptyListsAndNarrowBarsIgnoreInput)
{
    OptionList empty = {"Video Mode", nullptr, 0, 3, {0, 0, 100, 100}};
    handle_option_list_key(&empty, 'a');
    handle_option_list_key(&empty, 9);
    EXPECT_STREQ(selected_choice(&empty), "");
    char shown[8];
    format_shown_choice(&empty, shown, sizeof shown);
    EXPECT_STREQ(shown, "");

    static const char *const five[] = {"a", "b", "c", "d", "e"};
    OptionList list = {"List", five, 5, 4, {-1, -1, -1, -1}};
    set_option_choices(&list, five, 2);   // rebuilt with fewer choices
    EXPECT_EQ(list.selected, 1);

    Slider narrow = {"Narrow", 3, 1, 0, 10, {0, 0, 100, 20}, 50, 50};
    cursor_x = 50, cursor_y = 10;
    menu_keys.cursor_left = 0x2000;
    handle_slider_key(&narrow, 0x2000);
    handle_slider_key(&narrow, MENU_KEY_DRAG);
    EXPECT_EQ(narrow.value, 3);
}

TEST(Widgets, HitTestsSkipHiddenRectanglesAndStopAtTheEnd)
{
    WidgetRect shown = {10, 10, 20, 20}, hidden = {5, 5, 30, 30};
    hide_item_rect(&hidden);
    const WidgetRect *list[] = {&hidden, &shown, nullptr};
    const WidgetRect *none[] = {nullptr};
    cursor_x = -1, cursor_y = -1;
    EXPECT_EQ(find_rect_under_cursor(list), -1);   // a hidden rectangle holds no point at all
    cursor_x = 15, cursor_y = 15;
    EXPECT_EQ(find_rect_under_cursor(list), 1);
    EXPECT_EQ(find_rect_under_cursor(none), -1);
    cursor_x = 20;
    EXPECT_EQ(find_rect_under_cursor(list), -1);
}
