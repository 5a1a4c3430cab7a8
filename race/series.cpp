// The points series being raced: the round's finishing places of the series
// riders and the player, the standings after every played round, and the
// event's standings file.
#include "race/series.h"

#include <cstdio>
#include <cstring>

#include "bike/bike_getters.h"
#include "bike/bike_state.h"
#include "core/file.h"
#include "core/replace_file.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/results.h"

SeriesList series_list;
int current_event = -1;
int expected_round = -1;

namespace {

// The series rider whose number the text is, or -1.
int find_series_rider(const SeriesEvent *event, const char *number)
{
    if (strnlen(number, RIDER_NUMBER_LENGTH) == RIDER_NUMBER_LENGTH)
        return -1;
    for (int i = 0; i < event->rider_count; i++) {
        char text[16];
        snprintf(text, sizeof text, "%d", event->rider_numbers[i]);
        if (!strcmp(text, number))
            return i;
    }
    return -1;
}

// Places of the round being played, in the order of the results when they
// are written, else of the running order. A player who has not finished
// cleanly (results not written) stays last.
void place_riders(const SeriesEvent *event, SeriesRound *round)
{
    int n = event->rider_count;
    const RunningOrderEntry *order = results_written ? results_order : running_order;
    int count = results_written ? results_order_count : running_order_count;
    if (count > BIKE_SLOT_COUNT)
        count = BIKE_SLOT_COUNT;
    for (int i = 0; i <= n; i++)
        round->positions[i] = n;
    int place = 0;
    for (int k = 0; k < count; k++) {
        int slot = order[k].slot;
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        if (rider_kind[slot] == RIDER_LOCAL) {
            if (results_written || (check_bike_finished(bike) && get_missed_gate_penalty(bike) == 0))
                round->positions[n] = place++;
            continue;
        }
        int i = find_series_rider(event, get_rider_number_text(bike));
        if (i >= 0)
            round->positions[i] = place++;
    }
}

}  // namespace

int write_standings(const SeriesEvent *event)
{
    ReplacementFile out;
    if (!event->standings_path || !open_replacement_file(&out, event->standings_path))
        return 0;
    int ok = 1;
    for (int l = 0; ok && l < event->rounds_played; l++) {
        for (int i = 0; ok && i <= event->rider_count; i++)
            ok = file_printf(out.file, "%lld ", (long long)event->rounds[l].positions[i] + 1) > 0;
        ok = ok && file_printf(out.file, "\n") > 0;
    }
    return commit_replacement_file(&out);
}

void rank_series_standings(SeriesEvent *event)
{
    int n = event->rider_count;
    if (n < 0 || n >= SERIES_PLACES || !event->rounds)
        return;
    int rounds = event->rounds_played < event->round_count ? event->rounds_played : event->round_count;
    long long totals[SERIES_PLACES] = {};
    for (int l = 0; l < rounds; l++) {
        SeriesRound *round = &event->rounds[l];
        for (int i = 0; i <= n; i++) {
            int place = round->positions[i];
            if (place >= 0 && place < SERIES_PLACES)
                totals[i] += round->points[place];
        }
        if (!round->ranked[0])
            continue;
        // Ranked riders are marked aside: the totals carry on into the
        // next rounds.
        int ranked[SERIES_PLACES] = {};
        for (int rank = 0; rank <= n; rank++) {
            int best = -1;
            for (int i = 0; i <= n; i++) {
                if (ranked[i])
                    continue;
                if (best < 0 || totals[i] > totals[best] ||
                    (totals[i] == totals[best] && round->positions[i] < round->positions[best]))
                    best = i;
            }
            round->standings[best] = rank;
            ranked[best] = 1;
        }
    }
}

void finish_series_event(void)
{
    if (current_event == -1)
        return;
    SeriesEvent *event = current_event >= 0 && current_event < series_list.count && series_list.events
                             ? &series_list.events[current_event]
                             : nullptr;
    // An event that does not hold this round, or a field too large for the
    // tables, closes without a result.
    if (!event || event->rounds_played != expected_round || event->rider_count < 0 ||
        event->rider_count >= SERIES_PLACES || !event->rounds || event->rounds_played < 0 ||
        event->rounds_played >= event->round_count) {
        current_event = -1;
        expected_round = -1;
        return;
    }
    place_riders(event, &event->rounds[event->rounds_played]);
    event->rounds_played++;
    rank_series_standings(event);
    current_event = -1;
    expected_round = -1;
    write_standings(event);
}
