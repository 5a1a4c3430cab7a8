// Steering of the camera the camera view shows: the free camera flown with
// the riding controls, or a track camera turning by itself to follow the
// viewed bike and switching at timing gates; and the mean ground height
// that keeps cameras out of hills.
#pragma once

#include "bike/bike_state.h"
#include "render/camera_views.h"

struct Terrain;

extern int camera_follow;           // the cameras follow the viewed bike
extern float camera_toggle_dab;     // the dab control's value at the last tic
extern float camera_fly_speed;      // free camera, feet per second, -100..100

// The angle wrapped into -pi..pi; an angle that is not finite gives 0.
float wrap_angle(float angle);

// One tic of turning a camera: by the steer and shift controls, or, when
// following and given a target (null: none), toward the target's position
// (three floats) ahead of its velocity. Snapping turns it onto the target
// at once. Angles that are not finite start again from 0.
void update_chase_camera(CameraRecord *camera, const RiderControls *controls, const float *target,
                         const float *velocity, int snap);

// The mean ground height within a radius of (x, z), falling off linearly
// over one more cell; points off the grid read the nearest edge height.
float terrain_mean_height(const Terrain *terrain, float x, float z, float radius);

// The track camera the bike's next gate switches to, or -1 when there is
// none (no laps with gates, a gate outside the switch table, or a camera
// the track does not have).
int gate_camera_index(const BikeState *bike);

// One tic of the camera view for the bike (null: none): the follow toggle,
// gate switches, the turning of the camera in use and the free camera's
// flight. The bike's velocity counts as 0 while paused.
void steer_camera(const RiderControls *controls, const BikeState *bike, int paused);
