// The real program in a child process: started with its own home, the
// data folder, arguments and extra environment; its exit status waited for
// within a bound; its log read back without stamps.
#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifndef RUTLINE_BINARY
#define RUTLINE_BINARY ""
#endif

struct Child {
    pid_t pid;
    std::string errors_path;
};

// The program's home of a run: test_dir()/NAME_xdg/Rutline/.
inline std::string program_home(const std::string &name)
{
    return test_dir() + "/" + name + "_xdg/Rutline/";
}

// Starts the program with the arguments, a home of its own and the data
// folder; standard error goes to a file, standard output to nowhere.
inline Child start_program(const std::string &name, const std::string &data, const std::vector<std::string> &words,
                           const std::vector<std::pair<std::string, std::string>> &environment = {})
{
    Child child;
    std::string home = test_dir() + "/" + name + "_xdg";
    child.errors_path = test_dir() + "/" + name + "_stderr.txt";
    mkdir(home.c_str(), 0755);
    std::vector<std::string> arguments = {RUTLINE_BINARY};
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::vector<char *> argv;
    for (std::string &word : arguments)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int err = open(child.errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int out = open("/dev/null", O_WRONLY);
    fflush(nullptr);
    child.pid = fork();
    if (child.pid == 0) {
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KZ_HOME", data.c_str(), 1);
        setenv("KZ_CHECK_ALLOC", "1", 1);
        unsetenv("VOKE_LOGFILE");
        for (const auto &entry : environment)
            setenv(entry.first.c_str(), entry.second.c_str(), 1);
        dup2(err, 2);
        dup2(out, 1);
        execv(RUTLINE_BINARY, argv.data());
        _exit(127);
    }
    close(err);
    close(out);
    return child;
}

// The exit status (128 + the signal when killed by one), or -1 when the
// program had not ended within the seconds (it is killed then).
inline int wait_exit_status(pid_t pid, int seconds)
{
    for (int i = 0; i < seconds * 100; i++) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

inline long file_size(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : 0;
}

// The log's lines without their stamps.
inline std::vector<std::string> log_lines(const std::string &path)
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
inline void expect_in_order(const std::vector<std::string> &lines, const std::vector<std::string> &wanted)
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

inline bool has_line(const std::vector<std::string> &lines, const std::string &prefix)
{
    for (const std::string &line : lines)
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}
