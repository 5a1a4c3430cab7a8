// Search folders, joining paths, resolving game paths for reading and
// writing, backups, renames and opening the home folder.
#include "core/alloc.h"
#include "core/file.h"
#include "tests/core/file_fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The folder strings the file layer builds have no runs of '/'.
std::string collapsed(const std::string &path)
{
    std::string out;
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    return out;
}

std::string search_folder(int index)
{
    const char *folder = get_search_folder(index);
    return folder ? folder : "<none>";
}

int count_entries(const std::string &folder)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return -1;
    int count = 0;
    while (dirent *item = readdir(dir))
        count += strcmp(item->d_name, ".") && strcmp(item->d_name, "..");
    closedir(dir);
    return count;
}

TEST(FilePath, JoinPath)
{
    struct {
        const char *first, *second, *joined;
    } cases[] = {
        {"C:\\Users\\u\\AppData\\Local", "/Rutline/", "C:/Users/u/AppData/Local/Rutline/"},
        {"a//b\\c", "/", "a/b/c/"},
        {"a/", "/b", "a/b"},
        {"\\\\server\\\\share", "x", "/server/sharex"},
        {"", "", ""},
        {"", "//", "/"},
        {"plain", "name", "plainname"},
    };
    for (const auto &c : cases) {
        char *joined = join_path(c.first, c.second);
        ASSERT_NE(joined, nullptr);
        EXPECT_STREQ(joined, c.joined) << c.first << " + " << c.second;
        checked_free(joined);
    }
    EXPECT_EQ(join_path(nullptr, "x"), nullptr);
    EXPECT_EQ(join_path("x", nullptr), nullptr);
}

TEST(FilePath, KzHomeReplacesTheExecutableFolder)
{
    EXPECT_EQ(search_folder(0), collapsed(test_home_dir()));
    EXPECT_EQ(search_folder(1), collapsed(test_data_dir()));
    EXPECT_EQ(search_folder(2), "<none>");
    EXPECT_EQ(search_folder(-1), "<none>");
}

TEST(FilePath, ExecutableFolderWithoutKzHome)
{
    setenv("KZ_HOME", "", 1);   // an empty value counts as unset
    char exe[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    std::string folder(exe, length);
    folder.resize(folder.rfind('/') + 1);
    EXPECT_EQ(search_folder(0), collapsed(test_home_dir()));
    EXPECT_EQ(search_folder(1), folder);
    EXPECT_EQ(search_folder(2), "<none>");
}

TEST(FilePath, HomeFolderFallsBackToHome)
{
    std::string home = test_dir() + "/user";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(search_folder(0), collapsed(home + "/.local/share/Rutline/"));
    EXPECT_EQ(search_folder(1), collapsed(test_data_dir()));
}

TEST(FilePath, NoHomeLeavesTheDataFolderFirst)
{
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_EQ(search_folder(0), collapsed(test_data_dir()));
    EXPECT_EQ(search_folder(1), "<none>");
    // Writes go to the one folder left.
    GameFile *file = file_open("@setups/mine", "w");
    ASSERT_NE(file, nullptr);
    file_close(file);
    EXPECT_TRUE(file_exists(test_data_dir() + "setups/mine"));
}

TEST(FilePath, ReadResolutionOrder)
{
    struct {
        const char *name;
        std::vector<std::pair<std::string, std::string>> files;   // path under test_dir(), content
        const char *read;
    } cases[] = {
        {"a", {{"/xdg/Rutline/a", "home"}, {"/data/a", "data"}}, "home"},
        {"b", {{"/xdg/Rutline/b.gz", "gz:home"}, {"/data/b", "data"}}, "home"},
        {"c", {{"/data/c", "data"}, {"/data/c.gz", "gz:data"}}, "data"},
        {"d", {{"/data/d.gz", "gz:data"}}, "data"},
        {"sub/e", {{"/data/sub/e", "nested"}}, "nested"},
        {"sub\\e", {}, "nested"},
        {"f", {}, "<none>"},
    };
    for (const auto &c : cases)
        for (const auto &[path, content] : c.files)
            write_file(test_dir() + path,
                       content.rfind("gz:", 0) == 0 ? gzip_bytes(content.substr(3)) : content);
    for (const auto &c : cases)
        EXPECT_EQ(read_game_file(std::string("@") + c.name), c.read) << c.name;
    // Real paths are used as they stand, with their ".gz" variant too.
    EXPECT_EQ(read_game_file(test_dir() + "/data/a"), "data");
    EXPECT_EQ(read_game_file(test_dir() + "/data/d"), "data");
    // A folder is not a file.
    EXPECT_EQ(file_open((test_dir() + "/data").c_str(), "rb"), nullptr);
    EXPECT_EQ(file_open("@sub", "rb"), nullptr);
}

TEST(FilePath, WriteCreatesFoldersUnderTheHomeFolder)
{
    ASSERT_FALSE(file_exists(test_home_dir()));
    GameFile *file = file_open("@demos/default.kzdemo", "wb");
    ASSERT_NE(file, nullptr);
    file_puts(file, "KZ06 1 2 3 4\n");
    file_close(file);
    std::string bytes;
    ASSERT_TRUE(read_file(test_home_dir() + "demos/default.kzdemo", &bytes));
    EXPECT_EQ(bytes, "KZ06 1 2 3 4\n");
    EXPECT_FALSE(file_exists(test_data_dir() + "demos"));
    // A read-only open creates nothing.
    EXPECT_EQ(file_open("@nothing/here", "rb"), nullptr);
    EXPECT_FALSE(file_exists(test_home_dir() + "nothing"));
}

TEST(FilePath, GamePathsThatWouldBeCutFail)
{
    std::string home = collapsed(test_home_dir()), data = collapsed(test_data_dir());
    ASSERT_GT(home.size(), data.size());
    // Exactly 511 characters in the home folder: created there.
    std::string fits = nested_name(511 - home.size());
    GameFile *file = file_open(("@" + fits).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    file_close(file);
    EXPECT_TRUE(file_exists(home + fits));

    // Too long for every folder: nothing opens and nothing is created.
    std::string too_long = "x" + nested_name(511 - data.size());
    int before = count_entries(home);
    EXPECT_EQ(file_open(("@" + too_long).c_str(), "wb"), nullptr);
    EXPECT_EQ(count_entries(home), before);
    EXPECT_EQ(count_entries(data), 0);
    EXPECT_EQ(file_open(("@" + too_long).c_str(), "rb"), nullptr);
    EXPECT_EQ(rename_game_file(("@" + fits).c_str(), ("@" + too_long).c_str()), 0);
    EXPECT_TRUE(file_exists(home + fits));
}

TEST(FilePath, BackupModeKeepsNumberedCopies)
{
    std::string path = test_home_dir() + "save.txt";
    write_file(path, "version 0");
    write_file(path + ".~1~", "older");
    write_file(path + ".~2~", "oldest");

    GameFile *file = file_open("@save.txt", "~wb");
    ASSERT_NE(file, nullptr);
    file_puts(file, "version 1");
    file_close(file);
    std::string bytes;
    ASSERT_TRUE(read_file(path + ".~3~", &bytes));
    EXPECT_EQ(bytes, "version 0");
    ASSERT_TRUE(read_file(path, &bytes));
    EXPECT_EQ(bytes, "version 1");
    ASSERT_TRUE(read_file(path + ".~1~", &bytes));
    EXPECT_EQ(bytes, "older");

    // A file that does not exist yet is simply created.
    file = file_open("@fresh.txt", "~w");
    ASSERT_NE(file, nullptr);
    file_close(file);
    EXPECT_TRUE(file_exists(test_home_dir() + "fresh.txt"));
    EXPECT_FALSE(file_exists(test_home_dir() + "fresh.txt.~1~"));

    // A copy of more than one chunk is whole.
    std::string big(200000, 'b');
    big[199999] = 'e';
    write_file(test_home_dir() + "big.txt", big);
    file = file_open("@big.txt", "~wb");
    ASSERT_NE(file, nullptr);
    file_close(file);
    ASSERT_TRUE(read_file(test_home_dir() + "big.txt.~1~", &bytes));
    EXPECT_EQ(bytes, big);

    // Paths over 1000 characters are refused in this mode.
    std::string long_path = test_dir() + "/" + nested_name(1001 - test_dir().size() - 1);
    ASSERT_EQ(long_path.size(), 1001u);
    EXPECT_EQ(file_open(long_path.c_str(), "~wb"), nullptr);
}

TEST(FilePath, RenameReplacesTheTargetInOneStep)
{
    write_file(test_home_dir() + "demos/default.kzdemo", "new");
    write_file(test_home_dir() + "demos/default01.kzdemo", "old");
    EXPECT_EQ(rename_game_file("@demos/default.kzdemo", "@demos/default01.kzdemo"), 1);
    std::string bytes;
    ASSERT_TRUE(read_file(test_home_dir() + "demos/default01.kzdemo", &bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_FALSE(file_exists(test_home_dir() + "demos/default.kzdemo"));

    // A source that is missing fails and leaves the target alone.
    EXPECT_EQ(rename_game_file("@demos/missing.kzdemo", "@demos/default01.kzdemo"), 0);
    ASSERT_TRUE(read_file(test_home_dir() + "demos/default01.kzdemo", &bytes));
    EXPECT_EQ(bytes, "new");

    // Real paths stay as they are.
    std::string real = test_dir() + "/real.txt";
    write_file(real, "r");
    EXPECT_EQ(rename_game_file(real.c_str(), "@moved.txt"), 1);
    EXPECT_TRUE(file_exists(test_home_dir() + "moved.txt"));
    EXPECT_EQ(rename_game_file("@moved.txt", "@demos\\moved.txt"), 1);
    EXPECT_TRUE(file_exists(test_home_dir() + "demos/moved.txt"));
}

TEST(FilePath, OpenHomeFolderCreatesItAndShowsIt)
{
    // A stand-in for the desktop's opener records what it was given.
    std::string bin = test_dir() + "/bin";
    std::string record = test_dir() + "/opened.txt";
    write_file(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".part'\nmv '" +
                                      record + ".part' '" + record + "'\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    const char *path = getenv("PATH");
    setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);

    open_home_folder();
    struct stat status;
    ASSERT_EQ(stat(test_home_dir().c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    std::string opened;
    for (int i = 0; i < 500 && !read_file(record, &opened); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string expected = collapsed(test_home_dir());
    expected.pop_back();
    EXPECT_EQ(opened, expected);
}

}  // namespace
