// Ground texture compositing: the base blocks and the 4 x 4 camera windows
// of ground textures of levels 0..5, their per-frame upkeep within a fixed
// budget, the dirty marking, and the layers the GPU composites in render
// modes 2 and 3.
#pragma once

struct Terrain;

// Renderer work-around flag: -1 until the first update, then 1 on the
// renderer that needs large decals split, else 0.
extern int ground_renderer_workaround;
// Told of every ground texture composited (tests watch the schedule): a
// window tile (level 0..5, row, column) or a base block (level 6, block
// row, block column).
extern void (*ground_composite_observer)(int level, int row, int column);

// The per-frame upkeep: immediate blocks, the windows moved with the
// camera, one new tile per level and the oldest stale item.
void update_ground_textures(Terrain *terrain);
// Stamps the base blocks and window tiles over a cell rectangle (inclusive).
void mark_ground_blocks_dirty(Terrain *terrain, int x0, int z0, int x1, int z1);
// Stamps what lies under a decal's bounding rectangle.
void mark_decal_blocks_dirty(Terrain *terrain, int decal);
// Moves every level's window for a new camera cell: texture ids as a ring,
// valid flags and ages shifted (tiles that entered start invalid).
void move_ground_windows(Terrain *terrain, int camera_x, int camera_z);

// The shading (or normal) low-detail texture of an area bound with the
// texture matrix that maps -1..1 onto it (cells).
void bind_shading_texture(Terrain *terrain, int x, int z, int size);
