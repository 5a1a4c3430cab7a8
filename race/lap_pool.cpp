// The lap pool's storage: made empty when a track's timing gates are read,
// freed with the track.
#include "race/lap_pool.h"

#include <cstring>

#include "core/alloc.h"

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
