// The command line: matching forms, values read whole, clamps and refusals.
#include "app/command_line.h"

#include "net/client.h"
#include "app/player_settings.h"
#include "app/shell.h"
#include "app/hud.h"
#include "app/option_screen_items.h"
#include "app/race_screens.h"
#include "app/settings.h"
#include "net/client.h"
#include "render/render_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string text_of(double value)
{
    char text[64];
    snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string text_of(const char *value)
{
    return value ? value : "(null)";
}

// The options point into the arguments, which the record keeps.
struct Parsed {
    int result;
    std::string errors;
    CommandLineOptions options;
    std::vector<std::string> arguments;
};

void parse(const std::vector<std::string> &words, Parsed *parsed)
{
    parsed->arguments = {"rutline"};
    parsed->arguments.insert(parsed->arguments.end(), words.begin(), words.end());
    std::vector<char *> argv;
    for (std::string &word : parsed->arguments)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    default_command_line_options(&parsed->options);
    testing::internal::CaptureStderr();
    parsed->result = parse_command_line((int)parsed->arguments.size(), argv.data(), &parsed->options);
    parsed->errors = testing::internal::GetCapturedStderr();
}

// The settings the options write, put back before each case.
struct SavedSettings {
    int texture_detail_value = texture_detail;
    int ground_detail_value = ground_detail_limit;
    int roost = roost_frequency;
    int erode = erode_option;
    float tolerance = terrain_lod_tolerance;
    float scale = lod_scale;
    float bias = lod_bias;
    float detail_distance = max_detail_distance;
    float detail_outer = max_detail_distance_outer;
    int debug = debug_level;
    int width = configured_width;
    int height = configured_height;
    int ping = show_ping;
    int rotation = lineup_rotation;
    int render_stats = show_render_stats;

    void restore() const
    {
        texture_detail = texture_detail_value;
        ground_detail_limit = ground_detail_value;
        roost_frequency = roost;
        erode_option = erode;
        terrain_lod_tolerance = tolerance;
        lod_scale = scale;
        lod_bias = bias;
        max_detail_distance = detail_distance;
        max_detail_distance_outer = detail_outer;
        debug_level = debug;
        configured_width = width;
        configured_height = height;
        show_ping = ping;
        lineup_rotation = rotation;
        show_render_stats = render_stats;
        set_connect_target(nullptr);
        memset(recent_servers, 0, sizeof recent_servers);
        recent_server_index = 0;
        fake_lag = 0.0f;
        fake_loss = 0;
        join_password[0] = 0;
    }
};

}  // namespace

TEST(CommandLine, OptionTable)
{
    using Observe = std::function<std::string(const CommandLineOptions &)>;
    const Observe lock = [](const CommandLineOptions &o) { return text_of(o.lock_fps); };
    const Observe file = [](const CommandLineOptions &o) { return text_of(o.start_file); };
    const Observe track = [](const CommandLineOptions &o) { return text_of(o.track_folder); };
    const Observe target = [](const CommandLineOptions &o) { return text_of(o.connect_target); };
    const Observe erode = [](const CommandLineOptions &) { return text_of(erode_option); };
    const Observe width = [](const CommandLineOptions &) {
        return text_of(configured_width);
    };
    const Observe details = [](const CommandLineOptions &) {
        return text_of(texture_detail) + " " + text_of(ground_detail_limit);
    };
    const Observe nothing = [](const CommandLineOptions &) { return std::string(); };
    const std::string bad_lock = "Bad arg for --lock-fps\n";

    struct Case {
        std::vector<std::string> words;
        int result;
        std::string errors;
        Observe observe;
        std::string expected;
    } cases[] = {
        // Both value forms; a following option is taken as the value.
        {{"--lock-fps=30"}, COMMAND_LINE_OK, "", lock, "30"},
        {{"--lock-fps", "30"}, COMMAND_LINE_OK, "", lock, "30"},
        {{"--lock-fps", "--track", "t"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        // The lock rate is held to 1..1000; 0 or below leaves it off.
        {{"--lock-fps", "5000"}, COMMAND_LINE_OK, "", lock, "1000"},
        {{"--lock-fps", "0.01"}, COMMAND_LINE_OK, "", lock, "1"},
        {{"--lock-fps", "-3"}, COMMAND_LINE_OK, "", lock, "0"},
        // Reals must be whole, finite and within a float.
        {{"--lock-fps", "nan"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        {{"--lock-fps", "inf"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        {{"--lock-fps", "1e39"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        {{"--lock-fps", "30fps"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        {{"--lock-fps="}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        // A value option given last has no value.
        {{"--lock-fps"}, COMMAND_LINE_FAILED, bad_lock, nothing, ""},
        {{"--track"}, COMMAND_LINE_FAILED, "Bad arg for --track\n", nothing, ""},
        {{"--width"}, COMMAND_LINE_FAILED, "Bad arg for --width\n", nothing, ""},
        // Ints out of range.
        {{"--fake-loss", "2147483648"}, COMMAND_LINE_FAILED, "Bad arg for --fake-loss\n", nothing, ""},
        {{"--texture-detail", "-99999999999"}, COMMAND_LINE_FAILED,
         "Bad arg for --texture-detail\n", nothing, ""},
        {{"--roostfrequency", "12.5"}, COMMAND_LINE_FAILED, "Bad arg for --roostfrequency\n",
         nothing, ""},
        // Clamps.
        {{"--erode", "0.5"}, COMMAND_LINE_OK, "", erode, "512"},
        {{"--erode", "150"}, COMMAND_LINE_OK, "", erode, "102400"},
        {{"--erode", "-3"}, COMMAND_LINE_OK, "", erode, "0"},
        {{"--lod-scale", "0"}, COMMAND_LINE_OK, "", [](auto &) { return text_of(lod_scale); },
         text_of(1e-6f)},
        {{"--fake-lag", "2500"}, COMMAND_LINE_OK, "", [](auto &) { return text_of(fake_lag); }, "1"},
        {{"--fake-loss", "-5"}, COMMAND_LINE_OK, "", [](auto &) { return text_of(fake_loss); }, "0"},
        {{"--roostfrequency", "1001"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(roost_frequency); }, "1000"},
        {{"--texture-detail", "9"}, COMMAND_LINE_OK, "", details, "4 4"},
        {{"--ground-texture-detail", "-2"}, COMMAND_LINE_OK, "", details,
         text_of(texture_detail) + " 0"},
        {{"--max-detail-distance", "30"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(max_detail_distance) + " " + text_of(max_detail_distance_outer); },
         "30 35"},
        // The window size keeps its value when the new one is refused, silently.
        {{"--width", "800"}, COMMAND_LINE_OK, "", width, "800"},
        {{"--width=63"}, COMMAND_LINE_OK, "", width, "640"},
        {{"--width", "16385"}, COMMAND_LINE_OK, "", width, "640"},
        {{"--width", "wide"}, COMMAND_LINE_OK, "", width, "640"},
        {{"--height", "16384"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(configured_height); }, "16384"},
        // Unchecked reads: the line-up keeps its value, the atoi options take 0.
        {{"--rotate-lineup", "-3"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(lineup_rotation); }, "-3"},
        {{"--rotate-lineup", "x"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(lineup_rotation); }, "0"},
        {{"--depth", "deep"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) { return text_of(o.colour_bits); }, "0"},
        {{"--zdepth", "24"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) { return text_of(o.depth_bits); }, "24"},
        {{"--draw-ping=0"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(show_ping); }, "0"},
        // Connecting: the prefix goes, the track is dropped, the history grows.
        {{"--connect", "rutline:host"}, COMMAND_LINE_OK, "", target, "host"},
        {{"--connect", "rutline:"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(connect_target); }, "(null)"},
        {{"--draw-render-stats", "1"}, COMMAND_LINE_OK, "",
         [](auto &) { return text_of(show_render_stats); }, "1"},
        {{"--connect", "host"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) {
             return text_of(o.connect_target) + " " + text_of(connect_target) + " " + server_field.text +
                    " " + recent_servers[0] + " " + text_of(recent_server_index);
         },
         "host host host host -1"},
        {{"--track", "tracks/a", "--connect", "host"}, COMMAND_LINE_OK, "", track, "(null)"},
        {{"--track", "tracks/a"}, COMMAND_LINE_OK, "", track, "tracks/a"},
        {{"--chase-center", "1,2,3"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) {
             return text_of(o.chase_center[0]) + text_of(o.chase_center[1]) + text_of(o.chase_center[2]);
         },
         "123"},
        {{"--chase-center", "1,2"}, COMMAND_LINE_FAILED, "Bad arg for --chase-center\n", nothing, ""},
        {{"--chase-center", "1,2,3x"}, COMMAND_LINE_FAILED, "Bad arg for --chase-center\n", nothing,
         ""},
        {{"--chase-center", "1,nan,3"}, COMMAND_LINE_FAILED, "Bad arg for --chase-center\n",
         nothing, ""},
        // Words: files, the end of the options, unknown options.
        {{"--", "-x"}, COMMAND_LINE_OK, "", file, "-x"},
        {{"--"}, COMMAND_LINE_OK, "", file, "(null)"},
        {{"--", "--debug"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) { return text_of(o.start_file) + text_of(debug_level); },
         "--debug0"},
        {{"demo.kzdemo"}, COMMAND_LINE_OK, "", file, "demo.kzdemo"},
        {{"-x"}, COMMAND_LINE_FAILED, "bad option '-x'\n", nothing, ""},
        {{"a", "b"}, COMMAND_LINE_FAILED, "Too many files!\n", nothing, ""},
        {{"--bikes", "9"}, COMMAND_LINE_OK, "--bikes doesn't do anything anymore\n", nothing, ""},
        // "--open-home" stops the loop where it stands.
        {{"--debug", "--open-home", "--super-debug", "-x"}, COMMAND_LINE_OPEN_HOME, "",
         [](auto &) { return text_of(debug_level); }, "1"},
        {{"--warp", "--hidden-hud", "--record-video"}, COMMAND_LINE_OK, "",
         [](const CommandLineOptions &o) {
             return text_of(o.warp) + text_of(o.show_hud) + text_of(o.record_video) +
                    text_of(o.show_pause_banner);
         },
         "1011"},
    };

    SavedSettings saved;
    for (const Case &c : cases) {
        std::string label;
        for (const std::string &word : c.words)
            label += "[" + word + "]";
        SCOPED_TRACE(label);
        saved.restore();
        Parsed parsed;
        parse(c.words, &parsed);
        EXPECT_EQ(parsed.result, c.result);
        EXPECT_EQ(parsed.errors, c.errors);
        EXPECT_EQ(c.observe(parsed.options), c.expected);
    }
    saved.restore();
}
