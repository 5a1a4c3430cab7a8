// The editor's input: the tool panel's widget records and their handler,
// mouse presses on the map and the panel, panning, and the editor's keys.
#include "editor/editor.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/widgets.h"
#include "track/terrain.h"

#define HIDDEN {-1, -1, -1, -1}

MenuItem editor_tool_items[EDITOR_TOOL_COUNT] = {
    {"Raise", HIDDEN},
    {"Lower", HIDDEN},
    {"Smooth", HIDDEN},
    {"Smudge", HIDDEN},
    {"Snap", HIDDEN},
    {"Gradient Linear Paint", HIDDEN},
    {"Gradient Linear Add", HIDDEN},
    {"Gradient Radial Paint", HIDDEN},
    {"Gradient Radial Add", HIDDEN},
    {"Gradient Placement", HIDDEN},
    {"Gradient Edit", HIDDEN},
    {"Timing Gate", HIDDEN},
    {"Billboards", HIDDEN},
    {"Statues", HIDDEN},
    {"Tilemap Edit", HIDDEN},
    {"Decals", HIDDEN},
};

static const char *const SUBMODE_CHOICES[] = {"Assign", "Raise Only", "Lower Only"};
static const char *const SEGMENT_CHOICES[] = {"Line", "Curve"};
static const char *const NO_YES[] = {"No", "Yes"};
static const char *const ORIENTATION_CHOICES[] = {"Copy", "Random", "Flow", "Flow2", "Uphill"};
static const char *const LEVEL_CHOICES[] = {"Top", "Under Current", "Over Current", "Bottom"};

OptionList submode_list = {"SubMode", SUBMODE_CHOICES, 3, 0, HIDDEN};
MenuItem editor_save_item = {"Save", HIDDEN};
Slider zoom_slider = {"Zoom", 1.0, 0.125, -3.0, 8.0, HIDDEN, 0, 0};
Slider strength_slider = {"Strength", 3.0, 0.25, -5.0, 5.0, HIDDEN, 0, 0};
Slider focus_slider = {"Focus", 0.5, 1.0 / 32, 0.0, 1.0, HIDDEN, 0, 0};
Slider radius_slider = {"Radius", 64.0, 1.0, 1.0, 128.0, HIDDEN, 0, 0};
Slider billboard_spacing_slider = {"Spacing", 1.0, 0.25, 0.25, 1000.0, HIDDEN, 0, 0};
Slider billboard_height_slider = {"Height", 0.0, 0.25, -50.0, 50.0, HIDDEN, 0, 0};
MenuItem new_gradient_item = {"New Gradient", HIDDEN};
MenuItem copy_gradient_item = {"Copy Gradient", HIDDEN};
OptionList segment_type_list = {"Segment Type", SEGMENT_CHOICES, 2, 0, HIDDEN};
Slider granularity_slider = {"Granularity", 0.0, 1.0 / 16, 0.0, 1.0, HIDDEN, 0, 0};
MenuItem set_from_terrain_item = {"Set From Terrain", HIDDEN};
MenuItem flatten_item = {"Flatten", HIDDEN};
MenuItem set_switch_item = {"Set AI Switch Point", HIDDEN};
MenuItem clear_switch_item = {"Clear AI Switch Point", HIDDEN};
Slider tile_slider = {"Tile", 0.0, 1.0, 0.0, 255.0, HIDDEN, 0, 0};
OptionList show_collidable_list = {"Show Collidable", NO_YES, 2, 0, HIDDEN};
MenuItem snap_to_gradient_item = {"Snap to Gradient", HIDDEN};
Slider decal_spacing_slider = {"Spacing", 0.75, 1.0 / 16, 0.25, 4.0, HIDDEN, 0, 0};
OptionList orientation_list = {"Orientation", ORIENTATION_CHOICES, 5, ORIENT_FLOW, HIDDEN};
OptionList hide_different_list = {"Hide different", NO_YES, 2, 0, HIDDEN};
OptionList level_list = {"Level", LEVEL_CHOICES, 4, LEVEL_OVER, HIDDEN};
MenuItem panel_dummy_item = {"dummy", HIDDEN};

WidgetRect *editor_panel_rects[PANEL_ITEM_COUNT + 1] = {
    &editor_tool_items[0].rect, &editor_tool_items[1].rect, &editor_tool_items[2].rect,
    &editor_tool_items[3].rect, &editor_tool_items[4].rect, &editor_tool_items[5].rect,
    &editor_tool_items[6].rect, &editor_tool_items[7].rect, &editor_tool_items[8].rect,
    &editor_tool_items[9].rect, &editor_tool_items[10].rect, &editor_tool_items[11].rect,
    &editor_tool_items[12].rect, &editor_tool_items[13].rect, &editor_tool_items[14].rect,
    &editor_tool_items[15].rect, &submode_list.rect, &editor_save_item.rect, &zoom_slider.rect,
    &strength_slider.rect, &focus_slider.rect, &radius_slider.rect, &billboard_spacing_slider.rect,
    &billboard_height_slider.rect, &new_gradient_item.rect, &copy_gradient_item.rect, &segment_type_list.rect,
    &granularity_slider.rect, &set_from_terrain_item.rect, &flatten_item.rect, &set_switch_item.rect,
    &clear_switch_item.rect, &tile_slider.rect, &show_collidable_list.rect, &snap_to_gradient_item.rect,
    &decal_spacing_slider.rect, &orientation_list.rect, &hide_different_list.rect, &level_list.rect,
    &panel_dummy_item.rect, nullptr,
};

void reset_editor_panel(void)
{
    for (int i = 0; i < PANEL_ITEM_COUNT; i++)
        hide_item_rect(editor_panel_rects[i]);
}

void update_editor_hover(void)
{
    EditorState *s = editor_state;
    if (!s || (cursor_x == s->hover_x && cursor_y == s->hover_y))
        return;
    s->hover_x = cursor_x;
    s->hover_y = cursor_y;
    s->hovered_item = find_rect_under_cursor((const WidgetRect *const *)editor_panel_rects);
}

// Tools whose stroke starts from the anchor.
static int uses_anchor(int tool)
{
    return (tool >= TOOL_RAISE && tool <= TOOL_SMUDGE) || (tool >= TOOL_LINEAR_PAINT && tool <= TOOL_GRADIENT_EDIT) ||
           tool == TOOL_TILEMAP;
}

void editor_release(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    if (s->press == 1) {
        if (uses_anchor(s->tool))
            s->anchor_x = s->anchor_z = -1.0f;
        if (s->tool <= TOOL_SNAP)
            commit_height_edit();
        if (s->tool == TOOL_GRADIENT_PLACEMENT)
            gradient_placement_release();
    }
    s->press = 0;
}

static void editor_press(void)
{
    EditorState *s = editor_state;
    s->press = 1;
    switch (s->tool) {
    case TOOL_RAISE:
    case TOOL_LOWER:
    case TOOL_SMOOTH:
    case TOOL_SNAP:
        commit_height_edit();
        break;
    case TOOL_SMUDGE:
        editor_cursor_point(&s->smudge_x, &s->smudge_z);
        commit_height_edit();
        break;
    case TOOL_GRADIENT_PLACEMENT:
        gradient_placement_press();
        break;
    case TOOL_GRADIENT_EDIT:
        pick_gradient_point();
        break;
    case TOOL_TIMING_GATE:
        pick_timing_gate();
        break;
    case TOOL_BILLBOARDS:
        billboard_press();
        break;
    case TOOL_STATUES:
        pick_statue();
        break;
    case TOOL_DECALS:
        pick_decal();
        break;
    }
}

void editor_panel(int key)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    int item = s->hovered_item;
    if (item >= 0 && item < EDITOR_TOOL_COUNT) {
        if (is_item_activated(&editor_tool_items[item].rect, key) && item != s->tool)
            set_editor_tool(item);
        return;
    }
    switch (item) {
    case 16:
        handle_option_list_key(&submode_list, key);
        break;
    case 26:
        handle_option_list_key(&segment_type_list, key);
        set_segment_type(segment_type_list.selected);
        break;
    case 33:
        handle_option_list_key(&show_collidable_list, key);
        break;
    case 36:
        handle_option_list_key(&orientation_list, key);
        break;
    case 37:
        handle_option_list_key(&hide_different_list, key);
        break;
    case 38:
        handle_option_list_key(&level_list, key);
        break;
    case 18:
        handle_slider_key(&zoom_slider, key);
        break;
    case 19:
        handle_slider_key(&strength_slider, key);
        break;
    case 20:
        handle_slider_key(&focus_slider, key);
        break;
    case 21:
        handle_slider_key(&radius_slider, key);
        break;
    case 22:
        handle_slider_key(&billboard_spacing_slider, key);
        break;
    case 23:
        handle_slider_key(&billboard_height_slider, key);
        set_billboard_height((float)billboard_height_slider.value);
        break;
    case 27:
        handle_slider_key(&granularity_slider, key);
        break;
    case 32:
        handle_slider_key(&tile_slider, key);
        break;
    case 35:
        handle_slider_key(&decal_spacing_slider, key);
        break;
    case 17:
        if (is_item_activated(&editor_save_item.rect, key))
            save_all_track_files();
        break;
    case 24:
        if (is_item_activated(&new_gradient_item.rect, key))
            editor_new_gradient();
        break;
    case 25:
        if (is_item_activated(&copy_gradient_item.rect, key))
            copy_gradient();
        break;
    case 28:
        if (is_item_activated(&set_from_terrain_item.rect, key))
            set_gradient_from_terrain();
        break;
    case 29:
        if (is_item_activated(&flatten_item.rect, key))
            editor_clear_gradient();
        break;
    case 30:
        if (is_item_activated(&set_switch_item.rect, key))
            set_ai_switch_point(1);
        break;
    case 31:
        if (is_item_activated(&clear_switch_item.rect, key))
            set_ai_switch_point(0);
        break;
    case 34:
        if (is_item_activated(&snap_to_gradient_item.rect, key))
            snap_statue_to_gradient();
        break;
    }
}

static void echo_key(EditorState *s, int code)
{
    if (code >= 32 && code < 127)
        snprintf(s->key_echo, sizeof s->key_echo, "Pressed 0x%02x ('%c')", code, code);
    else
        snprintf(s->key_echo, sizeof s->key_echo, "Pressed 0x%02x", code);
    s->status = s->key_echo;
}

static int tool_key(EditorState *s, int code)
{
    float step = s->terrain->extent / exp2f((float)zoom_slider.value) * 0.25f;
    if (code == menu_keys.left) {
        s->centre_x -= step;
    } else if (code == menu_keys.right) {
        s->centre_x += step;
    } else if (code == menu_keys.up) {
        s->centre_z -= step;
    } else if (code == menu_keys.down) {
        s->centre_z += step;
    } else if (code == '=') {
        zoom_slider.value = fmin(zoom_slider.value + 0.5, (double)ZOOM_KEY_LIMIT);
    } else if (code == '-') {
        zoom_slider.value = fmax(zoom_slider.value - 0.5, zoom_slider.minimum);
    } else if (code == ']') {
        strength_slider.value = fmin(strength_slider.value + strength_slider.step, strength_slider.maximum);
    } else if (code == '[') {
        strength_slider.value = fmax(strength_slider.value - strength_slider.step, strength_slider.minimum);
    } else if (code == 'i') {
        if (s->tool == TOOL_STATUES)
            editor_interpolate_objects();
    } else if (code == 'l') {
        if (uses_anchor(s->tool)) {
            if (s->anchor_x < 0.0f)
                editor_cursor_point(&s->anchor_x, &s->anchor_z);
            else
                s->anchor_x = s->anchor_z = -1.0f;
        }
    } else if (code == 's') {
        save_all_track_files();
    } else if (code == 'p') {
        export_pov_scene();
    } else if (code == 'u') {
        commit_height_edit();
    } else if (code == KEY_BACKSPACE) {
        undo_height_edit();
    } else if (code == 'f') {
        editor_clear_gradient();
    } else if (code >= '1' && code <= '9') {
        static const int DIGIT_TOOLS[9] = {TOOL_SMOOTH,      TOOL_SNAP,         TOOL_LINEAR_PAINT,
                                           TOOL_LINEAR_ADD,  TOOL_RADIAL_PAINT, TOOL_RADIAL_ADD,
                                           TOOL_GRADIENT_PLACEMENT, TOOL_GRADIENT_EDIT, TOOL_TIMING_GATE};
        set_editor_tool(DIGIT_TOOLS[code - '1']);
    } else if (s->tool == TOOL_BILLBOARDS && (code == KEY_DELETE || code == 'x')) {
        delete_billboard_at_cursor();
    } else if (s->tool == TOOL_STATUES && (code == KEY_DELETE || code == 'x')) {
        delete_statue_at_cursor();
    } else if (s->tool == TOOL_STATUES && code == 'd') {
        editor_place_object();
    } else if (s->tool == TOOL_DECALS && (code == KEY_DELETE || code == 'x')) {
        delete_decals_at_cursor(0.0f);
    } else if (s->tool == TOOL_DECALS && code == 'X') {
        delete_decals_at_cursor((float)radius_slider.value * editor_units_per_pixel());
    } else if (s->tool == TOOL_DECALS && code == 'd') {
        stamp_decal(1);
    } else if (s->tool == TOOL_DECALS && code == 'm') {
        select_decals_at_cursor(1, 0.0f);
    } else if (s->tool == TOOL_DECALS && code == 'M') {
        select_decals_at_cursor(0, (float)radius_slider.value * editor_units_per_pixel());
    } else if (s->tool == TOOL_DECALS && (code == '{' || code == '}')) {
        scale_decal_selection(code == '{' ? 0.9375f : 1.0666667f);
    } else {
        return 0;
    }
    return 1;
}

int editor_key(int code, int pressed)
{
    EditorState *s = editor_state;
    if (!s || code == KEY_TAB)
        return 0;
    if (pressed && code >= 0 && code < 256)
        echo_key(s, code);
    update_editor_hover();
    if (code == menu_keys.cursor_left) {
        if (!pressed) {
            editor_release();
            return 1;
        }
        s->frames_since_press = 0;
        if (s->hovered_item >= 0) {
            s->press = s->hovered_item | PANEL_PRESS;
            editor_panel(code);
            return 0;
        }
        editor_press();
        return 1;
    }
    if (code == menu_keys.cursor_right) {
        s->pan = pressed;
        s->pan_last_x = (float)cursor_x;
        s->pan_last_y = (float)cursor_y;
        return 1;
    }
    if (s->hovered_item >= 0) {
        if (pressed)
            editor_panel(code);
        return 1;
    }
    if (!pressed)
        return 0;
    return tool_key(s, code);
}
