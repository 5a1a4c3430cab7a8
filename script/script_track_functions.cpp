// The natives of kz that read the terrain and move the track's objects:
// ground height and tile, statue poses and places, billboard places, sizes
// and colours. Script indices count from the first object of the track's
// own files. The tables keep finite numbers only: a move with a value that
// is not finite is refused and changes nothing.
#include "script/script_functions.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "script/script_vm.h"
#include "track/objects.h"
#include "track/terrain.h"

namespace {

enum { POSE_CENTRES = 3 * STATUE_POSE_PARTS, POSE_ROTATIONS = 9 * STATUE_POSE_PARTS };

int all_finite(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

// Any statue of the table: negative script indices reach the statues made
// before the file's.
Statue *statue_argument(duk_context *ctx)
{
    long long index = (long long)statue_file_start + script_int_argument(ctx, 0, INT_MIN);
    return index >= 0 && index < statue_table.count ? get_statue((int)index) : nullptr;
}

// Only the billboards of the track's file.
Billboard *billboard_argument(duk_context *ctx)
{
    int i = script_int_argument(ctx, 0, -1);
    if (i < 0)
        return nullptr;
    long long index = (long long)billboard_file_start + i;
    return index < billboard_table.count ? get_billboard((int)index) : nullptr;
}

float ground_height(float x, float z)
{
    const Terrain *terrain = current_terrain;
    return terrain && terrain->heights ? sample_ground_height(terrain, x, z) : 0.0f;
}

void mark_statues_changed(void)
{
    if (current_terrain)
        current_terrain->change_state = 7;
}

// Cell of a tile-map axis: clamped to the map before it is truncated.
int tile_cell(double coordinate, double tile_size, int tiles)
{
    double c = coordinate / tile_size;
    if (!(c > 0.0))
        return 0;   // also a NaN
    if (c >= (double)(tiles - 1))
        return tiles - 1;
    return (int)c;
}

uint8_t colour_byte(double v)
{
    if (!(v > 0.0))
        return 0;   // also a NaN
    if (v > 1.0)
        v = 1.0;
    return (uint8_t)floor(v * 255.0 + 0.5);
}

}  // namespace

duk_ret_t kz_get_elevation(duk_context *ctx)
{
    return return_script_number(ctx, ground_height(script_float_argument(ctx, 0), script_float_argument(ctx, 1)));
}

duk_ret_t kz_get_tile_number(duk_context *ctx)
{
    const Terrain *terrain = current_terrain;
    if (!terrain || !terrain->tile_map || !(terrain->cell > 0.0f))
        return return_script_number(ctx, 0);
    int tiles = terrain_tile_side(terrain);
    double size = 2.0 * terrain->cell;
    int column = tile_cell(script_number_argument(ctx, 0), size, tiles);
    int row = tile_cell(script_number_argument(ctx, 1), size, tiles);
    return return_script_number(ctx, terrain->tile_map[(size_t)row * tiles + column]);
}

duk_ret_t kz_pose_statue(duk_context *ctx)
{
    // Every read first: a getter may throw, and nothing is allocated yet.
    float centres[POSE_CENTRES], offsets[POSE_CENTRES], rotations[POSE_ROTATIONS];
    script_get_floats(ctx, 2, centres, POSE_CENTRES);
    script_get_floats(ctx, 3, offsets, POSE_CENTRES);
    script_get_floats(ctx, 4, rotations, POSE_ROTATIONS);
    int count = script_int_argument(ctx, 1, 0);
    Statue *statue = statue_argument(ctx);
    if (!statue || count < 1 || count > STATUE_POSE_PARTS || !all_finite(centres, 3 * count) ||
        !all_finite(offsets, 3 * count) || !all_finite(rotations, 9 * count))
        return return_script_number(ctx, 0);
    if (statue->pose_count != count) {
        if (statue->pose_count != 0)
            return return_script_number(ctx, 0);   // fixed by the first pose
        float *c = (float *)checked_malloc(sizeof(float) * 3 * count);
        float *t = (float *)checked_malloc(sizeof(float) * 3 * count);
        float *r = (float *)checked_malloc(sizeof(float) * 9 * count);
        if (!c || !t || !r) {
            checked_free(c);
            checked_free(t);
            checked_free(r);
            return return_script_number(ctx, 0);
        }
        checked_free(statue->pose_centres);
        checked_free(statue->pose_offsets);
        checked_free(statue->pose_rotations);
        statue->pose_centres = c;
        statue->pose_offsets = t;
        statue->pose_rotations = r;
        statue->pose_count = count;
    }
    memcpy(statue->pose_centres, centres, sizeof(float) * 3 * count);
    memcpy(statue->pose_offsets, offsets, sizeof(float) * 3 * count);
    memcpy(statue->pose_rotations, rotations, sizeof(float) * 9 * count);
    return return_script_number(ctx, 1);
}

duk_ret_t kz_move_statue(duk_context *ctx)
{
    Statue *statue = statue_argument(ctx);
    float v[4];
    for (int i = 0; i < 4; i++)
        v[i] = script_float_argument(ctx, 1 + i);
    if (!statue || statue->shape || !all_finite(v, 4))
        return return_script_number(ctx, 0);
    Statue before = *statue;
    statue->x = v[0];
    statue->height_offset = v[1];
    statue->z = v[2];
    statue->yaw = v[3];
    statue->yaw_power = v[3] >= 3.25f ? exp2f(v[3]) : 0.0f;
    place_statue(statue);
    if (!std::isfinite(statue->y) || !all_finite(statue->orientation, 9)) {
        *statue = before;
        return return_script_number(ctx, 0);
    }
    mark_statues_changed();
    return return_script_number(ctx, 1);
}

duk_ret_t kz_move_statue_absolute(duk_context *ctx)
{
    float matrix[9];
    script_get_floats(ctx, 4, matrix, 9);
    float v[3];
    for (int i = 0; i < 3; i++)
        v[i] = script_float_argument(ctx, 1 + i);
    Statue *statue = statue_argument(ctx);
    if (!statue || statue->shape || !all_finite(v, 3) || !all_finite(matrix, 9))
        return return_script_number(ctx, 0);
    statue->x = v[0];
    statue->y = v[1];
    statue->z = v[2];
    for (int row = 0; row < 3; row++)
        for (int column = 0; column < 3; column++)
            statue->orientation[row * 3 + column] = matrix[row + 3 * column];
    mark_statues_changed();
    return return_script_number(ctx, 1);
}

duk_ret_t kz_move_billboard(duk_context *ctx)
{
    Billboard *billboard = billboard_argument(ctx);
    float x = script_float_argument(ctx, 1), height = script_float_argument(ctx, 2),
          z = script_float_argument(ctx, 3);
    if (!billboard || !std::isfinite(x) || !std::isfinite(height) || !std::isfinite(z))
        return return_script_number(ctx, 0);
    float y = ground_height(x, z) + height;
    if (!std::isfinite(y))
        return return_script_number(ctx, 0);
    billboard->x = x;
    billboard->y = y;
    billboard->z = z;
    return return_script_number(ctx, 1);
}

duk_ret_t kz_move_billboard_absolute(duk_context *ctx)
{
    Billboard *billboard = billboard_argument(ctx);
    float v[3];
    for (int i = 0; i < 3; i++)
        v[i] = script_float_argument(ctx, 1 + i);
    if (!billboard || !all_finite(v, 3))
        return return_script_number(ctx, 0);
    billboard->x = v[0];
    billboard->y = v[1];
    billboard->z = v[2];
    return return_script_number(ctx, 1);
}

duk_ret_t kz_size_billboard(duk_context *ctx)
{
    Billboard *billboard = billboard_argument(ctx);
    float width = script_float_argument(ctx, 1);
    if (!billboard || !std::isfinite(width))
        return return_script_number(ctx, 0);
    billboard->width = width;
    return return_script_number(ctx, 1);
}

duk_ret_t kz_color_billboard(duk_context *ctx)
{
    Billboard *billboard = billboard_argument(ctx);
    if (!billboard)
        return return_script_number(ctx, 0);
    for (int i = 0; i < 4; i++)
        billboard->colour[i] = colour_byte(script_number_argument(ctx, 1 + i));
    return return_script_number(ctx, 1);
}
