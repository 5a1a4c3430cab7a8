// Engine sounds of the race. No audio is built yet: loading only clears
// the record and nothing plays.
#include "render/engine_sound.h"

EngineSound engine_sounds[160];

void load_engine_sound(EngineSound *sound, const BikeState *, const char *)
{
    sound->voice = 0;
    sound->level = 1.0f;
}

void free_engine_sound(EngineSound *sound)
{
    sound->voice = 0;
}

void free_script_sounds(void)
{
}
