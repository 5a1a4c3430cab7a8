// The race server as a child process on 127.0.0.1: the game's client
// joins it beside a scripted raw client, loads the track, syncs and takes
// the other rider's states; uploads and chat go through reliable messages.
// What a player meets online: a bumped remote rider stays on the ground, a
// setup change is told to the other rider, a missed checkpoint counts, and
// a track rutted offline is loaded afresh on joining.
#include "tools/race_server/race_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "app/bike_setup.h"
#include "app/stock_shapes.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "bike/packed_state.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/race_fixture.h"
#include "race/race_state.h"
#include "server_child.h"
#include "track/terrain.h"

namespace {

// The server for these tests: 2 laps of the fixture loop, uploads allowed
// (into files of at most file_limit bytes when that is given).
pid_t start_server_child(const std::string &uploads, int *port, long file_limit = 0)
{
    ServerOptions o;
    default_server_options(&o);
    snprintf(o.track, sizeof o.track, "%s", RACE_TRACK);
    o.laps = 2;
    o.countdown = 20;
    snprintf(o.upload_folder, sizeof o.upload_folder, "%s", uploads.c_str());
    return ::start_server_child(o, port, file_limit);
}

std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

// A client written with raw datagrams: walks in, then sends a state every
// call once synced, answering new sessions and acknowledging messages.
struct RawRider {
    int fd = open_udp_socket();
    SocketAddress server{};
    uint32_t slot = 160, key = 0, session = 0, tic = 1;
    int synced = 0;
    std::string texts;
    std::string state;                       // the state it sends; its tic byte when empty
    std::vector<std::string> gate_messages;  // bodies of the gate passes relayed to it
    std::set<uint32_t> seen;                 // reliable numbers taken
    std::map<uint32_t, std::string> unacked; // its reliable packets not yet acknowledged
    uint32_t next_number = 0;
    std::set<uint32_t> acked;   // its packets acknowledged
    int steps = 0;
    std::map<int, uint32_t> newest_states;   // slot -> newest state tic relayed to it
    std::chrono::steady_clock::time_point last_state{};

    // A reliable message to the server, sent again every 64 steps until
    // acknowledged.
    void reliable(int message, const std::string &body)
    {
        uint32_t number = next_number++;
        unacked[number] = head(PACKET_RELIABLE) + u32(number) + std::string(1, (char)message) + body;
        send(unacked[number]);
    }

    void send(const std::string &b) { send_datagram(fd, b.data(), (int)b.size(), &server); }
    std::string head(int type) { return std::string(1, (char)type) + u32(slot) + u32(key); }
    void step()
    {
        uint8_t b[2048];
        SocketAddress from;
        int n;
        while ((n = receive_datagram(fd, b, sizeof b, &from)) >= 0) {
            switch (b[0]) {
            case SERVER_WELCOME:
                slot = get_u32(b + 1);
                key = get_u32(b + 5);
                send(head(CLIENT_SENDING_INFO) + std::string(32, '\0') + "cr125||||\n7\nRaw Rider");
                break;
            case SERVER_RACE:
                session = get_u32(b + 1);
                send(head(CLIENT_TRACK_ACK) + u32(session));
                break;
            case SERVER_RIDER: send(head(CLIENT_BIKE_ACK) + u32(session) + u32(get_u32(b + 5))); break;
            case SERVER_OWN_RIDER:
                send(head(CLIENT_SYNCING) + u32(session));
                synced = 1;
                break;
            case SERVER_STATES:
                for (uint32_t k = 0; k < get_u32(b + 13) && STATES_HEADER_SIZE + (k + 1) * STATE_RECORD_SIZE <= (uint32_t)n;
                     k++) {
                    const uint8_t *r = b + STATES_HEADER_SIZE + k * STATE_RECORD_SIZE;
                    newest_states[get_u16(r)] = std::max(newest_states[get_u16(r)], get_u32(r + 4));
                }
                break;
            case SERVER_NEW_SESSION:
                session = get_u32(b + 1);
                synced = 0;
                send(head(CLIENT_RESTART) + u32(session));
                break;
            case PACKET_RELIABLE:
                send(head(PACKET_ACK) + u32(get_u32(b + 1)));
                if (!seen.insert(get_u32(b + 1)).second)
                    break;
                if (n > 6 && b[5] == MESSAGE_TEXT)
                    texts += std::string((const char *)b + 6, (size_t)n - 6) + "\n";
                if (n > 6 && b[5] == MESSAGE_GATES)
                    gate_messages.emplace_back((const char *)b + 6, (size_t)n - 6);
                break;
            case PACKET_ACK:
                if (n >= 5) {
                    unacked.erase(get_u32(b + 1));
                    acked.insert(get_u32(b + 1));
                }
                break;
            default: break;
            }
        }
        if (++steps % 64 == 0)
            for (const auto &[number, bytes] : unacked)
                send(bytes);
        // A state a tic at most, as a client sends them: stepped faster (a
        // flood between its steps), its tics would run ahead of the
        // server's and be refused.
        auto now = std::chrono::steady_clock::now();
        if (synced && now - last_state >= std::chrono::microseconds(1000000 / SERVER_TIC_RATE)) {
            last_state = now;
            tic += 1;
            std::string sent = state;
            if (sent.size() != PACKED_STATE_SIZE) {
                sent.assign(PACKED_STATE_SIZE, '\0');
                sent[0] = (char)(tic & 255);
            }
            send(head(CLIENT_RUNNING) + u32(session) + u32(0) + u32(tic) + sent);
        }
    }
};

struct ServerLoopback : RaceWorld {
    pid_t pid = -1;
    int port = -1;
    long file_limit = 0;   // the server's, when set before SetUp
    std::string uploads;
    void SetUp() override
    {
        RaceWorld::SetUp();
        uploads = test_dir() + "/uploads";
        mkdir(uploads.c_str(), 0755);
        scan_track_catalogue();
        pid = start_server_child(uploads, &port, file_limit);
        ASSERT_GT(pid, 0);
        ASSERT_GT(port, 0);
        stock_models_ok = 1;
    }
    void TearDown() override
    {
        disconnect_from_server();
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        RaceWorld::TearDown();
    }
    // Runs the game's client (and the race once synced) with the raw rider
    // for at most the given seconds, until done() holds.
    bool run_until(RawRider *raw, double seconds, const std::function<bool()> &done)
    {
        for (int i = 0; i < (int)(seconds * 128); i++) {
            if (raw)
                raw->step();
            run_net_client();
            if (client_state == CLIENT_RUNNING && server_tic_estimate > 0)
                race_tic();
            if (done())
                return true;
            usleep(7800);
        }
        return false;
    }
};

TEST_F(ServerLoopback, JoinBesideAnotherRiderAndTakeItsStates)
{
    RawRider raw;
    resolve_address(&raw.server, ("127.0.0.1:" + std::to_string(port)).c_str(), 0);
    raw.send(std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(99) + std::string(4, '\0'));
    ASSERT_TRUE(run_until(&raw, 5, [&] { return raw.synced != 0; }));

    std::string target = "127.0.0.1:" + std::to_string(port);
    set_connect_target(target.c_str());
    ASSERT_TRUE(run_until(&raw, 20, [&] { return client_state == CLIENT_RUNNING && slot_state_tics[raw.slot] > 0; }))
        << "state " << client_state;
    EXPECT_NE(own_slot, (int)raw.slot);
    EXPECT_EQ(slot_kinds[raw.slot], 5);
    EXPECT_STREQ(net_rider_info[raw.slot].name, "Raw Rider");
    EXPECT_TRUE(get_slot_bike((int)raw.slot) != nullptr);
    EXPECT_NE(get_slot_bike(own_slot), nullptr);
    EXPECT_EQ(local_gate_position, own_slot) << "joined before the drop: on the grid";

    // Chat reaches the other rider with the name in front.
    const char *line = "hello there";
    queue_reliable_message(MESSAGE_TEXT, line, (int)strlen(line));
    ASSERT_TRUE(run_until(&raw, 5, [&] { return raw.texts.find("hello there") != std::string::npos; }));

    // A 256-byte upload: one data message, then the end text.
    write_file(test_data_dir() + "outgoing/lap.txt", std::string(256, 'u'));
    ASSERT_TRUE(start_file_upload("lap.txt"));
    std::string saved;
    ASSERT_TRUE(run_until(&raw, 10, [&] { return read_file(uploads + "/lap.txt", &saved); }));
    EXPECT_EQ(saved, std::string(256, 'u'));
    EXPECT_EQ(upload_file, nullptr);
}

TEST_F(ServerLoopback, UploadNameLeavingTheFolderRefused)
{
    std::string target = "127.0.0.1:" + std::to_string(port);
    set_connect_target(target.c_str());
    ASSERT_TRUE(run_until(nullptr, 20, [&] { return client_state == CLIENT_RUNNING; }));
    // The client refuses the name itself; the server refuses it too.
    EXPECT_FALSE(start_file_upload("../x"));
    const char *upload[] = {"sendfile", "sendpart -abc", "namefile ../x"};
    for (const char *m : upload)
        queue_reliable_message(MESSAGE_COMMAND, m, (int)strlen(m));
    run_until(nullptr, 3, [&] { return outgoing_packet_count() == 0 && upload_ready == 0; });
    EXPECT_EQ(upload_ready, 0) << "the bad name is answered with a denial";
    EXPECT_FALSE(file_exists(test_dir() + "/x"));
}

// A server whose disk fills up: an upload it cannot write whole is
// answered "File not saved" and leaves no file; one within the limit is
// still saved whole.
struct ServerLoopbackFullDisk : ServerLoopback {
    ServerLoopbackFullDisk() { file_limit = 100; }
};

// The text among the messages shown since the line numbered first.
bool message_shown_since(int first, const char *text)
{
    for (int line = first; line != message_log.next_line; line = (line + 1) % MESSAGE_LINES)
        if (!strcmp(message_log.lines[line], text))
            return true;
    return false;
}

TEST_F(ServerLoopbackFullDisk, UploadNotWrittenWholeIsReportedAndRemoved)
{
    std::string target = "127.0.0.1:" + std::to_string(port);
    set_connect_target(target.c_str());
    ASSERT_TRUE(run_until(nullptr, 20, [&] { return client_state == CLIENT_RUNNING; }));

    write_file(test_data_dir() + "outgoing/big.txt", std::string(256, 'b'));
    int first = message_log.next_line;
    ASSERT_TRUE(start_file_upload("big.txt"));
    ASSERT_TRUE(run_until(nullptr, 10, [&] { return message_shown_since(first, "File not saved"); }));
    EXPECT_FALSE(message_shown_since(first, "File received"));
    EXPECT_FALSE(file_exists(uploads + "/big.txt"));

    write_file(test_data_dir() + "outgoing/small.txt", std::string(64, 's'));
    first = message_log.next_line;
    ASSERT_TRUE(start_file_upload("small.txt"));
    ASSERT_TRUE(run_until(nullptr, 10, [&] { return message_shown_since(first, "File received"); }));
    EXPECT_FALSE(message_shown_since(first, "File not saved"));
    std::string saved;
    EXPECT_TRUE(read_file(uploads + "/small.txt", &saved));
    EXPECT_EQ(saved, std::string(64, 's'));
}

TEST_F(ServerLoopback, ReconnectTakesTheFreedSlotAgain)
{
    std::string target = "127.0.0.1:" + std::to_string(port);
    set_connect_target(target.c_str());
    ASSERT_TRUE(run_until(nullptr, 20, [&] { return client_state == CLIENT_RUNNING; }));
    int first_slot = own_slot;
    uint32_t first_key = session_key;

    // The goodbye frees the slot; the server's answer closes the client.
    leave_server();
    ASSERT_TRUE(run_until(nullptr, 5, [&] { return net_socket == -1; }));
    EXPECT_EQ(own_slot, NET_NO_SLOT);

    set_connect_target(target.c_str());
    ASSERT_TRUE(run_until(nullptr, 20, [&] { return client_state == CLIENT_RUNNING; })) << "state " << client_state;
    EXPECT_EQ(own_slot, first_slot) << "the lowest free slot again";
    EXPECT_NE(session_key, first_key) << "a new key for the new contact";
    EXPECT_NE(get_slot_bike(own_slot), nullptr);
}

// The raw rider in, then the game's client beside it, racing.
#define JOIN_BESIDE_RAW_RIDER(raw)                                                                          \
    RawRider raw;                                                                                        \
    resolve_address(&raw.server, ("127.0.0.1:" + std::to_string(port)).c_str(), 0);                      \
    raw.send(std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(99) + std::string(4, '\0'));    \
    ASSERT_TRUE(run_until(&raw, 5, [&] { return raw.synced != 0; }));                                   \
    set_connect_target(("127.0.0.1:" + std::to_string(port)).c_str());                                   \
    ASSERT_TRUE(run_until(&raw, 20, [&] {                                                                 \
        return client_state == CLIENT_RUNNING && get_slot_bike((int)raw.slot) && get_slot_bike(own_slot); \
    }))

// The bike's packed state as if it stood shifted by (dx, dz).
std::string shifted_state(BikeState *bike, float dx, float dz)
{
    move_bike_bodies(bike, dx, 0.0f, dz);
    uint8_t state[PACKED_STATE_SIZE];
    pack_rider_state(bike, state);
    move_bike_bodies(bike, -dx, 0.0f, -dz);
    return std::string((const char *)state, sizeof state);
}

TEST_F(ServerLoopback, BumpedRemoteRiderStaysOnTheGround)
{
    JOIN_BESIDE_RAW_RIDER(raw);
    BikeState *own = get_slot_bike(own_slot);
    BikeState *other = get_slot_bike((int)raw.slot);
    ASSERT_NE(local_gate_position, NET_NO_SLOT) << "a rider on the grid collides";
    // The other rider's states put it a foot beside ours for a moment, then
    // 12 ft clear: it is bumped, then rides clear of us.
    std::string touching = shifted_state(own, 1.0f, 0.0f), clear = shifted_state(own, 12.0f, 0.0f);
    raw.state = touching;
    ASSERT_TRUE(run_until(&raw, 5, [&] { return is_bike_physics_active(other) != 0; })) << "the bump wakes it";
    raw.state = clear;
    float lowest = 1e9f;
    int active_tics = 0;
    for (int t = 0; t < 128; t++) {
        run_until(&raw, 1.0 / 128, [] { return true; });
        const dReal *p = dBodyGetPosition(other->frame_body);
        float ground = get_terrain_height(current_terrain, (float)p[0], (float)p[2]);
        lowest = std::min(lowest, (float)p[1] - ground);
        active_tics += is_bike_physics_active(other);
    }
    EXPECT_GT(active_tics, 16) << "simulated here for a while after the bump";
    EXPECT_GE(lowest, 0.0f) << "the frame went below the ground";
}

double body_speed(dBodyID body)
{
    const dReal *v = dBodyGetLinearVel(body);
    return sqrt((double)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
}

TEST_F(ServerLoopback, SetupChangeReachesTheOtherRiderAsText)
{
    JOIN_BESIDE_RAW_RIDER(raw);
    BikeSetupEntry &entry = bike_setup_table[0];
    *entry.value += 1.0;
    // Applied once the bike stands still at the gate: it settles on its
    // springs a second or two after it is placed (placed again when the
    // race restarts), so the wait is long on a slow machine.
    ASSERT_TRUE(run_until(&raw, 20, [&] {
        apply_bike_setup(get_slot_bike(own_slot));
        return entry.changed == 1;
    })) << "bike speed " << body_speed(get_bike_body(get_slot_bike(own_slot))) << " ft/s, client state "
        << client_state << ", tic " << current_tic;
    int line = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    std::string shown = message_log.lines[line];
    post_setup_change_notice();
    EXPECT_EQ(message_log.lines[line], shown);
    EXPECT_EQ((message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES, line) << "not shown here: told to the others";
    std::string letters = std::string(1, (char)entry.letter) + std::string(BIKE_SETUP_TABLE_ROWS - 1, '-');
    ASSERT_TRUE(run_until(&raw, 5, [&] { return raw.texts.find("Setup change") != std::string::npos; }));
    EXPECT_NE(raw.texts.find(": [SPAM] Setup change " + letters + "\n"), std::string::npos) << raw.texts;
}

TEST_F(ServerLoopback, MissedCheckpointRelayedAndCounted)
{
    JOIN_BESIDE_RAW_RIDER(raw);
    raw.reliable(MESSAGE_GATES, u32(raw.session) + u32(0) + u32(NET_GATE_MISSED));
    raw.reliable(MESSAGE_GATES, u32(raw.session) + u32(1) + u32(500));
    BikeState *other = get_slot_bike((int)raw.slot);
    ASSERT_TRUE(run_until(&raw, 5, [&] { return get_gates_passed(other) == 2 && !raw.unacked.size(); }))
        << "gates passed " << get_gates_passed(other);
    run_until(&raw, 0.25, [] { return false; });
    EXPECT_EQ(get_gate_time(other, 0), -1) << "missed: no time";
    EXPECT_EQ(get_gate_time(other, 1), 500);
    // The rider itself is told of both, the missed one as sent.
    std::vector<uint32_t> tics;
    for (const std::string &m : raw.gate_messages) {
        const uint8_t *b = (const uint8_t *)m.data();
        for (uint32_t k = 0; k < get_u32(b + 4); k++)
            tics.push_back(get_u32(b + 8 + k * GATE_RECORD_SIZE + 8));
    }
    std::vector<uint32_t> expected = {NET_GATE_MISSED, 500};
    EXPECT_EQ(tics, expected);
}

// Resident memory of a process, in bytes.
long resident_bytes(pid_t pid)
{
    std::string status;
    if (!read_file("/proc/" + std::to_string(pid) + "/status", &status))
        return -1;
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::stol(status.substr(at + 6)) * 1024;
}

TEST_F(ServerLoopback, ChatFloodKeepsStatesFlowingInBoundedMemory)
{
    RawRider riders[3];
    for (int i = 0; i < 3; i++) {
        resolve_address(&riders[i].server, ("127.0.0.1:" + std::to_string(port)).c_str(), 0);
        riders[i].send(std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(200 + (uint32_t)i) +
                       std::string(4, '\0'));
    }
    auto step_all = [&] {
        for (RawRider &r : riders)
            r.step();
    };
    ASSERT_TRUE(run_until(nullptr, 10, [&] {
        step_all();
        return riders[0].synced && riders[1].synced && riders[2].synced;
    }));
    RawRider &flooder = riders[0], &rider = riders[1], &watcher = riders[2];
    ASSERT_TRUE(run_until(nullptr, 5, [&] {
        step_all();
        return watcher.newest_states[(int)rider.slot] > 0;
    }));
    long before = resident_bytes(pid);
    ASSERT_GT(before, 0);

    // 200,000 chat packets in bursts, the others riding between them. A
    // burst goes again, but for what was acknowledged, until the server
    // took all of it (a while at most), so that the flood reaches the
    // server rather than an overflowing socket.
    const uint32_t FLOOD = 200000, BURST = 200;
    uint32_t seen_at_half = 0;
    auto chat = [&](uint32_t number) {
        flooder.send(flooder.head(PACKET_RELIABLE) + u32(number) + std::string(1, (char)MESSAGE_TEXT) +
                     "no one likes a spammer");
    };
    // A burst waits for its acknowledgements by progress, not by a count of
    // rounds: a busy machine slows the server, not the test's outcome.
    for (uint32_t k = 0; k < FLOOD; k += BURST) {
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (int round = 0; std::chrono::steady_clock::now() < give_up; round++) {
            if (round % 8 == 0)
                for (uint32_t j = k; j < k + BURST; j++)
                    if (!flooder.acked.count(j))
                        chat(j);
            usleep(250);
            step_all();
            if (flooder.acked.count(k + BURST - 1) && flooder.acked.size() >= k + BURST)
                break;
        }
        if (k == FLOOD / 2)
            seen_at_half = watcher.newest_states[(int)rider.slot];
    }
    printf("%zu of the %u chat packets acknowledged\n", flooder.acked.size(), FLOOD);
    EXPECT_GT(flooder.acked.size(), (size_t)FLOOD * 9 / 10) << "the server took the flood";
    uint32_t seen_at_end = watcher.newest_states[(int)rider.slot];
    ASSERT_TRUE(run_until(nullptr, 10, [&] {
        step_all();
        return watcher.newest_states[(int)rider.slot] > seen_at_end + 64;
    })) << "states still relayed after the flood";
    long after = resident_bytes(pid);
    EXPECT_GT(seen_at_half, 0u);
    EXPECT_GT(seen_at_end, seen_at_half) << "states relayed during the flood";
    EXPECT_LT(after - before, 32L << 20) << "resident memory " << before << " -> " << after;
    printf("server resident memory %ld -> %ld bytes over the flood; %d lines relayed\n", before, after, (int)std::count(watcher.texts.begin(), watcher.texts.end(), '\n'));
    EXPECT_NE(watcher.texts.find("no one likes a spammer"), std::string::npos) << "a line of it relayed";
}

int rutted_cells()
{
    const Terrain *t = current_terrain;
    int count = 0;
    for (int i = 0; t && i < t->side * t->side; i++)
        count += t->heights[i] != t->loaded_heights[i];
    return count;
}

TEST_F(ServerLoopback, JoiningOnATrackRuttedOfflineLoadsItsGround)
{
    const int player[] = {1};
    ASSERT_TRUE(start(player, 1, 2, 0));
    ASSERT_STREQ(current_track.folder, RACE_TRACK);
    terrain_dig(current_terrain, LOOP_X, LOOP_Z, 6.0f, 1.0f);
    ASSERT_GT(rutted_cells(), 0);

    set_connect_target(("127.0.0.1:" + std::to_string(port)).c_str());
    ASSERT_TRUE(run_until(nullptr, 20, [&] { return client_state == CLIENT_RUNNING; }));
    EXPECT_STREQ(current_track.folder, RACE_TRACK);
    EXPECT_EQ(rutted_cells(), 0) << "the server's ground, not the ruts dug here";
    EXPECT_EQ(get_terrain_height(current_terrain, LOOP_X, LOOP_Z), 0.0f);
}

}   // namespace
