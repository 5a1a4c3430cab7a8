// Settings of the menus' widgets and "@config" that the shell reads or the
// command line writes: the window size, the HUD's display flags, the
// line-up rotation, the race server's name with its history and the
// riding choices. They live here, in one record, until the menus hold them.
#pragma once

enum {
    SERVER_NAME_LENGTH = 128,
    RECENT_SERVER_COUNT = 16,
};

struct ShellOptionSettings {
    int window_width;         // xres, 640
    int window_height;        // yres, 480
    int show_fps;             // "--draw-fps", 0
    int show_race_time;       // "--draw-time", 0
    int show_ping;            // "--draw-ping", 1
    int show_speed;           // "--draw-speed", 0
    int show_render_stats;    // "--draw-render-stats", 0
    int lineup_rotation;      // "--rotate-lineup", 0
    char server_name[SERVER_NAME_LENGTH];                      // the "Server" field
    char recent_servers[RECENT_SERVER_COUNT][SERVER_NAME_LENGTH];
    int recent_server_selection;                               // -1 = none chosen
    int reversed_steering;    // "Reversed Steering", Yes
    int sticky_dab;           // "Sticky Sit/Dab" (setup key sticky_dab), No
};

extern ShellOptionSettings shell_option_settings;

// Puts a server name into the "Server" field (cut to 127 characters) and,
// when it is not empty and differs from the newest entry, at the front of
// the history (the oldest entry drops out); the history's selection is
// cleared then.
void note_connect_server(const char *name);
