// The race-server client's values at their offline state.
#include "app/net_client.h"

#include "net/client.h"
#include "platform/log.h"

char join_password[JOIN_PASSWORD_LENGTH];
float fake_lag;
int fake_loss;
int server_tic_estimate;
int slot_pings[BIKE_SLOT_COUNT];

void run_net_client(void)
{
    if (!connect_target)
        return;
    log_printf("Can't connect to %.200s: this build plays offline\n", connect_target);
    set_connect_target(nullptr);
}
