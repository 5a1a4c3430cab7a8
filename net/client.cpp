// Client state read by the race, and erosion records on their way to the
// terrain. Offline only so far: the connection itself is not built yet.
#include "net/client.h"

#include <cstring>

#include "core/alloc.h"
#include "core/message.h"
#include "core/socket.h"
#include "track/erosion.h"

int net_socket = -1;
int own_slot = 160;
int local_gate_position = 160;
uint32_t last_state_tic[160];
int crash_delay_table[CRASH_DELAY_ENTRIES];
int contact_log_flags;
float contact_log_spacing = 10.0f;

int slot_kinds[160];
char *connect_target;
int client_info_changed;
int arcade_physics_forbidden;

NetRiderInfo net_rider_info[160];
int server_start_tic;
char server_track[256];

void clear_net_rider_info(void)
{
    memset(net_rider_info, 0, sizeof net_rider_info);
    own_slot = 160;
    local_gate_position = 160;
}

void send_erode_record(const uint8_t *message, int length)
{
    queue_erosion_message(message, length);
}

void set_connect_target(const char *text)
{
    checked_free(connect_target);
    connect_target = nullptr;
    if (!text)
        return;
    size_t length = strlen(text) + 1;
    connect_target = (char *)xmalloc(length);
    memcpy(connect_target, text, length);
}

void disconnect_from_server(void)
{
    if (net_socket == -1)
        return;
    print_message("Disconnecting\n");
    close_socket(net_socket);
    net_socket = -1;
    set_connect_target(nullptr);
    client_info_changed = 0;
    arcade_physics_forbidden = 0;
    clear_net_rider_info();
}
