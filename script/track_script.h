// The track script's life as the race sees it: loaded with every race,
// unloaded with the next, its tic hook called first in every race tic and
// its frame hook once per drawn frame.
#pragma once

void load_track_script(const char *path);
void unload_track_script(void);
void call_tic_handler(void);
// The script's per-frame hook, called by the scene before it draws.
void call_frame_handler(void);
