// Nearby objects per bike: the cells of the object grid within 6 ft of the
// bike, merged into one list without duplicates, each statue collided once.
#include "bike/world_contacts.h"

#include <cmath>
#include <cstring>

#include "bike/bike_state.h"
#include "bike/crash.h"
#include "core/alloc.h"
#include "platform/work_pool.h"
#include "race/race_state.h"
#include "track/objects.h"
#include "track/terrain.h"

namespace {

GrowableArray scratch[2];

const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace

int collide_bike_with_statue(BikeState *bike, int index)
{
    Statue *statue = get_statue(index);
    if (!statue || !statue->shape)
        return 0;
    float position[3] = {statue->x, statue->y, statue->z};
    const float *rotation = statue->yaw_power != 0.0f ? IDENTITY : statue->orientation;
    int hit = collide_bike_with_object(bike, statue->shape, nullptr, position, rotation);
    if (hit)
        statue->last_hit_tic = current_tic;
    return hit;
}

void collide_bike_with_world(BikeState *bike)
{
    collide_bike_with_terrain(bike);
    collide_bike_with_objects(bike);
}

void collide_bike_with_objects(BikeState *bike)
{
    const Terrain *terrain = current_terrain;
    if (!terrain || !bike->frame_body)
        return;
    const dReal *p = dBodyGetPosition(bike->frame_body);
    float x = (float)p[0], z = (float)p[2];
    float extent = terrain->extent;
    int x0 = object_grid_cell(x - 6.0f, extent), x1 = object_grid_cell(x + 6.0f, extent);
    int z0 = object_grid_cell(z - 6.0f, extent), z1 = object_grid_cell(z + 6.0f, extent);

    const GrowableArray *list;
    if (x0 == x1 && z0 == z1) {
        list = &object_grid[z0 * OBJECT_GRID_SIDE + x0];
    } else {
        for (int i = 0; i < 2; i++)
            if (!scratch[i].element_size && !init_growable_array(&scratch[i], sizeof(int)))
                return;
        int current = 0;
        scratch[0].count = 0;
        for (int row = z0; row <= z1; row++)
            for (int column = x0; column <= x1; column++) {
                const GrowableArray *cell = &object_grid[row * OBJECT_GRID_SIDE + column];
                if (!merge_sorted_int_arrays(&scratch[1 - current], &scratch[current], cell))
                    return;
                current = 1 - current;
            }
        list = &scratch[current];
    }
    const int *indices = (const int *)list->data;
    for (int i = 0; i < list->count && indices; i++)
        collide_bike_with_statue(bike, indices[i]);
}

namespace {

BikeTerrainSearch searches[BIKE_SLOT_COUNT];
BikeState *const *search_bikes;

void search_one_bike(void *, int index)
{
    search_bike_terrain(search_bikes[index], current_terrain, &searches[index]);
}

}  // namespace

int batch_terrain_searches = 1;

int search_terrain_for_bikes(BikeState *const *bikes, int count)
{
    if (!batch_terrain_searches || count < 0 || count > BIKE_SLOT_COUNT)
        return 0;
    for (int i = 0; i < count; i++)
        if (!reserve_bike_terrain_search(&searches[i], bikes[i]))
            return 0;
    search_bikes = bikes;
    run_work_batch(count, search_one_bike, nullptr);
    search_bikes = nullptr;
    return 1;
}

void apply_terrain_search(BikeState *bike, int index)
{
    apply_bike_terrain(bike, current_terrain, &searches[index]);
}

void free_world_contact_lists(void)
{
    for (BikeTerrainSearch &search : searches)
        free_bike_terrain_search(&search);
    free_single_terrain_search();
    free_growable_array(&scratch[0]);
    free_growable_array(&scratch[1]);
    memset(scratch, 0, sizeof scratch);
}
