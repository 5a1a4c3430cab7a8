// The auto pilot. Until robot riders follow lines, a robot has personality
// row 1 and waits parked, as a robot without a line does.
#include "race/autopilot.h"

#include "bike/bike_state.h"

void autopilot_pick_line(BikeState *bike)
{
    if (bike->personality == 0)
        return;
    bike->throttle = 0.0f;
    bike->clutch = 0.0f;
    bike->front_brake = 1.0f;
    bike->rear_brake = 1.0f;
    bike->steer = 0.0f;
    bike->dab = bike->crash_timer > 0 ? 0.0f : 1.0f;
}

void set_auto_pilot_personality(BikeState *bike, const char *)
{
    bike->personality = 1;
}

int find_line_target_point(BikeState *, float *, int)
{
    return 0;
}
