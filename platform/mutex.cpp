// Recursive mutexes over pthreads.
#include "platform/mutex.h"

void init_mutex(Mutex *mutex)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex->handle, &attr);
    pthread_mutexattr_destroy(&attr);
}

void destroy_mutex(Mutex *mutex)
{
    pthread_mutex_destroy(&mutex->handle);
}

void lock_mutex(Mutex *mutex)
{
    pthread_mutex_lock(&mutex->handle);
}

void unlock_mutex(Mutex *mutex)
{
    pthread_mutex_unlock(&mutex->handle);
}
