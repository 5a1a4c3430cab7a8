// Lean angle and velocity drag.
#include "bike/physics_utils.h"

#include <cmath>

#include "bike/physics_world.h"
#include "bike/rider_pose.h"

float get_bike_lean(dBodyID body)
{
    if (!body)
        return 0.0f;
    const dReal *r = dBodyGetRotation(body);   // rows of 4
    double rotation[9] = {r[0], r[1], r[2], r[4], r[5], r[6], r[8], r[9], r[10]};
    return compute_lean_angle(rotation);
}

void drag_body_to_velocity(dBodyID body, float strength, const float *target)
{
    if (!body)
        return;
    const dReal *v = dBodyGetLinearVel(body);
    double d[3] = {v[0] - target[0], v[1] - target[1], v[2] - target[2]};
    double length2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    if (!(length2 >= 0.0625))
        return;
    double length = std::sqrt(length2);
    double size = std::fmin(1.0, 0.8 * (length - 0.25));
    double scale = -strength * size / length;
    add_body_force(body, d[0] * scale, d[1] * scale, d[2] * scale);
}
