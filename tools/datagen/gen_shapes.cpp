// Stock collision shapes. Sphere centres are written in the frame of the
// body each shape belongs to (its rest position taken from the bike
// table): they are placed here in the bike's rest coordinates and moved.
// Every sphere keeps clear of flat ground with the bike standing on it, so
// that only the wheels touch.
#include "tools/datagen/gen_shapes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_models.h"
#include "core/digest.h"

const char *const STOCK_SHAPE_NAMES[STOCK_SHAPE_COUNT] = {
    "generic_frame.shp", "generic_fork_upper.shp", "generic_fork_lower.shp", "generic_swingarm.shp",
    "front_wheel.shp",   "rear_wheel.shp",         "generic_rider.shp",
};

// Surface of every stock sphere: friction, spring and damper of its
// sphere-pair contacts.
static const float SPHERE_FRICTION = 0.6f, SPHERE_SPRING = 20000.0f, SPHERE_DAMPER = 2000.0f;

struct ShapeWriter {
    ByteBuffer spheres;
    int count;
    float origin[3];   // the body's rest position: subtracted from every centre
};

// A sphere given in the bike's rest coordinates.
static void sphere(ShapeWriter *writer, float x, float y, float z, float radius)
{
    buffer_printf(&writer->spheres, "%.4f %.4f %.4f %.4f %g %g %g\n", x - writer->origin[0], y - writer->origin[1],
                  z - writer->origin[2], radius, SPHERE_FRICTION, SPHERE_SPRING, SPHERE_DAMPER);
    writer->count++;
}

static void begin_shape(ShapeWriter *writer, const float *origin)
{
    memset(writer, 0, sizeof *writer);
    memcpy(writer->origin, origin, sizeof writer->origin);
}

static int finish_shape(ShapeWriter *writer, ByteBuffer *out)
{
    int ok = buffer_printf(out, "%d\n", writer->count) && buffer_append(out, writer->spheres.data, writer->spheres.size);
    free_buffer(&writer->spheres);
    return ok;
}

static int encode_stock_shape(int which, ByteBuffer *out)
{
    const BikeModel *m = &bike_models[0];
    ShapeWriter w;
    const float *hand = m->rider_figure + FIGURE_LEFT_HAND;
    switch (which) {
    case 0:   // frame: engine, tank, seat, shrouds and rear fender
        begin_shape(&w, m->frame_position);
        sphere(&w, 0.0f, 1.6f, 3.3f, 0.42f);
        sphere(&w, 0.0f, 2.5f, 3.0f, 0.4f);
        sphere(&w, 0.0f, 2.7f, 3.9f, 0.35f);
        sphere(&w, 0.0f, 2.65f, 4.7f, 0.3f);
        sphere(&w, 0.0f, 2.55f, 5.5f, 0.25f);
        sphere(&w, -0.45f, 2.35f, 2.8f, 0.28f);
        sphere(&w, 0.45f, 2.35f, 2.8f, 0.28f);
        break;
    case 1: {   // steering head: bar ends, bar middle, front plate and fender
        begin_shape(&w, m->fork_upper_position);
        const float *fu = m->fork_upper_position;
        sphere(&w, fu[0] + hand[0], fu[1] + hand[1], fu[2] + hand[2], 0.2f);
        sphere(&w, fu[0] - hand[0], fu[1] + hand[1], fu[2] + hand[2], 0.2f);
        sphere(&w, fu[0], fu[1] + hand[1] - 0.05f, fu[2] + hand[2] - 0.1f, 0.25f);
        sphere(&w, fu[0], fu[1] + 0.1f, fu[2] - 0.3f, 0.3f);
        sphere(&w, fu[0], 2.35f, 1.0f, 0.28f);
        break;
    }
    case 2:   // lower fork: the two legs above the axle
        begin_shape(&w, m->fork_lower_position);
        sphere(&w, -0.42f, 1.5f, 1.4f, 0.17f);
        sphere(&w, 0.42f, 1.5f, 1.4f, 0.17f);
        sphere(&w, -0.42f, 1.85f, 1.62f, 0.17f);
        sphere(&w, 0.42f, 1.85f, 1.62f, 0.17f);
        break;
    case 3:   // swingarm: the two arms
        begin_shape(&w, m->swingarm_position);
        sphere(&w, -0.36f, 1.5f, 4.65f, 0.16f);
        sphere(&w, 0.36f, 1.5f, 4.65f, 0.16f);
        sphere(&w, -0.36f, 1.34f, 5.4f, 0.16f);
        sphere(&w, 0.36f, 1.34f, 5.4f, 0.16f);
        break;
    case 4:
    case 5: {   // a wheel: a ring of spheres inside the tyre, in the axle's plane
        const WheelSpec *wheel = which == 4 ? &m->front_wheel : &m->rear_wheel;
        begin_shape(&w, wheel->position);
        float ring = wheel->rim_radius + 0.02f;
        for (int i = 0; i < 12; i++) {
            double a = i * 3.14159265358979 / 6.0;
            sphere(&w, wheel->position[0], wheel->position[1] + (float)(ring * cos(a)),
                   wheel->position[2] + (float)(ring * sin(a)), 0.2f);
        }
        break;
    }
    default: {   // rider: head, chest and hips
        begin_shape(&w, m->rider_position);
        const float *r = m->rider_position, *f = m->rider_figure;
        sphere(&w, r[0] + f[FIGURE_HEAD], r[1] + f[FIGURE_HEAD + 1], r[2] + f[FIGURE_HEAD + 2], 0.45f);
        float shoulder_y = r[1] + f[FIGURE_LEFT_SHOULDER + 1], shoulder_z = r[2] + f[FIGURE_LEFT_SHOULDER + 2];
        float hip_y = r[1] + f[FIGURE_LEFT_HIP + 1], hip_z = r[2] + f[FIGURE_LEFT_HIP + 2];
        sphere(&w, r[0], shoulder_y - 0.25f, shoulder_z + 0.1f, 0.5f);
        sphere(&w, r[0], (shoulder_y + hip_y) * 0.5f, (shoulder_z + hip_z) * 0.5f + 0.05f, 0.5f);
        sphere(&w, r[0], hip_y + 0.1f, hip_z, 0.45f);
        break;
    }
    }
    return finish_shape(&w, out);
}

int encode_start_gate_shape(ByteBuffer *out)
{
    // The fallen gate lies flat, hinged on the gate's x axis and pointing
    // back at the riders (+z); lifted by 3 pi / 16 it holds the front tyre.
    // Small spheres along the plate, short of the tyre standing at the hinge.
    ShapeWriter w;
    const float origin[3] = {0, 0, 0};
    begin_shape(&w, origin);
    for (int i = 0; i < 3; i++) {
        float x = -0.9f + 0.9f * (float)i;
        sphere(&w, x, 0.06f, 0.12f, 0.07f);
        sphere(&w, x, 0.06f, 0.32f, 0.07f);
    }
    return finish_shape(&w, out);
}

int generate_shapes(DataSet *set, char *digest_hex)
{
    Ripemd160Context digest;
    ripemd160_init(&digest);
    int ok = 1;
    for (int i = 0; ok && i < STOCK_SHAPE_COUNT; i++) {
        ByteBuffer text = {};
        ok = encode_stock_shape(i, &text) && put_buffer_file(set, STOCK_SHAPE_NAMES[i], &text);
        if (ok)
            ripemd160_update(&digest, text.data, (int)text.size);
        free_buffer(&text);
    }
    ripemd160_final(&digest);
    for (int i = 0; i < RIPEMD160_DIGEST_SIZE; i++)
        sprintf(digest_hex + 2 * i, "%02x", digest.digest[i]);
    ByteBuffer gate = {};
    ok = ok && encode_start_gate_shape(&gate) && put_buffer_file(set, "startgate.shp", &gate);
    free_buffer(&gate);
    return ok;
}
