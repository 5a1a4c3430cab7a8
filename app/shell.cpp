// Process-wide values of the shell that the lower layers read.
#include "app/shell.h"

enum { DEFAULT_MESSAGE_LINES = 5 };

GameWindow *game_window;
int audio_handle;
double current_time;
int max_message_lines = DEFAULT_MESSAGE_LINES;
int hide_spam;
int verbose_setting;
int roost_frequency = 1000;
