// The running order and the race results: the lap count of a timed race,
// the test that every rider who matters is done, missed-gate penalties,
// and "@results.txt" with every finished rider's laps and gate times.
#include "race/results.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "bike/bike_getters.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/replace_file.h"
#include "core/message.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/timing.h"
#include "track/track.h"

RunningOrderEntry running_order[BIKE_SLOT_COUNT];
int running_order_count;
RunningOrderEntry results_order[BIKE_SLOT_COUNT];
int results_order_count;
int results_written;

namespace {

const char *const RESULTS_PATH = "@results.txt";
const int REMOTE_TIMEOUT_TICS = 10 * TIC_RATE;

int clamp_to_int(long long value)
{
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : (int)value;
}

// One entry per occupied slot in slot order, sorted.
int build_order(RunningOrderEntry *order)
{
    int count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        const BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        int last = bike->gates_passed > 0 ? get_gate_time(bike, bike->gates_passed - 1) : 0;
        order[count++] = {slot, bike->gates_passed, last < 0 ? 0 : last};
    }
    heap_sort(order, count, sizeof order[0], compare_running_order);
    return count;
}

// Entries of the running order that can be read.
int running_order_entries(void)
{
    return running_order_count < 0 ? 0 : running_order_count > BIKE_SLOT_COUNT ? BIKE_SLOT_COUNT
                                                                              : running_order_count;
}

// The earliest tic after 0 at which a rider of the running order passed the
// gate; 0 when none did.
int earliest_pass(int gate)
{
    int earliest = 0;
    for (int i = 0; i < running_order_entries(); i++) {
        const BikeState *bike = get_slot_bike(running_order[i].slot);
        int tic = bike ? get_gate_time(bike, gate) : -1;
        if (tic > 0 && (earliest == 0 || tic < earliest))
            earliest = tic;
    }
    return earliest;
}

// The half-way lap, and once time is up the lap the race ends with: the
// race's laps after the first lap completed at or after time up.
void decide_timed_laps(void)
{
    RaceSettings *rs = &race_settings;
    int leader_gates = running_order_count > 0 ? running_order[0].gates : 0;
    long long start = rs->start_tic;
    if (rs->halfway_lap == LAP_NOT_DECIDED && current_tic >= start + rs->length_tics / 2)
        rs->halfway_lap = lap_of_gates(leader_gates) + 1;
    long long time_up = start + rs->length_tics;
    if (current_tic < time_up || lap_gate_list.normal_lap_count <= 0)
        return;
    int h = lap_of_gates(leader_gates) - 1;
    int o = h < 1 ? 1 : rs->final_lap < h ? rs->final_lap : h;
    if (o < 1)
        o = 1;
    for (; o < INT_MAX; o++) {
        int tic = earliest_pass(lap_end_gate(o));
        if (tic == 0)
            break;
        if (tic >= time_up) {
            int last = clamp_to_int((long long)o + rs->laps);
            if (last < rs->final_lap)
                rs->final_lap = last;
            break;
        }
        int beyond = clamp_to_int((long long)o + rs->laps + 1);
        if (beyond > rs->final_lap)
            rs->final_lap = beyond;
    }
}

// An unfinished rider who cannot hold the race up: offline a remote rider
// with no state within 10 s; online any rider but our own without a state
// for a second, and the local rider while we only watch.
int is_ignorable(int slot)
{
    if (net_socket == -1) {
        if (rider_kind[slot] != RIDER_REMOTE)
            return 0;
        int older, newer;
        if (!find_history_pair(slot, current_tic, &older, &newer) || newer < 0 ||
            newer >= HISTORY_LENGTH)
            return 1;
        return (long long)current_tic - state_history[slot].ticks[newer] > REMOTE_TIMEOUT_TICS;
    }
    if (slot != own_slot && (long long)current_tic - (long long)last_state_tic[slot] >= TIC_RATE)
        return 1;
    return rider_kind[slot] == RIDER_LOCAL && local_gate_position == NO_SLOT;
}

int is_race_done(void)
{
    for (int i = 0; i < running_order_entries(); i++) {
        int slot = running_order[i].slot;
        BikeState *bike = get_slot_bike(slot);
        if (bike && !check_bike_finished(bike) && !is_ignorable(slot))
            return 0;
    }
    return 1;
}

// Missed sections cost their time; whole laps go for the penalty, one best
// lap each, while the penalty is above the best lap.
void apply_penalties(void)
{
    results_order_count = build_order(results_order);
    int first = lap_gate_list.first_lap_count, per_lap = lap_gate_list.normal_lap_count;
    for (int i = 0; i < results_order_count; i++) {
        RunningOrderEntry *entry = &results_order[i];
        const BikeState *bike = get_slot_bike(entry->slot);
        if (!bike)
            continue;
        long long penalty = get_missed_gate_penalty(bike);
        int best_tics = 0;
        if (lap_of_gates(entry->gates) >= 2)
            get_best_lap(bike, &best_tics);
        while (best_tics > 0 && per_lap > 0 && penalty > best_tics && entry->gates > first) {
            entry->gates -= per_lap;
            penalty -= best_tics;
        }
        entry->last_gate_tic = clamp_to_int(entry->last_gate_tic + penalty);
    }
    heap_sort(results_order, results_order_count, sizeof results_order[0], compare_running_order);
}

// Tics as whole milliseconds, held to 0..INT_MAX.
int tics_to_ms(long long tics)
{
    float seconds = (float)tics * TIC_LENGTH;
    float ms = seconds * 1000.0f;
    if (!(ms > 0.0f))
        return 0;
    return ms >= 2147483520.0f ? INT_MAX : (int)ms;
}

void print_ms(GameFile *file, int ms)
{
    file_printf(file, "%3d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
}

}  // namespace

// Every line goes to the one stream, whose first failure the commit reports.
int write_results_file(void)
{
    ReplacementFile out;
    if (!open_replacement_file(&out, RESULTS_PATH))
        return 0;
    GameFile *file = out.file;
    const RaceSettings *rs = &race_settings;
    file_printf(file, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n",
                       (double)((float)rs->length_tics * TIC_LENGTH), rs->laps,
                       current_track.folder ? current_track.folder : "", (long)time(nullptr));
    file_printf(file, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps",
                       "Total Time", "BLap", "Best Time");
    for (int i = 0; i < results_order_count; i++) {
        const RunningOrderEntry *entry = &results_order[i];
        BikeState *bike = get_slot_bike(entry->slot);
        if (!bike || !check_bike_finished(bike))
            continue;
        char number[RIDER_NUMBER_LENGTH];
        snprintf(number, sizeof number, "%.*s", RIDER_NUMBER_LENGTH - 1, get_rider_number_text(bike));
        file_printf(file, "%4s | %12s | %4d | ", number, get_bike_model_name(bike),
                           lap_of_gates(entry->gates));
        print_ms(file, tics_to_ms((long long)entry->last_gate_tic - rs->start_tic));
        int best_tics;
        int best = get_best_lap(bike, &best_tics);
        file_printf(file, " | %4d | ", best);
        print_ms(file, tics_to_ms(best_tics));
        file_printf(file, "\r\n");
    }
    for (int i = 0; i < results_order_count; i++) {
        BikeState *bike = get_slot_bike(results_order[i].slot);
        if (!bike || !check_bike_finished(bike))
            continue;
        int gates = bike->gates_passed;
        file_printf(file, "\r\n%d\r\n", gates);
        for (int g = 0; g < gates; g++) {
            int tic = get_gate_time(bike, g);
            if (tic == -1)
                file_printf(file, "%8d", -1);
            else
                file_printf(file, "%8.3f",
                                   (double)((float)((long long)tic - rs->start_tic) * TIC_LENGTH));
            int same_lap = g + 1 < gates && lap_of_gates(g + 1) == lap_of_gates(g);
            file_printf(file, same_lap ? " " : "\r\n");
        }
    }
    return commit_replacement_file(&out);
}

int compare_running_order(const void *a, const void *b)
{
    const RunningOrderEntry *x = (const RunningOrderEntry *)a, *y = (const RunningOrderEntry *)b;
    if (x->gates != y->gates)
        return x->gates > y->gates ? -1 : 1;
    if (x->last_gate_tic != y->last_gate_tic)
        return x->last_gate_tic < y->last_gate_tic ? -1 : 1;
    return x->slot < y->slot ? -1 : x->slot > y->slot ? 1 : 0;
}

int get_missed_gate_penalty(const BikeState *bike)
{
    long long penalty = 0;
    long long previous = race_settings.start_tic;   // unknown gates at the start count from here
    int missed = 0;
    for (int gate = 0; gate < bike->gates_passed; gate++) {
        int tic = get_gate_time(bike, gate);
        if (tic == -1) {
            missed++;
            continue;
        }
        if (missed > 0) {
            long long expected = (long long)average_section_time(gate - missed - 1, gate) + TIC_RATE;
            if (tic - previous < expected)
                penalty += expected - (tic - previous);
        }
        previous = tic;
        missed = 0;
    }
    return clamp_to_int(penalty);
}

void write_results(void)
{
    if (results_written)
        return;
    running_order_count = build_order(running_order);
    if (race_settings.length_tics > 0)
        decide_timed_laps();
    if (!is_race_done())
        return;
    apply_penalties();
    if (results_order_count > 0) {
        BikeState *first = get_slot_bike(results_order[0].slot);
        if (first && check_bike_finished(first))
            write_results_file();
    }
    results_written = 1;
    finish_series_event();
}
