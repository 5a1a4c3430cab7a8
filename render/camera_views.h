// The camera views the shell chooses between (besides its chase camera):
// the keyframe camera, the trackside cameras with the running-order ticker
// and lap box, and the rider-mounted camera.
#pragma once

#include <ode/ode.h>

#include "track/lighting.h"

struct CameraKey;
struct RunningOrderEntry;

typedef TrackCamera CameraRecord;

extern CameraRecord free_camera;   // the shell steers it; stands in for a missing track camera
extern int camera_index;           // the track camera shown, -1 = free_camera
extern int print_orientation;      // "--print-orientation"

// The rider camera's previous forward axis and the time that wrote it.
struct RiderCameraState {
    float forward[3];
    double time;
};
extern RiderCameraState rider_camera_state;

// Rotations, row-major, columns the camera's right, up and backward axes.
void camera_matrix_from_angles(float *rotation, float pitch, float yaw);
void quaternion_to_matrix(float *rotation, float w, float x, float y, float z);

// The keyframe camera at a tic: position, rotation and field of view; 0
// without keys.
int compute_keycam_pose(const CameraKey *keys, int count, int tic, float *position, float *rotation,
                        float *field_of_view);
// The rider camera on a body (position, row-major rotation) at a time in
// seconds: its eye and rotation, with the gimbal lag and the tilt of the
// settings; updates rider_camera_state when the gimbal is on.
void compute_rider_camera(const double *body_position, const double *body_rotation, double now, float *eye,
                          float *rotation);

// The ticker's boxes from the left edge: the running-order index of each
// (-1 for the blank box) and its x; the count (at most max).
int layout_ticker(double time, int listed, float overlay_width, int *entries, float *xs, int max);
// The running-order entries the ticker lists, into out; the count.
int list_ticker_entries(RunningOrderEntry *out);
// The gap of a rider to the leader ("%7.3f" seconds behind) into text; 0
// (empty text) when there is none to show.
int format_ticker_gap(int leader_slot, int slot, char *text, int size);
// Laps done by the leader for the lap box.
int leader_laps_done(void);

void draw_keycam_view(void);
void draw_rider_camera_view(dBodyID body, int slot);
// The ticker and lap box over the track camera.
void draw_broadcast_overlay(void);
