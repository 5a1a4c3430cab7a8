// Engine sound definitions and their sound tables. A recording holds a few
// periods of one engine speed and load: each period is one firing, an
// exhaust pulse (a sharp rise, a ringing body at the pipe's note and a
// burst of noise) drawn with a little variation from firing to firing.
// Every class is recorded at one level; then the game's own synthesis runs
// each table through its engine speeds at loads 0 and 1, and a row whose
// sound would come near the byte limit (the pipe rings up at some firing
// rates) is trimmed, both loads alike, until none does.
// The torque range of each class comes from its bikes' torque curves.
#include "tools/datagen/gen_sounds.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_models.h"
#include "core/alloc.h"
#include "render/engine_sound.h"
#include "render/sound_table.h"

const char *const ENGINE_CLASSES[ENGINE_CLASS_COUNT] = {"50", "125", "250", "250f", "450f"};

namespace {

const int TABLE_ROWS = 5, TABLE_COLUMNS = 2, PERIODS = 4;

// A firing's amplitude: LOAD_ZERO_AMPLITUDE + LOAD_AMPLITUDE_RISE x load,
// times the recording level.
const float LOAD_ZERO_AMPLITUDE = 0.18f, LOAD_AMPLITUDE_RISE = 0.32f;
const float RECORDING_LEVEL = 1.8f;

// The farthest the synthesised sound may reach from the centre byte (127):
// some room for the swing of a changing engine speed.
const int SYNTHESIS_PEAK_LIMIT = 116;
const float SWEEP_STEP_RPM = 100.0f;          // the engine speeds tried, from the minimum
const float SWEEP_PAST_FREE_RPM = 1000.0f;    // and past the class's free-running speed
const int TRIM_ROUNDS = 8;

struct EngineVoice {
    const char *class_name;
    float firings_per_revolution;   // of the built-in definition the class takes
    float rpm[TABLE_ROWS];
    float body_hz;                  // the ringing note of a firing
    float body_decay;               // of the period
    float noise;                    // share of noise in a firing
    float pipe[3];                  // length, spread, gain
    int last_tap;
};

const EngineVoice VOICES[ENGINE_CLASS_COUNT] = {
    {"50", 1.0f, {1500, 4500, 7500, 10500, 13500}, 520.0f, 0.35f, 0.45f, {1.2f, 0.25f, -0.7f}, 15},
    {"125", 1.0f, {1500, 4500, 7500, 10500, 13500}, 380.0f, 0.45f, 0.35f, {1.75f, 0.3f, -0.75f}, 15},
    {"250", 1.0f, {1200, 3500, 6000, 8500, 11000}, 260.0f, 0.5f, 0.3f, {2.2f, 0.35f, -0.75f}, 15},
    {"250f", 0.5f, {1500, 4500, 7500, 10500, 13500}, 190.0f, 0.6f, 0.2f, {4.0f, 0.8f, -0.8f}, 15},
    {"450f", 0.5f, {1200, 3500, 6000, 8500, 11500}, 120.0f, 0.7f, 0.18f, {5.0f, 0.9182072f, -0.85f}, 15},
};

uint32_t mix_seed(uint32_t a, uint32_t b)
{
    uint32_t h = a * 0x9e3779b1u ^ (b + 0x7f4a7c15u + (a << 6) + (a >> 2));
    return h ^ (h >> 16);
}

// One class's table while it is made: each cell's recording as drawn, the
// row trims, and the samples as the game reads them back.
struct ClassTable {
    float *drawn[TABLE_ROWS][TABLE_COLUMNS];
    float *read[TABLE_ROWS][TABLE_COLUMNS];
    int count[TABLE_ROWS];
    float trim[TABLE_ROWS];
    SoundCell cells[TABLE_ROWS * TABLE_COLUMNS];
    SoundTable table;
};

int recording_value(float sample)
{
    float scaled = sample * 32767.0f;
    return scaled > 32767.0f ? 32767 : scaled < -32768.0f ? -32768 : (int)lroundf(scaled);
}

// One recording: PERIODS firings at the row's engine speed and the column's load.
int draw_recording(ClassTable *out, const EngineVoice *voice, int row, int column, int class_index)
{
    float rpm = voice->rpm[row];
    float load = column == 0 ? 0.0f : 1.0f;
    int period = (int)lroundf((float)ENGINE_RATE * 60.0f / (rpm * voice->firings_per_revolution));
    float *samples = (float *)checked_malloc((size_t)(PERIODS * period) * 2 * sizeof(float));
    if (!samples)
        return 0;
    out->drawn[row][column] = samples;
    out->read[row][column] = samples + PERIODS * period;
    out->count[row] = PERIODS * period;
    GenRandom random;
    seed_gen_random(&random, mix_seed((uint32_t)class_index, (uint32_t)(row * 16 + column)));
    float amplitude = RECORDING_LEVEL * (LOAD_ZERO_AMPLITUDE + LOAD_AMPLITUDE_RISE * load);
    float noise_share = voice->noise * (0.5f + load);
    float brown = 0.0f;
    for (int p = 0; p < PERIODS; p++) {
        float strength = 1.0f + (float)gen_random_range(&random, -0.12, 0.12);
        float note = voice->body_hz * (1.0f + (float)gen_random_range(&random, -0.04, 0.04));
        float decay = voice->body_decay * (float)period;
        for (int i = 0; i < period; i++) {
            float t = (float)i;
            float attack = 1.0f - expf(-t / 6.0f);
            float body = expf(-t / decay) * sinf(2.0f * 3.14159265f * note * t / (float)ENGINE_RATE);
            float thump = expf(-t / (0.15f * (float)period)) * (1.0f - t / (float)period);
            brown = 0.92f * brown + 0.08f * (float)gen_random_range(&random, -1.0, 1.0);
            float hiss = (float)gen_random_range(&random, -1.0, 1.0) * 0.35f + brown * 2.0f;
            float burst = expf(-t / (0.25f * (float)period));
            samples[p * period + i] = amplitude * strength * attack *
                                      (0.55f * body + 0.35f * thump + noise_share * hiss * burst);
        }
    }
    return 1;
}

// The trimmed recordings as the game will read them: 16-bit values / 32768.
void read_back_recordings(ClassTable *out)
{
    for (int r = 0; r < TABLE_ROWS; r++)
        for (int c = 0; c < TABLE_COLUMNS; c++)
            for (int i = 0; i < out->count[r]; i++)
                out->read[r][c][i] = (float)recording_value(out->drawn[r][c][i] * out->trim[r]) / 32768.0f;
}

int encode_recording(ByteBuffer *out, const ClassTable *table, int row, int column)
{
    int ok = 1;
    for (int i = 0; ok && i < table->count[row]; i++) {
        int value = recording_value(table->drawn[row][column][i] * table->trim[row]);
        ok = buffer_put_u16(out, (unsigned)(uint16_t)(int16_t)value);
    }
    return ok;
}

void free_class_table(ClassTable *out)
{
    for (int r = 0; r < TABLE_ROWS; r++)
        for (int c = 0; c < TABLE_COLUMNS; c++)
            checked_free(out->drawn[r][c]);
}

// The torque range of a class: the load runs from coasting to full throttle
// of its first bike (read from the bike table).
void class_torque_range(const char *class_name, float *low, float *high)
{
    *low = -3.0f;
    *high = 3.0f;
    for (const BikeModel &model : bike_models) {
        if (strcmp(model.class_name, class_name))
            continue;
        float most = 0.0f, least = 0.0f;
        for (int i = 0; i < TORQUE_CURVE_POINTS; i++) {
            float rpm = (float)i * 500.0f;
            if (rpm < 2000.0f || rpm > model.top_rpm)
                continue;
            most = fmaxf(most, model.open_throttle_torque[i]);
            least = fminf(least, model.closed_throttle_torque[i]);
        }
        *low = 0.5f * least;
        *high = 0.8f * most;
        return;
    }
}

// The highest engine speed a class reaches on its own: the first point of
// its torque curves past which no bike of the class has open-throttle
// torque left, and at least the table's last row.
float class_free_rpm(const EngineVoice *voice)
{
    float top = voice->rpm[TABLE_ROWS - 1];
    for (const BikeModel &model : bike_models) {
        if (strcmp(model.class_name, voice->class_name))
            continue;
        for (int i = 0; i < TORQUE_CURVE_POINTS; i++)
            if (model.open_throttle_torque[i] > 0.0f)
                top = fmaxf(top, (float)(i + 1) * 500.0f);
    }
    return top;
}

// The ".braap" lines of a class up to its sound table.
int print_definition(ByteBuffer *out, const EngineVoice *voice)
{
    float low, high;
    class_torque_range(voice->class_name, &low, &high);
    return buffer_printf(out,
                         "# Engine sound of the %s class.\n"
                         "pipe %g %g %g 0 %d\n"
                         "minrpm 1000\n"
                         "lowtorque %.3f\n"
                         "hightorque %.3f\n",
                         voice->class_name, voice->pipe[0], voice->pipe[1], voice->pipe[2], voice->last_tap,
                         low, high);
}

// The definition the game makes of the class's ".braap" lines, over the
// table being made.
int make_definition(EngineDefinition *definition, const EngineVoice *voice, const SoundTable *table)
{
    ByteBuffer text = {};
    if (!print_definition(&text, voice) || !buffer_append(&text, "", 1)) {
        free_buffer(&text);
        return 0;
    }
    *definition = *engine_definition_for_class(voice->class_name);
    build_pipe_taps(definition, 1.0f, 1.0f, 0.0f, 0, PIPE_TAPS - 1);
    char *line = (char *)text.data;
    while (*line) {
        char *end = strchr(line, '\n');
        if (end)
            *end = '\0';
        read_engine_sound_line(definition, line);
        line = end ? end + 1 : line + strlen(line);
    }
    free_buffer(&text);
    definition->table = table;
    return 1;
}

// How far from the centre byte the synthesis reaches at a steady engine
// speed and load: past a fifth of a second for the pipe to settle, over a
// fifth of a second or five firings (each recorded period and one more),
// whichever is longer. -1 without memory.
int synthesis_peak(const EngineDefinition *definition, float rpm, float load)
{
    EngineSound sound = {};
    load_engine_sound(&sound, nullptr, nullptr);
    if (!sound.ring)
        return -1;
    sound.definition = *definition;
    float torque = definition->low_torque + load * (definition->high_torque - definition->low_torque);
    const int frame = ENGINE_RATE / 30;
    int settle = ENGINE_RATE / 5;
    int firings = (int)((PERIODS + 1) * 60.0f * ENGINE_RATE / (rpm * definition->firings_per_revolution));
    int measure = firings > ENGINE_RATE / 5 ? firings : ENGINE_RATE / 5;
    int position = 0, done = 0, peak = 0;
    while (done < settle + measure) {
        int count = synthesize_engine_samples(&sound, rpm, torque, position);
        position = (position + frame) & (ENGINE_RING - 1);
        for (int k = count; k > 0 && done + count - k >= settle; k--) {
            int byte = engine_sample_byte(sound.ring[(sound.write_position - k) & (ENGINE_RING - 1)]);
            int distance = byte > 127 ? byte - 127 : 127 - byte;
            peak = distance > peak ? distance : peak;
        }
        done += count;
    }
    free_engine_sound(&sound);
    return peak;
}

// Runs the synthesis through a class's engine speeds at one load and
// lowers the scale of each row heard at a speed that comes past the limit
// (to what brings it back). 1 when every speed was within it, 0 when not,
// -1 without memory.
int sweep_class_table(const EngineVoice *voice, const EngineDefinition *definition, float load, float *scale)
{
    float top = class_free_rpm(voice) + SWEEP_PAST_FREE_RPM;
    int within = 1;
    for (float rpm = definition->min_rpm; rpm <= top; rpm += SWEEP_STEP_RPM) {
        int peak = synthesis_peak(definition, rpm, load);
        if (peak < 0)
            return -1;
        if (peak <= SYNTHESIS_PEAK_LIMIT)
            continue;
        within = 0;
        // The rows the synthesis weighs at this speed.
        int high = 0;
        while (high < TABLE_ROWS && !(voice->rpm[high] > rpm))
            high++;
        int low = high - 1 < 0 ? 0 : high - 1;
        high = high > TABLE_ROWS - 1 ? TABLE_ROWS - 1 : high;
        float e = low == high ? 1.0f : (rpm - voice->rpm[low]) / (voice->rpm[high] - voice->rpm[low]);
        float factor = 0.995f * (float)SYNTHESIS_PEAK_LIMIT / (float)peak;
        if (e < 1.0f || low == high)
            scale[low] = fminf(scale[low], factor);
        if (e > 0.0f)
            scale[high] = fminf(scale[high], factor);
    }
    return within;
}

// Trims a class's rows until the synthesis stays within the limit at every
// speed, at load 1 (the louder) and then at load 0. 1 when it does.
int trim_class_table(ClassTable *out, const EngineVoice *voice)
{
    for (int round = 0; round < TRIM_ROUNDS; round++) {
        read_back_recordings(out);
        EngineDefinition definition;
        if (!make_definition(&definition, voice, &out->table))
            return 0;
        float scale[TABLE_ROWS];
        for (float &s : scale)
            s = 1.0f;
        int within = sweep_class_table(voice, &definition, 1.0f, scale);
        if (within == 1)
            within = sweep_class_table(voice, &definition, 0.0f, scale);
        if (within < 0)
            return 0;
        if (within)
            return 1;
        for (int r = 0; r < TABLE_ROWS; r++)
            out->trim[r] *= scale[r];
    }
    fprintf(stderr, "datagen: the %s engine's table still clips after %d trims\n", voice->class_name,
            TRIM_ROUNDS);
    return 0;
}

// Draws a class's recordings and trims its table.
int make_class_table(ClassTable *out, const EngineVoice *voice, int class_index)
{
    memset(out, 0, sizeof *out);
    for (int r = 0; r < TABLE_ROWS; r++) {
        out->trim[r] = 1.0f;
        for (int c = 0; c < TABLE_COLUMNS; c++) {
            if (!draw_recording(out, voice, r, c, class_index))
                return 0;
            SoundCell *cell = &out->cells[r * TABLE_COLUMNS + c];
            cell->samples = out->read[r][c];
            cell->sample_count = out->count[r];
            cell->period_count = PERIODS;
            cell->rpm = voice->rpm[r];
            cell->load = (float)c;
        }
    }
    out->table.name = voice->class_name;
    out->table.cells = out->cells;
    out->table.rows = TABLE_ROWS;
    out->table.columns = TABLE_COLUMNS;
    return trim_class_table(out, voice);
}

}  // namespace

int generate_engine_sounds(DataSet *set)
{
    int ok = 1;
    for (int k = 0; ok && k < ENGINE_CLASS_COUNT; k++) {
        const EngineVoice *voice = &VOICES[k];
        ClassTable *recordings = (ClassTable *)checked_malloc(sizeof(ClassTable));
        ok = recordings && make_class_table(recordings, voice, k);
        ByteBuffer table = {};
        ok = ok && buffer_printf(&table, "SOUNDTABLE %d %d\n", TABLE_ROWS, TABLE_COLUMNS);
        for (int r = 0; ok && r < TABLE_ROWS; r++)
            ok = buffer_printf(&table, "%g%s", voice->rpm[r], r + 1 < TABLE_ROWS ? " " : "\n");
        ok = ok && buffer_printf(&table, "0 1\n");
        for (int r = 0; ok && r < TABLE_ROWS; r++)
            for (int c = 0; ok && c < TABLE_COLUMNS; c++) {
                char name[128];
                snprintf(name, sizeof name, "sounds/engine%s-%d-%d.raw", voice->class_name, r, c);
                ByteBuffer recording = {};
                ok = encode_recording(&recording, recordings, r, c) &&
                     put_gzip_data_file(set, name, recording.data, recording.size);
                free_buffer(&recording);
                // No firing map: the periods play in turn.
                ok = ok && buffer_printf(&table, "-1 %d @%s\n", PERIODS, name);
            }
        if (recordings)
            free_class_table(recordings);
        checked_free(recordings);
        char table_name[64];
        snprintf(table_name, sizeof table_name, "sounds/engine%s.table", voice->class_name);
        ok = ok && put_buffer_file(set, table_name, &table);
        free_buffer(&table);

        ByteBuffer braap = {};
        ok = ok && print_definition(&braap, voice) && buffer_printf(&braap, "soundtable @%s\n", table_name);
        char braap_name[64];
        snprintf(braap_name, sizeof braap_name, "default%s.braap", voice->class_name);
        ok = ok && put_buffer_file(set, braap_name, &braap);
        free_buffer(&braap);
    }
    return ok;
}
