// Write failures through the file layer: a stream keeps its first failed
// write and its flush and close report it; the checked replacement of one
// file and of a set of files under a file-size limit, on /dev/full and
// with a rename that fails part way.
#include "core/file.h"
#include "core/replace_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string read_or_none(const std::string &path)
{
    std::string bytes;
    return read_file(path, &bytes) ? bytes : "<none>";
}

bool is_full_device()
{
    struct stat status;
    return stat("/dev/full", &status) == 0 && S_ISCHR(status.st_mode);
}

// Writes the text given as context.
int write_text(GameFile *file, void *context)
{
    const std::string *text = (const std::string *)context;
    return file_write(file, text->data(), (int)text->size()) == (int)text->size();
}

int refuse(GameFile *file, void *)
{
    file_puts(file, "half of it");
    return 0;
}

TEST(FileWrites, TheCloseReportsABufferedWriteTheFileSizeLimitRefused)
{
    // The write goes to the stream's buffer and succeeds; only the close
    // finds that the file may not grow past 100 bytes.
    std::string path = test_dir() + "/limited.txt";
    int status = run_with_file_limit(100, [&] {
        GameFile *file = file_open(path.c_str(), "wb");
        if (!file)
            return 10;
        std::string text(300, 'x');
        if (file_write(file, text.data(), 300) != 300)
            return 11;
        if (file_close(file) == 0)
            return 12;
        return errno == EFBIG ? 0 : 13;
    });
    EXPECT_EQ(status, 0);
    // Without a limit the same close is clean.
    GameFile *file = file_open(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_write(file, "abc", 3), 3);
    EXPECT_EQ(file_close(file), 0);
    EXPECT_EQ(read_or_none(path), "abc");
}

TEST(FileWrites, AStreamKeepsItsFirstFailureAndRefusesEveryLaterWrite)
{
    if (!is_full_device())
        GTEST_SKIP() << "no /dev/full";
    GameFile *file = file_open("/dev/full", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_write_error(file), 0);
    // More than the stream buffers: the device refuses it at once.
    std::vector<char> block(1 << 16, 'r');
    EXPECT_LT(file_write(file, block.data(), (int)block.size()), (int)block.size());
    EXPECT_EQ(file_write_error(file), ENOSPC);
    struct Later {
        const char *call;
        bool failed;
    } later[] = {
        {"file_putc", file_putc(file, 'a') == 0},      {"file_puts", file_puts(file, "a") == EOF},
        {"file_write", file_write(file, "a", 1) == 0}, {"file_printf", file_printf(file, "%d", 7) < 0},
        {"file_flush", file_flush(file) == EOF},
    };
    for (const Later &l : later)
        EXPECT_TRUE(l.failed) << l.call;
    EXPECT_EQ(file_write_error(file), ENOSPC) << "the first failure stays";
    errno = 0;
    EXPECT_EQ(file_close(file), EOF);
    EXPECT_EQ(errno, ENOSPC);
}

TEST(FileWrites, ASmallWriteToAFullDeviceFailsAtTheFlush)
{
    if (!is_full_device())
        GTEST_SKIP() << "no /dev/full";
    GameFile *file = file_open("/dev/full", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_GT(file_printf(file, "%s\n", "buffered"), 0);
    EXPECT_EQ(file_flush(file), EOF);
    EXPECT_EQ(file_write_error(file), ENOSPC);
    EXPECT_EQ(file_close(file), EOF);
}

class ReplaceFile : public testing::Test {
protected:
    std::string folder = test_home_dir() + "replace/";
    std::string log_path = test_dir() + "/replace.log";

    void SetUp() override { setenv("VOKE_LOGFILE", (">>" + log_path).c_str(), 1); }
    void TearDown() override { replace_rename = rename; }

    std::vector<std::string> leftovers()
    {
        std::vector<std::string> found = files_ending_in(folder, REPLACE_TEMP_SUFFIX);
        for (const std::string &name : files_ending_in(folder, REPLACE_BACKUP_SUFFIX))
            found.push_back(name);
        return found;
    }
    std::string log_text() { return read_or_none(log_path); }
};

TEST_F(ReplaceFile, ReplacesTheOldFileOnlyWhenEveryByteWasWritten)
{
    ASSERT_TRUE(write_file(folder + "settings", "old\n"));
    std::string text(20000, 'n');
    struct Case {
        const char *what;
        long limit;
        FileWriter writer;
        bool replaced;
    } cases[] = {
        {"a limit of 4 KiB", 4096, write_text, false},
        {"a limit one byte short", 19999, write_text, false},
        {"a writer that gives up", 0, refuse, false},
        {"no limit", 0, write_text, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int status = run_with_file_limit(c.limit, [&] { return replace_file("@replace/settings", c.writer, &text); });
        EXPECT_EQ(status, c.replaced ? 1 : 0);
        EXPECT_EQ(read_or_none(folder + "settings"), c.replaced ? text : "old\n");
        EXPECT_TRUE(leftovers().empty());
    }
    // One log line per failure, naming the file and the error.
    std::string log = log_text();
    std::string line = "Can't write '" + folder + "settings': " + strerror(EFBIG);
    size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("Can't write '" + folder + "settings'\n"), std::string::npos) << log;
}

TEST_F(ReplaceFile, AFileThatWasNotThereStaysAbsent)
{
    std::string text(5000, 'a');
    int status = run_with_file_limit(300, [&] { return replace_file("@replace/fresh", write_text, &text); });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(file_exists(folder + "fresh"));
    EXPECT_TRUE(leftovers().empty());
    // A folder where the temporary goes: the open fails, nothing is written.
    ASSERT_EQ(mkdir((folder + "blocked" REPLACE_TEMP_SUFFIX).c_str(), 0755), 0);
    EXPECT_EQ(replace_file("@replace/blocked", write_text, &text), 0);
    EXPECT_FALSE(file_exists(folder + "blocked"));
}

TEST_F(ReplaceFile, ADeviceIsWrittenInPlaceAndItsFailureReported)
{
    if (!is_full_device())
        GTEST_SKIP() << "no /dev/full";
    std::string text = "short enough to sit in the buffer\n";
    EXPECT_EQ(replace_file("/dev/full", write_text, &text), 0);
    EXPECT_TRUE(is_full_device()) << "the device is never renamed over";
    EXPECT_FALSE(file_exists("/dev/full" REPLACE_TEMP_SUFFIX));
    EXPECT_NE(log_text().find(std::string("Can't write '/dev/full': ") + strerror(ENOSPC)), std::string::npos)
        << log_text();
}

TEST_F(ReplaceFile, ALinkKeepsPointingAtTheReplacedFile)
{
    std::string real = test_home_dir() + "elsewhere/real";
    ASSERT_TRUE(write_file(real, "old"));
    ASSERT_TRUE(write_file(folder + "placeholder", ""));
    ASSERT_EQ(symlink(real.c_str(), (folder + "link").c_str()), 0);
    std::string text = "new";
    EXPECT_EQ(replace_file("@replace/link", write_text, &text), 1);
    struct stat status;
    ASSERT_EQ(lstat((folder + "link").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(read_or_none(real), "new");
}

// A set of three files, the second of them new.
class ReplaceSet : public ReplaceFile {
protected:
    const char *names[3] = {"a", "b", "c"};
    std::string olds[3] = {"old a", "", "old c"};
    std::string news[3] = {std::string(3000, 'A'), std::string(100, 'B'), std::string(70000, 'C')};

    void SetUp() override
    {
        ReplaceFile::SetUp();
        for (int i = 0; i < 3; i++)
            if (!olds[i].empty())
                write_file(folder + names[i], olds[i]);
    }
    int commit_all()
    {
        ReplacementFile files[3];
        for (int i = 0; i < 3; i++) {
            std::string path = std::string("@replace/") + names[i];
            if (!open_replacement_file(&files[i], path.c_str()))
                return 20 + i;
            file_write(files[i].file, news[i].data(), (int)news[i].size());
        }
        return commit_replacement_files(files, 3);
    }
    void expect_files(bool replaced)
    {
        for (int i = 0; i < 3; i++) {
            std::string want = replaced ? news[i] : olds[i].empty() ? "<none>" : olds[i];
            EXPECT_EQ(read_or_none(folder + names[i]), want) << names[i];
        }
        EXPECT_TRUE(leftovers().empty());
    }
};

// The rename that fails: the n-th call, counting from 1; later calls work.
int failing_call;
int rename_calls;
int rename_failing_once(const char *from, const char *to)
{
    if (++rename_calls == failing_call) {
        errno = EXDEV;
        return -1;
    }
    return rename(from, to);
}

TEST_F(ReplaceSet, AllOrNone)
{
    // A limit between the sizes: the biggest file's close fails, and no
    // file of the set is replaced.
    EXPECT_EQ(run_with_file_limit(65536, [&] { return commit_all(); }), 0);
    expect_files(false);
    EXPECT_EQ(run_with_file_limit(0, [&] { return commit_all(); }), 1);
    expect_files(true);
}

TEST_F(ReplaceSet, ARenameThatFailsPartWayPutsTheOldFilesBack)
{
    replace_rename = rename_failing_once;
    for (int n = 1; n <= 3; n++) {
        SCOPED_TRACE("rename " + std::to_string(n) + " fails");
        failing_call = n;
        rename_calls = 0;
        EXPECT_EQ(commit_all(), 0);
        expect_files(false);
        EXPECT_NE(log_text().find(std::string("Can't replace '") + folder + names[n - 1] + "': " + strerror(EXDEV)),
                  std::string::npos)
            << log_text();
    }
    failing_call = 0;
    EXPECT_EQ(commit_all(), 1);
    expect_files(true);
}

} // namespace
