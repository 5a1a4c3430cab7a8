// The race-server client's values at their offline state.
#include "app/net_client.h"

char join_password[JOIN_PASSWORD_LENGTH];
float fake_lag;
int fake_loss;
int server_tic_estimate;
int slot_pings[BIKE_SLOT_COUNT];
