// A bike's contacts with the world of one tic: the terrain, then the track
// objects near it found through the object grid.
#pragma once

struct BikeState;

void collide_bike_with_world(BikeState *bike);
// The bike against one statue (as posed, or unturned when its yaw power is
// set); a hit stamps the statue with the tic. The part bits touched.
int collide_bike_with_statue(BikeState *bike, int index);
// Frees the scratch lists of the object merge.
void free_world_contact_lists(void);
