// The real program under the sanitizers: a race on the generated default
// track recorded through the readback driver until SIGTERM, then the log's
// start-up and shutdown steps in order, the settings file, the sound and
// no live block left; and the ways it refuses to start.
#include "datagen/gamedata_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef RUTLINE_BINARY
#define RUTLINE_BINARY ""
#endif

namespace {

enum { TICS_WANTED = 256, BYTES_PER_TIC = 1380, WAIT_SECONDS = 90 };

struct Child {
    pid_t pid;
    std::string errors_path;
};

// Starts the program with the arguments, a home of its own and the data
// folder; standard error goes to a file.
Child start_program(const std::string &name, const std::string &data, const std::vector<std::string> &words)
{
    Child child;
    std::string home = test_dir() + "/" + name + "_xdg";
    child.errors_path = test_dir() + "/" + name + "_stderr.txt";
    mkdir(home.c_str(), 0755);
    child.pid = fork();
    if (child.pid == 0) {
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KZ_HOME", data.c_str(), 1);
        setenv("KZ_CHECK_ALLOC", "1", 1);
        unsetenv("VOKE_LOGFILE");
        int err = open(child.errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int out = open("/dev/null", O_WRONLY);
        dup2(err, 2);
        dup2(out, 1);
        std::vector<char *> argv = {const_cast<char *>(RUTLINE_BINARY)};
        for (const std::string &word : words)
            argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        execv(RUTLINE_BINARY, argv.data());
        _exit(127);
    }
    return child;
}

int wait_exit_status(pid_t pid, int seconds)
{
    for (int i = 0; i < seconds * 10; i++) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(100000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

long file_size(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : 0;
}

// The log's lines without their stamps.
std::vector<std::string> log_lines(const std::string &path)
{
    std::string text;
    read_file(path, &text);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        size_t stamp = line.find("] ");
        lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
        start = end + 1;
    }
    return lines;
}

// Each wanted line in order, each after the one before.
void expect_in_order(const std::vector<std::string> &lines, const std::vector<std::string> &wanted)
{
    size_t at = 0;
    for (const std::string &line : wanted) {
        size_t found = at;
        while (found < lines.size() && lines[found].rfind(line, 0) != 0)
            found++;
        EXPECT_LT(found, lines.size()) << "missing or out of order: " << line;
        if (found < lines.size())
            at = found + 1;
    }
}

}  // namespace

TEST(Smoke, ARaceRecordsItsSoundAndShutsDownInOrderOnSigterm)
{
    if (gamedata_dir().empty() || !RUTLINE_BINARY[0])
        GTEST_SKIP() << "no generated data or program";
    std::string audio = test_dir() + "/race_audio.raw";
    Child child = start_program("race", gamedata_dir() + "/data",
                                {"--track", "tracks/cinder_hollow", "--lock-fps", "32", "--record-audio", audio});
    long wanted = (long)TICS_WANTED * BYTES_PER_TIC;
    for (int i = 0; i < WAIT_SECONDS * 10 && file_size(audio) < wanted; i++) {
        int status;
        ASSERT_NE(waitpid(child.pid, &status, WNOHANG), child.pid) << "the program ended early";
        usleep(100000);
    }
    ASSERT_GE(file_size(audio), wanted);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(wait_exit_status(child.pid, 60), 0);

    std::string home = test_dir() + "/race_xdg/Rutline/";
    std::vector<std::string> lines = log_lines(home + "lastlog.txt");
    expect_in_order(lines, {"Rutline version 2020-07-12-1524 snapshot", "File index complete", "GL_VENDOR: ",
                            "GL_RENDERER: ", "GL_VERSION: ", "GL_EXTENSIONS: ", "Resetting", "Loading bikes",
                            "Max loading delay was ", "Deallocating bikes", "Finished deallocating bikes",
                            "Freeing memory (1)", "Closing input devices", "Closing audio",
                            "Writing config files", "Freeing memory (2)", "Freeing memory (3)",
                            "Freeing file list", "Freeing memory (4)", "Deleting textures", "Deleting models",
                            "Deleting OpenGL context"});
    std::string config;
    ASSERT_TRUE(read_file(home + "config", &config));
    EXPECT_NE(config.find("track=tracks/cinder_hollow\n"), std::string::npos);

    // The robot's engine: the recording is not silence.
    std::string sound;
    ASSERT_TRUE(read_file(audio, &sound));
    EXPECT_EQ(sound.size() % BYTES_PER_TIC, 0u);
    long loud = 0;
    for (unsigned char byte : sound)
        loud += byte != 128;   // 128 is silence
    EXPECT_GT(loud, (long)sound.size() / 100);

    // The allocation checker lists every block still live on standard error.
    std::string errors;
    read_file(child.errors_path, &errors);
    EXPECT_EQ(errors.find("0x"), std::string::npos) << errors.substr(0, 2000);
}

TEST(Smoke, RefusalsEndWithCodeOne)
{
    if (!RUTLINE_BINARY[0])
        GTEST_SKIP() << "no program";
    std::string empty = test_dir() + "/no_tracks";
    mkdir(empty.c_str(), 0755);
    struct Case {
        const char *name;
        std::string data;
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {"empty", empty, {}, "No tracks found\n"},
        {"badoption", empty, {"--lock-fps", "30", "-x"}, "bad option '-x'\n"},
        {"lastvalue", empty, {"--lock-fps"}, "Bad arg for --lock-fps\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Child child = start_program(c.name, c.data, c.words);
        EXPECT_EQ(wait_exit_status(child.pid, 60), 1);
        std::string errors;
        read_file(child.errors_path, &errors);
        EXPECT_EQ(errors.rfind(c.message, 0), 0u) << errors.substr(0, 2000);
        EXPECT_EQ(errors.find("0x"), std::string::npos);
    }
}
