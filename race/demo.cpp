// Demo recording: the rolling backups of the default demo, the text header
// of the recorded riders, the state chunks written every 16 tics from the
// state history, the user's name for a finished recording, and the copy of
// a game file through a temporary file.
#include "race/demo.h"

#include <cstdio>
#include <cstring>

#include "bike/bike_getters.h"
#include "bike/packed_state.h"
#include "core/alloc.h"
#include "core/file.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/track.h"

GameFile *demo_record_file;
uint32_t demo_record_prev_length;
char demo_name[256];
int demo_backups;

enum { DEMO_BACKUPS_MAX = 100, COPY_BLOCK = 1024 };

// The slots of the recording's header in header order: a chunk entry's
// rider index is its position here.
static int record_slots[BIKE_SLOT_COUNT];
static int record_slot_count;

int is_recorded_slot(int slot)
{
    if (slot < 0 || slot >= BIKE_SLOT_COUNT || !bike_slots[slot])
        return 0;
    int kind = rider_kind[slot];
    if (net_socket == -1)
        return kind == RIDER_LOCAL || kind == RIDER_ROBOT;
    if (local_gate_position == NO_SLOT)
        return kind == RIDER_REMOTE || kind == RIDER_ROBOT;
    return 1;
}

static void put32(uint8_t *p, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(value >> (8 * i));
}

// A header string with the characters that would break its line replaced:
// names and skins of online riders come off the network.
static void write_header_string(GameFile *file, const char *text)
{
    if (!text)
        return;
    for (const char *c = text; *c; c++)
        file_putc(file, *c == '|' || *c == '\r' || *c == '\n' ? '_' : (unsigned char)*c);
}

static void rotate_demo_backups(void)
{
    int n = demo_backups < 0 ? 0 : demo_backups > DEMO_BACKUPS_MAX ? DEMO_BACKUPS_MAX : demo_backups;
    char from[64], to[64];
    for (int i = n - 2; i >= 0; i--) {
        snprintf(from, sizeof from, "@demos/default%02d.kzdemo", i);
        snprintf(to, sizeof to, "@demos/default%02d.kzdemo", i + 1);
        rename_game_file(from, to);
    }
    if (n > 0)
        rename_game_file("@demos/default.kzdemo", "@demos/default00.kzdemo");
}

static void write_demo_header(GameFile *file)
{
    record_slot_count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (is_recorded_slot(slot))
            record_slots[record_slot_count++] = slot;
    file_printf(file, "KZ06 %d %d %d %d\n", record_slot_count, race_settings.length_tics,
                race_settings.laps, race_settings.start_tic);
    write_header_string(file, current_track.folder);
    file_putc(file, '\n');
    for (int i = 0; i < record_slot_count; i++) {
        int slot = record_slots[i];
        const BikeState *bike = bike_slots[slot];
        const char *parts[5] = {get_bike_model_name(bike), get_rider_texture_name(bike),
                                get_bike_texture_name(bike), get_wheel_texture_name(bike),
                                get_head_texture_name(bike)};
        if (net_socket != -1) {
            // Online the skins are what the server told of the rider.
            const NetRiderInfo *info = &net_rider_info[slot];
            parts[1] = info->rider_texture;
            parts[2] = info->bike_texture;
            parts[3] = info->wheel_texture;
            parts[4] = info->helmet_texture;
        }
        for (int k = 0; k < 5; k++) {
            if (k > 0)
                file_putc(file, '|');
            write_header_string(file, parts[k]);
        }
        file_putc(file, '\n');
        write_header_string(file, get_rider_number_text(bike));
        file_putc(file, '\n');
        char name[RIDER_NAME_LENGTH + 1];
        memcpy(name, rider_names[slot], RIDER_NAME_LENGTH);
        name[RIDER_NAME_LENGTH] = '\0';
        write_header_string(file, name);
        file_puts(file, "\n\n");
    }
}

void start_demo_recording(void)
{
    if (demo_record_file)
        stop_demo_recording();
    if (!time_trial_mode) {
        rotate_demo_backups();
        demo_record_file = file_open("@demos/default.kzdemo", "wb");
    } else {
        if (!current_track.folder || !current_track.folder[0])
            return;
        char *path = track_file_path("/lastlap.kzdemo");
        demo_record_file = file_open(path, "wb");
        checked_free(path);
    }
    if (!demo_record_file)
        return;
    write_demo_header(demo_record_file);
    demo_record_prev_length = 0;
}

// One slot's unwritten entries, oldest first, each as rider index, tic and
// packed state.
static void write_slot_entries(GameFile *file, int rider_index, StateHistory *h)
{
    static uint8_t block[(int)HISTORY_LENGTH * (int)DEMO_ENTRY_SIZE];
    int n = h->unwritten;
    uint8_t *out = block;
    for (int k = n - 1; k >= 0; k--) {
        int index = (h->head - k + HISTORY_LENGTH) % HISTORY_LENGTH;
        out[0] = (uint8_t)rider_index;
        put32(out + 1, (uint32_t)h->ticks[index]);
        memcpy(out + 5, h->states[index], PACKED_STATE_SIZE);
        out += DEMO_ENTRY_SIZE;
    }
    file_write(file, block, (int)(out - block));
    h->unwritten = 0;
}

int record_demo_states(int force)
{
    if (!demo_record_file)
        return 0;
    if (!force && current_tic % 4 != 0)
        return 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        if (!bike_slots[slot] || (rider_kind[slot] != RIDER_LOCAL && rider_kind[slot] != RIDER_ROBOT))
            continue;
        uint8_t state[PACKED_STATE_SIZE];
        pack_rider_state(bike_slots[slot], state);
        add_state_to_history(slot, state, current_tic);
    }
    if (!force && current_tic % 16 != 0)
        return 0;
    // Riders count over the header's list: a slot emptied since the header
    // was written keeps the others' indices.
    uint32_t entries = 0;
    for (int i = 0; i < record_slot_count; i++)
        if (is_recorded_slot(record_slots[i]))
            entries += (uint32_t)state_history[record_slots[i]].unwritten;
    if (entries == 0)
        return 0;
    uint32_t length = entries * DEMO_ENTRY_SIZE;
    uint8_t head[9];
    put32(head, length ^ demo_record_prev_length);
    put32(head + 4, (uint32_t)current_tic);
    head[8] = 1;
    file_write(demo_record_file, head, 9);
    demo_record_prev_length = length;
    for (int i = 0; i < record_slot_count; i++)
        if (is_recorded_slot(record_slots[i]))
            write_slot_entries(demo_record_file, i, &state_history[record_slots[i]]);
    file_flush(demo_record_file);
    return 1;
}

int write_demo_chunk(int type, const void *payload, int length)
{
    if (!demo_record_file || length < 0 || !payload)
        return 0;
    uint8_t head[9];
    put32(head, (uint32_t)length ^ demo_record_prev_length);
    put32(head + 4, (uint32_t)current_tic);
    head[8] = (uint8_t)type;
    file_write(demo_record_file, head, 9);
    file_write(demo_record_file, payload, length);
    demo_record_prev_length = (uint32_t)length;
    file_flush(demo_record_file);
    return 1;
}

// A name that stays inside "@demos/": no folder part, nothing that a path
// would read as a folder of its own.
static int is_plain_file_name(const char *name)
{
    if (!name[0] || !strcmp(name, ".") || !strcmp(name, ".."))
        return 0;
    for (const char *c = name; *c; c++)
        if (*c == '/' || *c == '\\' || (unsigned char)*c < 32 || *c == ':')
            return 0;
    return 1;
}

void stop_demo_recording(void)
{
    if (!demo_record_file)
        return;
    file_close(demo_record_file);
    demo_record_file = nullptr;
    record_slot_count = 0;
    if (demo_name[0]) {
        demo_name[sizeof demo_name - 1] = '\0';
        if (is_plain_file_name(demo_name)) {
            char target[sizeof demo_name + 8];
            snprintf(target, sizeof target, "@demos/%s", demo_name);
            if (!rename_game_file("@demos/default.kzdemo", target))
                log_printf("Can't name the demo '%s'\n", demo_name);
        } else {
            log_printf("Demo name '%s' is not a plain file name\n", demo_name);
        }
        demo_name[0] = '\0';
    }
}

// The real path a game path is written to: '@' names go to the home
// folder, as rename_game_file resolves them. Caller frees; null without a
// home folder.
static char *writable_path(const char *path)
{
    if (path[0] != '@')
        return join_path(path, "");
    const char *home = get_search_folder(0);
    return home ? join_path(home, path + 1) : nullptr;
}

// The copy is written beside the target under a temporary name and renamed
// over it; every step works on the one resolved path.
int copy_game_file(const char *from, const char *to)
{
    if (!from || !to)
        return 0;
    char *target_path = writable_path(to);
    if (!target_path)
        return 0;
    GameFile *source = file_open(from, "rb");
    if (!source) {
        checked_free(target_path);
        return 0;
    }
    char *temporary = join_path(target_path, ".tmp");
    GameFile *target = file_open(temporary, "wb");
    int ok = target != nullptr;
    if (target) {
        char block[COPY_BLOCK];
        for (;;) {
            int got = file_read(source, block, COPY_BLOCK);
            if (got > 0 && file_write(target, block, got) != got)
                ok = 0;
            if (!ok || got < COPY_BLOCK)
                break;
        }
        if (file_close_only(target) != 0)
            ok = 0;
        file_close(target);
    }
    file_close(source);
    if (ok)
        ok = rename_game_file(temporary, target_path);
    if (!ok && target)
        remove(temporary);
    checked_free(temporary);
    checked_free(target_path);
    return ok;
}
