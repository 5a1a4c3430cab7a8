// The track catalogue: every folder of the game data that holds a
// "terrain.hf" (or "terrain.hf.gz"), with the long name from its "desc"
// file, sorted by long name without regard to case.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/loading.h"
#include "app/shell.h"
#include "core/alloc.h"
#include "core/file.h"
#include "platform/log.h"
#include "track/track.h"

TrackCatalogue track_catalogue;

static int ends_with(const char *name, const char *tail)
{
    size_t length = strlen(name), t = strlen(tail);
    return length >= t && !strcmp(name + length - t, tail);
}

// The first line of the folder's "desc" file, or a copy of the folder.
static char *read_long_name(const char *folder)
{
    char *path = (char *)xmalloc(strlen(folder) + 7);
    sprintf(path, "@%s/desc", folder);
    GameFile *file = file_open(path, "rb");
    checked_free(path);
    size_t length = 0, capacity = 64;
    char *name = (char *)xmalloc(capacity);
    if (!file) {
        checked_free(name);
        name = (char *)xmalloc(strlen(folder) + 1);
        strcpy(name, folder);
        return name;
    }
    int c;
    while ((c = file_getc(file)) >= 0 && c != '\r' && c != '\n' && c != 0) {
        if (length + 1 >= capacity) {
            char *grown = (char *)checked_realloc(name, capacity * 2);
            if (!grown)
                break;
            name = grown;
            capacity *= 2;
        }
        name[length++] = (char)c;
    }
    name[length] = 0;
    file_close(file);
    return name;
}

// Byte by byte after lower-casing; a prefix comes first.
static int compare_long_names(const char *a, const char *b)
{
    for (;; a++, b++) {
        int ca = tolower((unsigned char)*a), cb = tolower((unsigned char)*b);
        if (ca != cb || !ca)
            return ca - cb;
    }
}

void free_track_catalogue(void)
{
    for (int i = 0; i < track_catalogue.count; i++) {
        checked_free(track_catalogue.folders[i]);
        checked_free(track_catalogue.long_names[i]);
    }
    checked_free(track_catalogue.folders);
    checked_free(track_catalogue.long_names);
    track_catalogue.folders = track_catalogue.long_names = nullptr;
    track_catalogue.count = 0;
}

int scan_track_catalogue(void)
{
    free_track_catalogue();
    const char *const *names = build_file_index();
    if (!names)
        return 0;
    int found = 0;
    for (int i = 0; names[i]; i++)
        if (ends_with(names[i], "/terrain.hf") || ends_with(names[i], "/terrain.hf.gz"))
            found++;
    if (!found)
        return 0;
    track_catalogue.folders = (char **)xmalloc(found * sizeof(char *));
    track_catalogue.long_names = (char **)xmalloc(found * sizeof(char *));
    for (int i = 0; names[i]; i++) {
        if (!ends_with(names[i], "/terrain.hf") && !ends_with(names[i], "/terrain.hf.gz"))
            continue;
        tick_busy_indicator();
        size_t folder_length = (size_t)(strrchr(names[i], '/') - names[i]);
        char *folder = (char *)xmalloc(folder_length + 1);
        memcpy(folder, names[i], folder_length);
        folder[folder_length] = 0;
        int n = track_catalogue.count++;
        track_catalogue.folders[n] = folder;
        track_catalogue.long_names[n] = read_long_name(folder);
    }
    int count = track_catalogue.count;
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            if (compare_long_names(track_catalogue.long_names[i], track_catalogue.long_names[j]) > 0) {
                char *swap = track_catalogue.long_names[i];
                track_catalogue.long_names[i] = track_catalogue.long_names[j];
                track_catalogue.long_names[j] = swap;
                swap = track_catalogue.folders[i];
                track_catalogue.folders[i] = track_catalogue.folders[j];
                track_catalogue.folders[j] = swap;
            }
    if (verbose_setting)
        for (int i = 0; i < count; i++)
            log_printf("%s -> %s\n", track_catalogue.folders[i], track_catalogue.long_names[i]);
    return 1;
}
