// Demo files: recording the riders' packed states and the server's world
// changes as chunks behind a text header, and playing them back into the
// state history; the replay seek of a demo being played.
#pragma once

#include <cstdint>

#include "bike/bike_state.h"

struct GameFile;

enum { DEMO_STRING_LENGTH = 256, DEMO_NUMBER_LENGTH = 4 };

// One rider of the demo being played.
struct DemoRider {
    char model[DEMO_STRING_LENGTH];
    char number[DEMO_NUMBER_LENGTH];   // at most 3 characters
    char name[DEMO_STRING_LENGTH];
    char rider_texture[DEMO_STRING_LENGTH];
    char helmet_texture[DEMO_STRING_LENGTH];
    char bike_texture[DEMO_STRING_LENGTH];
    char wheel_texture[DEMO_STRING_LENGTH];
    int slot;                          // the rider slot that shows it, -1 = none
};

// Recording.
extern GameFile *demo_record_file;        // null = not recording
extern uint32_t demo_record_prev_length;  // the previous chunk's payload length
extern char demo_name[256];               // "namedemo": the recording's final name
extern int demo_backups;                  // the "demobackups" setting

// Playback.
extern GameFile *demo_play_file;          // null = none
extern char demo_track[256];              // the demo's track folder, empty = none
extern int demo_rider_count;
extern DemoRider demo_riders[BIKE_SLOT_COUNT];
extern int demo_version;                  // 4, 5 or 6
extern int64_t demo_chunks_start;         // the header's length: where the chunks start
extern char demo_play_file_name[256];     // the demo named by the user, empty = none
extern uint32_t demo_prev_chunk_length;   // the last chunk read's payload length
extern int64_t demo_read_position;        // bytes consumed: where the next chunk starts
extern int64_t demo_next_tic;             // tic of the last chunk read plus the offset
extern int64_t demo_base_tic;             // tic of the first state chunk, -1 = not seen
extern int64_t demo_tic_offset;           // added to every chunk tic (the time-trial ghost)
extern int64_t demo_erosion_position;     // chunk of the last erosion record applied

// Limits of the values a demo file may hold: riders, the header's length,
// laps and start, and every tic and chunk length.
enum { DEMO_RIDERS_MAX = 160, DEMO_ENTRY_SIZE = 44 };
constexpr int64_t DEMO_VALUE_MAX = int64_t(1) << 30;

void start_demo_recording(void);
// Adds the local and robot riders' states every 4th tic and writes a state
// chunk every 16th (or when forced); 1 when a chunk was written.
int record_demo_states(int force);
void stop_demo_recording(void);
// One chunk of the server's world changes (2 text, 3 erosion amount, 5
// erosion message) into the recording, if any; 1 when written.
int write_demo_chunk(int type, const void *payload, int length);
// 1 when the slot's rider goes into a recording: offline local and robot
// riders; online while watching, remote and robot riders; online while
// riding, every occupied slot.
int is_recorded_slot(int slot);
// Copies a game file through a temporary file renamed over the target, so
// that a failed copy keeps the old file; 1 on success.
int copy_game_file(const char *from, const char *to);
// Opens the named demo (a game path), or with null the demo the race would
// play (the time trial's fastlap, else "@demos/default.kzdemo"), and reads
// its header; 1 on success.
int open_demo_playback(const char *name);
// Closes the demo being played (no demo playing; the rider count stays).
void close_demo_playback(void);
// Reads what is due up to the current tic into the state history. A chunk
// that runs past the end of the file is left for a later call. With
// open_demo_playback this is the whole reader of a demo file.
void play_demo_chunks(void);
// Moves the playback to the chunk (or record) at a byte position, with the
// payload length of the chunk before it and the tic played up to; 0 when
// the file cannot be moved there (a gzip demo), nothing changed.
int move_demo_playback(int64_t position, uint32_t link, int64_t next_tic);
int demo_state_size(int version);

// Copies a game file through a temporary file renamed over the target;
// 1 on success (the target is untouched on failure).
int copy_game_file(const char *from, const char *to);

// The replay seek of a demo being played: seconds forward or back.
void seek_replay(float seconds);
extern int accurate_skip;                 // fast-forward old demos tic by tic
