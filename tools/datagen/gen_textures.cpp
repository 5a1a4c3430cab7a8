// Textures painted for the tracks and the race. Ground tiles are drawn
// from their 1/16 .. 15/16 part only, so their pattern repeats with a
// period of 7/8 of the image: opposite edges of the shown part meet.
#include "tools/datagen/gen_textures.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/datagen/gen_fonts.h"
#include "tools/datagen/gen_image.h"

const char *const WHITE_TEXTURE = "@colors/white.png";
const char *const ROOST_TEXTURE = "@roost.png";
const char *const FLARE_TEXTURES[3] = {"@flares/glow.png", "@flares/ring.png", "@flares/spot.png"};
const char *const START_FLAGGER_TEXTURES[5] = {"@flaggers/start_board.png", "@flaggers/start_sideways.png",
                                               "@flaggers/start_lowered.png", "@flaggers/start_walking.png",
                                               "@flaggers/start_aside.png"};
const char *const LAP_FLAGGER_TEXTURES[4] = {"@flaggers/lap_normal.png", "@flaggers/lap_halfway.png",
                                             "@flaggers/lap_last.png", "@flaggers/lap_finish.png"};
const char *const FLAGGER_TEXTURES[2] = {"@flaggers/corner_ready.png", "@flaggers/corner_yellow.png"};
const char *const TREE_TEXTURES[2] = {"@props/tree_pine.png", "@props/tree_broad.png"};
const char *const STAKE_TEXTURE = "@props/stake.png";
const char *const CONCRETE_PAD_TEXTURE = "@decals/concrete_pad.png";

static const float PI_F = 3.14159265358979f;

static int save_png(DataSet *set, const char *game_name, GenImage *image, int channels, const char *text)
{
    ByteBuffer png = {};
    const char *name = game_name[0] == '@' ? game_name + 1 : game_name;
    int ok = encode_image_png(&png, image, channels, text) && put_buffer_file(set, name, &png);
    free_buffer(&png);
    free_image(image);
    return ok;
}

static void put_pixel(GenImage *image, int x, int y, GenColour c)
{
    float *p = image_pixel(image, x, y);
    if (p) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = c.a;
    }
}

// ---- ground tiles ----

struct TileLook {
    const char *name;        // base name of the texture
    GenColour base, dark, light;
    uint32_t seed;
    float grain;             // share of fine grain
    float stones;            // density of small stones
    float blades;            // grass blades
};

static const TileLook DIRT = {"dirt", {0.5f, 0.36f, 0.24f, 1}, {0.36f, 0.25f, 0.16f, 1}, {0.62f, 0.48f, 0.34f, 1},
                              101u, 0.5f, 0.04f, 0.0f};
static const TileLook HARDPACK = {"hardpack", {0.56f, 0.45f, 0.33f, 1}, {0.45f, 0.36f, 0.27f, 1},
                                  {0.66f, 0.56f, 0.43f, 1}, 202u, 0.3f, 0.02f, 0.0f};
static const TileLook GRASS = {"grass", {0.3f, 0.45f, 0.18f, 1}, {0.2f, 0.33f, 0.11f, 1}, {0.45f, 0.58f, 0.26f, 1},
                               303u, 0.4f, 0.0f, 0.5f};
static const TileLook SAND = {"sand", {0.78f, 0.68f, 0.48f, 1}, {0.66f, 0.56f, 0.38f, 1}, {0.88f, 0.8f, 0.6f, 1},
                              404u, 0.7f, 0.01f, 0.0f};

// Colour of a tile look at a point of its period (px, py in 0..56).
static GenColour tile_colour(const TileLook *look, int variant, float px, float py)
{
    const int PERIOD = TILE_IMAGE_SIZE * 7 / 8;
    uint32_t seed = look->seed + 31u * (uint32_t)variant;
    float broad = (float)fractal_noise(px / 14.0, py / 14.0, seed, 3, 0.5, PERIOD / 14);
    float fine = (float)fractal_noise(px / 3.5, py / 3.5, seed + 7u, 2, 0.5, PERIOD * 2 / 7);
    float t = broad * (1.0f - look->grain) + fine * look->grain;
    GenColour c = t < 0.5f ? mix_colour(look->dark, look->base, t * 2.0f) : mix_colour(look->base, look->light, t * 2.0f - 1.0f);
    int ix = (int)floorf(px), iy = (int)floorf(py);
    if (look->stones > 0.0f && hash_unit(ix / 2, iy / 2, seed + 99u) < look->stones)
        c = mix_colour(c, look->light, 0.6f);
    if (look->blades > 0.0f) {
        float streak = (float)value_noise(px / 1.5, py / 5.0, seed + 5u, PERIOD * 2 / 3);
        float blade = streak > 0.62f ? look->blades : streak < 0.3f ? -look->blades * 0.6f : 0.0f;
        c = blade > 0 ? mix_colour(c, look->light, blade) : mix_colour(c, look->dark, -blade);
    }
    return c;
}

// Pixel (x, y) of a tile image in its period: the shown part starts at 1/16.
static void tile_position(int x, int y, float *px, float *py)
{
    const int PERIOD = TILE_IMAGE_SIZE * 7 / 8, OFFSET = TILE_IMAGE_SIZE / 16;
    *px = (float)(((x - OFFSET) % PERIOD + PERIOD) % PERIOD) + 0.5f;
    *py = (float)(((y - OFFSET) % PERIOD + PERIOD) % PERIOD) + 0.5f;
}

static int make_tile(DataSet *set, const TileLook *look, int variant)
{
    GenImage image;
    if (!create_image(&image, TILE_IMAGE_SIZE, TILE_IMAGE_SIZE, rgb(0, 0, 0)))
        return 0;
    for (int y = 0; y < TILE_IMAGE_SIZE; y++)
        for (int x = 0; x < TILE_IMAGE_SIZE; x++) {
            float px, py;
            tile_position(x, y, &px, &py);
            put_pixel(&image, x, y, tile_colour(look, variant, px, py));
        }
    char name[64];
    if (variant)
        snprintf(name, sizeof name, "tiles/%s-alt%d.png", look->name, variant);
    else
        snprintf(name, sizeof name, "tiles/%s.png", look->name);
    return save_png(set, name, &image, 3, nullptr);
}

// A grass square whose marked corners show dirt: the shown part's corners
// are the square's corners; the edge between the two wanders a little.
static int make_transition(DataSet *set, int mask)
{
    GenImage image;
    if (!create_image(&image, TILE_IMAGE_SIZE, TILE_IMAGE_SIZE, rgb(0, 0, 0)))
        return 0;
    const float SHOWN = (float)TILE_IMAGE_SIZE * 7.0f / 8.0f, OFFSET = (float)TILE_IMAGE_SIZE / 16.0f;
    // Corner weights: (-x,-z), (+x,-z), (-x,+z), (+x,+z) from bits 3..0.
    float corner[4];
    for (int k = 0; k < 4; k++)
        corner[k] = (mask >> (3 - k)) & 1 ? 1.0f : 0.0f;
    for (int y = 0; y < TILE_IMAGE_SIZE; y++)
        for (int x = 0; x < TILE_IMAGE_SIZE; x++) {
            float u = ((float)x + 0.5f - OFFSET) / SHOWN, v = ((float)y + 0.5f - OFFSET) / SHOWN;
            u = u < 0 ? 0 : u > 1 ? 1 : u;
            v = v < 0 ? 0 : v > 1 ? 1 : v;
            float d = corner[0] * (1 - u) * (1 - v) + corner[1] * u * (1 - v) + corner[2] * (1 - u) * v +
                      corner[3] * u * v;
            float px, py;
            tile_position(x, y, &px, &py);
            float wobble = (float)fractal_noise(px / 6.0, py / 6.0, 777u, 2, 0.5, 0) - 0.5f;
            float dirt = (float)smooth_step(0.42, 0.58, d + 0.25 * wobble);
            GenColour c = mix_colour(tile_colour(&GRASS, 0, px, py), tile_colour(&DIRT, 0, px, py), dirt);
            put_pixel(&image, x, y, c);
        }
    char name[64];
    snprintf(name, sizeof name, "tiles/grass-dirt-%d%d%d%d.png", (mask >> 3) & 1, (mask >> 2) & 1, (mask >> 1) & 1,
             mask & 1);
    return save_png(set, name, &image, 3, nullptr);
}

void ground_tile_texture(int tile, char *out, int n)
{
    static const char *const PLAIN[TILE_TRANSITIONS] = {"dirt", "dirt-alt1", "dirt-alt2", "hardpack",
                                                        "hardpack-alt1", "grass", "grass-alt1", "grass-alt2",
                                                        "sand", "sand-alt1"};
    if (tile >= 0 && tile < TILE_TRANSITIONS) {
        snprintf(out, (size_t)n, "@tiles/%s.png", PLAIN[tile]);
        return;
    }
    int mask = tile - TILE_TRANSITIONS + 1;
    snprintf(out, (size_t)n, "@tiles/grass-dirt-%d%d%d%d.png", (mask >> 3) & 1, (mask >> 2) & 1, (mask >> 1) & 1,
             mask & 1);
}

int transition_tile(int dirt_corners)
{
    if (dirt_corners <= 0)
        return TILE_GRASS;
    if (dirt_corners >= 15)
        return TILE_DIRT;
    return TILE_TRANSITIONS + dirt_corners - 1;
}

// Physics of each look: friction points (value at slip speed), rolling
// resistance (light and full load at a speed), roost and erosion.
struct TilePhysics {
    float friction[4][2];
    float roll[2][3];
    const char *roost;
    float erode_depth, erode_radius, erode_inner_depth;
};

static const TilePhysics DIRT_PHYSICS = {{{1.1f, 0}, {1.2f, 4}, {1.05f, 15}, {0.9f, 45}},
                                         {{3, 9, 1}, {4, 12, 60}},
                                         "r=120 g=88 b=60 count=10 size=0.25",
                                         1.0f, 4.0f, 0.125f};
static const TilePhysics HARDPACK_PHYSICS = {{{1.2f, 0}, {1.3f, 4}, {1.1f, 15}, {0.95f, 45}},
                                             {{2, 7, 1}, {3, 9, 60}},
                                             "r=140 g=115 b=90 count=6 size=0.2",
                                             0.5f, 3.5f, 0.08f};
static const TilePhysics GRASS_PHYSICS = {{{0.95f, 0}, {1.0f, 3}, {0.8f, 12}, {0.7f, 40}},
                                          {{3, 10, 1}, {4, 13, 60}},
                                          "r=70 g=95 b=40 count=5 size=0.2",
                                          0.3f, 3.0f, 0.05f};
static const TilePhysics SAND_PHYSICS = {{{0.9f, 0}, {1.0f, 4}, {0.9f, 15}, {0.8f, 45}},
                                         {{6, 16, 1}, {8, 20, 60}},
                                         "r=200 g=180 b=130 count=14 size=0.3",
                                         1.6f, 4.5f, 0.2f};

static const TilePhysics *tile_physics(int tile)
{
    if (tile <= TILE_DIRT_ALT2 || tile >= TILE_TRANSITIONS)
        return &DIRT_PHYSICS;
    if (tile <= TILE_HARDPACK_ALT1)
        return &HARDPACK_PHYSICS;
    if (tile <= TILE_GRASS_ALT2)
        return &GRASS_PHYSICS;
    return &SAND_PHYSICS;
}

int encode_tileinfo(ByteBuffer *out)
{
    // The file has no comments: every word starting a line is a keyword.
    int ok = 1;
    for (int tile = 0; ok && tile < GROUND_TILE_COUNT; tile++) {
        const TilePhysics *p = tile_physics(tile);
        char texture[64];
        ground_tile_texture(tile, texture, sizeof texture);
        const char *base = strrchr(texture, '/') + 1;
        ok = buffer_printf(out, "name %.*s\ntexture %s\n", (int)(strlen(base) - 4), base, texture);
        for (int k = 0; ok && k < 4; k++)
            ok = buffer_printf(out, "friction %g %g\n", p->friction[k][0], p->friction[k][1]);
        ok = ok && buffer_printf(out, "slip_function 0\n");
        for (int k = 0; ok && k < 2; k++)
            ok = buffer_printf(out, "roll_resist %g %g %g\n", p->roll[k][0], p->roll[k][1], p->roll[k][2]);
        ok = ok && buffer_printf(out, "roost texture=%s %s\n", ROOST_TEXTURE, p->roost);
        ok = ok && buffer_printf(out,
                                 "erode_depth %g\nerode_radius %g\nerode_inner_depth %g\n"
                                 "erode_limit 0 1 1\nerode_limit 0.5 0.5 0.75\nerode_limit 1.5 0 0.25\naddtile\n",
                                 p->erode_depth, p->erode_radius, p->erode_inner_depth);
    }
    return ok;
}

static int make_tiles(DataSet *set)
{
    const TileLook *looks[4] = {&DIRT, &HARDPACK, &GRASS, &SAND};
    const int variants[4] = {3, 2, 3, 2};
    int ok = 1;
    for (int l = 0; ok && l < 4; l++)
        for (int v = 0; ok && v < variants[l]; v++)
            ok = make_tile(set, looks[l], v);
    for (int mask = 1; ok && mask < 15; mask++)
        ok = make_transition(set, mask);
    return ok;
}

// ---- flares, roost, white ----

static int make_small_textures(DataSet *set)
{
    GenImage image;
    int ok = create_image(&image, 8, 8, rgb(1, 1, 1)) && save_png(set, WHITE_TEXTURE, &image, 3, nullptr);
    // A clod of dirt: light in the middle, soft at the edge.
    ok = ok && create_image(&image, 64, 64, rgba(0.55f, 0.42f, 0.3f, 0));
    if (ok) {
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                float dx = ((float)x + 0.5f - 32) / 30, dy = ((float)y + 0.5f - 32) / 30;
                float r = sqrtf(dx * dx + dy * dy) + 0.35f * ((float)fractal_noise(x / 8.0, y / 8.0, 61u, 3, 0.5, 0) - 0.5f);
                float a = (float)clamp_unit((1.0 - r) * 3.0);
                float shade = 0.8f + 0.4f * (float)value_noise(x / 4.0, y / 4.0, 62u, 0);
                put_pixel(&image, x, y, rgba(0.9f * shade, 0.9f * shade, 0.9f * shade, a));
            }
        ok = save_png(set, ROOST_TEXTURE, &image, 4, nullptr);
    }
    // Flare elements: a soft glow, a thin ring and a small bright spot.
    for (int f = 0; ok && f < 3; f++) {
        ok = create_image(&image, 128, 128, rgba(1, 1, 1, 0));
        for (int y = 0; ok && y < 128; y++)
            for (int x = 0; x < 128; x++) {
                float r = hypotf((float)x + 0.5f - 64, (float)y + 0.5f - 64) / 64.0f;
                float a = f == 0 ? expf(-r * r * 5.0f) * (1 - r)
                        : f == 1 ? expf(-(r - 0.8f) * (r - 0.8f) * 300.0f) * 0.8f
                                 : (float)clamp_unit((1.0 - r) * 1.5) * (float)clamp_unit((1.0 - r) * 1.5);
                put_pixel(&image, x, y, rgba(1, 1, 1, a < 0 ? 0 : a));
            }
        ok = ok && save_png(set, FLARE_TEXTURES[f], &image, 4, nullptr);
    }
    return ok;
}

// ---- flaggers ----

// A flagger billboard (128 x 256, feet at the bottom): a marshal in a
// coloured shirt; pose 0 stands, 1 walks, 2 holds a flag up, 3 holds a
// board up, 4 holds the board edge-on, 5 holds it low, 6 waves the flag.
static void paint_marshal(GenImage *image, int pose, GenColour shirt)
{
    const GenColour skin = rgb(0.86f, 0.68f, 0.55f), trousers = rgb(0.2f, 0.22f, 0.3f), boots = rgb(0.1f, 0.1f, 0.1f);
    float cx = 64.0f;
    float stride = pose == 1 ? 18.0f : 6.0f;
    stroke_line(image, cx - 6, 150, cx - stride, 236, 14, trousers);
    stroke_line(image, cx + 6, 150, cx + stride, 236, 14, trousers);
    fill_rect(image, cx - stride - 10, 232, cx - stride + 8, 244, boots);
    fill_rect(image, cx + stride - 8, 232, cx + stride + 10, 244, boots);
    float torso[8] = {cx - 20, 82, cx + 20, 82, cx + 16, 156, cx - 16, 156};
    fill_polygon(image, torso, 4, shirt);
    fill_disc(image, cx, 62, 15, skin);
    fill_rect(image, cx - 15, 44, cx + 15, 56, rgb(0.15f, 0.15f, 0.2f));
    int raised = pose >= 2 && pose <= 4;
    // Left arm down; right arm as the pose needs.
    stroke_line(image, cx - 19, 88, cx - 26, 148, 10, shirt);
    if (raised || pose == 6)
        stroke_line(image, cx + 19, 88, cx + 32, 34, 10, shirt);
    else if (pose == 5)
        stroke_line(image, cx + 19, 88, cx + 36, 130, 10, shirt);
    else
        stroke_line(image, cx + 19, 88, cx + 26, 148, 10, shirt);
}

static void paint_flag(GenImage *image, float x, float y, float wave, int kind)
{
    // kind 0 yellow, 1 white, 2 checkered, 3 crossed green and white
    stroke_line(image, x, y, x, y + 90, 3, rgb(0.3f, 0.3f, 0.3f));
    for (int row = 0; row < 8; row++)
        for (int column = 0; column < 10; column++) {
            float fx = x + 2.0f + 5.0f * (float)column, fy = y + 4.0f * (float)row + wave * sinf((float)column * 0.7f);
            GenColour c = kind == 0 ? rgb(1.0f, 0.85f, 0.05f)
                        : kind == 1 ? rgb(0.97f, 0.97f, 0.97f)
                        : kind == 2 ? (((row / 2) + (column / 2)) % 2 ? rgb(0.05f, 0.05f, 0.05f) : rgb(0.97f, 0.97f, 0.97f))
                                    : (row < 4 ? rgb(0.1f, 0.6f, 0.15f) : rgb(0.97f, 0.97f, 0.97f));
            fill_rect(image, fx, fy, fx + 5.2f, fy + 4.2f, c);
        }
}

static int make_flaggers(DataSet *set)
{
    const GenColour orange = rgb(0.95f, 0.45f, 0.08f), blue = rgb(0.15f, 0.3f, 0.7f);
    int ok = 1;
    // The starter: board up ("30"), edge-on, lowered, walking off, aside.
    for (int i = 0; ok && i < 5; i++) {
        GenImage image;
        ok = create_image(&image, 128, 256, rgba(0.5f, 0.5f, 0.5f, 0));
        static const int POSES[5] = {3, 4, 5, 1, 0};
        paint_marshal(&image, POSES[i], orange);
        if (i == 0) {
            fill_rect(&image, 66, 4, 124, 46, rgb(0.97f, 0.97f, 0.95f));
            draw_centred_text(&image, FACE_SANS_BOLD, 30.0f, 95.0f, 25.0f, "30", rgb(0.05f, 0.05f, 0.05f));
        } else if (i == 1) {
            fill_rect(&image, 92, 4, 98, 46, rgb(0.97f, 0.97f, 0.95f));
        } else if (i == 2) {
            fill_rect(&image, 80, 120, 122, 140, rgb(0.97f, 0.97f, 0.95f));
        }
        ok = ok && save_png(set, START_FLAGGER_TEXTURES[i], &image, 4, nullptr);
    }
    // The lap flagger: no flag, crossed flags at half way, white for the
    // last lap, checkered at the finish.
    for (int i = 0; ok && i < 4; i++) {
        GenImage image;
        ok = create_image(&image, 128, 256, rgba(0.5f, 0.5f, 0.5f, 0));
        paint_marshal(&image, i == 0 ? 0 : 2, blue);
        if (i > 0)
            paint_flag(&image, 96, 8, i == 3 ? 3.0f : 1.5f, i == 1 ? 3 : i == 2 ? 1 : 2);
        ok = ok && save_png(set, LAP_FLAGGER_TEXTURES[i], &image, 4, nullptr);
    }
    // Corner marshals: ready, and waving the yellow flag for a rider down.
    for (int i = 0; ok && i < 2; i++) {
        GenImage image;
        ok = create_image(&image, 128, 256, rgba(0.5f, 0.5f, 0.5f, 0));
        paint_marshal(&image, i == 0 ? 0 : 6, rgb(0.9f, 0.9f, 0.2f));
        if (i == 1)
            paint_flag(&image, 96, 8, 4.0f, 0);
        else
            stroke_line(&image, 90, 150, 98, 200, 4, rgb(1.0f, 0.85f, 0.05f));
        ok = ok && save_png(set, FLAGGER_TEXTURES[i], &image, 4, nullptr);
    }
    return ok;
}

// ---- trees, stakes, gate, decals ----

static int make_trees(DataSet *set)
{
    int ok = 1;
    for (int t = 0; ok && t < 2; t++) {
        GenImage image;
        ok = create_image(&image, 256, 512, rgba(0.2f, 0.3f, 0.15f, 0));
        fill_rect(&image, 118, 380, 138, 512, rgb(0.33f, 0.24f, 0.16f));
        for (int y = 0; ok && y < 512; y++)
            for (int x = 0; x < 256; x++) {
                float fx = ((float)x + 0.5f - 128.0f) / 128.0f, fy = ((float)y + 0.5f) / 512.0f;
                float inside;
                if (t == 0) {
                    // A cone in tiers.
                    float tier = fmodf(fy * 6.0f, 1.0f);
                    float half = fy * 0.95f * (0.75f + 0.25f * tier);
                    inside = (fy < 0.82f && fabsf(fx) < half) ? 1.0f : 0.0f;
                } else {
                    float dx = fx / 0.9f, dy = (fy - 0.4f) / 0.38f;
                    inside = dx * dx + dy * dy < 1.0f ? 1.0f : 0.0f;
                }
                float n = (float)fractal_noise(x / 9.0, y / 9.0, 321u + (uint32_t)t, 3, 0.5, 0);
                if (inside > 0.0f && n > 0.28f) {
                    float light = 0.7f + 0.6f * n - 0.3f * fy + 0.2f * fx * -0.5f;
                    GenColour leaf = t == 0 ? rgb(0.12f, 0.28f, 0.14f) : rgb(0.22f, 0.38f, 0.14f);
                    put_pixel(&image, x, y, scale_colour(leaf, light));
                }
            }
        ok = ok && save_png(set, TREE_TEXTURES[t], &image, 4, nullptr);
    }
    return ok;
}

static int make_stake_and_gate(DataSet *set)
{
    // The stake's atlas: the left half the stake (orange and white bands),
    // the right half the tape (red and white stripes).
    GenImage image;
    int ok = create_image(&image, 64, 64, rgb(1, 1, 1));
    for (int y = 0; ok && y < 64; y++)
        for (int x = 0; x < 64; x++) {
            GenColour c;
            if (x < 32)
                c = (y / 8) % 2 ? rgb(0.95f, 0.95f, 0.92f) : rgb(0.95f, 0.45f, 0.05f);
            else
                c = ((x + y) / 8) % 2 ? rgb(0.95f, 0.95f, 0.95f) : rgb(0.85f, 0.08f, 0.06f);
            put_pixel(&image, x, y, c);
        }
    ok = ok && save_png(set, STAKE_TEXTURE, &image, 3, nullptr);
    // The start gate: galvanised steel with yellow and black stripes.
    ok = ok && create_image(&image, 128, 128, rgb(0.6f, 0.6f, 0.62f));
    for (int y = 0; ok && y < 128; y++)
        for (int x = 0; x < 128; x++) {
            float n = (float)value_noise(x / 3.0, y / 12.0, 909u, 0);
            GenColour c = scale_colour(rgb(0.62f, 0.63f, 0.65f), 0.85f + 0.3f * n);
            if (y < 64)
                c = ((x + y) / 12) % 2 ? rgb(0.95f, 0.8f, 0.05f) : rgb(0.08f, 0.08f, 0.08f);
            put_pixel(&image, x, y, c);
        }
    if (ok) {
        ByteBuffer ppm = {};
        ok = encode_image_ppm(&ppm, &image) && put_buffer_file(set, "startgate.ppm", &ppm);
        free_buffer(&ppm);
        free_image(&image);
    }
    return ok;
}

static int make_decals(DataSet *set)
{
    // The concrete pad under the start gate: slabs with seams, soft at the rim.
    GenImage image;
    int ok = create_image(&image, 512, 128, rgba(0.6f, 0.6f, 0.58f, 1));
    for (int y = 0; ok && y < 128; y++)
        for (int x = 0; x < 512; x++) {
            float n = (float)fractal_noise(x / 10.0, y / 10.0, 515u, 4, 0.5, 0);
            GenColour c = scale_colour(rgb(0.66f, 0.65f, 0.62f), 0.8f + 0.35f * n);
            if (x % 64 < 2 || y % 64 < 2)
                c = scale_colour(c, 0.6f);
            float edge = fminf(fminf((float)x, 511.0f - (float)x), fminf((float)y, 127.0f - (float)y));
            c.a = (float)clamp_unit(edge / 4.0);
            put_pixel(&image, x, y, c);
        }
    return ok && save_png(set, CONCRETE_PAD_TEXTURE, &image, 4, nullptr);
}

int generate_textures(DataSet *set)
{
    return open_font_faces() && make_small_textures(set) && make_tiles(set) && make_flaggers(set) &&
           make_trees(set) && make_stake_and_gate(set) && make_decals(set);
}
