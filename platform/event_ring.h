// The fixed ring of time-stamped input events, kept in stamp order.
#pragma once

#include <cstdint>

enum { EVENT_RING_SIZE = 256 };
// Bit 31 of a stored code marks a release; codes themselves have 31 bits.
#define EVENT_RELEASE_BIT 0x80000000u

// Event codes.
enum {
    EVENT_KEY_BASE = 0x1000,       // + 9-bit scan code (0x100 = extended key)
    EVENT_MOUSE_LEFT = 0x2000,
    EVENT_MOUSE_MIDDLE = 0x2001,
    EVENT_MOUSE_RIGHT = 0x2002,
    EVENT_CLOSE = 0xdead,
};

struct InputEvent {
    int code;
    int pressed;
    int seconds;
    int microseconds;
};

struct EventRing {
    int head;    // oldest entry, 0..255
    int count;   // 0..256
    uint32_t codes[EVENT_RING_SIZE];
    int32_t seconds[EVENT_RING_SIZE];
    int32_t microseconds[EVENT_RING_SIZE];
};

void clear_event_ring(EventRing *ring);
// Inserts by stamp (equal stamps keep arrival order); 0 when the ring is full
// and the event was dropped.
int push_ring_event(EventRing *ring, int code, int pressed, int seconds, int microseconds);
// 1 and the oldest event, or 0 when empty. Outputs may be null.
int pop_ring_event(EventRing *ring, int *code, int *pressed, int *seconds, int *microseconds);
// As pop_ring_event, but 0 (nothing removed) when the oldest event is stamped
// later than the given time.
int pop_ring_event_before(EventRing *ring, int *code, int *pressed, int *seconds,
                          int *microseconds, int limit_seconds, int limit_microseconds);
