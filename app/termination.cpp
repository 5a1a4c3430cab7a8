// Termination signals held blocked and taken at the game's own checks.
#include "app/termination.h"

#include <csignal>
#include <cstring>
#include <ctime>

#include "app/main_loop.h"

static void on_termination(int)
{
    termination_requested = 1;
}

static void termination_set(sigset_t *set)
{
    sigemptyset(set);
    sigaddset(set, SIGTERM);
    sigaddset(set, SIGINT);
}

static void install_termination_handler(int signal_number)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_termination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
}

void hold_termination_signals(void)
{
    signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    termination_set(&set);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    install_termination_handler(SIGTERM);
    install_termination_handler(SIGINT);
}

int take_termination_signals(void)
{
    sigset_t set, pending;
    termination_set(&set);
    if (sigpending(&pending) != 0)
        return 0;
    int taken = 0;
    if (sigismember(&pending, SIGTERM) || sigismember(&pending, SIGINT)) {
        struct timespec none = {0, 0};
        while (sigtimedwait(&set, nullptr, &none) > 0)
            taken = 1;
    }
    // A handler a library put in place would act on a signal that reaches
    // a thread that unblocked it: ours again.
    for (int signal_number : {SIGTERM, SIGINT}) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler != on_termination)
            install_termination_handler(signal_number);
    }
    if (taken)
        termination_requested = 1;
    return taken || termination_requested;
}
