// The editor's state record: set-up for a loaded track, the commit and undo
// ring of height edits, the cursor's map point and the per-tic tool step.
#include "editor/editor.h"

#include <cmath>
#include <cstring>

#include "app/widgets.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "render/overlay.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

int editor_on;
EditorState *editor_state;
static EditorState editor_record;

void mark_track_edited(void)
{
    if (editor_state && editor_state->terrain)
        editor_state->terrain->change_state = 7;
}

int undo_levels_for_memory(int side, int second_shading, unsigned long long memory)
{
    unsigned long long samples = (unsigned long long)side * (unsigned long long)side;
    unsigned long long level = samples * (4 + 3 + (second_shading ? 3 : 0));
    if (level == 0)
        return 0;
    unsigned long long levels = memory / 4 / level;
    if (levels < UNDO_MIN_LEVELS)
        return 0;
    return levels > UNDO_LEVELS ? UNDO_LEVELS : (int)levels;
}

static void free_undo_ring(EditorState *s)
{
    for (int i = 0; i < UNDO_LEVELS; i++) {
        checked_free(s->undo[i].heights);
        checked_free(s->undo[i].shading);
        checked_free(s->undo[i].normal_texels);
        memset(&s->undo[i], 0, sizeof s->undo[i]);
    }
    checked_free(s->baseline);
    s->baseline = nullptr;
}

static int allocate_undo_ring(EditorState *s, const Terrain *terrain, int levels)
{
    size_t samples = (size_t)terrain->side * terrain->side;
    s->baseline = (float *)checked_malloc(samples * sizeof(float));
    if (!s->baseline)
        return 0;
    for (int i = 0; i < levels; i++) {
        UndoLevel *level = &s->undo[i];
        level->heights = (float *)checked_malloc(samples * sizeof(float));
        level->shading = (uint8_t *)checked_malloc(samples * 3);
        if (terrain->normal_texels)
            level->normal_texels = (uint8_t *)checked_malloc(samples * 3);
        if (!level->heights || !level->shading || (terrain->normal_texels && !level->normal_texels))
            return 0;
        // Touched now, so that a commit does not wait for fresh pages.
        memset(level->heights, 0, samples * sizeof(float));
        memset(level->shading, 0, samples * 3);
        if (level->normal_texels)
            memset(level->normal_texels, 0, samples * 3);
    }
    s->undo_capacity = levels;
    return 1;
}

void free_editor_data(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    free_undo_ring(s);
    Gradient *gradients = (Gradient *)s->gradients.data;
    for (int i = 0; i < s->gradients.count; i++) {
        free_growable_array(&gradients[i].points);
        free_growable_array(&gradients[i].flags);
    }
    free_growable_array(&s->gradients);
    free_growable_array(&s->decal_selection);
    memset(s, 0, sizeof *s);
    editor_state = nullptr;
}

static void read_edinfo_file(void)
{
    char *path = track_file_path("/edinfo");
    GameFile *file = file_open(path, "rb");
    checked_free(path);
    if (!file)
        return;
    char line[EDINFO_LINE_LIMIT + 2];
    int dropping = 0;
    int length = 0;
    for (;;) {
        int c = file_getc(file);
        if (c == '\n' || c < 0) {
            if (!dropping && (length > 0 || c == '\n')) {
                line[length] = 0;
                parse_edinfo_line(line);
            }
            dropping = 0;
            length = 0;
            if (c < 0)
                break;
            continue;
        }
        if (dropping)
            continue;
        if (length >= EDINFO_LINE_LIMIT) {
            log_printf("edinfo: a line over %d bytes is dropped\n", EDINFO_LINE_LIMIT);
            dropping = 1;
            continue;
        }
        line[length++] = (char)c;
    }
    file_close(file);
}

void read_edinfo(EditorState *, Terrain *terrain)
{
    free_editor_data();
    if (!terrain || !terrain->heights)
        return;
    int levels = undo_levels_for_memory(terrain->side, terrain->normal_texels != nullptr, physical_memory_figure());
    EditorState *s = &editor_record;
    memset(s, 0, sizeof *s);
    if (levels == 0 || !allocate_undo_ring(s, terrain, levels)) {
        free_undo_ring(s);
        print_message("The track is too large for the editor's undo levels: the editor stays off\n");
        return;
    }
    if (!init_growable_array(&s->gradients, sizeof(Gradient)) ||
        !init_growable_array(&s->decal_selection, sizeof(int))) {
        free_undo_ring(s);
        free_growable_array(&s->gradients);
        print_message("Out of memory: the editor stays off\n");
        return;
    }
    s->track = &current_track;
    s->terrain = terrain;
    s->centre_x = s->centre_z = terrain->extent * 0.5f;
    s->anchor_x = s->anchor_z = -1.0f;
    s->selected_gate = -1;
    s->selected_gradient = s->selected_point = -1;
    // Selections start at the first object the files save.
    s->selected_billboard = billboard_file_start < billboard_table.count ? billboard_file_start : -1;
    s->last_placed_billboard = -1;
    s->selected_statue = statue_file_start < statue_table.count ? statue_file_start : -1;
    s->selected_decal = 0;
    s->hovered_item = -1;
    s->hover_x = s->hover_y = -1;
    s->status = "OK";
    editor_state = s;
    memcpy(s->baseline, terrain->heights, (size_t)terrain->side * terrain->side * sizeof(float));
    s->pending = 1;
    commit_height_edit();
    tile_slider.maximum = paintable_tile_maximum(terrain);
    if (tile_slider.value > tile_slider.maximum)
        tile_slider.value = tile_slider.maximum;
    read_edinfo_file();
    s->status = "OK";
    terrain->change_state = 0;
}

// ---- commit and undo ------------------------------------------------------------------

void commit_height_edit(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    s->status = "OK";
    if (!s->pending)
        return;
    Terrain *t = s->terrain;
    size_t samples = (size_t)t->side * t->side;
    s->pending = 0;
    memcpy(s->baseline, t->heights, samples * sizeof(float));
    t->change_state &= ~4;
    UndoLevel *level = &s->undo[s->next_undo_slot];
    memcpy(level->heights, t->heights, samples * sizeof(float));
    refresh_dirty_terrain_cells(t);
    if (t->shading)
        memcpy(level->shading, t->shading, samples * 3);
    if (level->normal_texels && t->normal_texels)
        memcpy(level->normal_texels, t->normal_texels, samples * 3);
    s->next_undo_slot = (s->next_undo_slot + 1) % s->undo_capacity;
    if (s->undo_count < s->undo_capacity)
        s->undo_count++;
}

void undo_height_edit(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    commit_height_edit();
    if (s->undo_count < 2) {
        s->status = "No more undo levels!";
        return;
    }
    int capacity = s->undo_capacity;
    s->undo_count--;
    s->next_undo_slot = (s->next_undo_slot + capacity - 1) % capacity;
    const UndoLevel *level = &s->undo[(s->next_undo_slot + capacity - 1) % capacity];
    Terrain *t = s->terrain;
    int side = t->side;
    size_t samples = (size_t)side * side;
    s->pending = 0;
    memcpy(s->baseline, level->heights, samples * sizeof(float));
    memcpy(t->heights, level->heights, samples * sizeof(float));
    if (t->shading)
        memcpy(t->shading, level->shading, samples * 3);
    size_t bitmap_bytes = (samples + 7) / 8;
    if (t->shading_dirty)
        memset(t->shading_dirty, 0, bitmap_bytes);
    if (t->normal_texels && level->normal_texels) {
        memcpy(t->normal_texels, level->normal_texels, samples * 3);
        if (t->normal_dirty)
            memset(t->normal_dirty, 0, bitmap_bytes);
    }
    // The wheels read the cached face normals: every one is stale now.
    if (t->triangle_dirty)
        memset(t->triangle_dirty, 0xff, ((size_t)terrain_triangle_count(t) + 31) / 32 * sizeof(uint32_t));
    for (size_t i = 0; i < samples; i++) {
        t->max_height = fmaxf(t->max_height, t->heights[i]);
        t->min_height = fminf(t->min_height, t->heights[i]);
    }
    t->change_state |= 3;
    t->change_counter++;
    mark_terrain_region_dirty(t, 0, 0, side, side);
    s->status = "Undo!";
}

// ---- the cursor on the map ------------------------------------------------------------

static float visible_height(void)
{
    const EditorState *s = editor_state;
    return s ? s->terrain->extent / exp2f((float)zoom_slider.value) : 0.0f;
}

static int view_height_pixels(void)
{
    return window_height > 1 ? window_height : 1;
}

float editor_units_per_pixel(void)
{
    return visible_height() / (float)view_height_pixels();
}

float pick_radius(void)
{
    return fmaxf(1.0f, visible_height() * 0.01f);
}

void editor_cursor_to_map(int px, int py, float *x, float *z)
{
    const EditorState *s = editor_state;
    if (!s) {
        *x = *z = 0.0f;
        return;
    }
    int h = view_height_pixels();
    float scale = visible_height() / (float)h;
    *x = (float)(px - window_width / 2) * scale + s->centre_x;
    *z = (float)(py - h / 2) * scale + s->centre_z;
}

void editor_cursor_point(float *x, float *z)
{
    editor_cursor_to_map(cursor_x, cursor_y, x, z);
}

void set_editor_tool(int tool)
{
    EditorState *s = editor_state;
    if (!s || tool < 0 || tool >= EDITOR_TOOL_COUNT || tool == s->tool)
        return;
    commit_height_edit();
    s->tool = tool;
}

// ---- the per-tic step -----------------------------------------------------------------

void apply_editor_tool(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    Terrain *t = s->terrain;
    if ((t->change_state & 4) && !s->pending) {
        s->pending = 1;
        s->status = "Update needed!";
    }
    update_editor_hover();
    if (s->pan) {
        if (cursor_x < 0 || cursor_y < 0 || cursor_x >= window_width || cursor_y >= window_height) {
            s->pan = 0;
        } else {
            float u = editor_units_per_pixel();
            s->centre_x += (s->pan_last_x - (float)cursor_x) * u;
            s->centre_z += (s->pan_last_y - (float)cursor_y) * u;
            s->pan_last_x = (float)cursor_x;
            s->pan_last_y = (float)cursor_y;
        }
    }
    if (s->press == 0)
        return;
    // The button went up where no event reached the editor.
    if (!mouse_held) {
        editor_release();
        return;
    }
    if (s->press & PANEL_PRESS) {
        if (s->hovered_item == (s->press & 0xffff))
            editor_panel(MENU_KEY_DRAG);
        return;
    }
    int frame = s->frames_since_press++;
    switch (s->tool) {
    case TOOL_RAISE:
    case TOOL_LOWER:
    case TOOL_SMOOTH:
    case TOOL_SMUDGE:
    case TOOL_LINEAR_PAINT:
    case TOOL_LINEAR_ADD:
    case TOOL_RADIAL_PAINT:
    case TOOL_RADIAL_ADD:
        if (frame % 32 == 0) {
            apply_brush();
            t->change_counter++;
        }
        break;
    case TOOL_SNAP:
        if (frame % 16 == 0) {
            apply_snap();
            t->change_counter++;
        }
        break;
    case TOOL_GRADIENT_PLACEMENT:
        gradient_placement_drag();
        break;
    case TOOL_GRADIENT_EDIT:
        gradient_edit_drag();
        break;
    case TOOL_TIMING_GATE:
        drag_timing_gate();
        break;
    case TOOL_BILLBOARDS:
        billboard_drag();
        break;
    case TOOL_STATUES:
        drag_statue();
        break;
    case TOOL_TILEMAP:
        if (frame % 32 == 0) {
            float x, z;
            editor_cursor_point(&x, &z);
            float ax = s->anchor_x >= 0 ? s->anchor_x : x, az = s->anchor_x >= 0 ? s->anchor_z : z;
            s->anchor_x = x;
            s->anchor_z = z;
            paint_tiles_along_line(ax, az, x, z, (float)radius_slider.value * editor_units_per_pixel());
        }
        break;
    case TOOL_DECALS:
        drag_decal();
        break;
    }
}
