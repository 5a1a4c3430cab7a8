// Recursive mutexes: the owner may lock again and must unlock as often.
#pragma once

#include <pthread.h>

struct Mutex {
    pthread_mutex_t handle;
};

// For a Mutex with static storage that needs no init_mutex.
#define MUTEX_INITIALIZER { PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP }

void init_mutex(Mutex *mutex);
void destroy_mutex(Mutex *mutex);
void lock_mutex(Mutex *mutex);     // waits without time-out
void unlock_mutex(Mutex *mutex);
