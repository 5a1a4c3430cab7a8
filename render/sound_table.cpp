// Sound tables and recordings: the "SOUNDTABLE" reader, the two built-in
// tables, the table list and the recording cache (both kept for the run).
#include "render/sound_table.h"

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "render/engine_sound.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static SoundTable *sound_tables;   // newest first

struct RecordingEntry {
    const char *name;   // interned
    float *samples;
    int count;
};

static GrowableArray recordings;

uint8_t *read_sound_file(const char *name, int *size)
{
    *size = 0;
    GameFile *file = name ? file_open(name, "rb") : nullptr;
    if (!file)
        return nullptr;
    int capacity = 0, used = 0;
    uint8_t *bytes = nullptr;
    for (;;) {
        if (used == capacity) {
            if (capacity >= SOUND_FILE_BYTES_MAX)
                break;
            int grown = capacity ? capacity * 2 : 65536;
            if (grown > SOUND_FILE_BYTES_MAX)
                grown = SOUND_FILE_BYTES_MAX;
            uint8_t *larger = (uint8_t *)checked_realloc(bytes, (size_t)grown);
            if (!larger) {
                checked_free(bytes);
                file_close(file);
                return nullptr;
            }
            bytes = larger;
            capacity = grown;
        }
        int got = file_read(file, bytes + used, capacity - used);
        if (got <= 0)
            break;
        used += got;
    }
    file_close(file);
    if (used == 0) {
        checked_free(bytes);
        return nullptr;
    }
    *size = used;
    return bytes;
}

const float *load_recording(const char *name, int *count)
{
    *count = 0;
    if (!recordings.data && !init_growable_array(&recordings, sizeof(RecordingEntry)))
        return nullptr;
    RecordingEntry *entries = (RecordingEntry *)recordings.data;
    for (int i = 0; i < recordings.count; i++)
        if (!strcmp(entries[i].name, name)) {
            *count = entries[i].count;
            return entries[i].samples;
        }
    int size;
    uint8_t *bytes = read_sound_file(name, &size);
    int samples = size / 2;   // an odd last byte is dropped
    if (!bytes || samples == 0) {
        checked_free(bytes);
        return nullptr;
    }
    float *values = (float *)checked_malloc(sizeof(float) * (size_t)samples);
    RecordingEntry *entry = values ? (RecordingEntry *)append_to_growable_array(&recordings) : nullptr;
    if (!entry) {
        checked_free(values);
        checked_free(bytes);
        return nullptr;
    }
    for (int i = 0; i < samples; i++)
        values[i] = (float)(int16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8) / 32768.0f;
    checked_free(bytes);
    entry->name = intern_string(name);
    entry->samples = values;
    entry->count = samples;
    *count = samples;
    return values;
}

const SoundTable *find_sound_table(const char *name)
{
    for (SoundTable *table = sound_tables; table; table = table->next)
        if (!strcmp(table->name, name))
            return table;
    return nullptr;
}

// One block: the header, the cells, every firing map, then the name.
static SoundTable *allocate_table(const char *name, int rows, int columns, int map_entries)
{
    size_t cells = (size_t)rows * (size_t)columns;
    size_t size = sizeof(SoundTable) + cells * sizeof(SoundCell) + (size_t)map_entries * sizeof(int) +
                  strlen(name) + 1;
    SoundTable *table = (SoundTable *)checked_calloc(1, size);
    if (!table)
        return nullptr;
    table->cells = (SoundCell *)(table + 1);
    char *text = (char *)((int *)(table->cells + cells) + map_entries);
    strcpy(text, name);
    table->name = text;
    table->rows = rows;
    table->columns = columns;
    return table;
}

static int *table_maps(SoundTable *table)
{
    return (int *)(table->cells + (size_t)table->rows * table->columns);
}

static void add_table(SoundTable *table)
{
    table->next = sound_tables;
    sound_tables = table;
}

// ---- the built-in tables --------------------------------------------------------------

enum { BUILTIN_SAMPLES = 1024 };

static float builtin_samples[2][2][BUILTIN_SAMPLES];   // [four stroke?][load column]

static const SoundTable *make_builtin_table(int four_stroke)
{
    const char *name = four_stroke ? "default_four_stroke" : "default_two_stroke";
    const SoundTable *found = find_sound_table(name);
    if (found)
        return found;
    float *full = builtin_samples[four_stroke][1];
    float *quiet = builtin_samples[four_stroke][0];
    for (int k = 0; k < BUILTIN_SAMPLES; k++) {
        double t = k / 1023.0;
        double burst = t < 0.25 ? (1.0 - 4.0 * t) : 0.0;
        double value = four_stroke
                           ? 0.5 * (fabs(sin(3.0 * M_PI * t + 0.5246)) - 0.5) + sin(16.0 * M_PI * t) * burst
                           : sin(8.0 * M_PI * t) * burst;
        full[k] = (float)value;
        quiet[k] = (float)value * 0.25f;
    }
    SoundTable *table = allocate_table(name, 1, 2, 0);
    if (!table)
        fatal_out_of_memory();
    for (int column = 0; column < 2; column++) {
        SoundCell *cell = &table->cells[column];
        cell->samples = builtin_samples[four_stroke][column];
        cell->sample_count = BUILTIN_SAMPLES;
        cell->period_count = 1;
        cell->rpm = 0.0f;
        cell->load = (float)column;
    }
    add_table(table);
    return table;
}

const SoundTable *four_stroke_sound_table(void)
{
    return make_builtin_table(1);
}

const SoundTable *two_stroke_sound_table(void)
{
    return make_builtin_table(0);
}

// ---- the table reader -------------------------------------------------------------------

struct CellRead {
    SoundCell cell;
    int map_first;   // index of its map in the shared map list
};

// A float field of the file: 1 and the value when it reads and is finite.
static int read_finite(GameFile *file, float *value)
{
    return file_scanf(file, " %f", value) == 1 && std::isfinite(*value);
}

static SoundTable *read_sound_table(const char *name)
{
    GameFile *file = file_open(name, "rb");
    if (!file)
        return nullptr;
    int rows = 0, columns = 0;
    float rpm[SOUND_TABLE_SIDE_MAX], loads[SOUND_TABLE_SIDE_MAX];
    CellRead *cells = nullptr;
    GrowableArray maps = {};
    SoundTable *table = nullptr;
    int ok = file_scanf(file, "SOUNDTABLE %d %d", &rows, &columns) == 2 && rows >= 1 &&
             rows <= SOUND_TABLE_SIDE_MAX && columns >= 1 && columns <= SOUND_TABLE_SIDE_MAX;
    for (int r = 0; ok && r < rows; r++)
        ok = read_finite(file, &rpm[r]);
    for (int c = 0; ok && c < columns; c++)
        ok = read_finite(file, &loads[c]);
    if (ok) {
        cells = (CellRead *)checked_calloc((size_t)rows * columns, sizeof(CellRead));
        ok = cells && init_growable_array(&maps, sizeof(int));
    }

    char text[160];
    for (int r = 0; ok && r < rows; r++)
        for (int c = 0; ok && c < columns; c++) {
            CellRead *read = &cells[r * columns + c];
            read->map_first = maps.count;
            for (;;) {
                int entry;
                if (file_scanf(file, " %d", &entry) != 1 ||
                    read->cell.firing_map_length >= FIRING_MAP_MAX) {
                    snprintf(text, sizeof text, "(%d, %d) Bad remap entry", r, c);
                    print_message(text);
                    ok = 0;
                    break;
                }
                if (entry == -1)
                    break;
                int *slot = (int *)append_to_growable_array(&maps);
                if (!slot) {
                    ok = 0;
                    break;
                }
                *slot = entry;
                read->cell.firing_map_length++;
            }
            if (!ok)
                break;
            float periods = 0.0f;
            char recording[1024] = "";
            int fields = file_scanf(file, " %f %1023s", &periods, recording);
            int count = 0;
            const float *samples = fields == 2 ? load_recording(recording, &count) : nullptr;
            // A period count outside 1..N cannot divide the recording.
            if (!samples || !(periods >= 1.0f && periods <= (float)count)) {
                char line[600];
                snprintf(line, sizeof line, "(%d, %d) Error reading '%.512s'", r, c, recording);
                print_message(line);
                ok = 0;
                break;
            }
            read->cell.samples = samples;
            read->cell.sample_count = count;
            read->cell.period_count = (int)periods;
            read->cell.rpm = rpm[r];
            read->cell.load = loads[c];
        }
    file_close(file);

    if (ok)
        table = allocate_table(name, rows, columns, maps.count);
    if (table) {
        int *map_store = table_maps(table);
        const int *entries = (const int *)maps.data;
        for (int i = 0; i < rows * columns; i++) {
            SoundCell *cell = &table->cells[i];
            *cell = cells[i].cell;
            int p = cell->period_count;
            if (cell->firing_map_length > 0) {
                int *map = map_store + cells[i].map_first;
                for (int k = 0; k < cell->firing_map_length; k++)
                    map[k] = ((entries[cells[i].map_first + k] % p) + p) % p;
                cell->firing_map = map;
            }
        }
    }
    checked_free(cells);
    free_growable_array(&maps);
    return table;
}

const SoundTable *load_sound_table(const char *name)
{
    const SoundTable *found = find_sound_table(name);
    if (found)
        return found;
    SoundTable *table = read_sound_table(name);
    if (!table) {
        char line[600];
        snprintf(line, sizeof line, "Error reading '%.512s'", name);
        print_message(line);
        return nullptr;
    }
    add_table(table);
    return table;
}

void free_sound_tables(void)
{
    forget_engine_sound_tables();
    while (sound_tables) {
        SoundTable *next = sound_tables->next;
        checked_free(sound_tables);
        sound_tables = next;
    }
    RecordingEntry *entries = (RecordingEntry *)recordings.data;
    for (int i = 0; i < recordings.count; i++)
        checked_free(entries[i].samples);
    free_growable_array(&recordings);
}
