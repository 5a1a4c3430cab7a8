// Tracked allocation: thin wrappers of the C allocator that, with
// KZ_CHECK_ALLOC above 0, keep a table of every live block, report frees of
// unknown blocks and zero blocks as they are freed; large blocks on large
// pages; and the fatal stop.
#include "core/alloc.h"

#include "app/shell.h"
#include "platform/message_box.h"
#include "platform/mutex.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

enum { MAX_CHECKED_BLOCKS = 0x100000 };
static const size_t LARGE_PAGE_BYTES = (size_t)2 << 20;

static int check_mode = -1;   // -1 not read yet, 1 checking, 0 off
// The table of live blocks, made when checking starts (20 MB that a run
// without checking never touches). Its own memory is not checked.
static void **live_pointers;
static int *live_serials;
static size_t *live_sizes;
static int live_count;
static int next_serial;
// Only the game thread allocates through the checker; the lock keeps the
// table sound should a host thread ever do so.
static Mutex check_mutex = MUTEX_INITIALIZER;

static void (*fatal_close_audio)(int handle);
static void (*fatal_close_window)(GameWindow *window);

static int checking(void)
{
    if (check_mode < 0) {
        const char *value = getenv("KZ_CHECK_ALLOC");
        check_mode = value && atoi(value) > 0 ? 1 : 0;
        if (check_mode && !live_pointers) {
            live_pointers = (void **)malloc(MAX_CHECKED_BLOCKS * sizeof *live_pointers);
            live_serials = (int *)malloc(MAX_CHECKED_BLOCKS * sizeof *live_serials);
            live_sizes = (size_t *)malloc(MAX_CHECKED_BLOCKS * sizeof *live_sizes);
            if (!live_pointers || !live_serials || !live_sizes) {
                fprintf(stderr, "No memory to check allocations!\n");
                free(live_pointers);
                free(live_serials);
                free(live_sizes);
                live_pointers = nullptr;
                live_serials = nullptr;
                live_sizes = nullptr;
                check_mode = 0;
            }
        }
    }
    return check_mode;
}

// Caller holds check_mutex.
static void record_block(void *block, size_t size)
{
    if (live_count == MAX_CHECKED_BLOCKS) {
        fprintf(stderr, "Too many allocations to check!\n");
        check_mode = 0;
        return;
    }
    live_pointers[live_count] = block;
    live_serials[live_count] = next_serial++;
    live_sizes[live_count] = size;
    live_count++;
}

// The newest entry of the pointer, or -1 (reported). Caller holds check_mutex.
static int find_block(uintptr_t address)
{
    for (int i = live_count - 1; i >= 0; i--)
        if ((uintptr_t)live_pointers[i] == address)
            return i;
    fprintf(stderr, "Allocation not found for %p!\n", (void *)address);
    return -1;
}

static void remove_entry(int index)
{
    int tail = live_count - index - 1;
    memmove(&live_pointers[index], &live_pointers[index + 1], tail * sizeof live_pointers[0]);
    memmove(&live_serials[index], &live_serials[index + 1], tail * sizeof live_serials[0]);
    memmove(&live_sizes[index], &live_sizes[index + 1], tail * sizeof live_sizes[0]);
    live_count--;
}

void *checked_malloc(size_t size)
{
    void *block = malloc(size);
    if (block && checking()) {
        lock_mutex(&check_mutex);
        record_block(block, size);
        unlock_mutex(&check_mutex);
    }
    return block;
}

void *checked_calloc(size_t count, size_t size)
{
    void *block = calloc(count, size);
    if (block && checking()) {
        lock_mutex(&check_mutex);
        record_block(block, count * size);
        unlock_mutex(&check_mutex);
    }
    return block;
}

// The large blocks handed out, and those freed through free_large_block
// that are kept (their pages already there) for the next request of the
// same rounded size: a track loaded again writes into the pages it had.
enum { LARGE_BLOCKS_TRACKED = 64 };
static const size_t KEPT_LARGE_BYTES_MAX = (size_t)256 << 20;
static struct {
    void *block;
    size_t rounded;
    int kept;
} large_blocks[LARGE_BLOCKS_TRACKED];
static size_t kept_large_bytes;
static Mutex large_mutex = MUTEX_INITIALIZER;

// A kept block of that rounded size, taken out of keeping; or null.
static void *take_kept_block(size_t rounded)
{
    void *block = nullptr;
    lock_mutex(&large_mutex);
    for (auto &entry : large_blocks)
        if (entry.block && entry.kept && entry.rounded == rounded) {
            entry.kept = 0;
            kept_large_bytes -= rounded;
            block = entry.block;
            break;
        }
    unlock_mutex(&large_mutex);
    return block;
}

// A fresh block: an entry of the same address can only be stale (its block
// was freed past this table, as realloc does), and is dropped so that the
// size kept with the address is this block's.
static void track_large_block(void *block, size_t rounded)
{
    lock_mutex(&large_mutex);
    int placed = 0;
    for (auto &entry : large_blocks)
        if (entry.block == block) {
            if (entry.kept)
                kept_large_bytes -= entry.rounded;
            entry.block = nullptr;
            entry.kept = 0;
        }
    for (auto &entry : large_blocks)
        if (!entry.block && !placed) {
            entry.block = block;
            entry.rounded = rounded;
            entry.kept = 0;
            placed = 1;
        }
    unlock_mutex(&large_mutex);
}

void *checked_malloc_large(size_t size)
{
#ifdef MADV_HUGEPAGE
    if (size >= LARGE_PAGE_BYTES && size <= SIZE_MAX - LARGE_PAGE_BYTES) {
        size_t rounded = (size + LARGE_PAGE_BYTES - 1) & ~(size_t)(LARGE_PAGE_BYTES - 1);
        void *block = take_kept_block(rounded);
        if (!block) {
            if (posix_memalign(&block, LARGE_PAGE_BYTES, rounded) != 0)
                return nullptr;
            madvise(block, rounded, MADV_HUGEPAGE);   // only advice: a refusal changes nothing
            track_large_block(block, rounded);
        }
        if (checking()) {
            lock_mutex(&check_mutex);
            record_block(block, size);
            unlock_mutex(&check_mutex);
        }
        return block;
    }
#endif
    return checked_malloc(size);
}

void free_large_block(void *block)
{
    if (!block)
        return;
    int keep = 0, tracked = 0;
    lock_mutex(&large_mutex);
    for (auto &entry : large_blocks)
        if (entry.block == block && !entry.kept) {
            tracked = 1;
            if (kept_large_bytes + entry.rounded <= KEPT_LARGE_BYTES_MAX) {
                entry.kept = keep = 1;
                kept_large_bytes += entry.rounded;
            } else {
                entry.block = nullptr;
            }
            break;
        }
    unlock_mutex(&large_mutex);
    if (!tracked || !keep) {
        checked_free(block);
        return;
    }
    // Kept: no longer a live block of the caller's.
    if (checking()) {
        lock_mutex(&check_mutex);
        int index = find_block((uintptr_t)block);
        if (index >= 0)
            remove_entry(index);
        unlock_mutex(&check_mutex);
    }
}

// A tracked large block freed for good leaves the table.
static void forget_large_block(void *block)
{
    lock_mutex(&large_mutex);
    for (auto &entry : large_blocks)
        if (entry.block == block && !entry.kept) {
            entry.block = nullptr;
            break;
        }
    unlock_mutex(&large_mutex);
}

void free_kept_large_blocks(void)
{
    lock_mutex(&large_mutex);
    for (auto &entry : large_blocks)
        if (entry.block && entry.kept) {
            free(entry.block);
            entry.block = nullptr;
            entry.kept = 0;
        }
    kept_large_bytes = 0;
    unlock_mutex(&large_mutex);
}

void *checked_calloc_large(size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    void *block = checked_malloc_large(count * size);
    if (block)
        memset(block, 0, count * size);
    return block;
}

void *checked_realloc(void *block, size_t size)
{
    if (size == 0)
        size = 1;   // never let realloc free the block behind the table's back
    if (block && ((uintptr_t)block & (LARGE_PAGE_BYTES - 1)) == 0)
        forget_large_block(block);   // realloc may free it: it is not kept
    if (!checking())
        return realloc(block, size);
    // The old entry is found first and dropped only once realloc succeeded:
    // on failure the old block stays valid, so it stays recorded too.
    lock_mutex(&check_mutex);
    int index = block ? find_block((uintptr_t)block) : -1;
    void *moved = realloc(block, size);
    if (moved && check_mode) {
        if (index >= 0)
            remove_entry(index);
        record_block(moved, size);
    }
    unlock_mutex(&check_mutex);
    return moved;
}

void checked_free(void *block)
{
    if (!block)
        return;
    if (((uintptr_t)block & (LARGE_PAGE_BYTES - 1)) == 0)   // only large blocks are so aligned
        forget_large_block(block);
    if (!checking()) {
        free(block);
        return;
    }
    lock_mutex(&check_mutex);
    int index = find_block((uintptr_t)block);
    if (index < 0) {
        unlock_mutex(&check_mutex);
        return;
    }
    memset(block, 0, live_sizes[index]);
    remove_entry(index);
    unlock_mutex(&check_mutex);
    free(block);
}

char *checked_strdup(const char *text)
{
    if (!text)
        return nullptr;
    size_t length = strlen(text) + 1;
    char *copy = (char *)checked_malloc(length);
    if (copy)
        memcpy(copy, text, length);
    return copy;
}

void dump_live_allocations(void)
{
    if (!checking())
        return;
    lock_mutex(&check_mutex);
    for (int i = 0; i < live_count; i++)
        fprintf(stderr, "%p:%d\n", live_pointers[i], live_serials[i]);
    unlock_mutex(&check_mutex);
}

void set_fatal_close_hooks(void (*close_audio_hook)(int handle),
                           void (*close_window_hook)(GameWindow *window))
{
    if (close_audio_hook)
        fatal_close_audio = close_audio_hook;
    if (close_window_hook)
        fatal_close_window = close_window_hook;
}

void fatal_out_of_memory(void)
{
    if (audio_handle != 0 && fatal_close_audio)
        fatal_close_audio(audio_handle);
    if (game_window && fatal_close_window)
        fatal_close_window(game_window);
    show_message_box("Error", "Out of virtual memory");
    exit(1);
}

void *xmalloc(size_t size)
{
    void *block = checked_malloc(size);
    if (!block)
        fatal_out_of_memory();
    return block;
}
