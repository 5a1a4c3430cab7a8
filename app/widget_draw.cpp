// Drawing the widgets on the menu panel and storing their rectangles.
#include "app/widget_draw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/menu.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"

namespace {

const WidgetColours &pair_for(int selected)
{
    return selected ? selected_colours : item_colours;
}

// Text drawn at x in the model-view, then the matrix as it was.
void draw_text_at(float x, const Rgba &colour, const char *text)
{
    glPushMatrix();
    glTranslatef(x, 0.0f, 0.0f);
    draw_text_rgba(colour.r, colour.g, colour.b, colour.a, text);
    glPopMatrix();
}

}  // namespace

void begin_menu_panel(float height, float x, float y, LayoutPen *pen, PixelScale *scale)
{
    float w = view_half_width, h = view_half_height, u = height > 0.0f ? height : 1.0f;
    begin_flat_overlay();
    if (w / h > 4.0f / 3.0f) {
        // Wider than 4:3: the panel fills the height, centred across.
        glTranslatef(-4.0f * h / 3.0f, h, -1.0f);
        float s = 2.0f * h / u;
        glScalef(s, s, s);
        pen->x = x + (w - 4.0f * h / 3.0f) * u / (2.0f * h);
        pen->y = y;
        scale->x = (float)window_height / u;
        scale->y = -(float)window_height / u;
    } else {
        // 4:3 or taller: the panel fills the width, centred up and down.
        glTranslatef(-w, 0.75f * w, -1.0f);
        float s = 1.5f * w / u;
        glScalef(s, s, s);
        pen->x = x;
        pen->y = y - (h - 0.75f * w) * 2.0f * u / (3.0f * w);
        scale->x = 0.75f * (float)window_width / u;
        scale->y = -0.75f * (float)window_width / u;
    }
    glTranslatef(x, y, 0.0f);
}

void move_pen(LayoutPen *pen, const PixelScale *, float dx, float dy)
{
    glTranslatef(dx, dy, 0.0f);
    pen->x += dx;
    pen->y += dy;
}

WidgetRect widget_rect(const LayoutPen *pen, const PixelScale *scale, float width)
{
    return WidgetRect{(int)(pen->x * scale->x), (int)((pen->y + 1.0f) * scale->y),
                      (int)((pen->x + width) * scale->x), (int)(pen->y * scale->y)};
}

void draw_rgba_rect(const Rgba &c, float x0, float y0, float x1, float y1)
{
    draw_blended_rect(c.r, c.g, c.b, c.a, x0, y0, x1, y1);
}

void draw_frame_rects(const Rgba &c, float x0, float y0, float x1, float y1)
{
    const float b = WIDGET_BORDER;
    draw_rgba_rect(c, x0 - b, y1, x1 + b, y1 + b);
    draw_rgba_rect(c, x0 - b, y0 - b, x1 + b, y0);
    draw_rgba_rect(c, x0 - b, y0, x0, y1);
    draw_rgba_rect(c, x1, y0, x1 + b, y1);
    draw_rgba_rect(c, x0 - b, y0 - b, x1 + b, y1 + b);
}

void draw_framed_text(const char *text, const Rgba &text_colour, const Rgba &frame_colour, float width,
                      float alignment)
{
    float t = get_text_width(text);
    float length = std::max(width, t);
    draw_frame_rects(frame_colour, 0.0f, 0.0f, length, 1.0f);
    draw_text_at((length - t) * alignment, text_colour, text);
}

void draw_item_label(MenuItem *item, const LayoutPen *pen, const PixelScale *scale, float width, float alignment,
                     const Rgba &text_colour, const Rgba &frame_colour)
{
    item->rect = widget_rect(pen, scale, width);
    draw_framed_text(item->label ? item->label : "", text_colour, frame_colour, width, alignment);
}

void draw_button(MenuItem *item, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                 float alignment)
{
    const WidgetColours &c = pair_for(selected);
    draw_item_label(item, pen, scale, width, alignment, c.text, c.frame);
}

void draw_list_row(MenuItem *item, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                   float alignment, int row)
{
    const WidgetColours &c = selected ? selected_colours : row % 2 ? odd_row_colours : even_row_colours;
    draw_item_label(item, pen, scale, width, alignment, c.text, c.frame);
}

void draw_option_list(OptionList *list, int selected, const LayoutPen *pen, const PixelScale *scale,
                      float width, float alignment, float label_fraction)
{
    const float b = WIDGET_BORDER;
    list->rect = widget_rect(pen, scale, width);
    draw_framed_text(list->label ? list->label : "", label_colours.text, label_colours.frame,
                     width * label_fraction - b, alignment);
    glPushMatrix();
    glTranslatef(width * label_fraction + b, 0.0f, 0.0f);
    char shown[1024];
    format_shown_choice(list, shown, sizeof shown);
    const WidgetColours &c = pair_for(selected);
    draw_framed_text(shown, c.text, c.frame, width * (1.0f - label_fraction) - b, alignment);
    glPopMatrix();
}

void draw_slider(Slider *slider, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                 float alignment, float label_fraction)
{
    const float b = WIDGET_BORDER;
    slider->rect = widget_rect(pen, scale, width);
    char text[64];
    snprintf(text, sizeof text, "%.2f", std::max(slider->maximum, 1000.0));
    float v = get_text_width(text);
    float l = width * label_fraction;
    draw_framed_text(slider->label ? slider->label : "", label_colours.text, label_colours.frame,
                     l - v - 3.0f * b, alignment);
    glPushMatrix();
    glTranslatef(l - v - b, 0.0f, 0.0f);
    snprintf(text, sizeof text, "%.2f", slider->value);
    draw_framed_text(text, label_colours.text, label_colours.frame, v, 1.0f);
    glPopMatrix();

    float bar = l + b;
    slider->bar_x0 = (int)((pen->x + bar) * scale->x);
    slider->bar_x1 = (int)((pen->x + width) * scale->x);
    const WidgetColours &c = pair_for(selected);
    draw_frame_rects(c.frame, bar, 0.0f, width, 1.0f);
    double range = slider->maximum - slider->minimum;
    double q = range > 0.0 ? (slider->value - slider->minimum) / range : 0.0;
    q = q < 0.0 ? 0.0 : q > 1.0 ? 1.0 : q;
    draw_rgba_rect(c.text, bar, 0.0f, bar + (width - bar) * (float)q, 1.0f);
}

void draw_text_field(TextField *field, int selected, const LayoutPen *pen, const PixelScale *scale, float width,
                     float alignment, float label_fraction)
{
    const float b = WIDGET_BORDER;
    field->rect = widget_rect(pen, scale, width);
    draw_framed_text(field->label ? field->label : "", label_colours.text, label_colours.frame,
                     width * label_fraction - b, alignment);
    glPushMatrix();
    glTranslatef(width * label_fraction + b, 0.0f, 0.0f);
    const WidgetColours &c = pair_for(selected);
    draw_frame_rects(c.frame, 0.0f, 0.0f, width * (1.0f - label_fraction) - b, 1.0f);
    int length = (int)strnlen(field->text, (size_t)field->capacity);
    if (selected && field->cursor >= 0 && field->cursor <= length) {
        char before[1024];
        snprintf(before, sizeof before, "%.*s", field->cursor, field->text);
        char at[2] = {field->cursor < length ? field->text[field->cursor] : ' ', 0};
        float x0 = get_text_width(before), x1 = x0 + get_text_width(at);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
        glBegin(GL_QUADS);
        glVertex2f(x0, 0.0f);
        glVertex2f(x0, 1.0f);
        glVertex2f(x1, 1.0f);
        glVertex2f(x1, 0.0f);
        glEnd();
    }
    draw_text_at(0.0f, c.text, field->text);
    glPopMatrix();
}

void draw_binding_row(KeyBinding *binding, int selected, const LayoutPen *pen, const PixelScale *scale,
                      float width, float alignment, float label_fraction)
{
    const float b = WIDGET_BORDER;
    binding->rect = widget_rect(pen, scale, width);
    draw_framed_text(binding->label, label_colours.text, label_colours.frame, width * label_fraction - b,
                     alignment);
    char text[1100];
    binding_row_text(binding, text, sizeof text);
    glPushMatrix();
    glTranslatef(width * label_fraction + b, 0.0f, 0.0f);
    const WidgetColours &c = pair_for(selected);
    draw_framed_text(text, c.text, c.frame, width * (1.0f - label_fraction) - b, alignment);
    glPopMatrix();
}

void begin_menu_view(void)
{
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.5 * view_half_width, 0.5 * view_half_width, -0.5 * view_half_height, 0.5 * view_half_height, 0.5,
              2.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void end_menu_view(void)
{
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

void draw_window_quad(float red, float green, float blue, float alpha)
{
    // One text line as high as the window: x 0..W/H, y 0..1.
    begin_text_overlay(1.0f);
    float right = view_half_height > 0.0f ? view_half_width / view_half_height : 1.0f;
    draw_blended_rect(red, green, blue, alpha, 0.0f, 0.0f, right, 1.0f);
    end_overlay();
}

void draw_menu_backdrop(void)
{
    draw_window_quad(0.2f, 0.2f, 0.2f, 0.5f);
    const float lines = 32.0f;
    begin_text_overlay(lines);
    float right = view_half_height > 0.0f ? lines * view_half_width / view_half_height : lines;
    glTranslatef(0.0f, 1.0f - lines, 0.0f);
    draw_text_right_shadowed(0.75f, 0.75f, 0.75f, 1.0f, right, BUILD_STAMP);
    end_overlay();
}

void draw_menu_title(const char *title)
{
    draw_framed_text(title, label_colours.text, label_colours.frame, 15.0f, 0.0f);
}
