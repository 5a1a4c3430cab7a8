// A bike's gate record: the tic at which it passed each timing gate.
#pragma once

struct BikeState;

// The tic stored for gate i, or -1 when there is none.
int get_gate_time(const BikeState *bike, int gate);
