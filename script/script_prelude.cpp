// The prelude every track script's engine evaluates after the natives are
// registered and before the track's file: the running order as objects, the
// hooks the track script replaces with the wrappers the game calls, lap and
// gate arithmetic, position and velocity as new arrays, and four constants
// taken once at load.
#include "script/script_functions.h"

const char script_prelude[] = R"js(
kz.get_running_order = function () {
    var order = [];
    var count = kz.get_running_count();
    for (var i = 0; i < count; i++)
        order.push({
            slot: kz.get_running_order_slot(i),
            position: kz.get_running_order_position(i),
            time: kz.get_running_order_time(i) * kz.seconds_per_tic
        });
    return order;
};
kz.frame_handler = function (tics) {};
kz.frame_handler_ = function (tics) {
    kz.seconds = tics * kz.seconds_per_tic;
    if ('frame_handler' in kz)
        kz.frame_handler(kz.seconds);
};
kz.tic_handler = function (tics) {};
kz.tic_handler_ = function (tics) {
    kz.seconds = tics * kz.seconds_per_tic;
    if ('tic_handler' in kz)
        kz.tic_handler(kz.seconds);
};
kz.lap_to_index = function (lap) {
    if (lap == 0)
        return 0;
    return kz.first_lap_length + kz.normal_lap_length * (lap - 1) - 1;
};
kz.index_to_lap = function (index) {
    if (kz.normal_lap_length == 0 || index < kz.first_lap_length)
        return 0;
    return 1 + Math.floor((index - kz.first_lap_length) / kz.normal_lap_length);
};
kz.get_position = function (slot) {
    var v = [];
    return kz.get_position_(slot, v) ? v : null;
};
kz.get_velocity = function (slot) {
    var v = [];
    return kz.get_velocity_(slot, v) ? v : null;
};
kz.max_slots = kz.get_max_slots();
kz.first_lap_length = kz.get_first_lap_length();
kz.normal_lap_length = kz.get_normal_lap_length();
kz.seconds_per_tic = kz.get_seconds_per_tic();
kz.tics_per_second = 1.0 / kz.seconds_per_tic;
)js";
