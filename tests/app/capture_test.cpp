// Screenshots the right way up, and the raw video and recorded sound
// captures ending on a failed write. GL runs only in child processes, so
// that the test process can fork before any GL thread exists.
#include "app/capture.h"
#include "core/message.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "render/gl_extensions.h"
#include "support/render_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum { WIDTH = 40, HEIGHT = 30, NO_DISPLAY = 77 };

// A frame of red over blue in the back buffer.
void draw_red_over_blue()
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, HEIGHT / 2, WIDTH, HEIGHT - HEIGHT / 2);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 0, WIDTH, HEIGHT / 2);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// The picture decoded by libpng alone, rows in file order.
bool decode_png(const std::string &path, std::vector<uint8_t> *rgb, int *width, int *height)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    *width = (int)image.width;
    *height = (int)image.height;
    return png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
}

TEST(Screenshot, TheTopOfTheFrameIsTheFirstRowOfTheFile)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    int status = run_with_file_limit(0, [] {
        GameWindow *window = open_test_gl_window(WIDTH, HEIGHT);
        if (!window)
            return (int)NO_DISPLAY;
        draw_red_over_blue();
        int written = take_screenshot(WIDTH, HEIGHT);
        close_test_gl_window(window);
        int last = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
        return written && std::string(message_log.lines[last]) == "Saved \"screenshot001.png\"" ? 1 : 0;
    });
    ASSERT_NE(status, NO_DISPLAY) << "no GL window";
    ASSERT_EQ(status, 1);
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    ASSERT_TRUE(decode_png(test_home_dir() + "screenshot001.png", &rgb, &width, &height));
    ASSERT_EQ(width, WIDTH);
    ASSERT_EQ(height, HEIGHT);
    auto pixel = [&](int x, int y) { return &rgb[((size_t)y * WIDTH + x) * 3]; };
    for (int x : {0, WIDTH / 2, WIDTH - 1}) {
        EXPECT_GT(pixel(x, 0)[0], 250) << "first row red at " << x;
        EXPECT_LT(pixel(x, 0)[2], 5) << "first row red at " << x;
        EXPECT_GT(pixel(x, HEIGHT - 1)[2], 250) << "last row blue at " << x;
        EXPECT_LT(pixel(x, HEIGHT - 1)[0], 5) << "last row blue at " << x;
    }
}

TEST(VideoCapture, AFailedFrameEndsTheCapture)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    std::string path = test_dir() + "/video.ppm";
    struct Case {
        const char *what;
        const char *file;
        long limit;
    } cases[] = {
        {"a full disk", "/dev/full", 0},
        {"a file-size limit past the first frame", path.c_str(), WIDTH * HEIGHT * 3 + 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // The child says how many frames were written before the capture
        // ended, or 100 when it never ended.
        int status = run_with_file_limit(c.limit, [&] {
            GameWindow *window = open_test_gl_window(WIDTH, HEIGHT);
            if (!window)
                return (int)NO_DISPLAY;
            draw_red_over_blue();
            VideoCapture capture = {fopen(c.file, "wb")};
            int frames = 0;
            while (capture.out && frames < 100)
                frames += write_video_frame(&capture, WIDTH, HEIGHT);
            close_test_gl_window(window);
            return frames;
        });
        ASSERT_NE(status, NO_DISPLAY) << "no GL window";
        EXPECT_EQ(status, c.limit ? 1 : 0);
    }
    // The one whole frame: its rows from the top, red first.
    std::string bytes;
    ASSERT_TRUE(read_file(path, &bytes));
    std::string header = "P6\n" + std::to_string(WIDTH) + " " + std::to_string(HEIGHT) + "\n255\n";
    ASSERT_GE(bytes.size(), header.size() + 3);
    EXPECT_EQ(bytes.substr(0, header.size()), header);
    EXPECT_EQ((uint8_t)bytes[header.size()], 255);
    EXPECT_EQ((uint8_t)bytes[header.size() + 2], 0);
}

TEST(AudioCapture, AFailedWriteEndsTheRecording)
{
    std::string path = test_dir() + "/sound.raw";
    int status = run_with_file_limit(3 * AUDIO_CAPTURE_BYTES + 100, [&] {
        if (!open_audio_capture(&audio_capture, path.c_str()))
            return 50;
        int tics = 0;
        while (audio_capture.file && tics < 100) {
            write_audio_tic(&audio_capture);
            tics++;
        }
        close_audio_capture(&audio_capture);
        return tics;
    });
    ASSERT_NE(status, 50) << "the readback driver did not open";
    EXPECT_EQ(status, 4) << "three fragments fit, the fourth ends the capture";
    std::string bytes;
    ASSERT_TRUE(read_file(path, &bytes));
    EXPECT_GE(bytes.size(), 3u * AUDIO_CAPTURE_BYTES);
}

} // namespace
