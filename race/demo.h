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

void start_demo_recording(void);
int record_demo_states(int force);
void stop_demo_recording(void);
// Opens the named demo (a game path), or with null the demo the race would
// play (the time trial's fastlap, else "@demos/default.kzdemo"), and reads
// its header; 1 on success.
int open_demo_playback(const char *name);
// Closes the demo being played (no demo playing; the rider count stays).
void close_demo_playback(void);
void play_demo_chunks(void);
int demo_state_size(int version);

// Copies a game file through a temporary file renamed over the target;
// 1 on success (the target is untouched on failure).
int copy_game_file(const char *from, const char *to);

// The replay seek of a demo being played: seconds forward or back.
void seek_replay(float seconds);
extern int accurate_skip;                 // fast-forward old demos tic by tic
