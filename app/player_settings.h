// The player's choices that a race is set up with: who rides, on what, on
// which track, and the options of the command line that change a race.
#pragma once

enum { PLAYER_TEXT_LENGTH = 256 };

extern char player_name[PLAYER_TEXT_LENGTH];
extern char player_number[PLAYER_TEXT_LENGTH];
extern char player_bike[PLAYER_TEXT_LENGTH];            // "yz250f(2017)"
extern char player_rider_texture[PLAYER_TEXT_LENGTH];   // empty = the bike's own
extern char player_helmet_texture[PLAYER_TEXT_LENGTH];
extern char player_bike_texture[PLAYER_TEXT_LENGTH];
extern char player_wheel_texture[PLAYER_TEXT_LENGTH];
extern char chosen_track[PLAYER_TEXT_LENGTH];           // the menu's track folder
extern char user_demo[PLAYER_TEXT_LENGTH];              // a demo the user named, empty = none
extern int practice_mode;      // "--practice": every robot is "tester"
extern int learn_lines;        // "--learn" / "--nolearn": racing lines are written
extern int erode_option;       // "--erode": the offline erosion amount
