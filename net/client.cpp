// The race-server client's connection machine: the "net" stage, the
// datagrams read from the server and dispatched by type, the packet of each
// connection state, the simulated latency and loss, and the disconnect.
#include "net/client.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/menu.h"
#include "app/race_screens.h"
#include "app/stock_shapes.h"
#include "core/alloc.h"
#include "core/message.h"
#include "platform/log.h"
#include "platform/time.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/track.h"

int net_socket = -1;
int own_slot = NET_NO_SLOT;
int local_gate_position = NET_NO_SLOT;
uint32_t last_state_tic[160];
uint32_t slot_state_tics[160];
int slot_pings[BIKE_SLOT_COUNT];
int crash_delay_table[CRASH_DELAY_ENTRIES];
int contact_log_flags;
float contact_log_spacing = 10.0f;

int slot_kinds[160];
char *connect_target;
int client_info_changed;
int arcade_physics_forbidden;

NetRiderInfo net_rider_info[160];
int server_start_tic;
int server_race_length;
int server_laps;
char server_track[256];
static uint8_t server_digest[20];

char join_password[JOIN_PASSWORD_LENGTH];
float fake_lag;
int fake_loss;
SocketAddress server_address;
int client_state;
uint32_t session_key;
uint32_t session_id;
uint32_t client_id;
uint32_t acked_rider_slot = NET_NO_SLOT;
uint32_t highest_server_tic;
int server_tic_estimate;
uint32_t gates_reported;
double last_send_time;
char redirect_target[REDIRECT_LENGTH + 1];
double redirect_time;
int force_track_reload;

static double clock_seconds(void)
{
    return (double)clock_milliseconds() * 0.001;
}

double (*net_clock)(void) = clock_seconds;

double net_now(void)
{
    return net_clock();
}

void set_connect_target(const char *text)
{
    checked_free(connect_target);
    connect_target = nullptr;
    if (!text)
        return;
    size_t length = strlen(text) + 1;
    connect_target = (char *)xmalloc(length);
    memcpy(connect_target, text, length);
}

void clear_net_rider_info(void)
{
    memset(net_rider_info, 0, sizeof net_rider_info);
    own_slot = NET_NO_SLOT;
    local_gate_position = NET_NO_SLOT;
}

// ---- sending ------------------------------------------------------------------------

static void send_bytes(const uint8_t *bytes, int length)
{
    if (net_socket == -1)
        return;
    if (send_datagram(net_socket, bytes, length, &server_address) < 0 && socket_error_name) {
        char text[128];
        snprintf(text, sizeof text, "sendto error (%.100s)", socket_error_name);
        print_message(text);
    }
}

static int session_header(uint8_t *p, int type)
{
    p[0] = (uint8_t)type;
    put_u32(p + 1, (uint32_t)own_slot);
    put_u32(p + 5, session_key);
    return 9;
}

void send_contact(void)
{
    uint8_t p[CONTACT_SIZE];
    memset(p, 0, sizeof p);
    p[0] = CLIENT_CONTACTING;
    p[1] = join_password[0] ? 1 : 0;
    put_u32(p + 9, CLIENT_PROTOCOL);
    put_u32(p + 13, client_id);
    send_bytes(p, sizeof p);
    print_message("Contacting server\n");
}

static void send_client_info(void)
{
    uint8_t p[INFO_HEADER_SIZE + CLIENT_INFO_MAX + 1];
    memset(p, 0, INFO_HEADER_SIZE);
    session_header(p, CLIENT_SENDING_INFO);
    put_u32(p + 9, join_password[0] ? password_proof(join_password, session_key) : 0);
    put_u32(p + 17, client_id);
    char text[CLIENT_INFO_MAX + 1];
    format_client_info(text, sizeof text);
    int length = (int)strlen(text);
    memcpy(p + INFO_HEADER_SIZE, text, (size_t)length);
    send_bytes(p, INFO_HEADER_SIZE + length);
    print_message("Sending client info\n");
    client_info_changed = 0;
}

void send_state_packet(void)
{
    uint8_t p[BIKE_ACK_SIZE];
    memset(p, 0, sizeof p);
    int length = session_header(p, client_state);
    switch (client_state) {
    case CLIENT_CONTACTING:
        send_contact();
        return;
    case CLIENT_SENDING_INFO:
        send_client_info();
        return;
    case CLIENT_TRACK_ACK:
    case CLIENT_SYNCING:
    case CLIENT_RESTART:
        put_u32(p + 9, session_id);
        length = SESSION_PACKET_SIZE;
        break;
    case CLIENT_BIKE_ACK:
        put_u32(p + 9, session_id);
        put_u32(p + 13, acked_rider_slot);
        length = BIKE_ACK_SIZE;
        break;
    case CLIENT_DISCONNECTING:
        length = DISCONNECT_SIZE;
        break;
    default:
        return;
    }
    send_bytes(p, length);
    if (client_state == CLIENT_TRACK_ACK)
        print_message("Sending track acknowledgment\n");
    else if (client_state == CLIENT_BIKE_ACK) {
        char text[64];
        snprintf(text, sizeof text, "Sending bike acknowledgment %u\n", acked_rider_slot);
        print_message(text);
    } else if (client_state == CLIENT_RESTART)
        print_message("Sending restart\n");
    else if (client_state == CLIENT_DISCONNECTING)
        print_message("Disconnecting\n");
}

// ---- receiving ----------------------------------------------------------------------

static void clear_slot_tables(void)
{
    memset(slot_kinds, 0, sizeof slot_kinds);
    memset(net_rider_info, 0, sizeof net_rider_info);
    memset(slot_pings, 0, sizeof slot_pings);
    memset(slot_state_tics, 0, sizeof slot_state_tics);
    memset(last_state_tic, 0, sizeof last_state_tic);
}

static uint32_t clamp_u32(uint32_t value, uint32_t limit)
{
    return value > limit ? limit : value;
}

static int find_catalogue_track(const char *name)
{
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders[i] && !strcmp(track_catalogue.folders[i], name))
            return i;
    return -1;
}

static int session_checked(const uint8_t *p, int state_a, int state_b)
{
    return own_slot != NET_NO_SLOT && (client_state == state_a || client_state == state_b) &&
           get_u32(p + 1) == session_id;
}

static void take_welcome(const uint8_t *p, int length)
{
    if (length < WELCOME_SIZE || client_state != CLIENT_CONTACTING)
        return;
    uint32_t slot = get_u32(p + 1);
    if (slot >= NET_NO_SLOT)
        return;
    own_slot = (int)slot;
    session_key = get_u32(p + 5);
    if (get_u32(p + 9) == SERVER_VERSION) {
        client_state = CLIENT_SENDING_INFO;
    } else {
        print_message("Server version does not match client version\n");
        client_state = CLIENT_DISCONNECTING;
    }
    last_send_time = 0;
}

static void take_race(const uint8_t *p, int length)
{
    if (length < RACE_HEADER_SIZE || own_slot == NET_NO_SLOT)
        return;
    if (client_state != CLIENT_SENDING_INFO && client_state != CLIENT_RESTART)
        return;
    uint32_t id = get_u32(p + 1);
    if (id != session_id && session_id != 0)
        return;
    char name[256];
    int name_length = length - RACE_HEADER_SIZE;
    if (name_length > (int)sizeof name - 1)
        name_length = (int)sizeof name - 1;
    memcpy(name, p + RACE_HEADER_SIZE, (size_t)name_length);
    name[name_length] = '\0';
    session_id = id;
    last_send_time = 0;
    if (length - RACE_HEADER_SIZE >= (int)sizeof name || find_catalogue_track(name) < 0) {
        char text[200];
        snprintf(text, sizeof text, "Can't find track '%.150s'\n", name);
        print_message(text);
        client_state = CLIENT_DISCONNECTING;
        return;
    }
    server_race_length = (int)clamp_u32(get_u32(p + 5), NET_TIC_MAX);
    server_laps = (int)clamp_u32(get_u32(p + 9), NET_LAPS_MAX);
    server_start_tic = (int)clamp_u32(get_u32(p + 13), NET_TIC_MAX);
    memcpy(server_digest, p + 17, sizeof server_digest);
    snprintf(server_track, sizeof server_track, "%s", name);
    client_state = CLIENT_TRACK_ACK;
    clear_slot_tables();
    local_gate_position = NET_NO_SLOT;
    acked_rider_slot = NET_NO_SLOT;
    server_tic_estimate = 0;
    highest_server_tic = 0;
    gates_reported = 0;
    clear_state_history();
}

static void take_rider(const uint8_t *p, int length)
{
    if (length < RIDER_HEADER_SIZE || !session_checked(p, CLIENT_TRACK_ACK, CLIENT_BIKE_ACK))
        return;
    uint32_t slot = get_u32(p + 5);
    if (slot >= NET_NO_SLOT)
        return;
    if (acked_rider_slot != NET_NO_SLOT && slot <= acked_rider_slot)
        return;
    // Our own slot is acknowledged like any other, so that the walk goes
    // on, but our rider stays as packet 8 describes it.
    if ((int)slot != own_slot) {
        set_rider_slot_info((int)slot, (const char *)p + RIDER_HEADER_SIZE, length - RIDER_HEADER_SIZE);
        slot_kinds[slot] = SLOT_REMOTE;
    }
    acked_rider_slot = slot;
    client_state = CLIENT_BIKE_ACK;
}

static void take_own_rider(const uint8_t *p, int length)
{
    if (length < RIDER_HEADER_SIZE || !session_checked(p, CLIENT_TRACK_ACK, CLIENT_BIKE_ACK))
        return;
    uint32_t gate = get_u32(p + 5);
    if (gate > NET_NO_SLOT)
        return;
    slot_kinds[own_slot] = SLOT_PLAYER;
    set_rider_slot_info(own_slot, (const char *)p + RIDER_HEADER_SIZE, length - RIDER_HEADER_SIZE);
    local_gate_position = (int)gate;
    client_state = CLIENT_SYNCING;
    last_send_time = 0;
    if (!reset_race(slot_kinds, 0, record_demo_list.selected == 1, server_race_length, server_laps, 0) ||
        memcmp(current_track.digest, server_digest, sizeof server_digest) != 0) {
        char text[200];
        snprintf(text, sizeof text, "Client track modified - does not match server's track (%.100s)\n",
                 server_track);
        print_message(text);
        client_state = CLIENT_DISCONNECTING;
    }
}

static void show_race_length(void)
{
    char text[96];
    if (server_race_length == 0) {
        snprintf(text, sizeof text, "%d laps", server_laps);
    } else {
        int minutes = (int)lround(server_race_length * (1.0 / 128.0) / 60.0);
        if (server_laps > 0)
            snprintf(text, sizeof text, "%d minutes + %d laps", minutes, server_laps);
        else
            snprintf(text, sizeof text, "%d minutes", minutes);
    }
    print_message(text);
}

static void take_server_tic(uint32_t server_tic, uint32_t echoed)
{
    if (echoed != 0 && own_slot != NET_NO_SLOT)
        slot_pings[own_slot] = (int)((uint32_t)current_tic - echoed);
    if (highest_server_tic == 0)
        current_tic = (int)server_tic;
    if (server_tic > highest_server_tic) {
        highest_server_tic = server_tic;
        server_tic_estimate = (int)server_tic;
    }
    if (client_state == CLIENT_SYNCING) {
        show_race_length();
        client_state = CLIENT_RUNNING;
    }
}

static int valid_server_tic(uint32_t tic)
{
    return tic >= 1 && tic <= NET_TIC_MAX;
}

static void take_time(const uint8_t *p, int length)
{
    if (length < TIME_SIZE || !session_checked(p, CLIENT_SYNCING, CLIENT_RUNNING))
        return;
    uint32_t server_tic = get_u32(p + 5);
    if (!valid_server_tic(server_tic))
        return;
    take_server_tic(server_tic, get_u32(p + 9));
}

static void take_states(const uint8_t *p, int length)
{
    if (length < STATES_HEADER_SIZE || !session_checked(p, CLIENT_SYNCING, CLIENT_RUNNING))
        return;
    uint32_t server_tic = get_u32(p + 5);
    if (!valid_server_tic(server_tic))
        return;
    uint32_t count = get_u32(p + 13);
    uint32_t room = (uint32_t)(length - STATES_HEADER_SIZE) / STATE_RECORD_SIZE;
    uint32_t n = count > room ? room : count;
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t *r = p + STATES_HEADER_SIZE + i * STATE_RECORD_SIZE;
        int slot = get_u16(r);
        int ping = get_u16(r + 2);
        uint32_t tic = get_u32(r + 4);
        if (slot >= NET_NO_SLOT || slot == own_slot || rider_kind[slot] != RIDER_REMOTE ||
            !get_slot_bike(slot))
            continue;
        if (tic > NET_TIC_MAX || tic > server_tic + STATE_TIC_AHEAD_MAX || tic <= slot_state_tics[slot])
            continue;
        slot_state_tics[slot] = tic;
        slot_pings[slot] = ping;
        last_state_tic[slot] = (uint32_t)current_tic;
        add_state_to_history(slot, r + 8, (int)tic);
    }
    if (count > room)
        print_message("State packet too small");
    take_server_tic(server_tic, get_u32(p + 9));
}

static void take_text(const uint8_t *p, int length)
{
    char text[NET_DATAGRAM_MAX + 1];
    int n = length - 1;
    memcpy(text, p + 1, (size_t)n);
    text[n] = '\0';
    print_message(text);
    client_state = CLIENT_DISCONNECTING;
    last_send_time = 0;
}

static void take_disconnect(void)
{
    print_message("Disconnected\n");
    char next[REDIRECT_LENGTH + 1] = "";
    if (redirect_target[0] && redirect_time == 0)
        snprintf(next, sizeof next, "%s", redirect_target);
    close_connection();
    if (next[0])
        set_connect_target(next);
}

static void take_redirect(const uint8_t *p, int length)
{
    if (length < 5 || client_state != CLIENT_CONTACTING || get_u32(p + 1) != client_id)
        return;
    char name[REDIRECT_LENGTH + 1];
    int n = length - 5 > REDIRECT_LENGTH ? REDIRECT_LENGTH : length - 5;
    memcpy(name, p + 5, (size_t)n);
    name[n] = '\0';
    close_connection();
    if (name[0])
        set_connect_target(name);
}

void handle_server_datagram(const uint8_t *p, int length)
{
    if (!p || length < 1 || length > NET_DATAGRAM_MAX)
        return;
    switch (p[0]) {
    case SERVER_FULL: print_message("Server is full\n"); break;
    case SERVER_WELCOME: take_welcome(p, length); break;
    case SERVER_RACE: take_race(p, length); break;
    case SERVER_RIDER: take_rider(p, length); break;
    case SERVER_OWN_RIDER: take_own_rider(p, length); break;
    case SERVER_TIME: take_time(p, length); break;
    case SERVER_STATES: take_states(p, length); break;
    case SERVER_NOTHING: break;
    case SERVER_NEW_SESSION:
        if (length >= 5 && own_slot != NET_NO_SLOT &&
            (client_state == CLIENT_SYNCING || client_state == CLIENT_RUNNING) && get_u32(p + 1) > session_id) {
            session_id = get_u32(p + 1);
            client_state = CLIENT_RESTART;
        }
        break;
    case SERVER_DISCONNECT: take_disconnect(); break;
    case SERVER_TEXT: take_text(p, length); break;
    case PACKET_RELIABLE: receive_reliable_packet(p, length); break;
    case PACKET_ACK: receive_acknowledgement(p, length); break;
    case SERVER_REDIRECT: take_redirect(p, length); break;
    default: break;
    }
}

// ---- simulated latency and loss ----------------------------------------------------------

struct DelayedDatagram {
    double time;
    int length;
    uint8_t data[NET_DATAGRAM_MAX + 1];
};

static DelayedDatagram *delay_queue;   // FAKE_QUEUE_SIZE entries, made on first use
static int delay_first, delay_count;

static int same_address(const SocketAddress *a, const SocketAddress *b)
{
    return a->address.sin_addr.s_addr == b->address.sin_addr.s_addr &&
           a->address.sin_port == b->address.sin_port;
}

// One datagram from the server, or -1 when none is waiting. Datagrams from
// anyone else, and those too long, are dropped here.
static int read_server_datagram(uint8_t *buffer)
{
    for (int tries = 0; tries < NET_READS_PER_CALL; tries++) {
        SocketAddress from;
        int length = receive_datagram(net_socket, buffer, NET_DATAGRAM_MAX, &from);
        if (length < 0) {
            if (socket_error_name && !strcmp(socket_error_name, "WSAEMSGSIZE"))
                continue;
            return -1;
        }
        if (same_address(&from, &server_address))
            return length;
    }
    return -1;
}

static void free_delay_queue(void)
{
    checked_free(delay_queue);
    delay_queue = nullptr;
    delay_first = delay_count = 0;
}

static void receive_delayed(void)
{
    if (!delay_queue)
        delay_queue = (DelayedDatagram *)xmalloc(sizeof(DelayedDatagram) * FAKE_QUEUE_SIZE);
    double now = net_now();
    int reads = 0;
    while (delay_count < FAKE_QUEUE_SIZE && reads++ < NET_READS_PER_CALL) {
        DelayedDatagram *d = &delay_queue[(delay_first + delay_count) % FAKE_QUEUE_SIZE];
        int length = read_server_datagram(d->data);
        if (length < 0)
            break;
        if ((rand() & 32767) < fake_loss * 327)
            continue;
        d->time = now;
        d->length = length;
        delay_count++;
    }
    while (delay_count > 0 && net_socket != -1) {
        DelayedDatagram *d = &delay_queue[delay_first];
        if (!(d->time + fake_lag < now))
            break;
        uint8_t data[NET_DATAGRAM_MAX + 1];
        int length = d->length;
        memcpy(data, d->data, (size_t)length);
        delay_first = (delay_first + 1) % FAKE_QUEUE_SIZE;
        delay_count--;
        handle_server_datagram(data, length);
    }
}

void receive_packets(void)
{
    if (net_socket == -1)
        return;
    if (fake_lag > 0.0f || fake_loss > 0) {
        receive_delayed();
        return;
    }
    uint8_t data[NET_DATAGRAM_MAX + 1];
    for (int n = 0; n < NET_READS_PER_CALL && net_socket != -1; n++) {
        int length = read_server_datagram(data);
        if (length < 0)
            break;
        handle_server_datagram(data, length);
    }
}

// ---- the running state ---------------------------------------------------------------------

static void run_race_state(void)
{
    BikeState *own = own_slot != NET_NO_SLOT && local_gate_position != NET_NO_SLOT ? get_slot_bike(own_slot)
                                                                                   : nullptr;
    if (own) {
        int passed = get_gates_passed(own);
        if (passed < 0)
            passed = 0;
        // Every gate passed since the last report goes, in order.
        while ((uint32_t)passed > gates_reported) {
            uint8_t body[12];
            put_u32(body, session_id);
            put_u32(body + 4, gates_reported);
            put_u32(body + 8, (uint32_t)get_gate_time(own, (int)gates_reported));
            queue_reliable_message(MESSAGE_GATES, body, sizeof body);
            gates_reported++;
        }
        gates_reported = (uint32_t)passed;
        if (current_tic % 4 == 0) {
            uint8_t p[STATE_PACKET_SIZE];
            session_header(p, CLIENT_RUNNING);
            put_u32(p + 9, session_id);
            put_u32(p + 13, highest_server_tic);
            put_u32(p + 17, (uint32_t)current_tic);
            pack_rider_state(own, p + 21);
            send_bytes(p, sizeof p);
        }
    }
    if (client_info_changed && menu_state != MENU_BIKE_SETUP && menu_state != MENU_CHOOSER) {
        char text[RELIABLE_OUT_MAX];
        format_client_info(text, sizeof text);
        queue_reliable_message(MESSAGE_CLIENT_INFO, text, (int)strlen(text));
        client_info_changed = 0;
    }
}

static int open_connection(void)
{
    if (!stock_models_ok) {
        print_message("Fixed file mismatch\n");
        set_connect_target(nullptr);
        return 0;
    }
    if (!resolve_address(&server_address, connect_target, NET_DEFAULT_PORT)) {
        print_message("Can't resolve address\n");
        set_connect_target(nullptr);
        return 0;
    }
    net_socket = open_udp_socket();
    if (net_socket == -1) {
        print_message("Can't create socket\n");
        set_connect_target(nullptr);
        return 0;
    }
    client_state = CLIENT_CONTACTING;
    client_id = (uint32_t)time(nullptr);
    last_send_time = net_now();
    send_contact();
    return 1;
}

void run_net_client(void)
{
    if (!connect_target)
        return;
    if (net_socket == -1 && !open_connection())
        return;
    if (server_tic_estimate > 0)
        server_tic_estimate++;
    receive_packets();
    if (net_socket == -1)
        return;
    step_file_upload();
    send_reliable_head();
    double now = net_now();
    if (redirect_time != 0 && redirect_time <= now) {
        redirect_time = 0;
        client_state = CLIENT_DISCONNECTING;
        char text[200];
        snprintf(text, sizeof text, "Redirecting to '%s'", redirect_target);
        print_message(text);
    }
    if (client_state == CLIENT_RUNNING) {
        run_race_state();
        return;
    }
    if (now - last_send_time < STATE_PACING)
        return;
    last_send_time = now;
    send_state_packet();
}

int send_restart_request(void)
{
    if (net_socket == -1 || client_state != CLIENT_RUNNING)
        return 0;
    uint8_t p[SESSION_PACKET_SIZE];
    memset(p, 0, sizeof p);
    session_header(p, SERVER_NOTHING);
    p[9] = 1;
    if (send_datagram(net_socket, p, sizeof p, &server_address) < 0 && socket_error_name) {
        char text[128];
        snprintf(text, sizeof text, "sendto error (%.100s)", socket_error_name);
        print_message(text);
        return 0;
    }
    print_message("Requesting restart\n");
    return 1;
}

void leave_server(void)
{
    if (net_socket == -1)
        return;
    if (client_state != CLIENT_CONTACTING) {
        client_state = CLIENT_DISCONNECTING;
        last_send_time = 0;
        return;
    }
    print_message("Disconnected\n");
    close_connection();
}

int build_player_rows(PlayerRow *rows, int capacity)
{
    int n = 0;
    for (int slot = 0; slot < NET_NO_SLOT && n < capacity; slot++) {
        if (slot_kinds[slot] != SLOT_PLAYER && slot_kinds[slot] != SLOT_REMOTE)
            continue;
        PlayerRow *row = &rows[n++];
        row->slot = slot;
        long long ping = slot < BIKE_SLOT_COUNT ? slot_pings[slot] : 0;
        row->ping_ms = (int)(ping * 1000 / 128);
        snprintf(row->number, sizeof row->number, "%s", net_rider_info[slot].number);
        snprintf(row->bike, sizeof row->bike, "%s", net_rider_info[slot].model);
        snprintf(row->name, sizeof row->name, "%s", net_rider_info[slot].name);
    }
    return n;
}

void disconnect_from_server(void)
{
    if (net_socket == -1)
        return;
    // Said in every state, also while contacting (slot 160, key 0): the
    // server frees the slot at once instead of after its silence.
    uint8_t p[DISCONNECT_SIZE];
    session_header(p, CLIENT_DISCONNECTING);
    if (send_datagram(net_socket, p, sizeof p, &server_address) < 0 && socket_error_name) {
        char text[128];
        snprintf(text, sizeof text, "sendto error (%.100s)", socket_error_name);
        print_message(text);
    } else {
        print_message("Disconnecting\n");
    }
    close_connection();
}

void disconnect_at_shutdown(void)
{
    char next[REDIRECT_LENGTH + 1] = "";
    if (redirect_target[0] && redirect_time == 0)
        snprintf(next, sizeof next, "%s", redirect_target);
    disconnect_from_server();
    set_connect_target(next[0] ? next : nullptr);
}

void close_connection(void)
{
    if (net_socket == -1)
        return;
    close_socket(net_socket);
    net_socket = -1;
    client_state = CLIENT_CONTACTING;
    set_connect_target(nullptr);
    own_slot = NET_NO_SLOT;
    local_gate_position = NET_NO_SLOT;
    acked_rider_slot = NET_NO_SLOT;
    session_key = session_id = 0;
    server_race_length = server_laps = server_start_tic = 0;
    server_tic_estimate = 0;
    highest_server_tic = 0;
    gates_reported = 0;
    last_send_time = 0;
    client_info_changed = 0;
    arcade_physics_forbidden = 0;
    off_course_bias = 10.0f;
    off_course_scale = 1.5f;
    free_packet_lists();
    redirect_target[0] = '\0';
    redirect_time = 0;
    stop_file_upload();
    upload_ready = 0;
    free_delay_queue();
    clear_net_rider_info();
}
