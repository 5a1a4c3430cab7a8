// The per-frame 3-D sound mix: engine voices and script sounds placed
// around the listener (the scene's camera) by pitch, distance and pan.
#pragma once

enum {
    SOUND_RATE_MIN = 100,          // Hz handed to a voice
    SOUND_RATE_MAX = 1000000,
};

static const float ROLLOFF_DISTANCE = 48.0f;   // feet

// The pitch factor of a moving source heard by a moving listener: 1 when
// they are within 2^-5 ft or the result is not a number, 0.125 when the
// listener's term passes 8 times the source's.
float doppler_factor(const float *listener_position, const float *listener_velocity,
                     const float *source_position, const float *source_velocity);
// 1 up to 1 ft, then 48 / (r + 47).
float distance_gain(float distance);
// -0x7FFF..0x7FFF from the direction of the source along the camera's
// first column; 0 for a source at the listener or directions that are not
// numbers.
int sound_pan(const float *listener_position, const float *camera, const float *source_position);

// Brings every engine voice and script sound up to date for this frame;
// the main loop passes its mix level (0, 0.25 or 1).
void mix_sounds(float frame_gain);
