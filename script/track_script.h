// The track script's life as the race sees it: loaded with every race,
// unloaded with the next, and its tic hook called first in every race tic.
#pragma once

void load_track_script(const char *path);
void unload_track_script(void);
void call_tic_handler(void);
