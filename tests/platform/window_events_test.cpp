// Events of a window: pumping and device polling around the ring, the
// stamped and limited forms, and pushes from another thread.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

static std::vector<std::string> calls;
static int device_events_waiting;

static void fake_pump(GameWindow *) { calls.push_back("pump"); }
static void fake_poll(GameWindow *window)
{
    calls.push_back("poll");
    // A device pushes its buffered events with their own stamps.
    for (; device_events_waiting > 0; device_events_waiting--)
        push_event(window, 0x10000 + device_events_waiting, 1, 3, device_events_waiting);
}

struct WindowEvents : testing::Test {
    GameWindow window;
    void SetUp() override
    {
        init_window_events(&window);
        pump_window_messages_hook = fake_pump;
        poll_input_devices_hook = fake_poll;
        calls.clear();
        device_events_waiting = 0;
    }
    void TearDown() override
    {
        pump_window_messages_hook = nullptr;
        poll_input_devices_hook = nullptr;
        free_window_events(&window);
    }
};

TEST_F(WindowEvents, PumpsFirstAndPollsDevicesOnlyWhenTheRingIsEmpty)
{
    push_event(&window, 0x1020, 1, 4, 0);
    int code = 0, pressed = 0;
    ASSERT_EQ(next_event(&window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x1020);
    EXPECT_EQ(calls, (std::vector<std::string>{"pump"}));

    calls.clear();
    device_events_waiting = 2;
    ASSERT_EQ(next_event(&window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x10001);   // stamped (3, 1): earlier than (3, 2)
    EXPECT_EQ(calls, (std::vector<std::string>{"pump", "poll"}));

    calls.clear();
    ASSERT_EQ(next_event(&window, &code, &pressed), 1);
    EXPECT_EQ(code, 0x10002);
    EXPECT_EQ(next_event(&window, &code, &pressed), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"pump", "pump", "poll"}));
}

TEST_F(WindowEvents, WorksWithoutHooks)
{
    pump_window_messages_hook = nullptr;
    poll_input_devices_hook = nullptr;
    int code, pressed;
    EXPECT_EQ(next_event(&window, &code, &pressed), 0);
    push_event(&window, 'x', 1, 1, 0);
    EXPECT_EQ(next_event(&window, &code, &pressed), 1);
    EXPECT_EQ(code, 'x');
}

static uint64_t fixed_clock() { return 7250; }

TEST_F(WindowEvents, TimedAndLimitedFormsGiveTheStamp)
{
    set_clock_function(fixed_clock);
    push_event_now(&window, 0x2000, 0);   // stamped (7, 250000)
    set_clock_function(nullptr);
    push_event(&window, 0x2001, 1, 8, 0);

    int code = 0, pressed = -1, seconds = 0, microseconds = 0;
    // Both forms of the limited call refuse an event stamped later.
    EXPECT_EQ(next_event_before(&window, &code, &pressed, 7, 249999), 0);
    EXPECT_EQ(next_event_before(&window, TimeValue{7, 249999}, &code, &pressed, &seconds,
                                &microseconds), 0);
    ASSERT_EQ(next_event_before(&window, TimeValue{7, 250000}, &code, &pressed, &seconds,
                                &microseconds), 1);
    EXPECT_EQ(code, 0x2000);
    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(seconds, 7);
    EXPECT_EQ(microseconds, 250000);
    EXPECT_EQ(next_event_before(&window, &code, &pressed, 7, 999999), 0);
    ASSERT_EQ(next_event_timed(&window, &code, &pressed, &seconds, &microseconds), 1);
    EXPECT_EQ(code, 0x2001);
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(seconds, 8);
    EXPECT_EQ(microseconds, 0);
}

TEST_F(WindowEvents, PushesFromAnotherThreadAllArriveInOrder)
{
    pump_window_messages_hook = nullptr;
    poll_input_devices_hook = nullptr;
    enum { COUNT = 5000 };
    std::thread pusher([this] {
        for (int i = 0; i < COUNT; i++) {
            // Wait for room rather than lose events.
            for (;;) {
                lock_mutex(&window.event_mutex);
                int room = window.events.count < EVENT_RING_SIZE;
                unlock_mutex(&window.event_mutex);
                if (room)
                    break;
                std::this_thread::yield();
            }
            push_event(&window, 0x1000 + (i & 0xff), i & 1, i / 1000000, i % 1000000);
        }
    });
    int received = 0;
    int code, pressed, seconds, microseconds;
    while (received < COUNT) {
        if (!next_event_timed(&window, &code, &pressed, &seconds, &microseconds)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(microseconds, received);
        ASSERT_EQ(code, 0x1000 + (received & 0xff));
        ASSERT_EQ(pressed, received & 1);
        received++;
    }
    pusher.join();
}
