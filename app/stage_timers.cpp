// The main loop's stage timers.
#include "app/stage_timers.h"

#include <cstring>

#include "app/frame_pacing.h"

const char *const MAIN_LOOP_STAGE_NAMES[STAGE_COUNT] = {
    "draw", "flip", "sound", "getmessage", "processmessage", "action", "net", "tic", "erode", "update",
};

StageTimers stage_timers;

void main_loop_stage(int stage)
{
    if (!stage_timers.on || stage < 0 || stage >= STAGE_COUNT)
        return;
    double now = wall_clock_seconds();
    if (stage_timers.last_mark > 0.0) {
        stage_timers.seconds[stage] += now - stage_timers.last_mark;
        stage_timers.counts[stage]++;
    }
    stage_timers.last_mark = now;
}

void set_stage_timers(int on)
{
    memset(&stage_timers, 0, sizeof stage_timers);
    stage_timers.on = on != 0;
}
