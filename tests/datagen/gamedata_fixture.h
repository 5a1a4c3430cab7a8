// The generated game data as the tests read it: the folders the gamedata
// target wrote (RUTLINE_GAMEDATA), pointing the game's file layer at one of
// them, and the log and message lines a load left behind.
#pragma once

#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

inline std::string gamedata_dir()
{
    const char *dir = getenv("RUTLINE_GAMEDATA");
    return dir ? std::string(dir) : std::string();
}

// Makes the folder the game data folder (KZ_HOME) and forgets the file
// index, so that the next lookup lists it afresh.
inline void use_game_data(const std::string &folder)
{
    setenv("KZ_HOME", folder.c_str(), 1);
    reset_file_layer();
}

// Copies a fixture track (gamedata/fixtures/<folder>) into the test's home
// folder, where the game finds it beside the data folder's bikes.
inline bool install_fixture_track(const std::string &folder)
{
    std::error_code error;
    std::filesystem::path to = test_home_dir() + folder;
    std::filesystem::create_directories(to, error);
    std::filesystem::copy(gamedata_dir() + "/fixtures/" + folder, to,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
                          error);
    return !error;
}

// Sends the log to a file of the test's own; call before anything logs.
inline std::string capture_log()
{
    std::string path = test_dir() + "/captured.log";
    setenv("VOKE_LOGFILE", path.c_str(), 1);
    return path;
}

// Lines of the log and of the message line that report a problem.
inline std::vector<std::string> problem_lines(const std::string &log_path)
{
    static const char *const WORDS[] = {"arning", "rror", "Can't", "Bad ", "bad ", "degenerate", "mismatch",
                                        "Non power", "missing", "not found", "Short", "Unknown", "unknown"};
    std::vector<std::string> lines, found;
    std::string text;
    if (read_file(log_path, &text)) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    for (int i = 0; i < MESSAGE_LINES; i++)
        if (message_log.lines[i][0])
            lines.push_back(message_log.lines[i]);
    for (const std::string &line : lines)
        for (const char *word : WORDS)
            if (line.find(word) != std::string::npos) {
                found.push_back(line);
                break;
            }
    return found;
}

// Fails the test with the first few problem lines of the log.
inline void expect_no_problem_lines(const std::string &log_path)
{
    std::vector<std::string> problems = problem_lines(log_path);
    std::string shown;
    for (size_t i = 0; i < problems.size() && i < 8; i++)
        shown += "\n  " + problems[i];
    EXPECT_TRUE(problems.empty()) << problems.size() << " problem lines:" << shown;
}
