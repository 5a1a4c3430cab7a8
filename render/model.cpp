// ".jm" model files: reading the old, JM1 and JM2 layouts, triangle
// cleaning, tangents, texture densities, display lists, the model cache
// with its levels of detail, and the POV-Ray mesh text.
#include "render/model.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "render/gl_extensions.h"
#include "render/load_ahead.h"
#include "render/model_draw.h"
#include "render/render_settings.h"

int model_generation;

static GrowableArray model_table;   // Model *
static thread_local int dropped_triangles;   // by the meshes of the file being parsed

// A parse off the GL thread keeps its messages for the GL thread to print
// and leaves the display lists to it.
static thread_local ModelMessages *messages_later;

static void model_message(const char *text)
{
    if (!messages_later) {
        print_message(text);
        return;
    }
    size_t length = strlen(text) + 1;
    char *grown = (char *)checked_realloc(messages_later->text, messages_later->length + length);
    if (!grown)
        return;
    memcpy(grown + messages_later->length, text, length);
    messages_later->text = grown;
    messages_later->length += length;
}

static Model **models(void)
{
    return (Model **)model_table.data;
}

static size_t align8(size_t n)
{
    return (n + 7) & ~(size_t)7;
}

// One block for the record, its arrays and its name.
static Model *allocate_mesh(const char *name, int vertices, int triangles, int skinned)
{
    size_t pose = (size_t)vertices * 3 * sizeof(float) * (skinned ? 2 : 1);
    size_t sizes[7] = {
        pose, pose, pose,
        (size_t)vertices * 2 * sizeof(float),
        skinned ? (size_t)vertices * 4 * sizeof(float) : 0,
        skinned ? (size_t)vertices * 4 * sizeof(int) : 0,
        (size_t)triangles * 3 * sizeof(int),
    };
    size_t total = align8(sizeof(Model));
    for (size_t size : sizes)
        total += align8(size);
    total += strlen(name) + 1;
    Model *mesh = (Model *)checked_calloc(1, total);
    if (!mesh)
        return nullptr;
    char *at = (char *)mesh + align8(sizeof(Model));
    void **arrays[7] = {(void **)&mesh->positions, (void **)&mesh->normals,   (void **)&mesh->tangents,
                        (void **)&mesh->coordinates, (void **)&mesh->weights, (void **)&mesh->bone_indices,
                        (void **)&mesh->triangles};
    for (int i = 0; i < 7; i++) {
        *arrays[i] = sizes[i] ? at : nullptr;
        at += align8(sizes[i]);
    }
    mesh->name = at;
    strcpy(mesh->name, name);
    mesh->vertex_count = vertices;
    mesh->triangle_count = triangles;
    return mesh;
}

static int read_float(GameFile *file, float *value)
{
    return file_scanf(file, "%f", value) == 1 && std::isfinite(*value);
}

static int read_floats(GameFile *file, float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!read_float(file, &values[i]))
            return 0;
    return 1;
}

// Drops triangles whose corners are not all vertices; the count dropped.
static int drop_bad_indices(Model *mesh)
{
    int kept = 0;
    for (int i = 0; i < mesh->triangle_count; i++) {
        const int *t = mesh->triangles + 3 * i;
        if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[0] >= mesh->vertex_count || t[1] >= mesh->vertex_count ||
            t[2] >= mesh->vertex_count)
            continue;
        memmove(mesh->triangles + 3 * kept++, t, 3 * sizeof(int));
    }
    int dropped = mesh->triangle_count - kept;
    mesh->triangle_count = kept;
    return dropped;
}

static void corner_difference(const float *a, const float *b, double out[3])
{
    for (int i = 0; i < 3; i++)
        out[i] = (double)b[i] - (double)a[i];
}

static void cross(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

static double dot(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

static void compute_tangents(Model *mesh)
{
    int n = mesh->vertex_count;
    double *sums = (double *)checked_calloc((size_t)(n > 0 ? n : 1) * 3, sizeof(double));
    if (!sums)
        fatal_out_of_memory();
    const double tiny = std::ldexp(1.0, -20);
    for (int i = 0; i < mesh->triangle_count; i++) {
        const int *t = mesh->triangles + 3 * i;
        const float *p0 = mesh->positions + 3 * t[0], *p1 = mesh->positions + 3 * t[1],
                    *p2 = mesh->positions + 3 * t[2];
        const float *c0 = mesh->coordinates + 2 * t[0], *c1 = mesh->coordinates + 2 * t[1],
                    *c2 = mesh->coordinates + 2 * t[2];
        double e1[3], e2[3], tangent[3];
        corner_difference(p0, p1, e1);
        corner_difference(p0, p2, e2);
        double du1 = (double)c1[0] - c0[0], dv1 = (double)c1[1] - c0[1];
        double du2 = (double)c2[0] - c0[0], dv2 = (double)c2[1] - c0[1];
        double det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) >= tiny) {
            double b[3], tb[3], face[3];
            for (int k = 0; k < 3; k++) {
                tangent[k] = (e1[k] * dv2 - e2[k] * dv1) / det;
                b[k] = (e2[k] * du1 - e1[k] * du2) / det;
            }
            cross(tangent, b, tb);
            cross(e1, e2, face);
            if (!(dot(tb, face) > 0))
                for (double &v : tangent)
                    v = -v;
        } else {
            double l1 = std::sqrt(dot(e1, e1)), l2 = std::sqrt(dot(e2, e2));
            const double *longer = l1 > l2 ? e1 : e2;
            double length = l1 > l2 ? l1 : l2;
            if (length > 0)
                for (int k = 0; k < 3; k++)
                    tangent[k] = longer[k] / length * tiny;
            else
                tangent[0] = tiny, tangent[1] = tangent[2] = 0;
        }
        for (int c = 0; c < 3; c++)
            for (int k = 0; k < 3; k++)
                sums[3 * t[c] + k] += tangent[k];
    }
    for (int v = 0; v < n; v++) {
        double *s = sums + 3 * v;
        double length = std::sqrt(dot(s, s));
        float *out = mesh->tangents + 3 * v;
        if (length > 0 && std::isfinite(length)) {
            for (int k = 0; k < 3; k++)
                out[k] = (float)(s[k] / length);
        } else {
            out[0] = 1.0f;
            out[1] = out[2] = 0.0f;
        }
    }
    checked_free(sums);
    if (mesh->bone_count > 0 && n > 0)   // a mesh without vertices has no arrays
        memcpy(mesh->tangents + 3 * n, mesh->tangents, (size_t)n * 3 * sizeof(float));
}

// Drops triangles of (near) zero area; the count dropped.
static int drop_degenerate(Model *mesh)
{
    const double limit = std::ldexp(1.0, -80);
    int kept = 0;
    for (int i = 0; i < mesh->triangle_count; i++) {
        const int *t = mesh->triangles + 3 * i;
        double e1[3], e2[3], c[3];
        corner_difference(mesh->positions + 3 * t[0], mesh->positions + 3 * t[1], e1);
        corner_difference(mesh->positions + 3 * t[0], mesh->positions + 3 * t[2], e2);
        cross(e1, e2, c);
        if (!(dot(c, c) >= limit))
            continue;
        memmove(mesh->triangles + 3 * kept++, t, 3 * sizeof(int));
    }
    int dropped = mesh->triangle_count - kept;
    mesh->triangle_count = kept;
    return dropped;
}

static void compute_densities(Model *mesh)
{
    mesh->density_s = mesh->density_t = 0.0f;
    for (int i = 0; i < mesh->triangle_count; i++)
        for (int e = 0; e < 3; e++) {
            int a = mesh->triangles[3 * i + e], b = mesh->triangles[3 * i + (e + 1) % 3];
            double d[3];
            corner_difference(mesh->positions + 3 * a, mesh->positions + 3 * b, d);
            double length = std::sqrt(dot(d, d));
            if (!(length >= 1.0 / 16.0) || !std::isfinite(length))
                continue;
            double s = std::fabs((double)mesh->coordinates[2 * b] - mesh->coordinates[2 * a]) / length;
            double t = std::fabs((double)mesh->coordinates[2 * b + 1] - mesh->coordinates[2 * a + 1]) / length;
            if (s > mesh->density_s)
                mesh->density_s = (float)s;
            if (t > mesh->density_t)
                mesh->density_t = (float)t;
        }
}

// Meshes drawn through a display list: all but the skinned and the
// reflective or glowing ones when there are no shader programs.
static int mesh_wants_list(const Model *mesh)
{
    return shader_programs_available || (mesh->bone_count == 0 && mesh->material >= 0);
}

static void compile_display_list(Model *mesh)
{
    if (messages_later || !gl_ready())
        return;
    GLuint list = glGenLists(1);
    if (list == 0)
        return;
    glNewList(list, GL_COMPILE);
    draw_mesh_arrays(mesh);
    glEndList();
    mesh->display_list = list;
}

// Bad indices out, tangents, degenerate triangles out; the count dropped.
static int finish_mesh(Model *mesh)
{
    int dropped = drop_bad_indices(mesh);
    compute_tangents(mesh);
    return dropped + drop_degenerate(mesh);
}

static int read_triangles(GameFile *file, Model *mesh)
{
    for (int i = 0; i < mesh->triangle_count * 3; i++)
        if (file_scanf(file, "%d", &mesh->triangles[i]) != 1)
            return 0;
    return 1;
}

static int counts_fit(int vertices, int triangles)
{
    return vertices >= 0 && triangles >= 0 && vertices <= MODEL_MAX_VERTICES && triangles <= MODEL_MAX_TRIANGLES;
}

// Whether the rest of the file can hold what a mesh header declares, before
// anything is allocated for it: per vertex 8 numbers and one weight per
// bone, per triangle 3, each number a character and a blank at least (the
// last one's blank may be missing).
static int file_holds_mesh(GameFile *file, const char *name, int vertices, int triangles, int bones)
{
    int64_t numbers = (int64_t)vertices * (8 + bones) + (int64_t)triangles * 3;
    int64_t bound = file_bytes_bound(file);
    if (numbers <= (bound + 1) / 2)
        return 1;
    log_printf("Model '%.900s' refused: %d vertices and %d triangles need %lld bytes, the file holds at most %lld\n",
               name, vertices, triangles, (long long)(2 * numbers - 1), (long long)bound);
    return 0;
}

// The vertex's weights, one per bone, kept in its four strongest slots.
static int read_weights(GameFile *file, Model *mesh, int vertex, int *warned)
{
    float *weights = mesh->weights + 4 * vertex;
    int *bones = mesh->bone_indices + 4 * vertex;
    for (int b = 0; b < mesh->bone_count; b++) {
        float w;
        if (file_scanf(file, "%f", &w) != 1)
            return 0;
        if (!std::isfinite(w) || w <= 0.0f)
            continue;
        int slot = 0;
        for (int k = 1; k < 4; k++)
            if (weights[k] < weights[slot])
                slot = k;
        if (weights[slot] > 0.0f && !*warned) {
            char message[1000];
            snprintf(message, sizeof message, "Warning: vertex with more than 4 bone influences in '%.900s'",
                     mesh->name);
            model_message(message);
            *warned = 1;
        }
        weights[slot] = w;
        bones[slot] = b;
    }
    double sum = (double)weights[0] + weights[1] + weights[2] + weights[3];
    for (int k = 0; k < 4; k++)
        weights[k] = sum > 0 && std::isfinite(sum) ? (float)(weights[k] / sum) : 0.25f;
    return 1;
}

Model *read_mesh(GameFile *file, const char *name, int bone_count)
{
    float material, alpha, red, green, blue;
    int vertices, triangles;
    if (file_scanf(file, "%f %f %f %f %f %d %d", &material, &alpha, &red, &green, &blue, &vertices,
                   &triangles) != 7)
        return nullptr;
    if (!std::isfinite(material) || !std::isfinite(alpha) || !std::isfinite(red) || !std::isfinite(green) ||
        !std::isfinite(blue) || !counts_fit(vertices, triangles) || bone_count < 0 || bone_count > MAX_BONE ||
        !file_holds_mesh(file, name, vertices, triangles, bone_count))
        return nullptr;
    int skinned = bone_count > 0;
    Model *mesh = allocate_mesh(name, vertices, triangles, skinned);
    if (!mesh)
        fatal_out_of_memory();
    mesh->bone_count = bone_count;
    mesh->material = material;
    mesh->colour[0] = red;
    mesh->colour[1] = green;
    mesh->colour[2] = blue;
    mesh->colour[3] = material >= 0 ? 1.0f : alpha;
    mesh->environment = material == MATERIAL_REFLECTIVE;
    int warned = 0;
    for (int v = 0; v < vertices; v++) {
        float *coordinate = mesh->coordinates + 2 * v;
        if (!read_floats(file, mesh->positions + 3 * v, 3) || !read_floats(file, mesh->normals + 3 * v, 3) ||
            !read_floats(file, coordinate, 2) || (skinned && !read_weights(file, mesh, v, &warned))) {
            checked_free(mesh);
            return nullptr;
        }
        coordinate[1] = 1.0f - coordinate[1];
    }
    if (skinned && vertices > 0) {   // a mesh without vertices has no arrays
        memcpy(mesh->positions + 3 * vertices, mesh->positions, (size_t)vertices * 3 * sizeof(float));
        memcpy(mesh->normals + 3 * vertices, mesh->normals, (size_t)vertices * 3 * sizeof(float));
    }
    if (!read_triangles(file, mesh)) {
        checked_free(mesh);
        return nullptr;
    }
    dropped_triangles += finish_mesh(mesh);
    if (mesh_wants_list(mesh))
        compile_display_list(mesh);
    return mesh;
}

static void delete_mesh_lists(Model *mesh)
{
    if (mesh->display_list && gl_ready())
        glDeleteLists(mesh->display_list, 1);
    mesh->display_list = 0;
}

void free_model(Model *model)
{
    while (model) {
        Model *lower = model->lower;
        for (Model *mesh = model; mesh;) {
            Model *next = mesh->next;
            delete_mesh_lists(mesh);
            checked_free(mesh);
            mesh = next;
        }
        model = lower;
    }
}

static Model *parse_old_layout(GameFile *file, const char *name)
{
    int vertices, triangles;
    if (file_scanf(file, "%d %d", &vertices, &triangles) != 2 || !counts_fit(vertices, triangles) ||
        !file_holds_mesh(file, name, vertices, triangles, 0))
        return nullptr;
    Model *mesh = allocate_mesh(name, vertices, triangles, 0);
    if (!mesh)
        fatal_out_of_memory();
    for (int c = 0; c < 4; c++)
        mesh->colour[c] = 1.0f;
    mesh->material = 32.0f;
    for (int v = 0; v < vertices; v++) {
        if (!read_floats(file, mesh->positions + 3 * v, 3) || !read_floats(file, mesh->normals + 3 * v, 3) ||
            !read_floats(file, mesh->coordinates + 2 * v, 2)) {
            checked_free(mesh);
            return nullptr;
        }
        mesh->coordinates[2 * v + 1] = 1.0f - mesh->coordinates[2 * v + 1];
    }
    if (!read_triangles(file, mesh)) {
        checked_free(mesh);
        return nullptr;
    }
    dropped_triangles += finish_mesh(mesh);
    compile_display_list(mesh);
    return mesh;
}

Model *parse_model(const char *name)
{
    if (!name)
        return nullptr;
    GameFile *file = file_open(name, "rb");
    if (!file)
        return nullptr;
    dropped_triangles = 0;
    int version;
    Model *model = nullptr;
    if (file_scanf(file, "JM%d", &version) == 1) {
        int bones = 0;
        char skeleton[1024];
        if (version == 2) {
            if (file_scanf(file, "%d %1023s", &bones, skeleton) != 2 || bones < 0 || bones > MAX_BONE) {
                file_close(file);
                return nullptr;
            }
        } else if (version != 1) {
            file_close(file);
            return nullptr;
        }
        Model *last = nullptr;
        while (Model *mesh = read_mesh(file, name, bones)) {
            if (last)
                last->next = mesh;
            else
                model = mesh;
            last = mesh;
        }
    } else {
        // No "JM" word: the old layout, read again from the start.
        file_close(file);
        file = file_open(name, "rb");
        if (!file)
            return nullptr;
        model = parse_old_layout(file, name);
    }
    file_close(file);
    if (!model)
        return nullptr;
    for (Model *mesh = model; mesh; mesh = mesh->next) {
        compute_densities(mesh);
        if (mesh != model) {
            model->environment |= mesh->environment;
            model->density_s = mesh->density_s > model->density_s ? mesh->density_s : model->density_s;
            model->density_t = mesh->density_t > model->density_t ? mesh->density_t : model->density_t;
        }
    }
    if (dropped_triangles > 0) {
        char message[200];
        snprintf(message, sizeof message, "%d degenerate triangles deleted in %.100s", dropped_triangles, name);
        model_message(message);
    }
    return model;
}

// Adds the "_lod" levels of detail that the file index holds for the model.
static void find_lower_levels(Model *model, const char *name)
{
    if (name[0] != '@')
        return;
    const char *dot = strrchr(name + 1, '.');
    if (!dot)
        return;
    size_t stem = (size_t)(dot - (name + 1));
    const char *const *index = build_file_index();
    for (int i = 0; index && index[i]; i++) {
        const char *entry = index[i];
        if (strncmp(entry, name + 1, stem) || strncmp(entry + stem, "_lod", 4))
            continue;
        const char *number = entry + stem + 4;
        char *end;
        double n = strtod(number, &end);
        if (end == number)
            continue;
        double distance = std::pow(2.0, n);
        if (!std::isfinite(distance) || !std::isfinite((float)distance))
            continue;
        size_t length = strlen(entry);
        char *path = (char *)checked_malloc(length + 2);
        if (!path)
            continue;
        path[0] = '@';
        strcpy(path + 1, entry);
        if (length > 3 && !strcmp(path + 1 + length - 3, ".gz"))
            path[1 + length - 3] = 0;
        Model *level = parse_model(path);
        checked_free(path);
        if (!level)
            continue;
        level->lod_distance = (float)distance;
        Model **link = &model->lower;
        while (*link && (*link)->lod_distance < level->lod_distance)
            link = &(*link)->lower;
        level->lower = *link;
        *link = level;
    }
}

Model *load_model(const char *name)
{
    if (!name)
        return nullptr;
    for (int i = 0; i < model_table.count; i++)
        if (!strcmp(models()[i]->name, name)) {
            models()[i]->generation = model_generation;
            return models()[i];
        }
    for (int i = 0; i < model_table.count; i++)
        if (!strcasecmp(models()[i]->name, name)) {
            char message[1000];
            snprintf(message, sizeof message, "Warning: case mismatch on '%.900s'", name);
            print_message(message);
            models()[i]->generation = model_generation;
            return models()[i];
        }
    // A model parsed ahead comes with its levels; its lists and messages
    // are made here, where the parse would have made them.
    Model *model = nullptr;
    int ahead = take_model_ahead(name, &model);
    if (!ahead)
        model = parse_model(name);
    if (!model)
        return nullptr;
    model->generation = model_generation;
    model->lod_distance = 0.0f;
    if (!ahead)
        model->lower = nullptr;
    if (!model_table.data && !init_growable_array(&model_table, sizeof(Model *)))
        fatal_out_of_memory();
    Model **slot = (Model **)append_to_growable_array(&model_table);
    if (!slot)
        fatal_out_of_memory();
    *slot = model;
    if (!ahead)
        find_lower_levels(model, name);
    return model;
}

int model_is_cached(const char *name)
{
    for (int i = 0; i < model_table.count; i++)
        if (!strcasecmp(models()[i]->name, name))
            return 1;
    return 0;
}

Model *parse_model_off_gl(const char *name, ModelMessages *messages)
{
    messages_later = messages;
    Model *model = parse_model(name);
    if (model) {
        model->lod_distance = 0.0f;
        model->lower = nullptr;
        find_lower_levels(model, name);
    }
    messages_later = nullptr;
    return model;
}

void finish_model_off_gl(Model *model, ModelMessages *messages)
{
    for (size_t at = 0; messages->text && at < messages->length; at += strlen(messages->text + at) + 1)
        print_message(messages->text + at);
    checked_free(messages->text);
    messages->text = nullptr;
    messages->length = 0;
    for (Model *level = model; level; level = level->lower)
        for (Model *mesh = level; mesh; mesh = mesh->next)
            if (mesh_wants_list(mesh))
                compile_display_list(mesh);
}

void free_models(int all)
{
    while (model_table.count > 0) {
        Model *model = models()[model_table.count - 1];
        if (!all && (model->generation == 0 || model->generation == model_generation))
            break;
        if (debug_level) {
            char message[1000];
            snprintf(message, sizeof message, "deleting model %.900s", model->name);
            print_message(message);
        }
        free_model(model);
        model_table.count--;
    }
    if (all)
        free_growable_array(&model_table);
}

const char *get_model_name(const Model *model)
{
    return model ? model->name : nullptr;
}

static void write_vectors(GameFile *file, const char *title, const float *values, int count, int size)
{
    file_printf(file, "\t%s {\n", title);
    file_printf(file, "\t\t%d\n", count);
    for (int i = 0; i < count; i++) {
        const char *comma = i + 1 < count ? "," : "";
        const float *v = values + (size_t)i * size;
        if (size == 3)
            file_printf(file, "\t\t<%f,%f,%f>%s\n", v[0], v[1], v[2], comma);
        else
            file_printf(file, "\t\t<%f,%f>%s\n", v[0], v[1], comma);
    }
    file_printf(file, "\t}\n");
}

void write_model_pov(const Model *mesh, GameFile *file)
{
    if (!mesh || !file)
        return;
    file_printf(file, "mesh2 {\n");
    write_vectors(file, "vertex_vectors", mesh->positions, mesh->vertex_count, 3);
    write_vectors(file, "normal_vectors", mesh->normals, mesh->vertex_count, 3);
    write_vectors(file, "uv_vectors", mesh->coordinates, mesh->vertex_count, 2);
    file_printf(file, "\tface_indices {\n");
    file_printf(file, "\t\t%d\n", mesh->triangle_count);
    for (int i = 0; i < mesh->triangle_count; i++) {
        const int *t = mesh->triangles + 3 * i;
        file_printf(file, "\t\t<%d,%d,%d>%s\n", t[0], t[1], t[2], i + 1 < mesh->triangle_count ? "," : "");
    }
    file_printf(file, "\t}\n");
    file_printf(file, "}\n");
}

void write_model_pov_union(const Model *model, GameFile *file)
{
    if (!model || !file)
        return;
    if (!model->next) {
        write_model_pov(model, file);
        return;
    }
    file_printf(file, "union {\n");
    for (const Model *mesh = model; mesh; mesh = mesh->next)
        write_model_pov(mesh, file);
    file_printf(file, "}\n");
}

void model_texture_sizes(const Model *model, int size, int *s, int *t)
{
    const double densities[2] = {model ? model->density_s : 0.0, model ? model->density_t : 0.0};
    int *out[2] = {s, t};
    double side = size > 0 ? size : 0;
    for (int i = 0; i < 2; i++)
        *out[i] = side / 8192.0 > densities[i] || !(densities[i] > 0) ? 8192 : (int)(side / densities[i]);
}
