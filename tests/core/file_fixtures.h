// Fixtures for the file layer's tests: archives, handles over text, reading a
// handle to its end, and the log of the test process.
#pragma once

#include "core/file.h"
#include "support/test_support.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using ArchiveMembers = std::vector<std::pair<std::string, std::string>>;

// A ".saf" archive: "<size> <name>\n" per member, "-\n", then the data.
inline std::string make_archive(const ArchiveMembers &members)
{
    std::string header, data;
    for (const auto &[name, bytes] : members) {
        header += std::to_string(bytes.size()) + " " + name + "\n";
        data += bytes;
    }
    return header + "-\n" + data;
}

// Every byte left in the handle, through file_getc.
inline std::string read_rest(GameFile *file)
{
    std::string bytes;
    for (int c; (c = file_getc(file)) >= 0;)
        bytes += (char)c;
    return bytes;
}

// The whole content of a game path, or "<none>" when it does not open.
inline std::string read_game_file(const std::string &path)
{
    GameFile *file = file_open(path.c_str(), "rb");
    if (!file)
        return "<none>";
    std::string bytes = read_rest(file);
    file_close(file);
    return bytes;
}

// A handle reading the given bytes from a loose file of the test folder.
inline GameFile *open_bytes(const std::string &bytes)
{
    static int serial;
    std::string path = test_dir() + "/bytes-" + std::to_string(serial++);
    if (!write_file(path, bytes))
        return nullptr;
    return file_open(path.c_str(), "rb");
}

// Points the log at a file of the test folder; call before anything logs.
inline std::string start_log_capture()
{
    std::string path = test_dir() + "/test.log";
    setenv("VOKE_LOGFILE", path.c_str(), 1);
    return path;
}

inline std::string captured_log(const std::string &path)
{
    std::string text;
    read_file(path, &text);
    return text;
}

// A name of nested folders, exactly length characters long.
inline std::string nested_name(size_t length)
{
    std::string name;
    while (name.size() + 101 < length)
        name += std::string(100, 'd') + "/";
    name += std::string(length - name.size(), 'f');
    return name;
}
