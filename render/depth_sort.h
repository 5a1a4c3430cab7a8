// Depth keys along the camera's backward axis and the linear-time radix
// sort that orders billboards and text markers farthest first.
#pragma once

#include <cstdint>

#include "core/alloc.h"

// floor(depth x 1024 + 2^24), held to 0..INT_MAX; 0 when the depth is not a
// number (1 otherwise).
int depth_key(double depth, int *key);
// Stable ascending sort of indices by their keys (keys[i] goes with
// indices[i]): four byte passes, lowest byte first. The scratch arrays hold
// count entries each.
void radix_sort_by_key(int *indices, uint32_t *keys, int count, int *scratch_indices, uint32_t *scratch_keys);
// Room for n ints in a list of ints (doubled as needed); 0 when it cannot grow.
int reserve_int_list(GrowableArray *list, int n);
