// The file index: a walk of every search folder, the members of every ".saf"
// archive found there, one sorted table of relative names for lookups, and
// the file list that the catalogue and model lists are drawn from.
#include "core/file_index.h"

#include "app/loading.h"
#include "app/shell.h"
#include "core/file.h"
#include "core/game_file.h"
#include "core/message.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

enum { ARCHIVE_LINE_SIZE = 1024 };

GrowableArray file_index;
int file_index_built;
static const char **file_list;
static int next_serial;

static FileIndexEntry *index_entry(int position)
{
    return (FileIndexEntry *)file_index.data + position;
}

static int lower_byte(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

static int compare_names_without_case(const char *a, const char *b)
{
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    for (;; x++, y++) {
        int difference = lower_byte(*x) - lower_byte(*y);
        if (difference || !*x)
            return difference;
    }
}

// Name without case, then source number, then exact bytes, then insertion
// order: a total order, so the unstable heap sort gives one result.
static int compare_index_entries(const void *a, const void *b)
{
    const FileIndexEntry *x = (const FileIndexEntry *)a, *y = (const FileIndexEntry *)b;
    int by_name = compare_names_without_case(x->relative_name, y->relative_name);
    if (by_name)
        return by_name;
    if (x->source_number != y->source_number)
        return x->source_number < y->source_number ? -1 : 1;
    int by_bytes = strcmp(x->relative_name, y->relative_name);
    if (by_bytes)
        return by_bytes;
    return x->serial < y->serial ? -1 : x->serial > y->serial;
}

// Takes ownership of name_copy; a failed growth drops the entry.
static FileIndexEntry *add_index_entry(char *name_copy, const char *containing_file,
                                       const char *relative_name, int32_t size, int32_t source_number)
{
    FileIndexEntry *entry = (FileIndexEntry *)append_to_growable_array(&file_index);
    if (!entry) {
        checked_free(name_copy);
        return nullptr;
    }
    entry->name_copy = name_copy;
    entry->containing_file = containing_file;
    entry->relative_name = relative_name;
    entry->data_offset = 0;
    entry->size = size;
    entry->source_number = source_number;
    entry->serial = next_serial++;
    return entry;
}

// The folders from the search folder down to the one being listed, so that a
// symbolic link back up the tree is not walked again.
struct WalkedFolder {
    dev_t device;
    ino_t inode;
    const WalkedFolder *parent;
};

static int index_directory(const char *folder, size_t prefix_length, int source_number,
                           const WalkedFolder *parent)
{
    tick_busy_indicator();
    struct stat status;
    if (stat(folder, &status) != 0)
        return 0;
    for (const WalkedFolder *walked = parent; walked; walked = walked->parent)
        if (walked->device == status.st_dev && walked->inode == status.st_ino)
            return 1;
    WalkedFolder here = {status.st_dev, status.st_ino, parent};
    DIR *dir = opendir(folder);
    if (!dir)
        return 0;
    size_t folder_length = strlen(folder);
    while (folder_length > 0 && folder[folder_length - 1] == '/')
        folder_length--;
    while (struct dirent *item = readdir(dir)) {
        if (!strcmp(item->d_name, ".") || !strcmp(item->d_name, ".."))
            continue;
        size_t name_length = strlen(item->d_name);
        char *full = (char *)checked_malloc(folder_length + name_length + 2);
        if (!full)
            continue;
        memcpy(full, folder, folder_length);
        full[folder_length] = '/';
        memcpy(full + folder_length + 1, item->d_name, name_length + 1);
        if (stat(full, &status) != 0) {
            checked_free(full);
        } else if (S_ISDIR(status.st_mode)) {
            index_directory(full, prefix_length, source_number, &here);
            checked_free(full);
        } else {
            int32_t size = status.st_size > INT32_MAX ? INT32_MAX : (int32_t)status.st_size;
            add_index_entry(full, full, full + prefix_length, size, source_number);
        }
    }
    closedir(dir);
    return 1;
}

static int is_archive_name(const char *name)
{
    size_t length = strlen(name);
    return length >= 5 && !compare_names_without_case(name + length - 4, ".saf");
}

// One header line into line (at most ARCHIVE_LINE_SIZE - 1 bytes, through the
// newline); its length in bytes, 0 at the end of the file or on an error.
static size_t read_archive_line(FILE *stream, char *line)
{
    size_t length = 0;
    while (length < ARCHIVE_LINE_SIZE - 1) {
        int c = getc_unlocked(stream);
        if (c == EOF)
            break;
        line[length++] = (char)c;
        if (c == '\n')
            break;
    }
    line[length] = '\0';
    return length;
}

// The member name: the rest of the line after one separator, runs of '/'
// collapsed.
static char *copy_member_name(const char *start, const char *newline)
{
    char *name = (char *)checked_malloc((size_t)(newline - start) + 1);
    if (!name)
        return nullptr;
    char *out = name;
    for (const char *in = start; in < newline; in++)
        if (*in != '/' || out == name || out[-1] != '/')
            *out++ = *in;
    *out = '\0';
    return name;
}

enum ArchiveHeader { HEADER_BROKEN, HEADER_COMPLETE, HEADER_REFUSED };

// Reads the header lines, adding one entry per member with its offset from
// the start of the data for now.
static ArchiveHeader read_archive_header(FILE *stream, const char *path, int archive_number,
                                         int64_t *header_length)
{
    char line[ARCHIVE_LINE_SIZE];
    int64_t data_length = 0;
    for (;;) {
        size_t length = read_archive_line(stream, line);
        if (!length || line[length - 1] != '\n')
            return HEADER_BROKEN;
        *header_length += (int64_t)length;
        if (length == 2 && line[0] == '-')
            return HEADER_COMPLETE;
        char *end;
        errno = 0;
        long size = strtol(line, &end, 10);
        if (end == line)
            return HEADER_BROKEN;
        const char *newline = line + length - 1;
        const char *name_start = end < newline ? end + 1 : newline;
        if (size < 0 || size > INT32_MAX || errno == ERANGE) {
            log_printf("Archive %.900s refused: member '%.200s' has a bad size\n", path, name_start);
            return HEADER_REFUSED;
        }
        // A member dropped for want of memory still takes its bytes, so the
        // offsets of the members after it stay right.
        int32_t offset = (int32_t)(data_length < INT32_MAX ? data_length : INT32_MAX);
        data_length += size;
        char *name = copy_member_name(name_start, newline);
        if (!name)
            continue;
        FileIndexEntry *entry = add_index_entry(name, path, name, (int32_t)size, archive_number);
        if (entry)
            entry->data_offset = offset;
    }
}

static void read_archive(const char *path, int archive_number)
{
    tick_busy_indicator();
    FILE *stream = fopen(path, "rb");
    if (!stream)
        return;
    int first = file_index.count;
    int64_t header_length = 0;
    ArchiveHeader header = read_archive_header(stream, path, archive_number, &header_length);
    struct stat status;
    int64_t archive_length = fstat(fileno(stream), &status) == 0 ? (int64_t)status.st_size : 0;
    fclose(stream);
    if (header == HEADER_COMPLETE) {
        for (int i = first; i < file_index.count; i++) {
            FileIndexEntry *entry = index_entry(i);
            int64_t offset = header_length + entry->data_offset;
            if (offset + entry->size > archive_length || offset + entry->size > INT32_MAX) {
                log_printf("Archive %.900s refused: member '%.200s' runs past its end\n", path,
                           entry->name_copy);
                header = HEADER_REFUSED;
                break;
            }
            entry->data_offset = (int32_t)offset;
        }
    }
    if (header != HEADER_COMPLETE) {
        for (int i = first; i < file_index.count; i++)
            checked_free(index_entry(i)->name_copy);
        file_index.count = first;
    }
}

static void sort_file_index(void)
{
    heap_sort(file_index.data, file_index.count, sizeof(FileIndexEntry), compare_index_entries);
}

static void build_file_list(void)
{
    file_list = (const char **)checked_malloc(((size_t)file_index.count + 1) * sizeof *file_list);
    if (!file_list)
        return;
    int kept = 0;
    for (int i = 0; i < file_index.count; i++) {
        const char *name = index_entry(i)->relative_name;
        if (!kept || compare_names_without_case(name, file_list[kept - 1]))
            file_list[kept++] = name;
    }
    file_list[kept] = nullptr;
}

const char *const *build_file_index(void)
{
    static const char *const empty_list[] = {nullptr};
    if (file_index_built)
        return file_list ? file_list : empty_list;
    file_index_built = 1;
    init_growable_array(&file_index, sizeof(FileIndexEntry));
    log_printf("Listing directories\n");
    int folders = search_folder_count();
    for (int i = 0; i < folders; i++) {
        const char *folder = get_search_folder(i);
        index_directory(folder, strlen(folder), i, nullptr);
    }
    sort_file_index();

    log_printf("Listing archives\n");
    int listed = file_index.count;
    int archive_number = folders;
    for (int i = 0; i < listed; i++) {
        const FileIndexEntry *entry = index_entry(i);
        if (is_archive_name(entry->relative_name))
            read_archive(entry->containing_file, archive_number++);
    }
    sort_file_index();

    log_printf("Creating file list\n");
    build_file_list();
    log_printf("File index complete\n");
    return file_list ? file_list : empty_list;
}

int find_index_entry(const char *relative_name)
{
    if (!relative_name || file_index.count <= 0)
        return -1;
    int low = 0, high = file_index.count;
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (compare_names_without_case(index_entry(middle)->relative_name, relative_name) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < file_index.count && !compare_names_without_case(index_entry(low)->relative_name, relative_name))
        return low;
    return -1;
}

int index_contains(const char *relative_name)
{
    return find_index_entry(relative_name) >= 0;
}

static void append_cut(char *buffer, size_t n, size_t *used, const char *text)
{
    while (*text && *used + 1 < n)
        buffer[(*used)++] = *text++;
    buffer[*used] = '\0';
}

int describe_index_entry(int position, char *buffer, int n)
{
    if (!file_index_built || position < 0 || position >= file_index.count || !buffer || n <= 0)
        return 0;
    const FileIndexEntry *entry = index_entry(position);
    size_t used = 0;
    append_cut(buffer, (size_t)n, &used, entry->relative_name);
    append_cut(buffer, (size_t)n, &used, " -> ");
    append_cut(buffer, (size_t)n, &used, entry->containing_file);
    return 1;
}

int open_index_entry(GameFile *file, const char *relative_name)
{
    if (!file_index_built)
        return 0;
    int chosen = find_index_entry(relative_name);
    char compressed_name[CREATE_FOLDERS_MAX];
    size_t length = strlen(relative_name);
    int compressed = -1;
    if (length + sizeof ".gz" <= sizeof compressed_name) {
        memcpy(compressed_name, relative_name, length);
        memcpy(compressed_name + length, ".gz", sizeof ".gz");
        compressed = find_index_entry(compressed_name);
    }
    int gzip = 0;
    if (compressed >= 0 &&
        (chosen < 0 || index_entry(compressed)->source_number < index_entry(chosen)->source_number)) {
        chosen = compressed;
        gzip = 1;
    }
    if (chosen < 0)
        return 0;
    const FileIndexEntry *entry = index_entry(chosen);
    FILE *stream = fopen(entry->containing_file, "rb");
    if (!stream)
        return 0;
    init_game_file(file, stream, entry->data_offset, (uint32_t)entry->size);
    if (fseeko(stream, entry->data_offset, SEEK_SET) != 0 || (gzip && !start_gzip_stream(file))) {
        fclose(stream);
        file->stream = nullptr;
        return 0;
    }
    return 1;
}

static void free_index_entries(void)
{
    for (int i = 0; i < file_index.count; i++)
        checked_free(index_entry(i)->name_copy);
    free_growable_array(&file_index);
    checked_free(file_list);
    file_list = nullptr;
}

void free_file_index(void)
{
    free_search_folders();
    free_index_entries();
}

void reset_file_layer(void)
{
    forget_search_folders();
    free_index_entries();
    file_index_built = 0;
}
