// 3-D text markers: the growing list, the depth sort along the camera's
// backward axis, and the panels drawn upright facing the camera.
#include "render/text_marker.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/depth_sort.h"
#include "render/font.h"
#include "render/gl_extensions.h"

GrowableArray text_markers;
GrowableArray text_marker_order;
static GrowableArray sort_scratch;   // keys and scratch of the sort

void add_text_marker(float x, float y, float z, const char *text)
{
    if (!text_markers.data && !init_growable_array(&text_markers, sizeof(TextMarker)))
        return;
    TextMarker *marker = (TextMarker *)append_to_growable_array(&text_markers);
    if (!marker)
        return;   // the list could not grow: the marker is dropped
    marker->x = x;
    marker->y = y;
    marker->z = z;
    marker->key = 0;
    snprintf(marker->text, sizeof marker->text, "%s", text ? text : "");
}

float get_text_marker_distance(float x, float y, float z)
{
    if (text_markers.count <= 0)
        return 1000000.0f;
    const TextMarker *last = (const TextMarker *)text_markers.data + text_markers.count - 1;
    float dx = x - last->x, dy = y - last->y, dz = z - last->z;
    return sqrtf(dx * dx + dy * dy + dz * dz);
}

const char *get_last_text_marker(void)
{
    if (text_markers.count <= 0)
        return nullptr;
    return ((const TextMarker *)text_markers.data)[text_markers.count - 1].text;
}

void clear_text_markers(void)
{
    text_markers.count = 0;
    text_marker_order.count = 0;
}

void sort_text_markers(const float *eye, const float *rotation)
{
    int n = text_markers.count;
    if (!reserve_int_list(&text_marker_order, n + 1) || !reserve_int_list(&sort_scratch, 3 * n + 1)) {
        if (text_marker_order.data)
            ((int *)text_marker_order.data)[0] = -1;
        return;
    }
    double m2 = rotation[2], m5 = rotation[5], m8 = rotation[8];
    int camera_key;
    int *order = (int *)text_marker_order.data;
    if (!depth_key(m2 * eye[0] + m5 * eye[1] + m8 * eye[2] - 2.0, &camera_key)) {
        order[0] = -1;
        text_marker_order.count = 0;
        return;
    }
    uint32_t *keys = (uint32_t *)sort_scratch.data;
    int *scratch_indices = (int *)sort_scratch.data + n;
    uint32_t *scratch_keys = (uint32_t *)sort_scratch.data + 2 * n;
    int count = 0;
    TextMarker *markers = (TextMarker *)text_markers.data;
    for (int i = 0; i < n; i++) {
        TextMarker *m = &markers[i];
        int key;
        int finite = depth_key(m2 * m->x + m5 * m->y + m8 * m->z, &key);
        m->key = key;
        if (!finite || !std::isfinite(m->x) || !std::isfinite(m->y) || !std::isfinite(m->z))
            continue;
        if (key < camera_key) {
            order[count] = i;
            keys[count] = (uint32_t)key;
            count++;
        }
    }
    radix_sort_by_key(order, keys, count, scratch_indices, scratch_keys);
    order[count] = -1;
    text_marker_order.count = count;
}

void draw_text_marker(const TextMarker *marker, const float *rotation, const char *text)
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glPushMatrix();
    glTranslatef(marker->x, marker->y, marker->z);
    float m2 = rotation[2], m8 = rotation[8];
    // Upright, turned about the vertical toward the camera; the axes are not
    // normalised, so the panel narrows as the camera looks up or down.
    const float turn[16] = {m8, 0, -m2, 0, 0, 1, 0, 0, m2, 0, m8, 0, 0, 0, 0, 1};
    glMultMatrixf(turn);
    glScalef(0.5f, 0.5f, 0.5f);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    float w = get_text_width(text);
    int lines = 1;
    for (const char *p = text; *p; p++)
        lines += *p == '\n';
    float n = (float)lines;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3f(0.0f, 1.0f + n / 2.0f, 0.0f);
    glVertex3f(-w / 2, n + 1, 0);
    glVertex3f(-w / 2, 1, 0);
    glVertex3f(-1, 1, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(w / 2, 1, 0);
    glVertex3f(w / 2, n + 1, 0);
    glVertex3f(-w / 2, n + 1, 0);
    glEnd();
    glTranslatef(0.0f, n, 0.0f);
    draw_text_centered(0.0f, 0.0f, 0.0f, 1.0f, -w, w, text);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
}

void free_text_marker_sort_lists(void)
{
    free_growable_array(&text_marker_order);
    free_growable_array(&sort_scratch);
}
