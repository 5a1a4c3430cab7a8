// The sound settings the menus will offer: "Volume" (key "volume") and
// "Competitor Volume" (key "comp_volume"), each 0..10.
#pragma once

extern int sound_volume;        // 10
extern int competitor_volume;   // 8
