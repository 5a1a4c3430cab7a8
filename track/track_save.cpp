// Writing the files of a track: each writer opens its file through
// open_track_write and ends it with close_track_write. Outside a save each
// file replaces its old one on its own; while a save is open the checked
// temporaries wait, and finish_track_save puts them all in place or none.
#include "track/track.h"

#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/message.h"
#include "core/replace_file.h"
#include "platform/log.h"

enum { TRACK_SAVE_FILES = 32 };

struct TrackSave {
    int open;
    int failed;
    int count;
    ReplacementFile files[TRACK_SAVE_FILES];
};

static TrackSave track_save;

int track_folder_listed(void)
{
    if (!current_track.folder)
        return 0;
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders[i] && !strcmp(track_catalogue.folders[i], current_track.folder))
            return 1;
    return 0;
}

static void discard_track_files(void)
{
    for (int i = 0; i < track_save.count; i++)
        discard_replacement_file(&track_save.files[i]);
    memset(&track_save, 0, sizeof track_save);
}

void begin_track_save(void)
{
    discard_track_files();
    track_save.open = 1;
}

GameFile *open_track_write(const char *suffix)
{
    if (track_save.count >= TRACK_SAVE_FILES) {
        log_printf("Can't write '%s': too many track files at once\n", suffix);
        track_save.failed = 1;
        return nullptr;
    }
    char *target = track_file_path(suffix);
    ReplacementFile *file = &track_save.files[track_save.count];
    int opened = open_replacement_file(file, target);
    checked_free(target);
    if (!opened) {
        track_save.failed = 1;
        return nullptr;
    }
    track_save.count++;
    return file->file;
}

int close_track_write(GameFile *file, int written)
{
    int i = 0;
    while (i < track_save.count && (!file || track_save.files[i].file != file))
        i++;
    if (i == track_save.count)
        return 0;
    ReplacementFile *entry = &track_save.files[i];
    if (!written)
        entry->failed = 1;
    if (track_save.open) {
        int whole = close_replacement_file(entry);
        if (!whole)
            track_save.failed = 1;
        return whole;
    }
    int done = commit_replacement_file(entry);
    track_save.count--;
    memmove(entry, entry + 1, (size_t)(track_save.count - i) * sizeof *entry);
    return done;
}

int close_track_write_reporting(GameFile *file, const char *name, int written)
{
    if (close_track_write(file, written))
        return 1;
    char message[128];
    snprintf(message, sizeof message, "Can't write '%.100s'", name);
    print_message(message);
    return 0;
}

int finish_track_save(int commit)
{
    int done = track_save.open && commit && !track_save.failed;
    if (done)
        done = commit_replacement_files(track_save.files, track_save.count);
    else
        for (int i = 0; i < track_save.count; i++)
            discard_replacement_file(&track_save.files[i]);
    memset(&track_save, 0, sizeof track_save);
    return done;
}
