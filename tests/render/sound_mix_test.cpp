// The 3-D sound mix: pitch, distance gain and pan; script sounds and engine
// voices brought up to date by mix_sounds, read back from the voices.
#include "render/sound_mix.h"

#include "app/shell.h"
#include "app/sound_settings.h"
#include "bike/bike_create.h"
#include "platform/audio.h"
#include "platform/mixer.h"
#include "race/history.h"
#include "race/race_control.h"
#include "render/camera.h"
#include "render/engine_sound.h"
#include "render/script_sound.h"
#include "support/test_support.h"
#include "tests/bike/bike_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const MixerVoice *state_of(AudioVoice *voice)
{
    return (const MixerVoice *)voice;
}

// 16-bit little-endian samples as a file.
std::string sound_file(const std::vector<int16_t> &samples)
{
    std::string bytes;
    for (int16_t s : samples) {
        bytes += (char)(s & 0xff);
        bytes += (char)((s >> 8) & 0xff);
    }
    return bytes;
}

struct OpenReadback {
    OpenReadback() { audio_handle = open_readback_audio(0, 44100, 735); }
    ~OpenReadback()
    {
        free_script_sounds();
        close_audio(audio_handle);
        audio_handle = 0;
    }
};

void put_listener(float x, float y, float z)
{
    camera_position[0] = x;
    camera_position[1] = y;
    camera_position[2] = z;
}

}  // namespace

TEST(SoundMix, PitchDistanceGainAndPan)
{
    const float C = SPEED_OF_SOUND, here[3] = {0, 0, 0};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    struct Case {
        const char *label;
        float listener_velocity[3];
        float source[3];
        float source_velocity[3];
        float doppler;     // NaN: not checked
        float gain;        // NaN: must be NaN
        int pan;
    } cases[] = {
        {"at the listener", {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 1, 1, 0},
        {"within 2^-5 ft", {0, 0, 0}, {0.01f, 0, 0}, {900, 0, 0}, 1, 1, 0},
        {"right", {0, 0, 0}, {10, 0, 0}, {0, 0, 0}, 1, 48.0f / 57, 0x7FFF},
        {"left", {0, 0, 0}, {-10, 0, 0}, {0, 0, 0}, 1, 48.0f / 57, -0x7FFF},
        {"ahead", {0, 0, 0}, {0, 0, -49}, {0, 0, 0}, 1, 0.5f, 0},
        {"half right", {0, 0, 0}, {10, 0, 10}, {0, 0, 0}, 1, NAN, 23169},
        {"one foot", {0, 0, 0}, {0, 1, 0}, {0, 0, 0}, 1, 1, 0},
        {"approaching at c", {0, 0, 0}, {100, 0, 0}, {-C, 0, 0}, 0.125f, NAN, 0x7FFF},
        {"approaching at 2c", {0, 0, 0}, {100, 0, 0}, {-2 * C, 0, 0}, 0.125f, NAN, 0x7FFF},
        {"approaching at c/2", {0, 0, 0}, {100, 0, 0}, {-C / 2, 0, 0}, 2.0f, NAN, 0x7FFF},
        {"receding at c/2", {0, 0, 0}, {100, 0, 0}, {C / 2, 0, 0}, 1.0f / 1.5f, NAN, 0x7FFF},
        {"listener closing at c/2", {C / 2, 0, 0}, {100, 0, 0}, {0, 0, 0}, 1.5f, NAN, 0x7FFF},
        {"0/0", {-C, 0, 0}, {1, 0, 0}, {-C, 0, 0}, 1, 1, 0x7FFF},
        {"NaN source", {0, 0, 0}, {NAN, 0, 0}, {0, 0, 0}, 1, NAN, 0},
        {"NaN velocity", {0, 0, 0}, {100, 0, 0}, {NAN, 0, 0}, 1, NAN, 0x7FFF},
        {"infinite source", {0, 0, 0}, {INFINITY, 0, 0}, {0, 0, 0}, 1, 0, 0},
    };
    for (const Case &c : cases) {
        float doppler = doppler_factor(here, c.listener_velocity, c.source, c.source_velocity);
        EXPECT_FLOAT_EQ(doppler, c.doppler) << c.label;
        float r = sqrtf(c.source[0] * c.source[0] + c.source[1] * c.source[1] + c.source[2] * c.source[2]);
        float gain = distance_gain(r);
        if (std::isnan(c.source[0])) {
            EXPECT_TRUE(std::isnan(gain)) << c.label;   // mutes the voice
        } else if (!std::isnan(c.gain)) {
            EXPECT_FLOAT_EQ(gain, c.gain) << c.label;
        }
        EXPECT_EQ(sound_pan(here, identity, c.source), c.pan) << c.label;
    }
    // Pan follows the camera's first column.
    const float turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    const float behind[3] = {0, 0, 30};
    EXPECT_EQ(sound_pan(here, turned, behind), 0x7FFF);
}

TEST(SoundMix, ScriptSoundsLoadShareAndRefuse)
{
    std::vector<int16_t> samples = {0, 256, -256, 32767, -32768, 1000, -1000, 128, -129};
    write_file(test_data_dir() + "snd/a.raw", sound_file(samples) + "z");
    write_file(test_data_dir() + "snd/b.raw", sound_file({5000, -5000}));
    write_file(test_data_dir() + "snd/one.raw", "q");

    // Without audio nothing loads and no slot is taken.
    EXPECT_EQ(load_script_sound("@snd/a.raw"), 0);
    EXPECT_EQ(script_sound_count, 0);

    OpenReadback audio;
    EXPECT_EQ(load_script_sound("@snd/a.raw"), 0);
    EXPECT_EQ(load_script_sound("@snd/b.raw"), 1);
    EXPECT_EQ(load_script_sound("@snd/a.raw"), 2);
    EXPECT_EQ(load_script_sound("@snd/none.raw"), 0);   // unreadable: no slot
    EXPECT_EQ(load_script_sound("@snd/one.raw"), 0);    // no complete pair
    EXPECT_EQ(script_sound_count, 3);

    // The high byte of each sample, made unsigned.
    const MixerSample *data = state_of(script_sounds[0].voice)->sample;
    ASSERT_EQ(data->length, (int)samples.size());
    for (size_t i = 0; i < samples.size(); i++)
        EXPECT_EQ(data->data[i], (uint8_t)(((uint16_t)samples[i] >> 8) ^ 0x80)) << i;
    // One name, one sample buffer; each slot stops alone.
    EXPECT_EQ(state_of(script_sounds[2].voice)->sample, data);
    EXPECT_EQ(state_of(script_sounds[0].voice)->volume, 0);
    EXPECT_FALSE(state_of(script_sounds[0].voice)->flags & MIXER_LOOP);
    EXPECT_EQ(set_script_sound_loop(0, 7), 1);
    EXPECT_TRUE(state_of(script_sounds[0].voice)->flags & MIXER_LOOP);
    EXPECT_EQ(set_script_sound_loop(0, 0), 1);
    EXPECT_EQ(start_script_sound(0), 1);
    EXPECT_EQ(start_script_sound(2), 1);
    mix_readback_fragment(audio_handle);
    EXPECT_EQ(stop_script_sound(0), 1);
    mix_readback_fragment(audio_handle);
    EXPECT_FALSE(state_of(script_sounds[0].voice)->flags & MIXER_LINKED);
    EXPECT_EQ(get_voice_position(script_sounds[2].voice), 0);   // short: it ran out too
    set_script_sound_loop(2, 1);
    start_script_sound(2);
    mix_readback_fragment(audio_handle);
    stop_script_sound(0);
    mix_readback_fragment(audio_handle);
    EXPECT_TRUE(state_of(script_sounds[2].voice)->flags & MIXER_LINKED);

    // Setters keep the old value for what is not a number; bad slots do nothing.
    EXPECT_EQ(set_script_sound_freq(1, 8000), 1);
    EXPECT_EQ(set_script_sound_freq(1, NAN), 0);
    EXPECT_EQ(set_script_sound_vol(1, 0.5f), 1);
    EXPECT_EQ(set_script_sound_vol(1, INFINITY), 0);
    EXPECT_EQ(set_script_sound_pos(1, 1, 2, 3), 1);
    EXPECT_EQ(set_script_sound_pos(1, 1, NAN, 3), 0);
    EXPECT_EQ(set_script_sound_vel(1, 4, 5, 6), 1);
    EXPECT_EQ(set_script_sound_vel(1, 4, 5, -INFINITY), 0);
    const ScriptSound &kept = script_sounds[1];
    EXPECT_EQ(kept.frequency, 8000);
    EXPECT_EQ(kept.volume, 0.5f);
    EXPECT_EQ(kept.position[1], 2);
    EXPECT_EQ(kept.velocity[2], 6);
    for (int slot : {-1, 3, 255, 256, 100000}) {   // 3: not loaded yet
        EXPECT_EQ(start_script_sound(slot), 0);
        EXPECT_EQ(stop_script_sound(slot), 0);
        EXPECT_EQ(set_script_sound_loop(slot, 1), 0);
        EXPECT_EQ(set_script_sound_freq(slot, 1), 0);
        EXPECT_EQ(set_script_sound_vol(slot, 1), 0);
        EXPECT_EQ(set_script_sound_pos(slot, 1, 1, 1), 0);
        EXPECT_EQ(set_script_sound_vel(slot, 1, 1, 1), 0);
    }

    // A sound file is read up to 16 MiB.
    write_file(test_data_dir() + "snd/long.raw", std::string((16 << 20) + 1000, '\x7f'));
    int long_slot = load_script_sound("@snd/long.raw");
    ASSERT_EQ(long_slot, 3);
    EXPECT_EQ(state_of(script_sounds[long_slot].voice)->sample->length, 8 << 20);

    // 256 slots, then -1.
    while (script_sound_count < SCRIPT_SOUND_SLOTS) {
        int next = script_sound_count;
        ASSERT_EQ(load_script_sound("@snd/b.raw"), next);
    }
    EXPECT_EQ(load_script_sound("@snd/b.raw"), -1);
    EXPECT_EQ(load_script_sound("@snd/a.raw"), -1);
    free_script_sounds();
    EXPECT_EQ(script_sound_count, 0);
}

TEST(SoundMix, ScriptSoundVoicesFollowTheListener)
{
    write_file(test_data_dir() + "snd/tone.raw", sound_file({8000, -8000, 8000, -8000}));
    const float C = SPEED_OF_SOUND;
    struct Case {
        const char *label;
        float frequency, volume;
        float position[3], velocity[3];
        float frame_gain;
        int volume_setting, competitor_setting;
        int rate, voice_volume, pan;
    } cases[] = {
        {"at the listener", 8000, 1, {0, 0, 0}, {0, 0, 0}, 1, 10, 8, 8000, 26213, 0},
        {"frequency 0", 0, 1, {0, 0, 0}, {0, 0, 0}, 1, 10, 8, 100, 26213, 0},
        {"frequency huge", 1e9f, 1, {0, 0, 0}, {0, 0, 0}, 1, 10, 8, 1000000, 26213, 0},
        {"approaching at c", 8000, 1, {48, 0, 0}, {-C, 0, 0}, 1, 10, 8, 1000, 13244, 0x7FFF},
        {"receding on the left", 9000, 1, {-48, 0, 0}, {-C / 2, 0, 0}, 1, 10, 8, 6000, 13244, -0x7FFF},
        {"volume over 1", 8000, 5, {0, 0, 0}, {0, 0, 0}, 1, 10, 8, 8000, 26213, 0},
        {"negative volume", 8000, -1, {0, 0, 0}, {0, 0, 0}, 1, 10, 8, 8000, 0, 0},
        {"quiet frame", 8000, 1, {0, 0, 0}, {0, 0, 0}, 0.25f, 10, 8, 8000, 6553, 0},
        {"Volume 0", 8000, 1, {0, 0, 0}, {0, 0, 0}, 1, 0, 8, 8000, 0, 0},
        {"Competitor Volume 0", 8000, 1, {0, 0, 0}, {0, 0, 0}, 1, 10, 0, 8000, 0, 0},
        {"frame gain NaN", 8000, 1, {0, 0, 0}, {0, 0, 0}, NAN, 10, 8, 8000, 0, 0},
    };
    OpenReadback audio;
    put_listener(0, 0, 0);
    for (const Case &c : cases) {
        int slot = load_script_sound("@snd/tone.raw");
        ASSERT_GE(slot, 0);
        set_script_sound_freq(slot, c.frequency);
        set_script_sound_vol(slot, c.volume);
        set_script_sound_pos(slot, c.position[0], c.position[1], c.position[2]);
        set_script_sound_vel(slot, c.velocity[0], c.velocity[1], c.velocity[2]);
        volume_slider.value = c.volume_setting;
        comp_volume_slider.value = c.competitor_setting;
        mix_sounds(c.frame_gain);
        const MixerVoice *voice = state_of(script_sounds[slot].voice);
        EXPECT_NEAR(voice->rate, c.rate, 1) << c.label;
        EXPECT_NEAR(voice->volume, c.voice_volume, 1) << c.label;
        EXPECT_EQ(voice->pan, c.pan) << c.label;
    }
    // A sound that was never given a frequency plays at the floor, silent.
    int fresh = load_script_sound("@snd/tone.raw");
    mix_sounds(1.0f);
    EXPECT_EQ(state_of(script_sounds[fresh].voice)->rate, 100);
    EXPECT_EQ(state_of(script_sounds[fresh].voice)->volume, 0);
}

struct EngineMix : BikeWorld {
    OpenReadback *audio = nullptr;

    void SetUp() override
    {
        BikeWorld::SetUp();
        audio = new OpenReadback;
        ASSERT_NE(audio_handle, 0);
        for (int slot = 0; slot < 3; slot++) {
            BikeState *bike = create_bike("cr125", slot, 1, "1", nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(bike, nullptr);
            load_engine_sound(&engine_sounds[slot], bike, nullptr);
            ASSERT_NE(engine_sounds[slot].voice, nullptr);
        }
        rider_kind[0] = RIDER_LOCAL;
        rider_kind[1] = RIDER_ROBOT;
        clear_state_history();
        rider_kind[2] = RIDER_REMOTE;   // no states: not shown
        followed_slot = 0;
    }
    void TearDown() override
    {
        for (int slot = 0; slot < 3; slot++)
            free_engine_sound(&engine_sounds[slot]);
        delete audio;
        BikeWorld::TearDown();
    }
};

TEST_F(EngineMix, EngineVoicesFollowTheirRidersAndTheSettings)
{
    const dReal *p0 = dBodyGetPosition(bike_slots[0]->frame_body);
    const dReal *p1 = dBodyGetPosition(bike_slots[1]->frame_body);
    // The listener 30 ft along +x from the followed bike, closing at c/2.
    put_listener((float)p0[0] + 30, (float)p0[1], (float)p0[2]);
    camera_velocity[0] = -SPEED_OF_SOUND / 2;
    float r1 = 0;
    for (int k = 0; k < 3; k++)
        r1 += (camera_position[k] - (float)p1[k]) * (camera_position[k] - (float)p1[k]);
    r1 = sqrtf(r1);
    struct Case {
        int volume_setting, competitor_setting;
        float level1;   // the second rider's volume factor (old demos)
        int own, other;
    } cases[] = {
        {10, 8, 1, (int)(48.0f / 77 * 32767), (int)(0.8f * 48 / (r1 + 47) * 32767)},
        {10, 0, 1, (int)(48.0f / 77 * 32767), 0},
        {0, 8, 1, 0, 0},
        {10, 8, 0, (int)(48.0f / 77 * 32767), 0},
    };
    for (const Case &c : cases) {
        volume_slider.value = c.volume_setting;
        comp_volume_slider.value = c.competitor_setting;
        engine_sounds[1].level = c.level1;
        int before = engine_sounds[0].write_position;
        mix_sounds(1.0f);
        const MixerVoice *own = state_of(engine_sounds[0].voice);
        const MixerVoice *other = state_of(engine_sounds[1].voice);
        const MixerVoice *hidden = state_of(engine_sounds[2].voice);
        EXPECT_NEAR(own->volume, c.own, 1) << c.volume_setting << " " << c.competitor_setting;
        EXPECT_NEAR(other->volume, c.other, 1) << c.volume_setting << " " << c.competitor_setting;
        EXPECT_EQ(hidden->volume, 0);
        EXPECT_NEAR(own->rate, 66150, 1);   // 44100 x 1.5
        EXPECT_EQ(own->pan, -0x7FFF);
        EXPECT_NE(engine_sounds[0].write_position, before);   // this frame's samples
        EXPECT_NE(engine_sounds[2].write_position, 11025);    // hidden riders are synthesised too
        mix_readback_fragment(audio_handle);
    }
}
