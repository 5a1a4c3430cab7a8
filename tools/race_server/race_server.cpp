// The race server: slots and keys, the join walk, the state relay every
// four tics, reliable messages both ways (each client's queue bounded by
// kind), sessions and uploads.
#include "tools/race_server/race_server.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <unistd.h>

#include "core/alloc.h"
#include "core/digest.h"
#include "net/client.h"
#include "platform/log.h"
#include "platform/time.h"
#include "track/timing.h"
#include "track/track.h"

enum { PHASE_FREE, PHASE_CONTACTED, PHASE_WALKING, PHASE_SYNCED };

// A reliable message to a client. Its number is given when it is first
// sent, so that one dropped before that leaves no gap.
struct OutPacket {
    double send_time;
    double first_sent;
    int sent;
    int acked;
    uint32_t number;
    int length;
    uint8_t data[RELIABLE_NODE_BYTES];
};

// A reliable packet from a client, kept until its turn (allocated to its
// length).
struct InPacket {
    uint32_t number;
    int length;
    uint8_t data[];   // the length of it
};

// Kinds of queued message, each with its bound; the first three may be
// dropped.
enum { KIND_KEEP_ALIVE, KIND_CHAT, KIND_EROSION, KIND_GATES, KIND_COMMANDS, KIND_COUNT };
const int KIND_BOUNDS[KIND_COUNT] = {SERVER_QUEUE_KEEP_ALIVE_MAX, SERVER_QUEUE_CHAT_MAX, SERVER_QUEUE_EROSION_MAX,
                                     SERVER_QUEUE_GATES_MAX, SERVER_QUEUE_COMMANDS_MAX};
const char *const KIND_NAMES[KIND_COUNT] = {"keep-alive", "chat", "erosion", "gate", "command"};

struct ServerClient {
    int phase;
    SocketAddress address;
    uint32_t key;
    uint32_t client_id;
    char info[CLIENT_INFO_MAX + 1];
    int info_length;
    double last_heard;
    uint32_t session;            // session of its race packet, 0 = none
    int gate;                    // grid place, 160 = watching
    uint8_t announced[NET_NO_SLOT];
    uint32_t newest_tic;         // its newest state's tic
    uint32_t echoed_server_tic;
    int has_state;
    uint8_t state[39];
    int gates_passed;
    int restart_asked;
    int commands_sent;           // the session's commands are queued
    // Reliable out: a queue; the first 32 unacknowledged are in flight.
    OutPacket *out[SERVER_QUEUE_MAX];
    int out_count;
    int kind_count[KIND_COUNT];
    uint32_t out_next;
    int drop_logged;
    // Reliable in: entry 0 is the expected packet, held while it waits for room.
    uint32_t expected;
    InPacket *pending[RELIABLE_AHEAD_MAX + 1];
    int chatted;
    double last_chat;
    // Upload.
    uint8_t *upload;
    int upload_length;
    int uploading;
};

static ServerOptions server_options;
static int server_socket = -1;
static int bound_port;
static ServerClient clients[NET_NO_SLOT];
static uint32_t session;
static uint32_t session_tic;
static uint32_t start_tic;
static int session_opened;
static double next_tic_time;
static uint8_t track_digest[20];
static int gates_to_finish;
static uint32_t finished_tic;   // session tic when every rider had finished, 0 = not yet
static uint32_t fixed_key;
uint64_t server_bytes_sent;

void default_server_options(ServerOptions *o)
{
    memset(o, 0, sizeof *o);
    o->port = NET_DEFAULT_PORT;
    o->laps = 3;
    o->max_riders = 16;
    o->countdown = SERVER_DEFAULT_COUNTDOWN;
    o->erode = -1;
}

int parse_server_options(ServerOptions *o, int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *name = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value) {
            fprintf(stderr, "Option %s needs a value\n", name);
            return 0;
        }
        i++;
        char *end;
        if (!strcmp(name, "--port")) {
            long v = strtol(value, &end, 10);
            if (*end || v < 0 || v > 65535)
                return fprintf(stderr, "Bad port '%s'\n", value), 0;
            o->port = (int)v;
        } else if (!strcmp(name, "--track")) {
            snprintf(o->track, sizeof o->track, "%s", value);
        } else if (!strcmp(name, "--laps")) {
            long v = strtol(value, &end, 10);
            if (*end || v < 0 || v > NET_LAPS_MAX)
                return fprintf(stderr, "Bad laps '%s'\n", value), 0;
            o->laps = (int)v;
        } else if (!strcmp(name, "--minutes")) {
            double v = strtod(value, &end);
            if (*end || !std::isfinite(v) || v < 0 || v > 1000)
                return fprintf(stderr, "Bad minutes '%s'\n", value), 0;
            o->minutes = v;
        } else if (!strcmp(name, "--password")) {
            snprintf(o->password, sizeof o->password, "%s", value);
        } else if (!strcmp(name, "--max-riders")) {
            long v = strtol(value, &end, 10);
            if (*end || v < 1 || v > NET_NO_SLOT)
                return fprintf(stderr, "Bad rider count '%s'\n", value), 0;
            o->max_riders = (int)v;
        } else if (!strcmp(name, "--countdown")) {
            double v = strtod(value, &end);
            if (*end || !std::isfinite(v) || v < 0 || v > 600)
                return fprintf(stderr, "Bad countdown '%s'\n", value), 0;
            o->countdown = v;
        } else if (!strcmp(name, "--command")) {
            if (o->command_count >= SERVER_COMMANDS_MAX)
                return fprintf(stderr, "Too many commands\n"), 0;
            snprintf(o->commands[o->command_count++], SERVER_TEXT_LENGTH, "%s", value);
        } else if (!strcmp(name, "--erode")) {
            long v = strtol(value, &end, 10);
            if (*end || v < 0 || v > NET_EROSION_AMOUNT_MAX)
                return fprintf(stderr, "Bad erosion amount '%s'\n", value), 0;
            o->erode = (int)v;
        } else if (!strcmp(name, "--uploads")) {
            snprintf(o->upload_folder, sizeof o->upload_folder, "%s", value);
        } else {
            fprintf(stderr, "Unknown option '%s'\n", name);
            return 0;
        }
    }
    return 1;
}

static double now_seconds(void)
{
    return (double)clock_milliseconds() * 0.001;
}

void (*server_send_observer)(const SocketAddress *to, const uint8_t *bytes, int length);

static void send_to(const SocketAddress *to, const uint8_t *bytes, int length)
{
    server_bytes_sent += (uint64_t)length;
    if (server_send_observer)
        server_send_observer(to, bytes, length);
    if (server_socket != -1)
        send_datagram(server_socket, bytes, length, to);
}

static void send_text_to(const SocketAddress *to, const char *text)
{
    uint8_t p[256];
    p[0] = SERVER_TEXT;
    int n = (int)strlen(text);
    if (n > 254)
        n = 254;
    memcpy(p + 1, text, (size_t)n);
    send_to(to, p, 1 + n);
}

// ---- reliable out ----------------------------------------------------------------------

static int message_kind(int type)
{
    switch (type) {
    case MESSAGE_KEEP_ALIVE: return KIND_KEEP_ALIVE;
    case MESSAGE_TEXT: return KIND_CHAT;
    case MESSAGE_EROSION: return KIND_EROSION;
    case MESSAGE_GATES: return KIND_GATES;
    default: return KIND_COMMANDS;
    }
}

static int droppable_kind(int kind)
{
    return kind == KIND_KEEP_ALIVE || kind == KIND_CHAT || kind == KIND_EROSION;
}

// The oldest message not yet sent of the kind (-1: of any kind that may
// be dropped); -1 when there is none.
static int oldest_unsent(const ServerClient *c, int kind)
{
    for (int i = 0; i < c->out_count; i++) {
        const OutPacket *p = c->out[i];
        if (p->sent)
            continue;
        int k = message_kind(p->data[5]);
        if (kind >= 0 ? k == kind : droppable_kind(k))
            return i;
    }
    return -1;
}

static void remove_out(ServerClient *c, int i)
{
    c->kind_count[message_kind(c->out[i]->data[5])]--;
    checked_free(c->out[i]);
    memmove(c->out + i, c->out + i + 1, sizeof(c->out[0]) * (size_t)(c->out_count - i - 1));
    c->out_count--;
}

// Whether a message of the kind fits, dropping what may go when it does
// not (when drop is set).
static int room_for(ServerClient *c, int kind, int drop)
{
    int victim = -1;
    if (c->kind_count[kind] >= KIND_BOUNDS[kind]) {
        if (!droppable_kind(kind) || (victim = oldest_unsent(c, kind)) < 0)
            return 0;
    } else if (c->out_count >= SERVER_QUEUE_MAX) {
        if ((victim = oldest_unsent(c, -1)) < 0)
            return 0;
    }
    if (victim < 0 || !drop)
        return 1;
    if (!c->drop_logged)
        log_printf("Slot %d: queue full, %s messages dropped\n", (int)(c - clients),
                   KIND_NAMES[message_kind(c->out[victim]->data[5])]);
    c->drop_logged = 1;
    remove_out(c, victim);
    return 1;
}

// 1 when queued; 0 when the client's queue has no room for the kind.
static int queue_to(ServerClient *c, int type, const void *body, int length)
{
    if (c->phase == PHASE_FREE)
        return 0;
    int kind = message_kind(type);
    if (!room_for(c, kind, 1))
        return 0;
    OutPacket *p = (OutPacket *)checked_malloc(sizeof(OutPacket));
    if (!p)
        return 0;
    memset(p, 0, offsetof(OutPacket, data));
    p->data[0] = PACKET_RELIABLE;
    p->data[5] = (uint8_t)type;
    int room = RELIABLE_NODE_BYTES - 6;
    if (length > room)
        length = room;
    if (length > 0)
        memcpy(p->data + 6, body, (size_t)length);
    p->length = 6 + length;
    c->out[c->out_count++] = p;
    c->kind_count[kind]++;
    return 1;
}

static void queue_to_all(int type, const void *body, int length)
{
    for (ServerClient &c : clients)
        if (c.phase != PHASE_FREE)
            queue_to(&c, type, body, length);
}

// The client's last queued message when it is an unsent gate-pass batch of
// this session with room for one more pass.
static OutPacket *open_gate_batch(ServerClient *c)
{
    if (c->out_count == 0)
        return nullptr;
    OutPacket *p = c->out[c->out_count - 1];
    if (p->sent || p->data[5] != MESSAGE_GATES || get_u32(p->data + 6) != session ||
        get_u32(p->data + 10) >= (uint32_t)SERVER_GATES_PER_MESSAGE)
        return nullptr;
    return p;
}

static int room_for_gate_pass(ServerClient *c)
{
    return c->phase == PHASE_FREE || open_gate_batch(c) || room_for(c, KIND_GATES, 0);
}

// One pass into the client's open batch, or a new batch behind it.
static void queue_gate_pass(ServerClient *c, int slot, uint32_t gate, uint32_t tic)
{
    if (c->phase == PHASE_FREE)
        return;
    OutPacket *p = open_gate_batch(c);
    if (!p) {
        uint8_t header[8];
        put_u32(header, session);
        put_u32(header + 4, 0);
        if (!queue_to(c, MESSAGE_GATES, header, sizeof header))
            return;
        p = c->out[c->out_count - 1];
    }
    uint32_t count = get_u32(p->data + 10);
    uint8_t *r = p->data + GATES_HEADER_SIZE + count * GATE_RECORD_SIZE;
    put_u32(r, (uint32_t)slot);
    put_u32(r + 4, gate);
    put_u32(r + 8, tic);
    put_u32(p->data + 10, count + 1);
    p->length += GATE_RECORD_SIZE;
}

// Acknowledged packets leave the front of the queue; 0 when the oldest
// packet sent has waited too long for its acknowledgement.
static int settle_queue(ServerClient *c, double now)
{
    int done = 0;
    while (done < c->out_count && c->out[done]->acked) {
        c->kind_count[message_kind(c->out[done]->data[5])]--;
        checked_free(c->out[done]);
        done++;
    }
    if (done > 0) {
        memmove(c->out, c->out + done, sizeof(c->out[0]) * (size_t)(c->out_count - done));
        c->out_count -= done;
    }
    return c->out_count == 0 || !c->out[0]->sent || now - c->out[0]->first_sent <= SERVER_UNACKED_SECONDS;
}

static void send_reliable(ServerClient *c, double now)
{
    for (int i = 0; i < c->out_count && i < SERVER_WINDOW; i++) {
        OutPacket *p = c->out[i];
        if (p->acked || (p->sent && p->send_time > now))
            continue;
        if (!p->sent) {
            p->sent = 1;
            p->first_sent = now;
            p->number = c->out_next++;
            put_u32(p->data + 1, p->number);
        }
        p->send_time = now + RELIABLE_RESEND;
        send_to(&c->address, p->data, p->length);
    }
}

static void take_ack(ServerClient *c, uint32_t number)
{
    for (int i = 0; i < c->out_count && i < SERVER_WINDOW; i++)
        if (c->out[i]->sent && c->out[i]->number == number)
            c->out[i]->acked = 1;
}

// ---- slots --------------------------------------------------------------------------------

static void free_client(ServerClient *c)
{
    for (int i = 0; i < c->out_count; i++)
        checked_free(c->out[i]);
    for (InPacket *&p : c->pending) {
        checked_free(p);
        p = nullptr;
    }
    checked_free(c->upload);
    memset(c, 0, sizeof *c);
}

static ServerClient *client_of(const SocketAddress *from, const uint8_t *p, int length)
{
    if (length < 9)
        return nullptr;
    uint32_t slot = get_u32(p + 1);
    if (slot >= NET_NO_SLOT)
        return nullptr;
    ServerClient *c = &clients[slot];
    if (c->phase == PHASE_FREE || c->key != get_u32(p + 5) ||
        c->address.address.sin_addr.s_addr != from->address.sin_addr.s_addr ||
        c->address.address.sin_port != from->address.sin_port)
        return nullptr;
    return c;
}

static uint32_t random_key(void)
{
    uint32_t key = fixed_key;
    while (key == 0)
        if (getrandom(&key, sizeof key, 0) != (ssize_t)sizeof key)
            key = (uint32_t)rand() | 1u;
    return key;
}

static void send_welcome(int slot)
{
    uint8_t p[WELCOME_SIZE];
    p[0] = SERVER_WELCOME;
    put_u32(p + 1, (uint32_t)slot);
    put_u32(p + 5, clients[slot].key);
    put_u32(p + 9, SERVER_VERSION);
    send_to(&clients[slot].address, p, sizeof p);
}

static void take_contact(const uint8_t *p, int length, const SocketAddress *from)
{
    if (length < CONTACT_SIZE)
        return;
    if (get_u32(p + 9) != CLIENT_PROTOCOL) {
        send_text_to(from, "Client protocol does not match the server\n");
        return;
    }
    uint32_t id = get_u32(p + 13);
    for (int slot = 0; slot < NET_NO_SLOT; slot++) {
        ServerClient *c = &clients[slot];
        if (c->phase != PHASE_FREE && c->client_id == id &&
            c->address.address.sin_addr.s_addr == from->address.sin_addr.s_addr &&
            c->address.address.sin_port == from->address.sin_port) {
            // Its welcome was lost: it is not silent.
            c->last_heard = now_seconds();
            send_welcome(slot);
            return;
        }
    }
    for (int slot = 0; slot < server_options.max_riders && slot < NET_NO_SLOT; slot++) {
        ServerClient *c = &clients[slot];
        if (c->phase != PHASE_FREE)
            continue;
        c->phase = PHASE_CONTACTED;
        c->address = *from;
        c->key = random_key();
        c->client_id = id;
        c->gate = NET_NO_SLOT;
        c->last_heard = now_seconds();
        send_welcome(slot);
        return;
    }
    uint8_t full = SERVER_FULL;
    send_to(from, &full, 1);
}

// ---- the walk -------------------------------------------------------------------------------

static void send_race(ServerClient *c)
{
    uint8_t p[RACE_HEADER_SIZE + SERVER_TEXT_LENGTH];
    p[0] = SERVER_RACE;
    put_u32(p + 1, session);
    put_u32(p + 5, (uint32_t)lround(server_options.minutes * 60.0 * SERVER_TIC_RATE));
    put_u32(p + 9, (uint32_t)server_options.laps);
    put_u32(p + 13, start_tic);
    memcpy(p + 17, track_digest, 20);
    int n = (int)strlen(server_options.track);
    memcpy(p + RACE_HEADER_SIZE, server_options.track, (size_t)n);
    send_to(&c->address, p, RACE_HEADER_SIZE + n);
    if (c->session != session) {
        c->session = session;
        memset(c->announced, 0, sizeof c->announced);
        c->has_state = 0;
        c->newest_tic = 0;
        c->gates_passed = 0;
        c->restart_asked = 0;
        c->commands_sent = 0;
    }
}

// Every admitted rider, also one still answering a new session: a walk
// announces all of them, so that no walk has to be repeated.
static int in_session(const ServerClient *c)
{
    return c->phase >= PHASE_WALKING && c->info_length > 0;
}

static int grid_is_set(void)
{
    return session_tic >= start_tic;
}

// A client's session opens with the commands once it has synced: the race
// reset it makes on its own grid place would undo what came before.
static void set_synced(ServerClient *c)
{
    c->phase = PHASE_SYNCED;
    if (c->commands_sent)
        return;
    c->commands_sent = 1;
    for (int i = 0; i < server_options.command_count; i++)
        queue_to(c, MESSAGE_COMMAND, server_options.commands[i], (int)strlen(server_options.commands[i]));
    if (server_options.erode >= 0) {
        char text[64];
        snprintf(text, sizeof text, "erode %u %d", session, server_options.erode);
        queue_to(c, MESSAGE_COMMAND, text, (int)strlen(text));
    }
}

static void send_new_session(ServerClient *c)
{
    uint8_t p[5];
    p[0] = SERVER_NEW_SESSION;
    put_u32(p + 1, session);
    send_to(&c->address, p, sizeof p);
}

// The next rider above the acknowledged one, or the client's own packet.
static void continue_walk(ServerClient *c, uint32_t acked)
{
    int self = (int)(c - clients);
    for (int slot = 0; slot < NET_NO_SLOT; slot++) {
        if (slot == self || !in_session(&clients[slot]) || (acked != NET_NO_SLOT && (uint32_t)slot <= acked))
            continue;
        uint8_t p[RIDER_HEADER_SIZE + CLIENT_INFO_MAX];
        p[0] = SERVER_RIDER;
        put_u32(p + 1, session);
        put_u32(p + 5, (uint32_t)slot);
        memcpy(p + 9, clients[slot].info, (size_t)clients[slot].info_length);
        send_to(&c->address, p, RIDER_HEADER_SIZE + clients[slot].info_length);
        return;
    }
    if (acked != NET_NO_SLOT && acked < NET_NO_SLOT)
        c->announced[acked] = 1;
    if (c->gate == NET_NO_SLOT && !grid_is_set())
        c->gate = self;
    uint8_t p[RIDER_HEADER_SIZE + CLIENT_INFO_MAX];
    p[0] = SERVER_OWN_RIDER;
    put_u32(p + 1, session);
    put_u32(p + 5, (uint32_t)c->gate);
    memcpy(p + 9, c->info, (size_t)c->info_length);
    send_to(&c->address, p, RIDER_HEADER_SIZE + c->info_length);
}

static void open_session(void)
{
    session++;
    session_tic = 1;
    finished_tic = 0;
    start_tic = 1 + (uint32_t)lround(server_options.countdown * SERVER_TIC_RATE);
    session_opened = 1;
    for (ServerClient &c : clients)
        c.gate = NET_NO_SLOT;
    log_printf("Session %u opens\n", session);
}

// ---- reliable in ----------------------------------------------------------------------------

static int plain_upload_name(const char *name)
{
    size_t n = strlen(name);
    if (n == 0 || n > 63 || name[0] == '.')
        return 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || c == '/' || c == '\\')
            return 0;
    }
    return 1;
}

static void send_command(ServerClient *c, const char *text)
{
    queue_to(c, MESSAGE_COMMAND, text, (int)strlen(text));
}

static void send_chat(ServerClient *c, const char *text)
{
    queue_to(c, MESSAGE_TEXT, text, (int)strlen(text));
}

static void finish_upload(ServerClient *c, const char *name)
{
    if (!c->uploading || !server_options.upload_folder[0] || !plain_upload_name(name)) {
        send_command(c, "senddenied");
        c->uploading = 0;
        return;
    }
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", server_options.upload_folder, name);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    int ok = fd >= 0 && write(fd, c->upload, (size_t)c->upload_length) == (ssize_t)c->upload_length;
    if (fd >= 0) {
        ok = close(fd) == 0 && ok;
        // A file not written whole is not kept.
        if (!ok)
            unlink(path);
    }
    send_chat(c, ok ? "File received" : "File not saved");
    c->uploading = 0;
    c->upload_length = 0;
}

// 0 when the answer has no room in the client's queue yet.
static int take_command(ServerClient *c, const uint8_t *body, int length)
{
    if (!room_for(c, KIND_COMMANDS, 0))
        return 0;
    char text[NET_DATAGRAM_MAX + 1];
    memcpy(text, body, (size_t)length);
    text[length] = '\0';
    if (!strcmp(text, "sendfile")) {
        if (!server_options.upload_folder[0]) {
            send_command(c, "senddenied");
            return 1;
        }
        c->uploading = 1;
        c->upload_length = 0;
        send_command(c, "sendready");
    } else if (length >= 10 && !memcmp(body, "sendpart -", 10)) {
        int n = length - 10;
        if (!c->uploading)
            return 1;
        if (c->upload_length + n > SERVER_UPLOAD_MAX) {
            c->uploading = 0;
            send_command(c, "senddenied");
            return 1;
        }
        uint8_t *grown = (uint8_t *)checked_realloc(c->upload, (size_t)(c->upload_length + n + 1));
        if (!grown)
            return 1;
        c->upload = grown;
        memcpy(c->upload + c->upload_length, body + 10, (size_t)n);
        c->upload_length += n;
    } else if (!strncmp(text, "namefile ", 9)) {
        finish_upload(c, text + 9);
    }
    return 1;
}

static int valid_erosion_message(const uint8_t *m, int length)
{
    if (length < 17 || length > EROSION_MESSAGE_MAX || (length - 17) % 4 != 0 || m[0] != 1)
        return 0;
    return 1;
}

// A gate pass of the rider in the slot: queued for every client at once
// (into each one's open batch, or a new batch), or not at all while some
// client's queue has no room for it: 0 then, and it waits.
static int relay_gate_pass(ServerClient *c, const uint8_t *body, int n)
{
    if (n < 12 || get_u32(body) != session)
        return 1;
    uint32_t gate = get_u32(body + 4), tic = get_u32(body + 8);
    // A checkpoint the rider missed comes with the tic -1: it counts, or
    // every later pass would be refused.
    if (gate >= NET_GATE_INDEX_MAX || (tic > NET_TIC_MAX && tic != NET_GATE_MISSED) ||
        (int)gate != c->gates_passed)
        return 1;
    for (ServerClient &o : clients)
        if (!room_for_gate_pass(&o))
            return 0;
    c->gates_passed = (int)gate + 1;
    for (ServerClient &o : clients)
        queue_gate_pass(&o, (int)(c - clients), gate, tic);
    return 1;
}

// A chat line to everyone with the rider's name in front, at most one
// line per rider in the client's spam interval.
static void relay_chat(ServerClient *c, const uint8_t *body, int n)
{
    int slot = (int)(c - clients);
    double now = now_seconds();
    if (c->chatted && now - c->last_chat <= SERVER_CHAT_INTERVAL)
        return;
    c->chatted = 1;
    c->last_chat = now;
    char text[RELIABLE_NODE_BYTES];
    NetRiderInfo saved = net_rider_info[slot];
    set_rider_slot_info(slot, c->info, c->info_length);
    snprintf(text, sizeof text, "%s: %.*s", net_rider_info[slot].name, n, (const char *)body);
    net_rider_info[slot] = saved;
    queue_to_all(MESSAGE_TEXT, text, (int)strlen(text));
}

// Acts on one message in its turn; 0 when it must wait for room.
static int deliver(ServerClient *c, const uint8_t *p, int length)
{
    if (length < RELIABLE_OUT_HEADER + 1)
        return 1;
    const uint8_t *body = p + RELIABLE_OUT_HEADER + 1;
    int n = length - RELIABLE_OUT_HEADER - 1;
    switch (p[RELIABLE_OUT_HEADER]) {
    case MESSAGE_CLIENT_INFO:
        if (n <= CLIENT_INFO_MAX) {
            memcpy(c->info, body, (size_t)n);
            c->info_length = n;
        }
        return 1;
    case MESSAGE_TEXT: relay_chat(c, body, n); return 1;
    case MESSAGE_GATES: return relay_gate_pass(c, body, n);
    case MESSAGE_COMMAND: return take_command(c, body, n);
    case MESSAGE_EROSION:
        if (n >= 4 && get_u32(body) == session && valid_erosion_message(body + 4, n - 4))
            queue_to_all(MESSAGE_EROSION, body, n);
        return 1;
    default: return 1;
    }
}

static void send_ack(ServerClient *c, uint32_t number)
{
    uint8_t ack[5];
    ack[0] = PACKET_ACK;
    put_u32(ack + 1, number);
    send_to(&c->address, ack, sizeof ack);
}

// Delivers the packets whose turn has come, acknowledging each once it is
// acted on; one that must wait stays first, unacknowledged, and is tried
// again each tic.
static void deliver_pending(ServerClient *c)
{
    while (c->phase != PHASE_FREE && c->pending[0]) {
        InPacket *in = c->pending[0];
        if (!deliver(c, in->data, in->length))
            return;
        if (c->phase == PHASE_FREE)
            return;
        send_ack(c, in->number);
        checked_free(in);
        memmove(c->pending, c->pending + 1, sizeof(c->pending[0]) * RELIABLE_AHEAD_MAX);
        c->pending[RELIABLE_AHEAD_MAX] = nullptr;
        c->expected++;
    }
}

static void take_reliable(ServerClient *c, const uint8_t *p, int length)
{
    if (length < RELIABLE_OUT_HEADER)
        return;
    uint32_t number = get_u32(p + 9);
    uint32_t ahead = number - c->expected;
    if ((int32_t)ahead < 0) {
        send_ack(c, number);   // delivered before: its acknowledgement was lost
        return;
    }
    if (ahead > RELIABLE_AHEAD_MAX)
        return;
    // The packet in its turn, nothing waiting: acted on straight away.
    if (ahead == 0 && !c->pending[0]) {
        if (deliver(c, p, length)) {
            if (c->phase == PHASE_FREE)
                return;
            send_ack(c, number);
            memmove(c->pending, c->pending + 1, sizeof(c->pending[0]) * RELIABLE_AHEAD_MAX);
            c->pending[RELIABLE_AHEAD_MAX] = nullptr;
            c->expected++;
            deliver_pending(c);
            return;
        }
        if (c->phase == PHASE_FREE)
            return;
    }
    if (!c->pending[ahead]) {
        InPacket *in = (InPacket *)checked_malloc(offsetof(InPacket, data) + (size_t)length);
        if (!in)
            return;
        in->number = number;
        in->length = length;
        memcpy(in->data, p, (size_t)length);
        c->pending[ahead] = in;
    }
    if (ahead == 0)
        deliver_pending(c);
}

// ---- client packets -----------------------------------------------------------------------

static void take_info(ServerClient *c, const uint8_t *p, int length)
{
    if (length < INFO_HEADER_SIZE)
        return;
    if (server_options.password[0] && get_u32(p + 9) != password_proof(server_options.password, c->key)) {
        SocketAddress to = c->address;
        free_client(c);
        send_text_to(&to, "Wrong password\n");
        return;
    }
    int n = length - INFO_HEADER_SIZE;
    if (n > CLIENT_INFO_MAX)
        n = CLIENT_INFO_MAX;
    memcpy(c->info, p + INFO_HEADER_SIZE, (size_t)n);
    c->info_length = n;
    if (c->phase < PHASE_WALKING)
        c->phase = PHASE_WALKING;
    send_race(c);
}

void handle_client_datagram(const uint8_t *p, int length, const SocketAddress *from)
{
    if (!p || length < 1 || length > NET_DATAGRAM_MAX || !from)
        return;
    if (p[0] == CLIENT_CONTACTING) {
        take_contact(p, length, from);
        return;
    }
    ServerClient *c = client_of(from, p, length);
    if (!c)
        return;
    c->last_heard = now_seconds();
    switch (p[0]) {
    case CLIENT_SENDING_INFO: take_info(c, p, length); break;
    case CLIENT_TRACK_ACK:
        if (length >= SESSION_PACKET_SIZE && get_u32(p + 9) == session)
            continue_walk(c, NET_NO_SLOT);
        break;
    case CLIENT_BIKE_ACK:
        if (length >= BIKE_ACK_SIZE && get_u32(p + 9) == session) {
            uint32_t acked = get_u32(p + 13);
            if (acked < NET_NO_SLOT)
                c->announced[acked] = 1;
            continue_walk(c, acked);
        }
        break;
    case CLIENT_SYNCING:
        if (length >= SESSION_PACKET_SIZE && get_u32(p + 9) == session)
            set_synced(c);
        break;
    case CLIENT_RUNNING:
        if (length >= STATE_PACKET_SIZE && get_u32(p + 9) == session) {
            set_synced(c);
            uint32_t tic = get_u32(p + 17);
            uint32_t echoed = get_u32(p + 13);
            if (echoed <= session_tic && echoed > c->echoed_server_tic)
                c->echoed_server_tic = echoed;
            // A tic far ahead of the session would hold back every later
            // state: taken up to what every client takes.
            if (tic <= NET_TIC_MAX && tic <= session_tic + STATE_TIC_AHEAD_MAX && tic > c->newest_tic) {
                c->newest_tic = tic;
                memcpy(c->state, p + 21, sizeof c->state);
                c->has_state = 1;
            }
        }
        break;
    case SERVER_NOTHING:
        if (length >= 10 && p[9] == 1)
            c->restart_asked = 1;
        break;
    case CLIENT_RESTART:
        if (length >= SESSION_PACKET_SIZE && get_u32(p + 9) == session) {
            c->phase = PHASE_WALKING;
            send_race(c);
        }
        break;
    case CLIENT_DISCONNECTING: {
        SocketAddress to = c->address;
        free_client(c);
        uint8_t bye = SERVER_DISCONNECT;
        send_to(&to, &bye, 1);
        break;
    }
    case PACKET_RELIABLE: take_reliable(c, p, length); break;
    case PACKET_ACK:
        if (length >= 13)
            take_ack(c, get_u32(p + 9));
        break;
    default: break;
    }
}

// ---- tics ------------------------------------------------------------------------------------

static void send_states(ServerClient *c)
{
    int self = (int)(c - clients);
    uint8_t p[STATES_HEADER_SIZE + SERVER_STATES_PER_DATAGRAM * STATE_RECORD_SIZE];
    put_u32(p + 1, session);
    put_u32(p + 5, session_tic);
    put_u32(p + 9, c->newest_tic);
    int n = 0, sent = 0;
    for (int slot = 0; slot < NET_NO_SLOT; slot++) {
        const ServerClient *o = &clients[slot];
        if (slot == self || o->phase != PHASE_SYNCED || o->session != session || !o->has_state)
            continue;
        uint8_t *r = p + STATES_HEADER_SIZE + n * STATE_RECORD_SIZE;
        uint32_t ping = o->echoed_server_tic ? session_tic - o->echoed_server_tic : 0;
        put_u16(r, (uint16_t)slot);
        put_u16(r + 2, (uint16_t)(ping > 65535 ? 65535 : ping));
        put_u32(r + 4, o->newest_tic);
        memcpy(r + 8, o->state, sizeof o->state);
        if (++n == SERVER_STATES_PER_DATAGRAM || slot == NET_NO_SLOT - 1) {
            p[0] = SERVER_STATES;
            put_u32(p + 13, (uint32_t)n);
            send_to(&c->address, p, STATES_HEADER_SIZE + n * STATE_RECORD_SIZE);
            sent = 1;
            n = 0;
        }
    }
    if (n > 0) {
        p[0] = SERVER_STATES;
        put_u32(p + 13, (uint32_t)n);
        send_to(&c->address, p, STATES_HEADER_SIZE + n * STATE_RECORD_SIZE);
    } else if (!sent) {
        p[0] = SERVER_TIME;
        send_to(&c->address, p, TIME_SIZE);
    }
}

// Gate passes relayed to a rider of the session and not yet acknowledged.
static int gates_in_flight(void)
{
    for (const ServerClient &c : clients) {
        if (c.phase != PHASE_SYNCED || c.session != session)
            continue;
        for (int i = 0; i < c.out_count; i++)
            if (!c.out[i]->acked && c.out[i]->data[5] == MESSAGE_GATES)
                return 1;
    }
    for (const ServerClient &c : clients)
        if (c.pending[0] && c.pending[0]->length > RELIABLE_OUT_HEADER &&
            c.pending[0]->data[RELIABLE_OUT_HEADER] == MESSAGE_GATES)
            return 1;
    return 0;
}

static void new_session_if_due(void)
{
    int riders = 0, finished = 0, asked = 0, walking = 0, unknown = 0, unknown_racer = 0;
    for (ServerClient &c : clients) {
        if (c.phase == PHASE_FREE)
            continue;
        if (c.phase == PHASE_WALKING || (c.phase == PHASE_SYNCED && c.session != session))
            walking++;
        if (c.session != session)
            continue;
        if (c.phase != PHASE_SYNCED)
            continue;
        riders++;
        if (gates_to_finish > 0 && c.gate != NET_NO_SLOT && c.gates_passed >= gates_to_finish)
            finished++;
        if (c.gate == NET_NO_SLOT)
            finished++;
        asked += c.restart_asked;
        // A rider joined before the gate drop that this one was not told of;
        // one with a grid place would race unseen by it.
        for (int slot = 0; slot < NET_NO_SLOT; slot++)
            if (&clients[slot] != &c && in_session(&clients[slot]) && !c.announced[slot]) {
                unknown = 1;
                unknown_racer |= clients[slot].gate != NET_NO_SLOT;
            }
    }
    if (riders == 0 || walking > 0)
        return;
    int length = (int)lround(server_options.minutes * 60.0 * SERVER_TIC_RATE);
    // A finished race waits until every rider holds every gate pass (the
    // next session's packets make the last one's stale), for a while at most.
    if (finished < riders)
        finished_tic = 0;
    else if (finished_tic == 0)
        finished_tic = session_tic;
    int passes_held = !gates_in_flight() || session_tic - finished_tic >= SERVER_FINISH_WAIT_SECONDS * SERVER_TIC_RATE;
    int due = (finished == riders && passes_held) || asked == riders ||
              (length > 0 && session_tic >= start_tic + (uint32_t)length +
                                                SERVER_SESSION_GRACE_SECONDS * SERVER_TIC_RATE) ||
              (unknown && !grid_is_set()) || unknown_racer;
    if (!due)
        return;
    open_session();
    for (ServerClient &c : clients)
        if (c.phase == PHASE_SYNCED)
            send_new_session(&c);
}

static void run_server_tic(double now)
{
    session_tic++;
    for (ServerClient &c : clients) {
        if (c.phase == PHASE_FREE)
            continue;
        // A packet that waited for room is tried again.
        if (c.pending[0])
            deliver_pending(&c);
        if (now - c.last_heard > SERVER_SILENCE_SECONDS) {
            log_printf("Slot %d silent: freed\n", (int)(&c - clients));
            free_client(&c);
            continue;
        }
        if (!settle_queue(&c, now)) {
            log_printf("Slot %d acknowledges nothing: freed\n", (int)(&c - clients));
            free_client(&c);
            continue;
        }
        // A quiet client is asked to answer, once it knows its slot: the
        // answer must carry it.
        if (c.phase >= PHASE_WALKING && now - c.last_heard > 3.0 && c.out_count == 0)
            queue_to(&c, MESSAGE_KEEP_ALIVE, "", 0);
        if (session_tic % SERVER_STATE_EVERY == 0 && c.phase == PHASE_SYNCED && c.session == session)
            send_states(&c);
        // Told of the new session until it answers: a lost packet would
        // leave it in the last one for good.
        if (session_tic % SERVER_NEW_SESSION_REPEAT == 0 && c.phase == PHASE_SYNCED && c.session != session)
            send_new_session(&c);
        send_reliable(&c, now);
    }
    if (session_tic % SERVER_STATE_EVERY == 0)
        new_session_if_due();
}

int start_race_server(const ServerOptions *options)
{
    server_options = *options;
    fixed_key = 0;
    if (track_catalogue.count == 0)
        scan_track_catalogue();
    set_track_folder(server_options.track);
    if (!server_options.track[0] || !load_track()) {
        fprintf(stderr, "Can't load track '%s'\n", server_options.track);
        return 0;
    }
    memcpy(track_digest, current_track.digest, sizeof track_digest);
    int laps = server_options.laps;
    gates_to_finish = laps > 0 ? lap_gate_list.first_lap_count + (laps - 1) * lap_gate_list.normal_lap_count : 0;
    server_socket = open_udp_socket();
    if (server_socket == -1)
        return 0;
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)server_options.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(server_socket, (struct sockaddr *)&address, sizeof address) != 0) {
        fprintf(stderr, "Can't bind port %d\n", server_options.port);
        close_socket(server_socket);
        server_socket = -1;
        return 0;
    }
    socklen_t size = sizeof address;
    getsockname(server_socket, (struct sockaddr *)&address, &size);
    bound_port = ntohs(address.sin_port);
    open_session();
    next_tic_time = now_seconds();
    return 1;
}

void prepare_race_server(const ServerOptions *options, uint32_t key)
{
    stop_race_server();
    server_options = *options;
    fixed_key = key;
    session = 0;
    gates_to_finish = 0;
    memset(track_digest, 0, sizeof track_digest);
    open_session();
}

void run_server_tic_at(double now)
{
    run_server_tic(now);
}

void set_server_gates_to_finish(int gates)
{
    gates_to_finish = gates;
}

int server_port(void)
{
    return bound_port;
}

uint32_t server_session_tic(void)
{
    return session_tic;
}

uint32_t server_session_id(void)
{
    return session;
}

int server_client_count(void)
{
    int n = 0;
    for (const ServerClient &c : clients)
        n += c.phase != PHASE_FREE;
    return n;
}

void step_race_server(int timeout_ms)
{
    if (server_socket == -1)
        return;
    double now = now_seconds();
    int wait = (int)((next_tic_time - now) * 1000.0);
    if (wait > timeout_ms)
        wait = timeout_ms;
    if (wait > 0) {
        struct pollfd pfd = {server_socket, POLLIN, 0};
        poll(&pfd, 1, wait);
    }
    uint8_t data[NET_DATAGRAM_MAX + 1];
    for (int i = 0; i < NET_READS_PER_CALL; i++) {
        SocketAddress from;
        int length = receive_datagram(server_socket, data, NET_DATAGRAM_MAX, &from);
        if (length < 0) {
            if (socket_error_name && !strcmp(socket_error_name, "WSAEMSGSIZE"))
                continue;
            break;
        }
        handle_client_datagram(data, length, &from);
    }
    now = now_seconds();
    // A server far behind (stopped, debugged) skips ahead rather than racing.
    if (now - next_tic_time > 1.0)
        next_tic_time = now;
    while (next_tic_time <= now) {
        next_tic_time += 1.0 / SERVER_TIC_RATE;
        run_server_tic(now);
    }
}

void stop_race_server(void)
{
    uint8_t bye = SERVER_DISCONNECT;
    for (ServerClient &c : clients)
        if (c.phase != PHASE_FREE) {
            send_to(&c.address, &bye, 1);
            free_client(&c);
        }
    if (server_socket != -1)
        close_socket(server_socket);
    server_socket = -1;
}

void run_race_server(volatile int *stop)
{
    while (!*stop)
        step_race_server(100);
    stop_race_server();
}
