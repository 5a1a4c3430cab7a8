// Fuzz target "tiles": the track folder's "tileinfo" and older
// "texturelist" files, read into a terrain's tile kinds with their images.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "track/terrain.h"

#include <cstring>

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int texturelist = input.selector & 1;
    place_input("fuzz/tiles", input.data, input.size, input.selector & 2 ? INPUT_GZIPPED : INPUT_PLAIN);
    static Terrain terrain;
    memset(&terrain, 0, sizeof terrain);
    GameFile *file = file_open("@fuzz/tiles", "rb");
    if (file) {
        if (texturelist)
            parse_texturelist(&terrain, file);
        else
            parse_tileinfo(&terrain, file);
        file_close(file);
    }
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    const char *tileinfo[] = {
        "name dirt\naddtile\n",
        "  name   a very long tile name that goes well past forty-seven characters\r\n"
        "texture @fuzz/tile.png\n"
        "friction 0.8 30\nfriction -1 2e6\nfriction 0.9 10\nfriction x\n"
        "roll_resist 1 2 0\nroll_resist 3 -4 5\n"
        "slip_function 7\n"
        "erode_limit 0.1 2 3\nerode_limit 0.1 4 5\nerode_limit 0.3 6 7\n"
        "erode_depth abc\nerode_radius 6\nwobble 3\n\n"
        "addtile\n"
        "name dropped\n",
        "roost count=abc \"size=0.5\" splash=1 r=300 fade_a=-256 bogus=1\n"
        "roost grow=2 texture=@fuzz/tile.png dig=0.5 slip_threshold=1 slow_angle=0.1 fast_angle=0.5\n"
        "roost slow_speed=1 fast_speed=9 drag=0.1 vscale=2 randomize=0.5 g=10 b=20 a=30 fade_r=1 fade_g=-1 fade_b=2\n"
        "addtile\n",
        "texture @tiles/sand.png\naddtile\ntexture @tiles/grass.png\naddtile\n"
        "texture @tiles/sand-grass-1001.png\naddtile\ntexture @tiles/sand-alt2.png\naddtile\n",
        "erode_depth 0.2\nerode_lower 0.1\nerode_upper 0.3\nerode_displacement 1\nerode_radius 4\n"
        "erode_inner_depth 0.1\nerode_inner_radius 2\nerode_min_slope -1\nerode_max_slope 1\n"
        "erode_off_speed 1\nerode_on_speed 2\nerode_slip_lower 0\nerode_slip_upper 1\n"
        "erode_slip_base_scale 1\nerode_slip_scale 1\nerode_downhill_scale 1\nerode_project_to_ground 1\n"
        "erode_lateral_scale 1\nerode_front_scale 1\naddtile\n",
    };
    int n = 0;
    for (const char *text : tileinfo)
        seeds->push_back({"tileinfo-" + std::to_string(n++), std::string(1, '\0') + text});
    seeds->push_back({"tileinfo-gzip", std::string(1, '\2') + tileinfo[1]});
    seeds->push_back({"texturelist", std::string(1, '\1') + "grass.png\n  0.7 4 12 mud.png\r\n\n1.5 ice.png\nsand.png"});
    seeds->push_back({"texturelist-stand-in", std::string(1, '\1') + "fuzz/tile.png\n0.5 2 3 fuzz/decal.ppm\n"});
}

RUT_FUZZ_TARGET(tiles, run, make_seeds);
