// The object tools (timing gates and switch points, billboards, statues,
// tiles, decals) and the editor's keys.
#include "editor_fixture.h"

#include "race/lap_pool.h"
#include "render/decal_grid.h"
#include "support/render_fixtures.h"
#include "track/decals.h"

#include <cmath>

namespace {

class EditorObjects : public EditorTrack {
protected:
    void use(int tool)
    {
        set_editor_tool(tool);
    }
    void drag(float x0, float z0, float x1, float z1, int steps = 1)
    {
        point_at(x0, z0);
        mouse_held = 1;
        editor_key(menu_keys.cursor_left, 1);
        point_at(x1, z1);
        for (int i = 0; i < steps; i++)
            apply_editor_tool();
        mouse_held = 0;
        editor_key(menu_keys.cursor_left, 0);
    }
};

TEST_F(EditorObjects, GatesMoveTurnAndKeepALength)
{
    load();
    use(TOOL_TIMING_GATE);
    // Its position.
    drag(100, 100, 120, 110);
    EXPECT_EQ(state()->selected_gate, 0);
    EXPECT_EQ(timing_gates[0].x, 120.0f);
    EXPECT_EQ(timing_gates[0].z, 110.0f);
    // Its far end (10 ft along +x).
    drag(130, 110, 120, 140);
    EXPECT_EQ(timing_gates[0].radius, 30.0f);
    EXPECT_EQ(timing_gates[0].direction[2], 30.0f);
    // Dragged onto its own position: the old length stays.
    drag(120, 140, 120, 110);
    EXPECT_EQ(timing_gates[0].radius, 30.0f);
    EXPECT_TRUE(std::isfinite(timing_gates[0].direction[0]));
    // Inside a gate's half disc, on the side it points to: selected, not moved.
    drag(405, 108, 405, 108);
    EXPECT_EQ(state()->selected_gate, 1);
    drag(300, 300, 300, 300);
    EXPECT_EQ(state()->selected_gate, -1);
    EXPECT_EQ(terrain()->change_state, 7);
}

TEST_F(EditorObjects, SwitchPointsRecountAndRefuseAShortList)
{
    load();
    state()->selected_gate = 2;
    EXPECT_EQ(set_ai_switch_point(0), 1);
    EXPECT_EQ(lap_gate_list.entries[2], 2 + NOT_TIMING_MARK);
    EXPECT_EQ(lap_gate_list.entries[6], 2 + NOT_TIMING_MARK);
    EXPECT_EQ(lap_gate_list.first_lap_timing, 3);
    EXPECT_EQ(lap_gate_list.normal_lap_timing, 3);
    EXPECT_EQ(lap_pool_rows, 6);
    // A second gate cleared would leave two timing gates a lap.
    state()->selected_gate = 1;
    EXPECT_EQ(set_ai_switch_point(0), 0);
    EXPECT_EQ(lap_gate_list.entries[1], 1);
    state()->selected_gate = 2;
    EXPECT_EQ(set_ai_switch_point(1), 1);
    EXPECT_EQ(lap_gate_list.entries[2], 2);
    EXPECT_EQ(lap_gate_list.first_lap_timing, 4);
    EXPECT_EQ(lap_pool_rows, 8);
    state()->selected_gate = -1;
    EXPECT_EQ(set_ai_switch_point(1), 0);
}

TEST_F(EditorObjects, BillboardRowsKeepTheirSpacing)
{
    load();
    use(TOOL_BILLBOARDS);
    billboard_spacing_slider.value = 1.0;
    // Pick the first (width 2 x height 3: rows every 6 ft), then lay copies.
    drag(200, 300, 200, 300);
    ASSERT_EQ(state()->selected_billboard, billboard_file_start);
    int before = billboard_table.count;
    point_at(200, 250);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    ASSERT_EQ(billboard_table.count, before + 1);
    for (int step = 1; step <= 40; step++) {
        point_at(200, 250 - (float)step);
        apply_editor_tool();
    }
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
    EXPECT_EQ(billboard_table.count, before + 7);
    for (int i = billboard_file_start; i < billboard_table.count; i++)
        for (int j = i + 1; j < billboard_table.count; j++) {
            const Billboard *a = get_billboard(i), *b = get_billboard(j);
            EXPECT_GE(hypotf(a->x - b->x, a->z - b->z), 6.0f - 1e-4f);
        }
    const Billboard *copy = get_billboard(billboard_table.count - 1);
    EXPECT_STREQ(copy->texture_name, "@edit/tree.png");
    EXPECT_EQ(billboard_draw_slots.count, 2 * billboard_table.count);
    // A zero-size billboard still lays its copies apart.
    get_billboard(billboard_file_start)->width = 0.0f;
    drag(200, 300, 200, 300);
    int count = billboard_table.count;
    drag(100, 100, 100, 100.2f, 64);
    EXPECT_EQ(billboard_table.count, count + 1);
    // 'x' removes the one under the cursor with its two draw slots.
    point_at(100, 100);
    EXPECT_EQ(editor_key('x', 1), 1);
    EXPECT_EQ(billboard_table.count, count);
    EXPECT_EQ(billboard_draw_slots.count, 2 * billboard_table.count);
}

TEST_F(EditorObjects, StatuesMoveTurnCopyAndInterpolate)
{
    load();
    use(TOOL_STATUES);
    drag(100, 200, 110, 210);
    EXPECT_EQ(state()->selected_statue, statue_file_start);
    EXPECT_EQ(get_statue(statue_file_start)->x, 110.0f);
    // Turned from its handle 4p behind it (p = 2.56 ft at this zoom).
    Statue *s = get_statue(statue_file_start);
    float p = pick_radius();
    drag(s->x - 4 * p * sinf(s->yaw), s->z - 4 * p * cosf(s->yaw), s->x + 10, s->z);
    EXPECT_NEAR(s->yaw, -1.5707964f, 1e-5f);
    struct YawCase {
        float yaw;
        bool kept;
        float below;
    } yaws[] = {{3.5f, true, 0}, {-7.0f, false, -6.2831855f}};
    for (const YawCase &c : yaws) {
        s->yaw = c.yaw;
        state()->selected_statue = statue_file_start;
        state()->drag_mode = 2;
        state()->press = 1;
        mouse_held = 1;
        point_at(s->x, s->z + 10);
        apply_editor_tool();
        state()->press = 0;
        mouse_held = 0;
        if (c.kept) {
            EXPECT_EQ(s->yaw, c.yaw);
        } else {
            EXPECT_LE(s->yaw, c.below);
        }
    }
    // 'd' copies the selected statue's names to the cursor.
    s->yaw = 0.0f;
    state()->selected_statue = statue_file_start;
    point_at(300, 300);
    EXPECT_EQ(editor_key('d', 1), 1);
    ASSERT_EQ(statue_table.count, 3);
    EXPECT_STREQ(get_statue(2)->names[0], "@edit/rock.jm");
    EXPECT_STREQ(get_statue(2)->names[1], "@edit/rock.png");
    EXPECT_EQ(get_statue(2)->names[2], nullptr);
    // 'i' with another model among the following statues only complains.
    state()->selected_statue = statue_file_start;
    editor_key('i', 1);
    EXPECT_STREQ(state()->status, "Bad match for interpolate!");
    // Deleting the missing-model statue leaves three of one kind to space out.
    point_at(150, 200);
    editor_key('x', 1);
    ASSERT_EQ(statue_table.count, 2);
    point_at(200, 200);
    editor_key('d', 1);
    point_at(400, 200);
    editor_key('d', 1);
    ASSERT_EQ(statue_table.count, 4);
    get_statue(0)->x = 100.0f;
    get_statue(0)->z = 200.0f;
    state()->selected_statue = 0;
    editor_key('i', 1);
    EXPECT_NEAR(get_statue(1)->x, 200.0f, 1e-4f);
    EXPECT_NEAR(get_statue(2)->x, 300.0f, 1e-4f);
    EXPECT_NEAR(get_statue(2)->z, 200.0f, 1e-4f);
}

TEST_F(EditorObjects, SnapToGradientNeedsADirection)
{
    load();
    Statue *s = get_statue(statue_file_start);
    state()->selected_statue = statue_file_start;
    ASSERT_EQ(editor_new_gradient(), 1);
    Gradient *g = selected_gradient();
    g->start_x = 100;
    g->start_z = 100;
    g->end_x = 150;
    g->end_z = 100;
    editor_clear_gradient();
    // (100, 200) lies 100 ft from the start, the nearest point at 50 ft.
    snap_statue_to_gradient();
    EXPECT_NEAR(s->x, 100.0f, 1e-4f);
    EXPECT_NEAR(s->z, 150.0f, 1e-4f);
    // A gradient of no length: nothing moves.
    g->end_x = g->start_x;
    s->x = 130;
    snap_statue_to_gradient();
    EXPECT_EQ(s->x, 130.0f);
}

TEST_F(EditorObjects, TilesPaintAndFitTheirNeighbours)
{
    // Kinds 0 and 1 plain, kind 2 a transition with corners 8 and 4 of type 1.
    fixture.tileinfo = "name dirt\naddtile\nname grass\naddtile\nname edge\naddtile\n";
    write_track();
    load();
    Terrain *t = terrain();
    t->tiles[0].corner_code = 0x000000;
    t->tiles[1].corner_code = 0x010100;
    t->tiles[2].corner_code = 0x00010c;
    EXPECT_EQ(paintable_tile_maximum(t), 1);
    int tiles = terrain_tile_side(t);
    // Kind 0 over kind 0: nothing changes.
    std::vector<uint8_t> before(t->tile_map, t->tile_map + tiles * tiles);
    tile_slider.value = 0;
    paint_tiles_along_line(102, 102, 102, 102, 0.5f);
    EXPECT_EQ(std::vector<uint8_t>(t->tile_map, t->tile_map + tiles * tiles), before);
    // Kind 1 at tile (25, 25): the tile below takes kind 2 (its top corners
    // are type 1), the others have no fitting kind and stay.
    tile_slider.value = 1;
    paint_tiles_along_line(102, 102, 102, 102, 0.5f);
    EXPECT_EQ(t->tile_map[25 * tiles + 25], 1);
    EXPECT_EQ(t->tile_map[26 * tiles + 25], 2);
    EXPECT_EQ(t->tile_map[24 * tiles + 25], 0);
    EXPECT_EQ(t->tile_map[25 * tiles + 26], 0);
    // The edit lock refuses the paint.
    t->edit_lock = 1;
    paint_tiles_along_line(202, 202, 202, 202, 0.5f);
    EXPECT_EQ(t->tile_map[50 * tiles + 50], 0);
    t->edit_lock = 0;
}

TEST_F(EditorObjects, KeysEchoZoomAndChooseTools)
{
    load();
    EXPECT_EQ(editor_key(KEY_TAB, 1), 0);
    struct EchoCase {
        int key;
        const char *status;
    } echoes[] = {{'a', "Pressed 0x61 ('a')"}, {1, "Pressed 0x01"}, {' ', "Pressed 0x20 (' ')"}};
    for (const EchoCase &c : echoes) {
        editor_key(c.key, 1);
        EXPECT_STREQ(state()->status, c.status);
    }
    editor_key('s', 1);
    EXPECT_STREQ(state()->status, "Saved!");
    zoom_slider.value = 7.5;
    for (int i = 0; i < 40; i++)
        editor_key('=', 1);
    EXPECT_EQ(zoom_slider.value, (double)ZOOM_KEY_LIMIT);
    for (int i = 0; i < 80; i++)
        editor_key('-', 1);
    EXPECT_EQ(zoom_slider.value, -3.0);
    struct ToolCase {
        int key;
        int tool;
    } tools[] = {{'1', TOOL_SMOOTH}, {'2', TOOL_SNAP}, {'3', TOOL_LINEAR_PAINT}, {'9', TOOL_TIMING_GATE}};
    for (const ToolCase &c : tools) {
        editor_key(c.key, 1);
        EXPECT_EQ(state()->tool, c.tool);
    }
    // '1' while Smooth is current does not commit.
    editor_key('1', 1);
    state()->pending = 1;
    editor_key('1', 1);
    EXPECT_EQ(state()->pending, 1);
    editor_key('2', 1);
    EXPECT_EQ(state()->pending, 0);
    // Strength steps stop at the slider's ends.
    for (int i = 0; i < 60; i++)
        editor_key(']', 1);
    EXPECT_EQ(strength_slider.value, 5.0);
    EXPECT_EQ(editor_key('Q', 1), 0);
}

TEST_F(EditorObjects, PanelPressesBelongToThePanel)
{
    load();
    // A slider drawn across the top of the window.
    radius_slider.rect = {0, 0, 200, 20};
    radius_slider.bar_x0 = 0;
    radius_slider.bar_x1 = 200;
    cursor_x = 150;
    cursor_y = 10;
    mouse_held = 1;
    EXPECT_EQ(editor_key(menu_keys.cursor_left, 1), 0);
    EXPECT_EQ(state()->press, 21 | PANEL_PRESS);
    double first = radius_slider.value;
    // Dragged along the bar: the slider follows; the map sees nothing.
    std::vector<float> heights(terrain()->heights, terrain()->heights + terrain()->side * terrain()->side);
    cursor_x = 50;
    apply_editor_tool();
    EXPECT_LT(radius_slider.value, first);
    EXPECT_EQ(std::vector<float>(terrain()->heights, terrain()->heights + terrain()->side * terrain()->side),
              heights);
    mouse_held = 0;
    apply_editor_tool();
    EXPECT_EQ(state()->press, 0);
    // Hidden items are never hovered.
    reset_editor_panel();
    cursor_x = 151;
    update_editor_hover();
    EXPECT_EQ(state()->hovered_item, -1);
}

} // namespace

namespace {

class EditorDecals : public EditorObjects {
protected:
    void SetUp() override
    {
        EditorObjects::SetUp();
        write_game_asset("@edit/d1.png");
        write_game_asset("@edit/d2.png");
        write_file(track_dir(fixture.folder) + "decals", "[200 200] 0 4 1 @edit/d1.png\n[260 200] 0 4 1 @edit/d1.png\n"
                                                         "[300 300] 0 4 1 @edit/d2.png\n"
                                                         "[100 100] 0 4 1 @edit/missing.png\n");
        orientation_list.selected = ORIENT_COPY;
        level_list.selected = LEVEL_OVER;
        hide_different_list.selected = 0;
        decal_spacing_slider.value = 0.75;
    }
    const Decal *decal(int i) { return (const Decal *)terrain()->decals.data + i; }
    int count() { return terrain()->decals.count; }
    // Every decal is found in the grid around its centre, and no bucket names a decal that is not there.
    void expect_grid_whole()
    {
        for (int i = 0; i < count(); i++) {
            GrowableArray *found = find_decals_in_rect(terrain(), decal(i)->x - 1, decal(i)->z - 1,
                                                       decal(i)->x + 1, decal(i)->z + 1);
            bool seen = false;
            for (int n = 0; n < found->count; n++) {
                int index = ((const int *)found->data)[n];
                EXPECT_LT(index, count());
                seen |= index == i;
            }
            EXPECT_TRUE(seen) << i;
        }
    }
};

TEST_F(EditorDecals, StampInsertsByLevelAndDeleteMovesTheSelection)
{
    load();
    ASSERT_EQ(count(), 4);   // the one whose texture failed stays, undrawn
    EXPECT_STREQ(decal(3)->name, "@edit/missing.png");
    use(TOOL_DECALS);
    point_at(220, 200);
    EXPECT_EQ(editor_key('d', 1), 1);
    ASSERT_EQ(count(), 5);
    EXPECT_EQ(state()->selected_decal, 2);   // after the run of its kind
    EXPECT_EQ(decal(2)->x, 203.0f);          // one spacing (0.75 x 4 ft) toward the cursor
    EXPECT_STREQ(decal(2)->name, "@edit/d1.png");
    struct LevelCase {
        int level;
        int n;
        int index;
    } levels[] = {{LEVEL_TOP, 1, 5},   {LEVEL_UNDER, 1, 0}, {LEVEL_OVER, 1, 3},
                  {LEVEL_BOTTOM, 1, 0}, {LEVEL_UNDER, 3, 3}, {LEVEL_OVER, 3, 4}};
    for (const LevelCase &c : levels) {
        level_list.selected = c.level;
        EXPECT_EQ(decal_insert_index(c.n), c.index) << c.level << " " << c.n;
    }
    level_list.selected = LEVEL_OVER;
    expect_grid_whole();
    // Deleting the selected decal moves the selection to the last of its kind.
    point_at(203, 200);
    EXPECT_EQ(editor_key('x', 1), 1);
    ASSERT_EQ(count(), 4);
    EXPECT_EQ(state()->selected_decal, 1);
    expect_grid_whole();
    // With "Hide different" the other kind cannot be picked: the press stamps.
    hide_different_list.selected = 1;
    drag(300, 300, 300, 300);
    EXPECT_EQ(state()->selected_decal, 2);
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(decal(2)->image, decal(1)->image);
    expect_grid_whole();
}

// With "Hide different" a sweep deletes only decals of the selected
// decal's kind, also after it has deleted the selected decal itself; the
// selection then goes to the last decal of that kind left.
TEST_F(EditorDecals, ASweepWithHideDifferentKeepsToTheSelectedKind)
{
    write_file(track_dir(fixture.folder) + "decals",
               "[200 200] 0 4 1 @edit/d1.png\n[202 200] 0 4 1 @edit/d2.png\n[204 200] 0 4 1 @edit/d1.png\n"
               "[260 200] 0 4 1 @edit/d1.png\n[203 201] 0 4 1 @edit/d2.png\n");
    load();
    ASSERT_EQ(count(), 5);
    const Decal d1 = *decal(0), d2 = *decal(1);
    use(TOOL_DECALS);
    state()->selected_decal = 0;
    hide_different_list.selected = 1;
    point_at(202, 200);
    radius_slider.value = 6.0 / editor_units_per_pixel();   // 6 ft: all but the decal at 260
    EXPECT_EQ(editor_key('X', 1), 1);
    ASSERT_EQ(count(), 3);
    EXPECT_EQ(decal(0)->image, d2.image);
    EXPECT_EQ(decal(0)->x, 202.0f);
    EXPECT_EQ(decal(1)->x, 260.0f);
    EXPECT_EQ(decal(2)->image, d2.image);
    EXPECT_EQ(decal(2)->x, 203.0f);
    EXPECT_EQ(state()->selected_decal, 1);   // the last d1 left
    EXPECT_EQ(decal(1)->image, d1.image);
    expect_grid_whole();

    // Without it the sweep takes every kind.
    hide_different_list.selected = 0;
    EXPECT_EQ(editor_key('X', 1), 1);
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(decal(0)->x, 260.0f);
    EXPECT_EQ(state()->selected_decal, 0);
    expect_grid_whole();
}

TEST_F(EditorDecals, GroupsFollowMovesAndScaleBack)
{
    load();
    use(TOOL_DECALS);
    state()->selected_decal = 0;
    point_at(260, 200);
    editor_key('m', 1);
    ASSERT_EQ(state()->decal_selection.count, 1);
    editor_key('{', 1);
    EXPECT_NEAR(decal(1)->x, 256.25f, 1e-3f);
    editor_key('}', 1);
    EXPECT_NEAR(decal(1)->x, 260.0f, 1e-3f);
    // Dragging the selected decal carries the group.
    drag(200, 200, 210, 205);
    EXPECT_EQ(decal(0)->x, 210.0f);
    EXPECT_NEAR(decal(1)->x, 270.0f, 1e-3f);
    EXPECT_NEAR(decal(1)->z, 205.0f, 1e-3f);
    expect_grid_whole();
    // 'm' again takes it out of the group.
    point_at(decal(1)->x, decal(1)->z);
    editor_key('m', 1);
    EXPECT_EQ(state()->decal_selection.count, 0);
    // Saved back with the names they were read with.
    ASSERT_EQ(save_all_track_files(), 1);
    std::string saved = home_file("decals");
    EXPECT_NE(saved.find("@edit/missing.png"), std::string::npos);
    EXPECT_NE(saved.find("[210.000000 205.000000]"), std::string::npos);
}

} // namespace
