// The audio front end: which driver the options open, one driver at a time,
// calls with no driver or another driver's voice, and the fatal path.
#include "app/shell.h"
#include "core/alloc.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "support/test_support.h"
#include "tests/platform/audio_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Opens audio in a child with the given options and environment and
// reports which driver became active (or "none"), as its exit code.
int driver_opened_in_child(const char *options, const char *openal_drivers)
{
    return run_in_child([&] {
        setenv("VOKE_OPTIONS", options, 1);
        if (openal_drivers)
            setenv("ALSOFT_DRIVERS", openal_drivers, 1);
        int handle = open_audio(nullptr);
        int which = !handle ? 0 : active_audio_driver == &openal_audio_driver ? 1
                              : active_audio_driver == &sdl_audio_driver      ? 2
                                                                              : 3;
        if (handle)
            close_audio(handle);
        fflush(nullptr);
        _exit(which);
    });
}

}  // namespace

TEST(AudioFrontEnd, OptionsAndLibrariesChooseTheDriver)
{
    enum { NONE = 0, OPENAL = 1, SDL = 2 };
    struct Case {
        const char *options;
        const char *openal_drivers;
        int driver;
    } cases[] = {
        {"", nullptr, OPENAL},
        {"[dsnd:off]", nullptr, SDL},
        {"", "nosuch", SDL},                  // OpenAL finds no device
        {"[dsnd:off][waveout:off]", nullptr, NONE},
        {"[waveout:off]", "nosuch", NONE},
        {"[dsnd:yes][waveout:no]", nullptr, OPENAL},
    };
    for (const Case &c : cases)
        EXPECT_EQ(driver_opened_in_child(c.options, c.openal_drivers), c.driver)
            << c.options << " " << (c.openal_drivers ? c.openal_drivers : "");
}

TEST(AudioFrontEnd, OneDriverAtATime)
{
    setenv("VOKE_OPTIONS", "[dsnd:off]", 1);
    int handle = open_audio(nullptr);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(active_audio_driver, &sdl_audio_driver);
    EXPECT_EQ(open_audio(nullptr), 0);
    EXPECT_EQ(open_readback_audio(0, 22050, 344), 0);   // could never be closed
    EXPECT_EQ(active_audio_driver, &sdl_audio_driver);
    // Slot 4 belongs to the readback driver alone.
    EXPECT_EQ(mix_readback_fragment(handle), nullptr);
    EXPECT_EQ(update_audio(handle), 1);
    EXPECT_EQ(update_audio(handle + 1), 0);
    close_audio(handle + 1);   // not the active handle: nothing closes
    EXPECT_EQ(active_audio_driver, &sdl_audio_driver);
    close_audio(handle);
    EXPECT_EQ(active_audio_driver, nullptr);

    // After closing, another driver may open.
    int readback = open_readback_audio(0, 22050, 344);
    EXPECT_NE(readback, 0);
    EXPECT_NE(mix_readback_fragment(readback), nullptr);
    EXPECT_EQ(open_audio(nullptr), 0);
    close_audio(readback);
}

TEST(AudioFrontEnd, WithoutADriverEveryCallIsRefused)
{
    uint8_t data[16] = {128};
    AudioVoice foreign = {&sdl_audio_driver};   // claims a driver that is not open
    EXPECT_EQ(update_audio(1), 0);
    EXPECT_EQ(mix_readback_fragment(1), nullptr);
    EXPECT_EQ(create_voice(1, 16, data, 0), nullptr);
    for (AudioVoice *voice : {(AudioVoice *)nullptr, &foreign}) {
        EXPECT_EQ(duplicate_voice(voice), nullptr);
        EXPECT_EQ(play_voice(voice), 0);
        EXPECT_EQ(stop_voice(voice), 0);
        EXPECT_EQ(set_voice_rate(voice, 22050), 0);
        EXPECT_EQ(set_voice_volume(voice, 100), 0);
        EXPECT_EQ(set_voice_pan(voice, 0), 0);
        EXPECT_EQ(set_voice_loop(voice, 1), 0);
        EXPECT_EQ(get_voice_position(voice), 0);
        EXPECT_EQ(write_voice_data(voice, 4, data, 0), 0);
        free_voice(voice);   // nothing to do
    }
    close_audio(1);
}

TEST(AudioFrontEnd, VoicesOfAClosedDriverAreRefusedByTheNextAndFreedAlone)
{
    uint8_t data[64];
    for (int i = 0; i < 64; i++)
        data[i] = (uint8_t)(100 + i);
    AudioVoice *old_voice, *old_copy;
    {
        ReadbackAudio first(22050, 32);
        old_voice = first.voice(std::vector<uint8_t>(data, data + 64));
        old_copy = duplicate_voice(old_voice);
        play_voice(old_voice);
        ASSERT_NE(old_copy, nullptr);
    }
    EXPECT_EQ(old_voice->driver, nullptr);
    ReadbackAudio second(22050, 32);
    EXPECT_EQ(play_voice(old_voice), 0);
    EXPECT_EQ(set_voice_volume(old_voice, 0x7FFF), 0);
    EXPECT_EQ(write_voice_data(old_voice, 4, data, 0), 0);
    EXPECT_EQ(duplicate_voice(old_copy), nullptr);
    EXPECT_EQ(second.mix(1), std::vector<uint8_t>(64, 128));
    // Their records go with free_voice, their data went with the driver.
    free_voice(old_voice);
    free_voice(old_copy);
}

TEST(AudioFrontEnd, TheFatalPathClosesAnOpenDriver)
{
    std::string log = test_dir() + "/fatal-audio.txt";
    std::string err;
    int status = run_in_child([&] {
        setenv("VOKE_LOGFILE", log.c_str(), 1);
        setenv("VOKE_OPTIONS", "[dsnd:off]", 1);
        audio_handle = open_audio(nullptr);
        if (!audio_handle)
            _exit(7);
        uint8_t data[256];
        for (int i = 0; i < 256; i++)
            data[i] = (uint8_t)i;
        AudioVoice *voice = create_voice(audio_handle, 256, data, 0);
        set_voice_loop(voice, 1);
        play_voice(voice);
        fatal_out_of_memory();
    }, &err);
    EXPECT_EQ(status, 1) << err;
    std::string text;
    ASSERT_TRUE(read_file(log, &text));
    size_t opened = text.find("Audio opened!"), closing = text.find("Closing audio");
    EXPECT_NE(opened, std::string::npos) << text;
    EXPECT_NE(closing, std::string::npos) << text;
    EXPECT_NE(text.find("Audio thread end", closing), std::string::npos) << text;
    EXPECT_NE(err.find("Out of virtual memory"), std::string::npos) << err;
}
