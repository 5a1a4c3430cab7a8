// The file index: folder walks, ".saf" archives and their broken headers,
// lookups without regard to case, the file list, and its teardown.
#include "app/loading.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/file_index.h"
#include "core/game_file.h"
#include "tests/core/file_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

std::vector<std::string> list_of(const char *const *list)
{
    std::vector<std::string> names;
    for (; list && *list; list++)
        names.push_back(*list);
    return names;
}

std::string describe(int position, int n = 1024)
{
    char buffer[1024];
    if (!describe_index_entry(position, buffer, n))
        return "<none>";
    return buffer;
}

TEST(FileIndex, OneSortedListOverFoldersAndArchives)
{
    std::string log = start_log_capture();
    write_file(test_home_dir() + "Tracks/A/desc", "home a");
    write_file(test_data_dir() + "tracks/b/desc", "loose b");
    write_file(test_data_dir() + "readme.txt", "r");
    write_file(test_data_dir() + "same.txt", "lower");
    write_file(test_data_dir() + "Same.txt", "upper");
    write_file(test_data_dir() + "pack.saf", make_archive({{"tracks/c/desc", "member c"}, {"tracks/b/desc", "member b"}}));

    // Not built yet: game paths reach only the folders.
    EXPECT_EQ(read_game_file("@tracks/c/desc"), "<none>");
    EXPECT_EQ(describe(0), "<none>");
    EXPECT_EQ(find_index_entry("tracks/c/desc"), -1);

    int units = (int)busy_count;
    const char *const *list = build_file_index();
    EXPECT_EQ(list_of(list), (std::vector<std::string>{"pack.saf", "readme.txt", "Same.txt", "Tracks/A/desc",
                                                        "tracks/b/desc", "tracks/c/desc"}));
    EXPECT_EQ(build_file_index(), list);
    // One unit per folder walked (both roots and four below them) and per archive.
    EXPECT_EQ((int)busy_count - units, 7);

    std::string text = captured_log(log);
    size_t at = 0;
    for (const char *line : {"Listing directories\n", "Listing archives\n", "Creating file list\n",
                             "File index complete\n"}) {
        size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }

    // Lookups ignore case; the loose file of a folder comes before a member.
    int b = find_index_entry("TRACKS/B/DESC");
    ASSERT_GE(b, 0);
    EXPECT_EQ(describe(b), "tracks/b/desc -> " + test_data_dir() + "tracks/b/desc");
    EXPECT_EQ(describe(b + 1), "tracks/b/desc -> " + test_data_dir() + "pack.saf");
    EXPECT_EQ(describe(b, 10), "tracks/b/");
    EXPECT_EQ(describe(b, 20), "tracks/b/desc -> " + test_data_dir().substr(0, 2));
    EXPECT_EQ(describe(-1), "<none>");
    EXPECT_EQ(describe(file_index.count), "<none>");
    EXPECT_EQ(describe(b, 0), "<none>");
    EXPECT_TRUE(index_contains("tracks/c/DESC"));
    EXPECT_FALSE(index_contains("tracks/d/desc"));
    // Names that differ only in case: exact bytes order them.
    EXPECT_EQ(describe(find_index_entry("SAME.TXT")), "Same.txt -> " + test_data_dir() + "Same.txt");

    EXPECT_EQ(read_game_file("@tracks/c/desc"), "member c");
    EXPECT_EQ(read_game_file("@TRACKS\\C\\DESC"), "member c");
    EXPECT_EQ(read_game_file("@tracks/b/desc"), "loose b");
    // Writing never goes through the index.
    EXPECT_EQ(file_open("@tracks/c/desc", "r+"), nullptr);
    GameFile *file = file_open("@tracks/c/desc", "a");
    ASSERT_NE(file, nullptr);
    file_close(file);
    EXPECT_TRUE(file_exists(test_home_dir() + "tracks/c/desc"));
}

struct ArchiveRead {
    std::string path;
    std::string content;
};

TEST(FileIndex, ArchiveHeaders)
{
    std::string log = start_log_capture();
    const std::pair<const char *, std::string> archives[] = {
        {"a1.saf", make_archive({{"dup", "one"}, {"x/only1", "111"}})},
        {"a2.saf", make_archive({{"dup", "two"}})},
        {"broken_nodash.saf", "3 nd\nabc"},
        {"crlf.saf", "2 cr\r\n-\r\nok"},
        {"emptyname.saf", "5\n-\nhello"},
        {"g1.saf", make_archive({{"j.gz", gzip_bytes("from gz")}})},
        {"g2.saf", make_archive({{"j", "plain j"}})},
        {"gz.saf", make_archive({{"packed.gz", gzip_bytes("inflated")}, {"after", "bytes after"},
                                 {"both", "plain both"}, {"both.gz", gzip_bytes("gz both")}})},
        {"headeronly.saf", "-\n"},
        {"longline_fits.saf", "1 " + std::string(1020, 'k') + "\n-\nK"},
        {"longline_over.saf", "1 " + std::string(1021, 'l') + "\n-\nL"},
        {"negative.saf", "-3 neg\n-\nabc"},
        {"nested.saf", make_archive({{"inner.saf", make_archive({{"deep", "d"}})}})},
        {"noeol.saf", "3 ne\n-"},
        {"notnumber.saf", "x name\n-\n"},
        {"pastend.saf", "100 past\n1 early\n-\nshort"},
        {"samename.saf", "1 twice\n1 twice\n-\nAB"},
        {"spaced.saf", "12\ta//b/c\n-\ntwelve bytesand more"},
        {"UPPER.SAF", make_archive({{"upper/m", "up"}})},
    };
    for (const auto &[name, bytes] : archives)
        write_file(test_data_dir() + name, bytes);
    build_file_index();

    const ArchiveRead reads[] = {
        {"@dup", "one"},                // the archive that sorts first wins
        {"@x/only1", "111"},
        {"@nd", "<none>"},              // no "-" line
        {"@cr", "<none>"},              // carriage returns: no end line
        {"@", "hello"},                 // a size alone: an empty name
        {"@j", "from gz"},              // ".gz" member of a lower archive number
        {"@packed", "inflated"},
        {"@after", "bytes after"},
        {"@both", "plain both"},        // same archive: the plain member
        {"@" + std::string(1020, 'k'), "K"},
        {"@" + std::string(1021, 'l'), "<none>"},   // line too long for the buffer
        {"@neg", "<none>"},
        {"@inner.saf", make_archive({{"deep", "d"}})},
        {"@deep", "<none>"},            // archives inside archives are not opened
        {"@ne", "<none>"},
        {"@name", "<none>"},
        {"@past", "<none>"},
        {"@early", "<none>"},           // the whole archive is refused
        {"@twice", "A"},                // first in header order
        {"@a/b/c", "twelve bytes"},     // runs of '/' collapsed; exactly its size
        {"@upper/m", "up"},
    };
    for (const ArchiveRead &r : reads)
        EXPECT_EQ(read_game_file(r.path), r.content) << r.path;

    // Broken archives still take their number: "emptyname.saf" is the fifth.
    int empty = find_index_entry("");
    ASSERT_GE(empty, 0);
    EXPECT_EQ(((FileIndexEntry *)file_index.data)[empty].source_number, search_folder_count() + 4);

    std::string text = captured_log(log);
    EXPECT_NE(text.find("Archive " + test_data_dir() + "negative.saf refused"), std::string::npos);
    EXPECT_NE(text.find("Archive " + test_data_dir() + "pastend.saf refused"), std::string::npos);
}

TEST(FileIndex, MemberStopsAtItsSize)
{
    write_file(test_data_dir() + "pack.saf", make_archive({{"first", "abc"}, {"second", "defgh\nij"}}));
    build_file_index();
    GameFile *file = file_open("@first", "rb");
    ASSERT_NE(file, nullptr);
    char buffer[64];
    // A looked-ahead byte counts once against the member's size.
    EXPECT_EQ(file_peekc(file), 'a');
    EXPECT_EQ(file_read(file, buffer, sizeof buffer), 3);
    EXPECT_EQ(file_getc(file), -1);
    EXPECT_EQ(file_seek(file, 2), 1);
    EXPECT_EQ(file_peekc(file), 'c');
    EXPECT_EQ(file_getc(file), 'c');
    EXPECT_EQ(file_peekc(file), -1);
    EXPECT_EQ(file_seek(file, 1), 1);
    EXPECT_EQ(file_getc(file), 'b');
    EXPECT_EQ(file_seek(file, 3), 0);
    file_close(file);
    // Whole-file reading stops at the member's end too.
    char *text = file_to_string("@first");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "abc");
    checked_free(text);

    file = file_open("@second", "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(file_gets(file, buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "defgh\n");
    ASSERT_NE(file_gets(file, buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "ij");
    EXPECT_EQ(file_gets(file, buffer, sizeof buffer), nullptr);
    EXPECT_EQ(file_seek(file, 0), 1);
    int letters = 0;
    EXPECT_EQ(file_scanf(file, "%*s%n", &letters), 0);
    EXPECT_EQ(letters, 5);
    file_close(file);
}

TEST(FileIndex, WalkFollowsLinksButNotCycles)
{
    write_file(test_data_dir() + "loop/f", "f");
    write_file(test_dir() + "/outside/o.txt", "o");
    ASSERT_EQ(symlink("../loop", (test_data_dir() + "loop/back").c_str()), 0);
    ASSERT_EQ(symlink(test_data_dir().c_str(), (test_data_dir() + "loop/root").c_str()), 0);
    ASSERT_EQ(symlink((test_dir() + "/outside").c_str(), (test_data_dir() + "linked").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (test_data_dir() + "dangling").c_str()), 0);
    EXPECT_EQ(list_of(build_file_index()), (std::vector<std::string>{"linked/o.txt", "loop/f"}));
    EXPECT_EQ(read_game_file("@linked/o.txt"), "o");
}

TEST(FileIndex, FreeReleasesEverything)
{
    write_file(test_data_dir() + "a.txt", "a");
    write_file(test_data_dir() + "p.saf", make_archive({{"m", "member"}}));
    EXPECT_EQ(list_of(build_file_index()).size(), 3u);
    free_file_index();
    EXPECT_EQ(file_index.count, 0);
    EXPECT_EQ(file_index.capacity, 0);
    EXPECT_EQ(get_search_folder(0), nullptr);
    EXPECT_EQ(find_index_entry("m"), -1);
    // Built once: a later call does not walk again.
    EXPECT_EQ(list_of(build_file_index()).size(), 0u);
}

}  // namespace
