// The player's race choices, read from the bike setup's widgets.
#include "app/player_settings.h"

#include "app/bike_setup.h"

int practice_mode;
int learn_lines;
int erode_option;

const char *player_bike_model(void)
{
    return selected_choice(&bike_setup.bike);
}

const char *player_number_text(void)
{
    return bike_setup.number.text;
}

const char *player_name_text(void)
{
    return bike_setup.name.text;
}

const char *player_rider_texture(void)
{
    return selected_graphics_path(&bike_setup.riding_gear);
}

const char *player_helmet_texture(void)
{
    return selected_graphics_path(&bike_setup.helmet);
}

const char *player_bike_texture(void)
{
    return selected_graphics_path(&bike_setup.bike_graphics);
}

const char *player_wheel_texture(void)
{
    return selected_graphics_path(&bike_setup.wheel_graphics);
}
