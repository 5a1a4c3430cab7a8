// A bike's gate record and what is derived from it: the lap arithmetic over
// the track's lap layout, lap times, the finish rule, the off-course test
// and rider visibility, mean section times for missed-gate penalties, and
// the lap pool row of a gate count.
#include "race/gates.h"

#include <climits>

#include "bike/bike_state.h"
#include "net/client.h"
#include "race/history.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "track/timing.h"

float off_course_bias = 10.0f;
float off_course_scale = 1.5f;

namespace {

const int NO_RIDERS_SECTION_TICS = 60 * TIC_RATE;
const int PENALTY_SLACK_TICS = 5 * TIC_RATE;   // 640: five seconds

int clamp_to_int(long long value)
{
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : (int)value;
}

// F and P, held to the lap list's room.
int first_lap_gates(void)
{
    int f = lap_gate_list.first_lap_count;
    return f < 0 ? 0 : f > LAP_GATE_SLOTS ? LAP_GATE_SLOTS : f;
}

int gates_per_lap(void)
{
    int p = lap_gate_list.normal_lap_count;
    int room = LAP_GATE_SLOTS - first_lap_gates();
    return p < 0 ? 0 : p > room ? room : p;
}

int is_known(int tic)
{
    return tic >= 0;
}

// Counted for the race's mean times: a local rider only offline or while
// the local player rides.
int counts_for_section_times(int slot)
{
    if (rider_kind[slot] != RIDER_LOCAL)
        return 1;
    return net_socket == -1 || local_gate_position != NO_SLOT;
}

// The tics from gate start to gate end with every gate between known; 0
// when not all are known. Below gate 0 a section starts at the gate drop,
// as the missed-gate penalty counts a rider's own run from it.
int section_sample(const BikeState *bike, long long start, long long end, long long *tics)
{
    int from = start < 0 ? race_settings.start_tic : get_gate_time(bike, (int)start);
    int to = end < 0 || end > INT_MAX ? -1 : get_gate_time(bike, (int)end);
    if (!is_known(from) || !is_known(to))
        return 0;
    for (long long g = start + 1; g < end; g++)
        if (g < 0 || !is_known(get_gate_time(bike, (int)g)))
            return 0;
    *tics = (long long)to - from;
    return 1;
}

// A rider's contribution to average_section_time; 0 when it has none.
int rider_section_time(const BikeState *bike, int first, int last, long long *tics)
{
    int f = first_lap_gates(), p = gates_per_lap();
    if (first < f) {
        long long sample;
        if (!section_sample(bike, first, last, &sample) || sample < 0)
            return 0;
        *tics = sample;
        return 1;
    }
    // Beyond the first lap the section repeats once per normal lap; a track
    // without a normal lap has no such section.
    if (p <= 0)
        return 0;
    long long start = f + (first - f) % p;
    long long end = start + ((long long)last - first);
    long long sum = 0;
    int samples = 0;
    for (; bike->gates_passed > end; start += p, end += p) {
        long long sample;
        if (section_sample(bike, start, end, &sample)) {
            sum += sample;
            samples++;
        }
    }
    if (samples == 0 || sum / samples < 0)
        return 0;
    *tics = sum / samples;
    return 1;
}

}  // namespace

int track_has_timing(void)
{
    return timing_gate_count > 0 && first_lap_gates() + gates_per_lap() > 0;
}

int get_lap_list_entry(int gate)
{
    int f = first_lap_gates(), p = gates_per_lap();
    if (gate < 0)
        return -1;
    if (gate < f)
        return lap_gate_list.entries[gate];
    if (p <= 0)
        return -1;
    return lap_gate_list.entries[f + (gate - f) % p];
}

int get_gates_passed(const BikeState *bike)
{
    return bike->gates_passed;
}

int get_gate_time(const BikeState *bike, int gate)
{
    const GrowableArray *times = &bike->gate_times;
    if (gate < 0 || gate >= times->count || !times->data || times->element_size != (int)sizeof(int))
        return -1;
    return ((const int *)times->data)[gate];
}

void set_gate_time(BikeState *bike, int gate, int tic)
{
    GrowableArray *times = &bike->gate_times;
    if (gate < 0 || gate >= GATE_INDEX_LIMIT || times->element_size != (int)sizeof(int))
        return;
    while (times->count <= gate) {
        int *entry = (int *)append_to_growable_array(times);
        if (!entry)
            return;
        *entry = -1;
    }
    ((int *)times->data)[gate] = tic;
}

void set_gates_passed(BikeState *bike, int count)
{
    if (count < 0)
        count = 0;
    if (count > GATE_INDEX_LIMIT)
        count = GATE_INDEX_LIMIT;
    if (count < bike->gates_passed)
        bike->finished = 0;
    if (bike->gate_times.count > count)
        bike->gate_times.count = count;
    bike->gates_passed = count;
    bike->race_flag = 0;
}

int lap_of_gates(int gates)
{
    int f = first_lap_gates(), p = gates_per_lap();
    if (p <= 0 || gates < f)
        return 0;
    return (gates - f) / p + 1;
}

int lap_end_gate(int lap)
{
    if (lap <= 0)
        return 0;
    return clamp_to_int((long long)first_lap_gates() + (long long)gates_per_lap() * (lap - 1) - 1);
}

void get_lap_progress(const BikeState *bike, int *lap, int *gate)
{
    int f = first_lap_gates(), p = gates_per_lap(), g = bike->gates_passed;
    if (!track_has_timing()) {
        *lap = 0;
        *gate = 0;
    } else if (p <= 0 || g < f) {
        *lap = 0;
        *gate = g;
    } else {
        *lap = (g - f) / p + 1;
        *gate = (g - f) % p;
    }
}

int get_lap_gate(const BikeState *bike)
{
    int f = first_lap_gates(), p = gates_per_lap(), g = bike->gates_passed;
    if (!track_has_timing())
        return 0;
    if (p <= 0 || g < f)
        return g;
    return (g - f) % p + 1;
}

int get_lap_tics(const BikeState *bike, int lap)
{
    if (!track_has_timing())
        return 0;
    int laps = lap_of_gates(bike->gates_passed);
    if (lap < 0)
        lap = laps;
    if (lap <= 0 || lap > laps)
        return 0;
    int start, end;
    if (lap == 1) {
        int f = first_lap_gates();
        if (f == 0)
            return 0;
        start = race_settings.start_tic;
        end = get_gate_time(bike, f - 1);
    } else {
        start = get_gate_time(bike, lap_end_gate(lap - 1));
        end = get_gate_time(bike, lap_end_gate(lap));
        if (!is_known(start))
            return 0;
    }
    if (!is_known(end))
        return 0;
    return clamp_to_int((long long)end - start);
}

float get_lap_time(const BikeState *bike, int lap)
{
    return (float)get_lap_tics(bike, lap) * TIC_LENGTH;
}

int get_best_lap(const BikeState *bike, int *tics)
{
    int best = 0, best_tics = 0;
    int laps = lap_of_gates(bike->gates_passed);
    for (int lap = 2; lap <= laps; lap++) {
        int t = get_lap_tics(bike, lap);
        if (t > 0 && (best == 0 || t < best_tics)) {
            best = lap;
            best_tics = t;
        }
    }
    *tics = best_tics;
    return best;
}

int check_bike_finished(BikeState *bike)
{
    if (!track_has_timing())
        return 0;
    if (bike->finished)
        return 1;
    if (running_order_count < 1)
        return 0;
    const BikeState *leader = get_slot_bike(running_order[0].slot);
    if (!leader)
        return 0;
    int final_gate = lap_end_gate(race_settings.final_lap);
    int leader_time = get_gate_time(leader, final_gate);
    if (leader->gates_passed <= final_gate || !is_known(leader_time))
        return 0;
    int f = first_lap_gates(), g = bike->gates_passed;
    int last_end = gates_per_lap() > 0 && g >= f ? lap_end_gate(lap_of_gates(g)) : 0;
    int own_time = get_gate_time(bike, last_end);
    if (!is_known(own_time) || own_time < leader_time)
        return 0;
    bike->finished = 1;
    return 1;
}

int is_gate_section_slow(const BikeState *bike, int gate)
{
    int low = gate - 3 > 0 ? gate - 3 : 0;
    long long a = race_settings.start_tic, b = current_tic;
    for (int g = gate - 1; g >= low; g--)
        if (is_known(get_gate_time(bike, g))) {
            a = get_gate_time(bike, g);
            break;
        }
    for (int g = gate; g < bike->gates_passed; g++)
        if (is_known(get_gate_time(bike, g))) {
            b = get_gate_time(bike, g);
            break;
        }
    for (int i = 0; i < running_order_count && i < BIKE_SLOT_COUNT; i++) {
        const BikeState *rider = get_slot_bike(running_order[i].slot);
        if (!rider)
            continue;
        if (rider->gates_passed <= gate)
            return 0;
        int before = get_gate_time(rider, gate - 1), at = get_gate_time(rider, gate);
        if (!is_known(before) || !is_known(at))
            continue;
        float allowed = (float)(at - before) * TIC_LENGTH * off_course_scale + off_course_bias;
        return (float)(b - a) * TIC_LENGTH >= allowed;
    }
    return 0;
}

int is_rider_off_course(const BikeState *bike)
{
    int n = bike->gates_passed;
    for (int g = n - 3 > 1 ? n - 3 : 1; g <= n; g++)
        if (is_gate_section_slow(bike, g))
            return 1;
    return 0;
}

int is_rider_set_aside(int slot)
{
    BikeState *own = get_slot_bike(own_slot);
    BikeState *bike = get_slot_bike(slot);
    if (!own || !bike || slot == own_slot)
        return 0;
    if ((long long)current_tic - (long long)last_state_tic[slot] >= TIC_RATE)
        return 1;
    double since_start = ((double)current_tic - race_settings.start_tic) * TIC_LENGTH;
    if (running_order_count < 2 || !(since_start >= off_course_bias))
        return 0;
    if (check_bike_finished(own) || own->gates_passed == 0 || is_rider_off_course(own))
        return 0;
    return check_bike_finished(bike) || bike->gates_passed == 0 || is_rider_off_course(bike);
}

int is_rider_hidden(int slot)
{
    if (!get_slot_bike(slot))
        return 1;
    int kind = rider_kind[slot];
    if (net_socket != -1 && local_gate_position == NO_SLOT && kind == RIDER_LOCAL &&
        slot != followed_slot)
        return 1;
    if (kind == RIDER_LOCAL || kind == RIDER_ROBOT)
        return 0;
    int older, newer;
    if (!find_history_pair(slot, current_tic, &older, &newer))
        return 1;
    if (older < 0 || older >= HISTORY_LENGTH || newer < 0 || newer >= HISTORY_LENGTH)
        return 1;
    long long older_tic = state_history[slot].ticks[older];
    long long newer_tic = state_history[slot].ticks[newer];
    if (current_tic < older_tic - TIC_RATE || newer_tic + TIC_RATE < current_tic)
        return 1;
    return is_rider_set_aside(slot);
}

int average_section_time(int first, int last)
{
    if (running_order_count <= 0)
        return NO_RIDERS_SECTION_TICS;
    if (last < first)
        return NO_RIDERS_SECTION_TICS;   // no section ends before it starts
    long long sum = 0;
    int riders = 0;
    for (int i = 0; i < running_order_count && i < BIKE_SLOT_COUNT; i++) {
        int slot = running_order[i].slot;
        const BikeState *bike = get_slot_bike(slot);
        long long tics;
        if (!bike || !counts_for_section_times(slot) || !rider_section_time(bike, first, last, &tics))
            continue;
        sum += tics;
        riders++;
    }
    return riders ? clamp_to_int(sum / riders) : NO_RIDERS_SECTION_TICS;
}

void lap_row_for_gates(int gates, int *row, int *lap_first_row)
{
    int f = first_lap_gates(), p = gates_per_lap();
    int first_rows = lap_gate_list.first_lap_timing, lap_rows = lap_gate_list.normal_lap_timing;
    if (gates < 0 || gates < f) {
        int count = 0;
        for (int g = 0; g < gates; g++)
            if (lap_gate_list.entries[g] < NOT_TIMING_MARK)
                count++;
        *row = count;
        *lap_first_row = 0;
        return;
    }
    if (p <= 0) {
        // No normal lap: the first lap's last row is the only one to give.
        *row = first_rows > 0 ? first_rows - 1 : 0;
        *lap_first_row = 0;
        return;
    }
    long long first_row = first_rows + (long long)((gates - f) / p) * lap_rows;
    int count = 0;
    for (int g = 0; g < (gates - f) % p; g++)
        if (lap_gate_list.entries[f + g] < NOT_TIMING_MARK)
            count++;
    *row = clamp_to_int(first_row + count);
    *lap_first_row = clamp_to_int(first_row);
}

int estimate_lap_candidate_time(const LapCandidate *candidate)
{
    long long runs = candidate->runs, penalties = candidate->penalties;
    long long estimate;
    if (runs <= 0) {
        estimate = (long long)candidate->pair_time * 5 / 4;
        if (penalties > 0)
            estimate += PENALTY_SLACK_TICS;
    } else {
        if (penalties < 0)
            penalties = 0;
        estimate = candidate->pair_sum / runs + PENALTY_SLACK_TICS * penalties / (runs + penalties);
    }
    return clamp_to_int(estimate);
}
