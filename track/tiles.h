// Ground tile kinds: the TileInfo record with its friction, rolling
// resistance, dirt-spray kinds and erosion values, the "tileinfo" parser and
// the transition-tile corner codes.
#pragma once

#include <cstdint>

struct GameFile;
struct Terrain;

enum {
    TILE_SLOTS = 256,
    TILE_CURVE_POINTS = 8,
    TILE_ROOST_KINDS = 4,
    TILE_ERODE_LIMITS = 8,
    TILE_NAME_LENGTH = 47,
    TILE_ERODE_RADIUS_CELLS = 16,   // largest rut radius, in grid cells
};

// One kind of dirt spray thrown by a wheel.
struct RoostType {
    int flag;            // 0 absent, 1 present, 2 present and a splash
    int texture;
    float count;
    float dig;
    float slip_threshold;
    float slow_angle;
    float fast_angle;
    float slow_speed;
    float fast_speed;
    float size;
    float grow;
    float drag;
    float vscale;
    float randomize;
    uint8_t colour[4];   // r, g, b, a
    int8_t fade[4];      // change per tic
};

// How the tyres rut one kind of ground.
struct ErosionValues {
    float erode_depth;
    float erode_lower;
    float erode_upper;
    float erode_displacement;
    float erode_radius;
    float erode_inner_depth;
    float erode_inner_radius;
    float erode_min_slope;
    float erode_max_slope;
    float erode_off_speed;
    float erode_on_speed;
    float erode_slip_lower;
    float erode_slip_upper;
    float erode_slip_base_scale;
    float erode_slip_scale;
    float erode_downhill_scale;
    float limit_depth[TILE_ERODE_LIMITS];
    float limit_value2[TILE_ERODE_LIMITS];
    float limit_value3[TILE_ERODE_LIMITS];
    float erode_project_to_ground;
    float erode_lateral_scale;
    float erode_front_scale;
    int limit_count;     // 1..8
};

struct TileInfo {
    char name[TILE_NAME_LENGTH + 1];
    float friction_value[TILE_CURVE_POINTS];
    float friction_speed[TILE_CURVE_POINTS];
    int slip_function;   // 0..2; a value outside is warned about and kept as read
    float roll_resist_value[TILE_CURVE_POINTS][2];
    float roll_resist_speed[TILE_CURVE_POINTS];
    RoostType roost[TILE_ROOST_KINDS];
    ErosionValues erosion;
    int texture;
    uint8_t *image;      // RGBA with mip chain, owned by the image cache
    int image_width;
    int image_height;
    uint32_t corner_code;
};

// Sets every field of a tile under construction to its default.
void roost_defaults(TileInfo *tile);
// Parses one "roost" value into the next roost kind of the tile.
void tileinfo_parse_roost(TileInfo *tile, const char *value);
int parse_tileinfo(Terrain *terrain, GameFile *file);
// Reads the older "texturelist" format into the terrain's tiles.
int parse_texturelist(Terrain *terrain, GameFile *file);
// The corner code of a tile from its base name, or -1.
int parse_transition_tile_name(const char *name, const char *const *names, int count);
// The base name of a texture string (after '@', from the last '/' on, '/'
// included), into out.
void tile_texture_base_name(const char *texture, char *out, int size);
// Computes the corner codes of all tiles from their base names.
void compute_tile_corner_codes(Terrain *terrain, char (*base_names)[1024]);
