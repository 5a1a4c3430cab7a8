// Screenshots, raw video frames and recorded sound.
#include "app/capture.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "render/gl_extensions.h"
#include "render/image.h"

unsigned screenshot_counter;
VideoCapture video_capture;
AudioCapture audio_capture;

enum { SCREENSHOT_TRIES = 100000 };

// N when the name is "screenshot" N ".png" or ".ppm" (N decimal digits).
static int screenshot_name_number(const char *name, unsigned long *number)
{
    static const char PREFIX[] = "screenshot";
    if (strncmp(name, PREFIX, sizeof PREFIX - 1))
        return 0;
    const char *digits = name + sizeof PREFIX - 1;
    if (*digits < '0' || *digits > '9')
        return 0;
    errno = 0;
    char *end;
    unsigned long n = strtoul(digits, &end, 10);
    if (errno == ERANGE || n > UINT_MAX - 2 || (strcmp(end, ".png") && strcmp(end, ".ppm")))
        return 0;
    *number = n;
    return 1;
}

unsigned next_screenshot_number(const char *const *names)
{
    unsigned long largest = 0;
    for (const char *const *name = names; name && *name; name++) {
        unsigned long n;
        if (screenshot_name_number(*name, &n) && n > largest)
            largest = n;
    }
    return (unsigned)largest + 1;
}

static int game_file_exists(const char *path)
{
    GameFile *file = file_open(path, "rb");
    if (!file)
        return 0;
    file_close(file);
    return 1;
}

// The frame's pixels, bottom row first; null when out of memory.
static unsigned char *read_frame(int width, int height)
{
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536)
        return nullptr;
    unsigned char *rgb = (unsigned char *)checked_malloc((size_t)width * height * 3);
    if (!rgb)
        return nullptr;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return rgb;
}

int take_screenshot(int width, int height)
{
    if (screenshot_counter == 0)
        screenshot_counter = next_screenshot_number(build_file_index());
    char path[64];
    for (int tries = 0;; tries++) {
        snprintf(path, sizeof path, "@screenshot%03u.png", screenshot_counter++);
        if (!game_file_exists(path))
            break;
        if (tries >= SCREENSHOT_TRIES)
            return 0;
    }
    // The rows go to the file once, as read (bottom first): the writer
    // puts the top of the frame first. The checked replacement leaves no
    // partial file.
    unsigned char *rgb = read_frame(width, height);
    int written = rgb && write_png_rgb(path, rgb, width, height);
    checked_free(rgb);
    char text[96];
    snprintf(text, sizeof text, written ? "Saved \"%s\"" : "Can't save \"%s\"", path + 1);
    print_message(text);
    return written;
}

size_t write_ppm_frame(FILE *out, const unsigned char *rgb, int width, int height)
{
    int header = fprintf(out, "P6\n%d %d\n255\n", width, height);
    if (header < 0)
        return 0;
    size_t total = (size_t)header, row = (size_t)width * 3;
    for (int y = height - 1; y >= 0; y--) {
        if (fwrite(rgb + row * y, 1, row, out) != row)
            return 0;
        total += row;
    }
    return fflush(out) == 0 ? total : 0;
}

int write_video_frame(VideoCapture *capture, int width, int height)
{
    if (!capture->out)
        return 0;
    unsigned char *rgb = read_frame(width, height);
    if (!rgb)
        return 0;
    size_t written = write_ppm_frame(capture->out, rgb, width, height);
    checked_free(rgb);
    if (!written) {
        log_printf("Video capture stopped: writing a frame failed (%s)\n", strerror(errno));
        capture->out = nullptr;
    }
    return written != 0;
}

int open_audio_capture(AudioCapture *capture, const char *path)
{
    capture->file = fopen(path, "wb");
    if (!capture->file) {
        log_printf("Can't record audio to %s (%s)\n", path, strerror(errno));
        return capture->handle = 0;
    }
    capture->handle = open_readback_audio(0, AUDIO_CAPTURE_RATE, AUDIO_CAPTURE_FRAGMENT);
    if (!capture->handle) {
        // Nothing was written: the empty file is all there is to close.
        if (fclose(capture->file) != 0)
            log_printf("Can't close %s (%s)\n", path, strerror(errno));
        capture->file = nullptr;
    }
    return capture->handle;
}

void write_audio_tic(AudioCapture *capture)
{
    if (!capture->file || !capture->handle)
        return;
    const uint8_t *fragment = mix_readback_fragment(capture->handle);
    if (!fragment)
        return;
    if (fwrite(fragment, 1, AUDIO_CAPTURE_BYTES, capture->file) != AUDIO_CAPTURE_BYTES ||
        fflush(capture->file) != 0) {
        log_printf("Audio capture stopped: writing failed (%s)\n", strerror(errno));
        // The capture has ended on the failure above; the close adds nothing.
        fclose(capture->file);
        capture->file = nullptr;
    }
}

void close_audio_capture(AudioCapture *capture)
{
    // Every fragment was flushed when written; the close can still fail.
    if (capture->file && fclose(capture->file) != 0)
        log_printf("Audio capture: closing the file failed (%s)\n", strerror(errno));
    capture->file = nullptr;
}
