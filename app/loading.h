// The loading screen and the busy indicator: frames drawn while the game
// thread does long work (start-up, race loading, shutdown), each after the
// window's waiting events were taken and dropped. The loading screen keeps
// the slowest step; the busy indicator shows a work counter as 32 cells.
#pragma once

enum { LOADING_TEXT_LENGTH = 80 };   // texts are cut to 79 characters

extern char loading_status_text[LOADING_TEXT_LENGTH];   // the status shown last
extern double loading_last_time;   // wall clock of the last timed status, 0 = none
extern double loading_frame_time;  // wall clock of the last loading frame, 0 = none
extern int spinner_step;           // 0..3 dots next
extern double spinner_last_time;   // 0 before the first spinner frame
extern unsigned busy_count;
extern double busy_last_time;
extern double busy_first_time;     // 0 before the first busy frame
extern int title_texture;          // "!@title.png", 0 when missing

// Takes and drops every waiting event of the game window; a close event
// sets exit_requested, so the program ends as soon as it can. 1 when a
// close was taken.
int drain_window_events(void);

// Draws into the current frame (the projection set).
void draw_splash_quad(int texture, float x0, float y0, float x1, float y1);
void draw_splash_screen(const char *status);
void draw_busy_counter(unsigned count);

// The loading screen: drain, draw a frame with the status (at most every
// 1/8 s; the text is kept in between), time the step.
void show_loading_status(const char *text);
void show_loading_message(const char *text);   // and log "%s\n" when not empty
void show_loading_step(const char *text);      // as the message; the spinner restarts its dots
void show_loading_spinner(const char *text);   // at most every 1/8 s: "%.64s" and 0 to 3 dots
void show_loading_done(const char *text);      // "%.64s...done"

// Counts one unit of work; at most every 1/16 s draws a busy frame.
void tick_busy_indicator(void);
