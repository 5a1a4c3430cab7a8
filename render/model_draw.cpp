// Model drawing: level choice, the lit and environment passes, mesh
// arrays, immediate mode and wireframe, and skinning on the processor.
#include "render/model_draw.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "render/camera.h"
#include "render/gl_extensions.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "track/lighting.h"

int model_polygon_count;
int model_vertex_count;

static int shaders_active(void)
{
    return shader_programs_available && gl_info.has_multitexture && gl_entry.glClientActiveTextureARB &&
           gl_entry.glMultiTexCoord3fvARB && gl_entry.glMultiTexCoord4fvARB && gl_entry.glMultiTexCoord4ivARB;
}

const Model *choose_model_level(const Model *model, const float *position)
{
    if (!model)
        return nullptr;
    double d = 0;
    for (int i = 0; i < 3; i++) {
        double delta = (double)position[i] - camera_position[i];
        d += delta * delta;
    }
    d = std::sqrt(d);
    const Model *chosen = model;
    for (const Model *level = model->lower; level; level = level->lower) {
        double reach = (double)level->lod_distance - lod_bias;
        if (reach <= 0 || d * lod_scale >= reach)
            chosen = level;
        else
            break;
    }
    return chosen;
}

// Rest arrays of a skinned mesh follow the drawn ones.
static const float *rest(const float *array, const Model *mesh)
{
    return array + 3 * (size_t)mesh->vertex_count;
}

void draw_mesh_arrays(const Model *mesh)
{
    int shaders = shaders_active();
    int skinned_on_card = shaders && mesh->bone_count > 0;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, skinned_on_card ? rest(mesh->positions, mesh) : mesh->positions);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, skinned_on_card ? rest(mesh->normals, mesh) : mesh->normals);
    if (gl_entry.glClientActiveTextureARB && gl_info.has_multitexture)
        gl_entry.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, mesh->coordinates);
    if (shaders) {
        gl_entry.glClientActiveTextureARB(GL_TEXTURE1_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(3, GL_FLOAT, 0, skinned_on_card ? rest(mesh->tangents, mesh) : mesh->tangents);
        if (mesh->bone_count > 0) {
            gl_entry.glClientActiveTextureARB(GL_TEXTURE2_ARB);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(4, GL_FLOAT, 0, mesh->weights);
            gl_entry.glClientActiveTextureARB(GL_TEXTURE3_ARB);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(4, GL_INT, 0, mesh->bone_indices);
        }
    }
    if (mesh->triangle_count > 0)
        glDrawElements(GL_TRIANGLES, mesh->triangle_count * 3, GL_UNSIGNED_INT, mesh->triangles);
    if (shaders) {
        for (GLenum unit : {GL_TEXTURE3_ARB, GL_TEXTURE2_ARB, GL_TEXTURE1_ARB}) {
            gl_entry.glClientActiveTextureARB(unit);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        gl_entry.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_mesh_immediate(const Model *mesh)
{
    int shaders = shaders_active();
    int skinned_on_card = shaders && mesh->bone_count > 0;
    const float *positions = skinned_on_card ? rest(mesh->positions, mesh) : mesh->positions;
    const float *normals = skinned_on_card ? rest(mesh->normals, mesh) : mesh->normals;
    const float *tangents = skinned_on_card ? rest(mesh->tangents, mesh) : mesh->tangents;
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < mesh->triangle_count * 3; i++) {
        int v = mesh->triangles[i];
        if (shaders) {
            gl_entry.glMultiTexCoord3fvARB(GL_TEXTURE1_ARB, tangents + 3 * v);
            if (mesh->bone_count > 0) {
                gl_entry.glMultiTexCoord4fvARB(GL_TEXTURE2_ARB, mesh->weights + 4 * v);
                gl_entry.glMultiTexCoord4ivARB(GL_TEXTURE3_ARB, mesh->bone_indices + 4 * v);
            }
        }
        glNormal3fv(normals + 3 * v);
        glTexCoord2fv(mesh->coordinates + 2 * v);
        glVertex3fv(positions + 3 * v);
    }
    glEnd();
}

void draw_mesh_wireframe(const Model *mesh)
{
    for (int i = 0; i < mesh->triangle_count; i++) {
        glBegin(GL_LINE_LOOP);
        for (int c = 0; c < 3; c++)
            glVertex3fv(mesh->positions + 3 * mesh->triangles[3 * i + c]);
        glEnd();
    }
}

void draw_mesh(const Model *mesh)
{
    model_polygon_count += mesh->triangle_count;
    model_vertex_count += mesh->vertex_count;
    if (mesh->display_list)
        glCallList(mesh->display_list);
    else if (no_vertex_arrays)
        draw_mesh_immediate(mesh);
    else
        draw_mesh_arrays(mesh);
}

static void rotate_by_bone(const float *r, const float *d, float out[3])
{
    out[0] = d[0] * r[0] + d[1] * r[3] + d[2] * r[6];
    out[1] = d[0] * r[1] + d[1] * r[4] + d[2] * r[7];
    out[2] = d[0] * r[2] + d[1] * r[5] + d[2] * r[8];
}

static void normalise_unless_zero(float *v)
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f && std::isfinite(length))
        for (int k = 0; k < 3; k++)
            v[k] /= length;
}

void skin_mesh(Model *mesh, const float *centres, const float *translations, const float *rotations,
               int bone_count)
{
    if (shaders_active() || mesh->bone_count <= 0 || bone_count != mesh->bone_count || !centres ||
        !translations || !rotations)
        return;
    int n = mesh->vertex_count;
    for (int v = 0; v < n; v++) {
        const float *p = rest(mesh->positions, mesh) + 3 * v;
        const float *normal = rest(mesh->normals, mesh) + 3 * v;
        const float *tangent = rest(mesh->tangents, mesh) + 3 * v;
        float position[3] = {0, 0, 0}, normal_sum[3] = {0, 0, 0}, tangent_sum[3] = {0, 0, 0};
        for (int k = 0; k < 4; k++) {
            float w = mesh->weights[4 * v + k];
            int b = mesh->bone_indices[4 * v + k];
            if (!(w > 0.0f) || b < 0 || b >= bone_count)
                continue;
            const float *r = rotations + 9 * b;
            float d[3] = {p[0] - centres[3 * b], p[1] - centres[3 * b + 1], p[2] - centres[3 * b + 2]};
            float moved[3], turned_normal[3], turned_tangent[3];
            rotate_by_bone(r, d, moved);
            rotate_by_bone(r, normal, turned_normal);
            rotate_by_bone(r, tangent, turned_tangent);
            for (int i = 0; i < 3; i++) {
                position[i] += w * (moved[i] + translations[3 * b + i]);
                normal_sum[i] += w * turned_normal[i];
                tangent_sum[i] += w * turned_tangent[i];
            }
        }
        normalise_unless_zero(normal_sum);
        normalise_unless_zero(tangent_sum);
        memcpy(mesh->positions + 3 * v, position, sizeof position);
        memcpy(mesh->normals + 3 * v, normal_sum, sizeof normal_sum);
        memcpy(mesh->tangents + 3 * v, tangent_sum, sizeof tangent_sum);
    }
}

void compute_env_coordinates(Model *mesh, const float *eye, const float *position, const float *rotation)
{
    const double two_pi = 6.283185307179586;
    double ray[3];
    for (int j = 0; j < 3; j++) {
        ray[j] = 0;
        for (int i = 0; i < 3; i++)
            ray[j] += (double)rotation[i * 3 + j] * ((double)position[i] - eye[i]);
    }
    for (int v = 0; v < mesh->vertex_count; v++) {
        const float *p = mesh->positions + 3 * v;
        const float *n = mesh->normals + 3 * v;
        double e[3] = {p[0] + ray[0], p[1] + ray[1], p[2] + ray[2]};
        double ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2];
        double r[3] = {e[0] - 2 * ne * n[0], e[1] - 2 * ne * n[1], e[2] - 2 * ne * n[2]};
        double w[3];
        for (int i = 0; i < 3; i++)
            w[i] = rotation[i * 3] * r[0] + rotation[i * 3 + 1] * r[1] + rotation[i * 3 + 2] * r[2];
        double length = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        float *out = mesh->coordinates + 2 * v;
        if (!(length > 0) || !std::isfinite(length)) {
            out[0] = out[1] = 0.5f;
            continue;
        }
        for (double &c : w)
            c /= length;
        double y = w[1] < -1 ? -1 : w[1] > 1 ? 1 : w[1];
        double a = std::acos(y);
        double h = std::sqrt(w[0] * w[0] + w[2] * w[2]);
        double hx = h > 0 ? w[0] / h : 0, hz = h > 0 ? w[2] / h : 0;
        out[0] = (float)(hx * a / two_pi + 0.5);
        out[1] = (float)(hz * a / two_pi + 0.5);
    }
}

// The bone pose for the shaders: nbones 0 unless the pose fits the mesh.
static void set_pose_uniforms(const Model *level, const float *centres, const float *translations,
                              const float *rotations, int bone_count)
{
    if (!shaders_active())
        return;
    int fits = bone_count > 0 && bone_count == level->bone_count && centres && translations && rotations;
    shader_set_bones(fits ? bone_count : 0, centres, translations, rotations);
}

void draw_model(Model *model, const float *eye, const float *position, const float *rotation,
                const float *centres, const float *translations, const float *rotations, int bone_count)
{
    (void)eye;
    (void)rotation;
    if (!model || !position)
        return;
    Model *level = (Model *)choose_model_level(model, position);
    set_pose_uniforms(level, centres, translations, rotations, bone_count);
    static const float black[4] = {0, 0, 0, 1};
    for (Model *mesh = level; mesh; mesh = mesh->next) {
        if (mesh->material == MATERIAL_REFLECTIVE)
            break;
        int glowing = mesh->material == MATERIAL_GLOWING;
        if (glowing) {
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
            glLightfv(GL_LIGHT0, GL_AMBIENT, mesh->colour);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1.0f);
        } else {
            float shininess = mesh->material > 0.125f ? mesh->material : 0.125f;
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mesh->colour);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess < 128.0f ? shininess : 128.0f);
        }
        if (mesh->bone_count > 0)
            skin_mesh(mesh, centres, translations, rotations, bone_count);
        draw_mesh(mesh);
        if (glowing) {
            const float *g = track_lighting.global_ambient, *a = track_lighting.ambient;
            const float global[4] = {g[0], g[1], g[2], 1}, ambient[4] = {a[0], a[1], a[2], 1};
            const float white[4] = {1, 1, 1, 1};
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
            glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        }
    }
}

void draw_model_env(Model *model, const float *eye, const float *position, const float *rotation,
                    const float *centres, const float *translations, const float *rotations, int bone_count)
{
    if (!model || !position || !rotation || !eye)
        return;
    Model *level = (Model *)choose_model_level(model, position);
    set_pose_uniforms(level, centres, translations, rotations, bone_count);
    for (Model *mesh = level; mesh; mesh = mesh->next) {
        if (mesh->material != MATERIAL_REFLECTIVE)
            continue;
        if (!shaders_active())
            compute_env_coordinates(mesh, eye, position, rotation);
        const float *c = mesh->colour;
        glColor4f(c[3] * c[0], c[3] * c[1], c[3] * c[2], 1.0f);
        if (mesh->bone_count > 0)
            skin_mesh(mesh, centres, translations, rotations, bone_count);
        draw_mesh(mesh);
    }
}

void draw_part_model(Model *model, const float *eye, const float *position, const float *rotation)
{
    draw_model(model, eye, position, rotation, nullptr, nullptr, nullptr, 0);
}

void draw_part_model_env(Model *model, const float *eye, const float *position, const float *rotation)
{
    draw_model_env(model, eye, position, rotation, nullptr, nullptr, nullptr, 0);
}

int model_needs_env_pass(const Model *model)
{
    return reflections_enabled && model && model->environment;
}

int shaders_in_use(void)
{
    return shader_programs_available && gl_entry.glActiveTextureARB;
}

void bind_texture_unit(unsigned unit, int texture)
{
    gl_entry.glActiveTextureARB(unit);
    if (texture) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
}
