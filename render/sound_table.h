// Engine sound tables: recordings of engine noise in a grid of engine speed
// by load, read from "SOUNDTABLE" files or built in, cached by name for the
// whole run; and the cache of the recordings they name.
#pragma once

#include <cstdint>

enum {
    SOUND_TABLE_SIDE_MAX = 256,         // rows or columns
    SOUND_FILE_BYTES_MAX = 16 << 20,    // recordings and script sounds read at most this
    FIRING_MAP_MAX = 65536,             // entries of one cell's firing map
};

struct SoundCell {
    const float *samples;
    int sample_count;     // N
    int period_count;     // P, 1..N: engine firings the recording holds
    const int *firing_map;  // entries 0..P-1, or null
    int firing_map_length;
    float rpm;            // the row's engine speed
    float load;           // the column's load, 0..1
};

struct SoundTable {
    SoundTable *next;     // the cache list, newest first
    const char *name;
    SoundCell *cells;     // rows x columns, row by row
    int rows;
    int columns;
};

// The built-in tables "default_four_stroke" and "default_two_stroke",
// made on first use and entered in the cache.
const SoundTable *four_stroke_sound_table(void);
const SoundTable *two_stroke_sound_table(void);

// The cached table of that name, else the table read from that file and
// cached; null (after the message line says why) when it cannot be read.
const SoundTable *load_sound_table(const char *name);
const SoundTable *find_sound_table(const char *name);

// The samples of a recording (16-bit little-endian signed, / 32768), read
// once and kept; null when it cannot be read or holds no sample.
const float *load_recording(const char *name, int *count);

// Frees every cached table and recording (at shutdown, once no engine
// sound uses them).
void free_sound_tables(void);

// The first SOUND_FILE_BYTES_MAX bytes of a game file (caller frees with
// checked_free); null when it cannot be opened or is empty.
uint8_t *read_sound_file(const char *name, int *size);
