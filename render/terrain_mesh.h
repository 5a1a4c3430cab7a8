// The terrain mesh: which quadtree nodes are drawn for a camera (forced
// patches, camera windows, the distance test), the crack-free fans that draw
// them back to front, and the ground texture each node is drawn with.
#pragma once

struct Terrain;

// One vertex of a fan: its sample, its position and its ground texture
// coordinate.
struct TerrainFanVertex {
    int column, row;
    float position[3];
    float coordinate[2];
};

// When set, fans go here instead of to GL (no GL call is made at all):
// the centre first, then the emitted perimeter; level is the node's ground
// texture level and texture the colour texture it is drawn with.
typedef void (*TerrainFanSink)(void *context, const TerrainFanVertex *vertices, int count, int level,
                               int texture);
extern TerrainFanSink terrain_fan_sink;
extern void *terrain_fan_sink_context;

// Bit of node (depth, a, b) in the node bitmap and the refinement values.
int terrain_node_index(int depth, int a, int b);
// The cell of a world coordinate, floor(c / cell), clamped to a few grids
// beyond the terrain (a coordinate that is not a number gives the low end).
int terrain_camera_cell(const Terrain *terrain, float coordinate);
// The eye and view direction the next draw_terrain and ground texture
// update use.
void set_terrain_camera(Terrain *terrain, const float *eye, const float *direction);
// First column (or row) of the 4 x 4 window of a ground texture level
// (0..5) around a camera cell, clamped to the level's tiles.
int ground_window_start(const Terrain *terrain, int level, int cell);

// The camera cell and the node bitmap for the terrain's camera: forced
// patches, camera windows and the distance test. No GL.
void build_terrain_node_bitmap(Terrain *terrain);
// Ground texture level of a node: the finest valid window tile holding it
// (from the larger of its size level and the detail limit), else 6.
int choose_ground_texture_level(const Terrain *terrain, int depth, int a, int b);
// The colour (layer 0), normal (1) or specular (2) texture of a node at a
// ground texture level.
int ground_texture_for_node(const Terrain *terrain, int depth, int a, int b, int level, int layer);

void draw_terrain(Terrain *terrain);

// Development check over the node bitmap: 1 when a node drawn as part of
// its parent's fan borders a node two depths finer ("Found a crack!\n" is
// logged once a run).
int terrain_check_cracks(const Terrain *terrain);
