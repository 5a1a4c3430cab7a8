// Engine sound definitions: the built-ins per engine kind, the ".braap"
// reader with its file-name chain and class defaults, the pipe taps, and
// setting a rider's engine sound up and freeing it.
#include "render/engine_sound.h"

#include "app/shell.h"
#include "bike/bike_getters.h"
#include "core/alloc.h"
#include "core/file.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "render/sound_table.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

EngineSound engine_sounds[160];

enum {
    LINE_LENGTH = 1024,
    ENGINE_START_WRITE = 11025,
    NAME_LENGTH = 1024,
};

// ---- pipe taps --------------------------------------------------------------------------

int build_pipe_taps(EngineDefinition *definition, float length, float spread, float gain,
                    int first, int last)
{
    if (!std::isfinite(length) || !std::isfinite(spread) || !std::isfinite(gain))
        return 0;
    first = first < 0 ? 0 : first > PIPE_TAPS - 1 ? PIPE_TAPS - 1 : first;
    int clamped_last = last < 0 ? 0 : last > PIPE_TAPS - 1 ? PIPE_TAPS - 1 : last;
    last = clamped_last >= first ? clamped_last : first;
    int n = last - first + 1, d = last - first;
    float m = length < spread ? length : spread;
    for (int k = 0; k <= d; k++) {
        float ratio = d ? (float)k / (float)d : 0.0f;
        float pipe = d ? length - ((float)k + ratio * ratio) * m / (float)n : length;
        // There and back at the synthesis rate; the ring holds 32768. Only
        // a longer delay is clamped: one of 0 or less stays, and the tap
        // reads the ring at (write + 32768 - delay) modulo 32768 like any
        // other, the stored value reduced into 0..32767 so none overflows.
        double delay = std::round(2.0 * pipe / SPEED_OF_SOUND * ENGINE_RATE);
        if (delay > ENGINE_RING)
            delay = ENGINE_RING;
        double stored = std::fmod((double)ENGINE_RING - delay, (double)ENGINE_RING);
        if (!std::isfinite(stored))
            stored = 0.0;   // a pipe too long for a float has no place in the ring
        definition->taps[first + k].delay = (int)stored;
        definition->taps[first + k].gain = gain / (float)n;
    }
    return 1;
}

// ---- built-in definitions -------------------------------------------------------------

static EngineDefinition builtins[3];   // four stroke, two stroke, the 50
static int builtins_made;

static void make_builtin(EngineDefinition *definition, const SoundTable *table, float firings,
                         float low, float high, float length, float spread, float gain)
{
    memset(definition, 0, sizeof *definition);
    definition->table = table;
    definition->firings_per_revolution = firings;
    definition->low_torque = low;
    definition->high_torque = high;
    definition->min_rpm = 1000.0f;
    build_pipe_taps(definition, length, spread, gain, 0, 15);
    definition->bias[0] = 0.0f;
    definition->bias_count = 1;
    definition->scale[0] = 1.0f;
    definition->scale_count = 1;
}

static void make_builtins(void)
{
    if (builtins_made)
        return;
    make_builtin(&builtins[0], four_stroke_sound_table(), 0.5f, -2.5f, 2.5f, 5.0f, 0.9182072f,
                 -0.85f);
    make_builtin(&builtins[1], two_stroke_sound_table(), 1.0f, -3.5f, 3.5f, 1.75f, 0.3f, -0.75f);
    make_builtin(&builtins[2], two_stroke_sound_table(), 1.0f, -3.5f, 1.5f, 1.75f, 0.3f, -0.75f);
    builtins_made = 1;
}

const EngineDefinition *four_stroke_definition(void)
{
    make_builtins();
    return &builtins[0];
}

const EngineDefinition *two_stroke_definition(void)
{
    make_builtins();
    return &builtins[1];
}

const EngineDefinition *fifty_definition(void)
{
    make_builtins();
    return &builtins[2];
}

const EngineDefinition *engine_definition_for_class(const char *engine_class)
{
    if (!engine_class)
        return four_stroke_definition();
    size_t length = strlen(engine_class);
    if (!strcmp(engine_class, "50"))
        return fifty_definition();
    if (length > 0 && engine_class[length - 1] == 'f')
        return four_stroke_definition();
    return two_stroke_definition();
}

// ---- ".braap" files ---------------------------------------------------------------------

GameFile *default_engine_sound_file(const BikeState *bike)
{
    const char *engine_class = bike ? get_bike_model_class(bike) : nullptr;
    if (!engine_class)
        return nullptr;
    static const char *const defaults[][2] = {
        {"50", "@default50.braap"},     {"125", "@default125.braap"},
        {"250f", "@default250f.braap"}, {"250", "@default250.braap"},
        {"450f", "@default450f.braap"},
    };
    for (const auto &entry : defaults)
        if (!strcmp(engine_class, entry[0]))
            return file_open(entry[1], "rb");
    return nullptr;
}

// The file for a name: "<stem>.braap", cutting the stem back at each "-"
// of its last path part, then the class default.
static GameFile *open_engine_sound_file(const char *name, const BikeState *bike)
{
    if (name) {
        const char *slash = strrchr(name, '/');
        size_t base = slash ? (size_t)(slash - name) + 1 : 0;
        const char *dot = strrchr(name + base, '.');
        if (dot && (size_t)(dot - name) < NAME_LENGTH - 8) {
            char path[NAME_LENGTH];
            size_t stem = (size_t)(dot - name);
            for (;;) {
                memcpy(path, name, stem);
                strcpy(path + stem, ".braap");
                GameFile *file = file_open(path, "rb");
                if (file)
                    return file;
                path[stem] = '\0';
                char *dash = strrchr(path + base, '-');
                if (!dash)
                    break;
                stem = (size_t)(dash - path);
            }
        }
    }
    return default_engine_sound_file(bike);
}

// Numbers at the start of text, as many as parse (up to max); *end is set
// past the last one.
static int parse_numbers(const char *text, double *values, int max)
{
    int count = 0;
    while (count < max) {
        char *end;
        double value = strtod(text, &end);
        if (end == text)
            break;
        values[count++] = value;
        text = end;
    }
    return count;
}

static int all_finite(const double *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

static int clamp_to_int(double value)
{
    return value < -1000000.0 ? -1000000 : value > 1000000.0 ? 1000000 : (int)value;
}

// Reads up to 100 finite numbers into a list (others are passed over).
static void read_list(const char *text, float *list, int *count)
{
    double values[ENGINE_LIST_MAX];
    int parsed = parse_numbers(text, values, ENGINE_LIST_MAX);
    *count = 0;
    for (int i = 0; i < parsed; i++)
        if (std::isfinite(values[i]) && fabs(values[i]) <= 3.0e38)
            list[(*count)++] = (float)values[i];
}

// The first word after leading blanks when it is the keyword; the text after
// it, or null.
static const char *after_keyword(const char *line, const char *keyword)
{
    while (*line == ' ' || *line == '\t')
        line++;
    size_t length = strlen(keyword);
    if (strncmp(line, keyword, length) != 0)
        return nullptr;
    char next = line[length];
    if (next != '\0' && !isspace((unsigned char)next))
        return nullptr;
    return line + length;
}

// "minrpm %f" and the like at the very start of a line: 1 when it matched.
static int read_setting(const char *line, const char *keyword, float *field)
{
    size_t length = strlen(keyword);
    if (strncmp(line, keyword, length) != 0)
        return 0;
    double value;
    if (parse_numbers(line + length, &value, 1) == 1 && std::isfinite(value) &&
        fabs(value) <= 3.0e38)
        *field = (float)value;
    return 1;
}

void read_engine_sound_line(EngineDefinition *definition, const char *text)
{
    char line[LINE_LENGTH + 1];
    snprintf(line, sizeof line, "%s", text);
    char *comment = strchr(line, '#');
    if (comment)
        *comment = '\0';
    const char *rest;

    if (!strncmp(line, "pipe", 4)) {
        double values[5] = {5.0, 0.9182072, -0.85, 0, 15};
        int parsed = parse_numbers(line + 4, values, 5);
        if (parsed >= 1 && all_finite(values, 5) && fabs(values[0]) <= 3.0e38 &&
            fabs(values[1]) <= 3.0e38 && fabs(values[2]) <= 3.0e38)
            build_pipe_taps(definition, (float)values[0], (float)values[1], (float)values[2],
                            clamp_to_int(values[3]), clamp_to_int(values[4]));
        return;
    }
    if (read_setting(line, "minrpm", &definition->min_rpm) ||
        read_setting(line, "lowtorque", &definition->low_torque) ||
        read_setting(line, "hightorque", &definition->high_torque))
        return;
    if ((rest = after_keyword(line, "bias"))) {
        read_list(rest, definition->bias, &definition->bias_count);
        return;
    }
    if ((rest = after_keyword(line, "scale"))) {
        read_list(rest, definition->scale, &definition->scale_count);
        return;
    }
    if ((rest = after_keyword(line, "soundtable"))) {
        while (isspace((unsigned char)*rest))
            rest++;
        char name[LINE_LENGTH + 1];
        snprintf(name, sizeof name, "%s", rest);
        size_t length = strlen(name);
        while (length > 0 && isspace((unsigned char)name[length - 1]))
            name[--length] = '\0';
        const SoundTable *table = load_sound_table(name);
        if (table)
            definition->table = table;
    }
}

// ---- a rider's engine sound ------------------------------------------------------------

void free_engine_sound(EngineSound *sound)
{
    free_voice(sound->voice);
    sound->voice = nullptr;
    checked_free(sound->ring);
    sound->ring = nullptr;
}

void load_engine_sound(EngineSound *sound, const BikeState *bike, const char *file_name)
{
    make_builtins();
    free_engine_sound(sound);
    sound->ring = (float *)checked_calloc(ENGINE_RING, sizeof(float));
    if (!sound->ring)
        log_printf("No memory for an engine sound\n");   // silent: no voice, nothing synthesised
    if (audio_handle && sound->ring) {
        static uint8_t silence[ENGINE_RING];
        memset(silence, 128, sizeof silence);
        sound->voice = create_voice(audio_handle, ENGINE_RING, silence, 0);
        if (sound->voice) {
            set_voice_loop(sound->voice, 1);
            set_voice_volume(sound->voice, 0);
            play_voice(sound->voice);
        }
    }
    sound->previous_rpm = 1000.0f;
    sound->firing_frequency = 10.0f;
    sound->write_position = ENGINE_START_WRITE;
    sound->phase = 0;
    sound->firing_count = 0;
    sound->level = 1.0f;
    sound->load = 0.0f;

    EngineDefinition *definition = &sound->definition;
    *definition = *engine_definition_for_class(bike ? get_bike_model_class(bike) : nullptr);

    const char *name = file_name ? file_name : bike ? get_bike_texture_name(bike) : nullptr;
    GameFile *file = open_engine_sound_file(name, bike);
    if (file) {
        build_pipe_taps(definition, 1.0f, 1.0f, 0.0f, 0, 15);
        definition->bias_count = definition->scale_count = 0;
        char line[LINE_LENGTH + 1];
        while (file_gets(file, line, sizeof line))
            read_engine_sound_line(definition, line);
        file_close(file);
    }
    if (definition->bias_count == 0) {
        definition->bias[0] = 0.0f;
        definition->bias_count = 1;
    }
    if (definition->scale_count == 0) {
        definition->scale[0] = 1.0f;
        definition->scale_count = 1;
    }

    const SoundCell *first = &definition->table->cells[0];
    for (EngineOscillator &oscillator : sound->oscillators) {
        oscillator.samples = first->samples;
        oscillator.sample_count = first->sample_count;
        oscillator.gain = 0.0f;
        oscillator.position = 0;
        oscillator.step = 0;
    }
}
