// The game window record and its input event queue.
#pragma once

#include "platform/event_ring.h"
#include "platform/mutex.h"
#include "platform/time.h"

// The one game window. A plain record, allocated zeroed; the window layer
// adds its fields (handles, GL context, frame mutex, devices) below.
struct GameWindow {
    EventRing events;    // guarded by event_mutex for every push and pop
    Mutex event_mutex;
    // Window fields follow.
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
