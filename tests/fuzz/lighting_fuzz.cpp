// Fuzz target "lighting": the track folder's "lighting" file (sun, ambient,
// sky box, lens flares, fog, clip planes) and its "cameras" file, the
// cameras standing on a small terrain.
#include "fuzz/fuzz_target.h"

#include "track/lighting.h"
#include "track/terrain.h"

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int cameras = input.selector & 1;
    place_input("fuzz/lighting", input.data, input.size, input.selector & 2 ? INPUT_GZIPPED : INPUT_PLAIN);
    static Terrain terrain;
    make_small_terrain(&terrain);
    current_terrain = &terrain;
    if (cameras)
        read_cameras("@fuzz/lighting");
    else
        read_lighting("@fuzz/lighting");
    free_flare_list();
    free_growable_array(&track_cameras);
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"lighting", std::string(1, '\0') +
                                      "sun_vector [ 1 -2 0.5 ]\nsun_color [ 1 0.9 0.8 ]\nambient [ 0.2 0.2 0.3 ]\n"
                                      "global_ambient [ 0.1 0.1 0.1 ]\nnear_plane 0.5\nfar_plane 3000\n"
                                      "dynamic_lighting 1\nfog [ 0.5 0.6 0.7 ] 0.001\n"
                                      "sky_n @fuzz/tile.png\nsky_e @fuzz/decal.ppm\nsky_s x\nsky_w x\nsky_u x\nsky_env x\n"
                                      "flare_point [ 100 200 300 ]\n"
                                      "flare_element [ 0.1 0.2 ] [ 1 1 1 ] 0.5 @fuzz/tile.png\n"
                                      "flare_vector [ 0 1 0 ]\n"
                                      "flare_element [ -0.1 0.2 ] [ 1 0 1 ] 2 @fuzz/decal.ppm\n"});
    seeds->push_back({"lighting-clamps", std::string(1, '\2') + "near_plane 2\nfar_plane 0.1\nnear_plane 1e999\nbogus 1\n"});
    seeds->push_back({"cameras", std::string(1, '\1') +
                                     "fov 60\naddcamera 10 5 20\naddcamera 30 1 40\n"
                                     "autofovsize -12\nfov -45\naddcamera 1 2\n"
                                     "gate 3 7 300 9\naddcamera 50 0 60\n"
                                     "something else\n"});
}

RUT_FUZZ_TARGET(lighting, run, make_seeds);
