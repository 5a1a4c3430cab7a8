// The screens that start races (New Race, Time Trial, Playback Race, the
// points series and their standings): the race options they edit, the
// lists of tracks and demos they offer, and starting a series event.
#pragma once

#include "app/widgets.h"
#include "core/alloc.h"

struct SeriesEvent;

enum { GATE_COUNT = 40, LIST_PAGE_ROWS = 20 };

// "Track": the long names of the track catalogue, in its order.
extern OptionList track_list;
extern OptionList record_demo_list;    // "No", "Yes"
extern OptionList robot_skill_list;    // "Novice", "Amateur", "Expert"
extern Slider minutes_slider;          // 0..60
extern Slider laps_slider;             // 0..50
// "Gate 1" .. "Gate 40": the slot kind of each starting gate.
extern OptionList gate_lists[GATE_COUNT];
extern Slider ghost_fade_slider;       // "Ghost Fade Distance", feet
extern OptionList time_trial_abort_list;
extern OptionList playback_mode_list;  // "Playback Only", "Race Against"

// The track folder "@config" asked for (interned), null when none.
extern const char *wanted_track;
// Each start moves the kind of slot i to slot i + rotation (mod 160).
extern int lineup_rotation;
// The demo the Playback Race screen hands to reset_race, null otherwise.
extern const char *demo_to_play;

// The demos found under "demos/": game-file names and their display names.
extern GrowableArray demo_list;        // const char *, interned
extern GrowableArray demo_names;       // const char *, interned

// The series screens' state.
extern int chosen_series;              // -1 = none
extern int series_page;
extern int demo_page;

// The Track list from the track catalogue (the selection kept in range);
// sync_track_list rebuilds it when the catalogue was scanned again.
void build_track_list(void);
void sync_track_list(void);
// Selects the catalogue's track of that folder: 1, else 0 and unchanged.
int select_track_folder(const char *folder);
// The folder of the selected track, null when the list is empty.
const char *selected_track_folder(void);

// Every "demos/*.kzdemo" of the file index, in index order.
void build_demo_list(void);
void free_demo_list(void);

// The series list screen at a page (its rows refilled).
void show_series_page(int page);

// Sets up and starts the next event of a series: 1, or 0 when the series
// has run all its events.
int start_series_event(int series);
// One row of a series' standings table.
struct StandingsRow {
    long long total;   // points over the rounds done
    int place;         // place in the latest round done, 0 = first
    int rider;         // series rider, the player at n
};
// Total points descending, then the place in the latest round ascending.
int compare_standings(const void *a, const void *b);
// The standings rows of a series (n + 1 of them), ordered; the count.
int build_standings_rows(int series, StandingsRow *rows);
// The starting slot of the rider lined up j-th (0..n) in a field of n + 1.
int series_gate(int j, int n);
// The slot kinds (160) of a series' next event: 1 or 0 when none is left.
int series_lineup(const SeriesEvent *event, int *kinds);
