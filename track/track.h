// The current track: loading a track folder into a playable track (terrain,
// lighting, timing gates, flaggers, billboards, statues, map, object grid
// and cameras) with its content digest, freeing it again, and the track
// catalogue of every track in the game data.
#pragma once

#include <cstdint>

#include "track/terrain.h"

struct GameFile;

struct CurrentTrack {
    char *folder;        // relative, no '@', no trailing '/'; set before load_track
    char *long_name;
    uint8_t digest[20];
    int map_texture;
};

extern CurrentTrack current_track;
extern Terrain track_terrain;   // the terrain current_terrain points at while loaded

struct TrackCatalogue {
    char **folders;
    char **long_names;
    int count;
};
extern TrackCatalogue track_catalogue;

// Replaces the track folder (a copy is kept); null clears it.
void set_track_folder(const char *folder);
// "@" + track folder + suffix, newly allocated (never null).
char *track_file_path(const char *suffix);
// Opens folder + "/" + name; with complain a failure shows "Can't open '%.950s'".
GameFile *open_track_file(const char *folder, const char *name, const char *mode, int complain);

// Writing a track's files. A writer opens its file (the game path "@" +
// track folder + suffix) with open_track_write (null, with a log line, when
// it cannot) and ends it with close_track_write, saying whether it wrote all
// it meant to; 1 when every byte reached the disk. Outside a save that
// replaces the old file at once. Between begin_track_save and
// finish_track_save the checked temporaries wait, and finish puts them all
// in place when commit is set and every one was written, or none: 1 when
// the files were replaced.
void begin_track_save(void);
GameFile *open_track_write(const char *suffix);
int close_track_write(GameFile *file, int written);
// close_track_write that shows "Can't write '<name>'" when it fails.
int close_track_write_reporting(GameFile *file, const char *name, int written);
int finish_track_save(int commit);
// 1 when the current track's folder is one the catalogue lists.
int track_folder_listed(void);

int load_track(void);
void free_track(void);

int scan_track_catalogue(void);
void free_track_catalogue(void);
