// rut_race_server: hosts races on this machine for the game's clients.
// "--port 0" binds any free port and prints it.
#include <csignal>
#include <cstdio>

#include "core/file.h"
#include "tools/race_server/race_server.h"

static volatile int stop_requested;

static void on_signal(int)
{
    stop_requested = 1;
}

int main(int argc, char **argv)
{
    ServerOptions options;
    default_server_options(&options);
    if (!parse_server_options(&options, argc, argv))
        return 2;
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    build_file_index();
    if (!start_race_server(&options))
        return 1;
    printf("Race server on port %d\n", server_port());
    fflush(stdout);
    run_race_server(&stop_requested);
    return 0;
}
