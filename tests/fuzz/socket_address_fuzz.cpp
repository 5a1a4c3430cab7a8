// Fuzz target "socket_address": "host:port" texts as the player and the
// server give them, split into host and port and, for numeric hosts,
// resolved (no name is looked up: that would reach the network).
#include "fuzz/fuzz_target.h"

#include "core/alloc.h"
#include "core/socket.h"

#include <arpa/inet.h>
#include <cstring>

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    std::string text = input_text(input.data, input.size);
    text = text.substr(0, strlen(text.c_str()));
    int default_port = input.selector & 1 ? DEFAULT_SERVER_PORT : (int)(input.selector * 2731u % 70000u) - 1000;
    int host_size = 1 + input.selector % 64;
    char *host = (char *)checked_malloc((size_t)host_size);
    int port = 0;
    if (host && split_address_text(text.c_str(), default_port, host, host_size, &port)) {
        // Only texts whose host part is a dotted number are resolved.
        int full_size = (int)text.size() + 1;
        char *full = (char *)checked_malloc((size_t)full_size);
        struct in_addr numeric;
        if (full && split_address_text(text.c_str(), default_port, full, full_size, &port) &&
            inet_aton(full, &numeric) && strspn(full, "0123456789.") == strlen(full)) {
            SocketAddress address;
            resolve_address(&address, text.c_str(), default_port);
        }
        checked_free(full);
    }
    checked_free(host);
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"host-port", std::string(1, '\x01') + "127.0.0.1:19800"});
    seeds->push_back({"default-port", std::string(1, '\x01') + "127.0.0.1"});
    seeds->push_back({"name", std::string(1, '\x20') + "race.example:65535"});
    seeds->push_back({"bad-port", std::string(1, '\x03') + "10.1.2.3:65536"});
    seeds->push_back({"colons", std::string(1, '\x05') + "::1:80:x"});
}

RUT_FUZZ_TARGET(socket_address, run, make_seeds);
