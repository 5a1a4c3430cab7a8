// The audio front end: chooses and opens one driver, remembers it as the
// active one and forwards each call to its slot, refusing handles and voices
// that are not the active driver's.
#include "platform/audio.h"

#include "core/alloc.h"
#include "platform/log.h"

const AudioDriver *active_audio_driver;
static int active_handle;

int new_audio_handle(void)
{
    static int last;
    last = last == 0x7FFFFFFF ? 1 : last + 1;
    return last;
}

static int activate(const AudioDriver *driver, int handle)
{
    if (!handle)
        return 0;
    active_audio_driver = driver;
    active_handle = handle;
    set_fatal_close_hooks(close_audio, nullptr);
    return handle;
}

int open_audio(GameWindow *window)
{
    if (active_audio_driver)
        return 0;
    if (voke_option_bool("dsnd", 1)) {
        int handle = openal_audio_driver.open(window);
        if (handle)
            return activate(&openal_audio_driver, handle);
    }
    if (voke_option_bool("waveout", 1)) {
        int handle = sdl_audio_driver.open(window);
        if (handle)
            return activate(&sdl_audio_driver, handle);
    }
    return 0;
}

// A driver left open here could never be closed: the front end keeps one.
int open_readback_audio(int unused, int rate, int fragment_samples)
{
    if (active_audio_driver)
        return 0;
    return activate(&readback_audio_driver,
                    readback_audio_driver.open_readback(unused, rate, fragment_samples));
}

static int is_active_handle(int handle)
{
    return active_audio_driver && handle != 0 && handle == active_handle;
}

static int is_active_voice(const AudioVoice *voice)
{
    return voice && active_audio_driver && voice->driver == active_audio_driver;
}

void close_audio(int handle)
{
    if (!is_active_handle(handle))
        return;
    const AudioDriver *driver = active_audio_driver;
    active_audio_driver = nullptr;
    active_handle = 0;
    driver->close(handle);
}

int update_audio(int handle)
{
    return is_active_handle(handle) ? active_audio_driver->update(handle) : 0;
}

uint8_t *mix_readback_fragment(int handle)
{
    return is_active_handle(handle) ? active_audio_driver->mix_readback_fragment(handle) : nullptr;
}

AudioVoice *create_voice(int handle, int length, const uint8_t *data, int rate)
{
    if (!is_active_handle(handle))
        return nullptr;
    return active_audio_driver->create_voice(handle, length, data, rate);
}

AudioVoice *duplicate_voice(AudioVoice *voice)
{
    return is_active_voice(voice) ? active_audio_driver->duplicate_voice(voice) : nullptr;
}

void free_voice(AudioVoice *voice)
{
    if (!voice)
        return;
    if (!voice->driver)
        checked_free(voice);   // its driver closed and released the rest
    else if (is_active_voice(voice))
        active_audio_driver->free_voice(voice);
}

int play_voice(AudioVoice *voice)
{
    return is_active_voice(voice) ? active_audio_driver->play_voice(voice) : 0;
}

int stop_voice(AudioVoice *voice)
{
    return is_active_voice(voice) ? active_audio_driver->stop_voice(voice) : 0;
}

int set_voice_rate(AudioVoice *voice, int rate)
{
    return is_active_voice(voice) ? active_audio_driver->set_voice_rate(voice, rate) : 0;
}

int set_voice_volume(AudioVoice *voice, int volume)
{
    return is_active_voice(voice) ? active_audio_driver->set_voice_volume(voice, volume) : 0;
}

int set_voice_pan(AudioVoice *voice, int pan)
{
    return is_active_voice(voice) ? active_audio_driver->set_voice_pan(voice, pan) : 0;
}

int set_voice_loop(AudioVoice *voice, int loop)
{
    return is_active_voice(voice) ? active_audio_driver->set_voice_loop(voice, loop) : 0;
}

int get_voice_position(AudioVoice *voice)
{
    return is_active_voice(voice) ? active_audio_driver->get_voice_position(voice) : 0;
}

int write_voice_data(AudioVoice *voice, int count, const uint8_t *bytes, int offset)
{
    if (!is_active_voice(voice))
        return 0;
    return active_audio_driver->write_voice_data(voice, count, bytes, offset);
}
