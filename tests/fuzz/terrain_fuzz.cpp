// Fuzz target "terrain": the terrain files of a track folder read by
// load_terrain: terrain.hf (raw body, plain or gzip), terrain.png, the
// shading image, the shadow image and the tile map. The first byte picks the
// file the rest of the input replaces; the others are good fixture files.
#include "fuzz/fuzz_target.h"

#include "render/image.h"
#include "track/terrain.h"

#include <cstdio>
#include <cstring>
#include <functional>

enum {
    FIXTURE_EXPONENT = 7,
    FIXTURE_SIDE = (2 << FIXTURE_EXPONENT) + 1,
    FIXTURE_TILES = 1 << FIXTURE_EXPONENT,
    // Larger grids are valid (up to exponent 13) but a flat or terrain.png
    // field of that size only costs time: inputs that declare one without a
    // raw body are passed over.
    FUZZ_MAX_EXPONENT = 8,
};

enum TerrainFile {
    HEIGHTS_PLAIN,
    HEIGHTS_GZIP,
    HEIGHTS_PNG,
    SHADING_DOUBLED,
    SHADING_HALVED,
    SHADOWS,
    TILE_MAP,
    TERRAIN_FILES,
};

static const char FOLDER[] = "tracks/fuzz/";

static std::string height_field_bytes(int exponent, float cell, float min, float max, int raw)
{
    int side = (2 << exponent) + 1;
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n%s", exponent, cell, min, max, raw ? ":" : "");
    std::string bytes = header;
    for (int row = 0; raw && row < side; row++)
        for (int column = 0; column < side; column++) {
            int v = (column * 200 + row * 7) & 0xffff;
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    return bytes;
}

static std::string shading_bytes(int side, int value, const char *magic)
{
    std::string bytes = std::string(magic) + "\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
    bytes += std::string((size_t)side * side * (magic[1] == '5' ? 1 : 3), (char)value);
    return bytes;
}

// The good files of the fixture track: all of them the first time, then the
// ones the last input replaced.
static void write_fixture(int replaced)
{
    std::string dir = FOLDER;
    if (replaced < 0) {
        remove_data_folder("tracks/fuzz");
        write_data_file(dir + "tileinfo", std::string("name dirt\naddtile\nname sand\naddtile\n"));
    }
    if (replaced <= HEIGHTS_PNG) {
        for (const char *name : {"terrain.hf", "terrain.hf.gz", "terrain.png"})
            remove_data_file(dir + name);
        static const std::string heights = height_field_bytes(FIXTURE_EXPONENT, 2.0f, 0.0f, 10.0f, 1);
        write_data_file(dir + "terrain.hf", heights);
    }
    if (replaced < 0 || replaced == SHADING_DOUBLED || replaced == SHADING_HALVED) {
        remove_data_file(dir + "shading.ppm");
        static const std::string shading = shading_bytes(FIXTURE_SIDE, 64, "P6");
        write_data_file(dir + "shadingx2.ppm", shading);
    }
    if (replaced == SHADOWS)
        remove_data_file(dir + "shadows.pgm");
    if (replaced < 0 || replaced == TILE_MAP)
        write_data_file(dir + "tilemap", std::string((size_t)FIXTURE_TILES * FIXTURE_TILES, '\1'));
}

// 0 when a height header asks for a grid this target does not fuzz.
static int header_is_fuzzed(const std::string &text)
{
    int exponent = 0, used = 0;
    float cell, min, max;
    if (sscanf(text.c_str(), "%d %f %f %f %n", &exponent, &cell, &min, &max, &used) != 4)
        return 1;
    return exponent <= FUZZ_MAX_EXPONENT || text[used] == ':';
}

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int which = input.selector % TERRAIN_FILES;
    std::string text = input_text(input.data, input.size);
    if (which <= HEIGHTS_GZIP && !header_is_fuzzed(text))
        return 0;
    // The game data folder is fresh in each test process: start over there.
    static std::string fixture_folder;
    static int replaced = -1;
    if (fixture_folder != fuzz_data_folder()) {
        fixture_folder = fuzz_data_folder();
        replaced = -1;
    }
    write_fixture(replaced);
    replaced = which;
    std::string dir = FOLDER;
    switch (which) {
    case HEIGHTS_PLAIN:
    case HEIGHTS_GZIP:
        place_input(dir + "terrain.hf", input.data, input.size, which == HEIGHTS_PLAIN ? INPUT_PLAIN : INPUT_GZIPPED);
        break;
    case HEIGHTS_PNG:
        write_data_file(dir + "terrain.hf", height_field_bytes(FIXTURE_EXPONENT, 2.0f, -5.0f, 20.0f, 0));
        write_data_file(dir + "terrain.png", input.data, input.size);
        break;
    case SHADING_DOUBLED:
        write_data_file(dir + "shadingx2.ppm", input.data, input.size);
        break;
    case SHADING_HALVED:
        remove_data_file(dir + "shadingx2.ppm");
        write_data_file(dir + "shading.ppm", input.data, input.size);
        break;
    case SHADOWS:
        write_data_file(dir + "shadows.pgm", input.data, input.size);
        break;
    default:
        write_data_file(dir + "tilemap", input.data, input.size);
        break;
    }
    Terrain terrain;
    memset(&terrain, 0, sizeof terrain);
    std::string folder = "@tracks/fuzz";
    load_terrain(&terrain, folder.c_str(), 1 + (input.selector >> 4) % 3);
    free_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    auto add = [&](const char *name, int which, const std::string &bytes) {
        seeds->push_back({name, std::string(1, (char)which) + bytes});
    };
    add("heights-raw", HEIGHTS_PLAIN, height_field_bytes(FIXTURE_EXPONENT, 2.0f, 0.0f, 10.0f, 1));
    add("heights-gzip", HEIGHTS_GZIP, height_field_bytes(FIXTURE_EXPONENT, 1.5f, -3.0f, 30.0f, 1));
    add("heights-flat", HEIGHTS_PLAIN, height_field_bytes(FIXTURE_EXPONENT, 2.0f, 1.0f, 1.0f, 0));
    add("heights-mode3", HEIGHTS_PLAIN + 0x20, height_field_bytes(FIXTURE_EXPONENT, 2.0f, 0.0f, 10.0f, 1));
    // A grey height image as the game's own writer makes it.
    std::vector<uint16_t> grey(9 * 7);
    for (size_t i = 0; i < grey.size(); i++)
        grey[i] = (uint16_t)(i * 1013);
    if (write_png_gray16((fuzz_data_folder() + "fuzz/seed_grey.png").c_str(), grey.data(), 9, 7))
        add("heights-png", HEIGHTS_PNG, read_data_file("fuzz/seed_grey.png"));
    std::vector<uint8_t> rgb(5 * 4 * 3, 77);
    if (write_png_rgb((fuzz_data_folder() + "fuzz/seed_rgb.png").c_str(), rgb.data(), 5, 4))
        add("heights-png-rgb", HEIGHTS_PNG, read_data_file("fuzz/seed_rgb.png"));
    add("shading", SHADING_DOUBLED, shading_bytes(FIXTURE_SIDE, 64, "P6"));
    add("shading-halved", SHADING_HALVED, shading_bytes(FIXTURE_SIDE, 200, "P6"));
    add("shading-raw", SHADING_DOUBLED, "J6 2 2\n" + std::string(12, '\x05'));
    add("shadows", SHADOWS, shading_bytes(FIXTURE_SIDE, 30, "P5"));
    add("tilemap", TILE_MAP, std::string((size_t)FIXTURE_TILES * FIXTURE_TILES, '\3'));
}

RUT_FUZZ_TARGET(terrain, run, make_seeds);
