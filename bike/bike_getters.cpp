// Bike getters.
#include "bike/bike_getters.h"

#include "bike/bike_state.h"
#include "render/texture.h"

int is_rider_down(const BikeState *bike)
{
    return bike->down && !bike->finished ? 1 : 0;
}

float get_clutch(const BikeState *bike)
{
    return bike->clutch;
}

float get_throttle(const BikeState *bike)
{
    return bike->throttle;
}

int get_gear(const BikeState *bike)
{
    return bike->gear;
}

dBodyID get_rider_body(const BikeState *bike)
{
    return bike->rider_body;
}

dBodyID get_bike_body(const BikeState *bike)
{
    return bike->frame_body;
}

const char *get_bike_model_name(const BikeState *bike)
{
    return get_bike_state_model(bike)->name;
}

const char *get_bike_model_class(const BikeState *bike)
{
    return get_bike_state_model(bike)->class_name;
}

const char *get_rider_number_text(const BikeState *bike)
{
    return bike->rider_number;
}

static const char *texture_name(int texture)
{
    return texture ? get_texture_name(texture) : nullptr;
}

const char *get_rider_texture_name(const BikeState *bike)
{
    return texture_name(bike->rider_texture);
}

const char *get_head_texture_name(const BikeState *bike)
{
    return texture_name(bike->helmet_texture);
}

const char *get_bike_texture_name(const BikeState *bike)
{
    return texture_name(bike->bike_texture);
}

const char *get_wheel_texture_name(const BikeState *bike)
{
    return texture_name(bike->wheel_texture);
}
