// The OpenAL driver on a loopback device: the volume curve, gain and pan,
// rates, restarts, duplicates, streaming as the engine synthesis writes,
// and nothing left behind at close.
#include "platform/audio.h"
#include "platform/audio_openal.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <AL/al.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int RATE = 22050;

struct LoopbackAudio {
    int handle;

    LoopbackAudio()
    {
        use_openal_loopback(RATE);
        handle = open_audio(nullptr);
        EXPECT_NE(handle, 0);
        EXPECT_EQ(active_audio_driver, &openal_audio_driver);
    }
    ~LoopbackAudio()
    {
        close_audio(handle);
        use_openal_loopback(0);
    }

    // Renders frames; left and right channels apart. A failed render fails
    // the caller's ASSERT_TRUE and leaves the channels as they were.
    [[nodiscard]] testing::AssertionResult render(int frames, std::vector<float> *left,
                                                  std::vector<float> *right = nullptr)
    {
        std::vector<float> out(2 * (size_t)frames);
        if (render_openal_loopback(out.data(), frames) != 1)
            return testing::AssertionFailure() << "the loopback device rendered no frames";
        for (int i = 0; i < frames; i++) {
            if (left)
                left->push_back(out[2 * i]);
            if (right)
                right->push_back(out[2 * i + 1]);
        }
        return testing::AssertionSuccess();
    }

    AudioVoice *voice(const std::vector<uint8_t> &data, int rate = 0)
    {
        return create_voice(handle, (int)data.size(), data.data(), rate);
    }
};

std::vector<uint8_t> wave(int length)
{
    std::vector<uint8_t> data(length);
    for (int i = 0; i < length; i++)
        data[i] = (uint8_t)(128 + (int)lround(100 * sin(i * 0.07)));
    return data;
}

float sample_value(uint8_t byte)
{
    return (float)(byte - 128) / 128.0f;
}

}  // namespace

TEST(OpenalAudio, VolumeCurveInHundredthsOfADecibel)
{
    struct Case {
        int volume, centibels;
    } cases[] = {
        {0x3FFF, -603}, {0, -10000}, {-5, -10000}, {0x7FFF, 0}, {40000, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(volume_attenuation(c.volume), c.centibels) << c.volume;
    for (int v = 1; v <= 0x7FFF; v++)
        ASSERT_GE(volume_attenuation(v), volume_attenuation(v - 1)) << v;
    EXPECT_GT(volume_attenuation(1), -10000);
}

namespace {

// A plain OpenAL source playing the data where a voice of that volume and
// pan belongs: straight ahead at distance 1 for pan 0, on the front
// half-circle at x = pan / 0x7FFF otherwise, at the gain of the volume
// curve. Renders it alone on the loopback device.
testing::AssertionResult render_reference(const std::vector<uint8_t> &data, int volume, int pan, int frames,
                                          std::vector<float> *left, std::vector<float> *right)
{
    ALuint buffer = 0, source = 0;
    alGetError();
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO8, data.data(), (ALsizei)data.size(), RATE);
    alGenSources(1, &source);
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcei(source, AL_BUFFER, (ALint)buffer);
    float x = (float)pan / 0x7FFF;
    alSourcef(source, AL_GAIN, powf(10.0f, (float)volume_attenuation(volume) / 2000.0f));
    alSource3f(source, AL_POSITION, x, 0.0f, -sqrtf(1.0f - x * x));
    alSourcePlay(source);
    ALenum error = alGetError();
    std::vector<float> out(2 * (size_t)frames);
    int rendered = render_openal_loopback(out.data(), frames);
    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
    if (error != AL_NO_ERROR || rendered != 1)
        return testing::AssertionFailure() << "the reference source did not render (AL error " << error << ")";
    for (int i = 0; i < frames; i++) {
        left->push_back(out[2 * i]);
        right->push_back(out[2 * i + 1]);
    }
    return testing::AssertionSuccess();
}

}  // namespace

// Volume and pan as channel gains: the ends of the pan and silence exactly;
// the centre and the points between sample for sample as OpenAL renders a
// source placed where the mapping puts it (the centre both channels alike).
TEST(OpenalAudio, VolumeAndPanSetTheChannelGains)
{
    LoopbackAudio audio;
    EXPECT_EQ(mix_readback_fragment(audio.handle), nullptr);
    std::vector<uint8_t> data = wave(400);
    const float half = powf(10.0f, -603.0f / 2000.0f);
    struct Case {
        int volume, pan;
        float left, right;   // gain per channel; < 0: as the reference source
    } cases[] = {
        {0x7FFF, -0x7FFF, 1.0f, 0.0f},
        {0x7FFF, 0x7FFF, 0.0f, 1.0f},
        {0x7FFF, -40000, 1.0f, 0.0f},   // clamped to the left end
        {0x3FFF, -0x7FFF, half, 0.0f},
        {0, -0x7FFF, 0.0f, 0.0f},
        {0, 0, 0.0f, 0.0f},
        {0x7FFF, 0, -1.0f, -1.0f},
        {0x3FFF, 0, -1.0f, -1.0f},
        {0x7FFF, -0x4000, -1.0f, -1.0f},
        {0x3FFF, 0x6000, -1.0f, -1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << ", pan " << c.pan);
        AudioVoice *voice = audio.voice(data);
        ASSERT_NE(voice, nullptr);
        EXPECT_EQ(set_voice_volume(voice, c.volume), 1);
        EXPECT_EQ(set_voice_pan(voice, c.pan), 1);
        play_voice(voice);
        std::vector<float> left, right;
        ASSERT_TRUE(audio.render(300, &left, &right));
        free_voice(voice);
        std::vector<float> want_left, want_right;
        if (c.left < 0.0f) {
            ASSERT_TRUE(render_reference(data, c.volume, c.pan, 300, &want_left, &want_right));
        } else {
            for (int i = 0; i < 300; i++) {
                want_left.push_back(sample_value(data[i]) * c.left);
                want_right.push_back(sample_value(data[i]) * c.right);
            }
        }
        for (int i = 0; i < 300; i++) {
            ASSERT_NEAR(left[i], want_left[i], 1e-5) << "at " << i;
            ASSERT_NEAR(right[i], want_right[i], 1e-5) << "at " << i;
            if (c.pan == 0) {
                ASSERT_EQ(left[i], right[i]) << "at " << i;
            }
        }
        // The reference is heard: a centred source keeps more than a third
        // of its level in each channel.
        if (c.pan == 0 && c.volume == 0x7FFF) {
            EXPECT_GT(fabsf(left[18]), 0.3f * fabsf(sample_value(data[18])));
        }
    }
}

TEST(OpenalAudio, SetRateChangesTheAdvanceOfRateZeroVoicesOnly)
{
    LoopbackAudio audio;
    AudioVoice *voice = audio.voice(wave(RATE * 2));
    AudioVoice *fixed = audio.voice(wave(RATE * 2), 11025);
    set_voice_loop(voice, 1);
    play_voice(voice);
    play_voice(fixed);
    ASSERT_TRUE(audio.render(1000, nullptr));
    EXPECT_EQ(get_voice_position(voice), 1000);
    EXPECT_EQ(get_voice_position(fixed), 500);
    EXPECT_EQ(set_voice_rate(voice, 2 * RATE), 1);
    EXPECT_EQ(set_voice_rate(fixed, 2 * RATE), 0);   // made with its own rate
    EXPECT_EQ(set_voice_rate(voice, 0), 0);
    ASSERT_TRUE(audio.render(1000, nullptr));
    EXPECT_EQ(get_voice_position(voice), 3000);
    EXPECT_EQ(get_voice_position(fixed), 1000);
    free_voice(voice);
    free_voice(fixed);
}

TEST(OpenalAudio, PlayRestartsFromTheBeginning)
{
    LoopbackAudio audio;
    std::vector<uint8_t> data = wave(5000);
    AudioVoice *voice = audio.voice(data);
    set_voice_pan(voice, -0x7FFF);
    play_voice(voice);
    std::vector<float> first, again;
    ASSERT_TRUE(audio.render(1000, &first));
    EXPECT_EQ(get_voice_position(voice), 1000);
    play_voice(voice);
    EXPECT_EQ(get_voice_position(voice), 0);
    ASSERT_TRUE(audio.render(300, &again));
    EXPECT_EQ(get_voice_position(voice), 300);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(again[i], first[i]) << i;
    // A one-shot that ended reports 0.
    ASSERT_TRUE(audio.render(5000, nullptr));
    EXPECT_EQ(get_voice_position(voice), 0);
    free_voice(voice);
}

TEST(OpenalAudio, ADuplicateInheritsTheSettingsAndOutlivesItsOriginal)
{
    LoopbackAudio audio;
    std::vector<uint8_t> data = wave(700);
    AudioVoice *original = audio.voice(data);
    set_voice_rate(original, 2 * RATE);
    set_voice_volume(original, 0x3FFF);
    set_voice_pan(original, 0x7FFF);
    set_voice_loop(original, 1);
    AudioVoice *copy = duplicate_voice(original);
    ASSERT_NE(copy, nullptr);
    free_voice(original);
    play_voice(copy);
    std::vector<float> left, right;
    ASSERT_TRUE(audio.render(1000, &left, &right));
    const float half = powf(10.0f, -603.0f / 2000.0f);
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(left[i], 0.0f) << i;
        // Twice the rate and looping: sample 2i of the data, wrapped.
        ASSERT_NEAR(right[i], sample_value(data[(2 * i) % 700]) * half, 1e-3) << i;
    }
    EXPECT_EQ(get_voice_position(copy), 2000 % 700);
    free_voice(copy);
}

TEST(OpenalAudio, StreamsWhatTheSynthesisWritesSampleExactAndRecoversAfterAStall)
{
    LoopbackAudio audio;
    const int length = 32768, lead = RATE / 10, frame = RATE / 60;
    AudioVoice *voice = audio.voice(std::vector<uint8_t>(length, 128));
    set_voice_loop(voice, 1);
    set_voice_pan(voice, -0x7FFF);
    play_voice(voice);
    auto pattern = [](int64_t s) {
        int v = (int)((s * 37 + s / 100) % 255);
        return (uint8_t)(v >= 128 ? v + 1 : v);   // never silence
    };
    int64_t written = 0;
    std::vector<float> left, right;
    auto run = [&](int frames, bool write) {
        for (int f = 0; f < frames; f++) {
            if (write) {
                int position = get_voice_position(voice);
                int ring = (int)(written % length);
                int count = (position - ring + lead + length) % length;
                std::vector<uint8_t> bytes(count);
                for (int k = 0; k < count; k++)
                    bytes[k] = pattern(written + k);
                EXPECT_EQ(write_voice_data(voice, count, bytes.data(), ring), 1);
                written += count;
            }
            ASSERT_TRUE(audio.render(frame, &left, &right));
        }
    };
    run(60, true);
    // Writes that make no sense change nothing.
    uint8_t junk[4] = {1, 2, 3, 4};
    EXPECT_EQ(write_voice_data(voice, -1, junk, 0), 0);
    EXPECT_EQ(write_voice_data(voice, 4, junk, -1), 0);
    EXPECT_EQ(write_voice_data(voice, 4, nullptr, 0), 0);
    size_t before_stall = left.size();
    run(30, false);   // the game stalls for half a second
    run(60, true);

    for (float r : right)
        ASSERT_EQ(r, 0.0f);
    // The stream in order, with one gap of silence where it ran dry.
    std::vector<float> heard;
    int gaps = 0;
    for (size_t i = 0; i < left.size(); i++) {
        if (left[i] != 0.0f)
            heard.push_back(left[i]);
        else if (i == 0 || left[i - 1] != 0.0f)
            gaps++;
    }
    EXPECT_EQ(gaps, 1);
    for (size_t i = 0; i < before_stall; i++)
        ASSERT_NE(left[i], 0.0f) << "no gap before the stall: " << i;
    ASSERT_GT(heard.size(), before_stall + (size_t)(50 * frame));
    for (size_t s = 0; s < heard.size(); s++)
        ASSERT_EQ(heard[s], sample_value(pattern((int64_t)s))) << s;
    free_voice(voice);
}

TEST(OpenalAudio, CloseLeavesNoOpenalObjectBehind)
{
    std::string log = test_dir() + "/openal.log";
    setenv("ALSOFT_LOGLEVEL", "3", 1);   // every line, warnings among them
    setenv("ALSOFT_LOGFILE", log.c_str(), 1);
    AudioVoice *kept[3];
    {
        LoopbackAudio audio;
        std::vector<uint8_t> data = wave(4000);
        AudioVoice *plain = audio.voice(data);
        AudioVoice *copy = duplicate_voice(plain);
        AudioVoice *stream = audio.voice(data);
        AudioVoice *gone = audio.voice(data);
        play_voice(plain);
        play_voice(stream);
        write_voice_data(stream, 3000, data.data(), 100);
        ASSERT_TRUE(audio.render(500, nullptr));
        write_voice_data(stream, 500, data.data(), 3100);
        free_voice(gone);
        kept[0] = plain;
        kept[1] = copy;
        kept[2] = stream;
    }
    for (AudioVoice *voice : kept) {
        EXPECT_EQ(voice->driver, nullptr);
        EXPECT_EQ(play_voice(voice), 0);
        free_voice(voice);
    }
    fflush(nullptr);   // the library's log stream too
    std::string text;
    ASSERT_TRUE(read_file(log, &text));
    EXPECT_NE(text.find("AL lib"), std::string::npos) << "the library's log is read";
    EXPECT_EQ(text.find("Deleted"), std::string::npos) << text;
    EXPECT_EQ(text.find("not deleted"), std::string::npos) << text;
}
