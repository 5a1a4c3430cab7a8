// Game controllers through SDL's joystick API, and the relative "Mouse"
// device: the roll call at window open, buffered time-stamped buttons and
// axes read through bindings.
#include "core/alloc.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/log.h"
#include "platform/window.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

enum {
    MOUSE_AXES = 3,       // x, y, wheel
    MOUSE_BUTTONS = 5,    // left, right, middle, two side buttons
    WHEEL_STEP = 120,     // wheel units per notch
};

static int clamp_axis(int value)
{
    if (value > DEVICE_AXIS_LIMIT)
        return DEVICE_AXIS_LIMIT;
    if (value < -DEVICE_AXIS_LIMIT)
        return -DEVICE_AXIS_LIMIT;
    return value;
}

// Motion summed between reads saturates instead of overflowing.
static void add_motion(int32_t *value, int64_t motion)
{
    int64_t sum = *value + motion;
    if (sum > INT32_MAX / 2)
        sum = INT32_MAX / 2;
    if (sum < -(INT32_MAX / 2))
        sum = -(INT32_MAX / 2);
    *value = (int32_t)sum;
}

// ---- device operations ----------------------------------------------------------

static int acquire_device(InputDevice *device)
{
    device->acquired = 1;
    return 1;
}

// A device with enabled buttons stays acquired for its button events.
static void release_device(InputDevice *device)
{
    if (device->buttons_enabled)
        return;
    device->acquired = 0;
    device->buffer_count = 0;
}

static void poll_device(InputDevice *device)
{
    int64_t now = (int64_t)clock_milliseconds();
    int count = device->buffer_count;
    device->buffer_count = 0;
    for (int i = 0; i < count; i++) {
        const DeviceButtonEntry &entry = device->buffer[i];
        if (device->button_bytes[entry.button] == entry.value)
            continue;
        device->button_bytes[entry.button] = (unsigned char)entry.value;
        int64_t t = adjust_device_stamp(device, entry.milliseconds, now);
        push_event(device->window, device->id + entry.button, entry.value != 0,
                   (int)(t / 1000), (int)(t % 1000) * 1000);
    }
}

static int read_joystick_axis(InputDevice *device, int axis)
{
    poll_device(device);
    if (axis < 0 || axis >= device->axis_count)
        return 0;
    return clamp_axis(SDL_JoystickGetAxis(device->joystick, axis));
}

// Relative axes give the motion since the previous read.
static int read_mouse_axis(InputDevice *device, int axis)
{
    poll_device(device);
    if (axis < 0 || axis >= device->axis_count)
        return 0;
    int value = device->axis_values[axis];
    device->axis_values[axis] = 0;
    return value;
}

static void destroy_device(InputDevice *device)
{
    log_printf("Killing %s\n", device->name);
    if (device->stamp_adjustment > 0)
        log_printf("Timestamp adjustment was %d\n", (int)device->stamp_adjustment);
    if (device->joystick)
        SDL_JoystickClose(device->joystick);
    forget_live_device(device);
    checked_free(device);
}

// A named device record with its id, or null: *out_of_memory tells whether
// the roll call should end or only skip this device.
static InputDevice *new_device(GameWindow *window, const char *instance_name, int *out_of_memory)
{
    *out_of_memory = 0;
    InputDevice *device = (InputDevice *)checked_calloc(1, sizeof(InputDevice));
    if (!device) {
        log_printf("Out of memory\n");
        *out_of_memory = 1;
        return nullptr;
    }
    make_device_name(
        instance_name,
        [](const char *name, void *context) {
            return (int)(find_device_by_name((GameWindow *)context, name) != nullptr);
        },
        window, device->name_text);
    device->name = device->name_text;
    device->id = make_device_id(window, device->name);
    if (device->id == 0) {
        log_printf("No free id for \"%s\"\n", device->name);
        checked_free(device);
        return nullptr;
    }
    device->joystick_instance = -1;
    device->enable_buttons = acquire_device;
    device->open = acquire_device;
    device->close = release_device;
    device->poll = poll_device;
    device->destroy = destroy_device;
    return device;
}

// Logs why a device is not kept and lets it go.
static void drop_device(InputDevice *device, const char *why)
{
    log_printf(why, device->name);
    if (device->joystick)
        SDL_JoystickClose(device->joystick);
    checked_free(device);
}

// Logs the axis and button counts and cuts them to what the device record
// and the event codes hold.
static void limit_counts(InputDevice *device, int axes, int buttons)
{
    log_printf("%d axes, %d keys\n", axes, buttons);
    if (axes > DEVICE_MAX_AXES) {
        log_printf("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s\"\n",
                   "Axis 100");
        axes = DEVICE_MAX_AXES;
    }
    if (buttons > DEVICE_MAX_BUTTONS) {
        log_printf("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"%s\"\n",
                   "Button 256");
        buttons = DEVICE_MAX_BUTTONS;
    }
    device->axis_count = axes;
    device->button_count = buttons;
}

static void finish_device(GameWindow *window, InputDevice *device)
{
    for (int axis = 0; axis < device->axis_count; axis++)
        log_printf("axis %d is %s\n", axis,
                   device->flags & DEVICE_RELATIVE_AXES ? "relative" : "absolute");
    if (!(device->flags & DEVICE_RELATIVE_AXES))
        for (int axis = 0; axis < device->axis_count; axis++) {
            char name[256];
            snprintf(name, sizeof name, "%.200s axis %d", device->name, axis);
            log_printf("Adding axis \"%s\"\n", name);
            add_axis_name(window, name);
        }
    register_live_device(device);
    add_input_device(window, device);
}

// 0 when memory ran out and the roll call should end.
static int add_joystick_device(GameWindow *window, int index)
{
    const char *instance_name = SDL_JoystickNameForIndex(index);
    char guid[64];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
    log_printf("%s (%s)\n", instance_name ? instance_name : "", guid);

    int out_of_memory;
    InputDevice *device = new_device(window, instance_name, &out_of_memory);
    if (!device)
        return !out_of_memory;
    device->joystick = SDL_JoystickOpen(index);
    if (!device->joystick) {
        drop_device(device, "Can't create \"%s\"\n");
        return 1;
    }
    device->joystick_instance = SDL_JoystickInstanceID(device->joystick);
    int axes = SDL_JoystickNumAxes(device->joystick);
    int buttons = SDL_JoystickNumButtons(device->joystick);
    if (axes < 0 || buttons < 0 || device->joystick_instance < 0) {
        drop_device(device, "Can't get device caps\n");
        return 1;
    }
    if (axes == 0 && buttons == 0) {
        drop_device(device, "Ignoring Dunsel device\n");
        return 1;
    }
    limit_counts(device, axes, buttons);
    device->read_axis = read_joystick_axis;
    finish_device(window, device);
    return 1;
}

static int add_mouse_device(GameWindow *window)
{
    log_printf("%s (%s)\n", "Mouse", "Mouse");
    int out_of_memory;
    InputDevice *device = new_device(window, "Mouse", &out_of_memory);
    if (!device)
        return !out_of_memory;
    device->flags = DEVICE_RELATIVE_AXES;
    limit_counts(device, MOUSE_AXES, MOUSE_BUTTONS);
    device->read_axis = read_mouse_axis;
    finish_device(window, device);
    return 1;
}

void dinput_roll_call(GameWindow *window)
{
    if (!voke_option_bool("dinput", 1)) {
        log_printf("DirectInput disabled\n");
        return;
    }
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        log_printf("Can't open direct input library\n");
        log_printf("%s\n", SDL_GetError());
        return;
    }
    window->joystick_subsystem = 1;
    int sticks_only = voke_option_bool("dinputsticksonly", 1);

    log_printf("DirectInput roll call...\n");
    int ok = sticks_only || add_mouse_device(window);
    int count = SDL_NumJoysticks();
    for (int index = 0; ok && index < count; index++)
        ok = add_joystick_device(window, index);
    log_printf("End of DirectInput roll call\n");

    static const char *const device_aliases[][2] = {
        {"mouse-x", "Mouse.axis[0]"},       {"mouse-y", "Mouse.axis[1]"},
        {"mouse-left", "Mouse.key[0]"},     {"mouse-right", "Mouse.key[1]"},
        {"mouse-middle", "Mouse.key[2]"},   {"joystick-a-x", "Joystick1.axis[0]"},
        {"joystick-a-y", "Joystick1.axis[1]"}, {"joystick-a-1", "Joystick1.key[0]"},
        {"joystick-a-2", "Joystick1.key[1]"}, {"joystick-b-x", "Joystick2.axis[0]"},
        {"joystick-b-y", "Joystick2.axis[1]"}, {"joystick-b-1", "Joystick2.key[0]"},
        {"joystick-b-2", "Joystick2.key[1]"},
    };
    for (const auto &alias : device_aliases)
        voke_alias_add(alias[0], alias[1]);
}

// ---- events from the window's pump -------------------------------------------------

static void buffer_button(InputDevice *device, int button, int value, int64_t milliseconds)
{
    if (!device->acquired || button < 0 || button >= device->button_count ||
        device->buffer_count >= DEVICE_BUFFER_SIZE)
        return;
    DeviceButtonEntry &entry = device->buffer[device->buffer_count++];
    entry.button = button;
    entry.value = value;
    entry.milliseconds = milliseconds;
}

static InputDevice *find_joystick_device(GameWindow *window, int32_t instance)
{
    for (InputDevice *device = window->devices; device; device = device->next)
        if (device->joystick && device->joystick_instance == instance)
            return device;
    return nullptr;
}

static InputDevice *find_mouse_device(GameWindow *window)
{
    for (InputDevice *device = window->devices; device; device = device->next)
        if (!device->joystick && (device->flags & DEVICE_RELATIVE_AXES))
            return device;
    return nullptr;
}

static int mouse_device_button(int sdl_button)
{
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
    }
}

void route_device_event(GameWindow *window, const SDL_Event *event, int64_t milliseconds)
{
    InputDevice *device;
    switch (event->type) {
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if ((device = find_joystick_device(window, event->jbutton.which)))
            buffer_button(device, event->jbutton.button, event->jbutton.state == SDL_PRESSED,
                          milliseconds);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if ((device = find_mouse_device(window)))
            buffer_button(device, mouse_device_button(event->button.button),
                          event->button.state == SDL_PRESSED, milliseconds);
        break;
    case SDL_MOUSEMOTION:
        if ((device = find_mouse_device(window)) && device->acquired) {
            add_motion(&device->axis_values[0], event->motion.xrel);
            add_motion(&device->axis_values[1], event->motion.yrel);
        }
        break;
    case SDL_MOUSEWHEEL:
        if ((device = find_mouse_device(window)) && device->acquired)
            add_motion(&device->axis_values[2], (int64_t)event->wheel.y * WHEEL_STEP);
        break;
    default:
        break;
    }
}
