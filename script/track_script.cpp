// Track scripts. No script engine runs yet: loading, unloading and the tic
// and frame hooks do nothing.
#include "script/track_script.h"

void load_track_script(const char *)
{
}

void unload_track_script(void)
{
}

void call_tic_handler(void)
{
}

void call_frame_handler(void)
{
}
