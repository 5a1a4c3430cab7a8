// Fuzz target "series": a points series file and its standings file read
// against a catalogue of one track, ranked, and the next event's lineup.
#include "fuzz/fuzz_target.h"

#include "app/race_screens.h"
#include "app/series_files.h"
#include "bike/bike_state.h"
#include "race/series.h"
#include "track/track.h"

#include <string>

namespace {

int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    // The series file, a NUL, then its standings file.
    std::string text((const char *)input.data, input.size);
    size_t nul = text.find('\0');
    std::string series = text.substr(0, nul);
    write_data_file("tracks/fz/terrain.hf", std::string("x"));
    place_input("fuzz/s.series", (const uint8_t *)series.data(), series.size(), input.selector % INPUT_FORMS);
    if (nul != std::string::npos)
        write_data_file("fuzz/s.series_standings", text.substr(nul + 1));
    else
        remove_data_file("fuzz/s.series_standings");
    scan_track_catalogue();
    SeriesEvent event;
    if (read_series_file("fuzz/s.series", &event)) {
        int kinds[BIKE_SLOT_COUNT];
        series_lineup(&event, kinds);
        free_series_event(&event);
    }
    free_track_catalogue();
    reset_reader_state();
    return 0;
}

std::string numbers(int count, int first, int step)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += std::to_string(first + i * step) + " ";
    return text;
}

void make_seeds(std::vector<FuzzSeed> *seeds)
{
    std::string round = "\"Round one\" tracks/fz 5 3\n" + numbers(40, 25, -1) + "\n1 " + numbers(39, 0, 0) + "\n";
    std::string series = "\"Cup\"\n2 Amateur 20 21\n2\n" + round + round;
    seeds->push_back({"series", std::string(1, '\0') + series});
    seeds->push_back({"series_standings", std::string(1, '\0') + series + std::string(1, '\0') + "1 2 3\n3 1 2\n"});
    seeds->push_back({"series_gzip", std::string(1, '\x02') + series + std::string(1, '\0') + "2 1"});
}

}  // namespace

RUT_FUZZ_TARGET(series, run, make_seeds);
