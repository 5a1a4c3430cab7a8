// Captures: screenshots written as numbered PNG files, raw video frames
// to standard output ("--record-video") and the mixed sound of every tic
// to a file ("--record-audio"). A capture whose writes fail ends with a
// log line; the game goes on.
#pragma once

#include <cstdio>

extern unsigned screenshot_counter;   // 0 until the first screenshot

// The number after the largest "screenshot%u" name ending ".png" or ".ppm"
// among the names (null-terminated; null for none): 1 when there is none.
unsigned next_screenshot_number(const char *const *names);
// Reads the frame being drawn (before its swap) and writes it as the next
// "@screenshot%03d.png" that does not exist yet, top row first; shows
// "Saved ..." on the message line when the file was written whole, else
// "Can't save ..." (and no file is left). 1 when written.
int take_screenshot(int width, int height);

// Raw video frames ("P6" with the frame's size, rows from the top).
struct VideoCapture {
    FILE *out;   // null: off or stopped
};
extern VideoCapture video_capture;
// Reads the frame being drawn and writes it; 0 (and the capture stopped)
// when a write fails.
int write_video_frame(VideoCapture *capture, int width, int height);
// The frame's bytes in the file's layout: header and rows from the top,
// from pixels read bottom row first. The number of bytes written, 0 on a
// failed write.
size_t write_ppm_frame(FILE *out, const unsigned char *rgb, int width, int height);

// The mixed sound of every tic from the readback driver.
enum { AUDIO_CAPTURE_RATE = 88320, AUDIO_CAPTURE_FRAGMENT = 690, AUDIO_CAPTURE_BYTES = 1380 };
struct AudioCapture {
    FILE *file;
    int handle;
};
extern AudioCapture audio_capture;
// Opens the file ("wb") and the readback driver: the driver's handle, or 0
// (nothing stays open) when either fails.
int open_audio_capture(AudioCapture *capture, const char *path);
// One tic's fragment into the file; a failed write ends the capture.
void write_audio_tic(AudioCapture *capture);
void close_audio_capture(AudioCapture *capture);
