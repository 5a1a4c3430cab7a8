// The client's datagram readers against hostile and edge-case packets,
// reliable delivery, server commands and rider strings; a raw socket plays
// the server and another a stranger.
#include "net/client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/stock_shapes.h"
#include "core/message.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_state.h"
#include "track/erosion.h"

namespace {

std::string last_message()
{
    int i = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    return message_log.lines[i];
}

std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

void feed(const std::string &bytes)
{
    handle_server_datagram((const uint8_t *)bytes.data(), (int)bytes.size());
}

// A raw UDP socket on 127.0.0.1 at a free port.
struct RawSocket {
    int fd = -1;
    SocketAddress address{};
    RawSocket()
    {
        fd = open_udp_socket();
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, (sockaddr *)&a, sizeof a);
        socklen_t n = sizeof a;
        getsockname(fd, (sockaddr *)&a, &n);
        address.length = 16;
        address.address = a;
    }
    ~RawSocket() { close_socket(fd); }
    int port() const { return ntohs(address.address.sin_port); }
    void send(const std::string &bytes, const SocketAddress &to) const
    {
        send_datagram(fd, bytes.data(), (int)bytes.size(), &to);
    }
    // Every datagram waiting (the socket is non-blocking).
    std::vector<std::string> drain() const
    {
        std::vector<std::string> out;
        uint8_t b[2048];
        SocketAddress from;
        for (int tries = 0; tries < 200; tries++) {
            int n = receive_datagram(fd, b, sizeof b, &from);
            if (n < 0) {
                if (!out.empty())
                    break;
                usleep(1000);
                continue;
            }
            out.emplace_back((const char *)b, (size_t)n);
        }
        return out;
    }
};

struct ClientTest : testing::Test {
    RawSocket server;
    void SetUp() override
    {
        stock_models_ok = 1;
        std::string target = "127.0.0.1:" + std::to_string(server.port());
        set_connect_target(target.c_str());
        run_net_client();
        ASSERT_NE(net_socket, -1);
    }
    void TearDown() override
    {
        disconnect_from_server();
        set_connect_target(nullptr);
    }
    // The client's address as the server sees it.
    SocketAddress client_address()
    {
        sockaddr_in a{};
        socklen_t n = sizeof a;
        getsockname(net_socket, (sockaddr *)&a, &n);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        SocketAddress s{};
        s.length = 16;
        s.address = a;
        return s;
    }
    void welcome(uint32_t slot = 3, uint32_t key = 77, uint32_t version = 6)
    {
        feed("\x02" + u32(slot) + u32(key) + u32(version));
    }
};

TEST_F(ClientTest, ContactPacketAndWelcomeFromStrangerOrServer)
{
    std::vector<std::string> got = server.drain();
    ASSERT_EQ(got.size(), 1u);
    const std::string &c = got[0];
    ASSERT_EQ(c.size(), 21u);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[1], 0);   // no password
    EXPECT_EQ(get_u32((const uint8_t *)c.data() + 9), 41u);
    EXPECT_EQ(get_u32((const uint8_t *)c.data() + 13), client_id);

    SocketAddress to = client_address();
    RawSocket stranger;
    const std::string welcome_bytes = "\x02" + u32(5) + u32(9) + u32(6);
    stranger.send(welcome_bytes, to);
    usleep(20000);
    run_net_client();
    EXPECT_EQ(client_state, CLIENT_CONTACTING) << "a stranger's welcome is dropped";
    EXPECT_EQ(own_slot, NET_NO_SLOT);

    server.send(welcome_bytes, to);
    usleep(20000);
    run_net_client();
    EXPECT_EQ(client_state, CLIENT_SENDING_INFO);
    EXPECT_EQ(own_slot, 5);
    EXPECT_EQ(session_key, 9u);
    got = server.drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back()[0], CLIENT_SENDING_INFO) << "last send 0: the info goes at once";
}

TEST_F(ClientTest, PasswordProofIsFourBytesOfAnyPassword)
{
    uint32_t short_proof = password_proof("a", 1234);
    uint32_t long_proof = password_proof(std::string(500, 'p').c_str(), 1234);
    EXPECT_NE(short_proof, long_proof);
    EXPECT_NE(password_proof("a", 1235), short_proof) << "the key is part of the proof";
    snprintf(join_password, sizeof join_password, "secret");
    welcome();
    last_send_time = 0;
    run_net_client();
    std::vector<std::string> got = server.drain();
    ASSERT_FALSE(got.empty());
    const uint8_t *info = (const uint8_t *)got.back().data();
    ASSERT_EQ(info[0], CLIENT_SENDING_INFO);
    // RIPEMD-160 of "secret" and the key's bytes 4d 00 00 00 begins
    // 97 aa c6 bc (worked out apart from the game's digest); the field
    // carries those four bytes the other way round.
    EXPECT_EQ(got.back().substr(9, 4), std::string("\xbc\xc6\xaa\x97"));
    join_password[0] = '\0';
}

// Each case: packets fed after a welcome, then a check of the client.
struct PacketCase {
    const char *name;
    std::vector<std::string> packets;
    std::function<void()> check;
};

TEST_F(ClientTest, HostileAndEdgePacketsTable)
{
    const PacketCase cases[] = {
        {"welcome in another state changes nothing",
         {"\x02" + u32(9) + u32(1) + u32(6)},
         [] { EXPECT_EQ(own_slot, 3); EXPECT_EQ(session_key, 77u); }},
        {"short race packet ignored", {std::string("\x04") + u32(0)}, [] {
             EXPECT_EQ(client_state, CLIENT_SENDING_INFO);
         }},
        {"unknown track ends the join",
         {"\x04" + u32(4) + u32(0) + u32(3) + u32(100) + std::string(20, 'd') + "nowhere"},
         [] {
             EXPECT_EQ(client_state, CLIENT_DISCONNECTING);
             EXPECT_EQ(last_message(), "Can't find track 'nowhere'\n");
         }},
        {"text packet is shown as text, not a format",
         {"\x10%n%s%x"},
         [] {
             EXPECT_EQ(last_message(), "%n%s%x");
             EXPECT_EQ(client_state, CLIENT_DISCONNECTING);
         }},
        {"redirect with a wrong client id ignored", {"\x19" + u32(12345) + "elsewhere"}, [] {
             EXPECT_EQ(connect_target != nullptr, true);
             EXPECT_EQ(client_state, CLIENT_SENDING_INFO);
         }},
        {"time packet before syncing ignored", {"\x0a" + u32(0) + u32(100) + u32(0)}, [] {
             EXPECT_EQ(highest_server_tic, 0u);
         }},
        {"new session before syncing ignored", {"\x0e" + u32(9)}, [] { EXPECT_EQ(session_id, 0u); }},
    };
    for (const PacketCase &c : cases) {
        SCOPED_TRACE(c.name);
        client_state = CLIENT_CONTACTING;
        own_slot = NET_NO_SLOT;
        session_id = 0;
        welcome();
        for (const std::string &p : c.packets)
            feed(p);
        c.check();
    }
}

// A client placed in a state of a session without the race being loaded.
void place_in_state(int state)
{
    own_slot = 3;
    session_key = 77;
    session_id = 40;
    client_state = state;
    acked_rider_slot = NET_NO_SLOT;
    highest_server_tic = 0;
    server_tic_estimate = 0;
}

TEST_F(ClientTest, SessionPacketsBoundsTable)
{
    struct Case {
        const char *name;
        int state;
        std::string packet;
        std::function<void()> check;
    };
    const std::string s = u32(40);
    const Case cases[] = {
        {"rider slot 160 ignored", CLIENT_TRACK_ACK, "\x06" + s + u32(160) + "cr125\n1\nx",
         [] { EXPECT_EQ(acked_rider_slot, (uint32_t)NET_NO_SLOT); EXPECT_EQ(client_state, CLIENT_TRACK_ACK); }},
        {"rider in own slot acknowledged, ours kept", CLIENT_TRACK_ACK, "\x06" + s + u32(3) + "kx125||||\n99\nOther",
         [] {
             EXPECT_EQ(client_state, CLIENT_BIKE_ACK);
             EXPECT_EQ(acked_rider_slot, 3u);
             EXPECT_EQ(slot_kinds[3], 0);
             EXPECT_STREQ(net_rider_info[3].name, "");
             EXPECT_STREQ(net_rider_info[3].number, "");
         }},
        {"rider of a stale session ignored", CLIENT_TRACK_ACK, "\x06" + u32(39) + u32(5) + "cr125",
         [] { EXPECT_EQ(client_state, CLIENT_TRACK_ACK); }},
        {"rider taken", CLIENT_TRACK_ACK, "\x06" + s + u32(5) + "cr125||||\n12\nAnn",
         [] {
             EXPECT_EQ(acked_rider_slot, 5u);
             EXPECT_EQ(slot_kinds[5], 5);
             EXPECT_STREQ(net_rider_info[5].name, "Ann");
             EXPECT_EQ(client_state, CLIENT_BIKE_ACK);
         }},
        {"own rider gate 161 ignored", CLIENT_BIKE_ACK, "\x08" + s + u32(161) + "x",
         [] { EXPECT_EQ(client_state, CLIENT_BIKE_ACK); }},
        {"time with server tic 0 ignored", CLIENT_SYNCING, "\x0a" + s + u32(0) + u32(0),
         [] { EXPECT_EQ(client_state, CLIENT_SYNCING); }},
        {"time past 2^30 ignored", CLIENT_SYNCING, "\x0a" + s + u32((1u << 30) + 1) + u32(0),
         [] { EXPECT_EQ(highest_server_tic, 0u); }},
        {"time syncs", CLIENT_SYNCING, "\x0a" + s + u32(500) + u32(0),
         [] {
             EXPECT_EQ(client_state, CLIENT_RUNNING);
             EXPECT_EQ(highest_server_tic, 500u);
             EXPECT_EQ(server_tic_estimate, 500);
             EXPECT_EQ(current_tic, 500);
         }},
        {"states with a count past the datagram", CLIENT_RUNNING,
         "\x0b" + s + u32(600) + u32(0) + u32(0xffffffffu) + std::string(47, '\0'),
         [] {
             EXPECT_EQ(highest_server_tic, 600u);
             EXPECT_EQ(last_message(), "State packet too small");
         }},
        {"new session older ignored", CLIENT_RUNNING, "\x0e" + u32(39),
         [] { EXPECT_EQ(client_state, CLIENT_RUNNING); }},
        {"new session newer", CLIENT_RUNNING, "\x0e" + u32(41),
         [] { EXPECT_EQ(client_state, CLIENT_RESTART); EXPECT_EQ(session_id, 41u); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        place_in_state(c.state);
        feed(c.packet);
        c.check();
    }
}

// A server reliable datagram: number, type, body.
std::string reliable(uint32_t number, int type, const std::string &body)
{
    return "\x11" + u32(number) + std::string(1, (char)type) + body;
}

TEST_F(ClientTest, ReliableDeliveryInOrderAndBounds)
{
    place_in_state(CLIENT_RUNNING);
    server.drain();
    const std::string big(1000 - 6, 'b');
    feed(reliable(2, MESSAGE_TEXT, "two"));
    feed(reliable(2, MESSAGE_TEXT, "two again"));
    EXPECT_EQ(pending_packet_count(), 1) << "a second copy while it waits is dropped";
    feed(reliable(1, MESSAGE_TEXT, big));
    EXPECT_EQ(pending_packet_count(), 2);
    feed(reliable(0, MESSAGE_TEXT, "zero"));
    EXPECT_EQ(pending_packet_count(), 0);
    EXPECT_EQ(expected_packet_number(), 3u);
    // The three lines in order, the big one whole.
    int last = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    EXPECT_STREQ(message_log.lines[last], "two");
    EXPECT_EQ(std::string(message_log.lines[(last + MESSAGE_LINES - 2) % MESSAGE_LINES]), "zero");

    feed(reliable(3 + 257, MESSAGE_TEXT, "far"));
    EXPECT_EQ(pending_packet_count(), 0) << "beyond 256 ahead: not kept";
    feed(reliable(3 + 256, MESSAGE_TEXT, "edge"));
    EXPECT_EQ(pending_packet_count(), 1);
    feed(reliable(1, MESSAGE_TEXT, "old"));
    EXPECT_EQ(expected_packet_number(), 3u);

    // Acknowledgements: one for each packet but the far one.
    std::vector<std::string> acks = server.drain();
    int count = 0, far = 0;
    for (const std::string &a : acks)
        if (a.size() == 13 && a[0] == PACKET_ACK) {
            count++;
            far += get_u32((const uint8_t *)a.data() + 9) == 260u;
        }
    EXPECT_EQ(count, 6);
    EXPECT_EQ(far, 0);
}

TEST_F(ClientTest, ServerCommandsTable)
{
    place_in_state(CLIENT_RUNNING);
    struct Case {
        std::string command;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"knockout 5", [] { for (int v : crash_delay_table) EXPECT_EQ(v, 5); }},
        {"knockout 999999 -3",
         [] {
             EXPECT_EQ(crash_delay_table[0], 460800);
             for (int i = 1; i < 16; i++) EXPECT_EQ(crash_delay_table[i], 0);
         }},
        {"knockout 99999999999", [] { for (int v : crash_delay_table) EXPECT_EQ(v, 460800); }},
        {"knockout", [] { for (int v : crash_delay_table) EXPECT_EQ(v, 0); }},
        {"off_course_bias 4.5", [] { EXPECT_FLOAT_EQ(off_course_bias, 4.5f); }},
        {"off_course_bias nan", [] { EXPECT_FLOAT_EQ(off_course_bias, 4.5f); }},
        {"off_course_scale inf", [] { EXPECT_FLOAT_EQ(off_course_scale, 1.5f); }},
        {"erode 7", [] { EXPECT_EQ(last_message(), "Malformed erode command received"); }},
        {"erode 39 12", [] { EXPECT_EQ(erosion_amount, -1) << "another session"; }},
        {"erode 40 0", [] { EXPECT_EQ(erosion_amount, 0); EXPECT_EQ(force_track_reload, 0); }},
        {"erode 40 999999", [] { EXPECT_EQ(erosion_amount, 0) << "past the bound"; }},
        {"erode 40 12", [] { EXPECT_EQ(erosion_amount, 12); EXPECT_EQ(force_track_reload, 1); }},
        {"erode -4294967256 13", [] { EXPECT_EQ(erosion_amount, 12) << "not a session id"; }},
        {"erode 4294967336 13", [] { EXPECT_EQ(erosion_amount, 12) << "past 32 bits"; }},
        {"redirect   host:1234   ", [] { EXPECT_STREQ(redirect_target, "host:1234"); }},
        {"sendready", [] { EXPECT_EQ(upload_ready, 1); }},
        {"senddenied", [] { EXPECT_EQ(upload_ready, 0); EXPECT_EQ(last_message(), "Send file denied"); }},
    };
    erosion_amount = -1;
    force_track_reload = 0;
    off_course_scale = 1.5f;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        run_server_command(c.command.data(), (int)c.command.size());
        c.check();
    }
    force_track_reload = 0;
}

TEST_F(ClientTest, OutgoingQueueBoundDropsOnlyErosionAndKeepAlive)
{
    place_in_state(CLIENT_RUNNING);
    for (int i = 0; i < OUTGOING_QUEUE_MAX; i++)
        ASSERT_EQ(queue_reliable_message(MESSAGE_TEXT, "x", 1), 1);
    EXPECT_EQ(queue_reliable_message(MESSAGE_EROSION, "x", 1), 0);
    EXPECT_EQ(queue_reliable_message(MESSAGE_KEEP_ALIVE, "x", 1), 0);
    EXPECT_EQ(queue_reliable_message(MESSAGE_TEXT, "chat", 4), 1);
    EXPECT_EQ(outgoing_packet_count(), OUTGOING_QUEUE_MAX + 1);
    std::string body(600, 'c');
    queue_reliable_message(MESSAGE_TEXT, body.data(), (int)body.size());
    server.drain();
    // Only the head goes, and only again after its acknowledgement.
    send_reliable_head();
    send_reliable_head();
    std::vector<std::string> sent = server.drain();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(get_u32((const uint8_t *)sent[0].data() + 9), 0u);
    feed("\x12" + u32(0));
    EXPECT_EQ(outgoing_packet_count(), OUTGOING_QUEUE_MAX + 1);
}

TEST_F(ClientTest, MessageQueuedBeforeTheWelcomeCarriesTheSlotItGets)
{
    server.drain();
    // A keep-alive reaches the client while its welcome is lost: the answer
    // waits, and goes with the slot and key of the welcome.
    feed(reliable(0, MESSAGE_KEEP_ALIVE, ""));
    ASSERT_EQ(outgoing_packet_count(), 1);
    send_reliable_head();
    for (const std::string &b : server.drain())
        EXPECT_NE(b[0], PACKET_RELIABLE) << "nothing reliable goes without a slot";
    welcome(5, 1234);
    send_reliable_head();
    std::vector<std::string> sent = server.drain();
    ASSERT_EQ(sent.size(), 1u);
    const uint8_t *b = (const uint8_t *)sent[0].data();
    EXPECT_EQ(b[0], PACKET_RELIABLE);
    EXPECT_EQ(get_u32(b + 1), 5u);
    EXPECT_EQ(get_u32(b + 5), 1234u);
    EXPECT_EQ(get_u32(b + 9), 0u);
    EXPECT_EQ(b[13], MESSAGE_KEEP_ALIVE);
}

TEST(RiderInfo, SlotStringsTable)
{
    struct Case {
        const char *name;
        std::string text;
        const char *model, *rider, *number, *person;
    };
    const Case cases[] = {
        {"all parts", "cr125|@riders/a.png|@bikes/b.png|@w.png|@h.png\n12\nAnn", "cr125", "@riders/a.png", "12",
         "Ann"},
        {"number cut to 3, control bytes blanked, escape kept", "yz|||| \n12345\nA\x01" "B\x1b" "C", "yz", "", "123",
         "A B\x1b" "C"},
        {"path leaving the data", "yz|@../../etc/x|||\n1\nB", "yz", "", "1", "B"},
        {"backslash and plain names", "yz|@a\\b|||\n1\nB", "yz", "", "1", "B"},
        {"no '@'", "yz|riders/a.png|||\n1\nB", "yz", "", "1", "B"},
        {"long name cut to 63", "yz\n1\n" + std::string(300, 'n'), "yz", "", "1", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_rider_slot_info(7, c.text.data(), (int)c.text.size());
        EXPECT_STREQ(net_rider_info[7].model, c.model);
        EXPECT_STREQ(net_rider_info[7].rider_texture, c.rider);
        EXPECT_STREQ(net_rider_info[7].number, c.number);
        if (c.person)
            EXPECT_STREQ(net_rider_info[7].name, c.person);
        else
            EXPECT_EQ(strlen(net_rider_info[7].name), 63u);
    }
    // Missing parts keep the old values.
    set_rider_slot_info(8, "cr250|@r.png|||\n9\nOld", 21);
    set_rider_slot_info(8, "yz", 2);
    EXPECT_STREQ(net_rider_info[8].model, "yz");
    EXPECT_STREQ(net_rider_info[8].rider_texture, "@r.png");
    EXPECT_STREQ(net_rider_info[8].name, "Old");
    set_rider_slot_info(160, "yz", 2);   // out of range: nothing
}

TEST(RiderInfo, ClientInfoFallsBackWhenTooLong)
{
    char small[12];
    format_client_info(small, sizeof small);
    EXPECT_EQ(strchr(small, '|'), nullptr);
    char big[512];
    format_client_info(big, sizeof big);
    EXPECT_NE(strchr(big, '|'), nullptr);
}

TEST(ClientOffline, ErosionAndQueueingWithoutSocket)
{
    ASSERT_EQ(net_socket, -1);
    EXPECT_EQ(queue_reliable_message(MESSAGE_TEXT, "hi", 2), 0);
    EXPECT_EQ(last_message(), "Not connected to server");
    EXPECT_EQ(outgoing_packet_count(), 0);
}

TEST_F(ClientTest, RestartRequestOnlyWhileRacing)
{
    welcome();
    server.drain();
    EXPECT_EQ(send_restart_request(), 0);
    client_state = CLIENT_RUNNING;
    EXPECT_EQ(send_restart_request(), 1);
    EXPECT_EQ(last_message(), "Requesting restart\n");
    std::vector<std::string> got = server.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "\x0d" + u32(3) + u32(77) + std::string("\x01\0\0\0", 4));
}

TEST_F(ClientTest, LeavingSaysGoodbyeOnceAdmitted)
{
    server.drain();
    welcome();
    leave_server();
    EXPECT_EQ(client_state, CLIENT_DISCONNECTING);
    EXPECT_NE(net_socket, -1) << "open until the server answers";
    run_net_client();
    std::vector<std::string> got = server.drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "\x0f" + u32(3) + u32(77));
    server.send("\x0f", client_address());
    usleep(20000);
    run_net_client();
    EXPECT_EQ(net_socket, -1);
    EXPECT_EQ(connect_target, nullptr);
}

TEST_F(ClientTest, ErodeTakesASessionIdPast2To31)
{
    place_in_state(CLIENT_RUNNING);
    session_id = 3000000000u;
    erosion_amount = -1;
    const char *command = "erode 3000000000 24";
    run_server_command(command, (int)strlen(command));
    EXPECT_EQ(erosion_amount, 24);
    force_track_reload = 0;
}

TEST_F(ClientTest, DisconnectSaysGoodbyeInEveryState)
{
    struct Case {
        const char *name;
        int welcomed;
        int state;
        std::string packet;
    };
    const Case cases[] = {
        {"contacting", 0, CLIENT_CONTACTING, "\x0f" + u32(160) + u32(0)},
        {"sending info", 1, CLIENT_SENDING_INFO, "\x0f" + u32(3) + u32(77)},
        {"racing", 1, CLIENT_RUNNING, "\x0f" + u32(3) + u32(77)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (net_socket == -1) {
            set_connect_target(("127.0.0.1:" + std::to_string(server.port())).c_str());
            run_net_client();
        }
        ASSERT_NE(net_socket, -1);
        if (c.welcomed)
            welcome();
        client_state = c.state;
        server.drain();
        disconnect_from_server();
        EXPECT_EQ(net_socket, -1);
        EXPECT_EQ(connect_target, nullptr);
        EXPECT_EQ(last_message(), "Disconnecting\n");
        std::vector<std::string> got = server.drain();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], c.packet);
    }
}

TEST_F(ClientTest, ShutdownKeepsOnlyARedirectWhoseTimeHasCome)
{
    struct Case {
        const char *name;
        const char *redirect;
        double time;
        const char *target;   // connect target after the shutdown
    };
    const Case cases[] = {
        {"no redirect", "", 0, nullptr},
        {"redirect still counting down", "other:19801", 1e9, nullptr},
        {"redirect whose time has come", "other:19801", 0, "other:19801"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (net_socket == -1) {
            set_connect_target(("127.0.0.1:" + std::to_string(server.port())).c_str());
            run_net_client();
        }
        ASSERT_NE(net_socket, -1);
        welcome();
        snprintf(redirect_target, sizeof redirect_target, "%s", c.redirect);
        redirect_time = c.time;
        server.drain();
        disconnect_at_shutdown();
        EXPECT_EQ(net_socket, -1);
        EXPECT_EQ(server.drain().size(), 1u) << "the disconnect packet";
        if (c.target)
            EXPECT_STREQ(connect_target, c.target);
        else
            EXPECT_EQ(connect_target, nullptr);
    }
}

TEST_F(ClientTest, LeavingWhileContactingClosesAtOnce)
{
    leave_server();
    EXPECT_EQ(net_socket, -1);
    EXPECT_EQ(last_message(), "Disconnected\n");
}

TEST_F(ClientTest, PlayerRowsOfAnnouncedRidersInSlotOrder)
{
    for (int &kind : slot_kinds)   // whatever earlier tests in this process left
        kind = 0;
    slot_kinds[7] = 5;
    slot_kinds[2] = 1;
    slot_kinds[4] = 2;   // a robot: not the server's
    slot_pings[7] = 64;
    set_rider_slot_info(7, "cr250||||\n12\nSeven", 18);
    PlayerRow rows[4];
    ASSERT_EQ(build_player_rows(rows, 4), 2);
    EXPECT_EQ(rows[0].slot, 2);
    EXPECT_EQ(rows[1].slot, 7);
    EXPECT_EQ(rows[1].ping_ms, 500);
    EXPECT_STREQ(rows[1].number, "12");
    EXPECT_STREQ(rows[1].name, "Seven");
    EXPECT_STREQ(rows[1].bike, net_rider_info[7].model);
    EXPECT_EQ(build_player_rows(rows, 1), 1) << "bounded by the room given";
}

}   // namespace
