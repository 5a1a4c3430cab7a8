// The bikes: part meshes of every row of the bike table (one geometry per
// engine class, written under each row's own names), the shared wheels,
// the skins of every row and the robot table's alternative paints, and
// the number plate meshes.
#pragma once

#include "tools/datagen/gen_mesh.h"
#include "tools/datagen/gen_output.h"

// The six meshes every row names.
enum BikeMeshPart { MESH_FRAME, MESH_FORK_UPPER, MESH_FORK_LOWER, MESH_SWINGARM, MESH_SIDE_PLATES, MESH_FRONT_PLATE,
                    BIKE_MESH_PARTS };
extern const char *const BIKE_MESH_SUFFIXES[BIKE_MESH_PARTS];   // "_frame", ...

// The mesh of one part for an engine class ("125", "250f" ...) at a level
// of detail (an index of MODEL_LEVEL_TABLE, 0 full), in the part's body
// frame.
int build_bike_part(GenModel *model, int part, const char *class_name, int level);
int build_wheel(GenModel *model, int rear, int level);

// The plate areas of the bike meshes: the world rectangles (rest pose)
// where a skin paints its number background. Side plates: z and y ranges.
extern const float SIDE_PLATE_Z[2], SIDE_PLATE_Y[2];

int generate_bikes(DataSet *set);
