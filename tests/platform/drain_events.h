// Takes every waiting event of a window (pumping SDL on the way) for tests.
#pragma once

#include "platform/window.h"

#include <vector>

struct TakenEvent {
    int code, pressed, seconds, microseconds;
};

inline std::vector<TakenEvent> drain(GameWindow *window)
{
    std::vector<TakenEvent> events;
    TakenEvent e;
    while (next_event_timed(window, &e.code, &e.pressed, &e.seconds, &e.microseconds))
        events.push_back(e);
    return events;
}
