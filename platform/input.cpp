// Input devices of the game window: the device list, ids and names, axis
// bindings, the axis-name list and the cursor device.
#include "platform/input.h"

#include "core/alloc.h"
#include "platform/key_names.h"
#include "platform/log.h"
#include "platform/window.h"

#include <SDL2/SDL.h>

#include <cctype>
#include <cstdio>
#include <cstring>

// ---- the device list ------------------------------------------------------------

static InputDevice *live_devices;
static uint64_t next_device_serial = 1;

void register_live_device(InputDevice *device)
{
    device->serial = next_device_serial++;
    device->next_live = live_devices;
    live_devices = device;
}

void forget_live_device(InputDevice *device)
{
    for (InputDevice **link = &live_devices; *link; link = &(*link)->next_live)
        if (*link == device) {
            *link = device->next_live;
            return;
        }
}

static int is_live_device(const InputDevice *device, uint64_t serial)
{
    for (const InputDevice *live = live_devices; live; live = live->next_live)
        if (live == device && live->serial == serial)
            return 1;
    return 0;
}

void add_input_device(GameWindow *window, InputDevice *device)
{
    device->window = window;
    device->next = window->devices;
    window->devices = device;
}

void poll_input_devices(GameWindow *window)
{
    if (!window)
        return;
    for (InputDevice *device = window->devices; device; device = device->next)
        if (device->buttons_enabled)
            device->poll(device);
}

void close_input_devices(GameWindow *window)
{
    for (InputDevice *device = window->devices; device; device = device->next)
        if (device->binding_count > 0) {
            device->binding_count = 0;
            device->close(device);
        }
    while (window->devices) {
        InputDevice *device = window->devices;
        window->devices = device->next;
        device->destroy(device);
    }
}

InputDevice *find_device_by_id(GameWindow *window, int id)
{
    if (!window || id == 0)
        return nullptr;
    for (InputDevice *device = window->devices; device; device = device->next)
        if (device->id == id)
            return device;
    return nullptr;
}

InputDevice *find_device_by_name(GameWindow *window, const char *name)
{
    if (!window || !name)
        return nullptr;
    for (InputDevice *device = window->devices; device; device = device->next)
        if (strcmp(device->name, name) == 0)
            return device;
    return nullptr;
}

// ---- ids and names -----------------------------------------------------------------

int device_name_hash(const char *name)
{
    int even = 0, odd = 0;
    for (int i = 0; name[i]; i++) {
        int c = (signed char)name[i];
        if (i % 2 == 0)
            even += c;
        else
            odd += c;
    }
    return ((even + 256 * odd) & 0x7FFF) << 16;
}

int make_device_id(GameWindow *window, const char *name)
{
    int id = device_name_hash(name);
    for (int tries = 0; tries < 0xFFFF; tries++) {
        if (id != 0 && !find_device_by_id(window, id))
            return id;
        id = (int)(((int64_t)id + DEVICE_ID_STEP) & 0x7FFF0000);
    }
    return 0;
}

// Cuts text to at most limit bytes without splitting a UTF-8 sequence.
static void cut_name(char *text, size_t limit)
{
    size_t length = strlen(text);
    if (length <= limit)
        return;
    while (limit > 0 && ((unsigned char)text[limit] & 0xC0) == 0x80)
        limit--;
    text[limit] = '\0';
}

void make_device_name(const char *instance_name, int (*name_taken)(const char *name, void *context),
                      void *context, char out[DEVICE_NAME_SIZE])
{
    // Blanks of any kind would end the name in "%63s", and '.' ends it in
    // "%63[^.]": neither may stay.
    char base[4 * DEVICE_NAME_SIZE];
    size_t length = 0;
    for (const char *c = instance_name ? instance_name : ""; *c && length < sizeof base - 1; c++)
        if (!isspace((unsigned char)*c) && *c != '.')
            base[length++] = *c;
    base[length] = '\0';
    cut_name(base, DEVICE_NAME_SIZE - 1);
    if (base[0] == '\0')
        strcpy(base, "Joystick");

    strcpy(out, base);
    for (int number = 2; name_taken(out, context); number++) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, "#%d", number);
        strcpy(out, base);
        cut_name(out, DEVICE_NAME_SIZE - 1 - strlen(suffix));
        strcat(out, suffix);
    }
}

int64_t adjust_device_stamp(InputDevice *device, int64_t entry_milliseconds,
                            int64_t now_milliseconds)
{
    int64_t t = entry_milliseconds - device->stamp_adjustment;
    if (t > now_milliseconds) {
        device->stamp_adjustment = entry_milliseconds - now_milliseconds;
        t = now_milliseconds;
    }
    return t;
}

// ---- bindings -------------------------------------------------------------------------

AxisBinding *bind_axis(GameWindow *window, const char *name)
{
    if (!name)
        return nullptr;
    name = lookup_alias(name);
    char device_name[DEVICE_NAME_SIZE];
    int axis;
    if (sscanf(name, "%63[^.].axis[%d]", device_name, &axis) != 2 &&
        sscanf(name, "%63s axis %d", device_name, &axis) != 2)
        return nullptr;
    if (axis < 0)
        return nullptr;
    InputDevice *device = find_device_by_name(window, device_name);
    if (!device || axis >= device->axis_count)
        return nullptr;
    AxisBinding *binding = (AxisBinding *)checked_malloc(sizeof(AxisBinding));
    if (!binding)
        return nullptr;
    binding->device = device;
    binding->axis = axis;
    binding->serial = device->serial;
    if (device->binding_count == 0 && !device->open(device)) {
        checked_free(binding);
        return nullptr;
    }
    device->binding_count++;
    return binding;
}

// A binding whose device was destroyed with its window reads 0 and unbinds
// as nothing.
void unbind_axis(AxisBinding *binding)
{
    if (!binding || !is_live_device(binding->device, binding->serial))
        return;
    InputDevice *device = binding->device;
    if (device->binding_count > 0 && --device->binding_count == 0)
        device->close(device);
}

int read_axis(AxisBinding *binding)
{
    if (!binding || !is_live_device(binding->device, binding->serial))
        return 0;
    return binding->device->read_axis(binding->device, binding->axis);
}

// ---- axis names ---------------------------------------------------------------------

void add_axis_name(GameWindow *window, const char *name)
{
    const char *stored = store_name(name);
    if (!stored)
        return;
    for (int i = 0; i < window->axis_name_count; i++)
        if (window->axis_names[i] == stored)
            return;
    // Room for the name and the closing null.
    if (window->axis_name_count + 2 > window->axis_name_capacity) {
        int capacity = window->axis_name_capacity ? window->axis_name_capacity * 2 : 16;
        const char **names =
            (const char **)checked_realloc(window->axis_names, capacity * sizeof(const char *));
        if (!names)
            return;
        window->axis_names = names;
        window->axis_name_capacity = capacity;
    }
    window->axis_names[window->axis_name_count++] = stored;
    window->axis_names[window->axis_name_count] = nullptr;
}

const char *const *get_axis_names(GameWindow *window)
{
    static const char *const no_names[] = {nullptr};
    if (!window || !window->axis_names)
        return no_names;
    return window->axis_names;
}

// ---- the cursor device ---------------------------------------------------------------

static int cursor_accept(InputDevice *)
{
    return 1;
}

static void cursor_nothing(InputDevice *)
{
}

// The pointer in the window's drawable pixels, x from the left, y from the top.
static int cursor_read_axis(InputDevice *device, int axis)
{
    SDL_Window *sdl_window = device->window->sdl_window;
    if (!sdl_window)
        return 0;
    int global_x, global_y, window_x, window_y, width, height, pixel_width, pixel_height;
    SDL_GetGlobalMouseState(&global_x, &global_y);
    SDL_GetWindowPosition(sdl_window, &window_x, &window_y);
    SDL_GetWindowSize(sdl_window, &width, &height);
    SDL_GL_GetDrawableSize(sdl_window, &pixel_width, &pixel_height);
    if (axis == 0)
        return width > 0 ? (int)((int64_t)(global_x - window_x) * pixel_width / width)
                         : global_x - window_x;
    return height > 0 ? (int)((int64_t)(global_y - window_y) * pixel_height / height)
                      : global_y - window_y;
}

static void cursor_destroy(InputDevice *device)
{
    forget_live_device(device);
    checked_free(device);
}

int cursor_device_add(GameWindow *window)
{
    InputDevice *device = (InputDevice *)checked_calloc(1, sizeof(InputDevice));
    if (!device)
        return 0;
    strcpy(device->name_text, "cursor");
    device->name = device->name_text;
    device->axis_count = 2;
    device->enable_buttons = cursor_accept;
    device->open = cursor_accept;
    device->close = cursor_nothing;
    device->poll = cursor_nothing;
    device->read_axis = cursor_read_axis;
    device->destroy = cursor_destroy;
    device->id = make_device_id(window, device->name);
    register_live_device(device);
    add_input_device(window, device);
    voke_alias_add("cursor-x", "cursor.axis[0]");
    voke_alias_add("cursor-y", "cursor.axis[1]");
    return 1;
}
