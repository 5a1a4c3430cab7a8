// The editor view read back: the brush outline as a circle and as a
// capsule, and the panel's hidden items never hovered.
#include "editor_fixture.h"

#include "render/scene.h"
#include "support/render_fixtures.h"

#include <GL/gl.h>

namespace {

class EditorView : public EditorTrack {
protected:
    GameWindow *window = nullptr;
    void SetUp() override
    {
        EditorTrack::SetUp();
        window = open_test_gl_window(512, 512);
        ASSERT_NE(window, nullptr);
        window_width = window_height = 512;
        set_projection(512.0f, 512.0f, 90.0f);
    }
    void TearDown() override
    {
        EditorTrack::TearDown();
        close_test_gl_window(window);
    }
    // 1 when a white pixel lies within one pixel of (x, y) from the top left.
    bool white_near(int x, int y)
    {
        unsigned char pixels[3 * 3 * 4];
        glReadPixels(x - 1, window_height - 1 - y - 1, 3, 3, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        for (int i = 0; i < 9; i++)
            if (pixels[4 * i] > 250 && pixels[4 * i + 1] > 250 && pixels[4 * i + 2] > 250)
                return true;
        return false;
    }
};

TEST_F(EditorView, BrushOutlineCircleAndCapsule)
{
    load();
    set_editor_tool(TOOL_RAISE);
    radius_slider.value = 40.0;   // 20 ft: 40 pixels
    focus_slider.value = 0.0;     // no inner circle
    point_at(300, 260);           // pixel (344, 264)
    draw_editor_view();
    EXPECT_TRUE(white_near(344 + 40, 264));
    EXPECT_TRUE(white_near(344, 264 - 40));
    EXPECT_FALSE(white_near(344 + 20, 264));   // no focus circle inside
    EXPECT_FALSE(white_near(344, 264));
    // With Focus the inner circle is drawn too.
    focus_slider.value = 0.5;
    draw_editor_view();
    EXPECT_TRUE(white_near(344 + 20, 264));
    // With an anchor 60 ft to the left: a capsule round both ends.
    focus_slider.value = 0.0;
    state()->anchor_x = 240;
    state()->anchor_z = 260;
    draw_editor_view();
    EXPECT_TRUE(white_near(344 + 40, 264));       // beyond the cursor
    EXPECT_TRUE(white_near(224 - 40, 264));       // beyond the anchor
    EXPECT_TRUE(white_near(284, 264 - 40));       // the straight side between them
    EXPECT_FALSE(white_near(284, 264));
}

TEST_F(EditorView, HiddenItemsAreNeverHovered)
{
    load();
    set_editor_tool(TOOL_RAISE);
    draw_editor_view();
    // The tool buttons are shown; the billboard, gradient and decal items are not.
    EXPECT_GT(editor_tool_items[0].rect.x1, editor_tool_items[0].rect.x0);
    for (WidgetRect *rect : {&billboard_spacing_slider.rect, &new_gradient_item.rect, &tile_slider.rect,
                             &decal_spacing_slider.rect, &level_list.rect})
        EXPECT_EQ(rect->x0, -1);
    for (int y = 0; y < window_height; y += 4)
        for (int x = 0; x < window_width; x += 4) {
            cursor_x = x;
            cursor_y = y;
            update_editor_hover();
            int item = state()->hovered_item;
            ASSERT_TRUE(item < 22 || item == 39) << item << " at " << x << "," << y;
        }
    // A press on the panel's background belongs to the panel.
    cursor_x = 5;
    cursor_y = window_height - 5;
    update_editor_hover();
    EXPECT_EQ(state()->hovered_item, 39);
    mouse_held = 1;
    EXPECT_EQ(editor_key(menu_keys.cursor_left, 1), 0);
    EXPECT_EQ(state()->press, 39 | PANEL_PRESS);
}

} // namespace
