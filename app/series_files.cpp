// Reading points series files and their standings files. Counts, track
// names and places come from files and are checked before they size or
// index anything; a series that fails any check is dropped whole.
#include "app/series_files.h"

#include <cstdio>
#include <cstring>

#include "app/race_screens.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "race/series.h"
#include "render/render_settings.h"
#include "track/track.h"

namespace {

enum { TEXT_LENGTH = 1023 };

// A text in double quotes, else one word.
int read_title(GameFile *file, char *text)
{
    if (file_scanf(file, " \"%1023[^\"]\"", text) == 1)
        return 1;
    return file_scanf(file, "%1023s", text) == 1;
}

int read_int(GameFile *file, int *value)
{
    return file_scanf(file, "%d", value) == 1;
}

int clamp_int(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

int find_track_folder(const char *folder)
{
    for (int i = 0; i < track_catalogue.count; i++)
        if (track_catalogue.folders[i] && !strcmp(track_catalogue.folders[i], folder))
            return i;
    return -1;
}

// Rounds are added one at a time as they are read, doubling the room.
SeriesRound *add_round(SeriesEvent *event, int *capacity)
{
    if (event->round_count == *capacity) {
        int grown = *capacity ? *capacity * 2 : 4;
        SeriesRound *rounds =
            (SeriesRound *)checked_realloc(event->rounds, sizeof(SeriesRound) * (size_t)grown);
        if (!rounds)
            fatal_out_of_memory();
        event->rounds = rounds;
        *capacity = grown;
    }
    SeriesRound *round = &event->rounds[event->round_count++];
    memset(round, 0, sizeof *round);
    return round;
}

int read_round(GameFile *file, SeriesRound *round)
{
    char name[TEXT_LENGTH + 1], folder[TEXT_LENGTH + 1];
    if (!read_title(file, name) || !read_title(file, folder))
        return 0;
    int track = find_track_folder(folder);
    int minutes, laps;
    if (track < 0 || file_scanf(file, "%d %d", &minutes, &laps) != 2)
        return 0;
    for (int i = 0; i < SERIES_READ_POINTS; i++)
        if (!read_int(file, &round->points[i]))
            return 0;
    for (int i = 0; i < SERIES_READ_POINTS; i++)
        if (!read_int(file, &round->ranked[i]))
            return 0;
    round->name = intern_string(name);
    round->track = track;
    // The race's minutes and laps within the ranges of the race screens.
    round->race_values[0] = clamp_int(minutes, 0, 60);
    round->race_values[1] = clamp_int(laps, 0, 50);
    if (debug_level) {
        log_printf("  event %s (%s)\n", folder, name);
        log_printf("  event %s (%s)\n", folder, name);
    }
    return 1;
}

int skill_index(const char *name)
{
    if (!strcmp(name, "Novice"))
        return 0;
    if (!strcmp(name, "Amateur"))
        return 1;
    return 2;
}

}  // namespace

void free_series_event(SeriesEvent *event)
{
    checked_free(event->rounds);
    checked_free(event->standings_path);
    memset(event, 0, sizeof *event);
}

int read_series_file(const char *name, SeriesEvent *event)
{
    memset(event, 0, sizeof *event);
    size_t length = strlen(name) + 2;
    char *path = (char *)xmalloc(length);
    snprintf(path, length, "@%s", name);
    GameFile *file = file_open(path, "rb");
    checked_free(path);
    if (!file)
        return 0;
    char title[TEXT_LENGTH + 1], skill[TEXT_LENGTH + 1];
    int ok = read_title(file, title);
    int n = -1, m = -1;
    ok = ok && file_scanf(file, "%d %1023s", &n, skill) == 2 && n >= 0 && n <= SERIES_MAX_ROBOTS;
    for (int i = 0; ok && i < n; i++)
        ok = read_int(file, &event->rider_numbers[i]) && event->rider_numbers[i] >= 0 &&
             event->rider_numbers[i] <= SERIES_MAX_ROBOT_NUMBER;
    ok = ok && read_int(file, &m) && m >= 0 && m <= SERIES_MAX_ROUNDS;
    if (ok && debug_level)
        log_printf("series %s (%s)\n", name, title);
    int capacity = 0;
    for (int r = 0; ok && r < m; r++)
        ok = read_round(file, add_round(event, &capacity));
    file_close(file);
    if (!ok) {
        free_series_event(event);
        return 0;
    }
    event->title = intern_string(title);
    event->rider_count = n;
    event->robot_skill = skill_index(skill);
    size_t path_length = strlen(name) + sizeof "@_standings";
    event->standings_path = (char *)xmalloc(path_length);
    snprintf(event->standings_path, path_length, "@%s_standings", name);
    read_series_standings(event);
    return 1;
}

void read_series_standings(SeriesEvent *event)
{
    event->rounds_played = 0;
    GameFile *file = event->standings_path ? file_open(event->standings_path, "rb") : nullptr;
    if (file) {
        int n = event->rider_count;
        // A round is done when all n + 1 places are there and each is one
        // of 1..n+1; the first that is not ends the reading.
        for (int r = 0; r < event->round_count; r++) {
            SeriesRound *round = &event->rounds[r];
            int complete = 1;
            for (int i = 0; complete && i <= n; i++) {
                int place;
                complete = read_int(file, &place) && place >= 1 && place <= n + 1;
                if (complete)
                    round->positions[i] = place - 1;
            }
            if (!complete)
                break;
            event->rounds_played = r + 1;
        }
        file_close(file);
    }
    rank_series_standings(event);
}

void read_series_files(void)
{
    free_series_list();
    const char *const *index = build_file_index();
    int capacity = 0;
    for (int i = 0; index && index[i]; i++) {
        const char *name = index[i];
        size_t length = strlen(name);
        if (length < 7 || strcmp(name + length - 7, ".series"))
            continue;
        SeriesEvent event;
        if (!read_series_file(name, &event))
            continue;
        if (series_list.count == capacity) {
            int grown = capacity ? capacity * 2 : 16;
            SeriesEvent *events =
                (SeriesEvent *)checked_realloc(series_list.events, sizeof(SeriesEvent) * (size_t)grown);
            if (!events)
                fatal_out_of_memory();
            series_list.events = events;
            capacity = grown;
        }
        series_list.events[series_list.count++] = event;
    }
    if (series_list.count == 0)
        free_series_list();
    chosen_series = -1;
    show_series_page(0);
}

void free_series_list(void)
{
    for (int i = 0; i < series_list.count; i++)
        free_series_event(&series_list.events[i]);
    checked_free(series_list.events);
    series_list.events = nullptr;
    series_list.count = 0;
}
