// What the OpenAL driver ("dsnd") offers beyond its table: its volume curve
// and a loopback device that renders into memory instead of a sound card.
#pragma once

// Hundredths of a decibel for a linear volume 0..0x7FFF: -10000 at or below
// 0, 0 at or above 0x7FFF, interpolated in a 1025-entry table between.
int volume_attenuation(int volume);

// With a rate above 0, the driver's next open uses a loopback device of
// that rate (32-bit float stereo) in place of the default device; 0 goes
// back to the default device.
void use_openal_loopback(int rate);
// Renders frames of the open loopback device into out (left, right
// interleaved); 0 when no loopback device is open.
int render_openal_loopback(float *out, int frames);
