// Display modes, the full-screen mode chooser, full-screen switching requests
// and display scaling.
#pragma once

struct GameWindow;

struct DisplayMode {
    int width;
    int height;
    int bits_per_pixel;
};

// A mode as the display reports it (the refresh rate is only logged).
struct FoundMode {
    int width;
    int height;
    int bits_per_pixel;
    int refresh_rate;
};

enum {
    WINDOW_FIXED_SIZE = 0x100,   // open flags
    WINDOW_FULL_SCREEN = 0x200,
    DEFAULT_DESKTOP_WIDTH = 640,
    DEFAULT_DESKTOP_HEIGHT = 480,
};

// The cached mode list ending with an all-zero entry: the desktop mode first
// (when its depth is accepted), then every other mode once. Null when it
// could not be made.
const DisplayMode *list_display_modes(void);

// Frees the cached list; the next call builds it again.
void free_display_mode_list(void);

// The desktop mode's size; 0 and 640 x 480 when it cannot be read.
int get_desktop_size(int *width, int *height);

// Asks for full screen at that size (flags hold 0x200) or a window of that
// size; the pump of the window makes the switch. Returns 1.
int request_display_mode(GameWindow *window, int width, int height, int flags);

// Once per process, before the first window: the window is made high-DPI
// aware so the system does not scale its drawing.
void disable_display_scaling(void);

// ---- pure parts -------------------------------------------------------------------

int is_accepted_depth(int bits_per_pixel);

// Fills out (room for count + 2 entries) from the desktop mode (null when it
// could not be read) and the modes found, logging each; returns the number of
// modes before the closing zero entry.
int build_mode_list(const FoundMode *desktop, const FoundMode *found, int count, DisplayMode *out);

// The full-screen size for a request: the listed mode at least as wide and as
// tall with the smallest width + height (the first on a tie); the desktop
// size when there is none or when either requested side is 0.
void choose_full_screen_size(const DisplayMode *modes, int width, int height, int desktop_width,
                             int desktop_height, int *chosen_width, int *chosen_height);
