// The robot riders a race picks from: 80 rows of number, personality, bike
// and skins, and the shuffled order they are taken in.
#pragma once

enum { ROBOT_TABLE_ROWS = 80 };

struct RobotRow {
    char number[8];           // "20" + row
    const char *personality;
    const char *model;
    const char *rider_texture;    // null = the bike's own
    const char *helmet_texture;
    const char *bike_texture;
    const char *wheel_texture;
};

extern const RobotRow robot_table[ROBOT_TABLE_ROWS];
extern int robot_order[ROBOT_TABLE_ROWS];

// robot_order = 0..79, then shuffled with the race's random numbers: each
// position k from 79 down to 1 swaps with a lower one.
void shuffle_robot_order(void);
