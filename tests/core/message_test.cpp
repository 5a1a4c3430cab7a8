// The message line, string interning and heap sort.
#include "core/message.h"

#include "app/shell.h"
#include "platform/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

static std::string log_text()
{
    std::string text;
    read_file(test_dir() + "/log.txt", &text);
    return text;
}

struct MessageLine : testing::Test {
    void SetUp() override
    {
        setenv("VOKE_LOGFILE", (test_dir() + "/log.txt").c_str(), 1);
        log_printf("start\n");
    }
};

TEST_F(MessageLine, SpamFilterDropsLinesHoldingTheTag)
{
    hide_spam = 1;
    current_time = 10.0;
    MessageLog before = message_log;
    std::string log_before = log_text();
    print_message("[SPAM] buy now");
    EXPECT_EQ(memcmp(&before, &message_log, sizeof before), 0);
    EXPECT_EQ(log_text(), log_before);

    print_message("no spam here");   // shown while the filter is on
    hide_spam = 0;
    print_message("[SPAM] shown");
    EXPECT_STREQ(message_log.lines[0], "no spam here");
    EXPECT_STREQ(message_log.lines[1], "[SPAM] shown");
    EXPECT_EQ(message_log.next_line, 2);
    EXPECT_DOUBLE_EQ(message_log.display_until, 12.0);
    EXPECT_NE(log_text().find("] [SPAM] shown\n"), std::string::npos);
}

TEST_F(MessageLine, LoggedLinesEndInOneNewlineAndResetColours)
{
    struct Case {
        const char *text;
        const char *logged;
    } cases[] = {
        {"plain", "] plain\n"},
        {"ends in newline\n", "] ends in newline\n"},
        {"\033[31mred", "] \033[31mred\033[0m\n"},
        {"\033[32mgreen\n", "] \033[32mgreen\n\033[0m"},
        {"", "] \n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        size_t before = log_text().size();
        print_message(c.text);
        std::string added = log_text().substr(before);
        EXPECT_EQ(added.substr(added.find(']')), c.logged);
        EXPECT_STREQ(message_log.lines[(message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES],
                     c.text);
    }
}

TEST_F(MessageLine, LongLinesAreStoredCutAndLoggedWhole)
{
    std::string text(300, 'x');
    text[254] = 'y';
    text[255] = 'z';
    print_message(text.c_str());
    EXPECT_EQ(std::string(message_log.lines[0]), text.substr(0, 255));
    EXPECT_NE(log_text().find("] " + text + "\n"), std::string::npos);
}

TEST_F(MessageLine, RingWrapsAndVisibleLinesStopAtTheSetting)
{
    max_message_lines = 3;
    char text[32];
    for (int i = 0; i < 1001; i++) {
        current_time = i;
        snprintf(text, sizeof text, "message %d", i);
        print_message(text);
        EXPECT_EQ(message_log.visible_lines, std::min(i + 1, 3));
    }
    EXPECT_STREQ(message_log.lines[0], "message 1000");   // overwrote the first
    EXPECT_STREQ(message_log.lines[1], "message 1");
    EXPECT_STREQ(message_log.lines[999], "message 999");
    EXPECT_EQ(message_log.next_line, 1);
    EXPECT_DOUBLE_EQ(message_log.display_until, 1002.0);
    // A short line empties the rest of a reused slot.
    print_message("a");
    EXPECT_EQ(memcmp(message_log.lines[1], "a\0\0\0\0\0\0\0\0", 10), 0);
}

TEST(InternString, EqualTextsShareOneCopy)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 100; i++)   // past several doublings of the table
        texts.push_back("name" + std::to_string(i));
    std::vector<const char *> first;
    for (const std::string &t : texts)
        first.push_back(intern_string(t.c_str()));
    for (size_t i = 0; i < texts.size(); i++) {
        std::string copy = texts[i];   // another address, same bytes
        EXPECT_EQ(intern_string(copy.c_str()), first[i]);
        EXPECT_NE(first[i], texts[i].c_str());
        EXPECT_STREQ(first[i], texts[i].c_str());
    }
    const char *empty = intern_string("");
    std::string other_empty;
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(intern_string(other_empty.c_str()), empty);
    EXPECT_NE(intern_string("name1"), intern_string("name10"));
}

static int comparisons;
static int compare_ints(const void *a, const void *b)
{
    comparisons++;
    int x = *(const int *)a, y = *(const int *)b;
    return x > y ? 1 : x < y ? -1 : 0;
}

TEST(HeapSort, NoOrOneElementIsLeftAlone)
{
    int one = 42;
    comparisons = 0;
    heap_sort(nullptr, 0, sizeof(int), compare_ints);
    heap_sort(&one, 1, sizeof(int), compare_ints);
    heap_sort(&one, -5, sizeof(int), compare_ints);
    EXPECT_EQ(comparisons, 0);
    EXPECT_EQ(one, 42);
}

struct Record {
    int key;
    char name[9];
};

static int compare_records(const void *a, const void *b)
{
    return ((const Record *)a)->key - ((const Record *)b)->key;
}

TEST(HeapSort, MatchesStdSortOnRandomInput)
{
    std::mt19937 rng(1234);
    for (int count : {2, 3, 7, 16, 17, 100, 1000}) {
        for (int range : {3, 1000000}) {   // many duplicates, few duplicates
            SCOPED_TRACE(testing::Message() << count << " elements in 0.." << range);
            std::vector<int> values(count);
            for (int &v : values)
                v = (int)(rng() % range) - range / 2;
            std::vector<int> expected = values;
            std::sort(expected.begin(), expected.end());
            heap_sort(values.data(), count, sizeof(int), compare_ints);
            EXPECT_EQ(values, expected);

            // Records of an odd size move whole.
            std::vector<Record> records(count);
            for (int i = 0; i < count; i++) {
                records[i].key = (int)(rng() % range);
                snprintf(records[i].name, sizeof records[i].name, "r%d", records[i].key);
            }
            heap_sort(records.data(), count, sizeof(Record), compare_records);
            for (int i = 0; i < count; i++) {
                if (i > 0) {
                    EXPECT_LE(records[i - 1].key, records[i].key);
                }
                EXPECT_EQ(std::string(records[i].name), "r" + std::to_string(records[i].key));
            }
        }
    }
}
