// Camera keyframes (order, deletion, key files), the recording's demo name
// and the track information file.
#include "net/camera_keys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/message.h"
#include "net/console.h"
#include "race/demo.h"
#include "race/race_fixture.h"
#include "race/race_state.h"
#include "track/timing.h"
#include "track/track.h"

namespace {

std::string last_message()
{
    int i = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    return message_log.lines[i];
}

CameraKey key_at(int tic, float x = 0.0f)
{
    CameraKey k{};
    k.position[0] = x;
    k.orientation[3] = 1.0f;
    k.fov = 90.0f;
    k.tic = tic;
    return k;
}

int add_key(int tic, float x = 0.0f)
{
    CameraKey k = key_at(tic, x);
    return insert_camera_key(&k);
}

std::vector<int> key_tics()
{
    std::vector<int> tics;
    for (int i = 0; i < camera_keys.count; i++)
        tics.push_back(((const CameraKey *)camera_keys.data)[i].tic);
    return tics;
}

struct CameraKeys : testing::Test {
    void TearDown() override { clear_camera_keys(); }
};

TEST_F(CameraKeys, InsertedInTicOrderSameTicAfter)
{
    for (int tic : {100, 300, 200})
        ASSERT_TRUE(add_key(tic));
    EXPECT_EQ(key_tics(), (std::vector<int>{100, 200, 300}));
    add_key(200, 7.0f);
    EXPECT_EQ(((const CameraKey *)camera_keys.data)[2].position[0], 7.0f);
}

TEST_F(CameraKeys, DeleteRemovesTheNearerKey)
{
    struct Case {
        int tic;
        std::vector<int> left;
    };
    const Case cases[] = {
        {150, {300}}, {250, {100}}, {200, {300}}, {50, {300}}, {400, {100}}, {300, {100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tic);
        clear_camera_keys();
        add_key(100);
        add_key(300);
        delete_camera_key(c.tic);
        EXPECT_EQ(key_tics(), c.left);
    }
    delete_camera_key(0);
    EXPECT_EQ(camera_keys.count, 0) << "a single key is removed";
    delete_camera_key(0);
    EXPECT_EQ(camera_keys.count, 0);
}

TEST_F(CameraKeys, KeyFromTheFreeCamera)
{
    CameraRecord camera{};
    camera.x = 1, camera.y = 2, camera.z = 3;
    camera.yaw = (float)(M_PI / 2);
    camera.pitch = (float)(M_PI / 3);
    CameraKey k;
    make_camera_key(&camera, 75.0f, 640, &k);
    const double c = cos(M_PI / 4), s = sin(M_PI / 4), cp = cos(M_PI / 6), sp = sin(M_PI / 6);
    EXPECT_FLOAT_EQ(k.orientation[0], (float)(c * sp));
    EXPECT_FLOAT_EQ(k.orientation[1], (float)(s * cp));
    EXPECT_FLOAT_EQ(k.orientation[2], (float)(-s * sp));
    EXPECT_FLOAT_EQ(k.orientation[3], (float)(c * cp));
    EXPECT_EQ(k.position[2], 3.0f);
    EXPECT_EQ(k.fov, 75.0f);
    EXPECT_EQ(k.tic, 640);
}

TEST_F(CameraKeys, KeyLinesTable)
{
    struct Case {
        const char *line;
        int ok;
    };
    const Case cases[] = {
        {"1 2 3 0 0 0 1 90 128\n", 1},
        {"1.5 -2 3e2 0.1 0.2 0.3 0.9 60.25 -5", 1},
        {"1 2 3 0 0 0 1 90\n", 0},          // eight numbers
        {"1 2 3 0 nan 0 1 90 128\n", 0},
        {"1 2 3 0 0 0 inf 90 128\n", 0},
        {"1 2 3 0 0 0 1 1e39 128\n", 0},    // no float holds it
        {"1 2 3 0 0 0 1 90 x\n", 0},
        {"", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        CameraKey k{};
        EXPECT_EQ(parse_camera_key_line(c.line, &k), c.ok);
    }
    CameraKey k{};
    ASSERT_TRUE(parse_camera_key_line("1.5 -2 3e2 0.1 0.2 0.3 0.9 60.25 -5", &k));
    EXPECT_EQ(k.position[2], 300.0f);
    EXPECT_FLOAT_EQ(k.orientation[3], 0.9f);
    EXPECT_EQ(k.fov, 60.25f);
    EXPECT_EQ(k.tic, -5);
}

TEST_F(CameraKeys, FileRoundTripAndBadLines)
{
    CameraKey a = key_at(128, 1.25f), b = key_at(512, -3.5f);
    b.orientation[1] = 0.5f;
    insert_camera_key(&a);
    insert_camera_key(&b);
    ASSERT_TRUE(write_camera_keys("  flight "));
    std::string text;
    ASSERT_TRUE(read_file(test_home_dir() + "keycam/flight", &text));
    EXPECT_EQ(text, "1.2500 0.0000 0.0000 0.0000 0.0000 0.0000 1.0000 90.00 128\n"
                    "-3.5000 0.0000 0.0000 0.0000 0.5000 0.0000 1.0000 90.00 512\n");
    clear_camera_keys();
    ASSERT_TRUE(read_camera_keys("flight"));
    ASSERT_EQ(key_tics(), (std::vector<int>{128, 512}));
    EXPECT_EQ(((const CameraKey *)camera_keys.data)[1].orientation[1], 0.5f);

    // Keys out of order are put in order; an eight-number line stops the read.
    ASSERT_TRUE(write_file(test_home_dir() + "keycam/broken",
                           "0 0 0 0 0 0 1 90 300\n0 0 0 0 0 0 1 90 100\n0 0 0 0 0 0 1 90\n0 0 0 0 0 0 1 90 200\n"));
    EXPECT_FALSE(read_camera_keys("broken"));
    EXPECT_EQ(key_tics(), (std::vector<int>{100, 300}));

    // A missing file, an empty name or one leaving the folder keep the list.
    for (const char *name : {"missing", "", "   ", "../flight", "a/b"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(read_camera_keys(name));
        EXPECT_EQ(key_tics(), (std::vector<int>{100, 300}));
        if (strcmp(name, "missing") != 0) {
            EXPECT_FALSE(write_camera_keys(name));
        }
    }
    EXPECT_FALSE(file_exists(test_home_dir() + "flight"));
}

TEST_F(CameraKeys, ConsoleAddListAndDeleteKeys)
{
    free_camera.x = 10.0f;
    free_camera.yaw = 0.0f;
    free_camera.pitch = 0.0f;
    current_tic = 256;
    EXPECT_EQ(run_console_line("/addkey"), 1);
    EXPECT_EQ(last_message(), "Keyframe added");
    EXPECT_EQ(run_console_line("/listkeys"), 1);
    EXPECT_EQ(last_message(), "pos = { 10.00, 0.00, 0.00 }, rot = { 0.00, 0.00, -0.00, 1.00 }, time = 2.00");
    EXPECT_EQ(run_console_line("/rmkey"), 1);
    EXPECT_EQ(last_message(), "Keyframe deleted");
    EXPECT_EQ(camera_keys.count, 0);
    EXPECT_EQ(run_console_line("/readkeys nothere"), 1);
    EXPECT_EQ(last_message(), "Error reading camera keys");
}

struct DemoNaming : testing::Test {
    void SetUp() override
    {
        demo_record_file = file_open("@demos/default.kzdemo", "wb");
        ASSERT_NE(demo_record_file, nullptr);
        demo_name[0] = '\0';
    }
    void TearDown() override
    {
        file_close(demo_record_file);
        demo_record_file = nullptr;
        demo_name[0] = '\0';
    }
};

TEST_F(DemoNaming, NamesTable)
{
    struct Case {
        const char *text;
        int ok;
        const char *name;    // demo_name after
        const char *reply;
    };
    const std::string long_name(1017, 'n');
    const Case cases[] = {
        {"  run1 more words", 1, "run1.kzdemo", "Demo name updated"},
        {"run2.kzdemo", 1, "run2.kzdemo", "Demo name updated"},
        {"run3", 1, "run3.kzdemo", "Demo name updated"},   // the second name replaces the first
        {long_name.c_str(), 0, "run3.kzdemo", "Name too long"},
        {"../up", 0, "run3.kzdemo", nullptr},
        {"", 0, "run3.kzdemo", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(name_demo(c.text), c.ok);
        EXPECT_STREQ(demo_name, c.name);
        if (c.reply) {
            EXPECT_EQ(last_message(), c.reply);
        }
    }
    demo_play_file = demo_record_file;   // playing: nothing is being recorded
    EXPECT_EQ(name_demo("run4"), 0);
    EXPECT_EQ(last_message(), "Not currently recording a demo");
    demo_play_file = nullptr;
}

struct TrackInfo : RaceWorld {};

TEST_F(TrackInfo, FileDescribesTheLoadedTrack)
{
    EXPECT_EQ(save_track_info(), 0) << "no track loaded";
    const int codes[] = {1};
    ASSERT_TRUE(start(codes, 1, 2, 0));
    EXPECT_EQ(run_console_line("/savetrackinfo"), 1);
    EXPECT_EQ(last_message(), std::string("Track info saved to ") + RACE_TRACK + ".trackinfo");
    std::string text;
    ASSERT_TRUE(read_file(test_home_dir() + RACE_TRACK + ".trackinfo", &text));
    char hash[41];
    for (int i = 0; i < 20; i++)
        snprintf(hash + 2 * i, 3, "%02x", current_track.digest[i]);
    std::string expected = std::string("dir=") + RACE_TRACK + "\nlongname=" +
                           (current_track.long_name ? current_track.long_name : RACE_TRACK) +
                           "\nfirstlap=" + std::to_string(lap_gate_list.first_lap_count) +
                           "\nnormallap=" + std::to_string(lap_gate_list.normal_lap_count) +
                           "\ngatecount=" + std::to_string(timing_gate_count) + "\nhash=" + hash + "\n";
    EXPECT_EQ(text, expected);
    EXPECT_GT(timing_gate_count, 0);
}

}   // namespace
