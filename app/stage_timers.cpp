// The stage timer shared by the main loop and the 3-D scene.
#include "app/stage_timers.h"

#include <cstdio>
#include <cstring>

#include "app/frame_pacing.h"
#include "core/message.h"

const char *const MAIN_LOOP_STAGE_NAMES[STAGE_COUNT] = {
    "draw", "flip", "sound", "getmessage", "processmessage", "action", "net", "tic", "erode", "update",
    "js", "rendertex", "drawterrain", "drawbikes", "drawstatues", "drawbillboards", "drawghosts",
};

double stutter_threshold;
double stage_mark_time;
StageTimers stage_timers;

static int stages_timed(void)
{
    return stutter_threshold != 0.0 || stage_timers.on;
}

void main_loop_stage(int stage)
{
    if (!stages_timed() || stage < 0 || stage >= STAGE_COUNT)
        return;
    double now = wall_clock_seconds();
    if (stage_mark_time > 0.0) {
        double elapsed = now - stage_mark_time;
        if (stage_timers.on) {
            stage_timers.seconds[stage] += elapsed;
            stage_timers.counts[stage]++;
        }
        if (stutter_threshold != 0.0 && elapsed > stutter_threshold) {
            char message[128];
            snprintf(message, sizeof message, "Stutter in %s - %f seconds", MAIN_LOOP_STAGE_NAMES[stage],
                     elapsed);
            print_message(message);
        }
    }
    stage_mark_time = now;
}

void restart_stage_timer(double now)
{
    if (stages_timed())
        stage_mark_time = now;
}

void set_stage_timers(int on)
{
    memset(&stage_timers, 0, sizeof stage_timers);
    stage_timers.on = on != 0;
    stage_mark_time = 0.0;
}
