// The race-server client as the shell, the HUD and the overlay see it while
// the game is offline: the values they read keep their offline state.
#pragma once

#include "bike/bike_state.h"

enum { JOIN_PASSWORD_LENGTH = 128 };

extern char join_password[JOIN_PASSWORD_LENGTH];   // "--password"
extern float fake_lag;                             // seconds of simulated latency, 0..1
extern int fake_loss;                              // percent of datagrams dropped, 0..100
extern int server_tic_estimate;                    // 0 while offline
extern int slot_pings[BIKE_SLOT_COUNT];            // round trip per slot, in tics

// The client's driver, once per tic in the "net" stage. Offline only: a
// server asked for is dropped with a log line and the game stays offline.
void run_net_client(void);
