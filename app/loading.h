// The loading screen as the loaders see it. Until the screen is drawn it
// only keeps the latest status line and counts the calls.
#pragma once

extern char loading_status[128];   // the latest status line
extern int loading_status_count;   // status lines shown so far

void show_loading_status(const char *text);
void show_loading_step(const char *text);     // shows and logs "%s\n"; restarts the spinner
void show_loading_spinner(const char *text);  // "%.64s%s" with 0 to 3 dots, at most every 1/8 s
void show_loading_done(const char *text);     // "%.64s...done"
