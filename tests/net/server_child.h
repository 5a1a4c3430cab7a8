// The race server as a child process of a test: forked on port 0 with the
// options given, its port sent back through a pipe; SIGTERM ends it. With a
// file limit its files may not grow past that many bytes (RLIMIT_FSIZE,
// SIGXFSZ ignored: a write past it fails).
#pragma once

#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include "tools/race_server/race_server.h"

inline volatile int server_child_stop;

inline void stop_server_child(int)
{
    server_child_stop = 1;
}

// The child's pid (or -1) and its port in *port (or -1).
inline pid_t start_server_child(const ServerOptions &options, int *port, long file_limit = 0)
{
    int fds[2];
    *port = -1;
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGTERM, stop_server_child);
        if (file_limit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit bound = {(rlim_t)file_limit, (rlim_t)file_limit};
            if (setrlimit(RLIMIT_FSIZE, &bound) != 0)
                _exit(4);
        }
        ServerOptions o = options;
        o.port = 0;
        int p = start_race_server(&o) ? server_port() : -1;
        if (write(fds[1], &p, sizeof p) != (ssize_t)sizeof p)
            _exit(3);
        close(fds[1]);
        if (p < 0)
            _exit(2);
        run_race_server(&server_child_stop);
        _exit(0);
    }
    close(fds[1]);
    if (pid > 0 && read(fds[0], port, sizeof *port) != (ssize_t)sizeof *port)
        *port = -1;
    close(fds[0]);
    return pid;
}
