// Start gate, stakes and tape. The gate piece's hinge is its x axis at the
// ground; fallen, its plate lies flat toward the riders (+z), and lifted it
// stands against the front tyre of the bike behind it.
#include "tools/datagen/gen_props.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/datagen/gen_levels.h"
#include "tools/datagen/gen_vector.h"

const char *const START_GATE_MODEL = "@startgate.jm";
const char *const STAKE_MODEL = "@props/stake.jm";
const char *const TAPE_MODEL = "@props/tape.jm";

static const UvRect UV_STRIPES = {0.0f, 0.0f, 1.0f, 0.5f};
static const UvRect UV_STEEL = {0.0f, 0.5f, 1.0f, 1.0f};
static const UvRect UV_STAKE = {0.0f, 0.0f, 0.5f, 1.0f};
static const UvRect UV_TAPE = {0.5f, 0.0f, 1.0f, 1.0f};

int build_start_gate(GenModel *model)
{
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 32.0f, 0.5f, 0.5f, 0.5f, 1.0f);
    if (!mesh)
        return 0;
    // The plate, striped on its face, with a rolled edge at the top.
    GenFrame plate = frame_at(0, 0.025f, 0.28f);
    add_box(mesh, &plate, 1.45f, 0.025f, 0.28f, UV_STRIPES);
    float a[3] = {-1.45f, 0.05f, 0.56f}, b[3] = {1.45f, 0.05f, 0.56f};
    add_tube(mesh, a, b, 0.05f, 0.05f, 8, UV_STEEL, 1);
    // The hinge bar and its two end brackets.
    float h0[3] = {-1.55f, 0.05f, 0.0f}, h1[3] = {1.55f, 0.05f, 0.0f};
    add_tube(mesh, h0, h1, 0.06f, 0.06f, 8, UV_STEEL, 1);
    for (int s = -1; s <= 1; s += 2) {
        GenFrame bracket = frame_at(1.5f * (float)s, 0.06f, 0.1f);
        add_box(mesh, &bracket, 0.04f, 0.06f, 0.12f, UV_STEEL);
    }
    return 1;
}

// Pieces thinner than half a pixel at a level's distance are left out.
static int thinner_than_half_a_pixel(float width, int level)
{
    return (double)width < 0.5 * level_pixel(level);
}

int build_stake(GenModel *model, int level)
{
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 8.0f, 0.2f, 0.2f, 0.2f, 1.0f);
    if (!mesh)
        return 0;
    const float half = 0.05f, top = 2.6f;
    if (level == 0) {
        GenFrame f = frame_at(0, 1.3f, 0);
        add_box(mesh, &f, half, 1.3f, half, UV_STAKE);
        return 1;
    }
    if (thinner_than_half_a_pixel(2.0f * half, level))
        return 1;   // nothing to draw: an empty mesh
    // The sides and the top; the bottom stands in the ground.
    const float c[4][2] = {{-half, half}, {half, half}, {half, -half}, {-half, -half}};
    for (int k = 0; k < 4; k++) {
        const float *a = c[k], *b = c[(k + 1) % 4];
        float p0[3] = {a[0], 0.0f, a[1]}, p1[3] = {b[0], 0.0f, b[1]};
        float p2[3] = {b[0], top, b[1]}, p3[3] = {a[0], top, a[1]};
        add_quad(mesh, p0, p1, p2, p3, UV_STAKE, 0);
    }
    float t0[3] = {-half, top, half}, t1[3] = {half, top, half}, t2[3] = {half, top, -half},
          t3[3] = {-half, top, -half};
    add_quad(mesh, t0, t1, t2, t3, UV_STAKE, 0);
    return 1;
}

// The tape's sag in the middle of a segment and its height.
static const float TAPE_SAG = 0.25f;
static const float TAPE_WIDTH = 0.08f;

// Pieces of the sagging tape: 4 at the full level; at a coarser one the
// fewest whose chords stay within a pixel of the curve (a parabola's chord
// of 1/n of the span stands sag / n^2 off it).
static int tape_pieces(int level)
{
    if (level == 0)
        return 4;
    int n = 1;
    while (n < 4 && (double)TAPE_SAG / (n * n) > level_pixel(level))
        n++;
    return n;
}

int build_tape(GenModel *model, int level)
{
    // A ribbon from the stake along +x, both sides, with a little sag.
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 4.0f, 0.1f, 0.1f, 0.1f, 1.0f);
    if (!mesh)
        return 0;
    if (level > 0 && thinner_than_half_a_pixel(TAPE_WIDTH, level))
        return 1;   // nothing to draw: an empty mesh
    const int PIECES = tape_pieces(level);
    for (int i = 0; i < PIECES; i++) {
        float t0 = (float)i / PIECES, t1 = (float)(i + 1) / PIECES;
        float x0 = 0.05f + (TAPE_SEGMENT_LENGTH - 0.1f) * t0, x1 = 0.05f + (TAPE_SEGMENT_LENGTH - 0.1f) * t1;
        float sag0 = TAPE_SAG * 4.0f * t0 * (1 - t0), sag1 = TAPE_SAG * 4.0f * t1 * (1 - t1);
        float p[4][3] = {{x0, TAPE_HEIGHT - sag0 - TAPE_WIDTH, 0}, {x1, TAPE_HEIGHT - sag1 - TAPE_WIDTH, 0},
                         {x1, TAPE_HEIGHT - sag1, 0}, {x0, TAPE_HEIGHT - sag0, 0}};
        UvRect uv = {UV_TAPE.u0 + (UV_TAPE.u1 - UV_TAPE.u0) * t0, 0.0f, UV_TAPE.u0 + (UV_TAPE.u1 - UV_TAPE.u0) * t1, 1.0f};
        add_quad(mesh, p[0], p[1], p[2], p[3], uv, 1);
    }
    return 1;
}

static int write_model(DataSet *set, const char *game_name, GenModel *model)
{
    ByteBuffer text = {};
    int ok = encode_jm(&text, model, nullptr) && put_gzip_data_file(set, game_name + 1, text.data, text.size);
    free_buffer(&text);
    free_model_data(model);
    return ok;
}

// The model's name with a level's suffix before its extension.
static void level_name(char *out, size_t size, const char *name, int level)
{
    const char *dot = strrchr(name, '.');
    int stem = dot ? (int)(dot - name) : (int)strlen(name);
    snprintf(out, size, "%.*s%s%s", stem, name, MODEL_LEVEL_TABLE[level].suffix, dot ? dot : "");
}

int generate_props(DataSet *set)
{
    GenModel model;
    int ok = build_start_gate(&model) && write_model(set, START_GATE_MODEL, &model);
    // Hundreds of stakes and tapes line the track: each with its levels.
    for (int level = 0; ok && level < MODEL_LEVELS; level++) {
        char name[64];
        level_name(name, sizeof name, STAKE_MODEL, level);
        ok = build_stake(&model, level) && write_model(set, name, &model);
        level_name(name, sizeof name, TAPE_MODEL, level);
        ok = ok && build_tape(&model, level) && write_model(set, name, &model);
    }
    return ok;
}
