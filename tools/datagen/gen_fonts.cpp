// Glyph atlases and painted text. An atlas row is a strip of glyph cells
// whose top line carries the marker colour at each glyph's right edge (the
// first glyph starts at column 0, which the reader clears) and whose
// bottom is marked in column 0. The reader takes a cell that would run to
// the image's width as the end of the row, so a row's last glyph ends at
// a marker in the last column, and the last row runs to the image's
// height; every row is filled exactly, its slack spread a pixel at a time
// over its glyphs.
#include "tools/datagen/gen_fonts.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include "core/alloc.h"

static const char PRINTABLE[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                "abcdefghijklmnopqrstuvwxyz{|}~";

const AtlasSpec ATLAS_SPECS[ATLAS_COUNT] = {
    {"font.png", PRINTABLE, FACE_SANS, 1.0f},
    {"numbers.png", "0123456789", FACE_SANS_BOLD, 1.0f},
    {"numbers-condensed.png", "0123456789", FACE_SANS_BOLD, 0.8f},
};
static const float DIGIT_PIXEL_SIZE = 80.0f;
static const int DIGIT_ROW_HEIGHT = 64;

static FT_Library library;
static FT_Face faces[FACE_COUNT];

static const char *const FACE_FILES[FACE_COUNT] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"};
static const char *const FACE_FOLDERS[] = {"/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/dejavu/",
                                           "/usr/local/share/fonts/"};
static char face_paths[FACE_COUNT][256];

int open_font_faces(void)
{
    if (library)
        return faces[0] && faces[1];
    if (FT_Init_FreeType(&library))
        return 0;
    for (int f = 0; f < FACE_COUNT; f++)
        for (const char *folder : FACE_FOLDERS) {
            snprintf(face_paths[f], sizeof face_paths[f], "%s%s", folder, FACE_FILES[f]);
            if (FT_New_Face(library, face_paths[f], 0, &faces[f]) == 0)
                break;
            faces[f] = nullptr;
        }
    return faces[0] && faces[1];
}

void close_font_faces(void)
{
    for (FT_Face &face : faces)
        if (face) {
            FT_Done_Face(face);
            face = nullptr;
        }
    if (library)
        FT_Done_FreeType(library);
    library = nullptr;
}

const char *font_face_path(GenFace face)
{
    return face_paths[face];
}

void describe_font_versions(char *out, int n)
{
    FT_Int major = 0, minor = 0, patch = 0;
    if (library)
        FT_Library_Version(library, &major, &minor, &patch);
    char versions[FACE_COUNT][128];
    for (int f = 0; f < FACE_COUNT; f++) {
        snprintf(versions[f], sizeof versions[f], "%s unknown version", FACE_FILES[f]);
        if (!faces[f])
            continue;
        FT_UInt count = FT_Get_Sfnt_Name_Count(faces[f]);
        for (FT_UInt i = 0; i < count; i++) {
            FT_SfntName name;
            if (FT_Get_Sfnt_Name(faces[f], i, &name) || name.name_id != TT_NAME_ID_VERSION_STRING ||
                name.platform_id != TT_PLATFORM_MACINTOSH)
                continue;
            int length = name.string_len < 100 ? (int)name.string_len : 100;
            snprintf(versions[f], sizeof versions[f], "%s %s %.*s", faces[f]->family_name, faces[f]->style_name,
                     length, (const char *)name.string);
            break;
        }
    }
    snprintf(out, (size_t)n, "FreeType %d.%d.%d; %s; %s", major, minor, patch, versions[0], versions[1]);
}

static int set_size(GenFace face, float pixel_size, float x_scale)
{
    FT_Face f = faces[face];
    if (!f || FT_Set_Char_Size(f, 0, (FT_F26Dot6)lroundf(pixel_size * 64.0f), 72, 72))
        return 0;
    FT_Matrix matrix = {(FT_Fixed)lroundf(x_scale * 65536.0f), 0, 0, 0x10000};
    FT_Set_Transform(f, &matrix, nullptr);
    return 1;
}

static int load_glyph(GenFace face, int character)
{
    return FT_Load_Char(faces[face], (FT_ULong)character, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0;
}

int font_advance_pixels(GenFace face, float pixel_size, float x_scale, int character)
{
    if (!set_size(face, pixel_size, x_scale) || !load_glyph(face, character))
        return 0;
    return (int)((faces[face]->glyph->advance.x + 32) >> 6);
}

// Blends the rendered glyph with its origin at (x, baseline), clipped to
// the rectangle [clip_x0, clip_x1) x [clip_y0, clip_y1).
static void blit_glyph(GenImage *image, FT_GlyphSlot slot, float x, float baseline, GenColour colour, int clip_x0,
                       int clip_y0, int clip_x1, int clip_y1)
{
    const FT_Bitmap *bitmap = &slot->bitmap;
    int left = (int)floorf(x + 0.5f) + slot->bitmap_left, top = (int)floorf(baseline + 0.5f) - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap->rows; row++)
        for (unsigned column = 0; column < bitmap->width; column++) {
            int px = left + (int)column, py = top + (int)row;
            if (px < clip_x0 || px >= clip_x1 || py < clip_y0 || py >= clip_y1)
                continue;
            float coverage = bitmap->buffer[row * (unsigned)bitmap->pitch + column] / 255.0f;
            blend_pixel(image, px, py, colour, coverage);
        }
}

float draw_font_text(GenImage *image, GenFace face, float pixel_size, float x_scale, float x, float baseline,
                     const char *text, GenColour colour)
{
    if (!set_size(face, pixel_size, x_scale))
        return 0.0f;
    float start = x;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++) {
        if (!load_glyph(face, *c))
            continue;
        blit_glyph(image, faces[face]->glyph, x, baseline, colour, 0, 0, image->width, image->height);
        x += (float)faces[face]->glyph->advance.x / 64.0f;
    }
    return x - start;
}

float measure_font_text(GenFace face, float pixel_size, float x_scale, const char *text)
{
    if (!set_size(face, pixel_size, x_scale))
        return 0.0f;
    float width = 0.0f;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++)
        if (load_glyph(face, *c))
            width += (float)faces[face]->glyph->advance.x / 64.0f;
    return width;
}

void draw_centred_text(GenImage *image, GenFace face, float pixel_size, float cx, float cy, const char *text,
                       GenColour colour)
{
    float width = measure_font_text(face, pixel_size, 1.0f, text);
    // Digits and capitals stand about 0.73 em above the baseline.
    float baseline = cy + 0.365f * pixel_size;
    draw_font_text(image, face, pixel_size, 1.0f, cx - width * 0.5f, baseline, text, colour);
}

namespace {

// Splits the glyphs (in order) into rows of at most width pixels so that
// every row is as full as it can be: the largest slack per glyph of any
// row is as small as it can be. Row r holds glyphs starts[r] ..
// starts[r + 1] - 1. The worst slack per glyph, or -1 when the glyphs do
// not fit in that many rows.
float split_rows(const int *widths, int count, int width, int rows, int *starts)
{
    // best[r][i]: the least worst slack per glyph splitting glyphs 0..i-1
    // into r rows; from[r][i] the start of the last of them.
    static float best[ATLAS_MAX_ROWS + 1][129];
    static int from[ATLAS_MAX_ROWS + 1][129];
    if (rows > ATLAS_MAX_ROWS || count > 128)
        return -1.0f;
    for (int r = 0; r <= rows; r++)
        for (int i = 0; i <= count; i++)
            best[r][i] = 1e30f;
    best[0][0] = 0.0f;
    for (int r = 1; r <= rows; r++)
        for (int i = 1; i <= count; i++) {
            int sum = 0;
            for (int j = i - 1; j >= 0; j--) {
                sum += widths[j];
                if (sum > width)
                    break;
                float slack = (float)(width - sum) / (float)(i - j);
                float worst = fmaxf(slack, best[r - 1][j]);
                if (best[r - 1][j] < 1e29f && worst < best[r][i]) {
                    best[r][i] = worst;
                    from[r][i] = j;
                }
            }
        }
    if (best[rows][count] > 1e29f)
        return -1.0f;
    starts[rows] = count;
    for (int r = rows, i = count; r > 0; r--) {
        starts[r - 1] = from[r][i];
        i = from[r][i];
    }
    return best[rows][count];
}

// Highest ink above the baseline and lowest below it over the characters.
void ink_extent(const AtlasSpec *spec, float pixel_size, int *above, int *below)
{
    *above = *below = 0;
    set_size(spec->face, pixel_size, spec->x_scale);
    for (const char *c = spec->characters; *c; c++) {
        if (!load_glyph(spec->face, (unsigned char)*c))
            continue;
        FT_GlyphSlot slot = faces[spec->face]->glyph;
        int top = slot->bitmap_top, bottom = (int)slot->bitmap.rows - slot->bitmap_top;
        *above = top > *above ? top : *above;
        *below = bottom > *below ? bottom : *below;
    }
}

int glyph_widths(const AtlasSpec *spec, float pixel_size, int *widths)
{
    int count = (int)strlen(spec->characters);
    for (int i = 0; i < count; i++) {
        widths[i] = font_advance_pixels(spec->face, pixel_size, spec->x_scale, (unsigned char)spec->characters[i]);
        if (widths[i] < 1)
            return 0;
    }
    return count;
}

}  // namespace

int plan_atlas(int atlas, AtlasLayout *layout)
{
    memset(layout, 0, sizeof *layout);
    if (atlas < 0 || atlas >= ATLAS_COUNT || !open_font_faces())
        return 0;
    const AtlasSpec *spec = &ATLAS_SPECS[atlas];
    int widths[128];
    if (atlas > 0) {
        layout->pixel_size = DIGIT_PIXEL_SIZE;
        int count = glyph_widths(spec, layout->pixel_size, widths);
        // The glyphs and the last column, which ends the row.
        layout->width = 1;
        for (int i = 0; i < count; i++)
            layout->width += widths[i];
        layout->rows = 1;
        layout->row_heights[0] = DIGIT_ROW_HEIGHT;
        layout->height = DIGIT_ROW_HEIGHT;
        layout->starts[1] = count;
    } else {
        static const int ROWS[5] = {51, 51, 51, 51, 52};
        layout->width = 512;
        layout->height = 256;
        layout->rows = 5;
        memcpy(layout->row_heights, ROWS, sizeof ROWS);
        for (float size = 52.0f; size >= 30.0f; size -= 0.25f) {
            int count = glyph_widths(spec, size, widths);
            int above, below;
            ink_extent(spec, size, &above, &below);
            float worst = count ? split_rows(widths, count, layout->width - 1, layout->rows, layout->starts) : -1.0f;
            if (worst >= 0.0f && worst <= 1.5f && 1 + above + below <= ROWS[0]) {
                layout->pixel_size = size;
                break;
            }
        }
        if (layout->pixel_size == 0.0f)
            return 0;
    }
    int above, below;
    ink_extent(spec, layout->pixel_size, &above, &below);
    for (int r = 0; r < layout->rows; r++) {
        // The ink centred in the row below its marker line.
        int spare = layout->row_heights[r] - 1 - above - below;
        layout->baseline[r] = 1 + (spare > 0 ? spare / 2 : 0) + above;
    }
    return 1;
}

// One atlas as planned.
static int build_atlas(GenImage *image, int atlas, const AtlasLayout *layout)
{
    const AtlasSpec *spec = &ATLAS_SPECS[atlas];
    int widths[128];
    if (!glyph_widths(spec, layout->pixel_size, widths))
        return 0;
    const GenColour MARKER = rgba(1.0f, 0.0f, 1.0f, 1.0f);
    if (!create_image(image, layout->width, layout->height, rgba(1, 1, 1, 0)))
        return 0;
    FT_Face face = faces[spec->face];
    int top = 0;
    for (int r = 0; r < layout->rows; r++) {
        int first = layout->starts[r], n = layout->starts[r + 1] - first;
        int sum = 0;
        for (int k = 0; k < n; k++)
            sum += widths[first + k];
        int slack = layout->width - 1 - sum;
        int x = 0;
        set_size(spec->face, layout->pixel_size, spec->x_scale);
        for (int k = 0; k < n; k++) {
            // The slack a pixel per glyph, as evenly as it goes.
            int extra = slack / n + (k < slack % n ? 1 : 0);
            int cell = widths[first + k] + extra;
            if (load_glyph(spec->face, (unsigned char)spec->characters[first + k]))
                blit_glyph(image, face->glyph, (float)x + (float)(extra / 2), (float)(top + layout->baseline[r]),
                           rgb(1, 1, 1), x == 0 ? 1 : x, top + 1, x + cell, top + layout->row_heights[r]);
            x += cell;
            memcpy(image_pixel(image, x, top), &MARKER, sizeof MARKER);
        }
        // Column 0 at a row's top marks the bottom of the row above (and
        // (0, 0) is the marker colour itself).
        memcpy(image_pixel(image, 0, top), &MARKER, sizeof MARKER);
        top += layout->row_heights[r];
    }
    return 1;
}

int generate_fonts(DataSet *set)
{
    int ok = open_font_faces();
    for (int a = 0; ok && a < ATLAS_COUNT; a++) {
        AtlasLayout layout;
        GenImage image = {};
        ok = plan_atlas(a, &layout) && build_atlas(&image, a, &layout);
        ByteBuffer png = {};
        ok = ok && encode_image_png(&png, &image, 4, nullptr) && put_buffer_file(set, ATLAS_SPECS[a].file, &png);
        free_buffer(&png);
        free_image(&image);
    }
    return ok;
}
