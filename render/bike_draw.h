// Drawing a bike and its rider at the poses of the bike's bodies: rigid
// parts, the skinned rider posed from the rider body, the helmet turned
// toward the direction of travel, and the number plates. Drawing reads the
// physics bodies and never writes them.
#pragma once

#include <ode/ode.h>

#include "bike/rider_pose.h"

struct BikeState;

// Bike, rider and helmet of a draw: the rider body's pose for drawing (after
// the lean back from the handlebars) and the nine bones.
struct BikeDrawPose {
    RiderPoseInput input;        // rider: the drawn pose
    float lean_back;             // k of the lean back, 0 when none
    RiderBones bones;
};

void draw_bike(BikeState *bike, int draw_mode, const float *eye);

// Pushes the GL matrix and moves it to a body's pose; returns the position
// (3 floats) and rotation (9, row-major).
void push_body_transform(dBodyID body, float *position, float *rotation);
void bind_part_textures(int base, int normal_map, int specular_map);
void bind_env_pass_textures(int normal_map);

// The drawing pose of a bike's rider: the bodies' poses with the rider body
// leaned back when the shoulders come within 1.25 ft of the grips.
void compute_bike_draw_pose(const BikeState *bike, BikeDrawPose *pose);
// Leans a rider pose back from the handlebars for drawing; the k used.
float lean_rider_back(const BikeModel *model, BodyPose *rider, const BodyPose *steering);
// The helmet at the head point: turned toward the direction of travel
// (the rider body's velocity), within reach of the rider's neck.
void compute_helmet_pose_from(const BikeModel *model, const BodyPose *rider, const double *rider_velocity,
                              float *position, float *orientation);
void compute_helmet_pose(const BikeState *bike, float *position, float *orientation);
