// Small physics helpers of the bike code: the lean angle of a body and the
// drag of a body toward a velocity.
#pragma once

#include <ode/ode.h>

// -pi/2..pi/2: 0 for an upright body whatever its pitch.
float get_bike_lean(dBodyID body);
// Pulls the body's velocity toward the target with at most the strength
// (pound-force); nothing within 0.25 ft/s of it.
void drag_body_to_velocity(dBodyID body, float strength, const float *target);
