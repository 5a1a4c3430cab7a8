// The GL window of the renderer's tests, and drawing helpers that read
// back what a texture or a model put on the screen.
#pragma once

#include "core/message.h"
#include "platform/window.h"
#include "render/gl_extensions.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct GlTest : testing::Test {
    GameWindow *window = nullptr;
    int window_size = 64;
    void SetUp() override
    {
        window = open_test_gl_window(window_size, window_size);
        ASSERT_NE(window, nullptr);
        glViewport(0, 0, window_size, window_size);
        ortho();
    }
    void TearDown() override { close_test_gl_window(window); }

    // One unit a pixel, y up, origin at the bottom left.
    void ortho()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, window_size, 0, window_size, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    void clear(float r = 0, float g = 0, float b = 0)
    {
        glClearColor(r, g, b, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // The texture drawn one texel a pixel from the bottom left: image row 0
    // at the bottom, as glReadPixels gives rows.
    void draw_texture(int texture, int width, int height)
    {
        glDisable(GL_LIGHTING);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(0, 0);
        glTexCoord2f(1, 0);
        glVertex2f((float)width, 0);
        glTexCoord2f(1, 1);
        glVertex2f((float)width, (float)height);
        glTexCoord2f(0, 1);
        glVertex2f(0, (float)height);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    // RGBA of a rectangle of the frame, rows bottom first.
    std::vector<uint8_t> read_back(int x, int y, int width, int height)
    {
        std::vector<uint8_t> pixels((size_t)width * height * 4);
        glFinish();
        glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Level k of a texture: its size.
    static void level_size(int texture, int level, int *width, int *height)
    {
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, height);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
};

inline std::string message_lines_text()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}

inline int count_message(const std::string &line)
{
    int count = 0;
    for (int i = 0; i < message_log.next_line; i++)
        count += line == message_log.lines[i];
    return count;
}
