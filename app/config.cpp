// "@config": the plain settings, the table of setting keys in the order they
// are written, reading and writing them, and the command line's option
// matcher.
#include "app/settings.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/graphics_settings.h"
#include "app/key_value_file.h"
#include "app/option_screen_items.h"
#include "app/race_screens.h"
#include "app/shell.h"
#include "app/sound_settings.h"
#include "core/file.h"
#include "core/message.h"
#include "race/demo.h"
#include "render/render_settings.h"

int configured_width = 640;
int configured_height = 480;
int show_fps;
int show_race_time;
int show_ping = 1;
int show_speed;
int spy_mode;
float map_scale = 1.0f;

namespace {

const char CONFIG_PATH[] = "@config";
const float MAP_SCALE_MIN = 0.125f, MAP_SCALE_MAX = 8.0f;

enum ConfigKind {
    CONFIG_INT,
    CONFIG_SLIDER,
    CONFIG_OPTION,
    CONFIG_TEXT,
    CONFIG_TRACK,
    CONFIG_GATES,
    CONFIG_SETUP,
    CONFIG_HISTORY,
    CONFIG_MAP_SCALE,
    CONFIG_BINDINGS,
};

struct ConfigKey {
    const char *key;   // null for the blocks written under their own keys
    ConfigKind kind;
    void *setting;
    int minimum, maximum;   // an int setting's range
};

const ConfigKey CONFIG_KEYS[] = {
    {"xres", CONFIG_INT, &configured_width, WINDOW_SIZE_MIN, WINDOW_SIZE_MAX},
    {"yres", CONFIG_INT, &configured_height, WINDOW_SIZE_MIN, WINDOW_SIZE_MAX},
    {"draw_fps", CONFIG_INT, &show_fps, INT_MIN, INT_MAX},
    {"draw_time", CONFIG_INT, &show_race_time, INT_MIN, INT_MAX},
    {"draw_ping", CONFIG_INT, &show_ping, INT_MIN, INT_MAX},
    {"draw_speed", CONFIG_INT, &show_speed, INT_MIN, INT_MAX},
    {"spy", CONFIG_INT, &spy_mode, INT_MIN, INT_MAX},
    {"track", CONFIG_TRACK, nullptr, 0, 0},
    {"record", CONFIG_OPTION, &record_demo_list, 0, 0},
    {"skill", CONFIG_OPTION, &robot_skill_list, 0, 0},
    {"minutes", CONFIG_SLIDER, &minutes_slider, 0, 0},
    {"laps", CONFIG_SLIDER, &laps_slider, 0, 0},
    {nullptr, CONFIG_GATES, nullptr, 0, 0},
    {"ghost_fade_distance", CONFIG_SLIDER, &ghost_fade_slider, 0, 0},
    {"time_trial_abort", CONFIG_OPTION, &time_trial_abort_list, 0, 0},
    {nullptr, CONFIG_SETUP, nullptr, 0, 0},
    {"video_mode", CONFIG_OPTION, &video_mode_list, 0, 0},
    {"server_name", CONFIG_TEXT, &server_field, 0, 0},
    {nullptr, CONFIG_HISTORY, nullptr, 0, 0},
    {"ground_detail", CONFIG_SLIDER, &ground_detail_slider, 0, 0},
    {"ground_texture_detail", CONFIG_SLIDER, &ground_texture_levels_slider, 0, 0},
    {"ground_texture_dim", CONFIG_OPTION, &ground_texture_dim_list, 0, 0},
    {"ground_mipmaps", CONFIG_OPTION, &ground_mipmaps_list, 0, 0},
    {"texture_compress", CONFIG_OPTION, &compress_textures_list, 0, 0},
    {"render_texture", CONFIG_OPTION, &render_texture_list, 0, 0},
    {"use_shader", CONFIG_OPTION, &use_shader_list, 0, 0},
    {"roost_density", CONFIG_SLIDER, &roost_density_slider, 0, 0},
    {"reshade_delay", CONFIG_SLIDER, &reshade_delay_slider, 0, 0},
    {"lens_flare", CONFIG_OPTION, &lens_flare_list, 0, 0},
    {"reflections", CONFIG_OPTION, &reflections_list, 0, 0},
    {"hide_rider", CONFIG_OPTION, &hide_rider_list, 0, 0},
    {"rigid_camera", CONFIG_OPTION, &rigid_camera_list, 0, 0},
    {"model_detail", CONFIG_SLIDER, &model_detail_slider, 0, 0},
    {"model_texture_detail", CONFIG_SLIDER, &model_texture_detail_slider, 0, 0},
    {"fov", CONFIG_SLIDER, &fov_slider, 0, 0},
    {"first_person_height", CONFIG_SLIDER, &first_person_height_slider, 0, 0},
    {"first_person_angle", CONFIG_SLIDER, &first_person_angle_slider, 0, 0},
    {"first_person_gimbal", CONFIG_SLIDER, &first_person_gimbal_slider, 0, 0},
    {"third_person_height", CONFIG_SLIDER, &third_person_height_slider, 0, 0},
    {"third_person_distance", CONFIG_SLIDER, &third_person_distance_slider, 0, 0},
    {"volume", CONFIG_SLIDER, &volume_slider, 0, 0},
    {"comp_volume", CONFIG_SLIDER, &comp_volume_slider, 0, 0},
    {"playback_mode", CONFIG_OPTION, &playback_mode_list, 0, 0},
    {"billboard_optimize_lookahead", CONFIG_INT, &billboard_optimize_lookahead, 0, BILLBOARD_LOOKAHEAD_MAX},
    {"message_lines", CONFIG_INT, &max_message_lines, 0, MESSAGE_LINES_MAX},
    {"demo_backups", CONFIG_INT, &demo_backups, 0, DEMO_BACKUPS_SETTING_MAX},
    {"map_scale", CONFIG_MAP_SCALE, &map_scale, 0, 0},
    {nullptr, CONFIG_BINDINGS, nullptr, 0, 0},
};

// One "%d" within the range; 0 for no number or one out of range.
int parse_int(const char *text, int minimum, int maximum, int *out)
{
    errno = 0;
    char *end;
    long value = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || value < minimum || value > maximum)
        return 0;
    *out = (int)value;
    return 1;
}

int parse_map_scale(const char *text)
{
    double value;
    if (sscanf(text, "%lf", &value) != 1 || !std::isfinite(value))
        return LINE_REFUSED;
    map_scale = (float)(value < MAP_SCALE_MIN ? MAP_SCALE_MIN : value > MAP_SCALE_MAX ? MAP_SCALE_MAX : value);
    return LINE_TAKEN;
}

int result(int ok)
{
    return ok ? LINE_TAKEN : LINE_REFUSED;
}

// "slot00".."slot39" and "server_name_hist00".."15", matched whole.
int numbered_key(const char *key, const char *stem, int count)
{
    char name[32];
    for (int i = 0; i < count; i++) {
        snprintf(name, sizeof name, "%s%02d", stem, i);
        if (!strcmp(key, name))
            return i;
    }
    return -1;
}

int parse_keyed(const ConfigKey &entry, const char *value)
{
    switch (entry.kind) {
    case CONFIG_INT:
        return result(parse_int(value, entry.minimum, entry.maximum, (int *)entry.setting));
    case CONFIG_SLIDER:
        return result(set_slider_from_text((Slider *)entry.setting, value));
    case CONFIG_OPTION:
        return result(select_option_by_name((OptionList *)entry.setting, value));
    case CONFIG_TEXT:
        return result(set_text_field_text((TextField *)entry.setting, value));
    case CONFIG_TRACK:
        wanted_track = intern_string(value);
        return LINE_TAKEN;
    case CONFIG_MAP_SCALE:
        return parse_map_scale(value);
    default:
        return LINE_UNKNOWN_KEY;
    }
}

int write_int(GameFile *file, const char *key, int value)
{
    char text[32];
    snprintf(text, sizeof text, "%d", value);
    return write_key_value(file, key, text);
}

int write_double(GameFile *file, const char *key, double value)
{
    char text[64];
    snprintf(text, sizeof text, "%f", value);
    return write_key_value(file, key, text);
}

int write_entry(GameFile *file, const ConfigKey &entry)
{
    int ok = 1;
    char key[32];
    switch (entry.kind) {
    case CONFIG_INT:
        return write_int(file, entry.key, *(const int *)entry.setting);
    case CONFIG_SLIDER:
        return write_double(file, entry.key, ((const Slider *)entry.setting)->value);
    case CONFIG_OPTION:
        return write_key_value(file, entry.key, selected_choice((const OptionList *)entry.setting));
    case CONFIG_TEXT:
        return write_key_value(file, entry.key, ((const TextField *)entry.setting)->text);
    case CONFIG_TRACK: {
        const char *folder = selected_track_folder();
        return write_key_value(file, entry.key, folder ? folder : wanted_track ? wanted_track : "");
    }
    case CONFIG_MAP_SCALE:
        return write_double(file, entry.key, map_scale);
    case CONFIG_GATES:
        for (int i = 0; i < GATE_COUNT; i++) {
            snprintf(key, sizeof key, "slot%02d", i);
            ok &= write_key_value(file, key, selected_choice(&gate_lists[i]));
        }
        return ok;
    case CONFIG_SETUP:
        return write_setup(file);
    case CONFIG_HISTORY:
        for (int i = 0; i < RECENT_SERVERS; i++) {
            snprintf(key, sizeof key, "server_name_hist%02d", i);
            ok &= write_key_value(file, key, recent_servers[i]);
        }
        return ok;
    case CONFIG_BINDINGS:
        for (const KeyBinding *binding : binding_order) {
            char text[1100];
            if (format_binding(binding, text, sizeof text))
                ok &= write_key_value(file, binding->config_key, text);
        }
        return ok;
    }
    return 0;
}

int write_config_file(GameFile *file)
{
    int ok = 1;
    for (const ConfigKey &entry : CONFIG_KEYS)
        ok &= write_entry(file, entry);
    return ok;
}

}  // namespace

int parse_config_line(const char *key, const char *value)
{
    int setup = parse_setup_key(key, value);
    if (setup != LINE_UNKNOWN_KEY)
        return setup;
    for (const ConfigKey &entry : CONFIG_KEYS)
        if (entry.key && !strcmp(key, entry.key))
            return parse_keyed(entry, value);
    int gate = numbered_key(key, "slot", GATE_COUNT);
    if (gate >= 0)
        return result(select_option_by_name(&gate_lists[gate], value));
    int history = numbered_key(key, "server_name_hist", RECENT_SERVERS);
    if (history >= 0) {
        if (strlen(value) > RECENT_SERVER_LENGTH - 2)
            return LINE_REFUSED;
        snprintf(recent_servers[history], sizeof recent_servers[history], "%s", value);
        return LINE_TAKEN;
    }
    if (KeyBinding *binding = find_binding_by_key(key))
        return result(parse_binding(binding, value));
    if (!strcmp(key, "use_fbo")) {
        if (!select_option_by_name(&use_fbo_list, value))
            return LINE_REFUSED;
        render_texture_list.selected = use_fbo_list.selected == 1 ? 2 : 1;
        return LINE_TAKEN;
    }
    if (!strcmp(key, "ground_texture_distance"))
        return LINE_TAKEN;
    return LINE_UNKNOWN_KEY;
}

void read_config(void)
{
    read_key_value_file(CONFIG_PATH, parse_config_line);
}

int write_config(void)
{
    return replace_key_value_file(CONFIG_PATH, write_config_file);
}

int match_option(OptionCursor *cursor, const char *name, const char **value)
{
    if (cursor->count <= 0 || cursor->options_ended)
        return 0;
    const char *argument = cursor->arguments[0];
    auto consume = [cursor]() {
        cursor->arguments++;
        cursor->count--;
    };
    if (!value) {
        if (strcmp(argument, name))
            return 0;
        consume();
        return 1;
    }
    if (!strcmp(argument, "--")) {
        cursor->options_ended = 1;
        consume();
        return 0;
    }
    if (!strcmp(argument, name)) {
        consume();
        *value = cursor->count > 0 ? cursor->arguments[0] : nullptr;
        if (cursor->count > 0)
            consume();
        return 1;
    }
    size_t length = strlen(name);
    if (!strncmp(argument, name, length) && argument[length] == '=') {
        *value = argument + length + 1;
        consume();
        return 1;
    }
    return 0;
}
