// The per-frame sound mix: engine samples for each rider, then rate, volume
// and pan of every engine voice and script sound from the listener's
// position, velocity and orientation.
#include "render/sound_mix.h"

#include "app/sound_settings.h"
#include "bike/bike_getters.h"
#include "bike/bike_state.h"
#include "bike/engine.h"
#include "platform/audio.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "render/camera.h"
#include "render/engine_sound.h"
#include "render/script_sound.h"

#include <cmath>

static const float NEAR_SQUARED = 1.0f / 1024.0f;   // 2^-10 square feet

float doppler_factor(const float *listener_position, const float *listener_velocity,
                     const float *source_position, const float *source_velocity)
{
    float d[3], squared = 0.0f;
    for (int k = 0; k < 3; k++) {
        d[k] = listener_position[k] - source_position[k];
        squared += d[k] * d[k];
    }
    if (squared <= NEAR_SQUARED)
        return 1.0f;
    float length = sqrtf(squared);
    float a = 0.0f, b = 0.0f;
    for (int k = 0; k < 3; k++) {
        a += listener_velocity[k] * d[k] / length;
        b += source_velocity[k] * d[k] / length;
    }
    float q = 1.0f - a / SPEED_OF_SOUND, u = 1.0f - b / SPEED_OF_SOUND;
    if (q > 8.0f * u)
        return 0.125f;
    float factor = q / u;
    return std::isfinite(factor) ? factor : 1.0f;
}

float distance_gain(float distance)
{
    float spread = 1.0f + (distance - 1.0f) / ROLLOFF_DISTANCE;
    if (std::isnan(spread))
        return spread;   // mutes the voice
    return 1.0f / (spread > 1.0f ? spread : 1.0f);
}

int sound_pan(const float *listener_position, const float *camera, const float *source_position)
{
    float d[3], squared = 0.0f;
    for (int k = 0; k < 3; k++) {
        d[k] = source_position[k] - listener_position[k];
        squared += d[k] * d[k];
    }
    if (!(squared >= NEAR_SQUARED))
        return 0;
    float length = sqrtf(squared);
    float side = (d[0] * camera[0] + d[1] * camera[3] + d[2] * camera[6]) / length * 0x7FFF;
    if (!std::isfinite(side))
        return 0;
    return (int)(side < -0x7FFF ? -0x7FFF : side > 0x7FFF ? 0x7FFF : side);
}

static float distance_between(const float *a, const float *b)
{
    float squared = 0.0f;
    for (int k = 0; k < 3; k++)
        squared += (a[k] - b[k]) * (a[k] - b[k]);
    return sqrtf(squared);
}

// Clamped in float, then truncated; a value that is not a number gives low.
static int clamp_to_int(float value, int low, int high)
{
    if (!(value >= (float)low))
        return low;
    if (value >= (float)high)
        return high;
    return (int)value;
}

static void place_voice(AudioVoice *voice, float rate, float volume, const float *position)
{
    set_voice_rate(voice, clamp_to_int(rate, SOUND_RATE_MIN, SOUND_RATE_MAX));
    set_voice_volume(voice, clamp_to_int(volume, 0, VOICE_VOLUME_MAX));
    set_voice_pan(voice, sound_pan(camera_position, camera_matrix, position));
}

void mix_sounds(float frame_gain)
{
    float own = frame_gain * (float)volume_slider.value * 0.1f;
    float others = own * (float)comp_volume_slider.value * 0.1f;

    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = get_slot_bike(slot);
        EngineSound *sound = &engine_sounds[slot];
        if (!bike || !sound->voice)
            continue;
        float level = is_rider_hidden(slot) ? 0.0f : slot == followed_slot ? own : others;
        generate_engine_sound(sound, get_engine_rpm(bike), get_engine_torque(bike));
        dBodyID body = get_bike_body(bike);
        float position[3] = {0, 0, 0}, velocity[3] = {0, 0, 0};
        if (body) {
            const dReal *p = dBodyGetPosition(body);
            const dReal *v = dBodyGetLinearVel(body);
            for (int k = 0; k < 3; k++) {
                position[k] = (float)p[k];
                velocity[k] = (float)v[k];
            }
        }
        float doppler = doppler_factor(camera_position, camera_velocity, position, velocity);
        float gain = distance_gain(distance_between(camera_position, position));
        place_voice(sound->voice, (float)ENGINE_RATE * doppler, sound->level * level * gain * 32767.0f,
                    position);
    }

    for (int i = 0; i < script_sound_count; i++) {
        ScriptSound *sound = &script_sounds[i];
        float gain = sound->volume * distance_gain(distance_between(camera_position, sound->position));
        if (!std::isfinite(gain))
            gain = 0.0f;   // muted this frame
        gain = gain < 0.0f ? 0.0f : gain > 1.0f ? 1.0f : gain;
        float doppler = doppler_factor(camera_position, camera_velocity, sound->position,
                                       sound->velocity);
        place_voice(sound->voice, sound->frequency * doppler, gain * others * 32767.0f,
                    sound->position);
    }
}
