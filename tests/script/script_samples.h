// Track scripts shared by the script tests and the seeds of the "script_text"
// fuzz target: one that calls every native and prelude function, and the
// hostile ones the tests expect the game to survive.
#pragma once

// Calls every native and prelude function with good and bad arguments.
inline const char *const EVERY_FUNCTION_SCRIPT = R"js(
var v = [], m = [], tex = kz.read_texture('@fuzz/tile.png'), snd = kz.add_sound('@fuzz/sound.raw');
kz.message('loaded ' + kz.max_slots + ' ' + kz.first_lap_length + ' ' + kz.normal_lap_length);
kz.begin_custom_frame(tex); kz.paste_custom_frame(tex, 0, 0, 0, 0.5, 0.5, 0.5, 0.5); kz.end_custom_frame(tex);
kz.tic_handler = function (s) {
    var order = kz.get_running_order();
    for (var slot = -1; slot < 3; slot++) {
        kz.get_rider_down(slot); kz.get_timing_position(slot); kz.get_timing(slot, 0);
        kz.get_rider_number(slot); kz.get_rider_name(slot); kz.get_bike_model(slot);
        kz.get_position(slot); kz.get_velocity(slot);
        kz.get_front_contact_depth(slot); kz.get_rear_contact_depth(slot);
        kz.get_front_contact_position(slot, v); kz.get_front_contact_slip(slot, v);
        kz.get_front_contact_velocity(slot, v); kz.get_rear_contact_position(slot, v);
        kz.get_rear_contact_slip(slot, v); kz.get_rear_contact_velocity(slot, v);
    }
    kz.get_running_count(); kz.get_running_order_slot(0); kz.get_running_order_position(0);
    kz.get_running_order_time(0); kz.get_seconds_per_tic(); kz.get_first_lap_length();
    kz.get_normal_lap_length(); kz.get_finish_laps(); kz.get_finish_time(); kz.get_gate_drop_time();
    kz.lap_to_index(2); kz.index_to_lap(17);
    var h = kz.get_elevation(100 + s, 200) + kz.get_tile_number(30, 40 + s);
    kz.move_statue(1, 100 + s, 1, 210, s); kz.move_statue_absolute(2, 90, h, 90, [1, 0, 0, 0, 1, 0, 0, 0, 1]);
    kz.move_statue(0, 1, 1, 1, 0); kz.move_statue(-1, NaN, 1, 1, 0);
    kz.pose_statue(1, 2, [0, 1, 0, 0, 2, 0], [s, 0, 0, 0, s, 0], [1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1]);
    kz.pose_statue(2, 33, [], [], []);
    kz.move_billboard(0, 100, 2 + s, 220); kz.move_billboard_absolute(1, 5, 6, 7);
    kz.size_billboard(1, 3 + s); kz.color_billboard(0, 1, 0.5, s, 2); kz.move_billboard(-1, 0, 0, 0);
    kz.start_sound(snd); kz.set_sound_loop(snd, 1); kz.set_sound_freq(snd, 11025); kz.set_sound_vol(snd, 0.5);
    kz.set_sound_pos(snd, 1, 2, 3); kz.set_sound_vel(snd, 0, 0, 1); kz.stop_sound(snd);
};
kz.frame_handler = function (s) { kz.get_camera_location(v, m); kz.message('frame ' + s); };
)js";

// Each runs past its budget in one of the hooks.
inline const char *const LOOPING_HOOK_SCRIPTS[] = {
    "kz.tic_handler = function () { for (;;) {} };",
    "kz.frame_handler = function () { for (;;) {} };",
    // Catching the stop does not help.
    "kz.tic_handler = function () { for (;;) { try { for (;;) {} } catch (e) {} finally {} } };",
    "kz.frame_handler_ = function () { while (true) { try { throw 1; } catch (e) { continue; } } };",
    // A coroutine of the engine's own is stopped all the same.
    "kz.tic_handler = function () { var t = new Duktape.Thread(function () { for (;;) {} });"
    " Duktape.Thread.resume(t); };",
};

inline const char *const LOOPING_LOAD_SCRIPT = "var started = 1; for (;;) {}";

// Getters and proxies on the hook path: thrown errors are hook errors, loops
// run out of time.
struct HookPathScript {
    const char *text;
    int runs_out_of_time;
};
inline const HookPathScript HOOK_PATH_SCRIPTS[] = {
    {"Object.defineProperty(kz, 'tic_handler_', {get: function () { throw new Error('getter'); }});", 0},
    {"Object.defineProperty(kz, 'tic_handler_', {get: function () { for (;;) {} }});", 1},
    {"kz = new Proxy({}, {get: function () { throw new Error('trap'); }});", 0},
    {"kz = new Proxy({}, {get: function () { for (;;) {} }});", 1},
    {"kz = new Proxy(kz, {get: function (t, k) { return t[k]; }});", 0},
    {"Object.defineProperty(this, 'kz', {get: function () { throw 'global getter'; }});", 0},
    {"kz.tic_handler_ = new Proxy(function () {}, {apply: function () { throw 'apply'; }});", 0},
};

inline const char *const LOOPING_TO_STRING_SCRIPT =
    "kz.tic_handler = function () { throw {toString: function () { for (;;) {} }}; };";
inline const char *const THROWING_TO_STRING_SCRIPT =
    "kz.tic_handler = function () { throw {toString: function () { throw 2; }}; };";

// Fills the heap at load and keeps it; then the tic hook keeps catching the
// refusal.
inline const char *const HOARDING_SCRIPT =
    "var hoard = [];\n"
    "kz.tic_handler = function () {"
    " for (;;) { try { hoard.push(new ArrayBuffer(65536)); } catch (e) {} } };\n"
    "(function () { for (;;) hoard.push(new ArrayBuffer(1 << 20)); })();";

inline const char *const REGEXP_SCRIPTS[] = {
    "kz.tic_handler = function () { /(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaa'); };",
    // Each match below the step limit, again and again.
    "kz.tic_handler = function () { for (;;) /(a+)+b/.test('aaaaaaaaaaaaaaaaaa'); };",
    "kz.tic_handler = function () { for (;;) { try { /(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'); }"
    " catch (e) {} } };",
};

// Built-ins that run long without an instruction of the script in between:
// a sort (checked every few thousand comparisons) and one long string
// (its large blocks refused once the budget is spent).
inline const char *const SORTING_SCRIPT =
    "var numbers = []; (function () { for (var i = 0; i < 300000; i++) numbers.push((i * 7919) % 300007); })();\n"
    "kz.tic_handler = function () { numbers.sort(); };";
inline const char *const LONG_STRING_SCRIPT =
    "kz.tic_handler = function () { var s = 'x'.repeat(60000000); return s.length; };";

// Each ends in a RangeError at load.
inline const char *const RECURSION_SCRIPTS[] = {
    "function down(n) { return down(n + 1) + 1; }\ndown(0);",
    // Through the engine's own calls: toString, getters, proxies, JSON and the compiler.
    "var o = {}; o.toString = function () { return String(o); };\nString(o);",
    "var g = {}; Object.defineProperty(g, 'x', {get: function () { return g.x; }});\ng.x;",
    "var a = []; for (var i = 0; i < 5000; i++) a = [a];\nJSON.stringify(a);",
    "eval(new Array(5000).join('(') + '1' + new Array(5000).join(')'));",
    "var t = {}; (function () { for (var i = 0; i < 20000; i++)"
    " t = new Proxy(t, {get: function (o, k) { return o[k]; }}); })();\nt.x;",
};

// A finalizer that never ends, run in a hook (the object dropped there).
inline const char *const FINALIZER_IN_HOOK_SCRIPT =
    "kz.tic_handler = function () { Duktape.fin({}, function () { for (;;) {} }); };";
// Finalizers that never end, still held when the script is unloaded.
inline const char *const FINALIZERS_HELD_SCRIPT =
    "var held = []; for (var i = 0; i < 20; i++) {"
    " var o = {}; Duktape.fin(o, function () { for (;;) {} }); held.push(o); }";

inline const char *const MESSAGE_FLOOD_SCRIPT =
    "kz.tic_handler = function () { for (var i = 0; i < 10000; i++) kz.message('tic line'); };";

inline const char *const OUTSIDE_PATHS_SCRIPT =
    "var names = ['/dev/stdin', '@../x', '@a/../../x', '@..', '@sub/..\\\\x', '@x\\u0001', '../x', 'x', ''];\n"
    "for (var i = 0; i < names.length; i++) kz.read_texture(names[i]) + kz.add_sound(names[i]);";
