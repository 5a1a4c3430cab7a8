// Script sounds: loading a sound file into a voice (shared with an earlier
// slot of the same name), and the setters behind the script functions.
#include "render/script_sound.h"

#include "app/shell.h"
#include "core/alloc.h"
#include "core/message.h"
#include "platform/audio.h"
#include "render/sound_table.h"

#include <cmath>
#include <cstring>

ScriptSound script_sounds[SCRIPT_SOUND_SLOTS];
int script_sound_count;

// The high byte of each 16-bit little-endian sample, made unsigned.
static AudioVoice *read_script_voice(const char *name)
{
    int size;
    uint8_t *bytes = read_sound_file(name, &size);
    int samples = size / 2;   // an odd last byte is dropped
    AudioVoice *voice = nullptr;
    if (bytes && samples > 0) {
        for (int i = 0; i < samples; i++)
            bytes[i] = (uint8_t)(bytes[2 * i + 1] - 128);
        voice = create_voice(audio_handle, samples, bytes, 0);
    }
    checked_free(bytes);
    return voice;
}

int load_script_sound(const char *name)
{
    if (script_sound_count >= SCRIPT_SOUND_SLOTS)
        return -1;
    if (!name)
        return 0;
    AudioVoice *voice = nullptr;
    int shared = 0;
    for (int i = 0; i < script_sound_count; i++)
        if (!strcmp(script_sounds[i].name, name)) {
            voice = duplicate_voice(script_sounds[i].voice);
            shared = 1;
            break;
        }
    if (!shared)
        voice = read_script_voice(name);
    if (!voice)
        return 0;
    int slot = script_sound_count++;
    ScriptSound *sound = &script_sounds[slot];
    memset(sound, 0, sizeof *sound);
    sound->voice = voice;
    sound->name = intern_string(name);
    set_voice_loop(voice, 0);
    set_voice_volume(voice, 0);
    return slot;
}

static ScriptSound *used_slot(int slot)
{
    return slot >= 0 && slot < script_sound_count ? &script_sounds[slot] : nullptr;
}

int start_script_sound(int slot)
{
    ScriptSound *sound = used_slot(slot);
    return sound ? play_voice(sound->voice) : 0;
}

int stop_script_sound(int slot)
{
    ScriptSound *sound = used_slot(slot);
    return sound ? stop_voice(sound->voice) : 0;
}

int set_script_sound_loop(int slot, int loop)
{
    ScriptSound *sound = used_slot(slot);
    return sound ? set_voice_loop(sound->voice, loop ? 1 : 0) : 0;
}

int set_script_sound_freq(int slot, float frequency)
{
    ScriptSound *sound = used_slot(slot);
    if (!sound || !std::isfinite(frequency))
        return 0;
    sound->frequency = frequency;
    return 1;
}

int set_script_sound_vol(int slot, float volume)
{
    ScriptSound *sound = used_slot(slot);
    if (!sound || !std::isfinite(volume))
        return 0;
    sound->volume = volume;
    return 1;
}

static int set_vector(float *field, float x, float y, float z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return 0;
    field[0] = x;
    field[1] = y;
    field[2] = z;
    return 1;
}

int set_script_sound_pos(int slot, float x, float y, float z)
{
    ScriptSound *sound = used_slot(slot);
    return sound ? set_vector(sound->position, x, y, z) : 0;
}

int set_script_sound_vel(int slot, float x, float y, float z)
{
    ScriptSound *sound = used_slot(slot);
    return sound ? set_vector(sound->velocity, x, y, z) : 0;
}

void free_script_sounds(void)
{
    for (int i = 0; i < script_sound_count; i++) {
        free_voice(script_sounds[i].voice);
        script_sounds[i].voice = nullptr;
    }
    script_sound_count = 0;
}
