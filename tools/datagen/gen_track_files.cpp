// Every file of a track folder, from its model: terrain.hf with the 16-bit
// terrain.png (as the editor saves them), shadows.pgm, shadingx2.ppm baked
// with the game's own shade_terrain_point under the lighting written here,
// tileinfo and tilemap, decals, lighting, timing_gates, statues,
// billboards, flaggers, cameras, desc and map.png.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "tools/datagen/gen_image.h"
#include "tools/datagen/gen_png.h"
#include "tools/datagen/gen_props.h"
#include "tools/datagen/gen_sky.h"
#include "tools/datagen/gen_textures.h"
#include "tools/datagen/gen_track.h"

namespace {

// The lighting every generated track is written with.
const float SUN_COLOUR[3] = {0.95f, 0.9f, 0.8f};
const float AMBIENT[3] = {0.42f, 0.44f, 0.48f};
const float GLOBAL_AMBIENT[3] = {0.3f, 0.3f, 0.32f};
const float FOG_COLOUR[3] = {0.74f, 0.8f, 0.88f};
const float FOG_DENSITY = 0.0004f;

struct TrackWriter {
    DataSet *set;
    TrackModel *track;
    ByteBuffer text;
};

int put(TrackWriter *w, const char *file)
{
    char name[DATA_PATH_MAX];
    snprintf(name, sizeof name, "%s/%s", w->track->design->folder, file);
    int ok = put_buffer_file(w->set, name, &w->text);
    free_buffer(&w->text);
    return ok;
}

int put_gzip(TrackWriter *w, const char *file, const void *bytes, size_t size)
{
    char name[DATA_PATH_MAX];
    snprintf(name, sizeof name, "%s/%s", w->track->design->folder, file);
    return put_gzip_data_file(w->set, name, bytes, size);
}

const CentrePoint *point_at(const TrackModel *track, float s)
{
    float wrapped = fmodf(s, track->length);
    if (wrapped < 0)
        wrapped += track->length;
    int index = (int)(wrapped / CENTRELINE_STEP);
    return &track->points[index < 0 ? 0 : index >= track->count ? track->count - 1 : index];
}

int write_terrain(TrackWriter *w)
{
    TrackModel *t = w->track;
    buffer_printf(&w->text, "%d %f %f %f\n", t->design->grid_exponent, t->design->cell, t->min_height, t->max_height);
    int ok = put(w, "terrain.hf");
    size_t samples = (size_t)t->side * t->side;
    uint16_t *values = (uint16_t *)checked_malloc(samples * sizeof(uint16_t));
    if (!values)
        return 0;
    double range = (double)t->max_height - (double)t->min_height;
    for (size_t i = 0; i < samples; i++) {
        double v = ((double)t->heights[i] - t->min_height) / range * 65535.0 + 0.5;
        values[i] = (uint16_t)(v <= 0.0 ? 0 : v >= 65535.0 ? 65535 : (unsigned)v);
    }
    ByteBuffer png = {};
    ok = ok && encode_png(&png, values, t->side, t->side, PNG_GREY16, nullptr);
    char name[DATA_PATH_MAX];
    snprintf(name, sizeof name, "%s/terrain.png", t->design->folder);
    ok = ok && put_buffer_file(w->set, name, &png);
    free_buffer(&png);
    checked_free(values);
    return ok;
}

int write_shadows_and_shading(TrackWriter *w)
{
    TrackModel *t = w->track;
    int side = t->side;
    size_t samples = (size_t)side * side;
    ByteBuffer pgm = {};
    int ok = buffer_printf(&pgm, "P5\n%d %d\n255\n", side, side) && buffer_append(&pgm, t->light, samples) &&
             put_gzip(w, "shadows.pgm", pgm.data, pgm.size);
    free_buffer(&pgm);
    // The game's shading of every sample, on a terrain record holding just
    // what shading needs: heights, face normals and shadow amounts.
    Terrain terrain;
    memset(&terrain, 0, sizeof terrain);
    terrain.side = side;
    terrain.cell = t->design->cell;
    terrain.grid_exponent = t->design->grid_exponent;
    terrain.heights = t->heights;
    int triangles = 2 * (side - 1) * (side - 1);
    terrain.face_normals = (float *)checked_malloc(sizeof(float) * 3 * (size_t)triangles);
    terrain.triangle_dirty = allocate_terrain_bitmap(triangles, 1);
    terrain.shadows = (uint8_t *)checked_malloc(samples);
    uint8_t *shading = (uint8_t *)checked_malloc(samples * 3);
    ok = ok && terrain.face_normals && terrain.triangle_dirty && terrain.shadows && shading;
    if (ok) {
        for (size_t i = 0; i < samples; i++)
            terrain.shadows[i] = (uint8_t)(255 - t->light[i]);
        TrackLighting saved = track_lighting;
        float length = sqrtf(SUN_DIRECTION[0] * SUN_DIRECTION[0] + SUN_DIRECTION[1] * SUN_DIRECTION[1] +
                             SUN_DIRECTION[2] * SUN_DIRECTION[2]);
        for (int k = 0; k < 3; k++) {
            track_lighting.sun_direction[k] = SUN_DIRECTION[k] / length;
            track_lighting.sun_colour[k] = SUN_COLOUR[k];
            track_lighting.ambient[k] = AMBIENT[k];
        }
        for (int row = 0; row < side; row++)
            for (int column = 0; column < side; column++)
                shade_terrain_point(&terrain, column, row, shading + 3 * ((size_t)row * side + column));
        track_lighting = saved;
        ByteBuffer ppm = {};
        ok = encode_rgb_ppm(&ppm, shading, side, side) && put_gzip(w, "shadingx2.ppm", ppm.data, ppm.size);
        free_buffer(&ppm);
    }
    checked_free(terrain.face_normals);
    checked_free(terrain.triangle_dirty);
    checked_free(terrain.shadows);
    checked_free(shading);
    return ok;
}

int write_tiles(TrackWriter *w)
{
    int ok = encode_tileinfo(&w->text) && put(w, "tileinfo");
    int tiles = 1 << w->track->design->grid_exponent;
    return ok && put_gzip(w, "tilemap", w->track->tile_map, (size_t)tiles * tiles);
}

// The angle a bike faces when it travels along (dx, dz).
float facing_angle(float dx, float dz)
{
    return atan2f(-dx, -dz);
}

int write_decals(TrackWriter *w)
{
    const TrackModel *t = w->track;
    const CentrePoint *gate = point_at(t, t->gate_s);
    // The concrete pad: from the gate back past the second row, across the
    // start area. Its length runs along (cos a, -sin a): across the track.
    float across_x = gate->dz, across_z = -gate->dx;
    float angle = atan2f(-across_z, across_x);
    float depth = 17.0f;
    float cx = gate->x - gate->dx * 5.5f, cz = gate->z - gate->dz * 5.5f;
    buffer_printf(&w->text, "[%f %f] %f %f %f %s\n", cx, cz, angle, depth, (t->design->start_width + 2.0f) / depth,
                  CONCRETE_PAD_TEXTURE);
    return put(w, "decals");
}

int write_lighting(TrackWriter *w)
{
    const float *d = SUN_DIRECTION;
    buffer_printf(&w->text,
                  "sun_vector [ %f %f %f ]\nsun_color [ %g %g %g ]\nambient [ %g %g %g ]\n"
                  "global_ambient [ %g %g %g ]\nfog [ %g %g %g ] %g\nnear_plane 0.5\nfar_plane 6000\n",
                  d[0], d[1], d[2], SUN_COLOUR[0], SUN_COLOUR[1], SUN_COLOUR[2], AMBIENT[0], AMBIENT[1], AMBIENT[2],
                  GLOBAL_AMBIENT[0], GLOBAL_AMBIENT[1], GLOBAL_AMBIENT[2], FOG_COLOUR[0], FOG_COLOUR[1],
                  FOG_COLOUR[2], FOG_DENSITY);
    // The sun's flare: a glow on the sun, rings and spots along the line
    // through the middle of the view.
    struct Element {
        float b, size;
        int texture;
        float colour[3];
    };
    static const Element ELEMENTS[5] = {{1.0f, 0.35f, 0, {1.0f, 0.95f, 0.8f}},
                                        {0.55f, 0.07f, 2, {0.6f, 0.7f, 1.0f}},
                                        {0.2f, 0.12f, 1, {0.5f, 0.8f, 0.6f}},
                                        {-0.35f, 0.05f, 2, {1.0f, 0.7f, 0.5f}},
                                        {-0.8f, 0.18f, 1, {0.6f, 0.6f, 1.0f}}};
    for (const Element &e : ELEMENTS)
        buffer_printf(&w->text, "flare_element [ 0 %g ] [ %g %g %g ] %g %s\n", e.b, e.colour[0], e.colour[1],
                      e.colour[2], e.size, FLARE_TEXTURES[e.texture]);
    buffer_printf(&w->text, "flare_vector [ %f %f %f ]\n", d[0], d[1], d[2]);
    return put(w, "lighting");
}

int write_timing_gates(TrackWriter *w)
{
    const TrackModel *t = w->track;
    const TrackDesign *d = t->design;
    const CentrePoint *gate = point_at(t, t->gate_s);
    float angle = facing_angle(gate->dx, gate->dz);
    buffer_printf(&w->text, "startinggate:\n");
    // Across the start area, piece 0 on the right of the riders.
    for (int k = 0; k < d->gate_pieces; k++) {
        float offset = ((float)k - (float)(d->gate_pieces - 1) * 0.5f) * d->gate_spacing;
        float x = gate->x - gate->dz * offset, z = gate->z + gate->dx * offset;
        buffer_printf(&w->text, "[ %f 0 %f ] %f\n", x, z, angle);
    }
    buffer_printf(&w->text, "checkpoints:\n");
    for (int k = 0; k < t->checkpoint_count; k++) {
        const Checkpoint *c = &t->checkpoints[k];
        buffer_printf(&w->text, "%f [ %f %f %f ] [ %f 0 %f ]\n", c->radius, c->x,
                      track_model_height(t, c->x, c->z), c->z, c->dx, c->dz);
    }
    for (int list = 0; list < 2; list++) {
        buffer_printf(&w->text, list ? "normallap:\n" : "firstlap:\n");
        for (int k = 0; k < t->checkpoint_count; k++)
            buffer_printf(&w->text, "%d%s", k, k + 1 < t->checkpoint_count ? " " : "\n");
    }
    return put(w, "timing_gates");
}

// Stakes and tape along both edges, three feet outside the track: the tape
// runs from each stake to the next, exactly one tape length away.
int write_statues(TrackWriter *w)
{
    const TrackModel *t = w->track;
    int n = t->count;
    for (int side = -1; side <= 1; side += 2) {
        auto edge = [&](int i, float *x, float *z) {
            const CentrePoint *p = &t->points[((i % n) + n) % n];
            float offset = (float)side * (p->width * 0.5f + 3.0f);
            *x = p->x + p->dz * offset;
            *z = p->z - p->dx * offset;
        };
        float px, pz;
        edge(0, &px, &pz);
        float first_x = px, first_z = pz;
        int i = 0;
        while (i < n) {
            // The next point of the edge a tape length away.
            float qx = px, qz = pz;
            int found = 0;
            for (int k = i + 1; k <= n && !found; k++) {
                float ax, az, bx, bz;
                edge(k - 1, &ax, &az);
                edge(k, &bx, &bz);
                if (k == n) {
                    bx = first_x;
                    bz = first_z;
                }
                float db = hypotf(bx - px, bz - pz);
                if (db >= TAPE_SEGMENT_LENGTH) {
                    // Solve |a + (b - a) u - p| = L on the segment.
                    float ex = bx - ax, ez = bz - az, fx = ax - px, fz = az - pz;
                    float A = ex * ex + ez * ez, B = 2 * (ex * fx + ez * fz), C = fx * fx + fz * fz -
                                                                                   TAPE_SEGMENT_LENGTH * TAPE_SEGMENT_LENGTH;
                    float disc = B * B - 4 * A * C;
                    float u = A > 0 && disc >= 0 ? (-B + sqrtf(disc)) / (2 * A) : 1.0f;
                    u = u < 0 ? 0 : u > 1 ? 1 : u;
                    qx = ax + ex * u;
                    qz = az + ez * u;
                    i = k - 1;
                    found = 1;
                }
            }
            // An upright stake; the tape follows the ground's slope.
            buffer_printf(&w->text, "[%f 0 %f] -7 %s %s null\n", px, pz, STAKE_MODEL, STAKE_TEXTURE);
            if (!found)
                break;
            float yaw = atan2f(-(qz - pz), qx - px);
            buffer_printf(&w->text, "[%f 0 %f] %f %s %s null\n", px, pz, yaw, TAPE_MODEL, STAKE_TEXTURE);
            px = qx;
            pz = qz;
        }
    }
    return put(w, "statues");
}

int write_billboards(TrackWriter *w)
{
    const TrackModel *t = w->track;
    const TrackDesign *d = t->design;
    GenRandom random;
    seed_gen_random(&random, d->seed * 7919ull + 13);
    int placed = 0;
    for (int attempt = 0; attempt < d->trees * 200 && placed < d->trees; attempt++) {
        float x = (float)gen_random_range(&random, 30.0, t->extent - 30.0);
        float z = (float)gen_random_range(&random, 30.0, t->extent - 30.0);
        float centre = t->extent * 0.5f;
        float r = hypotf(x - centre, z - centre) / centre;
        float grove = (float)fractal_noise(x / 160.0, z / 160.0, d->seed + 99u, 3, 0.5, 0);
        float chance = (0.15f + 0.85f * fminf(1.0f, fmaxf(0.0f, (r - 0.35f) / 0.4f))) * (grove > 0.45f ? 1.0f : 0.15f);
        if (gen_random_unit(&random) > chance)
            continue;
        float lateral;
        int near = nearest_centre_point(t, x, z, 80.0f, &lateral);
        if (near >= 0 && fabsf(lateral) < t->points[near].width * 0.5f + 45.0f)
            continue;
        int kind = gen_random_unit(&random) < 0.6 ? 0 : 1;
        float height = (float)gen_random_range(&random, 22.0, 42.0) * (kind ? 0.8f : 1.0f);
        float width = kind ? 0.85f : 0.55f;
        buffer_printf(&w->text, "[ %f -0.4 %f ] %f %f %s\n", x, z, width, height, TREE_TEXTURES[kind]);
        placed++;
    }
    return put(w, "billboards");
}

int write_flaggers(TrackWriter *w)
{
    const TrackModel *t = w->track;
    const TrackDesign *d = t->design;
    const CentrePoint *gate = point_at(t, t->gate_s + 14.0f);
    float half = d->start_width * 0.5f;
    // The starter: in front of the gate, walking off to the side once it drops.
    float ax = gate->x - gate->dz * -(half - 6.0f), az = gate->z + gate->dx * -(half - 6.0f);
    float bx = gate->x - gate->dz * -(half + 10.0f), bz = gate->z + gate->dx * -(half + 10.0f);
    buffer_printf(&w->text, "[ %f 0 %f ] [ %f 0 %f ] 0.5 6.5 2.5\n", ax, az, bx, bz);
    for (const char *texture : START_FLAGGER_TEXTURES)
        buffer_printf(&w->text, "%s\n", texture);
    // The lap flagger beside the finish line.
    const Checkpoint *finish = &t->checkpoints[t->checkpoint_count - 1];
    float offset = finish->radius + 4.0f;
    buffer_printf(&w->text, "[ %f 0 %f ] 0.5 6.5\n", finish->x + finish->dz * offset, finish->z - finish->dx * offset);
    for (const char *texture : LAP_FLAGGER_TEXTURES)
        buffer_printf(&w->text, "%s\n", texture);
    // Corner marshals at the jumps, watching the checkpoints before and after.
    int placed = 0;
    for (int f = 0; f < d->feature_count && placed < d->corner_flaggers; f++) {
        if (d->features[f].kind == FEATURE_SAND)
            continue;
        float s0, s1;
        feature_span(t, f, &s0, &s1);
        const CentrePoint *p = point_at(t, (s0 + s1) * 0.5f);
        int before = -1, after = -1;
        for (int k = 0; k < t->checkpoint_count; k++) {
            float s = t->checkpoints[k].s;
            if (s <= s0 && (before < 0 || s > t->checkpoints[before].s))
                before = k;
            if (s >= s1 && (after < 0 || s < t->checkpoints[after].s))
                after = k;
        }
        float side = placed % 2 ? 1.0f : -1.0f;
        float out = p->width * 0.5f + 9.0f;
        buffer_printf(&w->text, "[ %f 0 %f ] 0.5 6.2 %d %d -1 -1 %s %s\n", p->x + p->dz * out * side,
                      p->z - p->dx * out * side, before, after, FLAGGER_TEXTURES[0], FLAGGER_TEXTURES[1]);
        placed++;
    }
    return put(w, "flaggers");
}

int write_cameras(TrackWriter *w)
{
    const TrackModel *t = w->track;
    // One camera for every few checkpoints, outside the track at their middle.
    int per = t->checkpoint_count > 12 ? 3 : 2;
    for (int first = 0; first < t->checkpoint_count; first += per) {
        buffer_printf(&w->text, "gate");
        for (int k = first; k < first + per && k < t->checkpoint_count; k++)
            buffer_printf(&w->text, " %d", k);
        buffer_printf(&w->text, "\n");
        // The first camera stands at the first checkpoint, looking back at
        // the gate down the start straight; the others at their group's
        // middle.
        int middle = first > 0 && first + per / 2 < t->checkpoint_count ? first + per / 2 : first;
        const Checkpoint *c = &t->checkpoints[middle];
        float out = c->radius + 30.0f;
        float side = (first / per) % 2 ? 1.0f : -1.0f;
        buffer_printf(&w->text, "fov 55\naddcamera %f 14 %f\n", c->x + c->dz * out * side, c->z - c->dx * out * side);
    }
    return put(w, "cameras");
}

int write_map(TrackWriter *w)
{
    const TrackModel *t = w->track;
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgba(0, 0, 0, 0)))
        return 0;
    float scale = (float)S / t->extent;
    // Outline then surface: a quad for every few feet of the line.
    for (int pass = 0; pass < 2; pass++)
        for (int i = 0; i < t->count; i += 2) {
            const CentrePoint *a = &t->points[i], *b = &t->points[(i + 3) % t->count];
            float half = (a->width * 0.5f + (pass ? 0.0f : 5.0f)) * scale;
            half = fmaxf(half, pass ? 1.6f : 2.6f);
            float quad[8] = {a->x * scale + a->dz * half, a->z * scale - a->dx * half,
                             b->x * scale + b->dz * half, b->z * scale - b->dx * half,
                             b->x * scale - b->dz * half, b->z * scale + b->dx * half,
                             a->x * scale - a->dz * half, a->z * scale + a->dx * half};
            fill_polygon(&image, quad, 4, pass ? rgba(0.9f, 0.82f, 0.65f, 1) : rgba(0.1f, 0.08f, 0.06f, 0.9f));
        }
    const CentrePoint *gate = point_at(t, t->gate_s);
    float half = t->design->start_width * 0.5f * scale;
    float gx = gate->x * scale, gz = gate->z * scale;
    stroke_line(&image, gx + gate->dz * half, gz - gate->dx * half, gx - gate->dz * half, gz + gate->dx * half, 2.0f,
                rgba(0.9f, 0.1f, 0.1f, 1));
    ByteBuffer png = {};
    char name[DATA_PATH_MAX];
    snprintf(name, sizeof name, "%s/map.png", t->design->folder);
    int ok = encode_image_png(&png, &image, 4, nullptr) && put_buffer_file(w->set, name, &png);
    free_buffer(&png);
    free_image(&image);
    return ok;
}

}  // namespace

int write_track_files(DataSet *set, TrackModel *track)
{
    TrackWriter w = {set, track, {}};
    int ok = write_terrain(&w) && write_shadows_and_shading(&w) && write_tiles(&w) && write_decals(&w) &&
             write_lighting(&w) && write_timing_gates(&w) && write_statues(&w) && write_billboards(&w) &&
             write_flaggers(&w) && write_cameras(&w) && write_map(&w);
    if (ok) {
        buffer_printf(&w.text, "%s\n", track->design->long_name);
        ok = put(&w, "desc");
    }
    free_buffer(&w.text);
    return ok;
}
