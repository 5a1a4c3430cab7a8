// The editor view: the terrain from straight above centred on the view
// centre, the statues, the current tool's markers and the tool panel with
// the status texts.
#include "editor/editor.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdio>

#include "app/widget_draw.h"
#include "app/widgets.h"
#include "bike/shape.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/ground_textures.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "render/model_draw.h"
#include "render/terrain_mesh.h"
#include "render/texture.h"
#include "render/track_objects.h"
#include "track/decals.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "render/decal_grid.h"

static const float PI = 3.14159265f;

void draw_ring(float x, float z, float radius, float width)
{
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= 64; i++) {
        float a = (float)i * 2.0f * PI / 64.0f;
        glVertex3f(x + sinf(a) * (radius - width / 2), 0.0f, z + cosf(a) * (radius - width / 2));
        glVertex3f(x + sinf(a) * (radius + width / 2), 0.0f, z + cosf(a) * (radius + width / 2));
    }
    glEnd();
}

static void draw_circle(float x, float z, float radius)
{
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < 64; i++) {
        float a = (float)i * 2.0f * PI / 64.0f;
        glVertex3f(x + sinf(a) * radius, 0.0f, z + cosf(a) * radius);
    }
    glEnd();
}

static void draw_bar(float x0, float z0, float x1, float z1, float width)
{
    float dx = x1 - x0, dz = z1 - z0, length = hypotf(dx, dz);
    if (!(length > 0.0f))
        return;
    float nx = -dz / length * width / 2, nz = dx / length * width / 2;
    glBegin(GL_QUADS);
    glVertex3f(x0 + nx, 0, z0 + nz);
    glVertex3f(x1 + nx, 0, z1 + nz);
    glVertex3f(x1 - nx, 0, z1 - nz);
    glVertex3f(x0 - nx, 0, z0 - nz);
    glEnd();
}

void draw_object_marker(float radius, float length, float width)
{
    draw_ring(0, 0, radius, width);
    draw_ring(0, -length, radius, width);
    draw_bar(0, -radius, 0, radius - length, width);
    float tip = radius - length;
    draw_bar(0, tip, length / 4, radius - 0.75f * length, width / sqrtf(2.0f));
    draw_bar(0, tip, -length / 4, radius - 0.75f * length, width / sqrtf(2.0f));
}

static void pick_rings(float x, float z, float p, const float *outer, const float *inner)
{
    glColor4f(outer[0], outer[1], outer[2], outer[3]);
    draw_ring(x, z, p / 2, 3 * p / 8);
    glColor4f(inner[0], inner[1], inner[2], inner[3]);
    draw_ring(x, z, p / 2, p / 4);
}

static void draw_gradient_on_map(int index)
{
    const EditorState *s = editor_state;
    const Gradient *g = get_gradient(index);
    if (!g)
        return;
    float p = pick_radius();
    float alpha = index == s->selected_gradient && s->tool == TOOL_GRADIENT_PLACEMENT ? 1.0f : 0.25f;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, alpha);
    glBegin(GL_LINES);
    glVertex3f(g->start_x, 0, g->start_z);
    glVertex3f(g->end_x, 0, g->end_z);
    glVertex3f(g->start_x - 2 * p, 0, g->start_z);
    glVertex3f(g->start_x + 2 * p, 0, g->start_z);
    glVertex3f(g->start_x, 0, g->start_z - 2 * p);
    glVertex3f(g->start_x, 0, g->start_z + 2 * p);
    glEnd();
    const float black[4] = {0, 0, 0, alpha}, white[4] = {1, 1, 1, alpha};
    pick_rings(g->start_x, g->start_z, p, black, white);
    pick_rings(g->end_x, g->end_z, p, black, white);
    if (index == s->selected_gradient) {
        glColor4f(1, 1, 1, 0.25f);
        const GradientPoint *point = gradient_point(g, s->selected_point);
        float radius = s->tool == TOOL_GRADIENT_EDIT && point ? point->distance
                                                              : hypotf(g->end_x - g->start_x, g->end_z - g->start_z);
        draw_circle(g->start_x, g->start_z, radius);
    }
    glDisable(GL_BLEND);
}

static void draw_profile_graph(void)
{
    const EditorState *s = editor_state;
    const Gradient *g = selected_gradient();
    int n = gradient_point_count(g);
    if (n < 1)
        return;
    float p = pick_radius();
    float first = gradient_point(g, 0)->distance, last = gradient_point(g, n - 1)->distance;
    glPushMatrix();
    glTranslatef(g->start_x, 0, g->start_z);
    glEnable(GL_BLEND);
    glColor4f(1, 1, 1, 0.25f);
    glBegin(GL_QUADS);
    glVertex3f(first, 0, -100);
    glVertex3f(last, 0, -100);
    glVertex3f(last, 0, 0);
    glVertex3f(first, 0, 0);
    glEnd();
    glBegin(GL_LINES);
    glColor4f(0, 0, 0, 0.25f);
    for (int k = 0; k <= 10; k++) {
        glVertex3f(first, 0, -10.0f * k);
        glVertex3f(last, 0, -10.0f * k);
    }
    for (int k = 0; first + 10.0f * k <= last && k < GRADIENT_POINT_LIMIT; k++) {
        glVertex3f(first + 10.0f * k, 0, 0);
        glVertex3f(first + 10.0f * k, 0, -100);
    }
    glColor4f(0, 0, 0, 0.0625f);
    for (int k = 0; k <= 40; k++) {
        glVertex3f(first, 0, -2.5f * k);
        glVertex3f(last, 0, -2.5f * k);
    }
    for (int k = 0; first + 2.5f * k <= last && k < GRADIENT_POINT_LIMIT; k++) {
        glVertex3f(first + 2.5f * k, 0, 0);
        glVertex3f(first + 2.5f * k, 0, -100);
    }
    glEnd();
    glDisable(GL_BLEND);
    glColor4f(0, 0, 0, 1);
    glBegin(GL_LINE_LOOP);
    glVertex3f(first, 0, 0);
    for (int k = 0; k < n; k++) {
        const GradientPoint *a = gradient_point(g, k);
        glVertex3f(a->distance, 0, -a->height);
        if (*gradient_flag(g, k) == 1 && k < n - 1) {
            float span = gradient_point(g, k + 1)->distance - a->distance;
            int steps = span > 0.0f ? (int)fminf(span / 0.25f, (float)GRADIENT_POINT_LIMIT) : 0;
            for (int i = 1; i < steps; i++) {
                float t = (float)i / (float)steps;
                glVertex3f(a->distance + span * t, 0, -gradient_hermite(k, t));
            }
        }
    }
    glVertex3f(last, 0, 0);
    glEnd();
    const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, blue[4] = {0.5f, 0.5f, 1, 1};
    for (int k = 0; k < n; k++) {
        const GradientPoint *a = gradient_point(g, k);
        int selected = k == s->selected_point;
        pick_rings(a->distance, -a->height, p, selected ? black : blue, selected ? white : black);
    }
    glPopMatrix();
}

static void draw_brush_outline(float cx, float cz)
{
    const EditorState *s = editor_state;
    float u = editor_units_per_pixel();
    float outer = (float)radius_slider.value * u, inner = (float)(radius_slider.value * focus_slider.value) * u;
    glColor4f(1, 1, 1, 1);
    glDisable(GL_TEXTURE_2D);
    for (int pass = 0; pass < 2; pass++) {
        float r = pass == 0 ? inner : outer;
        if (pass == 0 && !(focus_slider.value > 0.0))
            continue;
        if (s->anchor_x < 0.0f) {
            draw_circle(cx, cz, r);
            continue;
        }
        // A capsule: half circles around both ends, away from each other.
        float theta = atan2f(cx - s->anchor_x, cz - s->anchor_z);
        glBegin(GL_LINE_LOOP);
        for (int i = 0; i <= 32; i++) {
            float a = theta - PI / 2 + (float)i * PI / 32;
            glVertex3f(cx + sinf(a) * r, 0, cz + cosf(a) * r);
        }
        for (int i = 0; i <= 32; i++) {
            float a = theta + PI / 2 + (float)i * PI / 32;
            glVertex3f(s->anchor_x + sinf(a) * r, 0, s->anchor_z + cosf(a) * r);
        }
        glEnd();
    }
}

static void draw_gates(void)
{
    const EditorState *s = editor_state;
    float p = pick_radius();
    for (int i = 0; i < timing_gate_count; i++) {
        const TimingGate *g = &timing_gates[i];
        int selected = i == s->selected_gate;
        glColor4f(selected, selected, selected, 1);
        float theta = atan2f(g->direction[0], g->direction[2]);
        glBegin(GL_LINE_LOOP);
        for (int k = 0; k <= 32; k++) {
            float a = theta - PI / 2 + (float)k * PI / 32;
            glVertex3f(g->x + sinf(a) * g->radius, 0, g->z + cosf(a) * g->radius);
        }
        glVertex3f(g->x, 0, g->z);
        glEnd();
        float length = hypotf(g->direction[0], g->direction[2]);
        float f = length > 0.0f ? g->radius / length : 0.0f;
        const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, blue[4] = {0.5f, 0.5f, 1, 1};
        pick_rings(g->x, g->z, p, selected ? black : blue, selected ? white : black);
        pick_rings(g->x + g->direction[0] * f, g->z + g->direction[2] * f, p, selected ? black : blue,
                   selected ? white : black);
    }
    for (int i = 0; i < timing_gate_count; i++) {
        const TimingGate *g = &timing_gates[i];
        char number[16];
        snprintf(number, sizeof number, "%d", i);
        glPushMatrix();
        glTranslatef(g->x, g->y, g->z);
        glRotatef(-90, 1, 0, 0);
        glScalef(25, 25, 25);
        draw_text_plain(number);
        glPopMatrix();
    }
}

static void draw_billboard_marker(const Billboard *b, const float *a, const float *c)
{
    float p = pick_radius();
    glColor4f(a[0], a[1], a[2], a[3]);
    draw_circle(b->x, b->z, b->width * b->height / 2);
    pick_rings(b->x, b->z, p, c, a);
}

static void draw_markers(float x, float z, float angle, const float *outer, const float *inner)
{
    float p = pick_radius();
    glPushMatrix();
    glTranslatef(x, 0, z);
    glRotatef(angle * 180.0f / PI, 0, 1, 0);
    glScalef(p, p, p);
    glColor4f(outer[0], outer[1], outer[2], outer[3]);
    draw_object_marker(0.5f, 4, 0.375f);
    glColor4f(inner[0], inner[1], inner[2], inner[3]);
    draw_object_marker(0.5f, 4, 0.25f);
    glPopMatrix();
}

static void draw_decal_markers(float cx, float cz)
{
    EditorState *s = editor_state;
    Terrain *t = s->terrain;
    if (!t->decals.data)
        return;
    const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, grey[4] = {0.5f, 0.5f, 0.5f, 1};
    const Decal *selected = s->selected_decal >= 0 && s->selected_decal < t->decals.count
                                ? (const Decal *)t->decals.data + s->selected_decal
                                : nullptr;
    GrowableArray *found = find_decals_in_rect(t, cx - 100, cz - 100, cx + 100, cz + 100);
    for (int n = 0; found && n < found->count; n++) {
        int index = ((const int *)found->data)[n];
        if (index < 0 || index >= t->decals.count)
            continue;
        const Decal *d = (const Decal *)t->decals.data + index;
        if (hypotf(d->x - cx, d->z - cz) > 100)
            continue;
        if (hide_different_list.selected == 1 && selected &&
            (d->image != selected->image || d->texture != selected->texture))
            continue;
        int member = 0;
        for (int k = 0; k < s->decal_selection.count; k++)
            member |= ((const int *)s->decal_selection.data)[k] == index;
        if (index == s->selected_decal)
            draw_markers(d->x, d->z, d->angle, black, white);
        else if (member)
            draw_markers(d->x, d->z, d->angle, black, grey);
        else
            draw_markers(d->x, d->z, d->angle, grey, black);
    }
}

// Every sphere of the statues' collision shapes as a black circle at its
// centre's height.
static void draw_collision_circles(void)
{
    glColor4f(0, 0, 0, 1);
    for (int i = 0; i < statue_table.count; i++) {
        const Statue *statue = get_statue(i);
        if (!statue->shape)
            continue;
        const float *b = statue->orientation;
        for (int k = 0; k < statue->shape->sphere_count; k++) {
            float c[3], radius;
            if (!get_shape_sphere(statue->shape, k, c, &radius))
                continue;
            float x = b[0] * c[0] + b[1] * c[1] + b[2] * c[2] + statue->x;
            float y = b[3] * c[0] + b[4] * c[1] + b[5] * c[2] + statue->y;
            float z = b[6] * c[0] + b[7] * c[1] + b[8] * c[2] + statue->z;
            glPushMatrix();
            glTranslatef(0, y, 0);
            draw_circle(x, z, radius);
            glPopMatrix();
        }
    }
}

static void draw_tool_overlay(float cx, float cz)
{
    const EditorState *s = editor_state;
    const Terrain *t = s->terrain;
    const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1}, grey[4] = {0.5f, 0.5f, 0.5f, 1};
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    switch (s->tool) {
    case TOOL_SNAP: {
        float b = t->cell, strength = exp2f((float)strength_slider.value);
        for (int n = 0; b < strength && n <= t->grid_exponent; n++)
            b *= 2;
        float x0 = floorf(cx / b) * b, z0 = floorf(cz / b) * b;
        glColor4f(1, 1, 1, 1);
        glBegin(GL_LINE_LOOP);
        glVertex3f(x0, 0, z0);
        glVertex3f(x0 + b, 0, z0);
        glVertex3f(x0 + b, 0, z0 + b);
        glVertex3f(x0, 0, z0 + b);
        glEnd();
        break;
    }
    case TOOL_GRADIENT_PLACEMENT:
    case TOOL_GRADIENT_EDIT:
        for (int i = 0; i < s->gradients.count; i++)
            draw_gradient_on_map(i);
        if (s->tool == TOOL_GRADIENT_EDIT)
            draw_profile_graph();
        break;
    case TOOL_TIMING_GATE:
        draw_gates();
        break;
    case TOOL_BILLBOARDS:
        for (int i = billboard_file_start; i < billboard_table.count; i++)
            draw_billboard_marker(get_billboard(i), black, grey);
        if (s->selected_billboard >= billboard_file_start && s->selected_billboard < billboard_table.count)
            draw_billboard_marker(get_billboard(s->selected_billboard), white, black);
        break;
    case TOOL_STATUES:
        for (int i = statue_file_start; i < statue_table.count; i++)
            draw_markers(get_statue(i)->x, get_statue(i)->z, get_statue(i)->yaw, grey, black);
        if (s->selected_statue >= statue_file_start && s->selected_statue < statue_table.count)
            draw_markers(get_statue(s->selected_statue)->x, get_statue(s->selected_statue)->z,
                         get_statue(s->selected_statue)->yaw, black, white);
        break;
    case TOOL_DECALS:
        draw_decal_markers(cx, cz);
        break;
    default:
        if (s->tool >= TOOL_LINEAR_PAINT && s->tool <= TOOL_RADIAL_ADD)
            for (int i = 0; i < s->gradients.count; i++)
                draw_gradient_on_map(i);
        draw_brush_outline(cx, cz);
        break;
    }
}

// A unit quad (0, 0)-(1, 1) showing the whole texture, opaque.
void draw_texture_swatch(int texture)
{
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glTexCoord2f(1, 1);
    glVertex2f(1, 0);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(0, 1);
    glEnd();
    glPopAttrib();
}

// ---- the panel ------------------------------------------------------------------------

struct PanelPen {
    LayoutPen pen;
    PixelScale scale;
};

static void next_row(PanelPen *p, float rows = 1.5f)
{
    move_pen(&p->pen, &p->scale, 0, -rows);
}

static void panel_text(PanelPen *p, const char *text)
{
    glPushMatrix();
    draw_framed_text(text, label_colours.text, label_colours.frame, 20, 0);
    glPopMatrix();
    next_row(p);
}

static int highlighted(int item)
{
    return editor_state->hovered_item == item;
}

static void panel_button(PanelPen *p, MenuItem *item, int number, int current)
{
    draw_button(item, highlighted(number) || current, &p->pen, &p->scale, 20, 0);
    next_row(p);
}

static void panel_slider(PanelPen *p, Slider *slider, int number)
{
    draw_slider(slider, highlighted(number), &p->pen, &p->scale, 20, 0, 0.5f);
    next_row(p);
}

static void panel_list(PanelPen *p, OptionList *list, int number)
{
    draw_option_list(list, highlighted(number), &p->pen, &p->scale, 20, 0, 0.5f);
    next_row(p);
}

static void draw_tool_panel(float cx, float cz)
{
    EditorState *s = editor_state;
    reset_editor_panel();
    begin_menu_view();
    float tx = view_half_width, ty = view_half_height;
    glTranslatef(-tx, ty, -1);
    float unit = ty * 2 / 64;
    glScalef(unit, unit, unit);
    PanelPen p;
    p.pen = {0, 0};
    p.scale = {(float)window_height / 64, -(float)window_height / 64};
    panel_dummy_item.rect = {0, 0, (int)(20 * p.scale.x), window_height};
    draw_blended_rect(0, 0, 0, 0.5f, 0, 0, 21, -64);
    glEnable(GL_BLEND);
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 0.5f);
    glVertex2f(21, 0);
    glVertex2f(21, -64);
    glColor4f(0, 0, 0, 0);
    glVertex2f(21.25f, -64);
    glVertex2f(21.25f, 0);
    glEnd();
    move_pen(&p.pen, &p.scale, 0.5f, -1.5f);
    for (int i = 0; i < EDITOR_TOOL_COUNT; i++)
        panel_button(&p, &editor_tool_items[i], i, i == s->tool);
    panel_list(&p, &submode_list, 16);
    panel_button(&p, &editor_save_item, 17, 0);
    panel_slider(&p, &zoom_slider, 18);
    panel_slider(&p, &strength_slider, 19);
    panel_slider(&p, &focus_slider, 20);
    panel_slider(&p, &radius_slider, 21);
    char text[128];
    float u = editor_units_per_pixel();
    snprintf(text, sizeof text, "Actual Radius: %.2f (%.2f)", radius_slider.value * u,
             radius_slider.value * focus_slider.value * u);
    panel_text(&p, text);
    snprintf(text, sizeof text, "Actual Strength: %.3f", exp2(strength_slider.value));
    panel_text(&p, text);
    switch (s->tool) {
    case TOOL_BILLBOARDS: {
        panel_slider(&p, &billboard_spacing_slider, 22);
        panel_slider(&p, &billboard_height_slider, 23);
        const Billboard *b = s->selected_billboard >= billboard_file_start ? get_billboard(s->selected_billboard)
                                                                           : nullptr;
        panel_text(&p, b && b->texture_name ? b->texture_name : "[none]");
        break;
    }
    case TOOL_GRADIENT_PLACEMENT: {
        panel_button(&p, &new_gradient_item, 24, 0);
        panel_button(&p, &copy_gradient_item, 25, 0);
        const Gradient *g = selected_gradient();
        snprintf(text, sizeof text, "Length: %.2f", g ? hypotf(g->end_x - g->start_x, g->end_z - g->start_z) : 0.0f);
        panel_text(&p, text);
        break;
    }
    case TOOL_GRADIENT_EDIT: {
        panel_list(&p, &segment_type_list, 26);
        panel_slider(&p, &granularity_slider, 27);
        next_row(&p, 3);
        panel_button(&p, &set_from_terrain_item, 28, 0);
        panel_button(&p, &flatten_item, 29, 0);
        const Gradient *g = selected_gradient();
        const GradientPoint *point = gradient_point(g, s->selected_point);
        if (point) {
            int k = s->selected_point;
            snprintf(text, sizeof text, "Slope: %.3f", gradient_slope_at_point(*gradient_flag(g, k) == 1 ? k : k + 1));
            panel_text(&p, text);
            snprintf(text, sizeof text, "Height: %.2f", point->height);
            panel_text(&p, text);
        }
        break;
    }
    case TOOL_TIMING_GATE: {
        int set = 0, cleared = 0, g = s->selected_gate;
        for (int i = 0; i < lap_gate_list.first_lap_count + lap_gate_list.normal_lap_count; i++) {
            set |= lap_gate_list.entries[i] == g;
            cleared |= lap_gate_list.entries[i] == g + NOT_TIMING_MARK;
        }
        panel_text(&p, set && cleared ? "Switch Point: Mixed"
                       : set           ? "Switch Point: Yes"
                       : cleared       ? "Switch Point: No"
                                       : "Gate not referenced");
        panel_button(&p, &set_switch_item, 30, 0);
        panel_button(&p, &clear_switch_item, 31, 0);
        break;
    }
    case TOOL_TILEMAP: {
        panel_slider(&p, &tile_slider, 32);
        int kind = (int)fmin(fmax(tile_slider.value, 0.0), 255.0);
        panel_text(&p, kind < s->terrain->tile_count ? s->terrain->tiles[kind].name : "");
        if (kind < s->terrain->tile_count && s->terrain->tiles[kind].texture) {
            glPushMatrix();
            glTranslatef(0.5f, -4.5f, 0);
            glScalef(4, 4, 1);
            draw_texture_swatch(s->terrain->tiles[kind].texture);
            glPopMatrix();
            next_row(&p, 5.0f);
        }
        break;
    }
    case TOOL_STATUES:
        panel_list(&p, &show_collidable_list, 33);
        panel_button(&p, &snap_to_gradient_item, 34, 0);
        break;
    case TOOL_DECALS:
        panel_slider(&p, &decal_spacing_slider, 35);
        panel_list(&p, &orientation_list, 36);
        panel_list(&p, &hide_different_list, 37);
        panel_list(&p, &level_list, 38);
        break;
    }
    snprintf(text, sizeof text, "%.2f %.2f %.2f", cx, editor_height_at(s->terrain, cx, cz), cz);
    panel_text(&p, text);
    panel_text(&p, s->status ? s->status : "");
    end_menu_view();
}

static void draw_editor_view_step(void)
{
    EditorState *s = editor_state;
    if (!s)
        return;
    Terrain *t = s->terrain;
    float cx, cz;
    editor_cursor_point(&cx, &cz);
    float eye[3] = {cx, 0, cz}, direction[3] = {0, 0, 0};
    set_terrain_camera(t, eye, direction);
    for (int i = 0; i < 8; i++)
        update_ground_textures(t);
    glViewport(0, 0, window_width, window_height);
    float tx = view_half_width, ty = view_half_height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-tx, tx, -ty, ty, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    if (shader_programs_available) {
        static const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        set_env_matrix(IDENTITY);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glRotatef(90, 1, 0, 0);
    glTranslatef(0, -1, 0);
    float scale = exp2f((float)zoom_slider.value) * 2 / t->extent * ty;
    glScalef(scale, scale, scale);
    glTranslatef(-s->centre_x, 0, -s->centre_z);
    int limit = ground_detail_limit;
    if (s->tool != TOOL_DECALS)
        ground_detail_limit = 6;
    draw_terrain(t);
    ground_detail_limit = limit;

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    const TrackLighting *l = &track_lighting;
    float global[4] = {l->global_ambient[0], l->global_ambient[1], l->global_ambient[2], 1};
    float ambient[4] = {l->ambient[0], l->ambient[1], l->ambient[2], 1};
    float sun[4] = {l->sun_direction[0], l->sun_direction[1], l->sun_direction[2], 0};
    float colour[4] = {l->sun_colour[0], l->sun_colour[1], l->sun_colour[2], 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, colour);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GEQUAL, 0.75f);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glColor4f(0, 0, 0, 1);
    for (int i = 0; i < statue_table.count; i++) {
        Statue *statue = get_statue(i);
        if (!statue->model)
            continue;
        const float *b = statue->orientation;
        float m[16] = {b[0], b[3], b[6], 0, b[1], b[4], b[7], 0, b[2], b[5], b[8], 0, statue->x, statue->y, statue->z, 1};
        glPushMatrix();
        glMultMatrixf(m);
        draw_mesh_wireframe(statue->model);
        glPopMatrix();
    }
    glEnable(GL_LIGHTING);
    float statue_eye[3] = {0, 1000, 0};
    draw_statues(statue_eye);
    glDisable(GL_LIGHTING);
    if (s->tool == TOOL_STATUES && show_collidable_list.selected == 1)
        draw_collision_circles();
    glDisable(GL_ALPHA_TEST);
    glDepthFunc(GL_ALWAYS);
    draw_tool_overlay(cx, cz);
    glDisable(GL_DEPTH_TEST);
    draw_tool_panel(cx, cz);
}

void draw_editor_view(void)
{
    begin_draw_step();
    draw_editor_view_step();
    end_draw_step();
}
