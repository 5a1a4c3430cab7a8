// Process-wide values of the shell that the lower layers read, and the busy
// indicator the file index advances while it builds.
#include "app/shell.h"

enum { DEFAULT_MESSAGE_LINES = 5 };

GameWindow *game_window;
int audio_handle;
double current_time;
int max_message_lines = DEFAULT_MESSAGE_LINES;
int hide_spam;
int verbose_setting;
int roost_frequency = 1000;

static int busy_units;
static void (*busy_indicator_callback)(void);

void tick_busy_indicator(void)
{
    busy_units++;
    if (busy_indicator_callback)
        busy_indicator_callback();
}

void set_busy_indicator_callback(void (*callback)(void))
{
    busy_indicator_callback = callback;
}

int busy_indicator_units(void)
{
    return busy_units;
}
