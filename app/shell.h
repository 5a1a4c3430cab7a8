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
