// The track script's life as the race sees it: loaded with every race,
// unloaded with the next (and at shutdown), its tic hook called first in
// every race tic and its frame hook once per drawn scene. A hook that runs
// past its budget stops the script for the race.
#pragma once

struct ScriptVm;

extern ScriptVm *track_script;   // null while no script is loaded
// CPU-time budgets of the load and of each hook call (SCRIPT_LOAD_BUDGET_MS
// and SCRIPT_HOOK_BUDGET_MS unless changed).
extern int script_load_budget_ms;
extern int script_hook_budget_ms;

// Reads the script file, makes its engine with kz and the prelude, runs it;
// 1 when the file was read and an engine made, else 0.
int load_track_script(const char *path);
void unload_track_script(void);
void call_tic_handler(void);
void call_frame_handler(void);
// The time both hooks pass: tics since the race's hook base tic, at least 0.
int script_hook_time(void);

// kz.message: cut to SCRIPT_MESSAGE_LENGTH characters; at most
// SCRIPT_MESSAGES_PER_SECOND lines a second reach the message line, the
// rest are counted in one log line when the script is unloaded.
void show_script_message(const char *text);
