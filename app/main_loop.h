// The main loop: one pass draws a frame, mixes the sound, paces against
// the wall clock, runs every tic that is due with its own events, drains
// the erosion queue and refreshes the ground textures, each as a timed
// stage. It also owns the view, pausing, the bike-switch keys, captures
// and warp racing.
#pragma once

#include <csignal>

#include "app/command_line.h"
#include "app/frame_pacing.h"
#include "bike/bike_state.h"

enum ViewMode {
    VIEW_RIDER = 0,
    VIEW_EDITOR = 2,
    VIEW_CHASE = 3,
    VIEW_CAMERA = 4,
    VIEW_TITLE = 5,
};

// Seconds of current_time between setup-change notices.
constexpr double SETUP_NOTICE_PERIOD = 5.0;

struct MainLoop {
    const CommandLineOptions *options;
    int view;
    int paused;
    int screenshot_wanted;     // taken from the next drawn frame, before its swap
    LoopClock clock;
    RiderControls controls;    // the current tic's
    float chase_center[3];
    float chase_yaw;
    float chase_height;
    float chase_distance;
    double next_setup_notice;
};

extern MainLoop main_loop;

// The loop's start: the view, chase values and clocks (the last frame
// ends now).
void init_main_loop(MainLoop *loop, const CommandLineOptions *options);
// One pass: 0 when the loop ends (exit asked for, or a frame that cannot
// be ended), else 1.
int run_main_loop_pass(MainLoop *loop);
// Passes until the loop ends.
void run_main_loop(MainLoop *loop);

// Set from a signal handler: the loop and the start-up end at their next
// check.
extern volatile sig_atomic_t termination_requested;
// 1 once the program should end (a close, "Quit" or a termination signal);
// folds the signal into exit_requested.
int should_exit(void);

// The view after the pass's rules for a view, a loaded track, the
// own-rider view and whether the viewed slot has a bike.
int settle_view(int view, int track_loaded, int own_rider_view, int viewed_bike);
// Warp racing: once the leader has done the race's laps (a race of laps,
// not of minutes only) the lineup turns by one slot and a new race starts;
// 1 when it did.
int restart_warped_race(const MainLoop *loop);
// Tab in the editor view: the ground textures rebuilt, every bike lifted
// out of the edited ground and set down on it, and the chase view.
void leave_editor_view(MainLoop *loop);
// The view the tab key moves to.
int next_view(int view, int editor);
// The slot Previous Bike (-1) or Next Bike (+1) moves to from the viewed
// slot in the running order; the viewed slot itself when the order is empty.
int step_viewed_slot(int viewed, int direction);
// The chase camera's eye for an aim point and direction (unit, y = 0),
// distance and height, kept above the ground.
void chase_eye(const float *aim, const float *direction, float distance, float height, float *eye);
// A rotation (row-major, columns right, up and backward) looking from the
// eye at the point with world up.
void look_at_rotation(const float *eye, const float *point, float *rotation);
