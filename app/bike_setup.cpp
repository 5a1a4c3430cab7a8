// The player's bike setup. Until the setup menus exist the bike keeps the
// default setup it was built with.
#include "app/bike_setup.h"

void apply_bike_setup(BikeState *)
{
}

void reset_bike_setup_changes(void)
{
}
