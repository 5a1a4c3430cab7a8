// The one way the game replaces a file: the new bytes go to a sibling
// temporary, every write is checked, the temporary is flushed, synced and
// closed, and only then renamed over the old file. On any failure the
// temporary is removed, the old file stays as it was, and one log line
// names the file and the error. Several files can be replaced together:
// all or none.
#pragma once

struct GameFile;

struct ReplacementFile {
    GameFile *file;      // the temporary, open while the writer writes
    char *target_path;   // real path of the file replaced
    char *temp_path;     // real path of the temporary; null when the target is
                         // no regular file (a device) and is written in place
    int failed;          // set by a writer whose own work failed
    int error;           // errno of the first failed write, flush, sync or close
    int closed;          // the temporary is whole on the disk, waiting for its rename
};

// Opens a temporary beside the file at path: a game path ('@' + name) is the
// home folder's copy, any other path is used as it is. 1, or 0 with a log
// line (nothing is left open).
int open_replacement_file(ReplacementFile *out, const char *path);
// Flushes, syncs and closes the temporary: 1 when every byte is on the disk
// and the writer did not fail; else the temporary is removed and one line
// logged. The file can then only be committed or discarded.
int close_replacement_file(ReplacementFile *out);
// Closes the temporary and renames it over the old file: 1 when the target
// holds the new bytes; on failure the old file is untouched, the temporary
// gone and one line logged. Frees what the record holds.
int commit_replacement_file(ReplacementFile *out);
// Drops the new bytes: closes and removes the temporary, frees the record's
// paths. The old file is untouched.
void discard_replacement_file(ReplacementFile *out);
// Replaces every file of the set or none: all temporaries are closed and
// checked before the first rename; the old files are kept beside as
// backups until the last rename succeeded, and when a rename fails the
// files already replaced get their old bytes back (and files that did not
// exist before are removed). 1 when all were replaced. Frees every record.
int commit_replacement_files(ReplacementFile *files, int count);

// A whole file written by one call of the writer (1 when it wrote all it
// meant to); 1 when the file was replaced.
typedef int (*FileWriter)(GameFile *file, void *context);
int replace_file(const char *path, FileWriter writer, void *context);

// The rename used to put files in place and back (the C library's rename;
// tests put a failing one in its place).
extern int (*replace_rename)(const char *from, const char *to);

// Endings of the sibling files: the temporary and the backup of a set.
#define REPLACE_TEMP_SUFFIX ".tmp"
#define REPLACE_BACKUP_SUFFIX ".old"
