// Recursive mutexes: the owner locks again; others wait for the last unlock.
#include "platform/mutex.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

static Mutex static_mutex = MUTEX_INITIALIZER;

// What another thread gets trying the mutex now.
static int try_from_other_thread(Mutex *mutex)
{
    int result = -1;
    std::thread other([&] {
        result = pthread_mutex_trylock(&mutex->handle);
        if (result == 0)
            pthread_mutex_unlock(&mutex->handle);
    });
    other.join();
    return result;
}

TEST(Mutex, OwnerLocksAgainAndOthersWaitForTheLastUnlock)
{
    Mutex made;
    init_mutex(&made);
    for (Mutex *mutex : {&made, &static_mutex}) {
        SCOPED_TRACE(mutex == &made ? "init_mutex" : "MUTEX_INITIALIZER");
        lock_mutex(mutex);
        lock_mutex(mutex);   // would deadlock if not recursive
        EXPECT_EQ(try_from_other_thread(mutex), EBUSY);
        unlock_mutex(mutex);
        EXPECT_EQ(try_from_other_thread(mutex), EBUSY);
        unlock_mutex(mutex);
        EXPECT_EQ(try_from_other_thread(mutex), 0);
    }
    destroy_mutex(&made);
}
