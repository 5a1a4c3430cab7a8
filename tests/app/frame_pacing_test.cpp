// Frame pacing with an injected clock and sleeper, the catch-up factors,
// and events reaching their own tics through the window's event ring.
#include "app/frame_pacing.h"
#include "app/stage_timers.h"

#include "app/shell.h"
#include "core/message.h"
#include "platform/time.h"
#include "platform/window.h"
#include "race/race_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

uint64_t fake_milliseconds;
int64_t slept_milliseconds;

uint64_t fake_clock()
{
    return fake_milliseconds;
}

// A sleep moves the clock on; a yield moves it by one millisecond.
void fake_sleep(int64_t milliseconds)
{
    int64_t step = milliseconds > 0 ? milliseconds : 1;
    fake_milliseconds += (uint64_t)step;
    slept_milliseconds += step;
}

struct PacingClock : testing::Test {
    void SetUp() override
    {
        fake_milliseconds = 10000;
        slept_milliseconds = 0;
        set_clock_function(fake_clock);
        set_sleep_function(fake_sleep);
        memset(frame_time_histogram, 0, sizeof frame_time_histogram);
        shortest_frame_time = 1.0;
        longest_frame_time = 0.0;
        current_time = 0.0;
    }
    void TearDown() override
    {
        set_clock_function(nullptr);
        set_sleep_function(nullptr);
    }

    // A clock whose last frame ended at 10 s.
    static LoopClock fresh_clock()
    {
        LoopClock clock = {};
        clock.last_frame_time = 10.0;
        return clock;
    }
};

}  // namespace

TEST(FramePacing, HistogramBuckets)
{
    struct Case {
        double elapsed;
        int bucket;
    } cases[] = {
        {0.0, 0},   {0.007, 0},      {TIC_LENGTH, 1}, {0.0156, 1}, {0.020, 2},
        {0.040, 3}, {0.499, 6},      {0.5, 7},        {1.0, 7},    {-0.5, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.elapsed);
        EXPECT_EQ(frame_time_bucket(c.elapsed), c.bucket);
    }
}

TEST_F(PacingClock, StepsByModeAndElapsedTime)
{
    struct Case {
        const char *name;
        PacingMode mode;
        int elapsed_ms;       // wall time since the last frame when pacing starts
        double step;
        int slept_ms;         // at least
        int bucket;
    } cases[] = {
        {"a 20 ms pass", {0, 0, 0}, 20, 0.020, 0, 2},
        {"a 1 s stall is cut to 0.125 s", {0, 0, 0}, 1000, MAX_FRAME_STEP, 0, 7},
        {"a short pass sleeps to one tic", {0, 0, 0}, 3, 0.008, 5, 0},
        {"lock 30 sleeps the rest of 1/30 s", {30, 0, 0}, 10, 1.0 / 30, 23, 1},
        {"lock after a long pass does not sleep", {30, 0, 0}, 100, 1.0 / 30, 0, 4},
        {"warp", {0, 1, 0}, 2, 100.0 * TIC_LENGTH, 0, 0},
        {"online ignores the lock", {30, 0, 1}, 20, 0.020, 0, 2},
        {"online ignores warp", {0, 1, 1}, 20, 0.020, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        LoopClock clock = fresh_clock();
        fake_milliseconds = 10000 + (uint64_t)c.elapsed_ms;
        double step = pace_frame(&clock, &c.mode);
        EXPECT_NEAR(step, c.step, 1e-9);
        EXPECT_GE(slept_milliseconds, c.slept_ms);
        EXPECT_EQ(frame_time_histogram[c.bucket], 1);
        EXPECT_DOUBLE_EQ(clock.now, fake_milliseconds * 0.001);
        if (c.mode.lock_fps > 0 && !c.mode.online) {
            EXPECT_GE(clock.now - clock.last_frame_time, 1.0 / 30 - 0.001);
        }
        EXPECT_DOUBLE_EQ(shortest_frame_time, step);
        EXPECT_DOUBLE_EQ(longest_frame_time, step);
    }
}

TEST_F(PacingClock, LockAdvancesExactlyOneFramePerPass)
{
    PacingMode mode = {30, 0, 0};
    LoopClock clock = fresh_clock();
    for (int pass = 0; pass < 90; pass++) {
        fake_milliseconds += (uint64_t)(pass % 7);   // passes of varying work
        double step = pace_frame(&clock, &mode);
        advance_loop_time(&clock, step);
        while (next_due_tic(&clock, &step)) {
        }
    }
    EXPECT_NEAR(clock.target_time, 3.0, 1e-9);
    EXPECT_NEAR(current_time, 3.0, 1e-9);
    // The tics ran up to the target and no further than one tic past it.
    EXPECT_GE(clock.sim_time, clock.target_time);
    EXPECT_LT(clock.sim_time - clock.target_time, TIC_LENGTH);
    // 90 frames of 1/30 s took 3 s of the wall clock, within a millisecond a frame.
    EXPECT_NEAR(fake_milliseconds - 10000.0, 3000.0, 90.0);
}

TEST(FramePacing, CatchUpFactors)
{
    struct Case {
        double behind;
        int before_start;
        double factor;
    } cases[] = {
        {0.0, 1, 1.0},     {0.5, 1, 2.5},   {2.0, 1, 4.0},     {0.0, 0, 1.0},
        {0.0625, 0, 1.0625}, {1.0, 0, 1.125}, {-0.25, 0, 0.875}, {-0.25, 1, 0.875},
        {-3.0, 0, 0.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.behind << " " << c.before_start);
        EXPECT_DOUBLE_EQ(catch_up_factor(c.behind, c.before_start), c.factor);
    }
}

TEST_F(PacingClock, EventsReachTheirOwnTics)
{
    GameWindow window;
    memset(&window, 0, sizeof window);
    init_window_events(&window);
    // Keys pressed during a pass of 40 ms that began at 10 s; the last was
    // stamped after the pacing read the clock.
    struct Stamped {
        int milliseconds;
        int tic;   // 1-based tic of the pass that should take it
    } stamps[] = {{10003, 1}, {10010, 2}, {10011, 2}, {10030, 4}, {10039, 5}, {10040, 6}, {10045, 6}};
    for (int i = 0; i < (int)(sizeof stamps / sizeof stamps[0]); i++)
        push_event(&window, EVENT_KEY_BASE + i, 1, stamps[i].milliseconds / 1000,
                   stamps[i].milliseconds % 1000 * 1000);

    PacingMode mode = {0, 0, 0};
    LoopClock clock = fresh_clock();
    fake_milliseconds = 10040;
    double step = pace_frame(&clock, &mode);
    advance_loop_time(&clock, step);

    std::vector<int> tic_of_event(sizeof stamps / sizeof stamps[0], 0);
    int tic = 0;
    double tic_time;
    while (next_due_tic(&clock, &tic_time)) {
        tic++;
        int code, pressed;
        while (next_tic_event(&window, &clock, tic_time, &code, &pressed))
            tic_of_event[code - EVENT_KEY_BASE] = tic;
    }
    EXPECT_EQ(tic, 6);   // 40 ms is 5.12 tics: the sixth runs past the target
    for (size_t i = 0; i < tic_of_event.size(); i++) {
        SCOPED_TRACE(stamps[i].milliseconds);
        EXPECT_EQ(tic_of_event[i], stamps[i].tic);
    }
    free_window_events(&window);
}

namespace {
int clock_reads;
uint64_t counting_clock()
{
    clock_reads++;
    return fake_milliseconds;
}
}  // namespace

TEST_F(PacingClock, StageTimersSumEachStageAndReadNoClockWhenOff)
{
    set_clock_function(counting_clock);
    set_stage_timers(0);
    main_loop_stage(STAGE_DRAW);
    main_loop_stage(STAGE_TIC);
    EXPECT_EQ(clock_reads, 0);

    set_stage_timers(1);
    main_loop_stage(STAGE_UPDATE);   // the first mark only starts the count
    int passes[][2] = {{STAGE_DRAW, 12}, {STAGE_FLIP, 3}, {STAGE_TIC, 2}, {STAGE_TIC, 2}, {STAGE_DRAW, 8}};
    for (auto &pass : passes) {
        fake_milliseconds += (uint64_t)pass[1];
        main_loop_stage(pass[0]);
    }
    main_loop_stage(STAGE_COUNT);   // not a stage: ignored
    EXPECT_NEAR(stage_timers.seconds[STAGE_DRAW], 0.020, 1e-9);
    EXPECT_NEAR(stage_timers.seconds[STAGE_FLIP], 0.003, 1e-9);
    EXPECT_NEAR(stage_timers.seconds[STAGE_TIC], 0.004, 1e-9);
    EXPECT_EQ(stage_timers.seconds[STAGE_UPDATE], 0.0);
    EXPECT_EQ(stage_timers.counts[STAGE_DRAW], 2);
    EXPECT_EQ(stage_timers.counts[STAGE_TIC], 2);
    EXPECT_STREQ(MAIN_LOOP_STAGE_NAMES[STAGE_PROCESSMESSAGE], "processmessage");
    set_stage_timers(0);
}

// One timer for the loop's stages and the scene's passes: each stage is
// charged with the time since the stage before it, the pacing's wait with
// nobody's, and only a stage over the threshold is named.
TEST_F(PacingClock, StutterNamesTheStageThatStalledAndNoOther)
{
    set_clock_function(counting_clock);
    set_stage_timers(0);
    stutter_threshold = 0.05;
    memset(&message_log, 0, sizeof message_log);
    struct Mark {
        int stage;           // -1: the pacing's wait ends
        int milliseconds;    // since the previous mark
    } marks[] = {
        {STAGE_UPDATE, 0},      {STAGE_JS, 30},           {STAGE_DRAWTERRAIN, 90}, {STAGE_DRAWGHOSTS, 5},
        {STAGE_DRAW, 20},       {STAGE_FLIP, 45},         {STAGE_SOUND, 1},        {-1, 300},
        {STAGE_PROCESSMESSAGE, 2}, {STAGE_NET, 1},        {STAGE_TIC, 60},         {STAGE_UPDATE, 4},
    };
    for (const Mark &m : marks) {
        fake_milliseconds += (uint64_t)m.milliseconds;
        if (m.stage < 0)
            restart_stage_timer(wall_clock_seconds());
        else
            main_loop_stage(m.stage);
    }
    std::vector<std::string> shown;
    for (const auto &line : message_log.lines)
        if (line[0])
            shown.push_back(line);
    EXPECT_EQ(shown, (std::vector<std::string>{"Stutter in drawterrain - 0.090000 seconds", "Stutter in tic - 0.060000 seconds"}));

    // Off: no stage reads the clock.
    stutter_threshold = 0;
    clock_reads = 0;
    main_loop_stage(STAGE_DRAW);
    restart_stage_timer(1.0);
    EXPECT_EQ(clock_reads, 0);
    set_clock_function(nullptr);
}
