// The auto pilot's driving laws: the normal law that follows the line
// (target speed, traffic, aim point, lean target, steering and throttle),
// the recovery law that brings a lost or stuck robot back to its line, the
// speed control both end in, their geometry, and the point a stopped bike
// turns toward.
#include "race/autopilot.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "bike/physics_utils.h"
#include "bike/physics_world.h"
#include "bike/steering.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/terrain.h"
#include "track/tiles.h"
#include "track/timing.h"

namespace {

const double PI = M_PI;
const double GRAVITY = 32.0;
const double SAMPLE_SECONDS = 0.25;           // samples are 32 tics apart
const double LEAN_RADIUS_LIMIT = 10000.0;     // ft: riding straight
const double BEHIND_RADIUS = 10.0;            // ft: full lock toward a point behind
const double ARC_RADIUS_LIMIT = 1e9;
const double MAX_GRIP_ANGLE = 1.1780972;
const double RAD_S_TO_RPM = 9.549296;
const double NO_JUMP = 1e6;
const double STILL_SPEED = 1e-3;              // ft/s: slower has no direction of travel

int is_crashed(const BikeState *bike)
{
    return bike->crash_timer > 0;
}

// A control value written plainly, held to its range; something that is
// not a number writes 0.
void set_control(float *field, double value, double low, double high)
{
    *field = std::isnan(value) ? 0.0f : (float)clamp_double(value, low, high);
}

double finite_or(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

double seconds_since(int tic)
{
    return (double)((long long)current_tic - tic) * TIC_LENGTH;
}

void body_position(dBodyID body, double *out)
{
    const dReal *p = dBodyGetPosition(body);
    vec_set(out, p[0], p[1], p[2]);
}

void body_velocity(dBodyID body, double *out)
{
    const dReal *v = dBodyGetLinearVel(body);
    vec_set(out, v[0], v[1], v[2]);
}

void sample_position(const LineSample *s, double *out)
{
    vec_set(out, s->x, s->y, s->z);
}

// The frame's local (0, 0, -1) in the world.
void forward_axis(const BikeState *bike, double *out)
{
    dVector3 f;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, f);
    vec_set(out, f[0], f[1], f[2]);
}

// The frame's angular velocity in its own axes: x pitch (nose up
// positive), z roll (toward the left positive).
void local_angular_velocity(const BikeState *bike, double *out)
{
    const dReal *w = dBodyGetAngularVel(bike->frame_body);
    dVector3 local;
    dBodyVectorFromWorld(bike->frame_body, w[0], w[1], w[2], local);
    vec_set(out, local[0], local[1], local[2]);
}

int is_airborne(const LineSample *s)
{
    return std::signbit(s->speed);
}

double sample_speed(const BikeState *bike, int i)
{
    return std::fabs((double)get_line_sample(bike, i)->speed);
}

// The line point at q: between sample r and r + 1, r = q truncated.
void line_point(const BikeState *bike, double q, double *out)
{
    if (!(q >= 0.0))
        q = 0.0;   // also not a number
    int r = (int)std::fmin(q, (double)bike->own_line.count);
    double a[3], b[3];
    sample_position(get_line_sample(bike, r), a);
    sample_position(get_line_sample(bike, r + 1), b);
    vec_lerp(out, a, b, q - r);
}

// The first j from i to min(i + 20, count) - 1 where samples j and j + 1
// are both airborne, or -1.
int find_jump(const BikeState *bike, int i)
{
    int end = i + 20 < bike->own_line.count ? i + 20 : bike->own_line.count;
    for (int j = i < 0 ? 0 : i; j < end; j++)
        if (is_airborne(get_line_sample(bike, j)) && is_airborne(get_line_sample(bike, j + 1)))
            return j;
    return -1;
}

// Upward force the ground put on a wheel in the last step.
double ground_force(const WheelContact *contact)
{
    return contact->depth > 0.0f ? finite_or(contact->feedback.f1[1], 0.0) : 0.0;
}

// The radius of the circle the bike rides at its lean; straight ahead at
// lean 0 or speed 0, and never beyond the limit either side.
double lean_radius(double speed, double lean, double load)
{
    double t = std::tan(lean);
    if (!(speed > 0.0) || t == 0.0)
        return LEAN_RADIUS_LIMIT;
    double r = -speed * speed / (GRAVITY * load * t);
    if (std::isnan(r))
        return LEAN_RADIUS_LIMIT;
    return clamp_double(r, -LEAN_RADIUS_LIMIT, LEAN_RADIUS_LIMIT);
}

void copy_float3(float *out, const double *v)
{
    out[0] = (float)v[0];
    out[1] = (float)v[1];
    out[2] = (float)v[2];
}

double dot_float3(const double *a, const float *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Separating-axis test of two boxes given by their corners, in x and z.
int boxes_overlap(const float *a, const float *b)
{
    const float *boxes[2] = {a, b};
    for (const float *box : boxes)
        for (int edge = 0; edge < 2; edge++) {
            double ex = box[(edge + 1) * 3] - box[edge * 3];
            double ez = box[(edge + 1) * 3 + 2] - box[edge * 3 + 2];
            double nx = -ez, nz = ex;   // the edge's normal
            double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
            for (int k = 0; k < 2; k++)
                for (int c = 0; c < 4; c++) {
                    double p = boxes[k][c * 3] * nx + boxes[k][c * 3 + 2] * nz;
                    // A projection that is not a number is passed over.
                    lo[k] = p < lo[k] ? p : lo[k];
                    hi[k] = p > hi[k] ? p : hi[k];
                }
            if (hi[0] < lo[1] || hi[1] < lo[0])
                return 0;
        }
    return 1;
}

// The bike's path box: 4 ft wide, from 4 ft behind it to 4 + reach ahead.
void bike_path_box(const BikeState *bike, const float *lateral, const float *longitudinal,
                   float reach, float *corners)
{
    const dReal *p = dBodyGetPosition(bike->frame_body);
    float centre[3] = {(float)p[0], 0.0f, (float)p[2]};
    path_box_corners(corners, centre, lateral, longitudinal, -2.0f, -4.0f - reach, 2.0f, 4.0f);
}

float path_reach(double speed)
{
    return (float)(std::isfinite(speed) ? clamp_double(speed, 0.0, LEAN_RADIUS_LIMIT) : 0.0);
}

// The pool's candidate of a row with samples and the least section time.
const LapCandidate *fastest_candidate(long long row)
{
    if (row < 0 || row > 0x7fffffff)
        return nullptr;
    const LapCandidate *candidates = lap_pool_row((int)row);
    if (!candidates)
        return nullptr;
    const LapCandidate *best = nullptr;
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++) {
        const LapCandidate *c = &candidates[i];
        if (c->count > 0 && c->samples && (!best || c->section_time < best->section_time))
            best = c;
    }
    return best;
}

void write_sample(float *out, const LineSample *s)
{
    out[0] = s->x;
    out[1] = s->y;
    out[2] = s->z;
}

// The target point of a bike without auto pilot: a little way along the
// pool's fastest recording of its section (1), or -1 when the pool has
// none for it and the next gate is to be used.
int pool_target_point(const BikeState *bike, float *out, int depth)
{
    int row, lap_first_row;
    lap_row_for_gates(bike->gates_passed, &row, &lap_first_row);
    const LapCandidate *c = fastest_candidate((long long)row + depth);
    if (!c || c->count <= 1 || depth >= 2)
        return -1;
    double p[3];
    body_position(bike->frame_body, p);
    int nearest = 0;
    double best = HUGE_VAL;
    for (int i = 0; i < c->count; i++) {
        double s[3], d[3];
        sample_position(&c->samples[i], s);
        vec_sub(d, s, p);
        double d2 = vec_dot(d, d);
        if (d2 < best) {
            best = d2;
            nearest = i;
        }
    }
    if (nearest == c->count - 1)
        return find_line_target_point((BikeState *)bike, out, depth + 1);
    int ahead = nearest + 4;
    if (ahead < c->count) {
        write_sample(out, &c->samples[ahead]);
        return 1;
    }
    write_sample(out, &c->samples[nearest]);
    const LapCandidate *next = fastest_candidate((long long)row + depth + 1);
    if (next) {
        int k = ahead - c->count;
        write_sample(out, &next->samples[k < next->count ? k : next->count - 1]);
    }
    return 1;
}

}  // namespace

const LineSample *get_line_sample(const BikeState *bike, int i)
{
    const GrowableArray *line = &bike->own_line;
    if (line->count <= 0 || !line->data || line->element_size != (int)sizeof(LineSample))
        return nullptr;
    if (i < 0)
        i = 0;
    if (i >= line->count)
        i = line->count - 1;
    return (const LineSample *)line->data + i;
}

void get_heading_axes(const BikeState *bike, float *lateral, float *longitudinal)
{
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    double dx = v[0], dz = v[2];
    double length = std::sqrt(dx * dx + dz * dz);
    if (!(length > STILL_SPEED) || !std::isfinite(length)) {
        double f[3];
        forward_axis(bike, f);
        dx = f[0];
        dz = f[2];
        length = std::sqrt(dx * dx + dz * dz);
        if (!(length > 1e-6)) {
            // Pointing straight up or down: any heading will do.
            dx = 0.0;
            dz = -1.0;
            length = 1.0;
        }
    }
    dx /= length;
    dz /= length;
    lateral[0] = (float)-dz;
    lateral[1] = 0.0f;
    lateral[2] = (float)dx;
    longitudinal[0] = (float)-dx;
    longitudinal[1] = 0.0f;
    longitudinal[2] = (float)-dz;
}

float line_position(const BikeState *bike)
{
    int count = bike->own_line.count;
    if (count <= 0 || !get_line_sample(bike, 0) || !bike->frame_body)
        return 0.0f;
    double p[3], forward[3];
    body_position(bike->frame_body, p);
    forward_axis(bike, forward);
    int start = (bike->line_index < count ? bike->line_index : count) - 1;
    double a = 0.0, after = 0.0;
    int have_after = 0;
    int i;
    for (i = start; i >= 0; i--) {
        double s[3], d[3];
        sample_position(get_line_sample(bike, i), s);
        vec_sub(d, s, p);
        a = vec_dot(d, forward);
        if (a < 0.0)
            break;
        after = a;
        have_after = 1;
    }
    double fraction = 0.0;
    if (i >= 0 && have_after && after > 0.0) {
        fraction = -a / (after - a);
        fraction = std::isnan(fraction) ? 0.0 : clamp_double(fraction, 0.0, 1.0);
    }
    return (float)(i + 1 + fraction);
}

float turn_radius_to(const BikeState *bike, const float *target, float lean_radius_in,
                     const float *lateral, const float *longitudinal)
{
    double p[3];
    body_position(bike->frame_body, p);
    double d[3] = {target[0] - p[0], target[1] - p[1], target[2] - p[2]};
    double a = dot_float3(d, lateral);
    double f = -dot_float3(d, longitudinal);
    if (!(f > 0.0))
        return a >= 0.0 ? (float)BEHIND_RADIUS : (float)-BEHIND_RADIUS;
    double rl = std::isfinite(lean_radius_in) ? lean_radius_in : LEAN_RADIUS_LIMIT;
    // Push the point away from the circle the bike rides at its lean:
    // its offset from that circle counts three times.
    double distance = std::sqrt((rl - a) * (rl - a) + f * f);
    double q = distance > 0.0 ? 1.0 - std::fabs(rl) / distance : 0.0;
    double a2 = a - 2.0 * (rl - a) * q;
    double f2 = f + 2.0 * f * q;
    if (!(std::fabs(a2) >= 1e-6))
        a2 = a2 < 0.0 ? -1e-6 : 1e-6;
    double r = (a2 * a2 + f2 * f2) / (2.0 * a2);
    if (std::isnan(r))
        return (float)ARC_RADIUS_LIMIT;
    return (float)clamp_double(r, -ARC_RADIUS_LIMIT, ARC_RADIUS_LIMIT);
}

void path_box_corners(float *corners, const float *centre, const float *lateral,
                      const float *longitudinal, float s0, float t0, float s1, float t1)
{
    const float s[4] = {s0, s0, s1, s1};
    const float t[4] = {t0, t1, t1, t0};
    for (int k = 0; k < 4; k++)
        for (int c = 0; c < 3; c++)
            corners[k * 3 + c] = centre[c] + lateral[c] * s[k] + longitudinal[c] * t[k];
}

namespace {

// Each bike's heading axes and path box of this tic, worked out once before
// the robots steer: positions and velocities change only in the world step.
struct PathBox {
    const BikeState *bike;   // the slot's bike when it was worked out
    float lateral[3], longitudinal[3];
    float corners[12];
    float radius;            // from the bike's position to its farthest corner
};
PathBox path_boxes[BIKE_SLOT_COUNT];
int path_boxes_ready;

// The distance from a bike's position to the farthest corner of a path box
// of that reach.
float path_box_radius(float reach)
{
    float ahead = 4.0f + reach;
    return sqrtf(4.0f + ahead * ahead);
}

void work_out_path_box(const BikeState *bike, PathBox *box)
{
    box->bike = bike;
    get_heading_axes(bike, box->lateral, box->longitudinal);
    double v[3];
    body_velocity(bike->frame_body, v);
    float reach = path_reach(vec_length(v));
    bike_path_box(bike, box->lateral, box->longitudinal, reach, box->corners);
    box->radius = path_box_radius(reach);
}

}  // namespace

int path_boxes_per_tic = 1;

void prepare_path_boxes(void)
{
    path_boxes_ready = 0;
    if (!path_boxes_per_tic)
        return;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        const BikeState *bike = bike_slots[slot];
        if (bike && bike->frame_body)
            work_out_path_box(bike, &path_boxes[slot]);
        else
            path_boxes[slot].bike = nullptr;
    }
    path_boxes_ready = 1;
}

void forget_path_boxes(void)
{
    path_boxes_ready = 0;
}

BikeState *find_bike_in_path(const BikeState *bike, const float *lateral,
                             const float *longitudinal, float look_ahead)
{
    if (!bike->frame_body)
        return nullptr;
    float mine[12];
    float reach = path_reach(look_ahead);
    bike_path_box(bike, lateral, longitudinal, reach, mine);
    // A little more than the two boxes' radii: boxes whose positions are
    // farther apart cannot overlap.
    float mine_radius = path_box_radius(reach) + 1.0f;
    const dReal *p = dBodyGetPosition(bike->frame_body);
    BikeState *nearest = nullptr;
    double best = 1e6;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *other = bike_slots[slot];
        if (!other || other == bike || !other->frame_body)
            continue;
        const dReal *q = dBodyGetPosition(other->frame_body);
        double dx = q[0] - p[0], dz = q[2] - p[2];
        double d2 = dx * dx + dz * dz;
        if (!(d2 < best))
            continue;
        PathBox own_box;
        const PathBox *box = &path_boxes[slot];
        if (!path_boxes_ready || box->bike != other) {
            work_out_path_box(other, &own_box);
            box = &own_box;
        }
        double apart = (double)mine_radius + box->radius;
        if (d2 > apart * apart)
            continue;   // a position that is not a number goes on to the box test
        if (!boxes_overlap(mine, box->corners))
            continue;
        // Ahead along both directions of travel together.
        const float *w = box->longitudinal;
        double tx = -longitudinal[0] - w[0], tz = -longitudinal[2] - w[2];
        if (!(dx * tx + dz * tz > 0.0))
            continue;
        best = d2;
        nearest = other;
    }
    return nearest;
}

void autopilot_speed_control(BikeState *bike, float speed, float target)
{
    double v = finite_or(speed, 0.0), t = finite_or(target, 0.0);
    double throttle;
    if (!(bike->rear_contact.depth > 0.0f)) {
        // In the air: the throttle lifts the nose, the rear brake drops it.
        bike->front_brake = bike->rear_brake = 0.0f;
        double w[3];
        local_angular_velocity(bike, w);
        double pitch = w[0];
        double yf = dBodyGetPosition(bike->front_wheel_body)[1];
        double yr = dBodyGetPosition(bike->rear_wheel_body)[1];
        bike->clutch = 0.125f;
        if (pitch < -PI / 4 || (yr > yf && pitch < 0.0)) {
            throttle = 1.0;
        } else {
            throttle = 0.0;
            if (yf > yr + 1.0 && pitch >= -PI / 8) {
                bike->clutch = 0.0f;
                bike->rear_brake = 1.0f;
            }
        }
    } else {
        double brake = 0.0;
        if (v < t - 1.0) {
            throttle = 1.0;
        } else if (v < t) {
            throttle = t - v;
        } else {
            throttle = 0.0;
            brake = v - t;
        }
        set_control(&bike->front_brake, brake, 0.0, 1.0);
        set_control(&bike->rear_brake, brake, 0.0, 1.0);
        if (bike->gear == 0) {
            // In neutral the clutch bites as the engine comes up to the
            // shift-down speed.
            double rpm = finite_or(bike->engine_speed * RAD_S_TO_RPM, 0.0);
            double r = get_bike_state_model(bike)->shift_down_rpm;
            set_control(&bike->clutch, (rpm - (r - 1000.0)) / 1000.0, 0.0, 1.0);
        } else {
            bike->clutch = 1.0f;
        }
    }
    set_control(&bike->throttle, is_crashed(bike) ? 0.0 : throttle, 0.0, 1.0);
}

void autopilot_steer(BikeState *bike)
{
    if (!bike->frame_body || !get_line_sample(bike, 0))
        return;
    const int now = current_tic;
    const int crashed = is_crashed(bike);
    if (seconds_since(bike->progress_tic) > 3.0) {
        bike->recovery_count = 3;
        return;
    }
    bike->dab = 0.0f;

    double p = line_position(bike);
    int i = (int)p;
    double target = sample_speed(bike, i) + (sample_speed(bike, i + 1) - sample_speed(bike, i)) *
                                                (p - i);

    double position[3], velocity[3];
    body_position(bike->frame_body, position);
    body_velocity(bike->frame_body, velocity);
    double v = vec_length(velocity);

    // Time to the next jump on the line.
    int j = find_jump(bike, i);
    double tj = NO_JUMP;
    if (j >= 0) {
        double s[3], d[3];
        sample_position(get_line_sample(bike, i), s);
        vec_sub(d, s, position);
        tj = (j - i) * SAMPLE_SECONDS + (v > 0.0 ? vec_length(d) / v : NO_JUMP);
    }

    // Load factor, steering limit and the radius of the lean.
    double n = bike->total_mass > 0.0f
                   ? (ground_force(&bike->front_contact) + ground_force(&bike->rear_contact)) /
                         (GRAVITY * bike->total_mass)
                   : 0.0;
    double load = finite_or(n, 0.0) - 1.0;
    double k = load > 1.0 ? load : 1.0;
    double steer_limit = PI / k;
    double lean = get_bike_lean(bike->frame_body);
    double rl = lean_radius(v, lean, k);
    float u[3], w[3];
    get_heading_axes(bike, u, w);
    double travel[3] = {-w[0], -w[1], -w[2]};

    // Traffic: slow to the speed of a bike in the way.
    const BikeState *other = find_bike_in_path(bike, u, w, (float)v);
    if (other) {
        double t = std::fmin(seconds_since(race_settings.start_tic), 100.0);
        double wt = clamp_double((t - 3.0) / 2.0, 0.0, 1.0) *
                    clamp_double((120.0 - t) / 100.0, 0.0, 1.0);
        double gap = 12.0 + 8.0 * wt;
        double q[3], ov[3], d[3];
        body_position(other->frame_body, q);
        body_velocity(other->frame_body, ov);
        vec_sub(d, q, position);
        double distance = vec_length(d);
        double centre[3] = {position[0] + rl * u[0], position[1] + rl * u[1],
                            position[2] + rl * u[2]};
        double dq[3], across[3];
        vec_sub(dq, q, centre);
        double dq2 = vec_dot(dq, dq);
        vec_copy(across, ov);
        if (dq2 > 1e-9)
            vec_add_scaled(across, ov, dq, -vec_dot(ov, dq) / dq2);
        double e = vec_dot(across, travel) > 0.0 ? vec_length(across) : 0.0;
        if (distance >= gap && e < target) {
            double h = (e - v) * -0.2;
            double y = -5.0 * h * h / 2.0 + v * h - (h * e + distance);
            if (y > -gap) {
                target += (e - target) * clamp_double((y + gap) / 3.0, 0.0, 1.0);
                memset(bike->picked_serials, 0, sizeof bike->picked_serials);
            }
        }
        if (distance < gap)
            target = std::fmin(target, (1.0 - wt / 4.0) * e);
    }

    // The point to aim at.
    double gain = 4.0;
    double aim[3];
    if (bike->gates_passed < 1) {
        line_point(bike, p + 4.0, aim);
    } else {
        int ns = 0;
        for (int s = i + 1; s <= i + 6; s++) {
            double sp[3], d[3];
            sample_position(get_line_sample(bike, s), sp);
            vec_sub(d, sp, position);
            double ahead = -dot_float3(d, w), side = dot_float3(d, u);
            if (!(ahead > 0.0 && std::fabs(side) <= ahead / 8.0))
                break;
            ns++;
        }
        double s = clamp_double((20.0 - ns) / 17.0, 0.0, 1.0);
        gain = 4.0 * s;
        steer_limit *= s;
        if (tj >= 2.0) {
            line_point(bike, ns < 5 || std::fabs(lean) >= PI / 8 ? p + 2.0 : p + 3.0, aim);
        } else {
            // Line up parallel to the line through the take-off.
            double a[3], b[3], sj[3];
            sample_position(get_line_sample(bike, i + 3), a);
            sample_position(get_line_sample(bike, j + 3), b);
            sample_position(get_line_sample(bike, j), sj);
            for (int c = 0; c < 3; c++)
                b[c] += position[c] - sj[c];
            vec_lerp(aim, a, b, clamp_double(2.0 * (2.0 - tj), 0.0, 1.0));
        }
    }

    // Lean target, bounded by the grip along the next samples and under
    // the front wheel a quarter second ahead.
    float aim_point[3];
    copy_float3(aim_point, aim);
    double radius = turn_radius_to(bike, aim_point, (float)rl, u, w);
    double lt = std::atan2(-v * v / radius, GRAVITY * k);
    const double wanted = lt;
    if (current_terrain) {
        double points[6][3];
        for (int s = 0; s < 5; s++)
            sample_position(get_line_sample(bike, i + 4 - s), points[s]);
        double fw[3], fv[3];
        body_position(bike->front_wheel_body, fw);
        body_velocity(bike->front_wheel_body, fv);
        vec_add_scaled(points[5], fw, fv, 0.25);
        for (const double *point : points) {
            float normal[3];
            get_terrain_face_normal(current_terrain, (float)point[0], (float)point[2], normal);
            dVector3 local;
            dBodyVectorFromWorld(bike->frame_body, normal[0], normal[1], normal[2], local);
            double bank = std::atan2(local[0], local[1]);
            const TileInfo *tile = terrain_tile_at(current_terrain, (float)point[0],
                                                   (float)point[2]);
            double grip = std::atan((double)tile->friction_value[0]);
            grip = std::isnan(grip) ? 0.0 : clamp_double(grip, 0.0, MAX_GRIP_ANGLE);
            lt = clamp_double(lt, (lean - bank) - grip, (lean - bank) + grip);
        }
    }
    if (lt != wanted) {
        double limit = std::tan(std::fmin(std::fabs(lt), 1.5)) * k * std::fabs(radius) * GRAVITY;
        target = std::fmin(target, std::sqrt(std::fmax(limit, 0.0)));
        bike->corner_tic = now;
    }

    // Throttle scale: less while the front wheel slides.
    double slide = 0.0, scale = 1.0;
    if (bike->front_contact.depth > 0.0f) {
        const float *cv = bike->front_contact.contact_velocity;
        slide = finite_or(std::sqrt((double)cv[0] * cv[0] + (double)cv[1] * cv[1] +
                                    (double)cv[2] * cv[2]),
                          0.0);
        scale = clamp_double((16.0 - slide) / 16.0, 0.0, 1.0);
    }

    // Slow: upright, full throttle.
    if (v < 7.5) {
        lt = 0.0;
        scale = 1.0;
    } else if (v < 10.0) {
        double f = clamp_double((v - 7.5) * 0.4, 0.0, 1.0);
        lt *= f;
        scale = 1.0 - (1.0 - scale) * f;
    }

    // A jump ahead: keep the speed and the bike upright for the take-off.
    if (tj < 3.0) {
        double f = clamp_double((3.0 - tj) / 2.0, 0.0, 1.0);
        scale += (1.0 - scale) * f;
        target += (std::fmax(v, sample_speed(bike, i) + 2.0) - target) * f;
        double most = PI / 2 - 1.3744469 * f;
        lt = clamp_double(lt, -most, most);
        steer_limit += (PI / 8 - steer_limit) * clamp_double((3.0 - tj) / 3.0, 0.0, 1.0);
    }

    double demand = gain * (lt - lean);
    if ((demand > 0.0 && lean < 0.0) || (demand < 0.0 && lean > 0.0))
        steer_limit *= 2.0;
    demand = clamp_double(demand, -steer_limit, steer_limit);

    bike->full_lock_speed = 1.0f;
    bike->restricted_lock_speed = 50.0f;
    set_control(&bike->restricted_lock_angle,
                (1.0 + 4.0 * std::fmin(std::fabs(demand) / PI, 1.0)) * PI / 180.0, 0.0, PI / 4);

    // Steer: follow the front wheel's slip, and while it grips turn the
    // roll rate toward the demand (outside a dead band).
    double spin[3];
    local_angular_velocity(bike, spin);
    double x = demand - spin[2];
    double e = -(x - clamp_double(x, -0.125, 0.125));
    double sc = steer_control(bike, get_front_slip_angle(bike));
    if (!(bike->front_contact.depth > 0.0f)) {
        set_control(&bike->steer, sc, -1.0, 1.0);
    } else {
        double a = clamp_double((4.0 - slide) / 4.0, 0.0, 1.0);
        set_control(&bike->steer, sc + (4.0 * e - sc) * a, -1.0, 1.0);
    }

    autopilot_speed_control(bike, (float)v, (float)finite_or(target, 0.0));

    // The throttle falls by 1/32 a tic at most, or right after a corner
    // limit rises by 1/32 a tic at most.
    double f = scale * bike->throttle;
    double memory = bike->throttle_memory;
    double value = seconds_since(bike->corner_tic) > 0.125
                       ? clamp_double(f, memory - 1.0 / 32.0, 1.0)
                       : clamp_double(f, 0.0, memory + 1.0 / 32.0);
    set_control(&bike->throttle_memory, crashed ? 0.0 : value, -1.0, 1.0);
    set_control(&bike->throttle, crashed ? 0.0 : value, 0.0, 1.0);
}

void autopilot_recover(BikeState *bike)
{
    int count = bike->own_line.count;
    if (!bike->frame_body || !get_line_sample(bike, 0))
        return;
    const int now = current_tic;
    const int crashed = is_crashed(bike);
    if (seconds_since(bike->progress_tic) > 40.0) {
        bike->recovery_count = 3;
        bike->line_index = (int)(((long long)now % count + count) % count);
        bike->progress_tic = now;
    }
    double s[3];
    sample_position(get_line_sample(bike, bike->line_index), s);
    int i = (int)line_position(bike);
    int j = find_jump(bike, i);
    double v[3];
    body_velocity(bike->frame_body, v);
    double speed = vec_length(v);
    double lean = get_bike_lean(bike->frame_body);
    double spin[3];
    local_angular_velocity(bike, spin);

    if (seconds_since(bike->progress_tic) > 19.0) {
        // Stuck: drag the front wheel toward the line at walking pace and
        // carry half the bike's weight, bars centred.
        double fw[3], d[3], pull[3] = {0.0, 0.0, 0.0};
        body_position(bike->front_wheel_body, fw);
        vec_sub(d, s, fw);
        double length = vec_length(d);
        if (length > 1e-6)
            vec_scale(pull, d, 5.0 / length);
        float target[3];
        copy_float3(target, pull);
        drag_body_to_velocity(bike->front_wheel_body, 2000.0f, target);
        add_body_force(bike->frame_body, 0.0, 16.0 * bike->total_mass, 0.0);
        double angle = bike->steering_joint ? dJointGetHingeAngle(bike->steering_joint) : 0.0;
        double rate = bike->steering_joint ? dJointGetHingeAngleRate(bike->steering_joint) : 0.0;
        set_control(&bike->steer, (-angle - rate) / 4.0, -1.0, 1.0);
        bike->dab = crashed ? 0.0f : 1.0f;
        bike->clutch = bike->throttle = bike->front_brake = bike->rear_brake = 0.0f;
        return;
    }

    bike->dab = 0.0f;
    dVector3 q;
    dBodyGetPosRelPoint(bike->frame_body, s[0], s[1], s[2], q);
    double qx = q[0], qz = q[2];
    double most = 0.5, target = 15.0;
    if (speed < 10.0) {
        bike->dab = crashed ? 0.0f : 1.0f;
        most = 1.0 / 6.0;
        if (std::fabs(lean) > 1.0 / 6.0)
            target = 5.0;
    } else if (speed < 20.0) {
        most = (std::fmax(speed - 10.0, 0.0) * 0.1 * 2.0 / 3.0 + 1.0 / 3.0) * 0.5;
    }
    double wanted;
    if (std::fabs(qx) <= -qz)
        wanted = qz < 0.0 ? clamp_double(0.5 * qx / qz, -most, most) : 0.0;
    else
        wanted = qx >= 0.0 ? -most : most;
    if (-qz < 4.0 * std::fabs(qx) || (j >= 0 && j <= i + 8))
        bike->recovery_count = 3;
    set_control(&bike->steer, 2.0 * (spin[2] - clamp_double(4.0 * (wanted - lean), -4.0, 4.0)),
                -1.0, 1.0);
    autopilot_speed_control(bike, (float)speed, (float)target);
}

int find_line_target_point(BikeState *bike, float *out, int depth)
{
    if (!bike || !out)
        return 0;
    if (bike->personality == 0) {
        if (bike->frame_body) {
            int found = pool_target_point(bike, out, depth);
            if (found >= 0)
                return found;
        }
    } else if (bike->line_index >= 0 && bike->line_index < bike->own_line.count &&
               get_line_sample(bike, 0)) {
        write_sample(out, get_line_sample(bike, bike->line_index));
        return 1;
    }
    // The next timing gate.
    if (!track_has_timing())
        return 0;
    int entry = get_lap_list_entry(bike->gates_passed);
    if (entry < 0)
        return 0;
    int gate = entry >= NOT_TIMING_MARK ? entry - NOT_TIMING_MARK : entry;
    if (gate < 0 || gate >= timing_gate_count || gate >= TIMING_GATE_SLOTS)
        return 0;
    out[0] = timing_gates[gate].x;
    out[1] = timing_gates[gate].y;
    out[2] = timing_gates[gate].z;
    return 1;
}
