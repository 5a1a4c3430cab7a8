// Pushing and taking input events of a window under its event mutex.
#include "platform/window.h"

void (*pump_window_messages_hook)(GameWindow *window);
void (*poll_input_devices_hook)(GameWindow *window);

void init_window_events(GameWindow *window)
{
    clear_event_ring(&window->events);
    init_mutex(&window->event_mutex);
}

void free_window_events(GameWindow *window)
{
    destroy_mutex(&window->event_mutex);
}

void push_event(GameWindow *window, int code, int pressed, int seconds, int microseconds)
{
    lock_mutex(&window->event_mutex);
    push_ring_event(&window->events, code, pressed, seconds, microseconds);
    unlock_mutex(&window->event_mutex);
}

void push_event_now(GameWindow *window, int code, int pressed)
{
    int seconds, microseconds;
    get_time(&seconds, &microseconds);
    push_event(window, code, pressed, seconds, microseconds);
}

void pump_window_messages(GameWindow *window)
{
    if (pump_window_messages_hook)
        pump_window_messages_hook(window);
}

// One pop under the mutex; limited when has_limit is set.
static int take_event(GameWindow *window, int *code, int *pressed, int *seconds,
                      int *microseconds, int has_limit, int limit_seconds,
                      int limit_microseconds)
{
    lock_mutex(&window->event_mutex);
    int found = has_limit
        ? pop_ring_event_before(&window->events, code, pressed, seconds, microseconds,
                                limit_seconds, limit_microseconds)
        : pop_ring_event(&window->events, code, pressed, seconds, microseconds);
    unlock_mutex(&window->event_mutex);
    return found;
}

// Pump, try; poll the devices, try once more.
static int next_event_of(GameWindow *window, int *code, int *pressed, int *seconds,
                         int *microseconds, int has_limit, int limit_seconds,
                         int limit_microseconds)
{
    pump_window_messages(window);
    if (take_event(window, code, pressed, seconds, microseconds, has_limit, limit_seconds,
                   limit_microseconds))
        return 1;
    if (poll_input_devices_hook)
        poll_input_devices_hook(window);
    return take_event(window, code, pressed, seconds, microseconds, has_limit, limit_seconds,
                      limit_microseconds);
}

int next_event(GameWindow *window, int *code, int *pressed)
{
    return next_event_of(window, code, pressed, nullptr, nullptr, 0, 0, 0);
}

int next_event_timed(GameWindow *window, int *code, int *pressed, int *seconds,
                     int *microseconds)
{
    return next_event_of(window, code, pressed, seconds, microseconds, 0, 0, 0);
}

int next_event_before(GameWindow *window, int *code, int *pressed, int seconds,
                      int microseconds)
{
    return next_event_of(window, code, pressed, nullptr, nullptr, 1, seconds, microseconds);
}

int next_event_before(GameWindow *window, TimeValue limit, int *code, int *pressed,
                      int *seconds, int *microseconds)
{
    return next_event_of(window, code, pressed, seconds, microseconds, 1, limit.seconds,
                         limit.microseconds);
}
