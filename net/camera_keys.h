// Camera keyframes: the keys the keyframe camera flies through, in tic
// order, and the console's keyframe-camera switch.
#pragma once

#include "core/alloc.h"

struct CameraKey {
    float position[3];
    float orientation[4];   // quaternion x, y, z, w
    float fov;              // degrees
    int tic;
};

extern GrowableArray camera_keys;   // CameraKey, by tic
extern int keycam_mode;             // "togglekeycam"
