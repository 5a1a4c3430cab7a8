// The SDL driver: what it sends out is what the readback driver mixes from
// the same voices, its options, and a device that stops taking fragments.
#include "platform/audio.h"
#include "platform/audio_sdl.h"
#include "platform/time.h"
#include "support/test_support.h"
#include "tests/platform/audio_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Two voices off the output rate: a looping ramp at the centre and a
// one-shot at the right made from a 11025 Hz recording.
struct TwoVoices {
    AudioVoice *ramp;
    AudioVoice *shot;

    explicit TwoVoices(int handle)
    {
        std::vector<uint8_t> ramp_data(500), shot_data(3000);
        for (int i = 0; i < 500; i++)
            ramp_data[i] = (uint8_t)(200 - i % 150);
        for (int i = 0; i < 3000; i++)
            shot_data[i] = (uint8_t)(i % 2 ? 30 + i % 40 : 220 - i % 50);
        ramp = create_voice(handle, 500, ramp_data.data(), 0);
        shot = create_voice(handle, 3000, shot_data.data(), 11025);
        EXPECT_NE(ramp, nullptr);
        EXPECT_NE(shot, nullptr);
        set_voice_loop(ramp, 1);
        set_voice_rate(ramp, 33075);
        set_voice_volume(shot, 0x6000);
        set_voice_pan(shot, 0x5000);
        set_voice_rate(shot, 15000);
    }
};

std::vector<uint8_t> from_first_sound(const std::vector<uint8_t> &bytes)
{
    size_t i = 0;
    while (i < bytes.size() && bytes[i] == 128)
        i++;
    return std::vector<uint8_t>(bytes.begin() + (long)i, bytes.end());
}

// The readback mix of the same voices; the one-shot starts `late`
// fragments after the ramp (the two plays may straddle a fragment).
std::vector<uint8_t> readback_of_two_voices(int late, int fragments)
{
    ReadbackAudio audio(22050, 22050 / 64);
    TwoVoices voices(audio.handle);
    play_voice(voices.ramp);
    std::vector<uint8_t> out;
    for (int i = 0; i < fragments; i++) {
        if (i == late)
            play_voice(voices.shot);
        std::vector<uint8_t> bytes = audio.mix(1);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    free_voice(voices.ramp);
    free_voice(voices.shot);
    return from_first_sound(out);
}

}  // namespace

TEST(SdlAudio, SendsOutTheBytesTheReadbackDriverMixes)
{
    std::string path = test_dir() + "/disk-audio.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("VOKE_OPTIONS", "[dsnd:off][sound-mixahead:500]", 1);
    int handle = open_audio(nullptr);
    ASSERT_NE(handle, 0);
    ASSERT_EQ(active_audio_driver, &sdl_audio_driver);
    TwoVoices voices(handle);
    play_voice(voices.ramp);
    play_voice(voices.shot);
    sleep_for(1, 300000);
    close_audio(handle);
    free_voice(voices.ramp);   // their driver has closed: the records go
    free_voice(voices.shot);

    std::string file;
    ASSERT_TRUE(read_file(path, &file));
    std::vector<uint8_t> sent = from_first_sound(std::vector<uint8_t>(file.begin(), file.end()));
    ASSERT_GE(sent.size(), 8000u) << "bytes after the first sound";
    // The audio thread may mix a fragment or more between the two plays
    // when this thread is held up (a busy machine): find the fragment.
    bool matched = false;
    for (int late = 0; late < 16 && !matched; late++) {
        std::vector<uint8_t> mixed = readback_of_two_voices(late, 200);
        size_t n = sent.size() < mixed.size() ? sent.size() : mixed.size();
        matched = std::equal(sent.begin(), sent.begin() + (long)n, mixed.begin());
    }
    EXPECT_TRUE(matched);
}

TEST(SdlAudio, OptionsSetRateFragmentAndMixahead)
{
    struct Case {
        const char *options;
        int rate, fragment, mixahead;
        const char *log_line;
    } cases[] = {
        {"", 22050, 344, 8, "Waveout mixahead: 125"},
        {"[sound-mixahead:5]", 22050, 344, 1, "Waveout mixahead: 15"},
        {"[sound-mixahead:1000]", 22050, 344, 32, "Waveout mixahead: 500"},
        {"[sound-mixahead:-40]", 22050, 344, 1, "Waveout mixahead: 15"},
        {"[sound-rate:44100]", 44100, 689, 8, "Waveout rate: 44100"},
        {"[sound-rate:4000]", 22050, 344, 8, "Waveout rate: 22050"},
        {"[sound-rate:500000]", 22050, 344, 8, "Waveout rate: 22050"},
        {"[sound-channels:3]", 22050, 344, 8, "Waveout channels: 3"},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string log = test_dir() + "/options-" + std::to_string(n++) + ".txt";
        std::string err;
        int status = run_in_child([&] {
            setenv("VOKE_LOGFILE", log.c_str(), 1);
            setenv("VOKE_OPTIONS", (std::string("[dsnd:off]") + c.options).c_str(), 1);
            int handle = open_audio(nullptr);
            int rate, fragment, mixahead;
            get_sdl_audio_layout(&rate, &fragment, &mixahead);
            fprintf(stderr, "layout %d %d %d\n", rate, fragment, mixahead);
            close_audio(handle);
            get_sdl_audio_layout(&rate, &fragment, &mixahead);
            fprintf(stderr, "closed %d %d %d\n", rate, fragment, mixahead);
        }, &err);
        EXPECT_EQ(status, 0);
        char expected[80];
        snprintf(expected, sizeof expected, "layout %d %d %d\nclosed 0 0 0\n", c.rate, c.fragment,
                 c.mixahead);
        EXPECT_NE(err.find(expected), std::string::npos) << c.options << ": " << err;
        std::string text;
        ASSERT_TRUE(read_file(log, &text));
        EXPECT_NE(text.find(c.log_line), std::string::npos) << c.options << ": " << text;
        EXPECT_NE(text.find("Audio thread end"), std::string::npos) << text;
    }
}

TEST(SdlAudio, AStuckDeviceIsResetWithoutHoldingTheGameUp)
{
    std::string log = test_dir() + "/stuck.txt";
    setenv("VOKE_LOGFILE", log.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (test_dir() + "/stuck.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "2500", 1);   // the device takes one fragment per 2.5 s
    setenv("VOKE_OPTIONS", "[dsnd:off]", 1);
    int handle = open_audio(nullptr);
    ASSERT_NE(handle, 0);
    sleep_for(2, 300000);

    uint64_t start = clock_milliseconds();
    uint8_t data[1000];
    for (int i = 0; i < 1000; i++)
        data[i] = (uint8_t)(i * 13);
    AudioVoice *voice = create_voice(handle, 1000, data, 0);
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(play_voice(voice), 1);
    EXPECT_EQ(set_voice_volume(voice, 0x1234), 1);
    EXPECT_EQ(write_voice_data(voice, 10, data, 5), 1);
    get_voice_position(voice);
    free_voice(voice);
    EXPECT_LT(clock_milliseconds() - start, 500u);

    start = clock_milliseconds();
    close_audio(handle);
    EXPECT_LT(clock_milliseconds() - start, 6000u);   // SDL's own wait for its device included

    std::string text;
    ASSERT_TRUE(read_file(log, &text));
    size_t first = text.find("Audio thread: Timeout on fragment");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find("Audio thread: Timeout on fragment", first + 1), std::string::npos)
        << "about one a second: " << text;
    EXPECT_NE(text.find("Audio thread end"), std::string::npos) << text;
}
