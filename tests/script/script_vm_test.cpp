// The engine glue on a heap of its own: calls by dotted path and their
// results, error texts and their cut, registration, the array moves in a
// native, the heap's cap and byte count, and the budget outside entries.
#include "script/script_vm.h"

#include "script/script_functions.h"
#include "script/script_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct ScriptHeap : testing::Test {
    ScriptVm *vm = nullptr;
    void SetUp() override
    {
        vm = script_vm_create();
        ASSERT_NE(vm, nullptr);
        // These entries are not about time: a loaded machine under the
        // sanitizers can spend a hook's 20 ms compiling a few lines.
        vm->entry_budget_ms = 2000;
    }
    void TearDown() override
    {
        script_vm_destroy(vm);
        EXPECT_EQ(script_heap_bytes, 0);
    }
    double global_number(const char *name)
    {
        duk_get_global_string(vm->context, name);
        double v = duk_is_number(vm->context, -1) ? duk_get_number(vm->context, -1) : NAN;
        duk_pop(vm->context);
        return v;
    }
};

// A native that reads its first argument as arrays of each kind and writes
// what it read into its second, so a script sees both directions.
duk_ret_t echo_arrays(duk_context *ctx)
{
    double d[3];
    float f[3];
    int n[3];
    const char *s[3];
    duk_idx_t top = duk_get_top(ctx);
    int read = script_get_doubles(ctx, 0, d, 3);
    script_get_floats(ctx, 0, f, 3);
    script_get_ints(ctx, 0, n, 3);
    script_get_strings(ctx, -2 - 0, s, 3);   // a relative index: the first argument
    int strings_kept = duk_get_top(ctx) - top;
    duk_push_object(ctx);   // the report
    duk_push_array(ctx);
    script_put_doubles(ctx, -1, d, 3);
    duk_put_prop_string(ctx, -2, "doubles");
    duk_push_array(ctx);
    script_put_floats(ctx, -1, f, 3);
    duk_put_prop_string(ctx, -2, "floats");
    duk_push_array(ctx);
    script_put_ints(ctx, -1, n, 3);
    duk_put_prop_string(ctx, -2, "ints");
    duk_push_array(ctx);
    script_put_strings(ctx, -1, s, 3);
    duk_put_prop_string(ctx, -2, "strings");
    duk_push_int(ctx, read);
    duk_put_prop_string(ctx, -2, "read");
    duk_push_int(ctx, strings_kept);
    duk_put_prop_string(ctx, -2, "kept");
    duk_push_int(ctx, script_put_ints(ctx, 1, n, 3));
    duk_put_prop_string(ctx, -2, "written");
    return 1;
}

const char *const TEST_NAMES[] = {"echo", nullptr};
const duk_c_function TEST_FUNCTIONS[] = {echo_arrays, nullptr};
const int TEST_COUNTS[] = {2, 0};

}  // namespace

TEST_F(ScriptHeap, ResultsAreTruncatedTowardZeroOrZero)
{
    const struct {
        const char *value;
        int result;
    } cases[] = {
        {"3.7", 3},   {"-3.7", -3},           {"NaN", 0},          {"1e300", 0},
        {"'x'", 0},   {"'12'", 0},            {"undefined", 0},    {"Infinity", 0},
        {"2147483647.9", 2147483647},         {"-2147483648.9", -2147483647 - 1},
        {"2147483648", 0},                     {"-2147483649", 0},  {"{valueOf: function () { return 4; }}", 0},
    };
    for (const auto &c : cases) {
        std::string text = std::string("function f() { return ") + c.value + "; }";
        ASSERT_TRUE(script_vm_eval(vm, text.c_str())) << script_vm_message(vm);
        EXPECT_EQ(script_vm_call(vm, "f", (const char *)nullptr), c.result) << c.value;
        EXPECT_STREQ(script_vm_message(vm), "") << c.value;
    }
}

TEST_F(ScriptHeap, CallsFindTheirFunctionByPathOrSayWhy)
{
    ASSERT_TRUE(script_register(vm, "kz"));
    duk_pop(vm->context);
    ASSERT_TRUE(script_vm_eval(vm, "var a = {b: {c: function (x, y) { return Number(x + y); }}, n: 5};"));
    EXPECT_EQ(script_vm_call(vm, "a.b.c", "4", "2", (const char *)nullptr), 42);   // strings joined
    EXPECT_EQ(script_vm_call(vm, "kz.get_max_slots", (const char *)nullptr), 160);

    const struct {
        const char *path;
        const char *text;
    } cases[] = {
        {"kz.nothing", "nothing is not a function"},
        {"nobody.b.c", "can't find b.c"},
        {"a.n", "n is not a function"},
        {"a.n.m", "can't find m"},   // a number is no container
        {"a.nothing.c", "can't find c"},
        {"", " is not a function"},
    };
    for (const auto &c : cases) {
        strcpy(vm->message, "old");
        EXPECT_EQ(script_vm_call(vm, c.path, (const char *)nullptr), 0) << c.path;
        EXPECT_STREQ(script_vm_message(vm), c.text) << c.path;
    }
    // A component longer than the text buffer is not looked up.
    std::string long_path = "a." + std::string(1100, 'q');
    EXPECT_EQ(script_vm_call(vm, long_path.c_str(), (const char *)nullptr), 0);
    EXPECT_EQ(std::string(script_vm_message(vm)), "can't find " + std::string(800, 'q'));
}

TEST_F(ScriptHeap, ErrorsGiveTheCallsCodeAndTheirTextCutToTheBuffer)
{
    ASSERT_TRUE(script_vm_eval(vm, "function f() { throw new TypeError('bad ' + 'x'.repeat(2000)); }\n"
                                   "function g() { throw {toString: function () { return 'own text'; }}; }"));
    EXPECT_NE(script_vm_call(vm, "f", (const char *)nullptr), 0);
    std::string text = script_vm_message(vm);
    EXPECT_EQ(text.size(), (size_t)SCRIPT_TEXT_LENGTH - 1);
    EXPECT_EQ(text.substr(0, 14), "TypeError: bad");
    EXPECT_NE(script_vm_call(vm, "g", (const char *)nullptr), 0);
    EXPECT_STREQ(script_vm_message(vm), "own text");
    // A success clears the text.
    ASSERT_TRUE(script_vm_eval(vm, "function h() { return 1; }"));
    EXPECT_EQ(script_vm_call(vm, "h", (const char *)nullptr), 1);
    EXPECT_STREQ(script_vm_message(vm), "");
    EXPECT_FALSE(script_vm_eval(vm, "syntax error here"));
    EXPECT_EQ(std::string(script_vm_message(vm)).substr(0, 11), "SyntaxError");
}

TEST_F(ScriptHeap, TablesRegisterOnANamedObjectOrTheGlobalObject)
{
    ASSERT_TRUE(script_register_functions(vm, "", TEST_NAMES, TEST_FUNCTIONS, TEST_COUNTS));
    EXPECT_TRUE(duk_is_object(vm->context, -1));   // the target is left on the stack
    duk_pop(vm->context);
    ASSERT_TRUE(script_register(vm, "kz"));
    duk_pop(vm->context);
    ASSERT_TRUE(script_vm_eval(vm, "var kinds = typeof echo + typeof kz.get_elevation;\n"
                                   "var count = 0; for (var k in kz) count++;\n"
                                   "var lengths = kz.paste_custom_frame.length * 100 + kz.get_timing.length;"));
    duk_get_global_string(vm->context, "kinds");
    EXPECT_STREQ(duk_get_string(vm->context, -1), "functionfunction");
    duk_pop(vm->context);
    EXPECT_EQ(global_number("count"), SCRIPT_FUNCTION_COUNT);
    EXPECT_EQ(global_number("lengths"), 802.0);
}

TEST_F(ScriptHeap, ArraysMoveBothWaysAndNonObjectsAreNeitherReadNorWritten)
{
    ASSERT_TRUE(script_register_functions(vm, "", TEST_NAMES, TEST_FUNCTIONS, TEST_COUNTS));
    duk_pop(vm->context);
    ASSERT_TRUE(script_vm_eval(vm, "var out = [9, 9, 9];\n"
                                   "var r = echo([2.75, 'seven', 1e300], out);\n"
                                   "var j = JSON.stringify([r.doubles, r.floats, r.ints, r.strings, r.read, r.kept,"
                                   " r.written, out]);\n"
                                   "var out2 = 5; var r2 = echo(17, out2);\n"
                                   "var k = JSON.stringify([r2.doubles, r2.ints, r2.strings, r2.read, r2.kept,"
                                   " r2.written, out2]);\n"
                                   "var r3 = echo(['a', 'b', 'c']);\n"
                                   "var s = r3.strings.join('|');"))
        << script_vm_message(vm);
    duk_context *ctx = vm->context;
    duk_get_global_string(ctx, "j");
    // NaN doubles and floats read as null in JSON; 1e300 is out of float range.
    EXPECT_STREQ(duk_get_string(ctx, -1),
                 "[[2.75,null,1e+300],[2.75,null,null],[2,0,0],[\"\",\"seven\",\"\"],1,3,1,[2,0,0]]");
    duk_pop(ctx);
    duk_get_global_string(ctx, "k");
    EXPECT_STREQ(duk_get_string(ctx, -1), "[[null,null,null],[0,0,0],[\"\",\"\",\"\"],0,0,0,5]");
    duk_pop(ctx);
    duk_get_global_string(ctx, "s");
    EXPECT_STREQ(duk_get_string(ctx, -1), "a|b|c");
    duk_pop(ctx);
}

TEST_F(ScriptHeap, StringElementsStayOnTheStackWithRoomReserved)
{
    // 2000 texts: far past the room a native starts with.
    vm->entry_budget_ms = 10000;
    ASSERT_TRUE(script_vm_eval(vm, "var many = []; for (var i = 0; i < 2000; i++) many.push('t' + i);"));
    duk_context *ctx = vm->context;
    duk_get_global_string(ctx, "many");
    duk_idx_t top = duk_get_top(ctx);
    static const char *texts[2000];
    ASSERT_EQ(script_get_strings(ctx, -1, texts, 2000), 1);
    EXPECT_EQ(duk_get_top(ctx), top + 2000);
    EXPECT_STREQ(texts[0], "t0");
    EXPECT_STREQ(texts[1999], "t1999");
    duk_set_top(ctx, top - 1);
}

TEST_F(ScriptHeap, TheHeapStopsAtItsCapAndFreesBelowIt)
{
    long long empty = script_heap_bytes;
    EXPECT_GT(empty, 0);
    EXPECT_EQ((long long)vm->heap_bytes, empty);
    ASSERT_TRUE(script_vm_eval(vm, "var keep = [];"));
    vm->entry_budget_ms = 60000;   // this test is about memory
    EXPECT_FALSE(script_vm_eval(vm, "(function () { for (;;) keep.push('x'.repeat(65536) + keep.length); })();"));
    EXPECT_NE(std::string(script_vm_message(vm)).find("alloc failed"), std::string::npos);
    EXPECT_LE(vm->heap_bytes, (size_t)SCRIPT_HEAP_CAP);
    EXPECT_GT(vm->heap_bytes, (size_t)SCRIPT_HEAP_CAP * 3 / 4);
    // Let go of it, and the heap is usable again.
    ASSERT_TRUE(script_vm_eval(vm, "keep = null; var after = [1, 2, 3].join('-');"));
    script_vm_collect(vm);
    EXPECT_LT(vm->heap_bytes, (size_t)SCRIPT_HEAP_CAP / 4);
    ASSERT_TRUE(script_vm_eval(vm, "var big = 'y'.repeat(1 << 20).length;"));
    EXPECT_EQ(global_number("big"), 1 << 20);
}

TEST_F(ScriptHeap, NothingRunsOutsideAnEntry)
{
    // A finalizer that would never end runs at a collection with no budget.
    ASSERT_TRUE(script_vm_eval(vm, "var ran = 0;\n"
                                   "(function () { var o = {}; Duktape.fin(o, function () { ran = 1; for (;;); });"
                                   " cycle = {o: o}; o.cycle = cycle; })();\n"
                                   "var cycle = null;"));
    long long start = thread_cpu_ns();
    script_vm_collect(vm);
    EXPECT_LT(thread_cpu_ns() - start, 1000000000LL);
    EXPECT_FALSE(script_vm_timed_out(vm));   // the heap is not stopped for it
    ASSERT_TRUE(script_vm_eval(vm, "var fine = 2;"));
    EXPECT_EQ(global_number("fine"), 2.0);
}

TEST_F(ScriptHeap, AnEntryPastItsBudgetStopsTheHeapForGood)
{
    vm->entry_budget_ms = 30;
    long long start = thread_cpu_ns();
    EXPECT_FALSE(script_vm_eval(vm, "for (;;) { try { for (;;); } catch (e) {} finally { } }"));
    long long spent = thread_cpu_ns() - start;
    EXPECT_GE(spent, 30000000LL);
    EXPECT_LT(spent, 500000000LL);
    EXPECT_TRUE(script_vm_timed_out(vm));
    EXPECT_STREQ(script_vm_message(vm), "script stopped: it ran past its CPU time budget");
    EXPECT_FALSE(script_vm_eval(vm, "var x = 1;"));   // stays stopped
}
