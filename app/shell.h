// Process-wide values owned by the application shell that the lower
// subsystems read, and the hooks the shell installs for them.
#pragma once

struct GameWindow;

extern GameWindow *game_window;   // null until the window opens
extern int audio_handle;          // 0 while audio is closed
extern double current_time;       // running time in seconds (main loop)
extern int max_message_lines;     // the "message_lines" setting
extern int hide_spam;             // "togglespam"
extern int verbose_setting;       // extra log lines of loaders
extern int roost_frequency;       // "--roostfrequency", 0..1000

// Counts one unit of work for the loading screen's busy display.
void tick_busy_indicator(void);
// The loading screen installs the drawing of the busy display here.
void set_busy_indicator_callback(void (*callback)(void));
// Units counted so far (the busy display's counter).
int busy_indicator_units(void);
