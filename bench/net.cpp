// The race server with 40 riding clients: server tics per second on one
// core, and the payload each client receives and sends. The clients are
// datagrams fed to the server's reader; what the server sends is counted,
// not sent. The same server while one rider floods it with chat: the growth
// of resident memory and the states still relayed. Then the client's side:
// its net stage and the race tic with 40 remote riders whose states come
// from a raw socket playing the server.
#include "bench_folder.h"
#include "loop_track.h"

#include "app/stock_shapes.h"
#include "bike/packed_state.h"
#include "bike/physics_world.h"
#include "net/client.h"
#include "platform/time.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "tools/race_server/race_server.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int CLIENTS = 40;
const uint32_t KEY = 0x5eed5eed;

SocketAddress addresses[CLIENTS];
uint32_t client_tic[CLIENTS];
uint64_t bytes_up;

std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

void from(int client, const std::string &bytes)
{
    bytes_up += bytes.size();
    handle_client_datagram((const uint8_t *)bytes.data(), (int)bytes.size(), &addresses[client]);
}

std::string head(int type, int slot)
{
    std::string p(1, (char)type);   // appended: chained + trips a false -Wrestrict in GCC 12
    p += u32((uint32_t)slot);
    p += u32(KEY);
    return p;
}

double now(void)
{
    return (double)clock_milliseconds() * 0.001;
}

// Forty clients contact the server, walk the session (each acknowledging
// every other rider in slot order) and sync; all are on the grid.
void start_server_with_riders(void)
{
    ServerOptions o;
    default_server_options(&o);
    o.port = 0;
    o.max_riders = CLIENTS;
    o.countdown = 100.0;   // the grid stays open while the walk runs
    o.laps = 3;
    prepare_race_server(&o, KEY);
    for (int i = 0; i < CLIENTS; i++) {
        memset(&addresses[i], 0, sizeof addresses[i]);
        addresses[i].length = 16;
        addresses[i].address.sin_family = AF_INET;
        addresses[i].address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addresses[i].address.sin_port = htons((uint16_t)(30000 + i));
        from(i, std::string(1, '\0') + std::string(8, '\0') + u32(41) + u32(1000 + (uint32_t)i) +
                    std::string(4, '\0'));
        char info[64];
        snprintf(info, sizeof info, "cr250||||\n%d\nRider %d", i + 1, i);
        from(i, head(CLIENT_SENDING_INFO, i) + std::string(32, '\0') + info);
    }
    uint32_t session = server_session_id();
    for (int i = 0; i < CLIENTS; i++) {
        from(i, head(CLIENT_TRACK_ACK, i) + u32(session));
        for (int other = 0; other < CLIENTS; other++)
            if (other != i)
                from(i, head(CLIENT_BIKE_ACK, i) + u32(session) + u32((uint32_t)other));
        from(i, head(CLIENT_SYNCING, i) + u32(session));
        client_tic[i] = 1;
    }
}

// One server tic; every fourth, each client's state packet arrives first
// (its 39-byte state changes each time).
void one_tic(uint32_t tic, double at)
{
    if (tic % 4 == 0) {
        uint32_t session = server_session_id();
        for (int i = 0; i < CLIENTS; i++) {
            std::string state(39, (char)(tic + (uint32_t)i));
            from(i, head(CLIENT_RUNNING, i) + u32(session) + u32(server_session_tic()) + u32(tic) + state);
        }
    }
    run_server_tic_at(at);
}

void server_tics_40_clients(benchmark::State &state)
{
    start_server_with_riders();
    uint32_t tic = 0;
    uint64_t down_start = server_bytes_sent;
    bytes_up = 0;
    for (auto _ : state)
        one_tic(++tic, now());
    double seconds_simulated = tic / (double)SERVER_TIC_RATE;
    state.counters["tics/s"] = benchmark::Counter((double)tic, benchmark::Counter::kIsRate);
    state.counters["x_real_time"] =
        benchmark::Counter((double)tic / SERVER_TIC_RATE, benchmark::Counter::kIsRate);
    state.counters["down_B/s_per_client"] = (double)(server_bytes_sent - down_start) / CLIENTS / seconds_simulated;
    state.counters["up_B/s_per_client"] = (double)bytes_up / CLIENTS / seconds_simulated;
    state.counters["clients"] = server_client_count();
    stop_race_server();
}
BENCHMARK(server_tics_40_clients)->Unit(benchmark::kMicrosecond)->Iterations(12800);

// Resident memory of this process in bytes.
double resident_bytes(void)
{
    FILE *f = fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return (double)resident * (double)sysconf(_SC_PAGESIZE);
}

int states_to_client_1;

void count_states(const SocketAddress *to, const uint8_t *bytes, int)
{
    states_to_client_1 += bytes[0] == SERVER_STATES && to->address.sin_port == addresses[1].address.sin_port;
}

// The 40 riding clients while rider 0 sends 200,000 chat packets, 1,000
// between two server tics (the server reads at most 1,024 datagrams a
// step). The others acknowledge nothing: what is queued for them stays.
void server_chat_flood_40_clients(benchmark::State &state)
{
    const int FLOOD = 200000, PER_TIC = 1000;
    double grown = 0;
    int states = 0;
    for (auto _ : state) {
        start_server_with_riders();
        server_send_observer = count_states;
        states_to_client_1 = 0;
        double before = resident_bytes();
        uint32_t tic = 0;
        for (int k = 0; k < FLOOD; k++) {
            from(0, head(PACKET_RELIABLE, 0) + u32((uint32_t)k) + std::string(1, (char)MESSAGE_TEXT) +
                        "no one likes a spammer " + std::to_string(k));
            if (k % PER_TIC == PER_TIC - 1)
                one_tic(++tic, now());
        }
        grown = resident_bytes() - before;
        states = states_to_client_1;
        server_send_observer = nullptr;
        stop_race_server();
    }
    state.counters["rss_growth_MB"] = grown / (1024.0 * 1024.0);
    state.counters["state_datagrams_to_a_rider"] = states;
    state.counters["chat_packets"] = FLOOD;
}
BENCHMARK(server_chat_flood_40_clients)->Unit(benchmark::kMillisecond)->Iterations(1);


// ---- the client with 40 remote riders ----------------------------------------------------

std::string bench_dir;
const int REMOTE = 40;
const int RIDE_TICS = 1280;   // 10 s from the gate drop
const uint32_t SESSION = 1;

void ride(int slot, const BikeState *, RiderControls *c, void *)
{
    float t = (float)current_tic * TIC_LENGTH + (float)slot;
    c->throttle = current_tic < race_settings.start_tic ? 0.0f : 0.7f;
    c->steer = 0.35f * sinf(t * 0.7f);
}

// The riders' states every 4 tics of an offline race of 40 robots from the
// gate drop, as the server would relay them; the track's digest and start.
struct RecordedRace {
    int start_tic = 0;
    uint8_t digest[20] = {};
    std::vector<std::string> states;   // per 4 tics: 40 records of the slot's state
};

bool record_race(RecordedRace *out)
{
    HeadlessRace race{};
    race.track = "tracks/race";
    for (int i = 0; i < REMOTE; i++)
        race.slot_codes[i] = SLOT_ROBOT;
    race.laps = 5;
    current_tic = 0;
    if (!start_headless_race(&race))
        return false;
    for (int slot = 0; slot < REMOTE; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            return false;
        bike->personality = 0;
    }
    out->start_tic = race_settings.start_tic;
    memcpy(out->digest, current_track.digest, sizeof out->digest);
    current_tic = race_settings.start_tic;
    for (int i = 0; i <= RIDE_TICS; i += 4) {
        std::string records;
        for (int slot = 0; slot < REMOTE; slot++) {
            uint8_t r[STATE_RECORD_SIZE];
            put_u16(r, (uint16_t)slot);
            put_u16(r + 2, 20);
            put_u32(r + 4, (uint32_t)current_tic);
            pack_rider_state(get_slot_bike(slot), r + 8);
            records.append((const char *)r, sizeof r);
        }
        out->states.push_back(records);
        run_headless_tics(4, ride, nullptr);
    }
    end_race();
    return true;
}

// A UDP socket on 127.0.0.1 playing the server.
struct RawServer {
    int fd = open_udp_socket();
    SocketAddress self{}, client{};
    bool bind_any()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd == -1 || bind(fd, (sockaddr *)&a, sizeof a) != 0 || getsockname(fd, (sockaddr *)&a, &n) != 0)
            return false;
        self.length = 16;
        self.address = a;
        return true;
    }
    void send(const std::string &bytes) { send_datagram(fd, bytes.data(), (int)bytes.size(), &client); }
    void drain()
    {
        uint8_t b[2048];
        SocketAddress from;
        while (receive_datagram(fd, b, sizeof b, &from) >= 0) {
        }
    }
    ~RawServer() { close_socket(fd); }
};

std::string session_u32(int type, uint32_t a)
{
    return std::string(1, (char)type) + u32(SESSION) + u32(a);
}

// The client joins the raw server: welcome, race, the 40 riders, its own
// place on the grid behind them; then the first time packet.
bool join_raw_server(RawServer *server, const RecordedRace &race)
{
    std::string target = "127.0.0.1:" + std::to_string(ntohs(server->self.address.sin_port));
    set_connect_target(target.c_str());
    run_net_client();
    if (net_socket == -1)
        return false;
    sockaddr_in a{};
    socklen_t n = sizeof a;
    getsockname(net_socket, (sockaddr *)&a, &n);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server->client.length = 16;
    server->client.address = a;

    server->send(std::string(1, (char)SERVER_WELCOME) + u32(REMOTE) + u32(KEY) + u32(SERVER_VERSION));
    run_net_client();
    server->send(std::string(1, (char)SERVER_RACE) + u32(SESSION) + u32(0) + u32(5) + u32((uint32_t)race.start_tic) +
                 std::string((const char *)race.digest, sizeof race.digest) + "tracks/race");
    run_net_client();
    for (int slot = 0; slot < REMOTE; slot++) {
        char info[64];
        snprintf(info, sizeof info, "cr250||||\n%d\nRider %d", slot + 1, slot);
        server->send(session_u32(SERVER_RIDER, (uint32_t)slot) + info);
    }
    run_net_client();
    server->send(session_u32(SERVER_OWN_RIDER, REMOTE) + "cr250||||\n41\nOwn");
    run_net_client();
    server->send(session_u32(SERVER_TIME, (uint32_t)race.start_tic) + u32(0));
    run_net_client();
    server->drain();
    return client_state == CLIENT_RUNNING && current_tic == race.start_tic;
}

// One tic of the client: every fourth, the server's two state datagrams
// (21 and 19 records) are in the socket first; then the net stage and the
// race tic.
void client_net_and_race_40_remote(benchmark::State &state)
{
    RecordedRace race;
    if (!record_race(&race)) {
        state.SkipWithError("the offline race did not start");
        return;
    }
    RawServer server;
    stock_models_ok = 1;
    if (!server.bind_any() || !join_raw_server(&server, race)) {
        state.SkipWithError("the client did not join the raw server");
        disconnect_from_server();
        end_race();
        return;
    }
    uint64_t bytes_down = 0;
    for (auto _ : state) {
        int index = (current_tic - race.start_tic) / 4;
        if (current_tic % 4 == 0 && index < (int)race.states.size()) {
            state.PauseTiming();
            const std::string &records = race.states[(size_t)index];
            for (int first = 0; first < REMOTE; first += SERVER_STATES_PER_DATAGRAM) {
                int count = REMOTE - first < SERVER_STATES_PER_DATAGRAM ? REMOTE - first : SERVER_STATES_PER_DATAGRAM;
                std::string p = session_u32(SERVER_STATES, (uint32_t)current_tic) + u32(0) +
                                u32((uint32_t)count) +
                                records.substr((size_t)first * STATE_RECORD_SIZE,
                                               (size_t)count * STATE_RECORD_SIZE);
                bytes_down += p.size();
                server.send(p);
            }
            server.drain();
            state.ResumeTiming();
        }
        run_net_client();
        race_tic();
    }
    int placed = 0;
    for (int slot = 0; slot < REMOTE; slot++)
        placed += slot_state_tics[slot] > (uint32_t)race.start_tic;
    double seconds = (double)state.iterations() / (double)TIC_RATE;
    state.counters["x_real_time"] = benchmark::Counter((double)state.iterations() / (double)TIC_RATE,
                                                       benchmark::Counter::kIsRate);
    state.counters["remote_riders_moving"] = placed;
    state.counters["down_B/s"] = (double)bytes_down / seconds;
    if (client_state != CLIENT_RUNNING)
        state.SkipWithError("the client left the running state");
    disconnect_from_server();
    end_race();
}
BENCHMARK(client_net_and_race_40_remote)->Unit(benchmark::kMicrosecond)->Iterations(RIDE_TICS);

}   // namespace

int main(int argc, char **argv)
{
    return run_loop_track_benchmarks(argc, argv, &bench_dir);
}
