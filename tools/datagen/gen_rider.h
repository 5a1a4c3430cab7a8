// The rider: the skinned body (nine bones, built in the rest pose the
// bike table's rider figure describes), its first-person version, the
// back number plate, the helmet, and the rider and helmet skins.
#pragma once

#include "tools/datagen/gen_mesh.h"
#include "tools/datagen/gen_output.h"

enum RiderMeshKind { RIDER_MESH_BODY, RIDER_MESH_FIRST_PERSON, RIDER_MESH_PLATE, RIDER_MESH_HELMET };

// The mesh at a level of detail (an index of MODEL_LEVEL_TABLE, 0 full);
// the body meshes and the plate are skinned with the rider's nine bones at
// every level.
int build_rider_mesh(GenModel *model, int kind, int level);

// Points of the rest pose (rider body coordinates): the middle of each
// glove and the ball of each boot, which the bones carry to the grips and
// the pegs.
void rider_rest_hand(int right, float *out);
void rider_rest_foot(int right, float *out);

int generate_rider(DataSet *set);
