// Depth keys and the byte-wise radix sort of the scene's sorted passes.
#include "render/depth_sort.h"

#include <climits>
#include <cmath>
#include <cstring>

int depth_key(double depth, int *key)
{
    double value = floor(depth * 1024.0 + 16777216.0);
    if (value != value) {
        *key = 0;
        return 0;
    }
    *key = value < 0.0 ? 0 : value > (double)INT_MAX ? INT_MAX : (int)value;
    return std::isfinite(depth);
}

void radix_sort_by_key(int *indices, uint32_t *keys, int count, int *scratch_indices, uint32_t *scratch_keys)
{
    int *from_index = indices, *to_index = scratch_indices;
    uint32_t *from_key = keys, *to_key = scratch_keys;
    for (int shift = 0; shift < 32; shift += 8) {
        int counters[256];
        memset(counters, 0, sizeof counters);
        for (int i = 0; i < count; i++)
            counters[(from_key[i] >> shift) & 255]++;
        int position = 0;
        for (int b = 0; b < 256; b++) {
            int n = counters[b];
            counters[b] = position;
            position += n;
        }
        for (int i = 0; i < count; i++) {
            int at = counters[(from_key[i] >> shift) & 255]++;
            to_index[at] = from_index[i];
            to_key[at] = from_key[i];
        }
        int *swap_index = from_index;
        from_index = to_index;
        to_index = swap_index;
        uint32_t *swap_key = from_key;
        from_key = to_key;
        to_key = swap_key;
    }
    // Four passes: the result is back in the caller's arrays.
}

int reserve_int_list(GrowableArray *list, int n)
{
    if (!list->data && !init_growable_array(list, sizeof(int)))
        return 0;
    int capacity = list->capacity;
    while (capacity < n) {
        if (capacity > INT_MAX / 2)
            return 0;
        capacity *= 2;
    }
    if (capacity != list->capacity) {
        void *data = checked_realloc(list->data, (size_t)capacity * sizeof(int));
        if (!data)
            return 0;
        list->data = data;
        list->capacity = capacity;
    }
    return 1;
}
