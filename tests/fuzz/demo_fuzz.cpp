// Fuzz target "demo": ".kzdemo" files opened for playback through the
// game-file layer and played chunk by chunk into the state history, as a
// replay advances through them.
#include "fuzz/fuzz_target.h"

#include "race/demo.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/track.h"

#include <cstring>

namespace {

char catalogue_name[16] = "fuzztrack";
char *catalogue_folders[1] = {catalogue_name};

std::string le32(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; i++)
        out[i] = (char)(value >> (8 * i));
    return out;
}

int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    track_catalogue.folders = catalogue_folders;
    track_catalogue.long_names = catalogue_folders;
    track_catalogue.count = 1;
    time_trial_mode = input.selector & 4 ? 1 : 0;
    current_tic = 0;
    clear_state_history();
    place_input("fuzz/input.kzdemo", input.data, input.size, input.selector % INPUT_FORMS);
    if (open_demo_playback("@fuzz/input.kzdemo")) {
        for (int i = 0; i < demo_rider_count; i++)
            demo_riders[i].slot = i % 3 == 2 ? -1 : i;
        for (int step = 0; step < 40 && demo_play_file; step++) {
            play_demo_chunks();
            current_tic += 64;
        }
        close_demo_playback();
    }
    demo_rider_count = 0;
    time_trial_mode = 0;
    current_tic = 0;
    track_catalogue.folders = track_catalogue.long_names = nullptr;
    track_catalogue.count = 0;
    reset_reader_state();
    return 0;
}

void make_seeds(std::vector<FuzzSeed> *seeds)
{
    std::string header = "KZ06 2 0 3 1800\nfuzztrack\n"
                         "cr125|r.png|b.png|w.png|h.png\n10\nrider0\n\n"
                         "yz250f||||\n11\nrider1\n\n";
    std::string state(39, '\x40');
    std::string entries;
    for (int rider = 0; rider < 2; rider++)
        entries += std::string(1, (char)rider) + le32(4) + state;
    uint32_t a = (uint32_t)entries.size();
    std::string chat = "hello";
    std::string erode = "erode 512";
    std::string body = le32(a) + le32(0) + "\1" + entries;
    body += le32((uint32_t)chat.size() ^ a) + le32(8) + "\2" + chat;
    body += le32((uint32_t)erode.size() ^ (uint32_t)chat.size()) + le32(16) + "\3" + erode;
    seeds->push_back({"v6", std::string(1, '\0') + header + body});
    seeds->push_back({"v6_gzip", std::string(1, '\2') + header + body});
    std::string v5 = "KZ05 1 0 3 1800\nfuzztrack\ncr125\n7\n";
    for (int tic = 0; tic < 20; tic++)
        v5 += state;
    seeds->push_back({"v5", std::string(1, '\0') + v5});
    std::string v4 = "KZ04 1 0 3\nfuzztrack\ncr125\n7\n";
    for (int tic = 0; tic < 20; tic++)
        v4 += std::string(26, '\x30');
    seeds->push_back({"v4_time_trial", std::string(1, '\4') + v4});
}

}  // namespace

RUT_FUZZ_TARGET(demo, run, make_seeds);
