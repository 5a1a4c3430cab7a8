// The eye of the scene.
#include "render/camera.h"

float camera_position[3];
float camera_matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
float camera_velocity[3];
