// Erosion: the wire message of a tyre's rut, the queue its points wait in,
// and the drain that digs a share of them into the terrain every frame.
#include "track/erosion.h"

#include <cmath>
#include <cstring>

#include "core/message.h"
#include "race/race_state.h"
#include "track/terrain.h"

ErosionQueue erosion_queue = {{}, 0, 0, 0, EROSION_NO_DEADLINE};
int erosion_amount;

void clear_erosion_record(ErosionRecord *record)
{
    memset(record->step_bounds, 0, sizeof record->step_bounds);
    record->last_close_tic = 0;
    record->point_count = 0;
    record->last_sample_x = record->last_sample_z = 0.0f;
    record->sum_x = record->sum_z = 0.0f;
    record->sum_direction_x = record->sum_direction_z = 0.0f;
    record->travelled = 0.0f;
    record->samples = 0;
}

static float clampf(float value, float low, float high)
{
    return fminf(fmaxf(value, low), high);
}

uint8_t encode_erosion_direction(float component, int flag_bits)
{
    float q = (clampf(component, -1.0f, 1.0f) + 1.0f) / 2.0f;
    int level = (int)floorf(q * 64.0f + 0.5f);
    if (level > 63)
        level = 63;
    return (uint8_t)((level << 2) | (flag_bits & 3));
}

float decode_erosion_direction(uint8_t byte)
{
    return clampf((float)(byte >> 2) / 64.0f, 0.0f, 1.0f) * 2.0f - 1.0f;
}

static unsigned encode_bound(float value)
{
    value = clampf(value, -1024.0f, 1024.0f);
    return (unsigned)floorf((value + 1024.0f) / 2048.0f * 65535.0f + 0.5f);
}

static float decode_bound(unsigned u)
{
    return (float)u / 65535.0f * 2048.0f - 1024.0f;
}

static void put16(uint8_t *p, unsigned v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put24(uint8_t *p, unsigned v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
}

static unsigned get16(const uint8_t *p)
{
    return p[0] | (unsigned)p[1] << 8;
}

static unsigned get24(const uint8_t *p)
{
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16;
}

// A point's sample count as the four flag bits of the message.
static int point_flags(int samples)
{
    return samples < 0 ? 0 : samples > 15 ? 15 : samples;
}

static uint8_t encode_step(float step, float low, float high)
{
    if (!(high > low))
        return 0;
    step = clampf(step, low, high);
    float byte = floorf((step - low) / (high - low) * 255.0f + 0.5f);
    return (uint8_t)clampf(byte, 0.0f, 255.0f);
}

// A coordinate as a 24-bit fraction of the extent. In double: in float the
// far edge, 16777215 + 0.5, rounds up to 16777216 and would wrap to 0.
static unsigned encode_fraction24(float value, float extent)
{
    if (!(extent > 0.0f))
        return 0;
    double v = fmin(fmax((double)value, 0.0), (double)extent);   // a NaN gives 0
    double u = floor(v / extent * 16777215.0 + 0.5);
    return u >= 16777215.0 ? 16777215u : (unsigned)u;
}

int encode_erosion_record(uint8_t *message, const ErosionRecord *record)
{
    int count = record->point_count;
    if (count <= 0 || !current_terrain)
        return 0;
    if (count > EROSION_POINTS)
        count = EROSION_POINTS;
    float extent = current_terrain->extent;
    message[0] = 1;
    float bounds[4];
    for (int i = 0; i < 4; i++) {
        float widened = record->step_bounds[i] + (i < 2 ? -0.0625f : 0.0625f);
        unsigned u = encode_bound(widened);
        put16(message + 1 + 2 * i, u);
        bounds[i] = decode_bound(u);
    }
    const ErosionPoint *first = &record->points[0];
    unsigned ux = encode_fraction24(first->x, extent);
    unsigned uz = encode_fraction24(first->z, extent);
    put24(message + 9, ux);
    put24(message + 12, uz);
    float x = (float)ux / 16777215.0f * extent;
    float z = (float)uz / 16777215.0f * extent;
    int flags = point_flags(first->flags);
    message[15] = encode_erosion_direction(first->direction_x, flags);
    message[16] = encode_erosion_direction(first->direction_z, flags >> 2);
    for (int k = 1; k < count; k++) {
        const ErosionPoint *point = &record->points[k];
        uint8_t *out = message + 17 + 4 * (k - 1);
        uint8_t a = encode_step(point->x - x, bounds[0], bounds[2]);
        uint8_t b = encode_step(point->z - z, bounds[1], bounds[3]);
        x += bounds[0] + (bounds[2] - bounds[0]) * a / 255.0f;
        z += bounds[1] + (bounds[3] - bounds[1]) * b / 255.0f;
        flags = point_flags(point->flags);
        out[0] = a;
        out[1] = b;
        out[2] = encode_erosion_direction(point->direction_x, flags);
        out[3] = encode_erosion_direction(point->direction_z, flags >> 2);
    }
    return 17 + 4 * (count - 1);
}

static void queue_point(float x, float z, uint8_t byte_x, uint8_t byte_z)
{
    ErosionQueue *queue = &erosion_queue;
    if (queue->count >= EROSION_QUEUE_SIZE) {
        if (!queue->full_reported) {
            queue->full_reported = 1;
            print_message("Erode queue full!");
        }
        return;
    }
    ErosionQueueEntry *entry = &queue->entries[(queue->oldest + queue->count) % EROSION_QUEUE_SIZE];
    entry->x = x;
    entry->z = z;
    entry->direction_x = decode_erosion_direction(byte_x);
    entry->direction_z = decode_erosion_direction(byte_z);
    entry->flags = (byte_x & 3) | ((byte_z & 3) << 2);
    queue->count++;
}

void queue_erosion_message(const uint8_t *message, int length)
{
    if (!message || length < 17 || message[0] != 1 || !current_terrain)
        return;
    if (length > EROSION_MESSAGE_MAX)
        length = EROSION_MESSAGE_MAX;
    int count = ((length - 17) >> 2) + 1;
    float extent = current_terrain->extent;
    float bounds[4];
    for (int i = 0; i < 4; i++)
        bounds[i] = decode_bound(get16(message + 1 + 2 * i));
    float x = (float)get24(message + 9) / 16777215.0f * extent;
    float z = (float)get24(message + 12) / 16777215.0f * extent;
    queue_point(x, z, message[15], message[16]);
    for (int k = 1; k < count; k++) {
        const uint8_t *in = message + 17 + 4 * (k - 1);
        x += bounds[0] + (bounds[2] - bounds[0]) * in[0] / 255.0f;
        z += bounds[1] + (bounds[3] - bounds[1]) * in[1] / 255.0f;
        queue_point(x, z, in[2], in[3]);
    }
}

void reset_erosion_queue(void)
{
    erosion_queue.count = 0;
    erosion_queue.oldest = 0;
    erosion_queue.deadline = EROSION_NO_DEADLINE;
}

// The limit values 2 and 3 of a tile at rut depth.
static void erosion_limits(const ErosionValues *e, float depth, float *value2, float *value3)
{
    int k = e->limit_count < 1 ? 1 : e->limit_count > TILE_ERODE_LIMITS ? TILE_ERODE_LIMITS : e->limit_count;
    float t = 0.0f;
    if (k >= 2 && !(depth < e->limit_depth[0])) {
        t = (float)(k - 1);
        for (int i = 1; i < k; i++)
            if (depth < e->limit_depth[i]) {
                t = (float)(i - 1) + (depth - e->limit_depth[i - 1]) /
                                         (e->limit_depth[i] - e->limit_depth[i - 1]);
                break;
            }
    }
    float base = floorf(t);
    int i0 = (int)base, i1 = i0 + 1;
    i0 = i0 < 0 ? 0 : i0 > k - 1 ? k - 1 : i0;
    i1 = i1 < 0 ? 0 : i1 > k - 1 ? k - 1 : i1;
    float f = t - base;
    *value2 = e->limit_value2[i0] + (e->limit_value2[i1] - e->limit_value2[i0]) * f;
    *value3 = e->limit_value3[i0] + (e->limit_value3[i1] - e->limit_value3[i0]) * f;
}

static void dig_erosion_point(Terrain *terrain, const ErosionQueueEntry *entry, float amount)
{
    float x = entry->x, z = entry->z;
    int tiles = terrain_tile_side(terrain);
    float scale = 1.0f / (2.0f * terrain->cell);
    int tx = (int)clampf(x * scale, 0.0f, (float)(tiles - 1));
    int tz = (int)clampf(z * scale, 0.0f, (float)(tiles - 1));
    int tile = terrain->tile_map ? terrain->tile_map[tz * tiles + tx] : 0;
    if (terrain->tile_count > 0 && tile >= terrain->tile_count)
        tile = terrain->tile_count - 1;
    const ErosionValues *e = &terrain->tiles[tile].erosion;

    float g = sqrtf(entry->direction_x * entry->direction_x + entry->direction_z * entry->direction_z);
    if (!(g > 0.0f) || !std::isfinite(g))
        return;   // no direction: nothing to push the dirt along
    float strength = clampf((g - 0.125f) * 1.1428572f, 0.0f, 1.0f);
    // A reach of 0 digs the point and puts the dirt back where it was.
    float reach = strength * e->erode_displacement;
    float px = x - entry->direction_x / g * reach;
    float pz = z - entry->direction_z / g * reach;
    if (!std::isfinite(reach) || !std::isfinite(px) || !std::isfinite(pz))
        return;
    float h0 = sample_ground_height(terrain, x, z);
    float h1 = sample_ground_height(terrain, px, pz);
    float diff = h1 - h0;
    if (diff > reach * e->erode_max_slope || diff < reach * e->erode_min_slope)
        return;
    float a = amount / 2048.0f;
    if (diff < 0.0f)
        a *= 1.0f + (h0 - h1) / reach * e->erode_downhill_scale;
    float rut = sample_height_array(terrain, terrain->loaded_heights, x, z) - h0;
    float value2, value3;
    erosion_limits(e, rut, &value2, &value3);
    float d1 = terrain_dig(terrain, x, z, e->erode_radius, -value2 * a * e->erode_depth * (float)entry->flags);
    float d2 = terrain_dig(terrain, x, z, e->erode_inner_radius, -value3 * a * e->erode_inner_depth);
    terrain_dig_spread(terrain, px, pz, e->erode_radius, -(d1 + d2));
}

void drain_erosion_queue(const float *viewer, float amount)
{
    ErosionQueue *queue = &erosion_queue;
    Terrain *terrain = current_terrain;
    if (!terrain || !terrain->heights)
        return;
    int now = current_tic;
    if (now > queue->deadline || queue->count > 8192) {
        viewer = nullptr;
        queue->deadline = EROSION_NO_DEADLINE;
    }
    int budget = queue->count / 512 + 4;
    if (queue->count >= 8192)
        budget += (queue->count - 8192) / 64;
    int taken = 0;
    while (queue->count > 0 && taken < budget) {
        const ErosionQueueEntry *entry = &queue->entries[queue->oldest];
        if (viewer) {
            float dx = entry->x - viewer[0], dz = entry->z - viewer[2];
            if (dx * dx + dz * dz < 100.0f)
                break;
        }
        ErosionQueueEntry point = *entry;
        queue->oldest = (queue->oldest + 1) % EROSION_QUEUE_SIZE;
        queue->count--;
        taken++;
        dig_erosion_point(terrain, &point, amount);
        queue->deadline = EROSION_NO_DEADLINE;
    }
    if (taken >= budget)
        return;
    if (queue->count > 0 && (long long)now + 256 < queue->deadline)
        queue->deadline = now + 256;
}
