// The eye of the scene: where the camera is, how it is turned and how it
// moves. The scene and the camera views write it; the sound mix listens
// from it.
#pragma once

extern float camera_position[3];   // feet, the origin until a scene is drawn
extern float camera_matrix[9];     // row-major, the identity until then
extern float camera_velocity[3];   // ft/s
