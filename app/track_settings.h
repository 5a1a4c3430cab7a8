// Settings of the shell that the track load and the terrain upkeep read.
#pragma once

extern int terrain_texture_mode_setting;   // texture mode asked of load_terrain (1..3)
extern int low_detail_upload_interval;     // frames between low-detail uploads (0 = every frame)
