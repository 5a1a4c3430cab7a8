// The event ring: ordering by stamp, overflow, releases, popping up to a time.
#include "platform/event_ring.h"

#include <gtest/gtest.h>

#include <vector>

static std::vector<InputEvent> drain(EventRing *ring)
{
    std::vector<InputEvent> out;
    InputEvent e;
    while (pop_ring_event(ring, &e.code, &e.pressed, &e.seconds, &e.microseconds))
        out.push_back(e);
    return out;
}

TEST(EventRing, KeepsStampOrderAndArrivalOrderForEqualStamps)
{
    struct Push {
        int code, seconds, microseconds;
    };
    struct Case {
        const char *name;
        std::vector<Push> pushes;
        std::vector<int> order;
    } cases[] = {
        {"earlier device event goes first", {{0x1010, 5, 500}, {0x10000, 5, 200}}, {0x10000, 0x1010}},
        {"equal stamps keep arrival order", {{1, 5, 500}, {2, 5, 500}, {3, 5, 500}}, {1, 2, 3}},
        {"mixed",
         {{'A', 5, 500}, {'B', 5, 200}, {'C', 5, 500}, {'D', 4, 999999}, {'E', 5, 200}},
         {'D', 'B', 'E', 'A', 'C'}},
        {"seconds before microseconds", {{1, 6, 0}, {2, 5, 999999}}, {2, 1}},
    };
    // Each case also runs with the ring's head near the end of the arrays,
    // so insertion moves entries back across the wrap.
    for (int start : {0, 254}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", head " << start);
            EventRing ring;
            clear_event_ring(&ring);
            for (int i = 0; i < start; i++) {
                push_ring_event(&ring, 1, 1, 0, 0);
                pop_ring_event(&ring, nullptr, nullptr, nullptr, nullptr);
            }
            for (const Push &p : c.pushes)
                ASSERT_EQ(push_ring_event(&ring, p.code, 1, p.seconds, p.microseconds), 1);
            std::vector<InputEvent> out = drain(&ring);
            ASSERT_EQ(out.size(), c.order.size());
            for (size_t i = 0; i < out.size(); i++)
                EXPECT_EQ(out[i].code, c.order[i]) << "position " << i;
            for (size_t i = 1; i < out.size(); i++)
                EXPECT_LE((int64_t)out[i - 1].seconds * 1000000 + out[i - 1].microseconds,
                          (int64_t)out[i].seconds * 1000000 + out[i].microseconds);
        }
    }
}

TEST(EventRing, The257thEventIsLost)
{
    EventRing ring;
    clear_event_ring(&ring);
    for (int i = 0; i < EVENT_RING_SIZE; i++)
        ASSERT_EQ(push_ring_event(&ring, 0x1000 + i, 1, 7, i), 1);
    EXPECT_EQ(push_ring_event(&ring, 0x1999, 1, 0, 0), 0);   // even an earlier one
    std::vector<InputEvent> out = drain(&ring);
    ASSERT_EQ(out.size(), 256u);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(out[i].code, 0x1000 + i);
        EXPECT_EQ(out[i].microseconds, i);
    }
    // Room again after draining.
    EXPECT_EQ(push_ring_event(&ring, 0x1999, 1, 0, 0), 1);
}

TEST(EventRing, ReleaseComesOutWithTheSameCodeAndPressedZero)
{
    EventRing ring;
    clear_event_ring(&ring);
    const int codes[] = {0x1000 + 0x11e, 0x2002, 0x7fffffff, 0x30005};
    for (int code : codes) {
        push_ring_event(&ring, code, 1, 1, 0);
        push_ring_event(&ring, code, 0, 1, 1);
    }
    std::vector<InputEvent> out = drain(&ring);
    ASSERT_EQ(out.size(), 8u);
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(codes[i]);
        // Both presses at (1, 0) come before both releases at (1, 1).
        EXPECT_EQ(out[i].code, codes[i]);
        EXPECT_EQ(out[i].pressed, 1);
        EXPECT_EQ(out[4 + i].code, codes[i]);
        EXPECT_EQ(out[4 + i].pressed, 0);
    }
}

TEST(EventRing, PopBeforeATimeLeavesLaterEventsInPlace)
{
    EventRing ring;
    clear_event_ring(&ring);
    push_ring_event(&ring, 0x1001, 1, 10, 500000);
    push_ring_event(&ring, 0x1002, 0, 11, 0);
    EventRing before = ring;

    int code = -1, pressed = -1, seconds = -1, microseconds = -1;
    EXPECT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 10, 499999), 0);
    EXPECT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 9, 999999), 0);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(memcmp(&ring, &before, sizeof ring), 0);

    // A stamp equal to the limit is not later than it.
    ASSERT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 10, 500000), 1);
    EXPECT_EQ(code, 0x1001);
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(seconds, 10);
    EXPECT_EQ(microseconds, 500000);
    EXPECT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 10, 999999), 0);
    ASSERT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 11, 0), 1);
    EXPECT_EQ(code, 0x1002);
    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(pop_ring_event_before(&ring, &code, &pressed, &seconds, &microseconds, 99, 0), 0);
}
