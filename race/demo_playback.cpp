// Demo playback: the header of a demo file (checked value by value, since
// any file may be opened), and the chunks (version 6) or fixed state
// records (versions 4 and 5) fed into the state history as the race
// reaches them.
#include "race/demo.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/engine_sound.h"
#include "track/erosion.h"
#include "track/track.h"

GameFile *demo_play_file;
char demo_track[256];
int demo_rider_count;
DemoRider demo_riders[BIKE_SLOT_COUNT];
int demo_version;
int64_t demo_chunks_start;
char demo_play_file_name[256];
uint32_t demo_prev_chunk_length;
int64_t demo_read_position;
int64_t demo_next_tic = 1;
int64_t demo_base_tic = -1;
int64_t demo_tic_offset;
int64_t demo_erosion_position;

enum {
    HEADER_LINE_SIZE = 1024,     // a header line with its newline, and the terminator
    CHUNKS_PER_CALL = 128,
    CHUNK_LOOKAHEAD = 64,        // tics a chunk may lie ahead of the race
    RECORD_LOOKAHEAD = 8,        // tics of old-format records read ahead
    TEXT_PAYLOAD_MAX = 1023,
    DEFAULT_START_TIC = 1792,    // 14 s
    EROSION_AMOUNT_MAX = 100 * 1024,
};

// Set when the file can no longer be read in step with its chunks: a cut
// chunk that cannot be rewound (a gzip demo) or a length no demo can hold.
static int demo_play_stalled;

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int demo_state_size(int version)
{
    return version == 4 ? OLD_PACKED_STATE_SIZE : version == 5 ? PACKED_STATE_SIZE : 0;
}

void close_demo_playback(void)
{
    if (demo_play_file)
        file_close(demo_play_file);
    demo_play_file = nullptr;
}

// One header line into buffer, newline kept: its length in bytes, or -1
// when the file ends first, the line is too long or holds a zero byte.
static int read_header_line(GameFile *file, char *buffer)
{
    int length = 0;
    for (;;) {
        int c = file_getc(file);
        if (c <= 0 || length >= HEADER_LINE_SIZE - 1)
            return -1;
        buffer[length++] = (char)c;
        if (c == '\n')
            break;
    }
    buffer[length] = '\0';
    return length;
}

// The numbers of "KZ%d %d %d %d %d" as sscanf would convert them: the
// count converted, or -1 when a number does not fit an int.
static int parse_header_numbers(const char *line, long long values[5])
{
    if (strncmp(line, "KZ", 2) != 0)
        return 0;
    const char *p = line + 2;
    int count = 0;
    while (count < 5) {
        while (isspace((unsigned char)*p))
            p++;
        int negative = *p == '-';
        if (*p == '-' || *p == '+')
            p++;
        if (!isdigit((unsigned char)*p))
            break;
        long long value = 0;
        for (; isdigit((unsigned char)*p); p++) {
            value = value * 10 + (*p - '0');
            if (value > 2147483648ll)
                return -1;
        }
        values[count++] = negative ? -value : value;
    }
    return count;
}

static int in_demo_range(long long value)
{
    return value >= 0 && value <= DEMO_VALUE_MAX;
}

// A relative folder path of plain names, as the catalogue lists them.
static int is_plain_folder_name(const char *name)
{
    if (!name[0] || name[0] == '/' || name[0] == '@')
        return 0;
    const char *part = name;
    for (const char *c = name;; c++) {
        if (*c == '\\' || (*c && (unsigned char)*c < 32))
            return 0;
        if (*c == '/' || !*c) {
            size_t length = (size_t)(c - part);
            if (length == 0 || (length == 1 && part[0] == '.') ||
                (length == 2 && part[0] == '.' && part[1] == '.'))
                return 0;
            if (!*c)
                return 1;
            part = c + 1;
        }
    }
}

static int is_catalogue_folder(const char *name)
{
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders && track_catalogue.folders[i] &&
            !strcmp(track_catalogue.folders[i], name))
            return 1;
    return 0;
}

static void copy_field(char *out, int size, const char *from, size_t length)
{
    if (length > (size_t)size - 1)
        length = (size_t)size - 1;
    memmove(out, from, length);
    out[length] = '\0';
}

// "model|rider|bike|wheel|helmet" without its newline.
static void split_rider_line(DemoRider *rider, const char *line)
{
    char *fields[5] = {rider->model, rider->rider_texture, rider->bike_texture,
                       rider->wheel_texture, rider->helmet_texture};
    const char *start = line;
    for (int k = 0; k < 5; k++) {
        const char *end = strchr(start, '|');
        size_t length = end ? (size_t)(end - start) : strlen(start);
        copy_field(fields[k], DEMO_STRING_LENGTH, start, length);
        if (!end) {
            for (k++; k < 5; k++)
                fields[k][0] = '\0';
            break;
        }
        start = end + 1;
    }
}

// Reads the header after the first line; the bytes read, or -1.
static int read_header_body(GameFile *file, int version, int riders)
{
    char line[HEADER_LINE_SIZE];
    int length = read_header_line(file, line);
    if (length < 0)
        return -1;
    int total = length;
    line[length - 1] = '\0';
    if (length > (int)sizeof demo_track || !is_plain_folder_name(line) || !is_catalogue_folder(line))
        return -1;
    strcpy(demo_track, line);
    for (int i = 0; i < riders; i++) {
        DemoRider *rider = &demo_riders[i];
        if ((length = read_header_line(file, line)) < 0)
            return -1;
        total += length;
        line[length - 1] = '\0';
        split_rider_line(rider, line);
        if ((length = read_header_line(file, line)) < 0)
            return -1;
        total += length;
        copy_field(rider->number, DEMO_NUMBER_LENGTH, line, (size_t)length - 1);
        if (version != 6)
            continue;
        if ((length = read_header_line(file, line)) < 0)
            return -1;
        total += length;
        copy_field(rider->name, DEMO_STRING_LENGTH, line, (size_t)length - 1);
        do {
            if ((length = read_header_line(file, line)) < 0)
                return -1;
            total += length;
        } while (strcmp(line, "\n") != 0);
    }
    return total;
}

static void clear_demo_riders(void)
{
    memset(demo_riders, 0, sizeof demo_riders);
    for (DemoRider &rider : demo_riders)
        rider.slot = -1;
    demo_track[0] = '\0';
}

int open_demo_playback(const char *name)
{
    close_demo_playback();
    clear_demo_riders();
    demo_play_stalled = 0;
    if (name)
        copy_field(demo_play_file_name, sizeof demo_play_file_name, name, strlen(name));
    else
        demo_play_file_name[0] = '\0';

    GameFile *file;
    if (name) {
        file = file_open(name, "rb");
    } else if (time_trial_mode) {
        char *path = current_track.folder && current_track.folder[0]
                         ? track_file_path("/fastlap.kzdemo") : nullptr;
        file = path ? file_open(path, "rb") : nullptr;
        checked_free(path);
    } else {
        file = file_open("@demos/default.kzdemo", "rb");
    }
    demo_rider_count = 0;
    if (!file)
        return 0;

    char line[HEADER_LINE_SIZE];
    long long values[5];
    int length = read_header_line(file, line);
    int count = length < 0 ? 0 : parse_header_numbers(line, values);
    int ok = count >= 3 && values[0] >= 4 && values[0] <= 6 && values[1] >= 0 &&
             values[1] <= DEMO_RIDERS_MAX && in_demo_range(values[2]) &&
             (count < 4 || in_demo_range(values[3])) && (count < 5 || in_demo_range(values[4]));
    int body = ok ? read_header_body(file, (int)values[0], (int)values[1]) : -1;
    if (body < 0) {
        file_close(file);
        clear_demo_riders();
        return 0;
    }

    demo_play_file = file;
    demo_version = (int)values[0];
    demo_rider_count = (int)values[1];
    race_settings.length_tics = (int)values[2];
    if (count >= 4)
        race_settings.laps = (int)values[3];
    race_settings.start_tic = count >= 5 ? (int)values[4] : DEFAULT_START_TIC;
    demo_prev_chunk_length = 0;
    demo_chunks_start = demo_read_position = (int64_t)length + body;
    demo_next_tic = 1;
    demo_base_tic = -1;
    demo_tic_offset = 0;
    demo_erosion_position = 0;
    return 1;
}

int move_demo_playback(int64_t position, uint32_t link, int64_t next_tic)
{
    if (!demo_play_file || position < demo_chunks_start || position > INT32_MAX ||
        !file_seek(demo_play_file, (int)position))
        return 0;
    demo_read_position = position;
    demo_prev_chunk_length = link;
    demo_next_tic = next_tic;
    demo_play_stalled = 0;
    return 1;
}

// A chunk or record that is not whole yet is left where it starts, to be
// read whole by a later call; without a way back the reading stops.
static void leave_unread(int64_t start)
{
    if (start > INT32_MAX || !file_seek(demo_play_file, (int)start))
        demo_play_stalled = 1;
}

// 1 when the payload of L bytes is in the file, the file left at the
// payload. A file that cannot seek is read as it comes.
static int is_payload_whole(int64_t payload, uint32_t length)
{
    if (payload + length > INT32_MAX)
        return 0;
    if (!file_seek(demo_play_file, (int)payload))
        return 1;
    if (length == 0)
        return 1;
    uint8_t last;
    if (!file_seek(demo_play_file, (int)(payload + length - 1)) ||
        file_read(demo_play_file, &last, 1) != 1)
        return 0;
    return file_seek(demo_play_file, (int)payload);
}

static int skip_payload(uint32_t length, int piece)
{
    uint8_t buffer[1024];
    while (length > 0) {
        int n = length < (uint32_t)piece ? (int)length : piece;
        if (file_read(demo_play_file, buffer, n) != n)
            return 0;
        length -= (uint32_t)n;
    }
    return 1;
}

// Reads min(L, 1023) bytes as text; the rest is skipped. The count read,
// or -1 when the payload ends early.
static int read_text_payload(uint32_t length, char *text)
{
    int want = length < TEXT_PAYLOAD_MAX ? (int)length : TEXT_PAYLOAD_MAX;
    int got = file_read(demo_play_file, text, want);
    text[got > 0 ? got : 0] = '\0';
    if (got != want || !skip_payload(length - (uint32_t)want, 1024))
        return -1;
    return got;
}

static int play_state_entries(uint32_t length, int32_t tic)
{
    if (demo_base_tic == -1) {
        demo_base_tic = tic;
        if (time_trial_mode)
            demo_tic_offset = (int64_t)current_tic - tic;
        else
            current_tic = tic;
    }
    for (uint32_t n = length / DEMO_ENTRY_SIZE; n > 0; n--) {
        uint8_t entry[DEMO_ENTRY_SIZE];
        if (file_read(demo_play_file, entry, DEMO_ENTRY_SIZE) != DEMO_ENTRY_SIZE)
            return 0;
        int32_t entry_tic = (int32_t)get32(entry + 1);
        int64_t at = (int64_t)entry_tic + demo_tic_offset;
        if (!in_demo_range(entry_tic) || at < 0 || at > INT32_MAX)
            continue;
        // An index past the header's riders names no slot.
        int slot = entry[0] < demo_rider_count ? demo_riders[entry[0]].slot : -1;
        add_state_to_history(slot, entry + 5, (int)at);
    }
    return 1;
}

// "erode %d" as sscanf reads it; the amount is held to what "--erode" gives.
static void play_server_command(const char *text)
{
    if (strncmp(text, "erode", 5) != 0)
        return;
    const char *p = text + 5;
    while (isspace((unsigned char)*p))
        p++;
    int negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    if (!isdigit((unsigned char)*p))
        return;
    long long value = 0;
    for (; isdigit((unsigned char)*p); p++) {
        value = value * 10 + (*p - '0');
        if (value > 2147483648ll)
            return;
    }
    if (negative)
        value = -value;
    if (value < -2147483648ll || value > 2147483647ll)
        return;
    erosion_amount = value < 0 ? 0 : value > EROSION_AMOUNT_MAX ? EROSION_AMOUNT_MAX : (int)value;
}

// The payload of one whole chunk; 0 when it ended early.
static int play_chunk_payload(int type, uint32_t length, int32_t tic, int64_t start)
{
    char text[TEXT_PAYLOAD_MAX + 1];
    switch (type) {
    case 1:
        if (length % DEMO_ENTRY_SIZE != 0)
            return skip_payload(length, 1024);
        return play_state_entries(length, tic);
    case 2:
        if (read_text_payload(length, text) < 0)
            return 0;
        print_message(text);
        return 1;
    case 3:
        if (read_text_payload(length, text) < 0)
            return 0;
        if (length <= TEXT_PAYLOAD_MAX)
            play_server_command(text);
        return 1;
    case 5:
        if (read_text_payload(length, text) < 0)
            return 0;
        // Applied once, even when a rewound replay reads it again.
        if (length <= TEXT_PAYLOAD_MAX && demo_erosion_position < start) {
            queue_erosion_message((const uint8_t *)text, (int)length);
            demo_erosion_position = start;
        }
        return 1;
    default:
        return skip_payload(length, 32);
    }
}

static void play_chunks(void)
{
    for (int n = 0; n < CHUNKS_PER_CALL && demo_play_file && !demo_play_stalled; n++) {
        if ((int64_t)current_tic < demo_next_tic - CHUNK_LOOKAHEAD)
            return;
        int64_t start = demo_read_position;
        uint8_t head[9];
        if (file_read(demo_play_file, head, 9) != 9) {
            leave_unread(start);
            return;
        }
        uint32_t length = get32(head) ^ demo_prev_chunk_length;
        int32_t tic = (int32_t)get32(head + 4);
        if (length > DEMO_VALUE_MAX) {
            demo_play_stalled = 1;
            return;
        }
        if (!is_payload_whole(start + 9, length)) {
            leave_unread(start);
            return;
        }
        // A chunk whose tic no race reaches is passed over whole.
        int tic_ok = in_demo_range(tic);
        int whole = tic_ok ? play_chunk_payload(head[8], length, tic, start)
                           : skip_payload(length, 1024);
        if (!whole) {
            leave_unread(start);
            return;
        }
        demo_prev_chunk_length = length;
        demo_read_position = start + 9 + length;
        if (tic_ok && demo_base_tic != -1)
            demo_next_tic = tic + demo_tic_offset;
    }
}

// Versions 4 and 5: per tic one record per demo rider, in header order.
static void play_records(void)
{
    int size = demo_state_size(demo_version);
    int block = demo_rider_count * size;
    if (block <= 0 || (int64_t)current_tic < demo_next_tic - RECORD_LOOKAHEAD)
        return;
    if (demo_base_tic == -1)
        demo_base_tic = demo_next_tic = current_tic;
    static uint8_t records[(int)DEMO_RIDERS_MAX * (int)PACKED_STATE_SIZE];
    for (int n = 0; n < CHUNKS_PER_CALL && !demo_play_stalled; n++) {
        int64_t start = demo_read_position;
        int whole = file_read(demo_play_file, records, block) == block;
        // The riders' engines are heard only while their records come whole.
        for (int i = 0; i < demo_rider_count; i++)
            if (demo_riders[i].slot >= 0 && demo_riders[i].slot < BIKE_SLOT_COUNT)
                engine_sounds[demo_riders[i].slot].level = whole ? 1.0f : 0.0f;
        if (!whole) {
            leave_unread(start);
            return;
        }
        demo_read_position = start + block;
        int64_t tic = demo_next_tic++;
        for (int i = 0; i < demo_rider_count; i++) {
            int slot = demo_riders[i].slot;
            if (slot < 0 || slot >= BIKE_SLOT_COUNT || tic < 0 || tic > INT32_MAX)
                continue;   // a rider without a slot: read and dropped
            uint8_t state[PACKED_STATE_SIZE] = {0};
            memcpy(state, records + i * size, (size_t)size);
            add_state_to_history(slot, state, (int)tic);
        }
        if (tic > (int64_t)current_tic + RECORD_LOOKAHEAD - 1)
            return;
    }
}

void play_demo_chunks(void)
{
    if (!demo_play_file || demo_play_stalled)
        return;
    if (demo_version == 6)
        play_chunks();
    else
        play_records();
}
