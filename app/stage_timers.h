// The one stage timer of a frame: the main loop's stages and the 3-D
// scene's passes each end a stage on the same mark, so every stage is
// charged only with the time since the stage before it. With a stutter
// threshold a stage slower than it is named on the message line; the
// benchmarks sum each stage's time. With both off no stage reads a clock.
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
    // The scene's passes, within the draw stage.
    STAGE_JS,
    STAGE_RENDERTEX,
    STAGE_DRAWTERRAIN,
    STAGE_DRAWBIKES,
    STAGE_DRAWSTATUES,
    STAGE_DRAWBILLBOARDS,
    STAGE_DRAWGHOSTS,
    STAGE_COUNT,
};

extern const char *const MAIN_LOOP_STAGE_NAMES[STAGE_COUNT];   // "draw", "flip", ...

// "reportstutter": seconds a stage may take before it is named; 0 = off.
extern double stutter_threshold;
// Wall clock at the end of the last stage; 0 = none yet.
extern double stage_mark_time;

struct StageTimers {
    int on;
    double seconds[STAGE_COUNT];    // summed time of each stage
    int counts[STAGE_COUNT];
};

extern StageTimers stage_timers;

// Ends a stage: the time since the previous stage's end is its own; over
// the threshold it shows "Stutter in %s - %f seconds".
void main_loop_stage(int stage);
// A wait that belongs to no stage (the pacing's sleep) ended at now: the
// next stage counts from there.
void restart_stage_timer(double now);
// Sums on (cleared, no mark yet) or off.
void set_stage_timers(int on);
