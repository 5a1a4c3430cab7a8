// Tracked allocation: the checker's switch, unknown and double frees, serial
// numbers, failed reallocation, the table limit, large blocks, growable arrays and the
// fatal out-of-memory stop.
#include "core/alloc.h"

#include "app/shell.h"
#include "platform/message_box.h"
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
static void fake_message_box(const char *title, const char *text)
{
    fprintf(stderr, "box [%s] [%s]\n", title, text);
}

TEST(FatalStop, OutOfMemoryClosesAudioAndWindowShowsTheMessageAndExits1)
{
    // Each layer registers its own hook when it opens: the window first, then
    // audio; neither registration undoes the other.
    set_fatal_close_hooks(nullptr, fake_close_window);
    set_fatal_close_hooks(fake_close_audio, nullptr);
    static char window_record[16];
    audio_handle = 7;
    game_window = (GameWindow *)window_record;
    EXPECT_EXIT(xmalloc(HUGE_SIZE), testing::ExitedWithCode(1),
                "close audio 7\nclose window game\nError: Out of virtual memory\n");
    // Once the window layer shows message boxes, the stop's message goes there.
    std::string err;
    EXPECT_EQ(run_in_child([] {
        set_message_box_hook(fake_message_box);
        xmalloc(HUGE_SIZE);
    }, &err), 1);
    EXPECT_TRUE(err.ends_with("close audio 7\nclose window game\n"
                              "box [Error] [Out of virtual memory]\n")) << err;
    // Nothing open: only the message.
    audio_handle = 0;
    game_window = nullptr;
    EXPECT_EQ(run_in_child([] { xmalloc(HUGE_SIZE); }, &err), 1);
    // (The sanitizer may warn about the failed allocation first.)
    EXPECT_EQ(err.find("close"), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("Error: Out of virtual memory\n")) << err;
    void *block = xmalloc(10);
    EXPECT_NE(block, nullptr);
    checked_free(block);
}

// What a block held at the moment it was handed back to the C allocator,
// seen through the sanitizer's free hook (absent in builds without it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void *, size_t),
    void (*free_hook)(const volatile void *)) __attribute__((weak));

static void ignore_malloc(const volatile void *, size_t) {}

static const volatile void *watched_block;
static size_t watched_size;
static std::string watched_bytes;
static void watch_free(const volatile void *block)
{
    if (block != watched_block)
        return;
    const volatile char *bytes = (const volatile char *)block;
    for (size_t i = 0; i < watched_size; i++)
        watched_bytes += bytes[i];
}

// The bytes a block of 24 bytes filled with 'k' held when freed or moved.
static std::string bytes_at_release(bool through_realloc)
{
    char *block = (char *)checked_malloc(24);
    memset(block, 'k', 24);
    watched_block = block;
    watched_size = 24;
    watched_bytes.clear();
    if (through_realloc)
        checked_free(checked_realloc(block, 1 << 20));   // the sanitizer always moves
    else
        checked_free(block);
    watched_block = nullptr;
    return watched_bytes;
}

TEST(Alloc, CheckedFreeZeroesTheBlockButReallocDoesNot)
{
    if (!__sanitizer_install_malloc_and_free_hooks)
        GTEST_SKIP() << "needs the sanitizer's free hook";
    ASSERT_NE(__sanitizer_install_malloc_and_free_hooks(ignore_malloc, watch_free), 0);
    struct Case {
        const char *check;   // KZ_CHECK_ALLOC, null: unset
        bool through_realloc;
        char expected;
    } cases[] = {
        {"1", false, '\0'},   // zeroed before the free
        {"1", true, 'k'},     // the old block of a realloc keeps its bytes
        {nullptr, false, 'k'},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.check ? c.check : "unset")
                                        << (c.through_realloc ? ", realloc" : ", free"));
        std::string seen;
        ASSERT_EQ(run_in_child([&] {
            if (c.check)
                setenv("KZ_CHECK_ALLOC", c.check, 1);
            std::string bytes = bytes_at_release(c.through_realloc);
            fprintf(stderr, "seen %zu bytes [%s]\n", bytes.size(), bytes.c_str());
            _exit(bytes == std::string(24, c.expected) ? 0 : 2);
        }, &seen), 0) << seen;
    }
}

TEST(Alloc, LargeBlocksAreUsableZeroedAndRecorded)
{
    struct Case {
        size_t size;
        bool zeroed;
    } cases[] = {{100, false}, {100, true}, {(size_t)2 << 20, false}, {((size_t)5 << 20) + 3, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << (c.zeroed ? " calloc" : " malloc"));
        std::string err;
        ASSERT_EQ(run_in_child([&] {
            setenv("KZ_CHECK_ALLOC", "1", 1);
            unsigned char *block = (unsigned char *)(c.zeroed ? checked_calloc_large(c.size, 1)
                                                              : checked_malloc_large(c.size));
            if (!block)
                _exit(2);
            for (size_t i = 0; c.zeroed && i < c.size; i++)
                if (block[i])
                    _exit(3);
            memset(block, 7, c.size);   // every byte is the caller's
            dump_live_allocations();
            checked_free(block);
            fprintf(stderr, "freed\n");
            dump_live_allocations();
        }, &err), 0) << err;
        // Listed once while live, nothing reported at the free.
        EXPECT_EQ(err.find(":"), err.rfind(":")) << err;
        EXPECT_NE(err.find(":"), std::string::npos) << err;
        EXPECT_EQ(err.find("not found"), std::string::npos) << err;
        EXPECT_LT(err.find(":"), err.find("freed")) << err;
    }
    EXPECT_EQ(checked_calloc_large(HUGE_SIZE, 4), nullptr);   // count times size overflows
}

// A large block given back through free_large_block is kept for the next
// request of its rounded size (the same pages) and is no live block while
// kept; other sizes, small blocks and blocks past the kept bound are freed.
TEST(Alloc, KeptLargeBlocksComeBackForTheSameRoundedSize)
{
    std::string err;
    ASSERT_EQ(run_in_child([&] {
        setenv("KZ_CHECK_ALLOC", "1", 1);
        const size_t size = ((size_t)3 << 20) + 5;   // rounded to 4 MiB
        unsigned char *block = (unsigned char *)checked_malloc_large(size);
        if (!block)
            _exit(2);
        memset(block, 9, size);
        free_large_block(block);
        fprintf(stderr, "kept\n");
        dump_live_allocations();   // nothing live
        // Another size within the same rounding gets it back, zeroed by calloc.
        unsigned char *again = (unsigned char *)checked_calloc_large(((size_t)4 << 20) - 1, 1);
        if (again != block)
            _exit(3);
        for (size_t i = 0; i < ((size_t)4 << 20) - 1; i++)
            if (again[i])
                _exit(4);
        // A different rounded size is a new block.
        unsigned char *other = (unsigned char *)checked_malloc_large((size_t)6 << 20);
        if (!other || other == block)
            _exit(5);
        free_large_block(again);
        unsigned char *small = (unsigned char *)checked_malloc_large(100);
        free_large_block(small);   // freed as checked_free does
        // Past the bound (256 MiB kept) blocks are freed for good.
        void *big[40];
        for (void *&b : big)
            b = checked_malloc_large((size_t)8 << 20);
        for (void *b : big)
            free_large_block(b);
        free_large_block(other);
        free_kept_large_blocks();
        fprintf(stderr, "end\n");
        dump_live_allocations();
    }, &err), 0) << err;
    EXPECT_EQ(err, "kept\nend\n");
}
