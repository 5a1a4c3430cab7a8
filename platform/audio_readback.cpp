// The readback driver: plays nothing, mixes the voices into memory one
// fragment at a time when asked (recording), on the caller's thread and
// without a lock.
#include "platform/audio.h"

#include "core/alloc.h"
#include "platform/log.h"
#include "platform/mixer.h"

enum {
    READBACK_RATE_MAX = 1000000,
    READBACK_FRAGMENT_MAX = 1 << 20,
};

struct ReadbackState {
    int handle;           // 0 while closed
    MixerState mixer;
    uint8_t *buffer;      // left and right accumulators, then the output
};

static ReadbackState readback;

static int readback_open(GameWindow *)
{
    return 0;
}

static int readback_open_for_readback(int, int rate, int fragment_samples)
{
    log_printf("Opening readback audio...\n");
    if (readback.handle || rate <= 0 || rate > READBACK_RATE_MAX || fragment_samples <= 0 ||
        fragment_samples > READBACK_FRAGMENT_MAX)
        return 0;
    int budget = voke_option_int("sound-channels", 16);
    if (!init_mixer(&readback.mixer, &readback_audio_driver, rate, fragment_samples, 1, budget))
        return 0;
    // 4 + 4 bytes of accumulators and 2 of output per sample.
    readback.buffer = (uint8_t *)checked_malloc((size_t)fragment_samples * 10);
    if (!readback.buffer) {
        log_printf("Malloc failed\n");
        return 0;
    }
    readback.mixer.left = (int32_t *)readback.buffer;
    readback.mixer.right = readback.mixer.left + fragment_samples;
    readback.mixer.output = (uint8_t *)(readback.mixer.right + fragment_samples);
    readback.handle = new_audio_handle();
    log_printf("Audio opened!\n");
    return readback.handle;
}

static void readback_close(int handle)
{
    if (!readback.handle || handle != readback.handle)
        return;
    release_mixer_voices(&readback.mixer);
    checked_free(readback.buffer);
    readback.buffer = nullptr;
    readback.handle = 0;
}

static int readback_update(int)
{
    return 1;
}

static uint8_t *readback_mix_fragment(int handle)
{
    if (!readback.handle || handle != readback.handle)
        return nullptr;
    mix_fragment(&readback.mixer);
    return readback.mixer.output;
}

static AudioVoice *readback_create_voice(int handle, int length, const uint8_t *data, int rate)
{
    if (!readback.handle || handle != readback.handle)
        return nullptr;
    return (AudioVoice *)mixer_create_voice(&readback.mixer, length, data, rate);
}

static AudioVoice *readback_duplicate_voice(AudioVoice *voice)
{
    return (AudioVoice *)mixer_duplicate_voice((MixerVoice *)voice);
}

static void readback_free_voice(AudioVoice *voice)
{
    mixer_free_voice((MixerVoice *)voice);
}

static int readback_play(AudioVoice *voice)
{
    return mixer_play_voice((MixerVoice *)voice);
}

static int readback_stop(AudioVoice *voice)
{
    return mixer_stop_voice((MixerVoice *)voice);
}

static int readback_set_rate(AudioVoice *voice, int rate)
{
    return mixer_set_voice_rate((MixerVoice *)voice, rate);
}

static int readback_set_volume(AudioVoice *voice, int volume)
{
    return mixer_set_voice_volume((MixerVoice *)voice, volume);
}

static int readback_set_pan(AudioVoice *voice, int pan)
{
    return mixer_set_voice_pan((MixerVoice *)voice, pan);
}

static int readback_set_loop(AudioVoice *voice, int loop)
{
    return mixer_set_voice_loop((MixerVoice *)voice, loop);
}

static int readback_position(AudioVoice *voice)
{
    return mixer_get_voice_position((MixerVoice *)voice);
}

static int readback_write(AudioVoice *voice, int count, const uint8_t *bytes, int offset)
{
    return mixer_write_voice_data((MixerVoice *)voice, count, bytes, offset);
}

const AudioDriver readback_audio_driver = {
    readback_open,       readback_open_for_readback, readback_close,
    readback_update,     readback_mix_fragment,      readback_create_voice,
    readback_duplicate_voice, readback_free_voice,   readback_play,
    readback_stop,       readback_set_rate,          readback_set_volume,
    readback_set_pan,    readback_set_loop,          readback_position,
    readback_write,
};
