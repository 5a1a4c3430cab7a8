// The 160 bike records and the per-slot pointers.
#include "bike/bike_state.h"

#include <cstring>

#include "bike/bike_create.h"

BikeState bike_states[BIKE_SLOT_COUNT];
BikeState *bike_slots[BIKE_SLOT_COUNT];

void clear_bike_states(void)
{
    // A bike still built would leave its bodies, arrays and shapes behind.
    for (BikeState &bike : bike_states)
        free_bike(&bike);
    memset(bike_states, 0, sizeof bike_states);
    memset(bike_slots, 0, sizeof bike_slots);
}

BikeState *get_slot_bike(int slot)
{
    if ((unsigned)slot >= BIKE_SLOT_COUNT)
        return nullptr;
    return bike_slots[slot];
}

const BikeModel *get_bike_state_model(const BikeState *bike)
{
    const BikeModel *model = get_bike_model(bike->model_index);
    return model ? model : &bike_models[0];
}
