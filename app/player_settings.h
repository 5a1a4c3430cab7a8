// The player's choices that a race is set up with, as the menus hold them:
// who rides, on what, on which track, and the command line's options that
// change a race.
#pragma once

// The selected bike model, the rider's number and name.
const char *player_bike_model(void);
const char *player_number_text(void);
const char *player_name_text(void);
// Game paths of the chosen looks, null for the bike's own.
const char *player_rider_texture(void);
const char *player_helmet_texture(void);
const char *player_bike_texture(void);
const char *player_wheel_texture(void);

extern int practice_mode;      // "--practice": every robot is "tester"
extern int learn_lines;        // "--learn" / "--nolearn": racing lines are written
extern int erode_option;       // "--erode": the offline erosion amount
