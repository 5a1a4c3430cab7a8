// The "Video Mode" choices made from the display's modes.
#include "app/video_modes.h"

#include <cstdio>

#include "app/graphics_settings.h"
#include "core/alloc.h"

VideoMode *video_modes;
const char **video_mode_names;
int video_mode_count;

static const char *const FIXED_NAMES[2] = {"Default Fullscreen", "Windowed"};

void free_video_mode_list(void)
{
    set_option_choices(&video_mode_list, FIXED_NAMES, 2);
    checked_free(video_modes);
    video_modes = nullptr;
    video_mode_names = nullptr;
    video_mode_count = 0;
}

void fill_video_mode_list(const DisplayMode *modes)
{
    free_video_mode_list();
    int depth = modes && modes[0].width ? modes[0].bits_per_pixel : 0;
    int n = 2;
    for (const DisplayMode *mode = modes; mode && mode->width; mode++)
        if (mode->bits_per_pixel == depth)
            n++;

    size_t entry = sizeof(VideoMode) + sizeof(char *) + VIDEO_MODE_NAME_ROOM;
    char *block = (char *)checked_malloc((size_t)n * entry);
    if (!block)
        fatal_out_of_memory();
    video_modes = (VideoMode *)block;
    video_mode_names = (const char **)(block + (size_t)n * sizeof(VideoMode));
    char *names = block + (size_t)n * (sizeof(VideoMode) + sizeof(char *));

    int count = 0;
    for (; count < 2; count++) {
        video_modes[count] = {0, 0};
        snprintf(names, VIDEO_MODE_NAME_ROOM, "%s", FIXED_NAMES[count]);
        video_mode_names[count] = names;
        names += VIDEO_MODE_NAME_ROOM;
    }
    for (const DisplayMode *mode = modes; mode && mode->width; mode++) {
        if (mode->bits_per_pixel != depth)
            continue;
        video_modes[count] = {mode->width, mode->height};
        snprintf(names, VIDEO_MODE_NAME_ROOM, "%dx%d", mode->width, mode->height);
        video_mode_names[count++] = names;
        names += VIDEO_MODE_NAME_ROOM;
    }
    video_mode_count = count;
    set_option_choices(&video_mode_list, video_mode_names, count);
}

void build_video_mode_list(void)
{
    fill_video_mode_list(list_display_modes());
}
