// UDP sockets on 127.0.0.1: resolving, sending and receiving, empty and
// over-long receives, and error names.
#include "core/socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>

TEST(Socket, SplitsHostAndPort)
{
    struct Case {
        const char *text;
        int ok;
        const char *host;
        int port;
    } cases[] = {
        {"example:1234", 1, "example", 1234},
        {"example", 1, "example", 19800},
        {"example:", 1, "example:", 19800},    // looked up whole, default port
        {"example:abc", 1, "example:abc", 19800},
        {"a:b:7", 1, "a:b", 7},                // the last ':' counts
        {"example: 42x", 1, "example", 42},    // as "%d" reads it
        {"example:0", 1, "example", 0},
        {"example:65535", 1, "example", 65535},
        {"example:65536", 0, nullptr, 0},
        {"example:-1", 0, nullptr, 0},
        {"example:99999999999999999999", 0, nullptr, 0},
        {":80", 1, "", 80},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        char host[64];
        int port = -1;
        ASSERT_EQ(split_address_text(c.text, DEFAULT_SERVER_PORT, host, sizeof host, &port), c.ok);
        if (c.ok) {
            EXPECT_STREQ(host, c.host);
            EXPECT_EQ(port, c.port);
        }
    }
    char host[64];
    int port;
    EXPECT_EQ(split_address_text("example", 70000, host, sizeof host, &port), 0);
}

TEST(Socket, ResolvesLoopbackAddresses)
{
    struct Case {
        const char *text;
        int ok;
        int port;
    } cases[] = {
        {"127.0.0.1:1234", 1, 1234},
        {"127.0.0.1", 1, 19800},
        {"localhost:80", 1, 80},
        {"127.0.0.1:70000", 0, 0},
        {"", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SocketAddress address;
        memset(&address, 0xee, sizeof address);
        socket_error_name = "stale";
        ASSERT_EQ(resolve_address(&address, c.text, DEFAULT_SERVER_PORT), c.ok);
        EXPECT_EQ(socket_error_name, nullptr);
        EXPECT_EQ(address.length, 16);
        if (!c.ok)
            continue;
        EXPECT_EQ(address.address.sin_family, AF_INET);
        EXPECT_EQ(ntohs(address.address.sin_port), c.port);
        EXPECT_EQ(address.address.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
        for (unsigned char byte : address.address.sin_zero)
            EXPECT_EQ(byte, 0);
    }
}

// A socket bound to an ephemeral loopback port, and that port's address.
static int bound_socket(SocketAddress *address)
{
    int fd = open_udp_socket();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(resolve_address(address, "127.0.0.1:0", 0), 1);
    EXPECT_EQ(bind(fd, (sockaddr *)&address->address, sizeof address->address), 0);
    socklen_t length = sizeof address->address;
    getsockname(fd, (sockaddr *)&address->address, &length);
    return fd;
}

// Receives once, waiting briefly for the datagram to arrive on loopback.
static int receive_soon(int fd, void *buffer, int size, SocketAddress *from)
{
    for (int tries = 0; tries < 200; tries++) {
        int n = receive_datagram(fd, buffer, size, from);
        if (n >= 0 || socket_error_name)
            return n;
        struct timespec pause = {0, 1000000};
        nanosleep(&pause, nullptr);
    }
    return -1;
}

TEST(Socket, SendsAndReceivesBetweenTwoSockets)
{
    SocketAddress server_address, client_address;
    int server = bound_socket(&server_address);
    int client = bound_socket(&client_address);

    char buffer[64];
    SocketAddress from;
    // Nothing waiting: -1 with no error name.
    EXPECT_EQ(receive_datagram(server, buffer, sizeof buffer, &from), -1);
    EXPECT_EQ(socket_error_name, nullptr);

    ASSERT_EQ(send_datagram(client, "hello", 5, &server_address), 5);
    memset(&from, 0, sizeof from);
    ASSERT_EQ(receive_soon(server, buffer, sizeof buffer, &from), 5);
    EXPECT_EQ(memcmp(buffer, "hello", 5), 0);
    EXPECT_EQ(from.length, 16);
    EXPECT_EQ(from.address.sin_port, client_address.address.sin_port);
    EXPECT_EQ(from.address.sin_addr.s_addr, htonl(INADDR_LOOPBACK));

    // Reply to the address the datagram came from; an empty datagram too.
    ASSERT_EQ(send_datagram(server, "", 0, &from), 0);
    ASSERT_EQ(send_datagram(server, "back", 4, &from), 4);
    EXPECT_EQ(receive_soon(client, buffer, sizeof buffer, &from), 0);
    EXPECT_EQ(socket_error_name, nullptr);
    ASSERT_EQ(receive_soon(client, buffer, sizeof buffer, &from), 4);
    EXPECT_EQ(memcmp(buffer, "back", 4), 0);

    // A datagram that exactly fits, then one longer than the buffer.
    char big[100];
    memset(big, 'z', sizeof big);
    ASSERT_EQ(send_datagram(client, big, 64, &server_address), 64);
    EXPECT_EQ(receive_soon(server, buffer, 64, &from), 64);
    ASSERT_EQ(send_datagram(client, big, 100, &server_address), 100);
    EXPECT_EQ(receive_soon(server, buffer, sizeof buffer, &from), -1);
    EXPECT_STREQ(socket_error_name, "WSAEMSGSIZE");
    // The over-long datagram is gone.
    EXPECT_EQ(receive_datagram(server, buffer, sizeof buffer, &from), -1);
    EXPECT_EQ(socket_error_name, nullptr);

    close_socket(server);
    close_socket(client);
    shutdown_network();
}

TEST(Socket, FailedCallsNameTheirError)
{
    SocketAddress address;
    ASSERT_EQ(resolve_address(&address, "127.0.0.1:9", 0), 1);
    char buffer[8];
    EXPECT_EQ(send_datagram(-1, "x", 1, &address), -1);
    EXPECT_STREQ(socket_error_name, "WSAEBADF");
    EXPECT_EQ(receive_datagram(-1, buffer, sizeof buffer, &address), -1);
    EXPECT_STREQ(socket_error_name, "WSAEBADF");

    int fd = open_udp_socket();
    ASSERT_GE(fd, 0);
    static char huge[70000];
    EXPECT_EQ(send_datagram(fd, huge, sizeof huge, &address), -1);
    EXPECT_STREQ(socket_error_name, "WSAEMSGSIZE");
    EXPECT_EQ(send_datagram(fd, huge, -1, &address), -1);
    EXPECT_STREQ(socket_error_name, "WSAEINVAL");
    close_socket(fd);
    EXPECT_EQ(socket_error_name, nullptr);
}

TEST(Socket, ErrorNames)
{
    struct Code {
        int code;
        const char *name;   // null: no error
    } codes[] = {
        {10004, nullptr}, {10035, nullptr},
        {6, "WSA_INVALID_HANDLE"}, {8, "WSA_NOT_ENOUGH_MEMORY"}, {87, "WSA_INVALID_PARAMETER"},
        {995, "WSA_OPERATION_ABORTED"}, {997, "WSA_IO_PENDING"},
        {10009, "WSAEBADF"}, {10024, "WSAEMFILE"}, {10036, "WSAEINPROGRESS"},
        {10040, "WSAEMSGSIZE"}, {10061, "WSAECONNREFUSED"}, {10071, "WSAEREMOTE"},
        {10091, "WSASYSNOTREADY"}, {10093, "WSANOTINITIALISED"}, {10101, "WSAEDISCON"},
        {10112, "WSAEREFUSED"}, {11001, "WSAHOST_NOT_FOUND"}, {11024, "WSA_QOS_EUNKOWNPSOBJ"},
        {11031, "WSA_QOS_RESERVED_PETYPE"},
        {12345, "12345"}, {10072, "10072"}, {0, "0"}, {-7, "-7"},
    };
    for (const Code &c : codes) {
        SCOPED_TRACE(c.code);
        const char *name = winsock_error_name(c.code);
        if (c.name)
            EXPECT_STREQ(name, c.name);
        else
            EXPECT_EQ(name, nullptr);
    }
    // Every code in the named ranges has a name of its own.
    for (int code = 10036; code <= 10071; code++)
        EXPECT_EQ(std::string(winsock_error_name(code)).rfind("WSA", 0), 0u) << code;
    for (int code = 11001; code <= 11031; code++)
        EXPECT_EQ(std::string(winsock_error_name(code)).rfind("WSA", 0), 0u) << code;

    struct Errno {
        int value;
        int code;
        const char *name;
    } errnos[] = {
        {ECONNREFUSED, 10061, "WSAECONNREFUSED"}, {EMSGSIZE, 10040, "WSAEMSGSIZE"},
        {EAGAIN, 10035, nullptr}, {EWOULDBLOCK, 10035, nullptr}, {EINTR, 10004, nullptr},
        {ENOTSOCK, 10038, "WSAENOTSOCK"}, {EADDRINUSE, 10048, "WSAEADDRINUSE"},
        {ENETUNREACH, 10051, "WSAENETUNREACH"}, {ECONNRESET, 10054, "WSAECONNRESET"},
        {EHOSTUNREACH, 10065, "WSAEHOSTUNREACH"}, {ENOMEM, 8, "WSA_NOT_ENOUGH_MEMORY"},
        {EPERM, 10013, "WSAEACCES"}, {EACCES, 10013, "WSAEACCES"},
        {ENOENT, ENOENT, "2"},   // no Winsock twin: its own number
    };
    for (const Errno &e : errnos) {
        SCOPED_TRACE(e.value);
        socket_error_name = "stale";
        errno = e.value;
        EXPECT_EQ(net_error_name(), e.code);
        if (e.name)
            EXPECT_STREQ(socket_error_name, e.name);
        else
            EXPECT_EQ(socket_error_name, nullptr);
    }
}
