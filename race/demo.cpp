// Demo recording: the rolling backups of the default demo, the text header
// of the recorded riders, the state chunks written every 16 tics from the
// state history, the user's name for a finished recording, and the copy of
// a game file through a temporary file.
#include "race/demo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "bike/bike_getters.h"
#include "bike/packed_state.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/game_file.h"
#include "core/replace_file.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/track.h"

GameFile *demo_record_file;
uint32_t demo_record_prev_length;
static char *demo_record_path;       // real path of the file being recorded
static uint32_t demo_record_whole;   // its bytes up to the end of the last whole chunk
char demo_name[256];
int demo_backups;

enum { DEMO_BACKUPS_MAX = 100, COPY_BLOCK = 1024, DEMO_CHUNK_HEAD = 9 };

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
// names and skins of online riders come off the network. 1 when written.
static int write_header_string(GameFile *file, const char *text)
{
    if (!text)
        return 1;
    for (const char *c = text; *c; c++)
        if (!file_putc(file, *c == '|' || *c == '\r' || *c == '\n' ? '_' : (unsigned char)*c))
            return 0;
    return 1;
}

// Moves a numbered demo up by one; a demo that is not there is no failure.
static void move_demo_backup(const char *from, const char *to)
{
    errno = 0;
    if (!rename_game_file(from, to) && errno != ENOENT)
        log_printf("Can't move the demo '%s' to '%s' (%s)\n", from, to, strerror(errno ? errno : EIO));
}

static void rotate_demo_backups(void)
{
    int n = demo_backups < 0 ? 0 : demo_backups > DEMO_BACKUPS_MAX ? DEMO_BACKUPS_MAX : demo_backups;
    char from[64], to[64];
    for (int i = n - 2; i >= 0; i--) {
        snprintf(from, sizeof from, "@demos/default%02d.kzdemo", i);
        snprintf(to, sizeof to, "@demos/default%02d.kzdemo", i + 1);
        move_demo_backup(from, to);
    }
    if (n > 0)
        move_demo_backup("@demos/default.kzdemo", "@demos/default00.kzdemo");
}

// 1 when every byte of the header went to the stream.
static int write_demo_header(GameFile *file)
{
    record_slot_count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (is_recorded_slot(slot))
            record_slots[record_slot_count++] = slot;
    int ok = file_printf(file, "KZ06 %d %d %d %d\n", record_slot_count, race_settings.length_tics,
                         race_settings.laps, race_settings.start_tic) > 0 &&
             write_header_string(file, current_track.folder) && file_putc(file, '\n');
    for (int i = 0; ok && i < record_slot_count; i++) {
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
        for (int k = 0; ok && k < 5; k++)
            ok = (k == 0 || file_putc(file, '|')) && write_header_string(file, parts[k]);
        char name[RIDER_NAME_LENGTH + 1];
        memcpy(name, rider_names[slot], RIDER_NAME_LENGTH);
        name[RIDER_NAME_LENGTH] = '\0';
        ok = ok && file_putc(file, '\n') && write_header_string(file, get_rider_number_text(bike)) &&
             file_putc(file, '\n') && write_header_string(file, name) && file_puts(file, "\n\n") != EOF;
    }
    return ok;
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

static void forget_record_path(void)
{
    checked_free(demo_record_path);
    demo_record_path = nullptr;
    demo_record_whole = 0;
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

// Gives the finished recording the user's name, if any.
static void name_recording(void)
{
    if (!demo_name[0])
        return;
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

// Ends a recording whose write failed: the file is cut back to its last
// whole chunk (a file without a whole header is removed), so that it plays.
static void end_failed_recording(void)
{
    int error = file_write_error(demo_record_file);
    // The stream has failed already; its close cannot undo that.
    if (file_close(demo_record_file) != 0 && !error)
        error = errno;
    demo_record_file = nullptr;
    record_slot_count = 0;
    const char *path = demo_record_path ? demo_record_path : "(no path)";
    log_printf("Demo recording stopped: writing '%s' failed (%s)\n", path, strerror(error ? error : EIO));
    if (!demo_record_whole) {
        remove(path);
        demo_name[0] = '\0';
    } else {
        if (truncate(path, (off_t)demo_record_whole) != 0)
            log_printf("Can't cut the demo '%s' back to %u bytes (%s)\n", path, demo_record_whole, strerror(errno));
        name_recording();
    }
    forget_record_path();
}

void start_demo_recording(void)
{
    if (demo_record_file)
        stop_demo_recording();
    char *path;
    if (!time_trial_mode) {
        rotate_demo_backups();
        path = writable_path("@demos/default.kzdemo");
    } else {
        if (!current_track.folder || !current_track.folder[0])
            return;
        char *game_path = track_file_path("/lastlap.kzdemo");
        path = writable_path(game_path);
        checked_free(game_path);
    }
    demo_record_file = path ? file_open(path, "wb") : nullptr;
    if (!demo_record_file) {
        checked_free(path);
        return;
    }
    demo_record_path = path;
    demo_record_whole = 0;
    demo_record_prev_length = 0;
    if (!write_demo_header(demo_record_file) || file_flush(demo_record_file) != 0) {
        end_failed_recording();
        return;
    }
    demo_record_whole = (uint32_t)ftello(demo_record_file->stream);
}

// One slot's unwritten entries, oldest first, each as rider index, tic and
// packed state. 1 when written.
static int write_slot_entries(GameFile *file, int rider_index, StateHistory *h)
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
    h->unwritten = 0;
    int length = (int)(out - block);
    return length == 0 || file_write(file, block, length) == length;
}

// Flushes a chunk just written: it counts as whole once it is on the
// disk; a failure ends the recording.
static int finish_chunk(uint32_t length)
{
    if (file_flush(demo_record_file) != 0) {
        end_failed_recording();
        return 0;
    }
    demo_record_whole += DEMO_CHUNK_HEAD + length;
    return 1;
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
    uint8_t head[DEMO_CHUNK_HEAD];
    put32(head, length ^ demo_record_prev_length);
    put32(head + 4, (uint32_t)current_tic);
    head[8] = 1;
    // A failed write stops the writing; the flush reports it.
    int ok = file_write(demo_record_file, head, DEMO_CHUNK_HEAD) == DEMO_CHUNK_HEAD;
    demo_record_prev_length = length;
    for (int i = 0; i < record_slot_count; i++)
        if (is_recorded_slot(record_slots[i]))
            ok = write_slot_entries(demo_record_file, i, &state_history[record_slots[i]]) && ok;
    return finish_chunk(length) && ok;
}

int write_demo_chunk(int type, const void *payload, int length)
{
    if (!demo_record_file || length < 0 || !payload)
        return 0;
    uint8_t head[DEMO_CHUNK_HEAD];
    put32(head, (uint32_t)length ^ demo_record_prev_length);
    put32(head + 4, (uint32_t)current_tic);
    head[8] = (uint8_t)type;
    int ok = file_write(demo_record_file, head, DEMO_CHUNK_HEAD) == DEMO_CHUNK_HEAD &&
             (length == 0 || file_write(demo_record_file, payload, length) == length);
    demo_record_prev_length = (uint32_t)length;
    return finish_chunk((uint32_t)length) && ok;
}


void stop_demo_recording(void)
{
    if (!demo_record_file)
        return;
    // Every chunk was flushed when written: a failing close is one more
    // failed write, and the file keeps its whole chunks.
    if (file_close_only(demo_record_file) != 0) {
        end_failed_recording();
        return;
    }
    file_close(demo_record_file);
    demo_record_file = nullptr;
    record_slot_count = 0;
    forget_record_path();
    name_recording();
}

// The copy goes through the checked replacement of the target, so that a
// failed copy keeps the old file.
int copy_game_file(const char *from, const char *to)
{
    if (!from || !to)
        return 0;
    GameFile *source = file_open(from, "rb");
    if (!source)
        return 0;
    ReplacementFile out;
    if (!open_replacement_file(&out, to)) {
        file_close(source);
        return 0;
    }
    char block[COPY_BLOCK];
    for (;;) {
        int got = file_read(source, block, COPY_BLOCK);
        // A failed write is the commit's to report.
        if (got > 0 && file_write(out.file, block, got) != got)
            break;
        if (got < COPY_BLOCK)
            break;
    }
    // A read error shows in the source's close.
    if (file_close(source) != 0)
        out.failed = 1;
    return commit_replacement_file(&out);
}
