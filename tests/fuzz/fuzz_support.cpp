// The table of fuzz targets and the helpers they share: input files under
// the game data folder, stand-in texture and model loaders, stand-in data
// files, and the reset of what the readers keep between inputs.
#include "fuzz/fuzz_target.h"

#include "bike/shape.h"
#include "core/file.h"
#include "core/message.h"
#include "render/image.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/decals.h"
#include "track/terrain.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <sys/stat.h>

static std::vector<FuzzTarget> &target_table()
{
    static std::vector<FuzzTarget> table;
    return table;
}

FuzzTargetRegistration::FuzzTargetRegistration(const FuzzTarget &target)
{
    target_table().push_back(target);
}

const std::vector<FuzzTarget> &fuzz_targets()
{
    return target_table();
}

const FuzzTarget *find_fuzz_target(const char *name)
{
    for (const FuzzTarget &target : target_table())
        if (!strcmp(target.name, name))
            return &target;
    return nullptr;
}

std::string fuzz_data_folder()
{
    const char *home = getenv("KZ_HOME");
    std::string folder = home && home[0] ? home : ".";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

bool write_data_file(const std::string &relative, const void *data, size_t size)
{
    std::string path = fuzz_data_folder() + relative;
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

bool write_data_file(const std::string &relative, const std::string &bytes)
{
    return write_data_file(relative, bytes.data(), bytes.size());
}

void remove_data_file(const std::string &relative)
{
    remove((fuzz_data_folder() + relative).c_str());
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void remove_data_folder(const std::string &relative)
{
    nftw((fuzz_data_folder() + relative).c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string read_data_file(const std::string &relative)
{
    std::string bytes;
    FILE *f = fopen((fuzz_data_folder() + relative).c_str(), "rb");
    if (!f)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

std::string fuzz_gzip(const std::string &bytes)
{
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    // A small window and little state: compressing is per input here.
    if (deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 9 + 16, 1, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    std::string out(deflateBound(&zs, bytes.size()) + 64, '\0');
    zs.next_in = (Bytef *)bytes.data();
    zs.avail_in = (uInt)bytes.size();
    zs.next_out = (Bytef *)out.data();
    zs.avail_out = (uInt)out.size();
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

void place_input(const std::string &relative, const uint8_t *data, size_t size, int form)
{
    remove_data_file(relative);
    remove_data_file(relative + ".gz");
    if (form == INPUT_PLAIN)
        write_data_file(relative, data, size);
    else if (form == INPUT_RAW_GZIP)
        write_data_file(relative + ".gz", data, size);
    else
        write_data_file(relative + ".gz", fuzz_gzip(std::string((const char *)data, size)));
}

// The arrays live for the whole process (a fresh allocation of this size per
// input costs more than the readers); each use starts from the same values.
static Terrain small_master;
static float *small_start_heights;

static void build_small_master(void)
{
    Terrain *terrain = &small_master;
    int exponent = TERRAIN_MIN_EXPONENT;
    int side = (2 << exponent) + 1, tiles = 1 << exponent;
    size_t samples = (size_t)side * side;
    terrain->grid_exponent = exponent;
    terrain->side = side;
    terrain->cell = 2.0f;
    terrain->double_cell = 4.0f;
    terrain->extent = 2.0f * (float)(2 << exponent);
    terrain->lod_centre_x = terrain->lod_centre_z = LOD_CENTRE_NONE;
    terrain->heights = (float *)checked_calloc(2 * samples, sizeof(float));
    terrain->loaded_heights = terrain->heights + samples;
    small_start_heights = (float *)checked_calloc(2 * samples, sizeof(float));
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++)
            small_start_heights[(size_t)row * side + column] = small_start_heights[samples + (size_t)row * side + column] =
                0.05f * (float)column + 0.02f * (float)row;
    terrain->min_height = 0.0f;
    terrain->max_height = small_start_heights[samples - 1];
    terrain->shading_dirty = allocate_terrain_bitmap((int)samples, 0);
    terrain->triangle_dirty = allocate_terrain_bitmap(terrain_triangle_count(terrain), 1);
    terrain->face_normals = (float *)checked_calloc((size_t)terrain_triangle_count(terrain) * 3, sizeof(float));
    terrain->tile_map = (uint8_t *)checked_calloc((size_t)tiles * tiles, 1);
    roost_defaults(&terrain->tiles[0]);
    terrain->tiles[0].erosion.limit_count = 1;
    terrain->tiles[0].erosion.limit_value2[0] = 1.0f;
    terrain->tiles[0].erosion.limit_value3[0] = 1.0f;
    terrain->tile_count = 1;
    terrain->change_counter = 1;
    terrain->texture_mode = 1;
}

void make_small_terrain(Terrain *terrain)
{
    if (!small_master.heights)
        build_small_master();
    int side = small_master.side, tiles = 1 << small_master.grid_exponent;
    size_t samples = (size_t)side * side;
    int triangles = terrain_triangle_count(&small_master);
    memcpy(small_master.heights, small_start_heights, 2 * samples * sizeof(float));
    memset(small_master.shading_dirty, 0, ((samples + 31) / 32) * sizeof(uint32_t));
    memset(small_master.triangle_dirty, 0xff, (((size_t)triangles + 31) / 32) * sizeof(uint32_t));
    memset(small_master.tile_map, 0, (size_t)tiles * tiles);
    *terrain = small_master;
}

void free_small_terrain(Terrain *terrain)
{
    free_decal_storage(terrain);
    memset(terrain, 0, sizeof *terrain);
}

void reset_reader_state(void)
{
    free_textures(1);
    free_images(1);
    free_shape_cache();
    reset_file_layer();
    free_models(1);
    memset(&message_log, 0, sizeof message_log);
}

void write_stand_in_files(void)
{
    // A 4 x 4 RGBA image in the raw predicted form, a 2 x 2 text PPM, a
    // collision shape of two spheres and a model file (that the model reader
    // refuses: statues then stand without a model).
    std::string raw = "J7 4 4\n" + std::string(4 * 4 * 4, '\x10');
    write_data_file("fuzz/tile.png", raw);
    write_data_file("fuzz/decal.ppm", std::string("P3 2 2 255 1 2 3 4 5 6 7 8 9 10 11 12\n"));
    write_data_file("fuzz/box.shp", std::string("2\n0 0 0 1 1 1 1\n0 1 0 0.5 1 1 1\n"));
    write_data_file("fuzz/model.jm", std::string("model\n"));
    // The starting gate's default model, texture and shape.
    write_data_file("startgate.jm", std::string("model\n"));
    write_data_file("startgate.ppm", std::string("P3 1 1 255 1 2 3\n"));
    write_data_file("startgate.shp", std::string("0\n"));
}

FuzzSplit split_selector(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {0, data, 0};
    return {data[0], data + 1, size - 1};
}

std::string input_text(const uint8_t *data, size_t size)
{
    return std::string((const char *)data, size);
}
