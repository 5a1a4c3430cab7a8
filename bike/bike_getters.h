// Read-only views of a bike's state for the race, demos, results, HUD,
// sound, shell and scripts.
#pragma once

#include <ode/ode.h>

struct BikeState;

// 1 when the rider is down and has not finished, else 0.
int is_rider_down(const BikeState *bike);
float get_clutch(const BikeState *bike);
float get_throttle(const BikeState *bike);
int get_gear(const BikeState *bike);
dBodyID get_rider_body(const BikeState *bike);
// The frame body: the body whose position and velocity are the bike's.
dBodyID get_bike_body(const BikeState *bike);
const char *get_bike_model_name(const BikeState *bike);
const char *get_bike_model_class(const BikeState *bike);
const char *get_rider_number_text(const BikeState *bike);
// The names of the skins in use, or null when none is loaded.
const char *get_rider_texture_name(const BikeState *bike);
const char *get_head_texture_name(const BikeState *bike);
const char *get_bike_texture_name(const BikeState *bike);
const char *get_wheel_texture_name(const BikeState *bike);
