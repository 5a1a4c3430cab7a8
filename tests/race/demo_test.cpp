// Demo files: the header reader against good and hostile files, the chunk
// reader, old-format records, the time-trial ghost, recording with its
// backups and length chain, and the copy through a temporary file.
#include "race/demo.h"

#include "app/shell.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "race/race_control.h"
#include "render/engine_sound.h"
#include "tests/bike/bike_fixture.h"
#include "tests/race/demo_fixture.h"
#include "track/erosion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

static std::string all_messages()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}

static int count_of(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

TEST(DemoHeader, GoodAndHostileHeaders)
{
    DemoCatalogue catalogue;
    std::string v6 = v6_header(2, "testtrack", 0, 3, 1800);
    std::string long_name(1100, 'n');
    struct Case {
        const char *what;
        std::string bytes;
        int ok;
        int version = 0, riders = 0, length = 0, laps = 0, start = 0;
    } cases[] = {
        {"version 6", v6, 1, 6, 2, 0, 3, 1800},
        {"version 5", "KZ05 1 500 2 900\ntesttrack\ncr125|a|b|c|d\n42\n", 1, 5, 1, 500, 2, 900},
        {"version 4 without laps or start", "KZ04 1 500\ntesttrack\ncr125\n7\n", 1, 4, 1, 500, 77, 1792},
        {"version 6 with three numbers", "KZ06 0 640\ntesttrack\n", 1, 6, 0, 640, 77, 1792},
        {"a nested catalogue folder", "KZ06 0 0 1 10\ntracks/nested\n", 1, 6, 0, 0, 1, 10},
        {"version 3", "KZ03 0 0 1 10\ntesttrack\n", 0},
        {"version 7", "KZ07 0 0 1 10\ntesttrack\n", 0},
        {"two numbers", "KZ06 0\ntesttrack\n", 0},
        {"161 riders", "KZ06 161 0 1 10\ntesttrack\n", 0},
        {"negative riders", "KZ06 -1 0 1 10\ntesttrack\n", 0},
        {"length past 2^30", "KZ06 0 1073741825 1 10\ntesttrack\n", 0},
        {"negative laps", "KZ06 0 0 -1 10\ntesttrack\n", 0},
        {"start near INT_MAX", "KZ06 0 0 1 2147483647\ntesttrack\n", 0},
        {"a number past int", "KZ06 0 99999999999 1 10\ntesttrack\n", 0},
        {"a track outside the catalogue", "KZ06 0 0 1 10\nothertrack\n", 0},
        {"a catalogue name that leaves the data", "KZ06 0 0 1 10\n../escape\n", 0},
        {"track line without newline", "KZ06 0 0 1 10\ntesttrack", 0},
        {"a zero byte in the track line", std::string("KZ06 0 0 1 10\ntest\0track\n", 25), 0},
        {"rider without its empty line", v6.substr(0, v6.size() - 1), 0},
        {"a rider short of lines", "KZ05 2 0 1 10\ntesttrack\ncr125\n1\n", 0},
        {"an overlong name", "KZ06 1 0 1 10\ntesttrack\ncr125\n1\n" + long_name + "\n\n", 0},
        {"no header", "", 0},
        {"not a demo", "PK\x03\x04 binary", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_demo("case.kzdemo", c.bytes));
        race_settings.laps = 77;
        race_settings.start_tic = 5;
        int descriptors = open_descriptor_count();
        int result = open_demo_playback("@demos/case.kzdemo");
        EXPECT_EQ(result, c.ok);
        if (c.ok) {
            ASSERT_NE(demo_play_file, nullptr);
            EXPECT_EQ(demo_version, c.version);
            EXPECT_EQ(demo_rider_count, c.riders);
            EXPECT_EQ(race_settings.length_tics, c.length);
            EXPECT_EQ(race_settings.laps, c.laps);
            EXPECT_EQ(race_settings.start_tic, c.start);
            EXPECT_EQ(demo_chunks_start, (int64_t)c.bytes.size());
            EXPECT_EQ(demo_read_position, demo_chunks_start);
            close_demo_playback();
        } else {
            EXPECT_EQ(demo_play_file, nullptr);
            EXPECT_STREQ(demo_track, "");
            EXPECT_EQ(demo_rider_count, 0);
            EXPECT_EQ(race_settings.start_tic, 5) << "a refused header changes no setting";
        }
        EXPECT_EQ(open_descriptor_count(), descriptors) << "the file is closed";
    }
    EXPECT_EQ(open_demo_playback("@demos/missing.kzdemo"), 0);
}

TEST(DemoHeader, RiderLinesFillTheRiderTable)
{
    DemoCatalogue catalogue;
    ASSERT_TRUE(write_demo("riders.kzdemo",
                           "KZ06 2 0 3 1800\ntesttrack\n"
                           "yz250f|rt.png|bt.png|wt.png|ht.png\n1234\nJoe Rider\nsomething later\n\n"
                           "kx125\n5\nAnn\n\n"));
    ASSERT_EQ(open_demo_playback("@demos/riders.kzdemo"), 1);
    EXPECT_STREQ(demo_track, "testtrack");
    const DemoRider &joe = demo_riders[0];
    EXPECT_STREQ(joe.model, "yz250f");
    EXPECT_STREQ(joe.rider_texture, "rt.png");
    EXPECT_STREQ(joe.bike_texture, "bt.png");
    EXPECT_STREQ(joe.wheel_texture, "wt.png");
    EXPECT_STREQ(joe.helmet_texture, "ht.png");
    EXPECT_STREQ(joe.number, "123");
    EXPECT_STREQ(joe.name, "Joe Rider");
    EXPECT_STREQ(demo_riders[1].model, "kx125");
    EXPECT_STREQ(demo_riders[1].rider_texture, "");
    EXPECT_STREQ(demo_riders[1].helmet_texture, "");
    EXPECT_STREQ(demo_riders[1].name, "Ann");
    for (const DemoRider &rider : demo_riders)
        EXPECT_EQ(rider.slot, -1);
}

// Version 6 chunks after a header of two riders, shown in slots 4 and 9; a
// stale slot sits past the header's riders.
struct ChunkCase {
    const char *what;
    std::function<void(DemoBytes &)> build;
    std::function<void(const DemoBytes &)> check;
    int calls = 1;
};

static void expect_slot(int slot, std::vector<std::pair<int, uint32_t>> tics_and_seeds)
{
    std::vector<std::pair<int, std::string>> entries = history_entries(slot);
    ASSERT_EQ(entries.size(), tics_and_seeds.size()) << "slot " << slot;
    for (size_t i = 0; i < entries.size(); i++) {
        EXPECT_EQ(entries[i].first, tics_and_seeds[i].first);
        EXPECT_EQ(entries[i].second, seeded_state(tics_and_seeds[i].second));
    }
}

TEST(DemoChunks, ChunkReaderTable)
{
    uint8_t erosion[17] = {1, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 8, 0, 0, 8, 128, 128};
    ChunkCase cases[] = {
        {"entries go to their riders' slots",
         [](DemoBytes &d) {
             d.chunk(1, 100, state_entry(0, 96, 1) + state_entry(1, 96, 2) + state_entry(0, 100, 3));
         },
         [](const DemoBytes &) {
             expect_slot(4, {{100, 3}, {96, 1}});
             expect_slot(9, {{96, 2}});
             EXPECT_EQ(current_tic, 100) << "the first state chunk sets the race's tic";
         }},
        {"a state chunk of 45 bytes is passed over whole",
         [](DemoBytes &d) {
             d.chunk(1, 50, std::string(45, '\x01'));
             d.chunk(1, 100, state_entry(0, 100, 5));
         },
         [](const DemoBytes &) {
             expect_slot(4, {{100, 5}});
             EXPECT_EQ(current_tic, 100);
         }},
        {"a rider index past the header's riders names no slot",
         [](DemoBytes &d) { d.chunk(1, 100, state_entry(2, 100, 6) + state_entry(1, 100, 7)); },
         [](const DemoBytes &) {
             expect_slot(11, {});
             expect_slot(9, {{100, 7}});
             EXPECT_EQ(count_of(all_messages(), "add_state_to_history: slot out of range"), 1);
         }},
        {"entry tics outside 0..2^30 are refused",
         [](DemoBytes &d) {
             d.chunk(1, 100, state_entry(0, (1 << 30) + 1, 8) + state_entry(0, -5, 9) +
                                 state_entry(0, 96, 10));
         },
         [](const DemoBytes &) { expect_slot(4, {{96, 10}}); }},
        {"a chunk tic near INT_MAX is refused, the chain goes on",
         [](DemoBytes &d) {
             d.chunk(1, 2147483000, state_entry(0, 100, 11));
             d.chunk(1, 200, state_entry(0, 200, 12));
         },
         [](const DemoBytes &) {
             expect_slot(4, {{200, 12}});
             EXPECT_EQ(current_tic, 200);
         }},
        {"chat, server command and unknown chunks",
         [](DemoBytes &d) {
             d.chunk(2, 10, "hello there");
             d.chunk(3, 10, "erode 512");
             d.chunk(9, 10, std::string(40, 'x'));
             d.chunk(1, 20, state_entry(0, 20, 13));
         },
         [](const DemoBytes &) {
             EXPECT_EQ(count_of(all_messages(), "hello there|"), 1);
             EXPECT_EQ(erosion_amount, 512);
             expect_slot(4, {{20, 13}});
         }},
        {"an erode amount past int is ignored",
         [](DemoBytes &d) { d.chunk(3, 10, "erode 99999999999"); },
         [](const DemoBytes &) { EXPECT_EQ(erosion_amount, 33); }},
        {"an erode amount is held to the option's range",
         [](DemoBytes &d) { d.chunk(3, 10, "erode 5000000"); },
         [](const DemoBytes &) { EXPECT_EQ(erosion_amount, 100 * 1024); }},
        {"a long chat line shows its first 1023 bytes",
         [](DemoBytes &d) {
             d.chunk(2, 10, std::string(3000, 'c'));
             d.chunk(1, 20, state_entry(0, 20, 14));
         },
         [](const DemoBytes &) {
             EXPECT_EQ(count_of(all_messages(), std::string(255, 'c')), 1);
             expect_slot(4, {{20, 14}});
         }},
        {"an erosion record",
         [&](DemoBytes &d) { d.chunk(5, 10, std::string((const char *)erosion, 17)); },
         [](const DemoBytes &) { EXPECT_EQ(erosion_queue.count, 1); }},
        {"a length no demo holds stops the reading",
         [](DemoBytes &d) {
             d.bytes += le32(0x80000000u) + le32(10) + "\x01" + state_entry(0, 10, 15);
         },
         [](const DemoBytes &) {
             expect_slot(4, {});
             EXPECT_EQ(demo_read_position, demo_chunks_start);
         },
         3},
        {"chunks are read until one lies more than 64 tics ahead",
         [](DemoBytes &d) {
             for (int tic = 0; tic <= 160; tic += 16)
                 d.chunk(1, tic, state_entry(0, tic, (uint32_t)tic));
         },
         [](const DemoBytes &d) {
             expect_slot(4, {{80, 80}, {64, 64}, {48, 48}, {32, 32}, {16, 16}, {0, 0}});
             EXPECT_EQ(demo_read_position, (int64_t)d.chunk_starts[6]);
             EXPECT_EQ(demo_next_tic, 80);
         }},
        {"at most 128 chunks a call",
         [](DemoBytes &d) {
             for (int i = 0; i < 200; i++)
                 d.chunk(2, 0, "");
         },
         [](const DemoBytes &d) { EXPECT_EQ(demo_read_position, (int64_t)d.chunk_starts[128]); }},
    };
    for (ChunkCase &c : cases) {
        SCOPED_TRACE(c.what);
        DemoCatalogue catalogue;
        FlatTerrain ground;
        current_terrain = &ground.terrain;
        reset_erosion_queue();
        DemoBytes demo(v6_header(2));
        c.build(demo);
        ASSERT_TRUE(write_demo("chunks.kzdemo", demo.bytes));
        ASSERT_EQ(open_demo_playback("@demos/chunks.kzdemo"), 1);
        demo_riders[0].slot = 4;
        demo_riders[1].slot = 9;
        demo_riders[2].slot = 11;
        current_tic = 0;
        erosion_amount = 33;
        message_log.next_line = 0;
        for (int i = 0; i < c.calls; i++)
            play_demo_chunks();
        c.check(demo);
        current_terrain = nullptr;
    }
}

static void append_bytes(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

TEST(DemoChunks, ChunkCutShortIsReadOnceWholeWhenCompleted)
{
    DemoCatalogue catalogue;
    DemoBytes demo(v6_header(1));
    demo.chunk(2, 10, "first")
        .chunk(1, 10, state_entry(0, 10, 1))
        .chunk(2, 20, "second line")
        .chunk(1, 30, state_entry(0, 30, 2) + state_entry(0, 26, 3))
        .chunk(2, 40, "third");
    // Cut inside the payload of the second chat line, then inside the next
    // chunk's header, then complete.
    size_t cuts[] = {demo.chunk_starts[2] + 12, demo.chunk_starts[3] + 6, demo.bytes.size()};
    ASSERT_TRUE(write_demo("growing.kzdemo", demo.bytes.substr(0, cuts[0])));
    ASSERT_EQ(open_demo_playback("@demos/growing.kzdemo"), 1);
    demo_riders[0].slot = 4;
    message_log.next_line = 0;
    current_tic = 0;

    play_demo_chunks();
    play_demo_chunks();
    EXPECT_EQ(all_messages(), "first|");
    expect_slot(4, {{10, 1}});
    EXPECT_EQ(demo_read_position, (int64_t)demo.chunk_starts[2]) << "the cut chunk is not consumed";

    append_bytes(demo_path("growing.kzdemo"), demo.bytes.substr(cuts[0], cuts[1] - cuts[0]));
    play_demo_chunks();
    EXPECT_EQ(all_messages(), "first|second line|");
    EXPECT_EQ(demo_read_position, (int64_t)demo.chunk_starts[3]);
    expect_slot(4, {{10, 1}});

    append_bytes(demo_path("growing.kzdemo"), demo.bytes.substr(cuts[1]));
    play_demo_chunks();
    play_demo_chunks();
    EXPECT_EQ(all_messages(), "first|second line|third|") << "each chunk read once";
    expect_slot(4, {{30, 2}, {26, 3}, {10, 1}});
    EXPECT_EQ(state_history[4].unwritten, 3);
    EXPECT_EQ(demo_read_position, (int64_t)demo.bytes.size());
}

TEST(DemoChunks, OldFormatRecordsPerTicInHeaderOrder)
{
    for (int version : {4, 5}) {
        SCOPED_TRACE(version);
        DemoCatalogue catalogue;
        int size = demo_state_size(version);
        ASSERT_EQ(size, version == 4 ? 26 : 39);
        std::string bytes = "KZ0" + std::to_string(version) + " 2 0 3 100\ntesttrack\ncr125\n1\ncr125\n2\n";
        for (int tic = 0; tic < 20; tic++)
            bytes += seeded_state(1000 + tic, size) + seeded_state(2000 + tic, size);
        // The last tic's record is cut short.
        ASSERT_TRUE(write_demo("old.kzdemo", bytes.substr(0, bytes.size() - 5)));
        ASSERT_EQ(open_demo_playback("@demos/old.kzdemo"), 1);
        demo_riders[0].slot = 4;   // the second rider has no slot
        message_log.next_line = 0;
        current_tic = 0;
        engine_sounds[4].level = 0.5f;
        play_demo_chunks();
        EXPECT_EQ(engine_sounds[4].level, 1.0f) << "records read whole: the engine is heard";
        std::vector<std::pair<int, std::string>> entries = history_entries(4);
        ASSERT_EQ(entries.size(), 9u) << "tics 0..8 are read ahead";
        for (int i = 0; i < 9; i++) {
            EXPECT_EQ(entries[i].first, 8 - i);
            std::string expected = seeded_state(1000 + 8 - i, size) + std::string(39 - size, '\0');
            EXPECT_EQ(entries[i].second, expected);
        }
        EXPECT_EQ(message_log.next_line, 0) << "a rider without a slot is dropped quietly";

        current_tic = 50;
        play_demo_chunks();
        EXPECT_EQ(history_entries(4).front().first, 18) << "the cut record waits";
        EXPECT_EQ(engine_sounds[4].level, 0.0f) << "a record cut short silences the engine";
        append_bytes(demo_path("old.kzdemo"), bytes.substr(bytes.size() - 5));
        play_demo_chunks();
        EXPECT_EQ(history_entries(4).front().first, 19);
        EXPECT_EQ(engine_sounds[4].level, 0.0f) << "read to the end: the demo is over";

        // Old version 4 states are shown without blending.
        uint8_t from[PACKED_STATE_SIZE] = {0}, to[PACKED_STATE_SIZE], out[PACKED_STATE_SIZE];
        memset(to, 200, sizeof to);
        interpolate_state(out, from, to, 0.5f);
        EXPECT_EQ(memcmp(out, from, PACKED_STATE_SIZE) == 0, version == 4);
    }
}

TEST(DemoChunks, TimeTrialGhostPlaysFromNow)
{
    DemoCatalogue catalogue;
    time_trial_mode = 1;
    set_track_folder("testtrack");
    DemoBytes demo(v6_header(1));
    demo.chunk(1, 5000, state_entry(0, 4992, 1) + state_entry(0, 4996, 2) + state_entry(0, 5000, 3))
        .chunk(1, 5016, state_entry(0, 5016, 4))
        .chunk(1, 5100, state_entry(0, 5100, 5))
        .chunk(1, 5200, state_entry(0, 5200, 6));
    ASSERT_TRUE(write_file(test_home_dir() + "testtrack/fastlap.kzdemo", demo.bytes));
    current_tic = 40000;
    ASSERT_EQ(open_demo_playback(nullptr), 1) << "the time trial plays the track's fastlap";
    demo_riders[0].slot = 1;
    play_demo_chunks();
    EXPECT_EQ(current_tic, 40000);
    EXPECT_EQ(demo_tic_offset, 35000);
    expect_slot(1, {{40100, 5}, {40016, 4}, {40000, 3}, {39996, 2}, {39992, 1}});
    set_track_folder(nullptr);
}

// Recording needs bikes to pack.
struct DemoRecording : BikeWorld {
    DemoCatalogue catalogue;

    void SetUp() override
    {
        BikeWorld::SetUp();
        set_track_folder("testtrack");
        race_settings.start_tic = 1700;
        race_settings.length_tics = 0;
        race_settings.laps = 5;
    }

    void TearDown() override
    {
        stop_demo_recording();
        set_track_folder(nullptr);
        BikeWorld::TearDown();
    }
};

static uint32_t read32(const std::string &bytes, size_t at)
{
    return (uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8 | (uint8_t)bytes[at + 2] << 16 |
           (uint32_t)(uint8_t)bytes[at + 3] << 24;
}

TEST_F(DemoRecording, HeaderLengthChainAndReadingBack)
{
    ASSERT_NE(create_bike("cr125", 0, 1, "12", nullptr, nullptr, nullptr, nullptr), nullptr);
    ASSERT_NE(create_bike("cr125", 3, 1, "7", nullptr, nullptr, nullptr, nullptr), nullptr);
    rider_kind[0] = RIDER_ROBOT;
    rider_kind[3] = RIDER_LOCAL;
    for (int slot = 1; slot < BIKE_SLOT_COUNT; slot++)
        if (slot != 3)
            rider_kind[slot] = RIDER_REMOTE;
    strcpy(rider_names[0], "Roborider");
    strcpy(rider_names[3], "Pat|Q\r\nX");
    clear_state_history();

    current_tic = 0;
    start_demo_recording();
    ASSERT_NE(demo_record_file, nullptr);
    EXPECT_EQ(record_demo_states(1), 1);
    // The local rider stops being recorded: the next chunk holds one entry.
    rider_kind[3] = RIDER_REMOTE;
    current_tic = 1;
    EXPECT_EQ(record_demo_states(0), 0) << "nothing between the 4th tics";
    EXPECT_EQ(record_demo_states(1), 1);
    std::vector<std::pair<int, std::string>> robot = history_entries(0);
    std::vector<std::pair<int, std::string>> local = history_entries(3);
    stop_demo_recording();

    std::string bytes;
    ASSERT_TRUE(read_file(demo_path("default.kzdemo"), &bytes));
    std::string rider = "cr125||||\n";
    std::string header = "KZ06 2 0 5 1700\ntesttrack\n" + rider + "12\nRoborider\n\n" + rider +
                         "7\nPat_Q__X\n\n";
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    size_t first = header.size(), second = first + 9 + 88;
    ASSERT_EQ(bytes.size(), second + 9 + 44);
    EXPECT_EQ(read32(bytes, first), 88u);
    EXPECT_EQ(read32(bytes, second), 88u ^ 44u);
    EXPECT_EQ(read32(bytes, second), 116u);
    EXPECT_EQ(bytes[first + 8], 1);
    EXPECT_EQ(bytes[first + 9], 0) << "rider indices count over the header";
    EXPECT_EQ(bytes[first + 9 + 44], 1);
    EXPECT_EQ(read32(bytes, second + 4), 1u);

    // Played back into two other slots, the states come back as recorded.
    clear_state_history();
    current_tic = 0;
    ASSERT_EQ(open_demo_playback("@demos/default.kzdemo"), 1);
    EXPECT_EQ(demo_rider_count, 2);
    EXPECT_STREQ(demo_riders[1].name, "Pat_Q__X");
    demo_riders[0].slot = 20;
    demo_riders[1].slot = 21;
    play_demo_chunks();
    EXPECT_EQ(history_entries(20), robot);
    EXPECT_EQ(history_entries(21), local);
    EXPECT_EQ(demo_read_position, (int64_t)bytes.size());
}

TEST_F(DemoRecording, AFailedWriteEndsTheRecordingWithItsWholeChunksKept)
{
    std::string log_path = test_dir() + "/demo.log";
    setenv("VOKE_LOGFILE", (">>" + log_path).c_str(), 1);
    ASSERT_NE(create_bike("cr125", 0, 1, "12", nullptr, nullptr, nullptr, nullptr), nullptr);
    ASSERT_NE(create_bike("cr125", 3, 1, "7", nullptr, nullptr, nullptr, nullptr), nullptr);
    rider_kind[0] = RIDER_ROBOT;
    rider_kind[3] = RIDER_LOCAL;
    // The header's length, from a recording of nothing but the header.
    current_tic = 0;
    start_demo_recording();
    stop_demo_recording();
    std::string bytes;
    ASSERT_TRUE(read_file(demo_path("default.kzdemo"), &bytes));
    const long header = (long)bytes.size(), chunk = 9 + 2 * 44;

    struct Case {
        const char *what;
        long limit;
        int chunks;   // whole chunks kept; -1: no file at all
    } cases[] = {
        {"the header cut short", header - 10, -1},
        {"in the head of the second chunk", header + chunk + 5, 1},
        {"in the payload of the third chunk", header + 2 * chunk + 40, 2},
        {"right after the fourth chunk", header + 4 * chunk, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        remove(demo_path("default.kzdemo").c_str());
        // The child records a chunk every 16 tics until the recording ends;
        // it answers with the chunks recorded, 100 when it never ended.
        int status = run_with_file_limit(c.limit, [] {
            clear_state_history();
            current_tic = 0;
            start_demo_recording();
            int chunks = 0;
            for (int i = 0; i < 20 && demo_record_file; i++) {
                current_tic = 16 * i;
                chunks += record_demo_states(1);
            }
            return demo_record_file ? 100 : chunks;
        });
        if (c.chunks < 0) {
            EXPECT_EQ(status, 0);
            EXPECT_FALSE(file_exists(demo_path("default.kzdemo")));
            continue;
        }
        EXPECT_EQ(status, c.chunks);
        ASSERT_TRUE(read_file(demo_path("default.kzdemo"), &bytes));
        EXPECT_EQ((long)bytes.size(), header + c.chunks * chunk);
        // The reader takes every chunk and ends on the last byte.
        clear_state_history();
        current_tic = 0;
        ASSERT_EQ(open_demo_playback("@demos/default.kzdemo"), 1);
        demo_riders[0].slot = 20;
        demo_riders[1].slot = 21;
        play_demo_chunks();
        EXPECT_EQ(demo_read_position, (int64_t)bytes.size());
        EXPECT_EQ(history_entries(20).size(), (size_t)c.chunks);
        EXPECT_EQ(history_entries(21).size(), (size_t)c.chunks);
        close_demo_playback();
    }
    // The log line, from a recording in this process (a child under a
    // limit cannot grow the log either): the demo's name leads to a full
    // device.
    struct stat device;
    if (stat("/dev/full", &device) != 0)
        return;
    remove(demo_path("default.kzdemo").c_str());
    ASSERT_EQ(symlink("/dev/full", demo_path("default.kzdemo").c_str()), 0);
    start_demo_recording();
    EXPECT_EQ(demo_record_file, nullptr);
    ASSERT_EQ(stat("/dev/full", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode));
    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    EXPECT_NE(log.find("Demo recording stopped: writing '" + demo_path("default.kzdemo") +
                       "' failed (No space left on device)"),
              std::string::npos)
        << log;
}

TEST(DemoBackups, RotationByTheBackupsSetting)
{
    struct Case {
        int backups;
        std::map<std::string, std::string> before, after;
        std::vector<std::string> absent;
    } cases[] = {
        {3,
         {{"default", "d"}, {"default00", "0"}, {"default01", "1"}, {"default02", "2"}},
         {{"default00", "d"}, {"default01", "0"}, {"default02", "1"}},
         {"default03"}},
        {0, {{"default", "d"}, {"default00", "0"}}, {{"default00", "0"}}, {"default01"}},
        {-4, {{"default", "d"}}, {}, {"default00"}},
        {150,
         {{"default", "d"}, {"default98", "98"}, {"default99", "99"}},
         {{"default00", "d"}, {"default99", "98"}},
         {"default100", "default98"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.backups);
        std::string folder = test_home_dir() + "demos/";
        for (int i = 0; i <= 100; i++) {
            char name[32];
            snprintf(name, sizeof name, "default%02d.kzdemo", i);
            remove((folder + name).c_str());
        }
        for (const auto &file : c.before)
            ASSERT_TRUE(write_file(folder + file.first + ".kzdemo", file.second));
        demo_backups = c.backups;
        start_demo_recording();
        ASSERT_NE(demo_record_file, nullptr);
        stop_demo_recording();
        for (const auto &file : c.after) {
            std::string bytes;
            ASSERT_TRUE(read_file(folder + file.first + ".kzdemo", &bytes)) << file.first;
            EXPECT_EQ(bytes, file.second) << file.first;
        }
        for (const std::string &name : c.absent)
            EXPECT_FALSE(file_exists(folder + name + ".kzdemo")) << name;
        std::string fresh;
        ASSERT_TRUE(read_file(folder + "default.kzdemo", &fresh));
        EXPECT_EQ(fresh.substr(0, 5), "KZ06 ") << "a new recording";
    }
}

TEST(DemoBackups, TimeTrialRecordsTheTracksLastLapWithoutRotation)
{
    time_trial_mode = 1;
    set_track_folder("testtrack");
    ASSERT_TRUE(write_file(test_home_dir() + "demos/default.kzdemo", "d"));
    demo_backups = 3;
    start_demo_recording();
    ASSERT_NE(demo_record_file, nullptr);
    stop_demo_recording();
    EXPECT_TRUE(file_exists(test_home_dir() + "testtrack/lastlap.kzdemo"));
    EXPECT_FALSE(file_exists(test_home_dir() + "demos/default00.kzdemo"));
    set_track_folder(nullptr);
}

TEST(DemoBackups, TheUsersNameForARecording)
{
    struct Case {
        const char *name;
        const char *kept_as;   // null: the recording keeps the default name
    } cases[] = {
        {"race one.kzdemo", "race one.kzdemo"},
        {"../outside.kzdemo", nullptr},
        {"sub/inner.kzdemo", nullptr},
        {"..", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        remove(demo_path("default.kzdemo").c_str());
        strcpy(demo_name, c.name);
        start_demo_recording();
        stop_demo_recording();
        EXPECT_STREQ(demo_name, "");
        if (c.kept_as) {
            EXPECT_TRUE(file_exists(demo_path(c.kept_as)));
            EXPECT_FALSE(file_exists(demo_path("default.kzdemo")));
        } else {
            EXPECT_TRUE(file_exists(demo_path("default.kzdemo")));
            EXPECT_FALSE(file_exists(test_home_dir() + "outside.kzdemo"));
        }
    }
}

TEST(DemoCopy, CopyThroughATemporaryFile)
{
    std::string big(5000, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7);
    std::string track = test_home_dir() + "testtrack/";
    ASSERT_TRUE(write_file(track + "lastlap.kzdemo", big));
    ASSERT_TRUE(write_file(track + "fastlap.kzdemo", "old"));

    EXPECT_EQ(copy_game_file("@testtrack/lastlap.kzdemo", "@testtrack/fastlap.kzdemo"), 1);
    std::string bytes;
    ASSERT_TRUE(read_file(track + "fastlap.kzdemo", &bytes));
    EXPECT_EQ(bytes, big);
    EXPECT_FALSE(file_exists(track + "fastlap.kzdemo.tmp"));

    // A failed write keeps the old file: the temporary name is a folder.
    ASSERT_TRUE(write_file(track + "fastlap.kzdemo", "old"));
    ASSERT_TRUE(write_file(track + "fastlap.kzdemo.tmp/inside", "x"));
    EXPECT_EQ(copy_game_file("@testtrack/lastlap.kzdemo", "@testtrack/fastlap.kzdemo"), 0);
    ASSERT_TRUE(read_file(track + "fastlap.kzdemo", &bytes));
    EXPECT_EQ(bytes, "old");
    EXPECT_TRUE(file_exists(track + "fastlap.kzdemo.tmp/inside"));

    EXPECT_EQ(copy_game_file("@testtrack/missing.kzdemo", "@testtrack/fastlap.kzdemo"), 0);
    ASSERT_TRUE(read_file(track + "fastlap.kzdemo", &bytes));
    EXPECT_EQ(bytes, "old");
}
