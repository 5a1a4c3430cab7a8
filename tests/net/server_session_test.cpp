// The race server's sessions without a socket: datagrams go in through its
// reader and what it sends is watched. The session's commands follow a
// client's race reset, a missed checkpoint keeps later passes flowing, a
// finished race waits a while for its passes to be held, a new session is
// repeated to a client that does not answer, keep-alives go only to
// clients that know their slot, and a rider with a grid place that another
// does not know of opens a new session.
#include "tools/race_server/race_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <string>
#include <vector>

#include "platform/time.h"

namespace {

const uint32_t KEY = 0x5eed;

struct Datagram {
    int port;
    std::string bytes;
};
std::vector<Datagram> sent;

void observe(const SocketAddress *to, const uint8_t *bytes, int length)
{
    sent.push_back({ntohs(to->address.sin_port), std::string((const char *)bytes, (size_t)length)});
}

std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

struct ServerSessions : testing::Test {
    SocketAddress addresses[4]{};

    void SetUp() override
    {
        server_send_observer = observe;
        sent.clear();
        for (int i = 0; i < 4; i++) {
            addresses[i].length = 16;
            addresses[i].address.sin_family = AF_INET;
            addresses[i].address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addresses[i].address.sin_port = htons((uint16_t)(31000 + i));
        }
    }
    void TearDown() override
    {
        stop_race_server();
        server_send_observer = nullptr;
    }
    static void start(double countdown, void (*more)(ServerOptions *) = nullptr)
    {
        ServerOptions o;
        default_server_options(&o);
        o.port = 0;
        o.countdown = countdown;
        if (more)
            more(&o);
        prepare_race_server(&o, KEY);
    }
    void from(int i, const std::string &b)
    {
        handle_client_datagram((const uint8_t *)b.data(), (int)b.size(), &addresses[i]);
    }
    static std::string head(int type, int slot)
    {
        return std::string(1, (char)type) + u32((uint32_t)slot) + u32(KEY);
    }
    // Contact and client info: client i takes slot i.
    void join(int i)
    {
        from(i, std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(500 + (uint32_t)i) + std::string(4, '\0'));
        from(i, head(CLIENT_SENDING_INFO, i) + std::string(32, '\0') + "cr125||||\n" + std::to_string(i) + "\nRider");
    }
    // The track acknowledgement, then one acknowledgement per other rider.
    void walk(int i, const std::vector<int> &others)
    {
        uint32_t session = server_session_id();
        from(i, head(CLIENT_TRACK_ACK, i) + u32(session));
        for (int other : others)
            from(i, head(CLIENT_BIKE_ACK, i) + u32(session) + u32((uint32_t)other));
    }
    void sync(int i)
    {
        from(i, head(CLIENT_SYNCING, i) + u32(server_session_id()));
    }
    static void tics(int n)
    {
        for (int k = 0; k < n; k++)
            run_server_tic_at((double)clock_milliseconds() * 0.001);
    }
    // What went to client i: every datagram of the type, and the bodies of
    // the reliable messages of a message type (each number once).
    std::vector<std::string> to(int i, int type) const
    {
        std::vector<std::string> out;
        for (const Datagram &d : sent)
            if (d.port == ntohs(addresses[i].address.sin_port) && (uint8_t)d.bytes[0] == type)
                out.push_back(d.bytes);
        return out;
    }
    std::vector<std::string> messages(int i, int message) const
    {
        std::vector<std::string> out;
        std::vector<uint32_t> numbers;
        for (const std::string &b : to(i, PACKET_RELIABLE)) {
            uint32_t number = get_u32((const uint8_t *)b.data() + 1);
            if (b.size() < 6 || (uint8_t)b[5] != message ||
                std::find(numbers.begin(), numbers.end(), number) != numbers.end())
                continue;
            numbers.push_back(number);
            out.push_back(b.substr(6));
        }
        return out;
    }
    // Two riders walked and synced in the session.
    void two_synced_riders()
    {
        join(0);
        join(1);
        walk(0, {1});
        walk(1, {0});
        sync(0);
        sync(1);
    }
    // Client i's reliable message number n to the server.
    void reliable(int i, uint32_t number, int message, const std::string &body)
    {
        from(i, head(PACKET_RELIABLE, i) + u32(number) + std::string(1, (char)message) + body);
    }
};

TEST_F(ServerSessions, SessionCommandsFollowTheClientsRaceReset)
{
    start(10, [](ServerOptions *o) {
        snprintf(o->commands[0], sizeof o->commands[0], "knockout 5 9");
        o->command_count = 1;
        o->erode = 512;
    });
    join(0);
    walk(0, {});
    tics(2);
    ASSERT_EQ(to(0, SERVER_OWN_RIDER).size(), 1u) << "walked to its grid place";
    EXPECT_TRUE(messages(0, MESSAGE_COMMAND).empty()) << "nothing before the client's reset";

    sync(0);
    sync(0);   // a repeated sync queues nothing more
    tics(2);
    std::vector<std::string> commands = messages(0, MESSAGE_COMMAND);
    std::vector<std::string> expected = {"knockout 5 9", "erode " + std::to_string(server_session_id()) + " 512"};
    EXPECT_EQ(commands, expected);
}

TEST_F(ServerSessions, MissedCheckpointCountsAndLaterPassesAreRelayed)
{
    start(10);
    two_synced_riders();
    tics(1);
    uint32_t session = server_session_id();
    struct Pass {
        uint32_t gate, tic;
    };
    // The tic -1 marks a checkpoint missed; a pass out of order is refused.
    const Pass passes[] = {{0, 100}, {1, NET_GATE_MISSED}, {2, 300}, {4, 400}, {3, NET_TIC_MAX + 1u}};
    uint32_t number = 0;
    for (const Pass &p : passes)
        reliable(0, number++, MESSAGE_GATES, u32(session) + u32(p.gate) + u32(p.tic));
    tics(1);

    std::vector<std::string> gates = messages(1, MESSAGE_GATES);
    ASSERT_EQ(gates.size(), 1u) << "one batch for the tic";
    const uint8_t *b = (const uint8_t *)gates[0].data();
    EXPECT_EQ(get_u32(b), session);
    ASSERT_EQ(get_u32(b + 4), 3u) << "gates 0, 1 (missed) and 2";
    const Pass relayed[] = {{0, 100}, {1, NET_GATE_MISSED}, {2, 300}};
    for (int k = 0; k < 3; k++) {
        const uint8_t *r = b + 8 + k * GATE_RECORD_SIZE;
        EXPECT_EQ(get_u32(r), 0u);
        EXPECT_EQ(get_u32(r + 4), relayed[k].gate);
        EXPECT_EQ(get_u32(r + 8), relayed[k].tic);
    }
}

TEST_F(ServerSessions, FinishedRaceWaitsForItsGatePassesToBeHeld)
{
    struct Case {
        const char *name;
        int acknowledge;          // the riders acknowledge the relayed passes
        int tics_to_new_session;  // after both finished, at most
    };
    const Case cases[] = {
        {"passes acknowledged", 1, 8},
        {"passes never acknowledged: the wait ends", 0, SERVER_FINISH_WAIT_SECONDS * SERVER_TIC_RATE + 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        start(10);
        set_server_gates_to_finish(2);
        two_synced_riders();
        tics(1);
        uint32_t session = server_session_id();
        for (int i = 0; i < 2; i++)
            for (uint32_t gate = 0; gate < 2; gate++)
                reliable(i, gate, MESSAGE_GATES, u32(session) + u32(gate) + u32(100 + gate));
        tics(16);
        EXPECT_EQ(server_session_id(), session) << "both finished, the passes not yet held";
        if (c.acknowledge)
            for (int i = 0; i < 2; i++)
                for (const std::string &b : to(i, PACKET_RELIABLE))
                    from(i, head(PACKET_ACK, i) + b.substr(1, 4));
        int waited = 0;
        while (server_session_id() == session && waited < c.tics_to_new_session) {
            tics(1);
            waited++;
        }
        EXPECT_EQ(server_session_id(), session + 1) << "after " << waited << " tics";
        if (!c.acknowledge) {
            EXPECT_GE(waited, SERVER_FINISH_WAIT_SECONDS * SERVER_TIC_RATE - 32);
        }
        stop_race_server();
    }
}

TEST_F(ServerSessions, NewSessionRepeatedUntilTheClientAnswers)
{
    start(10);
    two_synced_riders();
    tics(4);
    // Both ask for a restart: the next session opens.
    for (int i = 0; i < 2; i++)
        from(i, head(SERVER_NOTHING, i) + "\x01");
    tics(4);
    ASSERT_EQ(server_session_id(), 2u);
    ASSERT_EQ(to(0, SERVER_NEW_SESSION).size(), 1u);
    ASSERT_EQ(to(1, SERVER_NEW_SESSION).size(), 1u);

    // Client 0 answers and walks again; client 1 lost the packet.
    from(0, head(CLIENT_RESTART, 0) + u32(2));
    EXPECT_EQ(to(0, SERVER_RACE).size(), 2u) << "the race packet of the new session";
    tics(2 * SERVER_NEW_SESSION_REPEAT);
    EXPECT_EQ(to(0, SERVER_NEW_SESSION).size(), 1u) << "an answered client is not asked again";
    EXPECT_EQ(to(1, SERVER_NEW_SESSION).size(), 3u) << "asked every " << SERVER_NEW_SESSION_REPEAT << " tics";
    for (const std::string &b : to(1, SERVER_NEW_SESSION))
        EXPECT_EQ(get_u32((const uint8_t *)b.data() + 1), 2u);
}

TEST_F(ServerSessions, KeepAliveOnlyToAClientThatKnowsItsSlot)
{
    start(10);
    // Client 0's welcome is lost: it has only contacted.
    from(0, std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(500) + std::string(4, '\0'));
    double later = (double)clock_milliseconds() * 0.001 + 4.0;
    run_server_tic_at(later);
    EXPECT_TRUE(messages(0, MESSAGE_KEEP_ALIVE).empty()) << "its answer could carry no slot";

    // Once it has sent its information, a quiet client is asked to answer.
    from(0, head(CLIENT_SENDING_INFO, 0) + std::string(32, '\0') + "cr125||||\n1\nRider");
    run_server_tic_at(later);
    EXPECT_EQ(messages(0, MESSAGE_KEEP_ALIVE).size(), 1u);
}

TEST_F(ServerSessions, RiderWithAGridPlaceUnknownToAnotherOpensANewSession)
{
    struct Case {
        const char *name;
        int late_walk;   // the second rider walks only after the gate drop
        uint32_t session_after;
    };
    const Case cases[] = {
        {"grid place taken before the drop, synced after it", 0, 2},
        {"walked after the drop: it watches", 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        start(0.25);   // the grid is set 32 tics after the session opens
        join(0);
        walk(0, {});
        sync(0);
        join(1);
        if (c.late_walk)
            tics(40);
        walk(1, {0});
        std::vector<std::string> own = to(1, SERVER_OWN_RIDER);
        ASSERT_EQ(own.size(), 1u);
        EXPECT_EQ(get_u32((const uint8_t *)own[0].data() + 5), c.late_walk ? (uint32_t)NET_NO_SLOT : 1u);
        if (!c.late_walk)
            tics(40);
        sync(1);
        tics(8);
        EXPECT_EQ(server_session_id(), c.session_after);
        stop_race_server();
    }
}

}   // namespace
