// Track props that stand as statues: the start gate piece (modelled in its
// fallen pose: the race lifts it 3 pi / 16 about its x axis), the stakes
// and the tape between them with their levels of detail.
#pragma once

#include "tools/datagen/gen_mesh.h"
#include "tools/datagen/gen_output.h"

// Tape runs this far from its stake along the statue's x axis.
constexpr float TAPE_SEGMENT_LENGTH = 12.0f;
constexpr float TAPE_HEIGHT = 2.3f;

extern const char *const START_GATE_MODEL;   // "@startgate.jm"
extern const char *const STAKE_MODEL;        // "@props/stake.jm"
extern const char *const TAPE_MODEL;         // "@props/tape.jm"

int build_start_gate(GenModel *model);
// A stake and a tape segment at a level of detail (0 the full model; a
// coarser level leaves out what the distance hides and is empty once the
// piece is thinner than half a pixel there).
int build_stake(GenModel *model, int level);
int build_tape(GenModel *model, int level);
int generate_props(DataSet *set);
