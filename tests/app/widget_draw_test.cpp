// Drawing the menus, read back from the frame: the 4:3 panel fitted into
// 16:9 and 4:5 windows with equal bars, item rectangles on the panel, a
// slider's fill, the mouse following what was drawn, and every screen
// drawn once.
#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/race_screens.h"
#include "app/widget_draw.h"
#include "net/console.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "support/render_fixtures.h"
#include "platform/window.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct MenuFrame : testing::Test {
    GameWindow *window = nullptr;
    int width = 0, height = 0;

    void open(int w, int h)
    {
        window = open_test_gl_window(w, h);
        ASSERT_NE(window, nullptr);
        width = window_width = w;
        height = window_height = h;
        set_projection((float)w, (float)h, 90.0f);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override
    {
        unbind_menu_keys();
        close_test_gl_window(window);
    }
    // Red of the pixel x from the left, y from the top.
    int red_at(int x, int y)
    {
        unsigned char pixel[4];
        glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        return pixel[0];
    }
    // The whole panel in white.
    void fill_panel()
    {
        LayoutPen pen;
        PixelScale scale;
        begin_menu_view();
        begin_menu_panel(32.0f, 0.0f, 0.0f, &pen, &scale);
        draw_blended_rect(1, 1, 1, 1, 0, -32, 32.0f * 4 / 3, 0);
        end_overlay();
        end_menu_view();
    }
};

}  // namespace

TEST_F(MenuFrame, OnAWideWindowThePanelIsCentredBetweenEqualBars)
{
    open(640, 360);   // 16:9: the 4:3 panel is 480 wide
    fill_panel();
    for (int y : {2, 180, 357}) {
        EXPECT_EQ(red_at(78, y), 0) << y;
        EXPECT_EQ(red_at(82, y), 255) << y;
        EXPECT_EQ(red_at(557, y), 255) << y;
        EXPECT_EQ(red_at(561, y), 0) << y;
    }

    // Items map to the panel, not to the window's left edge.
    MenuItem item = {"", {-1, -1, -1, -1}};
    LayoutPen pen;
    PixelScale scale;
    glClear(GL_COLOR_BUFFER_BIT);
    begin_menu_view();
    begin_menu_panel(32.0f, 0.0f, 0.0f, &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&item, 0, &pen, &scale, 15.0f, 0.0f);
    end_overlay();
    end_menu_view();
    EXPECT_NEAR(item.rect.x0, 80, 1);
    EXPECT_NEAR(item.rect.x1, 80 + 15 * 360 / 32, 1);
    EXPECT_NEAR(item.rect.y0, 360 / 32, 1);
    EXPECT_NEAR(item.rect.y1, 2 * 360 / 32, 1);
    int cx = (item.rect.x0 + item.rect.x1) / 2, cy = (item.rect.y0 + item.rect.y1) / 2;
    EXPECT_GT(red_at(cx, cy), 0);
    EXPECT_EQ(red_at(item.rect.x0 - 4, cy), 0);
    EXPECT_EQ(red_at(item.rect.x1 + 4, cy), 0);
}

TEST_F(MenuFrame, OnATallWindowThePanelIsCentredUpAndDown)
{
    open(400, 500);   // 4:5: the 4:3 panel is 300 high
    fill_panel();
    for (int x : {2, 200, 397}) {
        EXPECT_EQ(red_at(x, 98), 0) << x;
        EXPECT_EQ(red_at(x, 102), 255) << x;
        EXPECT_EQ(red_at(x, 397), 255) << x;
        EXPECT_EQ(red_at(x, 401), 0) << x;
    }
}

TEST_F(MenuFrame, ASliderFillsItsBarToItsValue)
{
    open(640, 480);
    Slider slider = {"", 25, 1, 0, 100, {-1, -1, -1, -1}, 0, 0};
    LayoutPen pen;
    PixelScale scale;
    begin_menu_view();
    begin_menu_panel(32.0f, 0.0f, 0.0f, &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_slider(&slider, 0, &pen, &scale, 40.0f, 0.0f, 0.5f);
    end_overlay();
    end_menu_view();
    // 15 pixels a unit: the bar runs from 20 units and a border to 40.
    EXPECT_NEAR(slider.bar_x0, (int)(20.125f * 15), 1);
    EXPECT_NEAR(slider.bar_x1, 600, 1);
    int y = (slider.rect.y0 + slider.rect.y1) / 2;
    int fill_end = slider.bar_x0 + (slider.bar_x1 - slider.bar_x0) / 4;
    for (int x = slider.bar_x0 + 2; x < fill_end - 2; x += 7)
        EXPECT_GT(red_at(x, y), 150) << x;
    for (int x = fill_end + 2; x < slider.bar_x1 - 2; x += 7)
        EXPECT_LT(red_at(x, y), 80) << x;
}

TEST_F(MenuFrame, TheMouseFollowsWhatWasDrawn)
{
    open(640, 360);
    bind_menu_keys(window);
    set_menu_state(MENU_MAIN);
    draw_menu();
    const WidgetRect *const *rects = menu_hover_rects(MENU_MAIN);
    const WidgetRect *third = rects[2];
    ASSERT_GT(third->x1, third->x0);

    auto point_at = [this](int x, int y) {
        SDL_WarpMouseInWindow(get_window_handle(window), x, y);
        SDL_PumpEvents();
        menu_cursor_step();
    };
    point_at((third->x0 + third->x1) / 2, (third->y0 + third->y1) / 2);
    EXPECT_EQ(menu_selection, 2);
    point_at(620, 350);   // nothing there: the selection stays
    EXPECT_EQ(menu_selection, 2);
    point_at((rects[0]->x0 + rects[0]->x1) / 2, rects[0]->y0 + 1);
    EXPECT_EQ(menu_selection, 0);

    // A click on the third button opens its screen.
    point_at((third->x0 + third->x1) / 2, (third->y0 + third->y1) / 2);
    begin_menu_tics();
    push_event_now(window, 0x2000, 1);
    int code, pressed;
    while (next_event(window, &code, &pressed))
        menu_event(code, pressed);
    EXPECT_EQ(menu_state, MENU_POINTS_SERIES);
}

TEST_F(MenuFrame, EveryScreenDraws)
{
    open(320, 240);
    static const char *const choices[] = {"one", "two", "three"};
    OptionList list = {"List", choices, 3, 1, {-1, -1, -1, -1}};
    for (int state = MENU_MAIN; state < MENU_STATE_LIMIT; state++) {
        set_menu_state(state);
        if (state == MENU_CHOOSER)
            open_chooser(&list, "Choose", set_choice_result);
        draw_menu();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << state;
    }
    // The console's history at either end of its scroll, and beyond.
    set_menu_state(MENU_CONSOLE);
    for (int scroll : {950, 2000, -7}) {
        console_scroll = scroll;
        draw_menu();
    }
    console_scroll = 0;
    // The main menu's buttons were given rectangles inside the window.
    for (const WidgetRect *const *r = menu_hover_rects(MENU_MAIN); *r; r++) {
        EXPECT_GE((*r)->x0, 0);
        EXPECT_LE((*r)->y1, 240);
    }
}
