// The sound settings.
#include "app/sound_settings.h"

int sound_volume = 10;
int competitor_volume = 8;
