// Bike and rider drawing: the parts in a lit and an environment pass, the
// rider skinned with the nine limb and torso bones, the helmet, the number
// plates and the bike's own recorded line. The rider's lean back from the
// handlebars is applied to a copy of its pose, never to its body.
#include "render/bike_draw.h"

#include <cmath>
#include <cstring>

#include "bike/bike_math.h"
#include "bike/bike_state.h"
#include "race/lap_pool.h"
#include "render/gl_extensions.h"
#include "render/model.h"
#include "render/model_draw.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "track/lighting.h"

namespace {

const double WORLD_UP[3] = {0.0, 1.0, 0.0};

void read_pose(dBodyID body, BodyPose *pose)
{
    memset(pose, 0, sizeof *pose);
    pose->rotation[0] = pose->rotation[4] = pose->rotation[8] = 1.0;
    if (!body)
        return;
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);
    for (int i = 0; i < 3; i++) {
        pose->position[i] = p[i];
        for (int j = 0; j < 3; j++)
            pose->rotation[3 * i + j] = r[4 * i + j];
    }
}

void push_pose(const BodyPose *pose, float *position, float *rotation)
{
    for (int i = 0; i < 3; i++)
        position[i] = (float)pose->position[i];
    for (int i = 0; i < 9; i++)
        rotation[i] = (float)pose->rotation[i];
    const float *r = rotation;
    const float m[16] = {r[0], r[3], r[6], 0, r[1], r[4], r[7], 0, r[2], r[5], r[8], 0,
                         position[0], position[1], position[2], 1};
    glPushMatrix();
    glMultMatrixf(m);
}


void figure_world(const BikeModel *model, int offset, const BodyPose *pose, double *out)
{
    const float local[3] = {model->rider_figure[offset], model->rider_figure[offset + 1],
                            model->rider_figure[offset + 2]};
    body_point_to_world(pose, local, out);
}

// The part of a bike drawn from one body.
struct Part {
    Model *model;
    const BodyPose *pose;
    int set;            // texture set: 0 frame, 1 wheel, 2 rider, 3 head, 4 plate
    int skinned;
    int lit_skip;       // left out of the lit pass for the viewed rider
    int env_skip;       // left out of the environment pass for the viewed rider
};

struct TextureSet {
    int base, normal_map, specular_map;
};

void draw_line_point_marker(const float *point, const float *colour, float height)
{
    auto square = [&](float half, float y, const float *c) {
        glColor3fv(c);
        glVertex3f(point[0] - half, y, point[2] - half);
        glVertex3f(point[0] + half, y, point[2] - half);
        glVertex3f(point[0] + half, y, point[2] + half);
        glVertex3f(point[0] - half, y, point[2] + half);
    };
    static const float black[3] = {0, 0, 0};
    square(1.5f, point[1], black);
    square(1.0f, point[1] + height, colour);
    square(1.0f, point[1] - height, colour);
}

void draw_own_line(const BikeState *bike)
{
    if (!bike->own_line.data || bike->own_line.count <= 0 || bike->own_line.element_size != LINE_POINT_SIZE)
        return;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glBegin(GL_QUADS);
    const LineSample *points = (const LineSample *)bike->own_line.data;
    static const float white[3] = {1, 1, 1}, grey[3] = {0.5f, 0.5f, 0.5f}, blue[3] = {0.5f, 0.5f, 1.0f};
    for (int i = 0; i < bike->own_line.count; i++) {
        const float p[3] = {points[i].x, points[i].y, points[i].z};
        if (i == bike->line_index)
            draw_line_point_marker(p, white, 0.25f);
        else
            draw_line_point_marker(p, points[i].speed >= 0.0f ? grey : blue, 0.125f);
    }
    glEnd();
}

}  // namespace

void push_body_transform(dBodyID body, float *position, float *rotation)
{
    BodyPose pose;
    read_pose(body, &pose);
    push_pose(&pose, position, rotation);
}

void bind_part_textures(int base, int normal_map, int specular_map)
{
    if (shaders_in_use()) {
        bind_texture_unit(GL_TEXTURE2_ARB, normal_map && specular_map ? specular_map : 0);
        bind_texture_unit(GL_TEXTURE1_ARB, normal_map);
        bind_shader_slot(normal_map && specular_map ? SHADER_NORM_SPEC_LIT : normal_map ? SHADER_NORM_LIT : SHADER_LIT);
    }
    glBindTexture(GL_TEXTURE_2D, (GLuint)base);
    texture_change_count++;
}

void bind_env_pass_textures(int normal_map)
{
    if (!shaders_in_use())
        return;
    bind_texture_unit(GL_TEXTURE1_ARB, normal_map);
    bind_shader_slot(normal_map ? SHADER_NORM_ENV : SHADER_ENV);
}

float lean_rider_back(const BikeModel *model, BodyPose *rider, const BodyPose *steering)
{
    const float *f = model->rider_figure;
    double a[3], b[3], d[3];
    const float shoulder[3] = {0.0f, f[FIGURE_LEFT_SHOULDER + 1], f[FIGURE_LEFT_SHOULDER + 2]};
    const float hand[3] = {0.0f, f[FIGURE_LEFT_HAND + 1], f[FIGURE_LEFT_HAND + 2]};
    body_point_to_world(rider, shoulder, a);
    body_point_to_world(steering, hand, b);
    vec_sub(d, a, b);
    double distance = vec_length(d);
    double k = distance <= 1.25 ? fmin(1.25 - distance, 1.0) : 0.0;
    if (!(k > 0.0))
        return 0.0f;
    double x[3], y[3], z[3], hip[3];
    rotation_axis(x, rider->rotation, 0);
    rotation_axis(y, rider->rotation, 1);
    rotation_axis(z, rider->rotation, 2);
    figure_world(model, FIGURE_LEFT_HIP, rider, hip);
    double leaned[3], z2[3], y2[3];
    vec_add_scaled(leaned, y, z, 0.375 * k);
    vec_normalise_or(leaned, leaned, y);
    vec_cross(z2, x, leaned);
    vec_cross(y2, z2, x);
    for (int i = 0; i < 3; i++) {
        rider->rotation[3 * i] = x[i];
        rider->rotation[3 * i + 1] = y2[i];
        rider->rotation[3 * i + 2] = z2[i];
    }
    // The left hip stays where it was.
    double moved[3];
    figure_world(model, FIGURE_LEFT_HIP, rider, moved);
    for (int i = 0; i < 3; i++)
        rider->position[i] += hip[i] - moved[i];
    return (float)k;
}

void compute_bike_draw_pose(const BikeState *bike, BikeDrawPose *pose)
{
    memset(pose, 0, sizeof *pose);
    get_rider_pose_input(bike, &pose->input);
    if (!pose->input.model)
        return;
    pose->lean_back = lean_rider_back(pose->input.model, &pose->input.rider, &pose->input.steering);
    compute_arm_bones(&pose->input, &pose->bones);
    compute_leg_bones(&pose->input, &pose->bones);
    compute_torso_bone(&pose->input, &pose->bones);
}

void compute_helmet_pose_from(const BikeModel *model, const BodyPose *rider, const double *rider_velocity,
                              float *position, float *orientation)
{
    double head[3];
    figure_world(model, FIGURE_HEAD, rider, head);
    double x_axis[3], y[3], z[3], v[3];
    rotation_axis(x_axis, rider->rotation, 0);
    rotation_axis(y, rider->rotation, 1);
    rotation_axis(z, rider->rotation, 2);
    vec_copy(v, rider_velocity);
    for (double &c : v)
        if (!std::isfinite(c))
            c = 0.0;
    double vz = vec_dot(v, z);
    if (vz >= 0.0)
        vec_add_scaled(v, v, z, -vz);
    double w[3];
    vec_sub(w, z, v);
    if (vec_dot(w, w) < 1024.0) {
        double reach = vec_length(w) / 32.0;
        vec_add_scaled(w, z, v, -reach);
    }
    double r = sqrt(w[0] * w[0] + w[2] * w[2]);
    double lift = fmax(r * (60.0 - r) * 0.0058333, 0.0) + 0.25 * r;
    double n[3] = {w[0], lift, w[2]};
    vec_normalise_or(n, n, z);
    double a[3], b[3];
    for (int i = 0; i < 3; i++) {
        a[i] = (1.5 * y[i] - z[i]) * 0.5547002;
        b[i] = (1.5 * y[i] + z[i]) * 0.5547002;
    }
    double up[3], to_up[3];
    vec_sub(to_up, WORLD_UP, a);
    double gap = vec_length(to_up);
    if (gap > 0.5)
        vec_add_scaled(up, a, to_up, 0.5 / gap);
    else
        vec_copy(up, WORLD_UP);
    vec_add_scaled(n, n, a, 2.0 * vec_dot(n, a));
    double from_b[3];
    vec_sub(from_b, n, b);
    double spread = vec_length(from_b);
    if (spread > 0.75)
        vec_add_scaled(n, b, from_b, 0.75 / spread);
    vec_add_scaled(n, n, a, -(2.0 / 3.0) * vec_dot(n, a));
    double hx[3], hy[3], hz[3], t[3];
    vec_normalise_or(hz, n, z);
    vec_cross(t, up, hz);
    vec_normalise_or(hx, t, x_axis);
    vec_cross(t, hz, hx);
    vec_normalise_or(hy, t, y);
    for (int i = 0; i < 3; i++) {
        position[i] = (float)head[i];
        orientation[3 * i] = (float)hx[i];
        orientation[3 * i + 1] = (float)hy[i];
        orientation[3 * i + 2] = (float)hz[i];
    }
}

void compute_helmet_pose(const BikeState *bike, float *position, float *orientation)
{
    BodyPose rider;
    read_pose(bike->rider_body, &rider);
    double velocity[3] = {0, 0, 0};
    if (bike->rider_body) {
        const dReal *v = dBodyGetLinearVel(bike->rider_body);
        vec_set(velocity, v[0], v[1], v[2]);
    }
    compute_helmet_pose_from(get_bike_state_model(bike), &rider, velocity, position, orientation);
}

void draw_bike(BikeState *bike, int draw_mode, const float *eye)
{
    if (!bike || !get_bike_state_model(bike))
        return;
    static BikeDrawPose pose;
    compute_bike_draw_pose(bike, &pose);
    const BikeModel *model = pose.input.model;
    BodyPose frame = pose.input.frame, steering = pose.input.steering, rider = pose.input.rider;
    BodyPose fork_lower, swingarm, front_wheel, rear_wheel;
    read_pose(bike->fork_lower_body, &fork_lower);
    read_pose(bike->swingarm_body, &swingarm);
    read_pose(bike->front_wheel_body, &front_wheel);
    read_pose(bike->rear_wheel_body, &rear_wheel);
    int skip = draw_mode != BIKE_DRAW_OTHER && bike->crash_timer == 0;

    float helmet_position[3], helmet_orientation[9];
    double rider_velocity[3] = {0, 0, 0};
    if (bike->rider_body) {
        const dReal *v = dBodyGetLinearVel(bike->rider_body);
        vec_set(rider_velocity, v[0], v[1], v[2]);
    }
    compute_helmet_pose_from(model, &rider, rider_velocity, helmet_position, helmet_orientation);

    const TextureSet sets[5] = {
        {bike->bike_texture, bike->bike_normal_map, bike->bike_specular_map},
        {bike->wheel_texture, bike->wheel_normal_map, bike->wheel_specular_map},
        {bike->rider_texture, bike->rider_normal_map, bike->rider_specular_map},
        {bike->helmet_texture, bike->helmet_normal_map, bike->helmet_specular_map},
        {bike->number_plate_texture, 0, 0},
    };
    Model *rider_model = draw_mode == BIKE_DRAW_VIEWED && bike->rider_body_fp_model ? bike->rider_body_fp_model
                                                                                   : bike->rider_body_model;
    int show_rider = draw_mode != BIKE_DRAW_VIEWED_HIDDEN;
    int show_head = draw_mode == BIKE_DRAW_OTHER;
    const Part parts[] = {
        {bike->frame_model, &frame, 0, 0, 0, 0},
        {bike->fork_upper_model, &steering, 0, 0, 0, 0},
        {bike->fork_lower_model, &fork_lower, 0, 0, 0, 1},
        {bike->swingarm_model, &swingarm, 0, 0, 1, 1},
        {bike->front_wheel_model, &front_wheel, 1, 0, 0, 1},
        {bike->rear_wheel_model, &rear_wheel, 1, 0, 1, 1},
        {show_rider ? rider_model : nullptr, &rider, 2, 1, 0, 0},
        {show_head ? bike->helmet_model : nullptr, nullptr, 3, 0, 0, 0},
        {bike->front_plate_model, &steering, 4, 0, 0, 0},
        {bike->side_plates_model, &frame, 4, 0, 0, 0},
        {show_head ? bike->rider_plate_model : nullptr, &rider, 4, 1, 0, 0},
    };
    float centres[RIDER_BONE_COUNT * 3];
    memcpy(centres, model->rider_figure + FIGURE_BONE_CENTRES, sizeof centres);

    auto draw_part = [&](const Part &part, int env) {
        float position[3], rotation[9];
        if (part.skinned) {
            for (int i = 0; i < 3; i++)
                position[i] = (float)part.pose->position[i];
            for (int i = 0; i < 9; i++)
                rotation[i] = (float)part.pose->rotation[i];
            (env ? draw_model_env : draw_model)(part.model, eye, position, rotation, centres,
                                                 &pose.bones.position[0][0], &pose.bones.rotation[0][0],
                                                 RIDER_BONE_COUNT);
            return;
        }
        if (!part.pose) {   // the helmet
            glPushMatrix();
            const float *o = helmet_orientation, *p = helmet_position;
            const float m[16] = {o[0], o[3], o[6], 0, o[1], o[4], o[7], 0, o[2], o[5], o[8], 0, p[0], p[1], p[2], 1};
            glMultMatrixf(m);
            (env ? draw_part_model_env : draw_part_model)(part.model, eye, helmet_position, helmet_orientation);
            glPopMatrix();
            return;
        }
        push_pose(part.pose, position, rotation);
        (env ? draw_part_model_env : draw_part_model)(part.model, eye, position, rotation);
        glPopMatrix();
    };

    glEnable(GL_LIGHTING);
    const float material[4] = {1.0f, 1.0f, 1.0f, bike_alpha};
    glMaterialfv(GL_FRONT, GL_AMBIENT, material);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, material);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    int bound_set = -1;
    for (const Part &part : parts) {
        if (!part.model || (skip && part.lit_skip))
            continue;
        if (part.set != bound_set) {
            const TextureSet &s = sets[part.set];
            bind_part_textures(s.base, s.normal_map, s.specular_map);
            bound_set = part.set;
        }
        draw_part(part, 0);
    }

    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    if (shaders_in_use())
        bind_texture_unit(GL_TEXTURE2_ARB, 0);
    glBindTexture(GL_TEXTURE_2D, (GLuint)sky_textures[SKY_ENV]);
    texture_change_count++;
    bound_set = -1;
    for (const Part &part : parts) {
        if (!part.model || (skip && part.env_skip) || !model_needs_env_pass(part.model))
            continue;
        if (part.set != bound_set) {
            bind_env_pass_textures(sets[part.set].normal_map);
            bound_set = part.set;
        }
        draw_part(part, 1);
    }
    if (shaders_in_use()) {
        bind_texture_unit(GL_TEXTURE1_ARB, 0);
        bind_shader_slot(SHADER_FIXED);
    }
    if (debug_level == 2)
        draw_own_line(bike);
}
