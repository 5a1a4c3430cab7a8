// Start gate, stakes and tape. The gate piece's hinge is its x axis at the
// ground; fallen, its plate lies flat toward the riders (+z), and lifted it
// stands against the front tyre of the bike behind it.
#include "tools/datagen/gen_props.h"

#include <cmath>

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

static int build_stake(GenModel *model)
{
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 8.0f, 0.2f, 0.2f, 0.2f, 1.0f);
    if (!mesh)
        return 0;
    GenFrame f = frame_at(0, 1.3f, 0);
    add_box(mesh, &f, 0.05f, 1.3f, 0.05f, UV_STAKE);
    return 1;
}

static int build_tape(GenModel *model)
{
    // A ribbon from the stake along +x, both sides, with a little sag.
    init_model(model, 0);
    GenMesh *mesh = add_mesh(model, 4.0f, 0.1f, 0.1f, 0.1f, 1.0f);
    if (!mesh)
        return 0;
    const int PIECES = 4;
    for (int i = 0; i < PIECES; i++) {
        float t0 = (float)i / PIECES, t1 = (float)(i + 1) / PIECES;
        float x0 = 0.05f + (TAPE_SEGMENT_LENGTH - 0.1f) * t0, x1 = 0.05f + (TAPE_SEGMENT_LENGTH - 0.1f) * t1;
        float sag0 = 0.25f * 4.0f * t0 * (1 - t0), sag1 = 0.25f * 4.0f * t1 * (1 - t1);
        float p[4][3] = {{x0, TAPE_HEIGHT - sag0 - 0.08f, 0}, {x1, TAPE_HEIGHT - sag1 - 0.08f, 0},
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

int generate_props(DataSet *set)
{
    GenModel model;
    int ok = build_start_gate(&model) && write_model(set, START_GATE_MODEL, &model);
    ok = ok && build_stake(&model) && write_model(set, STAKE_MODEL, &model);
    ok = ok && build_tape(&model) && write_model(set, TAPE_MODEL, &model);
    return ok;
}
