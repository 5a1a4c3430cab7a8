// The sound settings' sliders.
#include "app/sound_settings.h"

Slider volume_slider = {"Volume", 10, 1, 0, 10, {-1, -1, -1, -1}, 0, 0};
Slider comp_volume_slider = {"Competitor Volume", 8, 1, 0, 10, {-1, -1, -1, -1}, 0, 0};
