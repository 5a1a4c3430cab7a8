// The race screens' records and keys: New Race with its starting gates,
// Time Trial, Playback Race over the demo list, the points series list and
// a series' standings, and the lineup of a series event.
#include "app/race_screens.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/race_screen_items.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/race_control.h"
#include "race/series.h"
#include "render/render_settings.h"
#include "track/track.h"

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};

const char *const NO_YES[] = {"No", "Yes"};
const char *const SKILLS[] = {"Novice", "Amateur", "Expert"};
const char *const GATE_KINDS[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
const char *const PLAYBACK_MODES[] = {"Playback Only", "Race Against"};

char gate_labels[GATE_COUNT][12];

int label_gates(void)
{
    for (int i = 0; i < GATE_COUNT; i++) {
        snprintf(gate_labels[i], sizeof gate_labels[i], "Gate %d", i + 1);
        gate_lists[i].label = gate_labels[i];
    }
    return 1;
}

constexpr OptionList gate(int selected)
{
    return OptionList{nullptr, GATE_KINDS, 5, selected, NO_RECT};
}

const char DEFAULT_DEMO[] = "@demos/default.kzdemo";
const int TICS_PER_MINUTE = 60 * 128;

int option_index(const OptionList *list)
{
    return clamp_selection(list->selected, list->count);
}

int starts_with(const char *text, const char *start)
{
    return !strncmp(text, start, strlen(start));
}

int ends_with(const char *text, const char *end)
{
    size_t n = strlen(text), m = strlen(end);
    return n >= m && !strcmp(text + n - m, end);
}

int race_length_tics(double minutes)
{
    return (int)(minutes * TICS_PER_MINUTE);
}

void refill_page_rows(MenuItem *rows, int page, int count, const char *(*label)(int))
{
    for (int i = 0; i < LIST_PAGE_ROWS; i++) {
        int index = page * LIST_PAGE_ROWS + i;
        rows[i].label = index < count ? label(index) : nullptr;
        if (!rows[i].label)
            hide_item_rect(&rows[i].rect);
    }
}

const char *demo_label(int index)
{
    return ((const char *const *)demo_names.data)[index];
}

const char *series_label(int index)
{
    const char *title = series_list.events[index].title;
    return title ? title : "";
}

int last_page(int count)
{
    int last = (count - 1) / LIST_PAGE_ROWS;
    return last < 0 ? 0 : last;
}

// The kinds of slots 0..39 back into the gate lists.
void show_lineup(void)
{
    for (int i = 0; i < GATE_COUNT; i++) {
        int kind = slot_kinds[i];
        gate_lists[i].selected = kind >= 0 && kind < 5 ? kind : 0;
    }
}

void rotate_lineup(void)
{
    int rotation = ((lineup_rotation % BIKE_SLOT_COUNT) + BIKE_SLOT_COUNT) % BIKE_SLOT_COUNT;
    int rotated[BIKE_SLOT_COUNT];
    for (int i = 0; i < BIKE_SLOT_COUNT; i++)
        rotated[(i + rotation) % BIKE_SLOT_COUNT] = slot_kinds[i];
    memcpy(slot_kinds, rotated, sizeof rotated);
    show_lineup();
}

}  // namespace

OptionList track_list = {"Track", nullptr, 0, 0, NO_RECT};
OptionList record_demo_list = {"Record Demo", NO_YES, 2, 0, NO_RECT};
OptionList robot_skill_list = {"Robot Skill", SKILLS, 3, 0, NO_RECT};
Slider minutes_slider = {"Minutes", 0, 1, 0, 60, NO_RECT, 0, 0};
Slider laps_slider = {"Laps", 5, 1, 0, 50, NO_RECT, 0, 0};
OptionList gate_lists[GATE_COUNT] = {
    gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0),
    gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(2), gate(2), gate(1),
    gate(2), gate(2), gate(2), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0),
    gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0), gate(0),
};
namespace {
const int gates_labelled = label_gates();
}
Slider ghost_fade_slider = {"Ghost Fade Distance", 10, 1, 0, 40, NO_RECT, 0, 0};
OptionList time_trial_abort_list = {"Backing Up Aborts Attempt", NO_YES, 2, 1, NO_RECT};
OptionList playback_mode_list = {"Playback Mode", PLAYBACK_MODES, 2, 0, NO_RECT};

const char *wanted_track;
int lineup_rotation;
const char *demo_to_play;
GrowableArray demo_list;
GrowableArray demo_names;
int chosen_series = -1;
int series_page;
int demo_page;

RaceScreenItems race_items = {
    .new_race_back = {"Back to Main Menu", NO_RECT},
    .new_race_start = {"Start", NO_RECT},
    .time_trial_back = {"Back to Main Menu", NO_RECT},
    .time_trial_start = {"Start", NO_RECT},
    .playback_back = {"Back to Main Menu", NO_RECT},
    .playback_prev = {"Prev Page", NO_RECT},
    .playback_next = {"Next Page", NO_RECT},
    .demo_rows = {},
    .series_back = {"Back to Main Menu", NO_RECT},
    .series_prev = {"Prev Page", NO_RECT},
    .series_next = {"Next Page", NO_RECT},
    .series_rows = {},
    .standings_back = {"Back to Points Series List", NO_RECT},
    .standings_enter = {"Enter Next Event", NO_RECT},
    .standings_practice = {"Practice Next Event", NO_RECT},
    .standings_reset = {"Reset Points", NO_RECT},
};

namespace {
RaceScreenItems &r = race_items;
}

const WidgetRect *const new_race_rects[] = {
    &r.new_race_back.rect, &r.new_race_start.rect, &track_list.rect, &record_demo_list.rect,
    &robot_skill_list.rect, &minutes_slider.rect, &laps_slider.rect,
    &gate_lists[0].rect, &gate_lists[1].rect, &gate_lists[2].rect, &gate_lists[3].rect,
    &gate_lists[4].rect, &gate_lists[5].rect, &gate_lists[6].rect, &gate_lists[7].rect,
    &gate_lists[8].rect, &gate_lists[9].rect, &gate_lists[10].rect, &gate_lists[11].rect,
    &gate_lists[12].rect, &gate_lists[13].rect, &gate_lists[14].rect, &gate_lists[15].rect,
    &gate_lists[16].rect, &gate_lists[17].rect, &gate_lists[18].rect, &gate_lists[19].rect,
    &gate_lists[20].rect, &gate_lists[21].rect, &gate_lists[22].rect, &gate_lists[23].rect,
    &gate_lists[24].rect, &gate_lists[25].rect, &gate_lists[26].rect, &gate_lists[27].rect,
    &gate_lists[28].rect, &gate_lists[29].rect, &gate_lists[30].rect, &gate_lists[31].rect,
    &gate_lists[32].rect, &gate_lists[33].rect, &gate_lists[34].rect, &gate_lists[35].rect,
    &gate_lists[36].rect, &gate_lists[37].rect, &gate_lists[38].rect, &gate_lists[39].rect,
    nullptr,
};

const WidgetRect *const time_trial_rects[] = {
    &r.time_trial_back.rect, &r.time_trial_start.rect, &track_list.rect, &ghost_fade_slider.rect,
    &time_trial_abort_list.rect, nullptr,
};

#define ROW_RECTS(rows)                                                                             \
    &rows[0].rect, &rows[1].rect, &rows[2].rect, &rows[3].rect, &rows[4].rect, &rows[5].rect,      \
        &rows[6].rect, &rows[7].rect, &rows[8].rect, &rows[9].rect, &rows[10].rect, &rows[11].rect, \
        &rows[12].rect, &rows[13].rect, &rows[14].rect, &rows[15].rect, &rows[16].rect,             \
        &rows[17].rect, &rows[18].rect, &rows[19].rect

const WidgetRect *const playback_rects[] = {
    &r.playback_back.rect, &playback_mode_list.rect, &r.playback_prev.rect, ROW_RECTS(r.demo_rows),
    &r.playback_next.rect, nullptr,
};

const WidgetRect *const series_list_rects[] = {
    &r.series_back.rect, &r.series_prev.rect, ROW_RECTS(r.series_rows), &r.series_next.rect, nullptr,
};

const WidgetRect *const standings_rects[] = {
    &r.standings_back.rect, &r.standings_enter.rect, &r.standings_practice.rect, &r.standings_reset.rect,
    nullptr,
};

// ---- lists ------------------------------------------------------------------------

void build_track_list(void)
{
    set_option_choices(&track_list, (const char *const *)track_catalogue.long_names, track_catalogue.count);
}

void sync_track_list(void)
{
    if (track_list.choices != (const char *const *)track_catalogue.long_names ||
        track_list.count != track_catalogue.count)
        build_track_list();
}

int select_track_folder(const char *folder)
{
    if (!folder)
        return 0;
    sync_track_list();
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders[i] && !strcmp(track_catalogue.folders[i], folder)) {
            track_list.selected = i;
            return 1;
        }
    return 0;
}

const char *selected_track_folder(void)
{
    sync_track_list();
    if (track_list.count <= 0)
        return nullptr;
    return track_catalogue.folders[clamp_selection(track_list.selected, track_list.count)];
}

void build_demo_list(void)
{
    free_demo_list();
    if (!init_growable_array(&demo_list, sizeof(const char *)) ||
        !init_growable_array(&demo_names, sizeof(const char *)))
        fatal_out_of_memory();
    const char *const *index = build_file_index();
    for (int i = 0; index && index[i]; i++) {
        const char *name = index[i];
        if (!starts_with(name, "demos/") || !ends_with(name, ".kzdemo"))
            continue;
        const char *slash = strrchr(name, '/');
        const char *base = slash + 1;
        const char *dot = strrchr(base, '.');
        char display[1024];
        snprintf(display, sizeof display, "%.*s", (int)(dot - base), base);
        const char **path = (const char **)append_to_growable_array(&demo_list);
        const char **shown = (const char **)append_to_growable_array(&demo_names);
        if (!path || !shown)
            fatal_out_of_memory();
        *path = intern_string(name);
        *shown = intern_string(display);
        if (debug_level)
            log_printf("%s -> %s\n", *path, *shown);
    }
    if (demo_list.count == 0)
        free_demo_list();
    demo_page = 0;
    refill_page_rows(r.demo_rows, demo_page, demo_list.count, demo_label);
}

void free_demo_list(void)
{
    free_growable_array(&demo_list);
    free_growable_array(&demo_names);
}

// ---- New Race and Time Trial -----------------------------------------------------

void new_race_key(int key)
{
    sync_track_list();
    step_menu_selection(key, 6 + GATE_COUNT);
    int item = menu_selection;
    if (item == 0) {
        if (is_item_activated(&r.new_race_back.rect, key))
            set_menu_state(MENU_MAIN);
    } else if (item == 1) {
        if (!is_item_activated(&r.new_race_start.rect, key))
            return;
        set_menu_state(MENU_NONE);
        for (int i = 0; i < BIKE_SLOT_COUNT; i++)
            slot_kinds[i] = i < GATE_COUNT ? option_index(&gate_lists[i]) : 0;
        disconnect_from_server();
        reset_race(slot_kinds, 0, option_index(&record_demo_list), race_length_tics(minutes_slider.value),
                   (int)laps_slider.value, option_index(&robot_skill_list));
        rotate_lineup();
    } else if (item == 2) {
        if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.cursor_left)
            open_chooser(&track_list, "Choose Track", set_choice_result);
        else
            handle_option_list_key(&track_list, key);
    } else if (item == 3) {
        handle_option_list_key(&record_demo_list, key);
    } else if (item == 4) {
        handle_option_list_key(&robot_skill_list, key);
    } else if (item == 5) {
        handle_slider_key(&minutes_slider, key);
    } else if (item == 6) {
        handle_slider_key(&laps_slider, key);
    } else {
        handle_option_list_key(&gate_lists[item - 7], key);
    }
}

void track_menu_key(int key)
{
    sync_track_list();
    step_menu_selection(key, 4);
    int item = menu_selection;
    if (item == 0) {
        if (is_item_activated(&r.time_trial_back.rect, key))
            set_menu_state(MENU_MAIN);
    } else if (item == 1) {
        if (!is_item_activated(&r.time_trial_start.rect, key))
            return;
        set_menu_state(MENU_NONE);
        disconnect_from_server();
        reset_race(nullptr, 0, 0, 0, 1000, option_index(&robot_skill_list));
    } else if (item == 2) {
        if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.cursor_left)
            open_chooser(&track_list, "Choose Track", set_choice_result);
        else
            handle_option_list_key(&track_list, key);
    } else if (item == 3) {
        handle_slider_key(&ghost_fade_slider, key);
    } else {
        handle_option_list_key(&time_trial_abort_list, key);
    }
}

// ---- Playback Race -----------------------------------------------------------------

namespace {

void play_demo(int index)
{
    const char *name = ((const char *const *)demo_list.data)[index];
    size_t length = strlen(name) + 2;
    char *path = (char *)xmalloc(length);
    snprintf(path, length, "@%s", name);
    memset(slot_kinds, 0, sizeof slot_kinds);
    int record = 0;
    if (option_index(&playback_mode_list) == 1) {
        int player = 0;
        for (int i = 0; i < GATE_COUNT; i++)
            if (option_index(&gate_lists[i]) == 1) {
                player = i;
                break;
            }
        slot_kinds[player] = 1;
        record = option_index(&record_demo_list);
        if (record && !strcmp(path, DEFAULT_DEMO)) {
            print_message("Can't record and play from same file - recording disabled");
            record = 0;
        }
    }
    set_menu_state(MENU_NONE);
    disconnect_from_server();
    demo_to_play = path;
    reset_race(slot_kinds, 1, record, 0, 10, option_index(&robot_skill_list));
    demo_to_play = nullptr;
    checked_free(path);
}

}  // namespace

void demo_menu_key(int key)
{
    enum { FIRST_ROW = 3, NEXT_PAGE = 23 };
    int filled = demo_list.count - demo_page * LIST_PAGE_ROWS;
    step_menu_selection(key, NEXT_PAGE);
    skip_empty_rows(key, FIRST_ROW, LIST_PAGE_ROWS, filled > LIST_PAGE_ROWS ? LIST_PAGE_ROWS : filled);
    int item = menu_selection;
    if (item == 1) {
        handle_option_list_key(&playback_mode_list, key);
        return;
    }
    if (!is_item_activated(playback_rects[item], key))
        return;
    if (item == 0) {
        set_menu_state(MENU_MAIN);
    } else if (item == 2 || item == NEXT_PAGE) {
        int page = demo_page + (item == 2 ? -1 : 1);
        if (page >= 0 && page <= last_page(demo_list.count))
            demo_page = page;
        refill_page_rows(r.demo_rows, demo_page, demo_list.count, demo_label);
    } else if (r.demo_rows[item - FIRST_ROW].label) {
        play_demo(item - FIRST_ROW + demo_page * LIST_PAGE_ROWS);
    }
}

// ---- Points Series -----------------------------------------------------------------

namespace {

enum { SERIES_FIRST_ROW = 2, SERIES_NEXT_PAGE = 22 };

int series_item_shown(int item)
{
    if (item == 0)
        return 1;
    if (item == 1)
        return series_page > 0;
    if (item == SERIES_NEXT_PAGE)
        return series_page < last_page(series_list.count);
    return r.series_rows[item - SERIES_FIRST_ROW].label != nullptr;
}

void refill_series_rows(void)
{
    refill_page_rows(r.series_rows, series_page, series_list.count, series_label);
    if (series_page == 0)
        hide_item_rect(&r.series_prev.rect);
    if (series_page >= last_page(series_list.count))
        hide_item_rect(&r.series_next.rect);
}

SeriesEvent *series_event(int series)
{
    if (series < 0 || series >= series_list.count || !series_list.events)
        return nullptr;
    return &series_list.events[series];
}

}  // namespace

void show_series_page(int page)
{
    series_page = page < 0 ? 0 : page > last_page(series_list.count) ? last_page(series_list.count) : page;
    refill_series_rows();
}

void series_list_key(int key)
{
    int step = key == menu_keys.down ? 1 : key == menu_keys.up ? -1 : 0;
    if (step) {
        // Hidden buttons and empty rows are passed over; with nothing
        // beyond, the selection stays.
        for (int item = menu_selection + step; item >= 0 && item <= SERIES_NEXT_PAGE; item += step)
            if (series_item_shown(item)) {
                menu_selection = item;
                break;
            }
        return;
    }
    int item = menu_selection;
    if (item < 0 || item > SERIES_NEXT_PAGE || !series_item_shown(item) ||
        !is_item_activated(series_list_rects[item], key))
        return;
    if (item == 0) {
        set_menu_state(MENU_MAIN);
    } else if (item == 1 || item == SERIES_NEXT_PAGE) {
        int page = series_page + (item == 1 ? -1 : 1);
        if (page >= 0 && page <= last_page(series_list.count))
            series_page = page;
        refill_series_rows();
    } else {
        chosen_series = item - SERIES_FIRST_ROW + series_page * LIST_PAGE_ROWS;
        set_menu_state(MENU_SERIES_STANDINGS);
    }
}

void standings_key(int key)
{
    step_menu_selection(key, 3);
    int item = menu_selection;
    if (!is_item_activated(standings_rects[item], key))
        return;
    SeriesEvent *event = series_event(chosen_series);
    if (item == 0) {
        set_menu_state(MENU_POINTS_SERIES);
        refill_series_rows();
    } else if (item == 1) {
        if (!event || current_event == chosen_series)
            return;
        set_menu_state(MENU_NONE);
        int round = event->rounds_played;
        if (start_series_event(chosen_series)) {
            current_event = chosen_series;
            expected_round = round;
        }
    } else if (item == 2) {
        set_menu_state(MENU_NONE);
        start_series_event(chosen_series);
    } else if (event) {
        event->rounds_played = 0;
    }
}

int series_gate(int j, int n)
{
    static const int WIDE_FIELD[20] = {10, 9, 11, 8, 12, 7, 13, 6, 14, 5, 15, 4, 16, 3, 17, 2, 18, 1, 19, 0};
    if (n <= 14)
        return 6 + 2 * j;
    if (j < 20)
        return WIDE_FIELD[j];
    return j;   // 20..39 in order, then slots 40, 41, ...
}

int series_lineup(const SeriesEvent *event, int *kinds)
{
    if (!event || event->rounds_played >= event->round_count || event->rounds_played < 0 || !event->rounds)
        return 0;
    int n = event->rider_count;
    if (n < 0 || n >= BIKE_SLOT_COUNT)
        return 0;
    memset(kinds, 0, sizeof(int) * BIKE_SLOT_COUNT);
    auto kind_of = [event, n](int rider) {
        return rider == n ? SLOT_PLAYER : SLOT_ROBOT_NUMBER + event->rider_numbers[rider];
    };
    if (event->rounds_played == 0) {
        for (int i = 0; i <= n; i++)
            kinds[i] = kind_of(i);
        return 1;
    }
    const SeriesRound *previous = &event->rounds[event->rounds_played - 1];
    auto place = [previous, n](int rider) {
        int p = previous->positions[rider];
        return p < 0 ? 0 : p > n ? n : p;
    };
    // Worst place first; ties keep the riders' order.
    int order[SERIES_PLACES];
    for (int i = 0; i <= n; i++)
        order[i] = i;
    for (int i = 1; i <= n; i++)
        for (int k = i; k > 0 && place(order[k - 1]) < place(order[k]); k--) {
            int swap = order[k];
            order[k] = order[k - 1];
            order[k - 1] = swap;
        }
    for (int j = 0; j <= n; j++)
        kinds[series_gate(j, n)] = kind_of(order[j]);
    return 1;
}

int start_series_event(int series)
{
    SeriesEvent *event = series_event(series);
    if (!series_lineup(event, slot_kinds))
        return 0;
    const SeriesRound *round = &event->rounds[event->rounds_played];
    if (round->track >= 0 && round->track < track_catalogue.count) {
        sync_track_list();
        track_list.selected = round->track;
    }
    disconnect_from_server();
    reset_race(slot_kinds, 0, option_index(&record_demo_list), race_length_tics(round->race_values[0]),
               round->race_values[1], event->robot_skill);
    return 1;
}

int compare_standings(const void *a, const void *b)
{
    const StandingsRow *x = (const StandingsRow *)a, *y = (const StandingsRow *)b;
    if (x->total != y->total)
        return x->total > y->total ? -1 : 1;
    if (x->place != y->place)
        return x->place < y->place ? -1 : 1;
    return x->rider - y->rider;
}

int build_standings_rows(int series, StandingsRow *rows)
{
    const SeriesEvent *event = series_event(series);
    if (!event || event->rider_count < 0 || event->rider_count >= SERIES_PLACES)
        return 0;
    int n = event->rider_count;
    int done = event->rounds_played < event->round_count ? event->rounds_played : event->round_count;
    for (int i = 0; i <= n; i++) {
        rows[i].total = 0;
        rows[i].place = 0;
        rows[i].rider = i;
        for (int k = 0; k < done; k++) {
            int place = event->rounds[k].positions[i];
            if (place >= 0 && place < SERIES_PLACES)
                rows[i].total += event->rounds[k].points[place];
            rows[i].place = place;
        }
    }
    qsort(rows, (size_t)n + 1, sizeof *rows, compare_standings);
    return n + 1;
}
