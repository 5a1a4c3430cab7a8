// The 3-D scene: the projection, and the whole world drawn for one camera
// (sky, terrain, bikes and riders, statues, billboards, ghost riders, text
// markers and lens flares) with the per-frame render statistics; each pass
// ends a stage of the main loop's stage timer.
#pragma once

#include "app/stage_timers.h"   // the passes are stages of the main loop's timer
#include "bike/bike_state.h"

// The projection tangents set_projection keeps: half the view's width and
// height at distance 1.
extern float view_half_width;
extern float view_half_height;
// Alpha of the bikes' material; lowered only while a ghost rider is drawn.
extern float bike_alpha;


// How a rider is drawn: 0 any rider, 1 the viewed rider hidden, 2 the viewed
// rider in first person.
enum BikeDrawMode { BIKE_DRAW_OTHER = 0, BIKE_DRAW_VIEWED_HIDDEN = 1, BIKE_DRAW_VIEWED = 2 };

// Viewport and perspective for a window of width x height pixels and a field
// of view in degrees (horizontal, or that of a 4:3 frame on wider windows);
// leaves the model-view matrix current and the identity.
void set_projection(float width, float height, float field_of_view);
// The fade of every slot (1 = drawn whole, below 1 = a ghost drawn with that
// alpha) and the draw mode of each, for a viewed slot (-1 for none).
void compute_rider_fades(int viewed_slot, float *fades, int *draw_modes);
// Draws the frame's 3-D part: eye in feet, rotation row-major whose columns
// are the camera's right, up and backward axes.
void render_scene(const float *eye, const float *rotation, float field_of_view, int viewed_slot);
