// The settings file "@config": the plain settings no widget holds (window
// size, HUD switches, spy mode, map scale), reading and writing every
// setting, and the matcher the command line uses for each option.
#pragma once

enum {
    WINDOW_SIZE_MIN = 64,
    WINDOW_SIZE_MAX = 16384,
    MESSAGE_LINES_MAX = 1000,
    BILLBOARD_LOOKAHEAD_MAX = 1000,
    DEMO_BACKUPS_SETTING_MAX = 99,
};

extern int configured_width;    // "xres", the windowed size
extern int configured_height;   // "yres"
extern int show_fps;            // "draw_fps"
extern int show_race_time;      // "draw_time"
extern int show_ping;           // "draw_ping"
extern int show_speed;          // "draw_speed"
extern int spy_mode;            // "spy"
extern float map_scale;         // "map_scale", 0.125..8

// Reads "@config" when it exists: every line that names a setting and
// holds a good value sets it; the others are logged and change nothing.
void read_config(void);
// Writes every setting to "@config" through a temporary file; the old
// file stays when anything fails. 1 when written.
int write_config(void);
// One "key=value" setting as read_config takes it: 1 taken, -1 a bad
// value, 0 an unknown key.
int parse_config_line(const char *key, const char *value);

// The remaining command-line arguments.
struct OptionCursor {
    char **arguments;
    int count;
    int options_ended;
};

// 1 when the cursor's next argument is the option (consumed). With value
// set, the option takes a value: "--name value" (value null when it is the
// last argument) or "--name=value"; "--" ends the options and never matches.
int match_option(OptionCursor *cursor, const char *name, const char **value);
