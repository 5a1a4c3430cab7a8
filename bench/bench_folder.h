// A temporary game data folder for a benchmark program: its own home and
// data folders, removed when the program ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

#include "bike/bike_models.h"
#include "track/terrain.h"

// Makes the folder and points XDG_DATA_HOME and KZ_HOME into it; its path,
// or an empty string on failure.
inline std::string make_bench_folder()
{
    char folder[] = "/tmp/rutline-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("mkdtemp");
        return std::string();
    }
    std::string dir = folder;
    mkdir((dir + "/xdg").c_str(), 0755);
    mkdir((dir + "/data").c_str(), 0755);
    setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
    setenv("KZ_HOME", (dir + "/data").c_str(), 1);
    return dir;
}

// The generated game data's folder (RUTLINE_GAMEDATA, else the build tree's
// `gamedata` output), or an empty string when it has not been made.
inline std::string generated_data_root()
{
    const char *env = getenv("RUTLINE_GAMEDATA");
    std::string dir = env ? env : "";
#ifdef RUTLINE_GAMEDATA_DIR
    if (dir.empty())
        dir = RUTLINE_GAMEDATA_DIR;
#endif
    struct stat info;
    if (dir.empty() || stat((dir + "/manifest.txt").c_str(), &info) != 0)
        return std::string();
    return dir;
}

// Ends the program when a fixture file was not written whole: a benchmark
// over missing data would measure something else.
inline void require_written(bool written, const std::string &path)
{
    if (written)
        return;
    fprintf(stderr, "Can't write the benchmark file %s\n", path.c_str());
    exit(1);
}

// Writes a file, making its folders.
inline void write_bench_file(const std::string &path, const std::string &bytes)
{
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    FILE *f = fopen(path.c_str(), "wb");
    bool written = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written = f && fclose(f) == 0 && written;
    require_written(written, path);
}

// One sphere line of a ".shp" collision shape.
inline std::string shape_sphere(float x, float y, float z, float r)
{
    char line[128];
    snprintf(line, sizeof line, "%g %g %g %g 0.5 25000 2500\n", x, y, z, r);
    return line;
}

inline int remove_bench_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

inline void remove_bench_folder(const std::string &dir)
{
    if (!dir.empty())
        nftw(dir.c_str(), remove_bench_entry, 16, FTW_DEPTH | FTW_PHYS);
}

// One-triangle meshes under the data folder for every mesh file that a bike
// model names, so that bikes build on their normal path without warnings.
inline void write_bench_bike_meshes(const std::string &dir)
{
    for (int m = 0; m < BIKE_MODEL_COUNT; m++)
        for (int part = 0; part < BIKE_PART_FILE_COUNT; part++) {
            std::string name = bike_models[m].part_files[part];
            if (name.size() < 4 || name.compare(name.size() - 3, 3, ".jm") != 0)
                continue;
            std::string path = dir + "/data/" + (name[0] == '@' ? name.substr(1) : name);
            write_bench_file(path, "3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n");
        }
}

// An in-memory terrain of 257 x 257 samples in 2 ft cells (512 ft square)
// over the given heights; everything else zero.
inline void set_bench_terrain(Terrain *terrain, float *heights)
{
    memset(terrain, 0, sizeof *terrain);
    terrain->grid_exponent = 7;
    terrain->side = 257;
    terrain->cell = 2.0f;
    terrain->double_cell = 4.0f;
    terrain->extent = 512.0f;
    terrain->heights = terrain->loaded_heights = heights;
}
