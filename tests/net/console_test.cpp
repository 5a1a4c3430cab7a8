// The console: the command table's matching and replies, chat refusal, the
// recent-line history the arrow keys recall.
#include "net/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/frame_pacing.h"
#include "app/graphics_settings.h"
#include "app/hud.h"
#include "app/settings.h"
#include "app/shell.h"
#include "bike/bike_fixture.h"
#include "bike/bike_pose.h"
#include "core/message.h"
#include "net/camera_keys.h"
#include "net/client.h"
#include "race/demo.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "support/test_support.h"

namespace {

std::string last_message()
{
    int i = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
    return message_log.lines[i];
}

struct ConsoleTest : testing::Test {
    void SetUp() override
    {
        menu_keys.up = 1001, menu_keys.down = 1002, menu_keys.enter = 1003;
        menu_keys.page_up = 1004, menu_keys.page_down = 1005;
        reset_console();
        current_time = 100.0;
    }
    void type_line(const char *text)
    {
        set_text_field_text(&console_line, text);
        text_entry_key(menu_keys.enter);
    }
};

struct CommandCase {
    const char *line;
    int taken;
    const char *reply;                 // null: not checked
    std::function<void()> check;       // may be empty
};

TEST_F(ConsoleTest, CommandTable)
{
    fov_slider.value = 110.0;
    const CommandCase cases[] = {
        {"/fov", 1, "Usage: fov <degrees>", [] { EXPECT_EQ(fov_slider.value, 110.0); }},
        {"/fovea 90", 1, "Usage: fov <degrees>", [] { EXPECT_EQ(fov_slider.value, 110.0); }},
        {"/fov 200", 1, "fov set", [] { EXPECT_EQ(fov_slider.value, 170.0); }},
        {"/fov 5", 1, "fov set", [] { EXPECT_EQ(fov_slider.value, 10.0); }},
        {"/fov nan", 1, "Usage: fov <degrees>", [] { EXPECT_EQ(fov_slider.value, 10.0); }},
        {"/fov 95", 1, "fov set", [] { EXPECT_EQ(fov_slider.value, 95.0); }},
        {"/log e 2.5", 1, "Logging 0x1, spacing 2.500000",
         [] { EXPECT_EQ(contact_log_flags, 1); EXPECT_FLOAT_EQ(contact_log_spacing, 2.5f); }},
        {"/log", 1, "Logging 0x0, spacing 10.000000", [] { EXPECT_EQ(contact_log_flags, 0); }},
        {"/log x 3", 1, "Logging 0x0, spacing 3.000000", nullptr},
        {"/log ee inf", 1, "Logging 0x1, spacing 10.000000", nullptr},
        {"/logs", 0, nullptr, nullptr},
        {"/reportstutter 0.25", 1, "Stutter threshold set to 0.250000", nullptr},
        {"/reportstutter nan", 1, "Stutter threshold set to 0.250000", nullptr},
        {"/reportstutter -1", 1, "Stutter threshold set to 0.250000",
         [] { EXPECT_FLOAT_EQ(stutter_threshold, 0.25f); }},
        {"/ sendfile x", 1, "Not connected to server", nullptr},
        {"/sendfiles x", 0, nullptr, nullptr},
        {"/unknown", 0, nullptr, nullptr},
        {"/togglefpsx", 0, nullptr, nullptr},
        {"\\togglefps", 1, "FPS display ON", [] { EXPECT_EQ(show_fps, 1); }},
        {"/togglefps", 1, "FPS display OFF", [] { EXPECT_EQ(show_fps, 0); }},
        {"/togglespy", 1, "Spy mode ON", nullptr},
        {"/togglespam", 1, "Hide spam ON", [] { EXPECT_EQ(hide_spam, 1); }},
        {"/togglekeycam", 1, "Keycam mode ON", [] { EXPECT_EQ(keycam_mode, 1); }},
        {"/messagelines 7", 1, "Maximum showing messages is now 7", nullptr},
        {"/messagelines abc", 1, "Maximum showing messages is now 7", nullptr},
        {"/demobackups 3", 1, "Now keeping 3 demo backups", [] { EXPECT_EQ(demo_backups, 3); }},
        {"/mapscale 100", 1, "Map scale set to 8.000000", nullptr},
        {"/mapscale 0.5", 1, "Map scale set to 0.500000", nullptr},
        {"/bbopt 12", 1, "Billboard optimization window is now 12", nullptr},
        {"/bbopt -4", 1, "Billboard optimization window is now 12", nullptr},
        {"/forcereload", 1, "Track will be reloaded on next restart", [] { EXPECT_EQ(force_track_reload, 1); }},
        {"/camangle 90 10", 0, nullptr, nullptr},   // no bike followed
        {"/pipe 1 2 3 0 15", 0, nullptr, nullptr},
        {"/namedemo mine", 1, "Not currently recording a demo", [] { EXPECT_EQ(demo_name[0], '\0'); }},
        {"/clearkeys", 1, "Keyframes cleared", nullptr},
        {"/randdump", 1, nullptr, nullptr},
        {"/writesetup ../x", 1, "Error writing setup", nullptr},
        {"/readsetup  missing ", 1, "Error reading setup", [] { EXPECT_EQ(client_info_changed, 1); }},
    };
    for (const CommandCase &c : cases) {
        SCOPED_TRACE(c.line);
        print_message("-");
        EXPECT_EQ(run_console_line(c.line), c.taken);
        if (c.reply) {
            EXPECT_EQ(last_message(), c.reply);
        } else if (!c.taken) {
            EXPECT_EQ(last_message(), "-") << "nothing said";
        }
        if (c.check)
            c.check();
    }
}

TEST_F(ConsoleTest, FrameHistogramLineResetsTheCounts)
{
    for (int i = 0; i < FRAME_TIME_BUCKETS; i++)
        frame_time_histogram[i] = i * 3;
    EXPECT_EQ(run_console_line("/fpshist"), 1);
    EXPECT_EQ(last_message(), "128=0 64=3 32=6 16=9 8=12 4=15 2=18 1=21 ");
    for (int i = 0; i < FRAME_TIME_BUCKETS; i++)
        EXPECT_EQ(frame_time_histogram[i], 0);
}

TEST_F(ConsoleTest, RenderStatsClearsTheMaxima)
{
    for (int &m : hud_stat_maxima)
        m = 99;
    EXPECT_EQ(run_console_line("/renderstats"), 1);
    EXPECT_EQ(show_render_stats, 1);
    for (int m : hud_stat_maxima)
        EXPECT_EQ(m, 0);
}

TEST_F(ConsoleTest, ChatWithinTwoSecondsRefusedAndKeptInTheEntry)
{
    int fd = open_udp_socket();
    ASSERT_NE(fd, -1);
    net_socket = fd;   // queueing needs only an open socket
    type_line("hello");
    EXPECT_EQ(outgoing_packet_count(), 1);
    EXPECT_STREQ(console_line.text, "");
    EXPECT_STREQ(recent_lines[1], "hello");

    current_time = 101.5;
    type_line("again");
    EXPECT_EQ(last_message(), "No one likes a spammer");
    EXPECT_STREQ(console_line.text, "again") << "a refused line stays in the entry";
    EXPECT_EQ(outgoing_packet_count(), 1);
    EXPECT_EQ(recent_line_count, 2);

    current_time = 102.01;
    text_entry_key(menu_keys.enter);
    EXPECT_EQ(outgoing_packet_count(), 2);
    EXPECT_STREQ(recent_lines[1], "again");
    free_packet_lists();
    net_socket = -1;
    close_socket(fd);
}

TEST_F(ConsoleTest, ChatOfflineSaysNotConnected)
{
    EXPECT_EQ(run_console_line("%n%s"), 1);
    EXPECT_EQ(last_message(), "Not connected to server");
}

TEST_F(ConsoleTest, UnknownCommandStaysInTheEntryAndOutOfTheHistory)
{
    type_line("/nosuch");
    EXPECT_STREQ(console_line.text, "/nosuch");
    EXPECT_EQ(recent_line_count, 1);
    EXPECT_STREQ(recent_lines[1], "");
}

TEST_F(ConsoleTest, UpAndDownRecallTheRecentLines)
{
    text_entry_key(menu_keys.up);
    EXPECT_EQ(recall_cursor, 0) << "no history: the cursor stays on the entry";
    EXPECT_STREQ(console_line.text, "");

    type_line("/togglefps");
    type_line("/toggletime");
    set_text_field_text(&console_line, "draft");
    text_entry_key(menu_keys.up);
    EXPECT_STREQ(console_line.text, "/toggletime");
    EXPECT_EQ(console_line.cursor, (int)strlen("/toggletime"));
    text_entry_key(menu_keys.up);
    EXPECT_STREQ(console_line.text, "/togglefps");
    text_entry_key(menu_keys.up);
    EXPECT_STREQ(console_line.text, "/togglefps") << "past the oldest stays on it";
    EXPECT_EQ(recall_cursor, 2);
    text_entry_key(menu_keys.down);
    text_entry_key(menu_keys.down);
    EXPECT_STREQ(console_line.text, "draft") << "the edited line comes back";
    text_entry_key(menu_keys.down);
    EXPECT_EQ(recall_cursor, 0);
}

TEST_F(ConsoleTest, HistoryHoldsAtMostAHundredSlots)
{
    char line[32];
    for (int i = 0; i < 150; i++) {
        snprintf(line, sizeof line, "/messagelines %d", i);
        type_line(line);
    }
    EXPECT_EQ(recent_line_count, RECENT_LINES);
    EXPECT_STREQ(recent_lines[1], "/messagelines 149");
    EXPECT_STREQ(recent_lines[99], "/messagelines 51");
    for (int i = 0; i < 200; i++)
        text_entry_key(menu_keys.up);
    EXPECT_EQ(recall_cursor, RECENT_LINES - 1);
    EXPECT_STREQ(console_line.text, "/messagelines 51");
}

TEST_F(ConsoleTest, PageKeysScrollWithinBounds)
{
    text_entry_key(menu_keys.page_down);
    EXPECT_EQ(console_scroll, 0);
    for (int i = 0; i < 1000; i++)
        text_entry_key(menu_keys.page_up);
    EXPECT_EQ(console_scroll, CONSOLE_SCROLL_LIMIT);
    text_entry_key(menu_keys.page_down);
    EXPECT_EQ(console_scroll, CONSOLE_SCROLL_LIMIT - 1);
}

}   // namespace

namespace {

struct ConsoleBikes : BikeWorld {
    void SetUp() override
    {
        BikeWorld::SetUp();
        reset_console();
    }
};

}  // namespace

// "/readsetup" sets up the followed bike when it is simulated here: the
// player's, a robot's; a rider placed from received states keeps its own.
TEST_F(ConsoleBikes, ReadsetupSetsUpAnyBikeSimulatedHere)
{
    ASSERT_TRUE(write_file(test_home_dir() + "setups/slow", "max_dab_speed=30\n"));
    struct Case {
        const char *what;
        int kind;
        bool placed;
        bool applied;
    } cases[] = {
        {"the player", RIDER_LOCAL, false, true},
        {"a robot", RIDER_ROBOT, false, true},
        {"a remote rider", RIDER_REMOTE, true, false},
    };
    int slot = 2;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BikeState *bike = create_bike("yz250f(2017)", slot, 1, "5", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        rider_kind[slot] = c.kind;
        if (c.placed)
            disable_bike_physics(bike);
        followed_slot = slot;
        bike->max_dab_speed = 1.0f;
        EXPECT_EQ(run_console_line("/readsetup slow"), 1);
        EXPECT_EQ(last_message(), "Setup updated");
        EXPECT_FLOAT_EQ(bike->max_dab_speed, c.applied ? 44.0f : 1.0f);
        slot++;
    }
    rider_kind[2] = rider_kind[3] = rider_kind[4] = RIDER_LOCAL;
}
