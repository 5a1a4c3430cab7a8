// Fonts: the atlas builder, text measuring and drawing with colour escapes
// in batches of quads, and painting text into images for number plates.
#include "render/font.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/alloc.h"
#include "core/message.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/texture.h"

Font text_font;
Font number_font;
Font condensed_number_font;

long text_quads_drawn;
long text_batches_drawn;
int text_last_batch_quads;

const float text_palette[16][3] = {
    {0, 0, 0},       {0.75f, 0, 0},    {0, 0.75f, 0},    {0.75f, 0.75f, 0},
    {0, 0, 0.75f},   {0.75f, 0, 0.75f}, {0, 0.75f, 0.75f}, {0.75f, 0.75f, 0.75f},
    {0, 0, 0},       {1, 0, 0},        {0, 1, 0},        {1, 1, 0},
    {0, 0, 1},       {1, 0, 1},        {0, 1, 1},        {1, 1, 1},
};

static const char ESC = 27;

static void reset_font(Font *font)
{
    font->texture = 0;
    font->pixels = nullptr;
    font->width = font->height = 0;
    memset(font->glyphs, 0, sizeof font->glyphs);
    for (float &advance : font->advances)
        advance = 2.0f / 3.0f;
}

void font_load(Font *font, const char *name, const char *characters)
{
    reset_font(font);
    uint8_t *image = nullptr;
    int w, h;
    size_t bytes = 0;
    if (!read_rgba_image(name, &image, &w, &h) || (bytes = mip_chain_bytes(w, h, 4)) == 0) {
        checked_free(image);
        char message[600];
        snprintf(message, sizeof message, "Can't open font '%.512s'", name);
        print_message(message);
        return;
    }
    // The reader may give the top level alone: make room for the chain.
    uint8_t *pixels = (uint8_t *)checked_malloc(bytes);
    if (!pixels) {
        checked_free(image);
        return;
    }
    memcpy(pixels, image, (size_t)w * h * 4);
    checked_free(image);

    uint32_t marker;
    memcpy(&marker, pixels, 4);
    auto is_marker = [&](int x, int y) { return memcmp(pixels + ((size_t)y * w + x) * 4, &marker, 4) == 0; };
    auto marker_in_row = [&](int from, int y) {
        for (int x = from; x < w; x++)
            if (is_marker(x, y))
                return x;
        return w;
    };
    auto marker_in_column = [&](int from) {
        for (int y = from; y < h; y++)
            if (is_marker(0, y))
                return y;
        return h;
    };
    int top = 0, bottom = marker_in_column(1);
    int left = 0, right = marker_in_row(1, 0);
    for (const unsigned char *c = (const unsigned char *)characters; *c; c++) {
        if (right >= w) {
            top = bottom == h ? 0 : bottom;
            left = 0;
            right = marker_in_row(1, top);
            bottom = marker_in_column(top + 1);
        }
        float *glyph = font->glyphs[*c];
        glyph[0] = (float)left / w;
        glyph[1] = (float)top / h;
        glyph[2] = (float)right / w;
        glyph[3] = (float)bottom / h;
        font->advances[*c] = (float)(right - left) / (float)(bottom - top);
        left = right;
        right = marker_in_row(right + 1, top);
    }
    font->advances[' '] = font->advances['-'];
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (x == 0 || is_marker(x, y))
                memcpy(pixels + ((size_t)y * w + x) * 4, "\xff\xff\xff\x00", 4);
    build_rgba_mipmaps(pixels, w, h);
    font->pixels = pixels;
    font->width = w;
    font->height = h;
}

static const char FONT_CHARACTERS[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                      "abcdefghijklmnopqrstuvwxyz{|}~";

void load_fonts(void)
{
    font_load(&text_font, "@font.png", FONT_CHARACTERS);
    if (text_font.pixels) {
        text_font.texture = make_texture(text_font.pixels, text_font.width, text_font.height, 4);
        if (text_font.texture) {
            checked_free(text_font.pixels);
            text_font.pixels = nullptr;
        }
    }
    font_load(&number_font, "@numbers.png", "0123456789");
    font_load(&condensed_number_font, "@numbers-condensed.png", "0123456789");
}

void free_fonts(void)
{
    for (Font *font : {&text_font, &number_font, &condensed_number_font}) {
        delete_texture(font->texture);
        checked_free(font->pixels);
        reset_font(font);
    }
}

// Skips an escape sequence that starts at text (the ESC): an optional '['
// then every byte up to and including the first in '@'..'~'; stops at the
// end of the text.
static const char *skip_escape(const char *text)
{
    text++;
    if (*text == '[')
        text++;
    while (*text && !(*text >= '@' && *text <= '~'))
        text++;
    return *text ? text + 1 : text;
}

static float tab_stop(float x, float space)
{
    float tab = 8.0f * space;
    if (!(tab > 0.0f))
        return x;
    return (std::floor(x / tab) + 1.0f) * tab;
}

float get_text_width(const char *text)
{
    if (!text)
        return 0.0f;
    const float *advances = text_font.advances;
    float x = 0.0f, widest = 0.0f;
    while (*text) {
        unsigned char c = (unsigned char)*text;
        if (c == (unsigned char)ESC) {
            text = skip_escape(text);
            continue;
        }
        if (c == '\t')
            x = tab_stop(x, advances[' ']);
        else if (c == '\r' || c == '\n')
            x = 0.0f;
        else
            x += advances[c];
        widest = x > widest ? x : widest;
        text++;
    }
    return widest;
}

// Applies an escape sequence "ESC [ p ; p ... m" to the style; returns the
// text after the sequence.
static const char *apply_escape(const char *text, int *style)
{
    const char *end = skip_escape(text);
    if (*style & TEXT_NO_ESCAPES || text[1] != '[' || end == text || end[-1] != 'm')
        return end;
    int parameters[TEXT_ESCAPE_PARAMETERS];
    int count = 0, digits = 0, overflow = 0;
    long long value = 0;
    const char *p = text + 2;
    auto finish = [&]() {
        if (!overflow && count < TEXT_ESCAPE_PARAMETERS)
            parameters[count++] = (int)value;
        else if (count < TEXT_ESCAPE_PARAMETERS)
            parameters[count++] = -1;   // out of the int range: ignored
        value = 0;
        digits = overflow = 0;
    };
    for (; p < end - 1; p++) {
        if (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p - '0');
            if (value > 2147483647LL) {
                overflow = 1;
                value = 0;
            }
            digits++;
        } else if (*p == ';') {
            finish();
        }
    }
    if (digits || count > 0)
        finish();
    if (count == 0)
        *style = TEXT_GIVEN_COLOUR;
    for (int i = 0; i < count; i++) {
        int code = parameters[i];
        if (code == 0)
            *style = TEXT_GIVEN_COLOUR;
        else if (code == 1)
            *style |= TEXT_BRIGHT;
        else if (code == 22)
            *style &= ~TEXT_BRIGHT;
        else if (code >= 30 && code <= 37 && !(*style & TEXT_SHADOW))
            *style = (*style & ~(7 | TEXT_GIVEN_COLOUR)) | (code - 30);
        else if (code >= 40 && code <= 47 && (*style & TEXT_SHADOW))
            *style = (*style & ~(7 | TEXT_GIVEN_COLOUR)) | (code - 40);
    }
    return end;
}

static int only_white_space(const char *text)
{
    for (; *text; text++)
        if (!(*text == ' ' || (*text >= '\t' && *text <= '\r')))
            return 0;
    return 1;
}

struct TextBatch {
    float positions[TEXT_BATCH_QUADS * 6][3];
    float coordinates[TEXT_BATCH_QUADS * 6][2];
    float colours[TEXT_BATCH_QUADS * 6][4];
    int quads;
};

static void flush_batch(TextBatch *batch)
{
    if (batch->quads == 0)
        return;
    glVertexPointer(3, GL_FLOAT, 0, batch->positions);
    glTexCoordPointer(2, GL_FLOAT, 0, batch->coordinates);
    glColorPointer(4, GL_FLOAT, 0, batch->colours);
    glDrawArrays(GL_TRIANGLES, 0, batch->quads * 6);
    text_quads_drawn += batch->quads;
    text_batches_drawn++;
    text_last_batch_quads = batch->quads;
    batch->quads = 0;
}

static void add_quad(TextBatch *batch, float x, float y, float advance, const float *glyph, const float *colour)
{
    const float corners[4][4] = {
        {x, y + 1, glyph[0], glyph[1]},
        {x + advance, y + 1, glyph[2], glyph[1]},
        {x, y, glyph[0], glyph[3]},
        {x + advance, y, glyph[2], glyph[3]},
    };
    static const int order[6] = {2, 1, 0, 2, 3, 1};
    int base = batch->quads * 6;
    for (int i = 0; i < 6; i++) {
        const float *corner = corners[order[i]];
        batch->positions[base + i][0] = corner[0];
        batch->positions[base + i][1] = corner[1];
        batch->positions[base + i][2] = 0.0f;
        batch->coordinates[base + i][0] = corner[2];
        batch->coordinates[base + i][1] = corner[3];
        memcpy(batch->colours[base + i], colour, 4 * sizeof(float));
    }
    batch->quads++;
}

static void style_colour(int style, float red, float green, float blue, float alpha, float out[4])
{
    if (!(style & TEXT_GIVEN_COLOUR)) {
        const float *entry = text_palette[style & TEXT_PALETTE_MASK];
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
    } else {
        out[0] = red;
        out[1] = green;
        out[2] = blue;
        if (style & TEXT_BRIGHT)
            for (int c = 0; c < 3; c++)
                out[c] = out[c] + 0.25f < 1.0f ? out[c] + 0.25f : 1.0f;
    }
    out[3] = alpha;
}

void draw_text(float red, float green, float blue, float alpha, const char *text, int style)
{
    if (!text || only_white_space(text) || !text_font.texture)
        return;
    static TextBatch batch;
    batch.quads = 0;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, (GLuint)text_font.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    const float *advances = text_font.advances;
    float x = 0.0f, y = 0.0f;
    while (*text) {
        unsigned char c = (unsigned char)*text;
        if (c == (unsigned char)ESC) {
            text = apply_escape(text, &style);
            continue;
        }
        text++;
        if (c == ' ') {
            x += advances[' '];
        } else if (c == '\r') {
            x = 0.0f;
        } else if (c == '\n') {
            x = 0.0f;
            y -= 1.0f;
        } else if (c == '\t') {
            x = tab_stop(x, advances[' ']);
        } else {
            float colour[4];
            style_colour(style, red, green, blue, alpha, colour);
            add_quad(&batch, x, y, advances[c], text_font.glyphs[c], colour);
            if (batch.quads == TEXT_BATCH_QUADS)
                flush_batch(&batch);
            x += advances[c];
        }
    }
    flush_batch(&batch);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_text_rgba(float red, float green, float blue, float alpha, const char *text)
{
    draw_text(red, green, blue, alpha, text, TEXT_GIVEN_COLOUR);
}

void draw_text_plain(const char *text)
{
    draw_text(1, 1, 1, 1, text, TEXT_GIVEN_COLOUR);
}

void draw_text_shadowed(float red, float green, float blue, float alpha, const char *text)
{
    glPushMatrix();
    glTranslatef(1.0f / 16.0f, -1.0f / 16.0f, 0.0f);
    draw_text(0, 0, 0, alpha * 0.5f, text, TEXT_GIVEN_COLOUR | TEXT_SHADOW);
    glPopMatrix();
    draw_text(red, green, blue, alpha, text, TEXT_GIVEN_COLOUR);
}

void draw_text_grey_shadowed(const char *text)
{
    glPushMatrix();
    glTranslatef(1.0f / 16.0f, -1.0f / 16.0f, 0.0f);
    draw_text(0, 0, 0, 0.5f, text, TEXT_GIVEN_COLOUR | TEXT_SHADOW);
    glPopMatrix();
    draw_text(0.75f, 0.75f, 0.75f, 1.0f, text, TEXT_GIVEN_COLOUR);
}

void draw_text_centered(float red, float green, float blue, float alpha, float left, float right,
                        const char *text)
{
    glTranslatef(left + ((right - left) - get_text_width(text)) / 2.0f, 0.0f, 0.0f);
    draw_text(red, green, blue, alpha, text, TEXT_GIVEN_COLOUR);
}

void draw_text_centered_shadowed(float red, float green, float blue, float alpha, float left, float right,
                                 const char *text)
{
    glTranslatef(left + ((right - left) - get_text_width(text)) / 2.0f, 0.0f, 0.0f);
    draw_text_shadowed(red, green, blue, alpha, text);
}

void draw_text_right_shadowed(float red, float green, float blue, float alpha, float right, const char *text)
{
    glTranslatef(right - get_text_width(text), 0.0f, 0.0f);
    draw_text_shadowed(red, green, blue, alpha, text);
}

// A glyph's rectangle in atlas pixels.
static void glyph_pixels(const Font *font, unsigned char c, int *x0, int *y0, int *x1, int *y1)
{
    const float *g = font->glyphs[c];
    *x0 = (int)std::floor(g[0] * font->width + 0.5f);
    *x1 = (int)std::floor(g[2] * font->width + 0.5f);
    *y0 = (int)std::floor(g[1] * font->height + 0.5f);
    *y1 = (int)std::floor(g[3] * font->height + 0.5f);
}

static void measure_pixels(const Font *font, const char *text, int *width, int *height)
{
    *width = *height = 0;
    while (*text) {
        if (*text == ESC) {
            text = skip_escape(text);
            continue;
        }
        int x0, y0, x1, y1;
        glyph_pixels(font, (unsigned char)*text++, &x0, &y0, &x1, &y1);
        *width += x1 - x0;
        *height = y1 - y0 > *height ? y1 - y0 : *height;
    }
}

static float unit_value(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;   // NaN gives 0
}

static uint8_t to_byte(float v)
{
    float scaled = std::floor(unit_value(v) * 255.0f + 0.5f);
    return (uint8_t)scaled;
}

void text_rasterise(uint8_t *pixels, int width, int height, float red, float green, float blue, float alpha,
                    const char *text)
{
    const Font *font = &number_font;
    if (!font->pixels || !pixels || !text || width <= 0 || height <= 0)
        return;
    int text_width, text_height;
    measure_pixels(font, text, &text_width, &text_height);
    if (text_width > width * 9 / 8 && condensed_number_font.pixels) {
        font = &condensed_number_font;
        measure_pixels(font, text, &text_width, &text_height);
    }
    const float colour[3] = {unit_value(red), unit_value(green), unit_value(blue)};
    float given_alpha = unit_value(alpha);
    int pen = width / 2 - text_width / 2;
    int top = height / 2 - text_height / 2;
    while (*text) {
        if (*text == ESC) {
            text = skip_escape(text);
            continue;
        }
        int x0, y0, x1, y1;
        glyph_pixels(font, (unsigned char)*text++, &x0, &y0, &x1, &y1);
        for (int j = 0; j < y1 - y0; j++) {
            int sy = y0 + j, dy = top + j;
            if (sy < 0 || sy >= font->height || dy < 0 || dy >= height)
                continue;
            for (int i = 0; i < x1 - x0; i++) {
                int sx = x0 + i, dx = pen + i;
                if (sx < 0 || sx >= font->width || dx < 0 || dx >= width)
                    continue;
                const uint8_t *g = font->pixels + ((size_t)sy * font->width + sx) * 4;
                uint8_t *d = pixels + ((size_t)dy * width + dx) * 4;
                float a = g[3] / 255.0f * given_alpha;
                for (int c = 0; c < 3; c++)
                    d[c] = to_byte(d[c] / 255.0f * (1.0f - a) + g[c] / 255.0f * colour[c] * a);
                d[3] = to_byte(a * a + d[3] / 255.0f * (1.0f - a));
            }
        }
        pen += x1 - x0;
    }
}
