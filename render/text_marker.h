// 3-D text markers drawn with the scene: labelled pointers that stand
// upright at a point and turn to face the camera (the tyre telemetry, for
// one). They accumulate until cleared.
#pragma once

#include "core/alloc.h"

enum { TEXT_MARKER_LENGTH = 1024 };

struct TextMarker {
    float x, y, z;
    int key;                         // depth key, written by the sort
    char text[TEXT_MARKER_LENGTH];   // at most 1023 characters
};

extern GrowableArray text_markers;        // TextMarker, oldest first
extern GrowableArray text_marker_order;   // int: the drawn markers farthest first, then -1

// Appends a marker (the text cut to 1023 characters); a list that cannot
// grow drops it.
void add_text_marker(float x, float y, float z, const char *text);
// Distance from the point to the newest marker, 1000000 without one.
float get_text_marker_distance(float x, float y, float z);
// The newest marker's text, or null.
const char *get_last_text_marker(void);
void clear_text_markers(void);
// Keys every marker by its depth along the camera's backward axis and lists
// those more than 2 ft in front of the camera, farthest first.
void sort_text_markers(const float *eye, const float *rotation);
// One marker: a white panel on a pointer, facing the camera, with its text.
void draw_text_marker(const TextMarker *marker, const float *rotation, const char *text);

// Frees the drawing order and sort scratch of the markers (at shutdown).
void free_text_marker_sort_lists(void);
