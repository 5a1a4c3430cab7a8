// The software ground compositor in memory: tile squares and their mip
// levels, decals clipped and blended by alpha, the lighting's scale, the
// rasterised decal quad against its parallelogram, and the SSE2 kernels
// against the plain loops byte for byte.
#include "render/ground_compositor.h"

#include "render/decal_grid.h"
#include "render/image.h"
#include "track/decals.h"
#include "track/terrain.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// An RGBA image with its mip chain, every level one colour of its own.
struct ChainImage {
    std::vector<uint8_t> pixels;
    int width, height;
    ChainImage(int w, int h, const std::vector<std::vector<uint8_t>> &level_colours) : width(w), height(h)
    {
        pixels.assign(mip_chain_bytes(w, h, 4), 0);
        size_t at = 0;
        for (int level = 0;; level++) {
            const std::vector<uint8_t> &c = level_colours[std::min<size_t>(level, level_colours.size() - 1)];
            for (int i = 0; i < w * h; i++)
                memcpy(&pixels[at + 4 * (size_t)i], c.data(), 4);
            at += 4 * (size_t)w * h;
            if (w == 1 && h == 1)
                break;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
    }
};

// A flat memory terrain of grid exponent 7 with a shading of one value.
struct CompositeTerrain : MemoryTerrain {
    std::vector<uint8_t> shading;
    explicit CompositeTerrain(int side_texels, uint8_t shade = 128) : MemoryTerrain(FIXTURE_EXPONENT, 2.0f)
    {
        shading.assign((size_t)terrain.side * terrain.side * 3, shade);
        terrain.shading = shading.data();
        terrain.texture_size = side_texels;
        terrain.texture_mode = 1;
    }
    ~CompositeTerrain()
    {
        checked_free(terrain.composite_buffer);
        free_decal_storage(&terrain);
    }
    const uint8_t *pixel(int x, int y) const
    {
        return terrain.composite_buffer + 3 * ((size_t)y * terrain.texture_size + x);
    }
    void decal(ChainImage *image, float x, float z, float width, float aspect, float angle)
    {
        if (!terrain.decals.data)
            create_decal_storage(&terrain);
        Decal *d = (Decal *)append_to_growable_array(&terrain.decals);
        d->image = image->pixels.data();
        d->image_width = image->width;
        d->image_height = image->height;
        d->x = x;
        d->z = z;
        d->width = width;
        d->aspect = aspect;
        d->angle = angle;
        d->sine = sinf(angle);
        d->cosine = cosf(angle);
        add_decal_to_grid(&terrain, terrain.decals.count - 1);
    }
};

std::vector<uint8_t> rgb(int r, int g, int b)
{
    return {(uint8_t)r, (uint8_t)g, (uint8_t)b};
}

void expect_pixel(const uint8_t *p, std::vector<uint8_t> c, const char *where)
{
    EXPECT_EQ(std::vector<uint8_t>(p, p + 3), c) << where;
}

}  // namespace

TEST(GroundCompositor, TilesShadesAndTheMissingImage)
{
    CompositeTerrain c(32);
    ChainImage grey(8, 8, {{100, 150, 200, 255}});
    c.terrain.tiles[0].image = grey.pixels.data();
    c.terrain.tiles[0].image_width = 8;
    c.terrain.tiles[0].image_height = 8;
    c.terrain.tile_count = 2;   // kind 1 has no image
    c.tile_map[0] = 1;          // tile (0, 0)

    // Shade 128 everywhere: the tile colours as they are; the missing image black.
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 2);
    EXPECT_EQ(c.terrain.composite_count, 4);
    expect_pixel(c.pixel(3, 3), rgb(0, 0, 0), "tile without image");
    expect_pixel(c.pixel(20, 3), rgb(100, 150, 200), "tile (1, 0)");
    expect_pixel(c.pixel(20, 20), rgb(100, 150, 200), "tile (1, 1)");

    // 255 nearly doubles, saturating.
    std::fill(c.shading.begin(), c.shading.end(), 255);
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 2);
    expect_pixel(c.pixel(20, 20), rgb(199, 255, 255), "doubled");
    expect_pixel(c.pixel(3, 3), rgb(0, 0, 0), "black stays black");
}

TEST(GroundCompositor, TileImagesStretchAndTheirMipLevels)
{
    CompositeTerrain c(32);
    // Columns numbered: texel k has red 16 k.
    ChainImage ramp(16, 16, {{0, 0, 0, 255}});
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            ramp.pixels[4 * (y * 16 + x)] = (uint8_t)(16 * x);
    c.terrain.tiles[0].image = ramp.pixels.data();
    c.terrain.tiles[0].image_width = 16;
    c.terrain.tiles[0].image_height = 16;
    // One tile over the 32 pixels: the middle 7/8 of the image, 1/16..15/16.
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 1);
    EXPECT_EQ(c.pixel(0, 0)[0], 16);
    EXPECT_EQ(c.pixel(31, 0)[0], 16 * 14);

    // 32 tiles over 32 pixels: one pixel a tile, the 1 x 1 level.
    ChainImage levels(16, 16, {{10, 0, 0, 255}, {20, 0, 0, 255}, {30, 0, 0, 255}, {40, 0, 0, 255}, {50, 0, 0, 255}});
    c.terrain.tiles[0].image = levels.pixels.data();
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 32);
    EXPECT_EQ(c.pixel(5, 5)[0], 50);
    // A wide, flat image squeezed along one axis only keeps its full image.
    ChainImage wide(16, 2, {{60, 0, 0, 255}, {70, 0, 0, 255}});
    c.terrain.tiles[0].image = wide.pixels.data();
    c.terrain.tiles[0].image_width = 16;
    c.terrain.tiles[0].image_height = 2;
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
    EXPECT_EQ(c.pixel(5, 5)[0], 60);
}

TEST(GroundCompositor, DecalsBlendClipAndStayOutside)
{
    CompositeTerrain c(64);
    ChainImage ground(8, 8, {{40, 40, 40, 255}});
    c.terrain.tiles[0].image = ground.pixels.data();
    c.terrain.tiles[0].image_width = c.terrain.tiles[0].image_height = 8;
    ChainImage solid(8, 8, {{250, 10, 20, 255}});
    ChainImage clear(8, 8, {{250, 10, 20, 0}});
    ChainImage half(8, 8, {{250, 10, 20, 128}});
    // Area: tile-map units 0..8 = world 0..32 ft; 2 pixels a foot.
    c.decal(&solid, 8.0f, 8.0f, 6.0f, 1.0f, 0.0f);     // world 5..11 = pixels 10..22
    c.decal(&clear, 24.0f, 8.0f, 6.0f, 1.0f, 0.0f);
    c.decal(&half, 8.0f, 24.0f, 6.0f, 1.0f, 0.0f);
    c.decal(&solid, 32.0f, 32.0f, 8.0f, 1.0f, 0.0f);   // over the far corner: clipped
    c.decal(&solid, 100.0f, 100.0f, 8.0f, 1.0f, 0.0f); // off the area
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
    EXPECT_EQ(c.terrain.composite_count, 64 + 4);   // tiles, and the decals found in the area's buckets
    EXPECT_EQ(c.terrain.decal_draw_count, 4);       // each found decal with an image is blended
    expect_pixel(c.pixel(16, 16), rgb(250, 10, 20), "alpha 255 replaces exactly");
    expect_pixel(c.pixel(9, 16), rgb(40, 40, 40), "beside it");
    expect_pixel(c.pixel(10, 10), rgb(250, 10, 20), "its first pixel");
    expect_pixel(c.pixel(48, 16), rgb(40, 40, 40), "alpha 0 changes nothing");
    int blended = (250 * 128 + 40 * 127) / 255;
    expect_pixel(c.pixel(16, 48), rgb(blended, (10 * 128 + 40 * 127) / 255, (20 * 128 + 40 * 127) / 255), "alpha 128");
    expect_pixel(c.pixel(63, 63), rgb(250, 10, 20), "clipped at the corner");
    expect_pixel(c.pixel(55, 55), rgb(40, 40, 40), "before the clipped decal");

    // Hidden decals are neither composited nor counted.
    c.terrain.decals_hidden = 1;
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
    EXPECT_EQ(c.terrain.composite_count, 64 + 4 + 64);
    expect_pixel(c.pixel(16, 16), rgb(40, 40, 40), "hidden");
}

TEST(GroundCompositor, DecalQuadCoversItsParallelogram)
{
    // Corners that sort by y into top (0, 0), bottom (20, 20) and the two
    // others; the one with the smaller x lies right of the diagonal.
    const int side = 32;
    std::vector<uint8_t> buffer((size_t)side * side * 3, 0);
    ChainImage white(4, 4, {{255, 255, 255, 255}});
    BufferPoint top{2, 2}, bottom{22, 22}, a{10, 8}, b{14, 16};   // a is right of the line y = x
    const double step_x[2] = {0.5, 0.0}, step_z[2] = {0.0, 0.5};
    blend_decal_quad(buffer.data(), side, white.pixels.data(), 4, 4, top, b, bottom, a, top, step_x, step_z);
    auto inside = [&](double x, double y) {
        // Convex: on the same side of all four edges top-a, a-bottom, bottom-b, b-top.
        BufferPoint p[4] = {top, a, bottom, b};
        int positive = 0, negative = 0;
        for (int i = 0; i < 4; i++) {
            BufferPoint e0 = p[i], e1 = p[(i + 1) % 4];
            double cross = (e1.x - e0.x) * (y - e0.y) - (e1.y - e0.y) * (x - e0.x);
            positive += cross > 1e-9;
            negative += cross < -1e-9;
        }
        return positive == 4 || negative == 4;
    };
    int wrong = 0, covered = 0;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            bool drawn = buffer[3 * ((size_t)y * side + x)] == 255;
            covered += drawn;
            if (drawn != inside(x + 0.5, y + 0.5))
                wrong++;
        }
    EXPECT_EQ(covered, 40);   // the quad's area in pixels
    EXPECT_EQ(wrong, 0);
}

TEST(GroundCompositor, VectorKernelsMatchThePlainLoops)
{
    std::mt19937 random(1234);
    auto next = [&](int n) { return (int)(random() % (unsigned)n); };
    for (int trial = 0; trial < 400; trial++) {
        int w = 1 << next(6), h = 1 << next(6);
        std::vector<uint8_t> image((size_t)w * h * 4);
        for (uint8_t &v : image)
            v = (uint8_t)random();
        // Some texels fully clear or fully opaque.
        for (size_t i = 3; i < image.size(); i += 4 * (1 + next(3)))
            image[i] = next(2) ? 0 : 255;
        int count = 1 + next(70);
        std::vector<uint8_t> row(3 * (size_t)count + 3);
        for (uint8_t &v : row)
            v = (uint8_t)random();
        int64_t u = (int64_t)next(1 << 22) - (1 << 20), v = (int64_t)next(1 << 22) - (1 << 20);
        int64_t du = (int64_t)next(1 << 19) - (1 << 18), dv = (int64_t)next(1 << 19) - (1 << 18);
        std::vector<uint8_t> plain = row, vector = row;
        blend_span_plain(plain.data(), count, image.data(), w, h, u, v, du, dv);
        blend_span_mmx(vector.data(), count, image.data(), w, h, u, v, du, dv);
        ASSERT_EQ(plain, vector) << "nearest, trial " << trial;
        plain = vector = row;
        blend_span_bilinear_plain(plain.data(), count, image.data(), w, h, u, v, du, dv);
        blend_span_bilinear_mmx(vector.data(), count, image.data(), w, h, u, v, du, dv);
        ASSERT_EQ(plain, vector) << "bilinear, trial " << trial;

        int samples = 2 + next(40);
        std::vector<uint8_t> shades((size_t)samples * samples * 3);
        for (uint8_t &s : shades)
            s = (uint8_t)random();
        int64_t column = (int64_t)next(samples << 16), row_position = (int64_t)next(samples << 16) - 1000;
        int64_t step = next(1 << 17);
        plain = vector = row;
        shade_span_plain(plain.data(), count, shades.data(), samples, column, row_position, step);
        shade_span_mmx(vector.data(), count, shades.data(), samples, column, row_position, step);
        ASSERT_EQ(plain, vector) << "shade, trial " << trial;
        EXPECT_EQ(plain.back(), row.back());   // nothing written past the span
    }
}

TEST(GroundCompositor, DegenerateAndLongDecals)
{
    CompositeTerrain c(32);
    ChainImage solid(8, 8, {{250, 10, 20, 255}});
    c.decal(&solid, 8.0f, 8.0f, 0.0f, 1.0f, 0.0f);      // no size
    c.decal(&solid, 8.0f, 8.0f, 4.0f, 0.0f, 0.3f);      // no width factor
    c.decal(&solid, 8.0f, 8.0f, 1e-30f, 1e30f, 0.7f);   // a sliver with steps out of range
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
    int touched = 0;
    for (int i = 0; i < 32 * 32 * 3; i++)
        touched += c.terrain.composite_buffer[i] != 0;
    EXPECT_EQ(touched, 0);

    // A decal 200000 ft long centred far off the area still lays its colour
    // on it: texture positions that far out need more than 16.16 in 32 bits.
    c.decal(&solid, 99990.0f, 8.0f, 4.0f, 50000.0f, 0.0f);   // x -10..199990, z 6..10
    terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
    // One pixel a foot: rows 6..9.
    expect_pixel(c.pixel(3, 5), rgb(0, 0, 0), "ground beside it");   // no tile image: black
    expect_pixel(c.pixel(3, 6), rgb(250, 10, 20), "under the long decal");
    expect_pixel(c.pixel(31, 9), rgb(250, 10, 20), "its far edge");
    expect_pixel(c.pixel(31, 10), rgb(0, 0, 0), "past it");
}

TEST(GroundCompositor, RotatedDecalsCoverTheirRectangle)
{
    // Through the compositor: a long decal turned so that the corner with the
    // smaller x lies right of the top-bottom diagonal.
    for (float angle : {0.6f, 2.2f, -0.9f}) {
        CompositeTerrain c(64);
        ChainImage solid(8, 8, {{250, 250, 250, 255}});
        const float x = 16.0f, z = 16.0f, s = 5.0f, r = 4.0f;
        c.decal(&solid, x, z, s, r, angle);
        terrain_block_texture_cpu(&c.terrain, 0, 0, 0, 8);
        double p = 2.0, cosine = cos(angle), sine = sin(angle);
        double cx = x * p, cz = z * p;
        double ax = r * s * cosine * p / 2, az = -r * s * sine * p / 2, bx = s * sine * p / 2, bz = s * cosine * p / 2;
        BufferPoint corners[4] = {{cx - ax - bx, cz - az - bz}, {cx + ax - bx, cz + az - bz},
                                  {cx + ax + bx, cz + az + bz}, {cx - ax + bx, cz - az + bz}};
        int wrong = 0, covered = 0;
        for (int py = 0; py < 64; py++)
            for (int px = 0; px < 64; px++) {
                double qx = px + 0.5, qy = py + 0.5;
                int positive = 0, negative = 0;
                for (int i = 0; i < 4; i++) {
                    BufferPoint e0 = corners[i], e1 = corners[(i + 1) % 4];
                    double cross = (e1.x - e0.x) * (qy - e0.y) - (e1.y - e0.y) * (qx - e0.x);
                    positive += cross > 1e-6;
                    negative += cross < -1e-6;
                }
                bool inside = positive == 4 || negative == 4, outside = positive && negative;
                bool drawn = c.pixel(px, py)[0] == 250;
                covered += drawn;
                wrong += (inside && !drawn) || (outside && drawn);
            }
        EXPECT_GT(covered, 300) << angle;
        EXPECT_EQ(wrong, 0) << angle;
    }
}
