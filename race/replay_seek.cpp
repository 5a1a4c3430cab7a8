// The replay seek: a demo being watched jumps a second back or forth, by
// running the race forward or by walking the chunk chain back to a chunk
// before the target and playing on from there.
#include "race/demo.h"

#include <cmath>

#include "app/shell.h"
#include "core/file.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"

int accurate_skip;

enum { SEEK_LOOKBACK = 64 };
// The longest seek taken at once, in seconds either way.
constexpr double SEEK_SECONDS_MAX = 3600.0;
constexpr double SEEK_TIC_MAX = 2147483646.0;

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Only a replay is watched: every bike is placed from the demo.
static int is_watching_replay(void)
{
    if (!demo_play_file || demo_record_file)
        return 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot] && rider_kind[slot] != RIDER_REMOTE)
            return 0;
    return 1;
}

static void fast_forward(double target)
{
    int saved = roost_frequency;
    roost_frequency = 0;
    while ((double)current_tic < target && demo_play_file) {
        int before = current_tic;
        race_tic();
        if (current_tic <= before)
            break;
    }
    roost_frequency = saved;
}

// Walks the chunk chain back from the next unread chunk until a chunk at or
// before the limit tic, or the first chunk. Each step goes strictly back
// and must land inside the chunks, on a chunk no later than the one after
// it; a chain that breaks these restarts from the first chunk.
static void walk_chunks_back(int64_t limit, int64_t *position, uint32_t *link)
{
    int64_t pos = demo_read_position;
    uint32_t length = demo_prev_chunk_length;
    int64_t later_tic = INT64_MAX;
    int damaged = 0;
    while (pos > demo_chunks_start) {
        int64_t at = pos - (int64_t)length - 9;
        if (at < demo_chunks_start || length > DEMO_VALUE_MAX) {
            damaged = 1;
            break;
        }
        uint8_t head[8];
        if (at > INT32_MAX || !file_seek(demo_play_file, (int)at) ||
            file_read(demo_play_file, head, 8) != 8)
            break;
        int32_t tic = (int32_t)get32(head + 4);
        int64_t shown = (int64_t)tic + demo_tic_offset;
        if (tic < 0 || tic > DEMO_VALUE_MAX || shown > later_tic) {
            damaged = 1;
            break;
        }
        pos = at;
        length = get32(head) ^ length;
        later_tic = shown;
        if (pos == demo_chunks_start) {
            damaged = length != 0;   // nothing comes before the first chunk
            break;
        }
        if (shown <= limit)
            break;
    }
    if (damaged) {
        pos = demo_chunks_start;
        length = 0;
    }
    *position = pos;
    *link = length;
}

// Passed gates whose time is after the tic (or unknown) are dropped, and
// the running order is worked out again.
static void drop_gates_after(int tic)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        int gates = bike->gates_passed;
        while (gates > 0) {
            int time = get_gate_time(bike, gates - 1);
            if (time >= 0 && time <= tic)
                break;
            gates--;
        }
        if (gates != bike->gates_passed)
            set_gates_passed(bike, gates);
    }
    results_written = 0;
    write_results();
}

void seek_replay(float seconds)
{
    if (!is_watching_replay() || !std::isfinite(seconds))
        return;
    double s = seconds > SEEK_SECONDS_MAX ? SEEK_SECONDS_MAX
             : seconds < -SEEK_SECONDS_MAX ? -SEEK_SECONDS_MAX : (double)seconds;
    if ((demo_version == 6 || accurate_skip) && s > 0.0) {
        double target = std::trunc((double)current_tic + (double)TIC_RATE * s);
        fast_forward(target < SEEK_TIC_MAX ? target : SEEK_TIC_MAX);
        return;
    }

    double wanted = (double)current_tic + (double)TIC_RATE * s - 1.0;
    int c = wanted <= 0.0 ? 0 : wanted >= SEEK_TIC_MAX ? (int)SEEK_TIC_MAX : (int)wanted;
    if (demo_version == 6) {
        int64_t limit = c - SEEK_LOOKBACK > 0 ? c - SEEK_LOOKBACK : 0;
        int64_t position;
        uint32_t link;
        walk_chunks_back(limit, &position, &link);
        if (!move_demo_playback(position, link, c))
            return;
    } else {
        int64_t base = demo_base_tic > 0 ? demo_base_tic : 0;
        int64_t records = c > base ? c - base : 0;
        int64_t position = demo_chunks_start +
                           records * demo_rider_count * demo_state_size(demo_version);
        if (!move_demo_playback(position, 0, base + records))
            return;
    }
    if (c < current_tic)
        drop_gates_after(c);
    current_tic = c;
    clear_state_history();
    play_demo_chunks();
    race_tic();
}
