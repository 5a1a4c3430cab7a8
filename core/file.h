// The game's file layer: game paths ('@' + name) resolved through the search
// folders and the file index, ".gz" variants, ".saf" archive members, and the
// GameFile stream with its scanf-like reader.
#pragma once

#include <cstddef>
#include <cstdint>

struct GameFile;   // an open game file (defined in core/game_file.h)

// Search folders and paths.
char *join_path(const char *first, const char *second);   // caller frees (checked_free)
const char *get_search_folder(int index);                 // "…/" or null
void open_home_folder(void);

// Opening and closing.
GameFile *file_open(const char *path, const char *mode);  // null on failure, nothing logged
// Closes and frees the handle: 0 when every write through it, its flushes
// and the close itself worked, else EOF with errno set to the first failure.
int file_close(GameFile *file);
int file_close_only(GameFile *file);                      // the same without freeing the handle
int rename_game_file(const char *source, const char *target);

// Reading.
int file_getc(GameFile *file);                            // 0..255 or -1
int file_peekc(GameFile *file);
char *file_gets(GameFile *file, char *buffer, int n);
int file_read(GameFile *file, void *buffer, int n);
int file_scanf(GameFile *file, const char *format, ...);
int file_seek(GameFile *file, int offset);
char *file_to_string(const char *path);                   // caller frees (checked_free)
int file_read_int(GameFile *file);                        // one "%d", INT32_MIN on failure
void skip_comment_lines(GameFile *file);                  // white space and '#' lines
// The most bytes a read can still deliver: what is left of the file or the
// archive member, and for a gzip stream what its compressed bytes left can
// inflate to at most. Readers check a size a header declares against it
// before allocating for it.
int64_t file_bytes_bound(GameFile *file);
// A gzip handle not read from yet inflates its whole member at once (a
// faster decoder than the stream's; the reads that follow deliver the same
// bytes). 1 when done; 0 leaves the handle streaming as before: not gzip,
// already read, too large, or a member whose data or trailer is not sound
// (the stream then meets that as it always did).
int file_inflate_whole(GameFile *file);

// Writing (loose files only). A handle remembers its first failed write
// (flush or close): from then on every write fails at once, and the flush
// and the close report it, so a writer may check each call or only the
// close.
int file_putc(GameFile *file, int byte);                  // 1, or 0 on error
int file_puts(GameFile *file, const char *text);          // EOF on error
int file_write(GameFile *file, const void *data, int n);  // bytes written
int file_printf(GameFile *file, const char *format, ...) __attribute__((format(printf, 2, 3)));   // < 0 on error
int file_flush(GameFile *file);                           // 0, or EOF on this or an earlier error
int file_write_error(const GameFile *file);               // errno of the first failure, 0 = none

// The file index over the search folders and ".saf" archives.
const char *const *build_file_index(void);               // null-terminated relative names
int find_index_entry(const char *relative_name);          // position or -1
int index_contains(const char *relative_name);
int describe_index_entry(int position, char *buffer, int n);
void free_file_index(void);
// Frees the index and the search folders and lets both be built again from
// the folders as they are then (each test or fuzz input starts afresh).
void reset_file_layer(void);

// Process tuning before a race.
void tune_process_memory(void);
// The physical memory figure tune_process_memory works from (bytes); null
// restores the system's own figure.
void set_physical_memory_query(unsigned long long (*query)(void));
// The physical memory figure (bytes; 0 when unknown).
unsigned long long physical_memory_figure(void);
