// Non-blocking IPv4 UDP sockets: resolving "host:port", sending, receiving,
// and the last socket error by its Winsock name.
#pragma once

#include <cstdint>
#include <netinet/in.h>

enum { DEFAULT_SERVER_PORT = 19800 };

struct SocketAddress {
    int32_t length;             // 16 when resolved; as reported after a receive
    struct sockaddr_in address;
};

// Name of the last socket error, or null. Each call below clears it first.
extern const char *socket_error_name;

// 1 on success, 0 when the host cannot be resolved or the port is outside
// 0..65535. The port follows the last ':' when a number comes after it.
int resolve_address(SocketAddress *address, const char *text, int default_port);
// Splits text into the host to look up and the port; 0 when the port is
// outside 0..65535. host_size includes the terminating zero.
int split_address_text(const char *text, int default_port, char *host, int host_size, int *port);

int open_udp_socket(void);   // or -1
int send_datagram(int socket, const void *data, int length, const SocketAddress *address);
// Bytes received and the sender's address, or -1: nothing waiting when
// socket_error_name is null, else an error ("WSAEMSGSIZE" for a datagram
// longer than the buffer, which is then dropped).
int receive_datagram(int socket, void *buffer, int size, SocketAddress *address);
void close_socket(int socket);
void shutdown_network(void);

// Stores the name of the last error (errno) in socket_error_name and returns
// its Winsock code (errno itself when it has no Winsock twin).
int net_error_name(void);
// The Winsock code of an errno value, or 0 when it has none.
int winsock_error_code(int errno_value);
// The Winsock name of a code, null for "interrupted" and "would block", else
// its decimal text (in a static buffer, overwritten by the next such code).
const char *winsock_error_name(int code);
