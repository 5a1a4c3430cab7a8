// "@config": every kind of setting written and read back, the defaults
// written byte for byte the same after a read, damaged files setting only
// their good lines, a failed write keeping the old file, and the command
// line's option matcher.
#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/graphics_settings.h"
#include "app/option_screen_items.h"
#include "app/race_screens.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/sound_settings.h"
#include "platform/log.h"
#include "race/demo.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

std::string config_path()
{
    return test_home_dir() + "config";
}

std::string written_config()
{
    std::string text;
    EXPECT_EQ(write_config(), 1);
    EXPECT_TRUE(read_file(config_path(), &text));
    return text;
}

void read_config_text(const std::string &text)
{
    ASSERT_TRUE(write_file(config_path(), text));
    read_config();
}

}  // namespace

TEST(Settings, DefaultsWriteReadAndWriteAgainTheSameBytes)
{
    std::string first = written_config();
    EXPECT_EQ(first.compare(0, 24, "xres=640\nyres=480\ndraw_f"), 0);
    // Every block in its place: gates after the laps, the setup after the
    // time trial, the bindings last.
    size_t laps = first.find("laps=5.000000\nslot00=Empty\n");
    size_t setup = first.find("time_trial_abort=Yes\nbike=yz250f(2017)\nname=Joe Motocross\n");
    size_t bindings = first.find("map_scale=1.000000\nthrottle_key=(k)x\n");
    EXPECT_NE(laps, std::string::npos);
    EXPECT_NE(setup, std::string::npos);
    EXPECT_NE(bindings, std::string::npos);
    EXPECT_NE(first.find("slot19=Human\n"), std::string::npos);
    EXPECT_NE(first.find("server_name=localhost\nserver_name_hist00=\n"), std::string::npos);
    EXPECT_EQ(first.compare(first.size() - 20, 20, "screenshot_key=(k)s\n"), 0);

    read_config();
    EXPECT_EQ(written_config(), first);
}

TEST(Settings, EveryKindRoundTrips)
{
    struct Kind {
        const char *what;
        std::function<void()> set;
        std::function<void()> clear;
        std::function<void()> check;
    } kinds[] = {
        {"int", [] { configured_width = 1280; }, [] { configured_width = 640; },
         [] { EXPECT_EQ(configured_width, 1280); }},
        {"slider", [] { fov_slider.value = 87.5; }, [] { fov_slider.value = 110; },
         [] { EXPECT_EQ(fov_slider.value, 87.5); }},
        {"option", [] { render_texture_list.selected = 4; }, [] { render_texture_list.selected = 0; },
         [] { EXPECT_EQ(render_texture_list.selected, 4); }},
        {"text", [] { set_text_field_text(&server_field, "race.example:19801"); },
         [] { set_text_field_text(&server_field, ""); },
         [] { EXPECT_STREQ(server_field.text, "race.example:19801"); }},
        {"track name", [] { wanted_track = "tracks/far away"; }, [] { wanted_track = nullptr; },
         [] { EXPECT_STREQ(wanted_track, "tracks/far away"); }},
        {"map scale", [] { map_scale = 2.5f; }, [] { map_scale = 1.0f; }, [] { EXPECT_EQ(map_scale, 2.5f); }},
        {"gate", [] { gate_lists[39].selected = 4; }, [] { gate_lists[39].selected = 0; },
         [] { EXPECT_EQ(gate_lists[39].selected, 4); }},
        {"recent server", [] { strcpy(recent_servers[15], "old.example"); }, [] { recent_servers[15][0] = 0; },
         [] { EXPECT_STREQ(recent_servers[15], "old.example"); }},
        {"key binding", [] { parse_binding(&utility_bindings[7], "(k)p"); },
         [] { parse_binding(&utility_bindings[7], "pause"); },
         [] { EXPECT_STREQ(utility_bindings[7].key_name, "p"); }},
        {"axis binding", [] { parse_binding(&riding_bindings[9], "(0.062500,-0.875000)Pad axis 2"); },
         [] { parse_binding(&riding_bindings[9], "x"); },
         [] {
             const KeyBinding &b = riding_bindings[9];
             EXPECT_EQ(b.key_name, nullptr);
             EXPECT_STREQ(b.axis_name, "Pad axis 2");
             EXPECT_EQ(b.range_start, 0.0625f);
             EXPECT_EQ(b.range_end, -0.875f);
         }},
        {"setup slider", [] { bike_setup.rider_mass_distribution.value = 0.41; },
         [] { bike_setup.rider_mass_distribution.value = 0.33; },
         [] { EXPECT_EQ(bike_setup.rider_mass_distribution.value, 0.41); }},
        {"sound", [] { volume_slider.value = 3; }, [] { volume_slider.value = 10; },
         [] { EXPECT_EQ(volume_slider.value, 3); }},
        {"demo backups", [] { demo_backups = 4; }, [] { demo_backups = 0; }, [] { EXPECT_EQ(demo_backups, 4); }},
    };
    for (const Kind &k : kinds)
        k.set();
    std::string text = written_config();
    for (const Kind &k : kinds)
        k.clear();
    read_config();
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.what);
        k.check();
    }
    EXPECT_EQ(written_config(), text);
}

TEST(Settings, DamagedFilesSetOnlyTheirGoodLines)
{
    std::string log_path = test_dir() + "/settings.log";
    log_printf("VOKE_LOGFILE=%s", log_path.c_str());
    std::string long_line = "name=" + std::string(1018, 'a') + "minutes=9" + std::string(4000, 'b');
    struct Row {
        const char *what;
        std::string text;   // empty: no file at all
        std::function<void()> check;
    } rows[] = {
        {"missing file", "", [] { EXPECT_EQ(laps_slider.value, 5); }},
        {"CR LF line ends", "fov=100\r\nlaps=6\r\n",
         [] {
             EXPECT_EQ(fov_slider.value, 100);
             EXPECT_EQ(laps_slider.value, 6);
         }},
        {"a word for a number", "laps=many\nxres=wide\n",
         [] {
             EXPECT_EQ(laps_slider.value, 5);
             EXPECT_EQ(configured_width, 640);
         }},
        {"not a number", "laps=nan\nmap_scale=nan\nfov=inf\n",
         [] {
             EXPECT_EQ(laps_slider.value, 5);
             EXPECT_EQ(map_scale, 1.0f);
             EXPECT_EQ(fov_slider.value, 110);
         }},
        {"out of range", "laps=75\nmap_scale=20\nxres=20\nyres=99999999999\nmessage_lines=5000\n",
         [] {
             EXPECT_EQ(laps_slider.value, 50);
             EXPECT_EQ(map_scale, 8.0f);
             EXPECT_EQ(configured_width, 640);
             EXPECT_EQ(configured_height, 480);
             EXPECT_EQ(max_message_lines, 5);
         }},
        {"map scale below its range", "map_scale=0\n", [] { EXPECT_EQ(map_scale, 0.125f); }},
        {"a 5000-character line is dropped whole", long_line + "\nlaps=7\n",
         [] {
             EXPECT_STREQ(bike_setup.name.text, "Joe Motocross");
             EXPECT_EQ(minutes_slider.value, 0);
             EXPECT_EQ(laps_slider.value, 7);
         }},
        {"no '='", "fov 100\nlaps=8\n",
         [] {
             EXPECT_EQ(fov_slider.value, 110);
             EXPECT_EQ(laps_slider.value, 8);
         }},
        {"NUL bytes", std::string("fov=1\0" "00\nlaps=9\n", sizeof "fov=1\0" "00\nlaps=9\n" - 1),
         [] {
             EXPECT_EQ(fov_slider.value, 110);
             EXPECT_EQ(laps_slider.value, 9);
         }},
        {"a cut last line", "fov=100\nlaps=3", [] { EXPECT_EQ(laps_slider.value, 3); }},
        {"unknown keys", "colour=blue\nground_texture_distance=5\nlaps=4\n", [] { EXPECT_EQ(laps_slider.value, 4); }},
        {"use_fbo alone", "use_fbo=No\n", [] { EXPECT_STREQ(selected_choice(&render_texture_list), "Hardware/Copy"); }},
        {"render_texture after use_fbo wins", "use_fbo=No\nrender_texture=Shaders/Direct\n",
         [] { EXPECT_STREQ(selected_choice(&render_texture_list), "Shaders/Direct"); }},
        {"use_fbo after render_texture wins", "render_texture=Software\nuse_fbo=Yes\n",
         [] { EXPECT_STREQ(selected_choice(&render_texture_list), "Hardware/Direct"); }},
        {"gate keys match whole", "slot40=Human\nslot-1=Human\nslot5=Human\nslot05=Robot\n",
         [] {
             EXPECT_EQ(gate_lists[5].selected, 2);
             for (int i = 0; i < GATE_COUNT; i++)
                 if (i != 5 && (i < 17 || i > 22)) {
                     EXPECT_EQ(gate_lists[i].selected, 0) << i;
                 }
         }},
        {"history keys match whole and fit",
         "server_name_hist16=x\nserver_name_hist1=y\nserver_name_hist02=" + std::string(127, 'h') +
             "\nserver_name_hist03=" + std::string(126, 'k') + "\n",
         [] {
             EXPECT_STREQ(recent_servers[1], "");
             EXPECT_STREQ(recent_servers[2], "");
             EXPECT_EQ(std::string(recent_servers[3]), std::string(126, 'k'));
         }},
        {"a binding range of equal ends", "throttle_key=(1,1)Pad axis 0\nclutch_key=(0,nan)Pad axis 1\n",
         [] {
             EXPECT_STREQ(riding_bindings[9].key_name, "x");
             EXPECT_STREQ(riding_bindings[4].key_name, "z");
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        // Back to the defaults the rows look at.
        laps_slider.value = 5, minutes_slider.value = 0, fov_slider.value = 110, map_scale = 1.0f;
        configured_width = 640, configured_height = 480, max_message_lines = 5;
        set_text_field_text(&bike_setup.name, "Joe Motocross");
        render_texture_list.selected = 2;
        unlink(config_path().c_str());
        if (row.text.empty())
            read_config();
        else
            read_config_text(row.text);
        row.check();
    }
    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    EXPECT_NE(log.find("line 1: line too long"), std::string::npos);
    EXPECT_NE(log.find("bad value for \"laps\""), std::string::npos);

    // After ten rejected lines only the count is logged.
    std::string many;
    for (int i = 0; i < 12; i++)
        many += "laps=bad" + std::to_string(i) + "\n";
    read_config_text(many);
    log.clear();
    ASSERT_TRUE(read_file(log_path, &log));
    EXPECT_NE(log.find("line 10: bad value"), std::string::npos);
    EXPECT_EQ(log.find("line 11: bad value"), std::string::npos);
    EXPECT_NE(log.find("12 lines ignored in all"), std::string::npos);
}

TEST(Settings, AFailedWriteKeepsTheOldFile)
{
    configured_width = 800;
    std::string old = written_config();
    configured_width = 1024;
    std::string home = test_home_dir();
    std::string temporary = home + "config.tmp";
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(home.c_str(), 0555), 0);
    } else {
        // Permissions do not stop root: a folder in the temporary's place does.
        ASSERT_EQ(mkdir(temporary.c_str(), 0755), 0);
    }
    EXPECT_EQ(write_config(), 0);
    chmod(home.c_str(), 0755);
    std::string now;
    ASSERT_TRUE(read_file(config_path(), &now));
    EXPECT_EQ(now, old);
    if (geteuid() != 0) {
        EXPECT_FALSE(file_exists(temporary));
    }
    // A value written never holds a line break.
    rmdir(temporary.c_str());
    set_text_field_text(&bike_setup.name, "two\nlines\rhere");
    std::string text = written_config();
    EXPECT_NE(text.find("\nname=two\nnumber="), std::string::npos);
}

TEST(Settings, OptionMatching)
{
    struct {
        std::vector<std::string> arguments;
        const char *name;
        bool wants_value;
        int matched;
        const char *value;   // null: none
        int left;            // arguments left after the call
        int ended;
    } cases[] = {
        {{"--width=800"}, "--width", true, 1, "800", 0, 0},
        {{"--width", "800", "x"}, "--width", true, 1, "800", 1, 0},
        {{"--width"}, "--width", true, 1, nullptr, 0, 0},
        {{"--widthx=800"}, "--width", true, 0, nullptr, 1, 0},
        {{"--", "--width"}, "--width", true, 0, nullptr, 1, 1},
        {{"--warp"}, "--warp", false, 1, nullptr, 0, 0},
        {{"--warp=1"}, "--warp", false, 0, nullptr, 1, 0},
        {{}, "--warp", false, 0, nullptr, 0, 0},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv;
        for (const std::string &a : c.arguments)
            argv.push_back(const_cast<char *>(a.c_str()));
        OptionCursor cursor = {argv.data(), (int)argv.size(), 0};
        const char *value = nullptr;
        EXPECT_EQ(match_option(&cursor, c.name, c.wants_value ? &value : nullptr), c.matched) << c.name;
        if (c.value) {
            EXPECT_STREQ(value, c.value);
        } else {
            EXPECT_EQ(value, nullptr);
        }
        EXPECT_EQ(cursor.count, c.left);
        EXPECT_EQ(cursor.options_ended, c.ended);
    }
    // After "--" nothing matches, not even the flag options.
    std::string a = "--", b = "--warp";
    char *argv[] = {a.data(), b.data()};
    OptionCursor cursor = {argv, 2, 0};
    const char *value;
    EXPECT_EQ(match_option(&cursor, "--width", &value), 0);
    EXPECT_EQ(match_option(&cursor, "--warp", nullptr), 0);
}
