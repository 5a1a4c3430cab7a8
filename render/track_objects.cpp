// The scene's passes over the track's objects: statues in a lit and an
// environment pass, billboards keyed along the camera's backward axis,
// radix-sorted and grouped by texture, the flaggers' textures by race phase,
// and the lens flares read back from the frame.
#include "render/track_objects.h"

#include <cmath>
#include <cstring>

#include "app/graphics_settings.h"
#include "app/shell.h"
#include "bike/bike_getters.h"
#include "bike/bike_state.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/animated_texture.h"
#include "render/depth_sort.h"
#include "render/gl_extensions.h"
#include "render/model_draw.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "render/text_marker.h"
#include "track/timing.h"

int billboard_count;

// The first billboards of the table keyed with their width.
enum { WIDE_KEYED_BILLBOARDS = 2000 };

static GrowableArray billboard_sort_scratch;

// ---- statues ---------------------------------------------------------------

int statue_in_range(const Statue *statue, const float *eye)
{
    double detail = model_detail_slider.value;
    if (detail > 10)
        return 1;
    double dx = statue->x - eye[0], dy = statue->y - eye[1], dz = statue->z - eye[2];
    double reach = 20.0 * detail * detail;
    return dx * dx + dy * dy + dz * dz <= reach * reach;
}

void face_statue_to_eye(Statue *statue, const float *eye)
{
    float d = statue->yaw_power;
    if (d == 0.0f)
        return;
    double dx = eye[0] - statue->x, dy = eye[1] - statue->y, dz = eye[2] - statue->z;
    double bias = d - lod_bias;
    if (!(bias * bias < (double)lod_scale * lod_scale * (dx * dx + dy * dy + dz * dz)))
        return;
    double horizontal = sqrt(dx * dx + dz * dz);
    if (!(horizontal > 1e-6) || !std::isfinite(horizontal))
        return;   // straight above or below: no direction to face
    double z[3] = {dx / horizontal, 0.0, dz / horizontal};
    // x = up x z, already unit: z is horizontal and unit.
    double x[3] = {z[2], 0.0, -z[0]};
    float *o = statue->orientation;
    for (int i = 0; i < 3; i++) {
        o[i * 3 + 0] = (float)x[i];
        o[i * 3 + 1] = i == 1 ? 1.0f : 0.0f;
        o[i * 3 + 2] = (float)z[i];
    }
}

void draw_statue(Statue *statue, const float *eye, int pass)
{
    if (!statue_in_range(statue, eye))
        return;
    glPushMatrix();
    glTranslatef(statue->x, statue->y, statue->z);
    face_statue_to_eye(statue, eye);
    const float *o = statue->orientation;
    const float turn[16] = {o[0], o[3], o[6], 0, o[1], o[4], o[7], 0, o[2], o[5], o[8], 0, 0, 0, 0, 1};
    glMultMatrixf(turn);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float position[3] = {statue->x, statue->y, statue->z};
    int bones = statue->pose_count > 0 && statue->pose_count <= MAX_BONE ? statue->pose_count : 0;
    if (pass == 0)
        draw_model(statue->model, eye, position, o, bones ? statue->pose_centres : nullptr,
                   bones ? statue->pose_offsets : nullptr, bones ? statue->pose_rotations : nullptr, bones);
    else
        draw_model_env(statue->model, eye, position, o, bones ? statue->pose_centres : nullptr,
                       bones ? statue->pose_offsets : nullptr, bones ? statue->pose_rotations : nullptr, bones);
    glPopMatrix();
}


// Binds a texture on unit 1 or 2 (0 switches texturing off there).
static void bind_on_unit(GLenum unit, int texture)
{
    bind_texture_unit(unit, texture);
    texture_change_count++;
}

void draw_statues(const float *eye)
{
    int shaders = shaders_in_use();
    int count = statue_table.count;
    Statue *statues = (Statue *)statue_table.data;
    if (shaders)
        bind_shader_slot(SHADER_LIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float material[4] = {1.0f, 1.0f, 1.0f, bike_alpha};
    glMaterialfv(GL_FRONT, GL_AMBIENT, material);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, material);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    int bound = -1, unit1 = 0, unit2 = 0;
    for (int i = 0; i < count; i++) {
        Statue *s = &statues[i];
        if (!s->model || !s->texture)
            continue;
        if (s->texture != bound) {
            glBindTexture(GL_TEXTURE_2D, (GLuint)s->texture);
            texture_change_count++;
            bound = s->texture;
        }
        if (shaders && (s->normal_texture != unit1 || s->specular_texture != unit2)) {
            if (s->normal_texture != unit1)
                bind_on_unit(GL_TEXTURE1_ARB, unit1 = s->normal_texture);
            if (s->specular_texture != unit2)
                bind_on_unit(GL_TEXTURE2_ARB, unit2 = s->specular_texture);
            bind_shader_slot(unit2 ? SHADER_NORM_SPEC_LIT : unit1 ? SHADER_NORM_LIT : SHADER_LIT);
        }
        draw_statue(s, eye, 0);
    }
    if (shaders) {
        if (unit2)
            bind_on_unit(GL_TEXTURE2_ARB, 0);
        if (unit1)
            bind_on_unit(GL_TEXTURE1_ARB, 0);
        bind_shader_slot(SHADER_ENV);
    }

    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, (GLuint)sky_textures[SKY_ENV]);
    texture_change_count++;
    unit1 = 0;
    for (int i = 0; i < count; i++) {
        Statue *s = &statues[i];
        if (!s->model || !s->texture || !model_needs_env_pass(s->model))
            continue;
        if (shaders && s->normal_texture != unit1) {
            bind_on_unit(GL_TEXTURE1_ARB, s->normal_texture);
            if (!unit1 != !s->normal_texture)
                bind_shader_slot(s->normal_texture ? SHADER_NORM_ENV : SHADER_ENV);
            unit1 = s->normal_texture;
        }
        draw_statue(s, eye, 1);
    }
    if (shaders && unit1)
        bind_on_unit(GL_TEXTURE1_ARB, 0);
    glDisable(GL_BLEND);
    if (shaders)
        bind_shader_slot(SHADER_FIXED);
}

// ---- billboards ------------------------------------------------------------

const int *sorted_billboards(void)
{
    return (const int *)billboard_draw_slots.data;
}

int sort_billboards(const float *eye, const float *rotation)
{
    int n = billboard_table.count;
    if (!reserve_int_list(&billboard_draw_slots, n + 1))
        return 0;
    int *list = (int *)billboard_draw_slots.data;
    list[0] = -1;
    if (!reserve_int_list(&billboard_sort_scratch, 3 * n + 1))
        return 0;
    double m2 = rotation[2], m5 = rotation[5], m8 = rotation[8];
    int camera_key;
    if (!depth_key(m2 * eye[0] + m5 * eye[1] + m8 * eye[2], &camera_key))
        return 0;
    uint32_t *keys = (uint32_t *)billboard_sort_scratch.data;
    int *scratch_indices = (int *)billboard_sort_scratch.data + n;
    uint32_t *scratch_keys = (uint32_t *)billboard_sort_scratch.data + 2 * n;
    Billboard *billboards = (Billboard *)billboard_table.data;
    int count = 0;
    for (int i = 0; i < n; i++) {
        Billboard *b = &billboards[i];
        if (!b->texture || !b->colour[3])
            continue;
        double w = i < WIDE_KEYED_BILLBOARDS ? (double)b->height * b->width : 0.0;
        int key;
        int finite = depth_key(m2 * b->x + m5 * b->y + m8 * b->z + w, &key);
        b->draw_value = key;
        if (!finite || !std::isfinite(b->width) || !std::isfinite(b->height))
            continue;   // not drawn
        if (key < camera_key) {
            list[count] = i;
            keys[count] = (uint32_t)key;
            count++;
        }
    }
    radix_sort_by_key(list, keys, count, scratch_indices, scratch_keys);
    list[count] = -1;
    billboard_draw_slots.count = count;
    return count;
}

// End points of a billboard seen from the eye, in the horizontal plane.
static void billboard_ends(const Billboard *b, const float *eye, const float *right, double *left_end,
                           double *right_end)
{
    double h = (double)b->height * b->width / 2.0;
    left_end[0] = b->x - h * right[0] - eye[0];
    left_end[1] = b->z - h * right[2] - eye[2];
    right_end[0] = b->x + h * right[0] - eye[0];
    right_end[1] = b->z + h * right[2] - eye[2];
}

static double cross2(const double *p, const double *q)
{
    return p[0] * q[1] - p[1] * q[0];
}

void group_billboards(int *list, int count, const float *eye, const float *right, int lookahead)
{
    if (lookahead <= 1)
        return;
    const Billboard *billboards = (const Billboard *)billboard_table.data;
    for (int k = 0; k < count; k++) {
        int texture = billboards[list[k]].texture;
        int found = 0;
        for (int l = 1; l < lookahead && k + l < count; l++)
            if (billboards[list[k + l]].texture == texture) {
                found = l;
                break;
            }
        if (found < 2)
            continue;
        double t_left[2], t_right[2];
        billboard_ends(&billboards[list[k + found]], eye, right, t_left, t_right);
        int blocked = 0;
        for (int m = k + 1; m < k + found && !blocked; m++) {
            double u_left[2], u_right[2];
            billboard_ends(&billboards[list[m]], eye, right, u_left, u_right);
            blocked = cross2(u_right, t_left) < 0.0 && cross2(t_right, u_left) < 0.0;
        }
        if (blocked)
            continue;
        int moved = list[k + found];
        memmove(list + k + 2, list + k + 1, (size_t)(found - 1) * sizeof(int));
        list[k + 1] = moved;
    }
}

void draw_billboard_pass(const float *eye, const float *rotation)
{
    billboard_count = 0;
    int count = sort_billboards(eye, rotation);
    double m2 = rotation[2], m8 = rotation[8];
    double length = sqrt(m8 * m8 + m2 * m2);
    if (count == 0 || !(length > 0.0))
        return;   // straight up or down: no billboard faces the camera
    const float right[3] = {(float)(m8 / length), 0.0f, (float)(-m2 / length)};
    int *list = (int *)billboard_draw_slots.data;
    group_billboards(list, count, eye, right, billboard_optimize_lookahead);

    GLboolean culling = glIsEnabled(GL_CULL_FACE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    const Billboard *billboards = (const Billboard *)billboard_table.data;
    int bound = -1, open = 0;
    for (int i = 0; i < count; i++) {
        const Billboard *b = &billboards[list[i]];
        if (b->texture != bound) {
            if (open)
                glEnd();
            glBindTexture(GL_TEXTURE_2D, (GLuint)b->texture);
            texture_change_count++;
            bound = b->texture;
            glBegin(GL_QUADS);
            open = 1;
        }
        glColor4ub(b->colour[0], b->colour[1], b->colour[2], b->colour[3]);
        float half = b->height * b->width / 2.0f, size = b->width;
        float hx = half * right[0], hz = half * right[2];
        glTexCoord2f(0, 1);
        glVertex3f(b->x - hx, b->y, b->z - hz);
        glTexCoord2f(1, 1);
        glVertex3f(b->x + hx, b->y, b->z + hz);
        glTexCoord2f(1, 0);
        glVertex3f(b->x + hx, b->y + size, b->z + hz);
        glTexCoord2f(0, 0);
        glVertex3f(b->x - hx, b->y + size, b->z - hz);
        billboard_count++;
    }
    if (open)
        glEnd();
    glDepthMask(GL_TRUE);
    if (culling)
        glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
}

// ---- flaggers --------------------------------------------------------------

static void switch_billboard_texture(Billboard *b, int texture)
{
    if (b->texture == texture)
        return;
    stop_texture_animation(b->texture);
    start_texture_animation(texture, current_tic);
    b->texture = texture;
}

static void update_start_flagger(void)
{
    Billboard *b = get_billboard(flagger_setup.billboard_a);
    if (!b)
        return;
    double t = (double)current_tic * TIC_LENGTH;
    double g = floor((double)race_settings.start_tic * TIC_LENGTH);
    double travel = flagger_setup.value;
    double f;
    if (t < g + 1.0)
        f = 0.0;
    else if (!(travel > 0.0))
        f = 1.0;   // no travel time: at the end at once
    else
        f = (t - (g + 1.0)) / travel < 1.0 ? (t - (g + 1.0)) / travel : 1.0;
    const float *start = flagger_setup.position_a, *end = flagger_setup.second_point;
    b->x = (float)(start[0] + f * (end[0] - start[0]));
    b->z = (float)(start[2] + f * (end[2] - start[2]));
    float lift = (float)(start[1] + f * (end[1] - start[1]));
    b->y = (current_terrain && current_terrain->heights ? sample_ground_height(current_terrain, b->x, b->z) : 0.0f) +
           lift;
    int phase;
    if (t < g + 0.1)
        phase = 0;
    else if (t < g + 0.4)
        phase = 1;
    else if (t < g + 1.0)
        phase = 2;
    else if (t >= g + (travel > 0.0 ? travel : 0.0) + 1.0)
        phase = 4;
    else
        phase = 3;
    switch_billboard_texture(b, flagger_setup.textures_a[phase]);
}

static int leader_gates(void)
{
    return running_order_count > 0 ? running_order[0].gates : 0;
}

static void update_lap_flagger(void)
{
    Billboard *b = get_billboard(flagger_setup.billboard_b);
    if (!b)
        return;
    long long e = leader_gates();
    long long first = lap_gate_list.first_lap_count, per_lap = lap_gate_list.normal_lap_count;
    long long done = 0;
    if (e + 1 >= first)
        done = per_lap > 0 ? (e - first + 1) / per_lap + 1 : 0;
    // The race's lap count as the race decides it (the laps of a timed race
    // are fixed once its time is up).
    long long laps = race_settings.final_lap;
    int texture;
    if (done >= laps)
        texture = flagger_setup.textures_b[3];
    else if (laps == done + 1)
        texture = flagger_setup.textures_b[2];
    else if (done == race_settings.halfway_lap)
        texture = flagger_setup.textures_b[1];
    else
        texture = flagger_setup.textures_b[0];
    switch_billboard_texture(b, texture);
}

// Marks the timing gate of a lap-list gate number; entries naming no gate
// of the track are left alone.
static void mark_rider_down_gate(int gate_number)
{
    int entry = get_lap_list_entry(gate_number);
    if (entry < 0)
        return;
    int gate = entry % NOT_TIMING_MARK;
    if (gate >= 0 && gate < timing_gate_count && gate < TIMING_GATE_SLOTS)
        timing_gates[gate].value = 1;
}

void update_flaggers(void)
{
    if (lap_gate_list.first_lap_count + lap_gate_list.normal_lap_count == 0)
        return;
    update_start_flagger();
    update_lap_flagger();
    for (int i = 0; i < TIMING_GATE_SLOTS; i++)
        timing_gates[i].value = 0;
    for (int i = 0; i < running_order_count && i < BIKE_SLOT_COUNT; i++) {
        int slot = running_order[i].slot;
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        if (net_socket != -1 && rider_kind[slot] == RIDER_REMOTE && slot != own_slot &&
            (long long)current_tic - (long long)last_state_tic[slot] >= TIC_RATE)
            continue;
        if (is_rider_down(bike))
            mark_rider_down_gate(get_gates_passed(bike));
    }
    const Flagger *flaggers = (const Flagger *)flagger_list.data;
    for (int i = 0; i < flagger_list.count; i++) {
        const Flagger *f = &flaggers[i];
        Billboard *b = get_billboard(f->billboard);
        if (!b)
            continue;
        int warned = 0;
        for (int k = 0; k < 4; k++) {
            int gate = f->checkpoints[k];
            if (gate >= 0 && gate < timing_gate_count && gate < TIMING_GATE_SLOTS && timing_gates[gate].value)
                warned = 1;
        }
        b->texture = warned ? f->texture_two : f->texture_one;
    }
}

// ---- lens flares -----------------------------------------------------------

float depth_to_linear(float depth, float near_plane, float far_plane)
{
    float n = near_plane, f = far_plane;
    return (n * -f / ((f - n) * depth - f) - n) / (f - n);
}

static float edge_fade(float s, float t, float e)
{
    float fade = 1.0f;
    if ((s + t) / e < fade)
        fade = (s + t) / e;
    if ((t - s) / e < fade)
        fade = (t - s) / e;
    return fade < 0.0f ? 0.0f : fade;
}

// Screen position and intensity of one source; 0 intensity when hidden.
static void measure_flare(Flare *flare, const float *eye, const float *rotation)
{
    flare->intensity = 0.0f;
    float v[3];
    for (int i = 0; i < 3; i++)
        v[i] = flare->directional ? flare->position[i] : flare->position[i] - eye[i];
    float c[3];
    for (int k = 0; k < 3; k++)
        c[k] = v[0] * rotation[k] + v[1] * rotation[3 + k] + v[2] * rotation[6 + k];
    float tx = view_half_width, ty = view_half_height;
    if (!(fabsf(c[0]) <= -tx * c[2] && fabsf(c[1]) <= -ty * c[2]) || !(c[2] < 0.0f))
        return;
    float sx = -c[0] / c[2], sy = -c[1] / c[2];
    if (!std::isfinite(sx) || !std::isfinite(sy))
        return;
    flare->screen[0] = sx;
    flare->screen[1] = sy;
    float fx = (sx + tx) / (2.0f * tx), fy = (sy + ty) / (2.0f * ty);
    fx = fx < 0.0f ? 0.0f : fx > 1.0f ? 1.0f : fx;
    fy = fy < 0.0f ? 0.0f : fy > 1.0f ? 1.0f : fy;
    int px = (int)floorf(fx * (float)window_width), py = (int)floorf(fy * (float)window_height);
    if (px < 0 || py < 0 || px >= window_width || py >= window_height)
        return;
    unsigned char rgb[3];
    glReadPixels(px, py, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    if (rgb[0] < 224 || rgb[1] < 224 || rgb[2] < 224)
        return;
    float depth = 1.0f;
    glReadPixels(px, py, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    float z = depth_to_linear(depth, track_lighting.near_plane, track_lighting.far_plane);
    float threshold = 0.4f;
    if (!flare->directional) {
        threshold = (-c[2] - 0.25f) * 0.00020001f;
        threshold = threshold < 0.0f ? 0.0f : threshold > 1.0f ? 1.0f : threshold;
    }
    if (!(z >= threshold))
        return;
    float e = (tx < ty ? tx : ty) / 32.0f;
    float h = edge_fade(sx, tx, e), w = edge_fade(sy, ty, e);
    flare->intensity = h < w ? h : w;
}

void draw_lens_flares(const float *eye, const float *rotation)
{
    if (lens_flare_list.selected != 1 || flare_list.count <= 0)
        return;
    Flare *flares = (Flare *)flare_list.data;
    for (int i = 0; i < flare_list.count; i++)
        measure_flare(&flares[i], eye, rotation);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    for (int i = 0; i < flare_list.count; i++) {
        const Flare *f = &flares[i];
        if (f->intensity == 0.0f)
            continue;
        float sx = f->screen[0], sy = f->screen[1];
        int elements = f->element_count < FLARE_ELEMENTS ? f->element_count : FLARE_ELEMENTS;
        for (int k = 0; k < elements; k++) {
            glBindTexture(GL_TEXTURE_2D, (GLuint)f->texture[k]);
            texture_change_count++;
            float a = f->offset[k][0], b = f->offset[k][1], s = f->size[k];
            float cx = a * sy + b * sx, cy = -a * sx + b * sy;
            glColor4f(f->intensity * f->colour[k][0], f->intensity * f->colour[k][1],
                      f->intensity * f->colour[k][2], 1.0f);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 1);
            glVertex3f(cx - s, cy + s, -1);
            glTexCoord2f(0, 0);
            glVertex3f(cx - s, cy - s, -1);
            glTexCoord2f(1, 0);
            glVertex3f(cx + s, cy - s, -1);
            glTexCoord2f(1, 1);
            glVertex3f(cx + s, cy + s, -1);
            glEnd();
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_BLEND);
}

void free_draw_sort_lists(void)
{
    free_growable_array(&billboard_sort_scratch);
    free_text_marker_sort_lists();
}
