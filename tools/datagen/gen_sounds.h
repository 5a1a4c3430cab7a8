// Engine sounds: the five class defaults "@default50.braap" ..
// "@default450f.braap", each with a pipe, its torque range, a minimum rpm
// and a sound table of recordings of firings synthesised here.
#pragma once

#include "tools/datagen/gen_output.h"

enum { ENGINE_CLASS_COUNT = 5 };

extern const char *const ENGINE_CLASSES[ENGINE_CLASS_COUNT];   // "50", "125", "250", "250f", "450f"

int generate_engine_sounds(DataSet *set);
