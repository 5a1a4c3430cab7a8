// Camera steering and the mean ground height. Angles wrap with remainder(),
// so a huge yaw takes one step, and a camera whose angles are not finite
// starts again from 0.
#include "app/camera_steering.h"

#include <cmath>

#include "app/graphics_settings.h"
#include "bike/bike_getters.h"
#include "race/gates.h"
#include "race/race_state.h"
#include "render/render_settings.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track/timing.h"

int camera_follow;
float camera_toggle_dab;
float camera_fly_speed;

static const float PI = 3.14159265358979323846f;
static const float FLY_ACCELERATION = 80.0f;   // ft/s per second
static const float FLY_DECAY = 60.0f;
static const float FLY_SPEED_LIMIT = 100.0f;

float wrap_angle(float angle)
{
    if (!std::isfinite(angle))
        return 0.0f;
    return (float)remainder((double)angle, 2.0 * M_PI);
}

static float clampf(float value, float low, float high)
{
    return value < low ? low : value > high ? high : value;
}

// The value moved toward the wanted one by at most step.
static float approach(float value, float wanted, float step)
{
    if (wanted > value + step)
        return value + step;
    if (wanted < value - step)
        return value - step;
    return wanted;
}

static void restart_bad_angles(CameraRecord *camera)
{
    float *angles[] = {&camera->yaw, &camera->pitch, &camera->yaw_rate, &camera->pitch_rate};
    for (float *angle : angles)
        if (!std::isfinite(*angle))
            *angle = 0.0f;
    if (!std::isfinite(camera->fov))
        camera->fov = 90.0f;
}

void update_chase_camera(CameraRecord *camera, const RiderControls *controls, const float *target,
                         const float *velocity, int snap)
{
    const float h = TIC_LENGTH;
    restart_bad_angles(camera);
    float wanted_yaw_rate, wanted_pitch_rate;
    if (camera_follow && target) {
        float d[3] = {target[0] - camera->x, target[1] - camera->y, target[2] - camera->z};
        float ahead[3];
        for (int i = 0; i < 3; i++)
            ahead[i] = d[i] + (velocity ? velocity[i] * h : 0.0f);

        float bearing = atan2f(d[0], d[2]);
        float bearing_ahead = atan2f(ahead[0], ahead[2]);
        float turn = clampf(wrap_angle(bearing_ahead - bearing) / h, -2.0f * PI, 2.0f * PI);
        if (snap)
            camera->yaw = wrap_angle(bearing);
        float error = wrap_angle(bearing - camera->yaw);
        if ((turn > 0.0f && error < 0.0f) || (turn < 0.0f && error > 0.0f))
            turn = 0.0f;
        wanted_yaw_rate = turn + clampf(error, -PI / 2, PI / 2);

        float elevation = atan2f(d[1], hypotf(d[0], d[2]));
        float elevation_ahead = atan2f(ahead[1], hypotf(ahead[0], ahead[2]));
        float climb = clampf((elevation_ahead - elevation) / h, -2.0f * PI, 2.0f * PI);
        if (!std::isfinite(climb))
            climb = 0.0f;
        if (snap && std::isfinite(elevation))
            camera->pitch = elevation;
        wanted_pitch_rate = climb + (PI / 4) * (elevation - camera->pitch);
        if (!std::isfinite(wanted_yaw_rate))
            wanted_yaw_rate = 0.0f;
        if (!std::isfinite(wanted_pitch_rate))
            wanted_pitch_rate = 0.0f;
        if (snap) {
            camera->yaw_rate = wanted_yaw_rate;
            camera->pitch_rate = wanted_pitch_rate;
        }

        float distance = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (camera->auto_fov_size > 0.0f) {
            float wanted_fov = 2.0f * atanf(camera->auto_fov_size / distance) * (180.0f / PI);
            if (std::isfinite(wanted_fov)) {
                if (snap)
                    camera->fov = wanted_fov;
                else
                    camera->fov = approach(camera->fov, wanted_fov,
                                           (2.0f * fabsf(wanted_fov - camera->fov) + 1.0f) * h);
            }
        }
    } else {
        wanted_yaw_rate = controls->steer * (3.0f * PI / 8.0f);
        wanted_pitch_rate = controls->shift * (PI / 4.0f);
    }

    camera->yaw_rate = approach(camera->yaw_rate, wanted_yaw_rate, PI * h);
    camera->pitch_rate = approach(camera->pitch_rate, wanted_pitch_rate, PI * h);
    camera->yaw = wrap_angle(camera->yaw + camera->yaw_rate * h);
    camera->pitch = clampf(camera->pitch + camera->pitch_rate * h, -PI / 2, PI / 2);
    restart_bad_angles(camera);
}

float terrain_mean_height(const Terrain *terrain, float x, float z, float radius)
{
    if (!terrain || !terrain->heights || terrain->side <= 0 || !(terrain->cell > 0.0f))
        return 0.0f;
    int n = terrain->side;
    float s = terrain->cell;
    float span = (float)(n - 1) * s;
    // The radius is held to the grid's size and the point to the grid plus
    // the radius, so the cell loops stay small and the indices fit an int.
    float r = std::isfinite(radius) ? clampf(radius, 0.0f, span) : 0.0f;
    x = std::isfinite(x) ? clampf(x, -r, span + r) : 0.0f;
    z = std::isfinite(z) ? clampf(z, -r, span + r) : 0.0f;

    int first_column = (int)floorf((x - r) / s), last_column = (int)ceilf((x + r) / s);
    int first_row = (int)floorf((z - r) / s), last_row = (int)ceilf((z + r) / s);
    auto height_at = [&](int column, int row) {
        column = column < 0 ? 0 : column > n - 1 ? n - 1 : column;
        row = row < 0 ? 0 : row > n - 1 ? n - 1 : row;
        return terrain->heights[(size_t)row * n + column];
    };
    double sum = 0.0, weights = 0.0;
    for (int i = first_row; i <= last_row; i++)
        for (int j = first_column; j <= last_column; j++) {
            float dx = (float)j * s - x, dz = (float)i * s - z;
            float q = dx * dx + dz * dz;
            float w;
            if (q < r * r)
                w = 1.0f;
            else if (q < (r + s) * (r + s))
                w = (r + s - sqrtf(q)) / s;
            else
                continue;
            sum += (double)w * height_at(j, i);
            weights += w;
        }
    if (!(weights > 0.0))
        return height_at(first_column, first_row);
    return (float)(sum / weights);
}

int gate_camera_index(const BikeState *bike)
{
    if (!bike || lap_gate_list.normal_lap_count <= 0)
        return -1;
    int gate = get_lap_list_entry(get_gates_passed(bike));
    if (gate >= NOT_TIMING_MARK)
        gate -= NOT_TIMING_MARK;
    if (gate < 0 || gate >= GATE_CAMERA_SLOTS)
        return -1;
    int camera = gate_cameras[gate];
    return camera >= 0 && camera < track_cameras.count ? camera : -1;
}

static int is_track_camera(int index)
{
    return index >= 0 && index < track_cameras.count && track_cameras.data;
}

// The free camera flies along its view with the throttle and the front
// brake, and never below the ground around it.
static void fly_free_camera(const RiderControls *controls)
{
    const float h = TIC_LENGTH;
    if (controls->throttle > 0.5f)
        camera_fly_speed = fminf(camera_fly_speed + FLY_ACCELERATION * h, FLY_SPEED_LIMIT);
    if (controls->front_brake > 0.5f)
        camera_fly_speed = fmaxf(camera_fly_speed - FLY_ACCELERATION * h, -FLY_SPEED_LIMIT);
    if (!std::isfinite(camera_fly_speed))
        camera_fly_speed = 0.0f;
    camera_fly_speed = camera_fly_speed > 0.0f ? fmaxf(camera_fly_speed - FLY_DECAY * h, 0.0f)
                                               : fminf(camera_fly_speed + FLY_DECAY * h, 0.0f);
    if (fabsf(camera_fly_speed) > 0.0001f) {
        float step = camera_fly_speed * h;
        float cp = cosf(free_camera.pitch);
        free_camera.x += step * sinf(free_camera.yaw) * cp;
        free_camera.y += step * sinf(free_camera.pitch);
        free_camera.z += step * cosf(free_camera.yaw) * cp;
        float ground = terrain_mean_height(current_terrain, free_camera.x, free_camera.z, 10.0f) + 2.0f;
        if (current_terrain && free_camera.y < ground)
            free_camera.y = ground;
    }
}

void steer_camera(const RiderControls *controls, const BikeState *bike, int paused)
{
    if (camera_toggle_dab < 0.5f && controls->dab >= 0.5f)
        camera_follow = !camera_follow;
    camera_toggle_dab = controls->dab;

    int snap = 0;
    if (camera_follow && is_track_camera(camera_index)) {
        int camera = gate_camera_index(bike);
        if (camera != -1 && camera != camera_index) {
            camera_index = camera;
            snap = 1;
        }
    }

    float target[3], velocity[3] = {0, 0, 0};
    dBodyID body = bike ? get_bike_body(bike) : nullptr;
    if (body) {
        const dReal *position = dBodyGetPosition(body);
        const dReal *linear = dBodyGetLinearVel(body);
        for (int i = 0; i < 3; i++) {
            target[i] = (float)position[i];
            if (!paused)
                velocity[i] = (float)linear[i];
        }
    }
    CameraRecord *camera = is_track_camera(camera_index)
        ? (CameraRecord *)track_cameras.data + camera_index
        : &free_camera;
    update_chase_camera(camera, controls, body ? target : nullptr, velocity, snap);
    fly_free_camera(controls);
    free_camera.fov = (float)fov_slider.value;
}
