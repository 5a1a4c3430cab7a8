// A bike's contacts with the world of one tic: the terrain, then the track
// objects near it found through the object grid.
#pragma once

struct BikeState;

void collide_bike_with_world(BikeState *bike);
// The objects half of collide_bike_with_world (after the terrain).
void collide_bike_with_objects(BikeState *bike);
// The terrain searches of many bikes at once, side by side on the work
// pool, each into its own buffer (index i for bikes[i]); 1 when done, 0 when
// they are off or out of memory (then nothing was searched). Each bike's
// contacts are then made by apply_terrain_search in the order the bikes'
// collide_bike_with_terrain calls would have come, so that the physics
// library gets the same calls in the same order.
int search_terrain_for_bikes(BikeState *const *bikes, int count);
void apply_terrain_search(BikeState *bike, int index);
// 1 (the default): the race tic searches the terrain for all its bikes at
// once; 0: each bike is searched as its contacts are made.
extern int batch_terrain_searches;
// The bike against one statue (as posed, or unturned when its yaw power is
// set); a hit stamps the statue with the tic. The part bits touched.
int collide_bike_with_statue(BikeState *bike, int index);
// Frees the scratch lists of the object merge and the terrain search
// buffers.
void free_world_contact_lists(void);
