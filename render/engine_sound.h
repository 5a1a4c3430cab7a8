// Engine sounds: one synthesised engine per rider slot. Each firing starts
// a period of recorded engine noise blended from a sound table by engine
// speed and load, fed through a feedback delay line (the exhaust pipe);
// ".braap" files describe an engine, built-in definitions stand in.
#pragma once

#include <cstdint>

struct AudioVoice;
struct BikeState;
struct GameFile;
struct SoundTable;

constexpr float SPEED_OF_SOUND = 1140.63f;   // ft/s

constexpr int PIPE_TAPS = 16;
constexpr int ENGINE_LIST_MAX = 100;       // bias and scale entries
constexpr int ENGINE_RING = 32768;         // samples of the delay ring and the voice
constexpr int ENGINE_OSCILLATORS = 4;
constexpr int ENGINE_RATE = 44100;         // samples per second the synthesis assumes
constexpr int ENGINE_LEAD = 4410;          // samples written ahead of the play position
constexpr int ENGINE_FRAME_MAX = 8820;     // samples one frame writes at most
constexpr int ENGINE_FIRING = 1 << 24;     // one firing of the phase

struct PipeTap {
    int delay;    // 32768 minus the delay in samples, modulo 32768
    float gain;
};

struct EngineDefinition {
    const SoundTable *table;
    float firings_per_revolution;
    float low_torque;
    float high_torque;
    float min_rpm;
    PipeTap taps[PIPE_TAPS];
    float bias[ENGINE_LIST_MAX];
    int bias_count;
    float scale[ENGINE_LIST_MAX];
    int scale_count;
};

struct EngineOscillator {
    const float *samples;
    int sample_count;
    float gain;
    uint64_t position;   // 1/1024 sample
    uint64_t step;
};

struct EngineSound {
    AudioVoice *voice;   // null = none
    EngineDefinition definition;
    float *ring;               // the last 32768 output samples; made on load, null until then
    float level;               // volume factor; old demos set 1 or 0
    float previous_rpm;
    float firing_frequency;    // Hz
    int write_position;        // 0..32767
    int phase;                 // one firing = ENGINE_FIRING
    uint32_t firing_count;
    float load;                // the last load read, 0..1
    EngineOscillator oscillators[ENGINE_OSCILLATORS];
};

extern EngineSound engine_sounds[160];

// The built-in definitions: four-stroke, two-stroke and the 50's variant.
const EngineDefinition *four_stroke_definition(void);
const EngineDefinition *two_stroke_definition(void);
const EngineDefinition *fifty_definition(void);
// The built-in a bike class takes: "50" the 50's, a class ending in "f"
// (or none) the four-stroke, any other the two-stroke.
const EngineDefinition *engine_definition_for_class(const char *engine_class);

// Sets a slot's engine sound up: a fresh voice when audio is open, the
// built-in for the bike's class, then the ".braap" file found for the given
// name (else the bike's skin) or the class default.
void load_engine_sound(EngineSound *sound, const BikeState *bike, const char *file_name);
// Frees the voice and clears the handle.
void free_engine_sound(EngineSound *sound);
// The class default ".braap" file, opened for reading, or null.
GameFile *default_engine_sound_file(const BikeState *bike);
// Fills pipe taps first..last (each clamped to 0..15); 0 and nothing changed
// when a value is not finite.
int build_pipe_taps(EngineDefinition *definition, float length, float spread, float gain,
                    int first, int last);
// Reads one ".braap" line into the definition.
void read_engine_sound_line(EngineDefinition *definition, const char *line);

// Synthesises the samples that take the ring to ENGINE_LEAD past the play
// position (at most ENGINE_FRAME_MAX); returns how many.
int synthesize_engine_samples(EngineSound *sound, float rpm, float torque, int play_position);
// A synthesised sample as the voice's byte: round(s x 127 + 127) within 0..255.
uint8_t engine_sample_byte(float sample);
// One frame of one bike: synthesises from the voice's play position and
// hands the new samples to the voice as bytes.
void generate_engine_sound(EngineSound *sound, float rpm, float torque);
