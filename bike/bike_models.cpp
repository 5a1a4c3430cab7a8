// The 80 bike models. Every model shares the geometry and the rider figure;
// the classes differ in masses, springs, gearing and engine. The table is
// built at compile time from one set of values per class.
#include "bike/bike_models.h"

#include <cstdio>
#include <cstring>

#include "core/message.h"

namespace {

// What varies between the models: one of these per class of engine.
struct ClassSpec {
    const char *class_name;
    float frame_mass;
    float fork_mass;
    float swingarm_half_mass;
    float fork_spring_range[2];
    float shock_spring_range[2];
    float fork_hs_rebound;     // the fork's high-speed rebound base
    float shock_hs_rebound;
    float primary_ratio;
    float front_sprocket;
    float rear_sprocket;
    float gear_ratios[BIKE_GEAR_COUNT];
    float engine_constants[3];
    float shift_down_rpm, shift_up_rpm, top_rpm;
    float rider_mass;
    // The torque curves are the 125's curves stretched along the rpm axis
    // (the peak moves from 10000 rpm to 10000 x rpm_scale) and scaled in
    // torque: the same shape for every engine. Full throttle leaves the
    // stretched curve at fall_rpm and reaches zero at zero_rpm, at or just
    // above the top rpm: the engine cannot pull the bike past that speed.
    float rpm_scale;
    float torque_scale;
    float fall_rpm;
    float zero_rpm;
};

constexpr float GEARS_125[6] = {2.35714f, 1.86667f, 1.57895f, 1.29412f, 1.13333f, -1.0f};
constexpr float GEARS_250F[6] = {2.14286f, 1.75f, 1.44444f, 1.22222f, 1.04167f, -1.0f};
constexpr float GEARS_450F[6] = {1.75f, 1.41176f, 1.1875f, 1.0f, 0.875f, -1.0f};
constexpr float GEARS_50[6] = {3.09091f, 2.0f, 1.5f, 1.2f, 1.04545f, 0.956522f};

enum ClassKind {
    KIND_125,        // two-stroke 125s
    KIND_250,        // two-stroke 250s
    KIND_250F,       // four-stroke 250s
    KIND_450F,       // four-stroke 450s
    KIND_350_250F,   // the 350s listed with the 250f class
    KIND_350_450F,   // the 350 listed with the 450f class
    KIND_50,         // the minis
    KIND_COUNT
};

#define ARR6(a) {a[0], a[1], a[2], a[3], a[4], a[5]}

// The classes on the 450f's gearing (fifth gear 0.875, primary 2.72727,
// 50/13) cover about 0.01235 ft/s per rpm in fifth: 90 mph is near 10700
// rpm, below their top rpm of 12000. Their full-throttle torque reaches
// zero here (a few tens of rpm later where the line to zero meets the
// closed-throttle curve), past the 10500 rpm where automatic shifting
// changes up, so fifth is still reached and the bike tops out under 90 mph.
constexpr float TALL_GEARING_ZERO_RPM = 10600.0f;

// Class values. The 250 two-strokes have no example row: they take the
// 125's curve shape moved down to an 8500 rpm peak and scaled to a 250
// two-stroke's power (x 1.7 torque), with the 450f's gearing, heavier crank
// and shift points. The 350s keep the 450f damping; their curve peaks at
// 10500 rpm. The 125, the 50s and the classes on the 250f's gearing keep
// their stretched curve up to the last point below their zero and drop
// straight to it; the classes on the 450f's gearing fall from their peak
// (9000 rpm for the 350 among them) to a zero below their top rpm.
constexpr ClassSpec CLASS_SPECS[KIND_COUNT] = {
    // KIND_125 ("cr125")
    {"125", 3.65375f, 0.739688f, 0.504375f, {322.545f, 860.12f}, {1814.32f, 4502.19f},
     30.0f, 600.0f, 3.15f, 13.0f, 52.0f, ARR6(GEARS_125), {0.00488281f, 7500.0f, 0.75f},
     9400.0f, 12000.0f, 12750.0f, 4.6875f, 1.0f, 1.0f, 12500.0f, 13000.0f},
    // KIND_250
    {"250", 4.24f, 0.75375f, 0.541875f, {335.984f, 873.56f}, {2217.5f, 4905.37f},
     30.0f, 600.0f, 2.72727f, 13.0f, 50.0f, ARR6(GEARS_450F), {0.0088501f, 7500.0f, 0.75f},
     6000.0f, 10500.0f, 12000.0f, 4.6875f, 0.85f, 1.7f, 8500.0f, TALL_GEARING_ZERO_RPM},
    // KIND_250F ("yz250f(2017)")
    {"250f", 4.24f, 0.703125f, 0.541875f, {335.984f, 873.56f}, {2217.5f, 4905.37f},
     30.0f, 600.0f, 3.35294f, 13.0f, 50.0f, ARR6(GEARS_250F), {0.00488281f, 7500.0f, 0.75f},
     8000.0f, 12500.0f, 13250.0f, 4.6875f, 1.15f, 1.16f, 13000.0f, 13500.0f},
    // KIND_450F ("kx450f(2018)")
    {"450f", 4.735f, 0.703125f, 0.589375f, {376.303f, 913.878f}, {2486.29f, 5174.16f},
     32.0f, 650.0f, 2.72727f, 13.0f, 50.0f, ARR6(GEARS_450F), {0.0088501f, 7500.0f, 0.75f},
     6000.0f, 10500.0f, 12000.0f, 5.46875f, 0.9f, 2.0f, 9000.0f, TALL_GEARING_ZERO_RPM},
    // KIND_350_250F
    {"250f", 4.365625f, 0.703125f, 0.589375f, {335.984f, 873.56f}, {2217.5f, 4905.37f},
     32.0f, 650.0f, 3.35294f, 13.0f, 50.0f, ARR6(GEARS_250F), {0.00488281f, 7500.0f, 0.75f},
     8000.0f, 12500.0f, 13250.0f, 4.6875f, 1.05f, 1.55f, 13000.0f, 13500.0f},
    // KIND_350_450F
    {"450f", 4.735f, 0.703125f, 0.589375f, {376.303f, 913.878f}, {2486.29f, 5174.16f},
     32.0f, 650.0f, 2.72727f, 13.0f, 50.0f, ARR6(GEARS_450F), {0.0088501f, 7500.0f, 0.75f},
     6000.0f, 10500.0f, 12000.0f, 5.46875f, 1.05f, 1.55f, 9000.0f, TALL_GEARING_ZERO_RPM},
    // KIND_50 ("rs50yz")
    {"50", 3.34125f, 0.739688f, 0.5025f, {309.106f, 846.681f}, {1814.32f, 4502.19f},
     30.0f, 600.0f, 3.71429f, 12.0f, 55.0f, ARR6(GEARS_50), {0.00119358f, 1200.0f, 1.0f},
     9400.0f, 12000.0f, 12750.0f, 4.6875f, 1.0f, 0.23f, 12500.0f, 13000.0f},
};

#undef ARR6

struct ModelRow {
    const char *name;
    ClassKind kind;
};

constexpr ModelRow MODEL_ROWS[BIKE_MODEL_COUNT] = {
    {"cr125", KIND_125},
    {"crf250(2007)", KIND_250F}, {"crf250(2008)", KIND_250F}, {"crf250(2009)", KIND_250F},
    {"crf250(2013)", KIND_250F}, {"crf250(2016)", KIND_250F}, {"crf250(2017)", KIND_250F},
    {"crf250(2018)", KIND_250F},
    {"cr250(2007)", KIND_250},
    {"crf450(2011)", KIND_450F}, {"crf450(2013)", KIND_450F}, {"crf450(2016)", KIND_450F},
    {"crf450(2017)", KIND_450F}, {"crf450(2018)", KIND_450F},
    {"kx125", KIND_125},
    {"kx250f(2007)", KIND_250F}, {"kx250f(2008)", KIND_250F}, {"kx250f(2009)", KIND_250F},
    {"kx250f(2013)", KIND_250F}, {"kx250f(2016)", KIND_250F}, {"kx250f(2017)", KIND_250F},
    {"kx250f(2018)", KIND_250F},
    {"kx250(2006)", KIND_250},
    {"kx450f(2011)", KIND_450F}, {"kx450f(2013)", KIND_450F}, {"kx450f(2016)", KIND_450F},
    {"kx450f(2017)", KIND_450F}, {"kx450f(2018)", KIND_450F},
    {"rm125", KIND_125},
    {"rmz250(2007)", KIND_250F}, {"rmz250(2008)", KIND_250F}, {"rmz250(2009)", KIND_250F},
    {"rmz250(2013)", KIND_250F}, {"rmz250(2016)", KIND_250F}, {"rmz250(2017)", KIND_250F},
    {"rmz250(2018)", KIND_250F},
    {"rm250(2008)", KIND_250},
    {"rmz450(2011)", KIND_450F}, {"rmz450(2013)", KIND_450F}, {"rmz450(2016)", KIND_450F},
    {"rmz450(2017)", KIND_450F}, {"rmz450(2018)", KIND_450F},
    {"yz125", KIND_125},
    {"yz250f(2007)", KIND_250F}, {"yz250f_se(2006)", KIND_250F}, {"yz250f(2008)", KIND_250F},
    {"yz250f(2009)", KIND_250F}, {"yz250f(2013)", KIND_250F}, {"yz250f(2016)", KIND_250F},
    {"yz250f(2017)", KIND_250F}, {"yz250f(2018)", KIND_250F},
    {"yz250(2012)", KIND_250},
    {"yz450f(2011)", KIND_450F}, {"yz450f(2013)", KIND_450F}, {"yz450f(2016)", KIND_450F},
    {"yz450f(2017)", KIND_450F}, {"yz450f(2018)", KIND_450F},
    {"125sx", KIND_125},
    {"250sxf(2009)", KIND_250F}, {"250sxf(2013)", KIND_250F}, {"250sxf(2016)", KIND_250F},
    {"250sxf(2017)", KIND_250F}, {"250sxf(2018)", KIND_250F},
    {"250sx(2012)", KIND_250},
    {"350sxf(2011)", KIND_350_450F}, {"350sxf(2013)", KIND_350_250F},
    {"350sxf(2017)", KIND_350_250F},
    {"450sxf(2011)", KIND_450F}, {"450sxf(2013)", KIND_450F}, {"450sxf(2016)", KIND_450F},
    {"450sxf(2017)", KIND_450F}, {"450sxf(2018)", KIND_450F},
    {"fc250(2017)", KIND_250F}, {"fc250(2018)", KIND_250F},
    {"fc450(2017)", KIND_450F}, {"fc450(2018)", KIND_450F},
    {"rs50cr", KIND_50}, {"rs50kx", KIND_50}, {"rs50rm", KIND_50}, {"rs50yz", KIND_50},
};

// The rider figure, shared by every model, sized for a rider of about
// 5 ft 10 in in the attack position. At rest (frame at (0, 1.98, 3.6),
// rider body at (0, 4.5, 4.12), steering head at (0, 2.9, 2.16)) it puts
// the head centre at 5.95 ft, the shoulders at 5.2 ft leaning 28 degrees
// forward from the hips at 3.9 ft, the grips 2.1 ft apart at 3.6 ft and
// the pegs 1.1 ft apart at 1.45 ft: knees and elbows slightly bent.
// Limbs: thigh 1.45, shin (knee to peg) 1.5, upper arm 1.1, forearm (elbow
// to grip) 1.2.
// The bone rest centres describe the rider mesh's rest pose in rider-body
// coordinates: a T pose in the plane z = 0.33 (the hips' z), the torso
// upright from the hip centre (0, -0.6) for its length sqrt(1.3^2 + 0.7^2)
// = 1.476482 to the shoulder line at y = 0.876482, the arms straight out
// along x and the legs straight down. In that pose every bone frame of the
// pose solver is the identity, so the mesh is posed by its bones as built.
constexpr float RIDER_FIGURE[RIDER_FIGURE_FLOATS] = {
    0.0f, 1.45f, -0.62f,          // head (rider body)
    -0.6f, 0.7f, -0.37f,          // left shoulder (rider body)
    0.6f, 0.7f, -0.37f,           // right shoulder
    -0.4f, -0.6f, 0.33f,          // left hip (rider body)
    0.4f, -0.6f, 0.33f,           // right hip
    -1.05f, 0.7f, 0.44f,          // left grip (steering head)
    1.05f, 0.7f, 0.44f,           // right grip
    -0.55f, -0.53f, 0.45f,        // left peg (frame)
    0.55f, -0.53f, 0.45f,         // right peg
    1.45f, 1.5f, 1.1f, 1.2f,      // thigh, shin, upper arm, forearm
    -1.7f, 0.876482f, 0.33f,      // left forearm: the elbow
    1.7f, 0.876482f, 0.33f,       // right forearm
    -0.6f, 0.876482f, 0.33f,      // left upper arm: the shoulder
    0.6f, 0.876482f, 0.33f,       // right upper arm
    -0.4f, -2.05f, 0.33f,         // left shin: the knee
    0.4f, -2.05f, 0.33f,          // right shin
    -0.4f, -0.6f, 0.33f,          // left thigh: the hip
    0.4f, -0.6f, 0.33f,           // right thigh
    0.0f, -0.6f, 0.33f,           // torso: the hip centre
};

// The 125's torque curves, the shape every engine follows. Values the
// table gives are kept exactly; between them the open curve rises with an
// ease-out to its peak and falls off quadratically after it, and the
// closed curve falls with a growing slope to -23.
constexpr float base_open_torque(int i)
{
    constexpr float low[11] = {5, 5, 5, 5, 5, 5.7f, 6.4f, 7.2f, 7.9f, 8.6f, 9.4538f};
    if (i <= 10)
        return low[i];
    if (i <= 20) {
        float t = (float)(i - 10) / 10.0f;
        return 9.4538f + (15.9664f - 9.4538f) * t * (2.0f - t);
    }
    if (i <= 25) {
        float t = (float)(i - 20) / 5.0f;
        return 2.10085f + (15.9664f - 2.10085f) * (1.0f - t * t);
    }
    if (i <= 27)
        return 0.0f;
    return -(float)(1 + (i - 28) / 2);
}

constexpr float base_closed_torque(int i)
{
    constexpr float low[7] = {2, 2, 1, 0, -1, -1.2f, -1.4f};
    if (i <= 6)
        return low[i];
    float k = 13.0f / 1849.0f;   // reaches -23 at index 49
    return -1.0f - 0.2f * (float)(i - 4) - k * (float)((i - 6) * (i - 6));
}

// A curve read at the fractional index x, linearly between points, held
// at the last point.
constexpr float curve_at(float (*curve)(int), float x)
{
    if (x <= 0.0f)
        return curve(0);
    if (x >= (float)(TORQUE_CURVE_POINTS - 1))
        return curve(TORQUE_CURVE_POINTS - 1);
    int j = (int)x;
    float f = x - (float)j;
    if (f == 0.0f)
        return curve(j);
    return curve(j) + (curve(j + 1) - curve(j)) * f;
}

// The base curve read at index i / rpm_scale.
constexpr float stretched(float (*curve)(int), int i, float rpm_scale)
{
    return curve_at(curve, (float)i / rpm_scale);
}

// The 125's curve: its peak, the end of its fall and its first zero.
constexpr int BASE_PEAK_INDEX = 20;
constexpr int BASE_FALL_END_INDEX = 25;
constexpr int BASE_ZERO_INDEX = 26;
constexpr float RPM_PER_POINT = 500.0f;

// Full throttle at point i, in the 125's units. Up to fall_rpm the
// stretched curve. From there to the last point below zero_rpm the 125's
// fall from its peak (its points 20..25), scaled to meet the stretched
// curve. The first point at or past zero_rpm lies on the line from that
// last point through zero at zero_rpm, so the curve as the engine reads
// it (linearly between points) crosses zero exactly there; later points
// hold that value until the 125's tail (0, then 1 less every 1000 rpm)
// falls lower.
constexpr float open_torque_at(const ClassSpec &spec, float r)
{
    if (r <= spec.fall_rpm)
        return curve_at(base_open_torque, r / RPM_PER_POINT / spec.rpm_scale);
    float after = (float)(int)(spec.zero_rpm / RPM_PER_POINT) * RPM_PER_POINT;
    if (after < spec.zero_rpm)
        after += RPM_PER_POINT;
    float before = after - RPM_PER_POINT;
    if (r <= before) {
        float meet = curve_at(base_open_torque, spec.fall_rpm / RPM_PER_POINT / spec.rpm_scale);
        float x = (float)BASE_PEAK_INDEX + (float)(BASE_FALL_END_INDEX - BASE_PEAK_INDEX) * (r - spec.fall_rpm) /
                                               (before - spec.fall_rpm);
        return meet / base_open_torque(BASE_PEAK_INDEX) * curve_at(base_open_torque, x);
    }
    float line = open_torque_at(spec, before) * (spec.zero_rpm - after) / (spec.zero_rpm - before);
    float tail = curve_at(base_open_torque, (float)BASE_ZERO_INDEX + (r - after) / RPM_PER_POINT);
    return tail < line ? tail : line;
}

constexpr void copy_text(char *out, int size, const char *a, const char *b = "", const char *c = "")
{
    int n = 0;
    for (const char *parts[3] = {a, b, c}; const char *p : parts)
        for (; *p && n < size - 1; p++)
            out[n++] = *p;
    for (; n < size; n++)
        out[n] = 0;
}

constexpr void copy3(float *out, float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

constexpr BikeModel make_model(const ModelRow &row)
{
    const ClassSpec &spec = CLASS_SPECS[row.kind];
    BikeModel m{};
    copy_text(m.name, BIKE_MODEL_NAME_LENGTH, row.name);
    copy_text(m.class_name, BIKE_MODEL_NAME_LENGTH, spec.class_name);

    m.front_wheel = {{0.0f, 1.09f, 1.11f}, 0.833333f, 0.333333f, 0.40625f, 0.5f, 0.15625f};
    m.rear_wheel = {{0.0f, 1.04f, 6.0f}, 0.75f, 0.333333f, 0.46875f, 0.5f, 0.3125f};
    copy3(m.frame_position, 0.0f, 1.98f, 3.6f);
    m.frame_mass = spec.frame_mass;
    copy3(m.frame_size, 0.833333f, 1.666667f, 1.666667f);
    copy3(m.fork_upper_position, 0.0f, 2.9f, 2.16f);
    copy3(m.swingarm_position, 0.0f, 1.34f, 4.99f);
    copy3(m.swingarm_pivot, 0.0f, 1.6f, 4.08f);
    copy3(m.fork_lower_position, 0.0f, 1.77f, 1.59f);
    m.fork_leg_spacing = 0.833333f;
    m.fork_leg_length = 3.0f;
    m.fork_mass = spec.fork_mass;
    m.fork_spring_range[0] = spec.fork_spring_range[0];
    m.fork_spring_range[1] = spec.fork_spring_range[1];
    m.fork_preload_range[0] = 0.0f;
    m.fork_preload_range[1] = 0.083333f;
    m.fork_oil_level_range[0] = 0.416667f;
    m.fork_oil_level_range[1] = 0.25f;
    m.fork_damping[0] = 60.0f;
    m.fork_damping[1] = 60.0f;
    m.fork_damping[2] = spec.fork_hs_rebound;
    m.fork_damping[3] = 30.0f;
    m.fork_travel = 1.0f;
    m.swingarm_half_mass = spec.swingarm_half_mass;
    m.shock_spring_range[0] = spec.shock_spring_range[0];
    m.shock_spring_range[1] = spec.shock_spring_range[1];
    m.shock_preload_range[0] = 0.0f;
    m.shock_preload_range[1] = 0.333333f;
    m.shock_damping[0] = 800.0f;
    m.shock_damping[1] = 200.0f;
    m.shock_damping[2] = spec.shock_hs_rebound;
    m.shock_damping[3] = 150.0f;
    constexpr float linkage[7] = {0.283652f, 0.413386f, 0.530304f, 0.75f,
                                  0.315039f, 0.460479f, 0.607049f};
    for (int i = 0; i < 7; i++)
        m.shock_linkage[i] = linkage[i];
    m.primary_ratio = spec.primary_ratio;
    m.front_sprocket = spec.front_sprocket;
    m.rear_sprocket = spec.rear_sprocket;
    for (int i = 0; i < BIKE_GEAR_COUNT; i++)
        m.gear_ratios[i] = spec.gear_ratios[i];
    for (int i = 0; i < 3; i++)
        m.engine_constants[i] = spec.engine_constants[i];
    for (int i = 0; i < TORQUE_CURVE_POINTS; i++) {
        float closed = spec.torque_scale * stretched(base_closed_torque, i, spec.rpm_scale);
        float open = spec.torque_scale * open_torque_at(spec, (float)i * RPM_PER_POINT);
        // Full throttle never brakes harder than a shut one.
        m.closed_throttle_torque[i] = closed;
        m.open_throttle_torque[i] = open > closed ? open : closed;
    }
    m.shift_down_rpm = spec.shift_down_rpm;
    m.shift_up_rpm = spec.shift_up_rpm;
    m.top_rpm = spec.top_rpm;
    copy3(m.rider_travel_axis, 0.0f, 0.083333f, 0.083333f);
    copy3(m.rider_position, 0.0f, 4.5f, 4.12f);
    m.rider_travel_range[0] = -0.666667f;
    m.rider_travel_range[1] = 0.5f;
    m.rider_mass = spec.rider_mass;

    const char *key = row.name;
    auto *f = m.part_files;
    copy_text(f[PART_FRAME_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_frame.jm");
    copy_text(f[PART_FRAME_SHAPE], BIKE_PART_FILE_LENGTH, "@generic_frame.shp");
    copy_text(f[PART_BIKE_TEXTURE], BIKE_PART_FILE_LENGTH, "@", key, ".png");
    copy_text(f[PART_FORK_UPPER_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_fork_upper.jm");
    copy_text(f[PART_FORK_UPPER_SHAPE], BIKE_PART_FILE_LENGTH, "@generic_fork_upper.shp");
    copy_text(f[PART_FORK_LOWER_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_fork_lower.jm");
    copy_text(f[PART_FORK_LOWER_SHAPE], BIKE_PART_FILE_LENGTH, "@generic_fork_lower.shp");
    copy_text(f[PART_SWINGARM_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_swingarm.jm");
    copy_text(f[PART_SWINGARM_SHAPE], BIKE_PART_FILE_LENGTH, "@generic_swingarm.shp");
    copy_text(f[PART_FRONT_WHEEL_MESH], BIKE_PART_FILE_LENGTH, "@front_wheel.jm");
    copy_text(f[PART_FRONT_WHEEL_SHAPE], BIKE_PART_FILE_LENGTH, "@front_wheel.shp");
    copy_text(f[PART_REAR_WHEEL_MESH], BIKE_PART_FILE_LENGTH, "@rear_wheel.jm");
    copy_text(f[PART_REAR_WHEEL_SHAPE], BIKE_PART_FILE_LENGTH, "@rear_wheel.shp");
    copy_text(f[PART_WHEEL_TEXTURE], BIKE_PART_FILE_LENGTH, "@wheels.png");
    copy_text(f[PART_HELMET_MESH], BIKE_PART_FILE_LENGTH, "@rider_head.jm");
    copy_text(f[PART_HELMET_TEXTURE], BIKE_PART_FILE_LENGTH, "@rider_head.png");
    copy_text(f[PART_RIDER_BODY_MESH], BIKE_PART_FILE_LENGTH, "@rider_body.jm");
    copy_text(f[PART_RIDER_BODY_FP_MESH], BIKE_PART_FILE_LENGTH, "@rider_body_fp.jm");
    copy_text(f[PART_RIDER_SHAPE], BIKE_PART_FILE_LENGTH, "@generic_rider.shp");
    copy_text(f[PART_RIDER_TEXTURE], BIKE_PART_FILE_LENGTH, "@rider_body.png");
    copy_text(f[PART_SIDE_PLATES_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_side_plates.jm");
    copy_text(f[PART_FRONT_PLATE_MESH], BIKE_PART_FILE_LENGTH, "@", key, "_front_plate.jm");
    copy_text(f[PART_RIDER_PLATE_MESH], BIKE_PART_FILE_LENGTH, "@rider_plate.jm");

    for (int i = 0; i < RIDER_FIGURE_FLOATS; i++)
        m.rider_figure[i] = RIDER_FIGURE[i];
    return m;
}

constexpr std::array<BikeModel, BIKE_MODEL_COUNT> build_bike_models()
{
    std::array<BikeModel, BIKE_MODEL_COUNT> table{};
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        table[i] = make_model(MODEL_ROWS[i]);
    return table;
}

}  // namespace

constexpr std::array<BikeModel, BIKE_MODEL_COUNT> bike_models = build_bike_models();

const BikeModel *find_bike_model(const char *name)
{
    if (!name)
        return nullptr;
    for (const BikeModel &model : bike_models)
        if (strcmp(model.name, name) == 0)
            return &model;
    return nullptr;
}

int find_bike_model_or_fallback(const char *name)
{
    const BikeModel *model = find_bike_model(name);
    if (model)
        return (int)(model - bike_models.data());
    // A 125 falls back to the first model named as one, anything else to the
    // first four-stroke 250 (the first 250f by class: the names of the
    // first 250f models do not spell "250f").
    int chosen = 0;
    bool wants_125 = name && strstr(name, "125");
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        bool match = wants_125 ? strstr(bike_models[i].name, "125") != nullptr
                               : strcmp(bike_models[i].class_name, "250f") == 0;
        if (match) {
            chosen = i;
            break;
        }
    }
    char text[128];
    snprintf(text, sizeof text, "bike info for '%.20s' not found using '%.20s' instead",
             name ? name : "", bike_models[chosen].name);
    print_message(text);
    return chosen;
}

const BikeModel *get_bike_model(int index)
{
    if (index < 0 || index >= BIKE_MODEL_COUNT)
        return nullptr;
    return &bike_models[index];
}

float get_swingarm_travel(const BikeModel *model)
{
    return model->shock_linkage[2];
}
