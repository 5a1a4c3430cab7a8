// The file index: every loose file under the search folders and every member
// of a ".saf" archive, sorted by relative name without regard to case.
#pragma once

#include "core/alloc.h"

#include <cstdint>

struct FileIndexEntry {
    char *name_copy;              // owned: full path of a loose file, or the member's name
    const char *containing_file;  // the path to open (an archive's entry's name copy for a member)
    const char *relative_name;    // the lookup name (into name_copy)
    int32_t data_offset;          // where the data begins in the containing file
    int32_t size;                 // bytes of data
    int32_t source_number;        // search folder number, or the archive number above them
    int32_t serial;               // order of insertion: makes the sort total
};

extern GrowableArray file_index;   // of FileIndexEntry
extern int file_index_built;
