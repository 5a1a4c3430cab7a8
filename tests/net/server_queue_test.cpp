// The race server's bounds against riders that send too much, without a
// socket: datagrams go in through its reader, what it sends is watched and
// each client acknowledges (or not) as a test says. Gate passes of 40
// riders in one tic all reach every client; a client that acknowledges
// nothing holds passes back without losing one; a flood of erosion keeps
// the newest; a state tic far ahead does not stop the rider's later
// states; chat goes at most one line per rider in the spam interval.
#include "tools/race_server/race_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/time.h"

namespace {

const uint32_t KEY = 0x5eed;
const int MOST = 40;

std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

// What the server sent to each client port since the last look.
std::map<int, std::vector<std::string>> inbox;

void observe(const SocketAddress *to, const uint8_t *bytes, int length)
{
    inbox[ntohs(to->address.sin_port)].emplace_back((const char *)bytes, (size_t)length);
}

double now()
{
    return (double)clock_milliseconds() * 0.001;
}

struct Peer {
    SocketAddress address{};
    int acknowledges = 1;
    std::map<uint32_t, std::string> messages;   // reliable messages by number: [5] type, body
    std::set<uint32_t> acks;                     // our reliable packets the server acknowledged
    std::vector<std::string> states;             // state datagrams
    uint32_t next_number = 0;
};

struct ServerQueues : testing::Test {
    Peer peers[MOST];
    int count = 0;

    void SetUp() override { server_send_observer = observe; }
    void TearDown() override
    {
        stop_race_server();
        server_send_observer = nullptr;
        inbox.clear();
    }
    int port(int i) const { return ntohs(peers[i].address.address.sin_port); }
    void from(int i, const std::string &b)
    {
        handle_client_datagram((const uint8_t *)b.data(), (int)b.size(), &peers[i].address);
    }
    static std::string head(int type, int slot) { return std::string(1, (char)type) + u32((uint32_t)slot) + u32(KEY); }
    // n riders contacted, walked (each acknowledging every other) and synced.
    void start_riders(int n)
    {
        ServerOptions o;
        default_server_options(&o);
        o.port = 0;
        o.max_riders = n;
        o.countdown = 100;
        prepare_race_server(&o, KEY);
        count = n;
        for (int i = 0; i < n; i++) {
            Peer &p = peers[i];
            p.address.length = 16;
            p.address.address.sin_family = AF_INET;
            p.address.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            p.address.address.sin_port = htons((uint16_t)(32000 + i));
            from(i, std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(700 + (uint32_t)i) +
                        std::string(4, '\0'));
            from(i, head(CLIENT_SENDING_INFO, i) + std::string(32, '\0') + "cr125||||\n" + std::to_string(i) +
                        "\nRider " + std::to_string(i));
        }
        uint32_t session = server_session_id();
        for (int i = 0; i < n; i++) {
            from(i, head(CLIENT_TRACK_ACK, i) + u32(session));
            for (int other = 0; other < n; other++)
                if (other != i)
                    from(i, head(CLIENT_BIKE_ACK, i) + u32(session) + u32((uint32_t)other));
            from(i, head(CLIENT_SYNCING, i) + u32(session));
        }
        tic();
    }
    // What came in: reliable messages kept (and acknowledged, by those that
    // do), acknowledgements of ours noted, states kept.
    void read_inboxes()
    {
        for (int i = 0; i < count; i++) {
            Peer &p = peers[i];
            std::vector<std::string> got;
            got.swap(inbox[port(i)]);
            for (const std::string &b : got) {
                const uint8_t *d = (const uint8_t *)b.data();
                if (d[0] == PACKET_RELIABLE && b.size() >= 6) {
                    uint32_t number = get_u32(d + 1);
                    p.messages.emplace(number, b.substr(5));
                    if (p.acknowledges)
                        from(i, head(PACKET_ACK, i) + u32(number));
                } else if (d[0] == PACKET_ACK && b.size() >= 5) {
                    p.acks.insert(get_u32(d + 1));
                } else if (d[0] == SERVER_STATES) {
                    p.states.push_back(b);
                }
            }
        }
    }
    void tic()
    {
        run_server_tic_at(now());
        read_inboxes();
    }
    // Client i's reliable message (numbered in turn) to the server.
    uint32_t reliable(int i, int message, const std::string &body)
    {
        uint32_t number = peers[i].next_number++;
        resend(i, number, message, body);
        return number;
    }
    void resend(int i, uint32_t number, int message, const std::string &body)
    {
        from(i, head(PACKET_RELIABLE, i) + u32(number) + std::string(1, (char)message) + body);
    }
    // The gate-pass records client i holds, in message order: (slot, gate, tic).
    std::vector<std::array<uint32_t, 3>> gate_records(int i) const
    {
        std::vector<std::array<uint32_t, 3>> out;
        for (const auto &[number, m] : peers[i].messages) {
            if ((uint8_t)m[0] != MESSAGE_GATES)
                continue;
            const uint8_t *b = (const uint8_t *)m.data() + 1;
            uint32_t n = get_u32(b + 4);
            EXPECT_EQ(m.size(), 9 + n * GATE_RECORD_SIZE) << "message " << number;
            EXPECT_LE(n, (uint32_t)SERVER_GATES_PER_MESSAGE);
            for (uint32_t k = 0; k < n && 9 + (k + 1) * GATE_RECORD_SIZE <= m.size(); k++) {
                const uint8_t *r = b + 8 + k * GATE_RECORD_SIZE;
                out.push_back({get_u32(r), get_u32(r + 4), get_u32(r + 8)});
            }
        }
        return out;
    }
    // The messages of a type client i holds, in number order.
    std::vector<std::string> bodies(int i, int message) const
    {
        std::vector<std::string> out;
        for (const auto &[number, m] : peers[i].messages)
            if ((uint8_t)m[0] == message)
                out.push_back(m.substr(1));
        return out;
    }
    // The tics of the states of a slot that client i was sent.
    std::vector<uint32_t> state_tics(int i, int slot) const
    {
        std::vector<uint32_t> out;
        for (const std::string &b : peers[i].states) {
            const uint8_t *d = (const uint8_t *)b.data();
            uint32_t n = get_u32(d + 13);
            for (uint32_t k = 0; k < n && STATES_HEADER_SIZE + (k + 1) * STATE_RECORD_SIZE <= b.size(); k++) {
                const uint8_t *r = d + STATES_HEADER_SIZE + k * STATE_RECORD_SIZE;
                if (get_u16(r) == slot)
                    out.push_back(get_u32(r + 4));
            }
        }
        return out;
    }
    void send_state(int i, uint32_t tic)
    {
        from(i, head(CLIENT_RUNNING, i) + u32(server_session_id()) + u32(0) + u32(tic) + std::string(39, (char)tic));
    }
};

TEST_F(ServerQueues, FortyRidersFortyPassesInOneTicAllReachEveryClient)
{
    start_riders(MOST);
    uint32_t session = server_session_id();
    const uint32_t PASSES = 40;
    for (int i = 0; i < MOST; i++)
        for (uint32_t gate = 0; gate < PASSES; gate++)
            reliable(i, MESSAGE_GATES, u32(session) + u32(gate) + u32(1000 + gate * 7 + (uint32_t)i));
    for (int t = 0; t < 400; t++)
        tic();

    for (int i = 0; i < MOST; i++) {
        SCOPED_TRACE("client " + std::to_string(i));
        EXPECT_EQ(peers[i].acks.size(), PASSES) << "every pass acknowledged to its rider";
        std::vector<std::array<uint32_t, 3>> records = gate_records(i);
        ASSERT_EQ(records.size(), (size_t)MOST * PASSES);
        // Each rider's passes once each, in its order, with its tics.
        std::map<uint32_t, uint32_t> next_gate;
        for (const auto &r : records) {
            ASSERT_LT(r[0], (uint32_t)MOST);
            EXPECT_EQ(r[1], next_gate[r[0]]) << "slot " << r[0];
            EXPECT_EQ(r[2], 1000 + r[1] * 7 + r[0]);
            next_gate[r[0]] = r[1] + 1;
        }
    }
}

TEST_F(ServerQueues, ClientAcknowledgingNothingHoldsPassesBackWithoutLosingOne)
{
    start_riders(2);
    peers[1].acknowledges = 0;
    uint32_t session = server_session_id();
    const uint32_t PASSES = 4000;   // more than the slow client's queue holds
    auto pass = [&](uint32_t gate) { return u32(session) + u32(gate) + u32(100 + gate); };
    // Rider 0 sends like the game's client does under loss: its unacknowledged
    // packets again each tic, a window at a time.
    auto send_window = [&] {
        uint32_t first = 0;
        while (peers[0].acks.count(first))
            first++;
        for (uint32_t n = first; n < first + RELIABLE_AHEAD_MAX && n < PASSES; n++)
            resend(0, n, MESSAGE_GATES, pass(n));
        return first;
    };
    uint32_t held = 0;
    for (int t = 0; t < 100; t++) {
        held = send_window();
        tic();
    }
    EXPECT_LT(held, PASSES) << "passes wait for room, unacknowledged";
    EXPECT_GT(held, (uint32_t)(SERVER_QUEUE_GATES_MAX / 2 * SERVER_GATES_PER_MESSAGE)) << "the queue was filled first";
    uint32_t still = send_window();
    tic();
    EXPECT_EQ(send_window(), still) << "no more taken while the client acknowledges nothing";

    peers[1].acknowledges = 1;
    for (auto &[number, m] : peers[1].messages)
        from(1, head(PACKET_ACK, 1) + u32(number));
    for (int t = 0; t < 2000 && send_window() < PASSES; t++)
        tic();
    for (int t = 0; t < 200; t++)
        tic();
    EXPECT_EQ(peers[0].acks.size(), PASSES);
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE("client " + std::to_string(i));
        std::vector<std::array<uint32_t, 3>> records = gate_records(i);
        ASSERT_EQ(records.size(), PASSES);
        for (uint32_t k = 0; k < PASSES; k++) {
            EXPECT_EQ(records[k][0], 0u);
            ASSERT_EQ(records[k][1], k) << "in order, none missing or twice";
            EXPECT_EQ(records[k][2], 100 + k);
        }
    }
}

TEST_F(ServerQueues, ErosionFloodKeepsTheNewestAndNoGatePass)
{
    start_riders(2);
    peers[1].acknowledges = 0;
    uint32_t session = server_session_id();
    const int FLOOD = 1000;
    auto erosion = [&](int k) { return u32(session) + std::string(1, '\1') + u32((uint32_t)k) + std::string(12, '\0'); };
    for (int k = 0; k < FLOOD; k++) {
        reliable(0, MESSAGE_EROSION, erosion(k));
        if (k == FLOOD / 2)
            reliable(0, MESSAGE_GATES, u32(session) + u32(0) + u32(321));
        if (k % 100 == 99)
            tic();
    }
    tic();
    EXPECT_EQ(peers[0].acks.size(), (size_t)FLOOD + 1) << "erosion is never held back";

    peers[1].acknowledges = 1;
    for (auto &[number, m] : peers[1].messages)
        from(1, head(PACKET_ACK, 1) + u32(number));
    for (int t = 0; t < 200; t++)
        tic();
    std::vector<std::string> got = bodies(1, MESSAGE_EROSION);
    EXPECT_LE(got.size(), (size_t)(SERVER_WINDOW + SERVER_QUEUE_EROSION_MAX)) << "the queue was bounded";
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), erosion(FLOOD - 1)) << "the newest kept";
    EXPECT_EQ(got.front(), erosion(0)) << "the first, in flight, kept";
    EXPECT_EQ(gate_records(1).size(), 1u) << "the gate pass among them is never dropped";
    EXPECT_EQ(bodies(0, MESSAGE_EROSION).back(), erosion(FLOOD - 1)) << "the newest to the rider too";
}

TEST_F(ServerQueues, StateTicFarAheadIsDroppedAndLaterStatesRelayed)
{
    struct Case {
        const char *name;
        uint32_t far;      // ahead of the session tic
        int relayed;       // the far state itself is relayed
    };
    const Case cases[] = {
        {"2^30", 1u << 30, 0},
        {"past the session tic plus 256", STATE_TIC_AHEAD_MAX + 1, 0},
        {"the session tic plus 256", STATE_TIC_AHEAD_MAX, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        start_riders(2);
        while (server_session_tic() % SERVER_STATE_EVERY != SERVER_STATE_EVERY - 1)
            tic();
        uint32_t far = c.far == 1u << 30 ? c.far : server_session_tic() + c.far;
        send_state(0, far);
        tic();
        uint32_t last_good = 0;
        for (int k = 0; k < 8; k++) {
            last_good = server_session_tic() + 1;
            send_state(0, last_good);
            for (int t = 0; t < SERVER_STATE_EVERY; t++)
                tic();
        }
        std::vector<uint32_t> tics = state_tics(1, 0);
        ASSERT_FALSE(tics.empty());
        if (c.relayed) {
            EXPECT_EQ(tics.back(), far) << "a tic within reach holds until the session passes it";
        } else {
            EXPECT_EQ(std::count(tics.begin(), tics.end(), far), 0);
            std::sort(tics.begin(), tics.end());
            tics.erase(std::unique(tics.begin(), tics.end()), tics.end());
            EXPECT_EQ(tics.size(), 8u) << "each later good state relayed";
            EXPECT_EQ(tics.back(), last_good);
        }
        stop_race_server();
        inbox.clear();
        for (Peer &p : peers)
            p = Peer{};
    }
}

TEST_F(ServerQueues, ChatAtMostOneLinePerRiderInTheSpamInterval)
{
    start_riders(3);
    for (int k = 0; k < 50; k++) {
        reliable(0, MESSAGE_TEXT, "spam " + std::to_string(k));
        reliable(1, MESSAGE_TEXT, "hello " + std::to_string(k));
    }
    for (int t = 0; t < 8; t++)
        tic();
    std::vector<std::string> got = bodies(2, MESSAGE_TEXT);
    std::vector<std::string> expected = {"Rider 0: spam 0", "Rider 1: hello 0"};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(peers[0].acks.size(), 50u) << "the rest are taken and dropped, not held";
}

}   // namespace
