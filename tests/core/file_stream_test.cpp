// The GameFile stream: lines, blocks, lookahead, seeking, writing, gzip files
// (good, odd headers, truncated, corrupt) and whole-file reading.
#include "core/alloc.h"
#include "core/file.h"
#include "tests/core/file_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Bytes that compress, but not to nothing: words from a small generator.
std::string sample_text(size_t length)
{
    static const char *words[] = {"rut ", "berm ", "whoop ", "gate ", "lap\n", "12.5 ", "[1 2 3] "};
    std::string text;
    unsigned state = 12345;
    while (text.size() < length) {
        state = state * 1103515245u + 12345u;
        text += words[(state >> 16) % 7];
        if ((state >> 8) % 5 == 0)
            text += (char)('a' + (state >> 20) % 26);
    }
    text.resize(length);
    return text;
}

// The deflate data of a gzip member made by zlib (no header, no trailer).
std::string deflate_body(const std::string &text)
{
    std::string gz = gzip_bytes(text);
    return gz.substr(10, gz.size() - 18);
}

std::string gzip_header(unsigned char flags, const std::string &fields)
{
    std::string header = {'\x1f', '\x8b', '\x08', (char)flags, 0, 0, 0, 0, 0, 3};
    return header + fields;
}

TEST(FileStream, LinesLookaheadAndBlocks)
{
    GameFile *file = open_bytes("first line\nsecond\nlast");
    ASSERT_NE(file, nullptr);
    char line[64];
    EXPECT_EQ(file_peekc(file), 'f');
    EXPECT_EQ(file_peekc(file), 'f');
    ASSERT_NE(file_gets(file, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "first line\n");
    // A line longer than the room comes in pieces of n - 1 bytes.
    ASSERT_NE(file_gets(file, line, 4), nullptr);
    EXPECT_STREQ(line, "sec");
    ASSERT_NE(file_gets(file, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "ond\n");
    // No room at all is refused without touching the buffer; n of 1 gives "".
    memset(line, '#', sizeof line);
    EXPECT_EQ(file_gets(file, line, 0), nullptr);
    EXPECT_EQ(file_gets(file, line, -5), nullptr);
    EXPECT_EQ(line[0], '#');
    EXPECT_EQ(file_gets(file, line, 1), line);
    EXPECT_STREQ(line, "");
    // A block read takes the pushed-back byte first.
    EXPECT_EQ(file_peekc(file), 'l');
    char block[16] = {0};
    EXPECT_EQ(file_read(file, block, sizeof block), 4);
    EXPECT_STREQ(block, "last");
    EXPECT_EQ(file_gets(file, line, sizeof line), nullptr);
    EXPECT_EQ(file_getc(file), -1);
    EXPECT_EQ(file_peekc(file), -1);
    EXPECT_EQ(file_read(file, block, sizeof block), 0);
    // Closing without freeing, then closing again, closes the stream once.
    EXPECT_EQ(file_close_only(file), 0);
    EXPECT_EQ(file_close_only(file), EOF);
    file_close(file);
}

TEST(FileStream, SeekOnPlainAndGzipHandles)
{
    std::string text = sample_text(5000);
    write_file(test_data_dir() + "plain.txt", text);
    write_file(test_data_dir() + "packed.txt.gz", gzip_bytes(text));

    GameFile *plain = file_open("@plain.txt", "rb");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(file_peekc(plain), (unsigned char)text[0]);
    EXPECT_EQ(file_seek(plain, 1234), 1);
    EXPECT_EQ(file_getc(plain), (unsigned char)text[1234]);   // the lookahead was dropped
    EXPECT_EQ(file_seek(plain, -1), 0);
    EXPECT_EQ(file_seek(plain, 0), 1);
    EXPECT_EQ(read_rest(plain), text);
    file_close(plain);

    // A gzip handle refuses and keeps its place.
    GameFile *packed = file_open("@packed.txt", "rb");
    ASSERT_NE(packed, nullptr);
    char head[5];
    ASSERT_EQ(file_read(packed, head, 5), 5);
    EXPECT_EQ(file_peekc(packed), (unsigned char)text[5]);
    EXPECT_EQ(file_seek(packed, 0), 0);
    EXPECT_EQ(read_rest(packed), text.substr(5));
    file_close(packed);
}

TEST(FileStream, WritesGoStraightToTheFile)
{
    GameFile *file = file_open("@out/written.txt", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_putc(file, 'A'), 1);
    EXPECT_GE(file_puts(file, "bc\n"), 0);
    EXPECT_EQ(file_write(file, "[1 2 3]", 7), 7);
    EXPECT_EQ(file_printf(file, " %d %.2f\n", 42, 0.5), 9);
    EXPECT_EQ(file_flush(file), 0);
    file_close(file);
    std::string bytes;
    ASSERT_TRUE(read_file(test_home_dir() + "out/written.txt", &bytes));
    EXPECT_EQ(bytes, "Abc\n[1 2 3] 42 0.50\n");
}

TEST(FileStream, GzipFileReadsBackInEveryWay)
{
    // Large enough that the compressed data spans several input blocks.
    std::string text = sample_text(400000);
    std::string gz = gzip_bytes(text);
    ASSERT_GT(gz.size(), 3u * 16384u);
    write_file(test_data_dir() + "big.txt.gz", gz);

    GameFile *file = file_open("@big.txt", "rb");
    ASSERT_NE(file, nullptr);
    std::string got;
    for (int piece : {1, 1023, 1024, 1025, 70000}) {
        std::string chunk(piece, '\0');
        ASSERT_EQ(file_read(file, chunk.data(), piece), piece);
        got += chunk;
    }
    char line[100];
    ASSERT_NE(file_gets(file, line, sizeof line), nullptr);
    got += line;
    got += read_rest(file);
    EXPECT_EQ(got, text);
    file_close(file);

    // A name that already ends in ".gz" is read as stored.
    GameFile *raw = file_open("@big.txt.gz", "rb");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(read_rest(raw), gz);
    file_close(raw);
}

struct HeaderCase {
    const char *what;
    std::string bytes;
    bool opens;
};

TEST(FileStream, GzipHeadersAreCheckedWithinTheBytesPresent)
{
    std::string body = deflate_body("header test");
    std::string trailer(8, '\0');
    const HeaderCase cases[] = {
        {"plain", gzip_header(0, "") + body + trailer, true},
        {"name and comment", gzip_header(8 | 16, std::string("x.txt\0a comment\0", 16)) + body, true},
        {"extra and header check", gzip_header(4 | 2, std::string("\3\0abc\x12\x34", 7)) + body, true},
        {"text flag", gzip_header(1, "") + body, true},
        {"reserved flag", gzip_header(32, "") + body, false},
        {"wrong magic", "\x1f\x8c\x08" + std::string(7, '\0') + body, false},
        {"method 7", "\x1f\x8b\x07" + std::string(7, '\0') + body, false},
        {"too short", std::string("\x1f\x8b\x08\x00", 4), false},
        {"empty", "", false},
        {"name runs to the end", gzip_header(8, "no terminator here"), false},
        {"comment runs to the end", gzip_header(16, "x"), false},
        {"extra longer than the data", gzip_header(4, std::string("\xff\x7f" "ab", 4)), false},
        {"header check cut", gzip_header(2, "\x12"), false},
    };
    int serial = 0;
    for (const HeaderCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = "header" + std::to_string(serial++);
        write_file(test_data_dir() + name + ".gz", c.bytes);
        GameFile *file = file_open(("@" + name).c_str(), "rb");
        EXPECT_EQ(file != nullptr, c.opens);
        if (file) {
            EXPECT_EQ(read_rest(file), "header test");
            file_close(file);
        }
    }
}

TEST(FileStream, TruncatedOrCorruptGzipEndsTheStream)
{
    std::string text = sample_text(300000);
    std::string gz = gzip_bytes(text);
    std::string corrupt = gz;
    for (size_t i = gz.size() / 2; i < gz.size() / 2 + 64; i++)
        corrupt[i] = (char)~corrupt[i];
    enum Expect { PREFIX, WHOLE, ANYTHING };
    struct {
        const char *name;
        std::string bytes;
        Expect expect;
    } cases[] = {
        {"cut", gz.substr(0, gz.size() / 2), PREFIX},
        {"cut-after-header", gz.substr(0, 10), PREFIX},
        {"no-trailer", gz.substr(0, gz.size() - 8), WHOLE},
        {"corrupt", corrupt, ANYTHING},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(test_data_dir() + c.name + ".gz", c.bytes);
        GameFile *file = file_open((std::string("@") + c.name).c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::string got(text.size() + 1, '\0');
        int n = file_read(file, got.data(), (int)got.size());
        ASSERT_GE(n, 0);
        got.resize(n);
        if (c.expect == WHOLE) {
            EXPECT_EQ(got, text);
        }
        if (c.expect == PREFIX) {
            EXPECT_LT(got.size(), text.size());
            EXPECT_EQ(got, text.substr(0, n));
        }
        // Later reads report the end at once.
        char more[16];
        EXPECT_EQ(file_read(file, more, sizeof more), 0);
        EXPECT_EQ(file_getc(file), -1);
        EXPECT_EQ(file_gets(file, more, sizeof more), nullptr);
        EXPECT_EQ(file_scanf(file, "%d", &n), -1);
        file_close(file);
    }
}

TEST(FileStream, WholeFileToString)
{
    std::string log = start_log_capture();
    std::string fits(16777215, 'x');
    fits[0] = 'A';
    fits.back() = 'Z';
    write_file(test_data_dir() + "fits.js", fits);
    write_file(test_data_dir() + "too_long.js", fits + "!");
    write_file(test_data_dir() + "empty.js", "");
    write_file(test_data_dir() + "packed.js.gz", gzip_bytes("kz.tic_handler = null;\n"));

    char *text = file_to_string("@fits.js");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(strlen(text), fits.size());
    EXPECT_EQ(text[0], 'A');
    EXPECT_EQ(text[fits.size() - 1], 'Z');
    checked_free(text);

    EXPECT_EQ(file_to_string("@too_long.js"), nullptr);
    EXPECT_NE(captured_log(log).find("File @too_long.js too long for file_to_string\n"), std::string::npos);

    text = file_to_string("@empty.js");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    checked_free(text);

    text = file_to_string("@packed.js");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "kz.tic_handler = null;\n");
    checked_free(text);

    EXPECT_EQ(file_to_string("@missing.js"), nullptr);
}

}  // namespace

TEST(FileStream, BytesBoundCoversWhatIsLeftAndNoMore)
{
    // A loose file and an archive member: exactly the bytes left, the
    // lookahead byte counted once.
    GameFile *file = open_bytes("0123456789");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_bytes_bound(file), 10);
    char buffer[4];
    ASSERT_EQ(file_read(file, buffer, 3), 3);
    EXPECT_EQ(file_bytes_bound(file), 7);
    file_peekc(file);
    EXPECT_EQ(file_bytes_bound(file), 7);
    while (file_getc(file) >= 0) {
    }
    EXPECT_EQ(file_bytes_bound(file), 0);
    file_close(file);

    write_file(test_data_dir() + "bound.saf", make_archive({{"a", "alpha"}, {"b", "bravo-bravo"}}));
    build_file_index();
    file = file_open("@b", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_bytes_bound(file), 11);
    file_getc(file);
    EXPECT_EQ(file_bytes_bound(file), 10);
    file_close(file);

    // gzip: at least what is left to inflate, at most what the compressed
    // bytes left can inflate to.
    std::string text = sample_text(50000);
    std::string packed = gzip_bytes(text);
    write_file(test_data_dir() + "bound.txt.gz", packed);
    file = file_open("@bound.txt", "rb");
    ASSERT_NE(file, nullptr);
    for (int taken = 0; taken <= 50000; taken += 12500) {
        int64_t bound = file_bytes_bound(file);
        EXPECT_GE(bound, 50000 - taken) << taken;
        EXPECT_LE(bound, (int64_t)packed.size() * 1032 + 200000) << taken;
        std::vector<char> block(12500);
        file_read(file, block.data(), (int)block.size());
    }
    EXPECT_EQ(file_getc(file), -1);
    file_close(file);
}

// A gzip handle inflated whole delivers what the stream delivers, for good
// members and for every member the whole read refuses (which then streams
// as before); only a handle not read from yet is inflated whole.
TEST(FileStream, WholeMemberInflateGivesTheStreamsBytes)
{
    std::string text = sample_text(300000);
    std::string gz = gzip_bytes(text);
    std::string bad_crc = gz, bad_length = gz, corrupt = gz;
    bad_crc[gz.size() - 8] = (char)~bad_crc[gz.size() - 8];
    bad_length[gz.size() - 1] = 0x7f;   // a length far beyond the data
    for (size_t i = gz.size() / 2; i < gz.size() / 2 + 64; i++)
        corrupt[i] = (char)~corrupt[i];
    struct {
        const char *name;
        std::string bytes;
        bool whole;
    } cases[] = {
        {"good", gz, true},
        {"empty-member", gzip_bytes(""), true},
        {"trailing-bytes", gz + "junk after the member", false},
        {"second-member", gz + gzip_bytes("more"), false},
        {"bad-crc", bad_crc, false},
        {"bad-length", bad_length, false},
        {"no-trailer", gz.substr(0, gz.size() - 8), false},
        {"cut", gz.substr(0, gz.size() / 2), false},
        {"corrupt", corrupt, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_file(test_data_dir() + "whole-" + c.name + ".gz", c.bytes);
        std::string path = std::string("@whole-") + c.name;
        std::string streamed = read_game_file(path);
        GameFile *file = file_open(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file_inflate_whole(file), c.whole ? 1 : 0);
        EXPECT_EQ(file_inflate_whole(file), 0) << "a second time";
        EXPECT_EQ(file_bytes_bound(file) >= (int64_t)streamed.size(), true);
        std::string got(streamed.size() + 10, '\0');
        int n = file_read(file, got.data(), (int)got.size());
        got.resize(n < 0 ? 0 : n);
        EXPECT_TRUE(got == streamed) << got.size() << " bytes against " << streamed.size();
        EXPECT_EQ(file_getc(file), -1);
        file_close(file);
    }
    EXPECT_EQ(read_game_file("@whole-good"), text);

    // A handle read from, a plain file and a gzip member of an archive.
    GameFile *file = file_open("@whole-good", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_getc(file), (unsigned char)text[0]);
    EXPECT_EQ(file_inflate_whole(file), 0);
    EXPECT_EQ(read_rest(file), text.substr(1));
    file_close(file);
    write_file(test_data_dir() + "plain.txt", text);
    file = file_open("@plain.txt", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_inflate_whole(file), 0);
    file_close(file);
    write_file(test_data_dir() + "whole.saf",
               make_archive({{"inner.txt.gz", gz}, {"after", "bytes after"}}));
    build_file_index();
    file = file_open("@inner.txt", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file_inflate_whole(file), 1);
    EXPECT_EQ(read_rest(file), text);
    file_close(file);
    EXPECT_EQ(read_game_file("@after"), "bytes after");
}
