// The track script's life: loaded by every race reset, hooks through the
// race tic and the frame hook with the tics since the race's base, errors
// shown once at load and logged (within limits) from the hooks, kz.message
// cut and rate-limited, unloaded with its heap given back.
#include "script_fixture.h"

#include "core/alloc.h"
#include "platform/time.h"

#include <cstdlib>

#include "core/file.h"

namespace {

int count_lines_starting(const std::string &start)
{
    int count = 0;
    for (int i = 0; i < message_log.next_line; i++)
        if (!strncmp(message_log.lines[i], start.c_str(), start.size()))
            count++;
    return count;
}

std::string log_text()
{
    std::string text;
    read_file(test_dir() + "/script.log", &text);
    return text;
}

int count_in(const std::string &text, const std::string &needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        count++;
    return count;
}

uint64_t fake_now;
uint64_t fake_clock(void)
{
    return fake_now;
}

}  // namespace

TEST_F(ScriptTrack, AFolderWithoutTheFileRunsWithoutAScriptOrMessage)
{
    ASSERT_TRUE(reset_scripted_race());
    EXPECT_EQ(track_script, nullptr);
    EXPECT_EQ(count_lines_starting("javascript error"), 0);
    run_tics(3);
    call_frame_handler();
    unload_track_script();   // nothing loaded: nothing happens
    unload_track_script();
    EXPECT_EQ(track_script, nullptr);
}

TEST_F(ScriptTrack, HooksGetTheTicsSinceTheRaceBase)
{
    ASSERT_TRUE(race_with("var tics = [], frames = [];\n"
                          "kz.tic_handler = function (s) { tics.push(s); };\n"
                          "kz.frame_handler = function (s) { frames.push(s); };\n"));
    ASSERT_NE(track_script, nullptr);
    EXPECT_EQ(hook_base_tic, 0);
    run_tics(3);
    call_frame_handler();
    ASSERT_TRUE(run("t = tics.join(','); f = frames.join(','); s = kz.seconds;"));
    // Each tic's hook runs first, before the tic advances.
    EXPECT_EQ(text("t"), "0,0.0078125,0.015625");
    EXPECT_EQ(text("f"), "0.0234375");
    EXPECT_EQ(number("s"), 3 * 0.0078125);

    // A current tic before the base passes 0.
    current_tic = -50;
    call_frame_handler();
    ASSERT_TRUE(run("f = frames[frames.length - 1];"));
    EXPECT_EQ(number("f"), 0.0);
    EXPECT_EQ(script_hook_time(), 0);
    current_tic = 5;
    EXPECT_EQ(script_hook_time(), 5);
}

TEST_F(ScriptTrack, ATimeTrialCountsFromItsStartTic)
{
    write_script("var first = -1;\n"
                 "kz.tic_handler = function (s) { if (first < 0) first = s; };\n");
    HeadlessRace race{};
    race.track = SCRIPT_TRACK;
    race.time_trial = 1;
    ASSERT_TRUE(start_headless_race(&race));
    EXPECT_EQ(hook_base_tic, 300 * TIC_RATE);
    EXPECT_EQ(current_tic, hook_base_tic);
    run_tics(2);
    EXPECT_EQ(number("first"), 0.0);
}

TEST_F(ScriptTrack, ASyntaxErrorIsShownOnceAndThePreludeHooksStillRun)
{
    ASSERT_TRUE(race_with("var x = ;\n"));
    ASSERT_NE(track_script, nullptr);
    EXPECT_EQ(count_lines_starting("javascript error: SyntaxError"), 1);
    EXPECT_EQ(count_lines_starting("javascript error"), 1);
    run_tics(4);
    call_frame_handler();
    EXPECT_STREQ(script_vm_message(track_script), "");   // the empty hooks ran without error
    ASSERT_TRUE(run("s = kz.seconds;"));
    EXPECT_EQ(number("s"), 4 * 0.0078125);
    EXPECT_EQ(count_lines_starting("javascript error"), 1);
}

TEST_F(ScriptTrack, RunTimeErrorsAtLoadAreShownAndTheScriptStays)
{
    ASSERT_TRUE(race_with("var loaded = 1;\nnull.x = 1;\n"));
    ASSERT_NE(track_script, nullptr);
    EXPECT_EQ(count_lines_starting("javascript error: TypeError"), 1);
    EXPECT_EQ(number("loaded"), 1.0);
}

TEST_F(ScriptTrack, EveryResetLoadsTheScriptAfreshOnTheSameTrack)
{
    ASSERT_TRUE(race_with("var n = (typeof n == 'number' ? n : 0) + 1; kz.first = 1;"));
    ASSERT_TRUE(run("n = 5; kept = 1;"));
    ScriptVm *first = track_script;
    ASSERT_TRUE(reset_scripted_race());
    ASSERT_NE(track_script, nullptr);
    EXPECT_EQ(number("n"), 1.0);        // nothing carried over
    EXPECT_TRUE(std::isnan(number("kept")));
    (void)first;

    // The new text is read at the next reset.
    write_script("var second = 2;");
    ASSERT_TRUE(reset_scripted_race());
    EXPECT_EQ(number("second"), 2.0);

    // Taking the file away leaves the next race without a script.
    remove((track_dir(SCRIPT_TRACK) + "frills.js").c_str());
    ASSERT_TRUE(reset_scripted_race());
    EXPECT_EQ(track_script, nullptr);
}

TEST_F(ScriptTrack, HookErrorsAreLoggedNewTextsOnlyAndAtMostTwentyPerRace)
{
    setenv("VOKE_LOGFILE", (test_dir() + "/script.log").c_str(), 1);
    ASSERT_TRUE(race_with("var k = 0;\n"
                          "kz.tic_handler = function () { k++; if (k % 2) throw 'same'; throw 'new ' + k; };\n"));
    run_tics(2);
    EXPECT_EQ(count_lines_starting("javascript error"), 0);   // off the message line
    run_tics(100);
    ASSERT_NE(track_script, nullptr);                         // errors do not stop it
    EXPECT_EQ(number("k"), 102.0);
    // An error repeated at once is not logged again.
    ASSERT_TRUE(run("kz.tic_handler = function () { throw 'again'; };"));
    unload_track_script();
    std::string log = log_text();
    EXPECT_EQ(count_in(log, "Track script hook error: "), SCRIPT_ERROR_LOG_LIMIT);
    EXPECT_EQ(count_in(log, "Track script hook error: same\n"), SCRIPT_ERROR_LOG_LIMIT / 2);
    EXPECT_EQ(count_in(log, "Track script hook error: new 2\n"), 1);
    EXPECT_EQ(count_in(log, "hook errors not logged"), 1);

    // The next race has its own allowance.
    ASSERT_TRUE(race_with("kz.tic_handler = function () { throw 'next race'; };"));
    run_tics(5);
    unload_track_script();
    EXPECT_EQ(count_in(log_text(), "Track script hook error: next race\n"), 1);
}

TEST_F(ScriptTrack, HookPathsThatAreNoFunctionLeaveTheirTextAndAreCalledAgain)
{
    ASSERT_TRUE(race_with("var calls = 0; delete kz.tic_handler_;\n"
                          "kz.frame_handler_ = 7;\n"));
    run_tics(1);
    EXPECT_STREQ(script_vm_message(track_script), "tic_handler_ is not a function");
    call_frame_handler();
    EXPECT_STREQ(script_vm_message(track_script), "frame_handler_ is not a function");
    ASSERT_TRUE(run("kz.frame_handler_ = function () { calls++; };"));
    call_frame_handler();
    EXPECT_STREQ(script_vm_message(track_script), "");
    EXPECT_EQ(number("calls"), 1.0);
    ASSERT_TRUE(run("kz = 3;"));
    call_frame_handler();
    EXPECT_STREQ(script_vm_message(track_script), "can't find frame_handler_");
}

TEST_F(ScriptTrack, MessagesAreCutAndRateLimited)
{
    set_clock_function(fake_clock);
    fake_now = 100000;
    setenv("VOKE_LOGFILE", (test_dir() + "/script.log").c_str(), 1);
    std::string long_text(300, 'a');
    long_text[254] = 'b';
    // A two-byte character across the cut is left out whole.
    ASSERT_TRUE(race_with("kz.message('" + long_text + "');\n"
                          "kz.message('" + std::string(254, 'c') + "\\u00e9tail');\n"));
    EXPECT_EQ(count_messages(long_text.substr(0, SCRIPT_MESSAGE_LENGTH)), 1);
    EXPECT_EQ(count_messages(std::string(254, 'c')), 1);

    // 10,000 in one tic: the rest of this second's allowance reaches the line.
    ASSERT_TRUE(run("kz.tic_handler = function () {"
                    "  for (var i = 0; i < 10000; i++) kz.message('tic line'); };"));
    run_tics(1);
    EXPECT_EQ(count_messages("tic line"), SCRIPT_MESSAGES_PER_SECOND - 2);
    ASSERT_NE(track_script, nullptr);

    // A second later there is room for eight again.
    fake_now += 1000;
    run_tics(1);
    EXPECT_EQ(count_messages("tic line"), 2 * SCRIPT_MESSAGES_PER_SECOND - 2);
    unload_track_script();
    set_clock_function(nullptr);
    std::string log = log_text();
    EXPECT_EQ(count_in(log, "tic line"), 2 * SCRIPT_MESSAGES_PER_SECOND - 2);
    EXPECT_EQ(count_in(log, "Track script: 19986 messages not shown\n"), 1);
}

TEST_F(ScriptTrack, LoadsAndUnloadsGiveEveryByteBack)
{
    ASSERT_TRUE(reset_scripted_race());
    write_script("var keep = []; for (var i = 0; i < 1000; i++) keep.push({i: i, s: 'x' + i});\n"
                 "kz.tic_handler = function () { keep.push([1, 2, 3]); };\n");
    std::string path = "@" + std::string(SCRIPT_TRACK) + "/frills.js";
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(load_track_script(path.c_str()), 1);
        ASSERT_NE(track_script, nullptr);
        EXPECT_GT(script_heap_bytes, 0);
        call_tic_handler();
        unload_track_script();
        ASSERT_EQ(script_heap_bytes, 0) << i;
    }
}

TEST(TrackScriptChecker, NoTrackedBlockIsLeftAfterLoadsAndUnloads)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    write_file(test_data_dir() + "loop.js", "var a = []; for (var i = 0; i < 500; i++) a.push('s' + i);\n"
                                            "kz.tic_handler = function () { kz.message('x'); };\n");
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(load_track_script("@loop.js"), 1);
        call_tic_handler();
        unload_track_script();
    }
    EXPECT_EQ(script_heap_bytes, 0);
    reset_file_layer();   // the search folders and the index the loads built
    testing::internal::CaptureStderr();
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
