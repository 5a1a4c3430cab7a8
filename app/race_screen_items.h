// The buttons and list rows of the race screens, shared by their keys and
// their drawing.
#pragma once

#include "app/race_screens.h"
#include "app/widgets.h"

struct RaceScreenItems {
    MenuItem new_race_back, new_race_start;
    MenuItem time_trial_back, time_trial_start;
    MenuItem playback_back, playback_prev, playback_next;
    MenuItem demo_rows[LIST_PAGE_ROWS];
    MenuItem series_back, series_prev, series_next;
    MenuItem series_rows[LIST_PAGE_ROWS];
    MenuItem standings_back, standings_enter, standings_practice, standings_reset;
};
extern RaceScreenItems race_items;
