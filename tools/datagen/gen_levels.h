// Levels of detail of the generated models: the full mesh and coarser
// ones written as "<stem>_lodN", which the game draws from 2^N ft on. A
// coarser level keeps every curved outline within a pixel of the true one
// at its switch distance on a 1280 x 720 view of 80 degrees.
#pragma once

enum { MODEL_LEVELS = 5 };

struct ModelLevel {
    const char *suffix;   // "" for the full mesh, else "_lodN"
    float distance;       // ft: 2^N, 0 for the full mesh
};
extern const ModelLevel MODEL_LEVEL_TABLE[MODEL_LEVELS];

// Feet a pixel spans at the level's distance (0 at the full level).
double level_pixel(int level);

// Segments round a circle of the radius at a level: 'full' at level 0;
// at a coarser level the fewest whose chords stay within a pixel at the
// level's distance, never fewer than 'least' nor more than 'full'.
int level_segments(int level, int full, float radius, int least);
// Slices (round y) and stacks (pole to pole) of an ellipsoid at a level.
void level_ellipsoid(int level, int full_slices, int full_stacks, float rx, float ry, float rz, int *slices,
                     int *stacks);
