// The track editor: its one state record, the height tools with their
// commit and undo ring, gradients, object tools, the tool panel and keys,
// the editor's files and the scene export. Every call does nothing while
// no editor state exists (the editor is off, or set-up refused the track).
#pragma once

#include <cstdint>

#include "core/alloc.h"

struct Terrain;
struct CurrentTrack;
struct GameFile;
struct Slider;
struct OptionList;
struct MenuItem;
struct WidgetRect;

enum EditorTool {
    TOOL_RAISE,
    TOOL_LOWER,
    TOOL_SMOOTH,
    TOOL_SMUDGE,
    TOOL_SNAP,
    TOOL_LINEAR_PAINT,
    TOOL_LINEAR_ADD,
    TOOL_RADIAL_PAINT,
    TOOL_RADIAL_ADD,
    TOOL_GRADIENT_PLACEMENT,
    TOOL_GRADIENT_EDIT,
    TOOL_TIMING_GATE,
    TOOL_BILLBOARDS,
    TOOL_STATUES,
    TOOL_TILEMAP,
    TOOL_DECALS,
    EDITOR_TOOL_COUNT,
};

// The limits of the editor, chosen here once.
enum {
    UNDO_LEVELS = 8,
    UNDO_MIN_LEVELS = 2,
    EDINFO_LINE_LIMIT = 1000,         // longer "edinfo" lines are dropped whole
    GRADIENT_LIMIT = 4096,
    GRADIENT_POINT_LIMIT = 65536,     // per gradient; also the sampling steps of a profile
    ZOOM_KEY_LIMIT = 16,              // '=' stops here: 2^Zoom stays small
    KEY_ECHO_LENGTH = 23,
    PANEL_PRESS = 0x10000,
    PANEL_ITEM_COUNT = 40,
};

enum SubMode { SUBMODE_ASSIGN, SUBMODE_RAISE_ONLY, SUBMODE_LOWER_ONLY };

struct GradientPoint {
    float distance;
    float height;
};

struct Gradient {
    float start_x, start_z;
    float end_x, end_z;
    GrowableArray points;   // GradientPoint
    GrowableArray flags;    // uint8_t, 1 = smooth segment to the next point
};

struct UndoLevel {
    float *heights;
    uint8_t *shading;
    uint8_t *normal_texels;   // null when the terrain has no second shading map
};

struct EditorState {
    CurrentTrack *track;
    Terrain *terrain;
    float *baseline;
    int pending;
    float centre_x, centre_z;
    int press;
    int pan;
    float pan_last_x, pan_last_y;
    int frames_since_press;
    float anchor_x, anchor_z;
    int tool;
    int drag_mode;
    float smudge_x, smudge_z;
    int selected_gate;
    GrowableArray gradients;   // Gradient
    int selected_gradient;
    int selected_point;
    int selected_billboard;
    int last_placed_billboard;
    int selected_statue;
    int selected_decal;
    GrowableArray decal_selection;   // int decal indices
    UndoLevel undo[UNDO_LEVELS];
    int undo_capacity;               // levels the ring holds, 2..8
    int next_undo_slot;
    int undo_count;
    const char *status;
    char key_echo[KEY_ECHO_LENGTH + 1];
    int hovered_item;
    int hover_x, hover_y;
};

extern int editor_on;
extern EditorState *editor_state;   // null while no track is being edited

// ---- set-up, files and export ---------------------------------------------------------

// Sets the editor up for the loaded track and reads its "edinfo".
void read_edinfo(EditorState *state, Terrain *terrain);
void free_editor_data(void);
// Reads one "edinfo" line into the gradients; 1 when it was taken.
int parse_edinfo_line(const char *line);
int write_edinfo_to(GameFile *file);
// Every track file through sibling temporaries, renamed only when all were
// written. 1 when saved; else the status holds the failing file's message.
int save_all_track_files(void);
int export_pov_scene(void);
// Writes the identifier a scene names a file by.
void pov_identifier(GameFile *file, const char *name);
// 1 when a texture name may stand inside a scene string; the cleaned name
// ('@' dropped, '\' made '/') goes to out.
int pov_safe_texture_name(const char *name, char *out, int size);
// A statue's texture line; 0 (nothing written) for a name left out.
int write_pov_texture(GameFile *file, const char *name);
// Undo levels that fit a quarter of the given memory (0 when fewer than 2).
int undo_levels_for_memory(int side, int second_shading, unsigned long long memory);

// ---- height tools ---------------------------------------------------------------------

float editor_units_per_pixel(void);
float pick_radius(void);
void editor_cursor_to_map(int px, int py, float *x, float *z);
void editor_cursor_point(float *x, float *z);
void editor_set_height(Terrain *terrain, int column, int row, float height);
float editor_height_at(const Terrain *terrain, float x, float z);
float lod_vertex_height(const Terrain *terrain, const float *heights, int level, int column, int row);
float lod_height_at(const Terrain *terrain, const float *heights, int level, float x, float z);
void commit_height_edit(void);
void undo_height_edit(void);
// One stroke step of the brush tools at the cursor.
void apply_brush(void);
void apply_snap(void);
void apply_editor_tool(void);
void set_editor_tool(int tool);

// ---- gradients ------------------------------------------------------------------------

Gradient *selected_gradient(void);
Gradient *get_gradient(int index);
int gradient_point_count(const Gradient *gradient);
GradientPoint *gradient_point(const Gradient *gradient, int index);
uint8_t *gradient_flag(const Gradient *gradient, int index);
int append_gradient_point(Gradient *gradient, float distance, float height, int flag);
float gradient_slope_at_point(int i);
float gradient_hermite(int i, float t);
float gradient_height_at(float d);
float linear_gradient_height(float x, float z);
float radial_gradient_height(float x, float z);
int editor_new_gradient(void);
void editor_clear_gradient(void);
void select_nearest_gradient(void);
void pick_gradient_point(void);
void gradient_placement_press(void);
void gradient_placement_drag(void);
void gradient_placement_release(void);
void gradient_edit_drag(void);
void copy_gradient(void);
void set_gradient_from_terrain(void);
void set_segment_type(int flag);
int is_flat_gradient(const Gradient *gradient);

// ---- objects --------------------------------------------------------------------------

void pick_timing_gate(void);
void drag_timing_gate(void);
// Sets (1) or clears (0) the selected gate as a switch point; 0 when refused.
int set_ai_switch_point(int set);
void billboard_press(void);
void billboard_drag(void);
void delete_billboard_at_cursor(void);
void set_billboard_height(float offset);
void pick_statue(void);
void drag_statue(void);
void editor_place_object(void);
void delete_statue_at_cursor(void);
void editor_interpolate_objects(void);
void snap_statue_to_gradient(void);
void paint_tiles_along_line(float x0, float z0, float x1, float z1, float r);
void paint_tile_corners(int column, int row, int corner_type, int mask);
int paintable_tile_maximum(const Terrain *terrain);
void pick_decal(void);
void drag_decal(void);
void stamp_decal(int step);
int decal_insert_index(int n);
void select_decals_at_cursor(int toggle, float radius);
void delete_decals_at_cursor(float radius);
void scale_decal_selection(float scale);

// ---- keys, panel and view -------------------------------------------------------------

extern MenuItem editor_tool_items[EDITOR_TOOL_COUNT];
extern MenuItem editor_save_item, new_gradient_item, copy_gradient_item, set_from_terrain_item;
extern MenuItem flatten_item, set_switch_item, clear_switch_item, snap_to_gradient_item, panel_dummy_item;
extern OptionList submode_list, segment_type_list, show_collidable_list, orientation_list;
extern OptionList hide_different_list, level_list;
extern Slider zoom_slider, strength_slider, focus_slider, radius_slider, billboard_spacing_slider;
extern Slider billboard_height_slider, granularity_slider, tile_slider, decal_spacing_slider;
extern WidgetRect *editor_panel_rects[PANEL_ITEM_COUNT + 1];

enum Orientation { ORIENT_COPY, ORIENT_RANDOM, ORIENT_FLOW, ORIENT_FLOW2, ORIENT_UPHILL };
enum Level { LEVEL_TOP, LEVEL_UNDER, LEVEL_OVER, LEVEL_BOTTOM };

void reset_editor_panel(void);
int editor_key(int code, int pressed);
void editor_panel(int key);
void update_editor_hover(void);
// The end of a press: the tool's release action.
void editor_release(void);
void draw_editor_view(void);
// Marker primitives of the view, in the map plane y = 0.
void draw_ring(float x, float z, float radius, float width);
void draw_object_marker(float radius, float length, float width);
void draw_texture_swatch(int texture);
// Sets the terrain's change state after an edit.
void mark_track_edited(void);
