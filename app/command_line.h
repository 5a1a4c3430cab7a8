// The command line: the option table and the parser that applies each
// option to its setting or to the start-up's own values.
#pragma once

// The values the options give to start-up and the main loop.
struct CommandLineOptions {
    float lock_fps;             // frames per second, 1..1000; 0 = off
    int warp;
    int record_video;
    const char *record_audio_path;   // null = no capture
    int no_sound;
    int show_pause_banner;      // 1 unless "--hidden-pause"
    int show_hud;               // 1 unless "--hidden-hud"
    int gl_finish;
    int colour_bits;            // 16
    int depth_bits;             // 16
    float chase_center[3];      // 0, 2.52, 0.52
    const char *track_folder;   // "--track", null = none (cleared by "--connect")
    const char *connect_target; // "--connect" without its prefix, null = none (also set_connect_target)
    const char *start_file;     // the one file argument, null = none
};

enum {
    COMMAND_LINE_OK = 0,
    COMMAND_LINE_FAILED = 1,     // a message went to standard error; main returns 1
    COMMAND_LINE_OPEN_HOME = 2,  // "--open-home" was reached: open the home folder, return 0
};

// "--max-detail-distance" and its outer value (feet).
extern float max_detail_distance;         // 70
extern float max_detail_distance_outer;   // 75

void default_command_line_options(CommandLineOptions *options);
// Runs the option loop over the arguments after the program name; messages
// go to standard error. COMMAND_LINE_OK, _FAILED or _OPEN_HOME.
int parse_command_line(int argc, char **argv, CommandLineOptions *options);
