// Saving the files of a track together: while a save is open every writer
// writes a sibling temporary in the home folder, and the temporaries replace
// the track's files only when every one of them was written.
#include "track/track.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "core/file.h"
#include "platform/log.h"

enum { TRACK_SAVE_FILES = 32 };

struct TrackSave {
    int open;
    int failed;
    int count;
    char *temporaries[TRACK_SAVE_FILES];   // real paths
    char *targets[TRACK_SAVE_FILES];       // game paths
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

static void forget_track_save(void)
{
    for (int i = 0; i < track_save.count; i++) {
        checked_free(track_save.temporaries[i]);
        checked_free(track_save.targets[i]);
    }
    memset(&track_save, 0, sizeof track_save);
}

void begin_track_save(void)
{
    forget_track_save();
    track_save.open = 1;
}

char *track_write_path(const char *suffix)
{
    char *target = track_file_path(suffix);
    if (!track_save.open)
        return target;
    // Inside a save nothing is written in place: a path that cannot be
    // made is null, which no writer opens.
    const char *home = get_search_folder(0);
    if (!home || track_save.count >= TRACK_SAVE_FILES) {
        track_save.failed = 1;
        checked_free(target);
        return nullptr;
    }
    size_t length = strlen(home) + strlen(target + 1) + sizeof ".tmp";
    char *temporary = (char *)checked_malloc(length);
    char *copy = (char *)checked_malloc(length);
    if (!temporary || !copy) {
        track_save.failed = 1;
        checked_free(temporary);
        checked_free(copy);
        checked_free(target);
        return nullptr;
    }
    snprintf(temporary, length, "%s%s.tmp", home, target + 1);
    memcpy(copy, temporary, length);
    track_save.temporaries[track_save.count] = temporary;
    track_save.targets[track_save.count] = target;
    track_save.count++;
    return copy;
}

static int sync_file(const char *path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    int done = fsync(fd) == 0;
    return close(fd) == 0 && done;
}

int finish_track_save(int commit)
{
    int done = track_save.open && commit && !track_save.failed;
    for (int i = 0; done && i < track_save.count; i++)
        if (!sync_file(track_save.temporaries[i])) {
            log_printf("Can't write '%s'\n", track_save.temporaries[i]);
            done = 0;
        }
    for (int i = 0; done && i < track_save.count; i++)
        if (!rename_game_file(track_save.temporaries[i], track_save.targets[i])) {
            log_printf("Can't rename '%s'\n", track_save.temporaries[i]);
            done = 0;
        }
    for (int i = 0; i < track_save.count; i++)
        remove(track_save.temporaries[i]);   // only those not renamed are left
    forget_track_save();
    return done;
}
