// The sounds a race owns: one engine sound per rider slot and the voices the
// track script started.
#pragma once

struct BikeState;

struct EngineSound {
    int voice;     // 0 = none
    float level;   // old demos: 1 when the rider's record was read whole
};

extern EngineSound engine_sounds[160];

void load_engine_sound(EngineSound *sound, const BikeState *bike, const char *bike_texture);
void free_engine_sound(EngineSound *sound);
void free_script_sounds(void);
