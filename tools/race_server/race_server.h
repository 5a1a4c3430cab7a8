// The race server: hosts races for the game's clients over UDP on one
// thread, 128 tics a second. It admits riders into slots, walks each
// through the track and the other riders, relays states, gate passes,
// chat and erosion, runs sessions one after another and takes uploads.
#pragma once

#include <cstdint>

#include "core/socket.h"
#include "net/net_protocol.h"

enum { SERVER_COMMANDS_MAX = 16, SERVER_TEXT_LENGTH = 256 };

struct ServerOptions {
    int port;                        // 19800; 0 = any free port
    char track[SERVER_TEXT_LENGTH];  // catalogue folder
    int laps;
    double minutes;                  // race length, 0 = laps only
    char password[128];              // empty = none
    int max_riders;                  // 1..160
    double countdown;                // seconds from a session's announce to the gate drop
    char commands[SERVER_COMMANDS_MAX][SERVER_TEXT_LENGTH];   // sent as each session opens
    int command_count;
    int erode;                       // erosion amount sent as each session opens, -1 = none
    char upload_folder[512];         // empty = uploads denied
};

// The defaults: port 19800, 3 laps, 16 riders, 10 s countdown.
void default_server_options(ServerOptions *options);
// Reads "--port N", "--track T", "--laps N", "--minutes M", "--password P",
// "--max-riders N", "--countdown S", "--command TEXT", "--erode N" and
// "--uploads FOLDER"; 0 (and a line on stderr) for anything else.
int parse_server_options(ServerOptions *options, int argc, char **argv);

// Loads the track (the game data must be found), binds the socket; 1 on
// success. The bound port is then in server_port().
int start_race_server(const ServerOptions *options);
int server_port(void);
// One pass: reads every waiting datagram and runs the tics that are due;
// waits at most timeout_ms for a datagram or the next tic.
void step_race_server(int timeout_ms);
// Runs until *stop is set, then sends 15 to every client and closes.
void run_race_server(volatile int *stop);
void stop_race_server(void);

// One datagram from a sender, as the server's reader takes it (tests and
// the fuzz target call it directly).
void handle_client_datagram(const uint8_t *data, int length, const SocketAddress *from);
// Tests, fuzzing and benchmarks: the options in force and a session open
// without a track or a socket (nothing leaves, the bytes are counted);
// every slot's key is the given one when it is not 0.
void prepare_race_server(const ServerOptions *options, uint32_t key);
// One server tic as if run at the given time on the monotonic clock.
void run_server_tic_at(double now);
// Tests: the gate passes that finish the race (the track's gates otherwise).
void set_server_gates_to_finish(int gates);
extern uint64_t server_bytes_sent;   // datagram bytes handed to the socket
// Tests: sees every datagram the server sends, when set.
extern void (*server_send_observer)(const SocketAddress *to, const uint8_t *bytes, int length);
// The session tic and the session now.
uint32_t server_session_tic(void);
uint32_t server_session_id(void);
int server_client_count(void);
