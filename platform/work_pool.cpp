// The helper-thread pool: each batch gets a generation number; a job is
// claimed from one counter holding the generation and the next index, so a
// helper that wakes late for a finished batch claims nothing of a newer one.
// The lock and the wake-up signal are never destroyed and the helpers are
// detached, so that a process may exit while they wait. A forked child has
// none of its parent's helpers: it starts with a fresh lock and signal and
// no helpers (the fork waits for the lock, so no helper holds it then).
// One batch runs at a time: a caller that finds another thread's batch
// running runs its own jobs itself, in order; a change of the helper count
// waits for the running batch.
#include "platform/work_pool.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <pthread.h>
#include <thread>

namespace {

// Made in place (again in a forked child), never destroyed.
alignas(std::mutex) unsigned char mutex_room[sizeof(std::mutex)];
alignas(std::condition_variable) unsigned char wake_room[sizeof(std::condition_variable)];
alignas(std::mutex) unsigned char batch_room[sizeof(std::mutex)];
std::mutex &pool_mutex = *new (mutex_room) std::mutex;
std::condition_variable &pool_wake = *new (wake_room) std::condition_variable;
// Held by the thread whose batch runs, and for changes of the helpers.
std::mutex &batch_mutex = *new (batch_room) std::mutex;
int helpers_running;
int helpers_alive;   // under pool_mutex: helpers that have not left
std::atomic<int> wanted_helpers{-1};   // not chosen yet
bool stopping;

// The batch, written under pool_mutex.
uint32_t batch_generation;
int batch_count;
void (*batch_job)(void *, int);
void *batch_context;

// High 32 bits the generation, low 32 bits the next index to claim.
std::atomic<uint64_t> ticket{0};
std::atomic<int> jobs_done{0};

// Claims and runs jobs of the given generation until none is left.
void run_claimed_jobs(uint32_t generation, int count, void (*job)(void *, int), void *context)
{
    for (;;) {
        uint64_t current = ticket.load(std::memory_order_acquire);
        if ((uint32_t)(current >> 32) != generation || (int)(uint32_t)current >= count)
            return;
        if (!ticket.compare_exchange_weak(current, current + 1, std::memory_order_acq_rel))
            continue;
        job(context, (int)(uint32_t)current);
        jobs_done.fetch_add(1, std::memory_order_release);
    }
}

void helper_main(void)
{
    uint32_t seen = 0;
    std::unique_lock<std::mutex> lock(pool_mutex);
    seen = batch_generation;
    for (;;) {
        pool_wake.wait(lock, [&] { return stopping || batch_generation != seen; });
        if (stopping) {
            helpers_alive--;
            pool_wake.notify_all();
            return;
        }
        seen = batch_generation;
        int count = batch_count;
        void (*job)(void *, int) = batch_job;
        void *context = batch_context;
        lock.unlock();
        run_claimed_jobs(seen, count, job, context);
        lock.lock();
    }
}

}  // namespace

int default_work_pool_threads(void)
{
    unsigned cores = std::thread::hardware_concurrency();
    int helpers_wanted = cores > 1 ? (int)cores - 1 : 0;
    return helpers_wanted < WORK_POOL_THREAD_LIMIT ? helpers_wanted : WORK_POOL_THREAD_LIMIT;
}

namespace {

void lock_before_fork(void)
{
    pool_mutex.lock();
}

void unlock_after_fork(void)
{
    pool_mutex.unlock();
}

// The child: the parent's helpers are not there, and the signal may count
// waiters that are not either.
void reset_in_child(void)
{
    new (mutex_room) std::mutex;
    new (wake_room) std::condition_variable;
    new (batch_room) std::mutex;
    helpers_running = 0;
    helpers_alive = 0;
    stopping = false;
}

// Registered once, before the pool's first lock is taken (by any thread).
void watch_forks(void)
{
    static const bool watching = pthread_atfork(lock_before_fork, unlock_after_fork, reset_in_child) == 0;
    (void)watching;
}

void *helper_thread(void *)
{
    helper_main();
    return nullptr;
}

// Starts helpers up to count; a thread the system refuses lowers the number
// wanted to those running, so that later batches do not ask again.
void start_helpers(int count)
{
    watch_forks();
    std::lock_guard<std::mutex> lock(pool_mutex);
    stopping = false;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        wanted_helpers = helpers_running;
        return;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    for (; helpers_running < count; helpers_running++) {
        pthread_t thread;
        if (pthread_create(&thread, &attributes, helper_thread, nullptr) != 0) {
            wanted_helpers = helpers_running;
            break;
        }
        helpers_alive++;
    }
    pthread_attr_destroy(&attributes);
}

// Under batch_mutex.
void stop_helpers(void)
{
    std::unique_lock<std::mutex> lock(pool_mutex);
    stopping = true;
    pool_wake.notify_all();
    pool_wake.wait(lock, [] { return helpers_alive == 0; });
    helpers_running = 0;
    stopping = false;
}

}  // namespace

void stop_work_pool(void)
{
    watch_forks();
    std::lock_guard<std::mutex> batch(batch_mutex);
    stop_helpers();
}

void set_work_pool_threads(int count)
{
    count = count < 0 ? 0 : count > WORK_POOL_THREAD_LIMIT ? WORK_POOL_THREAD_LIMIT : count;
    watch_forks();
    std::lock_guard<std::mutex> batch(batch_mutex);
    if (count < helpers_running)
        stop_helpers();
    wanted_helpers.store(count);
}

int get_work_pool_threads(void)
{
    int wanted = wanted_helpers.load();
    if (wanted >= 0)
        return wanted;
    int expected = -1;
    wanted_helpers.compare_exchange_strong(expected, default_work_pool_threads());
    return wanted_helpers.load();
}

void run_work_batch(int count, void (*job)(void *context, int index), void *context)
{
    if (count <= 0)
        return;
    watch_forks();
    std::unique_lock<std::mutex> batch(batch_mutex, std::defer_lock);
    int helpers_wanted = count > 1 && batch.try_lock() ? get_work_pool_threads() : 0;
    if (helpers_wanted == 0) {
        for (int i = 0; i < count; i++)
            job(context, i);
        return;
    }
    if (helpers_running < helpers_wanted)
        start_helpers(helpers_wanted);
    if (helpers_running == 0) {
        for (int i = 0; i < count; i++)
            job(context, i);
        return;
    }
    uint32_t generation;
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        generation = ++batch_generation;
        batch_count = count;
        batch_job = job;
        batch_context = context;
        jobs_done.store(0, std::memory_order_relaxed);
        ticket.store((uint64_t)generation << 32, std::memory_order_release);
    }
    pool_wake.notify_all();
    run_claimed_jobs(generation, count, job, context);
    // Only jobs a helper has claimed are left: wait for them to finish.
    while (jobs_done.load(std::memory_order_acquire) < count)
        std::this_thread::yield();
}
