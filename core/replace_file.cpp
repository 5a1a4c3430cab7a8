// Replacing files through sibling temporaries: checked writes, flush, sync
// and close before the rename, one log line on failure, and sets of files
// replaced all or none with the old files kept beside until the end.
#include "core/replace_file.h"

#include "core/alloc.h"
#include "core/file.h"
#include "core/game_file.h"
#include "platform/log.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

int (*replace_rename)(const char *from, const char *to) = rename;

static char *path_with_suffix(const char *path, const char *suffix)
{
    size_t length = strlen(path), extra = strlen(suffix);
    char *joined = (char *)checked_malloc(length + extra + 1);
    if (!joined)
        return nullptr;
    memcpy(joined, path, length);
    memcpy(joined + length, suffix, extra + 1);
    return joined;
}

// The real path a game path is written to: '@' names are the home
// folder's files. Caller frees; null without a home folder.
static char *real_target_path(const char *path)
{
    if (path[0] != '@')
        return path_with_suffix(path, "");
    const char *home = get_search_folder(0);
    if (!home)
        return nullptr;
    char *joined = join_path(home, path + 1);
    return joined;
}

// A link is followed, so that the file it names is replaced and the link
// stays.
static char *follow_link(char *target)
{
    struct stat status;
    if (lstat(target, &status) != 0 || !S_ISLNK(status.st_mode))
        return target;
    char *resolved = realpath(target, nullptr);
    if (!resolved)
        return target;
    char *copy = path_with_suffix(resolved, "");
    free(resolved);
    if (!copy)
        return target;
    checked_free(target);
    return copy;
}

static void forget_paths(ReplacementFile *out)
{
    checked_free(out->target_path);
    checked_free(out->temp_path);
    out->target_path = out->temp_path = nullptr;
}

static void log_failure(const char *what, const char *path, int error)
{
    if (error)
        log_printf("%s '%s': %s\n", what, path ? path : "(no path)", strerror(error));
    else
        log_printf("%s '%s'\n", what, path ? path : "(no path)");
}

int open_replacement_file(ReplacementFile *out, const char *path)
{
    memset(out, 0, sizeof *out);
    out->target_path = path ? real_target_path(path) : nullptr;
    if (!out->target_path) {
        log_failure("Can't write", path, ENOENT);
        return 0;
    }
    out->target_path = follow_link(out->target_path);
    struct stat status;
    int exists = stat(out->target_path, &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        log_failure("Can't write", out->target_path, EISDIR);
        forget_paths(out);
        return 0;
    }
    int in_place = exists && !S_ISREG(status.st_mode);
    if (!in_place) {
        out->temp_path = path_with_suffix(out->target_path, REPLACE_TEMP_SUFFIX);
        if (!out->temp_path) {
            log_failure("Can't write", out->target_path, ENOMEM);
            forget_paths(out);
            return 0;
        }
    }
    errno = 0;
    out->file = file_open(in_place ? out->target_path : out->temp_path, "wb");
    if (!out->file) {
        log_failure("Can't write", out->target_path, errno ? errno : EIO);
        forget_paths(out);
        return 0;
    }
    return 1;
}

static void note_error(ReplacementFile *out, int error)
{
    if (!out->error)
        out->error = error ? error : EIO;
}

int close_replacement_file(ReplacementFile *out)
{
    GameFile *file = out->file;
    if (!file)
        return out->closed;
    out->file = nullptr;
    if (file_flush(file) != 0)
        note_error(out, file_write_error(file));
    // The bytes are on the disk before the name points at them. A device
    // written in place has nothing to sync.
    if (!out->error && out->temp_path && fsync(fileno(file->stream)) != 0)
        note_error(out, errno);
    if (file_close(file) != 0)
        note_error(out, errno);
    if (out->error || out->failed) {
        log_failure("Can't write", out->target_path, out->error);
        if (out->temp_path)
            remove(out->temp_path);
        return 0;
    }
    out->closed = 1;
    return 1;
}

int commit_replacement_file(ReplacementFile *out)
{
    int done = close_replacement_file(out);
    if (done && out->temp_path && replace_rename(out->temp_path, out->target_path) != 0) {
        log_failure("Can't replace", out->target_path, errno);
        remove(out->temp_path);
        done = 0;
    }
    out->closed = 0;
    forget_paths(out);
    return done;
}

void discard_replacement_file(ReplacementFile *out)
{
    if (out->file) {
        // The bytes are dropped whatever the close says.
        if (file_close(out->file) != 0)
            out->error = errno;
        out->file = nullptr;
    }
    if (out->temp_path)
        remove(out->temp_path);
    out->closed = 0;
    forget_paths(out);
}

static int regular_file_exists(const char *path)
{
    struct stat status;
    return lstat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// The old file kept beside the target: a second link to it when the file
// system has links, else the old file moved aside (the rename that follows
// fills the name again).
static int keep_old_file(const char *target, const char *backup)
{
    if (unlink(backup) != 0 && errno != ENOENT)
        return 0;
    return link(target, backup) == 0 || replace_rename(target, backup) == 0;
}

// Puts the old bytes back under the target's name and drops the backup.
// When the target is still the backup's other link the rename does
// nothing and the unlink leaves the one name.
static int restore_old_file(const char *target, const char *backup)
{
    if (replace_rename(backup, target) != 0) {
        log_failure("Can't put back", target, errno);
        return 0;
    }
    unlink(backup);
    return 1;
}

int commit_replacement_files(ReplacementFile *files, int count)
{
    int ok = 1;
    for (int i = 0; i < count; i++)
        if (!close_replacement_file(&files[i]))
            ok = 0;
    char **backups = ok && count > 0 ? (char **)checked_calloc((size_t)count, sizeof(char *)) : nullptr;
    if (ok && count > 0 && !backups) {
        log_failure("Can't replace", files[0].target_path, ENOMEM);
        ok = 0;
    }
    // The old files beside, before any of them is touched.
    for (int i = 0; ok && i < count; i++) {
        const ReplacementFile *f = &files[i];
        if (!f->temp_path || !regular_file_exists(f->target_path))
            continue;
        backups[i] = path_with_suffix(f->target_path, REPLACE_BACKUP_SUFFIX);
        if (!backups[i] || !keep_old_file(f->target_path, backups[i])) {
            log_failure("Can't keep a copy of", f->target_path, backups[i] ? errno : ENOMEM);
            checked_free(backups[i]);
            backups[i] = nullptr;
            ok = 0;
        }
    }
    int renamed = 0;
    for (; ok && renamed < count; renamed++) {
        const ReplacementFile *f = &files[renamed];
        if (f->temp_path && replace_rename(f->temp_path, f->target_path) != 0) {
            log_failure("Can't replace", f->target_path, errno);
            ok = 0;
            break;
        }
    }
    for (int i = 0; i < count; i++) {
        ReplacementFile *f = &files[i];
        if (backups && backups[i]) {
            if (ok) {
                if (unlink(backups[i]) != 0)
                    log_failure("Can't remove", backups[i], errno);
            } else {
                restore_old_file(f->target_path, backups[i]);
            }
            checked_free(backups[i]);
        } else if (!ok && i < renamed && f->temp_path) {
            // New here: the save that made it did not happen.
            unlink(f->target_path);
        }
        if (!ok && f->temp_path)
            remove(f->temp_path);
        discard_replacement_file(f);
    }
    checked_free(backups);
    return ok;
}

int replace_file(const char *path, FileWriter writer, void *context)
{
    ReplacementFile out;
    if (!open_replacement_file(&out, path))
        return 0;
    if (!writer(out.file, context))
        out.failed = 1;
    return commit_replacement_file(&out);
}
