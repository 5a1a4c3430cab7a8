// Fuzz target "key_names": key and button names as they come from the
// settings and binding files: parsed into event codes, named back, bound as
// axes of a window's input devices and read; aliases followed once.
// Input: one name per line.
#include "fuzz/fuzz_target.h"

#include "core/alloc.h"
#include "platform/event_ring.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/window.h"

#include <SDL2/SDL_scancode.h>

#include <cstring>

// A US layout of the character keys, without SDL.
static int us_key_code(int sdl_scancode)
{
    if (sdl_scancode >= SDL_SCANCODE_A && sdl_scancode <= SDL_SCANCODE_Z)
        return 'a' + sdl_scancode - SDL_SCANCODE_A;
    if (sdl_scancode >= SDL_SCANCODE_1 && sdl_scancode <= SDL_SCANCODE_9)
        return '1' + sdl_scancode - SDL_SCANCODE_1;
    switch (sdl_scancode) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_MINUS: return '-';
    case SDL_SCANCODE_GRAVE: return 0xE9;
    case SDL_SCANCODE_SPACE: return ' ';
    default: return 0;
    }
}

static int device_yes(InputDevice *)
{
    return 1;
}

static void device_nothing(InputDevice *)
{
}

static int device_read(InputDevice *, int axis)
{
    return axis * 100;
}

static void device_destroy(InputDevice *device)
{
    forget_live_device(device);
    checked_free(device);
}

static void add_device(GameWindow *window, const char *name, int axes, int buttons)
{
    InputDevice *device = (InputDevice *)checked_calloc(1, sizeof(InputDevice));
    snprintf(device->name_text, sizeof device->name_text, "%s", name);
    device->name = device->name_text;
    device->axis_count = axes;
    device->button_count = buttons;
    device->open = device_yes;
    device->enable_buttons = device_yes;
    device->close = device_nothing;
    device->poll = device_nothing;
    device->read_axis = device_read;
    device->destroy = device_destroy;
    device->id = make_device_id(window, name);
    register_live_device(device);
    add_input_device(window, device);
}

static int name_taken(const char *name, void *context)
{
    return find_device_by_name((GameWindow *)context, name) != nullptr;
}

static int run(const uint8_t *data, size_t size)
{
    static int prepared;
    if (!prepared) {
        // Names stored and aliases added live for the whole run: a fixed few.
        build_system_key_names(us_key_code);
        voke_alias_add("throttle", "Pad.axis[1]");
        voke_alias_add("jump", "Space");
        voke_alias_add("loop", "loop");
        prepared = 1;
    }
    GameWindow *window = (GameWindow *)checked_calloc(1, sizeof(GameWindow));
    init_window_events(window);
    add_device(window, "Pad", 4, 16);
    add_device(window, "cursor", 2, 0);
    add_device(window, "Wheel#2", 3, 300);

    std::string text = input_text(data, size);
    for (size_t start = 0; start <= text.size();) {
        size_t newline = text.find('\n', start);
        if (newline == std::string::npos)
            newline = text.size();
        std::string line = text.substr(start, newline - start);
        start = newline + 1;
        const char *name = line.c_str();
        int code = 0;
        if (parse_key_name(window, &code, name)) {
            const char *back = get_key_name(window, code);
            int again = 0;
            if (back)
                parse_key_name(window, &again, back);
        }
        AxisBinding *binding = bind_axis(window, name);
        if (binding) {
            read_axis(binding);
            unbind_axis(binding);
            checked_free(binding);
        }
        char device_name[DEVICE_NAME_SIZE];
        make_device_name(name, name_taken, window, device_name);
        device_name_hash(name);
        loose_name_equal(name, "Left Shift");
    }
    poll_input_devices(window);
    close_input_devices(window);
    free_window_events(window);
    checked_free(window->axis_names);
    checked_free(window);
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"keys", "Space\nLeft Shift\nleft_shift\nA\n0x1c\n0x1ff\nMouse Left\nClose\nF1\n\xC3\x89\n"});
    seeds->push_back({"buttons", "Pad.key[3]\nPad button 15\nWheel#2 button 255\nPad.key[16]\nNone button 1\n"});
    seeds->push_back({"axes", "Pad.axis[0]\nPad axis 3\ncursor.axis[1]\nthrottle\nPad.axis[-1]\nWheel#2 axis 9\n"});
    seeds->push_back({"aliases", "jump\nloop\nthrottle\n"});
}

RUT_FUZZ_TARGET(key_names, run, make_seeds);
