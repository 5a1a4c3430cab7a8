// The log: stamps, naming and opening rules, skipped lines, failed writes,
// closing; options.
#include "platform/log.h"
#include "platform/time.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static uint64_t fake_ms;
static uint64_t fake_clock() { return fake_ms; }

static std::string log_path() { return test_dir() + "/log.txt"; }

static std::string read_log(const std::string &path)
{
    std::string text;
    EXPECT_TRUE(read_file(path, &text)) << path;
    return text;
}

TEST(Log, StampsEveryLineWithClockTimeAndFlushes)
{
    setenv("VOKE_LOGFILE", log_path().c_str(), 1);
    set_clock_function(fake_clock);
    struct Case {
        uint64_t ms;
        const char *stamp;
    } cases[] = {
        {0, "[0:00:00.00] "},
        {3725500, "[1:02:05.50] "},
        {59999, "[0:00:59.99] "},
        {360000000, "[100:00:00.00] "},   // hours do not wrap
        {86399990, "[23:59:59.99] "},
    };
    std::string expected;
    for (const Case &c : cases) {
        fake_ms = c.ms;
        log_printf("line %d\n", (int)(c.ms % 1000));
        if (expected.empty())   // the header lines of the first call
            expected = std::string(c.stamp) + "Logfile \"" + log_path() + "\" opened\n" +
                       c.stamp + "VOKE 0.31\n";
        expected += std::string(c.stamp) + "line " + std::to_string(c.ms % 1000) + "\n";
        // Flushed at once: the file holds the line before the log closes.
        EXPECT_EQ(read_log(log_path()), expected);
    }
    set_clock_function(nullptr);
}

// One opening of the log in a child process: environment, the lines sent.
struct NamingCase {
    const char *name;
    const char *env_path;        // relative to test_dir(), or null for unset
    const char *env_flags;       // or null
    const char *first_format;    // the first line: a format with one %s
    const char *first_path;      // its argument: test_dir() + this, null: ""
    const char *old_content;     // content of the opened file before, or null
    const char *opened_file;     // relative to test_dir(), null: none opened
    const char *shown_path;      // the path named in the header line
    bool appended;
};

TEST(Log, NamingLineEnvironmentAndModes)
{
    const NamingCase cases[] = {
        {"naming line", nullptr, nullptr, "VOKE_LOGFILE=%s", "/a.txt", nullptr, "a.txt", "a.txt", false},
        {"naming line with newline", nullptr, nullptr, "VOKE_LOGFILE=%s\n", "/a.txt", nullptr, "a.txt", "a.txt", false},
        {"environment wins", "e.txt", nullptr, "VOKE_LOGFILE=%s", "/x.txt", nullptr, "e.txt", "e.txt", false},
        {"environment, plain first line", "e.txt", nullptr, "hello\n%s", nullptr, nullptr, "e.txt", "e.txt", false},
        {">> appends", nullptr, nullptr, "VOKE_LOGFILE=>>%s", "/b.txt", "old\n", "b.txt", "b.txt", true},
        {"> truncates", nullptr, nullptr, "VOKE_LOGFILE=>%s", "/b.txt", "old\n", "b.txt", "b.txt", false},
        {"plain path truncates", nullptr, nullptr, "VOKE_LOGFILE=%s", "/b.txt", "old\n", "b.txt", "b.txt", false},
        {"flags a append", "c.txt", "a", "hello\n%s", nullptr, "old\n", "c.txt", "c.txt", true},
        {"flags w beat >>", ">>c.txt", "w", "hello\n%s", nullptr, "old\n", "c.txt", "c.txt", false},
        {"no path: nothing opened", nullptr, nullptr, "hello\n%s", nullptr, nullptr, nullptr, nullptr, false},
    };
    for (const NamingCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = test_dir() + "/" + c.name;
        std::string opened = c.opened_file ? dir + "/" + c.opened_file : "";
        if (c.old_content)
            ASSERT_TRUE(write_file(opened, c.old_content));
        else
            ASSERT_TRUE(write_file(dir + "/placeholder", ""));
        std::string argument = c.first_path ? dir + c.first_path : "";
        char formatted[1024];
        snprintf(formatted, sizeof formatted, c.first_format, argument.c_str());
        std::string first = formatted;
        int status = run_in_child([&] {
            if (c.env_path) {
                std::string value = c.env_path;
                std::string prefix = value.rfind(">>", 0) == 0 ? ">>" : "";
                setenv("VOKE_LOGFILE", (prefix + dir + "/" + value.substr(prefix.size())).c_str(), 1);
            }
            if (c.env_flags)
                setenv("VOKE_LOGFILE_FLAGS", c.env_flags, 1);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
            log_printf(c.first_format, argument.c_str());
#pragma GCC diagnostic pop
            log_printf("after\n");
            // A later naming line is an ordinary line.
            log_printf("VOKE_LOGFILE=%s/late.txt\n", dir.c_str());
        });
        ASSERT_EQ(status, 0);
        EXPECT_FALSE(file_exists(dir + "/x.txt"));
        EXPECT_FALSE(file_exists(dir + "/a.txt") && strcmp(c.opened_file ? c.opened_file : "", "a.txt"));
        EXPECT_FALSE(file_exists(dir + "/late.txt"));
        if (!c.opened_file)
            continue;
        std::string text = read_log(opened);
        std::string header = "Logfile \"" + dir + "/" + c.shown_path + "\" opened\n";
        EXPECT_NE(text.find(header), std::string::npos) << text;
        EXPECT_NE(text.find("] VOKE 0.31\n"), std::string::npos);
        EXPECT_NE(text.find("] after\n"), std::string::npos);
        EXPECT_NE(text.find("] VOKE_LOGFILE=" + dir + "/late.txt\n"), std::string::npos);
        // The naming line itself never appears; an ordinary first line does.
        bool naming = first.rfind("VOKE_LOGFILE=", 0) == 0;
        std::string first_line = first.back() == '\n' ? first : first + "\n";
        EXPECT_EQ(text.find("] " + first_line) != std::string::npos, !naming);
        EXPECT_EQ(text.rfind("old\n", 0) == 0, c.appended) << text;
        if (!c.appended) {
            EXPECT_EQ(text.find("old\n"), std::string::npos);
        }
    }
}

TEST(Log, SkipsLinesStartingWith0x13AndStopsAfterClose)
{
    setenv("VOKE_LOGFILE", log_path().c_str(), 1);
    log_printf("first\n");
    log_printf("\x13hidden %d\n", 1);
    log_printf("second\n");
    log_printf(nullptr);
    log_printf("after close\n");
    close_log();   // closing twice is harmless
    std::string text = read_log(log_path());
    EXPECT_NE(text.find("] first\n"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("] second\n"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
}

TEST(Log, AFailedWriteIsReportedAndToldOnceOnStandardError)
{
    // A log on a device that takes no bytes: every line reports the
    // failure, standard error says so once, and nothing else stops.
    std::string said;
    int status = run_in_child(
        [] {
            setenv("VOKE_LOGFILE", "/dev/full", 1);
            int first = log_printf("first\n");
            int second = log_printf("second %d\n", 2);
            close_log();
            _exit(first == EOF && second == EOF ? 0 : 1);
        },
        &said);
    EXPECT_EQ(status, 0) << "a line written to a full device was reported as written";
    const std::string note = "The log file could not be written";
    size_t at = said.find(note);
    ASSERT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(note, at + 1), std::string::npos) << said;
}

TEST(Log, ErrorLineAndLastErrorText)
{
    setenv("VOKE_LOGFILE", log_path().c_str(), 1);
    EXPECT_STREQ(last_error_text(), "Unknown");
    static const char text[] = "device lost";
    log_error(text);
    EXPECT_EQ(last_error_text(), text);
    EXPECT_NE(read_log(log_path()).find("] Error: device lost\n"), std::string::npos);
}

TEST(Options, ReadFromVokeOptions)
{
    setenv("VOKE_LOGFILE", log_path().c_str(), 1);
    std::string long_name(70, 'q');
    std::string options = "junk [dsnd:maybe][waveout:off][fullscreen:on] [dinput:no]"
                          "[threaded:yes][dinputsticksonly: yes][sound-rate: 44100]"
                          "[sound-channels:abc][sound-mixahead:-20ms][x:1]"
                          "[" + long_name.substr(0, 60) + ":yes] [big:99999999999]";
    setenv("VOKE_OPTIONS", options.c_str(), 1);
    struct Case {
        std::string name;
        bool is_bool;
        int default_value;
        int expected;
        bool unrecognised;
    } cases[] = {
        {"dsnd", true, 1, 1, true},
        {"waveout", true, 1, 0, false},
        {"fullscreen", true, 0, 1, false},
        {"dinput", true, 1, 0, false},
        {"threaded", true, 0, 1, false},
        {"dinputsticksonly", true, 0, 0, true},   // no blank allowed after ':'
        {"sound-rate", false, 22050, 44100, false},
        {"sound-channels", false, 16, 16, true},
        {"sound-mixahead", false, 125, -20, false},
        {"absent", true, 1, 1, false},
        {"absent-number", false, 7, 7, false},
        {"x", false, 3, 1, false},
        {long_name, true, 0, 1, false},   // the name is cut at 60 characters
        {"big", false, 0, 2147483647, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int value = c.is_bool ? voke_option_bool(c.name.c_str(), c.default_value)
                              : voke_option_int(c.name.c_str(), c.default_value);
        EXPECT_EQ(value, c.expected);
        bool logged = read_log(log_path()).find("] unrecognized setting for " + c.name + "\n") !=
                      std::string::npos;
        EXPECT_EQ(logged, c.unrecognised);
    }
}

TEST(Options, UnsetVariableGivesDefaults)
{
    EXPECT_EQ(voke_option_bool("threaded", 0), 0);
    EXPECT_EQ(voke_option_bool("dsnd", 1), 1);
    EXPECT_EQ(voke_option_int("sound-rate", 22050), 22050);
}
