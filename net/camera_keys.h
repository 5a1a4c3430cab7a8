// Camera keyframes: the keys the keyframe camera flies through, in tic
// order, with their "@keycam/" files; the name of the demo being recorded;
// and the ".trackinfo" file describing the loaded track.
#pragma once

#include "core/alloc.h"
#include "render/camera_views.h"

struct CameraKey {
    float position[3];
    float orientation[4];   // quaternion x, y, z, w
    float fov;              // degrees
    int tic;
};

extern GrowableArray camera_keys;   // CameraKey, by tic
extern int keycam_mode;             // "togglekeycam"

// A key at the camera's position and yaw/pitch.
void make_camera_key(const CameraRecord *camera, float fov, int tic, CameraKey *key);
// Inserts after every key of the same or an earlier tic; 0 out of memory.
int insert_camera_key(const CameraKey *key);
// Removes the key nearest the tic as the console's "deletekey" does (the
// whole list when it holds fewer than two).
void delete_camera_key(int tic);
void clear_camera_keys(void);
// The console's "addkey": free_camera at the current tic.
int add_camera_key(void);
// One key file line: nine values, all finite; 1 when read.
int parse_camera_key_line(const char *line, CameraKey *key);
// Files "@keycam/" + name (blanks around the name dropped; plain names
// only). Writing replaces the old file through a temporary; reading keeps
// the list when the file cannot be opened, else empties it and inserts the
// keys read until a bad line (0 then).
int write_camera_keys(const char *name);
int read_camera_keys(const char *name);

// Names the demo being recorded (the name runs to the first blank,
// ".kzdemo" added unless present); 1 when taken, else a message and 0.
int name_demo(const char *text);
// Writes "@" + track folder + ".trackinfo" for the loaded track; 1 when written.
int save_track_info(void);
