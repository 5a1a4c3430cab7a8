// Gradients: the profile curve on any point list, the linear and radial
// mappings, the "edinfo" lines read, dropped and written back, and the
// placement and edit tools.
#include "editor_fixture.h"

#include <cmath>

namespace {

class Gradients : public EditorTrack {
protected:
    // A selected gradient along +x from (100, 100) with the given points.
    Gradient *make(const std::vector<GradientPoint> &points, const std::vector<int> &flags, float length = 50.0f)
    {
        EXPECT_EQ(editor_new_gradient(), 1);
        Gradient *g = selected_gradient();
        g->start_x = g->start_z = 100.0f;
        g->end_x = 100.0f + length;
        g->end_z = 100.0f;
        g->points.count = g->flags.count = 0;
        for (size_t i = 0; i < points.size(); i++)
            append_gradient_point(g, points[i].distance, points[i].height, flags[i]);
        return g;
    }
};

TEST_F(Gradients, CurveHeightsOnEveryPointList)
{
    load();
    struct Case {
        const char *name;
        std::vector<GradientPoint> points;
        std::vector<int> flags;
        float distance;
        float height;
    } cases[] = {
        {"linear middle", {{0, 0}, {50, 10}}, {0, 0}, 25, 5},
        {"before the start", {{0, 0}, {50, 10}}, {0, 0}, -5, 0},
        {"beyond the end", {{0, 0}, {50, 10}}, {0, 0}, 80, 10},
        {"curve of a straight line", {{0, 0}, {50, 10}}, {1, 0}, 25, 5},
        {"curve at a quarter", {{0, 0}, {50, 10}}, {1, 0}, 12.5f, 2.5f},
        {"no points", {}, {}, 10, 0},
        {"one point", {{5, 3}}, {1}, 10, 3},
        {"one point before it", {{5, 3}}, {0}, 0, 3},
        {"equal distances skipped", {{0, 0}, {20, 4}, {20, 8}, {40, 8}}, {0, 0, 0, 0}, 30, 8},
        {"equal distances, before the step", {{0, 0}, {20, 4}, {20, 8}, {40, 8}}, {1, 1, 1, 1}, 10, 2.25f},
        {"falling distances", {{0, 0}, {30, 6}, {10, 2}}, {0, 1, 0}, 15, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        make(c.points, c.flags);
        float h = gradient_height_at(c.distance);
        EXPECT_TRUE(std::isfinite(h));
        EXPECT_NEAR(h, c.height, 1e-4f);
        for (int i = -1; i <= (int)c.points.size(); i++) {
            EXPECT_TRUE(std::isfinite(gradient_slope_at_point(i)));
            EXPECT_TRUE(std::isfinite(gradient_hermite(i, 0.5f)));
        }
    }
}

TEST_F(Gradients, MiddleSlopeIsTheMeanOnlyBetweenTwoCurves)
{
    load();
    // Slopes 0.2 then 0.6 into and out of point 1.
    struct Case {
        std::vector<int> flags;
        float slope;
    } cases[] = {{{1, 1, 0}, 0.4f}, {{1, 0, 0}, 0.6f}, {{0, 1, 0}, 0.2f}, {{0, 0, 0}, 0.2f}};
    for (const Case &c : cases) {
        make({{0, 0}, {50, 10}, {100, 40}}, c.flags, 100);
        EXPECT_NEAR(gradient_slope_at_point(1), c.slope, 1e-5f);
    }
    EXPECT_NEAR(gradient_slope_at_point(0), 0.2f, 1e-6f);
    EXPECT_NEAR(gradient_slope_at_point(5), 0.6f, 1e-6f);
}

TEST_F(Gradients, LinearAndRadialMappings)
{
    load();
    make({{0, 0}, {50, 10}}, {0, 0});
    // Along +x from (100, 100): the linear mapping follows x only.
    EXPECT_NEAR(linear_gradient_height(125, 140), 5, 1e-4f);
    EXPECT_NEAR(linear_gradient_height(90, 100), 0, 1e-4f);
    // Radial: circles ahead of the start, the distance to the line behind it.
    EXPECT_NEAR(radial_gradient_height(100, 125), 5, 1e-4f);
    EXPECT_NEAR(radial_gradient_height(60, 125), 5, 1e-4f);
    EXPECT_NEAR(radial_gradient_height(20, 125), 5, 1e-4f);
    // Start = end: the linear distance is 0, the radial one |v|.
    Gradient *g = make({{0, 0}, {50, 10}}, {0, 0});
    g->end_x = g->start_x;
    EXPECT_NEAR(linear_gradient_height(140, 100), 0, 1e-4f);
    EXPECT_NEAR(radial_gradient_height(125, 100), 5, 1e-4f);
    // Nothing selected: 0.
    state()->selected_gradient = -1;
    EXPECT_EQ(linear_gradient_height(125, 100), 0.0f);
    EXPECT_EQ(radial_gradient_height(125, 100), 0.0f);
}

TEST_F(Gradients, EdinfoLinesTakenOrSkipped)
{
    std::string long_line = "add_point 0 1 1" + std::string(5000, ' ') + "\n";
    edinfo = "add_point 0 5 5\n"                       // before any gradient: ignored
             "add_gradient 10 20 30 40\n"
             "add_point 2 0 1\n"                         // flag 2 comes back as 0
             "add_point 1 10 2\n"
             "  add_point 0 20 3\n"                      // leading blanks
             "add_point 0 nan 3\n"                       // not a number
             "add_point 0 30 inf\n"
             "add_point 0 2000000 1\n"                   // beyond the coordinate limit
             "add_points 0 40 4\n"                       // another word
             "add_point 0 50\n" +                        // too few values
             long_line +                                 // over 1000 bytes: dropped whole
             "add_gradient 1 2 3\n"                      // too few: no gradient
             "add_gradient 0 0 nan 0\n"
             "add_gradient 5 5 5 5\n"                    // start = end
             "add_point 0 7 7";                          // the last line without a newline
    write_track();
    load();
    ASSERT_EQ(state()->gradients.count, 2);
    const Gradient *g = get_gradient(0);
    EXPECT_EQ(g->start_x, 10.0f);
    EXPECT_EQ(g->start_z, 20.0f);
    EXPECT_EQ(g->end_x, 30.0f);
    EXPECT_EQ(g->end_z, 40.0f);
    ASSERT_EQ(g->points.count, 3);
    ASSERT_EQ(g->flags.count, 3);
    const float expected[3][3] = {{0, 0, 1}, {1, 10, 2}, {0, 20, 3}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(*gradient_flag(g, i), expected[i][0]);
        EXPECT_EQ(gradient_point(g, i)->distance, expected[i][1]);
        EXPECT_EQ(gradient_point(g, i)->height, expected[i][2]);
    }
    const Gradient *second = get_gradient(1);
    EXPECT_EQ(second->points.count, 1);
    // Loading is no edit; the status starts at "OK".
    EXPECT_EQ(terrain()->change_state, 0);
    EXPECT_STREQ(state()->status, "OK");
    // The curves of the one-point and zero-length gradient stay finite.
    state()->selected_gradient = 1;
    EXPECT_EQ(linear_gradient_height(40, 40), 7.0f);
    EXPECT_EQ(radial_gradient_height(40, 40), 7.0f);
}

TEST_F(Gradients, EdinfoWrittenAndReadBackEqual)
{
    edinfo = "add_gradient 1.5 2.25 60 2.25\nadd_point 0 0 0\nadd_point 1 12.5 -3.75\nadd_point 7 60 4\n"
             "add_gradient 300 300 300 350\nadd_point 1 0 1\n";
    write_track();
    load();
    ASSERT_EQ(save_all_track_files(), 1);
    std::string first = home_file("edinfo");
    EXPECT_EQ(first, "add_gradient 1.500000 2.250000 60.000000 2.250000\n"
                     "add_point 0 0.000000 0.000000\n"
                     "add_point 1 12.500000 -3.750000\n"
                     "add_point 0 60.000000 4.000000\n"
                     "add_gradient 300.000000 300.000000 300.000000 350.000000\n"
                     "add_point 1 0.000000 1.000000\n");
    load();
    ASSERT_EQ(state()->gradients.count, 2);
    ASSERT_EQ(save_all_track_files(), 1);
    EXPECT_EQ(home_file("edinfo"), first);
}

TEST_F(Gradients, PlacementMovesAndTurns)
{
    load();
    Gradient *g = make({{0, 0}, {50, 0}}, {0, 0});
    set_editor_tool(TOOL_GRADIENT_PLACEMENT);
    // A flat gradient's end follows the cursor and the release refits its length.
    point_at(150, 100);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    EXPECT_EQ(state()->drag_mode, 2);
    point_at(100, 180);
    apply_editor_tool();
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
    EXPECT_EQ(g->end_x, 100.0f);
    EXPECT_EQ(g->end_z, 180.0f);
    ASSERT_EQ(g->points.count, 2);
    EXPECT_EQ(gradient_point(g, 1)->distance, 80.0f);
    // A shaped one keeps its length (the last point's distance): only its direction turns.
    gradient_point(g, 1)->height = 5.0f;
    point_at(100, 180);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    point_at(160, 100);
    apply_editor_tool();
    EXPECT_NEAR(g->end_x, 180.0f, 1e-4f);
    EXPECT_NEAR(g->end_z, 100.0f, 1e-4f);
    // Onto the start itself: no direction, the end stays.
    point_at(100, 100);
    apply_editor_tool();
    EXPECT_NEAR(g->end_x, 180.0f, 1e-4f);
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
    EXPECT_EQ(terrain()->change_state, 7);
}

TEST_F(Gradients, EditInsertsMovesAndDeletesPoints)
{
    load();
    granularity_slider.value = 0.0;
    Gradient *g = make({{0, 0}, {50, 0}}, {1, 0});
    set_editor_tool(TOOL_GRADIENT_EDIT);
    // A press between two points inserts one at the cursor with the left point's flag.
    point_at(120, 90);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    ASSERT_EQ(g->points.count, 3);
    EXPECT_EQ(state()->selected_point, 1);
    EXPECT_EQ(gradient_point(g, 1)->distance, 20.0f);
    EXPECT_EQ(gradient_point(g, 1)->height, 10.0f);
    EXPECT_EQ(*gradient_flag(g, 1), 1);
    // Dragged past the last point's distance: deleted.
    point_at(160, 90);
    apply_editor_tool();
    EXPECT_EQ(g->points.count, 2);
    EXPECT_EQ(state()->selected_point, -1);
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
    // The last point only changes height, rounded to the granularity.
    granularity_slider.value = 0.25;
    point_at(150, 100);
    mouse_held = 1;
    editor_key(menu_keys.cursor_left, 1);
    EXPECT_EQ(state()->selected_point, 1);
    cursor_x += 7;
    cursor_y -= 7;   // 3.5 ft right and up
    apply_editor_tool();
    EXPECT_EQ(gradient_point(g, 1)->distance, 50.0f);
    EXPECT_EQ(gradient_point(g, 1)->height, 3.5f);
    mouse_held = 0;
    editor_key(menu_keys.cursor_left, 0);
}

TEST_F(Gradients, CopyFlattenAndSetFromTerrain)
{
    load();
    state()->selected_gradient = -1;
    copy_gradient();
    EXPECT_STREQ(state()->status, "No gradient selected");
    EXPECT_EQ(state()->gradients.count, 0);
    Gradient *g = make({{0, 1}, {25, 2}, {50, 0}}, {1, 0, 0});
    copy_gradient();
    ASSERT_EQ(state()->gradients.count, 2);
    const Gradient *copy = selected_gradient();
    EXPECT_EQ(copy->start_x, 100.0f);
    EXPECT_EQ(copy->start_z, 90.0f);   // 10 ft to the side: 10 x (ux, -ux) = (0, -10)
    EXPECT_EQ(copy->points.count, 3);
    // A zero-length gradient has no side: nothing is copied.
    state()->selected_gradient = 0;
    g = get_gradient(0);
    g->end_x = g->start_x;
    copy_gradient();
    EXPECT_EQ(state()->gradients.count, 2);
    // Flatten: two points of height 0 as long as the gradient.
    g->end_x = g->start_x + 40;
    editor_clear_gradient();
    ASSERT_EQ(g->points.count, 2);
    EXPECT_EQ(gradient_point(g, 1)->distance, 40.0f);
    // Set From Terrain over a flat ground: one straight run of two points.
    set_gradient_from_terrain();
    ASSERT_EQ(g->points.count, 2);
    EXPECT_EQ(*gradient_flag(g, 0), 0);
    EXPECT_EQ(gradient_point(g, 1)->distance, 40.0f);
    // A gradient far longer than the point limit in cells stops at the limit.
    g->end_x = g->start_x + 1.0e6f;
    set_gradient_from_terrain();
    EXPECT_LE(g->points.count, GRADIENT_POINT_LIMIT);
}

} // namespace
