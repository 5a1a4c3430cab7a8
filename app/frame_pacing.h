// The main loop's clock: frame pacing against the wall clock (frame lock,
// warp, the frame-time histogram, online catch-up) and the fixed tics that
// follow a frame, each taking the input events stamped up to its own time.
#pragma once

struct GameWindow;

enum { FRAME_TIME_BUCKETS = 8 };

// A pass advances the simulation by at most this much outside lock and warp.
constexpr double MAX_FRAME_STEP = 0.125;

extern int frame_time_histogram[FRAME_TIME_BUCKETS];
extern double shortest_frame_time;   // 1.0 until a frame is paced
extern double longest_frame_time;    // read and reset by the HUD

struct LoopClock {
    double sim_time;          // simulated seconds run as tics
    double target_time;       // simulated seconds the wall clock asks for
    double last_frame_time;   // wall clock at the end of the last pacing
    double now;               // wall clock of this pass
};

// How a pass is paced.
struct PacingMode {
    float lock_fps;   // 0 = off; only offline
    int warp;         // 100 tics a pass; only offline
    int online;       // a client socket is open
};

// The wall clock in seconds (the platform's millisecond clock).
double wall_clock_seconds(void);

// The histogram bucket of a frame: the first k in 0..6 with elapsed below
// 2^k tics, else 7.
int frame_time_bucket(double elapsed);

// Paces one pass: counts the frame in the histogram, sleeps as the mode
// asks and returns the step of simulated time; clock->now is the wall clock
// after it. Records the shortest and longest steps.
double pace_frame(LoopClock *clock, const PacingMode *mode);

// The online step factor: behind is how far (seconds) the server's tic
// estimate is ahead of ours, less one tic; before_start is set while the
// race's start tic lies ahead.
double catch_up_factor(double behind, int before_start);

// Adds the step to the target and to current_time; the frame ends now.
void advance_loop_time(LoopClock *clock, double step);

// 1 while a tic is due: sim_time moves one tic on and *tic_time is that
// tic's wall time (now less what the target is still ahead).
int next_due_tic(LoopClock *clock, double *tic_time);

// The next input event of the tic at tic_time: those stamped no later than
// it while it lies before now, else every waiting event. 1 and the event,
// or 0 when the tic has no more.
int next_tic_event(GameWindow *window, const LoopClock *clock, double tic_time, int *code,
                   int *pressed);
