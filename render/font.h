// The bitmap fonts: glyph atlases whose glyphs a marker colour delimits,
// text measured and drawn one unit high with colour escapes, and text
// painted into RGBA images for number plates.
#pragma once

#include <cstdint>

struct Font {
    int texture;             // 0 when kept as pixels only
    uint8_t *pixels;         // RGBA with its chain, or null
    int width;
    int height;
    float glyphs[256][4];    // u0, v0, u1, v1 by byte value; v grows downward
    float advances[256];     // glyph width / glyph height; 2/3 when undefined
};

extern Font text_font;               // "@font.png"
extern Font number_font;             // "@numbers.png"
extern Font condensed_number_font;   // "@numbers-condensed.png"

extern const float text_palette[16][3];

// Style flags of draw_text.
enum {
    TEXT_PALETTE_MASK = 15,
    TEXT_BRIGHT = 8,
    TEXT_GIVEN_COLOUR = 16,
    TEXT_SHADOW = 32,
    TEXT_NO_ESCAPES = 64,
};

enum { TEXT_BATCH_QUADS = 256, TEXT_ESCAPE_PARAMETERS = 64 };

// Quads and draw calls of draw_text since start, and the quads of the last
// call's final batch.
extern long text_quads_drawn;
extern long text_batches_drawn;
extern int text_last_batch_quads;

void font_load(Font *font, const char *name, const char *characters);
void load_fonts(void);
void free_fonts(void);

float get_text_width(const char *text);
void draw_text(float red, float green, float blue, float alpha, const char *text, int style);
void draw_text_rgba(float red, float green, float blue, float alpha, const char *text);
void draw_text_plain(const char *text);
void draw_text_shadowed(float red, float green, float blue, float alpha, const char *text);
void draw_text_grey_shadowed(const char *text);
void draw_text_centered(float red, float green, float blue, float alpha, float left, float right,
                        const char *text);
void draw_text_centered_shadowed(float red, float green, float blue, float alpha, float left, float right,
                                 const char *text);
void draw_text_right_shadowed(float red, float green, float blue, float alpha, float right, const char *text);
// Paints the text, centred, into the top level of an RGBA image with the
// digit font (the condensed one when the text is too wide).
void text_rasterise(uint8_t *pixels, int width, int height, float red, float green, float blue, float alpha,
                    const char *text);
