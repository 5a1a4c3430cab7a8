// The 8 x 8 grid of decal buckets over the terrain: which decals touch a
// piece of ground.
#pragma once

#include "core/alloc.h"

struct Terrain;

// The grid cell (0..7) of a world coordinate.
int decal_grid_cell(const Terrain *terrain, float coordinate);
void add_decal_to_grid(Terrain *terrain, int decal);
void remove_decal_from_grid(Terrain *terrain, int decal);
void rebuild_decal_grid(Terrain *terrain);
void shift_decal_grid_indices(Terrain *terrain, int first, int delta);
// Decal indices of the covered buckets, once each, ascending; owned by the grid.
GrowableArray *find_decals_in_rect(Terrain *terrain, float x0, float z0, float x1, float z1);
