// The per-rider bike records: BikeState with its wheel contacts, the 160
// records and the per-slot pointers, and the nine control values a rider
// applies each tic.
#pragma once

#include <cstdint>

#include <ode/ode.h>

#include "bike/bike_models.h"
#include "core/alloc.h"
#include "track/erosion.h"

struct Model;
struct CollisionShape;

enum {
    BIKE_SLOT_COUNT = 160,
    NO_SLOT = 160,
    BIKE_BODY_COUNT = 7,
    BIKE_JOINT_COUNT = 6,
    RIDER_NUMBER_LENGTH = 8,     // at most 7 characters and a NUL
    LINE_POINT_SIZE = 20,        // bytes of one recorded line point
};

// Bits of bike_options.
enum {
    OPTION_AIR_STEERING = 1 << 0,     // direct steering in the air
    OPTION_STOP_WHEELIES = 3 << 1,    // two bits: 0 off, 3 on, 2 front only
    OPTION_FRONT_ANTILOCK = 1 << 3,
    OPTION_REAR_ANTILOCK = 1 << 4,
    OPTION_AUTO_SHIFT = 1 << 5,
    OPTION_AUTO_DAB = 1 << 6,         // dab when stopped
    OPTION_AUTO_ALIGN = 1 << 7,       // realign after a fall
};

// Bit of bike_flags: the bike's wheel contacts come from its own step.
enum { BIKE_FLAG_SIMULATED = 1 };

// One wheel's contact with the ground.
struct WheelContact {
    dBodyID body;
    float axle[3];              // in the wheel body's frame
    float rim_radius;
    float tyre_radius;
    float contact_point[3];     // world
    float contact_velocity[3];  // the wheel body's velocity at the point (spin included)
    float contact_normal[3];    // unit, from the ground into the wheel
    float depth;                // 0 or less = no contact
    dJointFeedback feedback;
};

// The nine control values applied to a bike each tic.
struct RiderControls {
    float steer;        // -1..1
    float throttle;     // 0..1
    float front_brake;
    float rear_brake;
    float shift;        // above 0.5 up, below -0.5 down
    float clutch_lever;
    float dab;
    float back_up;
    float lean;         // -1..1
};

// A crashed rider's free limb point.
struct LoosePoint {
    float position[3];
    float velocity[3];
};

struct BikeState {
    int32_t model_index;

    // Bodies and joints, in this order.
    dBodyID frame_body;
    dBodyID front_wheel_body;
    dBodyID rear_wheel_body;
    dBodyID fork_upper_body;
    dBodyID fork_lower_body;
    dBodyID swingarm_body;
    dBodyID rider_body;
    dJointID front_axle_joint;     // hinge fork lower - front wheel
    dJointID rear_axle_joint;      // hinge swingarm - rear wheel
    dJointID steering_joint;       // hinge fork upper - frame
    dJointID fork_joint;           // slider fork upper - fork lower
    dJointID swingarm_joint;       // hinge swingarm - frame
    dJointID rider_joint;          // hinge-2 rider - frame
    dJointFeedback feedback[BIKE_JOINT_COUNT];

    WheelContact front_contact;
    WheelContact rear_contact;

    // Controls.
    float throttle;
    float clutch;              // 1 = engaged
    float front_brake;
    float rear_brake;
    float steer;
    float dab;
    float foot_down_amount;    // 0..1, how far the rider's foot is down
    float back_up;
    float lean;

    // Drive.
    int32_t gear;
    int32_t last_shift_request;
    float rear_wheel_angle;    // the engine's drive phase at the rear wheel
    float engine_speed;        // rad/s
    float final_drive;         // rear over front sprocket teeth

    // Fork, shock and rider setup.
    float fork_hs_compression;
    float fork_ls_compression;
    float fork_hs_rebound;
    float fork_ls_rebound;
    float fork_spring_rate;
    float fork_preload;
    float fork_oil_level;
    float shock_hs_compression;
    float shock_ls_compression;
    float shock_hs_rebound;
    float shock_ls_rebound;
    float shock_spring_rate;
    float shock_preload;
    float rider_vertical_spring;
    float rider_vertical_damping;
    float rider_forward_spring;
    float rider_forward_damping;

    // Timing and the auto pilot.
    int32_t gates_passed;
    GrowableArray gate_times;      // int32 tics, -1 = not passed
    GrowableArray lap_buffers[2];  // recorded line points, by row mod 2
    int32_t lap_buffer_spoiled[2];
    int32_t race_flag;             // cleared by set_gates_passed
    GrowableArray own_line;        // the line the auto pilot follows
    int32_t sections_picked;
    int32_t line_index;
    int32_t progress_tic;
    int32_t recovery_count;
    int32_t personality;           // 0 = no auto pilot
    float launch_time;
    float throttle_memory;
    int32_t corner_tic;
    int32_t picked_serials[4];

    // Riding setup.
    float total_mass;
    float roll_damping;
    float leveling;
    float roll_limit_factor;
    float roll_limit_angle;
    float steering_damping;
    float steering_strength;
    float max_steering_force;
    float direct_steering;
    float slow_damping_speed;
    float slow_damping_factor;
    float land_damping_falloff;
    float land_damping_factor;
    float auto_clutch_rpms;
    float front_brake_torque;
    float rear_brake_torque;
    float max_dab_speed;
    float full_lock_speed;
    float restricted_lock_speed;
    float restricted_lock_angle;

    // Steering working values.
    float landing_damping_multiplier;
    float steering_saturation;

    // Parts: meshes, private collision shapes and textures (0 = none).
    Model *frame_model;
    CollisionShape *frame_shape;
    int bike_texture, bike_normal_map, bike_specular_map;
    Model *fork_upper_model;
    CollisionShape *fork_upper_shape;
    Model *fork_lower_model;
    CollisionShape *fork_lower_shape;
    Model *swingarm_model;
    CollisionShape *swingarm_shape;
    Model *front_wheel_model;
    CollisionShape *front_wheel_shape;
    Model *rear_wheel_model;
    CollisionShape *rear_wheel_shape;
    int wheel_texture, wheel_normal_map, wheel_specular_map;
    Model *helmet_model;
    Model *rider_body_model;
    Model *rider_body_fp_model;
    CollisionShape *rider_shape;
    int helmet_texture, helmet_normal_map, helmet_specular_map;
    int rider_texture, rider_normal_map, rider_specular_map;
    Model *side_plates_model;
    Model *front_plate_model;
    Model *rider_plate_model;
    int number_plate_texture;

    // Rider and crash state.
    char rider_number[RIDER_NUMBER_LENGTH];
    int32_t slot;
    int32_t down;                  // the rider touches the ground
    int32_t crash_timer;           // 0 = on the bike
    int32_t crash_count;
    float knock;
    int32_t takeoff_tic;
    int32_t landing_tic;
    float rider_velocity_ring[4][3];
    LoosePoint loose_points[2];    // A (left) and B (right)
    int32_t last_bike_contact_tic;
    int32_t finished;
    float physics_weight;          // 1 = simulated here, 0 = placed from states
    float sound_position[3];       // the frame's last position that passed the range check
    int32_t sound_position_set;

    ErosionRecord ruts[2];         // the tyres' rut records: front, rear

    int32_t arcade_physics;
    int32_t last_contact_tic;
    uint8_t bike_options;
    uint8_t bike_flags;
};

extern BikeState bike_states[BIKE_SLOT_COUNT];
// The slot's record while it holds a bike (create_bike sets it, free_bike
// clears it), else null.
extern BikeState *bike_slots[BIKE_SLOT_COUNT];

// Frees any bike still built, then zeroes all 160 records and empties the
// slots.
void clear_bike_states(void);
// The bike in a slot, or null for an empty slot or a number outside 0..159.
BikeState *get_slot_bike(int slot);
// The bike's model (its index is checked; never null for a created bike).
const BikeModel *get_bike_state_model(const BikeState *bike);
