// The script function table of kz, the argument helpers, and the natives of
// the message line, textures and custom frames, script sounds, the camera
// and the two constants.
#include "script/script_functions.h"

#include <climits>
#include <cstring>

#include "bike/bike_state.h"
#include "race/race_state.h"
#include "render/animated_texture.h"
#include "render/camera.h"
#include "render/script_sound.h"
#include "render/texture.h"
#include "script/script_vm.h"
#include "script/track_script.h"

const char *const script_function_names[SCRIPT_FUNCTION_COUNT + 1] = {
    "message",
    "read_texture",
    "begin_custom_frame",
    "end_custom_frame",
    "paste_custom_frame",
    "get_max_slots",
    "get_running_count",
    "get_running_order_slot",
    "get_running_order_position",
    "get_running_order_time",
    "get_rider_down",
    "get_seconds_per_tic",
    "get_first_lap_length",
    "get_normal_lap_length",
    "get_timing_position",
    "get_timing",
    "get_rider_number",
    "get_rider_name",
    "get_bike_model",
    "get_elevation",
    "get_tile_number",
    "get_position_",
    "get_velocity_",
    "get_finish_laps",
    "get_finish_time",
    "get_gate_drop_time",
    "pose_statue",
    "move_statue",
    "move_statue_absolute",
    "move_billboard",
    "move_billboard_absolute",
    "size_billboard",
    "color_billboard",
    "add_sound",
    "start_sound",
    "stop_sound",
    "set_sound_loop",
    "set_sound_freq",
    "set_sound_vol",
    "set_sound_pos",
    "set_sound_vel",
    "get_camera_location",
    "get_front_contact_depth",
    "get_front_contact_position",
    "get_front_contact_slip",
    "get_front_contact_velocity",
    "get_rear_contact_depth",
    "get_rear_contact_position",
    "get_rear_contact_slip",
    "get_rear_contact_velocity",
    nullptr,
};

const duk_c_function script_functions[SCRIPT_FUNCTION_COUNT + 1] = {
    kz_message,
    kz_read_texture,
    kz_begin_custom_frame,
    kz_end_custom_frame,
    kz_paste_custom_frame,
    kz_get_max_slots,
    kz_get_running_count,
    kz_get_running_order_slot,
    kz_get_running_order_position,
    kz_get_running_order_time,
    kz_get_rider_down,
    kz_get_seconds_per_tic,
    kz_get_first_lap_length,
    kz_get_normal_lap_length,
    kz_get_timing_position,
    kz_get_timing,
    kz_get_rider_number,
    kz_get_rider_name,
    kz_get_bike_model,
    kz_get_elevation,
    kz_get_tile_number,
    kz_get_position,
    kz_get_velocity,
    kz_get_finish_laps,
    kz_get_finish_time,
    kz_get_gate_drop_time,
    kz_pose_statue,
    kz_move_statue,
    kz_move_statue_absolute,
    kz_move_billboard,
    kz_move_billboard_absolute,
    kz_size_billboard,
    kz_color_billboard,
    kz_add_sound,
    kz_start_sound,
    kz_stop_sound,
    kz_set_sound_loop,
    kz_set_sound_freq,
    kz_set_sound_vol,
    kz_set_sound_pos,
    kz_set_sound_vel,
    kz_get_camera_location,
    kz_get_front_contact_depth,
    kz_get_front_contact_position,
    kz_get_front_contact_slip,
    kz_get_front_contact_velocity,
    kz_get_rear_contact_depth,
    kz_get_rear_contact_position,
    kz_get_rear_contact_slip,
    kz_get_rear_contact_velocity,
    nullptr,
};

const int script_function_arg_counts[SCRIPT_FUNCTION_COUNT + 1] = {
    1, 1, 1, 1, 8,           // message .. paste_custom_frame
    0, 0, 1, 1, 1,           // get_max_slots .. get_running_order_time
    1, 0, 0, 0, 1,           // get_rider_down .. get_timing_position
    2, 1, 1, 1, 2,           // get_timing .. get_elevation
    2, 2, 2, 0, 0,           // get_tile_number .. get_finish_time
    0, 5, 5, 5, 4,           // get_gate_drop_time .. move_billboard
    4, 2, 5, 1, 1,           // move_billboard_absolute .. start_sound
    1, 2, 2, 2, 4,           // stop_sound .. set_sound_pos
    4, 2, 1, 2, 2,           // set_sound_vel .. get_front_contact_slip
    2, 1, 2, 2, 2,           // get_front_contact_velocity .. get_rear_contact_velocity
    0,
};

// ---- arguments --------------------------------------------------------------

double script_number_argument(duk_context *ctx, duk_idx_t index)
{
    return duk_get_number_default(ctx, index, 0.0);
}

float script_float_argument(duk_context *ctx, duk_idx_t index)
{
    return (float)script_number_argument(ctx, index);
}

int script_int_argument(duk_context *ctx, duk_idx_t index, int fallback)
{
    return truncate_script_number(script_number_argument(ctx, index), fallback);
}

const char *script_text_argument(duk_context *ctx, duk_idx_t index)
{
    return duk_get_string_default(ctx, index, "");
}

BikeState *script_bike_argument(duk_context *ctx, duk_idx_t index)
{
    return get_slot_bike(script_int_argument(ctx, index, -1));
}

int is_script_game_path(const char *name)
{
    if (!name || name[0] != '@')
        return 0;
    for (const char *p = name; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c < 0x20 || c == 0x7f || c == '\\')
            return 0;
    }
    for (const char *part = name + 1;;) {
        const char *slash = strchr(part, '/');
        size_t length = slash ? (size_t)(slash - part) : strlen(part);
        if (length == 2 && part[0] == '.' && part[1] == '.')
            return 0;
        if (!slash)
            return 1;
        part = slash + 1;
    }
}

duk_ret_t return_script_number(duk_context *ctx, double value)
{
    duk_push_number(ctx, value);
    return 1;
}

// ---- message line, textures and custom frames ------------------------------

duk_ret_t kz_message(duk_context *ctx)
{
    show_script_message(script_text_argument(ctx, 0));
    return 0;
}

duk_ret_t kz_read_texture(duk_context *ctx)
{
    const char *name = script_text_argument(ctx, 0);
    return return_script_number(ctx, is_script_game_path(name) ? load_texture(name) : 0);
}

duk_ret_t kz_begin_custom_frame(duk_context *ctx)
{
    return return_script_number(ctx, begin_custom_texture_frame(script_int_argument(ctx, 0, 0)));
}

duk_ret_t kz_end_custom_frame(duk_context *ctx)
{
    return return_script_number(ctx, end_custom_texture_frame(script_int_argument(ctx, 0, 0)));
}

duk_ret_t kz_paste_custom_frame(duk_context *ctx)
{
    int texture = script_int_argument(ctx, 0, 0);
    int image = script_int_argument(ctx, 1, -1);
    float v[6];
    for (int i = 0; i < 6; i++)
        v[i] = script_float_argument(ctx, 2 + i);
    return return_script_number(ctx, paste_custom_texture_frame(texture, image, v[0], v[1], v[2], v[3],
                                                                v[4], v[5]));
}

// ---- constants --------------------------------------------------------------

duk_ret_t kz_get_max_slots(duk_context *ctx)
{
    return return_script_number(ctx, BIKE_SLOT_COUNT);
}

duk_ret_t kz_get_seconds_per_tic(duk_context *ctx)
{
    return return_script_number(ctx, TIC_LENGTH);
}

// ---- script sounds ----------------------------------------------------------

duk_ret_t kz_add_sound(duk_context *ctx)
{
    const char *name = script_text_argument(ctx, 0);
    return return_script_number(ctx, is_script_game_path(name) ? load_script_sound(name) : 0);
}

static int sound_argument(duk_context *ctx)
{
    return script_int_argument(ctx, 0, -1);
}

duk_ret_t kz_start_sound(duk_context *ctx)
{
    return return_script_number(ctx, start_script_sound(sound_argument(ctx)));
}

duk_ret_t kz_stop_sound(duk_context *ctx)
{
    return return_script_number(ctx, stop_script_sound(sound_argument(ctx)));
}

duk_ret_t kz_set_sound_loop(duk_context *ctx)
{
    int loop = script_int_argument(ctx, 1, 0) != 0;
    return return_script_number(ctx, set_script_sound_loop(sound_argument(ctx), loop));
}

duk_ret_t kz_set_sound_freq(duk_context *ctx)
{
    return return_script_number(ctx, set_script_sound_freq(sound_argument(ctx), script_float_argument(ctx, 1)));
}

duk_ret_t kz_set_sound_vol(duk_context *ctx)
{
    return return_script_number(ctx, set_script_sound_vol(sound_argument(ctx), script_float_argument(ctx, 1)));
}

duk_ret_t kz_set_sound_pos(duk_context *ctx)
{
    return return_script_number(ctx, set_script_sound_pos(sound_argument(ctx), script_float_argument(ctx, 1),
                                                          script_float_argument(ctx, 2),
                                                          script_float_argument(ctx, 3)));
}

duk_ret_t kz_set_sound_vel(duk_context *ctx)
{
    return return_script_number(ctx, set_script_sound_vel(sound_argument(ctx), script_float_argument(ctx, 1),
                                                          script_float_argument(ctx, 2),
                                                          script_float_argument(ctx, 3)));
}

// ---- camera -----------------------------------------------------------------

duk_ret_t kz_get_camera_location(duk_context *ctx)
{
    float matrix[9];
    for (int row = 0; row < 3; row++)
        for (int column = 0; column < 3; column++)
            matrix[row + 3 * column] = camera_matrix[row * 3 + column];
    script_put_floats(ctx, 0, camera_position, 3);
    script_put_floats(ctx, 1, matrix, 9);
    return return_script_number(ctx, 1);
}
