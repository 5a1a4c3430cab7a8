// The software mixer through the readback driver: output bytes, levels from
// volume and pan, the audible budget, finishing, zero-crossing level
// changes, restarts, the ring write, resampling and extreme rates.
#include "platform/audio.h"
#include "platform/mixer.h"
#include "tests/platform/audio_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

TEST(ReadbackAudio, FragmentsAreWholeAndSilentWithoutVoices)
{
    struct Case {
        int rate, fragment, opens;
    } cases[] = {
        {22050, 344, 1}, {44100, 1, 1}, {0, 344, 0}, {-22050, 344, 0}, {22050, 0, 0}, {22050, -8, 0},
    };
    for (const Case &c : cases) {
        int handle = open_readback_audio(0, c.rate, c.fragment);
        EXPECT_EQ(handle != 0, c.opens != 0) << c.rate << " " << c.fragment;
        if (!handle)
            continue;
        for (int i = 0; i < 3; i++) {
            uint8_t *bytes = mix_readback_fragment(handle);
            ASSERT_NE(bytes, nullptr);
            std::vector<uint8_t> got(bytes, bytes + 2 * c.fragment);
            EXPECT_EQ(got, std::vector<uint8_t>(2 * c.fragment, 128));
        }
        EXPECT_EQ(update_audio(handle), 1);
        close_audio(handle);
        EXPECT_EQ(active_audio_driver, nullptr);
    }
}

TEST(Mixer, LevelsFromVolumeAndPanGiveTheTableBytes)
{
    ReadbackAudio audio(22050, 64);
    struct Case {
        int byte, volume, pan;
        int left_level, right_level;
    } cases[] = {
        {228, 0x7FFF, 0, 15, 15},
        {228, 0x7FFF, -0x8000, 31, 0},
        {228, 0x7FFF, 0x7FFF, 0, 31},
        {0, 0x7FFF, -0x8000, 31, 0},        // s = -128
        {129, 0x7FFF, -0x8000, 31, 0},      // |s| = 1 rounds to nothing
        {127, 0x7FFF, 0x7FFF, 0, 31},
        {228, 0, 0, 0, 0},
        {228, 40000, 0, 15, 15},            // volume clamps to 0x7FFF
        {228, 0x7FFF, -40000, 31, 0},       // pan clamps to -0x8000
        {200, 0x4000, 0, 7, 8},
    };
    for (const Case &c : cases) {
        AudioVoice *voice = audio.voice(std::vector<uint8_t>(100, (uint8_t)c.byte));
        ASSERT_NE(voice, nullptr);
        set_voice_loop(voice, 1);
        set_voice_volume(voice, c.volume);
        set_voice_pan(voice, c.pan);
        EXPECT_EQ(mixer_voice(voice)->nodes[0].level, c.left_level) << c.byte << " " << c.pan;
        EXPECT_EQ(mixer_voice(voice)->nodes[1].level, c.right_level) << c.byte << " " << c.pan;
        play_voice(voice);
        std::vector<uint8_t> out = audio.mix(2);
        EXPECT_EQ(channel(out, 0), std::vector<uint8_t>(128, output_byte(level_value(c.left_level, c.byte))));
        EXPECT_EQ(channel(out, 1), std::vector<uint8_t>(128, output_byte(level_value(c.right_level, c.byte))));
        free_voice(voice);
    }
    // The figure every level table must give: 228 at full volume, centred.
    AudioVoice *voice = audio.voice(std::vector<uint8_t>(64, 228));
    play_voice(voice);
    EXPECT_EQ(audio.mix(1), std::vector<uint8_t>(128, 174));
    free_voice(voice);
}

TEST(Mixer, BudgetSilencesTheQuietestVoiceButStillAdvancesIt)
{
    setenv("VOKE_OPTIONS", "[sound-channels:2]", 1);
    ReadbackAudio audio(22050, 64);
    AudioVoice *voices[3];
    int levels[3] = {31, 20, 5};
    for (int i = 0; i < 3; i++) {
        voices[i] = audio.voice(std::vector<uint8_t>(1000, 200));
        set_voice_pan(voices[i], -0x8000);
        set_voice_volume(voices[i], volume_for_left_level(levels[i]));
        ASSERT_EQ(mixer_voice(voices[i])->nodes[0].level, levels[i]);
        play_voice(voices[i]);
    }
    std::vector<uint8_t> left = channel(audio.mix(1), 0);
    EXPECT_EQ(left, std::vector<uint8_t>(64, output_byte(level_value(31, 200) + level_value(20, 200))));
    EXPECT_EQ(get_voice_position(voices[2]), 64);
    // With the loudest gone the budget reaches the quietest.
    free_voice(voices[0]);
    left = channel(audio.mix(1), 0);
    EXPECT_EQ(left, std::vector<uint8_t>(64, output_byte(level_value(20, 200) + level_value(5, 200))));
    EXPECT_EQ(get_voice_position(voices[2]), 128);
    free_voice(voices[1]);
    free_voice(voices[2]);
}

TEST(Mixer, VoicesFinishAtTheEndOfTheirDataAndLeaveTheLists)
{
    ReadbackAudio audio(22050, 64);
    // Silent (level 0) and heard: both finish in the fragment that reaches
    // the end of their 100 samples.
    for (int volume : {0, 0x7FFF}) {
        AudioVoice *voice = audio.voice(std::vector<uint8_t>(100, 228));
        set_voice_volume(voice, volume);
        play_voice(voice);
        std::vector<uint8_t> out = audio.mix(1);
        EXPECT_TRUE(mixer_voice(voice)->flags & MIXER_LINKED);
        EXPECT_EQ(get_voice_position(voice), 64);
        out = audio.mix(1);
        EXPECT_FALSE(mixer_voice(voice)->flags & MIXER_LINKED) << volume;
        EXPECT_EQ(get_voice_position(voice), 0);
        // Both channels play the last 36 samples, then silence.
        uint8_t heard = volume ? output_byte(level_value(15, 228)) : 128;
        for (int i = 0; i < 128; i++)
            EXPECT_EQ(out[i], i / 2 < 36 ? heard : 128) << volume << " " << i;
        free_voice(voice);
    }
}

TEST(Mixer, VolumeChangeWaitsForTheWaveformsSignChange)
{
    ReadbackAudio audio(22050, 16);
    std::vector<uint8_t> data(32, 200);
    for (int k = 10; k < 20; k++)
        data[k] = 60;
    AudioVoice *voice = audio.voice(data);
    set_voice_loop(voice, 1);
    set_voice_pan(voice, -0x8000);
    play_voice(voice);
    std::vector<uint8_t> first = channel(audio.mix(1), 0);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(first[i], output_byte(level_value(31, data[i])));
    set_voice_volume(voice, volume_for_left_level(15));
    std::vector<uint8_t> second = channel(audio.mix(1), 0);
    // Samples 16..19 are negative like the first one: old level; then new.
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(second[i], output_byte(level_value(i < 4 ? 31 : 15, data[16 + i]))) << i;
    free_voice(voice);
}

TEST(Mixer, PlayOnAPlayingVoiceRestartsAtTheNextFragment)
{
    ReadbackAudio audio(22050, 16);
    std::vector<uint8_t> data(100);
    for (int k = 0; k < 100; k++)
        data[k] = (uint8_t)(k % 2 == 0 ? 138 + k : 118 - k);   // the sign flips every sample
    AudioVoice *voice = audio.voice(data);
    set_voice_loop(voice, 1);
    set_voice_pan(voice, -0x8000);
    play_voice(voice);
    std::vector<uint8_t> first = channel(audio.mix(1), 0);
    EXPECT_EQ(get_voice_position(voice), 16);
    play_voice(voice);
    EXPECT_EQ(get_voice_position(voice), 0);   // restart pending
    std::vector<uint8_t> second = channel(audio.mix(1), 0);
    // One sample fades out at the old place, then the start again.
    EXPECT_EQ(second[0], output_byte(level_value(31, data[16])));
    EXPECT_EQ(std::vector<uint8_t>(second.begin() + 1, second.end()),
              std::vector<uint8_t>(first.begin(), first.end() - 1));
    EXPECT_EQ(get_voice_position(voice), 15);
    free_voice(voice);
}

// Samples of distinct values whose sign (bit 7) is that of `positive`.
static std::vector<uint8_t> signed_runs(const std::vector<bool> &positive)
{
    std::vector<uint8_t> data(positive.size());
    for (size_t k = 0; k < data.size(); k++)
        data[k] = (uint8_t)(positive[k] ? 129 + 3 * (k % 40) : 126 - 3 * (k % 40));
    return data;
}

// The level bytes of data[from, to) heard at one level.
static std::vector<uint8_t> heard(const std::vector<uint8_t> &data, int from, int to, int level)
{
    std::vector<uint8_t> out;
    for (int k = from; k < to; k++)
        out.push_back(output_byte(level_value(level, data[k])));
    return out;
}

static std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Where the hand-over to a new level meets the ends of the data: a voice
// that ran out has nothing left to fade when played again; a restart whose
// fade runs into the end of a one-shot still starts it over; a level
// change on a loop keeps the old level past the loop point up to the sign
// change.
TEST(Mixer, HandOversAtTheEndsOfTheData)
{
    ReadbackAudio audio(22050, 16);
    std::vector<bool> runs(24, true);   // + x6, - x6, + x12
    for (int k = 6; k < 12; k++)
        runs[k] = false;
    {
        SCOPED_TRACE("a one-shot played again after it ended");
        std::vector<uint8_t> data = signed_runs(runs);
        AudioVoice *voice = audio.voice(data);
        set_voice_pan(voice, -0x8000);
        play_voice(voice);
        audio.mix(2);
        ASSERT_FALSE(mixer_voice(voice)->flags & MIXER_LINKED);
        play_voice(voice);
        EXPECT_EQ(channel(audio.mix(1), 0), heard(data, 0, 16, 31));   // no half-wave before the start
        EXPECT_EQ(get_voice_position(voice), 16);
        free_voice(voice);
    }
    {
        SCOPED_TRACE("a restart whose fade reaches the end of a one-shot");
        std::vector<uint8_t> data = signed_runs(std::vector<bool>(40, true));
        AudioVoice *voice = audio.voice(data);
        set_voice_pan(voice, -0x8000);
        play_voice(voice);
        audio.mix(2);
        EXPECT_EQ(get_voice_position(voice), 32);
        play_voice(voice);
        EXPECT_EQ(channel(audio.mix(1), 0), joined(heard(data, 32, 40, 31), heard(data, 0, 8, 31)));
        EXPECT_TRUE(mixer_voice(voice)->flags & MIXER_LINKED);
        EXPECT_EQ(get_voice_position(voice), 8);
        EXPECT_EQ(channel(audio.mix(1), 0), heard(data, 8, 24, 31));
        free_voice(voice);
    }
    {
        SCOPED_TRACE("a level change near the loop point");
        runs.resize(20);
        std::vector<uint8_t> data = signed_runs(runs);
        AudioVoice *voice = audio.voice(data);
        set_voice_loop(voice, 1);
        set_voice_pan(voice, -0x8000);
        play_voice(voice);
        audio.mix(1);
        set_voice_volume(voice, volume_for_left_level(15));
        // The old level over 16..19 and, past the loop point, 0..5; the new from 6.
        EXPECT_EQ(channel(audio.mix(1), 0), joined(joined(heard(data, 16, 20, 31), heard(data, 0, 6, 31)),
                                                   heard(data, 6, 12, 15)));
        EXPECT_EQ(get_voice_position(voice), 12);
        free_voice(voice);
    }
}

TEST(Mixer, WriteVoiceDataWrapsAtTheSampleLength)
{
    ReadbackAudio audio(22050, 16);
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    struct Case {
        int count, offset, result;
        std::vector<uint8_t> after;
    } cases[] = {
        {10, 6, 1, {3, 4, 5, 6, 7, 8, 9, 10}},                    // the last 8, from 0
        {3, 6, 1, {3, 0, 0, 0, 0, 0, 1, 2}},                       // wraps to the start
        {3, 13, 1, {0, 0, 0, 0, 0, 1, 2, 3}},                      // offset 13 is 5
        {0, 2, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
        {-1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
        {3, -1, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        AudioVoice *voice = audio.voice(std::vector<uint8_t>(8, 0));
        set_voice_loop(voice, 1);
        EXPECT_EQ(write_voice_data(voice, c.count, bytes.data(), c.offset), c.result);
        const MixerSample *sample = mixer_voice(voice)->sample;
        EXPECT_EQ(std::vector<uint8_t>(sample->data, sample->data + 8), c.after)
            << c.count << " at " << c.offset;
        free_voice(voice);
    }
}

TEST(Mixer, ResamplesOnceAtCreationPastThirtyTwoBitProducts)
{
    ReadbackAudio audio(44100, 64);
    struct Case {
        int length, rate, resampled, numerator, denominator;   // source index = k * num / den
    } cases[] = {
        {200000, 11025, 800000, 1, 4},   // 200000 * 44100 passes 2^32
        {100000, 88200, 50000, 2, 1},
        {3, 30000, 4, 3, 4},
        {1000, 0, 1000, 1, 1},
        {1000, 44100, 1000, 1, 1},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> source(c.length);
        for (int i = 0; i < c.length; i++)
            source[i] = (uint8_t)(i * 7 % 251);
        AudioVoice *voice = audio.voice(source, c.rate);
        ASSERT_NE(voice, nullptr) << c.length;
        const MixerSample *sample = mixer_voice(voice)->sample;
        ASSERT_EQ(sample->length, c.resampled);
        int wrong = 0;
        for (int64_t k = 0; k < c.resampled; k++)
            wrong += sample->data[k] != source[k * c.numerator / c.denominator];
        EXPECT_EQ(wrong, 0) << c.length << " at " << c.rate;
        free_voice(voice);
    }
}

TEST(Mixer, RefusesVoicesAndRatesItCannotPlay)
{
    ReadbackAudio audio(22050, 64);
    std::vector<uint8_t> data(1 << 20, 128);
    struct Case {
        int length;
        const uint8_t *bytes;
        int rate;
    } cases[] = {
        {0, data.data(), 0},
        {-5, data.data(), 0},
        {16, nullptr, 0},
        {16, data.data(), -1},
        {1, data.data(), 44100},      // resamples to nothing
        {1 << 20, data.data(), 1},    // far beyond the longest voice
    };
    for (const Case &c : cases)
        EXPECT_EQ(create_voice(audio.handle, c.length, c.bytes, c.rate), nullptr)
            << c.length << " " << c.rate;

    AudioVoice *voice = audio.voice(std::vector<uint8_t>(16, 128));
    EXPECT_EQ(set_voice_rate(voice, 0), 0);
    EXPECT_EQ(set_voice_rate(voice, -44100), 0);
    EXPECT_EQ(mixer_voice(voice)->rate, 22050);
    EXPECT_EQ(set_voice_rate(voice, 11025), 1);
    EXPECT_EQ(mixer_voice(voice)->rate, 11025);
    free_voice(voice);
}

TEST(Mixer, HugeRatesWrapAShortLoopModuloItsLength)
{
    const int rate = 22050, fragment = 690, f = 1000000;
    ReadbackAudio audio(rate, fragment);
    std::vector<uint8_t> data = {200, 60, 150};
    AudioVoice *voice = audio.voice(data);
    set_voice_loop(voice, 1);
    set_voice_pan(voice, -0x8000);
    set_voice_rate(voice, f);
    play_voice(voice);
    // The step: f div rate whole samples and (f mod rate) * floor(2^31 / rate) in 31 bits.
    int64_t whole = f / rate, part = (int64_t)(f % rate) * (((int64_t)1 << 31) / rate);
    int64_t n = 0;
    for (int fragments = 0; fragments < 3; fragments++) {
        std::vector<uint8_t> left = channel(audio.mix(1), 0);
        for (int i = 0; i < fragment; i++, n++) {
            int64_t position = (n * whole + ((n * part) >> 31)) % 3;
            ASSERT_EQ(left[i], output_byte(level_value(31, data[position]))) << n;
        }
        EXPECT_EQ(get_voice_position(voice), (n * whole + ((n * part) >> 31)) % 3);
    }
    // Unheard, it advances whole samples per fragment, still within the loop.
    set_voice_volume(voice, 0);
    audio.mix(1);   // the fade to the next sign change
    int before = get_voice_position(voice);
    audio.mix(1);
    EXPECT_EQ(get_voice_position(voice), (before + (int64_t)fragment * f / rate) % 3);
    free_voice(voice);
}

TEST(Mixer, DuplicatesShareTheSampleAndInheritTheSettings)
{
    ReadbackAudio audio(22050, 32);
    AudioVoice *original = audio.voice(std::vector<uint8_t>(50, 228));
    set_voice_rate(original, 11025);
    set_voice_volume(original, 0x4000);
    set_voice_pan(original, -0x8000);
    set_voice_loop(original, 1);
    play_voice(original);
    AudioVoice *copy = duplicate_voice(original);
    ASSERT_NE(copy, nullptr);
    const MixerVoice *a = mixer_voice(original), *b = mixer_voice(copy);
    EXPECT_EQ(b->sample, a->sample);
    EXPECT_EQ(a->sample->references, 2);
    EXPECT_EQ(b->rate, 11025);
    EXPECT_EQ(b->volume, 0x4000);
    EXPECT_EQ(b->pan, -0x8000);
    EXPECT_TRUE(b->flags & MIXER_LOOP);
    EXPECT_FALSE(b->flags & (MIXER_LINKED | MIXER_RESTART | MIXER_FINISHED));
    EXPECT_EQ(b->nodes[0].level, a->nodes[0].level);

    // Stopping the original leaves the copy; freeing it keeps the data alive.
    play_voice(copy);
    stop_voice(original);
    audio.mix(2);
    EXPECT_FALSE(mixer_voice(original)->flags & MIXER_LINKED);
    EXPECT_TRUE(b->flags & MIXER_LINKED);
    free_voice(original);
    EXPECT_EQ(b->sample->references, 1);
    std::vector<uint8_t> left = channel(audio.mix(1), 0);
    EXPECT_EQ(left, std::vector<uint8_t>(32, output_byte(level_value(b->nodes[0].level, 228))));
    free_voice(copy);
}
