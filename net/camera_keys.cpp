// Camera keyframes and their files, the recording's demo name and the
// track information file, for the console's commands.
#include "net/camera_keys.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/bike_setup.h"
#include "app/graphics_settings.h"
#include "app/key_value_file.h"
#include "core/file.h"
#include "core/message.h"
#include "race/demo.h"
#include "race/race_state.h"
#include "track/timing.h"
#include "track/track.h"

GrowableArray camera_keys;
int keycam_mode;

enum { KEY_LINE_MAX = 512, DEMO_NAME_LIMIT = 1024 };

void make_camera_key(const CameraRecord *camera, float fov, int tic, CameraKey *key)
{
    double y = camera->yaw * 0.5, p = camera->pitch * 0.5;
    key->position[0] = camera->x;
    key->position[1] = camera->y;
    key->position[2] = camera->z;
    key->orientation[0] = (float)(cos(y) * sin(p));
    key->orientation[1] = (float)(sin(y) * cos(p));
    key->orientation[2] = (float)(-sin(y) * sin(p));
    key->orientation[3] = (float)(cos(y) * cos(p));
    key->fov = fov;
    key->tic = tic;
}

int insert_camera_key(const CameraKey *key)
{
    if (!camera_keys.data && !init_growable_array(&camera_keys, sizeof(CameraKey)))
        return 0;
    if (!append_to_growable_array(&camera_keys))
        return 0;
    CameraKey *keys = (CameraKey *)camera_keys.data;
    int at = camera_keys.count - 1;
    while (at > 0 && keys[at - 1].tic > key->tic) {
        keys[at] = keys[at - 1];
        at--;
    }
    keys[at] = *key;
    return 1;
}

void clear_camera_keys(void)
{
    free_growable_array(&camera_keys);
}

static void remove_camera_key(int index)
{
    CameraKey *keys = (CameraKey *)camera_keys.data;
    memmove(keys + index, keys + index + 1, sizeof(CameraKey) * (size_t)(camera_keys.count - index - 1));
    camera_keys.count--;
}

void delete_camera_key(int tic)
{
    if (camera_keys.count < 2) {
        clear_camera_keys();
        return;
    }
    const CameraKey *keys = (const CameraKey *)camera_keys.data;
    int after = 0;
    while (after < camera_keys.count && keys[after].tic <= tic)
        after++;
    if (after == camera_keys.count) {
        remove_camera_key(camera_keys.count - 1);
    } else if (after == 0) {
        remove_camera_key(0);
    } else {
        // The nearer of the two around the tic; the earlier on a tie.
        long long before_gap = (long long)tic - keys[after - 1].tic;
        long long after_gap = (long long)keys[after].tic - tic;
        remove_camera_key(after_gap < before_gap ? after : after - 1);
    }
}

int add_camera_key(void)
{
    CameraKey key;
    make_camera_key(&free_camera, (float)fov_slider.value, current_tic, &key);
    return insert_camera_key(&key);
}

static int read_float(const char **p, float *value)
{
    char *end;
    double v = strtod(*p, &end);
    if (end == *p || !std::isfinite(v) || fabs(v) > 3.0e38)
        return 0;
    *value = (float)v;
    *p = end;
    return 1;
}

int parse_camera_key_line(const char *line, CameraKey *key)
{
    const char *p = line;
    float values[8];
    for (float &v : values)
        if (!read_float(&p, &v))
            return 0;
    char *end;
    long tic = strtol(p, &end, 10);
    if (end == p || tic < -(1L << 30) || tic > (1L << 30))
        return 0;
    memcpy(key->position, values, sizeof key->position);
    memcpy(key->orientation, values + 3, sizeof key->orientation);
    key->fov = values[7];
    key->tic = (int)tic;
    return 1;
}

// "@keycam/" + the name without the blanks around it; 0 for a name that is
// empty or not a plain file name.
static int key_file_path(const char *name, char *path, size_t size)
{
    while (*name == ' ' || *name == '\t')
        name++;
    char trimmed[SETUP_NAME_LENGTH + 2];
    size_t n = strlen(name);
    while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t' || name[n - 1] == '\r' || name[n - 1] == '\n'))
        n--;
    if (n == 0 || n >= sizeof trimmed)
        return 0;
    memcpy(trimmed, name, n);
    trimmed[n] = '\0';
    return build_folder_path("@keycam/", trimmed, path, size);
}

static int write_key_lines(GameFile *file)
{
    const CameraKey *keys = (const CameraKey *)camera_keys.data;
    for (int i = 0; i < camera_keys.count; i++) {
        const CameraKey *k = &keys[i];
        if (file_printf(file, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n", k->position[0], k->position[1],
                        k->position[2], k->orientation[0], k->orientation[1], k->orientation[2],
                        k->orientation[3], k->fov, k->tic) < 0)
            return 0;
    }
    return 1;
}

int write_camera_keys(const char *name)
{
    char path[96];
    if (!key_file_path(name, path, sizeof path))
        return 0;
    return replace_key_value_file(path, write_key_lines);
}

int read_camera_keys(const char *name)
{
    char path[96];
    if (!key_file_path(name, path, sizeof path))
        return 0;
    GameFile *file = file_open(path, "rb");
    if (!file)
        return 0;
    clear_camera_keys();
    char line[KEY_LINE_MAX];
    int ok = 1;
    while (file_gets(file, line, sizeof line)) {
        CameraKey key;
        if (!parse_camera_key_line(line, &key) || !insert_camera_key(&key)) {
            ok = 0;
            break;
        }
    }
    file_close(file);
    return ok;
}

int name_demo(const char *text)
{
    if (!demo_record_file || demo_play_file) {
        print_message("Not currently recording a demo");
        return 0;
    }
    while (*text == ' ' || *text == '\t')
        text++;
    size_t n = strcspn(text, " \t\r\n");
    if (n + 8 > DEMO_NAME_LIMIT) {
        print_message("Name too long");
        return 0;
    }
    static const char SUFFIX[] = ".kzdemo";
    size_t suffix = sizeof SUFFIX - 1;
    int has_suffix = n >= suffix && !memcmp(text + n - suffix, SUFFIX, suffix);
    char name[DEMO_NAME_LIMIT + 8];
    snprintf(name, sizeof name, "%.*s%s", (int)n, text, has_suffix ? "" : SUFFIX);
    // The recording is renamed to it in "@demos/": plain names only.
    char path[96];
    if (!build_folder_path("@demos/", name, path, sizeof path)) {
        print_message("Demo name must be a plain file name");
        return 0;
    }
    snprintf(demo_name, sizeof demo_name, "%.*s", (int)sizeof demo_name - 1, name);
    print_message("Demo name updated");
    return 1;
}

static int write_track_info(GameFile *file)
{
    const char *folder = current_track.folder;
    const char *long_name = folder;
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders[i] && !strcmp(track_catalogue.folders[i], folder) &&
            track_catalogue.long_names[i])
            long_name = track_catalogue.long_names[i];
    int ok = file_printf(file, "dir=%s\n", folder) >= 0 && file_printf(file, "longname=%s\n", long_name) >= 0 &&
             file_printf(file, "firstlap=%d\n", lap_gate_list.first_lap_count) >= 0 &&
             file_printf(file, "normallap=%d\n", lap_gate_list.normal_lap_count) >= 0 &&
             file_printf(file, "gatecount=%d\n", timing_gate_count) >= 0 && file_puts(file, "hash=") >= 0;
    for (int i = 0; ok && i < 20; i++)
        ok = file_printf(file, "%02x", current_track.digest[i]) >= 0;
    return ok && file_puts(file, "\n") >= 0;
}

int save_track_info(void)
{
    if (!current_terrain || !current_track.folder)
        return 0;
    char *path = track_file_path(".trackinfo");
    int ok = replace_key_value_file(path, write_track_info);
    checked_free(path);
    if (ok) {
        char text[320];
        snprintf(text, sizeof text, "Track info saved to %.250s.trackinfo", current_track.folder);
        print_message(text);
    }
    return ok;
}
