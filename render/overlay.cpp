// Flat overlays on the plane at distance 1 in front of the camera, sized
// by the projection's half extents there.
#include "render/overlay.h"

#include "render/gl_extensions.h"
#include "render/scene.h"

int window_width = 640;
int window_height = 480;

void begin_text_overlay(float lines)
{
    glPushMatrix();
    if (!(lines > 0.0f))
        lines = 1.0f;
    float s = 2.0f * view_half_height / lines;
    glTranslatef(-view_half_width, view_half_height - s, -1.0f);
    glScalef(s, s, s);
}

void end_overlay(void)
{
    glPopMatrix();
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
