// Input devices without a display: names and ids, device buttons by name,
// axis bindings and their open/close counting, and device stamps.
#include "core/alloc.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

struct NameSet {
    std::set<std::string> names;
};

int name_in_set(const char *name, void *context)
{
    return ((NameSet *)context)->names.count(name) != 0;
}

std::string device_name_for(const char *instance, std::set<std::string> taken)
{
    NameSet set{std::move(taken)};
    char out[DEVICE_NAME_SIZE];
    make_device_name(instance, name_in_set, &set, out);
    return out;
}

// A device that counts its operations.
struct Counts {
    int opens, closes, enables, polls, destroys;
};
Counts counts;

int fake_open(InputDevice *)
{
    counts.opens++;
    return 1;
}
int fake_enable(InputDevice *)
{
    counts.enables++;
    return 1;
}
void fake_close(InputDevice *)
{
    counts.closes++;
}
void fake_poll(InputDevice *)
{
    counts.polls++;
}
int fake_read(InputDevice *, int axis)
{
    return 100 + axis;
}
void fake_destroy(InputDevice *device)
{
    counts.destroys++;
    forget_live_device(device);
    checked_free(device);
}

InputDevice *add_fake_device(GameWindow *window, const char *name, int axes, int buttons)
{
    InputDevice *device = (InputDevice *)checked_calloc(1, sizeof(InputDevice));
    strcpy(device->name_text, name);
    device->name = device->name_text;
    device->axis_count = axes;
    device->button_count = buttons;
    device->open = fake_open;
    device->enable_buttons = fake_enable;
    device->close = fake_close;
    device->poll = fake_poll;
    device->read_axis = fake_read;
    device->destroy = fake_destroy;
    device->id = make_device_id(window, name);
    register_live_device(device);
    add_input_device(window, device);
    return device;
}

struct BareWindow : testing::Test {
    GameWindow *window;
    void SetUp() override
    {
        counts = {};
        window = (GameWindow *)checked_calloc(1, sizeof(GameWindow));
        init_window_events(window);
    }
    void TearDown() override
    {
        close_input_devices(window);
        free_window_events(window);
        checked_free(window);
    }
};

} // namespace

TEST(DeviceNames, BlanksAndDotsGoAndSuffixesMakeThemUnique)
{
    std::string x63(63, 'x'), x70(70, 'x'), x62_e_acute = std::string(62, 'x') + "\xC3\xA9";
    struct Case {
        const char *instance;
        std::set<std::string> taken;
        std::string name;
    } cases[] = {
        {"Joy Stick 1", {}, "JoyStick1"},
        {"Joy Stick 1", {"JoyStick1"}, "JoyStick1#2"},
        {"Joy Stick 1", {"JoyStick1", "JoyStick1#2"}, "JoyStick1#3"},
        {"Pad v.2", {}, "Padv2"},
        {"\tA B\n", {}, "AB"},
        {"", {}, "Joystick"},
        {" . ", {}, "Joystick"},
        {nullptr, {}, "Joystick"},
        {x70.c_str(), {}, x63},
        // Uniqueness is checked after the cut, and the suffix fits too.
        {x70.c_str(), {x63}, std::string(61, 'x') + "#2"},
        {x63.c_str(), {x63, std::string(61, 'x') + "#2"}, std::string(61, 'x') + "#3"},
        // A cut never splits a UTF-8 sequence.
        {x62_e_acute.c_str(), {}, std::string(62, 'x')},
    };
    for (const Case &c : cases) {
        std::string name = device_name_for(c.instance, c.taken);
        EXPECT_EQ(name, c.name) << (c.instance ? c.instance : "(null)");
        EXPECT_LE(name.size(), 63u);
    }
}

TEST(DeviceNames, IdsFromNames)
{
    struct Case {
        const char *name;
        int id;
    } cases[] = {
        {"ab", 0x62610000},            // 'a' + 256 * 'b'
        {"Mouse", 0x63270000},         // (295 + 256 * 226) & 0x7FFF
        {"\xFF", 0x7FFF0000},          // characters are signed bytes
        {"", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(device_name_hash(c.name), c.id) << c.name;
}

TEST_F(BareWindow, IdsAreUniqueAndNeverZero)
{
    InputDevice *first = add_fake_device(window, "ab", 1, 1);
    InputDevice *second = add_fake_device(window, "ab", 1, 1);
    EXPECT_EQ(first->id, 0x62610000);
    EXPECT_EQ(second->id, 0x62620000);
    EXPECT_EQ(make_device_id(window, ""), 0x10000);

    InputDevice *top = add_fake_device(window, "\xFF", 1, 1);
    EXPECT_EQ(top->id, 0x7FFF0000);
    // The next id wraps past 0 to the lowest.
    EXPECT_EQ(make_device_id(window, "\xFF"), 0x10000);
}

TEST_F(BareWindow, DeviceButtonsByName)
{
    InputDevice *pad = add_fake_device(window, "Pad", 2, 400);
    struct Case {
        const char *name;
        int ok;
        int button;
    } cases[] = {
        {"Pad.key[0]", 1, 0},     {"Pad button 3", 1, 3},  {"Pad.key[255]", 1, 255},
        {"Pad.key[256]", 0, 0},   {"Pad.key[300]", 0, 0},  {"Pad.key[-1]", 0, 0},
        {"Other.key[1]", 0, 0},   {"Pad axis 1", 0, 0},    {"pad.key[1]", 0, 0},
    };
    for (const Case &c : cases) {
        int code = 0;
        EXPECT_EQ(parse_key_name(window, &code, c.name), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(code, pad->id + c.button) << c.name;
        }
    }
    EXPECT_EQ(pad->buttons_enabled, 1);
    EXPECT_EQ(counts.enables, 3);

    EXPECT_STREQ(get_key_name(window, pad->id + 7), "Pad button 7");
    EXPECT_EQ(get_key_name(window, pad->id + 7), get_key_name(window, pad->id + 7));
    // Low bits past the byte of the button name no button.
    EXPECT_EQ(get_key_name(window, pad->id + 0x105), nullptr);
    EXPECT_EQ(get_key_name(window, pad->id + 0x10000), nullptr);

    InputDevice *small = add_fake_device(window, "Small", 0, 2);
    EXPECT_EQ(get_key_name(window, small->id + 2), nullptr);
    int code = 0;
    EXPECT_EQ(parse_key_name(window, &code, "Small.key[2]"), 0);
}

TEST_F(BareWindow, PollingOnlyTouchesDevicesWithButtons)
{
    add_fake_device(window, "Quiet", 1, 1);
    add_fake_device(window, "Busy", 1, 1);
    int code = 0;
    ASSERT_EQ(parse_key_name(window, &code, "Busy.key[0]"), 1);
    poll_input_devices(window);
    EXPECT_EQ(counts.polls, 1);
}

TEST_F(BareWindow, BindingsOpenOnceAndCloseOnce)
{
    add_fake_device(window, "cursor", 2, 0);
    voke_alias_add("test-cursor-x", "cursor.axis[0]");
    AxisBinding *first = bind_axis(window, "test-cursor-x");
    AxisBinding *second = bind_axis(window, "cursor axis 1");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(counts.opens, 1);
    EXPECT_EQ(read_axis(first), 100);
    EXPECT_EQ(read_axis(second), 101);

    unbind_axis(first);
    EXPECT_EQ(counts.closes, 0);
    unbind_axis(second);
    EXPECT_EQ(counts.closes, 1);
    checked_free(first);
    checked_free(second);

    const char *rejected[] = {"cursor.axis[2]", "cursor.axis[-1]", "nothing.axis[0]",
                              "cursor", "cursor axis", nullptr};
    for (const char *name : rejected)
        EXPECT_EQ(bind_axis(window, name), nullptr) << (name ? name : "(null)");
    EXPECT_EQ(counts.opens, 1);
}

TEST_F(BareWindow, BindingsOutliveTheirDevices)
{
    add_fake_device(window, "Wheel", 1, 0);
    AxisBinding *binding = bind_axis(window, "Wheel.axis[0]");
    ASSERT_NE(binding, nullptr);
    close_input_devices(window);
    EXPECT_EQ(counts.closes, 1);
    EXPECT_EQ(counts.destroys, 1);
    // The device is gone: the binding reads 0 and unbinds as nothing.
    EXPECT_EQ(read_axis(binding), 0);
    unbind_axis(binding);
    EXPECT_EQ(counts.closes, 1);
    checked_free(binding);
    EXPECT_EQ(read_axis(nullptr), 0);
    unbind_axis(nullptr);
}

TEST_F(BareWindow, AxisNamesAreListedOnce)
{
    EXPECT_EQ(get_axis_names(window)[0], nullptr);
    for (int i = 0; i < 40; i++) {
        char name[32];
        snprintf(name, sizeof name, "Pad axis %d", i % 20);
        add_axis_name(window, name);
    }
    const char *const *names = get_axis_names(window);
    int count = 0;
    while (names[count])
        count++;
    EXPECT_EQ(count, 20);
    EXPECT_STREQ(names[0], "Pad axis 0");
    EXPECT_STREQ(names[19], "Pad axis 19");
    checked_free(window->axis_names);
    window->axis_names = nullptr;
}

TEST(DeviceStamps, NeverLaterThanTheClock)
{
    InputDevice device = {};
    struct Step {
        int64_t entry, now, stamp, adjustment;
    } steps[] = {
        {1000, 2000, 1000, 0},
        {2500, 2000, 2000, 500},   // from the future: the adjustment moves
        {2600, 2100, 2100, 500},
        {2550, 3000, 2050, 500},   // later entries keep the adjustment
        {4000, 3000, 3000, 1000},
    };
    for (const Step &s : steps) {
        EXPECT_EQ(adjust_device_stamp(&device, s.entry, s.now), s.stamp) << s.entry;
        EXPECT_EQ(device.stamp_adjustment, s.adjustment) << s.entry;
    }
}
