// The GameFile record: one open game file (a loose file or a stretch of an
// archive, plain or gzip-compressed) and the internal calls of the file layer
// that fill and drain it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <zlib.h>

enum {
    GZIP_INPUT_SIZE = 16384,            // compressed bytes read per block
    GZIP_OUTPUT_SIZE = 1024,            // decompressed window
    LOOSE_FILE_LIMIT = 2147483647,      // size limit of a handle with no limit of its own
    GAME_PATH_MAX = 511,                // longest folder + game path candidate
    CREATE_FOLDERS_MAX = 1024,          // paths up to this (with terminator) get their folders made
};

struct GameFile {
    FILE *stream;                  // the file, or the archive holding the member
    int32_t base_offset;           // where the data begins in the stream
    uint32_t size_limit;           // bytes the handle may deliver
    uint32_t position;             // bytes delivered so far
    int32_t pushed_back;           // lookahead byte, -1 for none
    int gzip;                      // data goes through the decompressor
    int32_t compressed_size_limit; // size limit when decompression started
    int32_t compressed_read;       // compressed bytes taken from the stream
    int end_of_stream;             // the decompressor has ended (or failed)
    z_stream inflater;
    unsigned char input[GZIP_INPUT_SIZE];
    unsigned char output[GZIP_OUTPUT_SIZE];
    unsigned char *output_read;    // next unread byte of the window
    unsigned char *whole;          // a member inflated whole: the window, freed on close
    int write_error;               // errno of the first failed write, flush or close; 0 = none
};

// Fills a handle by resolving a game path ('@' + name) or a real path.
int open_game_file(GameFile *file, const char *path, const char *mode);
// Opens one real path: folder creation on write, backups, the ".gz" variant.
int open_real_path(GameFile *file, const char *path, const char *mode);
// Read-only opens of a game path's relative name through the file index.
int open_index_entry(GameFile *file, const char *relative_name);
// Sets the fields of a freshly opened handle (no gzip, no lookahead).
void init_game_file(GameFile *file, FILE *stream, int32_t base_offset, uint32_t size_limit);
// Checks the gzip header and starts raw inflate; 1, or 0 on a bad header.
int start_gzip_stream(GameFile *file);
// Decompressed bytes of a gzip handle; fewer than n at the end.
int inflate_read(GameFile *file, void *buffer, int n);

// A mode is read-only when it holds 'r' and no '+'.
int is_read_only_mode(const char *mode);
// Creates every folder on the way to path (the prefix before each '/').
void create_parent_folders(const char *path);
// Frees the search folder strings (the list is not rebuilt afterwards).
void free_search_folders(void);
// Frees them and lets the next lookup find them again.
void forget_search_folders(void);
int search_folder_count(void);
