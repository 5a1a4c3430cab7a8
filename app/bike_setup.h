// The player's bike setup as the race applies it.
#pragma once

struct BikeState;

// Copies the setup of the settings into the player's bike.
void apply_bike_setup(BikeState *bike);
// Each setup entry takes its current value as unchanged.
void reset_bike_setup_changes(void);
