// The SDL driver ("waveout"): our own audio thread mixes fragments of
// rate / 64 samples just in time with the software mixer and queues them on
// an SDL device (no callback), keeping "sound-mixahead" worth in flight and
// resetting a device that stops taking them.
#include "platform/audio_sdl.h"

#include "platform/audio.h"

#include "core/alloc.h"
#include "platform/log.h"
#include "platform/mixer.h"
#include "platform/mutex.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <pthread.h>

enum {
    FRAGMENTS_PER_SECOND = 64,
    MIXAHEAD_MAX = 32,             // fragments in flight
    RATE_MIN = 8000,
    RATE_MAX = 192000,
    DEFAULT_RATE = 22050,
    WAIT_MILLISECONDS = 15,        // between looks at a full queue
    STUCK_MILLISECONDS = 1000,     // a queue that long without progress is reset
};

struct SdlAudioState {
    int handle;                       // 0 while closed
    SDL_AudioDeviceID device;
    int fragment_bytes;
    int mixahead;                     // fragments kept in flight, 1..32
    std::atomic<int> fragments_written;
    std::atomic<int> stop_requested;  // watched by every wait of the thread
    std::atomic<int> error_seen;
    int thread_started;
    pthread_t thread;
    Mutex mixer_mutex;                // every voice operation and each mix
    MixerState mixer;
    uint8_t *block;                   // accumulators, then one fragment of output
};

static SdlAudioState sdl_audio;

static int fragments_in_flight(void)
{
    return (int)(SDL_GetQueuedAudioSize(sdl_audio.device) / (Uint32)sdl_audio.fragment_bytes);
}

static void *audio_thread(void *)
{
    log_printf("Audio thread begin\n");
    while (!sdl_audio.stop_requested.load()) {
        int written = ++sdl_audio.fragments_written;
        lock_mutex(&sdl_audio.mixer_mutex);
        mix_fragment(&sdl_audio.mixer);
        unlock_mutex(&sdl_audio.mixer_mutex);
        if (SDL_QueueAudio(sdl_audio.device, sdl_audio.mixer.output,
                           (Uint32)sdl_audio.fragment_bytes) != 0) {
            log_printf("Audio thread: Write error\n");
            sdl_audio.error_seen = 1;
            SDL_Delay(WAIT_MILLISECONDS);
            continue;
        }
        if (written < sdl_audio.mixahead || fragments_in_flight() < sdl_audio.mixahead)
            continue;
        // The oldest fragment must be played before the next is mixed.
        Uint64 since = SDL_GetTicks64();
        SDL_Delay(WAIT_MILLISECONDS);
        while (!sdl_audio.stop_requested.load() && fragments_in_flight() >= sdl_audio.mixahead) {
            if (SDL_GetTicks64() - since >= STUCK_MILLISECONDS) {
                SDL_ClearQueuedAudio(sdl_audio.device);
                log_printf("Audio thread: Timeout on fragment %d\n",
                           sdl_audio.fragments_written.load());
                since = SDL_GetTicks64();
            } else {
                SDL_Delay(WAIT_MILLISECONDS);
            }
        }
    }
    log_printf("Audio thread end\n");
    return nullptr;
}

static void close_device(void)
{
    SDL_ClearQueuedAudio(sdl_audio.device);
    SDL_CloseAudioDevice(sdl_audio.device);
    sdl_audio.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

static int sdl_open(GameWindow *)
{
    log_printf("Opening waveOut audio...\n");
    if (sdl_audio.handle) {
        log_printf("Audio already open\n");
        return 0;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log_printf("No audio device\n");
        return 0;
    }
    const char *driver_name = SDL_GetCurrentAudioDriver();
    log_printf("Found a %s\n", driver_name ? driver_name : "sound device");

    int budget = voke_option_int("sound-channels", 16);
    int rate = voke_option_int("sound-rate", DEFAULT_RATE);
    if (rate < RATE_MIN || rate > RATE_MAX)
        rate = DEFAULT_RATE;
    int fragment = rate / FRAGMENTS_PER_SECOND;
    int64_t mixahead = (int64_t)voke_option_int("sound-mixahead", 125) * FRAGMENTS_PER_SECOND / 1000;
    sdl_audio.mixahead = (int)(mixahead < 1 ? 1 : mixahead > MIXAHEAD_MAX ? (int64_t)MIXAHEAD_MAX : mixahead);
    log_printf("Waveout rate: %d\n", rate);
    log_printf("Waveout channels: %d\n", budget);
    log_printf("Waveout mixahead: %d\n", sdl_audio.mixahead * 1000 / FRAGMENTS_PER_SECOND);

    // Unsigned 8-bit stereo, as the mixer makes it; SDL converts if it must.
    SDL_AudioSpec want = {}, have = {};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 2;
    want.samples = (Uint16)fragment;
    want.callback = nullptr;
    sdl_audio.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!sdl_audio.device) {
        log_printf("Can't open waveOut\n");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }

    sdl_audio.fragment_bytes = fragment * 2;
    sdl_audio.block = (uint8_t *)checked_malloc((size_t)fragment * 10);
    if (!sdl_audio.block ||
        !init_mixer(&sdl_audio.mixer, &sdl_audio_driver, rate, fragment, 1, budget)) {
        log_printf("malloc() failed\n");
        checked_free(sdl_audio.block);
        sdl_audio.block = nullptr;
        close_device();
        return 0;
    }
    sdl_audio.mixer.left = (int32_t *)sdl_audio.block;
    sdl_audio.mixer.right = sdl_audio.mixer.left + fragment;
    sdl_audio.mixer.output = (uint8_t *)(sdl_audio.mixer.right + fragment);
    init_mutex(&sdl_audio.mixer_mutex);

    sdl_audio.fragments_written = 0;
    sdl_audio.stop_requested = 0;
    sdl_audio.error_seen = 0;
    if (pthread_create(&sdl_audio.thread, nullptr, audio_thread, nullptr) != 0) {
        log_printf("Can't create thread\n");
        destroy_mutex(&sdl_audio.mixer_mutex);
        checked_free(sdl_audio.block);
        sdl_audio.block = nullptr;
        close_device();
        return 0;
    }
    sdl_audio.thread_started = 1;
    SDL_PauseAudioDevice(sdl_audio.device, 0);
    sdl_audio.handle = new_audio_handle();
    log_printf("Audio opened!\n");
    return sdl_audio.handle;
}

static void sdl_close(int handle)
{
    if (!sdl_audio.handle || handle != sdl_audio.handle) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    log_printf("Closing audio\n");
    if (sdl_audio.thread_started) {
        sdl_audio.stop_requested = 1;
        pthread_join(sdl_audio.thread, nullptr);
        sdl_audio.thread_started = 0;
    }
    close_device();
    release_mixer_voices(&sdl_audio.mixer);
    destroy_mutex(&sdl_audio.mixer_mutex);
    checked_free(sdl_audio.block);
    sdl_audio.block = nullptr;
    sdl_audio.handle = 0;
}

void get_sdl_audio_layout(int *rate, int *fragment_samples, int *mixahead)
{
    int open = sdl_audio.handle != 0;
    *rate = open ? sdl_audio.mixer.rate : 0;
    *fragment_samples = open ? sdl_audio.mixer.fragment_samples : 0;
    *mixahead = open ? sdl_audio.mixahead : 0;
}

static int sdl_update(int)
{
    return 1;
}

static uint8_t *sdl_mix_readback_fragment(int)
{
    return nullptr;
}

static int sdl_open_readback(int, int, int)
{
    return 0;
}

// Every voice operation runs under the mixer mutex.
#define LOCKED(call)                              \
    do {                                          \
        lock_mutex(&sdl_audio.mixer_mutex);       \
        auto result = (call);                     \
        unlock_mutex(&sdl_audio.mixer_mutex);     \
        return result;                            \
    } while (0)

static AudioVoice *sdl_create_voice(int handle, int length, const uint8_t *data, int rate)
{
    if (!sdl_audio.handle || handle != sdl_audio.handle)
        return nullptr;
    LOCKED((AudioVoice *)mixer_create_voice(&sdl_audio.mixer, length, data, rate));
}

static AudioVoice *sdl_duplicate_voice(AudioVoice *voice)
{
    LOCKED((AudioVoice *)mixer_duplicate_voice((MixerVoice *)voice));
}

static void sdl_free_voice(AudioVoice *voice)
{
    lock_mutex(&sdl_audio.mixer_mutex);
    mixer_free_voice((MixerVoice *)voice);
    unlock_mutex(&sdl_audio.mixer_mutex);
}

static int sdl_play(AudioVoice *voice)
{
    LOCKED(mixer_play_voice((MixerVoice *)voice));
}

static int sdl_stop(AudioVoice *voice)
{
    LOCKED(mixer_stop_voice((MixerVoice *)voice));
}

static int sdl_set_rate(AudioVoice *voice, int rate)
{
    LOCKED(mixer_set_voice_rate((MixerVoice *)voice, rate));
}

static int sdl_set_volume(AudioVoice *voice, int volume)
{
    LOCKED(mixer_set_voice_volume((MixerVoice *)voice, volume));
}

static int sdl_set_pan(AudioVoice *voice, int pan)
{
    LOCKED(mixer_set_voice_pan((MixerVoice *)voice, pan));
}

static int sdl_set_loop(AudioVoice *voice, int loop)
{
    LOCKED(mixer_set_voice_loop((MixerVoice *)voice, loop));
}

static int sdl_position(AudioVoice *voice)
{
    LOCKED(mixer_get_voice_position((MixerVoice *)voice));
}

static int sdl_write(AudioVoice *voice, int count, const uint8_t *bytes, int offset)
{
    LOCKED(mixer_write_voice_data((MixerVoice *)voice, count, bytes, offset));
}

#undef LOCKED

const AudioDriver sdl_audio_driver = {
    sdl_open,           sdl_open_readback,   sdl_close,       sdl_update,
    sdl_mix_readback_fragment, sdl_create_voice, sdl_duplicate_voice, sdl_free_voice,
    sdl_play,           sdl_stop,            sdl_set_rate,    sdl_set_volume,
    sdl_set_pan,        sdl_set_loop,        sdl_position,    sdl_write,
};
