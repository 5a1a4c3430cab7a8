// Input devices of the game window (the cursor, joysticks and, on request,
// the relative mouse), their ids and names, and axis bindings.
#pragma once

#include <cstdint>

struct GameWindow;
struct _SDL_Joystick;
union SDL_Event;

enum {
    DEVICE_NAME_SIZE = 64,        // names fit "%63s" of the name parsers
    DEVICE_MAX_AXES = 100,
    DEVICE_MAX_BUTTONS = 256,     // the low byte of an event code
    DEVICE_BUFFER_SIZE = 25,      // buffered button changes between polls
    DEVICE_ID_STEP = 0x10000,
    DEVICE_AXIS_LIMIT = 32767,
};

// Device flags.
enum {
    DEVICE_NEEDS_POLL = 1,
    DEVICE_RELATIVE_AXES = 2,
};

// One buffered button change: button index, new state byte and its stamp in
// milliseconds of the game clock.
struct DeviceButtonEntry {
    int button;
    int value;
    int64_t milliseconds;
};

struct InputDevice {
    InputDevice *next;
    GameWindow *window;
    const char *name;
    int id;                   // a multiple of 0x10000, unique in the window
    int binding_count;
    int buttons_enabled;
    int button_count;
    int axis_count;

    int (*enable_buttons)(InputDevice *device);   // result: the buttons-enabled flag
    int (*open)(InputDevice *device);             // first axis binding; 0 = failure
    void (*close)(InputDevice *device);           // last axis binding gone
    int (*read_axis)(InputDevice *device, int axis);
    void (*poll)(InputDevice *device);            // push buffered button events
    void (*destroy)(InputDevice *device);

    // Every live device is also on one process-wide chain, so a binding that
    // outlives its window is recognised.
    InputDevice *next_live;
    uint64_t serial;

    // Joystick and mouse devices.
    _SDL_Joystick *joystick;
    int32_t joystick_instance;
    int acquired;                                  // buffering button changes
    int32_t axis_values[DEVICE_MAX_AXES];
    unsigned char button_bytes[DEVICE_MAX_BUTTONS]; // last known states
    DeviceButtonEntry buffer[DEVICE_BUFFER_SIZE];
    int buffer_count;
    int64_t stamp_adjustment;                      // milliseconds, starts at 0
    int flags;
    char name_text[DEVICE_NAME_SIZE];
};

struct AxisBinding {
    InputDevice *device;
    int axis;
    uint64_t serial;   // the device's serial when bound
};

// Device list of a window.
void add_input_device(GameWindow *window, InputDevice *device);
void poll_input_devices(GameWindow *window);
void close_input_devices(GameWindow *window);
InputDevice *find_device_by_id(GameWindow *window, int id);
InputDevice *find_device_by_name(GameWindow *window, const char *name);
// Gives a new device its serial; destroy operations call forget_live_device.
void register_live_device(InputDevice *device);
void forget_live_device(InputDevice *device);

// The id of a name: the sums of its characters at even and odd positions
// (signed bytes), ((even + 256 * odd) & 0x7FFF) << 16.
int device_name_hash(const char *name);
// A free id for the name in the window, or 0 when none is left.
int make_device_id(GameWindow *window, const char *name);

// The device name of an instance name: blanks and '.' removed, then "#2",
// "#3" ... appended while name_taken says the name is in use; the name is cut
// so that it and its suffix fit 63 bytes, and checked after the cut.
void make_device_name(const char *instance_name, int (*name_taken)(const char *name, void *context),
                      void *context, char out[DEVICE_NAME_SIZE]);

// Bindings (see the names in platform/key_names.h).
AxisBinding *bind_axis(GameWindow *window, const char *name);
void unbind_axis(AxisBinding *binding);   // the owner frees the record
int read_axis(AxisBinding *binding);

// The axis-name list collected at window open.
void add_axis_name(GameWindow *window, const char *name);
const char *const *get_axis_names(GameWindow *window);

// Stamps a buffered button change, keeping device stamps out of the future:
// t = entry time - adjustment; later than now moves the adjustment so t = now.
int64_t adjust_device_stamp(InputDevice *device, int64_t entry_milliseconds,
                            int64_t now_milliseconds);

// Devices made at window open.
int cursor_device_add(GameWindow *window);
void dinput_roll_call(GameWindow *window);

// The window's pump hands mouse and joystick events to the devices, stamped
// in milliseconds of the game clock.
void route_device_event(GameWindow *window, const SDL_Event *event, int64_t milliseconds);
