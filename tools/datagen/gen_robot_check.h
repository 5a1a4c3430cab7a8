// Robot races on a generated track: a field of the game's robot riders
// races whole laps on a skill's racing lines, and what each robot did
// (laps, lap times, crashes, the longest stop with the rider on the bike)
// is held against the bounds the data build keeps the tracks within.
#pragma once

#include <cstdio>

enum { ROBOT_FIELD_MAX = 20, ROBOT_EVENT_MAX = 128 };

// A stop: the frame slower than this over the ground, ft/s, with the rider
// on the bike.
constexpr float ROBOT_STOP_SPEED = 3.0f;

struct RobotField {
    const char *track;               // track folder
    int skill;                       // 0 novice, 1 amateur, 2 expert
    int laps;
    int robots;
    int slots[ROBOT_FIELD_MAX];      // the race slot (its place on the gate) of each
    int numbers[ROBOT_FIELD_MAX];    // the robot's number (its row of the robot table), 0: any
    int seed;                        // the tic the race is reset at (seeds its random numbers)
};

struct RobotResult {
    char number[8];
    const char *personality;
    char model[32];
    int finished;           // by the race's rule (a lapped robot with the leader)
    int laps;               // completed by then
    int crashes;
    float best_lap;         // seconds, the best of laps 2 on (0: none)
    float worst_lap;        // the slowest of laps 2 on
    float longest_stop;     // seconds
    float stop_x, stop_z;   // where the longest stop began
};

// Where and when a robot came off (or began its longest stop).
struct RobotEvent {
    int robot;
    int lap;                // 1 ..
    float seconds;          // after the gate drop
    float x, z;
};

struct RobotRaceReport {
    int robots;
    RobotResult results[ROBOT_FIELD_MAX];
    int crashes;
    int robot_laps;         // laps completed by all
    int finished;           // robots that finished
    int lapped;             // of them, those that finished a lap or more behind
    float longest_stop;     // seconds, the worst robot's
    float worst_lap_ratio;  // the slowest lap 2 on over its robot's best, the worst robot's
    float race_seconds;     // from the gate drop to the last robot's finish (or the time limit)
    int solver_errors;
    int crash_events;       // the first ROBOT_EVENT_MAX crashes
    RobotEvent crash_list[ROBOT_EVENT_MAX];
};

// The bounds: crashes per robot-lap at most this for the skill; every
// robot finishes, no stop over ROBOT_STOP_LIMIT with the rider on, no lap
// from the second on more than ROBOT_LAP_SPREAD over the robot's best.
float robot_crash_bound(int skill);
constexpr float ROBOT_STOP_LIMIT = 5.0f;
constexpr float ROBOT_LAP_SPREAD = 0.2f;

// The full field: twelve robots, four of each personality on a spread of
// models, side by side from the first twelve places of the gate, five
// laps.
void full_robot_field(RobotField *field, const char *track, int skill, int seed);

// The data build's field: six robots, two of each personality, spread
// along the gate's first row of gate_pieces places, two laps, at seed 0.
void check_robot_field(RobotField *field, const char *track, int skill, int gate_pieces);

// Races the field on the track of the current data and home folders
// (learning off). The game's race world is this process's, freed at the
// end. 0 when the race could not be set up.
int race_robot_field(const RobotField *field, RobotRaceReport *report);

// 1 when the report keeps within the bounds; otherwise the first bound
// broken, in words, in why.
int check_robot_report(const RobotField *field, const RobotRaceReport *report, char *why, int size);

// The data build's check of one skill's lines on a track (its files and
// lines where the game finds them): races the check field, prints what it
// did, and on a broken bound says which on stderr. 1 when within.
int check_track_robots(const char *track, int skill, int gate_pieces);

// One line per robot and a summary, to the stream.
void print_robot_report(const RobotField *field, const RobotRaceReport *report, FILE *stream);

// Ends a headless race and frees what it held: bikes, track, shapes, the
// catalogue and the physics world.
void free_headless_track_race(void);
