// The race server as a child process on 127.0.0.1: the game's client
// joins it beside a scripted raw client, loads the track, syncs and takes
// the other rider's states; uploads and chat go through reliable messages.
#include "tools/race_server/race_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "app/stock_shapes.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "race/race_fixture.h"
#include "race/race_state.h"
#include "server_child.h"

namespace {

// The server for these tests: 2 laps of the fixture loop, uploads allowed.
pid_t start_server_child(const std::string &uploads, int *port)
{
    ServerOptions o;
    default_server_options(&o);
    snprintf(o.track, sizeof o.track, "%s", RACE_TRACK);
    o.laps = 2;
    o.countdown = 20;
    snprintf(o.upload_folder, sizeof o.upload_folder, "%s", uploads.c_str());
    return ::start_server_child(o, port);
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
            case SERVER_NEW_SESSION:
                session = get_u32(b + 1);
                synced = 0;
                send(head(CLIENT_RESTART) + u32(session));
                break;
            case PACKET_RELIABLE:
                send(head(PACKET_ACK) + u32(get_u32(b + 1)));
                if (n > 6 && b[5] == MESSAGE_TEXT)
                    texts += std::string((const char *)b + 6, (size_t)n - 6) + "\n";
                break;
            default: break;
            }
        }
        if (synced) {
            tic += 1;   // about the server's pace: a step per tic or slower
            std::string state(39, '\0');
            state[0] = (char)(tic & 255);
            send(head(CLIENT_RUNNING) + u32(session) + u32(0) + u32(tic) + state);
        }
    }
};

struct ServerLoopback : RaceWorld {
    pid_t pid = -1;
    int port = -1;
    std::string uploads;
    void SetUp() override
    {
        RaceWorld::SetUp();
        uploads = test_dir() + "/uploads";
        mkdir(uploads.c_str(), 0755);
        scan_track_catalogue();
        pid = start_server_child(uploads, &port);
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

}   // namespace
