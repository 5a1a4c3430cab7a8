// Track props that stand as statues: the start gate piece (modelled in its
// fallen pose: the race lifts it 3 pi / 16 about its x axis), the stakes
// and the tape between them.
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
int generate_props(DataSet *set);
