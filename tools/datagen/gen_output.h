// Where generated files go: a data set is a folder of game data whose every
// written file is remembered, so that the set can be packed into one ".saf"
// archive and listed in the manifest in a fixed order. Also the gzip
// encoder (mtime 0, so the same bytes give the same file).
#pragma once

#include <cstddef>

#include "core/alloc.h"
#include "tools/datagen/gen_buffer.h"

enum { DATA_PATH_MAX = 1024 };

struct DataSet {
    char root[DATA_PATH_MAX];   // the folder, no trailing '/'
    GrowableArray names;        // char *, owned: relative names written, in write order
    int failures;               // writes that failed
};

// Makes the folder (and its parents). 0 when it cannot be made.
int open_data_set(DataSet *set, const char *root);
void close_data_set(DataSet *set);

// Writes root/name, making folders on the way; the name is remembered.
int put_data_file(DataSet *set, const char *name, const void *bytes, size_t size);
int put_buffer_file(DataSet *set, const char *name, const ByteBuffer *buffer);
// Writes root/name.gz holding the bytes gzip-compressed.
int put_gzip_data_file(DataSet *set, const char *name, const void *bytes, size_t size);

// The written names, sorted byte by byte (the order of the archive and the
// manifest). Points into the set.
const char **sorted_data_names(const DataSet *set, int *count);   // caller frees the array

// gzip member of the bytes: deflate level 9, mtime 0, no name.
int gzip_encode(ByteBuffer *out, const void *bytes, size_t size);

// Packs every file of the set into one ".saf" archive at path: the header
// of "size name" lines, the "-" line, then the files back to back.
int pack_data_set(const DataSet *set, const char *path);

// Creates every folder of a path up to its last '/'.
int make_parent_folders(const char *path);
// Removes a folder and everything under it; refuses (0) a folder that
// holds files but not the generator's mark file, so that nothing but an
// earlier output is ever removed. A missing folder is fine (1).
int clear_output_folder(const char *root);
// Writes the mark file that clear_output_folder looks for.
int mark_output_folder(const char *root);
// Whole file into a buffer; 0 when it cannot be read.
int read_whole_file(const char *path, ByteBuffer *out);
