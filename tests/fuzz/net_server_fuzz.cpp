// Fuzz target "net_server": datagrams from clients fed to the race server's
// reader from two senders: contacts, client info, acknowledgements of the
// walk, states, restarts, reliable messages (chat, gates, commands and
// uploads, erosion) and acknowledgements. Every slot's key is fixed so that
// inputs get past the contact; a sender byte with bit 1 set runs a server
// tic first (states, gate batches, reliable sends, new sessions).
#include "fuzz/fuzz_target.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

#include "net/client.h"
#include "platform/time.h"
#include "tools/race_server/race_server.h"

static const uint32_t FUZZ_KEY = 0x4b455921;

static int run(const uint8_t *data, size_t size)
{
    ServerOptions options;
    default_server_options(&options);
    options.port = 0;
    options.max_riders = 4;
    options.countdown = 0.05;
    options.laps = 1;
    snprintf(options.commands[0], sizeof options.commands[0], "knockout 1 2 3");
    options.command_count = 1;
    options.erode = 3;
    prepare_race_server(&options, FUZZ_KEY);
    double now = (double)clock_milliseconds() * 0.001;
    SocketAddress senders[2];
    for (int i = 0; i < 2; i++) {
        memset(&senders[i], 0, sizeof senders[i]);
        senders[i].length = 16;
        senders[i].address.sin_family = AF_INET;
        senders[i].address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        senders[i].address.sin_port = htons((uint16_t)(9 + i));
    }
    // Each datagram: a sender byte, a length byte pair and its bytes.
    const uint8_t *p = data;
    size_t left = size;
    while (left >= 3) {
        const SocketAddress *from = &senders[p[0] & 1];
        size_t n = (size_t)(p[1] | p[2] << 8) % (NET_DATAGRAM_MAX + 1);
        p += 3;
        left -= 3;
        if (n > left)
            n = left;
        if (p[-3] & 2)
            run_server_tic_at(now);
        handle_client_datagram(p, (int)n, from);
        p += n;
        left -= n;
    }
    stop_race_server();
    return 0;
}

static std::string frame(int sender, const std::string &datagram)
{
    std::string out(3, '\0');
    out[0] = (char)sender;
    out[1] = (char)(datagram.size() & 255);
    out[2] = (char)(datagram.size() >> 8);
    return out + datagram;
}

static std::string u32(uint32_t v)
{
    uint8_t b[4];
    put_u32(b, v);
    return std::string((const char *)b, 4);
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    std::string contact = std::string(1, 0) + std::string(8, '\0') + u32(41) + u32(7) + std::string(4, '\0');
    std::string contact2 = std::string(1, 0) + std::string(8, '\0') + u32(41) + u32(8) + std::string(4, '\0');
    std::string head = std::string(1, 3) + u32(0) + u32(FUZZ_KEY);
    std::string head1 = std::string(1, 3) + u32(1) + u32(FUZZ_KEY);
    auto packet = [](int type, int slot, const std::string &rest) {
        return std::string(1, (char)type) + u32((uint32_t)slot) + u32(FUZZ_KEY) + rest;
    };
    std::string info = std::string(32, '\0') + "cr125\n1\nA";
    // Two riders walk the session, race with states, pass gates, chat and
    // ask for a restart; ticks run between (sender bit 1).
    std::string walk = frame(0, contact) + frame(1, contact2) + frame(0, head + info) + frame(1, head1 + info) +
                       frame(0, packet(5, 0, u32(1))) + frame(1, packet(5, 1, u32(1))) +
                       frame(0, packet(7, 0, u32(1) + u32(1))) + frame(1, packet(7, 1, u32(1) + u32(0))) +
                       frame(0, packet(9, 0, u32(1))) + frame(1, packet(9, 1, u32(1)));
    std::string race = walk;
    for (int tic = 4; tic <= 40; tic += 4) {
        race += frame(2, packet(11, 0, u32(1) + u32((uint32_t)tic) + u32((uint32_t)tic) + std::string(39, 'a')));
        race += frame(3, packet(11, 1, u32(1) + u32((uint32_t)tic) + u32((uint32_t)tic) + std::string(39, 'b')));
    }
    race += frame(2, packet(17, 0, u32(0) + "\x15" + u32(1) + u32(0) + u32(20)));
    race += frame(2, packet(17, 1, u32(0) + "\x13hello"));
    race += frame(2, packet(18, 0, u32(0)));
    race += frame(2, packet(13, 0, std::string(1, 1) + std::string(3, '\0')));
    race += frame(3, packet(13, 1, std::string(1, 1) + std::string(3, '\0')));
    race += frame(2, packet(14, 0, u32(2))) + frame(2, packet(15, 1, ""));
    seeds->push_back({"walk-and-race", race});
    seeds->push_back({"upload", walk + frame(0, packet(17, 0, u32(0) + "\x18sendfile")) +
                                    frame(0, packet(17, 0, u32(1) + "\x18sendpart -abc")) +
                                    frame(0, packet(17, 0, u32(2) + "\x18namefile ../x"))});
    seeds->push_back({"out-of-order", walk + frame(0, packet(17, 0, u32(2) + "\x13two")) +
                                          frame(0, packet(17, 0, u32(1) + "\x13one")) +
                                          frame(0, packet(17, 0, u32(0) + std::string(1, 3) + "cr250\n2\nB"))});
    seeds->push_back({"contact", frame(0, contact) + frame(0, contact) + frame(1, contact)});
    seeds->push_back({"wrong-protocol", frame(0, std::string(1, 0) + std::string(8, '\0') + u32(40) + u32(7) +
                                                     std::string(4, '\0'))});
    seeds->push_back({"info", frame(0, contact) + frame(0, head + std::string(32, '\0') + "cr125\n1\nA")});
    seeds->push_back({"reliable", frame(0, contact) + frame(0, "\x11" + u32(0) + u32(0) + u32(0) + "\x13hi") +
                                      frame(0, "\x11" + u32(0) + u32(0) + u32(1) + "\x18sendfile")});
    seeds->push_back({"leave", frame(0, contact) + frame(0, "\x0f" + u32(0) + u32(0))});
}

RUT_FUZZ_TARGET(net_server, run, make_seeds);
