// The script object kz: the table of its 50 native functions (names,
// functions and fixed argument counts in three parallel tables, each ended
// by a null entry), the prelude evaluated after them, and the argument
// helpers the natives share.
#pragma once

#include "duktape.h"

struct BikeState;

enum { SCRIPT_FUNCTION_COUNT = 50 };

extern const char *const script_function_names[SCRIPT_FUNCTION_COUNT + 1];
extern const duk_c_function script_functions[SCRIPT_FUNCTION_COUNT + 1];
extern const int script_function_arg_counts[SCRIPT_FUNCTION_COUNT + 1];

// The prelude's JavaScript: convenience functions, constants and the two hook
// wrappers added to kz.
extern const char script_prelude[];

// Arguments. Numbers are read without coercion (0 when missing or not a
// number); slots, indices and sounds are truncated with a fallback for what
// does not convert.
double script_number_argument(duk_context *ctx, duk_idx_t index);
float script_float_argument(duk_context *ctx, duk_idx_t index);
int script_int_argument(duk_context *ctx, duk_idx_t index, int fallback);
const char *script_text_argument(duk_context *ctx, duk_idx_t index);
// The bike of the slot argument, or null ("no rider").
BikeState *script_bike_argument(duk_context *ctx, duk_idx_t index);
// A path the script may load: a game path ('@' first) without a ".."
// component, a backslash or a control byte.
int is_script_game_path(const char *name);
duk_ret_t return_script_number(duk_context *ctx, double value);

// The natives, in table order.
duk_ret_t kz_message(duk_context *ctx);
duk_ret_t kz_read_texture(duk_context *ctx);
duk_ret_t kz_begin_custom_frame(duk_context *ctx);
duk_ret_t kz_end_custom_frame(duk_context *ctx);
duk_ret_t kz_paste_custom_frame(duk_context *ctx);
duk_ret_t kz_get_max_slots(duk_context *ctx);
duk_ret_t kz_get_running_count(duk_context *ctx);
duk_ret_t kz_get_running_order_slot(duk_context *ctx);
duk_ret_t kz_get_running_order_position(duk_context *ctx);
duk_ret_t kz_get_running_order_time(duk_context *ctx);
duk_ret_t kz_get_rider_down(duk_context *ctx);
duk_ret_t kz_get_seconds_per_tic(duk_context *ctx);
duk_ret_t kz_get_first_lap_length(duk_context *ctx);
duk_ret_t kz_get_normal_lap_length(duk_context *ctx);
duk_ret_t kz_get_timing_position(duk_context *ctx);
duk_ret_t kz_get_timing(duk_context *ctx);
duk_ret_t kz_get_rider_number(duk_context *ctx);
duk_ret_t kz_get_rider_name(duk_context *ctx);
duk_ret_t kz_get_bike_model(duk_context *ctx);
duk_ret_t kz_get_elevation(duk_context *ctx);
duk_ret_t kz_get_tile_number(duk_context *ctx);
duk_ret_t kz_get_position(duk_context *ctx);
duk_ret_t kz_get_velocity(duk_context *ctx);
duk_ret_t kz_get_finish_laps(duk_context *ctx);
duk_ret_t kz_get_finish_time(duk_context *ctx);
duk_ret_t kz_get_gate_drop_time(duk_context *ctx);
duk_ret_t kz_pose_statue(duk_context *ctx);
duk_ret_t kz_move_statue(duk_context *ctx);
duk_ret_t kz_move_statue_absolute(duk_context *ctx);
duk_ret_t kz_move_billboard(duk_context *ctx);
duk_ret_t kz_move_billboard_absolute(duk_context *ctx);
duk_ret_t kz_size_billboard(duk_context *ctx);
duk_ret_t kz_color_billboard(duk_context *ctx);
duk_ret_t kz_add_sound(duk_context *ctx);
duk_ret_t kz_start_sound(duk_context *ctx);
duk_ret_t kz_stop_sound(duk_context *ctx);
duk_ret_t kz_set_sound_loop(duk_context *ctx);
duk_ret_t kz_set_sound_freq(duk_context *ctx);
duk_ret_t kz_set_sound_vol(duk_context *ctx);
duk_ret_t kz_set_sound_pos(duk_context *ctx);
duk_ret_t kz_set_sound_vel(duk_context *ctx);
duk_ret_t kz_get_camera_location(duk_context *ctx);
duk_ret_t kz_get_front_contact_depth(duk_context *ctx);
duk_ret_t kz_get_front_contact_position(duk_context *ctx);
duk_ret_t kz_get_front_contact_slip(duk_context *ctx);
duk_ret_t kz_get_front_contact_velocity(duk_context *ctx);
duk_ret_t kz_get_rear_contact_depth(duk_context *ctx);
duk_ret_t kz_get_rear_contact_position(duk_context *ctx);
duk_ret_t kz_get_rear_contact_slip(duk_context *ctx);
duk_ret_t kz_get_rear_contact_velocity(duk_context *ctx);
