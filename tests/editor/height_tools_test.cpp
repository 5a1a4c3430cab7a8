// The height tools: brushes measured against the baseline, the sub-modes,
// Smudge's trailing point, Snap, commits and the undo ring, and presses
// that end wherever the button went up.
#include "editor_fixture.h"

#include <cmath>

namespace {

class HeightTools : public EditorTrack {
protected:
    std::vector<float> heights()
    {
        return std::vector<float>(terrain()->heights, terrain()->heights + terrain()->side * terrain()->side);
    }
    void use(int tool)
    {
        set_editor_tool(tool);
        state()->tool = tool;
    }
};

TEST_F(HeightTools, HeldBrushChangesAtMostOneStrengthPerCommit)
{
    load();
    struct Case {
        int tool;
        float centre;
    } cases[] = {{TOOL_RAISE, 8.0f}, {TOOL_LOWER, -8.0f}};
    for (const Case &c : cases) {
        use(c.tool);
        // 100 tool steps: the brush acts on steps 0, 32, 64 and 96.
        stroke(200, 200, 100);
        EXPECT_EQ(height(100, 100), c.centre);
        // Inside the focus (2 ft) full strength, beyond the radius (4 ft) nothing.
        EXPECT_EQ(height(101, 100), c.centre);
        EXPECT_EQ(height(103, 100), 0.0f);
        EXPECT_NE(height(101, 101), 0.0f);
        EXPECT_STREQ(state()->status, "OK");   // committed at the release
        undo_height_edit();
    }
}

TEST_F(HeightTools, SubModesKeepTheBaselineSide)
{
    load();
    use(TOOL_RAISE);
    stroke(200, 200);
    stroke(206, 200);
    struct Case {
        int tool;
        int submode;
    } cases[] = {{TOOL_LOWER, SUBMODE_RAISE_ONLY}, {TOOL_SMOOTH, SUBMODE_RAISE_ONLY},
                 {TOOL_SMUDGE, SUBMODE_RAISE_ONLY}, {TOOL_RAISE, SUBMODE_LOWER_ONLY},
                 {TOOL_SMOOTH, SUBMODE_LOWER_ONLY}};
    strength_slider.value = 2.0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool * 10 + c.submode);
        std::vector<float> before = heights();
        use(c.tool);
        submode_list.selected = c.submode;
        point_at(202, 200);
        mouse_held = 1;
        editor_key(menu_keys.cursor_left, 1);
        point_at(206, 204);
        for (int i = 0; i < 65; i++)
            apply_editor_tool();
        mouse_held = 0;
        editor_key(menu_keys.cursor_left, 0);
        std::vector<float> after = heights();
        int changed = 0;
        for (size_t i = 0; i < after.size(); i++) {
            if (c.submode == SUBMODE_RAISE_ONLY) {
                ASSERT_GE(after[i], before[i]) << i;
            } else {
                ASSERT_LE(after[i], before[i]) << i;
            }
            changed += after[i] != before[i];
        }
        if (c.tool == TOOL_SMOOTH) {
            EXPECT_GT(changed, 0);
        }
        submode_list.selected = SUBMODE_ASSIGN;
    }
}

TEST_F(HeightTools, SmudgeWaitsForTheCursorToLeaveItsPoint)
{
    load();
    use(TOOL_RAISE);
    stroke(200, 200);
    std::vector<float> before = heights();
    use(TOOL_SMUDGE);
    point_at(202, 200);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    apply_editor_tool();
    EXPECT_EQ(heights(), before);
    // Half a foot on: still within one foot of the smudge point.
    cursor_x += 1;
    state()->frames_since_press = 0;
    apply_editor_tool();
    EXPECT_EQ(heights(), before);
    // Three feet on: the ground is dragged along.
    cursor_x += 6;
    state()->frames_since_press = 0;
    apply_editor_tool();
    EXPECT_NE(heights(), before);
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
}

TEST_F(HeightTools, SnapLeavesAPlaneAsItIs)
{
    fixture.sample = [](int column, int row) { return column * 150 + row * 40; };
    write_track();
    load();
    std::vector<float> before = heights();
    use(TOOL_SNAP);
    for (double strength : {-5.0, 0.0, 3.0, 5.0}) {
        strength_slider.value = strength;
        stroke(201, 203);
        std::vector<float> after = heights();
        for (size_t i = 0; i < after.size(); i++)
            ASSERT_NEAR(after[i], before[i], 1e-4f) << i;
    }
    // On a bump Snap flattens the block under the cursor to its corners' plane.
    fixture.sample = [](int, int) { return 0; };
    write_track();
    load();
    strength_slider.value = 3.0;
    use(TOOL_RAISE);
    stroke(204, 204);
    ASSERT_EQ(height(102, 102), 8.0f);
    use(TOOL_SNAP);
    strength_slider.value = 3.0;   // blocks of 4 cells, corners at 100 and 104
    stroke(205, 205);
    EXPECT_EQ(height(102, 102), 0.0f);
    EXPECT_EQ(height(101, 102), 0.0f);
}

TEST_F(HeightTools, UndoRestoresTheLoadedHeights)
{
    load();
    undo_height_edit();
    EXPECT_STREQ(state()->status, "No more undo levels!");
    std::vector<float> loaded = heights();
    use(TOOL_RAISE);
    stroke(200, 200);
    EXPECT_NE(heights(), loaded);
    // The wheels' face normals are read and cached on the edited ground.
    for (int row = 0; row < terrain()->side - 1; row++)
        for (int t = 0; t < 2 * (terrain()->side - 1); t++)
            get_triangle_normal(terrain(), t, row);
    undo_height_edit();
    EXPECT_STREQ(state()->status, "Undo!");
    EXPECT_EQ(heights(), loaded);
    int stale = 0;
    for (int i = 0; i < terrain_triangle_count(terrain()); i++)
        stale += terrain_bit(terrain()->triangle_dirty, i);
    EXPECT_EQ(stale, terrain_triangle_count(terrain()));
    const float *normal = get_triangle_normal(terrain(), 200, 100);
    EXPECT_NEAR(normal[1], 1.0f, 1e-6f);
    undo_height_edit();
    EXPECT_STREQ(state()->status, "No more undo levels!");
}

TEST_F(HeightTools, NineStrokesKeepEightLevels)
{
    load();
    ASSERT_EQ(state()->undo_capacity, UNDO_LEVELS);
    use(TOOL_RAISE);
    for (int i = 0; i < 9; i++)
        stroke(40.0f + 20.0f * (float)i, 200);
    int undone = 0;
    for (;;) {
        undo_height_edit();
        if (strcmp(state()->status, "Undo!"))
            break;
        undone++;
    }
    EXPECT_EQ(undone, UNDO_LEVELS - 1);
    // The level of the first stroke alone was overwritten: the oldest one
    // left holds the first two bumps.
    EXPECT_EQ(height(20, 100), 8.0f);
    EXPECT_EQ(height(30, 100), 8.0f);
    EXPECT_EQ(height(40, 100), 0.0f);
}

TEST_F(HeightTools, GradientBrushesStayPendingAcrossStrokes)
{
    load();
    ASSERT_EQ(editor_new_gradient(), 1);
    Gradient *g = selected_gradient();
    g->start_x = 150;
    g->start_z = 200;
    g->end_x = 250;
    g->end_z = 200;
    editor_clear_gradient();
    gradient_point(g, 1)->height = 20.0f;
    use(TOOL_LINEAR_PAINT);
    int levels = state()->undo_count;
    strength_slider.value = -1.0;   // half of the change per application
    stroke(200, 200);
    EXPECT_EQ(state()->pending, 1);
    EXPECT_EQ(state()->undo_count, levels);
    EXPECT_NEAR(height(100, 100), 5.0f, 1e-4f);
    // A second stroke goes on toward the same target from the same baseline.
    stroke(200, 200);
    EXPECT_NEAR(height(100, 100), 10.0f, 1e-4f);
    stroke(200, 200);
    EXPECT_NEAR(height(100, 100), 10.0f, 1e-4f);
    EXPECT_STREQ(state()->status, "Update needed!");
    editor_key('u', 1);
    EXPECT_EQ(state()->pending, 0);
    EXPECT_EQ(state()->undo_count, levels + 1);
}

TEST_F(HeightTools, APressEndsWhenTheButtonIsUpAnywhere)
{
    load();
    use(TOOL_RAISE);
    point_at(200, 200);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    apply_editor_tool();
    int levels = state()->undo_count;
    // The release went to a menu: the editor sees only the button up.
    mouse_held = 0;
    apply_editor_tool();
    EXPECT_EQ(state()->press, 0);
    EXPECT_EQ(state()->undo_count, levels + 1);
    std::vector<float> after = heights();
    for (int i = 0; i < 64; i++)
        apply_editor_tool();
    EXPECT_EQ(heights(), after);
}

TEST_F(HeightTools, CursorFarOffTheMapAndAnEmptyWindow)
{
    load();
    use(TOOL_RAISE);
    zoom_slider.value = -3.0;
    struct Case {
        int x, y;
    } cases[] = {{-100000, -100000}, {100000, 100000}, {2000000000, -2000000000}};
    for (const Case &c : cases) {
        cursor_x = c.x;
        cursor_y = c.y;
        mouse_held = 1;
        editor_key(menu_keys.cursor_left, 1);
        apply_editor_tool();
        mouse_held = 0;
        editor_key(menu_keys.cursor_left, 0);
    }
    use(TOOL_SNAP);
    stroke(-1e6f, 1e6f);
    window_height = 0;
    EXPECT_TRUE(std::isfinite(editor_units_per_pixel()));
    float x, z;
    editor_cursor_to_map(10, 10, &x, &z);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(z));
}

TEST(UndoRing, LevelsFitAQuarterOfTheMemory)
{
    struct Case {
        int exponent;
        int second_shading;
        unsigned long long memory;
        int levels;
    } cases[] = {
        {10, 0, 4ull << 30, 8},     // the usual grid: eight levels
        {10, 1, 512ull << 20, 3},   // 42 MB a level in 128 MB
        {13, 0, 8ull << 30, 0},     // 1.9 GB a level: two do not fit in 2 GB
        {13, 1, 96ull << 30, 8},
        {12, 1, 8ull << 30, 3},
        {7, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int side = (2 << c.exponent) + 1;
        EXPECT_EQ(undo_levels_for_memory(side, c.second_shading, c.memory), c.levels) << c.exponent;
    }
}

TEST_F(HeightTools, TooLittleMemoryLeavesTheEditorOff)
{
    set_physical_memory_query([]() -> unsigned long long { return 1 << 20; });
    free_track();
    ASSERT_TRUE(scan_track_catalogue());
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(load_track(), 1);
    set_physical_memory_query(nullptr);
    EXPECT_EQ(editor_state, nullptr);
    EXPECT_NE(message_text().find("the editor stays off"), std::string::npos);
    // Every editor call is then a no-op.
    EXPECT_EQ(editor_key('s', 1), 0);
    apply_editor_tool();
    undo_height_edit();
    draw_editor_view();
    EXPECT_EQ(save_all_track_files(), 0);
    free_editor_data();
}

} // namespace
