// Flat overlays over the 3-D view: the window's size as the shell keeps
// it, text overlays of a given number of lines, and blended rectangles.
#pragma once

extern int window_width;    // pixels; the shell writes them
extern int window_height;

// A flat overlay starts from a known state whatever was drawn before it:
// the model-view matrix the identity, no depth test, lighting or fog; what
// it changes is put back by end_overlay. begin_flat_overlay leaves the
// placement to the caller.
void begin_flat_overlay(void);
// A full-window overlay in which the window height holds the given number
// of text lines: origin at the left edge, at the bottom of the first line,
// one unit a line, y up.
void begin_text_overlay(float lines);
void end_overlay(void);
// A whole drawing step (a view, the race overlay, a menu) gives back what
// it changes between these: the GL state it may touch and the model-view
// matrix. The projection is the view's: a view step sets it, with its
// extents (set_projection), for the rest of the frame.
void begin_draw_step(void);
void end_draw_step(void);
// An untextured quad blended by its alpha.
void draw_blended_rect(float red, float green, float blue, float alpha, float x0, float y0, float x1,
                       float y1);
