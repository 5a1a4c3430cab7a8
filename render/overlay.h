// Flat overlays over the 3-D view: the window's size as the shell keeps
// it, text overlays of a given number of lines, and blended rectangles.
#pragma once

extern int window_width;    // pixels; the shell writes them
extern int window_height;

// Pushes the matrix and sets a full-window overlay in which the window
// height holds the given number of text lines: origin at the left edge, at
// the bottom of the first line, one unit a line, y up.
void begin_text_overlay(float lines);
void end_overlay(void);
// An untextured quad blended by its alpha.
void draw_blended_rect(float red, float green, float blue, float alpha, float x0, float y0, float x1,
                       float y1);
