// Points series files: every ".series" file of the game data read into the
// series list with the standings of the rounds already ridden.
#pragma once

struct SeriesEvent;

enum { SERIES_MAX_ROBOTS = 159, SERIES_MAX_ROUNDS = 1000, SERIES_MAX_ROBOT_NUMBER = 999999 };

// Reads every series file of the file index (after the track catalogue):
// broken files are skipped. The series list screen starts on its first page.
void read_series_files(void);
// One series file ("name.series", a file-index name) into the record: 1,
// or 0 when the series is dropped (nothing is kept).
int read_series_file(const char *name, SeriesEvent *event);
// The standings file of a series: the rounds done and their places, then
// the ranks after every round.
void read_series_standings(SeriesEvent *event);
void free_series_event(SeriesEvent *event);
void free_series_list(void);
