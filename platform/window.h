// The game window record and its input event queue.
#pragma once

#include "platform/event_ring.h"
#include "platform/mutex.h"
#include "platform/time.h"

#include <cstdint>

struct InputDevice;
struct SDL_Window;

// What begin_frame hands out: a reserved word and the drawable's size.
struct FrameSize {
    int reserved;   // always 0
    int width;
    int height;
};

// Window flags.
enum {
    WINDOW_RESIZABLE = 1,
    WINDOW_THREADED = 2,          // the option was asked for (never used)
    WINDOW_FULL_SCREEN_ACTIVE = 4,
    WINDOW_OPENED = 8,
};

// Display switches waiting for the pump.
enum {
    DISPLAY_REQUEST_NONE,
    DISPLAY_REQUEST_FULL_SCREEN,
    DISPLAY_REQUEST_WINDOWED,
};

// The one game window. A plain record, allocated zeroed with room for a copy
// of its title after it.
struct GameWindow {
    EventRing events;    // guarded by event_mutex for every push and pop
    Mutex event_mutex;

    SDL_Window *sdl_window;
    uint32_t sdl_window_id;
    void *gl_context;              // null: the window draws nothing
    FrameSize frame_size;
    int requested_width;           // desktop size when opened with 0; follows resizes
    int requested_height;
    int colour_bits;
    int full_screen_width;         // the mode chosen for full screen
    int full_screen_height;
    const char *title;
    unsigned long creating_thread;
    unsigned long window_thread;
    Mutex frame_mutex;             // held from begin_frame to end_frame
    InputDevice *devices;
    const char **axis_names;       // null-terminated, from the name store
    int axis_name_count;
    int axis_name_capacity;
    int option_bits;               // the options at open (WINDOW_OPTION_*)
    int closed;
    int moving;                    // set while the display is being switched
    int flags;                     // WINDOW_* above
    int minimised;                 // tracked from the window's events
    int hidden;
    int joystick_subsystem;        // the window started SDL's joysticks
    int display_request;           // DISPLAY_REQUEST_*, under event_mutex
    int display_request_width;
    int display_request_height;
};

// Options read when the first window opens.
enum {
    WINDOW_OPTION_FULL_SCREEN = 1,
    WINDOW_OPTION_THREADED = 2,
};

// Set up and tear down the event ring and its mutex of a window record.
void init_window_events(GameWindow *window);
void free_window_events(GameWindow *window);

// Filled by the window layer: dispatch the calling thread's pending window
// messages (or only yield with a message thread), and poll the window's input
// devices so they push their buffered events. Null: nothing to do.
extern void (*pump_window_messages_hook)(GameWindow *window);
extern void (*poll_input_devices_hook)(GameWindow *window);

// Adds an event under the event mutex; a full ring drops it silently.
void push_event(GameWindow *window, int code, int pressed, int seconds, int microseconds);
void push_event_now(GameWindow *window, int code, int pressed);

// 1 and the oldest event, or 0 when none waits even after pumping messages
// and polling devices. Outputs may be null.
int next_event(GameWindow *window, int *code, int *pressed);
int next_event_timed(GameWindow *window, int *code, int *pressed, int *seconds,
                     int *microseconds);
// 1 and the oldest event if it is stamped no later than the given time, else
// 0 and the ring is left as it was.
int next_event_before(GameWindow *window, int *code, int *pressed, int seconds,
                      int microseconds);
int next_event_before(GameWindow *window, TimeValue limit, int *code, int *pressed,
                      int *seconds, int *microseconds);

void pump_window_messages(GameWindow *window);
// Puts a close into the system's event queue, as the desktop sends it: a
// close of the window (quit 0) or a quit of the whole program (quit 1). It
// arrives at the next pump. 1 when queued.
int post_window_close(GameWindow *window, int quit);

// ---- the window and its OpenGL context -------------------------------------------

// Flags: the low byte holds the colour bits (32 is asked for as 24), 0x100 a
// window of fixed size, 0x200 full screen. A size of 0 x 0 takes the desktop's.
// Null, after logging why, on failure; the context is current on the caller.
GameWindow *open_gl_window(const char *title, int width, int height, int flags, int alpha_bits,
                           int depth_bits, int stencil_bits, int accumulation_bits);
// Deletes the context, closes the window and frees it. Null is allowed.
void close_gl_window(GameWindow *window);
// The window without its OpenGL part.
GameWindow *voke_window_open(const char *title, int width, int height, int flags);
void voke_window_close(GameWindow *window);

// The frame size with the frame mutex held, or null (mutex not held) when the
// window is minimised, hidden, closing, being switched or has no context.
// Brackets may nest; an end_frame without a begin_frame is harmless.
FrameSize *begin_frame(GameWindow *window);
// Swaps the buffers and releases the frame mutex: 1, or 0 without a context.
int end_frame(GameWindow *window);

// The pacing of the current context's buffer swaps: with wait set,
// adaptive sync when the driver has it, else sync to the display; without
// it, no waiting. 1 when the driver took the request.
int set_swap_interval(int wait);

// The SDL window, for code that needs the system's handle.
SDL_Window *get_window_handle(GameWindow *window);
// An OpenGL entry point of the current context, or null.
void *get_gl_proc_address(const char *name);
// 1 when an OpenGL context is current on the calling thread.
int gl_context_is_current(void);
// The size in pixels of the current context's drawable: 1, or 0 (sizes 0)
// without a current context.
int get_current_drawable_size(int *width, int *height);

// Starts SDL's video subsystem and loads the OpenGL library, once per process;
// both stay until the process ends. 0 when there is no display.
int start_video(void);
