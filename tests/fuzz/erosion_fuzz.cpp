// Fuzz target "erosion": erosion messages as they arrive from the network
// or a demo, queued and drained into a small terrain whose tile kinds come
// from a tileinfo text. Input: the tileinfo text up to the first NUL byte,
// then up to two messages of one length byte each followed by their bytes.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "race/race_state.h"
#include "track/erosion.h"
#include "track/terrain.h"

#include <cstring>

enum { EROSION_MESSAGES_PER_INPUT = 2 };

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    static Terrain terrain;
    make_small_terrain(&terrain);
    const uint8_t *nul = (const uint8_t *)memchr(input.data, 0, input.size);
    size_t text_size = nul ? (size_t)(nul - input.data) : input.size;
    if (text_size > 0) {
        write_data_file("fuzz/tileinfo", input.data, text_size);
        GameFile *file = file_open("@fuzz/tileinfo", "rb");
        if (file) {
            parse_tileinfo(&terrain, file);
            file_close(file);
        }
        if (terrain.tile_count == 0) {
            roost_defaults(&terrain.tiles[0]);
            terrain.tile_count = 1;
        }
        // Tile kinds in stripes across the map.
        int tiles = terrain_tile_side(&terrain);
        for (int i = 0; i < tiles * tiles; i++)
            terrain.tile_map[i] = (uint8_t)(i / tiles % terrain.tile_count);
    }
    current_terrain = &terrain;
    reset_erosion_queue();
    current_tic = 0;
    const uint8_t *at = nul ? nul + 1 : input.data + input.size;
    const uint8_t *end = input.data + input.size;
    // A few messages per input: at the largest rut radius each point digs
    // about a thousand samples, and the drain below runs until the queue is
    // empty (the game digs count / 512 + 4 points a frame).
    for (int messages = 0; at < end && messages < EROSION_MESSAGES_PER_INPUT; messages++) {
        int length = *at++;
        if (length > end - at)
            length = (int)(end - at);
        queue_erosion_message(at, length);
        at += length;
    }
    float viewer[3] = {100.0f, 0.0f, 100.0f};
    float amount = (float)(input.selector & 0x7f) * 0.8f;
    for (int frame = 0; frame < 4096 && erosion_queue.count > 0; frame++) {
        drain_erosion_queue(input.selector & 0x80 ? viewer : nullptr, amount);
        current_tic++;
    }
    reset_erosion_queue();
    current_tic = 0;
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    // Messages as the tyres' records encode them.
    std::string messages;
    for (int k = 0; k < 3; k++) {
        ErosionRecord record;
        clear_erosion_record(&record);
        record.point_count = 1 + k * 20;
        for (int i = 0; i < record.point_count; i++)
            record.points[i] = {100.0f + 0.5f * (float)i, 120.0f + 0.25f * (float)i * (float)k,
                                k == 1 ? -1.0f : 0.7f, k == 2 ? 0.0f : 0.7f, 1 + i % 15};
        record.step_bounds[0] = record.step_bounds[1] = -1.0f;
        record.step_bounds[2] = record.step_bounds[3] = 1.0f;
        uint8_t message[EROSION_MESSAGE_MAX];
        int length = encode_erosion_record(message, &record);
        messages += (char)(length > 255 ? 255 : length);
        messages += std::string((const char *)message, length > 255 ? 255 : length);
    }
    std::string tileinfo = "name mud\nerode_depth 0.3\nerode_radius 4\nerode_displacement 1.5\n"
                           "erode_limit 0 1 1\nerode_limit 0.5 0.5 0.2\naddtile\n"
                           "name rock\nerode_depth 0\naddtile\n";
    seeds->push_back({"default-tile", std::string(1, '\x40') + std::string(1, '\0') + messages});
    seeds->push_back({"tileinfo", std::string(1, '\x7f') + tileinfo + std::string(1, '\0') + messages});
    seeds->push_back({"viewer", std::string(1, '\xc0') + tileinfo + std::string(1, '\0') + messages});
}

RUT_FUZZ_TARGET(erosion, run, make_seeds);
