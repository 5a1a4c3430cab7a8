// Track objects: statues (models standing on the ground, with an optional
// collision shape) and billboards (textured upright rectangles), their
// tables and files, and the 8 x 8 object grid that bins the statues.
#pragma once

#include <cstdint>

#include "core/alloc.h"

struct Model;
struct CollisionShape;
struct GameFile;

enum { STATUE_POSE_PARTS = 32, OBJECT_GRID_SIDE = 8 };

struct Statue {
    Model *model;
    CollisionShape *shape;    // a private copy, or null
    int texture;
    int normal_texture;
    int specular_texture;
    float x, y, z;            // y = ground height + height offset
    float height_offset;
    float yaw;
    float orientation[9];     // row-major; columns side, up, forward
    float yaw_power;          // 2^yaw when yaw >= 3.25, else 0
    int last_hit_tic;         // zero at creation
    int pose_count;           // 0 = no pose
    float *pose_centres;      // 3 floats per part
    float *pose_offsets;      // 3 floats per part
    float *pose_rotations;    // 9 floats per part
    char *names[3];           // model, texture, shape as read or copied (owned; null = none)
};

struct Billboard {
    float x, y, z;            // y = ground height + height offset
    float width;
    float height_offset;
    float height;
    int draw_value;           // kept by the drawing code
    int texture;
    uint8_t colour[4];        // red, green, blue, alpha
    char *texture_name;       // as read, without the colour prefix (owned)
};

extern GrowableArray statue_table;           // Statue
extern int statue_file_start;
extern GrowableArray billboard_table;        // Billboard
extern int billboard_file_start;
extern GrowableArray billboard_draw_slots;   // int32, two per billboard
extern GrowableArray object_grid[OBJECT_GRID_SIDE * OBJECT_GRID_SIDE];   // int32 statue indices

Statue *get_statue(int index);       // null outside the table
Billboard *get_billboard(int index);

int add_statue(float x, float height_offset, float z, float yaw, const char *model_name,
               const char *texture_name, const char *shape_name);
void place_statue(Statue *statue);
void free_statue(Statue *statue);
int write_statues(void);
int add_billboard(float x, float height_offset, float z, float width, float height,
                  const char *texture_name);
int write_billboards(void);
// Frees the names the billboards keep (before the table is emptied).
void free_billboard_names(void);
void remove_billboard(int index);
int load_texture_variant(const char *name, const char *tail, const char *suffix);

// Track-load readers of the two files: records until one does not convert.
void read_statues(GameFile *file, void (*progress)(void));
void read_billboards(GameFile *file, void (*progress)(void));

// The object grid.
int object_grid_cell(float coordinate, float extent);
void grid_insert_object(int statue);
void rebuild_object_grid(void);
int create_object_grid(void);
void free_object_grid(void);
