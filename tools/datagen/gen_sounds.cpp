// Engine sound definitions and their sound tables. A recording holds a few
// periods of one engine speed and load: each period is one firing, an
// exhaust pulse (a sharp rise, a ringing body at the pipe's note and a
// burst of noise) drawn with a little variation from firing to firing.
// The torque range of each class comes from its bikes' torque curves.
#include "tools/datagen/gen_sounds.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_models.h"
#include "core/alloc.h"

const char *const ENGINE_CLASSES[ENGINE_CLASS_COUNT] = {"50", "125", "250", "250f", "450f"};

namespace {

const int SAMPLE_RATE = 44100;
const int TABLE_ROWS = 5, TABLE_COLUMNS = 2, PERIODS = 4;

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

// One recording: PERIODS firings at the row's engine speed and the column's load.
int encode_recording(ByteBuffer *out, const EngineVoice *voice, int row, int column, int class_index)
{
    float rpm = voice->rpm[row];
    float load = column == 0 ? 0.0f : 1.0f;
    int period = (int)lroundf((float)SAMPLE_RATE * 60.0f / (rpm * voice->firings_per_revolution));
    GenRandom random;
    seed_gen_random(&random, mix_seed((uint32_t)class_index, (uint32_t)(row * 16 + column)));
    float amplitude = 0.18f + 0.32f * load;
    float noise_share = voice->noise * (0.5f + load);
    float brown = 0.0f;
    int ok = 1;
    for (int p = 0; ok && p < PERIODS; p++) {
        float strength = 1.0f + (float)gen_random_range(&random, -0.12, 0.12);
        float note = voice->body_hz * (1.0f + (float)gen_random_range(&random, -0.04, 0.04));
        float decay = voice->body_decay * (float)period;
        for (int i = 0; ok && i < period; i++) {
            float t = (float)i;
            float attack = 1.0f - expf(-t / 6.0f);
            float body = expf(-t / decay) * sinf(2.0f * 3.14159265f * note * t / (float)SAMPLE_RATE);
            float thump = expf(-t / (0.15f * (float)period)) * (1.0f - t / (float)period);
            brown = 0.92f * brown + 0.08f * (float)gen_random_range(&random, -1.0, 1.0);
            float hiss = (float)gen_random_range(&random, -1.0, 1.0) * 0.35f + brown * 2.0f;
            float burst = expf(-t / (0.25f * (float)period));
            float s = amplitude * strength * attack *
                      (0.55f * body + 0.35f * thump + noise_share * hiss * burst);
            float scaled = s * 32767.0f;
            int value = scaled > 32767.0f ? 32767 : scaled < -32768.0f ? -32768 : (int)lroundf(scaled);
            ok = buffer_put_u16(out, (unsigned)(uint16_t)(int16_t)value);
        }
    }
    return ok;
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

}  // namespace

int generate_engine_sounds(DataSet *set)
{
    int ok = 1;
    for (int k = 0; ok && k < ENGINE_CLASS_COUNT; k++) {
        const EngineVoice *voice = &VOICES[k];
        ByteBuffer table = {};
        ok = buffer_printf(&table, "SOUNDTABLE %d %d\n", TABLE_ROWS, TABLE_COLUMNS);
        for (int r = 0; ok && r < TABLE_ROWS; r++)
            ok = buffer_printf(&table, "%g%s", voice->rpm[r], r + 1 < TABLE_ROWS ? " " : "\n");
        ok = ok && buffer_printf(&table, "0 1\n");
        for (int r = 0; ok && r < TABLE_ROWS; r++)
            for (int c = 0; ok && c < TABLE_COLUMNS; c++) {
                char name[128];
                snprintf(name, sizeof name, "sounds/engine%s-%d-%d.raw", voice->class_name, r, c);
                ByteBuffer recording = {};
                ok = encode_recording(&recording, voice, r, c, k) &&
                     put_gzip_data_file(set, name, recording.data, recording.size);
                free_buffer(&recording);
                // No firing map: the periods play in turn.
                ok = ok && buffer_printf(&table, "-1 %d @%s\n", PERIODS, name);
            }
        char table_name[64];
        snprintf(table_name, sizeof table_name, "sounds/engine%s.table", voice->class_name);
        ok = ok && put_buffer_file(set, table_name, &table);
        free_buffer(&table);

        float low, high;
        class_torque_range(voice->class_name, &low, &high);
        ByteBuffer braap = {};
        ok = ok && buffer_printf(&braap,
                                 "# Engine sound of the %s class.\n"
                                 "pipe %g %g %g 0 %d\n"
                                 "minrpm 1000\n"
                                 "lowtorque %.3f\n"
                                 "hightorque %.3f\n"
                                 "soundtable @%s\n",
                                 voice->class_name, voice->pipe[0], voice->pipe[1], voice->pipe[2], voice->last_tap,
                                 low, high, table_name);
        char braap_name[64];
        snprintf(braap_name, sizeof braap_name, "default%s.braap", voice->class_name);
        ok = ok && put_buffer_file(set, braap_name, &braap);
        free_buffer(&braap);
    }
    return ok;
}
