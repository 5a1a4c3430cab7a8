// Flat overlays on the plane at distance 1 in front of the camera, sized
// by the projection's half extents there.
#include "render/overlay.h"

#include "render/gl_extensions.h"
#include "render/scene.h"

int window_width = 640;
int window_height = 480;

// The state a flat overlay may change: enables, blending, depth, the
// current colour and the matrix mode.
static const GLbitfield OVERLAY_STATE_BITS =
    GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_TRANSFORM_BIT;

void begin_flat_overlay(void)
{
    glPushAttrib(OVERLAY_STATE_BITS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
}

void begin_text_overlay(float lines)
{
    begin_flat_overlay();
    if (!(lines > 0.0f))
        lines = 1.0f;
    float s = 2.0f * view_half_height / lines;
    glTranslatef(-view_half_width, view_half_height - s, -1.0f);
    glScalef(s, s, s);
}

void end_overlay(void)
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// What a whole drawing step may change: the overlay's state and lighting,
// fog, polygon and texture state, and the model-view matrix.
static const GLbitfield DRAW_STEP_STATE_BITS =
    OVERLAY_STATE_BITS | GL_LIGHTING_BIT | GL_FOG_BIT | GL_POLYGON_BIT | GL_TEXTURE_BIT;

void begin_draw_step(void)
{
    glPushAttrib(DRAW_STEP_STATE_BITS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void end_draw_step(void)
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void draw_blended_rect(float red, float green, float blue, float alpha, float x0, float y0, float x1,
                       float y1)
{
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(red, green, blue, alpha);
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x0, y1);
    glVertex2f(x1, y1);
    glVertex2f(x1, y0);
    glEnd();
    glDisable(GL_BLEND);
}
