// The rider's pose from the bike's bodies: the two foot points (pegs, the
// ground when dabbing, the loose points after a crash), the two-bone limb
// solver and the nine bones of the skinned rider. The geometry is pure:
// it works on body poses given as numbers; compute_rider_pose_points reads
// them from a bike's bodies.
#pragma once

#include "bike/bike_models.h"

struct BikeState;

// A rigid body's pose: position and a row-major rotation whose columns are
// the body axes in the world.
struct BodyPose {
    double position[3];
    double rotation[9];
};

// Ground height under a point; the context is passed through.
typedef float (*GroundHeightFunction)(const void *context, float x, float z);

struct RiderPoseInput {
    const BikeModel *model;
    BodyPose frame;
    BodyPose rider;
    BodyPose steering;            // the fork upper body (arm bones only)
    double frame_velocity[3];
    int crash_timer;
    float foot_down_amount;       // the dab shown by the pose, 0..1
    float throttle;               // arm bones only
    float loose_points[2][3];     // positions of loose points A and B
    GroundHeightFunction ground_height;   // null: no ground, feet stay up
    const void *ground_context;
};

// The nine bones: world positions and rotations stored as the three unit
// vectors a, b, c (the images of the rest x, y and z axes).
struct RiderBones {
    float position[RIDER_BONE_COUNT][3];
    float rotation[RIDER_BONE_COUNT][9];
};

// World point of a body-local point.
void body_point_to_world(const BodyPose *pose, const float *local, double *out);
// Lean angle (-pi/2..pi/2) of a body from its rotation: 0 when upright,
// whatever the pitch; negative when the top leans toward +x.
float compute_lean_angle(const double *rotation);

// The two feet in the world and how far each is put down (0 = on its peg).
// Either weight pointer may be null.
void compute_rider_pose_points_from(const RiderPoseInput *input, float *left_foot,
                                    float *right_foot, float *left_weight, float *right_weight);
// The same for a bike, from its bodies and the current terrain.
void compute_rider_pose_points(const BikeState *bike, float *left_foot, float *right_foot,
                               float *left_weight, float *right_weight);
// A crash starts the two loose limb points where the feet of a rider on
// the bike would be, moving with the rider body.
void start_loose_rider_points(BikeState *bike);
// Fills the input from a bike's bodies and state.
void get_rider_pose_input(const BikeState *bike, RiderPoseInput *input);

// The middle joint of a two-bone limb from root to end, bent toward the
// hint. An end beyond 0.95 of the reach is treated as at that distance; an
// end closer than the limb can fold, or at the root, gets the closest
// pose the limb has; the result is always finite for finite input.
void solve_two_bone_joint(double *joint, const double *root, const double *end,
                          double first_length, double second_length, const double *hint);

void compute_leg_bones(const RiderPoseInput *input, RiderBones *bones);
void compute_arm_bones(const RiderPoseInput *input, RiderBones *bones);
void compute_torso_bone(const RiderPoseInput *input, RiderBones *bones);
