// Helpers of the audio tests: a readback driver that is closed again, the
// mixer's level table from its definition, and voices of known bytes.
#pragma once

#include "platform/audio.h"
#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// The readback driver open for one test; closed (and the front end free)
// at the end.
struct ReadbackAudio {
    int handle;
    int fragment;

    ReadbackAudio(int rate, int fragment_samples) : fragment(fragment_samples)
    {
        handle = open_readback_audio(0, rate, fragment_samples);
        EXPECT_NE(handle, 0);
    }
    ~ReadbackAudio() { close_audio(handle); }

    // The next fragments, interleaved left and right.
    std::vector<uint8_t> mix(int fragments = 1)
    {
        std::vector<uint8_t> out;
        for (int i = 0; i < fragments; i++) {
            uint8_t *bytes = mix_readback_fragment(handle);
            EXPECT_NE(bytes, nullptr);
            if (bytes)
                out.insert(out.end(), bytes, bytes + 2 * fragment);
        }
        return out;
    }

    AudioVoice *voice(const std::vector<uint8_t> &data, int rate = 0)
    {
        return create_voice(handle, (int)data.size(), data.data(), rate);
    }
};

inline MixerVoice *mixer_voice(AudioVoice *voice)
{
    return (MixerVoice *)voice;
}

// The level table as defined: 0 for silence, else sign(s) * floor((|s| - 1) * L / 32).
inline int level_value(int level, int byte)
{
    int s = byte - 128;
    if (s == 0 || level == 0)
        return 0;
    int magnitude = (abs(s) - 1) * level / 32;
    return s < 0 ? -magnitude : magnitude;
}

// An output byte from the sum of the channel's contributions.
inline uint8_t output_byte(int sum)
{
    return (uint8_t)((sum < -128 ? -128 : sum > 127 ? 127 : sum) + 128);
}

// The volume that gives a level at hard left: the smallest v with
// 0xFFFF * v >> 26 == level.
inline int volume_for_left_level(int level)
{
    int64_t v = (((int64_t)level << 26) + 0xFFFE) / 0xFFFF;
    return (int)(v > 0x7FFF ? 0x7FFF : v);
}

// The left (channel 0) or right bytes of interleaved output.
inline std::vector<uint8_t> channel(const std::vector<uint8_t> &interleaved, int which)
{
    std::vector<uint8_t> out;
    for (size_t i = (size_t)which; i < interleaved.size(); i += 2)
        out.push_back(interleaved[i]);
    return out;
}
