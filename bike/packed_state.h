// The packed rider state: the 39-byte little-endian snapshot of one bike
// and rider that the state history, demos and the network carry (and the
// older 26-byte form of old demos), with packing from a bike's bodies,
// posing a bike from one, and the per-tic placement of bikes driven by
// received or replayed states.
#pragma once

#include <cstdint>

struct BikeState;

enum {
    PACKED_STATE_SIZE = 39,
    OLD_PACKED_STATE_SIZE = 26,
    OLD_PACKED_STATE_FORMAT = 4,   // the format number of the older form
    GEAR_CODE_OFF_BIKE = 7,        // gear code of a rider off the bike
};

struct PackedRiderState {
    uint8_t bytes[PACKED_STATE_SIZE];
};

// The ranges the fields are scaled to: the terrain's extent and lowest
// height, the model's swingarm travel (radians) and fork travel.
struct PackedStateScale {
    double extent;
    double low_height;
    double swingarm_travel;
    double fork_travel;
};

// The values a packed state carries. Orientations are unit quaternions
// w, x, y, z; angles in radians.
struct RiderStateValues {
    double frame_position[3];
    double frame_orientation[4];
    double steering_angle;
    double swingarm_angle;
    double fork_position;
    double rider_offset[3];        // rider body minus frame body position
    double rider_orientation[4];
    double rider_travel;           // older form only: 0..1 along the rider's travel
    double front_wheel_angle;
    double rear_wheel_angle;
    uint8_t gear_byte;
    double engine_rpm;
};

// The gear and flags byte.
uint8_t encode_gear_byte(int crash_timer, int gear, float foot_down_amount, float throttle);
// The rider's crash timer that a gear byte with code 7 stands for.
int decode_crash_timer(uint8_t gear_byte);

// Pure coding. Values outside a field's range are clamped, a value that is
// not a number packs as the low end of its range, and a scale without a
// size (no terrain) packs positions as 0. Decoding always gives finite
// values and unit quaternions (an all-zero one decodes as the identity).
void encode_rider_state(const RiderStateValues *values, const PackedStateScale *scale,
                        uint8_t *bytes);
void decode_rider_state(const uint8_t *bytes, int format, const PackedStateScale *scale,
                        RiderStateValues *values);

// The scale of a bike in the current terrain.
void get_packed_state_scale(const BikeState *bike, PackedStateScale *scale);

void pack_rider_state(const BikeState *bike, uint8_t *bytes);
// Poses the seven bodies and sets gear, throttle, crash state and engine
// speed from a record (format 4 = the older form, else the 39-byte form).
void unpack_rider_state(BikeState *bike, const uint8_t *bytes, int format);
// The per-tic placement of a bike driven by states: posed from the current
// record with velocities from the earlier and later ones, or, while it is
// simulated here, pulled toward them.
void apply_rider_state(BikeState *bike, const uint8_t *current, const uint8_t *earlier,
                       const uint8_t *later, int tics, int format);
// The records are read in the given format (the older form has no rider
// offset: it is taken from the rider's travel).
void pull_bike_toward_state(BikeState *bike, const uint8_t *current, const uint8_t *earlier,
                            const uint8_t *later, int tics, int format);

// The rotation vector (axis times angle) that turns orientation a into b,
// both row-major 3 x 3 rotations; (0, 0, 0) for equal orientations.
void rotation_vector_between(const double *a, const double *b, double *out);
