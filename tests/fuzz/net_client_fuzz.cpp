// Fuzz target "net_client": datagrams from the race server fed to the
// client in the connection state the selector picks (welcome, race, rider,
// own rider, time, states, new session, text, reliable messages with the
// server's commands, acknowledgements, redirects), and relayed rider
// texts. A socket is open so that answers and queued messages are made.
#include "fuzz/fuzz_target.h"

#include <cstring>

#include "core/message.h"
#include "net/client.h"
#include "race/gates.h"
#include "track/erosion.h"

static const int states[] = {CLIENT_CONTACTING, CLIENT_SENDING_INFO, CLIENT_TRACK_ACK, CLIENT_BIKE_ACK,
                             CLIENT_SYNCING,    CLIENT_RUNNING,      CLIENT_RESTART,   CLIENT_DISCONNECTING};

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    if (net_socket == -1) {
        net_socket = open_udp_socket();
        resolve_address(&server_address, "127.0.0.1:9", 9);
    }
    if (net_socket == -1)
        return 0;
    if (input.selector & 0x80) {
        // A relayed client-info text.
        set_rider_slot_info(input.selector & 0x7f, (const char *)input.data, (int)input.size);
        return 0;
    }
    client_state = states[input.selector & 7];
    own_slot = input.selector & 8 ? NET_NO_SLOT : 3;
    session_id = 40;
    session_key = 77;
    acked_rider_slot = input.selector & 16 ? 5 : NET_NO_SLOT;
    // The input is a run of datagrams, each a length byte pair and its bytes.
    const uint8_t *p = input.data;
    size_t left = input.size;
    while (left >= 2 && net_socket != -1) {
        size_t n = (size_t)(p[0] | p[1] << 8) % (NET_DATAGRAM_MAX + 1);
        p += 2;
        left -= 2;
        if (n > left)
            n = left;
        handle_server_datagram(p, (int)n);
        p += n;
        left -= n;
    }
    // Back to offline: the socket closed, every list and value put back.
    disconnect_from_server();
    set_connect_target(nullptr);
    reset_erosion_queue();
    erosion_amount = -1;
    return 0;
}

static std::string frame(const std::string &datagram)
{
    std::string out(2, '\0');
    out[0] = (char)(datagram.size() & 255);
    out[1] = (char)(datagram.size() >> 8);
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
    std::string s = u32(40);
    seeds->push_back({"welcome", std::string(1, 0) + frame("\x02" + u32(3) + u32(77) + u32(6))});
    seeds->push_back({"race", std::string(1, 1) + frame("\x04" + s + u32(0) + u32(3) + u32(1280) +
                                                         std::string(20, 'd') + "tracks/loop")});
    seeds->push_back({"rider", std::string(1, 2) + frame("\x06" + s + u32(5) + "cr125|@a.png|||\n12\nAnn")});
    seeds->push_back({"time", std::string(1, 4) + frame("\x0a" + s + u32(500) + u32(0))});
    seeds->push_back({"states", std::string(1, 5) + frame("\x0b" + s + u32(600) + u32(0) + u32(1) +
                                                           std::string(4, '\0') + u32(590) + std::string(39, 'q'))});
    seeds->push_back({"session", std::string(1, 5) + frame("\x0e" + u32(41))});
    seeds->push_back({"text", std::string(1, 3) + frame("\x10%n bye")});
    std::string reliable;
    const char *commands[] = {"knockout 5 9", "erode 40 12", "redirect  host:1  ", "sendready",
                              "senddenied", "off_course_bias 4", "no_arcade"};
    uint32_t number = 0;
    for (const char *c : commands)
        reliable += frame("\x11" + u32(number++) + "\x18" + c);
    reliable += frame("\x11" + u32(number + 1) + "\x13" + "later");
    reliable += frame("\x11" + u32(number) + "\x15" + s + u32(1) + u32(2) + u32(0) + u32(300));
    reliable += frame("\x11" + u32(number + 2) + "\x14");
    reliable += frame("\x12" + u32(0));
    seeds->push_back({"reliable", std::string(1, 5) + reliable});
    seeds->push_back({"redirect", std::string(1, 0) + frame("\x19" + u32(0) + "host:5")});
    seeds->push_back({"rider-info", std::string(1, (char)0x87) + "yz|@r.png|@b.png|@w.png|@h.png\n123\nName"});
}

RUT_FUZZ_TARGET(net_client, run, make_seeds);
