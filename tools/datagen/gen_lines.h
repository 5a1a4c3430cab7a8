// Racing lines ridden by the game itself: headless races with learning
// on, one scripted rider per race following the designed line at the
// speeds of a skill, from every position of the first gate row; the lap
// pool goes from race to race through the line file in the home folder.
#pragma once

#include "tools/datagen/gen_output.h"
#include "tools/datagen/gen_track.h"

enum { LINE_SKILL_COUNT = 3 };

// How a skill rides: its top speed, the sideways grip it corners with,
// the braking it plans with, and how fast it rides the bumps.
struct SkillProfile {
    const char *file;       // "lines_novice" ...
    float top_speed;        // ft/s
    float corner_grip;      // ft/s^2 of sideways acceleration
    float braking;          // ft/s^2 planned
    float bump_share;       // share of the speed whoops and rhythm sections are built for
};
extern const SkillProfile SKILL_PROFILES[LINE_SKILL_COUNT];

// The wanted speed at every centreline point for a skill (count values).
int plan_line_speeds(const TrackModel *track, const SkillProfile *skill, float *speeds);

// What the rides of one skill did.
struct LineRideReport {
    int races;           // races ridden
    int crashes;         // times the rider came off
    int stuck;           // races given up before their last gate
    int rows;            // rows of the written line file
    int filled_rows;     // rows holding at least one line
    int row0_lines;      // lines of the first row (one per start)
    float lap_seconds;   // the whole race's time: the first lap and a normal one
    float worst_lateral; // farthest off the designed line, feet
};

// Rides the skill's races on the track of the data folder (its files
// written), with the home folder in work_folder, and copies the line file
// into the track folder of the data folder. The game's file layer and
// physics world are this process's: call it in a process of its own.
// 1 when the file was written with every row filled.
int ride_skill_lines(const TrackModel *track, const char *data_folder, const char *work_folder, int skill,
                     LineRideReport *report);

// Every skill's lines for each track (tracks[k], its files written into
// sets[k]), in up to jobs processes at once, added to the track's set; the
// bikes come from the data folder. Each process then races the game's
// robots of its skill on the lines it rode (check_track_robots) and fails
// when they break the bounds.
int generate_racing_lines(DataSet *const *sets, const TrackModel *const *tracks, int track_count,
                          const char *data_folder, int jobs);
