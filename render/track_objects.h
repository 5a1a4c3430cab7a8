// Drawing the track's own objects: statues (posed models, turned toward the
// camera when they face it), billboards depth-sorted and grouped by
// texture, the flaggers that switch billboard textures by race phase, and
// the lens flares.
#pragma once

struct Statue;

extern int billboard_count;   // billboards drawn this frame

void draw_statues(const float *eye);
// One statue: pass 0 lit, 1 environment.
void draw_statue(Statue *statue, const float *eye, int pass);
// 1 when the statue is near enough to be drawn at the model detail setting.
int statue_in_range(const Statue *statue, const float *eye);
// Turns a facing statue toward the eye (its local z to the eye, y up) when
// the eye is far enough; an eye straight above keeps its orientation.
void face_statue_to_eye(Statue *statue, const float *eye);

// Frees the sort's scratch lists of billboards and text markers (at shutdown).
void free_draw_sort_lists(void);

// The billboards in front of the camera, keyed and sorted farthest first
// into the list of billboard_draw_slots (ended by -1); the count.
int sort_billboards(const float *eye, const float *rotation);
// Moves billboards of the same texture together within the look-ahead when
// no billboard between them overlaps, as seen from the eye.
void group_billboards(int *list, int count, const float *eye, const float *right, int lookahead);
// The sorted list (ended by -1), valid after sort_billboards.
const int *sorted_billboards(void);
// The billboard pass of the scene.
void draw_billboard_pass(const float *eye, const float *rotation);

// Flagger textures and positions for the race's phase, and the timing
// gates' rider-down marks.
void update_flaggers(void);

// Screen positions and intensities of the lens flares, then the flares.
void draw_lens_flares(const float *eye, const float *rotation);
// z of a depth-buffer value made linear between the near and far planes.
float depth_to_linear(float depth, float near_plane, float far_plane);
