// Drawing the widgets: the 4:3 menu panel fitted into the window, the
// layout pen walked down a screen, framed text, and each widget drawn at
// the pen with its window-pixel rectangle stored for the mouse.
#pragma once

#include "app/bindings.h"
#include "app/widgets.h"

// Layout units from the window's left edge and upward from the panel's top.
struct LayoutPen {
    float x, y;
};
// Window pixels per layout unit (y negative: layout y grows upward).
struct PixelScale {
    float x, y;
};

// Starts a flat overlay (begin_flat_overlay) on a panel of a 4:3 virtual
// screen `height` units high fitted into the window, origin at its top-left
// corner moved by (x, y). Paired with end_overlay.
void begin_menu_panel(float height, float x, float y, LayoutPen *pen, PixelScale *scale);
// Moves the GL origin and the pen together.
void move_pen(LayoutPen *pen, const PixelScale *scale, float dx, float dy);
// The rectangle of a widget one unit high and `width` wide at the pen.
WidgetRect widget_rect(const LayoutPen *pen, const PixelScale *scale, float width);

void draw_rgba_rect(const Rgba &colour, float x0, float y0, float x1, float y1);
// The border drawn around (x0, y0)-(x1, y1): four strips, then the whole.
void draw_frame_rects(const Rgba &colour, float x0, float y0, float x1, float y1);
// Text in a frame at least `width` wide, placed by alignment (0 left, 1 right).
void draw_framed_text(const char *text, const Rgba &text_colour, const Rgba &frame_colour, float width,
                      float alignment);

void draw_button(MenuItem *item, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                 float alignment);
void draw_item_label(MenuItem *item, const LayoutPen *pen, const PixelScale *scale, float width, float alignment,
                     const Rgba &text_colour, const Rgba &frame_colour);
void draw_list_row(MenuItem *item, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                   float alignment, int row);
void draw_option_list(OptionList *list, int selected, const LayoutPen *pen, const PixelScale *scale,
                      float width, float alignment, float label_fraction);
void draw_slider(Slider *slider, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                 float alignment, float label_fraction);
void draw_text_field(TextField *field, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                     float alignment, float label_fraction);
void draw_binding_row(KeyBinding *binding, int selected, const LayoutPen *pen, const PixelScale *scale,
                      float width, float alignment, float label_fraction);

// The view the menus draw in: identity model-view, a projection of the
// frame's half extents that keeps the plane at distance 1 whatever the
// track's near and far planes, no culling, depth, lighting or fog. Paired
// with end_menu_view.
void begin_menu_view(void);
void end_menu_view(void);

// The screens' common start: a dimmed window with the build stamp.
void draw_menu_backdrop(void);
// A quad over the whole window.
void draw_window_quad(float red, float green, float blue, float alpha);
// A screen's title, framed, 15 units wide.
void draw_menu_title(const char *title);
