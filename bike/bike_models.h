// The built-in table of bike models: geometry, masses, suspension ranges,
// gearing, torque curves, part file names and the rider figure of every
// bike that can be ridden, and the lookup of a model by its name.
#pragma once

#include <array>

enum {
    BIKE_MODEL_COUNT = 80,
    BIKE_MODEL_NAME_LENGTH = 16,
    BIKE_GEAR_COUNT = 6,
    TORQUE_CURVE_POINTS = 50,        // one per 500 rpm from 0
    BIKE_PART_FILE_COUNT = 23,
    BIKE_PART_FILE_LENGTH = 64,
    RIDER_FIGURE_FLOATS = 58,
};

// The 23 part file names of a model, in table order.
enum BikePartFile {
    PART_FRAME_MESH, PART_FRAME_SHAPE, PART_BIKE_TEXTURE,
    PART_FORK_UPPER_MESH, PART_FORK_UPPER_SHAPE,
    PART_FORK_LOWER_MESH, PART_FORK_LOWER_SHAPE,
    PART_SWINGARM_MESH, PART_SWINGARM_SHAPE,
    PART_FRONT_WHEEL_MESH, PART_FRONT_WHEEL_SHAPE,
    PART_REAR_WHEEL_MESH, PART_REAR_WHEEL_SHAPE,
    PART_WHEEL_TEXTURE,
    PART_HELMET_MESH, PART_HELMET_TEXTURE,
    PART_RIDER_BODY_MESH, PART_RIDER_BODY_FP_MESH, PART_RIDER_SHAPE, PART_RIDER_TEXTURE,
    PART_SIDE_PLATES_MESH, PART_FRONT_PLATE_MESH, PART_RIDER_PLATE_MESH,
};

// Offsets into rider_figure. Points are three floats in the coordinates of
// the body they belong to; of each pair the first is the left one (-x) and
// the second its mirror image (+x).
enum RiderFigureOffset {
    FIGURE_HEAD = 0,              // rider body
    FIGURE_LEFT_SHOULDER = 3,     // rider body
    FIGURE_RIGHT_SHOULDER = 6,
    FIGURE_LEFT_HIP = 9,          // rider body
    FIGURE_RIGHT_HIP = 12,
    FIGURE_LEFT_HAND = 15,        // steering head (fork upper body): the grips
    FIGURE_RIGHT_HAND = 18,
    FIGURE_LEFT_FOOT = 21,        // frame body: the foot pegs
    FIGURE_RIGHT_FOOT = 24,
    FIGURE_THIGH_LENGTH = 27,
    FIGURE_SHIN_LENGTH = 28,
    FIGURE_UPPER_ARM_LENGTH = 29,
    FIGURE_FOREARM_LENGTH = 30,
    FIGURE_BONE_CENTRES = 31,     // nine rest centres, in RiderBone order
};

// The nine bones of the skinned rider.
enum RiderBone {
    BONE_LEFT_FOREARM, BONE_RIGHT_FOREARM,
    BONE_LEFT_UPPER_ARM, BONE_RIGHT_UPPER_ARM,
    BONE_LEFT_SHIN, BONE_RIGHT_SHIN,
    BONE_LEFT_THIGH, BONE_RIGHT_THIGH,
    BONE_TORSO,
    RIDER_BONE_COUNT
};

struct WheelSpec {
    float position[3];      // rest position of the wheel body
    float rim_radius;       // axle to the centre of the tyre ring
    float tyre_radius;      // radius of the tyre ring's section
    float ring_mass;
    float hub_radius;
    float hub_mass;
};

// One table entry. Lengths in feet, masses in slugs; forward is -z, x
// across the bike, y up.
struct BikeModel {
    char name[BIKE_MODEL_NAME_LENGTH];
    char class_name[BIKE_MODEL_NAME_LENGTH];  // "50", "125", "250", "250f", "450f"
    WheelSpec front_wheel;
    WheelSpec rear_wheel;
    float frame_position[3];
    float frame_mass;
    float frame_size[3];
    float fork_upper_position[3];
    float swingarm_position[3];
    float swingarm_pivot[3];
    float fork_lower_position[3];
    float fork_leg_spacing;
    float fork_leg_length;
    float fork_mass;
    float fork_spring_range[2];
    float fork_preload_range[2];
    float fork_oil_level_range[2];
    float fork_damping[4];        // hs compression, ls compression, hs rebound, ls rebound
    float fork_travel;
    float swingarm_half_mass;
    float shock_spring_range[2];
    float shock_preload_range[2];
    float shock_damping[4];
    float shock_linkage[7];       // [2] is the swingarm's angular travel
    float primary_ratio;
    float front_sprocket;
    float rear_sprocket;
    float gear_ratios[BIKE_GEAR_COUNT];   // <= 0: no such gear
    float engine_constants[3];            // inertia, coupling stiffness, coupling damping
    float closed_throttle_torque[TORQUE_CURVE_POINTS];
    float open_throttle_torque[TORQUE_CURVE_POINTS];
    float shift_down_rpm;
    float shift_up_rpm;
    float top_rpm;
    float rider_travel_axis[3];
    float rider_position[3];
    float rider_travel_range[2];
    float rider_mass;
    char part_files[BIKE_PART_FILE_COUNT][BIKE_PART_FILE_LENGTH];
    float rider_figure[RIDER_FIGURE_FLOATS];
};

extern const std::array<BikeModel, BIKE_MODEL_COUNT> bike_models;

// The model whose name equals the text exactly, or null.
const BikeModel *find_bike_model(const char *name);
// Index of the model of that name; when none matches, the first whose name
// contains "125" for a name containing "125", else the first containing
// "250f", with the message "bike info for '%.20s' not found using '%.20s'
// instead". Never fails for the stock table.
int find_bike_model_or_fallback(const char *name);
// The model at an index, or null outside the table.
const BikeModel *get_bike_model(int index);
// The swingarm's angular travel (radians).
float get_swingarm_travel(const BikeModel *model);
