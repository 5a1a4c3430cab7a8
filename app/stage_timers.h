// The main loop's named stages and the time each takes, summed while the
// timers are on (benchmarks); off, a stage reads no clock.
#pragma once

enum MainLoopStage {
    STAGE_DRAW,
    STAGE_FLIP,
    STAGE_SOUND,
    STAGE_GETMESSAGE,
    STAGE_PROCESSMESSAGE,
    STAGE_ACTION,
    STAGE_NET,
    STAGE_TIC,
    STAGE_ERODE,
    STAGE_UPDATE,
    STAGE_COUNT,
};

extern const char *const MAIN_LOOP_STAGE_NAMES[STAGE_COUNT];   // "draw", "flip", ...

struct StageTimers {
    int on;
    double last_mark;               // wall clock of the last stage end, 0 = none yet
    double seconds[STAGE_COUNT];    // summed time up to each stage's end
    int counts[STAGE_COUNT];
};

extern StageTimers stage_timers;

// Ends a stage: with the timers on, the time since the previous stage's
// end is added to it.
void main_loop_stage(int stage);
// Timers on (sums cleared, no mark yet) or off.
void set_stage_timers(int on);
