// Growable arrays: room for 16 elements at first, doubled when full.
#include "core/alloc.h"

#include <climits>
#include <cstring>

enum { GROWABLE_ARRAY_START = 16 };

int init_growable_array(GrowableArray *array, int element_size)
{
    memset(array, 0, sizeof *array);
    if (element_size <= 0)
        return 0;
    array->data = checked_malloc((size_t)GROWABLE_ARRAY_START * (size_t)element_size);
    if (!array->data)
        return 0;
    array->capacity = GROWABLE_ARRAY_START;
    array->element_size = element_size;
    return 1;
}

void *append_to_growable_array(GrowableArray *array)
{
    if (!array->data || array->element_size <= 0)
        return nullptr;
    if (array->count >= array->capacity) {
        if (array->capacity > INT_MAX / 2)
            return nullptr;
        int capacity = array->capacity * 2;
        void *data = checked_realloc(array->data, (size_t)capacity * (size_t)array->element_size);
        if (!data)
            return nullptr;
        array->data = data;
        array->capacity = capacity;
    }
    char *slot = (char *)array->data + (size_t)array->count * (size_t)array->element_size;
    memset(slot, 0, (size_t)array->element_size);
    array->count++;
    return slot;
}

void free_growable_array(GrowableArray *array)
{
    checked_free(array->data);
    memset(array, 0, sizeof *array);
}

int merge_sorted_int_arrays(GrowableArray *out, const GrowableArray *a, const GrowableArray *b)
{
    out->count = 0;
    const int *pa = (const int *)a->data, *pb = (const int *)b->data;
    int i = 0, j = 0;
    while (i < a->count || j < b->count) {
        int value;
        if (j >= b->count || (i < a->count && pa[i] < pb[j]))
            value = pa[i++];
        else if (i >= a->count || pb[j] < pa[i])
            value = pb[j++];
        else {
            value = pa[i++];
            j++;
        }
        int *slot = (int *)append_to_growable_array(out);
        if (!slot)
            return 0;
        *slot = value;
    }
    return 1;
}
