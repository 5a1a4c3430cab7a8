// The terrain height field: the Terrain record, height and normal sampling,
// ground bases for objects, digging, the dirty bookkeeping that tells the
// drawing code what to rebuild, and the budgeted level-of-detail error pass.
#pragma once

#include <cstdint>

#include "core/alloc.h"
#include "track/tiles.h"

enum {
    TERRAIN_MIN_EXPONENT = 7,     // smallest grid the windows and base blocks fit
    TERRAIN_MAX_EXPONENT = 13,
    TERRAIN_LOD_LEVELS = 6,       // level textures 0..5
    TERRAIN_LEVEL_WINDOW = 4,     // 4 x 4 level textures per level
    TERRAIN_LOW_DETAIL_SPAN = 384,
    TERRAIN_SCRATCH_SIDE = 512,
    DECAL_GRID_SIDE = 8,
    LOD_CENTRE_NONE = -1000000,
};

// No height and no extent goes beyond this (feet): products of heights,
// cells and extents in the normals and the level-of-detail pass stay finite.
constexpr float TERRAIN_COORDINATE_LIMIT = 1048576.0f;

// The 8 x 8 buckets of decal indices (ascending) and two scratch lists.
struct DecalGrid {
    GrowableArray buckets[DECAL_GRID_SIDE * DECAL_GRID_SIDE];
    GrowableArray scratch[2];
};

// Resumable state of the level-of-detail error pass.
struct LodPassState {
    int level;
    int node_row;
    int node_column;
    int half;
    int row;
    float running_max;
    int budget;
    int completed_counter;   // counter of the last completed pass; negated while running
    int running;
    float half_max[2];
};

struct Terrain {
    float *heights;             // side * side
    float *loaded_heights;      // same block as heights
    float *lod_error;           // 4P^2/3 (rounded up) entries
    float *lod_error_next;
    float *face_normals;        // 3 per triangle, 2 (side-1)^2 triangles
    int *low_detail_textures;   // c * c
    uint8_t *shading;           // side * side * 3
    uint8_t *normal_texels;     // side * side * 3, or null
    uint8_t *shadows;           // side * side
    uint8_t *tile_map;          // P * P
    uint32_t *lod_node_bits;
    uint32_t *low_detail_dirty;
    uint32_t *shading_dirty;
    uint32_t *normal_dirty;     // or null
    uint32_t *triangle_dirty;
    int *block_stamps;          // B * B
    int *block_textures[3];     // B * B per layer (colour, normal, specular)
    int level_textures[3][TERRAIN_LOD_LEVELS][TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW];
    int level_stamps[TERRAIN_LOD_LEVELS][TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW];
    int texture_mode;           // 1 TexSubImage, 2 CopyTexSubImage, 3 framebuffer objects
    int framebuffer;
    int texture_size;
    int normal_mapping;
    float extent;
    float cell;
    float double_cell;
    float lod_tolerance;
    float max_height;
    float min_height;           // widened by every height edit
    float loaded_min_height;    // the lowest height as loaded, fixed for the track's life
    float low_detail_scale;
    int grid_exponent;
    int side;
    int lod_centre_x;
    int lod_centre_z;
    TileInfo tiles[TILE_SLOTS];
    int tile_count;
    int change_counter;
    LodPassState lod_pass;
    uint8_t *scratch_image;     // 512 * 512 * 3
    GrowableArray decals;       // Decal records; data null when the terrain has none
    DecalGrid decal_grid;
    int decals_hidden;
    int low_detail_cursor;
    int low_detail_frame_counter;
    int current_stamp;          // the ground texture frame stamp
    int change_state;
    int edit_lock;

    // The camera of the drawing: the eye and view direction written by the
    // scene and the editor view before drawing, the camera cell written by
    // draw_terrain. lod_centre_x/z above is the cell of the last ground
    // texture update.
    float camera_eye[3];
    float camera_direction[3];
    int camera_cell_x;
    int camera_cell_z;
    int level_valid[TERRAIN_LOD_LEVELS][TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW];
    int composite_count;        // tiles and decals composited since the last update
    int ground_vertex_count;    // fan perimeter vertices drawn this frame
    int decal_draw_count;       // decals drawn into ground textures this frame
    uint8_t *composite_buffer;  // V x V RGB with its mip chain (software compositing)
    int ground_filters_set;     // the ground textures' filters follow the render mode
};

// The triangle of the grid cell under (fx, fz) in cells: the cell's
// diagonal alternates with its parity; corner columns a and b on row r,
// column a on row r2, and the weights u and v along them.
struct TriangleChoice {
    int a, b, r, r2;
    float u, v;
};
void choose_cell_triangle(float fx, float fz, TriangleChoice *choice);

extern Terrain *current_terrain;   // null while no track is loaded

// Sizes derived from the grid exponent.
int terrain_tile_side(const Terrain *terrain);          // P = 2^N
int terrain_triangle_count(const Terrain *terrain);     // 2 (side-1)^2
int terrain_lod_node_count(int exponent);               // nodes of levels 0..N
int terrain_low_detail_count(const Terrain *terrain);   // c per side
int terrain_block_count(const Terrain *terrain);        // B per side

// Bitmaps of the terrain (one bit per entry).
int terrain_bit(const uint32_t *bits, int index);
void terrain_set_bit(uint32_t *bits, int index);
void terrain_clear_bit(uint32_t *bits, int index);
uint32_t *allocate_terrain_bitmap(int bits, int set);   // null when out of memory

float sample_ground_height(const Terrain *terrain, float x, float z);
// Heights of another array of the same grid (the loaded heights).
float sample_height_array(const Terrain *terrain, const float *heights, float x, float z);
// The ground tile kind under (x, z): the tile map square of x / (2 cell)
// and z / (2 cell), clamped to the map (a coordinate that is not a number
// counts as 0). Tile 0 when the terrain has no tile map.
const TileInfo *terrain_tile_at(const Terrain *terrain, float x, float z);
void get_terrain_face_normal(const Terrain *terrain, float x, float z, float *normal);
// Height and face normal at one point (the face normal is not normalised).
float get_terrain_elevation(const Terrain *terrain, float x, float z, float *normal);
float get_terrain_height(const Terrain *terrain, float x, float z);
void compute_ground_basis(float *matrix, float x, float z, float yaw);

// Digs amount x weight into the samples around (x, z); returns the summed
// height change of the samples really changed (none outside the grid, under
// the edit lock or lost to rounding).
float terrain_dig(Terrain *terrain, float x, float z, float radius, float amount);
void terrain_dig_spread(Terrain *terrain, float x, float z, float radius, float amount);

// 1 when the sample was stored; 0 outside the grid, under the edit lock or
// for a height beyond TERRAIN_COORDINATE_LIMIT (or not a number).
int set_terrain_height(Terrain *terrain, int column, int row, float height);
void get_terrain_normal(Terrain *terrain, int column, int row, float *normal);
void shade_terrain_point(Terrain *terrain, int column, int row, uint8_t *colour);
// The unit face normal of triangle (triangle column, row), cached and refreshed.
const float *get_triangle_normal(Terrain *terrain, int triangle_column, int triangle_row);

void mark_terrain_region_dirty(Terrain *terrain, int x0, int z0, int x1, int z1);
void mark_terrain_area_dirty(Terrain *terrain, int x0, int z0, int x1, int z1);

// Normal texel of one sample from the terrain's normal and shadow.
void compute_normal_texel(Terrain *terrain, int column, int row, uint8_t *texel);
void refresh_dirty_terrain_cells(Terrain *terrain);

// The error pass; budget 2147483647 runs it whole. 1 = done, 0 = not done.
int run_lod_error_pass(Terrain *terrain, int budget);
// 1 when a pass started with this budget runs whole in one call.
int lod_pass_runs_whole(int grid_exponent, int budget);
void refresh_terrain_textures(Terrain *terrain);
void rebuild_terrain_textures(Terrain *terrain);
// Composites the RGB image of the area from cell (x0, z0) into out.
void composite_terrain_image(Terrain *terrain, int x0, int z0, int width, int height, uint8_t *out);
// Uploads the next dirty low-detail texture; 1 when one was handled.
int upload_low_detail_texture(Terrain *terrain);
int low_detail_image_size(const Terrain *terrain, int start_cell);

// The first level texture level drawn (the drawing setting, clamped 0..6;
// 6 draws the base blocks only).
int ground_first_level(void);

// The terrain files of a track folder ("@" + track folder).
int load_terrain(Terrain *terrain, const char *folder, int requested_mode);
int save_terrain(Terrain *terrain);
void free_terrain(Terrain *terrain);

int get_oldest_block_age(const Terrain *terrain);
int count_marked_blocks(const Terrain *terrain);
