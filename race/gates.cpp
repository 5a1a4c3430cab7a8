// A bike's gate record.
#include "race/gates.h"

#include "bike/bike_state.h"

int get_gate_time(const BikeState *bike, int gate)
{
    if (gate < 0 || gate >= bike->gate_times.count || !bike->gate_times.data)
        return -1;
    return ((const int *)bike->gate_times.data)[gate];
}
