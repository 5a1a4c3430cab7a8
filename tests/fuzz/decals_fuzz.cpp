// Fuzz target "decals": the track folder's "decals" file, read into a small
// terrain in either texture mode (images through the image cache, or
// texture ids with their normal and specular companions).
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "track/decals.h"
#include "track/terrain.h"

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    place_input("fuzz/decals", input.data, input.size, input.selector & 4 ? INPUT_GZIPPED : INPUT_PLAIN);
    static Terrain terrain;
    make_small_terrain(&terrain);
    terrain.texture_mode = 1 + input.selector % 3;
    terrain.normal_mapping = (input.selector & 8) != 0;
    GameFile *file = file_open("@fuzz/decals", "rb");
    if (file) {
        load_decals(&terrain, file);
        file_close(file);
    }
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    const char *texts[] = {
        "[ 10 20 ] 0.5 4 2 @fuzz/decal.ppm\n[ 1 2 ] 0 1 1 @marks/gone.png\n[ 30.25 40 ] 0 8 0.5 @fuzz/tile.png\n",
        "[ 500 500 ] 3.1 100 0.1 @fuzz/decal.ppm\n[ -10 1e999 ] 0 1 1 @fuzz/decal.ppm\n[ 2 2 ] 1 1 1 x\n",
    };
    for (int mode = 0; mode < 3; mode++)
        for (int i = 0; i < 2; i++)
            seeds->push_back({"decals-" + std::to_string(mode) + "-" + std::to_string(i),
                              std::string(1, (char)(mode | (i ? 8 : 0))) + texts[i]});
}

RUT_FUZZ_TARGET(decals, run, make_seeds);
