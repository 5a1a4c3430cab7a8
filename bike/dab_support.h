// Dab support: a rider with a foot down at low speed holds the bike up,
// turns a fallen bike back toward the racing line, and is marked finished
// once the leader has finished.
#pragma once

struct BikeState;

void support_stopped_bike(BikeState *bike);
