// The race's tic counter.
#include "race/race_state.h"

int current_tic;
