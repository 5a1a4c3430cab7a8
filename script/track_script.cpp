// The one track script: loading "frills.js" into an engine of its own with
// kz and the prelude, the frame and tic hooks, unloading, and what a script
// may put on the message line and in the log.
#include "script/track_script.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "platform/time.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "script/script_functions.h"
#include "script/script_limits.h"
#include "script/script_vm.h"

ScriptVm *track_script;
int script_load_budget_ms = SCRIPT_LOAD_BUDGET_MS;
int script_hook_budget_ms = SCRIPT_HOOK_BUDGET_MS;

namespace {

// What the script of this race said and did wrong.
struct ScriptRaceLog {
    int window_open;
    uint64_t window_start;             // milliseconds
    int window_messages;
    int messages_dropped;
    int errors_logged;
    int errors_not_logged;
    char last_error[SCRIPT_TEXT_LENGTH];
};

ScriptRaceLog race_log;

void report_script_error(const char *text)
{
    char line[1024];
    snprintf(line, sizeof line, "javascript error: %.900s\n", text);
    print_message(line);
}

// Hook errors stay off the message line: the first and each new text are
// logged, up to the limit.
void log_hook_error(const char *text)
{
    if (!strcmp(text, race_log.last_error))
        return;
    if (race_log.errors_logged >= SCRIPT_ERROR_LOG_LIMIT) {
        race_log.errors_not_logged++;
        return;
    }
    snprintf(race_log.last_error, sizeof race_log.last_error, "%s", text);
    race_log.errors_logged++;
    log_printf("Track script hook error: %.900s\n", text);
}

void call_hook(const char *path)
{
    ScriptVm *vm = track_script;
    if (!vm)
        return;
    char time[16];
    snprintf(time, sizeof time, "%d", script_hook_time());
    vm->entry_budget_ms = script_hook_budget_ms;
    script_vm_call(vm, path, time, (const char *)nullptr);
    if (script_vm_timed_out(vm)) {
        report_script_error(script_vm_message(vm));
        unload_track_script();
        return;
    }
    if (script_vm_message(vm)[0])
        log_hook_error(script_vm_message(vm));
}

}  // namespace

int load_track_script(const char *path)
{
    unload_track_script();
    char *text = file_to_string(path);
    if (!text)
        return 0;
    ScriptVm *vm = script_vm_create();
    if (!vm) {
        log_printf("No script engine for %s\n", path);
        checked_free(text);
        return 0;
    }
    script_vm_begin_budget(vm, script_load_budget_ms);
    if (!script_register_functions(vm, "kz", script_function_names, script_functions,
                                   script_function_arg_counts))
        log_printf("The script functions could not be registered\n");
    duk_pop(vm->context);   // the object they went on
    if (!script_vm_eval(vm, script_prelude) && !script_vm_timed_out(vm) && script_vm_message(vm)[0])
        report_script_error(script_vm_message(vm));
    track_script = vm;
    int done = script_vm_eval(vm, text);
    script_vm_end_budget(vm);
    checked_free(text);
    if (script_vm_timed_out(vm)) {
        report_script_error(script_vm_message(vm));
        unload_track_script();
    } else if (!done) {
        report_script_error(script_vm_message(vm));
    }
    return 1;
}

void unload_track_script(void)
{
    if (track_script) {
        script_vm_destroy(track_script);
        track_script = nullptr;
    }
    if (race_log.messages_dropped > 0)
        log_printf("Track script: %d messages not shown\n", race_log.messages_dropped);
    if (race_log.errors_not_logged > 0)
        log_printf("Track script: %d hook errors not logged\n", race_log.errors_not_logged);
    memset(&race_log, 0, sizeof race_log);
}

void call_tic_handler(void)
{
    call_hook("kz.tic_handler_");
}

void call_frame_handler(void)
{
    call_hook("kz.frame_handler_");
}

int script_hook_time(void)
{
    long long tics = (long long)current_tic - hook_base_tic;
    return tics < 0 ? 0 : tics > INT_MAX ? INT_MAX : (int)tics;
}

void show_script_message(const char *text)
{
    uint64_t now = clock_milliseconds();
    if (!race_log.window_open || now - race_log.window_start >= 1000) {
        race_log.window_open = 1;
        race_log.window_start = now;
        race_log.window_messages = 0;
    }
    if (race_log.window_messages >= SCRIPT_MESSAGES_PER_SECOND) {
        race_log.messages_dropped++;
        return;
    }
    race_log.window_messages++;
    // Cut without splitting a UTF-8 sequence.
    size_t length = strlen(text);
    if (length > SCRIPT_MESSAGE_LENGTH) {
        length = SCRIPT_MESSAGE_LENGTH;
        while (length > 0 && ((unsigned char)text[length] & 0xc0) == 0x80)
            length--;
    }
    char line[SCRIPT_MESSAGE_LENGTH + 1];
    memcpy(line, text, length);
    line[length] = 0;
    print_message(line);
}
