// The terrain of a designed track: every sample takes the nearest
// centreline point within reach; inside the track's width it is the track
// surface (ground under the line, jumps, banking), beyond the edge it
// eases down the shoulder into the natural ground. Then the tile map (dirt
// on the track, grass beside it, grass-dirt transitions along the edges,
// variants scattered) and the light the sun leaves on every sample,
// marched toward the sun.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "tools/datagen/gen_sky.h"
#include "tools/datagen/gen_textures.h"
#include "tools/datagen/gen_track.h"
#include "track/terrain.h"

namespace {

// Nearest centreline point of every sample (-1: none in reach) and the
// squared distance to it.
struct NearestMap {
    int *index;
    float *distance2;
};

const float REACH_BEYOND_EDGE = 40.0f;

int build_nearest_map(const TrackModel *track, NearestMap *map)
{
    size_t samples = (size_t)track->side * track->side;
    map->index = (int *)checked_malloc(sizeof(int) * samples);
    map->distance2 = (float *)checked_malloc(sizeof(float) * samples);
    if (!map->index || !map->distance2)
        return 0;
    for (size_t i = 0; i < samples; i++) {
        map->index[i] = -1;
        map->distance2[i] = 1e30f;
    }
    float cell = track->design->cell;
    for (int k = 0; k < track->count; k++) {
        const CentrePoint *p = &track->points[k];
        float reach = p->width * 0.5f + REACH_BEYOND_EDGE;
        int c0 = (int)floorf((p->x - reach) / cell), c1 = (int)ceilf((p->x + reach) / cell);
        int r0 = (int)floorf((p->z - reach) / cell), r1 = (int)ceilf((p->z + reach) / cell);
        for (int r = r0 < 0 ? 0 : r0; r <= r1 && r < track->side; r++)
            for (int c = c0 < 0 ? 0 : c0; c <= c1 && c < track->side; c++) {
                float dx = (float)c * cell - p->x, dz = (float)r * cell - p->z;
                float d2 = dx * dx + dz * dz;
                size_t i = (size_t)r * track->side + c;
                if (d2 <= reach * reach && d2 < map->distance2[i]) {
                    map->distance2[i] = d2;
                    map->index[i] = k;
                }
            }
    }
    return 1;
}

void free_nearest_map(NearestMap *map)
{
    checked_free(map->index);
    checked_free(map->distance2);
}

float lateral_offset(const CentrePoint *p, float x, float z)
{
    return (x - p->x) * p->dz - (z - p->z) * p->dx;
}

float terrain_at(const TrackModel *track, int index, float x, float z)
{
    float ground = natural_ground(track, x, z);
    if (index < 0)
        return ground;
    const CentrePoint *p = &track->points[index];
    float l = lateral_offset(p, x, z);
    float half = p->width * 0.5f;
    float clamped = l < -half ? -half : l > half ? half : l;
    float surface = track_surface_height(track, index, clamped);
    if (fabsf(l) <= half)
        return surface;
    float beyond = fabsf(l) - half;
    float shoulder = 8.0f + 1.5f * fabsf(surface - ground);
    float t = beyond / shoulder;
    t = t > 1.0f ? 1.0f : t;
    t = t * t * (3.0f - 2.0f * t);
    return surface + (ground - surface) * t;
}

// Heights as the game will read them back from the 16-bit terrain.png:
// min and max as "%f" prints them, samples rounded to 1/65535 of the range.
void quantise_heights(TrackModel *track)
{
    size_t samples = (size_t)track->side * track->side;
    float low = track->heights[0], high = track->heights[0];
    for (size_t i = 1; i < samples; i++) {
        low = fminf(low, track->heights[i]);
        high = fmaxf(high, track->heights[i]);
    }
    char text[64];
    snprintf(text, sizeof text, "%f %f", low, high);
    float min = 0, max = 0;
    sscanf(text, "%f %f", &min, &max);
    if (max < low || min > high || !(max > min))
        max = min + 1.0f;
    double range = (double)max - (double)min;
    for (size_t i = 0; i < samples; i++) {
        double v = ((double)track->heights[i] - min) / range * 65535.0 + 0.5;
        unsigned q = v <= 0.0 ? 0u : v >= 65535.0 ? 65535u : (unsigned)v;
        track->heights[i] = (float)((double)min + (double)q * range / 65535.0);
    }
    track->min_height = min;
    track->max_height = max;
}

void build_tile_map(TrackModel *track, const NearestMap *map)
{
    int tiles = 1 << track->design->grid_exponent;
    float cell = track->design->cell;
    // Dirt corners: samples on the track or within a foot of its edge.
    auto dirt = [&](int column, int row) {
        if (column >= track->side)
            column = track->side - 1;
        if (row >= track->side)
            row = track->side - 1;
        int k = map->index[(size_t)row * track->side + column];
        if (k < 0)
            return 0;
        const CentrePoint *p = &track->points[k];
        return fabsf(lateral_offset(p, (float)column * cell, (float)row * cell)) <= p->width * 0.5f + 1.0f ? 1 : 0;
    };
    uint32_t seed = track->design->seed;
    for (int j = 0; j < tiles; j++)
        for (int i = 0; i < tiles; i++) {
            int mask = dirt(2 * i, 2 * j) << 3 | dirt(2 * i + 2, 2 * j) << 2 | dirt(2 * i, 2 * j + 2) << 1 |
                       dirt(2 * i + 2, 2 * j + 2);
            double pick = hash_unit(i, j, seed + 5u);
            int tile;
            if (mask == 0) {
                tile = pick < 0.2 ? TILE_GRASS_ALT1 : pick < 0.3 ? TILE_GRASS_ALT2 : TILE_GRASS;
            } else if (mask == 15) {
                int k = map->index[(size_t)(2 * j + 1) * track->side + 2 * i + 1];
                const CentrePoint *p = k >= 0 ? &track->points[k] : nullptr;
                float l = p ? fabsf(lateral_offset(p, (float)(2 * i + 1) * cell, (float)(2 * j + 1) * cell)) : 99.0f;
                if (p && p->sand)
                    tile = pick < 0.3 ? TILE_SAND_ALT1 : TILE_SAND;
                else if (l < 5.0f && !p->corner)
                    tile = pick < 0.3 ? TILE_HARDPACK_ALT1 : TILE_HARDPACK;
                else
                    tile = pick < 0.2 ? TILE_DIRT_ALT1 : pick < 0.32 ? TILE_DIRT_ALT2 : TILE_DIRT;
            } else {
                tile = transition_tile(mask);
            }
            track->tile_map[(size_t)j * tiles + i] = (uint8_t)tile;
        }
}

// Light of every sample: 255 in the sun, less where the terrain between it
// and the sun is higher; softened over its neighbours.
void build_light(TrackModel *track)
{
    int side = track->side;
    float cell = track->design->cell;
    const float *d = SUN_DIRECTION;
    float horizontal = sqrtf(d[0] * d[0] + d[2] * d[2]);
    float step = 1.5f * cell / horizontal;   // 1.5 cells across the ground a step
    uint8_t *raw = (uint8_t *)checked_malloc((size_t)side * side);
    if (!raw)
        return;
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            float x = (float)column * cell, z = (float)row * cell;
            float y = track->heights[(size_t)row * side + column] + 0.05f;
            int lit = 1;
            for (float t = step; lit; t += step) {
                float py = y + d[1] * t;
                if (py > track->max_height)
                    break;
                float px = x + d[0] * t, pz = z + d[2] * t;
                if (px < 0 || pz < 0 || px > track->extent || pz > track->extent)
                    break;
                if (track_model_height(track, px, pz) > py)
                    lit = 0;
            }
            raw[(size_t)row * side + column] = lit ? 255 : 80;
        }
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            int sum = 0, n = 0;
            for (int dr = -1; dr <= 1; dr++)
                for (int dc = -1; dc <= 1; dc++) {
                    int r = row + dr, c = column + dc;
                    if (r < 0 || c < 0 || r >= side || c >= side)
                        continue;
                    sum += raw[(size_t)r * side + c];
                    n++;
                }
            track->light[(size_t)row * side + column] = (uint8_t)(sum / n);
        }
    checked_free(raw);
}

}  // namespace

float track_surface_height(const TrackModel *track, int index, float lateral)
{
    const CentrePoint *p = &track->points[index];
    float bank = p->bank * lateral + fabsf(p->bank) * p->width * 0.5f;
    return p->base + p->profile + bank;
}

int nearest_centre_point(const TrackModel *track, float x, float z, float reach, float *lateral)
{
    int best = -1;
    float best_d2 = reach * reach;
    for (int k = 0; k < track->count; k++) {
        float dx = x - track->points[k].x, dz = z - track->points[k].z;
        float d2 = dx * dx + dz * dz;
        if (d2 <= best_d2) {
            best_d2 = d2;
            best = k;
        }
    }
    if (best >= 0 && lateral)
        *lateral = lateral_offset(&track->points[best], x, z);
    return best;
}

float track_model_height(const TrackModel *track, float x, float z)
{
    // The game's triangles: split by the parity of the cell.
    float cell = track->design->cell;
    float fx = x / cell, fz = z / cell;
    TriangleChoice t;
    choose_cell_triangle(fx, fz, &t);
    auto at = [&](int column, int row) {
        column = column < 0 ? 0 : column >= track->side ? track->side - 1 : column;
        row = row < 0 ? 0 : row >= track->side ? track->side - 1 : row;
        return track->heights[(size_t)row * track->side + column];
    };
    float h0 = at(t.a, t.r), h1 = at(t.b, t.r), h2 = at(t.a, t.r2);
    return h0 + (h1 - h0) * t.u + (h2 - h0) * t.v;
}

int build_track_model(TrackModel *track, const TrackDesign *design)
{
    memset(track, 0, sizeof *track);
    track->design = design;
    int tiles = 1 << design->grid_exponent;
    track->side = 2 * tiles + 1;
    track->extent = design->cell * (float)(2 * tiles);
    if (!build_track_centreline(track))
        return 0;
    size_t samples = (size_t)track->side * track->side;
    track->heights = (float *)checked_malloc(sizeof(float) * samples);
    track->tile_map = (uint8_t *)checked_malloc((size_t)tiles * tiles);
    track->light = (uint8_t *)checked_malloc(samples);
    NearestMap map = {};
    if (!track->heights || !track->tile_map || !track->light || !build_nearest_map(track, &map)) {
        free_nearest_map(&map);
        return 0;
    }
    for (int row = 0; row < track->side; row++)
        for (int column = 0; column < track->side; column++) {
            size_t i = (size_t)row * track->side + column;
            track->heights[i] = terrain_at(track, map.index[i], (float)column * design->cell, (float)row * design->cell);
        }
    quantise_heights(track);
    build_tile_map(track, &map);
    free_nearest_map(&map);
    build_light(track);
    return 1;
}

void free_track_model(TrackModel *track)
{
    checked_free(track->points);
    checked_free(track->heights);
    checked_free(track->tile_map);
    checked_free(track->light);
    memset(track, 0, sizeof *track);
}
