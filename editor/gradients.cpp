// Gradients: a line on the map with a height profile of linear and smooth
// segments, the profile curve (total: any point list gives a finite value),
// the linear and radial mappings, and the Gradient Placement and Gradient
// Edit tools with their panel buttons.
#include "editor/editor.h"

#include <cmath>
#include <cstring>

#include "app/widgets.h"
#include "render/overlay.h"
#include "track/terrain.h"

Gradient *get_gradient(int index)
{
    const EditorState *s = editor_state;
    if (!s || index < 0 || index >= s->gradients.count)
        return nullptr;
    return (Gradient *)s->gradients.data + index;
}

Gradient *selected_gradient(void)
{
    return editor_state ? get_gradient(editor_state->selected_gradient) : nullptr;
}

int gradient_point_count(const Gradient *gradient)
{
    return gradient ? gradient->points.count : 0;
}

GradientPoint *gradient_point(const Gradient *gradient, int index)
{
    if (!gradient || index < 0 || index >= gradient->points.count)
        return nullptr;
    return (GradientPoint *)gradient->points.data + index;
}

uint8_t *gradient_flag(const Gradient *gradient, int index)
{
    if (!gradient || index < 0 || index >= gradient->flags.count)
        return nullptr;
    return (uint8_t *)gradient->flags.data + index;
}

int append_gradient_point(Gradient *gradient, float distance, float height, int flag)
{
    if (!gradient || gradient->points.count >= GRADIENT_POINT_LIMIT)
        return 0;
    if (!gradient->points.data && !init_growable_array(&gradient->points, sizeof(GradientPoint)))
        return 0;
    if (!gradient->flags.data && !init_growable_array(&gradient->flags, 1))
        return 0;
    GradientPoint *point = (GradientPoint *)append_to_growable_array(&gradient->points);
    if (!point)
        return 0;
    uint8_t *f = (uint8_t *)append_to_growable_array(&gradient->flags);
    if (!f) {
        gradient->points.count--;
        return 0;
    }
    point->distance = distance;
    point->height = height;
    *f = (uint8_t)flag;
    return 1;
}

static void remove_gradient_point(Gradient *gradient, int index)
{
    int n = gradient->points.count;
    if (index < 0 || index >= n)
        return;
    GradientPoint *points = (GradientPoint *)gradient->points.data;
    uint8_t *flags = (uint8_t *)gradient->flags.data;
    memmove(points + index, points + index + 1, (size_t)(n - index - 1) * sizeof *points);
    memmove(flags + index, flags + index + 1, (size_t)(n - index - 1));
    gradient->points.count--;
    gradient->flags.count--;
}

static int insert_gradient_point(Gradient *gradient, int index, float distance, float height, int flag)
{
    if (!append_gradient_point(gradient, 0.0f, 0.0f, 0))
        return 0;
    int n = gradient->points.count;
    GradientPoint *points = (GradientPoint *)gradient->points.data;
    uint8_t *flags = (uint8_t *)gradient->flags.data;
    memmove(points + index + 1, points + index, (size_t)(n - 1 - index) * sizeof *points);
    memmove(flags + index + 1, flags + index, (size_t)(n - 1 - index));
    points[index] = {distance, height};
    flags[index] = (uint8_t)flag;
    return 1;
}

static void empty_gradient(Gradient *gradient)
{
    gradient->points.count = 0;
    gradient->flags.count = 0;
}

// ---- the curve ------------------------------------------------------------------------

// Slope of segment i; a segment that does not grow in distance has slope 0.
static float segment_slope(const Gradient *g, int i)
{
    const GradientPoint *a = gradient_point(g, i), *b = gradient_point(g, i + 1);
    if (!a || !b || !(b->distance > a->distance))
        return 0.0f;
    float slope = (b->height - a->height) / (b->distance - a->distance);
    return std::isfinite(slope) ? slope : 0.0f;
}

static int is_smooth(const Gradient *g, int i)
{
    const uint8_t *flag = gradient_flag(g, i);
    return flag && *flag == 1;
}

static float slope_at(const Gradient *g, int i)
{
    int n = gradient_point_count(g);
    if (n < 2)
        return 0.0f;
    if (i < 1)
        return segment_slope(g, 0);
    if (i >= n - 1)
        return segment_slope(g, n - 2);
    float in = segment_slope(g, i - 1), out = segment_slope(g, i);
    if (is_smooth(g, i - 1))
        return is_smooth(g, i) ? (in + out) * 0.5f : out;
    return in;
}

static float hermite(const Gradient *g, int i, float t)
{
    int n = gradient_point_count(g);
    if (n == 0)
        return 0.0f;
    if (i < 0)
        i = 0;
    if (i >= n - 1)
        return gradient_point(g, n - 1)->height;
    const GradientPoint *p0 = gradient_point(g, i), *p1 = gradient_point(g, i + 1);
    float span = p1->distance - p0->distance;
    float a = slope_at(g, i) * span, b = slope_at(g, i + 1) * span;
    float h0 = p0->height, h1 = p1->height;
    float v = (2 * h0 - 2 * h1 + a + b) * t * t * t + (3 * (h1 - h0) - 2 * a - b) * t * t + a * t + h0;
    // Slopes of near-vertical segments can overflow the cubic: the chord then.
    return std::isfinite(v) ? v : h0 + (h1 - h0) * t;
}

static float height_at_distance(const Gradient *g, float d)
{
    int n = gradient_point_count(g);
    if (n == 0)
        return 0.0f;
    const GradientPoint *first = gradient_point(g, 0);
    if (n < 2 || !(d >= first->distance))
        return first->height;
    for (int i = 0; i + 1 < n; i++) {
        const GradientPoint *a = gradient_point(g, i), *b = gradient_point(g, i + 1);
        if (!(b->distance > a->distance))
            continue;   // no length: skipped
        if (a->distance <= d && d < b->distance) {
            float t = (d - a->distance) / (b->distance - a->distance);
            if (is_smooth(g, i))
                return hermite(g, i, t);
            return a->height + (b->height - a->height) * t;
        }
    }
    return gradient_point(g, n - 1)->height;
}

float gradient_slope_at_point(int i)
{
    return slope_at(selected_gradient(), i);
}

float gradient_hermite(int i, float t)
{
    return hermite(selected_gradient(), i, t);
}

float gradient_height_at(float d)
{
    return height_at_distance(selected_gradient(), d);
}

float linear_gradient_height(float x, float z)
{
    const Gradient *g = selected_gradient();
    if (!g || g->points.count == 0)
        return 0.0f;
    float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z;
    float length = hypotf(dx, dz);
    float d = length > 0.0f ? ((x - g->start_x) * dx + (z - g->start_z) * dz) / length : 0.0f;
    return height_at_distance(g, d);
}

float radial_gradient_height(float x, float z)
{
    const Gradient *g = selected_gradient();
    if (!g || g->points.count == 0)
        return 0.0f;
    float vx = x - g->start_x, vz = z - g->start_z;
    float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z;
    float length2 = dx * dx + dz * dz;
    float along = vx * dx + vz * dz;
    if (along < 0.0f && length2 > 0.0f) {
        float f = along / length2;
        vx -= dx * f;
        vz -= dz * f;
    }
    return height_at_distance(g, hypotf(vx, vz));
}

// ---- making and choosing gradients ----------------------------------------------------

int editor_new_gradient(void)
{
    EditorState *s = editor_state;
    if (!s || s->gradients.count >= GRADIENT_LIMIT)
        return 0;
    Gradient *g = (Gradient *)append_to_growable_array(&s->gradients);
    if (!g)
        return 0;
    editor_cursor_to_map(window_width / 2, window_height / 2, &g->start_x, &g->start_z);
    g->end_x = g->start_x + 50.0f;
    g->end_z = g->start_z;
    if (!init_growable_array(&g->points, sizeof(GradientPoint)) || !init_growable_array(&g->flags, 1)) {
        free_growable_array(&g->points);
        free_growable_array(&g->flags);
        s->gradients.count--;
        return 0;
    }
    s->selected_gradient = s->gradients.count - 1;
    editor_clear_gradient();
    return 1;
}

void editor_clear_gradient(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    mark_track_edited();
    Gradient *g = selected_gradient();
    if (!g)
        return;
    empty_gradient(g);
    append_gradient_point(g, 0.0f, 0.0f, 0);
    append_gradient_point(g, hypotf(g->end_x - g->start_x, g->end_z - g->start_z), 0.0f, 0);
    s->selected_point = -1;
}

static int near_cursor(float x, float z)
{
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    return hypotf(x - cx, z - cz) <= pick_radius() * 0.5f;
}

void select_nearest_gradient(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    for (int i = 0; i < s->gradients.count; i++) {
        const Gradient *g = get_gradient(i);
        if (near_cursor(g->start_x, g->start_z) || near_cursor(g->end_x, g->end_z)) {
            s->selected_gradient = i;
            s->selected_point = -1;
        }
    }
}

int is_flat_gradient(const Gradient *g)
{
    if (!g || g->points.count > 2)
        return 0;
    for (int i = 0; i < g->points.count; i++)
        if (gradient_point(g, i)->height != 0.0f)
            return 0;
    return 1;
}

void gradient_placement_press(void)
{
    EditorState *s = editor_state;
    Gradient *g = selected_gradient();
    if (!s || !g)
        return;
    if (near_cursor(g->start_x, g->start_z)) {
        s->drag_mode = 1;
    } else if (!near_cursor(g->end_x, g->end_z)) {
        s->drag_mode = 0;
        select_nearest_gradient();
    } else {
        s->drag_mode = 2;
    }
}

void gradient_placement_drag(void)
{
    EditorState *s = editor_state;
    Gradient *g = selected_gradient();
    if (!s || !g)
        return;
    float bx, bz;
    editor_cursor_point(&bx, &bz);
    mark_track_edited();
    int flat = is_flat_gradient(g);
    if (s->drag_mode == 1) {
        if (!flat) {
            g->end_x += bx - g->start_x;
            g->end_z += bz - g->start_z;
        }
        g->start_x = bx;
        g->start_z = bz;
    } else if (s->drag_mode == 2) {
        if (flat) {
            g->end_x = bx;
            g->end_z = bz;
            return;
        }
        float dx = bx - g->start_x, dz = bz - g->start_z;
        float length = hypotf(dx, dz);
        if (!(length > 0.0f))
            return;   // no direction: the end stays
        float last = gradient_point(g, g->points.count - 1)->distance;
        g->end_x = g->start_x + dx / length * last;
        g->end_z = g->start_z + dz / length * last;
    }
}

void gradient_placement_release(void)
{
    EditorState *s = editor_state;
    if (s && s->drag_mode != 0 && is_flat_gradient(selected_gradient()))
        editor_clear_gradient();
}

void pick_gradient_point(void)
{
    EditorState *s = editor_state;
    Gradient *g = selected_gradient();
    if (!s || !g)
        return;
    int n = g->points.count;
    for (int i = 0; i < n; i++) {
        const GradientPoint *p = gradient_point(g, i);
        if (near_cursor(g->start_x + p->distance, g->start_z - p->height)) {
            s->selected_point = i;
            segment_type_list.selected = *gradient_flag(g, i) == 1;
            s->drag_mode = 1;
            return;
        }
    }
    s->drag_mode = 0;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    for (int k = 1; k < n; k++) {
        float lo = g->start_x + gradient_point(g, k - 1)->distance, hi = g->start_x + gradient_point(g, k)->distance;
        if (cx > lo && cx < hi) {
            int flag = *gradient_flag(g, k - 1);
            if (!insert_gradient_point(g, k, cx - g->start_x, g->start_z - cz, flag))
                return;
            mark_track_edited();
            s->selected_point = k;
            segment_type_list.selected = flag == 1;
            s->drag_mode = 1;
            return;
        }
    }
}

static float round_to(float value, float step)
{
    return step != 0.0f ? step * floorf(value / step + 0.5f) : value;
}

void gradient_edit_drag(void)
{
    EditorState *s = editor_state;
    Gradient *g = selected_gradient();
    if (!s || !g || s->drag_mode != 1)
        return;
    int k = s->selected_point, n = g->points.count;
    if (k < 0 || k >= n)
        return;
    mark_track_edited();
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    float granularity = (float)granularity_slider.value;
    float dx = round_to(cx - g->start_x, granularity), dh = round_to(g->start_z - cz, granularity);
    GradientPoint *p = gradient_point(g, k);
    if (k > 0 && k < n - 1) {
        if (dx <= gradient_point(g, k - 1)->distance || dx >= gradient_point(g, k + 1)->distance) {
            remove_gradient_point(g, k);
            s->drag_mode = 0;
            s->selected_point = -1;
            return;
        }
        p->distance = dx;
    }
    p->height = dh;
}

void copy_gradient(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    int from = s->selected_gradient;
    if (!get_gradient(from)) {
        s->status = "No gradient selected";
        return;
    }
    const Gradient *source = get_gradient(from);
    float dx = source->end_x - source->start_x, dz = source->end_z - source->start_z;
    float length = hypotf(dx, dz);
    if (!(length > 0.0f))
        return;   // no direction to move sideways along
    if (!editor_new_gradient())
        return;
    source = get_gradient(from);   // the list may have moved
    Gradient *copy = selected_gradient();
    float ox = 10.0f * dz / length, oz = -10.0f * dx / length;
    copy->start_x = source->start_x + ox;
    copy->start_z = source->start_z + oz;
    copy->end_x = source->end_x + ox;
    copy->end_z = source->end_z + oz;
    empty_gradient(copy);
    for (int i = 0; i < source->points.count; i++) {
        const GradientPoint *p = gradient_point(source, i);
        append_gradient_point(copy, p->distance, p->height, *gradient_flag(source, i));
    }
}

void set_segment_type(int flag)
{
    EditorState *s = editor_state;
    uint8_t *f = s ? gradient_flag(selected_gradient(), s->selected_point) : nullptr;
    if (!f)
        return;
    *f = (uint8_t)flag;
    mark_track_edited();
}

void set_gradient_from_terrain(void)
{
    EditorState *s = editor_state;
    Gradient *g = selected_gradient();
    if (!s || !g)
        return;
    const Terrain *t = s->terrain;
    mark_track_edited();
    float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z;
    float length = hypotf(dx, dz);
    empty_gradient(g);
    int level = t->grid_exponent;
    // Whole steps of one cell while under the length, at most the point limit.
    float steps = length > 0.0f ? ceilf(length / t->cell) : 0.0f;
    int count = steps > (float)(GRADIENT_POINT_LIMIT - 1) ? GRADIENT_POINT_LIMIT - 1 : (int)steps;
    for (int i = 0; i < count; i++) {
        float q = (float)i * t->cell;
        if (!(q < length))
            break;
        float f = q / length;
        append_gradient_point(g, q, lod_height_at(t, s->baseline, level, g->start_x + dx * f, g->start_z + dz * f), 0);
    }
    append_gradient_point(g, length, lod_height_at(t, s->baseline, level, g->end_x, g->end_z), 0);
    int n = g->points.count;
    for (int i = 0; i < n; i++)
        *gradient_flag(g, i) = 1;

    // Straight runs, from the end backwards.
    float min_run = 2.8284271f * t->cell;
    int last = g->points.count - 1;
    while (last > 1) {
        const GradientPoint *pt = gradient_point(g, last);
        int j = last - 2;
        for (; j >= 0; j--) {
            const GradientPoint *a = gradient_point(g, j), *b = gradient_point(g, j + 1);
            float run = b->distance - a->distance, chord = pt->distance - b->distance;
            float slope = run > 0.0f ? (b->height - a->height) / run : 0.0f;
            float chord_slope = chord > 0.0f ? (pt->height - b->height) / chord : 0.0f;
            if (!(fabsf(slope - chord_slope) < 1.0f / 8192.0f))
                break;
        }
        int first = j + 1;
        if (last - first >= 2 && pt->distance - gradient_point(g, first)->distance >= min_run) {
            for (int k = last - 1; k > first; k--)
                remove_gradient_point(g, k);
            *gradient_flag(g, first) = 0;
            last = first;
        } else {
            last--;
        }
    }
    // Thinning.
    static const float tolerances[] = {1.0f / 128, 1.0f / 64, 1.0f / 32, 1.0f / 16, 1.0f / 8, 1.0f / 4};
    for (float tolerance : tolerances)
        for (int q = g->points.count - 2; q >= 1; q--) {
            if (*gradient_flag(g, q - 1) != 1 || *gradient_flag(g, q) != 1)
                continue;
            const GradientPoint *a = gradient_point(g, q - 1), *p = gradient_point(g, q), *b = gradient_point(g, q + 1);
            float span = b->distance - a->distance;
            float line = span > 0.0f ? a->height + (p->distance - a->distance) / span * (b->height - a->height)
                                     : a->height;
            if (fabsf(p->height - line) < tolerance)
                remove_gradient_point(g, q);
        }
    s->selected_point = -1;
}
