// The player's race choices, at their start-up values until the settings
// file and the menus set them.
#include "app/player_settings.h"

char player_name[PLAYER_TEXT_LENGTH] = "Player";
char player_number[PLAYER_TEXT_LENGTH] = "1";
char player_bike[PLAYER_TEXT_LENGTH] = "yz250f(2017)";
char player_rider_texture[PLAYER_TEXT_LENGTH];
char player_helmet_texture[PLAYER_TEXT_LENGTH];
char player_bike_texture[PLAYER_TEXT_LENGTH];
char player_wheel_texture[PLAYER_TEXT_LENGTH];
char chosen_track[PLAYER_TEXT_LENGTH];
char user_demo[PLAYER_TEXT_LENGTH];
int practice_mode;
int learn_lines;
int erode_option;
