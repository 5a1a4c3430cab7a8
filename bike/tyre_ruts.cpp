// Tyre ruts: the ground's force under each tyre, shaped by the tile's
// erosion values, becomes dig samples; samples are averaged into rut points
// about a foot apart and the points sent as erosion messages when the record
// is full, spreads too far or the tyre stops digging. The same pass leaves
// the tyre telemetry, shown as 3-D text by the per-tic tyre step.
#include "bike/tyre_ruts.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/contact_readout.h"
#include "net/client.h"
#include "race/race_state.h"
#include "render/text_marker.h"
#include "track/erosion.h"
#include "track/terrain.h"

float tyre_telemetry[6];

enum {
    TELEMETRY_SPEED,
    TELEMETRY_SLIP,
    TELEMETRY_LATERAL,
    TELEMETRY_LONGITUDINAL,
    TELEMETRY_LATERAL_DIG,
    TELEMETRY_LONGITUDINAL_DIG,
};

enum {
    RUT_POINT_SAMPLES = 16,     // samples that close a point however short
    RUT_IDLE_TICS = 64,         // tics without digging before a record is sent
};
constexpr float RUT_POINT_SPACING = 1.0f;   // feet covered by one point
constexpr float RUT_MAX_SPREAD = 64.0f;     // widest step range one message codes well

// How closing a point left the record.
enum { CLOSE_NOTHING, CLOSE_ADDED, CLOSE_RESTARTED };

static void send_record(const ErosionRecord *record)
{
    uint8_t message[EROSION_MESSAGE_MAX];
    int length = encode_erosion_record(message, record);
    if (length > 0)
        send_erode_record(message, length);
}

static void clear_collection(ErosionRecord *record)
{
    record->last_sample_x = record->last_sample_z = 0.0f;
    record->sum_x = record->sum_z = 0.0f;
    record->sum_direction_x = record->sum_direction_z = 0.0f;
    record->travelled = 0.0f;
    record->samples = 0;
}

static int close_point(ErosionRecord *record)
{
    if (record->samples <= 0)
        return CLOSE_NOTHING;
    if (record->point_count >= EROSION_POINTS) {
        send_record(record);
        record->point_count = 0;
    }
    float n = (float)record->samples;
    ErosionPoint point;
    point.x = record->sum_x / n;
    point.z = record->sum_z / n;
    point.direction_x = record->sum_direction_x / n;
    point.direction_z = record->sum_direction_z / n;
    point.flags = record->samples;
    // The point is taken: its samples are not closed twice.
    record->sum_x = record->sum_z = 0.0f;
    record->sum_direction_x = record->sum_direction_z = 0.0f;
    record->samples = 0;

    int b = record->point_count;
    int result = CLOSE_ADDED;
    float *bounds = record->step_bounds;
    if (b == 1) {
        float dx = point.x - record->points[0].x, dz = point.z - record->points[0].z;
        bounds[0] = bounds[2] = dx;
        bounds[1] = bounds[3] = dz;
    } else if (b >= 2) {
        float dx = point.x - record->points[b - 1].x, dz = point.z - record->points[b - 1].z;
        float low_x = fminf(bounds[0], dx), low_z = fminf(bounds[1], dz);
        float high_x = fmaxf(bounds[2], dx), high_z = fmaxf(bounds[3], dz);
        if (fmaxf(high_x - low_x, high_z - low_z) > RUT_MAX_SPREAD) {
            // Steps this far apart would code coarsely: send what is there
            // and start again from the new point.
            send_record(record);
            memset(record->step_bounds, 0, sizeof record->step_bounds);
            clear_collection(record);
            b = 0;
            result = CLOSE_RESTARTED;
        } else {
            bounds[0] = low_x;
            bounds[1] = low_z;
            bounds[2] = high_x;
            bounds[3] = high_z;
        }
    }
    record->points[b] = point;
    record->point_count = b + 1;
    record->last_close_tic = current_tic;
    return result;
}

void erosion_flush(ErosionRecord *record)
{
    if (record)
        close_point(record);
}

static void add_sample(ErosionRecord *record, float x, float z, float direction_x, float direction_z)
{
    record->sum_x += x;
    record->sum_z += z;
    record->sum_direction_x += direction_x;
    record->sum_direction_z += direction_z;
    record->samples++;
}

// One dig sample at (x, z) with its direction (length 0.125..1).
static void record_sample(ErosionRecord *record, float x, float z, float direction_x, float direction_z)
{
    float b = 0.0f;
    if (record->samples > 0) {
        float dx = x - record->last_sample_x, dz = z - record->last_sample_z;
        b = sqrtf(dx * dx + dz * dz);
    }
    record->last_sample_x = x;
    record->last_sample_z = z;
    if (record->samples < RUT_POINT_SAMPLES && record->travelled + b < RUT_POINT_SPACING) {
        add_sample(record, x, z, direction_x, direction_z);
        record->travelled += b;
        return;
    }
    float travelled = record->travelled;
    int samples = record->samples;
    if (close_point(record) == CLOSE_RESTARTED) {
        travelled = 0.0f;
        samples = 0;
        // The restart cleared the collection; this sample is still the latest.
        record->last_sample_x = x;
        record->last_sample_z = z;
    }
    // The next point carries what this one overshot its foot. After a
    // restart the old point counts for nothing, so a step shorter than a
    // foot carries less than nothing and the new point gathers more.
    float carried = travelled + b - RUT_POINT_SPACING;
    record->travelled = carried < RUT_POINT_SPACING && samples < RUT_POINT_SAMPLES ? carried : 0.0f;
    add_sample(record, x, z, direction_x, direction_z);
}

// The tyre does not dig: a record idle for more than 64 tics goes out.
static void end_idle_record(ErosionRecord *record)
{
    if (record->point_count <= 0 || !((long long)record->last_close_tic + RUT_IDLE_TICS < (long long)current_tic))
        return;
    close_point(record);
    if (record->point_count > 0)
        send_record(record);
    clear_erosion_record(record);
}

// The quotient that places a value between two bounds, clamped to 0..1; a
// quotient that is not a number counts as 1.
static double band_fraction(double value, double low, double high)
{
    double q = (value - low) / (high - low);
    return q > 0.0 ? (q < 1.0 ? q : 1.0) : q <= 0.0 ? 0.0 : 1.0;
}

void wheel_ground_contact(ErosionRecord *record, const WheelContact *wheel, int front)
{
    memset(tyre_telemetry, 0, sizeof tyre_telemetry);
    if (!record || !wheel)
        return;
    const Terrain *terrain = current_terrain;
    float x = wheel->contact_point[0], y = wheel->contact_point[1], z = wheel->contact_point[2];
    double v[3], horizontal = 0.0;
    int touching = wheel->depth > 0.0f && wheel->body && terrain && std::isfinite(x) && std::isfinite(y) &&
                   std::isfinite(z);
    if (touching) {
        vec_copy(v, dBodyGetLinearVel(wheel->body));
        horizontal = sqrt(v[0] * v[0] + v[2] * v[2]);
    }
    // Without horizontal speed there is no forward or side: no dig.
    if (!touching || !(horizontal > 0.0) || !std::isfinite(horizontal) || !std::isfinite(v[1])) {
        end_idle_record(record);
        return;
    }

    const ErosionValues *e = &terrain_tile_at(terrain, x, z)->erosion;
    float face[3];
    get_terrain_face_normal(terrain, x, z, face);
    double n[3] = {face[0], face[1], face[2]};
    double forward[3] = {v[0] / horizontal, 0.0, v[2] / horizontal};
    double side[3] = {-v[2] / horizontal, 0.0, v[0] / horizontal};
    double speed = vec_length(v);
    tyre_telemetry[TELEMETRY_SPEED] = (float)speed;

    double k = band_fraction(speed, e->erode_off_speed, e->erode_on_speed);

    double f[3] = {wheel->feedback.f1[0], wheel->feedback.f1[1], wheel->feedback.f1[2]};
    double nn = vec_dot(n, n);
    double q = nn > 0.0 ? vec_dot(f, n) / nn : 0.0;
    tyre_telemetry[TELEMETRY_LATERAL] = (float)vec_dot(f, side);
    tyre_telemetry[TELEMETRY_LONGITUDINAL] = (float)vec_dot(f, forward);

    double dx = (f[0] - e->erode_project_to_ground * n[0] * q) * k;
    double dz = (f[2] - e->erode_project_to_ground * n[2] * q) * k;

    dVector3 point_velocity;
    dBodyGetPointVel(wheel->body, x, y, z, point_velocity);
    double slip = sqrt(point_velocity[0] * point_velocity[0] + point_velocity[1] * point_velocity[1] +
                       point_velocity[2] * point_velocity[2]);
    tyre_telemetry[TELEMETRY_SLIP] = (float)slip;
    // A band without width is passed at once.
    double w = e->erode_slip_upper == e->erode_slip_lower
                   ? 1.0
                   : band_fraction(slip, e->erode_slip_lower, e->erode_slip_upper);
    double scale = e->erode_slip_base_scale + w * ((double)e->erode_slip_scale - e->erode_slip_base_scale);
    dx *= scale;
    dz *= scale;

    double lateral = (dx * side[0] + dz * side[2]) * ((double)e->erode_lateral_scale - 1.0);
    dx += side[0] * lateral;
    dz += side[2] * lateral;
    if (front) {
        dx *= e->erode_front_scale;
        dz *= e->erode_front_scale;
    }
    tyre_telemetry[TELEMETRY_LATERAL_DIG] = (float)(dx * side[0] + dz * side[2]);
    tyre_telemetry[TELEMETRY_LONGITUDINAL_DIG] = (float)(dx * forward[0] + dz * forward[2]);

    double lower = e->erode_lower;
    double force2 = dx * dx + dz * dz;
    // The comparisons fail for a force that is not a number: no dig.
    if (!(force2 > lower * lower) || !(force2 > 0.0009765625) || !std::isfinite(force2)) {
        end_idle_record(record);
        return;
    }
    double force = sqrt(force2);
    double strength = band_fraction(force, lower, e->erode_upper);
    double length = (0.125 + 0.875 * strength) / force;
    record_sample(record, x, z, (float)(dx * length), (float)(dz * length));
}

void contact_debug_text(char *text, int size)
{
    if (!text || size <= 0)
        return;
    // 0 - value keeps a zero from printing as -0.00.
    snprintf(text, (size_t)size, "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\npfz=%.2f\n",
             tyre_telemetry[TELEMETRY_SPEED], tyre_telemetry[TELEMETRY_SLIP],
             0.0f - tyre_telemetry[TELEMETRY_LATERAL], 0.0f - tyre_telemetry[TELEMETRY_LONGITUDINAL],
             0.0f - tyre_telemetry[TELEMETRY_LATERAL_DIG], 0.0f - tyre_telemetry[TELEMETRY_LONGITUDINAL_DIG]);
}

// Appends text to the buffer, cut to the room left.
static void append_text(char *buffer, int size, const char *text)
{
    size_t used = strlen(buffer);
    if (used + 1 >= (size_t)size)
        return;
    snprintf(buffer + used, (size_t)size - used, "%s", text);
}

void step_tire_ground_contact(BikeState *bike)
{
    if (!bike)
        return;
    int telemetry = 0;
    double frame[3] = {0.0, 0.0, 0.0};
    if ((contact_log_flags & 1) && bike->frame_body) {
        vec_copy(frame, dBodyGetPosition(bike->frame_body));
        float distance = get_text_marker_distance((float)frame[0], (float)frame[1], (float)frame[2]);
        telemetry = std::isfinite(frame[0]) && std::isfinite(frame[1]) && std::isfinite(frame[2]) &&
                    !(distance < contact_log_spacing);
    }
    char buffer[1024], text[1024];
    buffer[0] = 0;
    wheel_ground_contact(&bike->ruts[0], &bike->front_contact, 1);
    if (telemetry) {
        append_text(buffer, sizeof buffer, "front:\n");
        contact_debug_text(text, sizeof text);
        append_text(buffer, sizeof buffer, text);
    }
    wheel_ground_contact(&bike->ruts[1], &bike->rear_contact, 0);
    if (telemetry) {
        append_text(buffer, sizeof buffer, "rear:\n");
        contact_debug_text(text, sizeof text);
        append_text(buffer, sizeof buffer, text);
        add_text_marker((float)frame[0], (float)frame[1], (float)frame[2], buffer);
    }
}
