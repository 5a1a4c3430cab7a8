// Data sets: writing files, remembering them, packing them into a ".saf"
// archive; gzip encoding; making and clearing the output folders.
#include "tools/datagen/gen_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/log.h"

static const char OUTPUT_MARK[] = ".datagen-output";

int make_parent_folders(const char *path)
{
    char partial[DATA_PATH_MAX];
    size_t length = strlen(path);
    if (length >= sizeof partial)
        return 0;
    for (size_t i = 1; i < length; i++)
        if (path[i] == '/') {
            memcpy(partial, path, i);
            partial[i] = '\0';
            if (mkdir(partial, 0755) != 0 && errno != EEXIST)
                return 0;
        }
    return 1;
}

int open_data_set(DataSet *set, const char *root)
{
    memset(set, 0, sizeof *set);
    if (snprintf(set->root, sizeof set->root, "%s", root) >= (int)sizeof set->root)
        return 0;
    size_t length = strlen(set->root);
    while (length > 1 && set->root[length - 1] == '/')
        set->root[--length] = '\0';
    char probe[DATA_PATH_MAX + 4];
    snprintf(probe, sizeof probe, "%s/", set->root);
    if (!make_parent_folders(probe))
        return 0;
    return init_growable_array(&set->names, sizeof(char *));
}

void close_data_set(DataSet *set)
{
    char **names = (char **)set->names.data;
    for (int i = 0; i < set->names.count; i++)
        checked_free(names[i]);
    free_growable_array(&set->names);
}

static int remember_name(DataSet *set, const char *name)
{
    size_t length = strlen(name);
    char *copy = (char *)checked_malloc(length + 1);
    char **slot = copy ? (char **)append_to_growable_array(&set->names) : nullptr;
    if (!slot) {
        checked_free(copy);
        return 0;
    }
    memcpy(copy, name, length + 1);
    *slot = copy;
    return 1;
}

int put_data_file(DataSet *set, const char *name, const void *bytes, size_t size)
{
    char path[2 * DATA_PATH_MAX];
    snprintf(path, sizeof path, "%s/%s", set->root, name);
    FILE *file = make_parent_folders(path) ? fopen(path, "wb") : nullptr;
    int ok = file != nullptr;
    if (file) {
        ok = size == 0 || fwrite(bytes, 1, size, file) == size;
        ok = fclose(file) == 0 && ok;
    }
    if (ok)
        ok = remember_name(set, name);
    if (!ok) {
        log_printf("datagen: can't write '%s'\n", path);
        set->failures++;
    }
    return ok;
}

int put_buffer_file(DataSet *set, const char *name, const ByteBuffer *buffer)
{
    return put_data_file(set, name, buffer->data, buffer->size);
}

int gzip_encode(ByteBuffer *out, const void *bytes, size_t size)
{
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    // Window bits 15 + 16: a gzip wrapper with mtime 0 and no name.
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0;
    stream.next_in = (Bytef *)bytes;
    stream.avail_in = (uInt)size;
    uint8_t chunk[65536];
    int status;
    do {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = deflate(&stream, Z_FINISH);
        if (status == Z_STREAM_ERROR || !buffer_append(out, chunk, sizeof chunk - stream.avail_out)) {
            deflateEnd(&stream);
            return 0;
        }
    } while (status != Z_STREAM_END);
    deflateEnd(&stream);
    return 1;
}

int put_gzip_data_file(DataSet *set, const char *name, const void *bytes, size_t size)
{
    ByteBuffer packed = {};
    char gz_name[DATA_PATH_MAX];
    snprintf(gz_name, sizeof gz_name, "%s.gz", name);
    int ok = gzip_encode(&packed, bytes, size) && put_data_file(set, gz_name, packed.data, packed.size);
    if (!ok && packed.data == nullptr)
        set->failures++;
    free_buffer(&packed);
    return ok;
}

static int compare_names(const void *a, const void *b)
{
    return strcmp(*(const char *const *)a, *(const char *const *)b);
}

const char **sorted_data_names(const DataSet *set, int *count)
{
    *count = set->names.count;
    const char **names = (const char **)checked_malloc(sizeof(char *) * (size_t)(set->names.count + 1));
    if (!names)
        return nullptr;
    memcpy(names, set->names.data, sizeof(char *) * (size_t)set->names.count);
    qsort(names, (size_t)set->names.count, sizeof(char *), compare_names);
    names[set->names.count] = nullptr;
    return names;
}

int read_whole_file(const char *path, ByteBuffer *out)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return 0;
    uint8_t chunk[65536];
    size_t got;
    int ok = 1;
    while (ok && (got = fread(chunk, 1, sizeof chunk, file)) > 0)
        ok = buffer_append(out, chunk, got);
    ok = !ferror(file) && ok;
    fclose(file);
    return ok;
}

int pack_data_set(const DataSet *set, const char *path)
{
    int count = 0;
    const char **names = sorted_data_names(set, &count);
    if (!names || !make_parent_folders(path))
        return 0;
    ByteBuffer header = {};
    int ok = 1;
    for (int i = 0; ok && i < count; i++) {
        char full[2 * DATA_PATH_MAX];
        snprintf(full, sizeof full, "%s/%s", set->root, names[i]);
        struct stat status;
        ok = stat(full, &status) == 0 && buffer_printf(&header, "%lld %s\n", (long long)status.st_size, names[i]);
    }
    ok = ok && buffer_printf(&header, "-\n");
    FILE *out = ok ? fopen(path, "wb") : nullptr;
    ok = out && fwrite(header.data, 1, header.size, out) == header.size;
    for (int i = 0; ok && i < count; i++) {
        char full[2 * DATA_PATH_MAX];
        snprintf(full, sizeof full, "%s/%s", set->root, names[i]);
        ByteBuffer member = {};
        ok = read_whole_file(full, &member) && (member.size == 0 || fwrite(member.data, 1, member.size, out) == member.size);
        free_buffer(&member);
    }
    if (out)
        ok = fclose(out) == 0 && ok;
    free_buffer(&header);
    checked_free(names);
    if (!ok)
        log_printf("datagen: can't pack '%s'\n", path);
    return ok;
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path) == 0 ? 0 : -1;
}

int clear_output_folder(const char *root)
{
    struct stat status;
    if (stat(root, &status) != 0)
        return 1;
    char mark[DATA_PATH_MAX + 32];
    snprintf(mark, sizeof mark, "%s/%s", root, OUTPUT_MARK);
    if (stat(mark, &status) != 0) {
        // Only an empty folder may lack the mark.
        if (rmdir(root) == 0)
            return 1;
        log_printf("datagen: '%s' is not an earlier output; not removed\n", root);
        return 0;
    }
    return nftw(root, remove_entry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

int mark_output_folder(const char *root)
{
    char mark[DATA_PATH_MAX + 32];
    snprintf(mark, sizeof mark, "%s/%s", root, OUTPUT_MARK);
    if (!make_parent_folders(mark))
        return 0;
    FILE *file = fopen(mark, "wb");
    if (!file)
        return 0;
    int ok = fputs("generated game data; removed by the next run of the generator\n", file) != EOF;
    return fclose(file) == 0 && ok;
}
