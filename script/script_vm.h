// The script engine glue: a ScriptVm owns one engine heap (our allocator with
// its cap, a CPU-time budget checked while scripts run) and the text of the
// last error; text is evaluated and functions called by dotted path, native
// function tables registered, and numbers and strings moved between script
// arrays and the program's arrays.
#pragma once

#include <cstddef>

#include "duktape.h"

enum { SCRIPT_TEXT_LENGTH = 1024, SCRIPT_CALL_ARGUMENTS = 8 };

struct ScriptVm {
    duk_context *context;
    char message[SCRIPT_TEXT_LENGTH];   // last error text, empty after a success
    size_t heap_bytes;                  // live blocks of the heap, headers included
    long long deadline_ns;              // thread CPU time the budget ends at
    int budgeted;                       // 1 while a budget runs
    int entry_budget_ms;                // budget of an entry made with none running
    int timed_out;                      // the budget ran out; stays set
    unsigned allocation_tick;           // allocations since the clock was read
};

// Live bytes of every script heap (block headers included).
extern long long script_heap_bytes;

// Thread CPU time in nanoseconds.
long long thread_cpu_ns(void);

// A new heap with an empty text buffer, or null when either allocation
// fails. Its entries run within SCRIPT_HOOK_BUDGET_MS each.
ScriptVm *script_vm_create(void);
void script_vm_destroy(ScriptVm *vm);   // null allowed

// Evaluates the text; 1, or 0 with the error's text in the buffer.
int script_vm_eval(ScriptVm *vm, const char *source);
// Calls the function the dotted path names with string arguments ended by a
// null pointer (at most SCRIPT_CALL_ARGUMENTS are passed). The result
// truncated toward zero (0 when it is no number or beyond the int range)
// with the buffer cleared; the protected call's non-zero error code with the
// error text; or 0 with "can't find %.800s" / "%.800s is not a function".
int script_vm_call(ScriptVm *vm, const char *path, ...);
const char *script_vm_message(const ScriptVm *vm);
// Two collections; finalizers get no budget here and are stopped.
void script_vm_collect(ScriptVm *vm);

// Registers the native functions of the tables (names ended by a null entry)
// on a new global object of that name, or on the global object for "". The
// target object is left on the value stack. 1, or 0 when the engine failed.
int script_register_functions(ScriptVm *vm, const char *object_name, const char *const *names,
                              const duk_c_function *functions, const int *arg_counts);
// The same with the script function table.
int script_register(ScriptVm *vm, const char *object_name);

// A budget spanning several entries (the load). Entries made while none runs
// get their own of entry_budget_ms. The end notes a budget overrun as a
// timeout even when no check caught it.
void script_vm_begin_budget(ScriptVm *vm, int milliseconds);
void script_vm_end_budget(ScriptVm *vm);
int script_vm_timed_out(const ScriptVm *vm);

// A script number truncated toward zero, or fallback when it is not finite
// or beyond the int range.
int truncate_script_number(double value, int fallback);

// Element moves between the array at value-stack index and a program array,
// elements 0 .. count-1. A value that is not an object is neither read nor
// written: the readers then fill NaN (doubles, floats), 0 (ints) or "" and
// every one returns 0; else 1.
int script_get_doubles(duk_context *ctx, duk_idx_t index, double *values, int count);
int script_get_floats(duk_context *ctx, duk_idx_t index, float *values, int count);
int script_get_ints(duk_context *ctx, duk_idx_t index, int *values, int count);
// The elements stay on the value stack (the texts point into them).
int script_get_strings(duk_context *ctx, duk_idx_t index, const char **values, int count);
int script_put_doubles(duk_context *ctx, duk_idx_t index, const double *values, int count);
int script_put_floats(duk_context *ctx, duk_idx_t index, const float *values, int count);
int script_put_ints(duk_context *ctx, duk_idx_t index, const int *values, int count);
int script_put_strings(duk_context *ctx, duk_idx_t index, const char *const *values, int count);
