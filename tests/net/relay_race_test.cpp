// Three game clients race the race server through a relay that loses a
// fifth of the datagrams each way and delays the rest by 300 ms. Each
// client is a process of its own: the scripted rider round a small loop,
// the game's client and race tic, and the shell's catch-up pacing. The
// relay notes every state a client sends; each client reports what it
// holds when the server opens the next session.
#include "tools/race_server/race_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/frame_pacing.h"
#include "app/stock_shapes.h"
#include "core/game_file.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_fixture.h"
#include "race/race_state.h"
#include "server_child.h"
#include "track/erosion.h"
#include "track/terrain.h"

namespace {

const char *const RELAY_TRACK = "tracks/relay_loop";
// About 19 s a lap: 2 laps, the countdown and the joins fit the bound.
const LoopCourse RELAY_LOOP = {256.0f, 256.0f, 75.0f, 25.0f, 40.0f};
// Hard ground that never ruts, and a patch of loam across the loop that
// ruts under the tyres: a few erosion records a lap, as each client sends
// its reliable messages one at a time.
const char *const RELAY_TILES = "name hardpack\nfriction 1.0 1\nslip_function 1\nroll_resist 1 2 1\n"
                                "erode_lower 1000000\naddtile\n"
                                "name loam\nfriction 1.0 1\nslip_function 1\nroll_resist 1 2 1\n"
                                "erode_lower 1\nerode_upper 30\nerode_depth 0.05\nerode_radius 2\n"
                                "erode_inner_depth 0.02\naddtile\n";

void write_relay_track()
{
    write_loop_track(RELAY_TRACK, RELAY_LOOP, RELAY_TILES);
    // 4 ft tiles, row by z: the patch covers the loop a quarter of the way round.
    std::string tiles(128 * 128, '\0');
    float cx = RELAY_LOOP.x, cz = RELAY_LOOP.z + RELAY_LOOP.radius;
    for (int row = 0; row < 128; row++)
        for (int col = 0; col < 128; col++)
            if (fabsf(col * 4 + 2 - cx) < 20 && fabsf(row * 4 + 2 - cz) < 20)
                tiles[(size_t)row * 128 + col] = 1;
    write_file(test_data_dir() + RELAY_TRACK + "/tilemap", tiles);
}

const int CLIENTS = 3;
const double LOSS = 0.2, DELAY = 0.3;
const double TEST_SECONDS = 110;      // the whole race, within the 120 s it may take
const int WINDOW_TICS = 4 * 128;      // the last 4 s of states

double monotonic_seconds()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int bound_udp_socket(sockaddr_in *bound)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (fd < 0 || bind(fd, (sockaddr *)&a, sizeof a) != 0 || getsockname(fd, (sockaddr *)&a, &n) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    *bound = a;
    return fd;
}

// The lossy relay: clients talk to one front socket, and each client's
// datagrams reach the server from an upstream socket of its own.
struct Relay {
    struct Peer {
        sockaddr_in client;
        int up;
    };
    struct Held {
        double due;
        int fd;
        sockaddr_in to;
        std::string bytes;
    };
    int front = -1;
    sockaddr_in front_address{}, server{};
    std::vector<Peer> peers;
    std::deque<Held> queue;   // one delay for all: oldest first
    std::mt19937 rng{20261211};
    int dropped = 0, passed = 0;
    // Every state a rider sent: (slot, session) -> tic -> packed state.
    std::map<std::pair<uint32_t, uint32_t>, std::map<uint32_t, std::string>> sent;

    bool open(int server_port)
    {
        front = bound_udp_socket(&front_address);
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        server.sin_port = htons((uint16_t)server_port);
        return front >= 0;
    }
    ~Relay()
    {
        if (front >= 0)
            close(front);
        for (Peer &p : peers)
            close(p.up);
    }
    void hold(int fd, const sockaddr_in &to, const uint8_t *b, int n, double now)
    {
        if (std::uniform_real_distribution<double>(0, 1)(rng) < LOSS) {
            dropped++;
            return;
        }
        queue.push_back({now + DELAY, fd, to, std::string((const char *)b, (size_t)n)});
    }
    Peer *peer_of(const sockaddr_in &from)
    {
        for (Peer &p : peers)
            if (p.client.sin_port == from.sin_port && p.client.sin_addr.s_addr == from.sin_addr.s_addr)
                return &p;
        if (peers.size() >= 16)
            return nullptr;
        sockaddr_in unused;
        int up = bound_udp_socket(&unused);
        if (up < 0)
            return nullptr;
        peers.push_back({from, up});
        return &peers.back();
    }
    void note_state(const uint8_t *b, int n)
    {
        if (n < STATE_PACKET_SIZE || b[0] != CLIENT_RUNNING)
            return;
        sent[{get_u32(b + 1), get_u32(b + 9)}][get_u32(b + 17)] = std::string((const char *)b + 21, PACKED_STATE_SIZE);
    }
    // Moves what waits on the sockets into the queue and sends what is due.
    void pump(double now)
    {
        uint8_t b[2048];
        sockaddr_in from;
        socklen_t fl = sizeof from;
        ssize_t n;
        while ((n = recvfrom(front, b, sizeof b, 0, (sockaddr *)&from, &fl)) > 0) {
            fl = sizeof from;
            note_state(b, (int)n);
            if (Peer *p = peer_of(from))
                hold(p->up, server, b, (int)n, now);
        }
        for (Peer &p : peers)
            while ((n = recvfrom(p.up, b, sizeof b, 0, (sockaddr *)&from, &fl)) > 0) {
                fl = sizeof from;
                hold(front, p.client, b, (int)n, now);
            }
        while (!queue.empty() && queue.front().due <= now) {
            const Held &h = queue.front();
            sendto(h.fd, h.bytes.data(), h.bytes.size(), 0, (const sockaddr *)&h.to, sizeof h.to);
            passed++;
            queue.pop_front();
        }
    }
    void wait(int ms)
    {
        std::vector<pollfd> fds{{front, POLLIN, 0}};
        for (Peer &p : peers)
            fds.push_back({p.up, POLLIN, 0});
        poll(fds.data(), fds.size(), ms);
    }
};

// ---- a client process ------------------------------------------------------------------------

std::string hex(const uint8_t *b, int n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; i++) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// What a client holds as the next session opens: its slot and race
// session, every rider's gate times, the states of the others it keeps.
std::string client_report(int reached_running, uint32_t race_session, int eroded_cells)
{
    std::ostringstream out;
    out << "slot " << own_slot << "\ngrid " << local_gate_position << "\nsession " << race_session
        << "\nrunning " << reached_running << "\neroded " << eroded_cells << "\nqueued " << outgoing_packet_count()
        << "\n";
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        int passed = get_gates_passed(bike);
        out << "gates " << slot << " " << passed;
        for (int g = 0; g < passed; g++)
            out << " " << get_gate_time(bike, g);
        out << "\n";
        if (slot == own_slot)
            continue;
        const StateHistory *h = &state_history[slot];
        for (int i = 0; i < HISTORY_LENGTH; i++)
            if (h->ticks[i] != HISTORY_EMPTY)
                out << "state " << slot << " " << h->ticks[i] << " " << hex(h->states[i], PACKED_STATE_SIZE) << "\n";
    }
    return out.str();
}

int eroded_cell_count()
{
    const Terrain *t = current_terrain;
    if (!t)
        return 0;
    int count = 0;
    for (int i = 0; i < t->side * t->side; i++)
        count += t->heights[i] != t->loaded_heights[i];
    return count;
}

// The main loop's erosion drain, viewed from our own rider.
void drain_erosion()
{
    BikeState *own = own_slot != NET_NO_SLOT ? get_slot_bike(own_slot) : nullptr;
    if (erosion_amount <= 0 || !current_terrain || !own)
        return;
    const dReal *p = dBodyGetPosition(own->frame_body);
    float viewer[3] = {(float)p[0], (float)p[1], (float)p[2]};
    int lock = current_terrain->edit_lock;
    current_terrain->edit_lock = 0;
    drain_erosion_queue(viewer, (float)erosion_amount / 1024.0f);
    current_terrain->edit_lock = lock;
}

// Joins through the relay and races until the server opens the session
// after the race; writes the report and ends the process.
[[noreturn]] void run_relay_client(int index, int relay_port, const std::string &report_path)
{
    std::string home = test_dir() + "/client" + std::to_string(index);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    forget_search_folders();
    std::string target = "127.0.0.1:" + std::to_string(relay_port);
    set_connect_target(target.c_str());

    LoopClock clock{};
    clock.last_frame_time = wall_clock_seconds();
    PacingMode mode = {0.0f, 0, 1};
    int reached_running = 0, done = 0;
    uint32_t race_session = 0;
    std::string report;
    double give_up = monotonic_seconds() + TEST_SECONDS - 5;
    while (!done && monotonic_seconds() < give_up) {
        double step = pace_frame(&clock, &mode);
        if (net_socket != -1) {
            double behind = TIC_LENGTH * ((double)server_tic_estimate - current_tic - 1);
            step *= catch_up_factor(behind, current_tic < race_settings.start_tic);
        }
        advance_loop_time(&clock, step);
        double tic_time;
        while (!done && next_due_tic(&clock, &tic_time)) {
            BikeState *own = own_slot != NET_NO_SLOT ? get_slot_bike(own_slot) : nullptr;
            if (own && client_state == CLIENT_RUNNING) {
                RiderControls c{};
                ride_the_loop(own_slot, own, &c, (void *)&RELAY_LOOP);
                apply_rider_controls(own, &c);
            }
            int before = client_state;
            if (before == CLIENT_RUNNING)
                race_session = session_id;
            run_net_client();
            if (client_state != before)
                log_printf("state %d -> %d at tic %d, session %u, slot %d\n", before, client_state, current_tic,
                           session_id, own_slot);
            reached_running |= client_state == CLIENT_RUNNING;
            // The session after the race: what we hold of it is final.
            if (before == CLIENT_RUNNING && client_state != CLIENT_RUNNING && own && check_bike_finished(own)) {
                report = client_report(reached_running, race_session, eroded_cell_count());
                done = 1;
                break;
            }
            if (server_tic_estimate > 0)
                race_tic();
        }
        drain_erosion();
    }
    if (!done)
        report = client_report(reached_running, race_session, eroded_cell_count()) + "timed out\n";
    write_file(report_path, report);
    _exit(0);
}

// ---- the parent --------------------------------------------------------------------------------

pid_t start_relay_server(int *port)
{
    ServerOptions o;
    default_server_options(&o);
    snprintf(o.track, sizeof o.track, "%s", RELAY_TRACK);
    o.laps = 2;
    // Long enough for a walk that loses a fifth of its packets: each step
    // is resent once a second.
    o.countdown = 15;
    o.erode = 1024;
    return start_server_child(o, port);
}

struct Report {
    int slot = -1, grid = -1, running = 0, eroded = 0, timed_out = 0;
    uint32_t session = 0;
    std::map<int, std::vector<int>> gates;                       // slot -> gate tics
    std::map<int, std::map<uint32_t, std::string>> states;       // slot -> tic -> state
    std::string results;
};

std::string unhex(const std::string &h)
{
    std::string b;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        b += (char)std::stoi(h.substr(i, 2), nullptr, 16);
    return b;
}

bool read_report(const std::string &path, Report *r)
{
    std::string text;
    if (!read_file(path, &text))
        return false;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "slot")
            in >> r->slot;
        else if (word == "grid")
            in >> r->grid;
        else if (word == "session")
            in >> r->session;
        else if (word == "running")
            in >> r->running;
        else if (word == "eroded")
            in >> r->eroded;
        else if (word == "timed")
            r->timed_out = 1;
        else if (word == "gates") {
            int slot, n;
            in >> slot >> n;
            std::vector<int> &g = r->gates[slot];
            for (int i = 0; i < n; i++) {
                int t;
                in >> t;
                g.push_back(t);
            }
        } else if (word == "state") {
            int slot;
            uint32_t tic;
            std::string h;
            in >> slot >> tic >> h;
            r->states[slot][tic] = unhex(h);
        }
    }
    return true;
}

// The results file without its date: the same race, written by each.
std::string results_without_date(const std::string &text)
{
    size_t date = text.find("|Date=");
    size_t eol = text.find("\r\n");
    if (date == std::string::npos || eol == std::string::npos || date > eol)
        return text;
    return text.substr(0, date) + text.substr(eol);
}

struct RelayRace : RaceWorld {
    std::vector<pid_t> children;
    void SetUp() override
    {
        // One log for the server and the clients, each line appended.
        setenv("VOKE_LOGFILE", (">>" + test_dir() + "/race.log").c_str(), 1);
        RaceWorld::SetUp();
    }
    void TearDown() override
    {
        // What the server and the clients logged, when the race went wrong.
        std::string log;
        if (HasFailure() && read_file(test_dir() + "/race.log", &log))
            printf("---- the server's and the clients' log\n%s", log.c_str());
        for (pid_t pid : children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        RaceWorld::TearDown();
    }
};

TEST_F(RelayRace, ThreeClientsRaceTwoLapsThroughLossAndDelay)
{
    write_relay_track();
    scan_track_catalogue();
    stock_models_ok = 1;

    int port = -1;
    pid_t server = start_relay_server(&port);
    ASSERT_GT(server, 0);
    children.push_back(server);
    ASSERT_GT(port, 0);
    Relay relay;
    ASSERT_TRUE(relay.open(port));
    int relay_port = ntohs(relay.front_address.sin_port);

    std::vector<pid_t> clients;
    std::vector<std::string> paths;
    for (int i = 0; i < CLIENTS; i++) {
        paths.push_back(test_dir() + "/report" + std::to_string(i));
        pid_t pid = fork();
        if (pid == 0)
            run_relay_client(i, relay_port, paths.back());
        ASSERT_GT(pid, 0);
        children.push_back(pid);
        clients.push_back(pid);
    }

    // Relay until every client has ended, within the bound.
    double end = monotonic_seconds() + TEST_SECONDS;
    int running = CLIENTS;
    while (running > 0 && monotonic_seconds() < end) {
        relay.wait(1);
        relay.pump(monotonic_seconds());
        for (pid_t &pid : clients) {
            int status;
            if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "client status " << status;
                pid = -1;
                running--;
            }
        }
    }
    ASSERT_EQ(running, 0) << "the clients did not finish within " << TEST_SECONDS << " s";
    EXPECT_GT(relay.dropped, 0);
    double lost = (double)relay.dropped / (relay.dropped + relay.passed + relay.queue.size());
    EXPECT_NEAR(lost, LOSS, 0.05);

    Report reports[CLIENTS];
    for (int i = 0; i < CLIENTS; i++) {
        ASSERT_TRUE(read_report(paths[i], &reports[i])) << "client " << i << " wrote no report";
        read_file(test_dir() + "/client" + std::to_string(i) + "/Rutline/results.txt", &reports[i].results);
    }

    for (const Report &c : reports) {
        SCOPED_TRACE("client in slot " + std::to_string(c.slot));
        EXPECT_EQ(c.running, 1) << "reached the running state";
        EXPECT_NE(c.grid, NET_NO_SLOT) << "on the grid, not watching";
        EXPECT_EQ(c.timed_out, 0);
        EXPECT_GT(c.eroded, 0) << "the riders' ruts changed the ground";
        EXPECT_EQ(c.gates.size(), (size_t)CLIENTS) << "a bike for every rider";
        for (const Report &r : reports) {
            if (&r == &c)
                continue;
            // Gate times as the rider itself took them.
            ASSERT_TRUE(c.gates.count(r.slot));
            ASSERT_TRUE(r.gates.count(r.slot));
            EXPECT_EQ(r.gates.at(r.slot).size(), 12u) << "2 laps of 6 checkpoints";
            EXPECT_EQ(c.gates.at(r.slot), r.gates.at(r.slot)) << "gate times of slot " << r.slot;

            // The rider's states of the last 4 s: half or more held, each
            // byte-equal to the one sent.
            const std::map<uint32_t, std::string> &held = c.states.count(r.slot) ? c.states.at(r.slot)
                                                                                   : std::map<uint32_t, std::string>();
            ASSERT_FALSE(held.empty()) << "states of slot " << r.slot;
            const std::map<uint32_t, std::string> &sent = relay.sent[{(uint32_t)r.slot, r.session}];
            uint32_t newest = held.rbegin()->first;
            EXPECT_GE((int)newest, r.gates.at(r.slot).back()) << "held states reach past the rider's finish";
            int in_window = 0, kept = 0;
            for (auto it = sent.upper_bound(newest - WINDOW_TICS); it != sent.end() && it->first <= newest; ++it) {
                in_window++;
                auto h = held.find(it->first);
                if (h == held.end())
                    continue;
                EXPECT_EQ(h->second, it->second) << "state of slot " << r.slot << " at tic " << it->first;
                kept++;
            }
            for (const auto &[tic, bytes] : held)
                EXPECT_TRUE(sent.count(tic)) << "slot " << r.slot << " never sent a state at tic " << tic;
            EXPECT_GE(in_window, 100) << "a state every 4 tics";
            EXPECT_GE(2 * kept, in_window) << "slot " << r.slot << ": " << kept << " of " << in_window << " kept";
            printf("client %d holds %d of %d states of slot %d\n", c.slot, kept, in_window, r.slot);
        }
        EXPECT_EQ(c.gates.at(c.slot).size(), 12u);
        printf("slot %d passed its checkpoints at", c.slot);
        for (int tic : c.gates.at(c.slot))
            printf(" %d", tic);
        printf("\n");
        EXPECT_FALSE(c.results.empty()) << "results written";
        EXPECT_EQ(results_without_date(c.results), results_without_date(reports[0].results));
    }
    printf("relay: %d passed, %d dropped\n", relay.passed, relay.dropped);

    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    children.clear();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}   // namespace
