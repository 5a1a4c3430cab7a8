// What the SDL driver ("waveout") chose when it opened.
#pragma once

// Output rate, samples per fragment and fragments kept in flight; all 0
// while the driver is closed.
void get_sdl_audio_layout(int *rate, int *fragment_samples, int *mixahead);
