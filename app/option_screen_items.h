// The Graphics/Sound, Advanced Graphics, Customize Controls and Multiplayer
// screens: their buttons and widget orders, shared by keys and drawing,
// and the race server's name with its history.
#pragma once

#include "app/widgets.h"

enum {
    RECENT_SERVERS = 16,
    RECENT_SERVER_LENGTH = 128,
    SERVER_NAME_LENGTH = 127,
    GRAPHICS_SOUND_ITEMS = 18,
    ADVANCED_GRAPHICS_ITEMS = 14,
};

static const char DEFAULT_SERVER[] = "localhost";

extern TextField server_field;   // "Server"
extern char recent_servers[RECENT_SERVERS][RECENT_SERVER_LENGTH];
extern int recent_server_index;   // -1: the typed text

struct OptionScreenItems {
    MenuItem graphics_back, advanced_button;
    MenuItem preset_buttons[4];
    MenuItem switch_mode;
    MenuItem advanced_back;
    MenuItem controls_back;
    MenuItem multiplayer_back, connect, request_restart;
};
extern OptionScreenItems option_items;

// Items 8..17 of Graphics/Sound: the two lists, then the eight sliders.
extern OptionList *const view_option_lists[2];
extern Slider *const view_sliders[8];
// Items 1..13 of Advanced Graphics: a slider or a list each.
struct AdvancedGraphicsItem {
    Slider *slider;
    OptionList *list;
};
extern const AdvancedGraphicsItem advanced_graphics_items[ADVANCED_GRAPHICS_ITEMS - 1];

// The Server text becomes the newest recent server (when not empty and
// not already the newest).
void remember_server_name(void);
