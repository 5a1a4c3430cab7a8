// Game controllers through SDL's virtual joysticks, attached before the
// window opens: naming with suffixes, axis names, clamped axes, buffered
// buttons, and the relative mouse device.
#include "core/alloc.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/window.h"
#include "drain_events.h"
#include "support/test_support.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Event = TakenEvent;

std::vector<std::string> axis_names(GameWindow *window)
{
    std::vector<std::string> names;
    for (const char *const *name = get_axis_names(window); *name; name++)
        names.push_back(*name);
    return names;
}

struct Joysticks : testing::Test {
    GameWindow *window = nullptr;
    std::vector<SDL_Joystick *> handles;

    void SetUp() override
    {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    }
    void attach(const char *name, int axes, int buttons)
    {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = (Uint16)axes;
        desc.nbuttons = (Uint16)buttons;
        desc.name = name;
        int index = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(index, 0) << SDL_GetError();
        SDL_Joystick *handle = SDL_JoystickOpen(index);
        ASSERT_NE(handle, nullptr) << SDL_GetError();
        handles.push_back(handle);
    }
    void open_window()
    {
        window = open_gl_window("Rutline joysticks", 160, 120, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        drain(window);
    }
    void TearDown() override
    {
        close_gl_window(window);
        for (SDL_Joystick *handle : handles)
            SDL_JoystickClose(handle);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
};

} // namespace

TEST_F(Joysticks, NamesGetSuffixesAndEveryListedAxisBinds)
{
    std::string long_name(70, 'L');
    attach("Joy Stick 1", 2, 4);
    attach("Joy Stick 1", 1, 2);
    attach("Dunsel", 0, 0);
    attach(long_name.c_str(), 1, 1);
    attach(long_name.c_str(), 1, 1);
    open_window();

    EXPECT_NE(find_device_by_name(window, "JoyStick1"), nullptr);
    EXPECT_NE(find_device_by_name(window, "JoyStick1#2"), nullptr);
    EXPECT_EQ(find_device_by_name(window, "Dunsel"), nullptr);   // no axes, no buttons
    std::string cut(63, 'L'), second = std::string(61, 'L') + "#2";
    EXPECT_NE(find_device_by_name(window, cut.c_str()), nullptr);
    EXPECT_NE(find_device_by_name(window, second.c_str()), nullptr);
    EXPECT_EQ(find_device_by_name(window, "Mouse"), nullptr);   // sticks only

    std::vector<std::string> expected = {"JoyStick1 axis 0", "JoyStick1 axis 1",
                                         "JoyStick1#2 axis 0", cut + " axis 0",
                                         second + " axis 0"};
    EXPECT_EQ(axis_names(window), expected);
    for (const std::string &name : expected) {
        AxisBinding *binding = bind_axis(window, name.c_str());
        EXPECT_NE(binding, nullptr) << name;
        unbind_axis(binding);
        checked_free(binding);
    }
    std::string dotted = second + ".axis[0]";
    AxisBinding *binding = bind_axis(window, dotted.c_str());
    EXPECT_NE(binding, nullptr);
    unbind_axis(binding);
    checked_free(binding);
}

TEST_F(Joysticks, AxesAreClampedAndAliasesReachTheFirstStick)
{
    attach("Joystick 1", 3, 2);
    open_window();
    AxisBinding *x = bind_axis(window, "joystick-a-x");
    AxisBinding *y = bind_axis(window, "joystick-a-y");
    AxisBinding *z = bind_axis(window, "Joystick1 axis 2");
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(bind_axis(window, "Joystick1.axis[3]"), nullptr);

    SDL_JoystickSetVirtualAxis(handles[0], 0, -32768);
    SDL_JoystickSetVirtualAxis(handles[0], 1, 12345);
    SDL_JoystickSetVirtualAxis(handles[0], 2, 32767);
    drain(window);
    EXPECT_EQ(read_axis(x), -32767);
    EXPECT_EQ(read_axis(y), 12345);
    EXPECT_EQ(read_axis(z), 32767);
    EXPECT_EQ(read_axis(x), -32767);   // absolute: the value stays

    for (AxisBinding *binding : {x, y, z}) {
        unbind_axis(binding);
        checked_free(binding);
    }
}

TEST_F(Joysticks, ButtonsArriveAsStampedEventsOnceEnabled)
{
    attach("Joystick 1", 1, 3);
    open_window();
    InputDevice *stick = find_device_by_name(window, "Joystick1");
    ASSERT_NE(stick, nullptr);

    // Before any button is bound, presses make no events.
    SDL_JoystickSetVirtualButton(handles[0], 2, SDL_PRESSED);
    EXPECT_TRUE(drain(window).empty());
    SDL_JoystickSetVirtualButton(handles[0], 2, SDL_RELEASED);
    drain(window);

    int code = 0;
    ASSERT_EQ(parse_key_name(window, &code, "joystick-a-2"), 1);
    EXPECT_EQ(code, stick->id + 1);
    EXPECT_STREQ(get_key_name(window, code), "Joystick1 button 1");
    int parsed = 0;
    ASSERT_EQ(parse_key_name(window, &parsed, get_key_name(window, code)), 1);
    EXPECT_EQ(parsed, code);

    SDL_JoystickSetVirtualButton(handles[0], 1, SDL_PRESSED);
    std::vector<Event> events = drain(window);
    SDL_JoystickSetVirtualButton(handles[0], 1, SDL_RELEASED);
    for (const Event &e : drain(window))
        events.push_back(e);
    SDL_JoystickSetVirtualButton(handles[0], 0, SDL_PRESSED);
    for (const Event &e : drain(window))
        events.push_back(e);
    TimeValue now;
    get_time(&now);

    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].code, code);
    EXPECT_EQ(events[0].pressed, 1);
    EXPECT_EQ(events[1].code, code);
    EXPECT_EQ(events[1].pressed, 0);
    EXPECT_EQ(events[2].code, stick->id);
    for (const Event &e : events)
        EXPECT_LE(compare_times(e.seconds, e.microseconds, now.seconds, now.microseconds), 0);
}

TEST_F(Joysticks, TheMouseDeviceGivesRelativeMotionAndButtons)
{
    setenv("VOKE_OPTIONS", "[dinputsticksonly:off]", 1);
    attach("Joystick 1", 2, 2);
    open_window();
    InputDevice *mouse = find_device_by_name(window, "Mouse");
    ASSERT_NE(mouse, nullptr);
    EXPECT_TRUE(mouse->flags & DEVICE_RELATIVE_AXES);
    EXPECT_EQ(axis_names(window), (std::vector<std::string>{"Joystick1 axis 0", "Joystick1 axis 1"}));

    AxisBinding *x = bind_axis(window, "mouse-x");
    AxisBinding *y = bind_axis(window, "mouse-y");
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    for (int i = 0; i < 2; i++) {
        SDL_Event motion = {};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.windowID = window->sdl_window_id;
        motion.motion.xrel = 5;
        motion.motion.yrel = -3;
        SDL_PushEvent(&motion);
    }
    drain(window);
    EXPECT_EQ(read_axis(x), 10);
    EXPECT_EQ(read_axis(x), 0);   // relative: the motion once, then nothing
    EXPECT_EQ(read_axis(y), -6);

    int code = 0;
    ASSERT_EQ(parse_key_name(window, &code, "mouse-right"), 1);
    EXPECT_EQ(code, mouse->id + 1);
    SDL_Event press = {};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.windowID = window->sdl_window_id;
    press.button.button = SDL_BUTTON_RIGHT;
    press.button.state = SDL_PRESSED;
    SDL_PushEvent(&press);
    std::vector<int> codes;
    for (const Event &e : drain(window))
        codes.push_back(e.code);
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<int>{0x2002, mouse->id + 1}));

    for (AxisBinding *binding : {x, y}) {
        unbind_axis(binding);
        checked_free(binding);
    }
}

TEST_F(Joysticks, NoDevicesWhenDirectInputIsOff)
{
    std::string log_path = test_dir() + "/no-dinput-log.txt";
    setenv("VOKE_LOGFILE", log_path.c_str(), 1);
    setenv("VOKE_OPTIONS", "[dinput:off][dinputsticksonly:off]", 1);
    attach("Joystick 1", 2, 2);
    open_window();
    EXPECT_EQ(find_device_by_name(window, "Joystick1"), nullptr);
    EXPECT_EQ(find_device_by_name(window, "Mouse"), nullptr);
    EXPECT_NE(find_device_by_name(window, "cursor"), nullptr);
    EXPECT_TRUE(axis_names(window).empty());

    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    EXPECT_NE(log.find("] DirectInput disabled\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("roll call"), std::string::npos) << log;
}

TEST_F(Joysticks, TheRollCallIsLogged)
{
    std::string log_path = test_dir() + "/roll-call-log.txt";
    setenv("VOKE_LOGFILE", log_path.c_str(), 1);
    setenv("VOKE_OPTIONS", "[dinputsticksonly:off]", 1);
    attach("Joy Stick 1", 2, 4);
    attach("Dunsel", 0, 0);
    attach("Many", 1, 300);
    open_window();
    InputDevice *many = find_device_by_name(window, "Many");
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->button_count, DEVICE_MAX_BUTTONS);
    close_gl_window(window);
    window = nullptr;

    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    // Each line in the order it must come, after its time stamp.
    const char *lines[] = {
        "] DirectInput roll call...\n",
        "] Mouse (Mouse)\n",
        "] 3 axes, 5 keys\n",
        "] axis 0 is relative\n",
        "] axis 2 is relative\n",
        "] Joy Stick 1 (",
        "] 2 axes, 4 keys\n",
        "] axis 1 is absolute\n",
        "] Adding axis \"JoyStick1 axis 0\"\n",
        "] Adding axis \"JoyStick1 axis 1\"\n",
        "] Dunsel (",
        "] Ignoring Dunsel device\n",
        "] 1 axes, 300 keys\n",
        "] Wow! This thing has a lot of buttons!\nThe first ignored button is called \"Button 256\"\n",
        "] Adding axis \"Many axis 0\"\n",
        "] End of DirectInput roll call\n",
        "] Closing input devices\n",
        "] Killing Many\n",
        "] Killing JoyStick1\n",
        "] Killing Mouse\n",
        "] Window shutdown complete\n",
    };
    size_t at = 0;
    for (const char *line : lines) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n---\n" << log;
        at = found + strlen(line);
    }
    // The relative mouse has no entry in the axis-name list.
    EXPECT_EQ(log.find("Adding axis \"Mouse"), std::string::npos) << log;
}

