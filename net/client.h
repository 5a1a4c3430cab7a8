// The race-server client: the connection machine run once per tic, the
// datagrams it reads and sends, the reliable messages both ways, the
// server's commands and the file upload, and the client state that the
// race, the HUD and the menus read.
#pragma once

#include <cstdint>

#include "bike/bike_state.h"
#include "core/socket.h"
#include "net/net_protocol.h"

enum { CRASH_DELAY_ENTRIES = 16, JOIN_PASSWORD_LENGTH = 128 };

extern int net_socket;              // -1 while offline
extern int own_slot;                // the slot the server gave us, 160 = not joined
extern int local_gate_position;     // the grid place of our rider, 160 = only watching
extern uint32_t last_state_tic[160];   // current_tic when the slot's last state came
extern uint32_t slot_state_tics[160];  // the tic of the slot's newest state
extern int slot_pings[BIKE_SLOT_COUNT];   // round trip per slot, in tics
// Extra crash time in tics by crash count, set by the server (0..460800).
extern int crash_delay_table[CRASH_DELAY_ENTRIES];
// The console's "log": bit 0 shows the tyre telemetry as 3-D text.
extern int contact_log_flags;
extern float contact_log_spacing;

// What the server told of each rider slot, and of the race it runs. The
// texts are copies owned by the slot, bounded and cleaned.
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
extern int server_race_length;      // tics, 0 = laps only
extern int server_laps;
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

// Connection.
extern char join_password[JOIN_PASSWORD_LENGTH];   // "--password"
extern float fake_lag;                             // seconds of simulated latency, 0..1
extern int fake_loss;                              // percent of datagrams dropped, 0..100
extern SocketAddress server_address;
extern int client_state;
extern uint32_t session_key;
extern uint32_t session_id;
extern uint32_t client_id;
extern uint32_t acked_rider_slot;
extern uint32_t highest_server_tic;
extern int server_tic_estimate;     // 0 while offline
extern uint32_t gates_reported;
extern double last_send_time;
extern char redirect_target[REDIRECT_LENGTH + 1];
extern double redirect_time;        // 0 = none
extern int force_track_reload;

// Upload.
struct GameFile;
extern GameFile *upload_file;
extern int upload_ready;
extern char upload_end_text[UPLOAD_END_LENGTH];
extern double next_upload_time;

// The client's clock in seconds (the monotonic clock); tests may replace it.
double net_now(void);
extern double (*net_clock)(void);

// Replaces connect_target with a copy of the text (null clears it).
void set_connect_target(const char *text);

// The "net" stage, once per tic.
void run_net_client(void);
// Reads the socket until empty (at most 1024 datagrams); only datagrams
// from server_address are dispatched.
void receive_packets(void);
// Acts on one datagram from the server, whatever its bytes.
void handle_server_datagram(const uint8_t *data, int length);
void send_contact(void);
// Sends the packet of the current state now.
void send_state_packet(void);

// The client-info text of the local player.
void format_client_info(char *buffer, int capacity);
// Takes a relayed client-info text into the slot's rider strings.
void set_rider_slot_info(int slot, const char *text, int length);
// The four bytes of the password proof, as sent.
uint32_t password_proof(const char *password, uint32_t key);

// The menus' "Request Restart": while racing on a server, the 13-byte
// request (byte 9 = 1) goes at once; 1 when sent.
int send_restart_request(void);
// The menus' "Disconnect": past the contact the client says goodbye (state
// 15) and closes on the server's answer; while contacting it closes now.
void leave_server(void);

// A row of the multiplayer screen's table of the server's riders.
struct PlayerRow {
    int slot;
    int ping_ms;
    char number[8];
    char bike[64];
    char name[64];
};
// Our rider and those the server announced (slot kinds 1 and 5), in slot
// order; returns the count (at most capacity).
int build_player_rows(PlayerRow *rows, int capacity);

// Leaves the server joined, if any: the disconnect packet (15, slot, key)
// goes in whatever state, "Disconnecting" is shown (or the send error),
// then the connection is closed.
void disconnect_from_server(void);
// The game's shutdown: disconnect_from_server, with no connect target
// left but a redirect whose time has come (its disconnect still pending).
void disconnect_at_shutdown(void);
// The socket closed and every client value back to its offline state,
// nothing sent (the server said goodbye or redirected).
void close_connection(void);
// Back to offline values: no rider information, no slots.
void clear_net_rider_info(void);

// Reliable messages. Queueing shows "Not connected to server" offline and
// returns 0; else 1 (0 also when the queue is over its bound for a message
// that may be dropped).
int queue_reliable_message(int type, const void *body, int length);
// Counts of the outgoing queue and the pending incoming packets.
int outgoing_packet_count(void);
int pending_packet_count(void);
uint32_t expected_packet_number(void);
// Sends the queue's head when its time has come.
void send_reliable_head(void);
// An incoming type-17 datagram: acknowledged, delivered in order.
void receive_reliable_packet(const uint8_t *data, int length);
// An acknowledgement from the server.
void receive_acknowledgement(const uint8_t *data, int length);
// One delivered message from the server ([5] type, [6..] body).
void handle_reliable_message(const uint8_t *data, int length);
// A server command (message 24) of length bytes (no terminator needed).
void run_server_command(const char *text, int length);
// Frees both packet lists and zeroes both counters.
void free_packet_lists(void);

// Offline the erosion message is queued to be dug in at once; online it
// goes to the server as message 27.
void send_erode_record(const uint8_t *message, int length);

// Upload: opens "@outgoing/" + name and asks the server; 1 when started.
int start_file_upload(const char *name);
// Sends the next part when ready and due.
void step_file_upload(void);
void stop_file_upload(void);
