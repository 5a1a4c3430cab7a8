// A temporary game data folder for a benchmark program: its own home and
// data folders, removed when the program ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

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

inline int remove_bench_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

inline void remove_bench_folder(const std::string &dir)
{
    if (!dir.empty())
        nftw(dir.c_str(), remove_bench_entry, 16, FTW_DEPTH | FTW_PHYS);
}
