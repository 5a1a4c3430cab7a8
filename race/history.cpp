// The state history: per rider slot a ring of packed states kept in tic
// order, the search for the pair of entries around a tic, and the blend of
// two packed states field by field.
#include "race/history.h"

#include <cmath>
#include <cstring>

#include "core/message.h"
#include "race/demo.h"

StateHistory state_history[BIKE_SLOT_COUNT];

static int ring_prev(int index)
{
    return (index + HISTORY_LENGTH - 1) % HISTORY_LENGTH;
}

static int ring_next(int index)
{
    return (index + 1) % HISTORY_LENGTH;
}

void clear_state_history(void)
{
    for (StateHistory &history : state_history) {
        for (int i = 0; i < HISTORY_LENGTH; i++)
            history.ticks[i] = HISTORY_EMPTY;
        memset(history.states, 0, sizeof history.states);
        history.head = 0;
        history.unwritten = 0;
    }
}

// A tic below 0 cannot be stored: -1 marks an empty entry and the walk
// relies on empty entries being older than every stored one.
void add_state_to_history(int slot, const uint8_t *state, int tic)
{
    if (slot < 0 || slot >= BIKE_SLOT_COUNT) {
        print_message("add_state_to_history: slot out of range");
        return;
    }
    if (!state || tic < 0)
        return;
    StateHistory *h = &state_history[slot];
    int index = h->head;
    int steps = 0;
    while (steps < HISTORY_LENGTH && h->ticks[index] > tic) {
        index = ring_prev(index);
        steps++;
    }
    if (steps == HISTORY_LENGTH || h->ticks[index] == tic)
        return;   // older than a full ring of newer states, or already held

    // The newer entries move one place up with their tics; the place after
    // the head is the oldest entry (or empty) and drops out.
    int place = h->head;
    for (int k = 0; k < steps; k++) {
        int to = ring_next(place);
        h->ticks[to] = h->ticks[place];
        memcpy(h->states[to], h->states[place], PACKED_STATE_SIZE);
        place = ring_prev(place);
    }
    int target = ring_next(index);
    h->ticks[target] = tic;
    memcpy(h->states[target], state, PACKED_STATE_SIZE);
    h->head = ring_next(h->head);
    if (h->unwritten < HISTORY_LENGTH)
        h->unwritten++;
}

int find_history_pair(int slot, int target_tic, int *older, int *newer)
{
    if (slot < 0 || slot >= BIKE_SLOT_COUNT)
        return 0;
    const StateHistory *h = &state_history[slot];
    int head = h->head;
    if (h->ticks[head] == HISTORY_EMPTY)
        return 0;
    if (h->ticks[head] < target_tic) {
        int before = ring_prev(head);
        *newer = head;
        *older = h->ticks[before] == HISTORY_EMPTY ? head : before;
        return 1;
    }
    int index = head;
    for (int step = 1; step < HISTORY_LENGTH; step++) {
        int before = ring_prev(index);
        if (h->ticks[before] == HISTORY_EMPTY)
            break;
        if (h->ticks[before] < target_tic) {
            *older = before;
            *newer = index;
            return 1;
        }
        index = before;
    }
    // Nothing below the target: the oldest entry at or after it.
    *older = index;
    *newer = index == head ? index : ring_next(index);
    return 1;
}

static uint32_t get_field(const uint8_t *p, int n)
{
    uint32_t value = 0;
    for (int i = n - 1; i >= 0; i--)
        value = value << 8 | p[i];
    return value;
}

static void put_field(uint8_t *p, int n, uint32_t value)
{
    for (int i = 0; i < n; i++)
        p[i] = (uint8_t)(value >> (8 * i));
}

static double field_scale(int n)
{
    return (double)((1ull << (8 * n)) - 1);
}

static double clamp01(double x)
{
    return x > 1.0 ? 1.0 : x >= 0.0 ? x : 0.0;   // NaN gives 0
}

static void store_fraction(uint8_t *out, int n, double x)
{
    put_field(out, n, (uint32_t)std::floor(clamp01(x) * field_scale(n) + 0.5));
}

static void blend_fraction(uint8_t *out, const uint8_t *from, const uint8_t *to, int n, double t)
{
    double scale = field_scale(n);
    double a = get_field(from, n) / scale, b = get_field(to, n) / scale;
    store_fraction(out, n, a + t * (b - a));
}

static void blend_quaternion(uint8_t *out, const uint8_t *from, const uint8_t *to, double t)
{
    double a[4], b[4], q[4];
    double dot = 0.0;
    for (int i = 0; i < 4; i++) {
        a[i] = get_field(from + 2 * i, 2) / 65535.0 * 2.0 - 1.0;
        b[i] = get_field(to + 2 * i, 2) / 65535.0 * 2.0 - 1.0;
        dot += a[i] * b[i];
    }
    if (dot < 0.0)
        for (double &part : a)
            part = -part;
    double length = 0.0;
    for (int i = 0; i < 4; i++) {
        q[i] = a[i] + t * (b[i] - a[i]);
        length += q[i] * q[i];
    }
    length = std::sqrt(length);
    if (!(length > 1e-12)) {   // no direction to keep: the from orientation stays
        memcpy(out, from, 8);
        return;
    }
    for (int i = 0; i < 4; i++)
        store_fraction(out + 2 * i, 2, (q[i] / length + 1.0) / 2.0);
}

// A step back of more than an eighth of a turn counts as a forward turn
// through the wrap.
static void blend_turn(uint8_t *out, uint8_t from, uint8_t to, double t)
{
    double a = from / 255.0, b = to / 255.0;
    if (b < a - 0.125)
        a -= 1.0;
    else if (b > a + 0.875)
        b -= 1.0;
    double x = a + t * (b - a);
    if (x < 0.0)
        x += 1.0;
    *out = (uint8_t)std::floor(clamp01(x) * 255.0 + 0.5);
}

// Positions blend with t as given (extrapolated past 1, held to the
// encoding's range); every later field with t at most 1.
void interpolate_state(uint8_t *out, const uint8_t *from, const uint8_t *to, float t)
{
    if (t == 0.0f || !(t > 0.0f) || (demo_play_file && demo_version == 4)) {
        memcpy(out, from, PACKED_STATE_SIZE);
        return;
    }
    double position_t = t < 1e6f ? (double)t : 1e6;
    double field_t = position_t < 1.0 ? position_t : 1.0;
    uint8_t result[PACKED_STATE_SIZE];
    for (int i = 0; i < 3; i++)
        blend_fraction(result + 3 * i, from + 3 * i, to + 3 * i, 3, position_t);
    blend_quaternion(result + 9, from + 9, to + 9, field_t);
    for (int i = 17; i <= 19; i++)
        blend_fraction(result + i, from + i, to + i, 1, field_t);
    for (int i = 20; i <= 24; i += 2)
        blend_fraction(result + i, from + i, to + i, 2, field_t);
    blend_quaternion(result + 26, from + 26, to + 26, field_t);
    blend_turn(result + 34, from[34], to[34], field_t);
    blend_turn(result + 35, from[35], to[35], field_t);
    result[36] = from[36];
    blend_fraction(result + 37, from + 37, to + 37, 2, field_t);
    result[18] &= 0xfe;
    memcpy(out, result, PACKED_STATE_SIZE);
}
