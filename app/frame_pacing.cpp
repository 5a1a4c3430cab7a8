// Frame pacing and the tic clock of the main loop. Pacing never waits on a
// buffer swap: it sleeps on the platform's millisecond clock, and every
// round of its loop either sleeps or stops.
#include "app/frame_pacing.h"

#include <cmath>

#include "app/shell.h"
#include "platform/time.h"
#include "platform/window.h"
#include "race/race_state.h"

int frame_time_histogram[FRAME_TIME_BUCKETS];
double shortest_frame_time = 1.0;
double longest_frame_time;

double wall_clock_seconds(void)
{
    return (double)clock_milliseconds() * 0.001;
}

int frame_time_bucket(double elapsed)
{
    for (int k = 0; k < FRAME_TIME_BUCKETS - 1; k++)
        if (elapsed < (double)(1 << k) * TIC_LENGTH)
            return k;
    return FRAME_TIME_BUCKETS - 1;
}

// Sleeps for seconds held to 0..limit.
static void sleep_seconds(double seconds, double limit)
{
    if (!(seconds > 0.0))
        return;
    if (seconds > limit)
        seconds = limit;
    int64_t microseconds = (int64_t)(seconds * 1e6);
    sleep_for((int)(microseconds / 1000000), (int)(microseconds % 1000000));
}

double pace_frame(LoopClock *clock, const PacingMode *mode)
{
    double now = wall_clock_seconds();
    double elapsed = now - clock->last_frame_time;
    frame_time_histogram[frame_time_bucket(elapsed)]++;
    double step;
    for (;;) {
        if (!mode->online && mode->lock_fps > 0.0f) {
            double period = 1.0 / mode->lock_fps;
            if (elapsed < period)
                sleep_seconds(period - elapsed, period);
            now = wall_clock_seconds();
            step = period;
            break;
        }
        if (!mode->online && mode->warp) {
            step = 100.0 * TIC_LENGTH;
            break;
        }
        if (elapsed >= TIC_LENGTH) {
            step = elapsed < MAX_FRAME_STEP ? elapsed : MAX_FRAME_STEP;
            break;
        }
        sleep_seconds(TIC_LENGTH - elapsed, TIC_LENGTH);
        now = wall_clock_seconds();
        elapsed = now - clock->last_frame_time;
    }
    if (step < shortest_frame_time)
        shortest_frame_time = step;
    if (step > longest_frame_time)
        longest_frame_time = step;
    clock->now = now;
    return step;
}

static double clamp_unit(double value)
{
    return value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value;
}

double catch_up_factor(double behind, int before_start)
{
    if (behind < 0.0)
        return 0.5 + 0.5 * clamp_unit(behind + 1.0);
    if (before_start)
        return 1.0 + 3.0 * clamp_unit(behind);
    return 1.0 + 0.125 * clamp_unit(8.0 * behind);
}

void advance_loop_time(LoopClock *clock, double step)
{
    clock->target_time += step;
    current_time += step;
    clock->last_frame_time = clock->now;
}

int next_due_tic(LoopClock *clock, double *tic_time)
{
    if (!(clock->sim_time < clock->target_time))
        return 0;
    clock->sim_time += TIC_LENGTH;
    *tic_time = clock->now - (clock->target_time - clock->sim_time);
    return 1;
}

int next_tic_event(GameWindow *window, const LoopClock *clock, double tic_time, int *code,
                   int *pressed)
{
    if (!(tic_time < clock->now))
        return next_event(window, code, pressed);
    // The wall clock counts whole milliseconds: so do event stamps.
    double milliseconds = floor(tic_time * 1000.0 + 1e-6);
    if (!(milliseconds >= 0.0))
        milliseconds = 0.0;
    int64_t ms = (int64_t)milliseconds;
    TimeValue limit = {(int32_t)(ms / 1000), (int32_t)(ms % 1000) * 1000};
    return next_event_before(window, limit, code, pressed, nullptr, nullptr);
}
