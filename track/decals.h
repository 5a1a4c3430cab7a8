// Ground decals: textured rectangles laid flat on the terrain, read from the
// track folder's "decals" file.
#pragma once

#include <cstdint>

struct GameFile;
struct Terrain;

struct Decal {
    uint8_t *image;        // RGBA with mip chain (texture mode 1), owned by the image cache
    int image_width;
    int image_height;
    int texture;           // texture modes 2 and 3
    int normal_texture;    // "_tnorm" companion, 0 when none
    int specular_texture;  // "_tspec" companion, 0 when none
    float x, z;            // centre on the ground, feet
    float angle;           // about the vertical, radians
    float width;           // feet
    float aspect;          // length / width
    float sine, cosine;
    char *name;            // as read or copied (owned), or null
};

// Half sizes of the decal's bounding rectangle in x and z.
void decal_half_extents(const Decal *decal, float *hx, float *hz);
// Creates the terrain's empty decal array and decal grid.
int create_decal_storage(Terrain *terrain);
void free_decal_storage(Terrain *terrain);
int load_decals(Terrain *terrain, GameFile *file);
// The name a decal was read or copied with, or null.
const char *get_decal_name(const Decal *decal);
