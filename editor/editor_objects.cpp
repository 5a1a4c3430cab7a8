// The object tools of the editor: timing gates and switch points,
// billboards, statues, tile painting and decals. Picks and edits cover only
// the objects the track's files save.
#include "editor/editor.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/widgets.h"
#include "race/lap_pool.h"
#include "render/decal_grid.h"
#include "track/decals.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"

static const float PI = 3.1415927f;
static const float TWO_PI = 6.2831855f;

static int under_cursor(float x, float z)
{
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    return hypotf(x - cx, z - cz) <= pick_radius() * 0.5f;
}

static float frac(float v)
{
    return v - floorf(v);
}

// ---- timing gates ---------------------------------------------------------------------

static void gate_far_end(const TimingGate *g, float *x, float *z)
{
    float length = hypotf(g->direction[0], g->direction[2]);
    float f = length > 0.0f ? g->radius / length : 0.0f;
    *x = g->x + g->direction[0] * f;
    *z = g->z + g->direction[2] * f;
}

void pick_timing_gate(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    for (int i = 0; i < timing_gate_count; i++) {
        const TimingGate *g = &timing_gates[i];
        float fx, fz;
        gate_far_end(g, &fx, &fz);
        if (under_cursor(g->x, g->z) || under_cursor(fx, fz)) {
            s->selected_gate = i;
            s->drag_mode = under_cursor(g->x, g->z) ? 1 : 2;
            return;
        }
    }
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    s->selected_gate = -1;
    s->drag_mode = 0;
    for (int i = 0; i < timing_gate_count; i++) {
        const TimingGate *g = &timing_gates[i];
        float vx = cx - g->x, vz = cz - g->z;
        if (hypotf(vx, vz) <= g->radius && vx * g->direction[0] + vz * g->direction[2] > 0.0f) {
            s->selected_gate = i;
            return;
        }
    }
}

void drag_timing_gate(void)
{
    EditorState *s = editor_state;
    if (!s || s->terrain->edit_lock || s->selected_gate < 0 || s->selected_gate >= timing_gate_count)
        return;
    TimingGate *g = &timing_gates[s->selected_gate];
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    if (s->drag_mode == 1) {
        g->x = cx;
        g->y = 0.0f;
        g->z = cz;
    } else if (s->drag_mode == 2) {
        float dx = cx - g->x, dz = cz - g->z;
        float length = hypotf(dx, dz);
        if (!(length > 0.0f))
            return;   // no direction: the gate keeps its length
        g->direction[0] = dx;
        g->direction[1] = 0.0f;
        g->direction[2] = dz;
        g->radius = length;
    } else {
        return;
    }
    mark_track_edited();
}

static int count_timing_entries(int from, int count)
{
    int n = 0;
    for (int i = from; i < from + count; i++)
        if (lap_gate_list.entries[i] < NOT_TIMING_MARK)
            n++;
    return n;
}

int set_ai_switch_point(int set)
{
    EditorState *s = editor_state;
    if (!s || s->selected_gate < 0 || s->selected_gate >= timing_gate_count)
        return 0;
    LapGateList *list = &lap_gate_list;
    int gate = s->selected_gate;
    int from = set ? gate + NOT_TIMING_MARK : gate, to = set ? gate : gate + NOT_TIMING_MARK;
    int total = list->first_lap_count + list->normal_lap_count;
    int first = 0, normal = 0;
    for (int i = 0; i < total; i++) {
        int entry = list->entries[i] == from ? to : list->entries[i];
        if (entry < NOT_TIMING_MARK)
            (i < list->first_lap_count ? first : normal)++;
    }
    // A lap list under three timing gates would lose the track's timing.
    if (first < 3 || normal < 3)
        return 0;
    for (int i = 0; i < total; i++)
        if (list->entries[i] == from)
            list->entries[i] = to;
    list->first_lap_timing = count_timing_entries(0, list->first_lap_count);
    list->normal_lap_timing = count_timing_entries(list->first_lap_count, list->normal_lap_count);
    free_lap_pool();
    create_lap_pool(list->first_lap_timing, list->normal_lap_timing);
    mark_track_edited();
    return 1;
}

// ---- billboards -----------------------------------------------------------------------

// The first editable billboard under the cursor after index after, wrapping; or -1.
static int find_billboard_at_cursor(int after)
{
    int start = billboard_file_start, count = billboard_table.count;
    int n = count - start;
    if (n <= 0)
        return -1;
    int from = after < start ? start : after >= count ? start : after;
    for (int k = 1; k <= n; k++) {
        int i = start + (from - start + k) % n;
        const Billboard *b = get_billboard(i);
        if (under_cursor(b->x, b->z))
            return i;
    }
    return -1;
}

static int copy_billboard(const Billboard *source, float x, float z)
{
    int before = billboard_table.count;
    Billboard copy = *source;
    int index = add_billboard(x, copy.height_offset, z, copy.width, copy.height, copy.texture_name);
    if (billboard_table.count == before)
        return -1;
    memcpy(get_billboard(index)->colour, copy.colour, 3);
    mark_track_edited();
    return index;
}

static int editable_billboard(int index)
{
    return index >= billboard_file_start && index < billboard_table.count;
}

void billboard_press(void)
{
    EditorState *s = editor_state;
    if (!s || billboard_table.count <= billboard_file_start)
        return;
    int hit = find_billboard_at_cursor(s->selected_billboard);
    if (hit >= 0) {
        s->selected_billboard = hit;
        billboard_height_slider.value = get_billboard(hit)->height_offset;
        s->last_placed_billboard = -1;
        return;
    }
    if (!editable_billboard(s->selected_billboard))
        return;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    s->last_placed_billboard = copy_billboard(get_billboard(s->selected_billboard), cx, cz);
}

void billboard_drag(void)
{
    EditorState *s = editor_state;
    if (!s || !editable_billboard(s->selected_billboard) || !editable_billboard(s->last_placed_billboard))
        return;
    const Billboard *last = get_billboard(s->last_placed_billboard);
    // A row of zero-size billboards still keeps half a pick apart.
    float spacing = fmaxf(last->height * last->width * (float)billboard_spacing_slider.value, pick_radius() * 0.5f);
    if (!std::isfinite(spacing))
        return;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    if (!(hypotf(cx - last->x, cz - last->z) >= spacing))
        return;
    for (int i = billboard_file_start; i < billboard_table.count; i++) {
        const Billboard *b = get_billboard(i);
        if (hypotf(cx - b->x, cz - b->z) < spacing)
            return;
    }
    int index = copy_billboard(get_billboard(s->selected_billboard), cx, cz);
    if (index >= 0)
        s->last_placed_billboard = index;
}

void delete_billboard_at_cursor(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    int hit = find_billboard_at_cursor(s->selected_billboard);
    if (hit < billboard_file_start)
        return;
    remove_billboard(hit);
    if (s->selected_billboard > hit || s->selected_billboard >= billboard_table.count)
        s->selected_billboard--;
    if (s->selected_billboard < billboard_file_start)
        s->selected_billboard = billboard_table.count > billboard_file_start ? billboard_file_start : -1;
    s->last_placed_billboard = -1;
    mark_track_edited();
}

void set_billboard_height(float offset)
{
    EditorState *s = editor_state;
    if (!s || !editable_billboard(s->selected_billboard))
        return;
    Billboard *b = get_billboard(s->selected_billboard);
    b->height_offset = offset;
    b->y = editor_height_at(s->terrain, b->x, b->z) + offset;
    mark_track_edited();
}

// ---- statues --------------------------------------------------------------------------

static int editable_statue(int index)
{
    return index >= statue_file_start && index < statue_table.count;
}

static void statue_handle(const Statue *statue, float *x, float *z)
{
    float p = pick_radius();
    *x = statue->x - 4.0f * p * sinf(statue->yaw);
    *z = statue->z - 4.0f * p * cosf(statue->yaw);
}

void pick_statue(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    for (int i = statue_file_start; i < statue_table.count; i++)
        if (under_cursor(get_statue(i)->x, get_statue(i)->z)) {
            s->selected_statue = i;
            s->drag_mode = 1;
            return;
        }
    for (int i = statue_file_start; i < statue_table.count; i++) {
        float hx, hz;
        statue_handle(get_statue(i), &hx, &hz);
        if (under_cursor(hx, hz)) {
            s->selected_statue = i;
            s->drag_mode = 2;
            return;
        }
    }
    s->drag_mode = 0;
    s->selected_statue = -1;
}

// The yaw facing angle a, kept as an orientation marker needs.
static float turned_yaw(float old_yaw, float a)
{
    if (old_yaw >= 3.25f)
        return old_yaw;
    float yaw = frac((a + PI) / TWO_PI) * TWO_PI - PI;
    return old_yaw <= -TWO_PI ? yaw - 2 * TWO_PI : yaw;
}

void drag_statue(void)
{
    EditorState *s = editor_state;
    if (!s || s->terrain->edit_lock || !editable_statue(s->selected_statue))
        return;
    Statue *statue = get_statue(s->selected_statue);
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    if (s->drag_mode == 1) {
        statue->x = cx;
        statue->z = cz;
        statue->y = 0.0f;
        place_statue(statue);
        rebuild_object_grid();
    } else if (s->drag_mode == 2) {
        statue->yaw = turned_yaw(statue->yaw, atan2f(statue->x - cx, statue->z - cz));
        place_statue(statue);
    } else {
        return;
    }
    mark_track_edited();
}

void editor_place_object(void)
{
    EditorState *s = editor_state;
    if (!s || s->terrain->edit_lock || !editable_statue(s->selected_statue))
        return;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    Statue source = *get_statue(s->selected_statue);
    add_statue(cx, source.height_offset, cz, source.yaw, source.names[0], source.names[1], source.names[2]);
    rebuild_object_grid();
    mark_track_edited();
}

void delete_statue_at_cursor(void)
{
    EditorState *s = editor_state;
    if (!s || s->terrain->edit_lock)
        return;
    for (int i = statue_file_start; i < statue_table.count; i++) {
        Statue *statue = get_statue(i);
        if (!under_cursor(statue->x, statue->z))
            continue;
        free_statue(statue);
        Statue *table = (Statue *)statue_table.data;
        memmove(table + i, table + i + 1, (size_t)(statue_table.count - i - 1) * sizeof *table);
        statue_table.count--;
        if (s->selected_statue > i || s->selected_statue >= statue_table.count)
            s->selected_statue--;
        rebuild_object_grid();
        mark_track_edited();
        return;
    }
}

static int same_name(const char *a, const char *b)
{
    return a == b || (a && b && !strcmp(a, b));
}

void editor_interpolate_objects(void)
{
    EditorState *s = editor_state;
    int first = s ? s->selected_statue : -1;
    int count = statue_table.count;
    if (!s || s->terrain->edit_lock || !editable_statue(first) || first > count - 3)
        return;
    const Statue *a = get_statue(first);
    for (int i = first + 1; i < count; i++)
        if (!same_name(get_statue(i)->names[0], a->names[0]) || !same_name(get_statue(i)->names[1], a->names[1])) {
            s->status = "Bad match for interpolate!";
            return;
        }
    const Statue *b = get_statue(count - 1);
    for (int i = first + 1; i <= count - 2; i++) {
        Statue *statue = get_statue(i);
        float f = (float)(i - first) / (float)(count - 1 - first);
        statue->x = a->x + (b->x - a->x) * f;
        statue->z = a->z + (b->z - a->z) * f;
        statue->y = 0.0f;
        place_statue(statue);
    }
    mark_track_edited();
    rebuild_object_grid();
}

void snap_statue_to_gradient(void)
{
    EditorState *s = editor_state;
    const Gradient *g = selected_gradient();
    if (!s || !g || s->terrain->edit_lock || !editable_statue(s->selected_statue))
        return;
    Statue *statue = get_statue(s->selected_statue);
    float vx = statue->x - g->start_x, vz = statue->z - g->start_z;
    float r = hypotf(vx, vz);
    float target = 0.0f, best = INFINITY;
    for (int i = 0; i < g->points.count; i++) {
        float d = gradient_point(g, i)->distance;
        if (fabsf(d - r) < best) {
            best = fabsf(d - r);
            target = d;
        }
    }
    float dx = g->end_x - g->start_x, dz = g->end_z - g->start_z;
    float length = hypotf(dx, dz);
    if (!(length > 0.0f))
        return;   // no direction to project on
    float along = (vx * dx + vz * dz) / length;
    float wx = dx / length * along, wz = dz / length * along;
    float e = hypotf(vx - wx, vz - wz);
    if (e >= fabsf(target - r)) {
        if (!(r > 0.0f))
            return;   // the statue stands on the start: no ray
        statue->x = g->start_x + vx / r * target;
        statue->z = g->start_z + vz / r * target;
        statue->yaw = turned_yaw(statue->yaw, atan2f(-vz, vx));
    } else {
        statue->x = g->start_x + wx;
        statue->z = g->start_z + wz;
        statue->yaw = turned_yaw(statue->yaw, atan2f(-wx, -wz));
    }
    statue->y = 0.0f;
    place_statue(statue);
    mark_track_edited();
}

// ---- tiles ----------------------------------------------------------------------------

static void corner_types(uint32_t code, int types[4])
{
    static const int BITS[4] = {8, 4, 2, 1};
    for (int i = 0; i < 4; i++)
        types[i] = (code & BITS[i]) ? (int)(code >> 8 & 255) : (int)(code >> 16 & 255);
}

int paintable_tile_maximum(const Terrain *terrain)
{
    int n = 0;
    while (n < terrain->tile_count && n < TILE_SLOTS) {
        int types[4];
        corner_types(terrain->tiles[n].corner_code, types);
        uint32_t code = terrain->tiles[n].corner_code;
        if ((int)(code >> 8 & 255) != n || (int)(code >> 16 & 255) != n)
            break;
        n++;
    }
    return n > 0 ? n - 1 : 0;
}

static void write_tile(Terrain *t, int column, int row, int kind)
{
    int tiles = terrain_tile_side(t);
    if (column < 0 || row < 0 || column >= tiles || row >= tiles || t->edit_lock || !t->tile_map)
        return;
    t->tile_map[row * tiles + column] = (uint8_t)kind;
    mark_track_edited();
}

void paint_tile_corners(int column, int row, int corner_type, int mask)
{
    EditorState *s = editor_state;
    if (!s || !s->terrain->tile_map)
        return;
    Terrain *t = s->terrain;
    int tiles = terrain_tile_side(t);
    int c = column < 0 ? 0 : column >= tiles ? tiles - 1 : column;
    int r = row < 0 ? 0 : row >= tiles ? tiles - 1 : row;
    int kind = t->tile_map[r * tiles + c];
    int types[4];
    corner_types(t->tiles[kind].corner_code, types);
    static const int BITS[4] = {8, 4, 2, 1};
    int wanted[4], differs = 0;
    for (int i = 0; i < 4; i++) {
        wanted[i] = (mask & BITS[i]) ? corner_type : types[i];
        differs |= (mask & BITS[i]) && types[i] != corner_type;
    }
    if (!differs)
        return;
    for (int k = 0; k < t->tile_count; k++) {
        int candidate[4];
        corner_types(t->tiles[k].corner_code, candidate);
        if (!memcmp(candidate, wanted, sizeof wanted)) {
            write_tile(t, column, row, k);
            return;
        }
    }
}

static int clamp_cell(float cells, int last)
{
    if (!(cells > 0.0f))
        return 0;
    return cells >= (float)last ? last : (int)cells;
}

void paint_tiles_along_line(float x0, float z0, float x1, float z1, float r)
{
    EditorState *s = editor_state;
    if (!s || !s->terrain->tile_map)
        return;
    Terrain *t = s->terrain;
    int last = t->side - 2;
    int col0 = clamp_cell(floorf((fminf(x0, x1) - r) / t->cell), last);
    int col1 = clamp_cell(ceilf((fmaxf(x0, x1) + r) / t->cell), last);
    int row0 = clamp_cell(floorf((fminf(z0, z1) - r) / t->cell), last);
    int row1 = clamp_cell(ceilf((fmaxf(z0, z1) + r) / t->cell), last);
    mark_terrain_area_dirty(t, col0, row0, col1, row1);
    double k_value = floor(tile_slider.value + 0.5);
    int k = k_value < 0 ? 0 : k_value > 255 ? 255 : (int)k_value;
    if (k >= t->tile_count)
        return;
    static const int NEIGHBOURS[8][3] = {{-1, -1, 1}, {0, -1, 3}, {1, -1, 2}, {-1, 0, 5},
                                         {1, 0, 10},  {-1, 1, 4}, {0, 1, 12}, {1, 1, 8}};
    float dx = x1 - x0, dz = z1 - z0, length2 = dx * dx + dz * dz;
    for (int row = row0 | 1; row <= row1; row += 2)
        for (int column = col0 | 1; column <= col1; column += 2) {
            float px = (float)column * t->cell, pz = (float)row * t->cell;
            float f = (px - x0) * dx + (pz - z0) * dz;
            float qx = x0, qz = z0;
            if (f >= length2) {
                qx = x1;
                qz = z1;
            } else if (f > 0.0f) {
                qx = x0 + dx * f / length2;
                qz = z0 + dz * f / length2;
            }
            if (!(hypotf(px - qx, pz - qz) <= r))
                continue;
            int candidates[TILE_SLOTS], n = 0;
            for (int j = 0; j < t->tile_count; j++)
                if (t->tiles[j].corner_code == t->tiles[k].corner_code)
                    candidates[n++] = j;
            int kind = n > 1 ? candidates[rand() % n] : k;
            int tc = column / 2, tr = row / 2;
            write_tile(t, tc, tr, kind);
            for (const int *nb : NEIGHBOURS)
                paint_tile_corners(tc + nb[0], tr + nb[1], k, nb[2]);
        }
}

// ---- decals ---------------------------------------------------------------------------

static Decal *get_decal(int index)
{
    const EditorState *s = editor_state;
    if (!s || !s->terrain->decals.data || index < 0 || index >= s->terrain->decals.count)
        return nullptr;
    return (Decal *)s->terrain->decals.data + index;
}

static int same_kind(const Decal *a, const Decal *b)
{
    return a->image == b->image && a->texture == b->texture;
}

// With "Hide different" only decals of the selected one's kind take part.
static int decal_visible(int index)
{
    const Decal *d = get_decal(index), *selected = get_decal(editor_state->selected_decal);
    return d && (hide_different_list.selected == 0 || !selected || same_kind(d, selected));
}

static void decal_rear(const Decal *d, float *x, float *z)
{
    float back = (float)decal_spacing_slider.value * d->width * 0.5f;
    *x = d->x - back * d->sine;
    *z = d->z - back * d->cosine;
}

static void decal_handle(const Decal *d, float *x, float *z)
{
    float p = pick_radius();
    *x = d->x - 4.0f * p * d->sine;
    *z = d->z - 4.0f * p * d->cosine;
}

static void set_decal_angle(Decal *d, float angle)
{
    d->angle = angle;
    d->sine = sinf(angle);
    d->cosine = cosf(angle);
}

static int *selection_entries(void)
{
    return (int *)editor_state->decal_selection.data;
}

static void transform_decal_selection(const Decal *old_decal, const Decal *new_decal, float scale)
{
    EditorState *s = editor_state;
    Terrain *t = s->terrain;
    mark_track_edited();
    float delta = new_decal->angle - old_decal->angle;
    float c = cosf(delta) * scale, sn = sinf(delta) * scale;
    for (int i = 0; i < s->decal_selection.count; i++) {
        int index = selection_entries()[i];
        Decal *d = get_decal(index);
        if (!d)
            continue;
        remove_decal_from_grid(t, index);
        float x = d->x - old_decal->x, z = d->z - old_decal->z;
        d->x = x * c + z * sn + new_decal->x;
        d->z = -x * sn + z * c + new_decal->z;
        float angle = d->angle + delta;
        if (angle < -PI || angle > PI)
            angle = frac((angle + PI) / TWO_PI) * TWO_PI - PI;
        set_decal_angle(d, angle);
        add_decal_to_grid(t, index);
    }
}

void pick_decal(void)
{
    EditorState *s = editor_state;
    if (!s || !s->terrain->decals.data)
        return;
    int before = s->selected_decal;
    int count = s->terrain->decals.count;
    int hit = -1, mode = 0;
    for (int i = 0; i < count && hit < 0; i++)
        if (decal_visible(i) && under_cursor(get_decal(i)->x, get_decal(i)->z)) {
            hit = i;
            mode = 1;
        }
    for (int i = 0; i < count && hit < 0; i++) {
        float hx, hz;
        decal_handle(get_decal(i), &hx, &hz);
        if (decal_visible(i) && under_cursor(hx, hz)) {
            hit = i;
            mode = 2;
        }
    }
    if (hit >= 0) {
        s->selected_decal = hit;
        s->drag_mode = mode;
        if (hit != before)
            s->decal_selection.count = 0;
        return;
    }
    s->drag_mode = 0;
    stamp_decal(0);
}

void drag_decal(void)
{
    EditorState *s = editor_state;
    Decal *d = s ? get_decal(s->selected_decal) : nullptr;
    if (!d)
        return;
    Terrain *t = s->terrain;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    Decal old = *d;
    if (s->drag_mode == 1) {
        if (!(fabsf(cx - d->x) >= 0.001f || fabsf(cz - d->z) >= 0.001f))
            return;
        remove_decal_from_grid(t, s->selected_decal);
        d->x = cx;
        d->z = cz;
    } else if (s->drag_mode == 2) {
        float a = atan2f(d->x - cx, d->z - cz);
        if (!(fabsf(a - d->angle) >= 0.001f))
            return;
        remove_decal_from_grid(t, s->selected_decal);
        set_decal_angle(d, a);
    } else {
        float distance = hypotf(cx - d->x, cz - d->z);
        if (orientation_list.selected == ORIENT_FLOW2) {
            float rx, rz;
            decal_rear(d, &rx, &rz);
            distance = fminf(distance, hypotf(cx - rx, cz - rz));
        }
        if (distance > (float)decal_spacing_slider.value * d->width)
            stamp_decal(0);
        return;
    }
    add_decal_to_grid(t, s->selected_decal);
    Decal moved = *get_decal(s->selected_decal);
    transform_decal_selection(&old, &moved, 1.0f);
}

int decal_insert_index(int n)
{
    const EditorState *s = editor_state;
    const Decal *d = s ? get_decal(n) : nullptr;
    if (!d)
        return s && s->terrain->decals.data ? s->terrain->decals.count : 0;
    int count = s->terrain->decals.count;
    switch (level_list.selected) {
    case LEVEL_TOP:
        return count;
    case LEVEL_UNDER: {
        int i = n;
        while (i > 0 && same_kind(get_decal(i - 1), d))
            i--;
        return i;
    }
    case LEVEL_OVER: {
        int i = n + 1;
        while (i < count && same_kind(get_decal(i), d))
            i++;
        return i;
    }
    default:
        return 0;
    }
}

// Inserts a copy of decal source at index; its name copied. 0 when out of memory.
static int insert_decal(const Decal *source, int index)
{
    EditorState *s = editor_state;
    Terrain *t = s->terrain;
    Decal copy = *source;
    copy.name = checked_strdup(source->name);
    if (source->name && !copy.name)
        return 0;
    if (!append_to_growable_array(&t->decals)) {
        checked_free(copy.name);
        return 0;
    }
    Decal *table = (Decal *)t->decals.data;
    int count = t->decals.count;
    memmove(table + index + 1, table + index, (size_t)(count - 1 - index) * sizeof *table);
    table[index] = copy;
    shift_decal_grid_indices(t, index, 1);
    for (int i = 0; i < s->decal_selection.count; i++)
        if (selection_entries()[i] >= index)
            selection_entries()[i]++;
    add_decal_to_grid(t, index);
    return 1;
}

static float random_angle(void)
{
    return (float)rand() / (float)RAND_MAX * TWO_PI - PI;
}

void stamp_decal(int step)
{
    EditorState *s = editor_state;
    Decal *selected = s ? get_decal(s->selected_decal) : nullptr;
    if (!selected)
        return;
    mark_track_edited();
    Decal old = *selected, made = *selected;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    float spacing = (float)decal_spacing_slider.value * old.width;
    float nx = cx, nz = cz;
    if (step) {
        float dx = cx - old.x, dz = cz - old.z, length = hypotf(dx, dz);
        if (!(length > 0.0f))
            return;   // no direction to step along
        nx = old.x + dx / length * spacing;
        nz = old.z + dz / length * spacing;
    }
    float angle = old.angle;
    switch (orientation_list.selected) {
    case ORIENT_RANDOM:
        angle = random_angle();
        break;
    case ORIENT_FLOW:
        angle = atan2f(-(cx - old.x), -(cz - old.z));
        break;
    case ORIENT_FLOW2: {
        float rx, rz;
        decal_rear(&old, &rx, &rz);
        angle = atan2f(-(cx - rx), -(cz - rz));
        float dx = cx - rx, dz = cz - rz, length = hypotf(dx, dz);
        if (length > 0.0f) {
            float half = spacing * 0.5f;
            if (step) {
                nx = rx + dx / length * half;
                nz = rz + dz / length * half;
            } else {
                nx = cx - dx / length * half;
                nz = cz - dz / length * half;
            }
        }
        break;
    }
    case ORIENT_UPHILL: {
        float normal[3];
        get_terrain_elevation(s->terrain, nx, nz, normal);
        float length = sqrtf(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        float ux = length > 0.0f ? normal[0] / length : 0.0f, uz = length > 0.0f ? normal[2] / length : 0.0f;
        angle = ux * ux + uz * uz >= 1.0f / 1024.0f ? atan2f(ux, uz) : random_angle();
        break;
    }
    default:
        break;
    }
    made.x = nx;
    made.z = nz;
    set_decal_angle(&made, angle);
    int index = decal_insert_index(s->selected_decal);
    if (!insert_decal(&made, index))
        return;
    s->selected_decal = index;
    for (int i = 0; i < s->decal_selection.count; i++) {
        int from = selection_entries()[i];
        const Decal *source = get_decal(from);
        if (!source)
            continue;
        Decal member = *source;
        int at = decal_insert_index(from);
        if (!insert_decal(&member, at))
            continue;
        if (s->selected_decal >= at)
            s->selected_decal++;
        selection_entries()[i] = at;
    }
    Decal now = *get_decal(s->selected_decal);
    transform_decal_selection(&old, &now, 1.0f);
}

void select_decals_at_cursor(int toggle, float radius)
{
    EditorState *s = editor_state;
    if (!s || !s->terrain->decals.data)
        return;
    float hit = fmaxf(pick_radius() * 0.5f, radius);
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    for (int i = 0; i < s->terrain->decals.count; i++) {
        if (i == s->selected_decal || !decal_visible(i))
            continue;
        const Decal *d = get_decal(i);
        float hx, hz;
        decal_handle(d, &hx, &hz);
        if (!(hypotf(d->x - cx, d->z - cz) <= hit || hypotf(hx - cx, hz - cz) <= hit))
            continue;
        int found = -1;
        for (int k = 0; k < s->decal_selection.count; k++)
            if (selection_entries()[k] == i)
                found = k;
        if (found >= 0) {
            if (toggle) {
                selection_entries()[found] = selection_entries()[s->decal_selection.count - 1];
                s->decal_selection.count--;
            }
        } else if (int *slot = (int *)append_to_growable_array(&s->decal_selection)) {
            *slot = i;
        }
    }
}

void delete_decals_at_cursor(float radius)
{
    EditorState *s = editor_state;
    if (!s || !s->terrain->decals.data)
        return;
    Terrain *t = s->terrain;
    mark_track_edited();
    float hit = radius > 0.0f ? radius : pick_radius() * 0.5f;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    // The kind "Hide different" keeps to is the selected decal's at the
    // start of the sweep: deleting that decal does not widen the sweep.
    const Decal *selected = get_decal(s->selected_decal);
    int filtered = hide_different_list.selected != 0 && selected;
    Decal kind = selected ? *selected : Decal{};
    Decal deleted_kind = {};
    int selected_deleted = 0;
    for (int i = 0; i < t->decals.count;) {
        Decal *d = get_decal(i);
        if ((filtered && !same_kind(d, &kind)) || !(hypotf(d->x - cx, d->z - cz) <= hit)) {
            i++;
            continue;
        }
        for (int k = 0; k < s->decal_selection.count;) {
            int &entry = selection_entries()[k];
            if (entry == i) {
                entry = selection_entries()[--s->decal_selection.count];
                continue;
            }
            if (entry > i)
                entry--;
            k++;
        }
        remove_decal_from_grid(t, i);
        if (i == s->selected_decal) {
            deleted_kind = *d;
            selected_deleted = 1;
            s->selected_decal = -1;
        } else if (s->selected_decal > i) {
            s->selected_decal--;
        }
        checked_free(d->name);
        Decal *table = (Decal *)t->decals.data;
        memmove(table + i, table + i + 1, (size_t)(t->decals.count - i - 1) * sizeof *table);
        t->decals.count--;
        shift_decal_grid_indices(t, i, -1);
    }
    if (selected_deleted) {
        s->decal_selection.count = 0;
        for (int i = t->decals.count - 1; i >= 0; i--)
            if (same_kind(get_decal(i), &deleted_kind)) {
                s->selected_decal = i;
                break;
            }
    }
}

void scale_decal_selection(float scale)
{
    EditorState *s = editor_state;
    const Decal *d = s ? get_decal(s->selected_decal) : nullptr;
    if (!d)
        return;
    Decal centre = *d;
    transform_decal_selection(&centre, &centre, scale);
}
