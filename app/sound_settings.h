// The sound settings of the Graphics/Sound screen: "Volume" (key "volume")
// and "Competitor Volume" (key "comp_volume"), each 0..10.
#pragma once

#include "app/widgets.h"

extern Slider volume_slider;        // 10
extern Slider comp_volume_slider;   // 8
