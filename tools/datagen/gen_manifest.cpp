// The manifest and the track digest.
#include "tools/datagen/gen_manifest.h"

#include <cstdio>
#include <cstring>
#include <png.h>
#include <zlib.h>

#include "core/digest.h"

void digest_hex(const void *bytes, size_t size, char *hex)
{
    Ripemd160Context digest;
    ripemd160_init(&digest);
    const uint8_t *p = (const uint8_t *)bytes;
    while (size > 0) {
        int chunk = size > (1u << 30) ? (1 << 30) : (int)size;
        ripemd160_update(&digest, p, chunk);
        p += chunk;
        size -= (size_t)chunk;
    }
    ripemd160_final(&digest);
    for (int i = 0; i < RIPEMD160_DIGEST_SIZE; i++)
        sprintf(hex + 2 * i, "%02x", digest.digest[i]);
}

static int gunzip(const ByteBuffer *packed, ByteBuffer *out)
{
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        return 0;
    stream.next_in = packed->data;
    stream.avail_in = (uInt)packed->size;
    uint8_t chunk[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if ((status != Z_OK && status != Z_STREAM_END) || !buffer_append(out, chunk, sizeof chunk - stream.avail_out)) {
            inflateEnd(&stream);
            return 0;
        }
    }
    inflateEnd(&stream);
    return 1;
}

// A game file of the set as the game reads it: the plain file, else its
// ".gz" unpacked. 0 when neither exists.
static int read_set_file(const DataSet *set, const char *name, ByteBuffer *out)
{
    char path[2 * DATA_PATH_MAX + 8];
    snprintf(path, sizeof path, "%s/%s", set->root, name);
    if (read_whole_file(path, out))
        return 1;
    snprintf(path, sizeof path, "%s/%s.gz", set->root, name);
    ByteBuffer packed = {};
    int ok = read_whole_file(path, &packed) && gunzip(&packed, out);
    free_buffer(&packed);
    return ok;
}

// Appends the shape file of one statue to the digest input unless it was
// fed already ("null" is none).
static void digest_statue_shape(const DataSet *set, const char *shape, char (*seen)[256], int *seen_count,
                                ByteBuffer *all)
{
    if (!strcmp(shape, "null"))
        return;
    for (int i = 0; i < *seen_count; i++)
        if (!strcmp(seen[i], shape))
            return;
    if (*seen_count >= 64)
        return;
    snprintf(seen[(*seen_count)++], 256, "%s", shape);
    ByteBuffer bytes = {};
    if (read_set_file(set, shape[0] == '@' ? shape + 1 : shape, &bytes))
        buffer_append(all, bytes.data, bytes.size);
    free_buffer(&bytes);
}

// The next line of a text buffer (ending at a line feed or the end).
static const char *next_line(const char *line, char *out, size_t n)
{
    const char *end = strchr(line, '\n');
    size_t length = end ? (size_t)(end - line) : strlen(line);
    snprintf(out, n, "%.*s", (int)(length < n - 1 ? length : n - 1), line);
    return end ? end + 1 : line + length;
}

int compute_track_digest(const DataSet *set, const char *track_folder, char *hex)
{
    static const char *const FILES[] = {"terrain.hf", "terrain.png", "texturelist", "tilemap",
                                        "tileinfo",   "timing_gates", "statues"};
    ByteBuffer all = {};
    ByteBuffer gates = {}, statues = {};
    for (const char *file : FILES) {
        char name[DATA_PATH_MAX];
        snprintf(name, sizeof name, "%s/%s", track_folder, file);
        ByteBuffer bytes = {};
        if (read_set_file(set, name, &bytes))
            buffer_append(&all, bytes.data, bytes.size);
        if (!strcmp(file, "timing_gates"))
            buffer_append(&gates, bytes.data, bytes.size);
        if (!strcmp(file, "statues"))
            buffer_append(&statues, bytes.data, bytes.size);
        free_buffer(&bytes);
    }
    buffer_append(&gates, "", 1);
    buffer_append(&statues, "", 1);
    // The statues' shape files, each distinct one once, in table order:
    // the starting gate's pieces come first, then the statues file's.
    char seen[64][256];
    int seen_count = 0;
    char line[1024];
    const char *at = (const char *)gates.data;
    if (!strncmp(at, "startinggate:", 13)) {
        at = next_line(at, line, sizeof line);
        while (*at) {
            at = next_line(at, line, sizeof line);
            float v[4];
            char model[256], texture[256], shape[256];
            int items = sscanf(line, " [ %f %f %f ] %f %255s %255s %255s", &v[0], &v[1], &v[2], &v[3], model,
                               texture, shape);
            if (items < 4)
                break;
            digest_statue_shape(set, items == 7 ? shape : "@startgate.shp", seen, &seen_count, &all);
        }
    }
    at = (const char *)statues.data;
    while (*at) {
        at = next_line(at, line, sizeof line);
        float v[4];
        char model[256], texture[256], shape[256];
        if (sscanf(line, " [ %f %f %f ] %f %255s %255s %255s", &v[0], &v[1], &v[2], &v[3], model, texture, shape) != 7)
            break;
        digest_statue_shape(set, shape, seen, &seen_count, &all);
    }
    digest_hex(all.data, all.size, hex);
    free_buffer(&all);
    free_buffer(&gates);
    free_buffer(&statues);
    return 1;
}

static int list_files(FILE *out, const DataSet *set, const char *title)
{
    int count = 0;
    const char **names = sorted_data_names(set, &count);
    if (!names)
        return 0;
    fprintf(out, "\n[%s] %d files\n", title, count);
    int ok = 1;
    for (int i = 0; i < count; i++) {
        char path[2 * DATA_PATH_MAX];
        snprintf(path, sizeof path, "%s/%s", set->root, names[i]);
        ByteBuffer bytes = {};
        char hex[41];
        ok = read_whole_file(path, &bytes) && ok;
        digest_hex(bytes.data, bytes.size, hex);
        fprintf(out, "%10lu %s %s\n", (unsigned long)bytes.size, hex, names[i]);
        free_buffer(&bytes);
    }
    checked_free(names);
    return ok;
}

int write_manifest(const char *path, const DataSet *data, const DataSet *fixtures, const ManifestInfo *info)
{
    FILE *out = fopen(path, "w");
    if (!out)
        return 0;
    fprintf(out, "# Game data made by the generator: size, RIPEMD-160 and name of every file.\n");
    fprintf(out, "libpng %s; zlib %s; %s\n", PNG_LIBPNG_VER_STRING, ZLIB_VERSION, info->font_versions);
    fprintf(out, "stock shapes %s\n", info->stock_shape_digest);
    for (int i = 0; i < info->track_count; i++)
        fprintf(out, "track %s %s\n", info->track_folders[i], info->track_digests[i]);
    int ok = list_files(out, data, "data") && list_files(out, fixtures, "fixtures");
    // The lines' own results are left to the stream's error flag.
    ok = !ferror(out) && ok;
    return fclose(out) == 0 && ok;
}
