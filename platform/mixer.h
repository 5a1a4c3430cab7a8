// The software mixer of the SDL and readback drivers: voices resampled to
// the output rate once, kept in 32 lists by loudness and mixed loudest first
// into 8-bit unsigned PCM, one fragment at a time.
#pragma once

#include "platform/audio.h"

#include <cstdint>

enum {
    MIXER_LEVELS = 32,
    MIXER_LENGTH_MAX = 1 << 28,   // samples of one voice at the output rate
};

// Voice flags.
enum {
    MIXER_LOOP = 1,
    MIXER_LINKED = 2,      // in the level lists: playing
    MIXER_STEREO = 4,      // the right node is used
    MIXER_RESTART = 8,     // play asked for, taken at the next fragment
    MIXER_FINISHED = 16,   // stopped: leaves the lists after the next fragment
    MIXER_ENDED = 32,      // ran out of data in this fragment (each channel plays to the end)
};

// Sample data at the output rate, shared by a voice and its duplicates.
struct MixerSample {
    int references;
    int length;          // samples
    uint8_t *data;       // length + 3 spare bytes (128) in the same block
};

struct MixerVoice;

// One channel of a voice: its place in a level list and its play position.
struct MixerNode {
    MixerVoice *voice;
    MixerNode *next;
    MixerNode *previous;
    int64_t position;    // samples from the start of the data, below its length
    uint32_t fraction;   // 31 bits
    int level;           // 0..31
    int previous_level;  // the level mixed in the last fragment
};

struct MixerState;

struct MixerVoice {
    AudioVoice header;
    MixerNode nodes[2];      // left (or mono), right
    MixerState *mixer;
    MixerVoice *next_voice;  // every voice of the mixer
    MixerVoice *previous_voice;
    int sample_rate;         // the output rate at creation
    int rate;                // playback rate in Hz
    int volume;              // 0..0x7FFF
    int pan;                 // -0x8000..0x7FFF
    int flags;
    MixerSample *sample;
};

struct MixerState {
    uint8_t *output;          // one fragment: bytes, interleaved left, right in stereo
    int32_t *left;            // accumulators, one per output sample
    int32_t *right;           // stereo only
    int budget;               // audible nodes per fragment ("sound-channels")
    int stereo;
    int rate;                 // output rate in Hz
    int fragment_samples;
    const AudioDriver *driver; // what the mixer's voices belong to
    MixerNode *lists[2][MIXER_LEVELS];
    MixerVoice *voices;       // every live voice
};

// Sets the record up around buffers the driver owns; 0 for a rate or
// fragment size of 0 or less.
int init_mixer(MixerState *mixer, const AudioDriver *driver, int rate, int fragment_samples,
               int stereo, int budget);
// Releases the samples of every voice left and leaves their records to
// free_voice (their driver is cleared).
void release_mixer_voices(MixerState *mixer);

// Null for a length, rate or resampled length of 0 or less, a resampled
// length beyond the mixer's limit, no data, or no memory.
MixerVoice *mixer_create_voice(MixerState *mixer, int length, const uint8_t *data, int rate);
MixerVoice *mixer_duplicate_voice(MixerVoice *voice);
void mixer_free_voice(MixerVoice *voice);
int mixer_play_voice(MixerVoice *voice);
int mixer_stop_voice(MixerVoice *voice);
int mixer_set_voice_rate(MixerVoice *voice, int rate);   // 0 for a rate of 0 or less
int mixer_set_voice_volume(MixerVoice *voice, int volume);
int mixer_set_voice_pan(MixerVoice *voice, int pan);
int mixer_set_voice_loop(MixerVoice *voice, int loop);
int mixer_get_voice_position(MixerVoice *voice);
// 0 for a negative count or offset or no bytes.
int mixer_write_voice_data(MixerVoice *voice, int count, const uint8_t *bytes, int offset);

// Mixes one fragment into the mixer's output.
void mix_fragment(MixerState *mixer);

// The level table entry of level 1..31 for an unsigned sample byte.
int mixer_level_value(int level, int byte);
