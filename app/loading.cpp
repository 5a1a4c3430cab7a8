// The loading screen (title picture, status line, build stamp) and the
// busy indicator (32 cells showing a work counter), with the timing of
// loading steps that the race reset reports.
#include "app/loading.h"

#include <cmath>
#include <cstdio>

#include "app/graphics_settings.h"
#include "app/frame_pacing.h"
#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/player_controls.h"
#include "app/shell.h"
#include "app/widgets.h"
#include "platform/event_ring.h"
#include "platform/log.h"
#include "platform/window.h"
#include "race/race_control.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"

char loading_status_text[LOADING_TEXT_LENGTH];
double loading_last_time;
double loading_frame_time;
int spinner_step;
double spinner_last_time;
unsigned busy_count;
double busy_last_time;
double busy_first_time;
int title_texture;

static const double SPINNER_PERIOD = 0.125;
static const double LOADING_FRAME_PERIOD = 0.125;
static const double BUSY_PERIOD = 1.0 / 16.0;

int drain_window_events(void)
{
    int closed = 0, code, pressed;
    while (game_window && next_event(game_window, &code, &pressed))
        if (code == EVENT_CLOSE || (menu_keys.close >= 0 && code == menu_keys.close))
            closed = 1;
    if (closed)
        exit_requested = 1;
    return closed;
}

void draw_splash_quad(int texture, float x0, float y0, float x1, float y1)
{
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    glTexCoord2f(0, 1);
    glVertex2f(x0, y1);
    glTexCoord2f(1, 1);
    glVertex2f(x1, y1);
    glTexCoord2f(1, 0);
    glVertex2f(x1, y0);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

void draw_splash_screen(const char *status)
{
    float w = view_half_width, h = view_half_height;
    begin_draw_step();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glPushMatrix();
    glTranslatef(0, 0, -1);
    draw_blended_rect(0, 0, 0, 1, -w, h, w, -h);
    // The title covers the window at 2:1; without it the screen stays black.
    if (title_texture) {
        if (w > 2 * h)
            draw_splash_quad(title_texture, -w, w / 2, w, -w / 2);
        else
            draw_splash_quad(title_texture, -2 * h, h, 2 * h, -h);
    }
    glPopMatrix();

    if (status && status[0]) {
        begin_text_overlay(25);
        draw_text_rgba(1, 1, 1, 1, status);
        end_overlay();
    }
    glLoadIdentity();
    glTranslatef(w, -h, -1);
    glScalef(h / 16, h / 16, h / 16);
    draw_text_right_shadowed(0.75f, 0.75f, 0.75f, 1, 0, BUILD_STAMP);
    end_draw_step();
}

void show_loading_status(const char *text)
{
    drain_window_events();
    clear_control_values();
    mouse_held = 0;
    // The text is kept also when no frame is drawn. Frames come at most
    // every 1/8 s: closer ones would only wait for the display's refresh
    // in the swap and never be seen; the step's timing goes on without them.
    // A window that gives no frame (minimised) keeps no timing either.
    char next[LOADING_TEXT_LENGTH];
    snprintf(next, sizeof next, "%s", text ? text : "");
    double now = wall_clock_seconds();
    if (loading_frame_time == 0.0 || now - loading_frame_time >= LOADING_FRAME_PERIOD) {
        FrameSize *frame = begin_frame(game_window);
        if (!frame) {
            snprintf(loading_status_text, sizeof loading_status_text, "%s", next);
            return;
        }
        set_projection((float)frame->width, (float)frame->height, (float)fov_slider.value);
        draw_splash_screen(next);
        end_frame(game_window);
        now = wall_clock_seconds();
        loading_frame_time = now;
    }

    if (loading_last_time > 0.0) {
        double elapsed = now - loading_last_time;
        if (elapsed > max_loading_delay) {
            max_loading_delay = elapsed;
            snprintf(max_loading_label, sizeof max_loading_label, "%s", loading_status_text);
        }
    }
    loading_last_time = now;
    snprintf(loading_status_text, sizeof loading_status_text, "%s", next);
}

void show_loading_message(const char *text)
{
    show_loading_status(text);
    if (text && text[0])
        log_printf("%s\n", text);
}

void show_loading_step(const char *text)
{
    show_loading_message(text);
    spinner_step = 0;
}

void show_loading_spinner(const char *text)
{
    static const char DOTS[] = "...";
    double now = wall_clock_seconds();
    if (spinner_last_time != 0.0 && now - spinner_last_time <= SPINNER_PERIOD)
        return;
    char line[LOADING_TEXT_LENGTH];
    snprintf(line, sizeof line, "%.64s%s", text ? text : "", DOTS + 3 - spinner_step);
    spinner_step = (spinner_step + 1) % 4;
    show_loading_status(line);
    spinner_last_time = now;
}

void show_loading_done(const char *text)
{
    char line[LOADING_TEXT_LENGTH];
    snprintf(line, sizeof line, "%.64s...done", text ? text : "");
    show_loading_status(line);
}

void tick_busy_indicator(void)
{
    busy_count++;
    drain_window_events();
    double now = wall_clock_seconds();
    if (now - busy_last_time < BUSY_PERIOD)
        return;
    busy_last_time = now;
    FrameSize *frame = begin_frame(game_window);
    if (!frame)
        return;
    set_projection((float)frame->width, (float)frame->height, (float)fov_slider.value);
    draw_busy_counter(busy_count);
    end_frame(game_window);
}

static void draw_grey_rect(float grey, float alpha, float x, float half)
{
    glColor4f(grey, grey, grey, alpha);
    glBegin(GL_QUADS);
    glVertex2f(x - half, half);
    glVertex2f(x - half, -half);
    glVertex2f(x + half, -half);
    glVertex2f(x + half, half);
    glEnd();
}

void draw_busy_counter(unsigned count)
{
    float w = view_half_width, h = view_half_height;
    begin_draw_step();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glPushMatrix();
    glTranslatef(0, 0, -1);
    draw_blended_rect(0.25f, 0.25f, 0.25f, 1, -w, h, w, -h);

    // A radial shade of radius 2H, lighter in the middle.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(0.5f, 0.5f, 0.5f, 1);
    glVertex2f(0, 0);
    glColor4f(0.25f, 0.25f, 0.25f, 1);
    for (int i = 0; i <= 16; i++) {
        float a = (float)i * (float)M_PI / 8;
        glVertex2f(2 * h * sinf(a), 2 * h * cosf(a));
    }
    glEnd();

    // A band of large cells travels along the row once every 2 s; the cells
    // fade in between 0.25 s and 0.5 s after the first busy frame.
    double now = wall_clock_seconds();
    double half_cycles = now / 2;
    int phase = (int)((half_cycles - floor(half_cycles)) * 64);
    if (busy_first_time == 0.0)
        busy_first_time = now;
    double fade = (now - busy_first_time - 0.25) * 4;
    float f = (float)(fade < 0 ? 0 : fade > 1 ? 1 : fade);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int i = 0; i < 32; i++) {
        float x = h - (float)i * h / 16;
        float v = ((phase + i) & 32) ? 3.0f / 128 : 9.0f / 512;
        float grey = (count >> i) & 1 ? 0.875f : 0.75f;
        glPushMatrix();
        glTranslatef(x, 0, 0);
        draw_grey_rect(0, f * 0.1f, 0, v * h);
        draw_grey_rect(grey, f, 0, 0.75f * v * h);
        glPopMatrix();
    }
    glDisable(GL_BLEND);
    glPopMatrix();
    end_draw_step();
}
