// Statues and billboards: creation, placement on the ground, the two tables
// and the "statues" and "billboards" files.
#include "track/objects.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/shape.h"
#include "core/file.h"
#include "core/message.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "track/terrain.h"
#include "track/track.h"

GrowableArray statue_table;
int statue_file_start;
GrowableArray billboard_table;
int billboard_file_start;
GrowableArray billboard_draw_slots;

Statue *get_statue(int index)
{
    if (index < 0 || index >= statue_table.count)
        return nullptr;
    return (Statue *)statue_table.data + index;
}

Billboard *get_billboard(int index)
{
    if (index < 0 || index >= billboard_table.count)
        return nullptr;
    return (Billboard *)billboard_table.data + index;
}

static float ground_height(float x, float z)
{
    const Terrain *terrain = current_terrain;
    return terrain && terrain->heights ? sample_ground_height(terrain, x, z) : 0.0f;
}

int load_texture_variant(const char *name, const char *tail, const char *suffix)
{
    size_t length = strlen(name), tail_length = strlen(tail);
    if (tail_length > length || strcmp(name + length - tail_length, tail))
        return 0;
    char *variant = (char *)xmalloc(length - tail_length + strlen(suffix) + 1);
    memcpy(variant, name, length - tail_length);
    strcpy(variant + length - tail_length, suffix);
    int texture = load_texture(variant);
    checked_free(variant);
    return texture;
}

// The first of base (cut before cut_at) + each suffix that loads.
static int load_first_variant(const char *base, const char *cut_at, const char *const *suffixes)
{
    for (int i = 0; i < 3; i++) {
        int texture = load_texture_variant(base, cut_at, suffixes[i]);
        if (texture)
            return texture;
    }
    return 0;
}

// A statue's normal ("_norm") or specular ("_spec") map by the naming rules.
static int find_statue_map(const char *texture, const char *model, const char *kind)
{
    char repeat[3][32], plain[3][32];
    static const char *const types[3] = {".seq", ".png", ".ppm"};
    const char *repeat_suffixes[3], *plain_suffixes[3];
    for (int i = 0; i < 3; i++) {
        snprintf(repeat[i], sizeof repeat[i], "%s-repeat%s", kind, types[i]);
        snprintf(plain[i], sizeof plain[i], "%s%s", kind, types[i]);
        repeat_suffixes[i] = repeat[i];
        plain_suffixes[i] = plain[i];
    }
    size_t length = strlen(texture);
    int repeated = 0;
    for (int i = 0; i < 3; i++) {
        char tail[32];
        snprintf(tail, sizeof tail, "-repeat%s", i == 0 ? ".png" : i == 1 ? ".ppm" : ".seq");
        size_t t = strlen(tail);
        if (length >= t && !strcmp(texture + length - t, tail))
            repeated = 1;
    }
    const char *cut = strrchr(texture, repeated ? '-' : '.');
    if (!cut)
        return 0;
    int found = load_first_variant(texture, cut, repeated ? repeat_suffixes : plain_suffixes);
    if (!found && model) {
        const char *dot = strrchr(model, '.');
        if (dot)
            found = load_first_variant(model, dot, plain_suffixes);
    }
    return found;
}

void place_statue(Statue *statue)
{
    statue->y = ground_height(statue->x, statue->z) + statue->height_offset;
    compute_ground_basis(statue->orientation, statue->x, statue->z, statue->yaw);
}

void free_statue(Statue *statue)
{
    checked_free(statue->shape);
    checked_free(statue->pose_centres);
    checked_free(statue->pose_offsets);
    checked_free(statue->pose_rotations);
    statue->shape = nullptr;
    for (char *&name : statue->names) {
        checked_free(name);
        name = nullptr;
    }
    statue->pose_centres = statue->pose_offsets = statue->pose_rotations = nullptr;
    statue->pose_count = 0;
}

// The index a failed append answers: the last entry, never below 0.
static int last_index(const GrowableArray *table)
{
    return table->count > 0 ? table->count - 1 : 0;
}

int add_statue(float x, float height_offset, float z, float yaw, const char *model_name,
               const char *texture_name, const char *shape_name)
{
    Statue statue;
    memset(&statue, 0, sizeof statue);
    statue.x = x;
    statue.z = z;
    statue.height_offset = height_offset;
    statue.yaw = yaw;
    statue.yaw_power = yaw >= 3.25f ? exp2f(yaw) : 0.0f;
    statue.names[0] = checked_strdup(model_name);
    statue.names[1] = checked_strdup(texture_name);
    statue.names[2] = checked_strdup(shape_name);
    if (model_name)
        statue.model = load_model(model_name);
    if (statue.model && texture_name) {
        statue.texture = load_texture(texture_name);
        if (normal_mapping_enabled) {
            const char *model_file = get_model_name(statue.model);
            statue.normal_texture = find_statue_map(texture_name, model_file, "_norm");
            statue.specular_texture = find_statue_map(texture_name, model_file, "_spec");
        }
    }
    if (shape_name) {
        statue.shape = clone_shape(shape_name);
        if (!statue.shape) {
            char message[1000];
            snprintf(message, sizeof message, "Warning: missing shape file %.900s", shape_name);
            print_message(message);
        }
    }
    place_statue(&statue);
    if (!statue_table.data)
        init_growable_array(&statue_table, sizeof(Statue));
    Statue *slot = statue_table.data ? (Statue *)append_to_growable_array(&statue_table) : nullptr;
    if (!slot) {
        free_statue(&statue);
        return last_index(&statue_table);
    }
    *slot = statue;
    return statue_table.count - 1;
}

static int parse_colour_prefix(const char *name, uint8_t *colour)
{
    if (strlen(name) <= 7 || name[0] != '#' || name[7] != '#')
        return 0;
    for (int i = 1; i < 7; i++)
        if (!strchr("0123456789abcdefABCDEF", name[i]))
            return 0;
    unsigned value = 0;
    if (sscanf(name, "#%x#", &value) != 1)
        return 0;
    colour[0] = (uint8_t)(value >> 16);
    colour[1] = (uint8_t)(value >> 8);
    colour[2] = (uint8_t)value;
    return 1;
}

int add_billboard(float x, float height_offset, float z, float width, float height,
                  const char *texture_name)
{
    Billboard billboard;
    memset(&billboard, 0, sizeof billboard);
    memset(billboard.colour, 255, sizeof billboard.colour);
    if (texture_name && parse_colour_prefix(texture_name, billboard.colour))
        texture_name += 8;
    billboard.texture = texture_name ? load_texture(texture_name) : 0;
    billboard.texture_name = checked_strdup(texture_name);
    billboard.x = x;
    billboard.z = z;
    billboard.width = width;
    billboard.height = height;
    billboard.height_offset = height_offset;
    billboard.y = ground_height(x, z) + height_offset;
    if (!billboard_draw_slots.data)
        init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    if (!billboard_table.data)
        init_growable_array(&billboard_table, sizeof(Billboard));
    // Two draw slots per billboard: when either table cannot grow, nothing
    // is added to both.
    int slots_before = billboard_draw_slots.count;
    Billboard *slot = nullptr;
    if (append_to_growable_array(&billboard_draw_slots) && append_to_growable_array(&billboard_draw_slots))
        slot = (Billboard *)append_to_growable_array(&billboard_table);
    if (!slot) {
        billboard_draw_slots.count = slots_before;
        checked_free(billboard.texture_name);
        return last_index(&billboard_table);
    }
    *slot = billboard;
    return billboard_table.count - 1;
}

static const char *name_or_null(const char *name)
{
    return name ? name : "null";
}

void free_billboard_names(void)
{
    for (int i = 0; i < billboard_table.count; i++) {
        checked_free(get_billboard(i)->texture_name);
        get_billboard(i)->texture_name = nullptr;
    }
}

void remove_billboard(int index)
{
    Billboard *b = get_billboard(index);
    if (!b)
        return;
    checked_free(b->texture_name);
    Billboard *table = (Billboard *)billboard_table.data;
    memmove(table + index, table + index + 1, (size_t)(billboard_table.count - index - 1) * sizeof *table);
    billboard_table.count--;
    // Its two draw slots go with it.
    if (billboard_draw_slots.count >= 2)
        billboard_draw_slots.count -= 2;
}

static GameFile *open_object_file(const char *suffix, const char *failure)
{
    GameFile *file = open_track_write(suffix);
    if (!file)
        print_message(failure);
    return file;
}

int write_statues(void)
{
    GameFile *file = open_object_file("/statues", "Can't open 'statues'\n");
    if (!file)
        return 0;
    int ok = 1;
    for (int i = statue_file_start; ok && i < statue_table.count; i++) {
        const Statue *s = get_statue(i);
        ok = file_printf(file, "[%f %f %f] %f %s %s %s\n", s->x, s->height_offset, s->z, s->yaw,
                         name_or_null(s->names[0]), name_or_null(s->names[1]), name_or_null(s->names[2])) > 0;
    }
    return close_track_write_reporting(file, "statues", ok);
}

int write_billboards(void)
{
    GameFile *file = open_object_file("/billboards", "Can't open 'billboards'\n");
    if (!file)
        return 0;
    int ok = 1;
    for (int i = billboard_file_start; ok && i < billboard_table.count; i++) {
        const Billboard *b = get_billboard(i);
        const char *name = b->texture_name;
        if (!name)
            continue;
        ok = file_printf(file, "[%f %f %f] %f %f ", b->x, b->height_offset, b->z, b->width, b->height) > 0;
        if (b->colour[0] == 255 && b->colour[1] == 255 && b->colour[2] == 255)
            ok = ok && file_printf(file, "%s\n", name) > 0;
        else
            ok = ok && file_printf(file, "#%02x%02x%02x#%s\n", b->colour[0], b->colour[1], b->colour[2], name) > 0;
    }
    return close_track_write_reporting(file, "billboards", ok);
}

static int all_finite(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

static const char *unless_null(const char *name)
{
    return strcmp(name, "null") ? name : nullptr;
}

void read_statues(GameFile *file, void (*progress)(void))
{
    static char model[1024], texture[1024], shape[1024];
    float v[4];
    while (file_scanf(file, "[ %f %f %f ] %f %1023s %1023s %1023s ", &v[0], &v[1], &v[2], &v[3], model,
                      texture, shape) == 7) {
        if (progress)
            progress();
        if (!all_finite(v, 4))
            continue;
        add_statue(v[0], v[1], v[2], v[3], unless_null(model), unless_null(texture), unless_null(shape));
    }
}

void read_billboards(GameFile *file, void (*progress)(void))
{
    static char texture[1024];
    float v[5];
    while (file_scanf(file, "[ %f %f %f ] %f %f %1023s ", &v[0], &v[1], &v[2], &v[3], &v[4], texture) == 6) {
        if (progress)
            progress();
        if (!all_finite(v, 5))
            continue;
        add_billboard(v[0], v[1], v[2], v[3], v[4], texture);
    }
}
