// The "Video Mode" choices made from the display's modes: "Default
// Fullscreen" and "Windowed" first, then every mode of the first mode's
// colour depth as "%dx%d".
#pragma once

#include "platform/display.h"

struct VideoMode {
    int width;
    int height;
};

enum {
    VIDEO_MODE_DEFAULT_FULLSCREEN = 0,   // 0 x 0: the desktop's mode; 1 is the window
    VIDEO_MODE_NAME_ROOM = 22,           // bytes of each name
};

// One block: the records, then the name pointers, then the names.
extern VideoMode *video_modes;
extern const char **video_mode_names;
extern int video_mode_count;

// Builds the list from modes ending with an entry of width 0 (null: no
// modes) and makes it the "Video Mode" list's choices (the selection kept
// within them). Running out of memory is fatal.
void fill_video_mode_list(const DisplayMode *modes);
// The list from the display's modes.
void build_video_mode_list(void);
// Frees the list; the "Video Mode" list keeps its two fixed choices.
void free_video_mode_list(void);
