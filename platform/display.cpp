// Display modes, the full-screen mode chooser, full-screen switching requests
// and display scaling.
#include "platform/display.h"

#include "core/alloc.h"
#include "platform/log.h"
#include "platform/window.h"

#include <SDL2/SDL.h>

int is_accepted_depth(int bits_per_pixel)
{
    switch (bits_per_pixel) {
    case 8: case 15: case 16: case 24: case 32:
        return 1;
    default:
        return 0;
    }
}

static int same_mode(const DisplayMode &mode, const FoundMode &found)
{
    return mode.width == found.width && mode.height == found.height &&
           mode.bits_per_pixel == found.bits_per_pixel;
}

int build_mode_list(const FoundMode *desktop, const FoundMode *found, int count, DisplayMode *out)
{
    int listed = 0;
    if (desktop) {
        if (is_accepted_depth(desktop->bits_per_pixel)) {
            log_printf("Registry mode is %dx%dx%d@%dhz\n", desktop->width, desktop->height,
                       desktop->bits_per_pixel, desktop->refresh_rate);
            out[listed++] = {desktop->width, desktop->height, desktop->bits_per_pixel};
        } else {
            log_printf("Registry mode is %dx%dx%d@%dhz (ignored)\n", desktop->width,
                       desktop->height, desktop->bits_per_pixel, desktop->refresh_rate);
        }
    }
    for (int i = 0; i < count; i++) {
        const FoundMode &mode = found[i];
        if (!is_accepted_depth(mode.bits_per_pixel)) {
            log_printf("Found mode %dx%dx%d@%dhz (ignored)\n", mode.width, mode.height,
                       mode.bits_per_pixel, mode.refresh_rate);
            continue;
        }
        int duplicate = 0;
        for (int j = 0; j < listed && !duplicate; j++)
            duplicate = same_mode(out[j], mode);
        if (duplicate)
            continue;
        log_printf("Found mode %dx%dx%d@%dhz\n", mode.width, mode.height, mode.bits_per_pixel,
                   mode.refresh_rate);
        out[listed++] = {mode.width, mode.height, mode.bits_per_pixel};
    }
    out[listed] = {0, 0, 0};
    return listed;
}

void choose_full_screen_size(const DisplayMode *modes, int width, int height, int desktop_width,
                             int desktop_height, int *chosen_width, int *chosen_height)
{
    *chosen_width = desktop_width;
    *chosen_height = desktop_height;
    if (width == 0 || height == 0 || !modes)
        return;
    const DisplayMode *best = nullptr;
    for (const DisplayMode *mode = modes; mode->width || mode->height || mode->bits_per_pixel; mode++)
        if (mode->width >= width && mode->height >= height &&
            (!best || mode->width + mode->height < best->width + best->height))
            best = mode;
    if (best) {
        *chosen_width = best->width;
        *chosen_height = best->height;
    }
}

// ---- the display ----------------------------------------------------------------------

static FoundMode found_mode(const SDL_DisplayMode &mode)
{
    return {mode.w, mode.h, (int)SDL_BITSPERPIXEL(mode.format), mode.refresh_rate};
}

int get_desktop_size(int *width, int *height)
{
    SDL_DisplayMode mode;
    int ok = start_video() && SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0;
    *width = ok ? mode.w : DEFAULT_DESKTOP_WIDTH;
    *height = ok ? mode.h : DEFAULT_DESKTOP_HEIGHT;
    return ok;
}

static DisplayMode *display_modes;
static int display_modes_built;

const DisplayMode *list_display_modes(void)
{
    if (display_modes_built)
        return display_modes;
    display_modes_built = 1;
    disable_display_scaling();
    if (!start_video()) {
        // No display: the list holds nothing but its end.
        display_modes = (DisplayMode *)checked_calloc(1, sizeof(DisplayMode));
        return display_modes;
    }
    int count = SDL_GetNumDisplayModes(0);
    if (count < 0)
        count = 0;
    FoundMode *found = (FoundMode *)checked_malloc((count + 1) * sizeof(FoundMode));
    display_modes = (DisplayMode *)checked_malloc((count + 2) * sizeof(DisplayMode));
    if (found && display_modes) {
        int listed = 0;
        for (int i = 0; i < count; i++) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(0, i, &mode) == 0)
                found[listed++] = found_mode(mode);
        }
        SDL_DisplayMode desktop;
        int have_desktop = SDL_GetDesktopDisplayMode(0, &desktop) == 0;
        FoundMode desktop_mode = have_desktop ? found_mode(desktop) : FoundMode{};
        build_mode_list(have_desktop ? &desktop_mode : nullptr, found, listed, display_modes);
    } else {
        checked_free(display_modes);
        display_modes = nullptr;
    }
    checked_free(found);
    return display_modes;
}

void free_display_mode_list(void)
{
    checked_free(display_modes);
    display_modes = nullptr;
    display_modes_built = 0;
}

int request_display_mode(GameWindow *window, int width, int height, int flags)
{
    if (!window)
        return 1;
    lock_mutex(&window->event_mutex);
    window->display_request = (flags & WINDOW_FULL_SCREEN) ? DISPLAY_REQUEST_FULL_SCREEN
                                                           : DISPLAY_REQUEST_WINDOWED;
    window->display_request_width = width;
    window->display_request_height = height;
    unlock_mutex(&window->event_mutex);
    return 1;
}

void disable_display_scaling(void)
{
    static int done;
    if (done)
        return;
    done = 1;
    // The window asks for a high-DPI drawable and frames are sized from the
    // drawable, so nothing is scaled behind the game's back.
    if (SDL_SetHint(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "0"))
        log_printf("Display scaling disabled via high-DPI windows\n");
    else
        log_printf("Failed to disable display scaling\n");
}
