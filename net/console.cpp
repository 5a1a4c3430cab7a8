// The console's entry line and its commands. Enter runs the line: a chat
// line goes to the race server, a line starting with '/' or '\' is looked
// up in the command table; a taken line joins the recent lines that Up and
// Down recall.
#include "net/console.h"

#include <cctype>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "app/bike_setup.h"
#include "app/frame_pacing.h"
#include "app/graphics_settings.h"
#include "app/hud.h"
#include "app/menu.h"
#include "app/settings.h"
#include "app/shell.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "core/file.h"
#include "core/message.h"
#include "net/camera_keys.h"
#include "net/client.h"
#include "race/demo.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/camera_views.h"
#include "render/decal_grid.h"
#include "render/engine_sound.h"
#include "render/ground_textures.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/text_marker.h"
#include "track/terrain.h"

static char console_text[CONSOLE_LINE_LENGTH + 1];

TextField console_line = {"> ", CONSOLE_LINE_LENGTH, console_text, 0, 1, {-1, -1, -1, -1}};
int console_scroll;
char recent_lines[RECENT_LINES][RECENT_LINE_LENGTH];
int recent_line_count = 1;
int recall_cursor;
double last_chat_time = -1.0e9;

void reset_console(void)
{
    set_text_field_text(&console_line, "");
    memset(recent_lines, 0, sizeof recent_lines);
    recent_line_count = 1;
    recall_cursor = 0;
    console_scroll = 0;
    last_chat_time = -1.0e9;
}

// ---- the entry line ----------------------------------------------------------------------

static void copy_line(char *slot, const char *text)
{
    snprintf(slot, RECENT_LINE_LENGTH, "%s", text);
}

static void remember_line(void)
{
    copy_line(recent_lines[0], console_line.text);
    if (recent_line_count < RECENT_LINES)
        recent_line_count++;
    for (int i = recent_line_count - 1; i >= 1; i--)
        memcpy(recent_lines[i], recent_lines[i - 1], RECENT_LINE_LENGTH);
    recent_lines[0][0] = '\0';
    recall_cursor = 0;
    set_text_field_text(&console_line, "");
}

static void recall(int step)
{
    copy_line(recent_lines[recall_cursor], console_line.text);
    int cursor = recall_cursor + step;
    if (cursor > recent_line_count - 1)
        cursor = recent_line_count - 1;
    if (cursor < 0)
        cursor = 0;
    recall_cursor = cursor;
    set_text_field_text(&console_line, recent_lines[cursor]);
    console_line.cursor = (int)strlen(console_line.text);
}

void text_entry_key(int key)
{
    if (key == menu_keys.enter || key == menu_keys.keypad_enter) {
        if (run_console_line(console_line.text))
            remember_line();
    } else if (key == menu_keys.up) {
        recall(1);
    } else if (key == menu_keys.down) {
        recall(-1);
    } else if (key == menu_keys.page_up) {
        if (console_scroll < CONSOLE_SCROLL_LIMIT)
            console_scroll++;
    } else if (key == menu_keys.page_down) {
        if (console_scroll > 0)
            console_scroll--;
    } else {
        handle_text_field_key(&console_line, key);
    }
}

// ---- helpers of the commands -------------------------------------------------------------

static void reply(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void reply(const char *format, ...)
{
    char text[1100];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    print_message(text);
}

static void toggle(int *flag, const char *name)
{
    *flag = !*flag;
    reply("%.60s %s", name, *flag ? "ON" : "OFF");
}

// A whole number at the text (blanks first allowed); 0 and the value kept
// when there is none or it does not fit an int.
static int read_int(const char *text, int *value)
{
    char *end;
    long v = strtol(text, &end, 10);
    if (end == text || v < -2147483647L || v > 2147483647L)
        return 0;
    *value = (int)v;
    return 1;
}

// A finite number; the end of it in *next when given.
static int read_number(const char *text, double *value, const char **next = nullptr)
{
    char *end;
    double v = strtod(text, &end);
    if (end == text || !std::isfinite(v) || fabs(v) > 3.0e38)
        return 0;
    *value = v;
    if (next)
        *next = end;
    return 1;
}

// The name after a command: blanks before it skipped, blanks after it cut.
static void trimmed_name(const char *text, char *name, size_t size)
{
    while (*text == ' ' || *text == '\t')
        text++;
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        n--;
    if (n >= size)
        n = size - 1;
    memcpy(name, text, n);
    name[n] = '\0';
}

static BikeState *followed_bike(void)
{
    return get_slot_bike(followed_slot);
}

// ---- the commands --------------------------------------------------------------------------

// Each returns 1 when the line was taken.
typedef int (*CommandHandler)(const char *argument);

static int savetrackinfo_command(const char *)
{
    save_track_info();
    return 1;
}

static int renderstats_command(const char *)
{
    show_render_stats = 1;
    memset(hud_stat_maxima, 0, sizeof hud_stat_maxima);
    return 1;
}

static int bbopt_command(const char *argument)
{
    int value;
    if (read_int(argument, &value) && value >= 0)
        billboard_optimize_lookahead = value;
    reply("Billboard optimization window is now %d", billboard_optimize_lookahead);
    return 1;
}

static int pipe_command(const char *argument)
{
    BikeState *bike = followed_bike();
    if (!bike)
        return 0;
    const char *model_class = get_bike_model_class(bike);
    int four_stroke = model_class && (!strcmp(model_class, "250f") || !strcmp(model_class, "450f"));
    double values[3] = {1.75, 0.3, -0.75};
    if (four_stroke) {
        values[0] = 5.0;
        values[1] = 0.9182072;
        values[2] = -0.85;
    }
    int range[2] = {0, 15};
    // As many as are given, in order, override the start values.
    const char *p = argument;
    int given = 0;
    for (; given < 3 && read_number(p, &values[given], &p); given++) {
    }
    for (int i = 0; given == 3 && i < 2; i++) {
        char *end;
        long v = strtol(p, &end, 10);
        if (end == p)
            break;
        range[i] = v < 0 ? 0 : v > 15 ? 15 : (int)v;
        p = end;
    }
    build_pipe_taps(&engine_sounds[followed_slot].definition, (float)values[0], (float)values[1],
                    (float)values[2], range[0], range[1]);
    print_message("Pipe updated");
    return 1;
}

static int namedemo_command(const char *argument)
{
    name_demo(argument);
    return 1;
}

static int camangle_command(const char *argument)
{
    if (!followed_bike())
        return 0;
    double yaw, pitch;
    const char *p = argument;
    if (!read_number(p, &yaw, &p) || !read_number(p, &pitch)) {
        print_message("Usage: camangle <yaw> <pitch>");
        return 1;
    }
    free_camera.yaw = (float)(yaw * M_PI / 180.0);
    free_camera.pitch = (float)(pitch * M_PI / 180.0);
    free_camera.yaw_rate = free_camera.pitch_rate = 0.0f;
    print_message("Camera aimed");
    return 1;
}

static int fov_command(const char *argument)
{
    double degrees;
    if (!read_number(argument, &degrees)) {
        print_message("Usage: fov <degrees>");
        return 1;
    }
    fov_slider.value = degrees < 10.0 ? 10.0 : degrees > 170.0 ? 170.0 : degrees;
    print_message("fov set");
    return 1;
}

static int fpshist_command(const char *)
{
    char text[256];
    int used = 0;
    for (int i = 0; i < FRAME_TIME_BUCKETS; i++) {
        used += snprintf(text + used, sizeof text - (size_t)used, "%d=%d ", 128 >> i, frame_time_histogram[i]);
        frame_time_histogram[i] = 0;
    }
    print_message(text);
    return 1;
}

static int forcereload_command(const char *)
{
    force_track_reload = 1;
    print_message("Track will be reloaded on next restart");
    return 1;
}

static int readsetup_command(const char *argument)
{
    char name[256];
    trimmed_name(argument, name, sizeof name);
    if (read_setup_file(name)) {
        list_bike_graphics();
        select_wanted_graphics();
        print_message("Setup updated");
    } else {
        print_message("Error reading setup");
    }
    client_info_changed = 1;
    // Any bike simulated here takes it, a robot's as much as the player's.
    BikeState *bike = followed_bike();
    if (bike && is_bike_physics_active(bike))
        apply_bike_setup(bike);
    return 1;
}

static int writesetup_command(const char *argument)
{
    char name[256];
    trimmed_name(argument, name, sizeof name);
    print_message(write_setup_file(name) ? "Setup written" : "Error writing setup");
    return 1;
}

static int randdump_command(const char *)
{
    return 1;
}

static int addkey_command(const char *)
{
    if (add_camera_key())
        print_message("Keyframe added");
    return 1;
}

static int deletekey_command(const char *)
{
    delete_camera_key(current_tic);
    print_message("Keyframe deleted");
    return 1;
}

static int clearkeys_command(const char *)
{
    clear_camera_keys();
    print_message("Keyframes cleared");
    return 1;
}

static int listkeys_command(const char *)
{
    const CameraKey *keys = (const CameraKey *)camera_keys.data;
    for (int i = 0; i < camera_keys.count; i++) {
        const CameraKey *k = &keys[i];
        reply("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f", k->position[0],
              k->position[1], k->position[2], k->orientation[0], k->orientation[1], k->orientation[2],
              k->orientation[3], k->tic * (1.0 / 128.0));
    }
    return 1;
}

static int readkeys_command(const char *argument)
{
    print_message(read_camera_keys(argument) ? "Camera keys updated" : "Error reading camera keys");
    return 1;
}

static int writekeys_command(const char *argument)
{
    print_message(write_camera_keys(argument) ? "Camera keys saved" : "Error saving camera keys");
    return 1;
}

static int sendfile_command(const char *argument)
{
    char name[256];
    trimmed_name(argument, name, sizeof name);
    if (net_socket == -1)
        print_message("Not connected to server");
    else
        start_file_upload(name);
    return 1;
}

static int contains_without_case(const char *text, const char *pattern)
{
    size_t n = strlen(pattern);
    for (const char *p = text; *p; p++)
        if (!strncasecmp(p, pattern, n))
            return 1;
    return n == 0;
}

static int listfiles_command(const char *argument)
{
    char pattern[256];
    trimmed_name(argument, pattern, sizeof pattern);
    const char *const *names = build_file_index();
    for (int i = 0; names && names[i]; i++) {
        char text[1024];
        if (describe_index_entry(i, text, sizeof text) && contains_without_case(text, pattern))
            print_message(text);
    }
    return 1;
}

static int messagelines_command(const char *argument)
{
    int value;
    if (read_int(argument, &value) && value >= 0)
        max_message_lines = value;
    reply("Maximum showing messages is now %d", max_message_lines);
    return 1;
}

static int demobackups_command(const char *argument)
{
    int value;
    if (read_int(argument, &value) && value >= 0)
        demo_backups = value;
    reply("Now keeping %d demo backups", demo_backups);
    return 1;
}

static int mapscale_command(const char *argument)
{
    double value;
    if (read_number(argument, &value))
        map_scale = (float)(value < 0.125 ? 0.125 : value > 8.0 ? 8.0 : value);
    reply("Map scale set to %f", map_scale);
    return 1;
}

static int hfvol_command(const char *)
{
    double sum = 0.0;
    const Terrain *terrain = current_terrain;
    if (terrain && terrain->heights)
        for (long i = 0; i < (long)terrain->side * terrain->side; i++)
            sum += terrain->heights[i];
    reply("%f\n", sum);
    return 1;
}

static int toggledecals_command(const char *)
{
    Terrain *terrain = current_terrain;
    if (!terrain)
        return 1;
    toggle(&terrain->decals_hidden, "Hide decals");
    rebuild_decal_grid(terrain);
    mark_ground_blocks_dirty(terrain, 0, 0, terrain->side - 1, terrain->side - 1);
    return 1;
}

static int clearlog_command(const char *)
{
    clear_text_markers();
    return 1;
}

static int log_command(const char *argument)
{
    contact_log_flags = 0;
    contact_log_spacing = 10.0f;
    const char *p = argument;
    while (*p == ' ' || *p == '\t')
        p++;
    const char *flags_end = p + strcspn(p, " \t");
    for (const char *c = p; c < flags_end; c++)
        if (*c == 'e')
            contact_log_flags |= 1;
    double spacing;
    if (*p && read_number(flags_end, &spacing) && spacing > 0.0)
        contact_log_spacing = (float)spacing;
    reply("Logging 0x%x, spacing %f", (unsigned)contact_log_flags, contact_log_spacing);
    return 1;
}

static int reportstutter_command(const char *argument)
{
    double value;
    if (read_number(argument, &value) && value >= 0.0)
        stutter_threshold = (float)value;
    reply("Stutter threshold set to %f", stutter_threshold);
    return 1;
}

enum CommandMatch { MATCH_EXACT, MATCH_PREFIX, MATCH_WORD };

struct ConsoleCommand {
    const char *name;
    CommandMatch match;
    CommandHandler handler;
};

// The commands that switch a setting on or off and say which it is now.
static const struct {
    const char *name;
    int *flag;
    const char *label;
} console_toggles[] = {
    {"togglespy", &spy_mode, "Spy mode"},
    {"togglegraph", &telemetry_on, "Suspension graph"},
    {"togglekeycam", &keycam_mode, "Keycam mode"},
    {"togglefps", &show_fps, "FPS display"},
    {"toggletime", &show_race_time, "Time display"},
    {"toggleping", &show_ping, "Ping display"},
    {"togglespam", &hide_spam, "Hide spam"},
    {"togglespeed", &show_speed, "Speed display"},
};

// Looked up in this order, after the toggles.
static const ConsoleCommand console_commands[] = {
    {"savetrackinfo", MATCH_EXACT, savetrackinfo_command},
    {"renderstats", MATCH_EXACT, renderstats_command},
    {"bbopt", MATCH_PREFIX, bbopt_command},
    {"pipe", MATCH_PREFIX, pipe_command},
    {"namedemo", MATCH_PREFIX, namedemo_command},
    {"camangle", MATCH_PREFIX, camangle_command},
    {"fov", MATCH_PREFIX, fov_command},
    {"fpshist", MATCH_PREFIX, fpshist_command},
    {"forcereload", MATCH_EXACT, forcereload_command},
    {"readsetup", MATCH_PREFIX, readsetup_command},
    {"writesetup", MATCH_PREFIX, writesetup_command},
    {"randdump", MATCH_EXACT, randdump_command},
    {"addkey", MATCH_EXACT, addkey_command},
    {"deletekey", MATCH_EXACT, deletekey_command},
    {"rmkey", MATCH_EXACT, deletekey_command},
    {"clearkeys", MATCH_EXACT, clearkeys_command},
    {"listkeys", MATCH_EXACT, listkeys_command},
    {"readkeys", MATCH_PREFIX, readkeys_command},
    {"writekeys", MATCH_PREFIX, writekeys_command},
    {"sendfile", MATCH_WORD, sendfile_command},
    {"listfiles", MATCH_WORD, listfiles_command},
    {"messagelines", MATCH_WORD, messagelines_command},
    {"demobackups", MATCH_WORD, demobackups_command},
    {"mapscale", MATCH_WORD, mapscale_command},
    {"hfvol", MATCH_EXACT, hfvol_command},
    {"toggledecals", MATCH_EXACT, toggledecals_command},
    {"clearlog", MATCH_WORD, clearlog_command},
    {"log", MATCH_WORD, log_command},
    {"reportstutter", MATCH_WORD, reportstutter_command},
};

// The argument of the command when the text matches it, else null.
static const char *match_command(const ConsoleCommand *command, const char *text)
{
    size_t n = strlen(command->name);
    switch (command->match) {
    case MATCH_EXACT: return !strcmp(text, command->name) ? text + n : nullptr;
    case MATCH_PREFIX: return !strncmp(text, command->name, n) ? text + n : nullptr;
    case MATCH_WORD:
        while (*text == ' ' || *text == '\t')
            text++;
        if (strncmp(text, command->name, n) != 0 || (text[n] && text[n] != ' ' && text[n] != '\t'))
            return nullptr;
        return text + n;
    }
    return nullptr;
}

static int send_chat_line(const char *text)
{
    if (!(current_time - last_chat_time > CHAT_SPAM_INTERVAL)) {
        print_message("No one likes a spammer");
        return 0;
    }
    last_chat_time = current_time;
    queue_reliable_message(MESSAGE_TEXT, text, (int)strlen(text));
    return 1;
}

int run_console_line(const char *text)
{
    if (!text)
        return 0;
    if (text[0] != '/' && text[0] != '\\')
        return send_chat_line(text);
    for (const auto &t : console_toggles)
        if (!strcmp(text + 1, t.name)) {
            toggle(t.flag, t.label);
            return 1;
        }
    for (const ConsoleCommand &command : console_commands) {
        const char *argument = match_command(&command, text + 1);
        if (argument)
            return command.handler(argument);
    }
    return 0;
}
