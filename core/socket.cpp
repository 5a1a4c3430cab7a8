// UDP sockets over BSD sockets, with errors named as Winsock names them.
#include "core/socket.h"

#include "core/alloc.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

const char *socket_error_name;
static int network_started;

enum {
    WSAEINTR = 10004,
    WSAEWOULDBLOCK = 10035,
    WSAEMSGSIZE = 10040,
};

struct ErrorName {
    int code;
    const char *name;
};

static const ErrorName winsock_names[] = {
    {6, "WSA_INVALID_HANDLE"}, {8, "WSA_NOT_ENOUGH_MEMORY"}, {87, "WSA_INVALID_PARAMETER"},
    {995, "WSA_OPERATION_ABORTED"}, {996, "WSA_IO_INCOMPLETE"}, {997, "WSA_IO_PENDING"},
    {10009, "WSAEBADF"}, {10013, "WSAEACCES"}, {10014, "WSAEFAULT"}, {10022, "WSAEINVAL"},
    {10024, "WSAEMFILE"},
    {10036, "WSAEINPROGRESS"}, {10037, "WSAEALREADY"}, {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"}, {10040, "WSAEMSGSIZE"}, {10041, "WSAEPROTOTYPE"},
    {10042, "WSAENOPROTOOPT"}, {10043, "WSAEPROTONOSUPPORT"}, {10044, "WSAESOCKTNOSUPPORT"},
    {10045, "WSAEOPNOTSUPP"}, {10046, "WSAEPFNOSUPPORT"}, {10047, "WSAEAFNOSUPPORT"},
    {10048, "WSAEADDRINUSE"}, {10049, "WSAEADDRNOTAVAIL"}, {10050, "WSAENETDOWN"},
    {10051, "WSAENETUNREACH"}, {10052, "WSAENETRESET"}, {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"}, {10055, "WSAENOBUFS"}, {10056, "WSAEISCONN"},
    {10057, "WSAENOTCONN"}, {10058, "WSAESHUTDOWN"}, {10059, "WSAETOOMANYREFS"},
    {10060, "WSAETIMEDOUT"}, {10061, "WSAECONNREFUSED"}, {10062, "WSAELOOP"},
    {10063, "WSAENAMETOOLONG"}, {10064, "WSAEHOSTDOWN"}, {10065, "WSAEHOSTUNREACH"},
    {10066, "WSAENOTEMPTY"}, {10067, "WSAEPROCLIM"}, {10068, "WSAEUSERS"},
    {10069, "WSAEDQUOT"}, {10070, "WSAESTALE"}, {10071, "WSAEREMOTE"},
    {10091, "WSASYSNOTREADY"}, {10092, "WSAVERNOTSUPPORTED"}, {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"}, {10102, "WSAENOMORE"}, {10103, "WSAECANCELLED"},
    {10104, "WSAEINVALIDPROCTABLE"}, {10105, "WSAEINVALIDPROVIDER"},
    {10106, "WSAEPROVIDERFAILEDINIT"}, {10107, "WSASYSCALLFAILURE"},
    {10108, "WSASERVICE_NOT_FOUND"}, {10109, "WSATYPE_NOT_FOUND"}, {10110, "WSA_E_NO_MORE"},
    {10111, "WSA_E_CANCELLED"}, {10112, "WSAEREFUSED"},
    {11001, "WSAHOST_NOT_FOUND"}, {11002, "WSATRY_AGAIN"}, {11003, "WSANO_RECOVERY"},
    {11004, "WSANO_DATA"}, {11005, "WSA_QOS_RECEIVERS"}, {11006, "WSA_QOS_SENDERS"},
    {11007, "WSA_QOS_NO_SENDERS"}, {11008, "WSA_QOS_NO_RECEIVERS"},
    {11009, "WSA_QOS_REQUEST_CONFIRMED"}, {11010, "WSA_QOS_ADMISSION_FAILURE"},
    {11011, "WSA_QOS_POLICY_FAILURE"}, {11012, "WSA_QOS_BAD_STYLE"},
    {11013, "WSA_QOS_BAD_OBJECT"}, {11014, "WSA_QOS_TRAFFIC_CTRL_ERROR"},
    {11015, "WSA_QOS_GENERIC_ERROR"}, {11016, "WSA_QOS_ESERVICETYPE"},
    {11017, "WSA_QOS_EFLOWSPEC"}, {11018, "WSA_QOS_EPROVSPECBUF"},
    {11019, "WSA_QOS_EFILTERSTYLE"}, {11020, "WSA_QOS_EFILTERTYPE"},
    {11021, "WSA_QOS_EFILTERCOUNT"}, {11022, "WSA_QOS_EOBJLENGTH"},
    {11023, "WSA_QOS_EFLOWCOUNT"}, {11024, "WSA_QOS_EUNKOWNPSOBJ"},
    {11025, "WSA_QOS_EPOLICYOBJ"}, {11026, "WSA_QOS_EFLOWDESC"},
    {11027, "WSA_QOS_EPSFLOWSPEC"}, {11028, "WSA_QOS_EPSFILTERSPEC"},
    {11029, "WSA_QOS_ESDMODEOBJ"}, {11030, "WSA_QOS_ESHAPERATEOBJ"},
    {11031, "WSA_QOS_RESERVED_PETYPE"},
};

// errno values and their Winsock twins.
static const struct {
    int errno_value;
    int code;
} errno_codes[] = {
    {EINTR, WSAEINTR}, {EAGAIN, WSAEWOULDBLOCK}, {EWOULDBLOCK, WSAEWOULDBLOCK},
    {ENOMEM, 8}, {ECANCELED, 10103},
    {EPERM, 10013},   // a send refused by the host's packet filter
    {EBADF, 10009}, {EACCES, 10013}, {EFAULT, 10014}, {EINVAL, 10022}, {EMFILE, 10024},
    {EINPROGRESS, 10036}, {EALREADY, 10037}, {ENOTSOCK, 10038}, {EDESTADDRREQ, 10039},
    {EMSGSIZE, WSAEMSGSIZE}, {EPROTOTYPE, 10041}, {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050}, {ENETUNREACH, 10051}, {ENETRESET, 10052},
    {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {ENOBUFS, 10055}, {EISCONN, 10056},
    {ENOTCONN, 10057}, {ESHUTDOWN, 10058}, {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062}, {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066}, {EUSERS, 10068}, {EDQUOT, 10069},
    {ESTALE, 10070}, {EREMOTE, 10071},
};

int winsock_error_code(int errno_value)
{
    for (const auto &entry : errno_codes)
        if (entry.errno_value == errno_value)
            return entry.code;
    return 0;
}

static char unknown_error_text[16];

static const char *decimal_name(int code)
{
    snprintf(unknown_error_text, sizeof unknown_error_text, "%d", code);
    return unknown_error_text;
}

const char *winsock_error_name(int code)
{
    if (code == WSAEINTR || code == WSAEWOULDBLOCK)
        return nullptr;
    for (const ErrorName &entry : winsock_names)
        if (entry.code == code)
            return entry.name;
    return decimal_name(code);
}

int net_error_name(void)
{
    int errno_value = errno;
    int code = winsock_error_code(errno_value);
    if (code) {
        socket_error_name = winsock_error_name(code);
        return code;
    }
    socket_error_name = decimal_name(errno_value);
    return errno_value;
}

// The socket library needs no start-up here; the flag keeps the pairing with
// shutdown_network.
static void start_network(void)
{
    network_started = 1;
    socket_error_name = nullptr;
}

void shutdown_network(void)
{
    network_started = 0;
}

int split_address_text(const char *text, int default_port, char *host, int host_size, int *port)
{
    long number = default_port;
    snprintf(host, host_size, "%s", text);
    const char *colon = strrchr(text, ':');
    if (colon) {
        // A decimal number after the last ':' (leading blanks and a sign
        // allowed, trailing text ignored) replaces the default port.
        char *end;
        errno = 0;
        long value = strtol(colon + 1, &end, 10);
        if (end != colon + 1) {
            if (errno == ERANGE)
                return 0;
            number = value;
            int host_length = (int)(colon - text);
            if (host_length < host_size)
                host[host_length] = '\0';
        }
    }
    if (number < 0 || number > 65535)
        return 0;
    *port = (int)number;
    return 1;
}

int resolve_address(SocketAddress *address, const char *text, int default_port)
{
    start_network();
    memset(address, 0, sizeof *address);
    address->length = sizeof(struct sockaddr_in);

    int host_size = (int)strlen(text) + 1;
    char *host = (char *)checked_malloc(host_size);
    if (!host)
        return 0;
    int port;
    if (!split_address_text(text, default_port, host, host_size, &port)) {
        checked_free(host);
        return 0;
    }

    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    struct addrinfo *found = nullptr;
    int failed = getaddrinfo(host, nullptr, &hints, &found);
    checked_free(host);
    if (failed || !found)
        return 0;
    address->address.sin_family = AF_INET;
    address->address.sin_port = htons((uint16_t)port);
    address->address.sin_addr = ((struct sockaddr_in *)found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 1;
}

int open_udp_socket(void)
{
    start_network();
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        net_error_name();
        return -1;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        net_error_name();
        close(fd);
        return -1;
    }
    return fd;
}

int send_datagram(int socket, const void *data, int length, const SocketAddress *address)
{
    socket_error_name = nullptr;
    if (length < 0) {
        errno = EINVAL;
        net_error_name();
        return -1;
    }
    ssize_t sent = sendto(socket, data, (size_t)length, 0,
                          (const struct sockaddr *)&address->address, sizeof address->address);
    if (sent < 0) {
        net_error_name();
        return -1;
    }
    return (int)sent;
}

int receive_datagram(int socket, void *buffer, int size, SocketAddress *address)
{
    socket_error_name = nullptr;
    if (size < 0) {
        errno = EINVAL;
        net_error_name();
        return -1;
    }
    socklen_t length = sizeof address->address;
    // MSG_TRUNC reports the datagram's whole length, so a datagram longer
    // than the buffer is told apart from one that just fits.
    ssize_t received = recvfrom(socket, buffer, (size_t)size, MSG_TRUNC,
                                (struct sockaddr *)&address->address, &length);
    if (received < 0) {
        net_error_name();
        return -1;
    }
    address->length = (int32_t)length;
    if (received > size) {
        errno = EMSGSIZE;
        net_error_name();
        return -1;
    }
    return (int)received;
}

void close_socket(int socket)
{
    socket_error_name = nullptr;
    close(socket);
}
