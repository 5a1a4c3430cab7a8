// Small textures of the data set: the white colour, the roost clod, lens
// flare elements, flagger billboards, trees, the tape stakes and the
// start gate, the ground tiles with their variants and grass-dirt
// transitions, and the decals.
#pragma once

#include "tools/datagen/gen_output.h"

// The ground tile kinds in tileinfo order.
enum GroundTile {
    TILE_DIRT, TILE_DIRT_ALT1, TILE_DIRT_ALT2,
    TILE_HARDPACK, TILE_HARDPACK_ALT1,
    TILE_GRASS, TILE_GRASS_ALT1, TILE_GRASS_ALT2,
    TILE_SAND, TILE_SAND_ALT1,
    TILE_TRANSITIONS,    // grass-dirt transitions: TILE_TRANSITIONS + mask - 1, mask 1..14
    GROUND_TILE_COUNT = TILE_TRANSITIONS + 14,
};
enum { TILE_IMAGE_SIZE = 64 };

// The texture game path of a tile kind ("@tiles/dirt.png" ...).
void ground_tile_texture(int tile, char *out, int n);
// The tile kind of a grass-dirt square from the corners that show dirt:
// bit 3 = (-x, -z), 2 = (+x, -z), 1 = (-x, +z), 0 = (+x, +z).
int transition_tile(int dirt_corners);
// The tileinfo text of every kind: names, textures, friction, rolling
// resistance, roost and erosion values.
int encode_tileinfo(ByteBuffer *out);

int generate_textures(DataSet *set);

// Texture names used by the tracks.
extern const char *const WHITE_TEXTURE;      // "@colors/white.png"
extern const char *const ROOST_TEXTURE;      // "@roost.png"
extern const char *const FLARE_TEXTURES[3];
extern const char *const START_FLAGGER_TEXTURES[5];
extern const char *const LAP_FLAGGER_TEXTURES[4];
extern const char *const FLAGGER_TEXTURES[2];   // standing, waving the yellow flag
extern const char *const TREE_TEXTURES[2];
extern const char *const STAKE_TEXTURE;
extern const char *const CONCRETE_PAD_TEXTURE;
