// The input event ring: time-ordered insertion, pop, and pop up to a time.
#include "platform/event_ring.h"

#include "platform/time.h"

void clear_event_ring(EventRing *ring)
{
    ring->head = 0;
    ring->count = 0;
}

static int is_earlier(const EventRing *ring, int a, int b)
{
    return compare_times(ring->seconds[a], ring->microseconds[a], ring->seconds[b],
                         ring->microseconds[b]) < 0;
}

int push_ring_event(EventRing *ring, int code, int pressed, int seconds, int microseconds)
{
    if (ring->count >= EVENT_RING_SIZE)
        return 0;
    int at = (ring->head + ring->count) % EVENT_RING_SIZE;
    ring->codes[at] = ((uint32_t)code & ~EVENT_RELEASE_BIT) | (pressed ? 0u : EVENT_RELEASE_BIT);
    ring->seconds[at] = seconds;
    ring->microseconds[at] = microseconds;
    ring->count++;

    // Move the new entry back past every later-stamped one.
    while (at != ring->head) {
        int before = (at + EVENT_RING_SIZE - 1) % EVENT_RING_SIZE;
        if (!is_earlier(ring, at, before))
            break;
        uint32_t code_swap = ring->codes[at];
        int32_t seconds_swap = ring->seconds[at];
        int32_t microseconds_swap = ring->microseconds[at];
        ring->codes[at] = ring->codes[before];
        ring->seconds[at] = ring->seconds[before];
        ring->microseconds[at] = ring->microseconds[before];
        ring->codes[before] = code_swap;
        ring->seconds[before] = seconds_swap;
        ring->microseconds[before] = microseconds_swap;
        at = before;
    }
    return 1;
}

int pop_ring_event(EventRing *ring, int *code, int *pressed, int *seconds, int *microseconds)
{
    if (ring->count <= 0)
        return 0;
    int at = ring->head;
    uint32_t stored = ring->codes[at];
    if (code)
        *code = (int)(stored & ~EVENT_RELEASE_BIT);
    if (pressed)
        *pressed = (stored & EVENT_RELEASE_BIT) ? 0 : 1;
    if (seconds)
        *seconds = ring->seconds[at];
    if (microseconds)
        *microseconds = ring->microseconds[at];
    ring->head = (at + 1) % EVENT_RING_SIZE;
    ring->count--;
    return 1;
}

int pop_ring_event_before(EventRing *ring, int *code, int *pressed, int *seconds,
                          int *microseconds, int limit_seconds, int limit_microseconds)
{
    if (ring->count <= 0)
        return 0;
    int at = ring->head;
    if (compare_times(ring->seconds[at], ring->microseconds[at], limit_seconds,
                      limit_microseconds) > 0)
        return 0;
    return pop_ring_event(ring, code, pressed, seconds, microseconds);
}
