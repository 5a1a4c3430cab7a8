// Track lighting (sun, ambient, sky box, lens flares, fog, clip planes) and
// the trackside cameras, read from the track folder's "lighting" and
// "cameras" files.
#pragma once

#include "core/alloc.h"

enum { FLARE_ELEMENTS = 8, SKY_TEXTURES = 6, GATE_CAMERA_SLOTS = 256 };

struct TrackLighting {
    float sun_direction[3];
    float sun_colour[3];
    float ambient[3];
    float global_ambient[3];
    float near_plane;
    float far_plane;
    int dynamic_lighting;
};

enum { SKY_N, SKY_E, SKY_S, SKY_W, SKY_U, SKY_ENV };

struct Flare {
    float position[3];          // a point, or a direction when directional
    float screen[2];            // written by the renderer
    float offset[FLARE_ELEMENTS][2];
    float colour[FLARE_ELEMENTS][3];
    float size[FLARE_ELEMENTS];
    int texture[FLARE_ELEMENTS];
    int element_count;
    int directional;
    float intensity;            // written by the renderer
};

struct TrackCamera {
    float x, y, z;
    float yaw, pitch, yaw_rate, pitch_rate;   // for the camera code
    float fov;                  // degrees
    float auto_fov_size;        // 0 = fixed field of view
};

extern TrackLighting track_lighting;
extern int sky_textures[SKY_TEXTURES];
extern GrowableArray flare_list;       // Flare
extern GrowableArray track_cameras;    // TrackCamera
extern int gate_cameras[GATE_CAMERA_SLOTS];

void read_lighting(const char *path);
void read_cameras(const char *path);
void free_flare_list(void);
