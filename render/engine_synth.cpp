// Engine sound synthesis: per sample, the pipe's delay taps over the ring
// plus four oscillators reading recorded periods; each engine firing picks
// and weighs the table cells around the engine speed and load. The result
// goes to the voice as unsigned bytes.
#include "render/engine_sound.h"

#include "platform/audio.h"
#include "render/sound_table.h"

#include <cmath>

constexpr int RING_MASK = ENGINE_RING - 1;
constexpr double FIRING_FREQUENCY_MAX = ENGINE_RATE / 2;   // Hz: one firing per two samples

static const float FIRING_FREQUENCY_MIN = 5.0f;
static const float SAMPLE_LIMIT = 16.0f;

static float clamp01(double value)
{
    return value > 0.0 ? (value < 1.0 ? (float)value : 1.0f) : 0.0f;   // NaN gives 0
}

static int phase_step(float frequency)
{
    return (int)std::lround((double)frequency / ENGINE_RATE * ENGINE_FIRING);
}

// The neighbouring rows (or columns) around a value and the weight of the
// upper one: 1 when they are one, or equal.
static float neighbours(const SoundCell *cells, int count, int stride, int use_rpm, double value,
                        int *low, int *high)
{
    int i = 0;
    while (i < count && !((use_rpm ? cells[i * stride].rpm : cells[i * stride].load) > value))
        i++;
    *low = i - 1 < 0 ? 0 : i - 1 > count - 1 ? count - 1 : i - 1;
    *high = i > count - 1 ? count - 1 : i;
    double a = use_rpm ? cells[*low * stride].rpm : cells[*low * stride].load;
    double b = use_rpm ? cells[*high * stride].rpm : cells[*high * stride].load;
    if (*low == *high || a == b)
        return 1.0f;
    double weight = (value - a) / (b - a);
    return std::isnan(weight) ? 1.0f : clamp01(weight);
}

// A firing at sample j of count: the next engine speed, frequency and cells.
static void fire(EngineSound *sound, int j, int count, float rpm, int *step)
{
    const EngineDefinition *definition = &sound->definition;
    uint32_t c = sound->firing_count;
    double e0 = sound->previous_rpm + (double)j / count * (rpm - sound->previous_rpm);
    double bias = definition->bias_count > 0 ? definition->bias[c % (uint32_t)definition->bias_count] : 0.0;
    double scale = definition->scale_count > 0 ? definition->scale[c % (uint32_t)definition->scale_count] : 1.0;
    double u = (e0 + bias) * scale;
    if (!(u >= definition->min_rpm))
        u = definition->min_rpm;   // also a NaN
    sound->firing_count = c + 1;
    double frequency = u * definition->firings_per_revolution / 60.0;
    if (!(frequency >= FIRING_FREQUENCY_MIN))
        frequency = FIRING_FREQUENCY_MIN;
    if (frequency > FIRING_FREQUENCY_MAX)
        frequency = FIRING_FREQUENCY_MAX;
    sound->firing_frequency = (float)frequency;
    *step = phase_step(sound->firing_frequency);

    const SoundTable *table = definition->table;
    if (!table)
        return;
    int row_low, row_high, column_low, column_high;
    float e = neighbours(table->cells, table->rows, table->columns, 1, u, &row_low, &row_high);
    float w = neighbours(table->cells, table->columns, 1, 0, sound->load, &column_low,
                         &column_high);
    const int rows[4] = {row_low, row_high, row_low, row_high};
    const int columns[4] = {column_low, column_low, column_high, column_high};
    const float gains[4] = {(1 - e) * (1 - w), e * (1 - w), (1 - e) * w, e * w};
    for (int k = 0; k < ENGINE_OSCILLATORS; k++) {
        const SoundCell *cell = &table->cells[rows[k] * table->columns + columns[k]];
        EngineOscillator *oscillator = &sound->oscillators[k];
        uint32_t next = c + 1;
        uint32_t period_index = cell->firing_map
                                    ? (uint32_t)cell->firing_map[next % (uint32_t)cell->firing_map_length]
                                    : next;
        int periods = cell->period_count >= 1 ? cell->period_count : 1;
        double period = (double)cell->sample_count / periods;
        oscillator->samples = cell->samples;
        oscillator->sample_count = cell->sample_count;
        oscillator->gain = gains[k];
        oscillator->position = (uint64_t)std::trunc(period * (period_index % (uint32_t)periods)) * 1024;
        oscillator->step = (uint64_t)std::trunc(frequency / ENGINE_RATE * period * 1024.0);
    }
}

int synthesize_engine_samples(EngineSound *sound, float rpm, float torque, int play_position)
{
    if (!sound->ring)
        return 0;   // not loaded
    const EngineDefinition *definition = &sound->definition;
    if (std::isfinite(torque)) {
        double range = (double)definition->high_torque - definition->low_torque;
        sound->load = range != 0.0 ? clamp01((torque - definition->low_torque) / range) : 1.0f;
    }
    if (!std::isfinite(rpm))
        rpm = sound->previous_rpm;

    int count = (play_position - sound->write_position + ENGINE_LEAD + ENGINE_RING) & RING_MASK;
    if (count > ENGINE_FRAME_MAX)
        count = ENGINE_FRAME_MAX;
    if (count == 0)
        return 0;

    float *ring = sound->ring;
    int write = sound->write_position & RING_MASK;
    int step = phase_step(sound->firing_frequency);
    for (int j = 0; j < count; j++) {
        float s = 0.0f;
        for (const PipeTap &tap : definition->taps)
            s += tap.gain * ring[(write + tap.delay) & RING_MASK];
        for (EngineOscillator &oscillator : sound->oscillators) {
            uint64_t index = oscillator.position >> 10;
            if (oscillator.samples && index < (uint64_t)oscillator.sample_count)
                s += oscillator.gain * oscillator.samples[index];
            oscillator.position += oscillator.step;
        }
        if (!std::isfinite(s))
            s = 0.0f;   // never let a NaN into the delay line
        ring[write] = s < -SAMPLE_LIMIT ? -SAMPLE_LIMIT : s > SAMPLE_LIMIT ? SAMPLE_LIMIT : s;
        sound->phase += step;
        if (sound->phase > ENGINE_FIRING - 1) {
            sound->phase -= ENGINE_FIRING;
            fire(sound, j, count, rpm, &step);
        }
        write = (write + 1) & RING_MASK;
    }
    sound->write_position = write;
    sound->previous_rpm = rpm;
    return count;
}

uint8_t engine_sample_byte(float sample)
{
    float value = sample * 127.0f + 127.0f;
    value = value < 0.0f ? 0.0f : value > 255.0f ? 255.0f : value;
    return (uint8_t)std::lround(value);
}

void generate_engine_sound(EngineSound *sound, float rpm, float torque)
{
    if (!sound->voice)
        return;
    int position = get_voice_position(sound->voice);
    int count = synthesize_engine_samples(sound, rpm, torque, position & RING_MASK);
    if (count == 0)
        return;
    static uint8_t bytes[ENGINE_FRAME_MAX];
    int start = (sound->write_position - count) & RING_MASK;
    for (int k = 0; k < count; k++)
        bytes[k] = engine_sample_byte(sound->ring[(start + k) & RING_MASK]);
    write_voice_data(sound->voice, count, bytes, start);
}
