// The pictures of the start-up screens and the race instruments: the
// tachometer face, the gear indicator, the pit board and the title.
#pragma once

#include "tools/datagen/gen_output.h"

// The tachometer's dial: 0 rpm sits at -135 degrees (0 = straight up,
// clockwise), 16,000 at +135, as the needle turns.
enum { TACH_MAX_RPM = 16000 };
float tach_angle_degrees(float rpm);

int generate_hud_pictures(DataSet *set);
