// The personality table of robot riders and the choice of a row by key.
#include "race/personalities.h"

#include <cstring>

#include "bike/bike_state.h"
#include "platform/log.h"
#include "race/autopilot.h"

const AutoPilotPersonality auto_pilot_personalities[AUTO_PILOT_PERSONALITY_ROWS] = {
    {"empty", 0, 0, 0.0f, 0.0f, 0.0f},
    {"grell", 0, 0, 1.0f, 0.2f, 0.4f},
    {"sundo", 2, 1, 10.0f, 0.2f, 0.4f},
    {"vapp", 1, 0, 10.0f, 0.0f, 0.1f},
    {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

const AutoPilotPersonality *get_bike_personality(const BikeState *bike)
{
    int row = bike->personality;
    if (row < 1 || row >= AUTO_PILOT_PERSONALITY_ROWS)
        row = 1;
    return &auto_pilot_personalities[row];
}

void set_auto_pilot_personality(BikeState *bike, const char *key)
{
    for (int row = 1; row < AUTO_PILOT_PERSONALITY_ROWS; row++)
        if (key && !strcmp(key, auto_pilot_personalities[row].key)) {
            bike->personality = row;
            return;
        }
    log_printf("auto pilot personality '%s' not found\n", key ? key : "");
    bike->personality = 1;
}
