// Tracked allocation (KZ_CHECK_ALLOC), the fatal out-of-memory stop, and the
// growable array that most tables of the game are kept in.
#pragma once

#include <cstddef>

void *checked_malloc(size_t size);
void *checked_calloc(size_t count, size_t size);
void *checked_realloc(void *block, size_t size);   // null: the old block stays valid
void checked_free(void *block);                     // null is allowed
// A checked copy of a string; null for null or when out of memory.
char *checked_strdup(const char *text);
void dump_live_allocations(void);
void *xmalloc(size_t size);                         // never null
// Blocks that are written whole soon after: from 2 MiB on they are aligned
// to and rounded up to 2 MiB and backed by large pages where the system
// offers them (a few page faults instead of one per 4 KiB). Freed with
// checked_free; the calloc form is zeroed.
void *checked_malloc_large(size_t size);
void *checked_calloc_large(size_t count, size_t size);
// Frees a block of checked_malloc_large, keeping it (up to 256 MiB of such
// blocks) for the next request of the same rounded size, whose pages are
// then already there. Any other block is freed as checked_free does.
void free_large_block(void *block);
// Frees the kept blocks (at the end of the run).
void free_kept_large_blocks(void);

// Close audio and the game window, show "Out of virtual memory", exit(1).
[[noreturn]] void fatal_out_of_memory(void);

struct GameWindow;
// The audio and window layers register how the fatal stop closes them
// (close_audio and close_gl_window), each when it opens. A null argument
// leaves that hook as it was, so either layer may register alone.
void set_fatal_close_hooks(void (*close_audio_hook)(int handle),
                           void (*close_window_hook)(GameWindow *window));

// A data pointer, a capacity, a count and an element size; room for 16 at
// first, doubled (checked_realloc) when full.
struct GrowableArray {
    void *data;
    int capacity;
    int count;
    int element_size;
};

int init_growable_array(GrowableArray *array, int element_size);  // 1, or 0 when out of memory
void *append_to_growable_array(GrowableArray *array);             // new zeroed slot, or null
void free_growable_array(GrowableArray *array);                   // back to all zero
// The union of two ascending int arrays into out (emptied first), each value
// once; 0 when out of memory (what was merged so far stays).
int merge_sorted_int_arrays(GrowableArray *out, const GrowableArray *a, const GrowableArray *b);
