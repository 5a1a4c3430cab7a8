// 3-D text markers drawn with the scene (the tyre telemetry, for one).
#pragma once

void add_text_marker(float x, float y, float z, const char *text);
// Distance from the point to the newest marker, 1000000 without one.
float get_text_marker_distance(float x, float y, float z);
// The newest marker's text, or null.
const char *get_last_text_marker(void);
void clear_text_markers(void);
