// 3-D text markers. Only the newest is kept until the scene draws them.
#include "render/text_marker.h"

#include <cmath>
#include <cstdio>

static struct {
    float position[3];
    char text[1024];
    int present;
} last_marker;

void add_text_marker(float x, float y, float z, const char *text)
{
    last_marker.position[0] = x;
    last_marker.position[1] = y;
    last_marker.position[2] = z;
    snprintf(last_marker.text, sizeof last_marker.text, "%s", text ? text : "");
    last_marker.present = 1;
}

float get_text_marker_distance(float x, float y, float z)
{
    if (!last_marker.present)
        return 1000000.0f;
    float dx = x - last_marker.position[0];
    float dy = y - last_marker.position[1];
    float dz = z - last_marker.position[2];
    return sqrtf(dx * dx + dy * dy + dz * dz);
}

const char *get_last_text_marker(void)
{
    return last_marker.present ? last_marker.text : nullptr;
}

void clear_text_markers(void)
{
    last_marker.present = 0;
}
