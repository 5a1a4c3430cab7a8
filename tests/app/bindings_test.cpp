// Control bindings: their text form, and capturing an axis range or a key
// from an SDL virtual joystick and the window's event ring, on an injected
// clock.
#include "app/bindings.h"
#include "app/menu.h"
#include "app/shell.h"
#include "core/alloc.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/window.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>

TEST(Bindings, TextForms)
{
    struct {
        const char *text;
        int result;
        const char *key;    // null: none
        const char *axis;   // null: none
        float start, end;
    } cases[] = {
        {"(k)x", 1, "x", nullptr, 0, 1},
        {"x", 1, "x", nullptr, 0, 1},
        {"  (k)right ctrl", 1, "right ctrl", nullptr, 0, 1},
        {"(-1,1)Pad axis 0", 1, nullptr, "Pad axis 0", -1, 1},
        {"(0.5,-0.25)Pad axis 3", 1, nullptr, "Pad axis 3", 0.5f, -0.25f},
        {"(1)x", 1, "(1)x", nullptr, 0, 1},        // one number: no axis form
        {"(0,1)", 1, "(0,1)", nullptr, 0, 1},      // no axis name
        {"", 1, nullptr, nullptr, 0, 1},
        {"(1,1)Pad axis 0", 0, "m", nullptr, 0, 1},        // refused: kept as it was
        {"(0,nan)Pad axis 0", 0, "m", nullptr, 0, 1},
        {"(inf,0)Pad axis 0", 0, "m", nullptr, 0, 1},
        {"(0,1e99)Pad axis 0", 0, "m", nullptr, 0, 1},
    };
    for (const auto &c : cases) {
        KeyBinding binding = riding_bindings[0];   // "m"
        EXPECT_EQ(parse_binding(&binding, c.text), c.result) << c.text;
        if (c.key) {
            EXPECT_STREQ(binding.key_name, c.key) << c.text;
        } else {
            EXPECT_EQ(binding.key_name, nullptr) << c.text;
        }
        if (c.axis) {
            EXPECT_STREQ(binding.axis_name, c.axis) << c.text;
        } else {
            EXPECT_EQ(binding.axis_name, nullptr) << c.text;
        }
        EXPECT_EQ(binding.range_start, c.start) << c.text;
        EXPECT_EQ(binding.range_end, c.end) << c.text;

        // What is written reads back the same.
        char text[256];
        if (format_binding(&binding, text, sizeof text)) {
            KeyBinding again = riding_bindings[1];
            ASSERT_EQ(parse_binding(&again, text), 1) << text;
            EXPECT_EQ(again.key_name ? std::string(again.key_name) : "", binding.key_name ? binding.key_name : "");
            EXPECT_EQ(again.range_start, binding.range_start);
            EXPECT_EQ(again.range_end, binding.range_end);
        } else {
            EXPECT_TRUE(!binding.key_name && !binding.axis_name) << c.text;
        }
    }
}

namespace {

struct Capture : testing::Test {
    SDL_Joystick *stick = nullptr;
    KeyBinding *binding = &riding_bindings[9];   // Throttle

    void SetUp() override
    {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = 2;
        desc.nbuttons = 1;
        desc.name = "Pad";
        int index = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(index, 0) << SDL_GetError();
        stick = SDL_JoystickOpen(index);
        ASSERT_NE(stick, nullptr);
        game_window = open_gl_window("Rutline bindings", 160, 120, 24, 0, 16, 0, 0);
        ASSERT_NE(game_window, nullptr);
        bind_menu_keys(game_window);
        pump();
        current_time = 0;
    }
    void TearDown() override
    {
        cancel_watching_pots();
        unbind_binding_inputs();
        unbind_menu_keys();
        close_gl_window(game_window);
        game_window = nullptr;
        SDL_JoystickClose(stick);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    // Window messages and device values in; any event through the menus.
    void pump()
    {
        int code, pressed;
        while (next_event(game_window, &code, &pressed))
            menu_event(code, pressed);
    }
    void axis_at(double time, float position)
    {
        SDL_JoystickSetVirtualAxis(stick, 0, (Sint16)(position * 32767.0f));
        frame_at(time);
    }
    void frame_at(double time)
    {
        current_time = time;
        pump();
        finish_watching_pots();
    }
    void press_at(double time, const char *name)
    {
        int code;
        ASSERT_EQ(parse_key_name(game_window, &code, name), 1);
        current_time = time;
        push_event_now(game_window, code, 1);
        push_event_now(game_window, code, 0);
        pump();
    }
};

}  // namespace

TEST_F(Capture, AnAxisMovedAndHeldGivesItsRange)
{
    watch_pots(binding);
    EXPECT_EQ(watched_binding, binding);
    axis_at(0.1, 0.9f);
    frame_at(0.3);
    EXPECT_EQ(watched_binding, binding);   // not yet still for a quarter second
    frame_at(0.36);
    ASSERT_EQ(watched_binding, nullptr);
    EXPECT_EQ(binding->key_name, nullptr);
    EXPECT_STREQ(binding->axis_name, "Pad axis 0");
    EXPECT_NE(binding->axis, nullptr);
    EXPECT_NEAR(binding->range_start, 0.05625, 1e-4);
    EXPECT_NEAR(binding->range_end, 0.84375, 1e-4);
    // The bound axis reads live.
    SDL_JoystickSetVirtualAxis(stick, 0, -16384);
    pump();
    EXPECT_EQ(read_axis(binding->axis), -16384);
}

TEST_F(Capture, ATrembleNeverWinsAndAKeyWinsAfterTheLastAxisChange)
{
    watch_pots(binding);
    press_at(0.5, "v");
    axis_at(0.6, 0.2f);
    axis_at(0.7, -0.1f);
    axis_at(0.8, 0.4f);   // the last new extreme
    axis_at(1.0, 0.1f);
    EXPECT_EQ(watched_binding, binding);
    frame_at(1.04);
    EXPECT_EQ(watched_binding, binding);
    frame_at(1.06);
    ASSERT_EQ(watched_binding, nullptr);
    EXPECT_EQ(binding->axis, nullptr);
    EXPECT_EQ(binding->axis_name, nullptr);
    ASSERT_NE(binding->key_name, nullptr);
    int code;
    ASSERT_EQ(parse_key_name(game_window, &code, binding->key_name), 1);
    EXPECT_EQ(binding->key_code, code);
    int v;
    parse_key_name(game_window, &v, "v");
    EXPECT_EQ(code, v);
}

TEST_F(Capture, EscapeCancelsAndTheBindingStays)
{
    watch_pots(binding);
    press_at(0.1, "esc");
    EXPECT_EQ(watched_binding, nullptr);
    axis_at(0.2, 1.0f);
    frame_at(2.0);
    EXPECT_STREQ(binding->key_name, "x");
    EXPECT_EQ(binding->axis_name, nullptr);
}
