// The command line: one table of options in matching order, each with the
// code that applies it. Numbers are read whole; a number out of range or not
// finite is a bad argument, so nothing downstream sees a NaN or a value no
// int can hold.
#include "app/command_line.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/client.h"
#include "app/player_settings.h"
#include "app/shell.h"
#include "app/hud.h"
#include "app/option_screen_items.h"
#include "app/race_screens.h"
#include "app/settings.h"
#include "editor/editor.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/demo.h"
#include "render/camera_views.h"
#include "render/ground_compositor.h"
#include "render/render_settings.h"

float max_detail_distance = 70.0f;
float max_detail_distance_outer = 75.0f;

enum { LOCK_FPS_MIN = 1, LOCK_FPS_MAX = 1000 };

// ---- reading numbers --------------------------------------------------------------

// 1 and the value when the whole text is a decimal int.
static int read_whole_int(const char *text, int *out)
{
    if (!text || !*text)
        return 0;
    errno = 0;
    char *end;
    long value = strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return 0;
    *out = (int)value;
    return 1;
}

// 1 and the value when the text is a real that a float holds finitely;
// *end (when given) is left after the number, else the whole text must be it.
static int read_real(const char *text, float *out, const char **end)
{
    if (!text || !*text)
        return 0;
    char *stop;
    double value = strtod(text, &stop);
    if (stop == text || !std::isfinite(value) || fabs(value) > FLT_MAX)
        return 0;
    if (end)
        *end = stop;
    else if (*stop)
        return 0;
    *out = (float)value;
    return 1;
}

static int clamp_int(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

static float clamp_float(float value, float low, float high)
{
    return value < low ? low : value > high ? high : value;
}

static int bad_arg(const char *name)
{
    fprintf(stderr, "Bad arg for %s\n", name);
    return COMMAND_LINE_FAILED;
}

// ---- the options ------------------------------------------------------------------

typedef int (*ApplyOption)(CommandLineOptions *options, const char *name, const char *value);

static int apply_fugly(CommandLineOptions *, const char *, const char *)
{
    render_fugly = 1;
    return COMMAND_LINE_OK;
}

static int apply_nosound(CommandLineOptions *o, const char *, const char *)
{
    o->no_sound = 1;
    return COMMAND_LINE_OK;
}

static int apply_novertexarrays(CommandLineOptions *, const char *, const char *)
{
    no_vertex_arrays = 1;
    return COMMAND_LINE_OK;
}

static int apply_learn(CommandLineOptions *, const char *, const char *)
{
    learn_lines = 1;
    return COMMAND_LINE_OK;
}

static int apply_nolearn(CommandLineOptions *, const char *, const char *)
{
    learn_lines = 0;
    return COMMAND_LINE_OK;
}

static int apply_nommx(CommandLineOptions *, const char *, const char *)
{
    if (has_mmx)
        log_printf("Ignoring MMX\n");
    has_mmx = 0;
    return COMMAND_LINE_OK;
}

static int apply_debug(CommandLineOptions *, const char *, const char *)
{
    debug_level = 1;
    return COMMAND_LINE_OK;
}

static int apply_super_debug(CommandLineOptions *, const char *, const char *)
{
    debug_level = 2;
    return COMMAND_LINE_OK;
}

static int apply_practice(CommandLineOptions *, const char *, const char *)
{
    practice_mode = 1;
    return COMMAND_LINE_OK;
}

static int apply_warp(CommandLineOptions *o, const char *, const char *)
{
    o->warp = 1;
    return COMMAND_LINE_OK;
}

static int apply_texture_detail(CommandLineOptions *, const char *name, const char *value)
{
    int n;
    if (!read_whole_int(value, &n))
        return bad_arg(name);
    texture_detail = ground_detail_limit = clamp_int(n, 0, 4);
    return COMMAND_LINE_OK;
}

static int apply_ground_texture_detail(CommandLineOptions *, const char *name, const char *value)
{
    int n;
    if (!read_whole_int(value, &n))
        return bad_arg(name);
    ground_detail_limit = clamp_int(n, 0, 4);
    return COMMAND_LINE_OK;
}

static int apply_roostfrequency(CommandLineOptions *, const char *name, const char *value)
{
    int n;
    if (!read_whole_int(value, &n))
        return bad_arg(name);
    roost_frequency = clamp_int(n, 0, 1000);
    return COMMAND_LINE_OK;
}

// The race reset copies this amount into the offline race's erosion.
static int apply_erode(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    erode_option = (int)floorf(clamp_float(f, 0.0f, 100.0f) * 1024.0f);
    return COMMAND_LINE_OK;
}

static int apply_detail(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    terrain_lod_tolerance = f;
    return COMMAND_LINE_OK;
}

static int apply_max_detail_distance(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    max_detail_distance = f;
    max_detail_distance_outer = fminf(f + 5.0f, FLT_MAX);
    return COMMAND_LINE_OK;
}

static int apply_lod_scale(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    lod_scale = clamp_float(f, 1e-6f, 1e6f);
    return COMMAND_LINE_OK;
}

static int apply_lod_bias(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    lod_bias = f;
    return COMMAND_LINE_OK;
}

// A rate above 0 is held to 1..1000 so that the pacing's sleeps and steps
// stay bounded; 0 or below leaves the lock off.
static int apply_lock_fps(CommandLineOptions *o, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    o->lock_fps = f > 0.0f ? clamp_float(f, LOCK_FPS_MIN, LOCK_FPS_MAX) : 0.0f;
    return COMMAND_LINE_OK;
}

static int apply_fake_lag(CommandLineOptions *, const char *name, const char *value)
{
    float f;
    if (!read_real(value, &f, nullptr))
        return bad_arg(name);
    fake_lag = clamp_float(f * 0.001f, 0.0f, 1.0f);
    return COMMAND_LINE_OK;
}

static int apply_fake_loss(CommandLineOptions *, const char *name, const char *value)
{
    int n;
    if (!read_whole_int(value, &n))
        return bad_arg(name);
    fake_loss = clamp_int(n, 0, 100);
    return COMMAND_LINE_OK;
}

static int apply_record_audio(CommandLineOptions *o, const char *, const char *value)
{
    o->record_audio_path = value;
    return COMMAND_LINE_OK;
}

static int apply_record_video(CommandLineOptions *o, const char *, const char *)
{
    o->record_video = 1;
    return COMMAND_LINE_OK;
}

// A value that does not read keeps the previous rotation, without a message.
static int apply_rotate_lineup(CommandLineOptions *, const char *, const char *value)
{
    int n;
    if (read_whole_int(value, &n))
        lineup_rotation = n;
    return COMMAND_LINE_OK;
}

static int apply_editor(CommandLineOptions *, const char *, const char *)
{
    editor_on = 1;
    return COMMAND_LINE_OK;
}

static int apply_hidden_pause(CommandLineOptions *o, const char *, const char *)
{
    o->show_pause_banner = 0;
    return COMMAND_LINE_OK;
}

static int apply_hidden_hud(CommandLineOptions *o, const char *, const char *)
{
    o->show_hud = 0;
    return COMMAND_LINE_OK;
}

static int apply_bikes(CommandLineOptions *, const char *, const char *)
{
    fputs("--bikes doesn't do anything anymore\n", stderr);
    return COMMAND_LINE_OK;
}

// A size outside 64..16384, or one that does not read, keeps the old size.
static void read_window_side(const char *value, int *side)
{
    int n;
    if (read_whole_int(value, &n) && n >= WINDOW_SIZE_MIN && n <= WINDOW_SIZE_MAX)
        *side = n;
}

static int apply_width(CommandLineOptions *, const char *, const char *value)
{
    read_window_side(value, &configured_width);
    return COMMAND_LINE_OK;
}

static int apply_height(CommandLineOptions *, const char *, const char *value)
{
    read_window_side(value, &configured_height);
    return COMMAND_LINE_OK;
}

// The options read like atoi: a value that is not a whole int gives 0.
static int read_int_or_zero(const char *value)
{
    int n;
    return read_whole_int(value, &n) ? n : 0;
}

static int apply_depth(CommandLineOptions *o, const char *, const char *value)
{
    o->colour_bits = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_zdepth(CommandLineOptions *o, const char *, const char *value)
{
    o->depth_bits = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_draw_fps(CommandLineOptions *, const char *, const char *value)
{
    show_fps = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_draw_time(CommandLineOptions *, const char *, const char *value)
{
    show_race_time = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_draw_ping(CommandLineOptions *, const char *, const char *value)
{
    show_ping = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_draw_speed(CommandLineOptions *, const char *, const char *value)
{
    show_speed = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_draw_render_stats(CommandLineOptions *, const char *, const char *value)
{
    show_render_stats = read_int_or_zero(value);
    return COMMAND_LINE_OK;
}

static int apply_accurate_skip(CommandLineOptions *, const char *, const char *)
{
    accurate_skip = 1;
    return COMMAND_LINE_OK;
}

static int apply_track(CommandLineOptions *o, const char *, const char *value)
{
    o->track_folder = value;
    return COMMAND_LINE_OK;
}

static int apply_connect(CommandLineOptions *o, const char *, const char *value)
{
    static const char PREFIX[] = "rutline:";
    if (!strncmp(value, PREFIX, sizeof PREFIX - 1))
        value += sizeof PREFIX - 1;
    set_text_field_text(&server_field, value);
    remember_server_name();
    set_connect_target(value[0] ? value : nullptr);
    o->connect_target = value;
    return COMMAND_LINE_OK;
}

static int apply_password(CommandLineOptions *, const char *, const char *value)
{
    snprintf(join_password, sizeof join_password, "%s", value);
    return COMMAND_LINE_OK;
}

// "%f,%f,%f": three finite numbers and nothing after them.
static int apply_chase_center(CommandLineOptions *o, const char *name, const char *value)
{
    float xyz[3];
    const char *p = value;
    for (int i = 0; i < 3; i++) {
        if (!read_real(p, &xyz[i], &p))
            return bad_arg(name);
        if (i < 2 && *p++ != ',')
            return bad_arg(name);
    }
    if (*p)
        return bad_arg(name);
    memcpy(o->chase_center, xyz, sizeof xyz);
    return COMMAND_LINE_OK;
}

static int apply_open_home(CommandLineOptions *, const char *, const char *)
{
    return COMMAND_LINE_OPEN_HOME;
}

static int apply_glfinish(CommandLineOptions *o, const char *, const char *)
{
    o->gl_finish = 1;
    return COMMAND_LINE_OK;
}

static int apply_print_orientation(CommandLineOptions *, const char *, const char *)
{
    print_orientation = 1;
    return COMMAND_LINE_OK;
}

struct CommandOption {
    const char *name;
    int takes_value;
    ApplyOption apply;
};

// In matching order.
static const CommandOption COMMAND_OPTIONS[] = {
    {"--fugly", 0, apply_fugly},
    {"--nosound", 0, apply_nosound},
    {"--novertexarrays", 0, apply_novertexarrays},
    {"--learn", 0, apply_learn},
    {"--nolearn", 0, apply_nolearn},
    {"--nommx", 0, apply_nommx},
    {"--debug", 0, apply_debug},
    {"--super-debug", 0, apply_super_debug},
    {"--practice", 0, apply_practice},
    {"--warp", 0, apply_warp},
    {"--texture-detail", 1, apply_texture_detail},
    {"--ground-texture-detail", 1, apply_ground_texture_detail},
    {"--roostfrequency", 1, apply_roostfrequency},
    {"--erode", 1, apply_erode},
    {"--detail", 1, apply_detail},
    {"--max-detail-distance", 1, apply_max_detail_distance},
    {"--lod-scale", 1, apply_lod_scale},
    {"--lod-bias", 1, apply_lod_bias},
    {"--lock-fps", 1, apply_lock_fps},
    {"--fake-lag", 1, apply_fake_lag},
    {"--fake-loss", 1, apply_fake_loss},
    {"--record-audio", 1, apply_record_audio},
    {"--record-video", 0, apply_record_video},
    {"--rotate-lineup", 1, apply_rotate_lineup},
    {"--editor", 0, apply_editor},
    {"--hidden-pause", 0, apply_hidden_pause},
    {"--hidden-hud", 0, apply_hidden_hud},
    {"--bikes", 1, apply_bikes},
    {"--width", 1, apply_width},
    {"--height", 1, apply_height},
    {"--depth", 1, apply_depth},
    {"--zdepth", 1, apply_zdepth},
    {"--draw-fps", 1, apply_draw_fps},
    {"--draw-time", 1, apply_draw_time},
    {"--draw-ping", 1, apply_draw_ping},
    {"--draw-speed", 1, apply_draw_speed},
    {"--draw-render-stats", 1, apply_draw_render_stats},
    {"--accurate-skip", 0, apply_accurate_skip},
    {"--track", 1, apply_track},
    {"--connect", 1, apply_connect},
    {"--password", 1, apply_password},
    {"--chase-center", 1, apply_chase_center},
    {"--open-home", 0, apply_open_home},
    {"--glfinish", 0, apply_glfinish},
    {"--print-orientation", 0, apply_print_orientation},
};

// ---- matching and the loop --------------------------------------------------------

void default_command_line_options(CommandLineOptions *options)
{
    memset(options, 0, sizeof *options);
    options->show_pause_banner = 1;
    options->show_hud = 1;
    options->colour_bits = 16;
    options->depth_bits = 16;
    options->chase_center[1] = 2.52f;
    options->chase_center[2] = 0.52f;
}

// Tries each option in table order: 1 when one matched (its result in
// *result), else 0.
static int apply_next_option(OptionCursor *cursor, CommandLineOptions *options, int *result)
{
    for (const CommandOption &option : COMMAND_OPTIONS) {
        const char *value = nullptr;
        if (!match_option(cursor, option.name, option.takes_value ? &value : nullptr))
            continue;
        if (option.takes_value && !value)
            *result = bad_arg(option.name);
        else
            *result = option.apply(options, option.name, value);
        return 1;
    }
    return 0;
}

int parse_command_line(int argc, char **argv, CommandLineOptions *options)
{
    OptionCursor cursor = {argv + 1, argc > 1 ? argc - 1 : 0, 0};
    while (cursor.count > 0) {
        int result;
        if (apply_next_option(&cursor, options, &result)) {
            if (result != COMMAND_LINE_OK)
                return result;
            continue;
        }
        // "--" may have been the last argument.
        if (cursor.count <= 0)
            break;
        const char *word = cursor.arguments[0];
        cursor.arguments++;
        cursor.count--;
        if (word[0] == '-' && !cursor.options_ended) {
            fprintf(stderr, "bad option '%s'\n", word);
            return COMMAND_LINE_FAILED;
        }
        if (options->start_file) {
            fputs("Too many files!\n", stderr);
            return COMMAND_LINE_FAILED;
        }
        options->start_file = word;
    }
    if (options->connect_target && options->connect_target[0])
        options->track_folder = nullptr;
    return COMMAND_LINE_OK;
}
