// The work pool: every job of a batch runs exactly once and is done when the
// batch returns, whatever the helper count, across many batches, changes of
// the count, a stop, in a forked child whose parent had helpers, and with
// batches from two threads at once, and a fork during another thread's batch.
#include "platform/work_pool.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

const int MOST_JOBS = 200;

struct Tally {
    std::atomic<int> runs[MOST_JOBS];
    int written[MOST_JOBS];   // plain writes the caller reads after the batch
    int batch;
};

void count_job(void *context, int index)
{
    Tally *tally = (Tally *)context;
    tally->runs[index].fetch_add(1, std::memory_order_relaxed);
    tally->written[index] = tally->batch * 1000 + index;
}

// Runs batches of count jobs; the number of faults seen (jobs run other
// than once, or writes not seen by the caller).
int run_batches_with(Tally &tally, int count, int batches)
{
    int faults = 0;
    for (int b = 0; b < batches; b++) {
        for (int i = 0; i < MOST_JOBS; i++) {
            tally.runs[i].store(0, std::memory_order_relaxed);
            tally.written[i] = -1;
        }
        tally.batch = b;
        run_work_batch(count, count_job, &tally);
        for (int i = 0; i < MOST_JOBS; i++) {
            int runs = tally.runs[i].load(std::memory_order_relaxed);
            int want = i < count ? 1 : 0;
            if (runs != want || (want && tally.written[i] != b * 1000 + i))
                faults++;
        }
    }
    return faults;
}

int run_batches(int count, int batches)
{
    static Tally tally;
    return run_batches_with(tally, count, batches);
}

}  // namespace

TEST(WorkPool, EveryJobRunsOnceWhateverTheHelpers)
{
    struct {
        int helpers;
        int count;
    } cases[] = {
        {0, 40}, {1, 40}, {WORK_POOL_THREAD_LIMIT, 1}, {WORK_POOL_THREAD_LIMIT, 2},
        {WORK_POOL_THREAD_LIMIT, 40}, {WORK_POOL_THREAD_LIMIT, MOST_JOBS},
        {WORK_POOL_THREAD_LIMIT, 0}, {WORK_POOL_THREAD_LIMIT, -3}, {2, 7}, {0, MOST_JOBS},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.helpers << " helpers, " << c.count << " jobs");
        set_work_pool_threads(c.helpers);
        EXPECT_EQ(get_work_pool_threads(), c.helpers);
        EXPECT_EQ(run_batches(c.count, 300), 0);
    }
    // Stopped, the helpers come back with the next batch.
    stop_work_pool();
    EXPECT_EQ(run_batches(40, 50), 0);
    stop_work_pool();

    // Counts are clamped.
    set_work_pool_threads(-5);
    EXPECT_EQ(get_work_pool_threads(), 0);
    set_work_pool_threads(99);
    EXPECT_EQ(get_work_pool_threads(), (int)WORK_POOL_THREAD_LIMIT);
    EXPECT_GE(default_work_pool_threads(), 0);
    EXPECT_LE(default_work_pool_threads(), (int)WORK_POOL_THREAD_LIMIT);
    set_work_pool_threads(default_work_pool_threads());
}

// The parent's helpers are not in a forked child: its batches still finish
// (the caller runs what no helper claims).
TEST(WorkPool, ForkedChildFinishesItsBatches)
{
    set_work_pool_threads(WORK_POOL_THREAD_LIMIT);
    ASSERT_EQ(run_batches(40, 20), 0);   // the helpers are running now
    std::string err;
    EXPECT_EQ(run_in_child([] {
        if (run_batches(40, 100) != 0)
            _exit(3);
    }, &err), 0) << err;
    EXPECT_EQ(run_batches(40, 20), 0);
    stop_work_pool();
    set_work_pool_threads(default_work_pool_threads());
}

// A fork while another thread's batch runs on its caller alone (no helper
// ever started): the child's pool is usable, its helpers start and its
// batches finish. Run in a fresh process, where nothing has used the pool.
TEST(WorkPool, ForkDuringAnotherThreadsBatchLeavesTheChildAPool)
{
    if (!in_fresh_process()) {
        std::string output;
        EXPECT_EQ(run_test_in_fresh_process(&output, 60), 0) << output;
        return;
    }
    set_work_pool_threads(0);
    static std::atomic<int> started{0}, release{0};
    std::thread thread([] {
        run_work_batch(2, [](void *, int index) {
            if (index == 0) {
                started.store(1);
                while (!release.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }, nullptr);
    });
    while (!started.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::string err;
    EXPECT_EQ(run_in_child([] {
        set_work_pool_threads(WORK_POOL_THREAD_LIMIT);
        if (run_batches(40, 100) != 0)
            _exit(3);
        stop_work_pool();
    }, &err, 20), 0) << err;
    release.store(1);
    thread.join();
    EXPECT_EQ(run_batches(40, 20), 0);
}

// Another thread's batches while the caller's run (the terrain's error pass
// beside the race tic): every job of both still runs once, also while the
// helper count changes and the helpers stop.
TEST(WorkPool, BatchesFromTwoThreadsAtOnce)
{
    set_work_pool_threads(WORK_POOL_THREAD_LIMIT);
    static Tally other;
    std::atomic<int> other_faults{-1};
    std::thread thread([&] { other_faults.store(run_batches_with(other, MOST_JOBS, 400)); });
    int faults = 0;
    for (int round = 0; round < 40; round++) {
        faults += run_batches(37, 10);
        if (round % 10 == 9)
            stop_work_pool();
        set_work_pool_threads(round % (WORK_POOL_THREAD_LIMIT + 1));
    }
    thread.join();
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(other_faults.load(), 0);
    stop_work_pool();
    set_work_pool_threads(default_work_pool_threads());
}
