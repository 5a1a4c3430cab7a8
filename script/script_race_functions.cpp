// The natives of kz that read the race: the running order, each rider's
// timing, name, number and bike, the race's laps and times, the frame body's
// position and velocity, and the wheel contacts.
#include "script/script_functions.h"

#include <ode/ode.h>

#include "bike/bike_getters.h"
#include "bike/bike_state.h"
#include "bike/contact_readout.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "script/script_vm.h"
#include "track/timing.h"

static const RunningOrderEntry *running_entry(duk_context *ctx)
{
    int i = script_int_argument(ctx, 0, -1);
    if (i < 0 || i >= running_order_count || i >= BIKE_SLOT_COUNT)
        return nullptr;
    return &running_order[i];
}

duk_ret_t kz_get_running_count(duk_context *ctx)
{
    return return_script_number(ctx, running_order_count);
}

duk_ret_t kz_get_running_order_slot(duk_context *ctx)
{
    const RunningOrderEntry *entry = running_entry(ctx);
    return return_script_number(ctx, entry ? entry->slot : 0);
}

duk_ret_t kz_get_running_order_position(duk_context *ctx)
{
    const RunningOrderEntry *entry = running_entry(ctx);
    return return_script_number(ctx, entry ? entry->gates : 0);
}

duk_ret_t kz_get_running_order_time(duk_context *ctx)
{
    const RunningOrderEntry *entry = running_entry(ctx);
    return return_script_number(ctx, entry ? entry->last_gate_tic : 0);
}

duk_ret_t kz_get_rider_down(duk_context *ctx)
{
    BikeState *bike = script_bike_argument(ctx, 0);
    return return_script_number(ctx, bike && is_rider_down(bike) ? 1 : 0);
}

duk_ret_t kz_get_first_lap_length(duk_context *ctx)
{
    return return_script_number(ctx, lap_gate_list.first_lap_count);
}

duk_ret_t kz_get_normal_lap_length(duk_context *ctx)
{
    return return_script_number(ctx, lap_gate_list.normal_lap_count);
}

duk_ret_t kz_get_timing_position(duk_context *ctx)
{
    BikeState *bike = script_bike_argument(ctx, 0);
    return return_script_number(ctx, bike ? get_gates_passed(bike) : -1);
}

duk_ret_t kz_get_timing(duk_context *ctx)
{
    BikeState *bike = script_bike_argument(ctx, 0);
    if (!bike)
        return return_script_number(ctx, -1);
    int tic = get_gate_time(bike, script_int_argument(ctx, 1, -1));
    return return_script_number(ctx, (double)tic * TIC_LENGTH);
}

duk_ret_t kz_get_rider_number(duk_context *ctx)
{
    BikeState *bike = script_bike_argument(ctx, 0);
    const char *number = bike ? get_rider_number_text(bike) : nullptr;
    duk_push_string(ctx, number ? number : "");
    return 1;
}

duk_ret_t kz_get_rider_name(duk_context *ctx)
{
    int slot = script_int_argument(ctx, 0, -1);
    duk_push_string(ctx, (unsigned)slot < BIKE_SLOT_COUNT ? rider_names[slot] : "");
    return 1;
}

duk_ret_t kz_get_bike_model(duk_context *ctx)
{
    BikeState *bike = script_bike_argument(ctx, 0);
    const char *model = bike ? get_bike_model_name(bike) : nullptr;
    duk_push_string(ctx, model ? model : "");
    return 1;
}

duk_ret_t kz_get_finish_laps(duk_context *ctx)
{
    return return_script_number(ctx, race_settings.laps);
}

duk_ret_t kz_get_finish_time(duk_context *ctx)
{
    return return_script_number(ctx, (float)((double)race_settings.length_tics * TIC_LENGTH));
}

duk_ret_t kz_get_gate_drop_time(duk_context *ctx)
{
    if (current_tic < race_settings.start_tic)
        return return_script_number(ctx, -1);
    return return_script_number(ctx, (float)((double)race_settings.start_tic * TIC_LENGTH));
}

// The frame body's vector into the array argument; 1, or 0 with zeros.
static duk_ret_t frame_vector(duk_context *ctx, const dReal *(*read)(dBodyID))
{
    BikeState *bike = script_bike_argument(ctx, 0);
    float v[3] = {0.0f, 0.0f, 0.0f};
    int found = bike && get_bike_body(bike) && duk_is_object(ctx, 1);
    if (found) {
        const dReal *value = read(get_bike_body(bike));
        for (int k = 0; k < 3; k++)
            v[k] = (float)value[k];
    }
    script_put_floats(ctx, 1, v, 3);
    return return_script_number(ctx, found);
}

duk_ret_t kz_get_position(duk_context *ctx)
{
    return frame_vector(ctx, dBodyGetPosition);
}

duk_ret_t kz_get_velocity(duk_context *ctx)
{
    return frame_vector(ctx, dBodyGetLinearVel);
}

// ---- wheel contacts ---------------------------------------------------------

static duk_ret_t contact_depth(duk_context *ctx, float (*query)(BikeState *))
{
    BikeState *bike = script_bike_argument(ctx, 0);
    return return_script_number(ctx, bike ? query(bike) : 0.0f);
}

static duk_ret_t contact_vector(duk_context *ctx, int (*query)(BikeState *, float *))
{
    BikeState *bike = script_bike_argument(ctx, 0);
    float v[3] = {0.0f, 0.0f, 0.0f};
    int touching = bike && duk_is_object(ctx, 1) ? query(bike, v) : 0;
    if (!touching)
        v[0] = v[1] = v[2] = 0.0f;
    script_put_floats(ctx, 1, v, 3);
    return return_script_number(ctx, touching ? 1 : 0);
}

duk_ret_t kz_get_front_contact_depth(duk_context *ctx)
{
    return contact_depth(ctx, query_front_contact_depth);
}

duk_ret_t kz_get_front_contact_position(duk_context *ctx)
{
    return contact_vector(ctx, query_front_contact_position);
}

duk_ret_t kz_get_front_contact_slip(duk_context *ctx)
{
    return contact_vector(ctx, query_front_contact_slip);
}

duk_ret_t kz_get_front_contact_velocity(duk_context *ctx)
{
    return contact_vector(ctx, query_front_contact_velocity);
}

duk_ret_t kz_get_rear_contact_depth(duk_context *ctx)
{
    return contact_depth(ctx, query_rear_contact_depth);
}

duk_ret_t kz_get_rear_contact_position(duk_context *ctx)
{
    return contact_vector(ctx, query_rear_contact_position);
}

duk_ret_t kz_get_rear_contact_slip(duk_context *ctx)
{
    return contact_vector(ctx, query_rear_contact_slip);
}

duk_ret_t kz_get_rear_contact_velocity(duk_context *ctx)
{
    return contact_vector(ctx, query_rear_contact_velocity);
}
