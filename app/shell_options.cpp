// Settings the command line writes that belong to the menus' widgets.
#include "app/shell_options.h"

#include <cstdio>
#include <cstring>

ShellOptionSettings shell_option_settings = {
    640, 480, 0, 0, 1, 0, 0, 0, "", {}, 0, 1, 0,
};

void note_connect_server(const char *name)
{
    ShellOptionSettings *s = &shell_option_settings;
    snprintf(s->server_name, sizeof s->server_name, "%s", name);
    if (!s->server_name[0] || !strcmp(s->server_name, s->recent_servers[0]))
        return;
    memmove(s->recent_servers[1], s->recent_servers[0],
            (RECENT_SERVER_COUNT - 1) * sizeof s->recent_servers[0]);
    memcpy(s->recent_servers[0], s->server_name, sizeof s->server_name);
    s->recent_server_selection = -1;
}
