// Whole races on the loop track: a scripted rider rides three laps through
// the gates; the same race twice gives the same demo; a recorded race plays
// back, and seeks, to the states it recorded.
#include "race_fixture.h"

#include "core/file.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/results.h"
#include "track/timing.h"

#include <map>
#include <vector>

namespace {

std::string read_data_file(const std::string &name)
{
    std::string bytes;
    read_file(test_home_dir() + name, &bytes);
    return bytes;
}

}  // namespace

TEST_F(RaceWorld, AScriptedRiderRidesThreeLapsThroughTheGates)
{
    const int codes[1] = {SLOT_PLAYER};
    ASSERT_TRUE(start(codes, 1, 3, 0));
    ASSERT_EQ(timing_gate_count, LOOP_GATES);
    ASSERT_EQ(lap_gate_list.first_lap_count, LOOP_GATES);
    BikeState *bike = bike_slots[0];
    ASSERT_NE(bike, nullptr);
    EXPECT_EQ(rider_kind[0], RIDER_LOCAL);
    EXPECT_EQ(followed_slot, 0);
    EXPECT_GE(race_settings.start_tic, 13 * TIC_RATE);
    EXPECT_LT(race_settings.start_tic, 15 * TIC_RATE);
    int tics = 0;
    while (!bike->finished && tics < 200 * TIC_RATE) {
        run_headless_tics(TIC_RATE, ride_the_loop, nullptr);
        tics += TIC_RATE;
    }
    ASSERT_TRUE(bike->finished) << "gates passed " << bike->gates_passed;
    EXPECT_EQ(bike->crash_count, 0);
    EXPECT_EQ(bike->gates_passed, LOOP_GATES * 3);
    int last = -1;
    for (int g = 0; g < bike->gates_passed; g++) {
        int t = get_gate_time(bike, g);
        EXPECT_GT(t, race_settings.start_tic) << g;
        EXPECT_GT(t, last) << g;
        last = t;
    }
    for (int lap = 1; lap <= 3; lap++) {
        float seconds = get_lap_time(bike, lap);
        EXPECT_GT(seconds, 40.0f) << lap;   // 1257 ft at about 25 ft/s
        EXPECT_LT(seconds, 60.0f) << lap;
    }
    std::string results = read_data_file("results.txt");
    EXPECT_NE(results.find("|Laps=3|Track=tracks/loop|"), std::string::npos) << results;
    EXPECT_NE(results.find("yz250f(2017)"), std::string::npos) << results;
    EXPECT_EQ(physics_solver_errors, 0);
}

TEST_F(RaceWorld, TheSameRaceTwiceGivesTheSameDemo)
{
    const int codes[2] = {SLOT_PLAYER, SLOT_ROBOT};
    std::string demos[2];
    for (int run = 0; run < 2; run++) {
        if (run) {
            TearDown();
            SetUp();
        }
        ASSERT_TRUE(start(codes, 2, 1, 1));
        run_headless_tics(25 * TIC_RATE, ride_the_loop, nullptr);
        end_race();
        demos[run] = read_data_file("demos/default.kzdemo");
    }
    EXPECT_GT(demos[0].size(), 10000u);
    EXPECT_EQ(demos[0].substr(0, 5), "KZ06 ");
    EXPECT_TRUE(demos[0] == demos[1]) << "the demos differ";
}

namespace {

// The fields of two packed states agree within one step of their coding.
bool states_match(const uint8_t *a, const uint8_t *b, std::string *why)
{
    auto field = [](const uint8_t *s, int offset, int bytes) {
        long v = 0;
        for (int i = bytes - 1; i >= 0; i--)
            v = (v << 8) | s[offset + i];
        return v;
    };
    struct Field {
        int offset, bytes;
    } fields[] = {{0, 3},  {3, 3},  {6, 3},  {17, 1}, {18, 1}, {19, 1}, {20, 2},
                  {22, 2}, {24, 2}, {34, 1}, {35, 1}, {37, 2}};
    for (const Field &f : fields) {
        long d = field(a, f.offset, f.bytes) - field(b, f.offset, f.bytes);
        if (f.bytes == 1 && (f.offset == 34 || f.offset == 35))
            d = std::min(std::labs(d), 256 - std::labs(d));   // wheel angles wrap
        if (std::labs(d) > 1) {
            *why = "byte " + std::to_string(f.offset) + " differs by " + std::to_string(d);
            return false;
        }
    }
    // Quaternions: the same rotation within a step (either sign).
    for (int q = 9; q <= 26; q += 17) {
        double dot = 0, na = 0, nb = 0;
        for (int i = 0; i < 4; i++) {
            double x = field(a, q + 2 * i, 2) / 65535.0 * 2 - 1;
            double y = field(b, q + 2 * i, 2) / 65535.0 * 2 - 1;
            dot += x * y;
            na += x * x;
            nb += y * y;
        }
        if (std::fabs(dot) / std::sqrt(na * nb) < 1 - 1e-6) {
            *why = "orientation at byte " + std::to_string(q);
            return false;
        }
    }
    // Bit 3 of the gear byte tells whether the foot is down at all; a
    // replayed rider's foot follows that bit gradually, so the bit itself
    // may trail the recording by a few tics when the foot comes up.
    if ((a[36] & ~8) != (b[36] & ~8)) {
        *why = "gear byte " + std::to_string(a[36]) + " vs recorded " + std::to_string(b[36]);
        return false;
    }
    return true;
}

using Recording = std::map<int, std::vector<std::vector<uint8_t>>>;   // tic -> states by rider

Recording record_race(int riders, int seconds)
{
    Recording recording;
    for (int t = 0; t < seconds * TIC_RATE; t++) {
        run_headless_tics(1, ride_the_loop, nullptr);
        if (current_tic % 4 == 0) {
            std::vector<std::vector<uint8_t>> states;
            for (int slot = 0; slot < riders; slot++) {
                std::vector<uint8_t> bytes(PACKED_STATE_SIZE);
                pack_rider_state(bike_slots[slot], bytes.data());
                states.push_back(bytes);
            }
            recording[current_tic] = states;
        }
    }
    return recording;
}

// The riders' states after each tic of playback, by the tic they show.
void expect_recorded(const Recording &recording, int riders, int tic, int *compared)
{
    auto found = recording.find(tic);
    if (found == recording.end())
        return;
    for (int i = 0; i < riders; i++) {
        int slot = demo_riders[i].slot;
        ASSERT_GE(slot, 0);
        uint8_t bytes[PACKED_STATE_SIZE];
        pack_rider_state(bike_slots[slot], bytes);
        std::string why;
        EXPECT_TRUE(states_match(bytes, found->second[i].data(), &why))
            << "rider " << i << " at tic " << tic << ": " << why;
    }
    (*compared)++;
}

}  // namespace

TEST_F(RaceWorld, ARecordedRacePlaysBackAndSeeks)
{
    const int codes[4] = {SLOT_PLAYER, SLOT_ROBOT, SLOT_ROBOT, SLOT_ROBOT};
    ASSERT_TRUE(start(codes, 4, 5, 1));
    Recording recording = record_race(4, 60);
    end_race();

    // Play it back: every rider a replayed one.
    int none[1] = {SLOT_DEMO_OR_EMPTY};
    HeadlessRace race{};
    race.track = RACE_TRACK;
    race.slot_codes[0] = none[0];
    race.playback = 1;
    race.laps = 10;
    ASSERT_TRUE(start_headless_race(&race));
    ASSERT_EQ(demo_rider_count, 4);
    int compared = 0;
    while (current_tic < 60 * TIC_RATE - 8) {
        run_headless_tics(1, nullptr, nullptr);
        expect_recorded(recording, 4, current_tic - 1, &compared);
        if (HasFailure())
            return;
    }
    EXPECT_GT(compared, 60 * TIC_RATE / 4 - 8);

    // Back a second and forward a second: the states of playing through.
    seek_replay(-1.0f);
    int after_back = current_tic;
    EXPECT_NEAR(after_back, 60 * TIC_RATE - 8 - TIC_RATE, 2);
    for (int i = 0; i < 64; i++) {
        run_headless_tics(1, nullptr, nullptr);
        expect_recorded(recording, 4, current_tic - 1, &compared);
    }
    seek_replay(-30.0f);
    seek_replay(1.0f);
    int at = current_tic;
    for (int i = 0; i < 64; i++) {
        run_headless_tics(1, nullptr, nullptr);
        expect_recorded(recording, 4, current_tic - 1, &compared);
    }
    EXPECT_GT(current_tic, at);
}
