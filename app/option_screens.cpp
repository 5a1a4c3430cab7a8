// Keys of the Graphics/Sound, Advanced Graphics, Customize Controls and
// Multiplayer screens, and the race server's name with its history.
#include "app/option_screen_items.h"

#include <cstdio>
#include <cstring>

#include "app/bindings.h"
#include "app/graphics_settings.h"
#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/sound_settings.h"
#include "net/client.h"
#include "platform/display.h"
#include "render/render_settings.h"

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};
char server_text[SERVER_NAME_LENGTH + 1];

int fill_default_server(void)
{
    snprintf(server_text, sizeof server_text, "%s", DEFAULT_SERVER);
    return 1;
}
const int default_server_filled = fill_default_server();

enum { FIRST_PRESET_ITEM = 2, VIDEO_MODE_ITEM = 6, SWITCH_MODE_ITEM = 7, FIRST_VIEW_ITEM = 8 };

}  // namespace

TextField server_field = {"Server", SERVER_NAME_LENGTH, server_text, (int)sizeof DEFAULT_SERVER - 1, 1, NO_RECT};
char recent_servers[RECENT_SERVERS][RECENT_SERVER_LENGTH];
int recent_server_index = -1;

OptionScreenItems option_items = {
    .graphics_back = {"Back to Main Menu", NO_RECT},
    .advanced_button = {"Advanced Graphics Setup", NO_RECT},
    .preset_buttons = {{"Use Compatibility Settings", NO_RECT},
                       {"Use High FPS Settings", NO_RECT},
                       {"Use Normal Settings", NO_RECT},
                       {"Use High Detail Settings", NO_RECT}},
    .switch_mode = {"Switch To Selected Mode Now", NO_RECT},
    .advanced_back = {"Back to Graphics/Sound Menu", NO_RECT},
    .controls_back = {"Back to Main Menu", NO_RECT},
    .multiplayer_back = {"Back to Main Menu", NO_RECT},
    .connect = {"Connect", NO_RECT},
    .request_restart = {"Request Restart", NO_RECT},
};

namespace {
OptionScreenItems &o = option_items;
}

OptionList *const view_option_lists[2] = {&hide_rider_list, &rigid_camera_list};
Slider *const view_sliders[8] = {&fov_slider,
                                 &first_person_height_slider,
                                 &first_person_angle_slider,
                                 &first_person_gimbal_slider,
                                 &third_person_height_slider,
                                 &third_person_distance_slider,
                                 &volume_slider,
                                 &comp_volume_slider};

const AdvancedGraphicsItem advanced_graphics_items[ADVANCED_GRAPHICS_ITEMS - 1] = {
    {&ground_detail_slider, nullptr},     {&ground_texture_levels_slider, nullptr},
    {nullptr, &ground_texture_dim_list},  {nullptr, &ground_mipmaps_list},
    {nullptr, &compress_textures_list},   {nullptr, &render_texture_list},
    {nullptr, &use_shader_list},          {&model_detail_slider, nullptr},
    {&model_texture_detail_slider, nullptr}, {&roost_density_slider, nullptr},
    {&reshade_delay_slider, nullptr},     {nullptr, &lens_flare_list},
    {nullptr, &reflections_list},
};

const WidgetRect *const graphics_sound_rects[] = {
    &o.graphics_back.rect, &o.advanced_button.rect,
    &o.preset_buttons[0].rect, &o.preset_buttons[1].rect, &o.preset_buttons[2].rect, &o.preset_buttons[3].rect,
    &video_mode_list.rect, &o.switch_mode.rect,
    &hide_rider_list.rect, &rigid_camera_list.rect,
    &fov_slider.rect, &first_person_height_slider.rect, &first_person_angle_slider.rect,
    &first_person_gimbal_slider.rect, &third_person_height_slider.rect, &third_person_distance_slider.rect,
    &volume_slider.rect, &comp_volume_slider.rect,
    nullptr,
};

const WidgetRect *const advanced_graphics_rects[] = {
    &o.advanced_back.rect,
    &ground_detail_slider.rect, &ground_texture_levels_slider.rect, &ground_texture_dim_list.rect,
    &ground_mipmaps_list.rect, &compress_textures_list.rect, &render_texture_list.rect, &use_shader_list.rect,
    &model_detail_slider.rect, &model_texture_detail_slider.rect, &roost_density_slider.rect,
    &reshade_delay_slider.rect, &lens_flare_list.rect, &reflections_list.rect,
    nullptr,
};

const WidgetRect *const controls_rects[] = {
    &o.controls_back.rect,
    &riding_bindings[9].rect, &riding_bindings[8].rect, &riding_bindings[7].rect, &riding_bindings[11].rect,
    &riding_bindings[10].rect, &riding_bindings[4].rect, &riding_bindings[6].rect, &riding_bindings[5].rect,
    &riding_bindings[3].rect, &riding_bindings[2].rect, &riding_bindings[1].rect, &riding_bindings[0].rect,
    &utility_bindings[7].rect, &utility_bindings[6].rect, &utility_bindings[5].rect, &utility_bindings[4].rect,
    &utility_bindings[2].rect, &utility_bindings[3].rect, &utility_bindings[1].rect, &utility_bindings[0].rect,
    nullptr,
};

const WidgetRect *const multiplayer_rects[] = {
    &o.multiplayer_back.rect, &o.connect.rect, &o.request_restart.rect, &server_field.rect, nullptr,
};

void graphics_sound_key(int key)
{
    step_menu_selection(key, GRAPHICS_SOUND_ITEMS - 1);
    int item = menu_selection;
    if (item == VIDEO_MODE_ITEM) {
        handle_option_list_key(&video_mode_list, key);
    } else if (item >= FIRST_VIEW_ITEM + 2) {
        handle_slider_key(view_sliders[item - FIRST_VIEW_ITEM - 2], key);
    } else if (item >= FIRST_VIEW_ITEM) {
        handle_option_list_key(view_option_lists[item - FIRST_VIEW_ITEM], key);
    } else if (is_item_activated(graphics_sound_rects[item], key)) {
        if (item == 0) {
            set_menu_state(MENU_MAIN);
        } else if (item == 1) {
            set_menu_state(MENU_ADVANCED_GRAPHICS);
        } else if (item < VIDEO_MODE_ITEM) {
            apply_graphics_preset(item - FIRST_PRESET_ITEM);
        } else {
            int choice = clamp_selection(video_mode_list.selected, video_mode_list.count);
            if (choice == VIDEO_MODE_WINDOWED) {
                request_display_mode(game_window, configured_width, configured_height, 0);
            } else {
                int width, height;
                video_mode_size(choice, &width, &height);
                request_display_mode(game_window, width, height, 0x200);
            }
            current_video_mode = choice;
        }
    }
}

void advanced_graphics_key(int key)
{
    step_menu_selection(key, ADVANCED_GRAPHICS_ITEMS - 1);
    int item = menu_selection;
    if (item == 0) {
        if (is_item_activated(&o.advanced_back.rect, key))
            set_menu_state(MENU_GRAPHICS_SOUND);
        return;
    }
    const AdvancedGraphicsItem &entry = advanced_graphics_items[item - 1];
    if (entry.slider)
        handle_slider_key(entry.slider, key);
    else
        handle_option_list_key(entry.list, key);
    // Two settings take effect at once.
    if (entry.slider == &roost_density_slider)
        roost_frequency = (int)roost_density_slider.value;
    if (entry.list == &reflections_list)
        reflections_enabled = clamp_selection(reflections_list.selected, reflections_list.count);
}

void controls_key(int key)
{
    step_menu_selection(key, BINDING_COUNT);
    int item = menu_selection;
    if (item == 0) {
        if (is_item_activated(&o.controls_back.rect, key))
            set_menu_state(MENU_MAIN);
        return;
    }
    // Space picks buttons, never a binding row: it could be the binding.
    KeyBinding *binding = binding_order[item - 1];
    if (key == menu_keys.enter || key == menu_keys.keypad_enter ||
        (key == menu_keys.cursor_left && is_cursor_in_rect(&binding->rect)))
        watch_pots(binding);
}

void remember_server_name(void)
{
    const char *text = server_field.text;
    if (!text[0] || !strcmp(text, recent_servers[0]))
        return;
    memmove(recent_servers[1], recent_servers[0], sizeof recent_servers[0] * (RECENT_SERVERS - 1));
    snprintf(recent_servers[0], sizeof recent_servers[0], "%s", text);
    recent_server_index = -1;
}

void server_menu_key(int key)
{
    step_menu_selection(key, 3);
    int item = menu_selection;
    if (item == 3) {
        if (key == menu_keys.page_up) {
            int index = recent_server_index + 1;
            if (index == 0 && !strcmp(recent_servers[0], server_field.text))
                index = 1;
            if (index < RECENT_SERVERS && recent_servers[index][0]) {
                recent_server_index = index;
                set_text_field_text(&server_field, recent_servers[index]);
            }
        } else if (key == menu_keys.page_down) {
            if (recent_server_index == 0) {
                recent_server_index = -1;
            } else if (recent_server_index > 0) {
                recent_server_index--;
                set_text_field_text(&server_field, recent_servers[recent_server_index]);
            }
        }
        handle_text_field_key(&server_field, key);
        return;
    }
    if (!is_item_activated(multiplayer_rects[item], key))
        return;
    if (item == 0) {
        set_menu_state(MENU_MAIN);
    } else if (item == 1) {
        if (net_socket != -1) {
            leave_server();
            return;
        }
        remember_server_name();
        set_connect_target(server_field.text);
        set_menu_state(MENU_NONE);
    } else {
        // A restart is asked of a server only while racing on one.
        send_restart_request();
        set_menu_state(MENU_NONE);
    }
}
