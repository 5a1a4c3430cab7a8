// The race-server protocol as both ends speak it: packet and message
// types, the numbers exchanged at contact, and every limit the client and
// the server hold a datagram to.
#pragma once

#include <cstdint>

constexpr int NET_DEFAULT_PORT = 19800;
constexpr int CLIENT_PROTOCOL = 41;
constexpr int SERVER_VERSION = 6;
constexpr int NET_NO_SLOT = 160;
constexpr int NET_DATAGRAM_MAX = 1023;        // bytes read from the socket per datagram
constexpr int NET_READS_PER_CALL = 1024;      // datagrams taken per receive call
constexpr int CLIENT_INFO_MAX = 982;          // client-info text in packet 3

// Client packets (the type byte is also the client's state).
constexpr int CLIENT_CONTACTING = 0;
constexpr int CLIENT_SENDING_INFO = 3;
constexpr int CLIENT_TRACK_ACK = 5;
constexpr int CLIENT_BIKE_ACK = 7;
constexpr int CLIENT_SYNCING = 9;
constexpr int CLIENT_RUNNING = 11;
constexpr int CLIENT_RESTART = 14;
constexpr int CLIENT_DISCONNECTING = 15;

// Server packets.
constexpr int SERVER_FULL = 1;
constexpr int SERVER_WELCOME = 2;
constexpr int SERVER_RACE = 4;
constexpr int SERVER_RIDER = 6;
constexpr int SERVER_OWN_RIDER = 8;
constexpr int SERVER_TIME = 10;
constexpr int SERVER_STATES = 11;
constexpr int SERVER_NOTHING = 13;
constexpr int SERVER_NEW_SESSION = 14;
constexpr int SERVER_DISCONNECT = 15;
constexpr int SERVER_TEXT = 16;
constexpr int PACKET_RELIABLE = 17;
constexpr int PACKET_ACK = 18;
constexpr int SERVER_REDIRECT = 25;

// Reliable message types.
constexpr int MESSAGE_CLIENT_INFO = 3;
constexpr int MESSAGE_TEXT = 19;
constexpr int MESSAGE_KEEP_ALIVE = 20;
constexpr int MESSAGE_GATES = 21;
constexpr int MESSAGE_COMMAND = 24;
constexpr int MESSAGE_EROSION = 27;

// Sizes of the fixed parts.
constexpr int CONTACT_SIZE = 21;
constexpr int INFO_HEADER_SIZE = 41;
constexpr int SESSION_PACKET_SIZE = 13;
constexpr int BIKE_ACK_SIZE = 17;
constexpr int DISCONNECT_SIZE = 9;
constexpr int STATE_PACKET_SIZE = 60;
constexpr int WELCOME_SIZE = 13;
constexpr int RACE_HEADER_SIZE = 37;
constexpr int RIDER_HEADER_SIZE = 9;
constexpr int TIME_SIZE = 13;
constexpr int STATES_HEADER_SIZE = 17;
constexpr int STATE_RECORD_SIZE = 47;
constexpr int GATE_RECORD_SIZE = 12;
constexpr int GATES_HEADER_SIZE = 14;         // [5] type, [6..9] session, [10..13] count
constexpr int RELIABLE_OUT_HEADER = 13;       // client: slot, key, number
constexpr int RELIABLE_IN_HEADER = 5;         // server: number
constexpr int RELIABLE_OUT_MAX = 480;         // client datagram length
constexpr int RELIABLE_NODE_BYTES = 484;
constexpr int ACK_SIZE = 13;

// Bounds on what a server may say.
constexpr int NET_TIC_MAX = 1 << 30;
constexpr int STATE_TIC_AHEAD_MAX = 256;      // a record's tic past the server tic
constexpr int NET_GATE_INDEX_MAX = 1 << 20;   // gate indices below this
constexpr uint32_t NET_GATE_MISSED = 0xffffffffu;   // the tic of a checkpoint missed
constexpr int NET_LAPS_MAX = 1000;
constexpr int RELIABLE_AHEAD_MAX = 256;       // pending numbers past the expected one
constexpr int OUTGOING_QUEUE_MAX = 1024;      // beyond this, erosion and keep-alive dropped
constexpr int KNOCKOUT_ENTRIES = 16;
constexpr int KNOCKOUT_MAX = 460800;
constexpr int NET_EROSION_AMOUNT_MAX = 102400;
constexpr int REDIRECT_LENGTH = 127;
constexpr int UPLOAD_CHUNK = 256;
constexpr int UPLOAD_END_LENGTH = 1024;
constexpr int RIDER_NAME_MAX = 63;
constexpr int RIDER_NUMBER_MAX = 3;
constexpr int FAKE_QUEUE_SIZE = 1024;

// Timings, in seconds.
constexpr double STATE_PACING = 1.0;
constexpr double RELIABLE_RESEND = 0.5;
constexpr double UPLOAD_PACING = 0.25;
constexpr double REDIRECT_DELAY = 10.0;
constexpr double CHAT_INTERVAL = 2.0;

// The race server's own choices.
constexpr int SERVER_TIC_RATE = 128;
constexpr int SERVER_STATE_EVERY = 4;          // tics between state packets
constexpr int SERVER_STATES_PER_DATAGRAM = 21;
constexpr int SERVER_WINDOW = 32;              // reliable packets in flight per client
constexpr int SERVER_ACK_EVERY = 17;           // acks batched: one per this many deliveries
constexpr int SERVER_UPLOAD_MAX = 16 << 20;
constexpr int SERVER_SILENCE_SECONDS = 10;
constexpr int SERVER_SESSION_GRACE_SECONDS = 30;
constexpr int SERVER_DEFAULT_COUNTDOWN = 10;   // seconds from announce to gate drop
constexpr int SERVER_NEW_SESSION_REPEAT = 64;  // tics between new-session packets to a client not answering
constexpr int SERVER_FINISH_WAIT_SECONDS = 10; // most a finished race waits for its gate passes to be held

// The race server's reliable queue to one client, bounded as a whole and
// by kind of message (the client's own queue holds OUTGOING_QUEUE_MAX).
// Past a bound the oldest message not yet sent of a kind that may be
// dropped (keep-alive, chat, erosion) goes; gate passes and commands are
// never dropped: their sender's packet waits, unacknowledged, for room.
constexpr int SERVER_QUEUE_MAX = 256;
constexpr int SERVER_QUEUE_KEEP_ALIVE_MAX = 1;
constexpr int SERVER_QUEUE_CHAT_MAX = 64;
constexpr int SERVER_QUEUE_EROSION_MAX = 192;
constexpr int SERVER_QUEUE_GATES_MAX = 64;      // messages of up to SERVER_GATES_PER_MESSAGE passes
constexpr int SERVER_QUEUE_COMMANDS_MAX = 32;
constexpr int SERVER_GATES_PER_MESSAGE = (RELIABLE_NODE_BYTES - GATES_HEADER_SIZE) / GATE_RECORD_SIZE;
constexpr double SERVER_CHAT_INTERVAL = CHAT_INTERVAL;   // one chat line per rider this often, as the client's spam rule
constexpr int SERVER_UNACKED_SECONDS = 10;     // a client leaving a sent packet unacknowledged this long is freed

inline uint32_t get_u32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

inline uint16_t get_u16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

inline void put_u32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

inline void put_u16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
