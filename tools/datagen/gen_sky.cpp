// Sky faces and the environment map. A face's texture spans 1/128 to
// 127/128 of the cube's side; its corners are the scene's cube vertices in
// the scene's order. Below the horizon every face shows distant hills and
// hazy ground, since no face is drawn under the eye.
#include "tools/datagen/gen_sky.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "tools/datagen/gen_image.h"
#include "tools/datagen/gen_vector.h"

const float SUN_DIRECTION[3] = {-0.5547002f, 0.6933752f, -0.4600061f};

static const float PI_F = 3.14159265358979f;

// Corners of each face in the scene's vertex order, with texture
// coordinates (1/128, 1/128), (1/128, 127/128), (127/128, 127/128),
// (127/128, 1/128).
static const float FACE_CORNERS[5][4][3] = {
    {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}},
    {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}},
    {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}},
    {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},
    {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}},
};

void sky_face_direction(int face, int side, int x, int y, float *direction)
{
    // Texture coordinates of the texel's centre, then the face's
    // parameters s (along the first edge's texture u) and t (v).
    float u = ((float)x + 0.5f) / (float)side, v = ((float)y + 0.5f) / (float)side;
    float s = (u - 1.0f / 128.0f) / (126.0f / 128.0f), t = (v - 1.0f / 128.0f) / (126.0f / 128.0f);
    const float(*c)[3] = FACE_CORNERS[face];
    // Corner 0 is (s 0, t 0), 1 is (0, 1), 2 is (1, 1), 3 is (1, 0).
    for (int k = 0; k < 3; k++)
        direction[k] = c[0][k] * (1 - s) * (1 - t) + c[1][k] * (1 - s) * t + c[2][k] * s * t + c[3][k] * s * (1 - t);
    v3_normalise(direction);
}

void sky_env_direction(int side, int x, int y, float *direction)
{
    float dx = ((float)x + 0.5f) / (float)side - 0.5f, dz = ((float)y + 0.5f) / (float)side - 0.5f;
    float r = sqrtf(dx * dx + dz * dz);
    float a = r * 2.0f * PI_F;
    if (a > PI_F)
        a = PI_F;
    float s = sinf(a);
    if (r > 0.0f)
        v3_set(direction, s * dx / r, cosf(a), s * dz / r);
    else
        v3_set(direction, 0, 1, 0);
}

// The height of the distant hills (radians above the horizon) by azimuth.
static float hill_elevation(float azimuth)
{
    float turn = azimuth / (2.0f * PI_F) * 24.0f;
    float n = (float)fractal_noise(turn, 0.5, 4242u, 4, 0.5, 24);
    float far_ridge = (float)fractal_noise(turn * 0.5f, 3.5, 977u, 3, 0.5, 12);
    return 0.012f + 0.07f * n * n + 0.025f * far_ridge;
}

void sky_colour(const float *direction, float *out)
{
    float d[3];
    v3_copy(d, direction);
    v3_normalise(d);
    float elevation = asinf(d[1] > 1.0f ? 1.0f : d[1] < -1.0f ? -1.0f : d[1]);
    float azimuth = atan2f(d[0], d[2]);
    const float zenith[3] = {0.26f, 0.45f, 0.82f}, horizon[3] = {0.76f, 0.83f, 0.9f};
    float hills = hill_elevation(azimuth);
    if (elevation < hills) {
        // Hills fading into haze; lower down the ground.
        float depth = (hills - elevation) / 0.25f;
        depth = depth > 1.0f ? 1.0f : depth;
        const float ridge[3] = {0.45f, 0.55f, 0.55f}, ground[3] = {0.33f, 0.38f, 0.27f};
        float shade = 0.9f + 0.1f * (float)value_noise(azimuth * 40.0, elevation * 60.0, 55u, 0);
        for (int k = 0; k < 3; k++)
            out[k] = (ridge[k] + (ground[k] - ridge[k]) * depth) * shade;
        return;
    }
    float t = elevation / (PI_F * 0.5f);
    t = t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
    float blend = powf(t, 0.55f);
    for (int k = 0; k < 3; k++)
        out[k] = horizon[k] + (zenith[k] - horizon[k]) * blend;
    // Clouds on a plane high above.
    if (d[1] > 0.03f) {
        double px = d[0] / d[1] * 3.0, pz = d[2] / d[1] * 3.0;
        float cloud = (float)fractal_noise(px + 17.0, pz + 5.0, 808u, 5, 0.55, 0);
        cloud = (cloud - 0.52f) * 3.0f;
        cloud = cloud < 0.0f ? 0.0f : cloud > 0.85f ? 0.85f : cloud;
        cloud *= fminf(1.0f, (d[1] - 0.03f) * 6.0f);
        for (int k = 0; k < 3; k++)
            out[k] = out[k] + (0.96f - out[k]) * cloud;
    }
    // The sun: a disc no texel of which is below 224, and its glow.
    float angle = acosf(fminf(1.0f, v3_dot(d, SUN_DIRECTION)));
    if (angle < SUN_DISC_RADIUS) {
        out[0] = 1.0f;
        out[1] = 0.98f;
        out[2] = 0.92f;
        return;
    }
    float glow = expf(-(angle - SUN_DISC_RADIUS) * 9.0f) * 0.8f;
    const float warm[3] = {1.0f, 0.95f, 0.8f};
    for (int k = 0; k < 3; k++)
        out[k] = out[k] + (warm[k] - out[k]) * glow;
}

static int paint(DataSet *set, const char *name, int side, int face)
{
    uint8_t *rgb_bytes = (uint8_t *)checked_malloc((size_t)side * side * 3);
    if (!rgb_bytes)
        return 0;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            float d[3], c[3];
            if (face >= 0)
                sky_face_direction(face, side, x, y, d);
            else
                sky_env_direction(side, x, y, d);
            sky_colour(d, c);
            for (int k = 0; k < 3; k++) {
                float v = c[k] * 255.0f + 0.5f;
                rgb_bytes[3 * ((size_t)y * side + x) + k] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    ByteBuffer ppm = {};
    int ok = encode_rgb_ppm(&ppm, rgb_bytes, side, side) && put_gzip_data_file(set, name, ppm.data, ppm.size);
    free_buffer(&ppm);
    checked_free(rgb_bytes);
    return ok;
}

int generate_sky(DataSet *set)
{
    static const char *const NAMES[5] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm", "sky-u.ppm"};
    int ok = 1;
    for (int f = 0; ok && f < 5; f++)
        ok = paint(set, NAMES[f], SKY_FACE_SIZE, f);
    return ok && paint(set, "sky-env.ppm", SKY_ENV_SIZE, -1);
}
