// The manifest of a generated data set: the size and RIPEMD-160 of every
// file, the versions of the libraries and fonts it was made with, the
// stock shapes' digest and each track's digest.
#pragma once

#include "tools/datagen/gen_output.h"

enum { MANIFEST_TRACKS = 8 };

struct ManifestInfo {
    char stock_shape_digest[41];
    char font_versions[512];
    int track_count;
    char track_folders[MANIFEST_TRACKS][128];
    char track_digests[MANIFEST_TRACKS][41];
};

// RIPEMD-160 of bytes as 40 lower-case hexadecimal digits.
void digest_hex(const void *bytes, size_t size, char *hex);
// The digest the game gives a track (terrain.hf, terrain.png, texturelist,
// tilemap, tileinfo, timing_gates, statues, then each distinct statue
// shape file), computed from the files of the set (".gz" ones unpacked).
int compute_track_digest(const DataSet *set, const char *track_folder, char *hex);
int write_manifest(const char *path, const DataSet *data, const DataSet *fixtures, const ManifestInfo *info);
