// Client state of the race-server connection that the race and the bike
// physics read, and the road an erosion record takes to the terrain.
#pragma once

#include <cstdint>

enum { CRASH_DELAY_ENTRIES = 16 };

extern int net_socket;              // -1 while offline
extern int own_slot;                // the slot the server gave us, 160 = not joined
extern int local_gate_position;     // 160 = the local player only watches
extern uint32_t last_state_tic[160];
// Extra crash time in tics by crash count, set by the server (0..460800).
extern int crash_delay_table[CRASH_DELAY_ENTRIES];
// The console's "log": bit 0 shows the tyre telemetry as 3-D text.
extern int contact_log_flags;
extern float contact_log_spacing;

// What the server told of each rider slot, and of the race it runs.
struct NetRiderInfo {
    char model[64];
    char number[8];
    char rider_texture[256];
    char helmet_texture[256];
    char bike_texture[256];
    char wheel_texture[256];
    char name[64];
};
extern NetRiderInfo net_rider_info[160];
extern int server_start_tic;
extern char server_track[256];

// Kinds of rider reset_race puts in each slot (1 = this machine's rider,
// 5 = a rider the server announced); the menus and the client fill it.
extern int slot_kinds[160];
// The server to join ("host" or "host:port"), null to stay offline; the
// client connects on its next run. Owned (checked_malloc).
extern char *connect_target;
// Set when the rider's name, number, bike or looks change.
extern int client_info_changed;
// The server forbids arcade physics: the bike setup keeps it off.
extern int arcade_physics_forbidden;

// Replaces connect_target with a copy of the text (null clears it).
void set_connect_target(const char *text);

// Leaves the server joined, if any: the socket closed and the client back
// to its offline state. Nothing happens offline.
void disconnect_from_server(void);

// Back to offline values: no rider information, no slots.
void clear_net_rider_info(void);

// Offline the erosion message is queued to be dug in at once.
void send_erode_record(const uint8_t *message, int length);
