// Instrument and title pictures, painted with the canvas and the DejaVu
// faces. The tachometer face is drawn on the quad (-1, 1)..(1, -1) with the
// needle turning about its centre; the gear indicator covers its middle
// third; the pit board is shown from texture rows 0.1875 to 0.875.
#include "tools/datagen/gen_hud.h"

#include <cmath>
#include <cstdio>

#include "tools/datagen/gen_fonts.h"
#include "tools/datagen/gen_image.h"

static const float PI_F = 3.14159265358979f;

float tach_angle_degrees(float rpm)
{
    return (rpm * 0.000046875f - 0.375f) * 360.0f;
}

static int save_png(DataSet *set, const char *name, GenImage *image, int channels)
{
    ByteBuffer png = {};
    int ok = encode_image_png(&png, image, channels, nullptr) && put_buffer_file(set, name, &png);
    free_buffer(&png);
    free_image(image);
    return ok;
}

// A point at radius r and dial angle a (degrees, 0 up, clockwise) from (cx, cy).
static void dial_point(float cx, float cy, float r, float degrees, float *x, float *y)
{
    float a = degrees * PI_F / 180.0f;
    *x = cx + r * sinf(a);
    *y = cy - r * cosf(a);
}

static int make_tach(DataSet *set)
{
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgba(0, 0, 0, 0)))
        return 0;
    float c = S * 0.5f;
    fill_disc(&image, c, c, 126.0f, rgba(0.05f, 0.05f, 0.06f, 0.85f));
    fill_ring(&image, c, c, 118.0f, 125.0f, rgba(0.75f, 0.75f, 0.78f, 1.0f));
    // The red zone from 13,000 rpm.
    for (float rpm = 13000.0f; rpm < (float)TACH_MAX_RPM; rpm += 50.0f) {
        float x0, y0, x1, y1, x2, y2, x3, y3;
        dial_point(c, c, 116.0f, tach_angle_degrees(rpm), &x0, &y0);
        dial_point(c, c, 116.0f, tach_angle_degrees(rpm + 60.0f), &x1, &y1);
        dial_point(c, c, 100.0f, tach_angle_degrees(rpm + 60.0f), &x2, &y2);
        dial_point(c, c, 100.0f, tach_angle_degrees(rpm), &x3, &y3);
        float quad[8] = {x0, y0, x1, y1, x2, y2, x3, y3};
        fill_polygon(&image, quad, 4, rgba(0.85f, 0.08f, 0.05f, 0.9f));
    }
    for (int k = 0; k <= TACH_MAX_RPM / 500; k++) {
        float rpm = (float)k * 500.0f;
        int major = k % 2 == 0;
        float x0, y0, x1, y1;
        dial_point(c, c, 116.0f, tach_angle_degrees(rpm), &x0, &y0);
        dial_point(c, c, major ? 96.0f : 106.0f, tach_angle_degrees(rpm), &x1, &y1);
        stroke_line(&image, x0, y0, x1, y1, major ? 4.0f : 2.0f, rgb(0.95f, 0.95f, 0.95f));
        if (major && (k / 2) % 2 == 0) {
            char label[8];
            snprintf(label, sizeof label, "%d", k / 2);
            float lx, ly;
            dial_point(c, c, 78.0f, tach_angle_degrees(rpm), &lx, &ly);
            draw_centred_text(&image, FACE_SANS_BOLD, 24.0f, lx, ly, label, rgb(0.95f, 0.95f, 0.95f));
        }
    }
    draw_centred_text(&image, FACE_SANS, 13.0f, c, c + 62.0f, "RPM x1000", rgb(0.7f, 0.7f, 0.72f));
    return save_png(set, "tach.png", &image, 4);
}

static int make_shifter(DataSet *set)
{
    // A 3 x 3 atlas: the cell of gear index g (0..5) shows g + 1.
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgba(0, 0, 0, 0)))
        return 0;
    float cell = S / 3.0f;
    for (int g = 0; g < 6; g++) {
        float cx = cell * ((float)(g % 3) + 0.5f), cy = cell * ((float)(g / 3) + 0.5f);
        fill_disc(&image, cx, cy, cell * 0.44f, rgba(0.12f, 0.12f, 0.14f, 0.95f));
        fill_ring(&image, cx, cy, cell * 0.4f, cell * 0.44f, rgba(0.9f, 0.55f, 0.1f, 1.0f));
        char label[4];
        snprintf(label, sizeof label, "%d", g + 1);
        draw_centred_text(&image, FACE_SANS_BOLD, cell * 0.6f, cx, cy, label, rgb(1, 1, 1));
    }
    return save_png(set, "shifter.png", &image, 4);
}

static int make_pitboard(DataSet *set)
{
    const int S = 256;
    GenImage image;
    if (!create_image(&image, S, S, rgba(0, 0, 0, 0)))
        return 0;
    // The pole the crew holds, then the board the race text is written on.
    fill_rect(&image, 30, 150, 44, 230, rgb(0.45f, 0.46f, 0.5f));
    fill_rect(&image, 78, 56, 252, 226, rgb(0.1f, 0.1f, 0.12f));
    fill_rect(&image, 84, 62, 246, 220, rgb(0.96f, 0.93f, 0.78f));
    for (int i = 0; i < 5; i++)
        fill_rect(&image, 88, 80.0f + 28.0f * (float)i, 242, 81.0f + 28.0f * (float)i, rgba(0.5f, 0.5f, 0.45f, 0.35f));
    fill_rect(&image, 44, 160, 84, 170, rgb(0.45f, 0.46f, 0.5f));
    return save_png(set, "pitboard.png", &image, 4);
}

static int make_title(DataSet *set)
{
    const int W = 1024, H = 512;
    GenImage image;
    if (!create_image(&image, W, H, rgb(0, 0, 0)))
        return 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float t = (float)y / (float)H;
            GenColour sky = mix_colour(rgb(0.25f, 0.45f, 0.78f), rgb(0.95f, 0.72f, 0.45f), t * t);
            float *p = image_pixel(&image, x, y);
            p[0] = sky.r;
            p[1] = sky.g;
            p[2] = sky.b;
        }
    fill_disc(&image, 900, 110, 55, rgba(1.0f, 0.9f, 0.65f, 0.9f));
    // Two ranges of hills and a dirt track winding over the near one.
    for (int layer = 0; layer < 2; layer++) {
        float points[2 * 70];
        int n = 0;
        for (int i = 0; i <= 64; i++) {
            float x = (float)W * (float)i / 64.0f;
            float h = layer == 0 ? 300.0f + 40.0f * (float)fractal_noise(x / 180.0, 3.0, 11u, 3, 0.5, 0)
                                 : 360.0f + 50.0f * (float)fractal_noise(x / 140.0, 7.0, 29u, 3, 0.5, 0);
            points[n++] = x;
            points[n++] = h;
        }
        points[n++] = (float)W;
        points[n++] = (float)H;
        float *closed = points;
        closed[n++] = 0.0f;
        closed[n++] = (float)H;
        fill_polygon(&image, closed, n / 2, layer == 0 ? rgb(0.33f, 0.42f, 0.38f) : rgb(0.28f, 0.45f, 0.2f));
    }
    float track[2 * 40];
    int n = 0;
    for (int i = 0; i <= 19; i++) {
        float t = (float)i / 19.0f;
        track[n++] = 80.0f + 900.0f * t;
        track[n++] = 470.0f - 70.0f * sinf(t * PI_F) - 20.0f * t;
    }
    for (int i = 19; i >= 0; i--) {
        float t = (float)i / 19.0f;
        track[n++] = 80.0f + 900.0f * t;
        track[n++] = 470.0f - 70.0f * sinf(t * PI_F) - 20.0f * t + 26.0f - 18.0f * t;
    }
    fill_polygon(&image, track, n / 2, rgb(0.52f, 0.36f, 0.22f));
    const char *name = "Rutline";
    float size = 150.0f;
    float width = measure_font_text(FACE_SANS_BOLD, size, 1.0f, name);
    float x = (W - width) * 0.5f;
    draw_font_text(&image, FACE_SANS_BOLD, size, 1.0f, x + 6.0f, 216.0f, name, rgba(0, 0, 0, 0.45f));
    draw_font_text(&image, FACE_SANS_BOLD, size, 1.0f, x, 210.0f, name, rgb(1.0f, 0.97f, 0.9f));
    const char *tagline = "MOTOCROSS";
    float small = 40.0f;
    float tag_width = measure_font_text(FACE_SANS_BOLD, small, 1.3f, tagline);
    draw_font_text(&image, FACE_SANS_BOLD, small, 1.3f, (W - tag_width) * 0.5f, 270.0f, tagline,
                   rgb(0.95f, 0.55f, 0.12f));
    return save_png(set, "title.png", &image, 3);
}

int generate_hud_pictures(DataSet *set)
{
    return open_font_faces() && make_tach(set) && make_shifter(set) && make_pitboard(set) && make_title(set);
}
