// The lap pool: its storage, made empty when a track's timing gates are
// read and freed with the track; the offer of a human's recorded section
// with the choice of the candidate it replaces; the runs and penalties that
// robots' rides give the candidates.
#include "race/lap_pool.h"

#include <climits>
#include <cstring>

#include "core/alloc.h"
#include "platform/log.h"
#include "race/gates.h"
#include "race/race_state.h"
#include "render/render_settings.h"

LapCandidate *lap_pool;
int lap_pool_rows;
int lap_pool_first_rows;
int *line_results;
int lap_serial_counter;

LapCandidate *lap_pool_row(int row)
{
    if (!lap_pool || row < 0)
        return nullptr;
    int lap_rows = lap_pool_rows - lap_pool_first_rows;
    if (row >= lap_pool_first_rows) {
        if (lap_rows <= 0)
            return nullptr;
        row = lap_pool_first_rows + (row - lap_pool_first_rows) % lap_rows;
    }
    return lap_pool + (size_t)row * LAP_POOL_CANDIDATES;
}

void create_lap_pool(int first_rows, int lap_rows)
{
    free_lap_pool();
    if (first_rows < 0 || lap_rows < 0 || first_rows + lap_rows <= 0)
        return;
    int rows = first_rows + lap_rows;
    size_t candidates = (size_t)rows * LAP_POOL_CANDIDATES;
    lap_pool = (LapCandidate *)xmalloc(candidates * sizeof(LapCandidate));
    memset(lap_pool, 0, candidates * sizeof(LapCandidate));
    for (size_t i = 0; i < candidates; i++) {
        lap_pool[i].section_time = LAP_NO_TIME;
        lap_pool[i].pair_time = LAP_NO_TIME;
        lap_pool[i].best_section_time = LAP_NO_TIME;
        lap_pool[i].best_pair_time = LAP_NO_TIME;
    }
    line_results = (int *)xmalloc((size_t)rows * LINE_RESULT_MODES * sizeof(int));
    memset(line_results, 0, (size_t)rows * LINE_RESULT_MODES * sizeof(int));
    lap_pool_rows = rows;
    lap_pool_first_rows = first_rows;
    lap_serial_counter = 0;
}

void free_lap_pool(void)
{
    if (lap_pool)
        for (int i = 0; i < lap_pool_rows * LAP_POOL_CANDIDATES; i++)
            checked_free(lap_pool[i].samples);
    checked_free(lap_pool);
    checked_free(line_results);
    lap_pool = nullptr;
    line_results = nullptr;
    lap_pool_rows = 0;
    lap_pool_first_rows = 0;
}

namespace {

// The pool index of a row, for the log.
int pool_row_index(const LapCandidate *candidates)
{
    return (int)((candidates - lap_pool) / LAP_POOL_CANDIDATES);
}

LapCandidate *find_candidate(int row, int serial)
{
    LapCandidate *candidates = lap_pool_row(row);
    if (!candidates || serial == 0)
        return nullptr;
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        if (candidates[i].serial == serial)
            return &candidates[i];
    return nullptr;
}

int is_empty_candidate(const LapCandidate *c)
{
    return c->count <= 0 || !c->samples;
}

int add_held(int value, long long amount)
{
    long long sum = (long long)value + amount;
    return sum > INT_MAX ? INT_MAX : sum < 0 ? 0 : (int)sum;
}

double squared_distance(const LineSample *a, const LineSample *b)
{
    double dx = (double)a->x - b->x, dy = (double)a->y - b->y, dz = (double)a->z - b->z;
    return dx * dx + dy * dy + dz * dz;
}

// Speeds within 1/16 ft/s and positions within 1/16 ft, sample by sample.
int is_same_section(const LapCandidate *candidate, const LineSample *samples, int count)
{
    if (candidate->count != count || !candidate->samples)
        return 0;
    for (int i = 0; i < count; i++) {
        const LineSample *a = &candidate->samples[i], *b = &samples[i];
        double speed = (double)a->speed - b->speed;
        if (!(speed <= 0.0625 && speed >= -0.0625) ||
            !(squared_distance(a, b) <= 0.00390625))
            return 0;
    }
    return 1;
}

// Another stored candidate starts within 2 ft of this one.
int has_shared_start(const LapCandidate *candidates, int index)
{
    const LapCandidate *c = &candidates[index];
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        if (i != index && !is_empty_candidate(&candidates[i]) &&
            squared_distance(&candidates[i].samples[0], &c->samples[0]) < 4.0)
            return 1;
    return 0;
}

double seconds(long long tics)
{
    return (double)tics * TIC_LENGTH;
}

void store_section(LapCandidate *slot, const LineSample *samples, int count, int section_time,
                   int pair_time)
{
    LineSample *copy = (LineSample *)xmalloc((size_t)count * sizeof(LineSample));
    memcpy(copy, samples, (size_t)count * sizeof(LineSample));
    checked_free(slot->samples);
    slot->samples = copy;
    slot->count = count;
    slot->section_time = section_time;
    slot->pair_time = pair_time;
    slot->runs = 0;
    slot->best_section_time = LAP_NO_TIME;
    slot->best_pair_time = LAP_NO_TIME;
    slot->section_sum = 0;
    slot->pair_sum = 0;
    slot->penalties = 0;
    slot->serial = ++lap_serial_counter;
}

}  // namespace

int choose_eviction_slot(int row)
{
    LapCandidate *candidates = lap_pool_row(row);
    if (!candidates)
        return -1;
    int finishing = 0;
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        if (!is_empty_candidate(&candidates[i]) && candidates[i].penalties < candidates[i].runs)
            finishing++;
    int best = -1;
    long long best_time = 0;
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++) {
        const LapCandidate *c = &candidates[i];
        if (is_empty_candidate(c))
            continue;
        if (finishing <= 22 && c->penalties < c->runs)
            continue;
        long long expected = estimate_lap_candidate_time(c);
        if (!has_shared_start(candidates, i))
            expected = expected * 3 / 4;
        if (best < 0 || expected > best_time) {
            best = i;
            best_time = expected;
        }
    }
    return best;
}

void penalise_candidate(int row, int serial)
{
    LapCandidate *c = find_candidate(row, serial);
    if (c)
        c->penalties = add_held(c->penalties, 1);
}

void credit_lap_candidate(int row, int serial, int section_time, int pair_time)
{
    LapCandidate *c = find_candidate(row, serial);
    if (!c || section_time < 0 || pair_time < 0)
        return;
    c->runs = add_held(c->runs, 1);
    if (section_time < c->best_section_time)
        c->best_section_time = section_time;
    if (pair_time < c->best_pair_time)
        c->best_pair_time = pair_time;
    c->section_sum = add_held(c->section_sum, section_time);
    c->pair_sum = add_held(c->pair_sum, pair_time);
}

int offer_lap_section(int row, const LineSample *samples, int count, int spoiled,
                      int section_time, int pair_time)
{
    LapCandidate *candidates = lap_pool_row(row);
    if (!candidates || section_time < 0 || pair_time < 0)
        return -1;
    int index = pool_row_index(candidates);
    if (count <= 0 || count > LAP_SECTION_SAMPLE_LIMIT || !samples || spoiled) {
        if (debug_level)
            log_printf("auto pilot: %d canceled\n", index);
        return -1;
    }
    for (int i = 0; i < LAP_POOL_CANDIDATES; i++)
        if (is_same_section(&candidates[i], samples, count)) {
            if (debug_level)
                log_printf("auto pilot: %d rejected (duplicate)\n", index);
            return -1;
        }

    // An empty slot is always filled.
    int slot = -1, empty = 0;
    for (int i = 0; i < LAP_POOL_CANDIDATES && slot < 0; i++)
        if (is_empty_candidate(&candidates[i])) {
            slot = i;
            empty = 1;
        }
    if (slot < 0)
        slot = choose_eviction_slot(row);
    if (slot < 0)
        return -1;

    LapCandidate *c = &candidates[slot];
    long long expected = estimate_lap_candidate_time(c);
    if (!empty && expected < (long long)pair_time * 5 / 4) {
        if (debug_level)
            log_printf("auto pilot: %d rejected (too slow)\n", index);
        return -1;
    }
    if (debug_level) {
        double mean_section = c->runs > 0 ? seconds(c->section_sum / c->runs) : 0.0;
        double mean_pair = c->runs > 0 ? seconds(c->pair_sum / c->runs) : 0.0;
        log_printf("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n",
                   index, seconds(c->section_time), seconds(c->pair_time), c->runs, c->penalties,
                   mean_section, mean_pair, seconds(section_time), seconds(pair_time));
    }
    store_section(c, samples, count, section_time, pair_time);
    return slot;
}
