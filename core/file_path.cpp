// Search folders (the home folder, then KZ_HOME or the executable's folder),
// joining of paths, and the resolution of game paths and real paths into an
// open GameFile: folder creation on write, numbered backups, ".gz" variants.
#include "core/file.h"

#include "core/alloc.h"
#include "core/game_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

enum {
    SEARCH_FOLDERS_MAX = 2,
    BACKUP_PATH_MAX = 1000,      // longest path the backup mode accepts
    BACKUP_NUMBER_MAX = 9999,
    BACKUP_CHUNK = 65536,
};

static char *search_folders[SEARCH_FOLDERS_MAX + 1];
static int search_folders_count = -1;   // -1: not built yet

char *join_path(const char *first, const char *second)
{
    if (!first || !second)
        return nullptr;
    size_t first_length = strlen(first), second_length = strlen(second);
    char *joined = (char *)checked_malloc(first_length + second_length + 1);
    if (!joined)
        return nullptr;
    char *out = joined;
    for (int part = 0; part < 2; part++) {
        for (const char *in = part ? second : first; *in; in++) {
            char c = *in == '\\' ? '/' : *in;
            if (c == '/' && out > joined && out[-1] == '/')
                continue;
            *out++ = c;
        }
    }
    *out = '\0';
    return joined;
}

// $XDG_DATA_HOME/Rutline/, else $HOME/.local/share/Rutline/.
static char *find_home_folder(void)
{
    const char *data_home = getenv("XDG_DATA_HOME");
    if (data_home && data_home[0] == '/')
        return join_path(data_home, "/Rutline/");
    const char *home = getenv("HOME");
    if (!home || !home[0])
        return nullptr;
    char *share = join_path(home, "/.local/share");
    char *folder = join_path(share, "/Rutline/");
    checked_free(share);
    return folder;
}

// KZ_HOME when it is set (an empty value counts as unset), else the folder of
// the executable file.
static char *find_game_data_folder(void)
{
    const char *kz_home = getenv("KZ_HOME");
    if (kz_home && kz_home[0])
        return join_path(kz_home, "/");
    char module[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", module, sizeof module);
    if (length <= 0 || length >= (ssize_t)sizeof module)
        return nullptr;
    module[length] = '\0';
    char *slash = strrchr(module, '/');
    if (!slash)
        return nullptr;
    *slash = '\0';
    return join_path(module, "/");
}

static void build_search_folders(void)
{
    search_folders_count = 0;
    char *found[SEARCH_FOLDERS_MAX] = {find_home_folder(), find_game_data_folder()};
    for (char *folder : found)
        if (folder)
            search_folders[search_folders_count++] = folder;
    search_folders[search_folders_count] = nullptr;
}

int search_folder_count(void)
{
    if (search_folders_count < 0)
        build_search_folders();
    return search_folders_count;
}

const char *get_search_folder(int index)
{
    if (index < 0 || index >= search_folder_count())
        return nullptr;
    return search_folders[index];
}

void free_search_folders(void)
{
    for (int i = 0; i < SEARCH_FOLDERS_MAX; i++) {
        checked_free(search_folders[i]);
        search_folders[i] = nullptr;
    }
    search_folders_count = 0;
}

void forget_search_folders(void)
{
    free_search_folders();
    search_folders_count = -1;
}

int is_read_only_mode(const char *mode)
{
    return strchr(mode, 'r') && !strchr(mode, '+');
}

void create_parent_folders(const char *path)
{
    size_t length = strlen(path);
    if (length + 1 > CREATE_FOLDERS_MAX)
        return;
    char prefix[CREATE_FOLDERS_MAX];
    memcpy(prefix, path, length + 1);
    for (size_t i = 1; i < length; i++) {
        if (prefix[i] != '/' || prefix[i - 1] == '/')
            continue;
        prefix[i] = '\0';
        mkdir(prefix, 0777);
        prefix[i] = '/';
    }
}

// Runs the desktop's file browser on a folder without a shell; the browser is
// left running on its own (double fork, so no child is left to reap).
static void launch_file_browser(const char *folder)
{
    char program[] = "xdg-open";
    char *argv[] = {program, (char *)folder, nullptr};
    pid_t child = fork();
    if (child < 0)
        return;
    if (child == 0) {
        pid_t browser = fork();
        if (browser == 0) {
            // The game holds its termination signals blocked; the browser must not.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execvp(argv[0], argv);
            _exit(127);
        }
        _exit(browser < 0 ? 1 : 0);
    }
    waitpid(child, nullptr, 0);
}

void open_home_folder(void)
{
    const char *home = get_search_folder(0);
    if (!home)
        return;
    create_parent_folders(home);
    size_t length = strlen(home);
    char *folder = (char *)checked_malloc(length + 1);
    if (!folder)
        return;
    memcpy(folder, home, length + 1);
    while (length > 1 && folder[length - 1] == '/')
        folder[--length] = '\0';
    launch_file_browser(folder);
    checked_free(folder);
}

// fopen that, like the game's other platforms, refuses a folder.
static FILE *open_stream(const char *path, const char *mode)
{
    FILE *stream = fopen(path, mode);
    if (!stream)
        return nullptr;
    struct stat status;
    if (fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode)) {
        fclose(stream);
        return nullptr;
    }
    return stream;
}

static int path_exists(const char *path)
{
    struct stat status;
    return lstat(path, &status) == 0 || errno != ENOENT;
}

static int copy_stream(FILE *from, FILE *to)
{
    char *chunk = (char *)checked_malloc(BACKUP_CHUNK);
    if (!chunk)
        return 0;
    int ok = 1;
    for (;;) {
        size_t got = fread(chunk, 1, BACKUP_CHUNK, from);
        if (got < BACKUP_CHUNK && ferror(from))
            ok = 0;
        if (got > 0 && fwrite(chunk, 1, got, to) != got)
            ok = 0;
        if (!ok || got < BACKUP_CHUNK)
            break;
    }
    checked_free(chunk);
    return ok;
}

// Copies an existing file to the first free "<path>.~N~", then opens it with
// the real mode. Any failure leaves the file as it was and opens nothing.
static FILE *open_with_backup(const char *path, const char *mode)
{
    if (strlen(path) > BACKUP_PATH_MAX)
        return nullptr;
    FILE *original = open_stream(path, "rb");
    if (original) {
        char backup[BACKUP_PATH_MAX + 16];
        int number = 1;
        for (; number <= BACKUP_NUMBER_MAX; number++) {
            snprintf(backup, sizeof backup, "%s.~%d~", path, number);
            if (!path_exists(backup))
                break;
        }
        FILE *copy = number <= BACKUP_NUMBER_MAX ? fopen(backup, "wb") : nullptr;
        if (!copy) {
            fclose(original);
            return nullptr;
        }
        int ok = copy_stream(original, copy);
        fclose(original);
        if (fclose(copy) != 0)
            ok = 0;
        if (!ok) {
            remove(backup);
            return nullptr;
        }
    }
    return open_stream(path, mode);
}

int open_real_path(GameFile *file, const char *path, const char *mode)
{
    int read_only = is_read_only_mode(mode);
    if (!read_only)
        create_parent_folders(path);
    FILE *stream = mode[0] == '~' ? open_with_backup(path, mode + 1) : open_stream(path, mode);
    if (stream) {
        init_game_file(file, stream, 0, LOOSE_FILE_LIMIT);
        return 1;
    }
    if (!read_only)
        return 0;
    size_t length = strlen(path);
    if (length + sizeof ".gz" > CREATE_FOLDERS_MAX)
        return 0;
    char compressed[CREATE_FOLDERS_MAX];
    memcpy(compressed, path, length);
    memcpy(compressed + length, ".gz", sizeof ".gz");
    stream = open_stream(compressed, "rb");
    if (!stream)
        return 0;
    init_game_file(file, stream, 0, LOOSE_FILE_LIMIT);
    if (!start_gzip_stream(file)) {
        fclose(stream);
        file->stream = nullptr;
        return 0;
    }
    return 1;
}

// folder + name into a buffer of GAME_PATH_MAX + 1; 0 when it would be cut.
static int make_candidate(char *candidate, const char *folder, const char *name)
{
    size_t folder_length = strlen(folder), name_length = strlen(name);
    if (folder_length + name_length > GAME_PATH_MAX)
        return 0;
    memcpy(candidate, folder, folder_length);
    memcpy(candidate + folder_length, name, name_length + 1);
    return 1;
}

int open_game_file(GameFile *file, const char *path, const char *mode)
{
    if (!file || !path || !mode)
        return 0;
    if (path[0] != '@')
        return open_real_path(file, path, mode);
    // The name after '@', backslashes written as '/'. Nothing longer can be a
    // folder candidate or an index entry.
    char name[CREATE_FOLDERS_MAX];
    size_t length = strlen(path + 1);
    if (length >= sizeof name)
        return 0;
    for (size_t i = 0; i <= length; i++)
        name[i] = path[1 + i] == '\\' ? '/' : path[1 + i];
    char candidate[GAME_PATH_MAX + 1];
    for (int i = 0; const char *folder = get_search_folder(i); i++)
        if (make_candidate(candidate, folder, name) && open_real_path(file, candidate, mode))
            return 1;
    if (!is_read_only_mode(mode))
        return 0;
    return open_index_entry(file, name);
}

// '@' names become search folder 0 + the rest; a name that would be cut fails.
static int resolve_rename_name(char *out, const char *name)
{
    if (name[0] != '@')
        return make_candidate(out, "", name);
    const char *home = get_search_folder(0);
    if (!home || !make_candidate(out, home, name + 1))
        return 0;
    for (char *c = out + strlen(home); *c; c++)
        if (*c == '\\')
            *c = '/';
    return 1;
}

int rename_game_file(const char *source, const char *target)
{
    char from[GAME_PATH_MAX + 1], to[GAME_PATH_MAX + 1];
    if (!source || !target || !resolve_rename_name(from, source) || !resolve_rename_name(to, target))
        return 0;
    // rename() replaces the target in one step: it is never removed first,
    // so a failure leaves both files as they were.
    return rename(from, to) == 0;
}
