// Levels of detail of the generated models and the segment rule.
#include "tools/datagen/gen_levels.h"

#include <cmath>

const ModelLevel MODEL_LEVEL_TABLE[MODEL_LEVELS] = {
    {"", 0.0f}, {"_lod4", 16.0f}, {"_lod5", 32.0f}, {"_lod6", 64.0f}, {"_lod7", 128.0f},
};

static const double PI = 3.14159265358979323846;

double level_pixel(int level)
{
    if (level <= 0 || level >= MODEL_LEVELS)
        return 0.0;
    // Pixels a foot away: half the view's height over the tangent of its
    // half height (the projection's 0.75 tan 40 degrees at 16:9).
    const double pixels_at_one_ft = 360.0 / (0.75 * std::tan(40.0 * PI / 180.0));
    return (double)MODEL_LEVEL_TABLE[level].distance / pixels_at_one_ft;
}

int level_segments(int level, int full, float radius, int least)
{
    if (least > full)
        least = full;
    if (level <= 0 || level >= MODEL_LEVELS || !(radius > 0.0f))
        return level <= 0 ? full : least;
    // A chord of n segments stands radius * (1 - cos(pi / n)) off the circle.
    double ratio = level_pixel(level) / (double)radius;
    if (ratio >= 1.0)
        return least;
    int n = (int)std::ceil(PI / std::acos(1.0 - ratio) - 1e-9);
    return n < least ? least : n > full ? full : n;
}

void level_ellipsoid(int level, int full_slices, int full_stacks, float rx, float ry, float rz, int *slices,
                     int *stacks)
{
    float round = rx > rz ? rx : rz, meridian = round > ry ? round : ry;
    *slices = level_segments(level, full_slices, round, 3);
    *stacks = (level_segments(level, 2 * full_stacks, meridian, 4) + 1) / 2;
}
