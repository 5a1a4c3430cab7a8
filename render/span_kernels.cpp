// The span kernels of the software ground compositor: decal spans (nearest
// and bilinear) blended by alpha, and the lighting of a row; each as a plain
// loop and as SSE2 that gives the same bytes. Blends divide by 255 exactly:
// for 0 <= t <= 255 * 255, t / 255 = (t + 1 + (t >> 8)) >> 8.
#include <emmintrin.h>

#include <cstring>

#include "platform/log.h"
#include "render/ground_compositor.h"

int has_mmx;

void detect_mmx(void)
{
    __builtin_cpu_init();
    has_mmx = __builtin_cpu_supports("sse2") ? 1 : 0;
}

void ignore_mmx(void)
{
    if (has_mmx)
        log_printf("Ignoring MMX\n");
    has_mmx = 0;
}

static inline int clamp_texel(int64_t position, int last)
{
    int64_t t = position >> 16;
    return t < 0 ? 0 : t > last ? last : (int)t;
}

// Texel column (high part) and 8-bit fraction of a bilinear position.
static inline void bilinear_texel(int64_t position, int size, int *texel, int *fraction)
{
    int64_t p = (position - 32768) >> 8;
    int64_t last = 256 * (int64_t)size - 257;
    if (last < 0)
        last = 0;
    p = p < 0 ? 0 : p > last ? last : p;
    *texel = (int)(p >> 8);
    *fraction = (int)(p & 255);
}

static inline void blend_pixel(uint8_t *d, const int *source, int alpha)
{
    if (alpha == 0)
        return;
    if (alpha == 255) {
        for (int c = 0; c < 3; c++)
            d[c] = (uint8_t)source[c];
        return;
    }
    for (int c = 0; c < 3; c++)
        d[c] = (uint8_t)((source[c] * alpha + d[c] * (255 - alpha)) / 255);
}

void blend_span_plain(uint8_t *row, int count, const uint8_t *image, int width, int height, int64_t u,
                      int64_t v, int64_t du, int64_t dv)
{
    for (int i = 0; i < count; i++, row += 3, u += du, v += dv) {
        const uint8_t *t = image + 4 * ((size_t)clamp_texel(v, height - 1) * width + clamp_texel(u, width - 1));
        int source[3] = {t[0], t[1], t[2]};
        blend_pixel(row, source, t[3]);
    }
}

// The four texels around a bilinear position and their weights.
struct BilinearTaps {
    const uint8_t *t00, *t10, *t01, *t11;
    int w00, w10, w01, w11;
};

static inline void bilinear_taps(const uint8_t *image, int width, int height, int64_t u, int64_t v,
                                 BilinearTaps *taps)
{
    int tx, ty, fx, fy;
    bilinear_texel(u, width, &tx, &fx);
    bilinear_texel(v, height, &ty, &fy);
    int tx1 = tx + 1 < width ? tx + 1 : width - 1;
    int ty1 = ty + 1 < height ? ty + 1 : height - 1;
    taps->t00 = image + 4 * ((size_t)ty * width + tx);
    taps->t10 = image + 4 * ((size_t)ty * width + tx1);
    taps->t01 = image + 4 * ((size_t)ty1 * width + tx);
    taps->t11 = image + 4 * ((size_t)ty1 * width + tx1);
    taps->w00 = (256 - fx) * (256 - fy);
    taps->w10 = fx * (256 - fy);
    taps->w01 = (256 - fx) * fy;
    taps->w11 = fx * fy;
}

void blend_span_bilinear_plain(uint8_t *row, int count, const uint8_t *image, int width, int height,
                               int64_t u, int64_t v, int64_t du, int64_t dv)
{
    for (int i = 0; i < count; i++, row += 3, u += du, v += dv) {
        BilinearTaps k;
        bilinear_taps(image, width, height, u, v, &k);
        int sum[4];
        for (int c = 0; c < 4; c++)
            sum[c] = (k.t00[c] * k.w00 + k.t10[c] * k.w10 + k.t01[c] * k.w01 + k.t11[c] * k.w11) >> 16;
        blend_pixel(row, sum, sum[3]);
    }
}

// The shade position of one pixel: sample and 8-bit fraction on one axis,
// held so that the second sample stays inside the grid.
static inline void shade_position(int64_t position, int samples, int *sample, int *fraction)
{
    int64_t last = ((int64_t)samples - 1) * 65536 - 1;
    position = position < 0 ? 0 : position > last ? last : position;
    *sample = (int)(position >> 16);
    *fraction = (int)((position >> 8) & 255);
}

void shade_span_plain(uint8_t *row, int count, const uint8_t *shades, int samples_per_row, int64_t column,
                      int64_t row_position, int64_t step)
{
    int r, fy;
    shade_position(row_position, samples_per_row, &r, &fy);
    const uint8_t *top = shades + 3 * (size_t)r * samples_per_row;
    const uint8_t *bottom = top + 3 * (size_t)samples_per_row;
    for (int i = 0; i < count; i++, row += 3, column += step) {
        int c, fx;
        shade_position(column, samples_per_row, &c, &fx);
        int w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
        const uint8_t *s0 = top + 3 * c, *s1 = bottom + 3 * c;
        for (int k = 0; k < 3; k++) {
            int shade = (s0[k] * w00 + s0[k + 3] * w10 + s1[k] * w01 + s1[k + 3] * w11) >> 16;
            int lit = (row[k] * shade) >> 7;
            row[k] = (uint8_t)(lit > 255 ? 255 : lit);
        }
    }
}

// ---- SSE2 ------------------------------------------------------------------

static inline uint32_t load4(const uint8_t *p)
{
    uint32_t value;
    memcpy(&value, p, 4);
    return value;
}

static inline uint32_t load3(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
}

// t / 255 for 16-bit lanes holding 0..255 * 255.
static inline __m128i divide_by_255(__m128i t)
{
    __m128i one = _mm_set1_epi16(1);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
}

// (source a + destination (255 - a)) / 255 in 16-bit lanes; the alpha of
// each pixel in its lane 3, which keeps the destination's fourth byte.
static inline __m128i blend_lanes(__m128i source, __m128i destination)
{
    __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(source, 0xff), 0xff);
    __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), alpha);
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(source, alpha), _mm_mullo_epi16(destination, inverse));
    return divide_by_255(t);
}

// Blends two RGBA source pixels into two RGB destination pixels.
static inline void blend_two(uint8_t *row, uint32_t first, uint32_t second, int pixels)
{
    __m128i zero = _mm_setzero_si128();
    __m128i source = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, (int)second, (int)first), zero);
    uint32_t d0 = load3(row), d1 = pixels > 1 ? load3(row + 3) : 0;
    __m128i destination = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, (int)d1, (int)d0), zero);
    __m128i out = _mm_packus_epi16(blend_lanes(source, destination), zero);
    uint32_t o0 = (uint32_t)_mm_cvtsi128_si32(out);
    uint32_t o1 = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(out, 4));
    row[0] = (uint8_t)o0;
    row[1] = (uint8_t)(o0 >> 8);
    row[2] = (uint8_t)(o0 >> 16);
    if (pixels > 1) {
        row[3] = (uint8_t)o1;
        row[4] = (uint8_t)(o1 >> 8);
        row[5] = (uint8_t)(o1 >> 16);
    }
}

void blend_span_mmx(uint8_t *row, int count, const uint8_t *image, int width, int height, int64_t u,
                    int64_t v, int64_t du, int64_t dv)
{
    for (int i = 0; i < count; i += 2, row += 6) {
        uint32_t texels[2] = {0, 0};
        int pixels = count - i < 2 ? count - i : 2;
        for (int k = 0; k < pixels; k++, u += du, v += dv)
            texels[k] = load4(image + 4 * ((size_t)clamp_texel(v, height - 1) * width + clamp_texel(u, width - 1)));
        if (((texels[0] | texels[1]) & 0xff000000u) == 0)
            continue;   // both transparent
        blend_two(row, texels[0], texels[1], pixels);
    }
}

// The bilinear sum of one pixel's four texels, four channels, >> 16: each
// weight split as 256 hi + lo so that the products fit the 16-bit madd.
static inline __m128i bilinear_sum(const uint8_t *t00, const uint8_t *t10, const uint8_t *t01,
                                   const uint8_t *t11, int w00, int w10, int w01, int w11, int three)
{
    __m128i zero = _mm_setzero_si128();
    uint32_t a = three ? load3(t00) : load4(t00), b = three ? load3(t10) : load4(t10);
    uint32_t c = three ? load3(t01) : load4(t01), d = three ? load3(t11) : load4(t11);
    __m128i top = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)), zero);
    __m128i bottom = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)c), _mm_cvtsi32_si128((int)d)), zero);
    __m128i top_hi = _mm_set1_epi32((w10 >> 8) << 16 | (w00 >> 8));
    __m128i top_lo = _mm_set1_epi32((w10 & 255) << 16 | (w00 & 255));
    __m128i bottom_hi = _mm_set1_epi32((w11 >> 8) << 16 | (w01 >> 8));
    __m128i bottom_lo = _mm_set1_epi32((w11 & 255) << 16 | (w01 & 255));
    __m128i high = _mm_add_epi32(_mm_madd_epi16(top, top_hi), _mm_madd_epi16(bottom, bottom_hi));
    __m128i low = _mm_add_epi32(_mm_madd_epi16(top, top_lo), _mm_madd_epi16(bottom, bottom_lo));
    return _mm_srli_epi32(_mm_add_epi32(_mm_slli_epi32(high, 8), low), 16);
}

void blend_span_bilinear_mmx(uint8_t *row, int count, const uint8_t *image, int width, int height,
                             int64_t u, int64_t v, int64_t du, int64_t dv)
{
    __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < count; i++, row += 3, u += du, v += dv) {
        BilinearTaps k;
        bilinear_taps(image, width, height, u, v, &k);
        __m128i sum = bilinear_sum(k.t00, k.t10, k.t01, k.t11, k.w00, k.w10, k.w01, k.w11, 0);
        __m128i source = _mm_packs_epi32(sum, zero);   // 0..255 in 16-bit lanes
        if (_mm_extract_epi16(source, 3) == 0)
            continue;
        __m128i destination = _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)load3(row)), zero);
        __m128i out = _mm_packus_epi16(blend_lanes(source, destination), zero);
        uint32_t o = (uint32_t)_mm_cvtsi128_si32(out);
        row[0] = (uint8_t)o;
        row[1] = (uint8_t)(o >> 8);
        row[2] = (uint8_t)(o >> 16);
    }
}

void shade_span_mmx(uint8_t *row, int count, const uint8_t *shades, int samples_per_row, int64_t column,
                    int64_t row_position, int64_t step)
{
    __m128i zero = _mm_setzero_si128();
    int r, fy;
    shade_position(row_position, samples_per_row, &r, &fy);
    const uint8_t *top = shades + 3 * (size_t)r * samples_per_row;
    const uint8_t *bottom = top + 3 * (size_t)samples_per_row;
    for (int i = 0; i < count; i++, row += 3, column += step) {
        int c, fx;
        shade_position(column, samples_per_row, &c, &fx);
        const uint8_t *s0 = top + 3 * c, *s1 = bottom + 3 * c;
        __m128i shade = bilinear_sum(s0, s0 + 3, s1, s1 + 3, (256 - fx) * (256 - fy), fx * (256 - fy),
                                     (256 - fx) * fy, fx * fy, 1);
        __m128i shade16 = _mm_packs_epi32(shade, zero);
        __m128i pixel = _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)load3(row)), zero);
        __m128i lit = _mm_srli_epi16(_mm_mullo_epi16(pixel, shade16), 7);
        uint32_t o = (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(lit, zero));
        row[0] = (uint8_t)o;
        row[1] = (uint8_t)(o >> 8);
        row[2] = (uint8_t)(o >> 16);
    }
}
