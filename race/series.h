// Points series: the events and rounds the series files describe, the
// event being raced and its standings.
#pragma once

enum { SERIES_PLACES = 160, SERIES_READ_POINTS = 40 };

struct SeriesRound {
    const char *name;                 // interned
    int track;                        // index into the track catalogue
    int race_values[2];
    int points[SERIES_PLACES];        // by finishing place 0, 1, 2, ...
    int ranked[SERIES_PLACES];        // [0] non-zero: standings are ranked after this round
    int positions[SERIES_PLACES];     // finishing place of series rider i, the player at n
    int standings[SERIES_PLACES];     // rank of series rider i after this round
};

struct SeriesEvent {
    const char *title;                // interned
    char *standings_path;             // "@" + the series file's name + "_standings"
    int round_count;
    SeriesRound *rounds;
    int rounds_played;                // rounds with complete standings
    int robot_skill;                  // 0 Novice, 1 Amateur, 2 Expert
    int rider_count;                  // n: the series riders other than the player, 0..159
    int rider_numbers[SERIES_PLACES];
};

struct SeriesList {
    SeriesEvent *events;
    int count;
};

extern SeriesList series_list;
extern int current_event;    // -1 = no event running
extern int expected_round;   // the round the running race counts for, -1 = none

// Cumulative points over the rounds played; after each round whose ranked
// value is non-zero, the ranks 0..n into its standings (most points first,
// ties to the better place in that round).
void rank_series_standings(SeriesEvent *event);
// The event's standings file, one line of places per round played, through
// the checked replacement: 1 when the file holds them, else the old file stays.
int write_standings(const SeriesEvent *event);
