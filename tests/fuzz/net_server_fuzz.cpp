// Fuzz target "net_server": datagrams from clients fed to the race server's
// reader from two senders: contacts, client info, acknowledgements of the
// walk, states, restarts, reliable messages (chat, gates, commands and
// uploads, erosion) and acknowledgements.
#include "fuzz/fuzz_target.h"

#include <arpa/inet.h>
#include <cstring>

#include "net/client.h"
#include "tools/race_server/race_server.h"

static int run(const uint8_t *data, size_t size)
{
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
    // Keys are random: the seeds reach past the contact only by the fuzzer's
    // luck with slot 0 and key bytes, so they also cover the refusals.
    std::string contact = std::string(1, 0) + std::string(8, '\0') + u32(41) + u32(7) + std::string(4, '\0');
    std::string head = std::string(1, 3) + u32(0) + u32(0);
    seeds->push_back({"contact", frame(0, contact) + frame(0, contact) + frame(1, contact)});
    seeds->push_back({"wrong-protocol", frame(0, std::string(1, 0) + std::string(8, '\0') + u32(40) + u32(7) +
                                                     std::string(4, '\0'))});
    seeds->push_back({"info", frame(0, contact) + frame(0, head + std::string(32, '\0') + "cr125\n1\nA")});
    seeds->push_back({"reliable", frame(0, contact) + frame(0, "\x11" + u32(0) + u32(0) + u32(0) + "\x13hi") +
                                      frame(0, "\x11" + u32(0) + u32(0) + u32(1) + "\x18sendfile")});
    seeds->push_back({"leave", frame(0, contact) + frame(0, "\x0f" + u32(0) + u32(0))});
}

RUT_FUZZ_TARGET(net_server, run, make_seeds);
