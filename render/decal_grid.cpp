// The decal grid: per cell of an 8 x 8 grid over the terrain, the ascending
// list of decals whose bounding rectangle overlaps it.
#include "render/decal_grid.h"

#include <cmath>
#include <cstring>

#include "render/ground_textures.h"
#include "track/decals.h"
#include "track/terrain.h"

static const Decal *grid_decal(const Terrain *terrain, int decal)
{
    if (decal < 0 || decal >= terrain->decals.count)
        return nullptr;
    return (const Decal *)terrain->decals.data + decal;
}

int decal_grid_cell(const Terrain *terrain, float coordinate)
{
    double cell = floor((double)coordinate / terrain->extent * (double)DECAL_GRID_SIDE);
    if (!(cell >= 0.0))
        return 0;
    return cell > DECAL_GRID_SIDE - 1 ? DECAL_GRID_SIDE - 1 : (int)cell;
}

// Covered cells of a decal: columns c[0]..c[1], rows c[2]..c[3].
static void decal_cells(const Terrain *terrain, const Decal *decal, int c[4])
{
    float hx, hz;
    decal_half_extents(decal, &hx, &hz);
    c[0] = decal_grid_cell(terrain, decal->x - hx);
    c[1] = decal_grid_cell(terrain, decal->x + hx);
    c[2] = decal_grid_cell(terrain, decal->z - hz);
    c[3] = decal_grid_cell(terrain, decal->z + hz);
}

static int *bucket_entries(GrowableArray *bucket)
{
    return (int *)bucket->data;
}

// Appends one more slot; 0 when the bucket cannot grow.
static int grow_bucket(GrowableArray *bucket)
{
    if (!bucket->data && !init_growable_array(bucket, sizeof(int)))
        return 0;
    return append_to_growable_array(bucket) != nullptr;
}

// Marks a decal's blocks dirty and lists the buckets its rectangle covers;
// the count, 0 for no such decal.
static int covered_buckets(Terrain *terrain, int decal,
                           GrowableArray *out[DECAL_GRID_SIDE * DECAL_GRID_SIDE])
{
    const Decal *d = grid_decal(terrain, decal);
    if (!d)
        return 0;
    mark_decal_blocks_dirty(terrain, decal);
    int c[4];
    decal_cells(terrain, d, c);
    int n = 0;
    for (int row = c[2]; row <= c[3]; row++)
        for (int column = c[0]; column <= c[1]; column++)
            out[n++] = &terrain->decal_grid.buckets[row * DECAL_GRID_SIDE + column];
    return n;
}

void add_decal_to_grid(Terrain *terrain, int decal)
{
    GrowableArray *buckets[DECAL_GRID_SIDE * DECAL_GRID_SIDE];
    int n = covered_buckets(terrain, decal, buckets);
    for (int b = 0; b < n; b++) {
        GrowableArray *bucket = buckets[b];
        int count = bucket->count;
        if (!grow_bucket(bucket))
            continue;
        int *entries = bucket_entries(bucket);
        int at = 0;
        while (at < count && entries[at] <= decal)
            at++;
        memmove(entries + at + 1, entries + at, (size_t)(count - at) * sizeof(int));
        entries[at] = decal;
    }
}

void remove_decal_from_grid(Terrain *terrain, int decal)
{
    GrowableArray *buckets[DECAL_GRID_SIDE * DECAL_GRID_SIDE];
    int n = covered_buckets(terrain, decal, buckets);
    for (int b = 0; b < n; b++) {
        GrowableArray *bucket = buckets[b];
        int *entries = bucket_entries(bucket);
        for (int i = 0; i < bucket->count; i++)
            if (entries[i] == decal) {
                memmove(entries + i, entries + i + 1, (size_t)(bucket->count - i - 1) * sizeof(int));
                bucket->count--;
                break;
            }
    }
}

void rebuild_decal_grid(Terrain *terrain)
{
    for (int i = 0; i < DECAL_GRID_SIDE * DECAL_GRID_SIDE; i++)
        terrain->decal_grid.buckets[i].count = 0;
    for (int i = 0; i < terrain->decals.count; i++)
        add_decal_to_grid(terrain, i);
}

void shift_decal_grid_indices(Terrain *terrain, int first, int delta)
{
    for (int i = 0; i < DECAL_GRID_SIDE * DECAL_GRID_SIDE; i++) {
        GrowableArray *bucket = &terrain->decal_grid.buckets[i];
        int *entries = bucket_entries(bucket);
        for (int j = 0; j < bucket->count; j++)
            if (entries[j] >= first)
                entries[j] += delta;
    }
}

GrowableArray *find_decals_in_rect(Terrain *terrain, float x0, float z0, float x1, float z1)
{
    int c0 = decal_grid_cell(terrain, x0), c1 = decal_grid_cell(terrain, x1);
    int r0 = decal_grid_cell(terrain, z0), r1 = decal_grid_cell(terrain, z1);
    DecalGrid *grid = &terrain->decal_grid;
    if (c0 == c1 && r0 == r1)
        return &grid->buckets[r0 * DECAL_GRID_SIDE + c0];
    for (int i = 0; i < 2; i++) {
        if (!grid->scratch[i].data)
            init_growable_array(&grid->scratch[i], sizeof(int));
        grid->scratch[i].count = 0;
    }
    int current = 0;
    for (int row = r0; row <= r1; row++)
        for (int column = c0; column <= c1; column++) {
            merge_sorted_int_arrays(&grid->scratch[current ^ 1], &grid->scratch[current],
                                    &grid->buckets[row * DECAL_GRID_SIDE + column]);
            current ^= 1;
        }
    return &grid->scratch[current];
}
