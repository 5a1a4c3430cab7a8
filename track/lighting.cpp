// The "lighting" and "cameras" readers of a track folder.
#include "track/lighting.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/loading.h"
#include "app/shell.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "track/terrain.h"

TrackLighting track_lighting = {{1, 1, 1}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, {0.2f, 0.2f, 0.2f},
                                0.25f, 5000.0f, 0};
int sky_textures[SKY_TEXTURES];
GrowableArray flare_list;
GrowableArray track_cameras;
int gate_cameras[GATE_CAMERA_SLOTS];

static const char *const sky_keywords[SKY_TEXTURES] = {"sky_n", "sky_e", "sky_s",
                                                       "sky_w", "sky_u", "sky_env"};
static const char *const sky_defaults[SKY_TEXTURES] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm",
                                                       "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"};

static void start_flare(Flare *flare)
{
    memset(flare, 0, sizeof *flare);
    for (int i = 0; i < FLARE_ELEMENTS; i++) {
        flare->colour[i][0] = flare->colour[i][1] = flare->colour[i][2] = 1.0f;
        flare->size[i] = 1.0f;
    }
    flare->directional = 1;
}

static int finite_all(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

// " [ %f %f %f ] " into out when all three numbers are finite.
static void read_vector(const char *argument, float *out)
{
    float v[3];
    if (sscanf(argument, " [ %f %f %f ] ", &v[0], &v[1], &v[2]) == 3 && finite_all(v, 3))
        memcpy(out, v, sizeof v);
}

static void finish_flare(Flare *building, const char *argument, int directional)
{
    float v[3];
    if (sscanf(argument, " [ %f %f %f ] ", &v[0], &v[1], &v[2]) == 3 && finite_all(v, 3))
        memcpy(building->position, v, sizeof v);
    building->directional = directional;
    Flare *slot = (Flare *)append_to_growable_array(&flare_list);
    if (slot)
        *slot = *building;
    start_flare(building);
}

// One line of the lighting file; 0 ends the reading.
static int apply_lighting_line(char *line, Flare *building)
{
    char *keyword = line + strspn(line, " \t");
    if (!*keyword || *keyword == '\r' || *keyword == '\n')
        return 1;
    char *end = keyword + strcspn(keyword, " \t");
    char *argument = end;
    if (*end) {
        *end = 0;
        argument = end + 1 + strspn(end + 1, " \t");
    }
    size_t length = strlen(argument);
    while (length > 0 && strchr(" \t\r\n\f\v", argument[length - 1]))
        argument[--length] = 0;
    if (!*end) {
        // The keyword ran to the end of the line: cut its line end.
        size_t k = strcspn(keyword, "\r\n");
        keyword[k] = 0;
        if (!*keyword)
            return 1;
    }

    TrackLighting *light = &track_lighting;
    if (!strcmp(keyword, "sun_vector")) {
        read_vector(argument, light->sun_direction);
    } else if (!strcmp(keyword, "sun_color")) {
        read_vector(argument, light->sun_colour);
    } else if (!strcmp(keyword, "ambient")) {
        read_vector(argument, light->ambient);
    } else if (!strcmp(keyword, "global_ambient")) {
        read_vector(argument, light->global_ambient);
    } else if (!strcmp(keyword, "flare_element")) {
        float v[6];
        static char name[1024];
        if (sscanf(argument, " [ %f %f ] [ %f %f %f ] %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4],
                   &v[5], name) == 7 &&
            finite_all(v, 6) && building->element_count < FLARE_ELEMENTS) {
            int e = building->element_count++;
            building->offset[e][0] = v[0];
            building->offset[e][1] = v[1];
            building->colour[e][0] = v[2];
            building->colour[e][1] = v[3];
            building->colour[e][2] = v[4];
            building->size[e] = v[5];
            building->texture[e] = load_texture(name);
        }
    } else if (!strcmp(keyword, "flare_point")) {
        finish_flare(building, argument, 0);
    } else if (!strcmp(keyword, "flare_vector")) {
        finish_flare(building, argument, 1);
    } else if (!strcmp(keyword, "fog")) {
        float v[4];
        if (sscanf(argument, " [ %f %f %f ] %f ", &v[0], &v[1], &v[2], &v[3]) == 4 && finite_all(v, 4)) {
            memcpy(fog_settings.colour, v, 3 * sizeof(float));
            fog_settings.density = v[3];
        }
    } else if (!strcmp(keyword, "dynamic_lighting")) {
        int value;
        if (sscanf(argument, "%d", &value) == 1)
            light->dynamic_lighting = value > 0 ? 1 : 0;
    } else if (!strcmp(keyword, "near_plane")) {
        float value;
        if (sscanf(argument, "%f", &value) == 1 && std::isfinite(value))
            light->near_plane = value;
    } else if (!strcmp(keyword, "far_plane")) {
        float value;
        if (sscanf(argument, "%f", &value) == 1 && std::isfinite(value))
            light->far_plane = value;
    } else {
        for (int i = 0; i < SKY_TEXTURES; i++)
            if (!strcmp(keyword, sky_keywords[i])) {
                sky_textures[i] = load_texture(argument);
                return 1;
            }
        char message[1100];
        snprintf(message, sizeof message, "Error reading lighting: Unknown identifier '%.950s'\n", keyword);
        print_message(message);
        return 0;
    }
    return 1;
}

void free_flare_list(void)
{
    free_growable_array(&flare_list);
}

void read_lighting(const char *path)
{
    static const TrackLighting defaults = {{1, 1, 1}, {1, 1, 1}, {0.5f, 0.5f, 0.5f},
                                           {0.2f, 0.2f, 0.2f}, 0.25f, 5000.0f, 0};
    track_lighting = defaults;
    memset(sky_textures, 0, sizeof sky_textures);
    free_growable_array(&flare_list);
    init_growable_array(&flare_list, sizeof(Flare));
    fog_settings.density = 0.0f;
    Flare building;
    start_flare(&building);

    GameFile *file = file_open(path, "rb");
    if (!file)
        return;
    show_loading_step("Loading lighting");
    char line[1024];
    while (file_gets(file, line, sizeof line)) {
        show_loading_spinner("Loading lighting");
        if (!apply_lighting_line(line, &building))
            break;
    }

    TrackLighting *light = &track_lighting;
    if (!(light->near_plane >= 1.0f / 1024.0f))
        light->near_plane = 1.0f / 1024.0f;
    if (light->near_plane > 0.875f)
        light->near_plane = 0.875f;
    if (light->far_plane >= light->near_plane)
        light->far_plane = light->far_plane < 1048576.0f ? light->far_plane : 1048576.0f;
    else
        light->far_plane = light->near_plane;
    float *sun = light->sun_direction;
    float length = sqrtf(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    if (length > 0.0f && std::isfinite(length)) {
        sun[0] /= length;
        sun[1] /= length;
        sun[2] /= length;
    } else {
        // A zero sun vector has no direction: light from straight above.
        sun[0] = 0.0f;
        sun[1] = 1.0f;
        sun[2] = 0.0f;
    }
    file_close(file);
    for (int i = 0; i < SKY_TEXTURES; i++)
        if (!sky_textures[i])
            sky_textures[i] = load_texture(sky_defaults[i]);
    show_loading_done("Loading lighting");
    apply_fog();
}

// Whole numbers after "gate", each naming a checkpoint whose camera is the next one.
static void read_gate_line(const char *rest, int camera)
{
    const char *p = rest;
    for (;;) {
        char *end;
        errno = 0;
        long number = strtol(p, &end, 10);
        if (end == p || number < 0 || number >= GATE_CAMERA_SLOTS)
            return;
        gate_cameras[number] = camera;
        p = end;
    }
}

void read_cameras(const char *path)
{
    for (int i = 0; i < GATE_CAMERA_SLOTS; i++)
        gate_cameras[i] = -1;
    if (!track_cameras.data)
        init_growable_array(&track_cameras, sizeof(TrackCamera));
    track_cameras.count = 0;
    float fov = 90.0f, auto_size = 0.0f;

    GameFile *file = file_open(path, "rb");
    if (!file)
        return;
    char line[1024];
    while (file_gets(file, line, sizeof line)) {
        float x, h, z, value;
        char word[16];
        if (sscanf(line, "addcamera %f %f %f", &x, &h, &z) == 3) {
            if (!std::isfinite(x) || !std::isfinite(h) || !std::isfinite(z))
                continue;
            TrackCamera *camera = (TrackCamera *)append_to_growable_array(&track_cameras);
            if (camera) {
                float ground = current_terrain && current_terrain->heights
                                   ? sample_ground_height(current_terrain, x, z)
                                   : 0.0f;
                camera->x = x;
                camera->y = ground + h;
                camera->z = z;
                camera->fov = fov;
                camera->auto_fov_size = auto_size;
            }
            fov = 90.0f;
            auto_size = 0.0f;
        } else if (sscanf(line, "fov %f", &value) == 1) {
            if (std::isfinite(value))
                fov = fabsf(value);
        } else if (sscanf(line, "autofovsize %f", &value) == 1) {
            if (std::isfinite(value))
                auto_size = fabsf(value);
        } else if (sscanf(line, " %15s", word) == 1 && !strcmp(word, "gate")) {
            const char *rest = strstr(line, "gate") + 4;
            read_gate_line(rest, track_cameras.count);
        }
    }
    file_close(file);
    if (verbose_setting)
        log_printf("%d cameras found\n", track_cameras.count);
}
