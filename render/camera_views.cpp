// Camera views: rotations from angles and quaternions, the keyframe path
// (cubic Hermite positions and quaternions, linear field of view), the
// trackside cameras with their broadcast ticker and lap box, and the rider
// camera with its gimbal lag and tilt.
#include "render/camera_views.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/graphics_settings.h"
#include "app/shell.h"
#include "bike/bike_state.h"
#include "net/camera_keys.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/camera.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "track/timing.h"

CameraRecord free_camera = {0, 0, 0, 0, 0, 0, 0, 90.0f, 0};
int camera_index = -1;
int print_orientation;
RiderCameraState rider_camera_state;

static const float RIDER_EYE_LOW[3] = {0.0f, 0.5f, -0.4f};
static const float RIDER_EYE_HIGH[3] = {0.0f, 1.0583830f, -1.1933695f};

void camera_matrix_from_angles(float *rotation, float pitch, float yaw)
{
    float cy = cosf(yaw), sy = sinf(yaw), cp = cosf(pitch), sp = sinf(pitch);
    const float m[9] = {-cy, -sp * sy, -sy * cp, 0.0f, cp, -sp, sy, -sp * cy, -cp * cy};
    memcpy(rotation, m, sizeof m);
}

void quaternion_to_matrix(float *rotation, float w, float x, float y, float z)
{
    const float m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
                        2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                        2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
    memcpy(rotation, m, sizeof m);
}

// The keyframe camera's rotation: the quaternion's, turned half about the vertical.
static void key_rotation(float *rotation, const float *q)
{
    quaternion_to_matrix(rotation, q[3], q[0], q[1], q[2]);
    for (int i : {0, 1, 2, 6, 7, 8})
        rotation[i] = -rotation[i];
}

// One coordinate of the cubic from p1 to p2 with the neighbours' tangents.
static double hermite(double p0, double p1, double p2, double p3, double t0, double t1, double t2, double t3, double u)
{
    if (!(t2 > t1))
        return p1;
    double a = t1 > t0 ? ((p2 - p1) + (p1 - p0) * (t2 - t1) / (t1 - t0)) / 2.0 : 0.0;
    double b = t3 > t2 ? ((p2 - p1) + (p3 - p2) * (t2 - t1) / (t3 - t2)) / 2.0 : 0.0;
    return p1 + a * u + (3.0 * (p2 - p1) - 2.0 * a - b) * u * u + (a + b + 2.0 * (p1 - p2)) * u * u * u;
}

int compute_keycam_pose(const CameraKey *keys, int count, int tic, float *position, float *rotation,
                        float *field_of_view)
{
    if (!keys || count <= 0)
        return 0;
    int i = 0;
    while (i < count && keys[i].tic <= tic)
        i++;
    if (i == 0 || i == count) {
        const CameraKey *k = &keys[i == 0 ? 0 : count - 1];
        memcpy(position, k->position, 3 * sizeof(float));
        key_rotation(rotation, k->orientation);
        *field_of_view = k->fov;
        return 1;
    }
    const CameraKey *k1 = &keys[i - 1], *k2 = &keys[i];
    const CameraKey *k0 = &keys[i - 2 < 0 ? 0 : i - 2], *k3 = &keys[i + 1 < count ? i + 1 : count - 1];
    double t0 = k0->tic, t1 = k1->tic, t2 = k2->tic, t3 = k3->tic;
    double u = t2 != t1 ? ((double)tic - t1) / (t2 - t1) : 0.0;
    u = u > 0.0 ? (u < 1.0 ? u : 1.0) : 0.0;
    for (int c = 0; c < 3; c++)
        position[c] = (float)hermite(k0->position[c], k1->position[c], k2->position[c], k3->position[c], t0, t1,
                                     t2, t3, u);
    // The quaternions on the second key's side, so that the path takes the short way.
    double q[4][4];
    const CameraKey *four[4] = {k0, k1, k2, k3};
    for (int k = 0; k < 4; k++) {
        double dot = 0.0;
        for (int c = 0; c < 4; c++)
            dot += (double)four[k]->orientation[c] * k2->orientation[c];
        for (int c = 0; c < 4; c++)
            q[k][c] = dot < 0.0 ? -four[k]->orientation[c] : four[k]->orientation[c];
    }
    float out[4];
    double length = 0.0;
    double blended[4];
    for (int c = 0; c < 4; c++) {
        blended[c] = hermite(q[0][c], q[1][c], q[2][c], q[3][c], t0, t1, t2, t3, u);
        length += blended[c] * blended[c];
    }
    length = sqrt(length);
    if (length > 1e-12 && std::isfinite(length)) {
        for (int c = 0; c < 4; c++)
            out[c] = (float)(blended[c] / length);
    } else {
        out[0] = out[1] = out[2] = 0.0f;   // no rotation to be had: none
        out[3] = 1.0f;
    }
    key_rotation(rotation, out);
    *field_of_view = (float)(k1->fov + (k2->fov - k1->fov) * u);
    return 1;
}

static void normalise_or(float *v, const float *fallback)
{
    float length = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 1e-12f && std::isfinite(length)) {
        for (int i = 0; i < 3; i++)
            v[i] /= length;
    } else {
        memcpy(v, fallback, 3 * sizeof(float));
    }
}

static void cross(const float *a, const float *b, float *out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void compute_rider_camera(const double *body_position, const double *body_rotation, double now, float *eye,
                          float *rotation)
{
    float height = (float)first_person_height_slider.value;
    for (int i = 0; i < 3; i++) {
        double local[3];
        for (int k = 0; k < 3; k++)
            local[k] = RIDER_EYE_LOW[k] + (RIDER_EYE_HIGH[k] - RIDER_EYE_LOW[k]) * height;
        eye[i] = (float)(body_position[i] + body_rotation[3 * i] * local[0] + body_rotation[3 * i + 1] * local[1] +
                         body_rotation[3 * i + 2] * local[2]);
    }
    float x[3], y[3], z[3];
    for (int i = 0; i < 3; i++) {
        x[i] = (float)body_rotation[3 * i];
        y[i] = (float)body_rotation[3 * i + 1];
        z[i] = (float)body_rotation[3 * i + 2];
    }
    float g = (float)first_person_gimbal_slider.value;
    if (g > 0.5f) {
        const float *p = rider_camera_state.forward;
        float a = atan2f(p[0] * y[0] + p[1] * y[1] + p[2] * y[2], p[0] * z[0] + p[1] * z[1] + p[2] * z[2]);
        const float quarter = (float)(M_PI / 4);
        a = a < -quarter ? -quarter : a > quarter ? quarter : a;
        if (!std::isfinite(a))
            a = 0.0f;
        float lagged = a;
        if (now > rider_camera_state.time) {
            double dt = now - rider_camera_state.time;
            double k = 5.0 + 100.0 * pow(1.0 - 0.01 * g, 3.0);
            lagged = (float)(a - a * k * (dt < 0.125 ? dt : 0.125));
            if ((lagged < 0.0f) != (a < 0.0f) && lagged != 0.0f)
                lagged = 0.0f;
        }
        float t = tanf(lagged);
        float forward[3] = {z[0] + t * y[0], z[1] + t * y[1], z[2] + t * y[2]};
        normalise_or(forward, z);
        memcpy(z, forward, sizeof z);
        cross(z, x, y);
        memcpy(rider_camera_state.forward, z, sizeof z);
        rider_camera_state.time = now;
    }
    if (print_orientation)
        printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", now, eye[0], eye[1], eye[2], x[0],
               x[1], x[2], z[0], z[1], z[2]);
    float angle = (float)(first_person_angle_slider.value * (M_PI / 180.0));
    float c = cosf(angle), s = sinf(angle);
    for (int i = 0; i < 3; i++) {
        float yi = c * y[i] - s * z[i], zi = c * z[i] + s * y[i];
        rotation[3 * i] = x[i];
        rotation[3 * i + 1] = yi;
        rotation[3 * i + 2] = zi;
    }
}

void draw_rider_camera_view(dBodyID body, int slot)
{
    if (!body)
        return;
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);
    const dReal *v = dBodyGetLinearVel(body);
    double position[3], rotation[9];
    for (int i = 0; i < 3; i++) {
        position[i] = p[i];
        for (int j = 0; j < 3; j++)
            rotation[3 * i + j] = r[4 * i + j];
        camera_velocity[i] = (float)v[i];
    }
    float eye[3], camera[9];
    compute_rider_camera(position, rotation, current_tic * (double)TIC_LENGTH, eye, camera);
    render_scene(eye, camera, (float)fov_slider.value, slot);
}

// ---- the broadcast overlay -------------------------------------------------

constexpr float TICKER_LINES = 40.0f;
constexpr float TICKER_BOX = 21.5f;

int list_ticker_entries(RunningOrderEntry *out)
{
    int n = 0;
    for (int i = 0; i < running_order_count && i < BIKE_SLOT_COUNT; i++) {
        int slot = running_order[i].slot;
        if (net_socket != -1 && slot >= 0 && slot < BIKE_SLOT_COUNT && rider_kind[slot] == RIDER_LOCAL &&
            own_slot == NO_SLOT)
            continue;
        out[n++] = running_order[i];
    }
    return n;
}

int layout_ticker(double time, int listed, float overlay_width, int *entries, float *xs, int max)
{
    if (listed < 0 || max <= 0 || !std::isfinite(time))
        return 0;
    double s = time * 0.5;
    double b = floor(s);
    double x = (b - s) * TICKER_BOX;
    int index = (int)fmod(b, (double)(listed + 1));
    if (index < 0)
        index += listed + 1;
    int n = 0;
    while (x <= overlay_width && n < max) {
        entries[n] = index < listed ? index : -1;
        xs[n] = (float)x;
        n++;
        x += TICKER_BOX;
        index = (index + 1) % (listed + 1);
    }
    return n;
}

int format_ticker_gap(int leader_slot, int slot, char *text, int size)
{
    text[0] = 0;
    BikeState *leader = get_slot_bike(leader_slot), *bike = get_slot_bike(slot);
    if (!leader || !bike)
        return 0;
    int leader_gates = get_gates_passed(leader), gates = get_gates_passed(bike);
    int gate = (leader_gates < gates ? leader_gates : gates) - 1;
    int leader_tic = get_gate_time(leader, gate), tic = get_gate_time(bike, gate);
    if (leader_tic < 1 || tic < 1)
        return 0;
    long long d = (long long)leader_tic - tic;
    if (d >= 0)
        return 0;
    snprintf(text, (size_t)size, "%7.3f", (double)(-d) * TIC_LENGTH);
    return 1;
}

int leader_laps_done(void)
{
    if (running_order_count <= 0)
        return 0;
    long long gates = running_order[0].gates;
    long long first = lap_gate_list.first_lap_count, per_lap = lap_gate_list.normal_lap_count;
    if (gates < first || per_lap <= 0)
        return 0;
    return (int)((gates - first) / per_lap + 1);
}

static void draw_text_at(float r, float g, float b, float x0, float x1, float y, const char *text)
{
    glPushMatrix();
    glTranslatef(0.0f, y, 0.0f);
    draw_text_centered(r, g, b, 1.0f, x0, x1, text);
    glPopMatrix();
}

static void draw_ticker_entry(const RunningOrderEntry *entry, int index, int listed, int leader_slot)
{
    char text[64];
    draw_blended_rect(0, 0, 0, 1, 0.0f, -1.0f, TICKER_BOX, 2.0f);
    snprintf(text, sizeof text, "%d", index + 1);
    draw_text_at(1, 1, 1, 0.0f, 3.0f, 0.0f, text);
    draw_blended_rect(1, 1, 1, 1, 3.0f, 0.0f, 6.0f, 1.0f);
    BikeState *bike = get_slot_bike(entry->slot);
    snprintf(text, sizeof text, "%3s", bike ? bike->rider_number : "");
    draw_text_at(0, 0, 0, 3.0f, 6.0f, 0.0f, text);
    draw_blended_rect(0, 0, 0, 1, 6.0f, 0.0f, 6.5f, 1.0f);
    draw_blended_rect(1, 1, 1, 1, 6.5f, 0.0f, TICKER_BOX, 1.0f);
    const char *name = entry->slot >= 0 && entry->slot < BIKE_SLOT_COUNT ? rider_names[entry->slot] : "";
    glPushMatrix();
    glTranslatef(6.5f, 0.0f, 0.0f);
    draw_text(0, 0, 0, 1, name, TEXT_GIVEN_COLOUR);
    glPopMatrix();
    if (listed > 1 && index > 0 && format_ticker_gap(leader_slot, entry->slot, text, sizeof text)) {
        glPushMatrix();
        glTranslatef(6.5f, -1.0f, 0.0f);
        draw_text(1, 1, 1, 1, text, TEXT_GIVEN_COLOUR);
        glPopMatrix();
    }
}

void draw_broadcast_overlay(void)
{
    static RunningOrderEntry listed_entries[BIKE_SLOT_COUNT];
    int listed = list_ticker_entries(listed_entries);
    float width = TICKER_LINES * view_half_width / view_half_height;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    begin_text_overlay(TICKER_LINES);
    glTranslatef(0.0f, -0.25f, 0.0f);
    int entries[64];
    float xs[64];
    int boxes = layout_ticker(current_time, listed, width, entries, xs, 64);
    int leader = listed > 0 ? listed_entries[0].slot : -1;
    for (int i = 0; i < boxes; i++) {
        glPushMatrix();
        glTranslatef(xs[i], 0.0f, 0.0f);
        if (entries[i] < 0)
            draw_blended_rect(0, 0, 0, 1, 0.0f, -1.0f, TICKER_BOX, 2.0f);
        else
            draw_ticker_entry(&listed_entries[entries[i]], entries[i], listed, leader);
        glPopMatrix();
    }
    end_overlay();

    begin_text_overlay(TICKER_LINES);
    glTranslatef(width - 5.0f, -1.25f, 0.0f);
    int done = leader_laps_done();
    if (done < race_settings.final_lap) {
        int last = race_settings.final_lap == done + 1;
        draw_blended_rect(last ? 1.0f : 0.0f, 1.0f, last ? 1.0f : 0.0f, 1.0f, 0.0f, 0.0f, 5.0f, 1.0f);
        char text[32];
        snprintf(text, sizeof text, "Lap %d", done + 1);
        draw_text_at(0, 0, 0, 0.0f, 5.0f, 0.0f, text);
    } else {
        draw_blended_rect(1, 1, 1, 1, 0.0f, 0.0f, 5.0f, 1.0f);
        draw_blended_rect(0, 0, 0, 1, 0.0f, 0.5f, 1.25f, 1.0f);
        draw_blended_rect(0, 0, 0, 1, 1.25f, 0.0f, 2.5f, 0.5f);
        draw_blended_rect(0, 0, 0, 1, 2.5f, 0.5f, 3.75f, 1.0f);
        draw_blended_rect(0, 0, 0, 1, 3.75f, 0.0f, 5.0f, 0.5f);
    }
    end_overlay();
    glEnable(GL_DEPTH_TEST);
}

static void draw_keycam_step(void)
{
    if (keycam_mode && camera_keys.count > 0) {
        float position[3], rotation[9], field_of_view;
        compute_keycam_pose((const CameraKey *)camera_keys.data, camera_keys.count, current_tic, position, rotation,
                            &field_of_view);
        render_scene(position, rotation, field_of_view, -1);
        return;
    }
    const CameraRecord *record = &free_camera;
    if (camera_index >= 0 && camera_index < track_cameras.count)
        record = (const CameraRecord *)track_cameras.data + camera_index;
    float rotation[9];
    camera_matrix_from_angles(rotation, record->pitch, record->yaw);
    camera_velocity[0] = camera_velocity[1] = camera_velocity[2] = 0.0f;
    const float eye[3] = {record->x, record->y, record->z};
    render_scene(eye, rotation, record->fov, -1);
    if (camera_index >= 0)
        draw_broadcast_overlay();
}

void draw_keycam_view(void)
{
    begin_draw_step();
    draw_keycam_step();
    end_draw_step();
}
