// The replay seek: walking the chunk chain back, damaged chains, gzip
// demos, old-format jumps, and the cases where the seek does nothing.
#include "race/demo.h"

#include "app/shell.h"
#include "bike/bike_pose.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/results.h"
#include "tests/bike/bike_fixture.h"
#include "tests/race/demo_fixture.h"
#include "track/erosion.h"

#include <gtest/gtest.h>

#include <cstdio>

// A physics world for the race tics the seek runs, and a demo of one rider
// shown in slot 4: a chunk every 16 tics from 0 to 1024 holding one to
// three entries 4 tics apart, and an erosion record at tic 32.
struct ReplaySeek : BikeWorld {
    DemoCatalogue catalogue;
    DemoBytes demo{v6_header(1)};

    void SetUp() override
    {
        BikeWorld::SetUp();
        uint8_t erosion[17] = {1, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 8, 0, 0, 8, 128, 128};
        for (int tic = 0; tic <= 1024; tic += 16) {
            std::string payload;
            for (int k = tic / 16 % 3; k >= 0; k--)
                payload += state_entry(0, tic - 4 * k, (uint32_t)(tic - 4 * k));
            demo.chunk(1, tic, payload);
            if (tic == 32)
                demo.chunk(5, tic, std::string((const char *)erosion, 17));
        }
    }

    void open(const char *name = "@demos/seek.kzdemo")
    {
        clear_state_history();
        ASSERT_EQ(open_demo_playback(name), 1);
        demo_riders[0].slot = 4;
        current_tic = 0;
        reset_erosion_queue();
    }

    // The race reaching a tic: chunks are played at every tic on the way.
    static void play_through(int last_tic)
    {
        for (int tic = current_tic; tic <= last_tic; tic++) {
            current_tic = tic;
            play_demo_chunks();
        }
    }
};

struct PlaybackPoint {
    int64_t position;
    uint32_t link;
    std::vector<std::pair<int, std::string>> pairs;   // older and newer around each tic
};

static PlaybackPoint playback_point(int first_tic, int last_tic)
{
    PlaybackPoint point{demo_read_position, demo_prev_chunk_length, {}};
    for (int tic = first_tic; tic <= last_tic; tic++) {
        int older = -1, newer = -1;
        if (!find_history_pair(4, tic, &older, &newer)) {
            point.pairs.emplace_back(-1, "");
            continue;
        }
        const StateHistory &h = state_history[4];
        point.pairs.emplace_back(h.ticks[older], std::string((const char *)h.states[older], 39));
        point.pairs.emplace_back(h.ticks[newer], std::string((const char *)h.states[newer], 39));
    }
    return point;
}

static void expect_same_point(const PlaybackPoint &a, const PlaybackPoint &b)
{
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.link, b.link);
    ASSERT_EQ(a.pairs.size(), b.pairs.size());
    for (size_t i = 0; i < a.pairs.size(); i++)
        EXPECT_EQ(a.pairs[i], b.pairs[i]) << "pair entry " << i;
}

// The demo file opened anew at the place the playback stands (the file
// layer keeps what it read of the old bytes).
static void reopen_in_place(void)
{
    int64_t position = demo_read_position, next = demo_next_tic, base = demo_base_tic;
    uint32_t link = demo_prev_chunk_length;
    int tic = current_tic;
    ASSERT_EQ(open_demo_playback("@demos/seek.kzdemo"), 1);
    demo_riders[0].slot = 4;
    ASSERT_EQ(move_demo_playback(position, link, next), 1);
    demo_base_tic = base;
    current_tic = tic;
}

// The reference: the demo played through from its start to the tic.
static PlaybackPoint reference_point(ReplaySeek *test, int tic, int first, int last)
{
    test->open();
    ReplaySeek::play_through(tic);
    return playback_point(first, last);
}

TEST_F(ReplaySeek, RewindWalksBackAndMatchesPlayingThrough)
{
    ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
    PlaybackPoint expected = reference_point(this, 871, 810, 940);

    open();
    play_through(1000);
    seek_replay(-1.0f);
    EXPECT_EQ(current_tic, 872) << "target 1000 - 128 - 1, then one race tic";
    expect_same_point(playback_point(810, 940), expected);
    EXPECT_EQ(history_entries(4).back().first, 792) << "nothing older than the chunk of tic 800";
}

TEST_F(ReplaySeek, RewindAtTic50GivesTic0)
{
    ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
    PlaybackPoint expected = reference_point(this, 0, 0, 60);
    open();
    play_through(50);
    ASSERT_EQ(erosion_queue.count, 1);
    seek_replay(-1.0f);
    EXPECT_EQ(current_tic, 1);
    EXPECT_EQ(erosion_queue.count, 1) << "the erosion record read again is not applied again";
    expect_same_point(playback_point(0, 60), expected);
    EXPECT_EQ(history_entries(4).back().first, 0);
}

TEST_F(ReplaySeek, DamagedChainRestartsFromTheFirstChunk)
{
    ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
    PlaybackPoint expected = reference_point(this, 871, 810, 940);
    // The chunk of tic 960 (after the erosion chunk: index 61) is damaged on
    // disk after it was read.
    size_t damaged = demo.chunk_starts[61];
    uint32_t own_length = (uint32_t)(demo.chunk_starts[62] - damaged - 9);
    struct Case {
        const char *what;
        uint32_t link;   // what the walk recovers as the length before it
    } cases[] = {
        {"a step of nothing (length + 9 wraps to 0)", 0xfffffff7u},
        {"a step to before the chunks", (uint32_t)damaged},
        {"a length past any demo", 0x7fffffffu},
        {"a step into the middle of a chunk", 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
        open();
        play_through(1000);
        std::string bytes = demo.bytes;
        bytes.replace(damaged, 4, le32(c.link ^ own_length));
        ASSERT_TRUE(write_demo("seek.kzdemo", bytes));
        reopen_in_place();
        seek_replay(-1.0f);
        EXPECT_EQ(current_tic, 872);
        expect_same_point(playback_point(810, 940), expected);
        close_demo_playback();
    }
}

TEST_F(ReplaySeek, GzipDemoCannotRewind)
{
    ASSERT_TRUE(write_demo("packed.kzdemo.gz", gzip_bytes(demo.bytes)));
    open("@demos/packed.kzdemo");
    play_through(1000);
    PlaybackPoint before = playback_point(900, 1000);
    seek_replay(-1.0f);
    EXPECT_EQ(current_tic, 1000);
    expect_same_point(playback_point(900, 1000), before);

    int saved = roost_frequency;
    seek_replay(1.0f);
    EXPECT_EQ(current_tic, 1128) << "forward runs the race";
    EXPECT_EQ(roost_frequency, saved);
}

TEST_F(ReplaySeek, OnlyWhileWatchingAReplay)
{
    ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
    struct Case {
        const char *what;
        int kind;
        int record;
        int play;
    } cases[] = {
        {"a local rider", RIDER_LOCAL, 0, 1},
        {"a robot rider", RIDER_ROBOT, 0, 1},
        {"a recording", RIDER_REMOTE, 1, 1},
        {"no demo", RIDER_REMOTE, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BikeState *bike = create_bike("cr125", 2, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        rider_kind[2] = c.kind;
        open();
        play_through(400);
        if (c.record)
            start_demo_recording();
        if (!c.play)
            close_demo_playback();
        int64_t position = demo_read_position;
        seek_replay(-1.0f);
        seek_replay(1.0f);
        EXPECT_EQ(current_tic, 400);
        EXPECT_EQ(demo_read_position, position);
        stop_demo_recording();
        free_bike(bike);
    }
}

TEST_F(ReplaySeek, RewindDropsGatesPassedAfterTheTarget)
{
    ASSERT_TRUE(write_demo("seek.kzdemo", demo.bytes));
    BikeState *bike = create_bike("cr125", 2, 0, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    disable_bike_physics(bike);
    rider_kind[2] = RIDER_REMOTE;
    for (int time : {100, 700, 900, -1}) {
        int *entry = (int *)append_to_growable_array(&bike->gate_times);
        ASSERT_NE(entry, nullptr);
        *entry = time;
    }
    open();
    play_through(1000);
    bike->gates_passed = 4;
    results_written = 1;
    seek_replay(-1.0f);
    EXPECT_EQ(bike->gates_passed, 2) << "gates at 900 and unknown are after tic 871";
    EXPECT_EQ(get_gate_time(bike, 1), 700);
    // The results were reopened and the running order made again.
    ASSERT_GE(running_order_count, 1);
    EXPECT_EQ(running_order[0].slot, 2);
    EXPECT_EQ(running_order[0].gates, 2);
}

TEST_F(ReplaySeek, OldFormatDemosJumpByRecords)
{
    std::string bytes = "KZ05 2 0 3 100\ntesttrack\ncr125\n1\ncr125\n2\n";
    for (int tic = 0; tic < 1200; tic++)
        bytes += seeded_state(1000 + tic) + seeded_state(5000 + tic);
    ASSERT_TRUE(write_demo("old.kzdemo", bytes));
    struct Case {
        float seconds;
        int accurate;
        int target;   // the tic the records are read from
        int after;    // current_tic after the seek
    } cases[] = {
        {-1.0f, 0, 371, 372},
        {1.0f, 0, 627, 628},
        {-10.0f, 0, 0, 1},
        {1.0f, 1, -1, 628},   // tic by tic
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seconds);
        accurate_skip = c.accurate;
        open("@demos/old.kzdemo");
        demo_riders[1].slot = 5;
        play_through(500);
        seek_replay(c.seconds);
        EXPECT_EQ(current_tic, c.after);
        if (c.target < 0)
            continue;
        std::vector<std::pair<int, std::string>> first = history_entries(4), second = history_entries(5);
        // The seek reads the records of c .. c + 8; the race tic after it
        // reads one more ahead.
        ASSERT_EQ(first.size(), 10u);
        EXPECT_EQ(first.back().first, c.target);
        EXPECT_EQ(first.back().second, seeded_state(1000 + c.target));
        EXPECT_EQ(second.back().second, seeded_state(5000 + c.target));
        close_demo_playback();
    }
}
