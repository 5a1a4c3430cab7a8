// Fixtures of the demo tests: demo files built byte by byte, a track
// catalogue that names the test tracks, and the history read back as
// (tic, state) lists.
#pragma once

#include "race/demo.h"
#include "race/history.h"
#include "race/race_state.h"
#include "support/test_support.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <string>
#include <utility>
#include <vector>

inline std::string le32(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; i++)
        out[i] = (char)(value >> (8 * i));
    return out;
}

// A packed state whose bytes come from a seed (the seed's low bytes first,
// so states of different tics differ).
inline std::string seeded_state(uint32_t seed, int size = PACKED_STATE_SIZE)
{
    std::string state(size, '\0');
    for (int i = 0; i < size; i++)
        state[i] = (char)(i < 4 ? seed >> (8 * i) : seed * 31 + i * 7);
    return state;
}

inline std::string state_entry(int rider, int tic, uint32_t seed)
{
    return std::string(1, (char)rider) + le32((uint32_t)tic) + seeded_state(seed);
}

// Chunks after a header, each length XOR-ed with the one before.
struct DemoBytes {
    std::string bytes;
    uint32_t previous = 0;
    std::vector<size_t> chunk_starts;

    explicit DemoBytes(const std::string &header) : bytes(header) {}

    DemoBytes &chunk(int type, int tic, const std::string &payload)
    {
        uint32_t length = (uint32_t)payload.size();
        chunk_starts.push_back(bytes.size());
        bytes += le32(length ^ previous) + le32((uint32_t)tic) + std::string(1, (char)type) + payload;
        previous = length;
        return *this;
    }
};

// A version 6 header with riders named "rider<i>" on "cr125".
inline std::string v6_header(int riders, const char *track = "testtrack", int length = 0,
                             int laps = 3, int start = 1800)
{
    std::string text = "KZ06 " + std::to_string(riders) + " " + std::to_string(length) + " " +
                       std::to_string(laps) + " " + std::to_string(start) + "\n" + track + "\n";
    for (int i = 0; i < riders; i++)
        text += "cr125|r.png|b.png|w.png|h.png\n" + std::to_string(10 + i) + "\nrider" +
                std::to_string(i) + "\n\n";
    return text;
}

// Every (tic, state) of a slot's ring from the head backwards.
inline std::vector<std::pair<int, std::string>> history_entries(int slot)
{
    std::vector<std::pair<int, std::string>> out;
    const StateHistory &h = state_history[slot];
    for (int k = 0; k < HISTORY_LENGTH; k++) {
        int index = (h.head - k + HISTORY_LENGTH) % HISTORY_LENGTH;
        if (h.ticks[index] == HISTORY_EMPTY)
            break;
        out.emplace_back(h.ticks[index], std::string((const char *)h.states[index], PACKED_STATE_SIZE));
    }
    return out;
}

inline int open_descriptor_count(void)
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (struct dirent *item = readdir(dir))
        if (item->d_name[0] != '.')
            count++;
    closedir(dir);
    return count;
}

// The catalogue lists "testtrack", a nested folder, and a name that is no
// plain folder; demos of other tracks are refused.
struct DemoCatalogue {
    char plain[16] = "testtrack";
    char nested[16] = "tracks/nested";
    char escaping[16] = "../escape";
    char *folders[3] = {plain, nested, escaping};

    DemoCatalogue()
    {
        track_catalogue.folders = folders;
        track_catalogue.long_names = folders;
        track_catalogue.count = 3;
        clear_state_history();
    }

    ~DemoCatalogue()
    {
        close_demo_playback();
        track_catalogue.folders = track_catalogue.long_names = nullptr;
        track_catalogue.count = 0;
    }
};

inline std::string demo_path(const std::string &name)
{
    return test_home_dir() + "demos/" + name;
}

inline bool write_demo(const std::string &name, const std::string &bytes)
{
    return write_file(demo_path(name), bytes);
}
