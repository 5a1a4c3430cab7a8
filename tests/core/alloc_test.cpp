// Tracked allocation: the checker's switch, unknown and double frees, serial
// numbers, failed reallocation, the table limit, growable arrays and the
// fatal out-of-memory stop.
#include "core/alloc.h"

#include "app/shell.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static const size_t HUGE_SIZE = (size_t)1 << 62;

static std::string hex(const void *p)
{
    char text[32];
    snprintf(text, sizeof text, "%p", p);
    return text;
}

TEST(Alloc, CheckingOnlyWithAPositiveNumber)
{
    struct Case {
        const char *value;   // null: unset
        bool checking;
    } cases[] = {{nullptr, false}, {"0", false}, {"-3", false}, {"abc", false},
                 {"1", true}, {"12", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        std::string err;
        void *foreign = malloc(8);   // a block the checker never saw
        int status = run_in_child([&] {
            if (c.value)
                setenv("KZ_CHECK_ALLOC", c.value, 1);
            void *block = checked_malloc(10);
            dump_live_allocations();
            checked_free(block);
            checked_free(foreign);
        }, &err);
        free(foreign);
        ASSERT_EQ(status, 0);
        // Checking lists the live block and reports the foreign one.
        EXPECT_EQ(err.find(":0\n") != std::string::npos, c.checking) << err;
        EXPECT_EQ(err.find("Allocation not found for " + hex(foreign) + "!\n") != std::string::npos,
                  c.checking) << err;
        if (!c.checking) {
            EXPECT_EQ(err, "");
        }
    }
}

TEST(Alloc, DoubleFreeIsReportedAndNotFreedAgain)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    char *block = (char *)checked_malloc(32);
    ASSERT_NE(block, nullptr);
    checked_free(block);
    testing::internal::CaptureStderr();
    checked_free(block);   // a real second free would stop the test under ASan
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Allocation not found for " + hex(block) + "!\n");
}

TEST(Alloc, SerialNumbersCountRecordedBlocksAndReallocGivesANewOne)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    void *a = checked_malloc(8);
    void *b = checked_calloc(2, 8);
    void *c = checked_malloc(8);
    checked_free(b);
    a = checked_realloc(a, 4096);
    void *d = checked_realloc(nullptr, 16);
    testing::internal::CaptureStderr();
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              hex(c) + ":2\n" + hex(a) + ":3\n" + hex(d) + ":4\n");
    checked_free(a);
    checked_free(c);
    checked_free(d);
    testing::internal::CaptureStderr();
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Alloc, FailedReallocKeepsTheOldBlockRecorded)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    char *block = (char *)checked_malloc(16);
    ASSERT_NE(block, nullptr);
    memcpy(block, "kept", 5);
    EXPECT_EQ(checked_realloc(block, HUGE_SIZE), nullptr);
    EXPECT_STREQ(block, "kept");
    testing::internal::CaptureStderr();
    dump_live_allocations();
    checked_free(block);
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), hex(block) + ":0\n");
}

TEST(Alloc, ReallocOfAnUnknownBlockIsReportedAndTheNewBlockRecorded)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    void *first = checked_malloc(4);   // serial 0
    void *foreign = malloc(8);
    std::string foreign_text = hex(foreign);
    testing::internal::CaptureStderr();
    void *moved = checked_realloc(foreign, 64);
    ASSERT_NE(moved, nullptr);
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Allocation not found for " + foreign_text + "!\n" + hex(first) + ":0\n" +
                  hex(moved) + ":1\n");
    checked_free(moved);
    checked_free(first);
}

TEST(Alloc, ZeroSizeReallocKeepsABlock)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    void *block = checked_malloc(8);
    void *moved = checked_realloc(block, 0);
    ASSERT_NE(moved, nullptr);
    testing::internal::CaptureStderr();
    checked_free(moved);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Alloc, TableLimitSwitchesCheckingOffOnce)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    const int limit = 0x100000;
    std::vector<void *> blocks(limit + 2);
    for (int i = 0; i < limit; i++)
        ASSERT_NE(blocks[i] = checked_malloc(1), nullptr);
    testing::internal::CaptureStderr();
    blocks[limit] = checked_malloc(1);
    blocks[limit + 1] = checked_malloc(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too many allocations to check!\n");
    // Checking is off now: the unrecorded blocks free without a report and
    // nothing is listed.
    testing::internal::CaptureStderr();
    for (void *block : blocks)
        checked_free(block);
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Alloc, FailedAllocationIsNullWithNothingRecorded)
{
    setenv("KZ_CHECK_ALLOC", "1", 1);
    EXPECT_EQ(checked_malloc(HUGE_SIZE), nullptr);
    EXPECT_EQ(checked_calloc(HUGE_SIZE, 4), nullptr);   // count times size overflows
    testing::internal::CaptureStderr();
    dump_live_allocations();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(GrowableArray, StartsAt16AndDoublesKeepingTheElements)
{
    GrowableArray array;
    ASSERT_EQ(init_growable_array(&array, sizeof(int)), 1);
    EXPECT_EQ(array.capacity, 16);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(array.element_size, (int)sizeof(int));
    std::vector<int> capacities;
    for (int i = 0; i < 40; i++) {
        int *slot = (int *)append_to_growable_array(&array);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, 0);
        *slot = i * 3;
        capacities.push_back(array.capacity);
    }
    EXPECT_EQ(capacities[15], 16);
    EXPECT_EQ(capacities[16], 32);
    EXPECT_EQ(capacities[32], 64);
    EXPECT_EQ(array.count, 40);
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(((int *)array.data)[i], i * 3);
    free_growable_array(&array);
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.capacity, 0);
    EXPECT_EQ(array.count, 0);
    EXPECT_EQ(append_to_growable_array(&array), nullptr);   // freed: no room
    EXPECT_EQ(init_growable_array(&array, 0), 0);
}

static void fake_close_audio(int handle) { fprintf(stderr, "close audio %d\n", handle); }
static void fake_close_window(GameWindow *window)
{
    fprintf(stderr, "close window %s\n", window == game_window ? "game" : "other");
}

TEST(FatalStop, OutOfMemoryClosesAudioAndWindowShowsTheMessageAndExits1)
{
    set_fatal_close_hooks(fake_close_audio, fake_close_window);
    static char window_record[16];
    audio_handle = 7;
    game_window = (GameWindow *)window_record;
    EXPECT_EXIT(xmalloc(HUGE_SIZE), testing::ExitedWithCode(1),
                "close audio 7\nclose window game\nError: Out of virtual memory\n");
    // Nothing open: only the message.
    audio_handle = 0;
    game_window = nullptr;
    std::string err;
    EXPECT_EQ(run_in_child([] { xmalloc(HUGE_SIZE); }, &err), 1);
    // (The sanitizer may warn about the failed allocation first.)
    EXPECT_EQ(err.find("close"), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("Error: Out of virtual memory\n")) << err;
    void *block = xmalloc(10);
    EXPECT_NE(block, nullptr);
    checked_free(block);
}
