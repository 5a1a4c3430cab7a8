// The object grid: 8 x 8 cells over the middle of the terrain, each listing
// the statues whose collision shape may reach into it.
#include <cmath>

#include "bike/shape.h"
#include "track/objects.h"
#include "track/terrain.h"

GrowableArray object_grid[OBJECT_GRID_SIDE * OBJECT_GRID_SIDE];

int object_grid_cell(float coordinate, float extent)
{
    double cell = floor(((double)coordinate / extent - 0.125) * 4.0 / 3.0 * (double)OBJECT_GRID_SIDE);
    if (!(cell >= 0.0))
        return 0;
    return cell > OBJECT_GRID_SIDE - 1 ? OBJECT_GRID_SIDE - 1 : (int)cell;
}

int create_object_grid(void)
{
    int ok = 1;
    for (int i = 0; i < OBJECT_GRID_SIDE * OBJECT_GRID_SIDE; i++) {
        free_growable_array(&object_grid[i]);
        ok &= init_growable_array(&object_grid[i], sizeof(int32_t));
    }
    return ok;
}

void free_object_grid(void)
{
    for (int i = 0; i < OBJECT_GRID_SIDE * OBJECT_GRID_SIDE; i++)
        free_growable_array(&object_grid[i]);
}

void grid_insert_object(int index)
{
    const Statue *statue = get_statue(index);
    if (!statue || !statue->shape || !current_terrain)
        return;
    float radius = get_shape_radius(statue->shape);
    float extent = current_terrain->extent;
    int c0 = object_grid_cell(statue->x - radius, extent);
    int c1 = object_grid_cell(statue->x + radius, extent);
    int r0 = object_grid_cell(statue->z - radius, extent);
    int r1 = object_grid_cell(statue->z + radius, extent);
    for (int row = r0; row <= r1; row++)
        for (int column = c0; column <= c1; column++) {
            GrowableArray *cell = &object_grid[row * OBJECT_GRID_SIDE + column];
            if (!cell->data && !init_growable_array(cell, sizeof(int32_t)))
                continue;
            int32_t *slot = (int32_t *)append_to_growable_array(cell);
            if (slot)
                *slot = index;
        }
}

void rebuild_object_grid(void)
{
    for (int i = 0; i < OBJECT_GRID_SIDE * OBJECT_GRID_SIDE; i++)
        object_grid[i].count = 0;
    for (int i = 0; i < statue_table.count; i++)
        grid_insert_object(i);
}
