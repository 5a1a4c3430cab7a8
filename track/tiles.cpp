// Ground tiles: the "tileinfo" parser with its defaults, limits and
// warnings, roost kinds, the older "texturelist" reader and the corner codes
// of transition tiles.
#include "track/tiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/message.h"
#include "render/image.h"
#include "render/texture.h"
#include "track/terrain.h"

static const float FRICTION_SPEED_UNUSED = 1048576.0f;
static const float FRICTION_SPEED_LIMIT = 1048575.0f;
static const float ROLL_SPEED_MIN = 1.0f / 1048576.0f;   // 2^-20
static const float PI = 3.14159265358979f;

static void warn(const char *text)
{
    print_message(text);
}

static void roost_type_defaults(RoostType *roost)
{
    roost->flag = 0;
    roost->texture = load_texture("@roost.png");
    roost->count = 10.0f;
    roost->dig = 1.0f;
    roost->slip_threshold = 4.0f;
    roost->slow_angle = PI / 2.0f;
    roost->fast_angle = PI / 16.0f;
    roost->slow_speed = 0.0f;
    roost->fast_speed = 64.0f;
    roost->size = 0.25f;
    roost->grow = 4.0f;
    roost->drag = 0.5f;
    roost->vscale = 1.0f;
    roost->randomize = 15.0f;
    for (int i = 0; i < 4; i++)
        roost->colour[i] = 255;
    roost->fade[0] = roost->fade[1] = roost->fade[2] = 0;
    roost->fade[3] = -2;
}

static void erosion_defaults(ErosionValues *e)
{
    memset(e, 0, sizeof *e);
    e->erode_depth = 1.0f;
    e->erode_lower = 50.0f;
    e->erode_upper = 150.0f;
    e->erode_displacement = 2.0f;
    e->erode_radius = 4.0f;
    e->erode_inner_depth = 0.125f;
    e->erode_inner_radius = 2.0f;
    e->erode_min_slope = -0.5f;
    e->erode_max_slope = 0.5f;
    e->erode_off_speed = 10.0f;
    e->erode_on_speed = 15.0f;
    e->erode_slip_lower = 0.0f;
    e->erode_slip_upper = 5.0f;
    e->erode_slip_base_scale = 1.0f;
    e->erode_slip_scale = 1.5f;
    e->erode_downhill_scale = 0.0f;
    e->erode_project_to_ground = 1.0f;
    e->erode_lateral_scale = 1.0f;
    e->erode_front_scale = 1.0f;
    e->limit_count = 0;
}

static void set_single_limit(ErosionValues *e)
{
    e->limit_depth[0] = 0.0f;
    e->limit_value2[0] = 1.0f;
    e->limit_value3[0] = 1.0f;
    e->limit_count = 1;
}

void roost_defaults(TileInfo *tile)
{
    memset(tile, 0, sizeof *tile);
    for (int i = 0; i < TILE_CURVE_POINTS; i++) {
        tile->friction_value[i] = 1.0f;
        tile->friction_speed[i] = i == 0 ? 1.0f : FRICTION_SPEED_UNUSED;
        tile->roll_resist_value[i][0] = 5.0f;
        tile->roll_resist_value[i][1] = 15.0f;
        tile->roll_resist_speed[i] = i == 0 ? 1.0f : 0.0f;
    }
    for (int i = 0; i < TILE_ROOST_KINDS; i++)
        roost_type_defaults(&tile->roost[i]);
    erosion_defaults(&tile->erosion);
}

// A number as a 16-bit integer cut to its low byte (the colour and fade rule).
static uint8_t low_byte_of(double value)
{
    if (!(value == value))
        return 0;
    if (value > 2147483647.0)
        value = 2147483647.0;
    if (value < -2147483648.0)
        value = -2147483648.0;
    return (uint8_t)((long)value & 0xff);
}

// Splits a roost value into words; a double-quoted stretch belongs to its word.
static int next_roost_word(const char **cursor, char *word, int size)
{
    const char *separators = " \f\n\r\t\b";
    const char *p = *cursor;
    while (*p && strchr(separators, *p))
        p++;
    if (!*p)
        return 0;
    int n = 0;
    while (*p && !strchr(separators, *p)) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"') {
                if (n < size - 1)
                    word[n++] = *p;
                p++;
            }
            if (*p == '"')
                p++;
            continue;
        }
        if (n < size - 1)
            word[n++] = *p;
        p++;
    }
    word[n] = 0;
    *cursor = p;
    return 1;
}

void tileinfo_parse_roost(TileInfo *tile, const char *value)
{
    int kind = 0;
    while (kind < TILE_ROOST_KINDS && tile->roost[kind].flag)
        kind++;
    if (kind >= TILE_ROOST_KINDS) {
        warn("tileinfo warning: too many roost types\n");
        return;
    }
    RoostType *roost = &tile->roost[kind];
    roost->flag = 1;
    struct NumericKey {
        const char *key;
        float RoostType::*field;
    };
    static const NumericKey numeric[] = {
        {"count=", &RoostType::count},           {"dig=", &RoostType::dig},
        {"slip_threshold=", &RoostType::slip_threshold},
        {"slow_angle=", &RoostType::slow_angle}, {"fast_angle=", &RoostType::fast_angle},
        {"slow_speed=", &RoostType::slow_speed}, {"fast_speed=", &RoostType::fast_speed},
        {"size=", &RoostType::size},             {"grow=", &RoostType::grow},
        {"drag=", &RoostType::drag},             {"vscale=", &RoostType::vscale},
        {"randomize=", &RoostType::randomize},
    };
    static const char *const colour_keys[4] = {"r=", "g=", "b=", "a="};
    static const char *const fade_keys[4] = {"fade_r=", "fade_g=", "fade_b=", "fade_a="};

    const char *cursor = value;
    char word[1024];
    while (next_roost_word(&cursor, word, sizeof word)) {
        if (!strncmp(word, "texture=", 8)) {
            roost->texture = load_texture(word + 8);
            continue;
        }
        // Every other key takes a number.
        const char *equals = strchr(word, '=');
        const char *rest = equals ? equals + 1 : word + strlen(word);
        char *end;
        double number = strtod(rest, &end);
        int read = end != rest && std::isfinite(number);
        if (!read)
            number = 0.0;
        int known = 1;
        size_t key_length = equals ? (size_t)(equals - word + 1) : 0;
        if (!strncmp(word, "splash=", 7)) {
            if (read && number != 0.0)
                roost->flag = 2;
        } else {
            known = 0;
            for (const NumericKey &k : numeric)
                if (key_length == strlen(k.key) && !strncmp(word, k.key, key_length)) {
                    roost->*(k.field) = (float)number;
                    known = 1;
                }
            for (int i = 0; i < 4 && !known; i++) {
                if (key_length == 2 && !strncmp(word, colour_keys[i], 2)) {
                    roost->colour[i] = low_byte_of(number);
                    known = 1;
                } else if (key_length == 7 && !strncmp(word, fade_keys[i], 7)) {
                    roost->fade[i] = (int8_t)low_byte_of(number * 0.0078125);
                    known = 1;
                }
            }
        }
        if (!known) {
            char message[128];
            snprintf(message, sizeof message, "tileinfo warning: unknown roost parameter '%.40s'\n", word);
            warn(message);
        } else if (!read && strncmp(word, "splash=", 7)) {
            char message[1100];
            snprintf(message, sizeof message, "tileinfo warning: bad %.*s\n", (int)key_length - 1, word);
            warn(message);
        }
    }
}

void tile_texture_base_name(const char *texture, char *out, int size)
{
    const char *name = texture[0] == '@' ? texture + 1 : texture;
    const char *slash = strrchr(name, '/');
    if (slash)
        name = slash;   // the '/' is part of the base name
    size_t length = strlen(name);
    if (length > (size_t)size - 1)
        length = (size_t)size - 1;
    memcpy(out, name, length);
    out[length] = 0;
}

// Length of a base name up to its first '.'.
static size_t stem_length(const char *name)
{
    return strcspn(name, ".");
}

static int find_stem(const char *text, size_t length, const char *const *names, int count)
{
    for (int i = 0; i < count; i++)
        if (stem_length(names[i]) == length && !strncmp(names[i], text, length))
            return i;
    return -1;
}

int parse_transition_tile_name(const char *name, const char *const *names, int count)
{
    const char *dash = strchr(name, '-');
    if (!dash)
        return -1;
    int first = find_stem(name, (size_t)(dash - name), names, count);
    if (first < 0)
        return -1;
    const char *after = dash + 1;
    if (!strncmp(after, "alt", 3) && after[3] >= '0' && after[3] <= '9')
        return (first << 16) + (first << 8);
    size_t second_length = strcspn(after, "-");
    int second = find_stem(after, second_length, names, count);
    if (second < 0)
        return -256;
    int bits = 0;
    if (after[second_length] == '-') {
        const char *digits = after + second_length + 1;
        int ok = 1;
        for (int i = 0; i < 4 && ok; i++)   // stops at the end of a short name
            if (digits[i] != '0' && digits[i] != '1')
                ok = 0;
        if (ok)
            for (int i = 0; i < 4; i++)
                bits |= (digits[i] - '0') << (3 - i);
    }
    return bits + (first << 16) + (second << 8);
}

void compute_tile_corner_codes(Terrain *terrain, char (*base_names)[1024])
{
    const char *names[TILE_SLOTS];
    for (int i = 0; i < terrain->tile_count; i++)
        names[i] = base_names[i];
    for (int i = 0; i < terrain->tile_count; i++) {
        int code = parse_transition_tile_name(names[i], names, terrain->tile_count);
        terrain->tiles[i].corner_code = code == -1 ? (uint32_t)((i << 16) + (i << 8)) : (uint32_t)code;
    }
}

static void load_tile_texture(Terrain *terrain, TileInfo *tile, const char *name)
{
    if (terrain->texture_mode == 1)
        load_image(name, &tile->image, &tile->image_width, &tile->image_height);
    else
        tile->texture = load_texture(name);
}

// Sorts the first count points of a curve ascending by speed; values move along.
static void sort_curve(float *speeds, float (*pairs)[2], float *values, int count)
{
    for (int i = 1; i < count; i++)
        for (int j = i; j > 0 && speeds[j - 1] > speeds[j]; j--) {
            float s = speeds[j];
            speeds[j] = speeds[j - 1];
            speeds[j - 1] = s;
            if (values) {
                float v = values[j];
                values[j] = values[j - 1];
                values[j - 1] = v;
            }
            if (pairs) {
                float a = pairs[j][0], b = pairs[j][1];
                pairs[j][0] = pairs[j - 1][0];
                pairs[j][1] = pairs[j - 1][1];
                pairs[j - 1][0] = a;
                pairs[j - 1][1] = b;
            }
        }
}

// Reads count finite floats with a scanf format; 1 when all were read.
static int scan_floats(const char *value, const char *format, float *out, int count)
{
    int read = sscanf(value, format, &out[0], &out[1], &out[2]);
    if (read != count)
        return 0;
    for (int i = 0; i < count; i++)
        if (!std::isfinite(out[i]))
            return 0;
    return 1;
}

// The tile under construction and the counts of its repeated lines.
struct TileBuild {
    TileInfo tile;
    int friction_lines;
    int roll_lines;
    int has_name;
    char texture_string[1024];
};

static void start_tile(TileBuild *build)
{
    roost_defaults(&build->tile);
    build->friction_lines = 0;
    build->roll_lines = 0;
    build->has_name = 0;
    build->texture_string[0] = 0;
}

static const struct {
    const char *key;
    float ErosionValues::*field;
} erosion_keys[] = {
    {"erode_depth", &ErosionValues::erode_depth},
    {"erode_lower", &ErosionValues::erode_lower},
    {"erode_upper", &ErosionValues::erode_upper},
    {"erode_displacement", &ErosionValues::erode_displacement},
    {"erode_radius", &ErosionValues::erode_radius},
    {"erode_inner_depth", &ErosionValues::erode_inner_depth},
    {"erode_inner_radius", &ErosionValues::erode_inner_radius},
    {"erode_min_slope", &ErosionValues::erode_min_slope},
    {"erode_max_slope", &ErosionValues::erode_max_slope},
    {"erode_off_speed", &ErosionValues::erode_off_speed},
    {"erode_on_speed", &ErosionValues::erode_on_speed},
    {"erode_slip_lower", &ErosionValues::erode_slip_lower},
    {"erode_slip_upper", &ErosionValues::erode_slip_upper},
    {"erode_slip_base_scale", &ErosionValues::erode_slip_base_scale},
    {"erode_slip_scale", &ErosionValues::erode_slip_scale},
    {"erode_downhill_scale", &ErosionValues::erode_downhill_scale},
    {"erode_project_to_ground", &ErosionValues::erode_project_to_ground},
    {"erode_lateral_scale", &ErosionValues::erode_lateral_scale},
    {"erode_front_scale", &ErosionValues::erode_front_scale},
};

// A rut radius reaches at most TILE_ERODE_RADIUS_CELLS cells of the grid:
// a larger one would dig a large part of the grid for every rut point.
static float bound_erosion_radius(const Terrain *terrain, const char *key, float radius)
{
    float limit = (float)TILE_ERODE_RADIUS_CELLS * terrain->cell;
    if (!(terrain->cell > 0.0f) || fabsf(radius) <= limit)
        return radius;
    char message[200];
    snprintf(message, sizeof message, "tileinfo warning: %s %g bounded to %g (%d cells)\n", key, radius,
             radius < 0.0f ? -limit : limit, (int)TILE_ERODE_RADIUS_CELLS);
    warn(message);
    return radius < 0.0f ? -limit : limit;
}

static void apply_tileinfo_line(Terrain *terrain, TileBuild *build, const char *key, const char *value,
                                char (*base_names)[1024])
{
    TileInfo *tile = &build->tile;
    char message[1100];
    if (!strcmp(key, "addtile")) {
        if (!build->has_name)
            snprintf(tile->name, sizeof tile->name, "%s", build->texture_string);
        sort_curve(tile->friction_speed, nullptr, tile->friction_value, build->friction_lines);
        sort_curve(tile->roll_resist_speed, tile->roll_resist_value, nullptr, build->roll_lines);
        if (tile->erosion.limit_count == 0)
            set_single_limit(&tile->erosion);
        tile_texture_base_name(build->texture_string, base_names[terrain->tile_count], 1024);
        terrain->tiles[terrain->tile_count++] = *tile;
        start_tile(build);
    } else if (!strcmp(key, "name")) {
        snprintf(tile->name, sizeof tile->name, "%s", value);
        build->has_name = 1;
    } else if (!strcmp(key, "texture")) {
        snprintf(build->texture_string, sizeof build->texture_string, "%s", value);
        load_tile_texture(terrain, tile, value);
    } else if (!strcmp(key, "friction")) {
        float v[3];
        if (build->friction_lines >= TILE_CURVE_POINTS) {
            warn("tileinfo warning: too many friction points\n");
        } else if (!scan_floats(value, "%f %f", v, 2)) {
            warn("tileinfo warning: bad friction parameters\n");
        } else {
            int i = build->friction_lines++;
            tile->friction_value[i] = v[0] < 0.0f ? 0.0f : v[0];
            tile->friction_speed[i] = v[1] > FRICTION_SPEED_LIMIT ? FRICTION_SPEED_LIMIT : v[1];
        }
    } else if (!strcmp(key, "slip_function")) {
        int mode;
        if (sscanf(value, "%d", &mode) == 1) {
            tile->slip_function = mode;
            if (mode < 0 || mode > 2)
                warn("tileinfo warning: bad slip_function\n");
        }
    } else if (!strcmp(key, "roll_resist")) {
        float v[3];
        if (build->roll_lines >= TILE_CURVE_POINTS) {
            warn("tileinfo warning: too many roll_resist points\n");
        } else if (!scan_floats(value, "%f %f %f", v, 3)) {
            warn("tileinfo warning: bad roll_resist parameters\n");
        } else {
            int i = build->roll_lines++;
            tile->roll_resist_value[i][0] = v[0] < 0.0f ? 0.0f : v[0];
            tile->roll_resist_value[i][1] = v[1] < 0.0f ? 0.0f : v[1];
            tile->roll_resist_speed[i] = v[2] <= ROLL_SPEED_MIN ? ROLL_SPEED_MIN : v[2];
        }
    } else if (!strcmp(key, "roost")) {
        tileinfo_parse_roost(tile, value);
    } else if (!strcmp(key, "erode_limit")) {
        ErosionValues *e = &tile->erosion;
        float v[3];
        if (e->limit_count >= TILE_ERODE_LIMITS) {
            warn("tileinfo warning: too many erode limits\n");
        } else if (!scan_floats(value, "%f %f %f", v, 3)) {
            warn("tileinfo warning: bad erode_limit\n");
        } else if (e->limit_count > 0 && !(v[0] > e->limit_depth[e->limit_count - 1])) {
            warn("tileinfo warning: erode_limit depth <= prev depth\n");
        } else {
            int i = e->limit_count++;
            e->limit_depth[i] = v[0];
            e->limit_value2[i] = v[1];
            e->limit_value3[i] = v[2];
        }
    } else {
        for (const auto &k : erosion_keys)
            if (!strcmp(key, k.key)) {
                float v[3];
                if (scan_floats(value, "%f", v, 1)) {
                    if (k.field == &ErosionValues::erode_radius || k.field == &ErosionValues::erode_inner_radius)
                        v[0] = bound_erosion_radius(terrain, k.key, v[0]);
                    tile->erosion.*(k.field) = v[0];
                } else {
                    snprintf(message, sizeof message, "tileinfo warning: bad %s\n", k.key);
                    warn(message);
                }
                return;
            }
        snprintf(message, sizeof message, "tileinfo warning: Unknown identifier '%.950s'\n", key);
        warn(message);
    }
}

int parse_tileinfo(Terrain *terrain, GameFile *file)
{
    static TileBuild build;
    static char base_names[TILE_SLOTS][1024];
    start_tile(&build);
    terrain->tile_count = 0;
    char line[1024];
    while (terrain->tile_count < TILE_SLOTS && file_gets(file, line, sizeof line)) {
        char *key = line + strspn(line, " \t\r\n");
        if (!*key)
            continue;
        char *value = key + strcspn(key, " \t\r\n");
        if (*value) {
            *value++ = 0;
            value += strspn(value, " \t");
        }
        value[strcspn(value, "\r\n")] = 0;
        apply_tileinfo_line(terrain, &build, key, value, base_names);
    }
    compute_tile_corner_codes(terrain, base_names);
    return 1;
}

int parse_texturelist(Terrain *terrain, GameFile *file)
{
    static char base_names[TILE_SLOTS][1024];
    terrain->tile_count = 0;
    char line[1024];
    while (terrain->tile_count < TILE_SLOTS && file_gets(file, line, sizeof line)) {
        line[strcspn(line, "\r\n")] = 0;
        char *text = line + strspn(line, " \t\r\n\f\v");
        if (!*text)
            continue;
        float f[3] = {1.0f, 5.0f, 15.0f};
        int used = 0;
        const char *name = text;
        if (sscanf(text, "%f %f %f %n", &f[0], &f[1], &f[2], &used) >= 3 && used > 0) {
            name = text + used;
            static const float defaults[3] = {1.0f, 5.0f, 15.0f};
            for (int i = 0; i < 3; i++)
                if (!std::isfinite(f[i]))
                    f[i] = defaults[i];
        } else {
            f[0] = 1.0f;
            f[1] = 5.0f;
            f[2] = 15.0f;
        }
        TileInfo *tile = &terrain->tiles[terrain->tile_count];
        roost_defaults(tile);
        for (int i = 0; i < TILE_CURVE_POINTS; i++) {
            tile->friction_value[i] = f[0];
            tile->friction_speed[i] = i == 0 ? 1.0f : FRICTION_SPEED_UNUSED;
            tile->roll_resist_value[i][0] = f[1];
            tile->roll_resist_value[i][1] = f[2];
            tile->roll_resist_speed[i] = i == 0 ? 1.0f : 0.0f;
        }
        tile->roost[0].flag = 1;
        set_single_limit(&tile->erosion);
        char path[1100];
        snprintf(path, sizeof path, "@%s", name);
        load_tile_texture(terrain, tile, path);
        tile_texture_base_name(path, base_names[terrain->tile_count], 1024);
        terrain->tile_count++;
    }
    compute_tile_corner_codes(terrain, base_names);
    return 1;
}
