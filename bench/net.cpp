// The race server with 40 riding clients: server tics per second on one
// core, and the payload each client receives and sends. The clients are
// datagrams fed to the server's reader; what the server sends is counted,
// not sent.
#include "net/client.h"
#include "platform/time.h"
#include "tools/race_server/race_server.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstring>
#include <string>

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
    return std::string(1, (char)type) + u32((uint32_t)slot) + u32(KEY);
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

}   // namespace

BENCHMARK_MAIN();
