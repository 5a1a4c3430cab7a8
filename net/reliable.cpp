// Reliable messages between the client and the race server: the numbered
// outgoing queue resent until acknowledged, the incoming packets delivered
// in number order, the server's messages and text commands, and the file
// upload that rides on them.
#include "net/client.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/bike_setup.h"
#include "bike/bike_setters.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/results.h"
#include "track/erosion.h"

struct PacketNode {
    double send_time;
    PacketNode *next;
    uint32_t number;
    int length;
    uint8_t datagram[NET_DATAGRAM_MAX + 1];   // incoming ones are kept whole
};

static PacketNode *outgoing_packets;
static PacketNode *outgoing_tail;
static int outgoing_count;
static uint32_t outgoing_counter;
static PacketNode *pending_reliable_messages;
static int pending_count;
static uint32_t expected_counter;
static int queue_full_reported;

GameFile *upload_file;
int upload_ready;
char upload_end_text[UPLOAD_END_LENGTH];
double next_upload_time;

int outgoing_packet_count(void)
{
    return outgoing_count;
}

int pending_packet_count(void)
{
    return pending_count;
}

uint32_t expected_packet_number(void)
{
    return expected_counter;
}

void free_packet_lists(void)
{
    for (PacketNode *lists[2] = {outgoing_packets, pending_reliable_messages}; PacketNode *&node : lists)
        while (node) {
            PacketNode *next = node->next;
            checked_free(node);
            node = next;
        }
    outgoing_packets = outgoing_tail = nullptr;
    pending_reliable_messages = nullptr;
    outgoing_count = pending_count = 0;
    outgoing_counter = expected_counter = 0;
    queue_full_reported = 0;
}

static PacketNode *new_packet(void)
{
    PacketNode *node = (PacketNode *)checked_calloc(1, sizeof(PacketNode));
    if (!node)
        fatal_out_of_memory();
    node->number = outgoing_counter++;
    node->datagram[0] = PACKET_RELIABLE;
    put_u32(node->datagram + 1, (uint32_t)own_slot);
    put_u32(node->datagram + 5, session_key);
    put_u32(node->datagram + 9, node->number);
    node->length = RELIABLE_OUT_HEADER;
    if (outgoing_tail)
        outgoing_tail->next = node;
    else
        outgoing_packets = node;
    outgoing_tail = node;
    outgoing_count++;
    return node;
}

int queue_reliable_message(int type, const void *body, int length)
{
    if (net_socket == -1) {
        print_message("Not connected to server");
        return 0;
    }
    if (outgoing_count >= OUTGOING_QUEUE_MAX && (type == MESSAGE_EROSION || type == MESSAGE_KEEP_ALIVE)) {
        if (!queue_full_reported)
            log_printf("Outgoing queue full: erosion and keep-alive messages dropped\n");
        queue_full_reported = 1;
        return 0;
    }
    PacketNode *node = new_packet();
    node->datagram[node->length++] = (uint8_t)type;
    int room = RELIABLE_OUT_MAX - node->length;
    if (length > room)
        length = room;
    if (length > 0 && body) {
        memcpy(node->datagram + node->length, body, (size_t)length);
        node->length += length;
    }
    return 1;
}

void send_reliable_head(void)
{
    PacketNode *head = outgoing_packets;
    // Before the welcome the server takes no packet: a message queued then
    // (a keep-alive answer) waits for the slot and key it must carry.
    if (!head || net_socket == -1 || own_slot == NET_NO_SLOT)
        return;
    double now = net_now();
    if (head->send_time > now)
        return;
    head->send_time = now + RELIABLE_RESEND;
    put_u32(head->datagram + 1, (uint32_t)own_slot);
    put_u32(head->datagram + 5, session_key);
    if (send_datagram(net_socket, head->datagram, head->length, &server_address) < 0 && socket_error_name) {
        char text[128];
        snprintf(text, sizeof text, "sendto error (%.100s)", socket_error_name);
        print_message(text);
    }
}

void receive_acknowledgement(const uint8_t *data, int length)
{
    if (length < 5 || !outgoing_packets || get_u32(data + 1) != outgoing_packets->number)
        return;
    PacketNode *head = outgoing_packets;
    outgoing_packets = head->next;
    if (!outgoing_packets)
        outgoing_tail = nullptr;
    outgoing_count--;
    checked_free(head);
}

void receive_reliable_packet(const uint8_t *data, int length)
{
    if (length < RELIABLE_IN_HEADER || length > NET_DATAGRAM_MAX)
        return;
    uint32_t number = get_u32(data + 1);
    uint32_t ahead = number - expected_counter;
    if (ahead > RELIABLE_AHEAD_MAX && (int32_t)ahead > 0)
        return;   // too far ahead: neither kept nor acknowledged

    uint8_t ack[ACK_SIZE];
    ack[0] = PACKET_ACK;
    put_u32(ack + 1, (uint32_t)own_slot);
    put_u32(ack + 5, session_key);
    put_u32(ack + 9, number);
    if (net_socket != -1 && send_datagram(net_socket, ack, sizeof ack, &server_address) < 0 &&
        socket_error_name) {
        char text[128];
        snprintf(text, sizeof text, "sendto error (%.100s)", socket_error_name);
        print_message(text);
    }

    if ((int32_t)ahead < 0)
        return;   // delivered before
    if (ahead == 0) {
        expected_counter++;
        handle_reliable_message(data, length);
        while (pending_reliable_messages && pending_reliable_messages->number == expected_counter) {
            PacketNode *node = pending_reliable_messages;
            pending_reliable_messages = node->next;
            pending_count--;
            expected_counter++;
            handle_reliable_message(node->datagram, node->length);
            checked_free(node);
        }
        return;
    }
    PacketNode **link = &pending_reliable_messages;
    while (*link && (*link)->number - expected_counter < ahead)
        link = &(*link)->next;
    if (*link && (*link)->number == number)
        return;
    PacketNode *node = (PacketNode *)checked_calloc(1, sizeof(PacketNode));
    if (!node)
        fatal_out_of_memory();
    node->number = number;
    node->length = length;
    memcpy(node->datagram, data, (size_t)length);
    node->next = *link;
    *link = node;
    pending_count++;
}

// ---- messages from the server ------------------------------------------------------------

static void take_gate_records(const uint8_t *data, int length)
{
    if (length < GATES_HEADER_SIZE || get_u32(data + 6) != session_id)
        return;
    uint32_t count = get_u32(data + 10);
    uint32_t room = (uint32_t)(length - GATES_HEADER_SIZE) / GATE_RECORD_SIZE;
    if (count > room)
        count = room;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *r = data + GATES_HEADER_SIZE + i * GATE_RECORD_SIZE;
        uint32_t slot = get_u32(r), gate = get_u32(r + 4), tic = get_u32(r + 8);
        // A checkpoint missed comes as the tic 0xffffffff: no time (-1),
        // but it counts as passed.
        if (slot >= NET_NO_SLOT || (int)slot == own_slot || gate >= NET_GATE_INDEX_MAX ||
            (tic > NET_TIC_MAX && tic != NET_GATE_MISSED))
            continue;
        BikeState *bike = get_slot_bike((int)slot);
        if (!bike)
            continue;
        set_gate_time(bike, (int)gate, tic == NET_GATE_MISSED ? -1 : (int)tic);
        set_gates_passed(bike, (int)gate + 1);
    }
    write_results();
}

void handle_reliable_message(const uint8_t *data, int length)
{
    if (length < RELIABLE_IN_HEADER + 1 || length > NET_DATAGRAM_MAX)
        return;
    const uint8_t *body = data + RELIABLE_IN_HEADER + 1;
    int body_length = length - RELIABLE_IN_HEADER - 1;
    switch (data[RELIABLE_IN_HEADER]) {
    case MESSAGE_TEXT: {
        char text[NET_DATAGRAM_MAX + 1];
        memcpy(text, body, (size_t)body_length);
        text[body_length] = '\0';
        print_message(text);
        write_demo_chunk(2, text, (int)strlen(text));
        break;
    }
    case MESSAGE_KEEP_ALIVE:
        queue_reliable_message(MESSAGE_KEEP_ALIVE, "Roger that!  Still alive!", 25);
        break;
    case MESSAGE_GATES: take_gate_records(data, length); break;
    case MESSAGE_COMMAND: run_server_command((const char *)body, body_length); break;
    case MESSAGE_EROSION:
        if (body_length >= 4 && get_u32(body) == session_id) {
            queue_erosion_message(body + 4, body_length - 4);
            write_demo_chunk(5, body + 4, body_length - 4);
        }
        break;
    default: break;
    }
}

// ---- server commands ---------------------------------------------------------------------

// The command word followed by a blank or the end; the rest after it.
static const char *command_word(const char *text, const char *word)
{
    size_t n = strlen(word);
    if (strncmp(text, word, n) != 0 || (text[n] != '\0' && text[n] != ' ' && text[n] != '\t'))
        return nullptr;
    return text + n;
}

static void set_off_course_value(const char *text, float *value)
{
    char *end;
    errno = 0;
    double v = strtod(text, &end);
    if (end == text || !std::isfinite(v) || fabs(v) > 3.0e38) {
        log_printf("Server command refused: %.100s\n", text);
        return;
    }
    *value = (float)v;
}

static void run_knockout(const char *rest)
{
    long last = 0;
    int i = 0;
    const char *p = rest;
    for (; i < KNOCKOUT_ENTRIES; i++) {
        char *end;
        long v = strtol(p, &end, 10);
        if (end == p)
            break;
        p = end;
        last = v < 0 ? 0 : v > (long)KNOCKOUT_MAX ? (long)KNOCKOUT_MAX : v;
        crash_delay_table[i] = (int)last;
    }
    for (; i < KNOCKOUT_ENTRIES; i++)
        crash_delay_table[i] = (int)last;
}

// A decimal number after optional blanks, read as unsigned 32 bits: 1 when
// one is there. A negative or too large one reads as 2^32, which no session
// id equals.
static int read_unsigned(const char **text, uint64_t *value)
{
    const char *p = *text;
    while (*p == ' ' || *p == '\t')
        p++;
    int negative = *p == '-';
    if (*p == '+' || *p == '-')
        p++;
    if (*p < '0' || *p > '9')
        return 0;
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        v = v > 0xffffffffu ? v : v * 10 + (uint64_t)(*p - '0');
    *value = negative || v > 0xffffffffu ? 0x100000000u : v;
    *text = p;
    return 1;
}

static void run_erode(const char *text)
{
    char *end;
    const char *p = text + 5;
    uint64_t id = 0;
    int read = read_unsigned(&p, &id);
    long amount = read ? strtol(p, &end, 10) : 0;
    if (!read || end == p) {
        print_message("Malformed erode command received");
        return;
    }
    if (id != session_id)
        return;
    if (amount < 0 || amount > NET_EROSION_AMOUNT_MAX) {
        log_printf("Server command refused: %.100s\n", text);
        return;
    }
    if (erosion_amount == -1 && amount == 0) {
        erosion_amount = 0;
        return;
    }
    erosion_amount = (int)amount;
    char chunk[32];
    snprintf(chunk, sizeof chunk, "erode %d", erosion_amount);
    write_demo_chunk(3, chunk, (int)strlen(chunk));
    if (amount > 0)
        force_track_reload = 1;
}

static void run_redirect(const char *rest)
{
    while (*rest == ' ' || *rest == '\t')
        rest++;
    int n = (int)strlen(rest);
    while (n > 0 && (rest[n - 1] == ' ' || rest[n - 1] == '\t'))
        n--;
    if (n > REDIRECT_LENGTH)
        n = REDIRECT_LENGTH;
    memcpy(redirect_target, rest, (size_t)n);
    redirect_target[n] = '\0';
    redirect_time = net_now() + REDIRECT_DELAY;
    char text[200];
    snprintf(text, sizeof text, "Redirecting to '%s' in 10 seconds", redirect_target);
    print_message(text);
}

void run_server_command(const char *command, int length)
{
    if (!command || length < 0)
        return;
    char text[NET_DATAGRAM_MAX + 1];
    if (length > NET_DATAGRAM_MAX)
        length = NET_DATAGRAM_MAX;
    memcpy(text, command, (size_t)length);
    text[length] = '\0';
    const char *rest;
    if (!strcmp(text, "no_arcade")) {
        arcade_physics_forbidden = 1;
        if (bike_setup.arcade.selected == 1)
            print_message("Arcade physics disabled");
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
            BikeState *bike = get_slot_bike(slot);
            if (bike && rider_kind[slot] != RIDER_REMOTE)
                set_arcade_physics(bike, 0);
        }
    } else if (!strncmp(text, "off_course_bias", 15)) {
        set_off_course_value(text + 15, &off_course_bias);
    } else if (!strncmp(text, "off_course_scale", 16)) {
        set_off_course_value(text + 16, &off_course_scale);
    } else if ((rest = command_word(text, "knockout"))) {
        run_knockout(rest);
    } else if (command_word(text, "erode")) {
        run_erode(text);
    } else if (!strcmp(text, "sendready")) {
        upload_ready = 1;
    } else if (command_word(text, "senddenied")) {
        print_message("Send file denied");
        upload_ready = 0;
        stop_file_upload();
    } else if ((rest = command_word(text, "redirect"))) {
        run_redirect(rest);
    }
}

// ---- erosion and upload ------------------------------------------------------------------

void send_erode_record(const uint8_t *message, int length)
{
    if (net_socket == -1) {
        queue_erosion_message(message, length);
        return;
    }
    if (length < 0 || length > EROSION_MESSAGE_MAX)
        return;
    uint8_t body[4 + EROSION_MESSAGE_MAX];
    put_u32(body, session_id);
    memcpy(body + 4, message, (size_t)length);
    queue_reliable_message(MESSAGE_EROSION, body, 4 + length);
}

void stop_file_upload(void)
{
    if (upload_file)
        file_close(upload_file);
    upload_file = nullptr;
    upload_end_text[0] = '\0';
}

int start_file_upload(const char *name)
{
    char path[96];
    if (!build_folder_path("@outgoing/", name, path, sizeof path)) {
        print_message("Can't open file");
        return 0;
    }
    if (upload_file) {
        print_message("Stopping previous transfer");
        stop_file_upload();
    }
    upload_file = file_open(path, "rb");
    if (!upload_file) {
        print_message("Can't open file");
        return 0;
    }
    snprintf(upload_end_text, sizeof upload_end_text, "namefile %s", name);
    queue_reliable_message(MESSAGE_COMMAND, "sendfile", 8);
    print_message("Sending file");
    return 1;
}

void step_file_upload(void)
{
    if (!upload_ready || !upload_file)
        return;
    double now = net_now();
    if (now < next_upload_time)
        return;
    next_upload_time = now + UPLOAD_PACING;
    uint8_t body[10 + UPLOAD_CHUNK];
    memcpy(body, "sendpart -", 10);
    int n = file_read(upload_file, body + 10, UPLOAD_CHUNK);
    if (n > 0) {
        queue_reliable_message(MESSAGE_COMMAND, body, 10 + n);
        return;
    }
    char end[UPLOAD_END_LENGTH];
    snprintf(end, sizeof end, "%s", upload_end_text);
    stop_file_upload();
    queue_reliable_message(MESSAGE_COMMAND, end, (int)strlen(end));
}
