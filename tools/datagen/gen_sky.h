// The sky: the five faces of the sky box ("@sky-n.ppm" .. "@sky-u.ppm",
// there is no bottom face) and the angular environment map
// "@sky-env.ppm", all painted from one function of the view direction
// with the sun where the track lighting puts it.
#pragma once

#include "tools/datagen/gen_output.h"

// Towards the sun (unit length), as the default tracks' lighting names it.
extern const float SUN_DIRECTION[3];
// The sun's disc: every texel within this angle (radians) of the sun is
// 224 or more in all channels, so that the lens flare shows.
constexpr float SUN_DISC_RADIUS = 0.06f;

enum { SKY_FACE_SIZE = 512, SKY_ENV_SIZE = 256 };

// The colour of the sky seen in a unit direction, channels 0..1.
void sky_colour(const float *direction, float *rgb_out);
// Direction of texel (x, y) of a face (0..4: n, e, s, w, u) of a given
// side, as the scene lays the faces on the cube around the eye.
void sky_face_direction(int face, int side, int x, int y, float *direction);
// Direction of texel (x, y) of the angular environment map (about +y).
void sky_env_direction(int side, int x, int y, float *direction);

int generate_sky(DataSet *set);
