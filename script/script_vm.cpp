// The script engine glue: the heap's allocator (a size header per block, a
// cap, plain malloc), the CPU-time check the engine runs between
// instructions, evaluation and calls by dotted path each inside one budgeted
// protected call, registration of native tables, and the array moves.
//
// A throw unwinds the engine by longjmp: the bodies below and the natives
// hold nothing that needs a destructor or a free across an engine call.
#include "script/script_vm.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/log.h"
#include "script/script_functions.h"
#include "script/script_limits.h"

long long script_heap_bytes;
size_t script_heap_cap = SCRIPT_HEAP_CAP;

namespace {

// Keeps malloc's alignment for the engine's blocks.
const size_t BLOCK_HEADER = 16;
// Allocations between two reads of the clock inside a budget.
const unsigned CLOCK_READ_INTERVAL = 256;

size_t block_size(void *block)
{
    size_t size;
    memcpy(&size, (uint8_t *)block - BLOCK_HEADER, sizeof size);
    return size;
}

// The running thread takes its interrupt, and so the budget check, at its
// next instruction.
void interrupt_soon(ScriptVm *vm)
{
    if (vm->context)
        script_interrupt_soon(vm->context);
}

// 1 once the running budget's CPU time is spent. The thread's CPU clock is
// a system call; the monotonic clock is not, and a thread cannot have used
// more CPU time than has passed, so the first is read only when the second
// has run past the budget.
int budget_spent(const ScriptVm *vm)
{
    if (monotonic_ns() - vm->wall_start_ns < vm->budget_ns)
        return 0;
    return thread_cpu_ns() - vm->cpu_start_ns >= vm->budget_ns;
}

// The clock is read every CLOCK_READ_INTERVAL blocks, and for every large one.
void note_clock(ScriptVm *vm, size_t size)
{
    if (!vm->budgeted || vm->timed_out)
        return;
    if (++vm->allocation_tick < CLOCK_READ_INTERVAL && size < SCRIPT_STOPPED_BLOCK_LIMIT)
        return;
    vm->allocation_tick = 0;
    if (budget_spent(vm)) {
        vm->timed_out = 1;
        interrupt_soon(vm);
    }
}

// 1 when a block of size bytes may replace one of old bytes. A script past
// its budget still gets small blocks (it needs some to unwind, and each
// refused block costs the engine its collections before it gives up) but no
// large one: a built-in making a long string or buffer fails at once.
int admit_block(ScriptVm *vm, size_t size, size_t old)
{
    note_clock(vm, size);
    if ((vm->timed_out && size >= SCRIPT_STOPPED_BLOCK_LIMIT) || size > script_heap_cap ||
        vm->heap_bytes - old + size + BLOCK_HEADER > script_heap_cap) {
        interrupt_soon(vm);
        return 0;
    }
    return 1;
}

void count_bytes(ScriptVm *vm, long long change)
{
    vm->heap_bytes = (size_t)((long long)vm->heap_bytes + change);
    script_heap_bytes += change;
}

void *script_alloc(void *udata, duk_size_t size)
{
    ScriptVm *vm = (ScriptVm *)udata;
    if (!admit_block(vm, size, 0))
        return nullptr;
    uint8_t *block = (uint8_t *)malloc(size + BLOCK_HEADER);
    if (!block) {
        interrupt_soon(vm);
        return nullptr;
    }
    memcpy(block, &size, sizeof size);
    count_bytes(vm, (long long)(size + BLOCK_HEADER));
    return block + BLOCK_HEADER;
}

void script_free(void *udata, void *pointer)
{
    if (!pointer)
        return;
    ScriptVm *vm = (ScriptVm *)udata;
    count_bytes(vm, -(long long)(block_size(pointer) + BLOCK_HEADER));
    free((uint8_t *)pointer - BLOCK_HEADER);
}

void *script_realloc(void *udata, void *pointer, duk_size_t size)
{
    if (!pointer)
        return script_alloc(udata, size);
    if (size == 0) {
        script_free(udata, pointer);
        return nullptr;
    }
    ScriptVm *vm = (ScriptVm *)udata;
    size_t old = block_size(pointer);
    if (size > old && !admit_block(vm, size, old + BLOCK_HEADER))
        return nullptr;
    uint8_t *block = (uint8_t *)realloc((uint8_t *)pointer - BLOCK_HEADER, size + BLOCK_HEADER);
    if (!block) {
        interrupt_soon(vm);
        return nullptr;   // the old block stays
    }
    memcpy(block, &size, sizeof size);
    count_bytes(vm, (long long)size - (long long)old);
    return block + BLOCK_HEADER;
}

// The engine cannot go on (an error with no catcher, a broken invariant).
void script_fatal(void *, const char *text)
{
    log_printf("Script engine fatal error: %s\n", text ? text : "(no text)");
    abort();
}

void set_message(ScriptVm *vm, const char *text)
{
    snprintf(vm->message, sizeof vm->message, "%s", text ? text : "");
}

// The error on the value stack top as text, popped.
void take_error_text(ScriptVm *vm, duk_context *ctx)
{
    set_message(vm, duk_safe_to_string(ctx, -1));
    duk_pop(ctx);
}

// Runs body as one protected call within the running budget (or one of its
// own); the call's one result stays on the value stack.
duk_int_t run_entry(ScriptVm *vm, duk_safe_call_function body, void *work)
{
    int own = !vm->budgeted;
    if (own)
        script_vm_begin_budget(vm, vm->entry_budget_ms);
    duk_int_t code = duk_safe_call(vm->context, body, work, 0, 1);
    if (own)
        script_vm_end_budget(vm);
    if (vm->timed_out)
        snprintf(vm->message, sizeof vm->message,
                 "script stopped: it ran past its CPU time budget");
    return code;
}

struct EvalWork {
    ScriptVm *vm;
    const char *source;
    int result;
};

duk_ret_t eval_body(duk_context *ctx, void *udata)
{
    EvalWork *work = (EvalWork *)udata;
    if (duk_peval_string(ctx, work->source) != 0) {
        take_error_text(work->vm, ctx);
        work->result = 0;
    } else {
        duk_pop(ctx);
        work->vm->message[0] = 0;
        work->result = 1;
    }
    duk_push_undefined(ctx);
    return 1;
}

struct CallWork {
    ScriptVm *vm;
    const char *path;
    const char *arguments[SCRIPT_CALL_ARGUMENTS];
    int argument_count;
    int found;      // 0 when the walk failed (its text is in the buffer)
    int result;
};

// The walk along the path and the call, all inside the entry's protected
// call: a getter or a proxy trap on the way may throw or loop.
duk_ret_t walk_and_call(duk_context *ctx, void *udata)
{
    CallWork *work = (CallWork *)udata;
    ScriptVm *vm = work->vm;
    work->found = 0;
    duk_push_global_object(ctx);
    const char *component = work->path;
    const char *last = component;
    for (;;) {
        const char *dot = strchr(component, '.');
        size_t length = dot ? (size_t)(dot - component) : strlen(component);
        if (length + 1 > SCRIPT_TEXT_LENGTH || !duk_is_object(ctx, -1)) {
            duk_pop(ctx);
            snprintf(vm->message, sizeof vm->message, "can't find %.800s", component);
            duk_push_int(ctx, 0);
            return 1;
        }
        char name[SCRIPT_TEXT_LENGTH];
        memcpy(name, component, length);
        name[length] = 0;
        duk_get_prop_string(ctx, -1, name);
        duk_swap_top(ctx, -2);
        duk_pop(ctx);
        last = component;
        if (!dot)
            break;
        component = dot + 1;
    }
    if (!duk_is_function(ctx, -1)) {
        duk_pop(ctx);
        snprintf(vm->message, sizeof vm->message, "%.800s is not a function", last);
        duk_push_int(ctx, 0);
        return 1;
    }
    work->found = 1;
    for (int i = 0; i < work->argument_count; i++)
        duk_push_string(ctx, work->arguments[i]);
    duk_call(ctx, work->argument_count);
    return 1;
}

duk_ret_t call_body(duk_context *ctx, void *udata)
{
    CallWork *work = (CallWork *)udata;
    duk_int_t code = duk_safe_call(ctx, walk_and_call, work, 0, 1);
    if (code != 0) {
        take_error_text(work->vm, ctx);
        work->result = (int)code;
    } else {
        if (work->found) {
            work->result = truncate_script_number(duk_get_number_default(ctx, -1, 0.0), 0);
            work->vm->message[0] = 0;
        } else {
            work->result = 0;
        }
        duk_pop(ctx);
    }
    duk_push_undefined(ctx);
    return 1;
}

struct RegisterWork {
    const char *object_name;
    const char *const *names;
    const duk_c_function *functions;
    const int *arg_counts;
};

duk_ret_t register_body(duk_context *ctx, void *udata)
{
    RegisterWork *work = (RegisterWork *)udata;
    if (work->object_name[0]) {
        duk_push_object(ctx);
        duk_dup_top(ctx);
        duk_put_global_string(ctx, work->object_name);
    } else {
        duk_push_global_object(ctx);
    }
    for (int i = 0; work->names[i]; i++) {
        duk_push_c_function(ctx, work->functions[i], work->arg_counts[i]);
        duk_put_prop_string(ctx, -2, work->names[i]);
    }
    return 1;
}

duk_idx_t array_index(duk_context *ctx, duk_idx_t index)
{
    return duk_is_object(ctx, index) ? duk_normalize_index(ctx, index) : DUK_INVALID_INDEX;
}

}  // namespace

extern "C" int script_timed_out(void *udata)
{
    ScriptVm *vm = (ScriptVm *)udata;
    if (!vm || !vm->budgeted || vm->timed_out)
        return 1;   // outside an entry nothing runs
    if (!budget_spent(vm))
        return 0;
    vm->timed_out = 1;
    return 1;
}

long long thread_cpu_ns(void)
{
    struct timespec now;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0)
        return 0;
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

long long monotonic_ns(void)
{
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

ScriptVm *script_vm_create(void)
{
    ScriptVm *vm = (ScriptVm *)calloc(1, sizeof(ScriptVm));
    if (!vm)
        return nullptr;
    vm->entry_budget_ms = SCRIPT_HOOK_BUDGET_MS;
    vm->context = duk_create_heap(script_alloc, script_realloc, script_free, vm, script_fatal);
    if (!vm->context) {
        free(vm);
        return nullptr;
    }
    return vm;
}

void script_vm_destroy(ScriptVm *vm)
{
    if (!vm)
        return;
    // Finalizers run now find no budget and stop at their first instruction;
    // they may still take memory to unwind.
    vm->budgeted = 0;
    vm->timed_out = 0;
    duk_destroy_heap(vm->context);
    free(vm);
}

int script_vm_eval(ScriptVm *vm, const char *source)
{
    EvalWork work = {vm, source ? source : "", 0};
    if (run_entry(vm, eval_body, &work) != 0) {
        set_message(vm, "script engine error");
        work.result = 0;
    }
    duk_pop(vm->context);
    return vm->timed_out ? 0 : work.result;
}

int script_vm_call(ScriptVm *vm, const char *path, ...)
{
    CallWork work;
    memset(&work, 0, sizeof work);
    work.vm = vm;
    work.path = path ? path : "";
    va_list list;
    va_start(list, path);
    for (const char *argument = va_arg(list, const char *); argument;
         argument = va_arg(list, const char *))
        if (work.argument_count < SCRIPT_CALL_ARGUMENTS)
            work.arguments[work.argument_count++] = argument;
    va_end(list);
    duk_int_t code = run_entry(vm, call_body, &work);
    if (code != 0) {
        set_message(vm, "script engine error");
        work.result = (int)code;
    }
    duk_pop(vm->context);
    return work.result;
}

const char *script_vm_message(const ScriptVm *vm)
{
    return vm->message;
}

void script_vm_collect(ScriptVm *vm)
{
    duk_gc(vm->context, 0);
    duk_gc(vm->context, 0);
}

int script_register_functions(ScriptVm *vm, const char *object_name, const char *const *names,
                              const duk_c_function *functions, const int *arg_counts)
{
    RegisterWork work = {object_name ? object_name : "", names, functions, arg_counts};
    if (run_entry(vm, register_body, &work) != 0) {
        set_message(vm, "script engine error");
        return 0;
    }
    return 1;
}

int script_register(ScriptVm *vm, const char *object_name)
{
    return script_register_functions(vm, object_name, script_function_names, script_functions,
                                     script_function_arg_counts);
}

void script_vm_begin_budget(ScriptVm *vm, int milliseconds)
{
    vm->budget_ns = (long long)milliseconds * 1000000LL;
    vm->cpu_start_ns = thread_cpu_ns();
    vm->wall_start_ns = monotonic_ns();
    vm->allocation_tick = 0;
    vm->budgeted = 1;
}

void script_vm_end_budget(ScriptVm *vm)
{
    if (vm->budgeted && budget_spent(vm))
        vm->timed_out = 1;
    vm->budgeted = 0;
}

int script_vm_timed_out(const ScriptVm *vm)
{
    return vm->timed_out;
}

int truncate_script_number(double value, int fallback)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return fallback;
    return (int)value;
}

int script_get_doubles(duk_context *ctx, duk_idx_t index, double *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    for (int i = 0; i < count; i++) {
        values[i] = NAN;
        if (array == DUK_INVALID_INDEX)
            continue;
        duk_get_prop_index(ctx, array, (duk_uarridx_t)i);
        values[i] = duk_get_number(ctx, -1);
        duk_pop(ctx);
    }
    return array != DUK_INVALID_INDEX;
}

int script_get_floats(duk_context *ctx, duk_idx_t index, float *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    for (int i = 0; i < count; i++) {
        values[i] = NAN;
        if (array == DUK_INVALID_INDEX)
            continue;
        duk_get_prop_index(ctx, array, (duk_uarridx_t)i);
        values[i] = (float)duk_get_number(ctx, -1);
        duk_pop(ctx);
    }
    return array != DUK_INVALID_INDEX;
}

int script_get_ints(duk_context *ctx, duk_idx_t index, int *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    for (int i = 0; i < count; i++) {
        values[i] = 0;
        if (array == DUK_INVALID_INDEX)
            continue;
        duk_get_prop_index(ctx, array, (duk_uarridx_t)i);
        values[i] = truncate_script_number(duk_get_number(ctx, -1), 0);
        duk_pop(ctx);
    }
    return array != DUK_INVALID_INDEX;
}

int script_get_strings(duk_context *ctx, duk_idx_t index, const char **values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    if (array != DUK_INVALID_INDEX && count > 0)
        duk_require_stack(ctx, count);
    for (int i = 0; i < count; i++) {
        values[i] = "";
        if (array == DUK_INVALID_INDEX)
            continue;
        duk_get_prop_index(ctx, array, (duk_uarridx_t)i);
        values[i] = duk_get_string_default(ctx, -1, "");
    }
    return array != DUK_INVALID_INDEX;
}

int script_put_doubles(duk_context *ctx, duk_idx_t index, const double *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    if (array == DUK_INVALID_INDEX)
        return 0;
    for (int i = 0; i < count; i++) {
        duk_push_number(ctx, values[i]);
        duk_put_prop_index(ctx, array, (duk_uarridx_t)i);
    }
    return 1;
}

int script_put_floats(duk_context *ctx, duk_idx_t index, const float *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    if (array == DUK_INVALID_INDEX)
        return 0;
    for (int i = 0; i < count; i++) {
        duk_push_number(ctx, (double)values[i]);
        duk_put_prop_index(ctx, array, (duk_uarridx_t)i);
    }
    return 1;
}

int script_put_ints(duk_context *ctx, duk_idx_t index, const int *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    if (array == DUK_INVALID_INDEX)
        return 0;
    for (int i = 0; i < count; i++) {
        duk_push_int(ctx, values[i]);
        duk_put_prop_index(ctx, array, (duk_uarridx_t)i);
    }
    return 1;
}

int script_put_strings(duk_context *ctx, duk_idx_t index, const char *const *values, int count)
{
    duk_idx_t array = array_index(ctx, index);
    if (array == DUK_INVALID_INDEX)
        return 0;
    for (int i = 0; i < count; i++) {
        duk_push_string(ctx, values[i] ? values[i] : "");
        duk_put_prop_index(ctx, array, (duk_uarridx_t)i);
    }
    return 1;
}
