// The scanf-like reader: where it differs from the C library's scanf, its
// bounds on strings, and what it leaves unread.
#include "core/file.h"
#include "tests/core/file_fixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// One destination of any kind the reader stores.
union Slot {
    float f;
    double d;
    long double ld;
    int i;
    short h;
    char s[64];
};

struct ScanCase {
    const char *input;
    const char *format;
    const char *kinds;   // per destination: f float, F double, L long double, d int, h short, s chars
    int count;
    std::vector<std::string> values;   // the first values.size() destinations after the call
    const char *rest;                  // what the handle still holds
};

std::string show(const Slot &slot, char kind)
{
    char text[96];
    switch (kind) {
    case 'f': snprintf(text, sizeof text, "%g", slot.f); break;
    case 'F': snprintf(text, sizeof text, "%g", slot.d); break;
    case 'L': snprintf(text, sizeof text, "%Lg", slot.ld); break;
    case 'd': snprintf(text, sizeof text, "%d", slot.i); break;
    case 'h': snprintf(text, sizeof text, "%d", slot.h); break;
    default: snprintf(text, sizeof text, "%s", slot.s); break;
    }
    return text;
}

const ScanCase SCAN_CASES[] = {
    // Vectors as the track files write them; a wrong bracket is a literal
    // mismatch (-1) and stays unread.
    {"[1 2 3] 4", " [ %f %f %f ] %f", "ffff", 4, {"1", "2", "3", "4"}, ""},
    {"  [ -1.5 2e1 .25 ]\n7", " [ %f %f %f ] %f", "ffff", 4, {"-1.5", "20", "0.25", "7"}, ""},
    {"(1 2 3) 4", " [ %f %f %f ] %f", "ffff", -1, {}, "(1 2 3) 4"},
    {"1,2", "%d;%d", "dd", -1, {"1"}, ",2"},
    // A byte that cannot start a number is a matching failure, not a mismatch.
    {"5 x", "%d %d", "dd", 1, {"5"}, "x"},
    // Integers: bases, prefixes, widths, wrapping, 16-bit stores.
    {"0x1f", "%x", "d", 1, {"0"}, "x1f"},
    {"1f 0", "%x", "d", 1, {"31"}, " 0"},
    {"0x1f", "%i", "d", 1, {"31"}, ""},
    {"017", "%i", "d", 1, {"15"}, ""},
    {"-12", "%i", "d", 1, {"-12"}, ""},
    {"0xg", "%i", "d", 0, {}, "g"},
    {"0", "%i", "d", 1, {"0"}, ""},
    {"0778", "%o", "d", 1, {"63"}, "8"},
    {"12345", "%3d%d", "dd", 2, {"123", "45"}, ""},
    {"-5", "%1d", "d", 0, {}, "5"},
    {"+7", "%d", "d", 1, {"7"}, ""},
    {"4294967297", "%d", "d", 1, {"1"}, ""},
    {"-2147483648", "%d", "d", 1, {"-2147483648"}, ""},
    {"70000", "%hd", "h", 1, {"4464"}, ""},
    // Decimals: exponent, lone point, widths, precision of the destination.
    {"1.5e3", "%f", "f", 1, {"1500"}, ""},
    {"25e-1", "%f", "f", 1, {"2.5"}, ""},
    {"1e", "%f", "f", 1, {"1"}, ""},
    {".", "%f", "f", 1, {"0"}, ""},
    {"-.x", "%f", "f", 1, {"-0"}, "x"},
    {"1.2.3", "%f", "f", 1, {"1.2"}, ".3"},
    {"abc", "%f", "f", 0, {}, "abc"},
    {"0x1p3", "%f", "f", 1, {"0"}, "x1p3"},
    {"12345", "%3f", "f", 1, {"123"}, "45"},
    {"2.5", "%lf", "F", 1, {"2.5"}, ""},
    {"0.125", "%Lf", "L", 1, {"0.125"}, ""},
    {"0.125", "%llf", "L", 1, {"0.125"}, ""},
    {"0e99999", "%Lf", "L", 1, {"0"}, ""},
    {"1e-99999", "%lf", "F", 1, {"0"}, ""},
    // Strings and scan sets: widths, ']' first, ranges, negation.
    {"  word rest", "%10s", "s", 1, {"word"}, " rest"},
    {"abcdef", "%3s%3s", "ss", 2, {"abc", "def"}, ""},
    {"]]ab]", "%10[]]", "s", 1, {"]]"}, "ab]"},
    {"abcxyz1", "%10[a-c]", "s", 1, {"abc"}, "xyz1"},
    {"c-a-z", "%10[c-]", "s", 1, {"c-"}, "a-z"},
    {"hello world", "%10[^ ]", "s", 1, {"hello"}, " world"},
    {"xyz", "%10[a-c]", "s", 0, {}, "xyz"},
    {"abc", "%5[abc", "s", 0, {}, "abc"},
    // A stored string without a width is refused before reading anything;
    // a skipped one needs no room and is read.
    {"word rest", "%s", "s", 0, {}, "word rest"},
    {"5 word", "%d %s", "ds", 1, {"5"}, "word"},
    {"abc", "%[abc]", "s", 0, {}, "abc"},
    {"skip 7", "%*s %d", "d", 1, {"7"}, ""},
    // Characters: white space included, no terminator, all bytes needed.
    {" ab", "%c%c", "ss", 2, {" ", "a"}, "b"},
    {"a", "%2c", "s", -1, {}, ""},
    // %n counts bytes taken so far and no item; %% is a literal.
    {"  42 rest", "%d%n", "dd", 1, {"42", "4"}, " rest"},
    {"%5", "%%%d", "d", 1, {"5"}, ""},
    {"x5", "%%%d", "d", -1, {}, "x5"},
    // The end of the input: before any item -1, after one the count.
    {"", "%d", "d", -1, {}, ""},
    {"   ", "%d", "d", -1, {}, ""},
    {"7", "%d %d", "dd", 1, {"7"}, ""},
    {"7", "%d ", "d", 1, {"7"}, ""},
    // Unsupported conversions end the scan before reading for them.
    {"12 34", "%u %d", "dd", 0, {}, "12 34"},
    {"3 4", "%d %g", "d", 1, {"3"}, "4"},
    {"3 4", "%d %", "d", 1, {"3"}, "4"},
};

TEST(FileScanf, ConversionsMatchTheGameReader)
{
    for (const ScanCase &c : SCAN_CASES) {
        SCOPED_TRACE(std::string("input '") + c.input + "' format '" + c.format + "'");
        GameFile *file = open_bytes(c.input);
        ASSERT_NE(file, nullptr);
        Slot slots[4];
        memset(slots, 0, sizeof slots);
        int count = file_scanf(file, c.format, &slots[0], &slots[1], &slots[2], &slots[3]);
        EXPECT_EQ(count, c.count);
        for (size_t i = 0; i < c.values.size(); i++)
            EXPECT_EQ(show(slots[i], c.kinds[i]), c.values[i]) << "destination " << i;
        EXPECT_EQ(read_rest(file), c.rest);
        file_close(file);
    }
}

TEST(FileScanf, LongWordFillsTheWidthAndLeavesTheRest)
{
    std::string word(2000, 'w');
    word[1022] = 'A';   // last byte of the first piece
    word[1023] = 'B';   // first byte of the second
    GameFile *file = open_bytes(word + " 9");
    ASSERT_NE(file, nullptr);
    // Canary bytes behind each destination catch a write past the width.
    char first[1024 + 16], second[1024 + 16];
    memset(first, '#', sizeof first);
    memset(second, '#', sizeof second);
    int number = 0;
    EXPECT_EQ(file_scanf(file, "%1023s%1023s %d", first, second, &number), 3);
    EXPECT_EQ(strlen(first), 1023u);
    EXPECT_EQ(first[1022], 'A');
    EXPECT_EQ(strlen(second), 977u);
    EXPECT_EQ(second[0], 'B');
    EXPECT_EQ(number, 9);
    for (int i = 1024; i < 1024 + 16; i++) {
        EXPECT_EQ(first[i], '#');
        EXPECT_EQ(second[i], '#');
    }
    file_close(file);
}

TEST(FileScanf, ReadsAFileOfRecordsUntilTheFirstBadOne)
{
    // As the track readers do: loop while every item converts.
    GameFile *file = open_bytes("3\nrock [1 2 3] 0.5\nnull [4 5 6] 1\ntree [7 8\n");
    ASSERT_NE(file, nullptr);
    int count = 0;
    ASSERT_EQ(file_scanf(file, " %d", &count), 1);
    EXPECT_EQ(count, 3);
    char name[1024];
    float v[4];
    std::vector<std::string> names;
    while (file_scanf(file, " %1023s [ %f %f %f ] %f", name, &v[0], &v[1], &v[2], &v[3]) == 5)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"rock", "null"}));
    // The bad record stored what it converted before it stopped.
    EXPECT_FLOAT_EQ(v[0], 7.0f);
    EXPECT_FLOAT_EQ(v[2], 6.0f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    file_close(file);
}

TEST(FileScanf, ReadIntAndCommentSkipping)
{
    // A bare "#" line is a comment line too.
    GameFile *file = open_bytes("  # comment one\n#\n#two\n\n  42 x");
    ASSERT_NE(file, nullptr);
    skip_comment_lines(file);
    EXPECT_EQ(file_read_int(file), 42);
    EXPECT_EQ(file_read_int(file), INT_MIN);
    EXPECT_EQ(file_getc(file), 'x');
    file_close(file);
}

}  // namespace
