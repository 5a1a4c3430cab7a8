// Text from the DejaVu faces through FreeType: the three glyph atlases of
// the game ("@font.png", "@numbers.png", "@numbers-condensed.png") and
// text painted into generated pictures.
#pragma once

#include "tools/datagen/gen_image.h"
#include "tools/datagen/gen_output.h"

enum GenFace { FACE_SANS, FACE_SANS_BOLD, FACE_COUNT };

// The atlases: their characters, face and the x scale of the face's
// transform (the condensed digits).
struct AtlasSpec {
    const char *file;          // "font.png" ...
    const char *characters;
    GenFace face;
    float x_scale;
};
enum { ATLAS_COUNT = 3, ATLAS_MAX_ROWS = 8 };
extern const AtlasSpec ATLAS_SPECS[ATLAS_COUNT];

// How an atlas is laid out: the pixel size its glyphs are rendered at, the
// image size and the height of each row.
struct AtlasLayout {
    float pixel_size;
    int width;
    int height;
    int rows;
    int row_heights[ATLAS_MAX_ROWS];
    int starts[ATLAS_MAX_ROWS + 1];   // first glyph of each row, then the count
    int baseline[ATLAS_MAX_ROWS];     // from each row's top
};
// The text font: 512 x 256 in five rows at the largest size that fills
// them a pixel or so short per glyph; the digits: one row of 64 exactly as
// wide as the ten glyphs and the last column that ends the row. 0 when no layout fits (the faces must be open).
int plan_atlas(int atlas, AtlasLayout *layout);

// Opens FreeType and both faces; 0 when a face cannot be found.
int open_font_faces(void);
void close_font_faces(void);
// The face files used ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf" ...).
const char *font_face_path(GenFace face);
// "FreeType 2.12.1, DejaVu Sans Version 2.37" style text.
void describe_font_versions(char *out, int n);

// The hinted advance of a character in pixels, as the atlas was made.
int font_advance_pixels(GenFace face, float pixel_size, float x_scale, int character);

// Paints text with its baseline at y, starting at x; returns the advance.
float draw_font_text(GenImage *image, GenFace face, float pixel_size, float x_scale, float x, float baseline,
                     const char *text, GenColour colour);
float measure_font_text(GenFace face, float pixel_size, float x_scale, const char *text);
// Centred at (cx, cy): the middle of the digits' height sits at cy.
void draw_centred_text(GenImage *image, GenFace face, float pixel_size, float cx, float cy, const char *text,
                       GenColour colour);

// The three atlases of the game.
int generate_fonts(DataSet *set);
