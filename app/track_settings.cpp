// Settings of the shell that the track load and the terrain upkeep read.
#include "app/track_settings.h"

int terrain_texture_mode_setting = 3;
int low_detail_upload_interval = 0;
